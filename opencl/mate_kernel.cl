// The mate test on the device, in two kernels.  Integer arithmetic only.
//
// A diagonal transversal is a partial transversal of rows 0-4 (the top) joined
// with one of rows 5-9 (the bottom) whose columns and values are the five the
// top leaves free and which meets each diagonal where the top does not.  The
// top partial transversals depend on nothing but rows 0-4, and squares that
// share those rows lie together in a batch (it is in walk order), so:
//   - build_top_tables, one work item per block of squares with equal rows 0-4,
//     lists the block's top partial transversals once into a table filed by
//     join key (DLS_TOP_BUCKETS buckets);
//   - answer_mate_questions, one work item per square, walks the square's
//     bottom partial transversals, joins each with the entries of its block's
//     table filed under the key of the tops that complete it, and stores each
//     transversal so found as the set of its ten cells (cell 10r + c at bit
//     10r + c of a 128-bit pair of words) in its own slice of `stores`, which
//     holds DLS_STORE_CAPACITY transversals.
// The bottom walk tries row 5's columns in increasing order, so the
// transversals through each cell of row 5 lie together, in ten consecutive
// runs.  Ten disjoint transversals cover row 5 once each, so a mate exists
// exactly when one transversal can be taken from each run, pairwise disjoint;
// the mate search does that, shortest runs first.
//
// The answer of square i: transversal_counts[i] = the number of diagonal
// transversals (counted in full even past the store), verdicts[i] = one of the
// DLS_VERDICT_ values.  This is the question has_orthogonal_mate answers,
// without its gate, which the host applies.  The host decides the squares the
// kernels cannot: those with more transversals than the store holds, and every
// square of a block whose rows 0-4 have more partial transversals than a table
// holds (DLS_TABLE_CAPACITY; its squares' counts are -1, not counted).

#ifndef DLS_KERNEL_MACROS
#include "opencl/kernel_macros.h"
#endif

#ifndef DLS_VERDICTS
#include "opencl/verdicts.h"
#endif

// A band is five consecutive square rows.  Its cells are numbered 10k + c (k the
// row within the band, c the column) and a set of them is a 64-bit word.  The
// band's partial diagonal transversals are five cells, one in each row, in
// different columns, with different values, at most one on each diagonal.  The
// walk lists those of the band's first four rows in depth-first order, the
// first row outermost, columns in increasing order, each with the columns of
// the last row that complete it; a caller takes those columns itself, in
// increasing order.  Each chosen cell rules out, in the rows below it, the
// cells of its column and of its value, and the other cells of a diagonal it
// lies on; a row's open columns are those none of its cells is ruled out in.
//
// Besides its cells and values, a partial transversal has a join key: the
// lowest nine of its columns (five columns of ten are told by them), the
// diagonals it meets (bits 9 and 10) and whether its values hold 0 and 1 (bits
// 11 and 12).  A top is filed under its key; a bottom completes exactly the
// tops whose columns, values and diagonals are the complement of its own, all
// filed under its own key with all thirteen bits flipped.  Each cell adds its
// part to the key (each column, diagonal and value once), so the key is the
// exclusive or of its cells' parts.
typedef struct {
    dls_u64 value_cells[10]; // the band's cells holding each value
    dls_u64 main_cells;      // the band's cells on the main diagonal
    dls_u64 anti_cells;      // the band's cells on the anti-diagonal
    dls_u64 column_cells;    // the band's cells in column 0
    dls_u32 cell_keys[50];   // what each cell adds to a join key
    dls_u64 ruled_out[5];    // at each depth: the cells the cells above rule out
    dls_u64 cells[5];        // at each depth: the cells chosen above
    dls_u32 values[5];       // their values
    dls_u32 keys[5];         // their join key
    dls_u32 open[5];         // at each depth: the columns still to try
    int depth;
    int first_column; // the column chosen in the band's first row
} DlsBandWalk;

#define DLS_BAND_CELLS ((((dls_u64)1) << 50) - 1)
#define DLS_KEY_BITS 0x1FFFu

