// The symmetry filter's verdict on a partial square: the cells the generator
// has filled so far decide, for many prefixes, what is_canonical will answer
// for every square that completes them.
#pragma once

#include <cstdint>

enum class PrefixVerdict {
    passes,    // every completion passes is_canonical
    fails,     // every completion fails is_canonical
    undecided, // the filled cells do not settle it
};

struct GeneratorState;

// Judges the prefix of the first `filled` positions (1-80) of state, in the
// space of state.diagonal_index, right after position filled - 1 has been
// placed: state.chosen_bits hold positions 0 .. filled - 1 and the row and
// column masks hold exactly those and the diagonals.  Only those cells are
// read.  It goes on from the judgement of the prefix one position shorter,
// kept in static storage: the call before it on this prefix must have been
// judge_placement(state, filled - 1) with positions 0 .. filled - 2 as they are
// now (none is needed for filled = 1).  A depth-first walk that judges every
// position it places meets this by itself.
PrefixVerdict judge_placement(const GeneratorState& state, int filled);

// The same verdict from nothing, for the first `filled` of 80 one-hot values
// of a square of the space of diagonal_index (0-66): places and judges them in
// turn.  A prefix that repeats a value in a row or column has no completion and
// fails.
PrefixVerdict judge_prefix(const std::uint32_t* chosen_bits, int filled, std::int32_t diagonal_index);
