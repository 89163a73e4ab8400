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

// The GPU worker's walk hands out prefixes of the first rows (rows 0-4) and
// leaves their completion to the device.
inline constexpr int prefix_length = 40;

// next_live_step stopped at prefixes of prefix_length positions: the prefixes
// that the symmetry filter does not rule out, in increasing order, none of
// whose completions the walk itself takes.  LiveStep::square hands one out: its
// one-hot values into prefix[0 .. prefix_length); the walk has then already
// moved past every square that begins with it.  LiveStep::pause as in
// next_live_step, counting the judgements past a prefix handed out in the same
// call.  After either, the walk stands where a checkpoint may record it (unless
// its position is -1: the next call says exhausted).  Starts from where
// prime_generator, resume_generator, next_live_prefix_step or leave_prefix
// left the walk, at a position of at most prefix_length.
LiveStep next_live_prefix_step(std::uint32_t judgements, std::uint32_t* prefix);

// For a walk primed or resumed inside a prefix (position above
// prefix_length): moves it past every square that begins with the prefix's
// first prefix_length values, as if a walk had handed them all out.  False when
// no square is left (position -1).
bool leave_prefix();
