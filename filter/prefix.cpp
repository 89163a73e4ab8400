#include "filter/prefix.h"

#include <bit>
#include <cassert>

#include "filter/tables.h"
#include "generator/state.h"
#include "generator/tables.h"

// Every square that is_canonical compares a square Q with is an image of Q of
// one shape: cell (r, c) of the image is value_map[Q[row_map[r]][column_map[c]]].
// The reflected square R has row_map = P, column_map = 9 - P and the renaming
// that brings its main diagonal back to 0-9; a record (p, m) of the group maps
// Q by (p, p, m) and R by (P o p, 9 - P o p, m o renaming).  The maps keep the
// diagonal cells among themselves, so every free cell of an image comes from a
// free cell of Q, and every image has Q's diagonals.
//
// is_canonical rejects Q exactly when one image is smaller as 100 bytes; with
// equal diagonals that is the order of the 80 free cells in generator position
// order.  With the first `filled` positions of Q fixed, an image is known at a
// free cell when both that cell and its source cell lie among them.  Walking an
// image's free cells in order while they are known, the first cell where it
// differs from Q decides that image for every completion: smaller rejects every
// completion, larger means this image never rejects one.  An image that equals
// Q on every known cell stays open.  With all 80 positions filled every image is
// decided or equals Q, so the verdict on a complete square is is_canonical's.
//
// At the end of each row an image is also decided at the first cell it cannot
// know yet, when every value that cell can still take settles it.  The cell of
// Q and the source cell each hold a known value or one of the values that
// neither their row nor their column holds yet; when every value the image can
// take there is below every value Q can take, every completion fails (and when
// a cell can take no value at all, the prefix has no completion); when every
// one is above, the image never rejects a completion.
//
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
//
// Open images only ever go on from the cells they have already matched: the
// judgement of a prefix is the judgement of the prefix one shorter, taken on
// over the cells that the new position makes known.

