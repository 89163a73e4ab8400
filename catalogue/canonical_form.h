// Main classes of diagonal Latin squares and their canonical forms.
//
// The geometric group of order n: the simultaneous permutations p of rows and
// columns with p(n-1-i) = n-1-p(i), each composed with transposition or not
// and with the reversal of the row order or not; 2^m * m! * 4 maps, m = n / 2.
// Each keeps a diagonal Latin square diagonal Latin.  A square is normalized
// when its first row reads 0 .. n-1; normalizing renames the symbols so.  The
// canonical form (CF) of a square is the smallest normalized image of it under
// the group, squares compared cell by cell, row by row; its main class is the
// set of normalized images.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "catalogue/latin_square.h"

// A map of the group as the cells it reads: the image of square s has
// s.cells[map[i]] in cell i.
using CellMap = std::array<std::uint8_t, max_order * max_order>;

// The group of order n (1-10), built once per order; identity first.
const std::vector<CellMap>& geometric_group(int order);

LatinSquare apply_map(const CellMap& map, const LatinSquare& square);
LatinSquare normalized(const LatinSquare& square);

struct CanonicalForm {
    LatinSquare form;
    std::uint32_t class_size = 0; // normalized squares in the main class
    std::uint32_t stabilizer = 0; // maps that leave the CF as it is (group size / class size)
};
CanonicalForm canonical_form(const LatinSquare& square);
