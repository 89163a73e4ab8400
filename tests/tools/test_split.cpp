// dlsmate-split: the units of a range, run one by one, give exactly what one
// run over the range gives once the square that neighbouring units share is
// discounted.

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "filter/canonical.h"
#include "filter/prefix.h"
#include "generator/generator.h"
#include "generator/state.h"
#include "support.h"
#include "tools/lib/workunit_file.h"

namespace {

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

std::string joined(const std::vector<int>& values)
{
    std::string text;
    for (int v : values) {
        if (!text.empty())
            text += ',';
        text += std::to_string(v);
    }
    return text;
}

struct Unit {
    std::string text;
    Square start{};
    Square end{};
};

Unit unit_from(const std::string& path)
{
    Unit unit;
    unit.text = read_file(path);
    const std::vector<long long> n = numbers_of(unit.text);
    EXPECT_EQ(n.size(), 202u) << path;
    for (int i = 0; i < 100 && n.size() == 202; ++i) {
        unit.start.cells[i] = static_cast<std::uint8_t>(n[2 + i]);
        unit.end.cells[i] = static_cast<std::uint8_t>(n[102 + i]);
    }
    return unit;
}

// What a result contributes once the shared square is discounted: a run that
// stopped at its end square stopped at the first square of the next unit,
// which that unit counts (and records) again.
struct Own {
    std::vector<Square> squares;
    std::uint64_t count = 0;
    bool stopped_at_end = false;
};

Own own_part(const SplitResult& r)
{
    Own own;
    own.squares = r.found;
    EXPECT_TRUE(r.closed) << "every run of these ranges ends at an end square";
    own.stopped_at_end = r.closed && compare_squares(r.stop, r.end) >= 0;
    own.count = r.count - (own.stopped_at_end ? 1 : 0);
    if (own.stopped_at_end && !own.squares.empty() && compare_squares(own.squares.back(), r.stop) == 0)
        own.squares.pop_back();
    return own;
}

Square first_square_of(int diagonal_number)
{
    return passing_squares(workunit_of(diagonal_number, 1, filled_square(0), filled_square(9)), 1).at(0);
}

struct RangeCase {
    const char* name;
    int diagonal_number;
    const char* source; // "first": the space's first square; otherwise a test data file
    int kept;           // free cells of the source that fix the range
    int k;              // free cells fixed per unit
};

// A case prints as its name, not as its bytes.
void PrintTo(const RangeCase& c, std::ostream* out)
{
    *out << c.name;
}

class SplitThenRun : public testing::TestWithParam<RangeCase> {};

TEST_P(SplitThenRun, units_give_the_squares_and_count_of_one_run_over_the_range)
{
    const RangeCase& c = GetParam();
    const int d = c.diagonal_number - 1;
    const Square source = std::string(c.source) == "first" ? first_square_of(c.diagonal_number)
                                                           : square_from_file(std::string(DLSMATE_TESTDATA_DIR) + "/" + c.source);
    const std::vector<int> values = free_values_of(source);
    const std::vector<int> base(values.begin(), values.begin() + c.kept);

    const std::string directory = make_temporary_directory() + "/units";
    const CommandResult split = run_command({DLSMATE_SPLIT, "--quiet", "--prefix", joined(base),
                                             std::to_string(c.diagonal_number), std::to_string(c.k), "1000000",
                                             directory});
    ASSERT_EQ(split.status, 0) << split.err;
    const std::vector<std::string> paths = lines_of(split.out);

    // One unit per consistent prefix, in increasing order.
    const std::vector<std::vector<int>> prefixes = reference::consistent_prefixes(d, base, c.k);
    ASSERT_EQ(paths.size(), prefixes.size());
    std::vector<Unit> units;
    for (const std::string& path : paths)
        units.push_back(unit_from(path));
    const std::vector<int> next_range = reference::next_prefix_brute_force(d, base);
    ASSERT_FALSE(next_range.empty()) << "the range must end before the end of the space";
    const Square range_end = reference::square_with_prefix(d, next_range, 0);
    for (std::size_t i = 0; i < units.size(); ++i) {
        EXPECT_EQ(compare_squares(units[i].start, reference::square_with_prefix(d, prefixes[i], -1)), 0) << paths[i];
        EXPECT_EQ(primed_position(units[i].text), c.k) << "the replay stops right after the prefix: " << paths[i];
        const Square expected_end = i + 1 < units.size() ? reference::square_with_prefix(d, prefixes[i + 1], 0) : range_end;
        EXPECT_EQ(compare_squares(units[i].end, expected_end), 0) << paths[i];
    }

    // Every unit run as the worker runs it, then the shared squares discounted.
    std::vector<Square> split_squares;
    std::uint64_t split_count = 0;
    std::vector<SplitResult> results;
    for (const Unit& unit : units)
        results.push_back(split_result(run_in_process(unit.text)));
    for (std::size_t i = 0; i < results.size(); ++i) {
        const Own own = own_part(results[i]);
        split_squares.insert(split_squares.end(), own.squares.begin(), own.squares.end());
        split_count += own.count;
        if (own.stopped_at_end && i + 1 < units.size()) {
            // The shared square: the next unit's first passing square.
            const std::vector<Square> next_first = passing_squares(units[i + 1].text, 1);
            ASSERT_EQ(next_first.size(), 1u);
            EXPECT_EQ(compare_squares(next_first[0], results[i].stop), 0) << "unit " << i + 1;
        }
    }

    const std::string whole_unit = workunit_of(c.diagonal_number, 1000000, reference::square_with_prefix(d, base, -1), range_end);
    const Own whole = own_part(split_result(run_in_process(whole_unit)));
    EXPECT_GT(whole.count, 0u);
    EXPECT_EQ(split_count, whole.count);
    ASSERT_EQ(split_squares.size(), whole.squares.size());
    for (std::size_t i = 0; i < split_squares.size(); ++i)
        EXPECT_EQ(compare_squares(split_squares[i], whole.squares[i]), 0) << "square with a mate " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, SplitThenRun,
    testing::Values(RangeCase{"every_square_passes_58", 58, "first", 36, 38},
                    RangeCase{"sample_square_with_its_mate_65", 65, "sample-square.txt", 40, 44},
                    RangeCase{"twenty_three_symmetries_1", 1, "first", 36, 39}),
    [](const testing::TestParamInfo<RangeCase>& info) { return std::string(info.param.name); });

struct WholeSpaceCase {
    const char* name;
    const char* diagonal;
    int k;
    std::size_t units; // 0: the number of consistent prefixes of the one space
};

void PrintTo(const WholeSpaceCase& c, std::ostream* out)
{
    *out << c.name;
}

class SplitWholeSpace : public testing::TestWithParam<WholeSpaceCase> {};

TEST_P(SplitWholeSpace, units_start_at_each_prefix_and_the_last_runs_to_the_end_of_the_space)
{
    const WholeSpaceCase& c = GetParam();
    const std::string directory = make_temporary_directory() + "/units";
    const CommandResult split =
        run_command({DLSMATE_SPLIT, "--quiet", c.diagonal, std::to_string(c.k), "7", directory});
    ASSERT_EQ(split.status, 0) << split.err;
    const std::vector<std::string> paths = lines_of(split.out);
    std::size_t expected = c.units;
    if (expected == 0)
        expected = reference::consistent_prefixes(std::stoi(c.diagonal) - 1, {}, c.k).size();
    ASSERT_EQ(paths.size(), expected);
    EXPECT_EQ(directory_entries(directory).size(), expected);

    for (std::size_t i = 0; i < paths.size(); ++i) {
        const Unit unit = unit_from(paths[i]);
        const std::vector<long long> n = numbers_of(unit.text);
        EXPECT_EQ(n[1], 7) << paths[i];
        EXPECT_EQ(primed_position(unit.text), c.k) << paths[i];
        const bool last_of_space = i + 1 == paths.size() || numbers_of(read_file(paths[i + 1]))[0] != n[0];
        if (last_of_space)
            EXPECT_EQ(compare_squares(unit.end, filled_square(9)), 0) << paths[i];
        else {
            const Unit next = unit_from(paths[i + 1]);
            std::vector<int> next_prefix = free_values_of(next.start);
            next_prefix.resize(c.k);
            EXPECT_EQ(compare_squares(unit.end, reference::square_with_prefix(n[0] - 1, next_prefix, 0)), 0)
                << "the end square is the next prefix followed by zeros: " << paths[i];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Spaces, SplitWholeSpace,
                         testing::Values(WholeSpaceCase{"one_unit_per_space", "67", 0, 1},
                                         WholeSpaceCase{"first_cell_fixed", "67", 1, 0},
                                         WholeSpaceCase{"first_three_cells_fixed", "5", 3, 0},
                                         WholeSpaceCase{"all_spaces_one_unit_each", "all", 0, 67}),
                         [](const testing::TestParamInfo<WholeSpaceCase>& info) { return std::string(info.param.name); });

TEST(SplitFiles, names_carry_the_diagonal_index_k_and_a_sequence_number)
{
    const std::string directory = make_temporary_directory() + "/units";
    const CommandResult split = run_command({DLSMATE_SPLIT, "--quiet", "67", "1", "7", directory});
    ASSERT_EQ(split.status, 0) << split.err;
    const std::vector<std::string> names = directory_entries(directory);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), "d67-k1-000001.wu");
    EXPECT_EQ(lines_of(split.out).front(), directory + "/d67-k1-000001.wu");
}

struct BadSplit {
    const char* name;
    std::vector<std::string> arguments; // "DIR" stands for the output directory
    const char* message;
};

void PrintTo(const BadSplit& c, std::ostream* out)
{
    *out << c.name;
}

class SplitRefuses : public testing::TestWithParam<BadSplit> {};

TEST_P(SplitRefuses, bad_arguments_with_status_1_and_write_nothing)
{
    const BadSplit& c = GetParam();
    const std::string directory = make_temporary_directory() + "/units";
    std::vector<std::string> argv = {DLSMATE_SPLIT};
    for (const std::string& a : c.arguments)
        argv.push_back(a == "DIR" ? directory : a);
    const CommandResult split = run_command(argv);
    EXPECT_EQ(split.status, 1);
    EXPECT_NE(split.err.find(c.message), std::string::npos) << split.err;
    EXPECT_EQ(split.out, "");
    EXPECT_FALSE(file_exists(directory));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, SplitRefuses,
    testing::Values(BadSplit{"diagonal_index_0", {"0", "2", "10", "DIR"}, "diagonal index \"0\" is not 1-67"},
                    BadSplit{"diagonal_index_68", {"68", "2", "10", "DIR"}, "diagonal index \"68\" is not 1-67"},
                    BadSplit{"diagonal_index_not_a_number", {"five", "2", "10", "DIR"}, "is not 1-67 or \"all\""},
                    BadSplit{"k_80", {"5", "80", "10", "DIR"}, "K \"80\" is not 0-79"},
                    BadSplit{"limit_0", {"5", "2", "0", "DIR"}, "square limit \"0\""},
                    BadSplit{"limit_negative", {"5", "2", "-3", "DIR"}, "square limit \"-3\""},
                    BadSplit{"limit_too_large", {"5", "2", "18446744073709551616", "DIR"}, "square limit"},
                    BadSplit{"prefix_value_repeated_in_its_column", {"--prefix", "1", "5", "2", "10", "DIR"},
                             "value 1 at position 0, cell (0, 1)"},
                    BadSplit{"prefix_longer_than_k", {"--prefix", "2,3,4", "5", "2", "10", "DIR"},
                             "more than K = 2"},
                    BadSplit{"prefix_not_digits", {"--prefix", "2,13", "5", "4", "10", "DIR"}, "single digits"},
                    BadSplit{"prefix_with_all", {"--prefix", "2", "all", "2", "10", "DIR"}, "not \"all\""},
                    BadSplit{"missing_directory_argument", {"5", "2", "10"}, "expected DIAGONAL K LIMIT DIRECTORY"},
                    BadSplit{"unknown_option", {"--fast", "5", "2", "10", "DIR"}, "unknown option --fast"}),
    [](const testing::TestParamInfo<BadSplit>& info) { return std::string(info.param.name); });

// --live-only: the units whose prefix the symmetry filter proves dead left out.

std::string numbered_path(const std::string& directory, const std::string& stem, std::size_t n)
{
    char number[16];
    std::snprintf(number, sizeof number, "%06zu", n);
    return directory + "/" + stem + "-" + number + ".wu";
}

std::string stem_of(int diagonal_number, int k)
{
    char stem[16];
    std::snprintf(stem, sizeof stem, "d%02d-k%d", diagonal_number, k);
    return stem;
}

// Standard error without the progress lines, which only a slow run prints.
std::string without_progress(const std::string& err)
{
    std::string kept;
    for (const std::string& line : lines_of(err))
        if (line.find(" units written") == std::string::npos)
            kept += line + "\n";
    return kept;
}

bool is_dead(int diagonal_index, const std::vector<int>& prefix)
{
    std::vector<std::uint32_t> bits;
    for (int v : prefix)
        bits.push_back(1u << v);
    return !prefix.empty() &&
           judge_prefix(bits.data(), static_cast<int>(bits.size()), diagonal_index) == PrefixVerdict::fails;
}

struct LiveCase {
    const char* name;
    const char* diagonal;
    const char* prefix; // --prefix, or "" for the whole space
    int k;
    bool some_dead;     // whether the symmetry filter proves any prefix dead
};

void PrintTo(const LiveCase& c, std::ostream* out)
{
    *out << c.name;
}

class SplitLiveOnly : public testing::TestWithParam<LiveCase> {};

TEST_P(SplitLiveOnly, writes_the_units_of_the_plain_split_less_the_dead_ones_numbered_on)
{
    const LiveCase& c = GetParam();
    const std::string root = make_temporary_directory();
    std::vector<std::string> arguments = {std::to_string(c.k), "7"};
    if (*c.prefix != '\0')
        arguments.insert(arguments.begin(), {"--prefix", c.prefix, c.diagonal});
    else
        arguments.insert(arguments.begin(), c.diagonal);
    std::vector<std::string> plain_argv = {DLSMATE_SPLIT, "--quiet"};
    plain_argv.insert(plain_argv.end(), arguments.begin(), arguments.end());
    plain_argv.push_back(root + "/plain");
    std::vector<std::string> live_argv = {DLSMATE_SPLIT, "--live-only"};
    live_argv.insert(live_argv.end(), arguments.begin(), arguments.end());
    live_argv.push_back(root + "/live");
    const CommandResult plain = run_command(plain_argv);
    const CommandResult live = run_command(live_argv);
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_EQ(live.status, 0) << live.err;

    // The plain units that judge_prefix does not reject, in order, per space.
    std::vector<std::string> expected_paths;
    std::vector<std::string> expected_texts;
    std::string expected_err;
    int space = 0;
    std::size_t written = 0, dead = 0, all_dead = 0;
    const auto close_space = [&] {
        if (space != 0)
            expected_err += std::string("dlsmate-split: diagonal index ") + std::to_string(space) + ": " +
                            std::to_string(written) + " work units, K = " + std::to_string(c.k) +
                            ", square limit 7, " + std::to_string(dead) + " dead prefixes left out\n";
        all_dead += dead;
        written = dead = 0;
    };
    for (const std::string& path : lines_of(plain.out)) {
        const Unit unit = unit_from(path);
        const int diagonal_number = static_cast<int>(numbers_of(unit.text)[0]);
        if (diagonal_number != space) {
            close_space();
            space = diagonal_number;
        }
        std::vector<int> prefix = free_values_of(unit.start);
        prefix.resize(c.k);
        if (is_dead(diagonal_number - 1, prefix)) {
            ++dead;
            continue;
        }
        ++written;
        expected_paths.push_back(numbered_path(root + "/live", stem_of(diagonal_number, c.k), written));
        expected_texts.push_back(unit.text);
    }
    close_space();

    EXPECT_EQ(all_dead > 0, c.some_dead) << all_dead << " dead prefixes";
    EXPECT_EQ(lines_of(live.out), expected_paths);
    EXPECT_EQ(directory_entries(root + "/live").size(), expected_paths.size());
    for (std::size_t i = 0; i < expected_paths.size(); ++i)
        EXPECT_EQ(read_file(expected_paths[i]), expected_texts[i]) << expected_paths[i];
    EXPECT_EQ(without_progress(live.err), expected_err);
}

INSTANTIATE_TEST_SUITE_P(
    Spaces, SplitLiveOnly,
    testing::Values(LiveCase{"symmetric_36_three_cells_fixed", "36", "2,9,7", 8, true},
                    LiveCase{"twenty_three_symmetries_1", "1", "", 2, true},
                    LiveCase{"no_symmetry_57_loses_no_unit", "57", "", 3, false},
                    LiveCase{"k_0_one_unit_per_space_never_dead", "all", "", 0, false}),
    [](const testing::TestParamInfo<LiveCase>& info) { return std::string(info.param.name); });

TEST(SplitLiveOnlyAllDead, writes_nothing_and_says_so_even_when_quiet)
{
    const std::string directory = make_temporary_directory() + "/units";
    const CommandResult split =
        run_command({DLSMATE_SPLIT, "--quiet", "--live-only", "--prefix", "3,4,5", "36", "8", "7", directory});
    EXPECT_EQ(split.status, 0) << split.err;
    EXPECT_EQ(split.out, "");
    EXPECT_EQ(split.err, "dlsmate-split: diagonal index 36: all 32 prefixes of 8 cells are dead; no unit written\n");
    EXPECT_EQ(directory_entries(directory), std::vector<std::string>{});
    EXPECT_EQ(reference::consistent_prefixes(35, {3, 4, 5}, 8).size(), 32u);
}

// The units left out, walked square by square with the plain generator and
// the filter: no completion of their prefix passes.  The range refined lies
// under a prefix that the coarse split leaves out, where squares exist to check.
struct DeadCase {
    const char* name;
    int diagonal_number;
    const char* coarse_prefix; // with coarse_k, the coarse split
    int coarse_k;
    int kept; // free cells of the first square under the first dead coarse prefix that fix the range
    int k;
};

void PrintTo(const DeadCase& c, std::ostream* out)
{
    *out << c.name;
}

struct Walked {
    std::size_t completions = 0; // squares with the unit's prefix
    std::size_t passing = 0;     // of them, those that pass is_canonical
    std::vector<int> first;      // the first of them, in position order
};

// The completions of a unit's K-cell prefix, at most max_count of them: the
// plain generator from the unit's start square, as long as the prefix holds.
Walked walk_prefix(const std::string& path, int k, std::size_t max_count)
{
    Walked walked;
    WorkUnit unit;
    std::string error;
    EXPECT_TRUE(load_workunit(path, unit, error)) << error;
    install_workunit(unit);
    EXPECT_TRUE(prime_generator()) << path;
    std::uint32_t prefix_bits[80];
    for (int i = 0; i < k; ++i)
        prefix_bits[i] = 1u << unit.start_values[i];
    while (walked.completions < max_count && next_square()) {
        bool same_prefix = true;
        for (int i = 0; i < k; ++i)
            same_prefix = same_prefix && generator_state.chosen_bits[i] == prefix_bits[i];
        if (!same_prefix)
            break;
        if (walked.completions++ == 0)
            for (int i = 0; i < 80; ++i)
                walked.first.push_back(__builtin_ctz(generator_state.chosen_bits[i]));
        if (is_canonical(generator_state.chosen_bits))
            ++walked.passing;
    }
    generator_state = GeneratorState{};
    return walked;
}

// The paths of the plain split's units that the --live-only split leaves out.
std::vector<std::string> left_out_units(int diagonal_number, const std::string& prefix, int k, const std::string& root)
{
    const CommandResult plain = run_command({DLSMATE_SPLIT, "--quiet", "--prefix", prefix,
                                             std::to_string(diagonal_number), std::to_string(k), "7", root + "/plain"});
    const CommandResult live = run_command({DLSMATE_SPLIT, "--quiet", "--live-only", "--prefix", prefix,
                                            std::to_string(diagonal_number), std::to_string(k), "7", root + "/live"});
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(live.status, 0) << live.err;
    std::vector<std::string> live_texts;
    for (const std::string& path : lines_of(live.out))
        live_texts.push_back(read_file(path));
    std::vector<std::string> left_out;
    std::size_t next_live = 0;
    for (const std::string& path : lines_of(plain.out)) {
        if (next_live < live_texts.size() && read_file(path) == live_texts[next_live])
            ++next_live;
        else
            left_out.push_back(path);
    }
    EXPECT_EQ(next_live, live_texts.size()) << "every unit written is one of the plain split";
    return left_out;
}

class SplitLeavesOut : public testing::TestWithParam<DeadCase> {};

TEST_P(SplitLeavesOut, only_prefixes_of_which_no_completion_passes_the_filter)
{
    const DeadCase& c = GetParam();
    const std::vector<std::string> coarse =
        left_out_units(c.diagonal_number, c.coarse_prefix, c.coarse_k, make_temporary_directory());
    ASSERT_FALSE(coarse.empty());
    const Walked under = walk_prefix(coarse.front(), c.coarse_k, 1);
    ASSERT_FALSE(under.first.empty()) << coarse.front() << " has no square";
    const std::vector<int> base(under.first.begin(), under.first.begin() + c.kept);

    const std::vector<std::string> fine = left_out_units(c.diagonal_number, joined(base), c.k, make_temporary_directory());
    EXPECT_FALSE(fine.empty());
    std::size_t completions = 0;
    for (const std::string& path : fine) {
        const Walked walked = walk_prefix(path, c.k, SIZE_MAX);
        completions += walked.completions;
        EXPECT_EQ(walked.passing, 0u) << path << " is left out, but squares with its prefix pass";
    }
    EXPECT_GT(completions, 0u) << "the prefixes left out have squares to check";
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, SplitLeavesOut,
    testing::Values(DeadCase{"symmetric_36_k_40", 36, "2,9,7", 8, 36, 40},
                    DeadCase{"symmetric_36_k_48", 36, "2,9,7", 8, 44, 48},
                    DeadCase{"twenty_three_symmetries_1_k_40", 1, "2,3", 8, 36, 40}),
    [](const testing::TestParamInfo<DeadCase>& info) { return std::string(info.param.name); });

TEST(SplitFiles, one_stem_over_every_space_numbers_on)
{
    const std::string directory = make_temporary_directory() + "/units";
    const CommandResult split = run_command({DLSMATE_SPLIT, "--quiet", "--stem", "run", "all", "0", "7", directory});
    ASSERT_EQ(split.status, 0) << split.err;
    const std::vector<std::string> paths = lines_of(split.out);
    ASSERT_EQ(paths.size(), 67u);
    EXPECT_EQ(directory_entries(directory).size(), 67u);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(paths[i], numbered_path(directory, "run", i + 1));
        EXPECT_EQ(numbers_of(read_file(paths[i]))[0], static_cast<long long>(i + 1)) << paths[i];
    }
}

TEST(SplitRefusesDirectory, that_is_not_empty)
{
    const std::string directory = make_temporary_directory();
    write_file(directory + "/keep.txt", "x");
    const CommandResult split = run_command({DLSMATE_SPLIT, "5", "1", "10", directory});
    EXPECT_EQ(split.status, 1);
    EXPECT_NE(split.err.find("is not empty"), std::string::npos) << split.err;
    EXPECT_EQ(directory_entries(directory), std::vector<std::string>{"keep.txt"});
}

} // namespace
