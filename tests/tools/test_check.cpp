// dlsmate-check: accepts what the worker writes, rejects every kind of damage
// with one line saying what and where, and compares replicas.

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support.h"

namespace {

const std::string samples = DLSMATE_SAMPLES_DIR;
const std::string data = DLSMATE_TESTDATA_DIR;
const std::string tools_data = DLSMATE_TOOLS_TESTDATA_DIR;

Square sample_square()
{
    return square_from_file(data + "/sample-square.txt");
}

std::string sample_unit(std::uint64_t limit, const Square& end = filled_square(9))
{
    // The sample work unit: diagonal index 65, start square's first six rows kept.
    const std::vector<long long> n = numbers_of(read_file(samples + "/sample.wu"));
    Square start{};
    for (int i = 0; i < 100; ++i)
        start.cells[i] = static_cast<std::uint8_t>(n[2 + i]);
    return workunit_of(65, limit, start, end);
}

CommandResult check(const std::string& unit, const std::string& result)
{
    const std::string directory = make_temporary_directory();
    write_file(directory + "/unit.wu", unit);
    write_file(directory + "/unit.out", result);
    return run_command({DLSMATE_CHECK, directory + "/unit.wu", directory + "/unit.out"});
}

// --- Results the worker writes ------------------------------------------------

struct GoodCase {
    const char* name;
    std::function<std::string()> unit;
    const char* summary;
};

// A case prints as its name, not as its bytes.
void PrintTo(const GoodCase& c, std::ostream* out)
{
    *out << c.name;
}

class CheckAccepts : public testing::TestWithParam<GoodCase> {};

TEST_P(CheckAccepts, every_result_the_worker_writes)
{
    const GoodCase& c = GetParam();
    const std::string unit = c.unit();
    const CommandResult result = check(unit, run_in_process(unit));
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find(c.summary), std::string::npos) << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    Runs, CheckAccepts,
    testing::Values(
        GoodCase{"sample_stopped_at_its_limit", [] { return sample_unit(20); },
                 "valid records=1 passing=20 stop=limit own_records=1 own_passing=20"},
        GoodCase{"stopped_at_its_limit_on_the_square_with_a_mate", [] { return sample_unit(13); },
                 "valid records=1 passing=13 stop=limit own_records=1 own_passing=13"},
        GoodCase{"stopped_at_its_end_square_which_has_a_mate", [] { return sample_unit(100, sample_square()); },
                 "valid records=1 passing=13 stop=end own_records=0 own_passing=12"},
        GoodCase{"no_square_with_a_mate", [] { return workunit_of(1, 3, filled_square(0), filled_square(9)); },
                 "valid records=0 passing=3 stop=limit own_records=0 own_passing=3"},
        GoodCase{"ran_to_the_end_of_the_space",
                 [] {
                     std::vector<int> tail = free_values_of(reference::last_square(57));
                     tail.resize(60);
                     return workunit_of(58, 1000, reference::square_with_prefix(57, tail, -1), filled_square(9));
                 },
                 "stop=exhausted"},
        GoodCase{"continuation_whose_start_square_replays_in_full",
                 [] { return workunit_of(65, 20, reference::square_with_prefix(64, free_values_of(sample_square()), 0), filled_square(9)); },
                 "valid records=0 passing=20 stop=limit"},
        GoodCase{"start_values_that_are_not_digits_stop_the_replay",
                 [] {
                     std::vector<int> prefix = free_values_of(sample_square());
                     prefix.resize(44);
                     prefix.push_back(300);
                     return workunit_of(65, 30, reference::square_with_prefix(64, prefix, 0), filled_square(9));
                 },
                 "valid records=1"}),
    [](const testing::TestParamInfo<GoodCase>& info) { return std::string(info.param.name); });

// --- Damaged results -----------------------------------------------------------

// The sample run with limit 20 is laid out as: record 1 (the square with a
// mate) at byte 0, the status line "X\r\n65 20\r\n" at 212, the stop square at
// 222, the end square at 434; 646 bytes.
constexpr std::size_t status_at = 212;
constexpr std::size_t stop_at = 222;
constexpr std::size_t end_at = 434;

