// dlsmate-next: a chain of continuations reaches what one long run reaches,
// and the tool tells a finished run from one that stopped at its limit.

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support.h"

namespace {

Square sample_square()
{
    return square_from_file(std::string(DLSMATE_TESTDATA_DIR) + "/sample-square.txt");
}

// A range of a space: the squares that keep the first `kept` free cells of
// `source`, up to the next prefix of that length.
struct Range {
    int diagonal_number;
    Square start;
    Square end;
};

Range range_of(int diagonal_number, const Square& source, int kept)
{
    const int d = diagonal_number - 1;
    std::vector<int> base = free_values_of(source);
    base.resize(kept);
    const std::vector<int> next = reference::next_prefix_brute_force(d, base);
    EXPECT_FALSE(next.empty());
    return {diagonal_number, reference::square_with_prefix(d, base, -1), reference::square_with_prefix(d, next, 0)};
}

struct ChainCase {
    const char* name;
    int diagonal_number;
    bool sample;  // the range around the sample square, else around the first square
    int kept;
    int limit;    // 0: the position of the sample square in its range, so a run stops at it
};

// A case prints as its name, not as its bytes.
void PrintTo(const ChainCase& c, std::ostream* out)
{
    *out << c.name;
}

class Chaining : public testing::TestWithParam<ChainCase> {};

TEST_P(Chaining, continuations_reach_the_squares_and_count_of_one_long_run)
{
    const ChainCase& c = GetParam();
    const Square source =
        c.sample ? sample_square()
                 : passing_squares(workunit_of(c.diagonal_number, 1, filled_square(0), filled_square(9)), 1).at(0);
    const Range range = range_of(c.diagonal_number, source, c.kept);
    const std::string long_unit = workunit_of(c.diagonal_number, 1000000, range.start, range.end);
    const SplitResult whole = split_result(run_in_process(long_unit));
    ASSERT_TRUE(whole.closed);

    std::uint64_t limit = static_cast<std::uint64_t>(c.limit);
    if (limit == 0) {
        const std::vector<Square> passing = passing_squares(long_unit, 1000000);
        for (std::size_t i = 0; i < passing.size() && limit == 0; ++i)
            if (compare_squares(passing[i], sample_square()) == 0)
                limit = i + 1;
        ASSERT_GT(limit, 1u) << "the sample square lies in the range";
    }

    const std::string directory = make_temporary_directory();
    const std::string unit_path = directory + "/unit.wu";
    const std::string result_path = directory + "/unit.out";
    write_file(unit_path, workunit_of(c.diagonal_number, limit, range.start, range.end));
    std::vector<Square> chained;
    std::uint64_t chained_count = 0;
    int links = 0;
    bool stopped_at_sample = false;
    for (;;) {
        ASSERT_LT(++links, 1000);
        const std::string unit = read_file(unit_path);
        const std::string bytes = run_in_process(unit);
        write_file(result_path, bytes);
        const SplitResult link = split_result(bytes);
        ASSERT_TRUE(link.closed);
        chained.insert(chained.end(), link.found.begin(), link.found.end());
        chained_count += link.count;
        stopped_at_sample = stopped_at_sample || compare_squares(link.stop, sample_square()) == 0;

        const CommandResult next = run_command({DLSMATE_NEXT, unit_path, result_path, unit_path});
        ASSERT_EQ(next.status, 0) << next.err;
        if (next.out == "done\n") {
            EXPECT_GE(compare_squares(link.stop, range.end), 0) << "done only at the end square";
            break;
        }
        ASSERT_EQ(next.out, "continue " + unit_path + "\n");
        EXPECT_LT(compare_squares(link.stop, range.end), 0);
        EXPECT_EQ(link.count, limit);
        // Same diagonal index, limit and end square; the start is the stop square.
        const std::vector<long long> n = numbers_of(read_file(unit_path));
        ASSERT_EQ(n.size(), 202u);
        EXPECT_EQ(n[0], c.diagonal_number);
        EXPECT_EQ(static_cast<std::uint64_t>(n[1]), limit);
        for (int i = 0; i < 100; ++i) {
            EXPECT_EQ(n[2 + i], link.stop.cells[i]) << "start square cell " << i;
            EXPECT_EQ(n[102 + i], range.end.cells[i]) << "end square cell " << i;
        }
    }
    EXPECT_GT(links, 1);
    if (c.limit == 0) {
        EXPECT_TRUE(stopped_at_sample) << "a link stopped at the square with a mate";
    }
    EXPECT_EQ(chained_count, whole.count);
    ASSERT_EQ(chained.size(), whole.found.size());
    for (std::size_t i = 0; i < chained.size(); ++i)
        EXPECT_EQ(compare_squares(chained[i], whole.found[i]), 0) << "square with a mate " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Chains, Chaining,
    testing::Values(ChainCase{"ninety_squares_a_link_58", 58, false, 36, 90},
                    ChainCase{"a_link_stops_at_the_square_with_a_mate_65", 65, true, 40, 0},
                    ChainCase{"seven_squares_a_link_65", 65, true, 40, 7},
                    ChainCase{"one_square_a_link_1", 1, false, 44, 1}),
    [](const testing::TestParamInfo<ChainCase>& info) { return std::string(info.param.name); });

// --- One step ----------------------------------------------------------------

struct Files {
    std::string directory, unit, result, next;
};

Files files_for(const std::string& unit, const std::string& result)
{
    Files f;
    f.directory = make_temporary_directory();
    f.unit = f.directory + "/unit.wu";
    f.result = f.directory + "/unit.out";
    f.next = f.directory + "/next.wu";
    write_file(f.unit, unit);
    write_file(f.result, result);
    return f;
}

TEST(Next, says_done_when_the_run_reached_the_end_of_the_space)
{
    // The last squares of a space: those that keep the greatest square's first 64 free cells.
    const Square last = reference::last_square(57);
    std::vector<int> tail = free_values_of(last);
    tail.resize(64);
    const std::string unit = workunit_of(58, 1000000, reference::square_with_prefix(57, tail, -1), filled_square(9));
    const std::string result = run_in_process(unit);
    ASSERT_FALSE(split_result(result).closed) << "the run ran out of squares";
    const Files f = files_for(unit, result);
    const CommandResult next = run_command({DLSMATE_NEXT, f.unit, f.result, f.next});
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(next.out, "done\n");
    EXPECT_FALSE(file_exists(f.next));
}

TEST(Next, says_done_when_the_limit_stopped_the_run_at_the_last_square_of_the_space)
{
    // Every square of diagonal index 58 passes the filter, so with a limit of
    // exactly the number of squares left the run stops at the greatest square.
    const Square last = reference::last_square(57);
    std::vector<int> tail = free_values_of(last);
    tail.resize(48);
    const Square start = reference::square_with_prefix(57, tail, -1);
    const std::vector<Square> left = passing_squares(workunit_of(58, 1, start, filled_square(9)), 1000000);
    ASSERT_GT(left.size(), 1u);
    ASSERT_EQ(compare_squares(left.back(), last), 0);
    const std::string unit = workunit_of(58, left.size(), start, filled_square(9));
    const std::string result = run_in_process(unit);
    ASSERT_TRUE(split_result(result).closed);
    const Files f = files_for(unit, result);
    const CommandResult next = run_command({DLSMATE_NEXT, f.unit, f.result, f.next});
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(next.out, "done\n");
    EXPECT_FALSE(file_exists(f.next));
}

TEST(Next, says_done_when_the_run_reached_its_end_square)
{
    std::vector<int> prefix = free_values_of(sample_square());
    prefix.resize(40);
    const std::string unit = workunit_of(65, 1000, reference::square_with_prefix(64, prefix, -1), sample_square());
    const std::string result = run_in_process(unit);
    ASSERT_EQ(compare_squares(split_result(result).stop, sample_square()), 0);
    const Files f = files_for(unit, result);
    const CommandResult next = run_command({DLSMATE_NEXT, f.unit, f.result, f.next});
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(next.out, "done\n");
    EXPECT_FALSE(file_exists(f.next));
}

struct BadNext {
    const char* name;
    const char* change; // what is done to the sample's work unit or result
    const char* message;
};

void PrintTo(const BadNext& c, std::ostream* out)
{
    *out << c.name;
}

class NextRefuses : public testing::TestWithParam<BadNext> {};

TEST_P(NextRefuses, wrong_input_with_status_2_and_writes_nothing)
{
    const BadNext& c = GetParam();
    std::string unit = read_file(std::string(DLSMATE_SAMPLES_DIR) + "/sample.wu");
    std::string result = run_in_process(unit);
    const std::string change = c.change;
    const std::size_t status_at = result.find('X');
    if (change == "truncated result")
        result.resize(result.size() - 5);
    else if (change == "other diagonal index")
        result.replace(status_at, 10, status_line(64, 20));
    else if (change == "count short of the limit")
        result.replace(status_at, 10, status_line(65, 19));
    else if (change == "count above the limit")
        result.replace(status_at, 10, status_line(65, 21));
    else if (change == "other end square")
        result.replace(result.size() - 212, 212, record_of(filled_square(8)));
    else if (change == "stop square not Latin")
        result.replace(status_at + 10, 212, record_of(filled_square(3)));
    else if (change == "work unit index 68")
        unit.replace(0, 2, "68");
    else if (change == "work unit limit 0")
        unit.replace(3, 2, "0 ");
    const Files f = files_for(unit, result);
    std::vector<std::string> argv = {DLSMATE_NEXT, f.unit, f.result, f.next};
    if (change == "missing result")
        argv[2] = f.directory + "/none.out";
    if (change == "missing work unit")
        argv[1] = f.directory + "/none.wu";
    if (change == "two arguments")
        argv.pop_back();
    const CommandResult next = run_command(argv);
    EXPECT_EQ(next.status, 2);
    EXPECT_NE(next.err.find(c.message), std::string::npos) << next.err;
    EXPECT_EQ(next.out, "");
    EXPECT_FALSE(file_exists(f.next));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, NextRefuses,
    testing::Values(BadNext{"truncated_result", "truncated result", "end square record at byte 434: truncated"},
                    BadNext{"result_of_another_diagonal_index", "other diagonal index", "of diagonal index 64"},
                    BadNext{"result_short_of_its_limit_below_its_end", "count short of the limit",
                            "short of the limit 20"},
                    BadNext{"count_above_the_limit", "count above the limit", "above the work unit's limit 20"},
                    BadNext{"result_with_another_end_square", "other end square", "its end square is not"},
                    BadNext{"stop_square_not_a_square_of_the_space", "stop square not Latin",
                            "not a square of the work unit's space: row 0 holds 3 twice"},
                    BadNext{"work_unit_with_diagonal_index_68", "work unit index 68",
                            "the diagonal index, is 68, not 1-67"},
                    BadNext{"work_unit_with_limit_0", "work unit limit 0", "the square limit, is 0"},
                    BadNext{"missing_result", "missing result", "cannot open"},
                    BadNext{"missing_work_unit", "missing work unit", "cannot open work unit"},
                    BadNext{"two_arguments", "two arguments", "expected WORKUNIT RESULT CONTINUATION"}),
    [](const testing::TestParamInfo<BadNext>& info) { return std::string(info.param.name); });

} // namespace
