// An enumerator of diagonal Latin squares written independently of the
// generator: plain recursion over the free cells, checking each candidate
// against the row, the column and both diagonals by scanning the square.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "generator/square.h"

namespace reference {

// Every completion of `prefix` (the first `fixed` free cells in row-major order,
// diagonals from the anti-diagonal of `diagonal_index`), in increasing order.
// Stops after `max_count` squares.
std::vector<Square> completions(int diagonal_index, const Square& prefix, int fixed, std::size_t max_count);

// The smallest and the greatest square of a space.
Square first_square(int diagonal_index);
Square last_square(int diagonal_index);

// A square with main diagonal 0-9 and the anti-diagonal of the index, all free
// cells 0.
Square empty_square(int diagonal_index);

// True when every row, column and both diagonals hold each of 0-9 once.
bool is_diagonal_latin(const Square& square);

// The free cells (off both diagonals) of a square in row-major order.
std::array<int, 80> free_values(const Square& square);

} // namespace reference
