#include "reference/mate_reference.h"

#include <bit>
#include <functional>
#include <bitset>
#include <random>

#include "generator/generator.h"
#include "generator/state.h"
#include "generator/tables.h"

namespace mate_reference {

namespace {

struct Backtrack {
    const Square& square;
    std::vector<CellChoice>* list = nullptr;
    CellChoice choice{};
    std::int64_t count = 0;

    // Rows 0 to r - 1 have their cells; the masks hold the columns and values
    // used, the diagonal counts how many cells lie on each diagonal.
    void place(int r, unsigned columns, unsigned values, int main_cells, int anti_cells)
    {
        if (r == 10) {
            if (main_cells == 1 && anti_cells == 1) {
                ++count;
                if (list)
                    list->push_back(choice);
            }
            return;
        }
        const std::uint8_t* row = square.cells + 10 * r;
        for (int c = 0; c < 10; ++c) {
            const int on_main = c == r, on_anti = c == 9 - r;
            if ((columns >> c & 1) || (values >> row[c] & 1) || main_cells + on_main > 1 ||
                anti_cells + on_anti > 1)
                continue;
            choice[r] = static_cast<std::uint8_t>(c);
            place(r + 1, columns | 1u << c, values | 1u << row[c], main_cells + on_main, anti_cells + on_anti);
        }
    }
};

// Constraint numbers 0-31: square row, square column, value, main diagonal,
// anti-diagonal.
std::uint64_t constraints_of_cell(const Square& s, int n)
{
    const int r = n / 10, c = n % 10;
    std::uint64_t set = 1ull << r | 1ull << (10 + c) | 1ull << (20 + s.cells[n]);
    if (r == c)
        set |= 1ull << 30;
    if (r + c == 9)
        set |= 1ull << 31;
    return set;
}

struct SetSearch {
    std::uint64_t cell_constraints[100];
    int chosen[10];
    std::vector<CellChoice> found;

    void level(int k, std::uint64_t open)
    {
        if (k == 10) {
            CellChoice t{};
            for (int n : chosen)
                t[n / 10] = static_cast<std::uint8_t>(n % 10);
            found.push_back(t);
            return;
        }
        // A cell is still available when all its constraints are open.
        int size[32] = {};
        for (std::uint64_t cc : cell_constraints)
            if ((cc & ~open) == 0)
                for (std::uint64_t bits = cc; bits; bits &= bits - 1)
                    ++size[std::countr_zero(bits)];
        int best = -1;
        for (int j = 0; j < 32; ++j)
            if ((open >> j & 1) && (best < 0 || size[j] < size[best]))
                best = j;
        for (int n = 0; n < 100; ++n) {
            const std::uint64_t cc = cell_constraints[n];
            if ((cc >> best & 1) && (cc & ~open) == 0) {
                chosen[k] = n;
                level(k + 1, open & ~cc);
            }
        }
    }
};

struct MateSearch {
    std::vector<std::bitset<100>> transversals;
    std::vector<int> through_cell[100];

