// Deciding whether a square has an orthogonal diagonal mate.
#pragma once

#include <cstdint>

#include "generator/square.h"

// True when ten of the square's diagonal transversals partition its cells.  A
// square with more than max_transversals of them ends the process with status 1.
bool has_orthogonal_mate(const Square& square);

// The 100-column matrix (one column per cell) with one matrix row per stored
// transversal, in store order.
void build_mate_matrix(std::int32_t count);

// Exact-cover search over the mate matrix, stopping at the first cover.
bool find_mate_cover();
