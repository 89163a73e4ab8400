#include "tools/lib/walk.h"

#include <bit>

#include "filter/canonical.h"
#include "generator/generator.h"
#include "generator/state.h"
#include "generator/tables.h"
#include "generator/walk.h"
#include "tools/lib/squares.h"

WalkStart walk_start(const WorkUnit& unit)
{
    WalkStart start;
    install_workunit(unit);
    const int diagonal_index = unit.diagonal_number - 1;
    start.can_start = prime_generator();
    const GeneratorState& s = generator_state;

    // A replay that stops at q leaves position q with the start values below it;
    // a full replay backs up and leaves a larger value than the start value at
    // the position just below the one it returns.
    int replayed = 80;
    if (start.can_start) {
        const int q = s.position;
        if (q == 0 || value_of(s.chosen_bits[q - 1]) == unit.start_values[q - 1])
            replayed = q;
    }
    start.replayed = replayed;
    start.floor = space_diagonals(diagonal_index);
    for (int k = 0; k < replayed; ++k) {
        const int cell = cell_order_table[k];
        start.floor.cells[square_offset(cell)] = static_cast<std::uint8_t>(unit.start_values[k]);
    }
    generator_state = GeneratorState{};
    return start;
}

bool lies_in_walk(const WalkStart& start, const Square& square)
{
    const int order = compare_squares(square, start.floor);
    return start.replayed == 80 ? order > 0 : order >= 0;
}

std::string walk_description(const WalkStart& start)
{
    if (start.replayed == 80)
        return "after the start square";
    if (start.replayed == 0)
        return "at the first square of the space";
    return "at the first square whose first " + std::to_string(start.replayed) + " free cells are the start square's";
}

namespace {

// The first square of the pruned walk from where the generator stands that
// passes the filter and is not below `bound`.
bool first_passing_from_here(const Square& bound, Square& square)
{
    while (next_live_square()) {
        if (!is_canonical(generator_state.chosen_bits))
            continue;
        if (compare_squares(assembled_square, bound) >= 0) {
            square = assembled_square;
            return true;
        }
    }
    return false;
}

} // namespace

EndStop end_stop_square(const WorkUnit& unit, const WalkStart& start)
{
    // Where the squares of the space not below the end square begin, as a prefix
    // of free-cell values: read the end square cell by cell, row by row, while
    // it agrees with a square of the space.  At the first cell where it cannot,
    // the squares that keep the prefix and have a larger value there are above
    // it and those with a smaller one below; a diagonal cell decides the same
    // for every square that keeps the prefix.
    const int d = unit.diagonal_number - 1;
    const Square diagonals = space_diagonals(d);
    const Square& end = unit.end_square;
    int prefix[80];
    int count = 0;
    bool after_prefix = false; // every square that keeps the prefix lies below the end square
    bool decided = false;
    std::string unused;
    for (int i = 0; i < 100 && !decided; ++i) {
        const int r = i / 10;
        const int c = i % 10;
        if (c == r || c == 9 - r) {
            if (diagonals.cells[i] != end.cells[i]) {
                after_prefix = diagonals.cells[i] < end.cells[i];
                decided = true;
            }
            continue;
        }
        // The values this cell can hold after the prefix.
        unsigned free_set = 0;
        for (int v = 0; v < 10; ++v) {
            prefix[count] = v;
            PrefixWalker trial(d, 80, 0);
            if (trial.seek(prefix, count + 1, unused))
                free_set |= 1u << v;
        }
        const unsigned value = end.cells[i];
        if (value < 10 && (free_set >> value & 1) != 0) {
            prefix[count++] = static_cast<int>(value);
            continue;
        }
        const unsigned above = value < 10 ? free_set & ~((2u << value) - 1) : 0;
        if (above != 0)
            prefix[count++] = std::countr_zero(above);
        else
            after_prefix = true;
        decided = true;
    }

    EndStop stop;
    if (after_prefix) {
        PrefixWalker walker(d, count, 0);
        if (!walker.seek(prefix, count, unused) || !walker.next())
            return stop;
        for (int k = 0; k < count; ++k)
            prefix[k] = walker.values()[k];
    }
    // The end square is itself a square of the space: start at it, not past it.
    if (count == 80)
        count = 79;

    std::int32_t values[80];
    for (int k = 0; k < count; ++k)
        values[k] = prefix[k];
    install_workunit(unit);
    if (resume_generator(values, count) && first_passing_from_here(end, stop.square)) {
        stop.found = true;
        // Below the unit's start: every square of the walk is above it, so the
        // run stops at the walk's first passing square.
        if (!lies_in_walk(start, stop.square)) {
            install_workunit(unit);
            stop.found = prime_generator() && first_passing_from_here(end, stop.square);
        }
    }
    generator_state = GeneratorState{};
    return stop;
}

PrefixWalker::PrefixWalker(int diagonal_index, int length, int kept)
    : length_(length), kept_(kept)
{
    state_.diagonal_index = diagonal_index;
    set_diagonal_masks(state_);
}

bool PrefixWalker::seek(const int* values, int count, std::string& problem)
{
    const int placed = replay_values(state_, values, count);
    if (placed < count) {
        const int cell = cell_order_table[placed];
        problem = "value " + std::to_string(values[placed]) + " at position " + std::to_string(placed) + ", cell (" +
                  std::to_string(cell >> 4) + ", " + std::to_string(cell & 15) +
                  "), is not 0-9 or repeats a value of its row or column";
        return false;
    }
    return stand(count);
}

bool PrefixWalker::stand(int position)
{
    if (position < 0)
        return false;
    for (int k = 0; k < position; ++k)
        values_[k] = value_of(state_.chosen_bits[k]);
    position_ = position;
    return true;
}

bool PrefixWalker::fill()
{
    return stand(fill_to(state_, position_, length_, kept_));
}

bool PrefixWalker::next()
{
    return stand(back_up(state_, position_, kept_)) && fill();
}

Square prefix_start_square(int diagonal_index, const int* prefix, int length)
{
    Square s = space_diagonals(diagonal_index);
    for (int k = 0; k < free_cell_count; ++k) {
        const int cell = cell_order_table[k];
        const int row = cell >> 4;
        s.cells[10 * row + (cell & 15)] = static_cast<std::uint8_t>(k < length ? prefix[k] : row);
    }
    return s;
}

Square prefix_floor_square(int diagonal_index, const int* prefix, int length)
{
    Square s = space_diagonals(diagonal_index);
    for (int k = 0; k < length; ++k) {
        const int cell = cell_order_table[k];
        s.cells[square_offset(cell)] = static_cast<std::uint8_t>(prefix[k]);
    }
    return s;
}