// The n-th square (from 1) that passes the filter in the sample's walk.
Square sample_passing(std::size_t n)
{
    static const std::vector<Square> passing = passing_squares(sample_unit(20), 20);
    return passing.at(n - 1);
}

struct BadCase {
    const char* name;
    std::function<std::string()> unit;                    // the work unit
    std::function<std::string(std::string)> damage;       // applied to the worker's result
    const char* where;
    const char* what;
};

void PrintTo(const BadCase& c, std::ostream* out)
{
    *out << c.name;
}

std::string replaced(std::string bytes, std::size_t at, const std::string& with, std::size_t length)
{
    return bytes.replace(at, length, with);
}

class CheckRejects : public testing::TestWithParam<BadCase> {};

TEST_P(CheckRejects, damaged_results_with_one_line_saying_what_and_where)
{
    const BadCase& c = GetParam();
    const std::string unit = c.unit();
    const std::string good = run_in_process(unit);
    const CommandResult result = check(unit, c.damage(good));
    EXPECT_EQ(result.status, 1) << result.out << result.err;
    const std::string line = std::string(c.where) + ": " + c.what;
    EXPECT_NE(result.out.find(line), std::string::npos) << "expected a line with\n  " << line << "\ngot\n" << result.out;
    EXPECT_EQ(result.out.find("valid"), std::string::npos);
}

const auto sample20 = [] { return sample_unit(20); };

