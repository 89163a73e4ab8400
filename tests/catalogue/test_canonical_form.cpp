// The geometric group, normalization and canonical forms against the
// independent methods of brute_force.h.

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "brute_force.h"
#include "catalogue/canonical_form.h"
#include "catalogue/square_text.h"

namespace {

LatinSquare square_of(const std::string& text)
{
    std::vector<ListedSquare> squares;
    std::string error;
    EXPECT_TRUE(read_square_list("test", text, squares, error)) << error;
    return squares.at(0).square;
}

// The issue's square whose class reaches the whole group, and the published
// square that is orthogonal to its transpose.
const char* const full_class_square =
    "0123456789 1204539867 3561874092 9478321605 2730985146 6859247310 4697013258 7046198523 8315602974 5982760431";
const char* const self_orthogonal_square =
    "0123456789 5209781463 9571864302 7864925130 8950342671 3695217048 4317608295 6782530914 2046193857 1438079526";

bool is_normalized(const LatinSquare& square)
{
    for (int c = 0; c < square.order; ++c)
        if (square.cells[c] != c)
            return false;
    return true;
}

TEST(GeometricGroup, HasTwoToTheMTimesMFactorialTimesFourDistinctMapsThatAreTheGroupWrittenOut)
{
    const std::vector<std::pair<int, std::size_t>> orders = {{4, 32}, {5, 32}, {7, 192}, {8, 1536}, {10, 15360}};
    for (const auto& [n, expected] : orders) {
        const std::vector<CellMap>& group = geometric_group(n);
        std::set<std::vector<int>> maps;
        for (const CellMap& map : group)
            maps.insert(std::vector<int>(map.begin(), map.begin() + n * n));
        EXPECT_EQ(group.size(), expected) << "order " << n;
        EXPECT_EQ(maps.size(), expected) << "order " << n << ": maps repeated";
        const std::vector<std::vector<int>> written_out = group_maps_brute_force(n);
        EXPECT_EQ(maps, std::set<std::vector<int>>(written_out.begin(), written_out.end())) << "order " << n;
    }
}

TEST(GeometricGroup, EveryMapKeepsADiagonalLatinSquareDiagonalLatin)
{
    std::mt19937 random(7);
    for (int n : {4, 5, 7, 8, 9, 10}) {
        for (int k = 0; k < 3; ++k) {
            const LatinSquare square = random_dls(n, random);
            ASSERT_TRUE(is_diagonal_latin(square));
            for (const CellMap& map : geometric_group(n))
                ASSERT_TRUE(is_diagonal_latin(apply_map(map, square))) << "order " << n;
        }
    }
}

TEST(CanonicalForm, TheIssuesSquareHasAClassOfTheWholeGroup)
{
    const CanonicalForm cf = canonical_form(square_of(full_class_square));
    EXPECT_EQ(cf.class_size, 15360u);
    EXPECT_EQ(cf.stabilizer, 1u);
    std::size_t distinct = 0;
    EXPECT_EQ(cf.form, smallest_image_brute_force(square_of(full_class_square), distinct));
    EXPECT_EQ(distinct, 15360u);
}

TEST(CanonicalForm, IsTheSmallestNormalizedImageAndTheClassSizeCountsTheImages)
{
    std::mt19937 random(11);
    for (int n : {1, 4, 5, 6, 7, 8, 9, 10}) {
        for (int k = 0; k < (n >= 9 ? 4 : 10); ++k) {
            const LatinSquare square = random_dls(n, random);
            const CanonicalForm cf = canonical_form(square);
            std::size_t distinct = 0;
            const LatinSquare smallest = smallest_image_brute_force(square, distinct);
            ASSERT_EQ(square_text(cf.form), square_text(smallest)) << "order " << n << "\n" << square_text(square);
            EXPECT_EQ(cf.class_size, distinct) << "order " << n;
            EXPECT_EQ(std::size_t{cf.class_size} * cf.stabilizer, geometric_group(n).size());
            EXPECT_TRUE(is_normalized(cf.form));
            EXPECT_TRUE(is_diagonal_latin(cf.form));
        }
    }
}

TEST(CanonicalForm, IsTheSameForEveryImageOfASquare)
{
    std::mt19937 random(5);
    // The sample's square with a mate (tests/data/sample-square.txt) beside them.
    std::vector<LatinSquare> squares = {
        square_of(full_class_square), square_of(self_orthogonal_square),
        square_of("0657348291 4109673528 8425139067 5863924170 7982461305 9241750836 2078516943 6394805712 "
                  "1530297684 3716082459")};
    for (int n : {5, 7, 8, 9, 10})
        for (int k = 0; k < (n == 10 ? 30 : 5); ++k)
            squares.push_back(random_dls(n, random));
    // A square of a small class: symmetric images repeat.
    squares.push_back(square_of("0123456 2315640 5640123 4062315 6201534 1534062 3456201"));
    for (const LatinSquare& square : squares) {
        const CanonicalForm cf = canonical_form(square);
        for (int k = 0; k < 20; ++k) {
            const CanonicalForm image = canonical_form(random_image(square, random));
            ASSERT_EQ(square_text(image.form), square_text(cf.form)) << square_text(square);
            ASSERT_EQ(image.class_size, cf.class_size);
        }
    }
}

TEST(CanonicalForm, NormalizingRenamesTheSymbolsSoThatTheFirstRowCounts)
{
    const LatinSquare square = square_of("3210 1032 0123 2301");
    EXPECT_EQ(square_text(normalized(square)), "0 1 2 3\n2 3 0 1\n3 2 1 0\n1 0 3 2\n");
}

} // namespace
