// Enumerating the diagonal Latin squares of the run's space in increasing order.
#pragma once

#include <cstdint>

// Places the search just past the work unit's start square.  False when no
// square can follow it (position -1).
bool prime_generator();

// Places the search where a walk stands that has handed out every square below
// the given free-cell values and none from them on: just past the square for 80
// values, at the first square that begins with them for fewer (this is how a
// stopped run goes on).  False, with the state undefined, when the values are
// not such a prefix (a value repeated in its row or column, or not 0-9); the
// space may then be exhausted already (position -1).
bool resume_generator(const std::int32_t* values, int count);

// Leaves the next complete square in generator_state.chosen_bits (position 80).
// False when the space is exhausted (position -1).
bool next_square();

// next_square with the squares that fail the symmetry filter left out, and
// every completion of a prefix on which they all fail skipped at once: each
// placement is judged as it is made, and a prefix that fails is backed up past.
// Returns exactly the squares of next_square that pass is_canonical, in the
// same order; false when none is left (position -1).
bool next_live_square();

enum class LiveStep { square, pause, exhausted };

// next_live_square, but once it has judged `judgements` placements (at least
// 1) without reaching a square it gives control back with LiveStep::pause.  The walk then stands on a
// prefix of generator_state.position values in chosen_bits: every square below
// it has been handed out, none from it on, and resume_generator with its values
// would stand at the same place.  The next call goes on from there.
LiveStep next_live_step(std::uint32_t judgements);
