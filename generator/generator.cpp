#include "generator/generator.h"

#include <cassert>

#include "filter/prefix.h"
#include "generator/state.h"
#include "generator/tables.h"
#include "generator/walk.h"

namespace {

// The worker's pruned walk: its memory between placements.
PrunedWalk live_walk;

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
inline int skip_dead_prefixes(PrunedWalk& walk, int next, std::int64_t& budget)
{
    while (next >= 0) {
        --budget;
        if (judge_placement(walk, generator_state, next) != PrefixVerdict::fails)
            break;
        next = back_up(generator_state, next);
    }
    return next;
}

// Fills positions from k until `length` are filled or the space is exhausted
// (-1), judging every placement as it is made; once `budget` judgements are
// spent it stops short and returns the length of the judged prefix it stands
// on (1 to length - 1).
inline int fill_judging(PrunedWalk& walk, int k, std::int64_t budget, int length = 80)
{
    while (k < length) {
        k = skip_dead_prefixes(walk, step_forward(generator_state, k), budget);
        if (budget <= 0 && k >= 0 && k < length)
            return k;
        if (k < 0)
            return -1;
    }
    return length;
}

// Priming placed its positions without judging them: take them back and place
// them again one by one, judging each, and back up past the first that leaves
// a prefix on which every completion fails.
inline int judge_primed_positions(PrunedWalk& walk, int k, std::int64_t& budget)
{
    GeneratorState& s = generator_state;
    take_back(0, k);
    for (int filled = 1; filled <= k; ++filled) {
        const std::int32_t cell = cell_order_table[filled - 1];
        s.row_masks[cell >> 4] ^= s.chosen_bits[filled - 1];
        s.column_masks[cell & 15] ^= s.chosen_bits[filled - 1];
        if (judge_placement(walk, s, filled) == PrefixVerdict::fails)
            return skip_dead_prefixes(walk, back_up(s, filled), budget);
    }
    return k;
}

// After a replay of `replayed` values: a whole square goes on as after a
// handed-out square, a prefix from the smallest free value at its next position.
bool stand_after_replay(int replayed)
{
    GeneratorState& s = generator_state;
    live_walk.paused = false;
    if (replayed < 80) {
        s.position = replayed;
        return true;
    }
    s.position = back_up(s, 80);
    assert(s.position <= 79);
    return s.position >= 0;
}

} // namespace

bool prime_generator()
{
    GeneratorState& s = generator_state;
    return stand_after_replay(replay_values(s, s.start_values, s.start_count));
}

bool resume_generator(const std::int32_t* values, int count)
{
    if (count < 0 || count > 80 || replay_values(generator_state, values, count) != count)
        return false;
    stand_after_replay(count);
    return true;
}

bool next_square()
{
    GeneratorState& s = generator_state;
    int k = s.position;
    if (k == 80) {
        k = back_up(s, 80);
        if (k < 0) {
            s.position = -1;
            return false;
        }
    }
    s.position = fill_to(s, k, 80);
    return s.position == 80;
}

LiveStep next_live_step(std::uint32_t judgements)
{
    GeneratorState& s = generator_state;
    PrunedWalk& walk = live_walk;
    int k = s.position;
    if (k < 0)
        return LiveStep::exhausted;
    std::int64_t budget = judgements;
    if (k == 80)
        k = skip_dead_prefixes(walk, back_up(s, 80), budget);
    else if (!walk.paused)
        k = judge_primed_positions(walk, k, budget);
    if (k >= 0)
        k = fill_judging(walk, k, budget);
    s.position = k;
    walk.paused = k >= 0 && k < 80;
    return k < 0 ? LiveStep::exhausted : k == 80 ? LiveStep::square : LiveStep::pause;
}

bool next_live_square()
{
    LiveStep step;
    while ((step = next_live_step(UINT32_MAX)) == LiveStep::pause) {
    }
    return step == LiveStep::square;
}

LiveStep next_live_prefix_step(std::uint32_t judgements, std::uint32_t* prefix)
{
    GeneratorState& s = generator_state;
    PrunedWalk& walk = live_walk;
    int k = s.position;
    if (k < 0)
        return LiveStep::exhausted;
    assert(k <= prefix_length);
    std::int64_t budget = judgements;
    if (!walk.paused)
        k = judge_primed_positions(walk, k, budget);
    if (k >= 0)
        k = fill_judging(walk, k, budget, prefix_length);
    const bool reached = k == prefix_length;
    if (reached) {
        for (int j = 0; j < prefix_length; ++j)
            prefix[j] = s.chosen_bits[j];
        k = skip_dead_prefixes(walk, back_up(s, prefix_length), budget);
    }
    s.position = k;
    walk.paused = k >= 0;
    return reached ? LiveStep::square : k < 0 ? LiveStep::exhausted : LiveStep::pause;
}

bool leave_prefix()
{
    GeneratorState& s = generator_state;
    assert(s.position > prefix_length && s.position <= 80);
    take_back(prefix_length, s.position);
    s.position = back_up(s, prefix_length);
    live_walk.paused = false;
    return s.position >= 0;
}
