// Completing prefixes on the device.  The host walks the prefixes of rows 0-4
// (40 positions) that the symmetry filter does not rule out; each work item
// takes one and walks all its completions, positions 40-79, in increasing
// order, with the worker's own steps (generator/walk_rule.h), keeping those
// that pass the worker's own symmetry filter (filter/canonical_rule.h).  The
// kept squares are exactly those the worker's pruned walk hands out for that
// prefix, in the same order: its pruning only skips squares the filter fails.
//
// count_kept_completions gives each prefix's number of kept squares, from which
// the host places each prefix's squares in a batch; list_kept_completions then
// writes them there.  A prefix is 40 values, one byte each.  The tables are
// the worker's: cell_order_table, anti_diagonal_table, reflection_table,
// symmetry_index_table, symmetry_map_table.

#ifndef DLS_KERNEL_MACROS
#include "opencl/kernel_macros.h"
#endif

#ifndef DLS_WALK_RULE
#include "generator/walk_rule.h"
#endif

#ifndef DLS_CANONICAL_RULE
#include "filter/canonical_rule.h"
#endif

#define DLS_PREFIX_LENGTH 40

// Walks the completions of `prefix` in the space of diagonal index d and
// returns how many pass the filter, writing them in order to `squares` (100
// bytes each) unless it is 0; -1 when the prefix repeats a value in a row or
// column.
DLS_FUNCTION int dls_complete_prefix(DLS_GLOBAL const dls_u8* prefix, int d, DLS_TABLE const int* cells,
                                     DLS_TABLE const int* anti_table, DLS_TABLE const int* reflection_table,
                                     DLS_TABLE const dls_u32* groups, DLS_TABLE const DlsSymmetryMap* maps,
                                     DLS_GLOBAL dls_u8* squares)
{
    DLS_TABLE const int(*anti_rows)[10] = (DLS_TABLE const int(*)[10])anti_table;
    DLS_TABLE const int(*reflection_rows)[10] = (DLS_TABLE const int(*)[10])reflection_table;
    dls_u32 rows[10];
    dls_u32 columns[10];
    dls_u32 candidates[80];
    dls_u32 chosen[80];
    dls_u8 q[100];
    dls_u8 reflected[100];

    dls_set_diagonal_masks(rows, columns, anti_rows[d]);
    for (int k = 0; k < DLS_PREFIX_LENGTH; ++k) {
        if (!dls_place_value(rows, columns, candidates, chosen, cells, k, prefix[k]))
            return -1;
    }
    int kept = 0;
    int k = DLS_PREFIX_LENGTH;
    for (;;) {
        while (k >= 0 && k < 80)
            k = dls_step_forward(rows, columns, candidates, chosen, cells, k, DLS_PREFIX_LENGTH);
        if (k < 0)
            return kept;
        if (dls_is_canonical_in_space(chosen, d, cells, anti_rows, reflection_rows, groups, maps, q, reflected)) {
            if (squares != 0) {
                DLS_GLOBAL dls_u8* const square = squares + 100 * kept;
                for (int n = 0; n < 100; ++n)
                    square[n] = q[n];
            }
            ++kept;
        }
        k = dls_back_up(rows, columns, candidates, chosen, cells, 80, DLS_PREFIX_LENGTH);
    }
}

// kept_counts[i]: the number of kept completions of prefix i.
DLS_KERNEL void count_kept_completions(DLS_GLOBAL const dls_u8* prefixes, int prefix_count, int d,
                                       DLS_TABLE const int* cells, DLS_TABLE const int* anti_table,
                                       DLS_TABLE const int* reflection_table, DLS_TABLE const dls_u32* groups,
                                       DLS_TABLE const DlsSymmetryMap* maps, DLS_GLOBAL int* kept_counts)
{
    const int item = DLS_WORK_ITEM();
    if (item >= prefix_count)
        return;
    kept_counts[item] = dls_complete_prefix(prefixes + DLS_PREFIX_LENGTH * item, d, cells, anti_table,
                                            reflection_table, groups, maps, 0);
}

// The kept completions of prefix i into squares, from square first_squares[i]
// on (its count from count_kept_completions, placed by the host).
DLS_KERNEL void list_kept_completions(DLS_GLOBAL const dls_u8* prefixes, int prefix_count, int d,
                                      DLS_TABLE const int* cells, DLS_TABLE const int* anti_table,
                                      DLS_TABLE const int* reflection_table, DLS_TABLE const dls_u32* groups,
                                      DLS_TABLE const DlsSymmetryMap* maps, DLS_GLOBAL const int* first_squares,
                                      DLS_GLOBAL dls_u8* squares)
{
    const int item = DLS_WORK_ITEM();
    if (item >= prefix_count)
        return;
    dls_complete_prefix(prefixes + DLS_PREFIX_LENGTH * item, d, cells, anti_table, reflection_table, groups, maps,
                        squares + 100 * (dls_u64)first_squares[item]);
}
