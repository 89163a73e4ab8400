// dlsmate-mates: every mate printed is an orthogonal diagonal Latin square,
// and their number is that of an independent count.

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support.h"
#include "tools/lib/squares.h"

namespace {

const std::string data = DLSMATE_TESTDATA_DIR;
const std::string tools_data = DLSMATE_TOOLS_TESTDATA_DIR;

// The records of the tool's output and its "# ...: N orthogonal diagonal mates" lines.
struct MatesOutput {
    std::vector<Square> mates;
    std::vector<std::string> headers;
};

MatesOutput parse_output(const std::string& out)
{
    MatesOutput parsed;
    std::size_t at = 0;
    while (at < out.size()) {
        if (out[at] == '#') {
            const std::size_t end = out.find("\r\n", at);
            parsed.headers.push_back(out.substr(at, end - at));
            at = end + 2;
            continue;
        }
        EXPECT_LE(at + 212, out.size());
        const std::string record = out.substr(at, 212);
        Square s{};
        for (int i = 0; i < 100; ++i)
            s.cells[i] = static_cast<std::uint8_t>(record[21 * (i / 10) + 2 * (i % 10)] - '0');
        EXPECT_EQ(record, record_of(s)) << "the record format, byte for byte";
        parsed.mates.push_back(s);
        at += 212;
    }
    return parsed;
}

struct MateCase {
    const char* name;
    std::string file;
    int square; // which square of the file
};

// A case prints as its name, not as its bytes.
void PrintTo(const MateCase& c, std::ostream* out)
{
    *out << c.name;
}

class Mates : public testing::TestWithParam<MateCase> {};

TEST_P(Mates, every_printed_mate_is_an_orthogonal_diagonal_latin_square_counted_once)
{
    const MateCase& c = GetParam();
    const Square square = squares_from_file(c.file).at(c.square);
    const std::string directory = make_temporary_directory();
    write_file(directory + "/square.txt", record_of(square));
    const CommandResult run = run_command({DLSMATE_MATES, directory + "/square.txt"});
    ASSERT_EQ(run.status, 0) << run.err;
    const MatesOutput out = parse_output(run.out);

    const std::uint64_t expected = mate_reference::count_mates(square);
    EXPECT_GT(expected, 0u);
    ASSERT_EQ(out.headers.size(), 1u);
    EXPECT_NE(out.headers[0].find(": " + std::to_string(expected) + " orthogonal diagonal mate"), std::string::npos)
        << out.headers[0];
    ASSERT_EQ(out.mates.size(), expected);
    for (std::size_t i = 0; i < out.mates.size(); ++i) {
        const Square& mate = out.mates[i];
        EXPECT_TRUE(reference::is_diagonal_latin(mate)) << i;
        EXPECT_TRUE(mate_reference::are_orthogonal(square, mate)) << i;
        for (int c2 = 0; c2 < 10; ++c2)
            EXPECT_EQ(mate.cells[c2], c2) << "first row reads 0 1 ... 9";
        if (i > 0) {
            EXPECT_LT(compare_squares(out.mates[i - 1], mate), 0) << "increasing, so no mate twice";
        }
    }

    const CommandResult count = run_command({DLSMATE_MATES, "--count", directory + "/square.txt"});
    EXPECT_EQ(count.status, 0);
    EXPECT_EQ(count.out, std::to_string(expected) + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Squares, Mates,
    testing::Values(MateCase{"self_orthogonal", data + "/self-orthogonal-10.txt", 0},
                    MateCase{"sample_square", data + "/sample-square.txt", 0},
                    MateCase{"smallest_of_its_class_20", tools_data + "/class-with-mates-20.txt", 0},
                    MateCase{"not_the_smallest_of_its_class_20", tools_data + "/class-with-mates-20.txt", 1},
                    MateCase{"square_of_58", tools_data + "/mate-square-58.txt", 0}),
    [](const testing::TestParamInfo<MateCase>& info) { return std::string(info.param.name); });

TEST(MatesOfTheSelfOrthogonalSquare, include_its_transpose)
{
    const Square square = square_from_file(data + "/self-orthogonal-10.txt");
    Square transpose{};
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            transpose.cells[10 * r + c] = square.cells[10 * c + r];
    // Named so that the first row reads 0 1 ... 9.
    int rename[10];
    for (int c = 0; c < 10; ++c)
        rename[transpose.cells[c]] = c;
    for (auto& cell : transpose.cells)
        cell = static_cast<std::uint8_t>(rename[cell]);
    const CommandResult run = run_command({DLSMATE_MATES, data + "/self-orthogonal-10.txt"});
    ASSERT_EQ(run.status, 0) << run.err;
    bool found = false;
    for (const Square& mate : parse_output(run.out).mates)
        found = found || compare_squares(mate, transpose) == 0;
    EXPECT_TRUE(found);
}

TEST(MatesCount, of_squares_without_mates_is_zero)
{
    // The first square of diagonal index 1 has no orthogonal diagonal mate; the
    // others are the squares the sample's walk passes before and after its find.
    std::string squares;
    std::vector<Square> given = passing_squares(workunit_of(1, 1, filled_square(0), filled_square(9)), 1);
    const std::vector<Square> sample_walk = passing_squares(read_file(std::string(DLSMATE_SAMPLES_DIR) + "/sample.wu"), 14);
    given.push_back(sample_walk.at(11));
    given.push_back(sample_walk.at(13));
    for (const Square& s : given) {
        EXPECT_EQ(mate_reference::count_mates(s), 0u);
        squares += record_of(s);
    }
    const std::string directory = make_temporary_directory();
    write_file(directory + "/squares.txt", squares);
    const CommandResult count = run_command({DLSMATE_MATES, "--count", directory + "/squares.txt"});
    EXPECT_EQ(count.status, 0) << count.err;
    EXPECT_EQ(count.out, "0\n0\n0\n");
}

TEST(MatesInput, a_result_file_gives_its_squares_before_the_status_line)
{
    // The sample run: its record, then the status line and two closing records.
    const std::string result = run_in_process(read_file(std::string(DLSMATE_SAMPLES_DIR) + "/sample.wu"));
    const std::string directory = make_temporary_directory();
    write_file(directory + "/sample.out", result);
    const CommandResult count = run_command({DLSMATE_MATES, "--count", directory + "/sample.out"});
    EXPECT_EQ(count.status, 0) << count.err;
    EXPECT_EQ(count.out, "1\n");
}

TEST(MatesInput, its_own_output_reads_back_as_squares)
{
    // Each mate of the sample square has the sample square, renamed, as a mate.
    const std::string directory = make_temporary_directory();
    const CommandResult mates = run_command({DLSMATE_MATES, data + "/sample-square.txt"});
    ASSERT_EQ(mates.status, 0);
    write_file(directory + "/mates.txt", mates.out);
    const CommandResult again = run_command({DLSMATE_MATES, directory + "/mates.txt"});
    ASSERT_EQ(again.status, 0) << again.err;
    const Square sample = square_from_file(data + "/sample-square.txt");
    for (const Square& mate : parse_output(again.out).mates)
        EXPECT_TRUE(mate_reference::are_orthogonal(mate, parse_output(mates.out).mates.at(0)));
    EXPECT_EQ(parse_output(again.out).mates.size(), mate_reference::count_mates(parse_output(mates.out).mates.at(0)));
    EXPECT_TRUE(mate_reference::are_orthogonal(sample, parse_output(mates.out).mates.at(0)));
}

struct BadInput {
    const char* name;
    const char* content; // nullptr: the file does not exist
    const char* message;
};

void PrintTo(const BadInput& c, std::ostream* out)
{
    *out << c.name;
}

class MatesRefuses : public testing::TestWithParam<BadInput> {};

TEST_P(MatesRefuses, bad_input_with_status_1_and_prints_nothing)
{
    const BadInput& c = GetParam();
    const std::string directory = make_temporary_directory();
    const std::string good = read_file(data + "/sample-square.txt");
    write_file(directory + "/good.txt", good);
    if (c.content != nullptr)
        write_file(directory + "/bad.txt", c.content);
    // A good file first: nothing is printed for it either.
    const CommandResult run = run_command({DLSMATE_MATES, directory + "/good.txt", directory + "/bad.txt"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, MatesRefuses,
    testing::Values(BadInput{"missing_file", nullptr, "cannot open"},
                    BadInput{"a_value_above_9", "0 1 2 3 4 5 6 7 8 10\n", "line 1: not ten values 0-9"},
                    BadInput{"nine_values_in_a_row", "0 1 2 3 4 5 6 7 8\n", "line 1: not ten values 0-9"},
                    BadInput{"an_incomplete_square", "# three rows\n0 1 2 3 4 5 6 7 8 9\n1 2 3 4 5 6 7 8 9 0\n"
                                                     "2 3 4 5 6 7 8 9 0 1\n",
                             "line 2: the square has only 3 of 10 rows"},
                    BadInput{"a_latin_square_that_is_not_diagonal",
                             "0 1 2 3 4 5 6 7 8 9\n1 2 3 4 5 6 7 8 9 0\n2 3 4 5 6 7 8 9 0 1\n3 4 5 6 7 8 9 0 1 2\n"
                             "4 5 6 7 8 9 0 1 2 3\n5 6 7 8 9 0 1 2 3 4\n6 7 8 9 0 1 2 3 4 5\n7 8 9 0 1 2 3 4 5 6\n"
                             "8 9 0 1 2 3 4 5 6 7\n9 0 1 2 3 4 5 6 7 8\n",
                             "square 1 (line 1): not a diagonal Latin square: the main diagonal holds 0 twice"}),
    [](const testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

TEST(MateGuard, a_square_with_more_transversals_than_the_store_holds_is_reported_not_searched)
{
    // Not a Latin square: every row reads 0-9, so any ten cells in different
    // columns hold different values and the diagonal transversals run into the
    // hundreds of thousands.  The worker's mate search would end the process.
    Square rows_alike{};
    for (int i = 0; i < 100; ++i)
        rows_alike.cells[i] = static_cast<std::uint8_t>(i % 10);
    const MateAnswer answer = check_mate(rows_alike);
    EXPECT_TRUE(answer.too_many_transversals);
    EXPECT_GT(answer.transversals, 10000);
    const MateList list = all_mates(rows_alike);
    EXPECT_TRUE(list.too_many_transversals);
    EXPECT_TRUE(list.mates.empty());
    // The process is still here, and the next square is answered normally.
    EXPECT_TRUE(check_mate(square_from_file(data + "/sample-square.txt")).has_mate);
}

// --- Every tool's --help -----------------------------------------------------------

class Help : public testing::TestWithParam<const char*> {};

TEST_P(Help, prints_a_usage_line_and_an_example)
{
    const std::string tool = GetParam();
    const CommandResult help = run_command({tool, "--help"});
    EXPECT_EQ(help.status, 0);
    const std::string name = tool.substr(tool.find_last_of('/') + 1);
    EXPECT_EQ(help.out.rfind("Usage: " + name + " ", 0), 0u) << help.out;
    EXPECT_NE(help.out.find("Example"), std::string::npos);
    EXPECT_NE(help.out.find("\n  " + name + " "), std::string::npos) << "an example command line";
    EXPECT_EQ(help.err, "");
}

INSTANTIATE_TEST_SUITE_P(Tools, Help, testing::Values(DLSMATE_SPLIT, DLSMATE_NEXT, DLSMATE_CHECK, DLSMATE_MATES));

} // namespace
