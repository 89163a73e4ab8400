#include <gtest/gtest.h>

#include <cstdio>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "io/workunit.h"
#include "support.h"

namespace {

const Square nines = filled_square(9);

// A start square whose cell n holds n % 10 (not Latin; the reader does not care).
Square counting_square()
{
    Square s;
    for (int n = 0; n < 100; ++n)
        s.cells[n] = static_cast<std::uint8_t>(n % 10);
    return s;
}

// The work-unit fields of two states agree.
bool same_workunit(const GeneratorState& a, const GeneratorState& b)
{
    return a.diagonal_index == b.diagonal_index && a.square_limit == b.square_limit && a.start_count == b.start_count &&
           std::memcmp(a.start_values, b.start_values, sizeof a.start_values) == 0 &&
           std::memcmp(a.end_square.cells, b.end_square.cells, 100) == 0;
}

std::string with_squares(const std::string& header)
{
    return header + "\n" + square_numbers(counting_square()) + square_numbers(nines);
}

TEST(ReadWorkunit, AcceptsOnlyDiagonalNumbersOneToSixtySevenAndNonZeroLimits)
{
    struct Case {
        const char* header;
        bool accepted;
    } cases[] = {
        {"1 5", true},     {"67 5", true},    {"0 5", false},     {"68 5", false},
        {"-1 5", false},   {"1 0", false},    {"1 1", true},      {"+3 7", true},
        {"1 18446744073709551615", true},      {"2147483647 1", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(read_workunit_text(with_squares(c.header)), c.accepted) << c.header;
}

TEST(ReadWorkunit, StoresTheFieldsOfAnAcceptedWorkUnit)
{
    ASSERT_TRUE(read_workunit_text(with_squares("67 18446744073709551615")));
    const GeneratorState& s = generator_state;
    EXPECT_EQ(s.diagonal_index, 66);
    EXPECT_EQ(s.square_limit, 18446744073709551615ull);
    EXPECT_EQ(s.start_count, 80);
    // Row-major order over the cells off both diagonals.
    int k = 0;
    for (int r = 0; r < 10; ++r) {
        for (int c = 0; c < 10; ++c) {
            if (c != r && c != 9 - r) {
                EXPECT_EQ(s.start_values[k], c) << "cell " << r << "," << c;
                ++k;
            }
        }
    }
    EXPECT_EQ(std::memcmp(s.end_square.cells, nines.cells, 100), 0);
}

TEST(ReadWorkunit, RejectsInputThatEndsEarlyOrHoldsSomethingThatIsNotANumber)
{
    const std::string whole = with_squares("5 100");
    // Cut after the limit, inside the start square, inside the end square.
    for (std::size_t cut : {std::size_t{1}, std::size_t{5}, std::size_t{60}, whole.size() / 2, whole.size() - 3})
        EXPECT_FALSE(read_workunit_text(whole.substr(0, cut))) << "cut at " << cut;
    EXPECT_FALSE(read_workunit_text(""));
    EXPECT_FALSE(read_workunit_text("x 5" + whole.substr(3)));
    EXPECT_FALSE(read_workunit_text("5 z" + whole.substr(3)));
    std::string letter = whole;
    letter[letter.size() - 2] = 'a';
    EXPECT_FALSE(read_workunit_text(letter));
}

TEST(ReadWorkunit, LayoutOfTheNumbersDoesNotMatter)
{
    const std::string lines = with_squares("12 3000");
    ASSERT_TRUE(read_workunit_text(lines));
    const GeneratorState expected = generator_state;

    std::string one_line = lines, one_per_line = lines, crlf;
    for (char& ch : one_line)
        if (ch == '\n')
            ch = ' ';
    for (char& ch : one_per_line)
        if (ch == ' ')
            ch = '\n';
    for (char ch : lines)
        crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    const std::string trailing = lines + "\n7 7 7 garbage \x01\x02";

    for (const std::string& text : {one_line, one_per_line, crlf, trailing, "\t " + one_line}) {
        ASSERT_TRUE(read_workunit_text(text));
        EXPECT_TRUE(same_workunit(generator_state, expected));
    }
}

TEST(ReadWorkunit, KeepsOnlyTheLowEightBitsOfEndSquareValuesAndStartValuesAsRead)
{
    Square start = counting_square();
    std::string text = "1 1\n" + square_numbers(start);
    text += "300 -1 256 10 4 5 6 7 8 9\n";
    for (int r = 1; r < 10; ++r)
        text += "0 0 0 0 0 0 0 0 0 0\n";
    ASSERT_TRUE(read_workunit_text(text));
    EXPECT_EQ(generator_state.end_square.cells[0], 44);
    EXPECT_EQ(generator_state.end_square.cells[1], 255);
    EXPECT_EQ(generator_state.end_square.cells[2], 0);
    EXPECT_EQ(generator_state.end_square.cells[3], 10);

    // Start values are passed on unchecked; diagonal cells are dropped.
    std::string odd = "1 1\n-5 40 2 3 4 5 6 7 8 99\n";
    for (int r = 1; r < 10; ++r)
        odd += "1 2 3 4 5 6 7 8 9 0\n";
    ASSERT_TRUE(read_workunit_text(odd + square_numbers(nines)));
    EXPECT_EQ(generator_state.start_values[0], 40);
    EXPECT_EQ(generator_state.start_values[7], 8);
}

TEST(ReadWorkunit, DiagonalCellsOfTheStartSquareChangeNothing)
{
    Square start = counting_square();
    ASSERT_TRUE(read_workunit_text(workunit_of(9, 9, start, nines)));
    const GeneratorState expected = generator_state;
    for (int r = 0; r < 10; ++r) {
        start.cells[11 * r] = 7;
        start.cells[9 * r + 9] = 3;
    }
    ASSERT_TRUE(read_workunit_text(workunit_of(9, 9, start, nines)));
    EXPECT_TRUE(same_workunit(generator_state, expected));
}

// Numbers beyond the range of their type read the same with every C library:
// a start value as strtol of a 64-bit long cut to its low 32 bits, a limit as
// strtoull, which is what glibc's fscanf makes of them.
struct OutOfRange {
    const char* text;
    std::int32_t as_value;
    std::uint64_t as_limit;
};

constexpr OutOfRange out_of_range[] = {
    {"2147483647", 2147483647, 2147483647u},
    {"2147483648", INT32_MIN, 2147483648u},
    {"4294967297", 1, 4294967297u},
    {"-4294967295", 1, 18446744069414584321u},
    {"+4294967298", 2, 4294967298u},
    {"9223372036854775807", -1, 9223372036854775807u},
    {"9223372036854775808", -1, 9223372036854775808u},
    {"-9223372036854775808", 0, 9223372036854775808u},
    {"-9223372036854775809", 0, 9223372036854775807u},
    {"18446744073709551615", -1, UINT64_MAX},
    {"18446744073709551616", -1, UINT64_MAX},
    {"-18446744073709551615", 0, 1},
    {"-18446744073709551616", 0, UINT64_MAX},
    {"99999999999999999999999", -1, UINT64_MAX},
    {"-99999999999999999999999", 0, UINT64_MAX},
    {"000000000000000000000000000000042", 42, 42},
};

std::string with_start_value_and_limit(const std::string& value, const std::string& limit)
{
    Square start = counting_square();
    std::string text = "1 " + limit + "\n" + square_numbers(start) + square_numbers(nines);
    // Cell (0, 1), the first free cell, is the third number.
    const std::size_t first = text.find(' ', text.find('\n') + 1);
    const std::size_t end = text.find(' ', first + 1);
    return text.substr(0, first + 1) + value + text.substr(end);
}

TEST(ReadWorkunit, NumbersBeyondTheirRangeReadAlikeWithEveryCLibrary)
{
    for (const OutOfRange& n : out_of_range) {
        ASSERT_TRUE(read_workunit_text(with_start_value_and_limit(n.text, "5"))) << n.text;
        EXPECT_EQ(generator_state.start_values[0], n.as_value) << n.text;
        if (n.as_limit != 0) {
            ASSERT_TRUE(read_workunit_text(with_start_value_and_limit("1", n.text))) << n.text;
            EXPECT_EQ(generator_state.square_limit, n.as_limit) << n.text;
        }
    }
}

#ifdef __GLIBC__
// The same rule against glibc itself, on numbers of every length.
TEST(ReadWorkunit, ReadsEveryNumberAsGlibcsFscanfDoes)
{
    std::mt19937 rng(2026);
    for (int n = 0; n < 3000; ++n) {
        std::string text = n % 3 == 0 ? "-" : n % 3 == 1 ? "" : "+";
        const int digits = 1 + n % 25;
        for (int d = 0; d < digits; ++d)
            text += static_cast<char>('0' + rng() % 10);
        int glibc_value = 0;
        unsigned long long glibc_limit = 0;
        ASSERT_EQ(std::sscanf(text.c_str(), "%d", &glibc_value), 1);
        ASSERT_EQ(std::sscanf(text.c_str(), "%llu", &glibc_limit), 1);
        ASSERT_TRUE(read_workunit_text(with_start_value_and_limit(text, "5"))) << text;
        EXPECT_EQ(generator_state.start_values[0], glibc_value) << text;
        if (glibc_limit != 0) {
            ASSERT_TRUE(read_workunit_text(with_start_value_and_limit("1", text))) << text;
            EXPECT_EQ(generator_state.square_limit, glibc_limit) << text;
        }
    }
}
#endif

} // namespace