// Readies `walk` for the band whose first row is square row `first_row`, its
// cells at `band` (ten a row).
DLS_FUNCTION void dls_start_band(DlsBandWalk* walk, DLS_GLOBAL const dls_u8* band, int first_row)
{
    for (int v = 0; v < 10; ++v)
        walk->value_cells[v] = 0;
    walk->main_cells = 0;
    walk->anti_cells = 0;
    walk->column_cells = 0;
    for (int k = 0; k < 5; ++k) {
        const int row = first_row + k;
        for (int c = 0; c < 10; ++c)
            walk->value_cells[band[10 * k + c]] |= (dls_u64)1 << (10 * k + c);
        walk->main_cells |= (dls_u64)1 << (10 * k + row);
        walk->anti_cells |= (dls_u64)1 << (10 * k + 9 - row);
        walk->column_cells |= (dls_u64)1 << (10 * k);
    }
    for (int cell = 0; cell < 50; ++cell) {
        const int column = cell % 10;
        walk->cell_keys[cell] = ((1u << column) & 0x1FFu) | (dls_u32)((walk->main_cells >> cell) & 1u) << 9 |
                                (dls_u32)((walk->anti_cells >> cell) & 1u) << 10 | ((1u << band[cell]) & 3u) << 11;
    }
    walk->ruled_out[0] = 0;
    walk->cells[0] = 0;
    walk->values[0] = 0;
    walk->keys[0] = 0;
    walk->open[0] = 0x3FFu;
    walk->depth = 0;
    walk->first_column = 0;
}

// Moves `walk` to the next partial transversal of the band's first four rows
// that the last row can complete: 1 when there is one (walk->cells[4],
// walk->values[4], walk->keys[4]; the last row's open columns walk->open[4]), 0
// when all have been listed.
DLS_FUNCTION int dls_next_four_rows(DlsBandWalk* walk, DLS_GLOBAL const dls_u8* band)
{
    int depth = walk->depth;
    for (;;) {
        const dls_u32 open = walk->open[depth];
        if (open == 0 || depth == 4) {
            if (depth == 0)
                return 0;
            --depth;
            continue;
        }
        const int column = DLS_LOWEST_BIT(open);
        walk->open[depth] = open & (open - 1);
        if (depth == 0)
            walk->first_column = column;
        const int cell = 10 * depth + column;
        const dls_u64 cell_bit = (dls_u64)1 << cell;
        const dls_u32 value = band[cell];
        dls_u64 ruled_out = walk->ruled_out[depth] | walk->value_cells[value] | (walk->column_cells << column);
        if (walk->main_cells & cell_bit)
            ruled_out |= walk->main_cells;
        if (walk->anti_cells & cell_bit)
            ruled_out |= walk->anti_cells;
        const dls_u32 next_open = (dls_u32)(~(ruled_out >> (10 * (depth + 1)))) & 0x3FFu;
        if (next_open == 0)
            continue;
        walk->cells[depth + 1] = walk->cells[depth] | cell_bit;
        walk->values[depth + 1] = walk->values[depth] | (1u << value);
        walk->keys[depth + 1] = walk->keys[depth] ^ walk->cell_keys[cell];
        walk->ruled_out[depth + 1] = ruled_out;
        walk->open[depth + 1] = next_open;
        ++depth;
        if (depth == 4) {
            walk->depth = 4;
            return 1;
        }
    }
}

// The partial transversal of the band that the walk's four rows make with the
// last row's cell in `column`: its cells and values into `cells` and `values`;
// returns its join key.
DLS_FUNCTION dls_u32 dls_complete_band(const DlsBandWalk* walk, DLS_GLOBAL const dls_u8* band, int column,
                                       dls_u64* cells, dls_u32* values)
{
    const int cell = 40 + column;
    const dls_u32 value = band[cell];
    *cells = walk->cells[4] | (dls_u64)1 << cell;
    *values = walk->values[4] | 1u << value;
    return walk->keys[4] ^ walk->cell_keys[cell];
}

