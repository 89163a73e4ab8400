// GeneratorState: the one record of mutable state of a run.
#pragma once

#include <cstdint>

#include "generator/square.h"

struct GeneratorState {
    // Work-unit fields, written once by read_workunit.
    Square end_square;                // low 8 bits of each value read
    std::uint64_t square_limit;       // passing squares after which the run stops, >= 1
    std::int32_t start_count;         // entries in start_values, 80 after a good read
    std::int32_t start_values[80];    // start square's free cells in position order, unchecked
    std::int32_t diagonal_index;      // 0-66: row of anti_diagonal_table

    // Run fields, written by the generator and the search loop.
    std::uint64_t passing_count;      // squares that passed is_canonical, current one included
    std::uint32_t row_masks[10];      // values present in each row, diagonals included
    std::uint32_t column_masks[10];   // values present in each column, diagonals included
    std::int32_t position;            // free cells filled: 0-79 building, 80 complete, -1 exhausted
    std::uint32_t candidate_sets[80]; // placed value (lowest bit) plus the values still to try
    std::uint32_t chosen_bits[80];    // one-hot value placed at each position
};

// The run's state: static, zero at process start, never reset by the worker.
extern GeneratorState generator_state;
