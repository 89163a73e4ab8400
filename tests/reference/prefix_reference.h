// Prefixes of the free cells by plain recursion: each value checked against
// its row and column by scanning the square, written independently of the
// generator and of the tools' walk.
#pragma once

#include <vector>

#include "generator/square.h"

namespace reference {

// The space's diagonals, the prefix in the first free cells (row-major order),
// and `rest` in every later free cell (-1: the row number of the cell).
Square square_with_prefix(int diagonal_index, const std::vector<int>& prefix, int rest);

// Every assignment of the free cells from position `from` up to `length`,
// extending `prefix` (positions 0 .. from - 1), that repeats no value in a row
// or column (diagonals included); in increasing order.
std::vector<std::vector<int>> consistent_prefixes(int diagonal_index, const std::vector<int>& prefix, int length);

// The smallest consistent prefix of the same length above `prefix`, or an
// empty vector when there is none.
std::vector<int> next_prefix_brute_force(int diagonal_index, const std::vector<int>& prefix);

} // namespace reference
