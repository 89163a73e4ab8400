#include "filter/prefix.h"

#include <bit>
#include <cassert>

#include "filter/lookahead.h"
#include "filter/prefix_image.h"
#include "filter/tables.h"
#include "generator/state.h"
#include "generator/tables.h"
#include "generator/walk.h"

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
// At the end of each row up to the eighth the filter also looks ahead at the
// rows still empty (filter/lookahead.cpp).
//
// Open images only ever go on from the cells they have already matched: the
// judgement of a prefix is the judgement of the prefix one shorter, taken on
// over the cells that the new position makes known.

namespace {

void add_image(PrunedWalk& walk, const int* row_map, const int* column_map, const int* value_map, const int* position_of_cell)
{
    assert(walk.image_count < max_prefix_images);
    PrefixImage& image = walk.images[walk.image_count++];
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

void build_prefix_images(PrunedWalk& walk, std::int32_t d)
{
    int position_of_cell[100];
    for (int& p : position_of_cell)
        p = -1;
    for (int i = 0; i < free_cell_count; ++i)
        position_of_cell[square_offset(cell_order_table[i])] = i;

    const std::int32_t* const anti = anti_diagonal_table[d];
    const std::uint32_t word = symmetry_index_table[d];
    const std::uint32_t start = word >> 5;
    const std::uint32_t count = word & 31;

    walk.image_count = 0;
    int reflect_rows[10], reflect_columns[10], renaming[10];
    if (d < reflection_row_count) {
        const std::int32_t* const p = reflection_table[d];
        for (int j = 0; j < 10; ++j) {
            reflect_rows[j] = p[j];
            reflect_columns[j] = 9 - p[j];
            renaming[anti[p[j]]] = j;
        }
        add_image(walk, reflect_rows, reflect_columns, renaming, position_of_cell);
    }
    for (std::uint32_t k = start; k < start + count; ++k) {
        const SymmetryMap& map = symmetry_map_table[k];
        add_image(walk, map.positions, map.positions, map.values, position_of_cell);
        if (d < reflection_row_count) {
            int rows[10], columns[10], values[10];
            for (int j = 0; j < 10; ++j) {
                rows[j] = reflect_rows[map.positions[j]];
                columns[j] = reflect_columns[map.positions[j]];
                values[j] = map.values[renaming[j]];
            }
            add_image(walk, rows, columns, values, position_of_cell);
        }
    }

    const int n = walk.image_count;
    walk.all_open = n == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
    walk.newly_known[0] = 0;
    for (int filled = 1; filled <= free_cell_count; ++filled) {
        std::uint64_t changed = 0;
        for (int t = 0; t < n; ++t) {
            if (walk.images[t].known_cells[filled] > walk.images[t].known_cells[filled - 1])
                changed |= std::uint64_t{1} << t;
        }
        walk.newly_known[filled] = changed;
    }
    walk.built_for = d + 1;
}

// judge_prefix's own walk, apart from the generator's.
GeneratorState prefix_judge_state;
PrunedWalk prefix_judge_walk;

} // namespace

PrefixVerdict judge_placement(PrunedWalk& walk, const GeneratorState& state, int filled)
{
    assert(filled >= 1 && filled <= free_cell_count);
    const std::int32_t d = state.diagonal_index;
    if (walk.built_for != d + 1)
        build_prefix_images(walk, d);

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

    std::uint64_t open = filled == 1 ? walk.all_open : walk.open_images[filled - 1];
    // Within a row only the images that know new cells go on; at the end of a
    // row every open image also weighs the values its next cell can take.
    const bool row_end = filled % 8 == 0;
    const std::uint64_t judged = row_end ? open : open & walk.newly_known[filled];
    for (std::uint64_t go_on = judged; go_on != 0; go_on &= go_on - 1) {
        const int t = std::countr_zero(go_on);
        const PrefixImage& image = walk.images[t];
        const std::uint8_t* const source = image.source_position;
        const std::uint32_t* const value_bits = image.value_bits;
        const int known = image.known_cells[filled];
        int i = image.known_cells[filled - 1];
        for (; i < known; ++i) {
            const std::uint32_t mine = bits[i];
            const std::uint32_t theirs = value_bits[value_of(bits[source[i]])];
            if (mine != theirs)
                break;
        }
        if (i == free_cell_count)
            continue; // the image equals Q
        walk.first_unmatched[t] = i;
        if (i < known) {
            // Both cells known and different: the image is decided.
            if (value_bits[value_of(bits[source[i]])] < bits[i])
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
        some_source_row_fails(state, filled, open, walk.images, walk.first_unmatched))
        return PrefixVerdict::fails;
    walk.open_images[filled] = open;
    return open == 0 ? PrefixVerdict::passes : PrefixVerdict::undecided;
}

PrefixVerdict judge_prefix(const std::uint32_t* chosen_bits, int filled, std::int32_t diagonal_index)
{
    GeneratorState& state = prefix_judge_state;
    PrunedWalk& walk = prefix_judge_walk;
    state.diagonal_index = diagonal_index;
    set_diagonal_masks(state);
    PrefixVerdict verdict = PrefixVerdict::undecided;
    for (int k = 0; k < filled; ++k) {
        if (!place_value(state, k, value_of(chosen_bits[k])))
            return PrefixVerdict::fails;
        verdict = judge_placement(walk, state, k + 1);
        if (verdict == PrefixVerdict::fails)
            break;
    }
    return verdict;
}
