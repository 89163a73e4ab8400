// The fast listing of diagonal transversals against the dancing-links listing,
// which stays the reference for what a square's transversals are.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "reference/half_transversals.h"
#include "dlx/mate.h"
#include "dlx/transversals.h"
#include "generator/tables.h"
#include "reference/mate_reference.h"
#include "support.h"

namespace {

#ifdef DLSMATE_SANITIZE_BUILD
constexpr int squares_per_space = 15; // the dancing-links listing is slow under the sanitizers
#else
constexpr int squares_per_space = 150;
#endif

TEST(TransversalsByHalves, FindTheSameSetAsDancingLinksOnSquaresOfEverySpace)
{
    std::vector<Square> squares{published_square()};
    for (int d = 0; d < diagonal_count; ++d) {
        const auto from_space = mate_reference::generated_squares(d, squares_per_space, 1000u + d);
        squares.insert(squares.end(), from_space.begin(), from_space.end());
    }
    ASSERT_GE(squares.size(), std::size_t{67} * squares_per_space);

    std::size_t total = 0;
    for (const Square& square : squares) {
        const std::int32_t reference_count = enumerate_diagonal_transversals(square);
        const auto reference_set = sorted(stored(reference_count));
        const std::int32_t count = enumerate_transversals_by_halves(square);
        ASSERT_EQ(count, reference_count) << square_numbers(square);
        const auto records = stored(count);
        const auto set = sorted(records);
        ASSERT_EQ(set, reference_set) << square_numbers(square);
        ASSERT_EQ(std::adjacent_find(set.begin(), set.end()), set.end()) << "a record repeats";
        total += static_cast<std::size_t>(count);
    }
    EXPECT_GT(total, squares.size()); // the squares are not trivial
}

TEST(TransversalsByHalves, FindTheSameSetOnArraysWhoseRowsRepeatValues)
{
    std::mt19937 random(31337);
    for (int i = 0; i < 300; ++i) {
        Square array;
        // Few distinct values per row make repeated values common.
        const int spread = 2 + i % 9;
        for (auto& cell : array.cells)
            cell = static_cast<std::uint8_t>(random() % spread + (random() % 2) * (10 - spread));
        const std::int32_t reference_count = enumerate_diagonal_transversals(array);
        const auto reference_set = sorted(stored(reference_count));
        ASSERT_EQ(enumerate_transversals_by_halves(array), reference_count) << square_numbers(array);
        ASSERT_EQ(sorted(stored(reference_count)), reference_set) << square_numbers(array);
    }
}

TEST(TransversalsByHalves, BeyondTheStoreTheyKeepCountingAndStoreOnlyWhatFits)
{
    // Every row 0 1 ... 9: not Latin, and far more than the store holds.
    Square rows{};
    for (int n = 0; n < 100; ++n)
        rows.cells[n] = static_cast<std::uint8_t>(n % 10);
    const std::int64_t expected = mate_reference::count_diagonal_transversals(rows);
    ASSERT_GT(expected, max_transversals);

    // Fill the store with a marker first: every slot must be rewritten.
    for (Transversal& t : transversal_store)
        std::fill(t.columns, t.columns + 10, 0xEE);
    EXPECT_EQ(enumerate_transversals_by_halves(rows), expected);
    std::vector<Record> records = sorted(stored(max_transversals));
    EXPECT_EQ(std::adjacent_find(records.begin(), records.end()), records.end());
    for (const Record& r : records) {
        Record columns = r;
        std::sort(columns.begin(), columns.end());
        ASSERT_EQ(columns, (Record{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
        int main_cells = 0, anti_cells = 0;
        for (int i = 0; i < 10; ++i) {
            main_cells += r[i] == i;
            anti_cells += r[i] == 9 - i;
        }
        ASSERT_EQ(main_cells, 1);
        ASSERT_EQ(anti_cells, 1);
    }
}

TEST(TransversalsByHalves, TheMateAnswerIsTheSameAsOverTheDancingLinksListing)
{
    for (int d : {0, 5, 14, 35, 37, 50, 56, 64, 66}) {
        for (const Square& square : mate_reference::generated_squares(d, squares_per_space / 3, 77u + d)) {
            const std::int32_t count = enumerate_diagonal_transversals(square);
            bool expected = false;
            if (count >= 10) {
                build_mate_matrix(count);
                expected = find_mate_cover();
            }
            ASSERT_EQ(has_orthogonal_mate(square), expected) << square_numbers(square);
        }
    }
    EXPECT_TRUE(has_orthogonal_mate(published_square()));
}

} // namespace
