// The generator's steps over the arrays of a walk, in the dialect the device
// sources share (opencl/kernel_macros.h): the worker's walk (generator/walk.h)
// and the device's completion of prefixes (opencl/prefix_kernel.cl) are these
// functions.
//
// A walk is four arrays: rows[10] and columns[10], the values present in each
// row and column; candidates[80], the value placed at each position (its lowest
// bit) and the values still to try there; chosen[80], the one-hot value placed
// at each position.  `cells` is the free cell filled at each position, encoded
// as row * 16 + column (cell_order_table).
#ifndef DLS_WALK_RULE
#define DLS_WALK_RULE

#ifndef DLS_KERNEL_MACROS
#include "opencl/kernel_macros.h"
#endif

#define DLS_ALL_VALUES 0x3FFu

// Sets rows and columns to the diagonals of the space of anti-diagonal `anti`
// (entry r: the value of cell (r, 9 - r)), and nothing else.
DLS_FUNCTION void dls_set_diagonal_masks(dls_u32* rows, dls_u32* columns, DLS_TABLE const int* anti)
{
    for (int r = 0; r < 10; ++r)
        rows[r] = (1u << r) | (1u << anti[r]);
    for (int c = 0; c < 10; ++c)
        columns[c] = (1u << c) | (1u << anti[9 - c]);
}

// Places `value` at position k of a walk standing on k positions, keeping every
// free value above it to try.  0, with nothing changed, when the value is not
// free there.
DLS_FUNCTION int dls_place_value(dls_u32* rows, dls_u32* columns, dls_u32* candidates, dls_u32* chosen,
                                 DLS_TABLE const int* cells, int k, int value)
{
    const int cell = cells[k];
    const dls_u32 free_set = (rows[cell >> 4] | columns[cell & 15]) ^ DLS_ALL_VALUES;
    const dls_u32 bit = (value >= 0 && value < 32) ? 1u << value : 0u;
    if ((bit & free_set) == 0)
        return 0;
    chosen[k] = bit;
    rows[cell >> 4] ^= bit;
    columns[cell & 15] ^= bit;
    candidates[k] = free_set & (0u - bit);
    return 1;
}

// Takes the deepest filled position of a walk on k positions off the square
// until one of them, at floor or above, still has an untried value, and places
// the smallest such value there.  Returns the next position to fill, or -1
// when every position from floor on ran out of values.
DLS_FUNCTION int dls_back_up(dls_u32* rows, dls_u32* columns, dls_u32* candidates, dls_u32* chosen,
                             DLS_TABLE const int* cells, int k, int floor)
{
    for (;;) {
        if (--k < floor)
            return -1;
        const int cell = cells[k];
        const dls_u32 bit = chosen[k];
        rows[cell >> 4] ^= bit;
        columns[cell & 15] ^= bit;
        if ((candidates[k] ^= bit) != 0) {
            const dls_u32 next = candidates[k] & (0u - candidates[k]);
            chosen[k] = next;
            rows[cell >> 4] ^= next;
            columns[cell & 15] ^= next;
            return k + 1;
        }
    }
}

// Fills position k with its smallest free value, or backs up (no further than
// floor) when it has none.  Returns the next position to fill, or -1.
DLS_FUNCTION int dls_step_forward(dls_u32* rows, dls_u32* columns, dls_u32* candidates, dls_u32* chosen,
                                  DLS_TABLE const int* cells, int k, int floor)
{
    const int cell = cells[k];
    const dls_u32 free_set = (rows[cell >> 4] | columns[cell & 15]) ^ DLS_ALL_VALUES;
    candidates[k] = free_set;
    if (free_set == 0)
        return dls_back_up(rows, columns, candidates, chosen, cells, k, floor);
    const dls_u32 bit = free_set & (0u - free_set);
    chosen[k] = bit;
    rows[cell >> 4] ^= bit;
    columns[cell & 15] ^= bit;
    return k + 1;
}

#endif
