#include "brute_force.h"

#include <algorithm>
#include <bitset>
#include <set>

namespace {

struct Filler {
    int n;
    LatinSquare square;
    unsigned rows[max_order] = {};
    unsigned columns[max_order] = {};
    unsigned main_diagonal = 0;
    unsigned anti_diagonal = 0;

    explicit Filler(int order) : n(order) { square.order = order; }

    unsigned allowed(int r, int c) const
    {
        unsigned used = rows[r] | columns[c];
        if (r == c)
            used |= main_diagonal;
        if (r + c == n - 1)
            used |= anti_diagonal;
        return ((1u << n) - 1) & ~used;
    }
    void set(int r, int c, int v, bool on)
    {
        const unsigned bit = 1u << v;
        rows[r] ^= bit;
        columns[c] ^= bit;
        if (r == c)
            main_diagonal ^= bit;
        if (r + c == n - 1)
            anti_diagonal ^= bit;
        if (on)
            square.cells[n * r + c] = static_cast<std::uint8_t>(v);
    }
};

void fill_all(Filler& f, int cell, const std::function<void(const LatinSquare&)>& visit)
{
    if (cell == f.n * f.n) {
        visit(f.square);
        return;
    }
    const int r = cell / f.n;
    const int c = cell % f.n;
    const unsigned allowed = f.allowed(r, c);
    for (int v = 0; v < f.n; ++v) {
        if (!(allowed & (1u << v)))
            continue;
        f.set(r, c, v, true);
        fill_all(f, cell + 1, visit);
        f.set(r, c, v, false);
    }
}

bool fill_random(Filler& f, int cell, std::mt19937& random, long& budget)
{
    if (cell == f.n * f.n)
        return true;
    if (--budget < 0)
        return false;
    const int r = cell / f.n;
    const int c = cell % f.n;
    const unsigned allowed = f.allowed(r, c);
    std::vector<int> values;
    for (int v = 0; v < f.n; ++v)
        if (allowed & (1u << v))
            values.push_back(v);
    std::shuffle(values.begin(), values.end(), random);
    for (int v : values) {
        f.set(r, c, v, true);
        if (fill_random(f, cell + 1, random, budget))
            return true;
        f.set(r, c, v, false);
    }
    return false;
}

std::vector<int> symmetric_permutation(int n, const std::vector<int>& pair_order, unsigned flips)
{
    std::vector<int> p(n);
    for (int i = 0; i < n / 2; ++i) {
        const int target = (flips >> i) & 1 ? n - 1 - pair_order[i] : pair_order[i];
        p[i] = target;
        p[n - 1 - i] = n - 1 - target;
    }
    if (n % 2 == 1)
        p[n / 2] = n / 2;
    return p;
}

// Cell (r, c) of the image: (r, c) with rows reversed, then transposed, read through p.
int source_cell(int n, const std::vector<int>& p, bool transpose, bool reverse, int r, int c)
{
    int rr = reverse ? n - 1 - r : r;
    int cc = c;
    if (transpose)
        std::swap(rr, cc);
    return n * p[rr] + p[cc];
}

LatinSquare normalize(const LatinSquare& square)
{
    int rename[max_order];
    for (int c = 0; c < square.order; ++c)
        rename[square.cells[c]] = c;
    LatinSquare out = square;
    for (int i = 0; i < square.order * square.order; ++i)
        out.cells[i] = static_cast<std::uint8_t>(rename[square.cells[i]]);
    return out;
}

} // namespace

void for_each_normalized_dls(int n, const std::function<void(const LatinSquare&)>& visit)
{
    Filler f(n);
    for (int c = 0; c < n; ++c)
        f.set(0, c, c, true);
    fill_all(f, n, visit);
}

LatinSquare random_dls(int n, std::mt19937& random)
{
    for (;;) {
        Filler f(n);
        long budget = 20000;
        if (fill_random(f, 0, random, budget))
            return f.square;
    }
}

