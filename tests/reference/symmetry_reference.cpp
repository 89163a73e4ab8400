#include "reference/symmetry_reference.h"

#include <algorithm>
#include <bit>
#include <limits>

#include "generator/tables.h"

namespace symmetry_reference {
namespace {

// The member's value of cell (r, c) before renaming, and the renaming that makes
// its main diagonal read 0-9.
struct Member {
    const Square& q;
    bool reversed;
    const Permutation& p;

    int raw(int r, int c) const { return q.cells[10 * p[r] + (reversed ? 9 - p[c] : p[c])]; }
    std::array<int, 10> renaming() const
    {
        std::array<int, 10> rename{};
        for (int r = 0; r < 10; ++r)
            rename[raw(r, r)] = r;
        return rename;
    }
};

// Randomised backtracking over the free cells, always at the cell with the
// fewest candidates.  A value placed in a cell fixes its whole orbit under the
// transform: the square must equal its own image, so cell n holds
// rename[value of cell source(n)].
struct Filler {
    Square s{};
    std::array<bool, 100> filled{};
    std::array<unsigned, 10> rows{};
    std::array<unsigned, 10> columns{};
    std::array<int, 100> source{};
    std::array<int, 10> unrename{};
    int budget = 2000;

    Filler(int d, bool reversed, const Permutation& p)
    {
        for (int r = 0; r < 10; ++r) {
            set(11 * r, r, true);
            set(9 * r + 9, anti_diagonal_table[d][r], true);
        }
        const std::array<int, 10> rename = Member{s, reversed, p}.renaming();
        for (int v = 0; v < 10; ++v)
            unrename[rename[v]] = v;
        for (int n = 0; n < 100; ++n)
            source[n] = 10 * p[n / 10] + (reversed ? 9 - p[n % 10] : p[n % 10]);
    }

    void set(int n, int v, bool on)
    {
        filled[n] = on;
        s.cells[n] = static_cast<std::uint8_t>(v);
        rows[n / 10] ^= 1u << v;
        columns[n % 10] ^= 1u << v;
    }

    // Places v in n and whatever its orbit then needs, recording each cell set;
    // false on a clash.
    bool place_orbit(int n, int v, std::vector<int>& placed)
    {
        int cell = n;
        int value = v;
        do {
            if (filled[cell] || ((rows[cell / 10] | columns[cell % 10]) & (1u << value)))
                return false;
            set(cell, value, true);
            placed.push_back(cell);
            value = unrename[value];
            cell = source[cell];
        } while (cell != n);
        return value == v;
    }

    bool complete(std::mt19937& rng)
    {
        if (--budget < 0)
            return false;
        int best = -1;
        unsigned best_free = 0;
        for (int n = 0; n < 100; ++n) {
            const unsigned available = ~(rows[n / 10] | columns[n % 10]) & 0x3FF;
            if (!filled[n] && (best < 0 || std::popcount(available) < std::popcount(best_free))) {
                best = n;
                best_free = available;
            }
        }
        if (best < 0)
            return true;
        std::array<int, 10> values = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        std::shuffle(values.begin(), values.end(), rng);
        for (int v : values) {
            if (!(best_free & (1u << v)))
                continue;
            std::vector<int> placed;
            if (place_orbit(best, v, placed) && complete(rng))
                return true;
            for (int c : placed)
                set(c, s.cells[c], false);
        }
        return false;
    }
};

} // namespace

const std::vector<Permutation>& diagonal_preserving_permutations()
{
    static const std::vector<Permutation> all = [] {
        std::vector<Permutation> out;
        Permutation p = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        do {
            bool preserving = true;
            for (int i = 0; i < 10; ++i)
                preserving = preserving && p[9 - i] == 9 - p[i];
            if (preserving)
                out.push_back(p);
        } while (std::next_permutation(p.begin(), p.end()));
        return out;
    }();
    return all;
}

Square class_member(const Square& q, bool reversed, const Permutation& p)
{
    const Member member{q, reversed, p};
    const std::array<int, 10> rename = member.renaming();
    Square image;
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            image.cells[10 * r + c] = static_cast<std::uint8_t>(rename[member.raw(r, c)]);
    return image;
}

std::vector<Square> class_members(const Square& q, int d)
{
    const std::int32_t* const anti = anti_diagonal_table[d];
    std::vector<Square> members;
    for (bool reversed : {false, true}) {
        for (const Permutation& p : diagonal_preserving_permutations()) {
            // The renaming takes the value of cell (j, j) to j, so the member's cell
            // (r, 9 - r) reads D[r] exactly when it held what cell (D[r], D[r]) held.
            const Member member{q, reversed, p};
            bool keeps = true;
            for (int r = 0; r < 10 && keeps; ++r)
                keeps = member.raw(r, 9 - r) == member.raw(anti[r], anti[r]);
            if (keeps)
                members.push_back(class_member(q, reversed, p));
        }
    }
    auto less = [](const Square& a, const Square& b) { return compare_squares(a, b) < 0; };
    auto same = [](const Square& a, const Square& b) { return compare_squares(a, b) == 0; };
    std::sort(members.begin(), members.end(), less);
    members.erase(std::unique(members.begin(), members.end(), same), members.end());
    return members;
}

std::vector<Permutation> symmetry_group(int d)
{
    const std::int32_t* const anti = anti_diagonal_table[d];
    std::vector<Permutation> group;
    for (const Permutation& p : diagonal_preserving_permutations()) {
        Permutation m{};
        for (int i = 0; i < 10; ++i)
            m[p[i]] = i;
        bool identity = true;
        bool keeps = true;
        for (int r = 0; r < 10; ++r) {
            identity = identity && p[r] == r;
            keeps = keeps && m[anti[p[r]]] == anti[r];
        }
        if (keeps && !identity)
            group.push_back(p);
    }
    return group;
}

std::optional<Square> random_fixed_square(int d, bool reversed, const Permutation& p, std::mt19937& rng, int attempts)
{
    for (int attempt = 0; attempt < attempts; ++attempt) {
        Filler filler(d, reversed, p);
        if (filler.complete(rng))
            return filler.s;
    }
    return std::nullopt;
}

Square random_square(int d, std::mt19937& rng)
{
    const Permutation identity = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    return *random_fixed_square(d, false, identity, rng, std::numeric_limits<int>::max());
}

Square class_minimum(const Square& square)
{
    for (int d = 0; d < diagonal_count; ++d) {
        bool same_anti = true;
        for (int r = 0; r < 10; ++r)
            same_anti = same_anti && square.cells[10 * r + 9 - r] == anti_diagonal_table[d][r];
        if (same_anti)
            return symmetry_reference::class_members(square, d).front();
    }
    return square; // an anti-diagonal of no space: the square alone
}

} // namespace symmetry_reference
