// The look-ahead that fills the most constrained column of a source row first
// against the one that filled the columns from left to right, kept in the test
// references: the same verdict on every input, prefixes of real squares from
// live and mixed regions and variations of them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lookahead_comparison.h"
#include "passing_run.h"

namespace {

#ifdef DLSMATE_SANITIZE_BUILD
constexpr int squares_per_unit = 40;
#else
constexpr int squares_per_unit = 400;
#endif

class LookaheadOnAUnit : public testing::TestWithParam<const char*> {};

TEST_P(LookaheadOnAUnit, GivesTheVerdictOfTheColumnByColumnLookahead)
{
    int diagonal_index = -1;
    const std::vector<Square> squares = passing_squares_of_unit(GetParam(), squares_per_unit, diagonal_index);
    ASSERT_EQ(squares.size(), std::size_t{squares_per_unit});
    const LookaheadComparison result = compare_lookaheads(squares, diagonal_index, 6, 1234);
    EXPECT_EQ(result.different, 0) << "of " << result.asked;
    // Both verdicts occur often enough for the comparison to mean something.
    EXPECT_GT(result.failing, result.asked / 50) << "of " << result.asked;
    EXPECT_LT(result.failing, result.asked - result.asked / 50) << "of " << result.asked;
}

// Live and mixed regions of the two spaces with the most symmetries to follow.
INSTANTIATE_TEST_SUITE_P(BenchUnits, LookaheadOnAUnit,
                         testing::Values("live-01-start", "live-36-start", "mixed-01-random", "mixed-36-random-a",
                                         "mixed-36-random-b"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             for (char& ch : name)
                                 if (ch == '-')
                                     ch = '_';
                             return name;
                         });

} // namespace
