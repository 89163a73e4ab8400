// libFuzzer target: arbitrary bytes as a work unit, through the reader, the
// generator's priming and the first squares after the start.  A violated
// invariant aborts, which the fuzzer reports with the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "generator/generator.h"
#include "generator/state.h"
#include "io/workunit.h"

namespace {

// At most this many squares after the start: enough to leave the replayed
// prefix, few enough to keep every input fast.
constexpr int squares_per_input = 2;

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant violated: %s\n", what);
        std::abort();
    }
}

bool is_value_set(std::uint32_t mask)
{
    return (mask & ~0x3FFu) == 0;
}

bool is_one_hot(std::uint32_t bit)
{
    return bit != 0 && (bit & (bit - 1)) == 0 && is_value_set(bit);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A fresh process's state for every input.
    generator_state = GeneratorState{};
    const GeneratorState& s = generator_state;

    // fmemopen rejects an empty buffer: read a lone byte that ends the text instead.
    static char empty[1] = {'\0'};
    std::FILE* input = size == 0 ? ::fmemopen(empty, 1, "rb")
                                 : ::fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    require(input != nullptr, "fmemopen");
    const bool read = read_workunit(input);
    std::fclose(input);
    if (!read)
        return 0;
    require(s.diagonal_index >= 0 && s.diagonal_index <= 66, "diagonal index 0-66 after a good read");
    require(s.square_limit != 0, "square limit not zero after a good read");
    require(s.start_count == 80, "80 start values after a good read");

    if (!prime_generator())
        return 0;
    require(s.position >= 0 && s.position <= 79, "primed position 0-79");
    for (int k = 0; k < s.position; ++k)
        require(is_one_hot(s.chosen_bits[k]), "a replayed value is one of 0-9");
    for (int i = 0; i < 10; ++i)
        require(is_value_set(s.row_masks[i]) && is_value_set(s.column_masks[i]), "masks within 0x3FF");

    for (int n = 0; n < squares_per_input; ++n) {
        if (!next_square()) {
            require(s.position == -1, "an exhausted generator is at position -1");
            return 0;
        }
        require(s.position == 80, "a complete square is at position 80");
        for (int i = 0; i < 10; ++i)
            require(s.row_masks[i] == 0x3FF && s.column_masks[i] == 0x3FF, "every row and column full");
        for (int k = 0; k < 80; ++k)
            require(is_one_hot(s.chosen_bits[k]), "one value per free cell");
    }
    return 0;
}
