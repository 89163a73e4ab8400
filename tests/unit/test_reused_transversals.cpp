// The listing that keeps the tables of the rows a square shares with the one
// before, against the dancing-links listing, which stays the reference for what
// a square's transversals are.  Each case is a sequence: what matters is that
// the answer for every square is right whatever came before it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <fstream>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "dlx/reused_transversals.h"
#include "dlx/transversals.h"
#include "reference/mate_reference.h"
#include "reference/symmetry_reference.h"
#include "passing_run.h"
#include "support.h"

namespace {

std::vector<Record> stored_set(std::int32_t count)
{
    return sorted(stored(count));
}

// Lists the square both ways and checks that the counts and the stored sets
// are the same; returns the count.
std::int32_t expect_same_as_dancing_links(const Square& square, const std::string& what)
{
    const std::int32_t reference_count = enumerate_diagonal_transversals(square);
    const std::vector<Record> reference_set = stored_set(reference_count);
    const std::int32_t count = enumerate_transversals_reusing_rows(square);
    EXPECT_EQ(count, reference_count) << what << "\n" << square_numbers(square);
    EXPECT_EQ(stored_set(count), reference_set) << what << "\n" << square_numbers(square);
    return count;
}

bool same_row(const Square& a, const Square& b, int r)
{
    return std::memcmp(a.cells + 10 * r, b.cells + 10 * r, 10) == 0;
}

// The first square row in which a and b differ, 10 when they are equal.
int first_different_row(const Square& a, const Square& b)
{
    int r = 0;
    while (r < 10 && same_row(a, b, r))
        ++r;
    return r;
}

#ifdef DLSMATE_SANITIZE_BUILD
constexpr int run_length = 150; // the dancing-links listing is slow under the sanitizers
constexpr int unrelated_per_space = 1;
constexpr int image_stride = 797;
constexpr int array_count = 40;
constexpr int shuffled_run_length = 60;
constexpr int row_five_steps = 40;
#else
constexpr int run_length = 2000;
constexpr int unrelated_per_space = 6;
constexpr int image_stride = 61;
constexpr int array_count = 400;
constexpr int shuffled_run_length = 600;
constexpr int row_five_steps = 400;
#endif

class ReusedTransversalsOnARun : public testing::TestWithParam<Run> {};

TEST_P(ReusedTransversalsOnARun, FindTheSameSetAsDancingLinksOnEveryConsecutivePassingSquare)
{
    const std::vector<Square> squares = passing_squares(GetParam(), run_length);
    ASSERT_EQ(squares.size(), std::size_t{run_length});

    forget_kept_rows();
    int keeping_rows_0_to_5 = 0;
    std::int64_t total = 0;
    for (std::size_t i = 0; i < squares.size(); ++i) {
        if (i > 0 && first_different_row(squares[i - 1], squares[i]) >= 6)
            ++keeping_rows_0_to_5;
        total += expect_same_as_dancing_links(squares[i], "square " + std::to_string(i) + " of the run");
        if (testing::Test::HasFailure())
            return;
    }
    // The run is the case this listing is for: most squares keep rows 0-5.
    EXPECT_GT(keeping_rows_0_to_5, run_length / 2);
    EXPECT_GT(total, std::int64_t{run_length} * 10);
}

TEST_P(ReusedTransversalsOnARun, FindTheSameSetWhenTheSquaresOfARowsZeroToFourStretchComeInAnyOrder)
{
    // Each stretch of squares that share rows 0-4 is played in a shuffled
    // order, so row 5 goes back to fillings met before and changes in any
    // number of cells, while the table of rows 0-5 keeps growing.
    std::vector<Square> squares = passing_squares(GetParam(), shuffled_run_length);
    ASSERT_EQ(squares.size(), std::size_t{shuffled_run_length});
    std::mt19937 random(GetParam().seed + 77);
    for (std::size_t begin = 0; begin < squares.size();) {
        std::size_t end = begin + 1;
        while (end < squares.size() && first_different_row(squares[begin], squares[end]) >= 5)
            ++end;
        std::shuffle(squares.begin() + static_cast<long>(begin), squares.begin() + static_cast<long>(end), random);
        begin = end;
    }

    forget_kept_rows();
    int row_5_back_to_an_earlier_filling = 0;
    std::vector<const Square*> stretch;
    for (std::size_t i = 0; i < squares.size(); ++i) {
        if (i == 0 || first_different_row(squares[i - 1], squares[i]) < 5)
            stretch.clear();
        else if (first_different_row(squares[i - 1], squares[i]) == 5)
            for (const Square* earlier : stretch)
                if (same_row(*earlier, squares[i], 5)) {
                    ++row_5_back_to_an_earlier_filling;
                    break;
                }
        stretch.push_back(&squares[i]);
        expect_same_as_dancing_links(squares[i], "square " + std::to_string(i) + " of the shuffled run");
        if (testing::Test::HasFailure())
            return;
    }
    EXPECT_GT(row_5_back_to_an_earlier_filling, 0);
}

INSTANTIATE_TEST_SUITE_P(StartsOfSpacesAndRandomRegions, ReusedTransversalsOnARun,
                         testing::Values(Run{0, 0, 0}, Run{12, 0, 0}, Run{35, 0, 0}, Run{56, 0, 0}, Run{66, 0, 0},
                                         Run{20, 20, 3}, Run{30, 16, 22}, Run{57, 20, 8}, Run{60, 20, 14},
                                         Run{63, 20, 9}),
                         [](const testing::TestParamInfo<Run>& info) {
                             const Run& run = info.param;
                             return "space" + std::to_string(run.diagonal_index) +
                                    (run.start_depth == 0 ? std::string("_from_zero")
                                                          : "_random_start" + std::to_string(run.seed));
                         });

TEST(ReusedTransversals, FindTheSameSetOnUnrelatedSquaresOneAfterAnother)
{
    // Squares from random points of every space, taken in turn from each space:
    // consecutive squares share no rows beyond row 0.
    std::vector<std::vector<Square>> by_space;
    for (int d = 0; d < diagonal_count; ++d)
        by_space.push_back(mate_reference::generated_squares(d, unrelated_per_space, 500u + d));
    forget_kept_rows();
    for (int i = 0; i < unrelated_per_space; ++i)
        for (int d = 0; d < diagonal_count; ++d)
            expect_same_as_dancing_links(by_space[d][i], "space " + std::to_string(d));
}

// Swaps the cells of row r in columns a and b.
Square with_cells_swapped(Square s, int r, int a, int b)
{
    std::swap(s.cells[10 * r + a], s.cells[10 * r + b]);
    return s;
}

Square with_cell(Square s, int r, int c, int value)
{
    s.cells[10 * r + c] = static_cast<std::uint8_t>(value);
    return s;
}

TEST(ReusedTransversals, HandMadeSequencesThatChangeChosenRows)
{
    const Square p = published_square();
    // Each variant swaps two cells off the diagonals in the rows named.
    const Square row9 = with_cells_swapped(p, 9, 1, 2);
    const Square rows6_8 = with_cells_swapped(with_cells_swapped(p, 6, 0, 1), 8, 2, 3);
    const Square row5 = with_cells_swapped(p, 5, 0, 1);
    const Square row5_other = with_cells_swapped(p, 5, 2, 3);
    const Square row5_and_9 = with_cells_swapped(row5, 9, 1, 2);
    const Square row4 = with_cells_swapped(p, 4, 0, 1);
    const Square row4_and_5 = with_cells_swapped(row4, 5, 0, 1);
    const Square row0 = with_cells_swapped(p, 0, 1, 2);
    // One cell changed: the row repeats a value.
    const Square last_of_row3 = with_cell(p, 3, 9, p.cells[38]);
    const Square last_of_row5 = with_cell(p, 5, 9, p.cells[50]);
    const Square first_of_row7 = with_cell(p, 7, 0, p.cells[79]);
    const Square last_of_row5_first_of_row7 = with_cell(last_of_row5, 7, 0, p.cells[79]);

    struct Step {
        const char* what;
        const Square& square;
        int first_changed; // the first row that differs from the step before
    };
    const std::vector<Step> steps = {
        {"the same square again", p, 10},
        {"row 9 changed", row9, 9},
        {"rows 6 and 8 changed", rows6_8, 6},
        {"back to the published square", p, 6},
        {"exactly row 5 changed", row5, 5},
        {"row 9 changed, rows 0-5 kept", row5_and_9, 9},
        {"another row 5", row5_other, 5},
        {"back to the first row 5", row5, 5},
        {"back to the published square", p, 5},
        {"exactly row 4 changed", row4, 4},
        {"row 5 changed under the new row 4", row4_and_5, 5},
        {"back to the published square", p, 4},
        {"exactly row 0 changed", row0, 0},
        {"back to the published square", p, 0},
        {"only the last cell of row 3 changed", last_of_row3, 3},
        {"back to the published square", p, 3},
        {"only the last cell of row 5 changed", last_of_row5, 5},
        {"only the first cell of row 7 changed as well", last_of_row5_first_of_row7, 7},
        {"back to the published square", p, 5},
        {"only the first cell of row 7 changed", first_of_row7, 7},
        {"back to the published square", p, 7},
        {"exactly row 4 changed again", row4, 4},
        {"rows 4 and 5 changed at once", row5, 4},
    };
    forget_kept_rows();
    expect_same_as_dancing_links(p, "the published square");
    const Square* before = &p;
    for (const Step& step : steps) {
        ASSERT_EQ(first_different_row(*before, step.square), step.first_changed) << step.what;
        expect_same_as_dancing_links(step.square, step.what);
        before = &step.square;
    }

    // A cold start after all that gives the same answer as going on.
    forget_kept_rows();
    expect_same_as_dancing_links(row5_and_9, "after forgetting the kept rows");
}

TEST(ReusedTransversals, FindTheSameSetWhileRowFiveMovesAmongAFewFillings)
{
    // Rows 0-4 of the published square stay for long stretches while row 5
    // takes one of a few fillings at each step: the published one, and ones
    // that differ from it in one cell (a value repeated in the row), in two or
    // three cells, or in all.  Rows 6-9 change now and then, rows 0-4 seldom.
    const Square p = published_square();
    std::mt19937 random(2718);
    std::vector<std::array<std::uint8_t, 10>> fillings;
    std::array<std::uint8_t, 10> row5;
    std::copy(p.cells + 50, p.cells + 60, row5.begin());
    fillings.push_back(row5);
    for (int changed : {1, 2, 3, 10}) {
        std::array<std::uint8_t, 10> f = row5;
        if (changed == 1) {
            f[random() % 10] = static_cast<std::uint8_t>(random() % 10);
        } else if (changed == 10) {
            std::reverse(f.begin(), f.end());
        } else {
            std::array<int, 10> order{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
            std::shuffle(order.begin(), order.end(), random);
            for (int k = 0; k < changed; ++k)
                f[order[k]] = row5[order[(k + 1) % changed]];
        }
        fillings.push_back(f);
    }

    Square square = p;
    forget_kept_rows();
    for (int step = 0; step < row_five_steps; ++step) {
        const auto& f = fillings[random() % fillings.size()];
        std::copy(f.begin(), f.end(), square.cells + 50);
        if (random() % 2 == 0)
            std::swap(square.cells[60 + 10 * (random() % 4) + random() % 10],
                      square.cells[60 + 10 * (random() % 4) + random() % 10]);
        if (random() % 40 == 0) {
            const int r = static_cast<int>(random() % 5);
            std::swap(square.cells[10 * r + random() % 10], square.cells[10 * r + random() % 10]);
        }
        expect_same_as_dancing_links(square, "step " + std::to_string(step));
        if (testing::Test::HasFailure())
            return;
    }
}

TEST(ReusedTransversals, ThePublishedSquareAndItsImagesHaveTheSameNumber)
{
    const Square p = published_square();
    forget_kept_rows();
    const std::int32_t count = expect_same_as_dancing_links(p, "the published square");
    ASSERT_GT(count, 10);

    const auto& permutations = symmetry_reference::diagonal_preserving_permutations();
    std::mt19937 random(4242);
    for (std::size_t i = 0; i < permutations.size(); i += image_stride) {
        for (bool reversed : {false, true}) {
            const Square image = symmetry_reference::class_member(p, reversed, permutations[i]);
            Square transposed;
            for (int n = 0; n < 100; ++n)
                transposed.cells[n] = image.cells[10 * (n % 10) + n / 10];
            std::array<std::uint8_t, 10> rename{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
            std::shuffle(rename.begin(), rename.end(), random);
            Square renamed;
            for (int n = 0; n < 100; ++n)
                renamed.cells[n] = rename[image.cells[n]];
            const std::string which = "permutation " + std::to_string(i) + (reversed ? ", rows reversed" : "");
            EXPECT_EQ(expect_same_as_dancing_links(image, which), count) << which;
            EXPECT_EQ(expect_same_as_dancing_links(transposed, which + ", transposed"), count) << which;
            EXPECT_EQ(expect_same_as_dancing_links(renamed, which + ", renamed"), count) << which;
        }
    }
}

TEST(ReusedTransversals, FindTheSameSetOnArraysThatAreNotLatinSquares)
{
    // Few distinct values per row make repeated values common.  Every other
    // array keeps the rows 0 .. k - 1 of the one before.
    std::mt19937 random(31337);
    Square array{};
    forget_kept_rows();
    for (int i = 0; i < array_count; ++i) {
        const int spread = 2 + i % 9;
        const int kept_rows = i % 2 == 1 ? 4 + static_cast<int>(random() % 7) : 0;
        for (int n = 10 * kept_rows; n < 100; ++n)
            array.cells[n] = static_cast<std::uint8_t>(random() % spread + (random() % 2) * (10 - spread));
        expect_same_as_dancing_links(array, "array " + std::to_string(i));
        if (testing::Test::HasFailure())
            return;
    }
}

TEST(ReusedTransversals, FindTheSameSetWhenOnlyRowsSixToNineChangeAndRepeatValues)
{
    // Rows 0-5 of the published square stay; each step refills one to four of
    // rows 6-9 from a few values, so a value sits in several columns of a
    // lower row and the diagonals' cells of rows 6-9 often share a value.
    const Square p = published_square();
    std::mt19937 random(1618);
    Square array = p;
    int with_transversals = 0;
    forget_kept_rows();
    for (int step = 0; step < array_count; ++step) {
        const int spread = 2 + step % 9;
        for (int r = 6 + static_cast<int>(random() % 4); r < 10; ++r)
            for (int c = 0; c < 10; ++c)
                array.cells[10 * r + c] = static_cast<std::uint8_t>(random() % spread + (random() % 2) * (10 - spread));
        if (expect_same_as_dancing_links(array, "step " + std::to_string(step)) > 0)
            ++with_transversals;
        if (testing::Test::HasFailure())
            return;
    }
    EXPECT_GT(with_transversals, array_count / 4);
}

TEST(ReusedTransversals, BeyondTheStoreTheyKeepCountingAndStoreOnlyTransversalsThatFit)
{
    // Every row 0 1 ... 9: not Latin, and far more than the store holds.
    Square rows{};
    for (int n = 0; n < 100; ++n)
        rows.cells[n] = static_cast<std::uint8_t>(n % 10);
    // The same with rows 6-9 turned 0 1 ... 9 into 9 8 ... 0 and back, so rows
    // 0-5 are kept from the first.
    Square bottom_reversed = rows;
    for (int n = 60; n < 100; ++n)
        bottom_reversed.cells[n] = static_cast<std::uint8_t>(9 - n % 10);

    forget_kept_rows();
    for (const Square& array : {rows, bottom_reversed, published_square(), rows}) {
        const std::vector<mate_reference::CellChoice> all = mate_reference::diagonal_transversals(array);
        for (Transversal& t : transversal_store)
            std::fill(t.columns, t.columns + 10, 0xEE);
        const std::int32_t count = enumerate_transversals_reusing_rows(array);
        ASSERT_EQ(count, static_cast<std::int64_t>(all.size())) << square_numbers(array);
        const std::vector<Record> records = stored_set(count);
        ASSERT_EQ(records.size(), std::min<std::size_t>(all.size(), max_transversals));
        EXPECT_EQ(std::adjacent_find(records.begin(), records.end()), records.end()) << "a record repeats";
        for (const Record& r : records)
            ASSERT_TRUE(std::binary_search(all.begin(), all.end(), r)) << "not a diagonal transversal";
    }
}

} // namespace
