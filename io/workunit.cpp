#include "io/workunit.h"

#include <cstdint>

#include "generator/state.h"

namespace {

// One decimal number as fscanf's "%d" and "%llu" find it: white space, an
// optional sign, then digits up to the first other byte, which stays unread.
// False when no digit follows.  The conversions below give every number,
// however long, the value that glibc gives it (strtol of a 64-bit long and
// strtoull), so that a work unit reads the same with every C library: the
// standard leaves numbers beyond the type's range undefined, and MinGW's
// library saturates them where glibc keeps the low bits.
struct Decimal {
    bool negative = false;
    bool overflow = false;     // more than 2^64 - 1
    std::uint64_t magnitude = 0;
};

bool read_decimal(std::FILE* input, Decimal& number)
{
    int ch;
    do
        ch = std::getc(input);
    while (ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r');
    if (ch == '+' || ch == '-') {
        number.negative = ch == '-';
        ch = std::getc(input);
    }
    if (ch < '0' || ch > '9') {
        if (ch != EOF)
            std::ungetc(ch, input);
        return false;
    }
    for (; ch >= '0' && ch <= '9'; ch = std::getc(input)) {
        const auto digit = static_cast<std::uint64_t>(ch - '0');
        if (number.magnitude > (UINT64_MAX - digit) / 10)
            number.overflow = true;
        else
            number.magnitude = 10 * number.magnitude + digit;
    }
    if (ch != EOF)
        std::ungetc(ch, input);
    return true;
}

// "%d": the number clamped to 64-bit signed, then its low 32 bits.
bool read_int(std::FILE* input, std::int32_t* value)
{
    Decimal n;
    if (!read_decimal(input, n))
        return false;
    std::uint64_t bits;
    if (!n.negative)
        bits = n.overflow || n.magnitude > INT64_MAX ? static_cast<std::uint64_t>(INT64_MAX) : n.magnitude;
    else
        bits = n.overflow || n.magnitude > static_cast<std::uint64_t>(INT64_MAX) + 1 ? static_cast<std::uint64_t>(INT64_MIN)
                                                                                      : 0 - n.magnitude;
    *value = static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
    return true;
}

// "%llu": 2^64 - 1 beyond the range, a negative number taken modulo 2^64.
bool read_unsigned_64(std::FILE* input, std::uint64_t* value)
{
    Decimal n;
    if (!read_decimal(input, n))
        return false;
    *value = n.overflow ? UINT64_MAX : n.negative ? 0 - n.magnitude : n.magnitude;
    return true;
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

    if (!read_unsigned_64(input, &state.square_limit))
        return false;
    if (state.square_limit == 0)
        return false;

    for (int r = 0; r < 10; ++r) {
        for (int c = 0; c < 10; ++c) {
            std::int32_t value;
            if (!read_int(input, &value))
                return false;
            if (c != r && c != 9 - r)
                state.start_values[state.start_count++] = value;
        }
    }

    for (int cell = 0; cell < 100; ++cell) {
        std::int32_t value;
        if (!read_int(input, &value))
            return false;
        state.end_square.cells[cell] = static_cast<std::uint8_t>(value);
    }

    state.diagonal_index -= 1;
    return true;
}
