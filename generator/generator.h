// Enumerating the diagonal Latin squares of the run's space in increasing order.
#pragma once

// Places the search just past the work unit's start square.  False when no
// square can follow it (position -1).
bool prime_generator();

// Leaves the next complete square in generator_state.chosen_bits (position 80).
// False when the space is exhausted (position -1).
bool next_square();

// next_square with the squares that fail the symmetry filter left out, and
// every completion of a prefix on which they all fail skipped at once: each
// placement is judged as it is made, and a prefix that fails is backed up past.
// Returns exactly the squares of next_square that pass is_canonical, in the
// same order; false when none is left (position -1).
bool next_live_square();