namespace {

// R and the group's records applied to Q and to R.
constexpr int max_prefix_images = 1 + 2 * 23;
static_assert(max_prefix_images <= 64, "open images are a 64-bit set");

struct PrefixImage {
    std::uint8_t source_position[80]; // for each free cell of the image, the position of its source cell
    std::uint8_t known_cells[81];     // for each prefix length: leading positions known in image and Q
    std::uint32_t value_bits[10];     // one-hot image value of each source value
    std::uint8_t value_map[10];       // image value of each source value
    std::uint32_t mapped_at_least[10]; // per value x: the source values whose image value is x or above
    std::uint32_t mapped_at_most[10];  // per value x: the source values whose image value is x or below
};

struct PrefixImages {
    std::int32_t built_for;                // diagonal index + 1; 0 before the first judgement
    int count;
    std::uint64_t all_open;                // one bit per image
    std::uint64_t newly_known[81];         // per prefix length: images that know more cells than one shorter
    PrefixImage images[max_prefix_images];
};
PrefixImages prefix_images;

// Per prefix length: the images that equal Q on every cell known so far.
std::uint64_t open_images[81];

// The rows after which the filter looks ahead, from the first.
constexpr int last_row_looked_ahead_from = 8;

// Looking ahead: per image, the first cell it has not matched yet.
int first_unmatched[max_prefix_images];

// Looking ahead: the fillings of each source row that no image rejects, each as
// its one-hot values, columns 0-5 in the first word and 6-9 in the second
// (diagonal cells left out).  A row with more survivors than fit is left out of
// the fit, which only makes the test weaker.
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

inline int row_of_position(int k)
{
    return k / 8;
}

void add_image(const int* row_map, const int* column_map, const int* value_map, const int* position_of_cell)
{
    assert(prefix_images.count < max_prefix_images);
    PrefixImage& image = prefix_images.images[prefix_images.count++];
    int needed[80]; // prefix length that makes the cell known in both squares
    for (int i = 0; i < free_cell_count; ++i) {
        const int r = cell_order_table[i] >> 4;
        const int c = cell_order_table[i] & 15;
        const int source = position_of_cell[10 * row_map[r] + column_map[c]];
        assert(source >= 0);
        image.source_position[i] = static_cast<std::uint8_t>(source);
        needed[i] = (i > source ? i : source) + 1;
    }
    for (int v = 0; v < 10; ++v) {
        image.value_bits[v] = 1u << value_map[v];
        image.value_map[v] = static_cast<std::uint8_t>(value_map[v]);
    }
    for (int x = 0; x < 10; ++x) {
        image.mapped_at_least[x] = image.mapped_at_most[x] = 0;
        for (int v = 0; v < 10; ++v) {
            if (value_map[v] >= x)
                image.mapped_at_least[x] |= 1u << v;
            if (value_map[v] <= x)
                image.mapped_at_most[x] |= 1u << v;
        }
    }
    int known = 0;
    for (int filled = 0; filled <= free_cell_count; ++filled) {
        while (known < free_cell_count && needed[known] <= filled)
            ++known;
        image.known_cells[filled] = static_cast<std::uint8_t>(known);
    }
}

void build_prefix_images(std::int32_t d)
{
    int position_of_cell[100];
    for (int& p : position_of_cell)
        p = -1;
    for (int i = 0; i < free_cell_count; ++i)
        position_of_cell[10 * (cell_order_table[i] >> 4) + (cell_order_table[i] & 15)] = i;

    const std::int32_t* const anti = anti_diagonal_table[d];
    const std::uint32_t word = symmetry_index_table[d];
    const std::uint32_t start = word >> 5;
    const std::uint32_t count = word & 31;

    prefix_images.count = 0;
    int reflect_rows[10], reflect_columns[10], renaming[10];
    if (d < reflection_row_count) {
        const std::int32_t* const p = reflection_table[d];
        for (int j = 0; j < 10; ++j) {
            reflect_rows[j] = p[j];
            reflect_columns[j] = 9 - p[j];
            renaming[anti[p[j]]] = j;
        }
        add_image(reflect_rows, reflect_columns, renaming, position_of_cell);
    }
    for (std::uint32_t k = start; k < start + count; ++k) {
        const SymmetryMap& map = symmetry_map_table[k];
        add_image(map.positions, map.positions, map.values, position_of_cell);
        if (d < reflection_row_count) {
            int rows[10], columns[10], values[10];
            for (int j = 0; j < 10; ++j) {
                rows[j] = reflect_rows[map.positions[j]];
                columns[j] = reflect_columns[map.positions[j]];
                values[j] = map.values[renaming[j]];
            }
            add_image(rows, columns, values, position_of_cell);
        }
    }

    const int n = prefix_images.count;
    prefix_images.all_open = n == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
    prefix_images.newly_known[0] = 0;
    for (int filled = 1; filled <= free_cell_count; ++filled) {
        std::uint64_t changed = 0;
        for (int t = 0; t < n; ++t) {
            if (prefix_images.images[t].known_cells[filled] > prefix_images.images[t].known_cells[filled - 1])
                changed |= std::uint64_t{1} << t;
        }
        prefix_images.newly_known[filled] = changed;
    }
    prefix_images.built_for = d + 1;
}

// Whether the filled source row `values` makes one of the images smaller than
// Q within the row of Q their comparison has reached.
bool some_image_smaller(const std::uint32_t* bits, const std::uint8_t* values, const int* images, int image_count)
{
    const std::int32_t* const cells = cell_order_table;
    for (int n = 0; n < image_count; ++n) {
        const PrefixImage& image = prefix_images.images[images[n]];
        const int i = first_unmatched[images[n]];
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

// Fills source row r from column c on in every way, and keeps the fillings
// that leave no image smaller in the next slot of `surviving`; true when none
// survives.  `used` holds the values placed in the row so far.
bool every_filling_smaller(const GeneratorState& state, int r, int c, std::uint32_t used, std::uint8_t* values,
                           const int* images, int image_count)
{
    if (c == 10) {
        if (some_image_smaller(state.chosen_bits, values, images, image_count))
            return true;
        SurvivingFillings& kept = surviving[surviving_row_count];
        if (kept.count < max_surviving_fillings) {
            std::uint64_t packed[2] = {0, 0};
            for (int column = 0; column < 10; ++column) {
                if (column != r && column != 9 - r)
                    packed[column / 6] |= std::uint64_t{1} << (values[column] + 10 * (column % 6));
            }
            kept.values[kept.count][0] = packed[0];
            kept.values[kept.count][1] = packed[1];
            kept.dropped_at[kept.count] = still_alive;
        }
        ++kept.count;
        return false;
    }
    if (c == r || c == 9 - r)
        return every_filling_smaller(state, r, c + 1, used, values, images, image_count);
    for (std::uint32_t free = (used | state.column_masks[c]) ^ 0x3FFu; free != 0; free &= free - 1) {
        const int v = std::countr_zero(free);
        values[c] = static_cast<std::uint8_t>(v);
        every_filling_smaller(state, r, c + 1, used | (1u << v), values, images, image_count);
    }
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
            too_few_values = std::popcount(values) < rows_needing[column];
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

// Looks ahead from the complete rows of the prefix of `filled` positions at the
// empty rows that the open images take their next undecided row from.
bool some_source_row_fails(const GeneratorState& state, int filled, std::uint64_t open)
{
    const int complete_rows = filled / 8;
    int images[max_prefix_images];
    surviving_row_count = 0;
    for (int r = complete_rows; r < 10; ++r) {
        int image_count = 0;
        for (std::uint64_t go = open; go != 0; go &= go - 1) {
            const int t = std::countr_zero(go);
            const int i = first_unmatched[t];
            if (row_of_position(i) < complete_rows &&
                row_of_position(prefix_images.images[t].source_position[i]) == r)
                images[image_count++] = t;
        }
        if (image_count == 0)
            continue;
        std::uint8_t values[10];
        const std::int32_t* const anti = anti_diagonal_table[state.diagonal_index];
        values[r] = static_cast<std::uint8_t>(r);
        values[9 - r] = static_cast<std::uint8_t>(anti[r]);
        SurvivingFillings& kept = surviving[surviving_row_count];
        kept.count = 0;
        if (every_filling_smaller(state, r, 0, state.row_masks[r], values, images, image_count))
            return true;
        if (kept.count <= max_surviving_fillings) {
            kept.row = r;
            kept.alive = kept.count;
            kept.placed = false;
            ++surviving_row_count;
        }
    }
    return surviving_row_count > 1 && !surviving_rows_fit(0);
}

} // namespace

PrefixVerdict judge_placement(const GeneratorState& state, int filled)
{
    assert(filled >= 1 && filled <= free_cell_count);
    const std::int32_t d = state.diagonal_index;
    if (prefix_images.built_for != d + 1)
        build_prefix_images(d);

    const std::uint32_t* const bits = state.chosen_bits;
    const std::uint32_t* const rows = state.row_masks;
    const std::uint32_t* const columns = state.column_masks;
    const std::int32_t* const cells = cell_order_table;
    // A filled position's value, or the values an empty one can still take.
    auto values_at = [&](int position) {
        if (position < filled)
            return bits[position];
        const std::int32_t cell = cells[position];
        return (rows[cell >> 4] | columns[cell & 15]) ^ 0x3FFu;
    };

    std::uint64_t open = filled == 1 ? prefix_images.all_open : open_images[filled - 1];
    // Within a row only the images that know new cells go on; at the end of a
    // row every open image also weighs the values its next cell can take.
    const bool row_end = filled % 8 == 0;
    const std::uint64_t judged = row_end ? open : open & prefix_images.newly_known[filled];
    for (std::uint64_t go_on = judged; go_on != 0; go_on &= go_on - 1) {
        const int t = std::countr_zero(go_on);
        const PrefixImage& image = prefix_images.images[t];
        const std::uint8_t* const source = image.source_position;
        const std::uint32_t* const value_bits = image.value_bits;
        const int known = image.known_cells[filled];
        int i = image.known_cells[filled - 1];
        for (; i < known; ++i) {
            const std::uint32_t mine = bits[i];
            const std::uint32_t theirs = value_bits[std::countr_zero(bits[source[i]])];
            if (mine != theirs)
                break;
        }
        if (i == free_cell_count)
            continue; // the image equals Q
        first_unmatched[t] = i;
        if (i < known) {
            // Both cells known and different: the image is decided.
            if (value_bits[std::countr_zero(bits[source[i]])] < bits[i])
                return PrefixVerdict::fails;
            open &= ~(std::uint64_t{1} << t);
            continue;
        }
        if (!row_end)
            continue;
        // The first cell that is not known to be equal: Q can hold `mine` there,
        // the image the values of `theirs` mapped.
        const std::uint32_t mine = values_at(i);
        const std::uint32_t theirs = values_at(source[i]);
        if (mine == 0 || theirs == 0)
            return PrefixVerdict::fails;
        if ((theirs & image.mapped_at_least[std::countr_zero(mine)]) == 0)
            return PrefixVerdict::fails;
        if ((theirs & image.mapped_at_most[std::bit_width(mine) - 1]) == 0)
            open &= ~(std::uint64_t{1} << t);
    }
    if (open != 0 && row_end && filled <= 8 * last_row_looked_ahead_from &&
        some_source_row_fails(state, filled, open))
        return PrefixVerdict::fails;
    open_images[filled] = open;
    return open == 0 ? PrefixVerdict::passes : PrefixVerdict::undecided;
}

PrefixVerdict judge_prefix(const std::uint32_t* chosen_bits, int filled, std::int32_t diagonal_index)
{
    GeneratorState state{};
    state.diagonal_index = diagonal_index;
    const std::int32_t* const anti = anti_diagonal_table[diagonal_index];
    for (int r = 0; r < 10; ++r) {
        state.row_masks[r] = (1u << r) | (1u << anti[r]);
        state.column_masks[r] = (1u << r) | (1u << anti[9 - r]);
    }
    PrefixVerdict verdict = PrefixVerdict::undecided;
    for (int k = 0; k < filled; ++k) {
        const std::int32_t cell = cell_order_table[k];
        const std::uint32_t bit = chosen_bits[k];
        if ((state.row_masks[cell >> 4] | state.column_masks[cell & 15]) & bit)
            return PrefixVerdict::fails;
        state.chosen_bits[k] = bit;
        state.row_masks[cell >> 4] |= bit;
        state.column_masks[cell & 15] |= bit;
        verdict = judge_placement(state, k + 1);
        if (verdict == PrefixVerdict::fails)
            break;
    }
    return verdict;
}
