// Diagonal transversal enumeration and the orthogonal-mate search against slow,
// plain methods, on generated squares, on an orthogonal pair and its images, and
// at the edges of the gate on the number of transversals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "dlx/core.h"
#include "dlx/mate.h"
#include "dlx/transversals.h"
#include "reference/mate_reference.h"

using mate_reference::CellChoice;

namespace {

Square square_from_rows(const std::vector<std::string>& rows)
{
    Square s{};
    int n = 0;
    for (const auto& row : rows)
        for (char ch : row)
            if (ch >= '0' && ch <= '9')
                s.cells[n++] = static_cast<std::uint8_t>(ch - '0');
    EXPECT_EQ(n, 100);
    return s;
}

Square self_orthogonal_square()
{
    std::ifstream in(DLSMATE_TESTDATA_DIR "/self-orthogonal-10.txt");
    std::vector<std::string> rows;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#')
            rows.push_back(line);
    return square_from_rows(rows);
}

// Every row reads 0 1 ... 9: any permutation with distinct columns has distinct
// values, so the diagonal transversals are the permutations with exactly one
// point r -> r and exactly one point r -> 9 - r.
Square rows_all_identity()
{
    Square s;
    for (int n = 0; n < 100; ++n)
        s.cells[n] = static_cast<std::uint8_t>(n % 10);
    return s;
}

// (r + c) mod 10: a Latin square of even order built on a cyclic group has no
// transversal at all.
Square cyclic_square()
{
    Square s;
    for (int n = 0; n < 100; ++n)
        s.cells[n] = static_cast<std::uint8_t>((n / 10 + n % 10) % 10);
    return s;
}

std::vector<Square> sample_squares(int per_space, std::uint32_t seed)
{
    std::vector<Square> all;
    for (int d : {0, 12, 36, 55, 56, 66}) {
        const auto some = mate_reference::generated_squares(d, per_space, seed + d);
        all.insert(all.end(), some.begin(), some.end());
    }
    return all;
}

std::vector<CellChoice> stored_records(std::int32_t count)
{
    std::vector<CellChoice> out(count);
    for (std::int32_t i = 0; i < count; ++i)
        std::copy_n(transversal_store[i].columns, 10, out[i].begin());
    return out;
}

// One cell per row and column, one on each diagonal, ten different values.
bool is_diagonal_transversal(const Square& s, const CellChoice& t)
{
    unsigned columns = 0, values = 0;
    int main_cells = 0, anti_cells = 0;
    for (int r = 0; r < 10; ++r) {
        if (t[r] > 9)
            return false;
        columns |= 1u << t[r];
        values |= 1u << s.cells[10 * r + t[r]];
        main_cells += t[r] == r;
        anti_cells += t[r] == 9 - r;
    }
    return columns == 0x3FF && values == 0x3FF && main_cells == 1 && anti_cells == 1;
}

// After find_mate_cover answered true: the ten matrix rows on the stack, read as
// transversal numbers, give a mate.  Value k goes to the cells of the row chosen
// at level k; the result must be a diagonal Latin square orthogonal to s.
void expect_proved_mate(const Square& s, std::int64_t transversal_count, const std::string& name)
{
    Square mate;
    std::memset(mate.cells, 0xFF, sizeof mate.cells);
    for (int k = 0; k < 10; ++k) {
        const std::int32_t index = solution_stack[k]->tag >> 7;
        ASSERT_TRUE(index >= 0 && index < transversal_count) << name << ": transversal " << index;
        for (int r = 0; r < 10; ++r) {
            std::uint8_t& cell = mate.cells[10 * r + transversal_store[index].columns[r]];
            EXPECT_EQ(cell, 0xFF) << name << ": two chosen transversals share a cell";
            cell = static_cast<std::uint8_t>(k);
        }
    }
    EXPECT_TRUE(mate_reference::is_diagonal_latin_square(mate)) << name;
    EXPECT_TRUE(mate_reference::are_orthogonal(s, mate)) << name;
}

// The mate test on dancing links throughout, the reference for the worker's
// faster listing and mate search: its stack proves the mate it finds.
bool mate_test_by_dancing_links(const Square& s)
{
    const std::int32_t count = enumerate_diagonal_transversals(s);
    if (count < 10)
        return false;
    build_mate_matrix(count);
    return find_mate_cover();
}

bool headers_hold(std::size_t first, std::size_t last, std::uint8_t byte)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(&column_headers[first]);
    return std::all_of(p, p + (last - first + 1) * sizeof(DlxNode), [byte](std::uint8_t b) { return b == byte; });
}

// ---------------------------------------------------------------------------

