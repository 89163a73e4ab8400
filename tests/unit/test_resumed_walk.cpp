// Pausing the pruned walk and resuming it elsewhere: a run that stops at any
// place the walk stood and goes on from there with resume_generator hands out
// exactly the squares of the uninterrupted walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "filter/prefix.h"
#include "filter/tables.h"
#include "generator/generator.h"
#include "generator/state.h"
#include "generator/tables.h"
#include "reference/enumeration_reference.h"
#include "reference/symmetry_reference.h"
#include "support.h"

namespace {

#ifdef DLSMATE_SANITIZE_BUILD
constexpr std::size_t squares_per_slice = 60;
constexpr std::size_t resumptions_per_walk = 4;
#else
constexpr std::size_t squares_per_slice = 400;
constexpr std::size_t resumptions_per_walk = 12;
#endif

using Values = std::array<std::int32_t, 80>;

struct Slice {
    std::string name;
    int d;
    Values start;
};

// Where the walk stood when it gave control back, and how many squares it had
// handed out by then.
struct Stand {
    int filled;
    Values values;
    std::size_t squares_before;
};

Values values_in_walk(int filled)
{
    Values values{};
    for (int k = 0; k < filled; ++k)
        values[k] = std::countr_zero(generator_state.chosen_bits[k]);
    return values;
}

void load(const Slice& slice)
{
    reset_state();
    generator_state.diagonal_index = slice.d;
    generator_state.square_limit = 1;
    generator_state.start_count = 80;
    for (int k = 0; k < 80; ++k)
        generator_state.start_values[k] = slice.start[k];
}

// Squares of next_live_square from where the generator stands, at most `limit`.
std::vector<Values> live_squares(std::size_t limit)
{
    std::vector<Values> squares;
    while (squares.size() < limit && next_live_square())
        squares.push_back(values_in_walk(80));
    return squares;
}

std::vector<Slice> slices()
{
    std::vector<Slice> list;
    std::mt19937 rng(20261209);
    for (int d : {0, 35, 56}) {
        list.push_back({"the start of the space", d, Values{}});
        for (int rows : {1, 2, 4}) {
            const std::array<int, 80> square = reference::free_values(symmetry_reference::random_square(d, rng));
            Values start{};
            // The first `rows` rows of free cells (8 each) of a random square, zeros after.
            for (int k = 0; k < 8 * rows; ++k)
                start[k] = square[k];
            list.push_back({"random rows 0-" + std::to_string(rows - 1), d, start});
        }
    }
    // Index 35 from this first row on: no square passes, decided mostly by
    // looking ahead, so the walk pauses without ever reaching a square.
    const Square dead = square_from_digits("0 8 9 6 2 3 5 4 7 1");
    const std::array<int, 80> dead_values = reference::free_values(dead);
    Values dead_start{};
    for (int k = 0; k < 8; ++k)
        dead_start[k] = dead_values[k];
    list.push_back({"a dead first row", 35, dead_start});
    return list;
}

TEST(ResumedWalk, PausingAndResumingAnywhereHandsOutTheUninterruptedWalksSquares)
{
    for (const Slice& slice : slices()) {
        const std::string where = "diagonal index " + std::to_string(slice.d) + ", " + slice.name;
        load(slice);
        if (!prime_generator())
            continue;
        const std::vector<Values> reference_squares = live_squares(squares_per_slice);

        for (std::uint32_t judgements : {1u, 7u}) {
            load(slice);
            ASSERT_TRUE(prime_generator());
            std::vector<Values> squares;
            std::vector<Stand> stands;
            int pauses = 0;
            while (squares.size() < squares_per_slice) {
                const LiveStep step = next_live_step(judgements);
                if (step == LiveStep::exhausted)
                    break;
                if (step == LiveStep::square)
                    squares.push_back(values_in_walk(80));
                else
                    ++pauses;
                stands.push_back({generator_state.position, values_in_walk(generator_state.position), squares.size()});
            }
            ASSERT_EQ(squares, reference_squares) << where << ", pausing after " << judgements << " judgements";
            EXPECT_GT(pauses, 0) << where;

            // A sample of the places it stood, the last one included.
            for (std::size_t i = 0; i < resumptions_per_walk && !stands.empty(); ++i) {
                const Stand& stand = stands[(stands.size() - 1) * (i + 1) / resumptions_per_walk];
                load(slice);
                ASSERT_TRUE(resume_generator(stand.values.data(), stand.filled)) << where;
                const std::vector<Values> rest = live_squares(squares_per_slice - stand.squares_before);
                const std::vector<Values> expected(reference_squares.begin() + static_cast<std::ptrdiff_t>(stand.squares_before),
                                                   reference_squares.end());
                ASSERT_EQ(rest, expected) << where << ", resumed on " << stand.filled << " values after "
                                          << stand.squares_before << " squares";
            }
        }
    }
}

TEST(ResumedWalk, JudgingOtherPrefixesWhileTheWalkIsPausedLeavesItsSquaresAlone)
{
    std::mt19937 rng(20261210);
    for (const Slice& slice : slices()) {
        const std::string where = "diagonal index " + std::to_string(slice.d) + ", " + slice.name;
        load(slice);
        if (!prime_generator())
            continue;
        const std::vector<Values> reference_squares = live_squares(squares_per_slice);

        load(slice);
        ASSERT_TRUE(prime_generator());
        std::vector<Values> squares;
        while (squares.size() < squares_per_slice) {
            const LiveStep step = next_live_step(3);
            if (step == LiveStep::exhausted)
                break;
            if (step == LiveStep::square) {
                squares.push_back(values_in_walk(80));
                continue;
            }
            // Another space's prefix, judged between two steps of the paused walk.
            const int other = (slice.d + 1 + static_cast<int>(rng() % 66)) % diagonal_count;
            const std::array<int, 80> foreign = reference::free_values(symmetry_reference::random_square(other, rng));
            std::uint32_t bits[80];
            for (int k = 0; k < 80; ++k)
                bits[k] = 1u << foreign[k];
            judge_prefix(bits, 8 + static_cast<int>(rng() % 72), other);
        }
        ASSERT_EQ(squares, reference_squares) << where;
    }
}

TEST(ResumedWalk, ResumingPastTheLastSquareOfTheSpaceFindsItExhausted)
{
    for (int d : {0, 35, 56}) {
        const std::array<int, 80> last = reference::free_values(reference::last_square(d));
        Values values{};
        std::copy(last.begin(), last.end(), values.begin());
        load({"", d, Values{}});
        ASSERT_TRUE(resume_generator(values.data(), 80)) << d;
        EXPECT_FALSE(next_live_square()) << d;
        EXPECT_EQ(generator_state.position, -1) << d;
    }
}

TEST(ResumedWalk, RefusesValuesNoWalkStandsOn)
{
    load({"", 0, Values{}});
    // Free cell 0 is (0, 1): row 0 holds 0 and anti_diagonal_table[0][0] already.
    const std::int32_t taken = anti_diagonal_table[0][0];
    const struct {
        const char* name;
        std::int32_t first;
        int count;
    } cases[] = {
        {"a value the diagonals put in its row", taken, 1},
        {"the main diagonal's value of its row", 0, 1},
        {"a value above 9", 10, 1},
        {"a negative value", -1, 1},
        {"more than 80 values", 1, 81},
        {"a negative count", 1, -1},
    };
    for (const auto& c : cases) {
        Values values{};
        values[0] = c.first;
        EXPECT_FALSE(resume_generator(values.data(), c.count)) << c.name;
    }
    // No values at all: the walk stands at the start of the space.
    ASSERT_TRUE(resume_generator(Values{}.data(), 0));
    EXPECT_EQ(generator_state.position, 0);
}

using Prefix = std::array<std::int32_t, prefix_length>;

Prefix prefix_of(const std::uint32_t* bits)
{
    Prefix prefix{};
    for (int k = 0; k < prefix_length; ++k)
        prefix[k] = std::countr_zero(bits[k]);
    return prefix;
}

TEST(ResumedWalk, ThePrefixWalkHandsOutThePrefixesOfTheSquaresInOrderAndGoesOnFromEveryPlace)
{
    for (const Slice& slice : slices()) {
        const std::string where = "diagonal index " + std::to_string(slice.d) + ", " + slice.name;
        load(slice);
        if (!prime_generator())
            continue;
        // The prefixes of the uninterrupted walk's squares, each once, in order.
        std::vector<Prefix> square_prefixes;
        for (const Values& square : live_squares(squares_per_slice)) {
            Prefix prefix{};
            std::copy(square.begin(), square.begin() + prefix_length, prefix.begin());
            if (square_prefixes.empty() || square_prefixes.back() != prefix)
                square_prefixes.push_back(prefix);
        }

        load(slice);
        ASSERT_TRUE(prime_generator());
        ASSERT_LE(generator_state.position, prefix_length);
        std::vector<Prefix> handed;
        std::vector<Stand> stands;
        std::uint32_t bits[prefix_length];
        while (handed.size() < 2 * square_prefixes.size() + 10) {
            const LiveStep step = next_live_prefix_step(3, bits);
            if (step == LiveStep::exhausted)
                break;
            if (step == LiveStep::square)
                handed.push_back(prefix_of(bits));
            if (generator_state.position >= 0)
                stands.push_back({generator_state.position, values_in_walk(generator_state.position), handed.size()});
        }
        for (std::size_t i = 1; i < handed.size(); ++i)
            ASSERT_LT(handed[i - 1], handed[i]) << where;
        // Each square's prefix is handed out (the walk also hands out prefixes
        // whose every completion fails the filter).
        std::size_t next = 0;
        std::size_t found = 0;
        for (const Prefix& prefix : square_prefixes) {
            if (!handed.empty() && prefix > handed.back())
                break;
            while (next < handed.size() && handed[next] < prefix)
                ++next;
            ASSERT_TRUE(next < handed.size() && handed[next] == prefix) << where;
            ++found;
        }
        EXPECT_EQ(found > 0, !square_prefixes.empty()) << where;

        // From a sample of the places it stood, the walk hands out the same prefixes.
        for (std::size_t i = 0; i < resumptions_per_walk && !stands.empty(); ++i) {
            const Stand& stand = stands[(stands.size() - 1) * (i + 1) / resumptions_per_walk];
            load(slice);
            ASSERT_TRUE(resume_generator(stand.values.data(), stand.filled)) << where;
            std::vector<Prefix> rest;
            while (rest.size() < 5 && stand.squares_before + rest.size() < handed.size()) {
                const LiveStep step = next_live_prefix_step(3, bits);
                ASSERT_NE(step, LiveStep::exhausted) << where;
                if (step == LiveStep::square)
                    rest.push_back(prefix_of(bits));
            }
            const auto from = handed.begin() + static_cast<std::ptrdiff_t>(stand.squares_before);
            ASSERT_EQ(rest, std::vector<Prefix>(from, from + static_cast<std::ptrdiff_t>(rest.size())))
                << where << ", resumed on " << stand.filled << " values";
        }
    }
}

} // namespace