// A table entry: the top's cells (bits 0-49, which are square cells 0-49) and
// its values (bits 50-59).
#define DLS_ENTRY_VALUE_SHIFT 50

// Lists the top partial transversals of the block whose first square is
// squares[block_squares[b]] into tables[b] (DLS_TABLE_CAPACITY entries), filed
// by join key: those of key k lie from bucket_starts[b][k] to
// bucket_starts[b][k + 1] (DLS_TOP_BUCKETS + 2 words a block).  table_sizes[b]:
// the number of entries, or -1 when they do not fit.
DLS_KERNEL void build_top_tables(DLS_GLOBAL const dls_u8* squares, DLS_GLOBAL const int* block_squares,
                                 int block_count, DLS_GLOBAL dls_u64* tables, DLS_GLOBAL int* bucket_starts,
                                 DLS_GLOBAL int* table_sizes)
{
    const int block = DLS_WORK_ITEM();
    if (block >= block_count)
        return;
    DLS_GLOBAL const dls_u8* top = squares + 100 * block_squares[block];
    DLS_GLOBAL dls_u64* table = tables + (dls_u64)block * DLS_TABLE_CAPACITY;
    DLS_GLOBAL int* starts = bucket_starts + (dls_u64)block * (DLS_TOP_BUCKETS + 2);
    DlsBandWalk walk;
    dls_u64 cells;
    dls_u32 values;

    // Counted by key first (key k's count at k + 2), then the starts, then
    // each entry filed at its key's next place (key k's at k + 1, which ends
    // at the start of key k + 1).
    for (int k = 0; k < DLS_TOP_BUCKETS + 2; ++k)
        starts[k] = 0;
    int size = 0;
    dls_start_band(&walk, top, 0);
    while (dls_next_four_rows(&walk, top)) {
        for (dls_u32 open = walk.open[4]; open != 0; open &= open - 1) {
            ++starts[dls_complete_band(&walk, top, DLS_LOWEST_BIT(open), &cells, &values) + 2];
            ++size;
        }
    }
    if (size > DLS_TABLE_CAPACITY) {
        table_sizes[block] = -1;
        return;
    }
    for (int k = 2; k < DLS_TOP_BUCKETS + 2; ++k)
        starts[k] += starts[k - 1];
    dls_start_band(&walk, top, 0);
    while (dls_next_four_rows(&walk, top)) {
        for (dls_u32 open = walk.open[4]; open != 0; open &= open - 1) {
            const dls_u32 key = dls_complete_band(&walk, top, DLS_LOWEST_BIT(open), &cells, &values);
            table[starts[key + 1]++] = cells | (dls_u64)values << DLS_ENTRY_VALUE_SHIFT;
        }
    }
    table_sizes[block] = size;
}

// Lists the diagonal transversals of `square`, joining its bottom partial
// transversals with its block's table (`table`, `starts`), into `store` (low
// word, high word per transversal), at most DLS_STORE_CAPACITY of them, and the
// index where the run through each column of row 5 starts into `run_start`
// (run_start[10]: the end of the last).  Returns the full count.
DLS_FUNCTION int dls_list_transversals(DLS_GLOBAL const dls_u8* square, DLS_GLOBAL const dls_u64* table,
                                       DLS_GLOBAL const int* starts, DLS_GLOBAL dls_u64* store, int* run_start)
{
    DLS_GLOBAL const dls_u8* bottom = square + 50;
    DlsBandWalk walk;
    dls_start_band(&walk, bottom, 5);
    int count = 0;
    int next_run = 0;
    while (dls_next_four_rows(&walk, bottom)) {
        while (next_run <= walk.first_column)
            run_start[next_run++] = count < DLS_STORE_CAPACITY ? count : DLS_STORE_CAPACITY;
        for (dls_u32 open = walk.open[4]; open != 0; open &= open - 1) {
            dls_u64 cells;
            dls_u32 values;
            const dls_u32 key = dls_complete_band(&walk, bottom, DLS_LOWEST_BIT(open), &cells, &values) ^ DLS_KEY_BITS;
            const dls_u32 free_values = values ^ 0x3FFu;
            const int end = starts[key + 1];
            for (int i = starts[key]; i < end; ++i) {
                const dls_u64 entry = table[i];
                if ((dls_u32)(entry >> DLS_ENTRY_VALUE_SHIFT) != free_values)
                    continue;
                if (count < DLS_STORE_CAPACITY) {
                    store[2 * count] = (entry & DLS_BAND_CELLS) | cells << 50;
                    store[2 * count + 1] = cells >> 14;
                }
                ++count;
            }
        }
    }
    while (next_run <= 10)
        run_start[next_run++] = count < DLS_STORE_CAPACITY ? count : DLS_STORE_CAPACITY;
    return count;
}

