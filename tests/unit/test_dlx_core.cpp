// The dancing-links core on small hand-built matrices: column choice, cover and
// uncover, the search over ten levels, and rebuilding over used storage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <vector>

#include "dlx/core.h"

namespace {

// A matrix as plain data: each matrix row is its list of column numbers.
using Rows = std::vector<std::vector<int>>;

// Builds the matrix into the static storage, row i with row id i; returns the
// number of pool nodes used.
int build(int column_count, const Rows& rows)
{
    init_column_headers(column_count);
    DlxNode* next = node_pool;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (std::size_t k = 0; k < rows[i].size(); ++k)
            next[k].tag = static_cast<std::int32_t>(i << 7 | rows[i][k]);
        append_matrix_row(next, static_cast<int>(rows[i].size()));
        next += rows[i].size();
    }
    return static_cast<int>(next - node_pool);
}

// Links as places: a pool node by its offset, a header as 1000000 + its number,
// anything else as -1.
struct NodeImage {
    int left, right, up, down;
    std::int32_t tag;
    bool operator==(const NodeImage&) const = default;
};

int place_of(const DlxNode* p)
{
    if (p >= node_pool && p < node_pool + node_pool_capacity)
        return static_cast<int>(p - node_pool);
    if (p >= column_headers && p <= column_headers + max_columns)
        return 1000000 + static_cast<int>(p - column_headers);
    return -1;
}

// Headers 0..column_count, then the first nodes pool nodes.
std::vector<NodeImage> image(int column_count, int nodes)
{
    std::vector<NodeImage> out;
    auto add = [&out](const DlxNode& n) {
        out.push_back({place_of(n.left), place_of(n.right), place_of(n.up), place_of(n.down), n.tag});
    };
    for (int h = 0; h <= column_count; ++h)
        add(column_headers[h]);
    for (int i = 0; i < nodes; ++i)
        add(node_pool[i]);
    return out;
}

std::vector<int> active_columns()
{
    std::vector<int> out;
    for (DlxNode* h = root.right; h != &root && out.size() <= max_columns; h = h->right)
        out.push_back(place_of(h) - 1000000);
    return out;
}

// Row ids down the column's ring, checked against the ring walked upwards.
std::vector<int> column_ring(int column)
{
    DlxNode* const c = &column_headers[column];
    std::vector<int> down, up;
    for (DlxNode* i = c->down; i != c && down.size() <= 10000; i = i->down)
        down.push_back(i->tag >> 7);
    for (DlxNode* i = c->up; i != c && up.size() <= 10000; i = i->up)
        up.insert(up.begin(), i->tag >> 7);
    EXPECT_EQ(down, up) << "column " << column;
    return down;
}

Rows random_rows(int column_count, int row_count, int max_width, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    Rows rows(row_count);
    for (auto& row : rows) {
        const int width = std::uniform_int_distribution<int>(1, max_width)(rng);
        std::set<int> columns;
        while (static_cast<int>(columns.size()) < width)
            columns.insert(std::uniform_int_distribution<int>(1, column_count)(rng));
        row.assign(columns.begin(), columns.end());
        std::shuffle(row.begin(), row.end(), rng);
    }
    return rows;
}

// The 20-column matrix of a 10x10 board: one matrix row per allowed cell (r, c),
// covering square row r (column r + 1) and square column c (column c + 11).
// Its covers are the permutations inside the allowed cells.
Rows board_rows(const std::vector<int>& allowed_cells)
{
    Rows rows;
    for (int n : allowed_cells)
        rows.push_back({n / 10 + 1, n % 10 + 11});
    return rows;
}

std::vector<int> random_board(double density, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<int> cells;
    for (int n = 0; n < 100; ++n)
        if (std::bernoulli_distribution(density)(rng))
            cells.push_back(n);
    return cells;
}

// The number of permutations inside the allowed cells (the board's permanent),
// by the subset recurrence over square rows.
std::int64_t permanent(const std::vector<int>& allowed_cells)
{
    bool allowed[10][10] = {};
    for (int n : allowed_cells)
        allowed[n / 10][n % 10] = true;
    std::vector<std::int64_t> ways(1 << 10, 0);
    ways[0] = 1;
    for (int used = 0; used < (1 << 10); ++used) {
        const int r = __builtin_popcount(used);
        if (r < 10)
            for (int c = 0; c < 10; ++c)
                if (!(used >> c & 1) && allowed[r][c])
                    ways[used | 1 << c] += ways[used];
    }
    return ways[(1 << 10) - 1];
}

// ---------------------------------------------------------------------------

struct ChoiceCase {
    const char* name;
    std::vector<int> sizes;    // size of columns 1, 2, ...
    std::vector<int> covered;  // columns taken out of the active ring first
    int poisoned;              // a later column whose size is set to -1, or 0
    int expected;
};