TEST(DiagonalTransversals, StoredRecordsAreExactlyTheTransversalsFoundByBacktracking)
{
    std::vector<Square> squares = sample_squares(50, 100);
    squares.push_back(self_orthogonal_square());
    squares.push_back(cyclic_square());

    for (std::size_t i = 0; i < squares.size(); ++i) {
        const Square& s = squares[i];
        const auto expected = mate_reference::diagonal_transversals(s);
        std::memset(static_cast<void*>(transversal_store), 0xEE, sizeof(Transversal) * (expected.size() + 1));

        const std::int32_t count = enumerate_diagonal_transversals(s);
        ASSERT_EQ(count, static_cast<std::int32_t>(expected.size())) << "square " << i;
        auto records = stored_records(count);
        for (const auto& t : records)
            ASSERT_TRUE(is_diagonal_transversal(s, t)) << "square " << i;
        std::sort(records.begin(), records.end());
        EXPECT_EQ(std::adjacent_find(records.begin(), records.end()), records.end()) << "square " << i;
        EXPECT_EQ(records, expected) << "square " << i;  // the reference list is sorted
        EXPECT_EQ(transversal_store[count].columns[0], 0xEE) << "square " << i << ": slot past the count written";
    }
}

TEST(DiagonalTransversals, RecordsComeInSearchOrderAndTwoCallsAgree)
{
    const Square known = self_orthogonal_square();
    std::vector<Square> squares = sample_squares(3, 200);
    squares.push_back(known);
    for (std::size_t i = 0; i < squares.size(); ++i) {
        const auto expected = mate_reference::transversals_in_search_order(squares[i]);
        for (int call = 0; call < 2; ++call) {
            const std::int32_t count = enumerate_diagonal_transversals(squares[i]);
            EXPECT_EQ(stored_records(count), expected) << "square " << i << ", call " << call;
            // Between the calls, a mate search that stops at its first cover
            // leaves the shared storage partly covered.
            ASSERT_TRUE(has_orthogonal_mate(known));
        }
    }
}

// ---------------------------------------------------------------------------

struct Image {
    std::string name;
    Square square;
};

// Images of an orthogonal pair that are orthogonal pairs again: renaming the
// symbols, transposing, reversing the rows (the diagonals change places), and
// permuting rows and columns alike by p with p[9 - i] = 9 - p[i].
std::vector<Image> images_of_orthogonal_pair(const Square& s)
{
    std::vector<Image> images{{"the square itself", s}};
    std::mt19937 rng(2024);
    for (int round = 0; round < 3; ++round) {
        std::array<std::uint8_t, 10> rename;
        std::iota(rename.begin(), rename.end(), 0);
        std::shuffle(rename.begin(), rename.end(), rng);
        Square renamed;
        for (int n = 0; n < 100; ++n)
            renamed.cells[n] = rename[s.cells[n]];
        images.push_back({"renamed symbols " + std::to_string(round), renamed});

        std::array<int, 10> p;
        std::array<int, 5> half = {0, 1, 2, 3, 4};
        std::shuffle(half.begin(), half.end(), rng);
        for (int i = 0; i < 5; ++i) {
            p[i] = rng() % 2 ? half[i] : 9 - half[i];
            p[9 - i] = 9 - p[i];
        }
        Square permuted;
        for (int n = 0; n < 100; ++n)
            permuted.cells[10 * p[n / 10] + p[n % 10]] = renamed.cells[n];
        images.push_back({"renamed, rows and columns permuted " + std::to_string(round), permuted});
    }
    Square transposed, reversed, both;
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c) {
            transposed.cells[10 * c + r] = s.cells[10 * r + c];
            reversed.cells[10 * (9 - r) + c] = s.cells[10 * r + c];
            both.cells[10 * (9 - c) + r] = s.cells[10 * r + c];
        }
    images.push_back({"transposed", transposed});
    images.push_back({"rows reversed", reversed});
    images.push_back({"transposed, rows reversed", both});
    return images;
}

TEST(OrthogonalMate, EveryImageOfAnOrthogonalPairHasAMateAndTheStackProvesIt)
{
    for (const auto& [name, s] : images_of_orthogonal_pair(self_orthogonal_square())) {
        ASSERT_TRUE(mate_reference::is_diagonal_latin_square(s)) << name;
        EXPECT_TRUE(has_orthogonal_mate(s)) << name;
        ASSERT_TRUE(mate_test_by_dancing_links(s)) << name;
        expect_proved_mate(s, mate_reference::count_diagonal_transversals(s), name);
    }
}

TEST(OrthogonalMate, AnswersOnGeneratedSquaresAgreeWithTheSlowSearch)
{
    const Square known = self_orthogonal_square();
    const std::int64_t known_count = mate_reference::count_diagonal_transversals(known);
    int without_mate = 0;
    int i = 0;
    for (const Square& s : sample_squares(20, 300)) {
        const std::string name = "square " + std::to_string(i);
        if (has_orthogonal_mate(s)) {
            ASSERT_TRUE(mate_test_by_dancing_links(s)) << name;
            expect_proved_mate(s, mate_reference::count_diagonal_transversals(s), name);
        } else {
            ++without_mate;
            EXPECT_FALSE(mate_reference::has_mate_by_backtracking(s)) << name;
        }
        // The answer for a square does not depend on the squares before it.
        if (++i % 10 == 0) {
            EXPECT_TRUE(has_orthogonal_mate(known)) << "after " << name;
            ASSERT_TRUE(mate_test_by_dancing_links(known)) << "after " << name;
            expect_proved_mate(known, known_count, "known square after " + name);
        }
    }
    EXPECT_GT(without_mate, 0);
}

