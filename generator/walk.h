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

inline constexpr std::uint32_t all_values = 0x3FF;

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

// Takes the deepest filled position of a walk on k positions off the square
// until one of them, at floor or above, still has an untried value, and places
// the smallest such value there.  Returns the next position to fill, or -1
// when every position from floor on ran out of values.
inline int back_up(GeneratorState& state, int k, int floor = 0)
{
    std::uint32_t* const rows = state.row_masks;
    std::uint32_t* const columns = state.column_masks;
    std::uint32_t* const candidates = state.candidate_sets;
    std::uint32_t* const chosen = state.chosen_bits;
    const std::int32_t* const cells = cell_order_table;

    for (;;) {
        if (--k < floor)
            return -1;
        const std::int32_t cell = cells[k];
        const std::uint32_t bit = chosen[k];
        rows[cell >> 4] ^= bit;
        columns[cell & 15] ^= bit;
        if ((candidates[k] ^= bit) != 0) {
            const std::uint32_t next = candidates[k] & -candidates[k];
            chosen[k] = next;
            rows[cell >> 4] ^= next;
            columns[cell & 15] ^= next;
            return k + 1;
        }
    }
}

// Fills position k with its smallest free value, or backs up (no further than
// floor) when it has none.  Returns the next position to fill, or -1.
inline int step_forward(GeneratorState& state, int k, int floor = 0)
{
    const std::int32_t cell = cell_order_table[k];
    std::uint32_t& row = state.row_masks[cell >> 4];
    std::uint32_t& column = state.column_masks[cell & 15];
    const std::uint32_t free_set = (row | column) ^ all_values;
    state.candidate_sets[k] = free_set;
    if (free_set == 0)
        return back_up(state, k, floor);
    const std::uint32_t bit = free_set & -free_set;
    state.chosen_bits[k] = bit;
    row ^= bit;
    column ^= bit;
    return k + 1;
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
