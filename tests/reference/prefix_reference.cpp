#include "reference/prefix_reference.h"

#include <functional>

#include "generator/tables.h"

namespace reference {

namespace {

// The free cells (off both diagonals) in row-major order.
std::vector<int> free_cells_row_major()
{
    std::vector<int> cells;
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            if (c != r && c != 9 - r)
                cells.push_back(10 * r + c);
    return cells;
}

// Whether v may go into cell given the filled cells: no repeat in its row or column.
bool value_fits(const Square& s, const std::vector<bool>& filled, int cell, int v)
{
    for (int j = 0; j < 10; ++j) {
        const int in_row = 10 * (cell / 10) + j;
        const int in_column = 10 * j + cell % 10;
        if ((filled[in_row] && s.cells[in_row] == v) || (filled[in_column] && s.cells[in_column] == v))
            return false;
    }
    return true;
}

} // namespace

Square square_with_prefix(int diagonal_index, const std::vector<int>& prefix, int rest)
{
    Square s{};
    for (int r = 0; r < 10; ++r) {
        s.cells[11 * r] = static_cast<std::uint8_t>(r);
        s.cells[10 * r + 9 - r] = static_cast<std::uint8_t>(anti_diagonal_table[diagonal_index][r]);
    }
    const std::vector<int> cells = free_cells_row_major();
    for (std::size_t k = 0; k < cells.size(); ++k) {
        const int value = k < prefix.size() ? prefix[k] : rest >= 0 ? rest : cells[k] / 10;
        s.cells[cells[k]] = static_cast<std::uint8_t>(value);
    }
    return s;
}

std::vector<std::vector<int>> consistent_prefixes(int diagonal_index, const std::vector<int>& prefix, int length)
{
    const std::vector<int> cells = free_cells_row_major();
    Square s{};
    for (int r = 0; r < 10; ++r) {
        s.cells[11 * r] = static_cast<std::uint8_t>(r);
        s.cells[10 * r + 9 - r] = static_cast<std::uint8_t>(anti_diagonal_table[diagonal_index][r]);
    }
    std::vector<bool> filled(100, false);
    for (int r = 0; r < 10; ++r)
        filled[11 * r] = filled[10 * r + 9 - r] = true;
    auto fits = [&](int cell, int v) { return value_fits(s, filled, cell, v); };
    std::vector<std::vector<int>> found;
    std::vector<int> values;
    for (std::size_t k = 0; k < prefix.size(); ++k) {
        if (!fits(cells[k], prefix[k]))
            return found;
        s.cells[cells[k]] = static_cast<std::uint8_t>(prefix[k]);
        filled[cells[k]] = true;
        values.push_back(prefix[k]);
    }
    std::function<void(int)> extend = [&](int k) {
        if (k == length) {
            found.push_back(values);
            return;
        }
        for (int v = 0; v < 10; ++v) {
            if (!fits(cells[k], v))
                continue;
            s.cells[cells[k]] = static_cast<std::uint8_t>(v);
            filled[cells[k]] = true;
            values.push_back(v);
            extend(k + 1);
            values.pop_back();
            filled[cells[k]] = false;
        }
    };
    extend(static_cast<int>(prefix.size()));
    return found;
}

std::vector<int> next_prefix_brute_force(int diagonal_index, const std::vector<int>& prefix)
{
    // Depth-first in increasing order; while the values so far equal the
    // prefix's, only values not below the prefix's are tried, and the prefix
    // itself is skipped.
    const std::vector<int> cells = free_cells_row_major();
    const int length = static_cast<int>(prefix.size());
    Square s = square_with_prefix(diagonal_index, {}, 0);
    std::vector<bool> filled(100, false);
    for (int r = 0; r < 10; ++r)
        filled[11 * r] = filled[10 * r + 9 - r] = true;
    auto fits = [&](int cell, int v) { return value_fits(s, filled, cell, v); };
    std::vector<int> values;
    std::function<bool(int, bool)> extend = [&](int k, bool tight) {
        if (k == length)
            return !tight;
        for (int v = tight ? prefix[k] : 0; v < 10; ++v) {
            if (!fits(cells[k], v))
                continue;
            s.cells[cells[k]] = static_cast<std::uint8_t>(v);
            filled[cells[k]] = true;
            values.push_back(v);
            if (extend(k + 1, tight && v == prefix[k]))
                return true;
            values.pop_back();
            filled[cells[k]] = false;
        }
        return false;
    };
    if (!extend(0, true))
        values.clear();
    return values;
}

} // namespace reference
