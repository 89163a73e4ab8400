#include "filter/canonical.h"

#include "filter/tables.h"
#include "generator/state.h"
#include "generator/tables.h"

Square source_squares[2];
std::int32_t source_count;

bool is_canonical(const std::uint32_t* chosen_bits)
{
    const std::int32_t d = generator_state.diagonal_index;
    const bool reflected = d < reflection_row_count;
    source_count = reflected ? 2 : 1;
    const std::uint32_t word = symmetry_index_table[d];
    return dls_is_canonical(chosen_bits, cell_order_table, anti_diagonal_table[d], reflected ? reflection_table[d] : nullptr,
                            symmetry_map_table + (word >> 5), static_cast<int>(word & 31), assembled_square.cells,
                            reflected_square.cells) != 0;
}

bool passes_symmetry_map(const std::int32_t* positions, const std::int32_t* values)
{
    return dls_passes_symmetry_map(assembled_square.cells, reflected_square.cells, source_count, positions, values) != 0;
}
