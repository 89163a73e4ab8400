// Per-class statistics of order-10 squares against brute force: transversals,
// every mate, the mates' CFs.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "brute_force.h"
#include "catalogue/class_statistics.h"
#include "catalogue/square_text.h"
#include "tools/lib/workunit_file.h"

namespace {

LatinSquare square_from(const std::string& path)
{
    std::string bytes;
    std::string error;
    EXPECT_TRUE(read_whole_file(path, bytes, error)) << error;
    std::vector<ListedSquare> squares;
    EXPECT_TRUE(read_square_list(path, bytes, squares, error)) << error;
    return squares.at(0).square;
}

LatinSquare transposed(const LatinSquare& square)
{
    LatinSquare t = square;
    for (int r = 0; r < square.order; ++r)
        for (int c = 0; c < square.order; ++c)
            t.cells[square.order * r + c] = square.cells[square.order * c + r];
    return t;
}

TEST(ClassStatistics, ThePublishedSquareAndTheSamplesSquareHaveTheMatesAndTransversalsOfBruteForce)
{
    std::mt19937 random(3);
    for (const char* name : {"self-orthogonal-10.txt", "sample-square.txt"}) {
        const LatinSquare square = square_from(std::string(DLSMATE_TESTDATA_DIR) + "/" + name);
        const ClassStatistics statistics = class_statistics(to_square(square));
        std::size_t transversals = 0;
        const std::vector<LatinSquare> mates = mates_brute_force(square, transversals);
        EXPECT_FALSE(statistics.too_many_transversals);
        EXPECT_EQ(statistics.transversals, static_cast<std::int32_t>(transversals)) << name;
        ASSERT_EQ(statistics.mates, mates) << name;
        ASSERT_FALSE(mates.empty());
        for (std::size_t i = 0; i < mates.size(); ++i) {
            std::size_t distinct = 0;
            EXPECT_EQ(statistics.mate_forms[i], smallest_image_brute_force(mates[i], distinct)) << name;
            // Each mate's CF does not depend on how the mate is written.
            for (int k = 0; k < 5; ++k)
                EXPECT_EQ(canonical_form(random_image(mates[i], random)).form, statistics.mate_forms[i]);
        }
        EXPECT_TRUE(statistics.triangles.empty()) << name;
        // Statistics of an image of the square: the same class, transversals and number of mates.
        const ClassStatistics image = class_statistics(to_square(random_image(square, random)));
        EXPECT_EQ(image.form.form, statistics.form.form);
        EXPECT_EQ(image.transversals, statistics.transversals);
        EXPECT_EQ(image.mates.size(), statistics.mates.size());
    }
}

TEST(ClassStatistics, ASquareOrthogonalToItsTransposeHasItsTransposeAmongItsMatesInItsOwnClass)
{
    const LatinSquare square = square_from(std::string(DLSMATE_TESTDATA_DIR) + "/self-orthogonal-10.txt");
    const ClassStatistics statistics = class_statistics(to_square(square));
    const LatinSquare transpose = normalized(transposed(square));
    bool found = false;
    for (std::size_t i = 0; i < statistics.mates.size(); ++i) {
        if (statistics.mates[i] == transpose) {
            found = true;
            EXPECT_EQ(statistics.mate_forms[i], statistics.form.form);
        }
    }
    EXPECT_TRUE(found);
}

TEST(ClassStatistics, TrianglesArePairsOfMutuallyOrthogonalMates)
{
    // The cyclic squares (k i + j) mod 5 are mutually orthogonal for k = 1, 2, 3;
    // a square is not orthogonal to itself.
    const auto cyclic = [](int k) {
        LatinSquare square;
        square.order = 5;
        for (int i = 0; i < 5; ++i)
            for (int j = 0; j < 5; ++j)
                square.cells[5 * i + j] = static_cast<std::uint8_t>((k * i + j) % 5);
        return square;
    };
    const std::vector<LatinSquare> mates = {cyclic(1), cyclic(2), cyclic(3), cyclic(2)};
    std::vector<std::pair<int, int>> pairs;
    for (const Triangle& t : find_triangles(mates))
        pairs.emplace_back(t.first, t.second);
    EXPECT_EQ(pairs, (std::vector<std::pair<int, int>>{{0, 1}, {0, 2}, {0, 3}, {1, 2}, {2, 3}}));
}

} // namespace
