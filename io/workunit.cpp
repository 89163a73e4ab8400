#include "io/workunit.h"

#include "generator/state.h"

namespace {

// One conversion per call; a result that is not positive stored no value.
bool read_int(std::FILE* input, int* value)
{
    return std::fscanf(input, "%d", value) > 0;
}

} // namespace

bool read_workunit(std::FILE* input)
{
    GeneratorState& state = generator_state;

    if (!read_int(input, &state.diagonal_index))
        return false;
    // Accepts exactly 1-67: zero and negative values wrap to large unsigned numbers.
    if (static_cast<std::uint32_t>(state.diagonal_index) - 1u > 66u)
        return false;

    unsigned long long limit = 0;
    if (std::fscanf(input, "%llu", &limit) <= 0)
        return false;
    state.square_limit = limit;
    if (state.square_limit == 0)
        return false;

    for (int r = 0; r < 10; ++r) {
        for (int c = 0; c < 10; ++c) {
            int value;
            if (!read_int(input, &value))
                return false;
            if (c != r && c != 9 - r)
                state.start_values[state.start_count++] = value;
        }
    }

    for (int cell = 0; cell < 100; ++cell) {
        int value;
        if (!read_int(input, &value))
            return false;
        state.end_square.cells[cell] = static_cast<std::uint8_t>(value);
    }

    state.diagonal_index -= 1;
    return true;
}
