// The generator's steps over one GeneratorState: the worker's walk and the
// tools' walks over prefixes of the free cells are this one walk.
//
// A walk stands on a prefix of k positions: chosen_bits[0 .. k) hold its
// one-hot values, the row and column masks hold exactly those and the
// diagonals, and candidate_sets[j] holds the value at j (its lowest bit) and
// the values still to try there.  A walk bounded below by `floor` never changes
// the positions under it.
#pragma once

#include <cstdint>

#include "generator/state.h"
#include "generator/tables.h"
#include "generator/walk_rule.h"

// Sets the masks of state to the diagonals of its space, and nothing else.
void set_diagonal_masks(GeneratorState& state);

// Places `value` at position k of a walk standing on k positions, keeping every
// free value above it to try (those below count as tried).  False, with
// nothing changed, when the value is not free there (repeated in its row or
// column, or not a value 0-9).
bool place_value(GeneratorState& state, int k, std::int32_t value);

// Sets the diagonals into the masks and places values[0 .. count) in turn.
// Returns how many were placed: the first value that is not free ends it.
int replay_values(GeneratorState& state, const std::int32_t* values, int count);

// dls_back_up over the state's walk: the next position to fill after backing up
// from a walk on k positions (no further than floor), or -1.
inline int back_up(GeneratorState& state, int k, int floor = 0)
{
    return dls_back_up(state.row_masks, state.column_masks, state.candidate_sets, state.chosen_bits, cell_order_table,
                       k, floor);
}

// dls_step_forward over the state's walk: fills position k, or backs up (no
// further than floor).  Returns the next position to fill, or -1.
inline int step_forward(GeneratorState& state, int k, int floor = 0)
{
    return dls_step_forward(state.row_masks, state.column_masks, state.candidate_sets, state.chosen_bits,
                            cell_order_table, k, floor);
}

// Fills positions from k on with the smallest values, backing up as needed
// (no further than floor), until `length` positions are filled.  Returns
// length, or -1 when no prefix of that length is left.
inline int fill_to(GeneratorState& state, int k, int length, int floor = 0)
{
    while (k >= 0 && k < length)
        k = step_forward(state, k, floor);
    return k;
}