// ---------------------------------------------------------------------------

TEST(OrthogonalMate, GateRefusesBelowTenTransversalsWithoutAMateMatrixAndSearchesFromTen)
{
    struct GateCase {
        const char* name;
        Square square;
        std::int64_t count;
    };
    const GateCase cases[] = {
        {"no transversal", cyclic_square(), 0},
        // Each row a permutation of 0-9: the cyclic square with a few values
        // swapped within rows.
        {"nine transversals",
         square_from_rows({"0123456789", "1238569470", "2345678901", "3456789012", "4567890123",
                           "5678901234", "6789012345", "7890123456", "8901634257", "7316925408"}),
         9},
        {"ten overlapping transversals",
         square_from_rows({"3120456789", "1234567890", "2345678901", "3456789012", "4567890123",
                           "5678904231", "2759013648", "7490123856", "8901234567", "9012345678"}),
         10},
    };
    for (const auto& test : cases) {
        ASSERT_EQ(mate_reference::count_diagonal_transversals(test.square), test.count) << test.name;
        ASSERT_FALSE(mate_reference::has_mate_by_backtracking(test.square)) << test.name;
        std::memset(static_cast<void*>(column_headers), 0x5A, sizeof column_headers);
        std::memset(static_cast<void*>(node_pool), 0x5A, sizeof(DlxNode) * 400);

        EXPECT_FALSE(has_orthogonal_mate(test.square)) << test.name;
        EXPECT_FALSE(mate_test_by_dancing_links(test.square)) << test.name;
        // The transversal matrix uses headers 0-32 and 320 nodes; the mate
        // matrix all 101 headers and ten nodes per transversal.
        EXPECT_EQ(headers_hold(33, max_columns, 0x5A), test.count < 10) << test.name;
        if (test.count == 10) {
            // The search ran to exhaustion, so the matrix is as built: ten rows.
            int total = 0;
            for (int h = 1; h <= max_columns; ++h)
                total += column_headers[h].tag;
            EXPECT_EQ(total, 100) << test.name;
            for (int i = 0; i < 100; ++i)
                EXPECT_EQ(node_pool[i].tag >> 7, i / 10) << test.name << ", node " << i;
        }
    }
}

TEST(OrthogonalMate, FullStoreOfTenThousandTransversalsFillsThePoolAndIsSearched)
{
    // Every row of this array reads 0-9, so every diagonal permutation is a
    // transversal.  The store gets 9990 of them, all through cell (0, 0), then
    // the ten value classes of the known diagonal Latin square, which partition
    // the cells: the only covers use those last ten matrix rows.
    const Square rows = rows_all_identity();
    const Square known = self_orthogonal_square();
    std::vector<CellChoice> classes;
    for (int v = 0; v < 10; ++v) {
        CellChoice t;
        for (int n = 0; n < 100; ++n)
            if (known.cells[n] == v)
                t[n / 10] = static_cast<std::uint8_t>(n % 10);
        ASSERT_TRUE(is_diagonal_transversal(rows, t));
        classes.push_back(t);
    }
    std::vector<CellChoice> store;
    CellChoice p = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    while (store.size() < max_transversals - 10u && std::next_permutation(p.begin(), p.end()))
        if (is_diagonal_transversal(rows, p) && std::find(classes.begin(), classes.end(), p) == classes.end())
            store.push_back(p);
    for (const auto& t : store)
        ASSERT_EQ(t[0], 0);
    store.insert(store.end(), classes.begin(), classes.end());
    ASSERT_EQ(store.size(), static_cast<std::size_t>(max_transversals));
    for (int i = 0; i < max_transversals; ++i)
        std::copy_n(store[i].begin(), 10, transversal_store[i].columns);

    build_mate_matrix(max_transversals);
    EXPECT_EQ(node_pool[node_pool_capacity - 1].tag >> 7, max_transversals - 1);
    int total = 0;
    for (int h = 1; h <= max_columns; ++h)
        total += column_headers[h].tag;
    EXPECT_EQ(total, node_pool_capacity);
    EXPECT_TRUE(find_mate_cover());
    expect_proved_mate(rows, max_transversals, "a full store over identity rows");
    for (DlxNode* r : solution_stack)
        EXPECT_GE(r->tag >> 7, max_transversals - 10);
}

TEST(OrthogonalMateDeathTest, MoreThanTenThousandTransversalsEndTheProcessWithTheMessage)
{
    const Square rows = rows_all_identity();
    const std::int64_t count = mate_reference::count_diagonal_transversals(rows);
    ASSERT_GT(count, max_transversals);
    const std::string message =
        "Число трансверсалей " + std::to_string(count) + " превышает максимум 10000\n\n";
    EXPECT_EXIT(has_orthogonal_mate(rows), ::testing::ExitedWithCode(1), ::testing::Eq(message));
}

} // namespace
