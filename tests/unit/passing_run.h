// Stretches of the search as the worker meets them, for the tests of the
// listings that keep tables from one square to the next.
#pragma once

#include <bit>
#include <cstdio>
#include <string>
#include <cstdint>
#include <ostream>
#include <random>
#include <vector>

#include "filter/canonical.h"
#include "generator/generator.h"
#include "generator/state.h"
#include "generator/tables.h"
#include "io/workunit.h"
#include "support.h"

// The work unit's start square is the all-zero one (start_depth 0) or a random
// prefix of start_depth free values that fit, with a fixed seed; the squares
// are those that pass the symmetry filter after it, in the order the worker
// meets them.
struct Run {
    int diagonal_index;
    int start_depth;
    std::uint32_t seed;
};

inline void PrintTo(const Run& run, std::ostream* out)
{
    *out << "space " << run.diagonal_index << ", start depth " << run.start_depth << ", seed " << run.seed;
}

// The first `count` squares that pass the symmetry filter from the state
// generator_state holds (work-unit fields set), or fewer when the space ends
// or 50 million squares go by; leaves the state reset.
inline std::vector<Square> passing_squares_from_primed_state(int count)
{
    std::vector<Square> squares;
    if (prime_generator())
        for (long steps = 0; static_cast<int>(squares.size()) < count && steps < 50'000'000 && next_square(); ++steps)
            if (is_canonical(generator_state.chosen_bits))
                squares.push_back(assembled_square);
    reset_state();
    return squares;
}

#ifdef DLSMATE_UNITS_DIR
// The same from the start square of a work unit of bench/units (by name,
// without .wu); its diagonal index is returned in `diagonal_index`.
inline std::vector<Square> passing_squares_of_unit(const std::string& name, int count, int& diagonal_index)
{
    reset_state();
    std::FILE* input = std::fopen((std::string(DLSMATE_UNITS_DIR) + "/" + name + ".wu").c_str(), "rb");
    if (input == nullptr || !read_workunit(input)) {
        if (input != nullptr)
            std::fclose(input);
        return {};
    }
    std::fclose(input);
    diagonal_index = generator_state.diagonal_index;
    generator_state.square_limit = static_cast<std::uint64_t>(count);
    return passing_squares_from_primed_state(count);
}
#endif

inline std::vector<Square> passing_squares(const Run& run, int count)
{
    reset_state();
    GeneratorState& s = generator_state;
    s.diagonal_index = run.diagonal_index;
    s.start_count = 80;
    s.square_limit = static_cast<std::uint64_t>(count);
    const std::int32_t* const anti = anti_diagonal_table[run.diagonal_index];
    std::uint32_t row_used[10], column_used[10];
    for (int i = 0; i < 10; ++i) {
        row_used[i] = 1u << i | 1u << anti[i];
        column_used[i] = 1u << i | 1u << anti[9 - i];
    }
    std::mt19937 random(run.seed);
    for (int k = 0; k < run.start_depth; ++k) {
        const int cell = cell_order_table[k];
        const int r = cell >> 4, c = cell & 15;
        const std::uint32_t free_values = 0x3FF & ~(row_used[r] | column_used[c]);
        if (free_values == 0)
            break;
        std::uint32_t pick = random() % static_cast<std::uint32_t>(std::popcount(free_values));
        std::uint32_t bits = free_values;
        while (pick-- > 0)
            bits &= bits - 1;
        const int v = std::countr_zero(bits);
        row_used[r] |= 1u << v;
        column_used[c] |= 1u << v;
        s.start_values[k] = v;
    }

    return passing_squares_from_primed_state(count);
}