INSTANTIATE_TEST_SUITE_P(
    Damage, CheckRejects,
    testing::Values(
        BadCase{"a_flipped_digit", sample20, [](std::string b) { return replaced(b, 2, "7", 1); },
                "record 1 at byte 0", "not a diagonal Latin square: row 0 holds 7 twice"},
        BadCase{"a_letter_for_a_digit", sample20, [](std::string b) { return replaced(b, 4, "a", 1); },
                "record 1 at byte 0", "byte 4 is 'a', expected a digit for row 0 column 2"},
        BadCase{"a_missing_line_end", sample20, [](std::string b) { return replaced(b, 19, " ", 1); },
                "record 1 at byte 0", "byte 19 is a space, expected CR ending row 0"},
        BadCase{"a_truncated_record", sample20, [](std::string b) { return b.substr(0, 100); },
                "record 1 at byte 0", "truncated: 100 of 212 bytes"},
        BadCase{"a_truncated_end_square_record", sample20, [](std::string b) { return b.substr(0, b.size() - 10); },
                "end square record at byte 434", "truncated: 202 of 212 bytes"},
        BadCase{"bytes_after_the_end_square", sample20, [](std::string b) { return b + "\r\n"; }, "byte 646",
                "2 bytes after the end square record"},
        BadCase{"a_count_above_the_limit", sample20,
                [](std::string b) { return replaced(b, status_at, status_line(65, 21), 10); }, "status line at byte 212",
                "count 21 is above the work unit's square limit 20"},
        BadCase{"a_count_short_of_the_limit", sample20,
                [](std::string b) { return replaced(b, status_at, status_line(65, 19), 10); }, "status line at byte 212",
                "the run stopped below the end square with count 19, short of the limit 20"},
        BadCase{"a_count_of_0", sample20, [](std::string b) { return replaced(b, status_at, status_line(65, 0), 10); },
                "status line at byte 212", "count 0"},
        BadCase{"a_count_below_the_squares_shown", [] { return sample_unit(100, sample_passing(20)); },
                [](std::string b) {
                    // Stopped at the end square: a recorded square besides the stop square.
                    return replaced(b, status_at, status_line(65, 1), 10);
                },
                "status line at byte 212", "count 1 is below the 2 different squares"},
        BadCase{"another_diagonal_index", sample20,
                [](std::string b) { return replaced(b, status_at, status_line(66, 20), 10); }, "status line at byte 212",
                "diagonal index 66, the work unit's is 65"},
        BadCase{"a_leading_zero_in_the_count", sample20,
                [](std::string b) { return replaced(b, status_at, "X\r\n65 020\r\n", 10); }, "status line at byte 212",
                "not \"X\" CR LF"},
        BadCase{"another_end_square", sample20, [](std::string b) { return replaced(b, b.size() - 5, "8", 1); },
                "end square record at byte 434", "not the work unit's end square (first difference at byte 641)"},
        BadCase{"a_square_without_a_mate", sample20,
                [](std::string b) { return replaced(b, 0, record_of(sample_passing(19)), 212); }, "record 1 at byte 0",
                "has no orthogonal diagonal mate"},
        BadCase{"the_same_record_twice", sample20,
                [](std::string b) { return record_of(sample_square()) + b; }, "record 2 at byte 212",
                "not above the record before it (byte 0)"},
        BadCase{"swapped_records", sample20,
                [](std::string b) { return b.substr(0, 212) + record_of(sample_passing(12)) + b.substr(212); },
                "record 2 at byte 212",
                "not above the record before it (byte 0)"},
        BadCase{"a_record_above_the_stop_square", sample20,
                [](std::string b) { return replaced(b, stop_at, record_of(sample_passing(12)), 212); },
                "record 1 at byte 0", "above the stop square (byte 222)"},
        BadCase{"a_record_before_the_walk", sample20,
                [](std::string b) {
                    const Square first = passing_squares(workunit_of(65, 1, filled_square(0), filled_square(9)), 1).at(0);
                    return replaced(b, 0, record_of(first), 212);
                },
                "record 1 at byte 0",
                "lies before the walk of the work unit, which starts at the first square whose first 48 free cells "
                "are the start square's"},
        BadCase{"a_square_of_another_space", sample20,
                [](std::string b) {
                    return replaced(b, 0, record_of(square_from_file(tools_data + "/mate-square-58.txt")), 212);
                },
                "record 1 at byte 0", "not a square of the work unit's space: anti-diagonal reads"},
        BadCase{"a_square_that_is_not_the_smallest_of_its_class", [] { return workunit_of(20, 1, filled_square(0), filled_square(9)); },
                [](std::string) {
                    // A square with a mate that the filter rejects, recorded and
                    // given as the square at which the run stopped at its limit.
                    const Square failing = squares_from_file(tools_data + "/class-with-mates-20.txt")[1];
                    return record_of(failing) + status_line(20, 1) + record_of(failing) + record_of(filled_square(9));
                },
                "record 1 at byte 0", "not the smallest square of its symmetry class"},
        BadCase{"a_stop_square_that_is_not_the_smallest_of_its_class",
                [] { return workunit_of(20, 1, filled_square(0), filled_square(9)); },
                [](std::string) {
                    const Square failing = squares_from_file(tools_data + "/class-with-mates-20.txt")[1];
                    return status_line(20, 1) + record_of(failing) + record_of(filled_square(9));
                },
                "stop square record at byte 9", "not the smallest square of its symmetry class"},
        BadCase{"a_stop_square_with_a_mate_left_out", [] { return sample_unit(13); },
                [](std::string b) { return b.substr(212); }, "stop square record at byte 10",
                "has an orthogonal diagonal mate, but is not the last record before the status line"},
        BadCase{"a_stop_square_that_is_not_latin", sample20,
                [](std::string b) { return replaced(b, stop_at, record_of(filled_square(3)), 212); },
                "stop square record at byte 222", "not a diagonal Latin square: row 0 holds 3 twice"},
        BadCase{"no_closing_block_at_the_limit", [] { return sample_unit(1); },
                [](std::string) { return record_of(sample_square()); }, "byte 212",
                "no closing block after 1 records: the run stops at its limit of 1 squares"},
        BadCase{"no_closing_block_past_the_end_square", [] { return sample_unit(20, sample_passing(2)); },
                [](std::string) { return record_of(sample_square()); }, "record 1 at byte 0",
                "not below the end square, yet the result has no closing block"},
        BadCase{"a_record_past_the_end_square_before_the_stop", [] { return sample_unit(20, sample_passing(12)); },
                [](std::string b) {
                    // The run went on past the end square to the sample square.
                    return record_of(sample_square()) + status_line(65, 13) + record_of(sample_passing(14)) +
                           b.substr(b.size() - 212);
                },
                "record 1 at byte 0", "not below the end square, yet the run went on past it"}),
    [](const testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

TEST(CheckTestData, squares_are_what_the_tests_take_them_for)
{
    const std::vector<Square> twenty = squares_from_file(tools_data + "/class-with-mates-20.txt");
    ASSERT_EQ(twenty.size(), 2u);
    EXPECT_EQ(compare_squares(symmetry_reference::class_minimum(twenty[0]), twenty[0]), 0) << "the smallest of its class";
    EXPECT_EQ(compare_squares(symmetry_reference::class_minimum(twenty[1]), twenty[0]), 0) << "the same class, not the smallest";
    const Square fifty_eight = square_from_file(tools_data + "/mate-square-58.txt");
    for (const Square& s : {twenty[0], twenty[1], fifty_eight, sample_square()}) {
        EXPECT_TRUE(reference::is_diagonal_latin(s));
        EXPECT_GT(mate_reference::count_mates(s), 0u);
    }
    EXPECT_EQ(mate_reference::count_mates(sample_passing(19)), 0u);
    EXPECT_EQ(mate_reference::count_mates(sample_passing(12)), 0u);
    EXPECT_EQ(compare_squares(sample_passing(13), sample_square()), 0);
}

TEST(CheckRefuses, a_work_unit_the_worker_refuses_with_status_2)
{
    const CommandResult result = check("68 20\n", run_in_process(sample_unit(20)));
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("the diagonal index, is 68, not 1-67"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
}

TEST(CheckRefuses, a_missing_result_with_status_2)
{
    const std::string directory = make_temporary_directory();
    write_file(directory + "/unit.wu", sample_unit(20));
    const CommandResult result = run_command({DLSMATE_CHECK, directory + "/unit.wu", directory + "/none"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("cannot open " + directory + "/none"), std::string::npos) << result.err;
}

// --- Replicas ---------------------------------------------------------------------

struct CompareCase {
    const char* name;
    std::function<std::string(std::string)> other;
    int status;
    const char* message;
};

void PrintTo(const CompareCase& c, std::ostream* out)
{
    *out << c.name;
}

class CheckCompare : public testing::TestWithParam<CompareCase> {};

TEST_P(CheckCompare, says_whether_two_replicas_agree)
{
    const CompareCase& c = GetParam();
    const std::string result = run_in_process(sample_unit(20));
    const std::string directory = make_temporary_directory();
    write_file(directory + "/a", result);
    write_file(directory + "/b", c.other(result));
    const CommandResult compare = run_command({DLSMATE_CHECK, "--compare", directory + "/a", directory + "/b"});
    EXPECT_EQ(compare.status, c.status);
    EXPECT_NE(compare.out.find(c.message), std::string::npos) << compare.out;
}

INSTANTIATE_TEST_SUITE_P(
    Replicas, CheckCompare,
    testing::Values(CompareCase{"the_same_result", [](std::string b) { return b; }, 0, "equivalent"},
                    CompareCase{"a_digit_of_the_stop_square", [](std::string b) { return replaced(b, 300, "5", 1); }, 1,
                                "differ from byte 300 on, in the stop square record"},
                    CompareCase{"a_record_less", [](std::string b) { return b.substr(212); }, 1,
                                "differ from byte 0 on, in record 1"},
                    CompareCase{"another_count", [](std::string b) { return replaced(b, 218, "1", 1); }, 1,
                                "in the status line"}),
    [](const testing::TestParamInfo<CompareCase>& info) { return std::string(info.param.name); });

// --- Finding the work unit by the result's BOINC name ------------------------------

struct NameCase {
    const char* name;
    const char* workunit_file;
    const char* result_file;
    int status;
};

void PrintTo(const NameCase& c, std::ostream* out)
{
    *out << c.name;
}

class CheckWorkunitDir : public testing::TestWithParam<NameCase> {};

TEST_P(CheckWorkunitDir, finds_the_work_unit_by_the_result_file_name)
{
    const NameCase& c = GetParam();
    const std::string directory = make_temporary_directory();
    const std::string unit = sample_unit(20);
    write_file(directory + "/" + c.workunit_file, unit);
    write_file(directory + "/" + c.result_file, run_in_process(unit));
    const CommandResult result =
        run_command({DLSMATE_CHECK, "--workunit-dir", directory, directory + "/" + c.result_file});
    EXPECT_EQ(result.status, c.status) << result.out << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Names, CheckWorkunitDir,
    testing::Values(NameCase{"replica_and_file_index", "d65-k0-000001.wu", "d65-k0-000001_1_0", 0},
                    NameCase{"with_a_random_part", "d65-k0-000001", "d65-k0-000001_0_r1795318418_0", 0},
                    NameCase{"underscores_in_the_work_unit_name", "wu_65_0001.wu", "wu_65_0001_1_r1804289383_0", 0},
                    NameCase{"a_file_part_that_is_a_word", "wu_65_0001.wu", "wu_65_0001_0_out", 0},
                    NameCase{"a_random_part_and_a_word", "wu_65_0001.wu", "wu_65_0001_3_r77_out", 0},
                    NameCase{"no_such_work_unit", "d65-k0-000002.wu", "d65-k0-000001_0_0", 2},
                    NameCase{"replica_not_a_number", "wu_65_0001.wu", "wu_65_0001_a_0", 2},
                    NameCase{"nothing_after_the_last_underscore", "wu_65_0001.wu", "wu_65_0001_0_", 2},
                    NameCase{"not_a_boinc_name", "d65-k0-000001.wu", "d65-k0-000001.out", 2}),
    [](const testing::TestParamInfo<NameCase>& info) { return std::string(info.param.name); });

// The parse names the work unit it looked for.
TEST(CheckWorkunitDir, a_missing_work_unit_is_named_with_both_file_names_tried)
{
    const std::string directory = make_temporary_directory();
    write_file(directory + "/wu_65_0001_0_r12_0", run_in_process(sample_unit(20)));
    const CommandResult result =
        run_command({DLSMATE_CHECK, "--workunit-dir", directory, directory + "/wu_65_0001_0_r12_0"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "dlsmate-check: no work unit " + directory + "/wu_65_0001 or " + directory +
                              "/wu_65_0001.wu for " + directory + "/wu_65_0001_0_r12_0\n");
}

// --- Strict mode: a missing closing block ---------------------------------------

enum class Mode { plain, strict, workunit_dir };

struct StrictCase {
    const char* name;
    Mode mode;
    bool end_all_nines;  // the work unit's end square; else all eights, above every square of the space
    std::size_t kept;    // bytes of the worker's result kept (its whole result is 646 bytes)
    int status;
    const char* out;     // after "<result path>: "
};

void PrintTo(const StrictCase& c, std::ostream* out)
{
    *out << c.name;
}

class CheckStrict : public testing::TestWithParam<StrictCase> {};

TEST_P(CheckStrict, requires_the_closing_block_unless_the_end_square_is_all_nines)
{
    const StrictCase& c = GetParam();
    const std::string directory = make_temporary_directory();
    const std::string unit = sample_unit(20, c.end_all_nines ? filled_square(9) : filled_square(8));
    const std::string result = run_in_process(unit);
    ASSERT_EQ(result.size(), 646u);
    write_file(directory + "/unit.wu", unit);
    const std::string result_path = directory + "/unit_0_r5_0";
    write_file(result_path, result.substr(0, c.kept));
    std::vector<std::string> argv = {DLSMATE_CHECK};
    if (c.mode == Mode::plain)
        argv.insert(argv.end(), {directory + "/unit.wu", result_path});
    else if (c.mode == Mode::strict)
        argv.insert(argv.end(), {"--strict", directory + "/unit.wu", result_path});
    else
        argv.insert(argv.end(), {"--workunit-dir", directory, result_path});
    const CommandResult check = run_command(argv);
    EXPECT_EQ(check.status, c.status);
    EXPECT_EQ(check.out, result_path + ": " + c.out + "\n");
    EXPECT_EQ(check.err, "");
}

const char* const strict_refusal_of_0 =
    "end of file at byte 0: no closing block after 0 records: a run of this work unit writes one, since only a unit whose end square "
    "is the all-nines square can run out of squares (strict check)";
const char* const strict_refusal_of_1 =
    "end of file at byte 212: no closing block after 1 records: a run of this work unit writes one, since only a unit whose end "
    "square is the all-nines square can run out of squares (strict check)";
const char* const taken_as_exhausted_0 = "valid records=0 passing=unknown stop=exhausted own_records=0 own_passing=unknown";
const char* const taken_as_exhausted_1 = "valid records=1 passing=unknown stop=exhausted own_records=1 own_passing=unknown";
const char* const whole_result = "valid records=1 passing=20 stop=limit own_records=1 own_passing=20";

INSTANTIATE_TEST_SUITE_P(
    Results, CheckStrict,
    testing::Values(StrictCase{"empty_taken_as_exhausted_without_strict", Mode::plain, false, 0, 0, taken_as_exhausted_0},
                    StrictCase{"empty_refused_with_strict", Mode::strict, false, 0, 1, strict_refusal_of_0},
                    StrictCase{"empty_refused_by_the_validator_form", Mode::workunit_dir, false, 0, 1,
                               strict_refusal_of_0},
                    StrictCase{"cut_after_a_record_taken_as_exhausted_without_strict", Mode::plain, false, 212, 0,
                               taken_as_exhausted_1},
                    StrictCase{"cut_after_a_record_refused_with_strict", Mode::strict, false, 212, 1,
                               strict_refusal_of_1},
                    StrictCase{"cut_after_a_record_refused_by_the_validator_form", Mode::workunit_dir, false, 212, 1,
                               strict_refusal_of_1},
                    StrictCase{"empty_accepted_with_strict_for_an_all_nines_end", Mode::strict, true, 0, 0,
                               taken_as_exhausted_0},
                    StrictCase{"empty_accepted_by_the_validator_form_for_an_all_nines_end", Mode::workunit_dir, true,
                               0, 0, taken_as_exhausted_0},
                    StrictCase{"whole_result_accepted_with_strict", Mode::strict, false, 646, 0, whole_result},
                    StrictCase{"whole_result_accepted_by_the_validator_form", Mode::workunit_dir, false, 646, 0,
                               whole_result}),
    [](const testing::TestParamInfo<StrictCase>& info) { return std::string(info.param.name); });

TEST(CheckStrict, compare_takes_no_strict_option)
{
    const CommandResult result = run_command({DLSMATE_CHECK, "--strict", "--compare", "a", "b"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "dlsmate-check: --compare takes two result files and no other option but --quiet; see --help\n");
}

// --- The stop at the end square ---------------------------------------------------

// End squares around the sample's walk, each with the honest run's stop: a
// passing square, squares between passing squares that are not Latin or differ
// in a diagonal cell, one below the walk, one with a byte above every digit.
std::vector<std::pair<const char*, Square>> end_squares()
{
    std::vector<std::pair<const char*, Square>> ends;
    ends.emplace_back("the first passing square", sample_passing(1));
    ends.emplace_back("the fifth passing square", sample_passing(5));
    ends.emplace_back("the square with a mate", sample_square());
    std::vector<int> prefix = free_values_of(sample_passing(9));
    prefix.resize(60);
    ends.emplace_back("a prefix's start square", reference::square_with_prefix(64, prefix, -1));
    Square below_corner = sample_passing(9);
    below_corner.cells[99] = 8; // (9, 9) holds 9 in every square of the space
    ends.emplace_back("the ninth with a smaller last diagonal cell", below_corner);
    Square above_corner = sample_passing(9);
    above_corner.cells[99] = 10;
    ends.emplace_back("the ninth with a larger last diagonal cell", above_corner);
    Square large_cell = sample_passing(6);
    large_cell.cells[78] = 255;
    ends.emplace_back("the sixth with 255 in a free cell", large_cell);
    ends.emplace_back("all zeros, below the walk", filled_square(0));
    return ends;
}

TEST(CheckEndStop, accepts_a_stop_at_the_end_square_only_where_the_run_stops)
{
    for (const auto& [name, end] : end_squares()) {
        SCOPED_TRACE(name);
        const std::string unit = sample_unit(25, end);
        const std::string honest = run_in_process(unit);
        const SplitResult truth = split_result(honest);
        ASSERT_TRUE(truth.closed);
        ASSERT_GE(compare_squares(truth.stop, end), 0) << "the honest run stops at its end square";
        const CommandResult accepted = check(unit, honest);
        EXPECT_EQ(accepted.status, 0) << accepted.out;
        EXPECT_NE(accepted.out.find(" stop=end "), std::string::npos) << accepted.out;

        // Every other passing square not below the end square, given as the stop
        // with the records below the end square and its count in the walk.
        for (std::size_t j = 1; j <= 20; ++j) {
            const Square stop = sample_passing(j);
            if (compare_squares(stop, end) < 0 || compare_squares(stop, truth.stop) == 0)
                continue;
            std::string forged;
            if (compare_squares(sample_square(), end) < 0)
                forged += record_of(sample_square());
            if (j == 13) // the stop square with a mate is its last record too
                forged += record_of(stop);
            forged += status_line(65, j) + record_of(stop) + record_of(end);
            const CommandResult refused = check(unit, forged);
            EXPECT_EQ(refused.status, 1) << "stop at passing square " << j << "\n" << refused.out;
            EXPECT_NE(refused.out.find(": stop square record at byte "), std::string::npos) << refused.out;
            EXPECT_NE(refused.out.find("not below the end square, but not the first square of the walk that passes "
                                       "the filter there"),
                      std::string::npos)
                << refused.out;
        }
    }
}

// --- Bounds ---------------------------------------------------------------------

// The largest result of the sample unit with limit 20: 20 records, the status
// line "X\r\n65 20\r\n" and the two closing records.
constexpr std::size_t largest_sample20 = 20 * 212 + 10 + 424;

TEST(CheckBounds, a_file_larger_than_any_result_of_its_unit_is_refused_unread)
{
    for (const std::uint64_t size : {std::uint64_t{largest_sample20} + 1, std::uint64_t{212000000}}) {
        const std::string directory = make_temporary_directory();
        write_file(directory + "/unit.wu", sample_unit(20));
        // Sparse, and every byte a format failure: read, it would be reported as one.
        write_file(directory + "/unit.out", "");
        std::filesystem::resize_file(directory + "/unit.out", size);
        const CommandResult result = run_command({DLSMATE_CHECK, directory + "/unit.wu", directory + "/unit.out"});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, directory + "/unit.out: byte 0: " + std::to_string(size) + " bytes, more than the " +
                                  std::to_string(largest_sample20) +
                                  " bytes of the largest result a run of the work unit writes\n");
    }
}

TEST(CheckBounds, a_file_of_the_largest_size_is_read)
{
    std::string result(largest_sample20, '0');
    const CommandResult checked = check(sample_unit(20), result);
    EXPECT_EQ(checked.status, 1);
    EXPECT_EQ(checked.out.find("bytes of the largest result"), std::string::npos) << checked.out;
    EXPECT_NE(checked.out.find("record 1 at byte 0: "), std::string::npos) << checked.out;
}

TEST(CheckBounds, the_check_stops_at_the_first_invalid_record)
{
    // Twenty records, each a square without a mate and each above the last: every
    // one of them fails, and only the first is looked at.
    std::string result;
    for (std::size_t j = 1; j <= 19; ++j)
        if (j != 13)
            result += record_of(sample_passing(j));
    const CommandResult checked = check(sample_unit(20), result + record_of(filled_square(3)));
    EXPECT_EQ(checked.status, 1);
    EXPECT_EQ(checked.out.substr(checked.out.find(": ") + 2), "record 1 at byte 0: has no orthogonal diagonal mate\n");
}

TEST(CheckBounds, a_result_that_is_no_regular_file_is_not_read)
{
    const std::string directory = make_temporary_directory();
    write_file(directory + "/unit.wu", sample_unit(20));
    ASSERT_EQ(mkfifo((directory + "/unit.out").c_str(), 0600), 0);
    // Opened, a pipe without a writer would block the check for good.
    const CommandResult result = run_command({DLSMATE_CHECK, directory + "/unit.wu", directory + "/unit.out"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "dlsmate-check: cannot check " + directory + "/unit.out: not a regular file\n");
}

} // namespace
