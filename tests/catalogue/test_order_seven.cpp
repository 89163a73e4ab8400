// Order 7 in full: every normalized diagonal Latin square from an independent
// generator, their main classes by CF, their mates by brute force, and the
// largest set of mutually orthogonal squares; figures from OEIS A274171,
// A287764, A305570, A330391, A287695, A328873.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "brute_force.h"
#include "catalogue/canonical_form.h"
#include "catalogue/class_statistics.h"
#include "catalogue/square_text.h"

namespace {

// The largest clique of a graph given as adjacency rows, by plain branching.
void grow_clique(const std::vector<std::vector<bool>>& adjacent, std::vector<int>& clique,
                 const std::vector<int>& candidates, std::size_t& best)
{
    best = std::max(best, clique.size());
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (clique.size() + candidates.size() - i <= best)
            return;
        std::vector<int> next;
        for (std::size_t j = i + 1; j < candidates.size(); ++j)
            if (adjacent[candidates[i]][candidates[j]])
                next.push_back(candidates[j]);
        clique.push_back(candidates[i]);
        grow_clique(adjacent, clique, next, best);
        clique.pop_back();
    }
}

TEST(OrderSeven, ClassesMatesTrianglesAndTheLargestOrthogonalSetAgreeWithThePublishedCounts)
{
    std::size_t squares = 0;
    std::set<LatinSquare> classes;
    std::vector<LatinSquare> with_mate;
    std::vector<std::vector<LatinSquare>> mates_of;
    std::set<LatinSquare> classes_with_mate;
    std::size_t most_mates = 0;
    for_each_normalized_dls(7, [&](const LatinSquare& square) {
        ++squares;
        const CanonicalForm cf = canonical_form(square);
        classes.insert(cf.form);
        std::size_t transversals = 0;
        std::vector<LatinSquare> mates = mates_brute_force(square, transversals);
        if (!mates.empty()) {
            with_mate.push_back(square);
            mates_of.push_back(mates);
            classes_with_mate.insert(cf.form);
            most_mates = std::max(most_mates, mates.size());
        }
    });
    EXPECT_EQ(squares, 171200u);
    EXPECT_EQ(classes.size(), 972u);
    EXPECT_EQ(with_mate.size(), 256u);
    EXPECT_EQ(classes_with_mate.size(), 5u);
    EXPECT_EQ(most_mates, 3u);

    // The square: exactly 3 mates, and its CF's class is among those with a mate.
    std::vector<ListedSquare> listed;
    std::string error;
    ASSERT_TRUE(read_square_list("issue", "0123456 2315640 5640123 4062315 6201534 1534062 3456201", listed, error));
    const auto at = std::find(with_mate.begin(), with_mate.end(), listed[0].square);
    ASSERT_NE(at, with_mate.end());
    EXPECT_EQ(mates_of[at - with_mate.begin()].size(), 3u);

    // The orthogonality graph over the 256: every mate is itself one of them.
    const std::size_t count = with_mate.size();
    std::vector<std::vector<bool>> adjacent(count, std::vector<bool>(count, false));
    for (std::size_t i = 0; i < count; ++i) {
        for (const LatinSquare& mate : mates_of[i]) {
            const auto j = std::find(with_mate.begin(), with_mate.end(), mate);
            ASSERT_NE(j, with_mate.end());
            adjacent[i][j - with_mate.begin()] = true;
        }
    }
    for (std::size_t i = 0; i < count; ++i)
        for (std::size_t j = 0; j < count; ++j)
            ASSERT_EQ(adjacent[i][j], adjacent[j][i]);
    std::vector<int> all(count);
    for (std::size_t i = 0; i < count; ++i)
        all[i] = static_cast<int>(i);
    std::vector<int> clique;
    std::size_t largest = 0;
    grow_clique(adjacent, clique, all, largest);
    EXPECT_EQ(largest, 4u);

    // The catalogue's triangle search on each square's mates finds exactly the
    // pairs of its neighbours that are adjacent.
    std::size_t triangles = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::set<std::pair<int, int>> expected;
        for (std::size_t a = 0; a < mates_of[i].size(); ++a)
            for (std::size_t b = a + 1; b < mates_of[i].size(); ++b) {
                const auto ia = std::find(with_mate.begin(), with_mate.end(), mates_of[i][a]) - with_mate.begin();
                const auto ib = std::find(with_mate.begin(), with_mate.end(), mates_of[i][b]) - with_mate.begin();
                if (adjacent[ia][ib])
                    expected.emplace(static_cast<int>(a), static_cast<int>(b));
            }
        std::set<std::pair<int, int>> found;
        for (const Triangle& t : find_triangles(mates_of[i]))
            found.emplace(t.first, t.second);
        EXPECT_EQ(found, expected);
        triangles += found.size();
    }
    // Each triangle is seen from each of its three corners.
    ASSERT_EQ(triangles % 3, 0u);
    EXPECT_GT(triangles, 0u);
    std::printf("order 7: %zu triangles (three mutually orthogonal diagonal Latin squares) among the 256 squares "
                "with a mate; largest mutually orthogonal set: %zu\n",
                triangles / 3, largest);
}

} // namespace
