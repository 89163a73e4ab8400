#include "generator/generator.h"

#include <cassert>

#include "filter/prefix.h"
#include "generator/state.h"
#include "generator/tables.h"

namespace {

constexpr std::uint32_t all_values = 0x3FF;

// True while the walk stands on a prefix that the pruned walk itself placed and
// judged, paused short of a square: the judgement's state for that prefix is
// still in place, and the walk goes on without judging the prefix again.
bool paused_on_judged_prefix = false;

// Takes the deepest filled position off the square until one of them still has
// an untried value, and places the smallest such value there.  Returns the next
// position to fill, or -1 when every position ran out of values.
inline int back_up(int k)
{
    GeneratorState& s = generator_state;
    std::uint32_t* const rows = s.row_masks;
    std::uint32_t* const columns = s.column_masks;
    std::uint32_t* const candidates = s.candidate_sets;
    std::uint32_t* const chosen = s.chosen_bits;
    const std::int32_t* const cells = cell_order_table;

    for (;;) {
        if (--k < 0)
            return -1;
        const std::int32_t cell = cells[k];
        const std::uint32_t bit = chosen[k];
        rows[cell >> 4] ^= bit;
        columns[cell & 15] ^= bit;
        if ((candidates[k] ^= bit) != 0) {
            const std::uint32_t next = candidates[k] & -candidates[k];
            chosen[k] = next;
            rows[cell >> 4] ^= next;
            columns[cell & 15] ^= next;
            return k + 1;
        }
    }
}

// Takes positions from .. to - 1 back off the masks, deepest first.
inline void take_back(int from, int to)
{
    GeneratorState& s = generator_state;
    for (int k = to - 1; k >= from; --k) {
        const std::int32_t cell = cell_order_table[k];
        s.row_masks[cell >> 4] ^= s.chosen_bits[k];
        s.column_masks[cell & 15] ^= s.chosen_bits[k];
    }
}

// Judges the placement that made the prefix `next` positions long.  A prefix
// on which every completion fails the symmetry filter is backed up past at
// once, and the placement the back-up made is judged in turn.  Returns the
// next position to fill, or -1 when the space is exhausted; every judgement
// takes one from `budget`.
inline int keep_live(int next, std::int64_t& budget)
{
    while (next >= 0) {
        --budget;
        if (judge_placement(generator_state, next) != PrefixVerdict::fails)
            break;
        next = back_up(next);
    }
    return next;
}

// Fills positions from k until the square is complete (80) or the space is
// exhausted (-1).  The pruned walk judges every placement as it is made, and
// once `budget` judgements are spent it stops short of a square and returns
// the length of the judged prefix it stands on (1-79).
template <bool judging>
inline int fill_from(int k, std::int64_t budget)
{
    GeneratorState& s = generator_state;
    std::uint32_t* const rows = s.row_masks;
    std::uint32_t* const columns = s.column_masks;
    std::uint32_t* const candidates = s.candidate_sets;
    std::uint32_t* const chosen = s.chosen_bits;
    const std::int32_t* const cells = cell_order_table;

    while (k < 80) {
        const std::int32_t cell = cells[k];
        const std::uint32_t free_set = (rows[cell >> 4] | columns[cell & 15]) ^ all_values;
        candidates[k] = free_set;
        if (free_set != 0) {
            const std::uint32_t bit = free_set & -free_set;
            chosen[k] = bit;
            rows[cell >> 4] ^= bit;
            columns[cell & 15] ^= bit;
            ++k;
        } else {
            k = back_up(k);
        }
        if constexpr (judging) {
            k = keep_live(k, budget);
            if (budget <= 0 && k >= 0 && k < 80)
                return k;
        }
        if (k < 0)
            return -1;
    }
    return 80;
}

// Priming placed its positions without judging them: take them back and place
// them again one by one, judging each, and back up past the first that leaves
// a prefix on which every completion fails.
inline int judge_primed_positions(int k, std::int64_t& budget)
{
    GeneratorState& s = generator_state;
    take_back(0, k);
    for (int filled = 1; filled <= k; ++filled) {
        const std::int32_t cell = cell_order_table[filled - 1];
        s.row_masks[cell >> 4] ^= s.chosen_bits[filled - 1];
        s.column_masks[cell & 15] ^= s.chosen_bits[filled - 1];
        if (judge_placement(s, filled) == PrefixVerdict::fails)
            return keep_live(back_up(filled), budget);
    }
    return k;
}

// Sets the diagonals' values into the masks and replays `values[0..count)` as
// placed values.  Returns how many replayed: the first value that is not free
// where it stands (repeated in its row or column, or not a value 0-9) ends the
// replay.  Each replayed position keeps its value and every free value above it
// to try; those below count as tried.
int replay(const std::int32_t* values, int count)
{
    GeneratorState& s = generator_state;
    const std::int32_t* const anti = anti_diagonal_table[s.diagonal_index];

    for (int r = 0; r < 10; ++r)
        s.row_masks[r] = (1u << r) | (1u << anti[r]);
    for (int c = 0; c < 10; ++c)
        s.column_masks[c] = (1u << c) | (1u << anti[9 - c]);

    for (int k = 0; k < count; ++k) {
        const std::int32_t cell = cell_order_table[k];
        const std::uint32_t free_set = (s.row_masks[cell >> 4] | s.column_masks[cell & 15]) ^ all_values;
        const std::int32_t value = values[k];
        const std::uint32_t bit = (value >= 0 && value < 32) ? 1u << value : 0u;
        if ((bit & free_set) == 0)
            return k;
        s.chosen_bits[k] = bit;
        s.row_masks[cell >> 4] ^= bit;
        s.column_masks[cell & 15] ^= bit;
        s.candidate_sets[k] = free_set & -bit;
    }
    return count;
}

// After a replay of `replayed` values: a whole square goes on as after a
// handed-out square, a prefix from the smallest free value at its next position.
bool stand_after_replay(int replayed)
{
    GeneratorState& s = generator_state;
    paused_on_judged_prefix = false;
    if (replayed < 80) {
        s.position = replayed;
        return true;
    }
    s.position = back_up(80);
    assert(s.position <= 79);
    return s.position >= 0;
}

} // namespace

bool prime_generator()
{
    const GeneratorState& s = generator_state;
    return stand_after_replay(replay(s.start_values, s.start_count));
}

bool resume_generator(const std::int32_t* values, int count)
{
    if (count < 0 || count > 80 || replay(values, count) != count)
        return false;
    stand_after_replay(count);
    return true;
}

bool next_square()
{
    GeneratorState& s = generator_state;
    int k = s.position;
    if (k == 80) {
        k = back_up(80);
        if (k < 0) {
            s.position = -1;
            return false;
        }
    }
    s.position = fill_from<false>(k, 0);
    return s.position == 80;
}

LiveStep next_live_step(std::uint32_t judgements)
{
    GeneratorState& s = generator_state;
    int k = s.position;
    if (k < 0)
        return LiveStep::exhausted;
    std::int64_t budget = judgements;
    if (k == 80)
        k = keep_live(back_up(80), budget);
    else if (!paused_on_judged_prefix)
        k = judge_primed_positions(k, budget);
    if (k >= 0)
        k = fill_from<true>(k, budget);
    s.position = k;
    paused_on_judged_prefix = k >= 0 && k < 80;
    return k < 0 ? LiveStep::exhausted : k == 80 ? LiveStep::square : LiveStep::pause;
}

bool next_live_square()
{
    LiveStep step;
    while ((step = next_live_step(UINT32_MAX)) == LiveStep::pause) {
    }
    return step == LiveStep::square;
}
