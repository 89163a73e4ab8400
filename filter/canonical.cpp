#include "filter/canonical.h"

#include "filter/tables.h"
#include "generator/state.h"
#include "generator/tables.h"

Square source_squares[2];
std::int32_t source_count;

bool is_canonical(const std::uint32_t* chosen_bits)
{
    const std::int32_t d = generator_state.diagonal_index;
    source_count = d < reflection_row_count ? 2 : 1;
    return dls_is_canonical_in_space(chosen_bits, d, cell_order_table, anti_diagonal_table, reflection_table,
                                     symmetry_index_table, symmetry_map_table, assembled_square.cells,
                                     reflected_square.cells) != 0;
}

bool passes_symmetry_map(const std::int32_t* positions, const std::int32_t* values)
{
    return dls_passes_symmetry_map(assembled_square.cells, reflected_square.cells, source_count, positions, values) != 0;
}
