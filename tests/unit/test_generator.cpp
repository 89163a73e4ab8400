#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "generator/generator.h"
#include "generator/tables.h"
#include "reference/enumeration_reference.h"
#include "support.h"

namespace {

// The square the generator holds, read from chosen_bits without the filter.
Square generated_square()
{
    const GeneratorState& s = generator_state;
    Square q = reference::empty_square(s.diagonal_index);
    for (int k = 0; k < 80; ++k) {
        const int cell = cell_order_table[k];
        int value = 0;
        while ((s.chosen_bits[k] >> value) != 1u)
            ++value;
        q.cells[square_offset(cell)] = static_cast<std::uint8_t>(value);
    }
    return q;
}

// Primes the generator for a start square given as 80 free values.
bool prime_from_values(int diagonal_index, const std::array<int, 80>& values)
{
    reset_state();
    generator_state.diagonal_index = diagonal_index;
    for (int v : values)
        generator_state.start_values[generator_state.start_count++] = v;
    return prime_generator();
}

bool prime_from(int diagonal_index, const Square& start)
{
    return prime_from_values(diagonal_index, reference::free_values(start));
}

const Square first_of_index0 = square_from_digits(
    "0 2 3 5 6 4 7 8 9 1 / 2 1 4 6 3 7 5 9 0 8 / 1 0 2 7 5 8 9 3 4 6 / 4 5 0 3 8 9 2 1 6 7 /"
    "3 7 1 9 4 6 8 0 2 5 / 6 8 9 0 7 5 1 4 3 2 / 5 3 8 4 9 1 6 2 7 0 / 9 6 5 8 0 2 3 7 1 4 /"
    "7 9 6 1 2 0 4 5 8 3 / 8 4 7 2 1 3 0 6 5 9");

Square second_of_index0()
{
    Square s = first_of_index0;
    const Square tail = square_from_digits("7 9 6 2 1 0 4 5 8 3 / 8 4 7 1 2 3 0 6 5 9");
    std::copy(tail.cells, tail.cells + 20, s.cells + 80);
    return s;
}

TEST(PrimeGenerator, SetsTheMasksOfBothDiagonals)
{
    ASSERT_TRUE(prime_from_values(0, std::array<int, 80>{}));
    const std::uint32_t rows[10] = {0x003, 0x003, 0x00C, 0x00C, 0x050, 0x0A0, 0x050, 0x0A0, 0x300, 0x300};
    const std::uint32_t columns[10] = {0x101, 0x202, 0x024, 0x018, 0x090, 0x060, 0x044, 0x088, 0x101, 0x202};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(generator_state.row_masks[i], rows[i]) << i;
        EXPECT_EQ(generator_state.column_masks[i], columns[i]) << i;
    }
    // An all-zero start stops the replay at once: cell (0, 1) never holds 0.
    EXPECT_EQ(generator_state.position, 0);
    ASSERT_TRUE(next_square());
    EXPECT_EQ(generator_state.candidate_sets[0], 0x1FCu);
}

TEST(NextSquare, FirstSquaresOfIndexZeroFromAnAllZeroStart)
{
    ASSERT_TRUE(prime_from(0, Square{}));
    ASSERT_TRUE(next_square());
    EXPECT_EQ(square_numbers(generated_square()), square_numbers(first_of_index0));
    ASSERT_TRUE(next_square());
    EXPECT_EQ(square_numbers(generated_square()), square_numbers(second_of_index0()));
}

TEST(PrimeGenerator, AFullyReplayedStartSquareIsNotReturnedAgain)
{
    ASSERT_TRUE(prime_from(0, first_of_index0));
    EXPECT_EQ(generator_state.position, 69);
    ASSERT_TRUE(next_square());
    EXPECT_EQ(square_numbers(generated_square()), square_numbers(second_of_index0()));
}

TEST(PrimeGenerator, TheGreatestSquareOfASpaceLeavesNothingToWalk)
{
    const Square last = reference::last_square(0);
    ASSERT_TRUE(prime_from(0, last));
    EXPECT_EQ(generator_state.position, 67);
    EXPECT_FALSE(next_square());
    EXPECT_EQ(generator_state.position, -1);
}

