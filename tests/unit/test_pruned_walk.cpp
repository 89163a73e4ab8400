// The pruned walk against the plain one: next_square followed by is_canonical
// stays the reference for which squares a run examines and in which order.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "filter/canonical.h"
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
constexpr int generated_per_slice = 1500;
constexpr int minima_per_space = 3;
constexpr int fixed_minima_per_case = 1;
#else
constexpr int generated_per_slice = 5000;
constexpr int minima_per_space = 15;
constexpr int fixed_minima_per_case = 3;
#endif

std::array<std::uint32_t, 80> one_hot(const Square& square)
{
    std::array<std::uint32_t, 80> bits{};
    const std::array<int, 80> values = reference::free_values(square);
    for (int k = 0; k < 80; ++k)
        bits[k] = 1u << values[k];
    return bits;
}

void prime_at(int d, const Square& start)
{
    reset_state();
    generator_state.diagonal_index = d;
    generator_state.square_limit = 1;
    generator_state.start_count = 80;
    const std::array<int, 80> values = reference::free_values(start);
    for (int k = 0; k < 80; ++k)
        generator_state.start_values[k] = values[k];
}

struct PlainSlice {
    std::vector<Square> passing; // in the order of the walk
    Square last{};               // the last square generated
    bool exhausted = false;
};

// next_square and is_canonical over at most `limit` generated squares.
PlainSlice plain_walk(int d, const Square& start, int limit)
{
    PlainSlice slice;
    prime_at(d, start);
    if (!prime_generator()) {
        slice.exhausted = true;
        return slice;
    }
    for (int n = 0; n < limit; ++n) {
        if (!next_square()) {
            slice.exhausted = true;
            return slice;
        }
        const bool passes = is_canonical(generator_state.chosen_bits);
        slice.last = assembled_square;
        if (passes)
            slice.passing.push_back(assembled_square);
    }
    return slice;
}

// next_live_square up to the plain walk's last square (or to its end).  Every
// square it returns must pass the filter.
std::vector<Square> pruned_walk(int d, const Square& start, const PlainSlice& bound)
{
    std::vector<Square> passing;
    prime_at(d, start);
    if (!prime_generator())
        return passing;
    while (next_live_square()) {
        const bool passes = is_canonical(generator_state.chosen_bits);
        EXPECT_TRUE(passes) << square_numbers(assembled_square);
        if (!bound.exhausted && compare_squares(assembled_square, bound.last) > 0)
            break;
        passing.push_back(assembled_square);
    }
    return passing;
}

// A start square that keeps the first `rows` rows of `square` and repeats a
// value right after them, so that the replay stops there.
Square keep_rows(const Square& square, int rows)
{
    Square start = square;
    for (int n = 10 * rows; n < 100; ++n)
        start.cells[n] = 0;
    return start;
}

TEST(PrunedWalk, ReturnsExactlyThePassingSquaresOfThePlainWalkInOrder)
{
    std::mt19937 rng(20261209);
    for (int d = 0; d < diagonal_count; ++d) {
        std::vector<std::pair<std::string, Square>> starts = {{"the start of the space", Square{}}};
        for (int n = 0; n < 3; ++n) {
            const int rows = std::uniform_int_distribution<int>(1, 10)(rng);
            starts.push_back({"random rows 0-" + std::to_string(rows - 1),
                              keep_rows(symmetry_reference::random_square(d, rng), rows)});
        }
        // Seven rows of the greatest square: a slice that runs to the end of the space.
        starts.push_back({"the end of the space", keep_rows(reference::last_square(d), 7)});

        for (const auto& [name, start] : starts) {
            const PlainSlice plain = plain_walk(d, start, generated_per_slice);
            const std::vector<Square> pruned = pruned_walk(d, start, plain);
            ASSERT_EQ(pruned.size(), plain.passing.size()) << "diagonal index " << d << ", " << name;
            for (std::size_t i = 0; i < pruned.size(); ++i)
                ASSERT_EQ(compare_squares(pruned[i], plain.passing[i]), 0)
                    << "diagonal index " << d << ", " << name << ", passing square " << i;
        }
    }
}

TEST(PrunedWalk, EndsWithTheSpaceAndStaysEnded)
{
    // Index 35: every first row from this one on is dead, most of them decided
    // only by looking ahead at the rows the symmetry maps bring to row 0.
    const Square start = square_from_digits("0 8 9 6 2 3 5 4 7 1");
    const PlainSlice plain = plain_walk(35, start, generated_per_slice);
    EXPECT_TRUE(plain.passing.empty());
    prime_at(35, start);
    ASSERT_TRUE(prime_generator());
    EXPECT_FALSE(next_live_square());
    EXPECT_EQ(generator_state.position, -1);
    EXPECT_FALSE(next_live_square());
}

// Judging a whole square goes through every prefix of it and stops at the first
// that fails; a prefix that passes keeps every longer one passing.  So the
// verdict on all 80 positions fails exactly when some prefix fails, and a
// square with a prefix that passes never ends as failing.
void expect_verdict(int d, const Square& square, bool smallest)
{
    const std::array<std::uint32_t, 80> bits = one_hot(square);
    EXPECT_EQ(judge_prefix(bits.data(), 80, d) == PrefixVerdict::fails, !smallest)
        << "diagonal index " << d << (smallest ? ", a class minimum\n" : ", not a class minimum\n")
        << square_numbers(square);
}

