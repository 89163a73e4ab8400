// The per-row index that the fast transversal listings walk with, shared by the
// halves listing and the row-reusing one.
#pragma once

#include <bit>
#include <cassert>
#include <cstdint>

// A partial transversal is described by one word:
//   bits 0-9    the columns it uses,
//   bit 10      it meets the main diagonal, bit 11 the anti-diagonal,
//   bits 12-21  the values it uses.
// A cell's own word has one bit in each group it belongs to.
inline constexpr std::uint32_t all_ten = 0x3FF;
inline constexpr int diagonal_shift = 10;
inline constexpr int value_shift = 12;

// Per square row: the columns holding a value of a set of free values, looked
// up by the low five and the high five bits of the set; the columns a row may
// not use for each pair of diagonal bits; and each cell's word.
struct RowIndex {
    std::uint32_t columns_low[32];
    std::uint32_t columns_high[32];
    std::uint32_t diagonal_block[4];
    std::uint32_t cell_word[10];
};

// Indexes square row r, whose ten values (0-9) are `cells`.
inline void index_row(RowIndex& row, const std::uint8_t* cells, int r)
{
    std::uint32_t columns_of_value[10] = {};
    for (int c = 0; c < 10; ++c) {
        const int v = cells[c];
        assert(v >= 0 && v <= 9);
        std::uint32_t word = (1u << c) | (1u << (value_shift + v));
        if (c == r)
            word |= 1u << diagonal_shift;
        else if (c == 9 - r)
            word |= 2u << diagonal_shift;
        row.cell_word[c] = word;
        columns_of_value[v] |= 1u << c;
    }
    row.columns_low[0] = row.columns_high[0] = 0;
    for (unsigned set = 1; set < 32; ++set) {
        const int lowest = std::countr_zero(set);
        row.columns_low[set] = row.columns_low[set & (set - 1)] | columns_of_value[lowest];
        row.columns_high[set] = row.columns_high[set & (set - 1)] | columns_of_value[lowest + 5];
    }
    const std::uint32_t main_cell = 1u << r;
    const std::uint32_t anti_cell = 1u << (9 - r);
    row.diagonal_block[0] = 0;
    row.diagonal_block[1] = main_cell;
    row.diagonal_block[2] = anti_cell;
    row.diagonal_block[3] = main_cell | anti_cell;
}

// The columns of a row whose cell extends the partial transversal `word`: its
// column and value are free, and it meets no diagonal met already.
inline std::uint32_t open_columns(const RowIndex& row, std::uint32_t word)
{
    const std::uint32_t free_values = (~word >> value_shift) & all_ten;
    const std::uint32_t blocked = word | row.diagonal_block[(word >> diagonal_shift) & 3];
    return (row.columns_low[free_values & 31] | row.columns_high[free_values >> 5]) & ~blocked;
}
