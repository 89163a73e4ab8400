// The built worker, linked with the real BOINC library, run in fresh
// directories: exit statuses, messages and result files, byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "reference/enumeration_reference.h"
#include "test_squares.h"
#include "worker_run.h"

namespace {

using Lines = std::vector<std::string>;

const std::string standalone_line = "<prefix> Can't open init data file - running in standalone mode";
const std::string finish_line = "<prefix> called boinc_finish(0)";

std::string digits(const Square& s, const std::string& row_end = "\n")
{
    std::string text;
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            text += static_cast<char>(s.cells[10 * r + c] + '0') + (c < 9 ? std::string(" ") : row_end);
    return text;
}

// Index 1 from its first square with a limit of one: a 432-byte result.
const std::string first_workunit = "1 1\n" + digits(Square{}) + digits(filled_square(9));

std::string first_result()
{
    return "X\r\n1 1\r\n" + record_of(reference::first_square(0)) + record_of(filled_square(9));
}

WorkerRun run_with_input(const std::string& workunit, const std::vector<std::string>& arguments = {"in", "out"})
{
    const std::string dir = make_temporary_directory();
    write_file(dir + "/in", workunit);
    return run_worker(dir, arguments);
}

TEST(Worker, AWrongArgumentCountEndsAtOnceWithoutTouchingAnything)
{
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, {"in"}, {"in", "out", "extra"}}) {
        const std::string dir = make_temporary_directory();
        const WorkerRun run = run_worker(dir, arguments);
        EXPECT_EQ(run.exit_status, 1);
        EXPECT_EQ(run.console_output, "");
        EXPECT_TRUE(directory_entries(dir).empty()) << "the library must not have been started";
    }
}

TEST(Worker, AFailingLibraryStartEndsWithItsErrorCode)
{
    // The library cannot open stderr.txt when a directory has that name: -108.
    const std::string dir = make_temporary_directory();
    write_file(dir + "/in", first_workunit);
    std::filesystem::create_directory(dir + "/stderr.txt");
    const WorkerRun run = run_worker(dir, {"in", "out"});
    EXPECT_EQ(run.exit_status, (-108) & 0xFF);
    EXPECT_FALSE(file_exists(dir + "/out"));
}

TEST(Worker, AMissingInputFileIsReportedWithItsResolvedName)
{
    const std::string dir = make_temporary_directory();
    const WorkerRun run = run_worker(dir, {"missing.wu", "out"});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.log, (Lines{standalone_line, "<prefix> Couldn't find input file, resolved name missing.wu."}));
    EXPECT_EQ(read_file(dir + "/stderr.txt").back(), '\n');
    EXPECT_FALSE(file_exists(dir + "/out"));
    EXPECT_FALSE(file_exists(dir + "/boinc_finish_called"));
}

TEST(Worker, ARejectedWorkUnitLeavesAnExistingResultUntouched)
{
    const std::string squares = digits(Square{}) + digits(filled_square(9));
    const std::string cases[] = {
        "0 1\n" + squares,           "68 1\n" + squares, "-1 1\n" + squares, "1 0\n" + squares,
        ("1 1\n" + squares).substr(0, 150), "1 1\n" + squares.substr(0, 100) + "a" + squares.substr(101),
        "",
    };
    for (const std::string& workunit : cases) {
        const std::string dir = make_temporary_directory();
        write_file(dir + "/in", workunit);
        write_file(dir + "/out", "earlier result");
        const WorkerRun run = run_worker(dir, {"in", "out"});
        EXPECT_EQ(run.exit_status, 1) << workunit;
        EXPECT_EQ(run.log, (Lines{standalone_line, "Invalid input format"})) << workunit;
        EXPECT_EQ(read_file(dir + "/out"), "earlier result");
        EXPECT_FALSE(file_exists(dir + "/boinc_finish_called"));
    }
}

TEST(Worker, AResultThatCannotBeCreatedIsReported)
{
    const std::string dir = make_temporary_directory();
    write_file(dir + "/in", first_workunit);
    std::filesystem::create_directory(dir + "/out");
    const WorkerRun run = run_worker(dir, {"in", "out"});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.log, (Lines{standalone_line, "<prefix> Couldn't find output file, resolved name out."}));
    EXPECT_FALSE(file_exists(dir + "/boinc_finish_called"));
}

TEST(Worker, AResultThatCannotBeWrittenIsAFailureNotACompletion)
{
    const WorkerRun run = run_with_input(first_workunit, {"in", "/dev/full"});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.log, (Lines{standalone_line, "<prefix> Couldn't write output file, resolved name /dev/full."}));
    EXPECT_FALSE(file_exists(run.directory + "/boinc_finish_called"));
}

TEST(Worker, ACompleteRunWritesTheResultAndReportsCompletion)
{
    const WorkerRun run = run_with_input(first_workunit);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.console_output, "");
    EXPECT_EQ(run.log, (Lines{standalone_line, finish_line}));
    EXPECT_EQ(read_file(run.directory + "/out"), first_result());
    EXPECT_TRUE(file_exists(run.directory + "/boinc_finish_called"));
}

// The same work unit laid out differently reads the same.
class WorkUnitLayout : public testing::TestWithParam<std::string> {};

TEST_P(WorkUnitLayout, GivesTheSameResult)
{
    std::string text;
    const std::string layout = GetParam();
    for (char ch : first_workunit) {
        if (layout == "one-line")
            text += ch == '\n' ? ' ' : ch;
        else if (layout == "one-number-per-line")
            text += ch == ' ' ? '\n' : ch;
        else if (layout == "crlf")
            text += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    }
    if (layout == "trailing-text")
        text = first_workunit + "12 garbage\n\x01\xff";
    const WorkerRun run = run_with_input(text);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(read_file(run.directory + "/out"), first_result());
}

INSTANTIATE_TEST_SUITE_P(Worker, WorkUnitLayout,
                         testing::Values("one-line", "one-number-per-line", "crlf", "trailing-text"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& ch : name)
                                 if (ch == '-')
                                     ch = '_';
                             return name;
                         });

TEST(Worker, EndSquareValuesAreKeptAsTheirLowEightBits)
{
    Square end = filled_square(9);
    std::string text = "1 1\n" + digits(Square{}) + "300 " + digits(end).substr(2);
    end.cells[0] = 44; // written as the character 44 + 48, a backslash
    const WorkerRun run = run_with_input(text);
    EXPECT_EQ(run.exit_status, 0);
    const std::string result = read_file(run.directory + "/out");
    ASSERT_EQ(result.size(), 432u);
    EXPECT_EQ(result.substr(220), record_of(end));
}

} // namespace
