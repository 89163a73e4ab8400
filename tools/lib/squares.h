// Squares as the operator tools see them: the checks a returned square must
// pass, conversions between a square and the generator's free-cell order, and
// the record format, all through the worker's own modules.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "generator/square.h"

// The square of a space with every free cell 0: main diagonal 0-9, the
// anti-diagonal of diagonal_index (0-66).
Square space_diagonals(int diagonal_index);

// The all-nines square: every square of every space lies below it.
Square all_nines();

// The values of the 80 free cells in generator position order.
std::array<int, 80> free_values(const Square& square);

// The first thing that keeps the square from being a diagonal Latin square of
// order 10 ("row 2 holds 5 twice"), or an empty string when it is one.
std::string diagonal_latin_problem(const Square& square);

// Why the square's diagonals are not those of the space of diagonal_index
// (0-66), or an empty string when they are.
std::string diagonals_problem(const Square& square, int diagonal_index);

// The symmetry filter's verdict on a square of the space of diagonal_index
// (0-66): is_canonical run on the square's one-hot free-cell values.
bool is_smallest_of_class(const Square& square, int diagonal_index);

// The 212-byte record of a square, written by the worker's own writer.
std::string square_record(const Square& square);

// The square's values as ten lines of ten numbers separated by single spaces,
// each line ended by LF.
std::string square_lines(const Square& square);

// The square's values on one line, rows separated by " / ".
std::string square_one_line(const Square& square);

// The squares above a limit of transversals cannot be searched: the worker's
// mate search ends the process on them.  These answers guard it.
struct MateAnswer {
    bool too_many_transversals = false; // more than max_transversals: not searched
    bool has_mate = false;
    std::int32_t transversals = 0;      // diagonal transversals of the square
};
MateAnswer check_mate(const Square& square);

struct MateList {
    bool too_many_transversals = false;
    std::int32_t transversals = 0;
    // One mate per set of ten disjoint diagonal transversals, its symbols named
    // so that its first row reads 0 1 ... 9; in increasing order.
    std::vector<Square> mates;
};
MateList all_mates(const Square& square);
