// Whole work units run by the built worker, checked byte for byte against result
// files built here by the brute-force path: independent enumeration, the class
// minimum over every symmetry, brute-force transversals and mate search.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "reference/enumeration_reference.h"
#include "reference/mate_reference.h"
#include "reference/symmetry_reference.h"
#include "test_squares.h"
#include "worker_run.h"

namespace {

std::string digits(const Square& s, const std::string& row_end)
{
    std::string text;
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            text += static_cast<char>(s.cells[10 * r + c] + '0') + (c < 9 ? std::string(" ") : row_end);
    return text;
}

Square nines()
{
    Square s;
    for (auto& cell : s.cells)
        cell = 9;
    return s;
}

bool is_class_minimum(const Square& q, int d)
{
    const auto members = symmetry_reference::class_members(q, d);
    return !members.empty() && std::equal(q.cells, q.cells + 100, members.front().cells);
}

// The result of a work unit whose start square keeps the first `rows` rows of
// `seed` and stops the replay at the row after them, with a limit that ends the
// run at the last passing square of that block; empty when no square passes.
struct Expected {
    std::string workunit;
    std::string result;
};

Expected block_workunit(int d, const Square& seed, int rows)
{
    Square start = seed;
    for (int n = 10 * rows; n < 100; ++n)
        start.cells[n] = 0;
    start.cells[10 * rows] = static_cast<std::uint8_t>(rows); // cell (rows, 0) cannot repeat the row's diagonal value
    const auto block = reference::completions(d, seed, 8 * rows, 1000000);

    std::string records;
    std::vector<Square> passing;
    for (const Square& q : block) {
        if (!is_class_minimum(q, d))
            continue;
        passing.push_back(q);
        if (mate_reference::has_mate_by_backtracking(q))
            records += record_of(q);
    }
    if (passing.empty())
        return {};
    const std::string limit = std::to_string(passing.size());
    Expected e;
    e.workunit = std::to_string(d + 1) + " " + limit + "\n" + digits(start, "\n") + digits(nines(), "\n");
    e.result = records + "X\r\n" + std::to_string(d + 1) + " " + limit + "\r\n" + record_of(passing.back()) +
               record_of(nines());
    return e;
}

class WholeWorkUnit : public testing::TestWithParam<int> {};

TEST_P(WholeWorkUnit, ResultEqualsTheBruteForceResult)
{
    const int d = GetParam();
    std::mt19937 rng(4000u + d);
    // The class minimum of a random square: its block holds at least that square.
    const Square seed = symmetry_reference::class_members(symmetry_reference::random_square(d, rng), d).front();
    const Expected e = block_workunit(d, seed, 6);
    ASSERT_FALSE(e.workunit.empty());

    const std::string dir = make_temporary_directory();
    write_file(dir + "/in", e.workunit);
    const WorkerRun run = run_worker(dir, {"in", "out"});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(read_file(dir + "/out"), e.result);
}

// Indices with the reflection and large groups, the reflection only, and neither.
INSTANTIATE_TEST_SUITE_P(Worker, WholeWorkUnit, testing::Values(0, 1, 14, 35, 49, 60, 66));

TEST(Worker, TheSampleWorkUnitFindsItsSquareWithAMate)
{
    std::ifstream in(std::string(DLSMATE_TESTDATA_DIR) + "/sample-square.txt");
    std::string line, text;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#')
            text += line;
    Square square{};
    int n = 0;
    for (char ch : text)
        if (ch >= '0' && ch <= '9')
            square.cells[n++] = static_cast<std::uint8_t>(ch - '0');
    ASSERT_EQ(n, 100);
    ASSERT_TRUE(mate_reference::has_mate_by_backtracking(square));

    const std::string dir = make_temporary_directory();
    write_file(dir + "/in", read_file(std::string(DLSMATE_SAMPLES_DIR) + "/sample.wu"));
    const WorkerRun run = run_worker(dir, {"in", "out"});
    EXPECT_EQ(run.exit_status, 0);
    // The run walks the squares that share the sample square's first six rows and
    // stops at the limit, 20, on the 20th of them.
    const auto block = reference::completions(64, square, 48, 20);
    ASSERT_EQ(block.size(), 20u);
    EXPECT_EQ(read_file(dir + "/out"), record_of(square) + "X\r\n65 20\r\n" + record_of(block.back()) + record_of(nines()));
}

} // namespace
