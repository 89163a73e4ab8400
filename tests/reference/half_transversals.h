// A fast listing of diagonal transversals: partial transversals of the top five
// rows are joined with those of the bottom five rows.
#pragma once

#include <cstdint>

#include "generator/square.h"

// Finds the same set of diagonal transversals as enumerate_diagonal_transversals,
// in an order of its own, stores them in transversal_store and returns their
// number.  Past max_transversals records it keeps counting without storing.
std::int32_t enumerate_transversals_by_halves(const Square& square);
