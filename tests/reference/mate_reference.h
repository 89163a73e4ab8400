// Slow, plain methods for the questions the orthogonality search answers:
// diagonal transversals by backtracking over square rows, the search order of a
// least-size exact-cover search written over sets, orthogonal mates by choosing
// disjoint transversals cell by cell, and the checks that prove a mate.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "generator/square.h"

namespace mate_reference {

// Byte r is the column of the cell in square row r.
using CellChoice = std::array<std::uint8_t, 10>;

// Every set of ten cells, one per square row and per square column, with ten
// different values, exactly one cell (r, r) and exactly one cell (r, 9 - r); in
// increasing order of the column sequence.  Any 10x10 array of values 0-9 will do.
std::vector<CellChoice> diagonal_transversals(const Square& square);
std::int64_t count_diagonal_transversals(const Square& square);

// The same transversals in the order in which an exact-cover search meets them
// when it branches on the uncovered constraint with the fewest remaining cells
// (lowest constraint on ties: square rows, square columns, values, main
// diagonal, anti-diagonal) and tries the cells in row-major order.
std::vector<CellChoice> transversals_in_search_order(const Square& square);

// Every row, every column and both diagonals hold each of 0-9 once.
bool is_diagonal_latin_square(const Square& square);

// The 100 pairs (a(r, c), b(r, c)) are all different.
bool are_orthogonal(const Square& a, const Square& b);

// Whether ten of the square's diagonal transversals are pairwise disjoint,
// decided by covering the lowest uncovered cell with each disjoint transversal
// through it in turn.
bool has_mate_by_backtracking(const Square& square);

// The number of ways to partition the cells into ten diagonal transversals,
// counted by covering the lowest uncovered cell with each disjoint transversal
// through it in turn.
std::uint64_t count_mates(const Square& square);

// Diagonal Latin squares of the generator's space for one anti-diagonal, taken
// a couple at a time from random points of the space (fixed seed).  The real
// generator walks the space; the squares are only inputs to other tests.
std::vector<Square> generated_squares(int diagonal_index, int count, std::uint32_t seed);

} // namespace mate_reference
