// The two fixed tables that define the search space.
#pragma once

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
