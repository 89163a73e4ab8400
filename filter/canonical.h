// The symmetry filter: assembles each complete square and keeps it only when it
// is the smallest member of its symmetry class.
#pragma once

#include <cstdint>

#include "generator/square.h"

// Slot 0 is the square under test, slot 1 its reflected square (diagonal indices
// 0-55 only).  Static, rewritten by every call of is_canonical.
extern Square source_squares[2];
inline Square& assembled_square = source_squares[0];
inline Square& reflected_square = source_squares[1];

// Number of slots, from slot 0, that passes_symmetry_map compares: 2 or 1.
extern std::int32_t source_count;

// Writes the square given by the generator's one-hot chosen_bits, diagonals
// included, into assembled_square, and answers whether no member of its class
// with the same diagonals is smaller.
bool is_canonical(const std::uint32_t* chosen_bits);

// False when the image of a source square under the map (positions p, values m)
// is below assembled_square on the 64 compared cells.
bool passes_symmetry_map(const std::int32_t* positions, const std::int32_t* values);
