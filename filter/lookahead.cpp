#include "filter/lookahead.h"

#include <bit>

#include "filter/prefix_image.h"
#include "generator/state.h"
#include "generator/tables.h"

// At the end of each row up to the eighth the filter also looks ahead: an open
// image whose first undecided cell lies in a complete row of Q but comes from a
// row of Q that is still empty decides the rest of that row of the comparison
// from that one source row alone.  When every way of filling the source row (each value
// once, none repeating a value of its column) makes one such image smaller, the
// prefix fails for every completion.  And the source rows must also fit
// together: the fillings that survive for one source row must agree with some
// surviving filling of every other one, no two repeating a value in a column;
// a search that chooses them row by row gives up on a choice as soon as some
// column has fewer values within reach of the rows still to choose than rows
// that need one there.

namespace {

// The number of values in a set of values.  std::popcount is a library call
// where the processor may lack the POPCNT instruction, as the worker assumes.
struct ValueCounts {
    std::uint8_t of_set[1024];
};

constexpr ValueCounts make_value_counts()
{
    ValueCounts counts{};
    for (unsigned set = 1; set < 1024; ++set)
        counts.of_set[set] = static_cast<std::uint8_t>(counts.of_set[set & (set - 1)] + 1);
    return counts;
}

constexpr ValueCounts value_counts = make_value_counts();

inline int value_count(std::uint32_t set)
{
    return value_counts.of_set[set & 0x3FF];
}

// An open image whose comparison with Q one empty source row decides, and the
// first cell at which it is not yet known to equal Q.
struct ComparedImage {
    const PrefixImage* image;
    int first_unmatched;
};

// The fillings of each source row that no image rejects, each as its one-hot
// values, columns 0-5 in the first word and 6-9 in the second (diagonal cells
// left out).  A row with more survivors than fit is left out of the fit, which
// only makes the test weaker.
constexpr int max_surviving_fillings = 4096;
constexpr std::uint8_t still_alive = 0xFF;

struct SurvivingFillings {
    int row;
    int count;
    int alive;
    bool placed;
    std::uint64_t values[max_surviving_fillings][2];
    std::uint8_t dropped_at[max_surviving_fillings]; // level of the fit that dropped it, or still_alive
};
SurvivingFillings surviving[10];
int surviving_row_count;

// Whether the filled source row `values` makes one of the images smaller than
// Q within the row of Q their comparison has reached.
bool some_image_smaller(const std::uint32_t* bits, const std::uint8_t* values, const ComparedImage* images,
                        int image_count)
{
    const std::int32_t* const cells = cell_order_table;
    for (int n = 0; n < image_count; ++n) {
        const PrefixImage& image = *images[n].image;
        const int i = images[n].first_unmatched;
        const int row_end = 8 * (row_of_position(i) + 1);
        for (int p = i; p < row_end; ++p) {
            const int mine = std::countr_zero(bits[p]);
            const int theirs = image.value_map[values[cells[image.source_position[p]] & 15]];
            if (theirs < mine)
                return true;
            if (theirs > mine)
                break;
        }
    }
    return false;
}

// A source row being filled: its number, the values placed so far (diagonal
// cells preset), its eight other columns in the order they are filled and the
// values each allows, and the images that the row decides.
struct RowFilling {
    const std::uint32_t* chosen_bits;
    int r;
    std::uint8_t values[10];
    std::uint8_t column[8];
    std::uint32_t column_free[8];
    const ComparedImage* images;
    int image_count;
};

// Keeps a complete filling when no image is smaller with it.
void keep_if_no_image_smaller(const RowFilling& filling)
{
    if (some_image_smaller(filling.chosen_bits, filling.values, filling.images, filling.image_count))
        return;
    SurvivingFillings& kept = surviving[surviving_row_count];
    if (kept.count < max_surviving_fillings) {
        const int r = filling.r;
        std::uint64_t packed[2] = {0, 0};
        for (int column = 0; column < 10; ++column) {
            if (column != r && column != 9 - r)
                packed[column / 6] |= std::uint64_t{1} << (filling.values[column] + 10 * (column % 6));
        }
        kept.values[kept.count][0] = packed[0];
        kept.values[kept.count][1] = packed[1];
        kept.dropped_at[kept.count] = still_alive;
    }
    ++kept.count;
}

// Fills the row's columns from the k-th on in every way, and keeps the
// fillings that leave no image smaller.  `used` holds the values placed in
// the row so far.
template <int k>
void fill_columns_from(RowFilling& filling, std::uint32_t used)
{
    if constexpr (k == 8) {
        keep_if_no_image_smaller(filling);
    } else {
        const int c = filling.column[k];
        for (std::uint32_t free = filling.column_free[k] & ~used; free != 0; free &= free - 1) {
            const int v = std::countr_zero(free);
            filling.values[c] = static_cast<std::uint8_t>(v);
            fill_columns_from<k + 1>(filling, used | (1u << v));
        }
    }
}

// Fills source row r in every way, and keeps the fillings that leave no image
// smaller in the next slot of `surviving`; true when none survives.  The
// columns are filled the one with the fewest values allowed first: that
// changes only the order in which the fillings are met (each filling, each
// value once and none repeating a value of its column, is met once, as in a
// walk from left to right), and a column with few values left ends a branch
// early instead of after every choice for the columns before it.
bool keep_surviving_fillings(const GeneratorState& state, int r, const ComparedImage* images, int image_count)
{
    RowFilling filling;
    filling.chosen_bits = state.chosen_bits;
    filling.r = r;
    filling.values[r] = static_cast<std::uint8_t>(r);
    filling.values[9 - r] = static_cast<std::uint8_t>(anti_diagonal_table[state.diagonal_index][r]);
    filling.images = images;
    filling.image_count = image_count;
    const std::uint32_t used = state.row_masks[r];
    int allowed[8];
    int k = 0;
    for (int c = 0; c < 10; ++c) {
        if (c == r || c == 9 - r)
            continue;
        // Insertion by the number of values allowed, left to right on ties.
        const std::uint32_t free = (state.column_masks[c] | used) ^ 0x3FFu;
        const int count = value_count(free);
        int j = k++;
        for (; j > 0 && allowed[j - 1] > count; --j) {
            allowed[j] = allowed[j - 1];
            filling.column[j] = filling.column[j - 1];
            filling.column_free[j] = filling.column_free[j - 1];
        }
        allowed[j] = count;
        filling.column[j] = static_cast<std::uint8_t>(c);
        filling.column_free[j] = free;
    }
    surviving[surviving_row_count].count = 0;
    fill_columns_from<0>(filling, used);
    return surviving[surviving_row_count].count == 0;
}

// Whether one surviving filling of every source row can be chosen so that no
// two repeat a value in a column: the row with the fewest fillings left goes
// first, and each choice drops the fillings of the other rows it clashes with.
bool surviving_rows_fit(int level)
{
    int best = -1;
    for (int n = 0; n < surviving_row_count; ++n) {
        if (!surviving[n].placed && (best < 0 || surviving[n].alive < surviving[best].alive))
            best = n;
    }
    if (best < 0)
        return true;
    SurvivingFillings& row = surviving[best];
    row.placed = true;
    bool fits = false;
    for (int f = 0; f < row.count && !fits; ++f) {
        if (row.dropped_at[f] != still_alive)
            continue;
        const std::uint64_t low = row.values[f][0];
        const std::uint64_t high = row.values[f][1];
        bool some_row_empty = false;
        // Per column, the values some remaining row can still put there.
        std::uint64_t reachable[2] = {0, 0};
        int rows_needing[10] = {};
        for (int n = 0; n < surviving_row_count; ++n) {
            SurvivingFillings& other = surviving[n];
            if (other.placed)
                continue;
            for (int column = 0; column < 10; ++column)
                rows_needing[column] += column != other.row && column != 9 - other.row;
            for (int g = 0; g < other.count; ++g) {
                if (other.dropped_at[g] != still_alive)
                    continue;
                if ((other.values[g][0] & low) | (other.values[g][1] & high)) {
                    other.dropped_at[g] = static_cast<std::uint8_t>(level);
                    --other.alive;
                } else {
                    reachable[0] |= other.values[g][0];
                    reachable[1] |= other.values[g][1];
                }
            }
            some_row_empty = some_row_empty || other.alive == 0;
        }
        // Each remaining row needs a value of its own in every column it fills.
        bool too_few_values = false;
        for (int column = 0; column < 10 && !too_few_values && !some_row_empty; ++column) {
            const std::uint64_t values = (reachable[column / 6] >> (10 * (column % 6))) & 0x3FF;
            too_few_values = value_count(static_cast<std::uint32_t>(values)) < rows_needing[column];
        }
        fits = !some_row_empty && !too_few_values && surviving_rows_fit(level + 1);
        for (int n = 0; n < surviving_row_count; ++n) {
            SurvivingFillings& other = surviving[n];
            if (other.placed)
                continue;
            for (int g = 0; g < other.count; ++g) {
                if (other.dropped_at[g] == level) {
                    other.dropped_at[g] = still_alive;
                    ++other.alive;
                }
            }
        }
    }
    row.placed = false;
    return fits;
}

} // namespace

bool some_source_row_fails(const GeneratorState& state, int filled, std::uint64_t open, const PrefixImage* all_images,
                           const int* first_unmatched)
{
    const int complete_rows = filled / 8;
    ComparedImage images[max_prefix_images];
    surviving_row_count = 0;
    for (int r = complete_rows; r < 10; ++r) {
        int image_count = 0;
        for (std::uint64_t go = open; go != 0; go &= go - 1) {
            const int t = std::countr_zero(go);
            const int i = first_unmatched[t];
            if (row_of_position(i) < complete_rows && row_of_position(all_images[t].source_position[i]) == r)
                images[image_count++] = {&all_images[t], i};
        }
        if (image_count == 0)
            continue;
        if (keep_surviving_fillings(state, r, images, image_count))
            return true;
        SurvivingFillings& kept = surviving[surviving_row_count];
        if (kept.count <= max_surviving_fillings) {
            kept.row = r;
            kept.alive = kept.count;
            kept.placed = false;
            ++surviving_row_count;
        }
    }
    return surviving_row_count > 1 && !surviving_rows_fit(0);
}