LatinSquare random_image(const LatinSquare& square, std::mt19937& random)
{
    const int n = square.order;
    std::vector<int> pairs(n / 2);
    for (int i = 0; i < n / 2; ++i)
        pairs[i] = i;
    std::shuffle(pairs.begin(), pairs.end(), random);
    const std::vector<int> p = symmetric_permutation(n, pairs, static_cast<unsigned>(random()));
    const bool transpose = random() & 1;
    const bool reverse = random() & 1;
    std::vector<int> rename(n);
    for (int i = 0; i < n; ++i)
        rename[i] = i;
    std::shuffle(rename.begin(), rename.end(), random);
    LatinSquare image;
    image.order = n;
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            image.cells[n * r + c] =
                static_cast<std::uint8_t>(rename[square.cells[source_cell(n, p, transpose, reverse, r, c)]]);
    return image;
}

std::vector<std::vector<int>> group_maps_brute_force(int n)
{
    std::vector<std::vector<int>> maps;
    std::vector<int> pairs(n / 2);
    for (int i = 0; i < n / 2; ++i)
        pairs[i] = i;
    do {
        for (unsigned flips = 0; flips < (1u << (n / 2)); ++flips) {
            const std::vector<int> p = symmetric_permutation(n, pairs, flips);
            for (int t = 0; t < 2; ++t) {
                for (int v = 0; v < 2; ++v) {
                    std::vector<int> map(n * n);
                    for (int r = 0; r < n; ++r)
                        for (int c = 0; c < n; ++c)
                            map[n * r + c] = source_cell(n, p, t, v, r, c);
                    maps.push_back(map);
                }
            }
        }
    } while (std::next_permutation(pairs.begin(), pairs.end()));
    return maps;
}

LatinSquare smallest_image_brute_force(const LatinSquare& square, std::size_t& distinct_images)
{
    std::set<LatinSquare> images;
    const int n = square.order;
    for (const std::vector<int>& map : group_maps_brute_force(n)) {
        LatinSquare image;
        image.order = n;
        for (int i = 0; i < n * n; ++i)
            image.cells[i] = square.cells[map[i]];
        images.insert(normalize(image));
    }
    distinct_images = images.size();
    return *images.begin();
}

namespace {

struct MateSearch {
    const LatinSquare& square;
    int n;
    std::vector<std::vector<int>> transversals; // column of each row
    std::vector<int> path;

    void transversals_from(int row, unsigned columns, unsigned values, int on_main, int on_anti)
    {
        if (row == n) {
            if (on_main == 1 && on_anti == 1)
                transversals.push_back(path);
            return;
        }
        for (int c = 0; c < n; ++c) {
            const int v = square.cells[n * row + c];
            if ((columns >> c) & 1 || (values >> v) & 1)
                continue;
            path[row] = c;
            transversals_from(row + 1, columns | 1u << c, values | 1u << v, on_main + (c == row),
                              on_anti + (c == n - 1 - row));
        }
    }
};

void cover(const std::vector<std::vector<int>>& transversals, int n, int symbol, std::bitset<100> used,
           LatinSquare& mate, std::vector<LatinSquare>& mates)
{
    if (symbol == n) {
        mates.push_back(mate);
        return;
    }
    for (const std::vector<int>& t : transversals) {
        if (t[0] != symbol)
            continue;
        bool free = true;
        for (int r = 0; r < n && free; ++r)
            free = !used[n * r + t[r]];
        if (!free)
            continue;
        std::bitset<100> next = used;
        for (int r = 0; r < n; ++r) {
            next[n * r + t[r]] = true;
            mate.cells[n * r + t[r]] = static_cast<std::uint8_t>(symbol);
        }
        cover(transversals, n, symbol + 1, next, mate, mates);
    }
}

} // namespace

std::vector<LatinSquare> mates_brute_force(const LatinSquare& square, std::size_t& transversals)
{
    MateSearch search{square, square.order, {}, std::vector<int>(square.order)};
    search.transversals_from(0, 0, 0, 0, 0);
    transversals = search.transversals.size();
    std::vector<LatinSquare> mates;
    LatinSquare mate;
    mate.order = square.order;
    cover(search.transversals, square.order, 0, {}, mate, mates);
    std::sort(mates.begin(), mates.end());
    return mates;
}