TEST(DlxCore, ChooseColumnTakesTheLeastSizeAndTheLowestColumnOnTies)
{
    const ChoiceCase cases[] = {
        {"tie between 2 and 3", {3, 2, 2, 4}, {}, 0, 2},
        {"tie between the last two", {2, 3, 1, 1, 5}, {}, 0, 3},
        {"single column", {5}, {}, 0, 1},
        {"least size last", {4, 4, 4, 1}, {}, 0, 4},
        {"covered least column is skipped", {3, 1, 2, 2}, {2}, 0, 3},
        {"covered first column is skipped", {1, 1, 1}, {1}, 0, 2},
        // A size of -1 is smaller than any real size: reading it means the walk
        // went on past the empty column.
        {"first column empty returns at once", {0, 1, 2}, {}, 3, 1},
        {"first column empty, later empty too", {0, 0, 2}, {}, 3, 1},
        {"later empty column ends the walk", {2, 0, 1, 3}, {}, 4, 2},
        {"first empty column after a covered one", {1, 2, 0, 0, 1}, {1}, 5, 3},
    };
    for (const auto& test : cases) {
        Rows rows;
        for (std::size_t j = 0; j < test.sizes.size(); ++j)
            for (int k = 0; k < test.sizes[j]; ++k)
                rows.push_back({static_cast<int>(j) + 1});
        build(static_cast<int>(test.sizes.size()), rows);
        for (int c : test.covered)
            cover_column(&column_headers[c]);
        if (test.poisoned)
            column_headers[test.poisoned].tag = -1;
        EXPECT_EQ(choose_column(), &column_headers[test.expected]) << test.name;
    }
}

TEST(DlxCore, CoverTakesOutTheColumnAndItsRowsAndUncoverRestoresEverything)
{
    const int columns = 30;
    const Rows rows = random_rows(columns, 90, 5, 11);
    const int nodes = build(columns, rows);
    const auto built = image(columns, nodes);

    // Which active columns remain and which rows each still lists, when the
    // columns in `covered` are covered.
    auto expect_covered_state = [&](const std::set<int>& covered) {
        std::vector<int> active;
        for (int j = 1; j <= columns; ++j)
            if (!covered.count(j))
                active.push_back(j);
        EXPECT_EQ(active_columns(), active);
        for (int j : active) {
            std::vector<int> expected;
            for (std::size_t i = 0; i < rows.size(); ++i) {
                const auto& row = rows[i];
                const bool has_j = std::find(row.begin(), row.end(), j) != row.end();
                const bool meets = std::any_of(row.begin(), row.end(), [&](int c) { return covered.count(c); });
                if (has_j && !meets)
                    expected.push_back(static_cast<int>(i));
            }
            EXPECT_EQ(column_ring(j), expected) << "column " << j;
            EXPECT_EQ(column_headers[j].tag, static_cast<int>(expected.size())) << "column " << j;
        }
    };

    for (int c = 1; c <= columns; ++c) {
        cover_column(&column_headers[c]);
        expect_covered_state({c});
        uncover_column(&column_headers[c]);
        ASSERT_EQ(image(columns, nodes), built) << "after cover and uncover of column " << c;
    }
    for (int c = 1; c + 7 <= columns; c += 3) {
        cover_column(&column_headers[c]);
        cover_column(&column_headers[c + 7]);
        expect_covered_state({c, c + 7});
        uncover_column(&column_headers[c + 7]);
        uncover_column(&column_headers[c]);
        ASSERT_EQ(image(columns, nodes), built) << "after covering " << c << " and " << c + 7;
    }
}

TEST(DlxCore, SearchFindsEveryTenRowCoverOnceAndLeavesTheMatrixAsBuilt)
{
    struct Board {
        const char* name;
        std::vector<int> cells;
    };
    std::vector<int> missing_row = random_board(0.9, 3);
    std::erase_if(missing_row, [](int n) { return n / 10 == 4; });
    const Board boards[] = {
        {"dense", random_board(0.55, 1)},
        {"sparse", random_board(0.35, 2)},
        {"square row 4 has no cell", missing_row},
        {"one permutation", {3, 17, 22, 35, 41, 58, 60, 79, 84, 96}},
    };
    for (const auto& board : boards) {
        const Rows rows = board_rows(board.cells);
        const int nodes = build(20, rows);
        const auto built = image(20, nodes);
        std::set<std::vector<int>> covers;
        std::int64_t found = 0;
        const bool stopped = run_exact_cover([&] {
            std::vector<int> cells;
            for (DlxNode* r : solution_stack)
                cells.push_back(board.cells[r->tag >> 7]);
            std::sort(cells.begin(), cells.end());
            std::set<int> square_rows, square_columns;
            for (int n : cells)
                square_rows.insert(n / 10), square_columns.insert(n % 10);
            EXPECT_EQ(square_rows.size() + square_columns.size(), 20u) << board.name;
            covers.insert(cells);
            ++found;
            return false;
        });
        EXPECT_FALSE(stopped) << board.name;
        EXPECT_EQ(found, permanent(board.cells)) << board.name;
        EXPECT_EQ(static_cast<std::int64_t>(covers.size()), found) << board.name << ": a cover came twice";
        EXPECT_EQ(image(20, nodes), built) << board.name;
    }
}

TEST(DlxCore, MatrixBuiltAfterAnInterruptedSearchEqualsOneBuiltIntoFreshStorage)
{
    // The interrupted search runs on a larger matrix than the one built next.
    const Rows first = board_rows(random_board(0.6, 5));
    const Rows second = random_rows(18, 120, 4, 6);
    for (const std::uint8_t fill : {0x00, 0xA5}) {
        build(20, first);
        EXPECT_TRUE(run_exact_cover([] { return true; }));
        const int nodes = build(18, second);
        const auto after_search = image(18, nodes);

        std::memset(static_cast<void*>(column_headers), fill, sizeof column_headers);
        std::memset(static_cast<void*>(node_pool), fill, sizeof(DlxNode) * 1000);
        build(18, second);
        EXPECT_EQ(after_search, image(18, nodes)) << "storage filled with " << int(fill);
    }
}

} // namespace
