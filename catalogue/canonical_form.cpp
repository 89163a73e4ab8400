#include "catalogue/canonical_form.h"

#include <algorithm>
#include <cassert>
#include <mutex>
#include <numeric>

namespace {

// The permutations p of 0 .. n-1 with p(n-1-i) = n-1-p(i): the pairs
// {i, n-1-i} permuted among themselves, each sent in either orientation.
std::vector<std::array<int, max_order>> symmetric_permutations(int n)
{
    const int m = n / 2;
    std::vector<std::array<int, max_order>> result;
    std::vector<int> pairs(m);
    std::iota(pairs.begin(), pairs.end(), 0);
    do {
        for (unsigned flips = 0; flips < (1u << m); ++flips) {
            std::array<int, max_order> p{};
            for (int i = 0; i < m; ++i) {
                const int target = (flips >> i) & 1 ? n - 1 - pairs[i] : pairs[i];
                p[i] = target;
                p[n - 1 - i] = n - 1 - target;
            }
            if (n % 2 == 1)
                p[m] = m;
            result.push_back(p);
        }
    } while (std::next_permutation(pairs.begin(), pairs.end()));
    return result;
}

std::vector<CellMap> build_group(int n)
{
    std::vector<CellMap> group;
    for (const std::array<int, max_order>& p : symmetric_permutations(n)) {
        for (int transpose = 0; transpose < 2; ++transpose) {
            for (int reverse = 0; reverse < 2; ++reverse) {
                CellMap map{};
                for (int r = 0; r < n; ++r) {
                    for (int c = 0; c < n; ++c) {
                        // Cell (r, c) of the image reads cell (p(r'), p(c')) of the
                        // square, (r', c') being (r, c) transposed and its row reversed.
                        const int row = reverse ? n - 1 - r : r;
                        const int rr = transpose ? c : row;
                        const int cc = transpose ? row : c;
                        map[n * r + c] = static_cast<std::uint8_t>(n * p[rr] + p[cc]);
                    }
                }
                group.push_back(map);
            }
        }
    }
    return group;
}

} // namespace

const std::vector<CellMap>& geometric_group(int order)
{
    assert(order >= 1 && order <= max_order);
    static std::vector<CellMap> groups[max_order + 1];
    static std::once_flag built[max_order + 1];
    std::call_once(built[order], [order] { groups[order] = build_group(order); });
    return groups[order];
}

LatinSquare apply_map(const CellMap& map, const LatinSquare& square)
{
    LatinSquare image;
    image.order = square.order;
    for (int i = 0; i < square.order * square.order; ++i)
        image.cells[i] = square.cells[map[i]];
    return image;
}

LatinSquare normalized(const LatinSquare& square)
{
    std::uint8_t rename[max_order] = {};
    for (int c = 0; c < square.order; ++c)
        rename[square.cells[c]] = static_cast<std::uint8_t>(c);
    LatinSquare result;
    result.order = square.order;
    for (int i = 0; i < square.order * square.order; ++i)
        result.cells[i] = rename[square.cells[i]];
    return result;
}

CanonicalForm canonical_form(const LatinSquare& square)
{
    const int n = square.order;
    const int cells = n * n;
    const std::vector<CellMap>& group = geometric_group(n);
    const std::uint8_t* const source = square.cells;

    // Each image is normalized and compared with the smallest so far cell by
    // cell from row 1 on (row 0 reads 0 .. n-1 in every normalized image),
    // stopping at the first difference; most images lose within a row or two.
    CanonicalForm result;
    result.form = normalized(square);
    std::uint8_t* const best = result.form.cells;
    std::uint32_t ties = 0;
    for (const CellMap& map : group) {
        std::uint8_t rename[max_order];
        for (int c = 0; c < n; ++c)
            rename[source[map[c]]] = static_cast<std::uint8_t>(c);
        int i = n;
        int difference = 0;
        for (; i < cells; ++i) {
            const std::uint8_t value = rename[source[map[i]]];
            if (value != best[i]) {
                difference = value < best[i] ? -1 : 1;
                break;
            }
        }
        if (difference == 0) {
            ++ties;
        } else if (difference < 0) {
            for (; i < cells; ++i)
                best[i] = rename[source[map[i]]];
            ties = 1;
        }
    }
    // The maps that give the CF form one coset of its stabilizer.
    result.stabilizer = ties;
    result.class_size = static_cast<std::uint32_t>(group.size()) / ties;
    return result;
}
