// Listing the diagonal transversals of a square.
#pragma once

#include <cstdint>

#include "dlx/core.h"
#include "generator/square.h"

// Byte r is the column of the transversal's cell in square row r.
struct Transversal {
    std::uint8_t columns[10];
};

using TransversalStore = Transversal[max_transversals];

// Slot i holds the i-th transversal found for the current square; slots at and
// above the current count hold stale records.
extern TransversalStore transversal_store;

// The 32-column exact-cover matrix of the square's cells: square row, square
// column, value, main diagonal, anti-diagonal.  One matrix row per cell, in cell
// order, with row id the cell number.
void build_transversal_matrix(const Square& square);

// Finds every diagonal transversal, stores them in search order, and returns
// their number.  Past max_transversals records it keeps counting without
// storing, so the count returned is then above max_transversals.
std::int32_t enumerate_diagonal_transversals(const Square& square);
