// The mate test on the device: one work item per square.  Integer arithmetic only.
//
// A work item lists its square's diagonal transversals by depth-first search over
// the square rows, each as the set of its ten cells (cell 10r + c at bit 10r + c
// of a 128-bit pair of words), into its own slice of `stores`, which holds
// DLS_STORE_CAPACITY transversals.  The search tries row 0's columns in increasing
// order, so the transversals through each cell of row 0 lie together, in ten
// consecutive runs.  Ten disjoint transversals cover row 0 once each, so a mate
// exists exactly when one transversal can be taken from each run, pairwise
// disjoint; the second search does that, shortest runs first.
//
// The answer of work item i: transversal_counts[i] = the number of diagonal
// transversals (counted in full even past the store), verdicts[i] = one of the
// DLS_VERDICT_ values.  A square with more transversals than the store holds is
// not decided here: the host decides it.  This is the question has_orthogonal_mate
// answers, without its gate, which the host applies.

#ifndef DLS_KERNEL_MACROS
#include "opencl/kernel_macros.h"
#endif

#ifndef DLS_VERDICTS
#include "opencl/verdicts.h"
#endif

// Lists the diagonal transversals of `square` into `store` (low word, high word
// per transversal), at most DLS_STORE_CAPACITY of them, and the index where the
// run through each column of row 0 starts into `run_start` (run_start[10]: the
// end of the last).  Returns the full count.
DLS_FUNCTION int dls_list_transversals(DLS_GLOBAL const dls_u8* square, DLS_GLOBAL dls_u64* store,
                                       int* run_start)
{
    dls_u32 open_columns[10]; // columns still to try at each row
    dls_u32 used_columns[11];
    dls_u32 used_values[11];
    dls_u32 diagonals[11]; // bit 0: main diagonal met, bit 1: anti-diagonal met
    int chosen[10];
    int count = 0;
    int row = 0;
    int next_run = 0;

    used_columns[0] = 0;
    used_values[0] = 0;
    diagonals[0] = 0;
    open_columns[0] = 0x3FFu;
    for (;;) {
        if (open_columns[row] == 0) {
            if (row == 0)
                break;
            --row;
            continue;
        }
        const int column = DLS_LOWEST_BIT(open_columns[row]);
        open_columns[row] &= open_columns[row] - 1;
        if (row == 0) {
            while (next_run <= column)
                run_start[next_run++] = count < DLS_STORE_CAPACITY ? count : DLS_STORE_CAPACITY;
        }
        chosen[row] = column;
        const dls_u32 columns = used_columns[row] | (1u << column);
        const dls_u32 values = used_values[row] | (1u << square[10 * row + column]);
        dls_u32 met = diagonals[row];
        if (column == row)
            met |= 1u;
        if (column == 9 - row)
            met |= 2u;
        if (row == 9) {
            if (met == 3u) {
                if (count < DLS_STORE_CAPACITY) {
                    dls_u64 low = 0;
                    dls_u64 high = 0;
                    for (int r = 0; r < 10; ++r) {
                        const int cell = 10 * r + chosen[r];
                        if (cell < 64)
                            low |= (dls_u64)1 << cell;
                        else
                            high |= (dls_u64)1 << (cell - 64);
                    }
                    store[2 * count] = low;
                    store[2 * count + 1] = high;
                }
                ++count;
            }
            continue;
        }
        ++row;
        used_columns[row] = columns;
        used_values[row] = values;
        diagonals[row] = met;
        // The columns of the next row that fit: free, holding a free value, and
        // not a second cell of a diagonal already met.
        dls_u32 open = 0;
        for (int c = 0; c < 10; ++c)
            if (((columns >> c) & 1u) == 0 && ((values >> square[10 * row + c]) & 1u) == 0)
                open |= 1u << c;
        if (met & 1u)
            open &= ~(1u << row);
        if (met & 2u)
            open &= ~(1u << (9 - row));
        open_columns[row] = open;
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

DLS_KERNEL void answer_mate_questions(DLS_GLOBAL const dls_u8* squares, int square_count, DLS_GLOBAL dls_u64* stores,
                                      DLS_GLOBAL int* transversal_counts, DLS_GLOBAL int* verdicts)
{
    const int item = DLS_WORK_ITEM();
    if (item >= square_count)
        return;
    DLS_GLOBAL dls_u64* store = stores + (dls_u64)item * (2 * DLS_STORE_CAPACITY);
    int run_start[11];
    const int count = dls_list_transversals(squares + 100 * item, store, run_start);
    transversal_counts[item] = count;
    if (count < 10)
        verdicts[item] = DLS_VERDICT_NO_MATE;
    else if (count > DLS_STORE_CAPACITY)
        verdicts[item] = DLS_VERDICT_OVERFLOW;
    else
        verdicts[item] = dls_find_mate(store, run_start) ? DLS_VERDICT_MATE : DLS_VERDICT_NO_MATE;
}
