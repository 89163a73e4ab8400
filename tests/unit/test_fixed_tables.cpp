// The 67 anti-diagonals of anti_diagonal_table against facts that do not come
// from the code: every filling of the anti-diagonal that fits the main diagonal
// 0..9 is listed by brute force (440192 of them, a published count), the class
// operations are applied to whole squares and followed by the renaming that
// restores the main diagonal, and the classes are counted by a plain closure.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <numeric>
#include <set>
#include <unordered_map>
#include <vector>

#include "generator/tables.h"

namespace {

using Filling = std::array<int, 10>;  // entry r: the value of cell (r, 9 - r)
using Cells = std::array<int, 100>;   // a square, row-major; -1 where nothing is known

// Only the diagonals matter to the operations; the other cells stay unknown.
Cells square_with(const Filling& anti)
{
    Cells s;
    s.fill(-1);
    for (int r = 0; r < 10; ++r) {
        s[10 * r + r] = r;
        s[10 * r + 9 - r] = anti[r];
    }
    return s;
}

// Renames the symbols so that the main diagonal reads 0..9, and returns the
// anti-diagonal then.
Filling anti_diagonal_after_renaming(const Cells& s)
{
    std::array<int, 10> rename;
    for (int r = 0; r < 10; ++r)
        rename[s[10 * r + r]] = r;
    Filling anti;
    for (int r = 0; r < 10; ++r)
        anti[r] = rename[s[10 * r + 9 - r]];
    return anti;
}

// The same permutation of rows and columns: cell (r, c) moves to (p[r], p[c]).
Filling permuted(const Filling& anti, const std::array<int, 10>& p)
{
    const Cells s = square_with(anti);
    Cells t;
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            t[10 * p[r] + p[c]] = s[10 * r + c];
    return anti_diagonal_after_renaming(t);
}

// Row r moves to row 9 - r; the two diagonals trade places.
Filling reversed(const Filling& anti)
{
    const Cells s = square_with(anti);
    Cells t;
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            t[10 * (9 - r) + c] = s[10 * r + c];
    return anti_diagonal_after_renaming(t);
}

// Cell (r, c) moves to (c, r).
Filling transposed(const Filling& anti)
{
    const Cells s = square_with(anti);
    Cells t;
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            t[10 * c + r] = s[10 * r + c];
    return anti_diagonal_after_renaming(t);
}

// A permutation keeps both diagonals exactly when it maps 9 - r to 9 - p(r);
// these three generate all 3840 of them: swap the pairs {0, 9} and {1, 8},
// rotate the five pairs, and turn pair {0, 9} over.
std::vector<std::array<int, 10>> diagonal_preserving_generators()
{
    return {{1, 0, 2, 3, 4, 5, 6, 7, 9, 8}, {1, 2, 3, 4, 0, 9, 5, 6, 7, 8}, {9, 1, 2, 3, 4, 5, 6, 7, 8, 0}};
}

bool fits_main_diagonal(const Filling& a)
{
    std::array<bool, 10> seen{};
    for (int r = 0; r < 10; ++r) {
        if (a[r] < 0 || a[r] > 9 || seen[a[r]] || a[r] == r || a[r] == 9 - r)
            return false;
        seen[a[r]] = true;
    }
    return true;
}

std::uint64_t key_of(const Filling& a)
{
    std::uint64_t key = 0;
    for (int v : a)
        key = key * 10 + static_cast<std::uint64_t>(v);
    return key;
}

// Every filling of the anti-diagonal that fits the main diagonal 0..9: each
// value once, and cell (r, 9 - r) repeating neither its row's r nor its column's 9 - r.
const std::vector<Filling>& all_fillings()
{
    static const std::vector<Filling> fillings = [] {
        std::vector<Filling> out;
        Filling p;
        std::iota(p.begin(), p.end(), 0);
        do {
            if (fits_main_diagonal(p))
                out.push_back(p);
        } while (std::next_permutation(p.begin(), p.end()));
        return out;
    }();
    return fillings;
}

using Operation = std::function<Filling(const Filling&)>;

// The class of every filling under the operations: a class number per filling.
struct Classes {
    std::unordered_map<std::uint64_t, int> of;
    int count = 0;
};

Classes classes_under(const std::vector<Operation>& operations)
{
    Classes classes;
    classes.of.reserve(all_fillings().size() * 2);
    for (const Filling& f : all_fillings()) {
        if (classes.of.count(key_of(f)) != 0)
            continue;
        const int number = classes.count++;
        std::vector<Filling> open = {f};
        classes.of[key_of(f)] = number;
        while (!open.empty()) {
            const Filling x = open.back();
            open.pop_back();
            for (const Operation& operation : operations) {
                const Filling y = operation(x);
                if (classes.of.emplace(key_of(y), number).second)
                    open.push_back(y);
            }
        }
    }
    return classes;
}

std::vector<Operation> permutations_only()
{
    std::vector<Operation> operations;
    for (const auto& p : diagonal_preserving_generators())
        operations.push_back([p](const Filling& a) { return permuted(a, p); });
    return operations;
}

Filling table_row(int i)
{
    Filling a;
    std::copy(anti_diagonal_table[i], anti_diagonal_table[i] + 10, a.begin());
    return a;
}

TEST(FixedTables, TheGeneratorsGiveAllDiagonalPreservingPermutations)
{
    // The closure of the three generators under composition.
    std::vector<std::array<int, 10>> group = {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}};
    std::set<std::array<int, 10>> seen(group.begin(), group.end());
    for (std::size_t i = 0; i < group.size(); ++i)
        for (const auto& g : diagonal_preserving_generators()) {
            std::array<int, 10> h;
            for (int r = 0; r < 10; ++r)
                h[r] = g[group[i][r]];
            if (seen.insert(h).second)
                group.push_back(h);
        }
    EXPECT_EQ(group.size(), 3840u);  // 5! orders of the five pairs, 2^5 ways to turn them
    for (const auto& p : group)
        for (int r = 0; r < 10; ++r)
            ASSERT_EQ(p[9 - r], 9 - p[r]);
}

