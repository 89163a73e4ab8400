// The symmetry filter's verdict on a partial square: the cells the generator
// has filled so far decide, for many prefixes, what is_canonical will answer
// for every square that completes them.
#pragma once

#include <cstdint>

#include "filter/prefix_image.h"

enum class PrefixVerdict {
    passes,    // every completion passes is_canonical
    fails,     // every completion fails is_canonical
    undecided, // the filled cells do not settle it
};

struct GeneratorState;

// The memory of one pruned walk between its placements: the images of the
// walk's space, what each prefix length left open, and whether the walk stands
// paused on a prefix it has judged.  Each walk has its own, in static storage;
// judging a prefix for one walk leaves every other walk's memory alone.
struct PrunedWalk {
    std::int32_t built_for;                 // diagonal index + 1 of the images; 0 before the first judgement
    int image_count;
    std::uint64_t all_open;                 // one bit per image
    std::uint64_t newly_known[81];          // per prefix length: images that know more cells than one shorter
    PrefixImage images[max_prefix_images];
    std::uint64_t open_images[81];          // per prefix length: the images that equal Q on every known cell
    int first_unmatched[max_prefix_images]; // per image: the first cell it has not matched yet
    bool paused;                            // the walk stands on a prefix it placed and judged, short of a square
};

// Judges the prefix of the first `filled` positions (1-80) of state, in the
// space of state.diagonal_index, right after position filled - 1 has been
// placed: state.chosen_bits hold positions 0 .. filled - 1 and the row and
// column masks hold exactly those and the diagonals.  Only those cells are
// read.  It goes on from the judgement of the prefix one position shorter,
// kept in `walk`: the call before it with this walk must have been
// judge_placement(walk, state, filled - 1) with positions 0 .. filled - 2 as
// they are now (none is needed for filled = 1).  A depth-first walk that
// judges every position it places meets this by itself.
PrefixVerdict judge_placement(PrunedWalk& walk, const GeneratorState& state, int filled);

// The same verdict from nothing, for the first `filled` of 80 one-hot values
// of a square of the space of diagonal_index (0-66): places and judges them in
// turn, with a walk of its own.  A prefix that repeats a value in a row or
// column has no completion and fails.
PrefixVerdict judge_prefix(const std::uint32_t* chosen_bits, int filled, std::int32_t diagonal_index);