TEST(PrefixJudgement, NeverRejectsAPrefixOfABruteForceClassMinimumNorPassesAPrefixOfAnotherMember)
{
    std::mt19937 rng(7);
    for (int d = 0; d < diagonal_count; ++d) {
        for (int n = 0; n < minima_per_space; ++n) {
            const std::vector<Square> members = symmetry_reference::class_members(symmetry_reference::random_square(d, rng), d);
            expect_verdict(d, members.front(), true);
            for (std::size_t m = 1; m < members.size(); m += 5)
                expect_verdict(d, members[m], false);
        }
    }
}

// Deep prefixes have few completions: every one of them must bear the verdict
// out, whichever cells of the prefix decided it.
TEST(PrefixJudgement, ADeepPrefixThatPassesOrFailsDoesSoForEveryCompletion)
{
    std::mt19937 rng(3);
    int settled = 0;
    for (int d = 0; d < diagonal_count; ++d) {
        generator_state.diagonal_index = d;
        std::vector<Square> squares;
        for (int n = 0; n < minima_per_space; ++n)
            squares.push_back(symmetry_reference::random_square(d, rng));
        for (const Square& q : squares) {
            const std::vector<Square> members = symmetry_reference::class_members(q, d);
            for (const Square& square : {members.front(), members.back()}) {
                const std::array<std::uint32_t, 80> bits = one_hot(square);
                for (int filled = 48; filled < 80; filled += 3) {
                    const PrefixVerdict verdict = judge_prefix(bits.data(), filled, d);
                    if (verdict == PrefixVerdict::undecided)
                        continue;
                    const std::vector<Square> completions = reference::completions(d, square, filled, 5000);
                    if (completions.size() == 5000)
                        continue;
                    ++settled;
                    generator_state.diagonal_index = d;
                    for (const Square& completion : completions)
                        ASSERT_EQ(is_canonical(one_hot(completion).data()), verdict == PrefixVerdict::passes)
                            << "diagonal index " << d << ", " << filled << " positions\n" << square_numbers(completion);
                }
            }
        }
    }
    EXPECT_GT(settled, 1000);
}

// A square that a symmetry maps onto itself keeps that image equal to it on
// every prefix, so the image is decided, if at all, by the values the cells
// after the prefix can still take.  Such squares that are the minimum of their
// class must survive every prefix, and so must every completion of a prefix
// that passes.
TEST(PrefixJudgement, KeepsEveryPrefixOfAClassMinimumThatASymmetryMapsOntoItself)
{
    std::mt19937 rng(5);
    for (const FixingSymmetry& c : fixing_symmetries()) {
        const bool reversed = c.reversed;
        const symmetry_reference::Permutation& p = c.p;
        int minima = 0;
        for (int attempt = 0; attempt < 300 && minima < fixed_minima_per_case; ++attempt) {
            const std::optional<Square> q = symmetry_reference::random_fixed_square(c.d, reversed, p, rng, 50);
            ASSERT_TRUE(q.has_value());
            if (compare_squares(symmetry_reference::class_members(*q, c.d).front(), *q) != 0)
                continue;
            ++minima;
            const std::array<std::uint32_t, 80> bits = one_hot(*q);
            for (int filled = 1; filled <= 80; ++filled)
                ASSERT_NE(judge_prefix(bits.data(), filled, c.d), PrefixVerdict::fails)
                    << "diagonal index " << c.d << ", " << filled << " positions\n" << square_numbers(*q);
        }
        EXPECT_GT(minima, 0) << "diagonal index " << c.d << ": no fixed square is the minimum of its class";
    }
}

TEST(PrefixJudgement, ReadsOnlyTheFilledPositions)
{
    std::mt19937 rng(11);
    for (int d : {0, 14, 35, 37, 49, 63}) {
        const std::array<std::uint32_t, 80> a = one_hot(symmetry_reference::random_square(d, rng));
        const std::array<std::uint32_t, 80> b = one_hot(symmetry_reference::random_square(d, rng));
        for (int filled = 1; filled < 80; ++filled) {
            std::array<std::uint32_t, 80> mixed = b;
            std::copy(a.begin(), a.begin() + filled, mixed.begin());
            EXPECT_EQ(judge_prefix(mixed.data(), filled, d), judge_prefix(a.data(), filled, d))
                << "diagonal index " << d << ", " << filled << " positions";
        }
    }
}

TEST(PrefixJudgement, APrefixThatRepeatsAValueHasNoCompletion)
{
    std::array<std::uint32_t, 80> bits{};
    bits[0] = 1u << 2; // cell (0, 1)
    bits[1] = 1u << 2; // cell (0, 2): 2 again in row 0
    EXPECT_EQ(judge_prefix(bits.data(), 2, 56), PrefixVerdict::fails);
    EXPECT_EQ(judge_prefix(bits.data(), 1, 56), PrefixVerdict::passes) << "index 56 has no symmetry to fail";
}

} // namespace
