#include "generator/walk.h"

void set_diagonal_masks(GeneratorState& state)
{
    const std::int32_t* const anti = anti_diagonal_table[state.diagonal_index];
    for (int r = 0; r < 10; ++r)
        state.row_masks[r] = (1u << r) | (1u << anti[r]);
    for (int c = 0; c < 10; ++c)
        state.column_masks[c] = (1u << c) | (1u << anti[9 - c]);
}

bool place_value(GeneratorState& state, int k, std::int32_t value)
{
    const std::int32_t cell = cell_order_table[k];
    const std::uint32_t free_set = (state.row_masks[cell >> 4] | state.column_masks[cell & 15]) ^ all_values;
    const std::uint32_t bit = (value >= 0 && value < 32) ? 1u << value : 0u;
    if ((bit & free_set) == 0)
        return false;
    state.chosen_bits[k] = bit;
    state.row_masks[cell >> 4] ^= bit;
    state.column_masks[cell & 15] ^= bit;
    state.candidate_sets[k] = free_set & -bit;
    return true;
}

int replay_values(GeneratorState& state, const std::int32_t* values, int count)
{
    set_diagonal_masks(state);
    for (int k = 0; k < count; ++k) {
        if (!place_value(state, k, values[k]))
            return k;
    }
    return count;
}