TEST(PrimeGenerator, AStartValueThatIsNotFreeStopsTheReplayThere)
{
    // Spoil one value of the greatest square of index 0 at position q.
    const Square base = reference::last_square(0);
    const std::array<int, 80> good = reference::free_values(base);
    auto cell_of = [](int k) { return square_offset(cell_order_table[k]); };
    struct Case {
        int position;
        int value;
    } cases[] = {
        {0, 0},                              // 0 is on the main diagonal of row 0
        {5, good[4]},                        // repeats position 4 in row 0
        {13, base.cells[cell_of(13) - 10]},  // repeats the cell above it
        {60, base.cells[cell_of(60) - 10]},
        {22, 2},                             // row 2's own diagonal value
        {12, 10},                            // values 10-31 have no place in a mask
        {30, 31}, {40, -1}, {50, 32}, {79, 1000000}, {79, -2147483647 - 1},
    };
    for (const Case& c : cases) {
        std::array<int, 80> values = good;
        values[c.position] = c.value;
        ASSERT_TRUE(prime_from_values(0, values)) << c.position;
        EXPECT_EQ(generator_state.position, c.position) << c.value;
        for (int k = 0; k < 10; ++k) {
            EXPECT_EQ(generator_state.row_masks[k] & ~0x3FFu, 0u);
            EXPECT_EQ(generator_state.column_masks[k] & ~0x3FFu, 0u);
        }
        // The walk resumes at q with the smallest free value: the first completion
        // of the first q values.
        ASSERT_TRUE(next_square());
        const auto expected = reference::completions(0, base, c.position, 1);
        ASSERT_EQ(expected.size(), 1u);
        EXPECT_EQ(square_numbers(generated_square()), square_numbers(expected[0])) << c.position;
    }
}

// Several slices: fix the first rows of a random square of a space and walk every
// completion, with the generator and with the independent enumerator.
TEST(NextSquare, WalksEveryCompletionOfAPrefixInIncreasingOrder)
{
    std::mt19937 random(20261208);
    for (int d : {0, 3, 14, 36, 55, 56, 66}) {
        for (int fixed_rows : {6, 7}) {
            // A random square of the space: start from a random point, take the next square.
            std::array<int, 80> start{};
            for (int k = 0; k < 24; ++k)
                start[k] = static_cast<int>(random() % 10);
            ASSERT_TRUE(prime_from_values(d, start));
            ASSERT_TRUE(next_square());
            const Square seed = generated_square();
            const int fixed = 8 * fixed_rows;

            const std::vector<Square> expected = reference::completions(d, seed, fixed, 100000);
            ASSERT_FALSE(expected.empty());

            // A value that is never free stops the replay at the first cell after the prefix.
            std::array<int, 80> values = reference::free_values(seed);
            values[fixed] = 10;
            ASSERT_TRUE(prime_from_values(d, values));
            std::vector<Square> walked;
            while (next_square()) {
                const Square q = generated_square();
                if (std::memcmp(q.cells, seed.cells, 10 * fixed_rows) != 0)
                    break;
                ASSERT_TRUE(reference::is_diagonal_latin(q));
                walked.push_back(q);
            }
            ASSERT_EQ(walked.size(), expected.size()) << "d " << d << " rows " << fixed_rows;
            for (std::size_t i = 0; i < walked.size(); ++i)
                ASSERT_EQ(square_numbers(walked[i]), square_numbers(expected[i])) << i;

            // Started from any square of the slice, the walk goes on with its successor.
            for (std::size_t i = 0; i + 1 < expected.size(); i += 1 + expected.size() / 5) {
                ASSERT_TRUE(prime_from(d, expected[i]));
                ASSERT_TRUE(next_square());
                EXPECT_EQ(square_numbers(generated_square()), square_numbers(expected[i + 1]));
            }
        }
    }
}

TEST(NextSquare, TheStartOfEverySpaceIsItsSmallestSquare)
{
    for (int d = 0; d < diagonal_count; ++d) {
        ASSERT_TRUE(prime_from(d, Square{}));
        ASSERT_TRUE(next_square());
        EXPECT_EQ(square_numbers(generated_square()), square_numbers(reference::first_square(d))) << d;
    }
}

} // namespace
