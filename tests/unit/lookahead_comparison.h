// The look-ahead against the one first built, on the prefixes of a sequence of
// squares and on variations of them.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "filter/lookahead.h"
#include "filter/prefix.h"
#include "generator/square.h"
#include "generator/state.h"
#include "generator/tables.h"
#include "reference/lookahead_reference.h"

struct LookaheadComparison {
    long asked = 0;      // pairs of calls made
    long failing = 0;    // calls whose verdict is that every completion fails
    long different = 0;  // calls where the two verdicts differ
};

// For every square, in turn, judges its prefixes position by position with a
// pruned walk of its own (going on from the first position where the square
// differs from the one before), and at each row end up to the eighth where
// the walk would look ahead asks both look-aheads: with the open images and
// first unmatched cells the judgement left, and `variations` times with a
// random set of the images and random first unmatched cells in the complete
// rows, which makes many more images depend on empty source rows.
inline LookaheadComparison compare_lookaheads(const std::vector<Square>& squares, int diagonal_index,
                                              int variations, std::uint32_t seed)
{
    static PrunedWalk walk;
    walk = PrunedWalk{};
    std::mt19937_64 random(seed);
    LookaheadComparison result;
    const std::int32_t* const anti = anti_diagonal_table[diagonal_index];
    const Square* before = nullptr;
    for (const Square& square : squares) {
        int first = 0;
        if (before != nullptr)
            while (first < free_cell_count) {
                const int cell = cell_order_table[first];
                const int n = 10 * (cell >> 4) + (cell & 15);
                if (square.cells[n] != before->cells[n])
                    break;
                ++first;
            }
        before = &square;
        GeneratorState state{};
        state.diagonal_index = diagonal_index;
        for (int r = 0; r < 10; ++r) {
            state.row_masks[r] = (1u << r) | (1u << anti[r]);
            state.column_masks[r] = (1u << r) | (1u << anti[9 - r]);
        }
        const int last = 8 * last_row_looked_ahead_from;
        for (int k = 0; k < last; ++k) {
            const int cell = cell_order_table[k];
            const std::uint32_t bit = 1u << square.cells[10 * (cell >> 4) + (cell & 15)];
            state.chosen_bits[k] = bit;
            state.row_masks[cell >> 4] |= bit;
            state.column_masks[cell & 15] |= bit;
            if (k < first)
                continue;
            const int filled = k + 1;
            if (judge_placement(walk, state, filled) == PrefixVerdict::fails)
                break;
            if (filled % 8 != 0)
                continue;
            int first_unmatched[max_prefix_images];
            std::uint64_t open = walk.open_images[filled];
            for (int t = 0; t < max_prefix_images; ++t)
                first_unmatched[t] = walk.first_unmatched[t];
            for (int v = 0; v <= variations; ++v) {
                if (v > 0) {
                    open = random() & walk.all_open;
                    for (int t = 0; t < walk.image_count; ++t)
                        first_unmatched[t] = static_cast<int>(random() % static_cast<unsigned>(filled));
                }
                const bool fails = some_source_row_fails(state, filled, open, walk.images, first_unmatched);
                const bool reference = lookahead_reference::source_row_fails_column_by_column(
                    state, filled, open, walk.images, first_unmatched);
                ++result.asked;
                result.failing += fails;
                result.different += fails != reference;
            }
        }
    }
    return result;
}
