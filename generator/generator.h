// Enumerating the diagonal Latin squares of the run's space in increasing order.
#pragma once

// Places the search just past the work unit's start square.  False when no
// square can follow it (position -1).
bool prime_generator();

// Leaves the next complete square in generator_state.chosen_bits (position 80).
// False when the space is exhausted (position -1).
bool next_square();
