#include "reference/enumeration_reference.h"

#include "generator/tables.h"

namespace reference {
namespace {

bool is_free_cell(int r, int c)
{
    return c != r && c != 9 - r;
}

std::vector<int> free_cells()
{
    std::vector<int> cells;
    for (int n = 0; n < 100; ++n)
        if (is_free_cell(n / 10, n % 10))
            cells.push_back(n);
    return cells;
}

// Whether v may go into cell n given every cell filled so far.
bool fits(const Square& s, const std::vector<bool>& filled, int n, int v)
{
    const int r = n / 10;
    const int c = n % 10;
    for (int i = 0; i < 10; ++i) {
        if (filled[10 * r + i] && s.cells[10 * r + i] == v)
            return false;
        if (filled[10 * i + c] && s.cells[10 * i + c] == v)
            return false;
    }
    return true;
}

struct Walk {
    std::vector<int> cells = free_cells();
    std::vector<Square> found;
    std::size_t max_count = 0;
    bool descending = false;

    void fill(Square& s, std::vector<bool>& filled, std::size_t i)
    {
        if (found.size() >= max_count)
            return;
        if (i == cells.size()) {
            found.push_back(s);
            return;
        }
        const int n = cells[i];
        for (int step = 0; step < 10; ++step) {
            const int v = descending ? 9 - step : step;
            if (!fits(s, filled, n, v))
                continue;
            s.cells[n] = static_cast<std::uint8_t>(v);
            filled[n] = true;
            fill(s, filled, i + 1);
            filled[n] = false;
            if (found.size() >= max_count)
                return;
        }
    }
};

std::vector<Square> walk(int diagonal_index, const Square& prefix, int fixed, std::size_t max_count, bool descending)
{
    Walk w;
    w.max_count = max_count;
    w.descending = descending;
    Square s = empty_square(diagonal_index);
    std::vector<bool> filled(100, false);
    for (int r = 0; r < 10; ++r)
        filled[11 * r] = filled[9 * r + 9] = true;
    for (int i = 0; i < fixed; ++i) {
        const int n = w.cells[i];
        s.cells[n] = prefix.cells[n];
        filled[n] = true;
    }
    w.fill(s, filled, static_cast<std::size_t>(fixed));
    return w.found;
}

} // namespace

Square empty_square(int diagonal_index)
{
    Square s{};
    for (int r = 0; r < 10; ++r) {
        s.cells[11 * r] = static_cast<std::uint8_t>(r);
        s.cells[9 * r + 9] = static_cast<std::uint8_t>(anti_diagonal_table[diagonal_index][r]);
    }
    return s;
}

std::vector<Square> completions(int diagonal_index, const Square& prefix, int fixed, std::size_t max_count)
{
    return walk(diagonal_index, prefix, fixed, max_count, false);
}

Square first_square(int diagonal_index)
{
    return walk(diagonal_index, Square{}, 0, 1, false).at(0);
}

Square last_square(int diagonal_index)
{
    return walk(diagonal_index, Square{}, 0, 1, true).at(0);
}

bool is_diagonal_latin(const Square& s)
{
    for (int i = 0; i < 10; ++i) {
        unsigned row = 0, column = 0;
        for (int j = 0; j < 10; ++j) {
            if (s.cells[10 * i + j] > 9 || s.cells[10 * j + i] > 9)
                return false;
            row |= 1u << s.cells[10 * i + j];
            column |= 1u << s.cells[10 * j + i];
        }
        if (row != 0x3FF || column != 0x3FF)
            return false;
    }
    unsigned main = 0, anti = 0;
    for (int i = 0; i < 10; ++i) {
        main |= 1u << s.cells[11 * i];
        anti |= 1u << s.cells[9 * i + 9];
    }
    return main == 0x3FF && anti == 0x3FF;
}

std::array<int, 80> free_values(const Square& s)
{
    std::array<int, 80> values{};
    int k = 0;
    for (int n = 0; n < 100; ++n)
        if (is_free_cell(n / 10, n % 10))
            values[k++] = s.cells[n];
    return values;
}

} // namespace reference
