// A long sweep over the worker's fast paths: 105,000 passing squares from the
// live and mixed work units of bench/units, each listed by the listing that
// keeps tables between squares and compared with the dancing-links listing
// (in the worker's order, and for some units with the squares of each rows
// 0-4 stretch shuffled), and their prefixes judged by the look-ahead and by
// the one first built.  Too long for the module tests: a label of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dlx/reused_transversals.h"
#include "dlx/transversals.h"
#include "lookahead_comparison.h"
#include "passing_run.h"
#include "support.h"

namespace {

#ifdef DLSMATE_SANITIZE_BUILD
constexpr int squares_per_unit = 1000;
#else
constexpr int squares_per_unit = 15000;
#endif

int first_different_row(const Square& a, const Square& b)
{
    int r = 0;
    while (r < 10 && std::memcmp(a.cells + 10 * r, b.cells + 10 * r, 10) == 0)
        ++r;
    return r;
}

struct SweepCase {
    const char* unit;
    bool shuffled;
};

void PrintTo(const SweepCase& c, std::ostream* out)
{
    *out << c.unit << (c.shuffled ? ", stretches shuffled" : "");
}

class Sweep : public testing::TestWithParam<SweepCase> {};

TEST_P(Sweep, ListingFindsTheSetOfDancingLinksAndLookaheadGivesTheFirstVerdictsOnEverySquare)
{
    int diagonal_index = -1;
    std::vector<Square> squares = passing_squares_of_unit(GetParam().unit, squares_per_unit, diagonal_index);
    ASSERT_EQ(squares.size(), std::size_t{squares_per_unit});

    const LookaheadComparison verdicts = compare_lookaheads(squares, diagonal_index, 2, 99);
    EXPECT_EQ(verdicts.different, 0) << "of " << verdicts.asked;

    if (GetParam().shuffled) {
        std::mt19937 random(7);
        for (std::size_t begin = 0; begin < squares.size();) {
            std::size_t end = begin + 1;
            while (end < squares.size() && first_different_row(squares[begin], squares[end]) >= 5)
                ++end;
            std::shuffle(squares.begin() + static_cast<long>(begin), squares.begin() + static_cast<long>(end),
                         random);
            begin = end;
        }
    }
    int changed_at[11] = {};
    forget_kept_rows();
    for (std::size_t i = 0; i < squares.size(); ++i) {
        const Square& square = squares[i];
        if (i > 0)
            ++changed_at[first_different_row(squares[i - 1], square)];
        const std::int32_t reference_count = enumerate_diagonal_transversals(square);
        const std::vector<Record> reference = sorted(stored(reference_count));
        const std::int32_t count = enumerate_transversals_reusing_rows(square);
        ASSERT_EQ(count, reference_count) << "square " << i << "\n" << square_numbers(square);
        ASSERT_EQ(sorted(stored(count)), reference) << "square " << i << "\n" << square_numbers(square);
    }
    // Every kind of change between consecutive squares occurred: rows 0-4,
    // exactly row 5 (the table grows or finds its cells seen), rows 6-9 only.
    int rows_0_to_4 = 0;
    for (int r = 0; r < 5; ++r)
        rows_0_to_4 += changed_at[r];
    const int rows_6_to_9 = changed_at[6] + changed_at[7] + changed_at[8] + changed_at[9];
    EXPECT_GT(rows_0_to_4, 0);
    EXPECT_GT(changed_at[5], 0);
    EXPECT_GT(rows_6_to_9, 0);
}

INSTANTIATE_TEST_SUITE_P(BenchUnits, Sweep,
                         testing::Values(SweepCase{"live-01-start", false}, SweepCase{"live-36-start", true},
                                         SweepCase{"live-57-start", false}, SweepCase{"live-57-random", true},
                                         SweepCase{"mixed-01-random", false}, SweepCase{"mixed-36-random-a", true},
                                         SweepCase{"mixed-36-random-b", false}),
                         [](const testing::TestParamInfo<SweepCase>& info) {
                             std::string name = info.param.unit;
                             for (char& ch : name)
                                 if (ch == '-')
                                     ch = '_';
                             return name + (info.param.shuffled ? "_shuffled" : "");
                         });

} // namespace
