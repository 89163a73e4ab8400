#include "tools/lib/walk.h"

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