// Whether one transversal of each run can be chosen, pairwise disjoint.
DLS_FUNCTION int dls_find_mate(DLS_GLOBAL const dls_u64* store, const int* run_start)
{
    int order[10];
    for (int k = 0; k < 10; ++k) {
        if (run_start[k + 1] == run_start[k])
            return 0;
        order[k] = k;
    }
    // Shortest runs first (insertion sort, ties by column).
    for (int k = 1; k < 10; ++k) {
        const int run = order[k];
        const int size = run_start[run + 1] - run_start[run];
        int j = k;
        while (j > 0 && run_start[order[j - 1] + 1] - run_start[order[j - 1]] > size) {
            order[j] = order[j - 1];
            --j;
        }
        order[j] = run;
    }

    dls_u64 covered_low[11];
    dls_u64 covered_high[11];
    int next[10];
    covered_low[0] = 0;
    covered_high[0] = 0;
    int level = 0;
    next[0] = run_start[order[0]];
    for (;;) {
        const int end = run_start[order[level] + 1];
        int i = next[level];
        while (i < end && ((store[2 * i] & covered_low[level]) != 0 || (store[2 * i + 1] & covered_high[level]) != 0))
            ++i;
        if (i == end) {
            if (level == 0)
                return 0;
            --level;
            continue;
        }
        next[level] = i + 1;
        if (level == 9)
            return 1;
        covered_low[level + 1] = covered_low[level] | store[2 * i];
        covered_high[level + 1] = covered_high[level] | store[2 * i + 1];
        ++level;
        next[level] = run_start[order[level]];
    }
}

// Square i's block is square_blocks[i], whose table build_top_tables made.
DLS_KERNEL void answer_mate_questions(DLS_GLOBAL const dls_u8* squares, DLS_GLOBAL const int* square_blocks,
                                      int square_count, DLS_GLOBAL const dls_u64* tables,
                                      DLS_GLOBAL const int* bucket_starts, DLS_GLOBAL const int* table_sizes,
                                      DLS_GLOBAL dls_u64* stores, DLS_GLOBAL int* transversal_counts,
                                      DLS_GLOBAL int* verdicts)
{
    const int item = DLS_WORK_ITEM();
    if (item >= square_count)
        return;
    const int block = square_blocks[item];
    if (table_sizes[block] < 0) {
        transversal_counts[item] = -1;
        verdicts[item] = DLS_VERDICT_OVERFLOW;
        return;
    }
    DLS_GLOBAL dls_u64* store = stores + (dls_u64)item * (2 * DLS_STORE_CAPACITY);
    int run_start[11];
    const int count = dls_list_transversals(squares + 100 * item, tables + (dls_u64)block * DLS_TABLE_CAPACITY,
                                            bucket_starts + (dls_u64)block * (DLS_TOP_BUCKETS + 2), store, run_start);
    transversal_counts[item] = count;
    if (count < 10)
        verdicts[item] = DLS_VERDICT_NO_MATE;
    else if (count > DLS_STORE_CAPACITY)
        verdicts[item] = DLS_VERDICT_OVERFLOW;
    else
        verdicts[item] = dls_find_mate(store, run_start) ? DLS_VERDICT_MATE : DLS_VERDICT_NO_MATE;
}