    bool cover(const std::bitset<100>& covered, int placed)
    {
        if (placed == 10)
            return true;
        int n = 0;
        while (covered[n])
            ++n;
        for (int i : through_cell[n])
            if ((transversals[i] & covered).none() && cover(covered | transversals[i], placed + 1))
                return true;
        return false;
    }
};

bool holds_each_value_once(const Square& s, int start, int step)
{
    unsigned seen = 0;
    for (int i = 0; i < 10; ++i)
        seen |= 1u << s.cells[start + i * step];
    return seen == 0x3FF;
}

} // namespace

std::vector<CellChoice> diagonal_transversals(const Square& square)
{
    std::vector<CellChoice> list;
    Backtrack b{square};
    b.list = &list;
    b.place(0, 0, 0, 0, 0);
    return list;
}

std::int64_t count_diagonal_transversals(const Square& square)
{
    Backtrack b{square};
    b.place(0, 0, 0, 0, 0);
    return b.count;
}

std::vector<CellChoice> transversals_in_search_order(const Square& square)
{
    SetSearch s;
    for (int n = 0; n < 100; ++n)
        s.cell_constraints[n] = constraints_of_cell(square, n);
    s.level(0, 0xFFFFFFFFull);
    return s.found;
}

bool is_diagonal_latin_square(const Square& square)
{
    for (const auto& cell : square.cells)
        if (cell > 9)
            return false;
    for (int i = 0; i < 10; ++i)
        if (!holds_each_value_once(square, 10 * i, 1) || !holds_each_value_once(square, i, 10))
            return false;
    return holds_each_value_once(square, 0, 11) && holds_each_value_once(square, 9, 9);
}

bool are_orthogonal(const Square& a, const Square& b)
{
    bool seen[100] = {};
    for (int n = 0; n < 100; ++n) {
        bool& pair = seen[10 * a.cells[n] + b.cells[n]];
        if (pair)
            return false;
        pair = true;
    }
    return true;
}

bool has_mate_by_backtracking(const Square& square)
{
    MateSearch m;
    for (const CellChoice& t : diagonal_transversals(square)) {
        std::bitset<100> cells;
        for (int r = 0; r < 10; ++r) {
            cells.set(10 * r + t[r]);
            m.through_cell[10 * r + t[r]].push_back(static_cast<int>(m.transversals.size()));
        }
        m.transversals.push_back(cells);
    }
    return m.cover({}, 0);
}

std::vector<Square> generated_squares(int diagonal_index, int count, std::uint32_t seed)
{
    const std::int32_t* anti = anti_diagonal_table[diagonal_index];
    std::mt19937 rng(seed);
    std::vector<Square> squares;
    while (static_cast<int>(squares.size()) < count) {
        // A random row-major prefix of free values that fit their rows and
        // columns; the generator resumes at its end with the next square.
        generator_state = GeneratorState{};
        generator_state.diagonal_index = diagonal_index;
        generator_state.start_count = 80;
        unsigned row_used[10], column_used[10];
        for (int i = 0; i < 10; ++i) {
            row_used[i] = 1u << i | 1u << anti[i];
            column_used[i] = 1u << i | 1u << anti[9 - i];
        }
        int depth = std::uniform_int_distribution<int>(8, 40)(rng);
        int k = 0;
        for (int n = 0; n < 100 && k < 80; ++n) {
            const int r = n / 10, c = n % 10;
            if (c == r || c == 9 - r)
                continue;
            const unsigned free_values = 0x3FF & ~(row_used[r] | column_used[c]);
            int v = r;  // never free in row r: the replay stops here
            if (k < depth && free_values) {
                int pick = std::uniform_int_distribution<int>(0, std::popcount(free_values) - 1)(rng);
                for (v = 0; !(free_values >> v & 1) || pick-- > 0; ++v) {
                }
                row_used[r] |= 1u << v;
                column_used[c] |= 1u << v;
            } else {
                depth = k;
            }
            generator_state.start_values[k++] = v;
        }
        if (!prime_generator())
            continue;
        for (int taken = 0; taken < 2 && static_cast<int>(squares.size()) < count && next_square(); ++taken) {
            Square s{};
            k = 0;
            for (int n = 0; n < 100; ++n) {
                const int r = n / 10, c = n % 10;
                s.cells[n] = static_cast<std::uint8_t>(
                    c == r ? r : c == 9 - r ? anti[r] : std::countr_zero(generator_state.chosen_bits[k++]));
            }
            squares.push_back(s);
        }
    }
    generator_state = GeneratorState{};
    return squares;
}

std::uint64_t count_mates(const Square& square)
{
    const std::vector<CellChoice> transversals = diagonal_transversals(square);
    // Cells of each transversal as a 100-bit set; covers counted by always
    // covering the lowest uncovered cell.
    struct Cells {
        std::uint64_t low = 0, high = 0;
    };
    std::vector<Cells> sets;
    for (const auto& t : transversals) {
        Cells c;
        for (int r = 0; r < 10; ++r) {
            const int cell = 10 * r + t[r];
            if (cell < 64)
                c.low |= 1ull << cell;
            else
                c.high |= 1ull << (cell - 64);
        }
        sets.push_back(c);
    }
    std::function<std::uint64_t(Cells, int)> count = [&](Cells used, int placed) -> std::uint64_t {
        if (placed == 10)
            return 1;
        int lowest = 0;
        while (lowest < 64 ? (used.low >> lowest & 1) : (used.high >> (lowest - 64) & 1))
            ++lowest;
        std::uint64_t total = 0;
        for (const Cells& c : sets) {
            const bool covers = lowest < 64 ? (c.low >> lowest & 1) : (c.high >> (lowest - 64) & 1);
            if (covers && (c.low & used.low) == 0 && (c.high & used.high) == 0)
                total += count(Cells{used.low | c.low, used.high | c.high}, placed + 1);
        }
        return total;
    };
    return count(Cells{}, 0);
}

} // namespace mate_reference
