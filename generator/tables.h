// The two fixed tables that define the search space.
#pragma once

#include <bit>
#include <cstdint>

inline constexpr int diagonal_count = 67;
inline constexpr int free_cell_count = 80;

// Row i is the anti-diagonal filling selected by diagonal index i: entry r is the
// value of cell (r, 9 - r).  Every row is a permutation of 0-9 with A[r] != r,
// A[r] != 9 - r and A[0] = 1.
extern const std::int32_t anti_diagonal_table[diagonal_count][10];

// Entry k is the free cell filled at generator position k, encoded as
// row * 16 + column; the free cells in row-major order.
extern const std::int32_t cell_order_table[free_cell_count];

// The byte of a Square (10 * row + column) of a cell encoded as in
// cell_order_table.
inline constexpr int square_offset(std::int32_t cell)
{
    return 10 * (cell >> 4) + (cell & 15);
}

// The value 0-9 of a one-hot value set.
inline int value_of(std::uint32_t one_hot)
{
    return std::countr_zero(one_hot);
}
