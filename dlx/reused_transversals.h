// A listing of diagonal transversals that keeps the tables of the top rows from
// one square to the next and walks only the rows below them.
#pragma once

#include <cstdint>

#include "generator/square.h"

// Finds the same set of diagonal transversals as enumerate_diagonal_transversals,
// in an order of its own, stores them in transversal_store and returns their
// number.  Past max_transversals records it keeps counting without storing.
// Any 10x10 array of values 0-9 will do, in any sequence: the tables kept from
// earlier calls are used only for the rows the square still shares with them.
std::int32_t enumerate_transversals_reusing_rows(const Square& square);

// Drops the kept tables: the next call starts from nothing.
void forget_kept_rows();