TEST(FixedTables, The440192FillingsOfTheAntiDiagonalFitTheMainDiagonal)
{
    EXPECT_EQ(all_fillings().size(), 440192u);
}

TEST(FixedTables, EveryRowOfTheTableFitsTheMainDiagonal)
{
    for (int i = 0; i < diagonal_count; ++i)
        EXPECT_TRUE(fits_main_diagonal(table_row(i))) << "row " << i;
}

TEST(FixedTables, TheOperationsMapFittingFillingsToFittingFillings)
{
    const std::vector<Operation> operations = permutations_only();
    for (std::size_t i = 0; i < all_fillings().size(); i += 997) {
        const Filling& f = all_fillings()[i];
        for (const Operation& operation : operations)
            ASSERT_TRUE(fits_main_diagonal(operation(f)));
        ASSERT_TRUE(fits_main_diagonal(reversed(f)));
        ASSERT_TRUE(fits_main_diagonal(transposed(f)));
        ASSERT_EQ(reversed(reversed(f)), f);
        ASSERT_EQ(transposed(transposed(f)), f);
    }
}

TEST(FixedTables, PermutationsAloneMake156Classes)
{
    EXPECT_EQ(classes_under(permutations_only()).count, 156);
}

TEST(FixedTables, WithReversalThereAre134Classes)
{
    std::vector<Operation> operations = permutations_only();
    operations.push_back(reversed);
    EXPECT_EQ(classes_under(operations).count, 134);
}

TEST(FixedTables, WithTranspositionTooThe67RowsAreOneOfEachClass)
{
    std::vector<Operation> operations = permutations_only();
    operations.push_back(reversed);
    operations.push_back(transposed);
    const Classes classes = classes_under(operations);
    EXPECT_EQ(classes.count, diagonal_count);
    // No two rows are equivalent, so the 67 rows name 67 classes: all of them,
    // which together hold every one of the 440192 fillings.
    std::vector<int> named;
    for (int i = 0; i < diagonal_count; ++i) {
        const auto found = classes.of.find(key_of(table_row(i)));
        ASSERT_NE(found, classes.of.end()) << "row " << i;
        named.push_back(found->second);
    }
    std::sort(named.begin(), named.end());
    EXPECT_EQ(std::unique(named.begin(), named.end()), named.end()) << "two rows are equivalent";
    EXPECT_EQ(named.size(), static_cast<std::size_t>(classes.count));
    EXPECT_EQ(classes.of.size(), all_fillings().size());
}

} // namespace
