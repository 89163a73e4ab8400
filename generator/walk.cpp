#include "generator/walk.h"

void set_diagonal_masks(GeneratorState& state)
{
    dls_set_diagonal_masks(state.row_masks, state.column_masks, anti_diagonal_table[state.diagonal_index]);
}

bool place_value(GeneratorState& state, int k, std::int32_t value)
{
    return dls_place_value(state.row_masks, state.column_masks, state.candidate_sets, state.chosen_bits,
                           cell_order_table, k, value) != 0;
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
