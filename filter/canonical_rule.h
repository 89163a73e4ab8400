// The symmetry filter's rule, in the dialect the device sources share
// (opencl/kernel_macros.h): the worker's is_canonical (filter/canonical.cpp) and
// the device's completion of prefixes (opencl/prefix_kernel.cl) are these
// functions.  Squares are 100 bytes, row-major; the tables are the worker's
// (filter/tables.h, generator/tables.h).
#ifndef DLS_CANONICAL_RULE
#define DLS_CANONICAL_RULE

#ifndef DLS_KERNEL_MACROS
#include "opencl/kernel_macros.h"
#endif

// A diagonal-preserving permutation p of rows and columns together with a renaming
// m of the symbols: the image of a square S has cell (r, c) = m[S[p[r]][p[c]]].
typedef struct {
    int positions[10];
    int values[10];
} DlsSymmetryMap;

// The spaces (diagonal indices 0-55) whose anti-diagonal a reflection keeps.
#define DLS_REFLECTION_ROWS 56

// Writes the square of the one-hot values `chosen` (position k at free cell
// cells[k]) and the diagonals (main 0-9, anti-diagonal `anti`) into q.
DLS_FUNCTION void dls_assemble_square(const dls_u32* chosen, DLS_TABLE const int* cells, DLS_TABLE const int* anti,
                                      dls_u8* q)
{
    for (int r = 0; r < 10; ++r) {
        q[11 * r] = (dls_u8)r;
        q[9 * r + 9] = (dls_u8)anti[r];
    }
    for (int i = 0; i < 80; ++i) {
        const int e = cells[i];
        q[10 * (e >> 4) + (e & 15)] = (dls_u8)DLS_LOWEST_BIT(chosen[i]);
    }
}

// Row-reverses q, permutes rows and columns by p and renames the symbols so that
// the main diagonal reads 0-9 again.
DLS_FUNCTION void dls_reflect_square(const dls_u8* q, DLS_TABLE const int* p, dls_u8* reflected)
{
    for (int j = 0; j < 10; ++j) {
        const dls_u8* const row = q + 10 * p[j];
        for (int k = 0; k < 10; ++k)
            reflected[10 * j + k] = row[9 - p[k]];
    }
    dls_u8 rename[10];
    for (int j = 0; j < 10; ++j)
        rename[reflected[11 * j]] = (dls_u8)j;
    for (int n = 0; n < 100; ++n)
        reflected[n] = rename[reflected[n]];
}

// Whether square a is below square b (the first differing byte decides).
DLS_FUNCTION int dls_square_below(const dls_u8* a, const dls_u8* b)
{
    for (int n = 0; n < 100; ++n) {
        if (a[n] != b[n])
            return a[n] < b[n];
    }
    return 0;
}

// 0 when the image under the map (positions p, values m) of q, or of
// `reflected` when source_count is 2, is below q on the 64 compared cells.
DLS_FUNCTION int dls_passes_symmetry_map(const dls_u8* q, const dls_u8* reflected, int source_count,
                                         DLS_TABLE const int* positions, DLS_TABLE const int* values)
{
    const dls_u8* const sources[2] = {q, reflected};

    // The sources whose images have equalled q on every compared cell so far.
    int live[2] = {0, 1};
    int live_count = source_count;

    for (int r = 0; r < 9; ++r) {
        const int source_row = 10 * positions[r];
        for (int c = 0; c < 9; ++c) {
            if (c == r || c == 9 - r)
                continue;
            const int a = q[10 * r + c];
            const int source_cell = source_row + positions[c];
            int next[2] = {0, 0};
            int next_count = 0;
            for (int i = 0; i < live_count; ++i) {
                const int v = values[sources[live[i]][source_cell]];
                if (a > v)
                    return 0;
                if (a == v)
                    next[next_count++] = live[i];
            }
            if (next_count == 0)
                return 1;
            live[0] = next[0];
            live[1] = next[1];
            live_count = next_count;
        }
    }
    return 1;
}

// Assembles the square of `chosen` into q and answers whether no member of its
// class with the same diagonals is smaller: its reflected square (into
// `reflected`; `reflection` is 0 for a space without one) and the images of it
// and of q under the `map_count` maps from `maps`.
DLS_FUNCTION int dls_is_canonical(const dls_u32* chosen, DLS_TABLE const int* cells, DLS_TABLE const int* anti,
                                  DLS_TABLE const int* reflection, DLS_TABLE const DlsSymmetryMap* maps, int map_count,
                                  dls_u8* q, dls_u8* reflected)
{
    dls_assemble_square(chosen, cells, anti, q);
    int source_count = 1;
    if (reflection != 0) {
        source_count = 2;
        dls_reflect_square(q, reflection, reflected);
        if (dls_square_below(reflected, q))
            return 0;
    }
    for (int k = 0; k < map_count; ++k) {
        if (!dls_passes_symmetry_map(q, reflected, source_count, maps[k].positions, maps[k].values))
            return 0;
    }
    return 1;
}

// dls_is_canonical in the space of diagonal index d, from the worker's tables
// (anti_diagonal_table, reflection_table, symmetry_index_table,
// symmetry_map_table).
DLS_FUNCTION int dls_is_canonical_in_space(const dls_u32* chosen, int d, DLS_TABLE const int* cells,
                                           DLS_TABLE const int (*anti_rows)[10],
                                           DLS_TABLE const int (*reflection_rows)[10], DLS_TABLE const dls_u32* groups,
                                           DLS_TABLE const DlsSymmetryMap* maps, dls_u8* q, dls_u8* reflected)
{
    const dls_u32 group = groups[d];
    return dls_is_canonical(chosen, cells, anti_rows[d], d < DLS_REFLECTION_ROWS ? reflection_rows[d] : 0,
                            maps + (group >> 5), (int)(group & 31), q, reflected);
}

#endif
