// The built worker stopped and started again in the same directory, as a BOINC
// client does to its tasks: killed at random moments it goes on from its last
// checkpoint and ends with the uninterrupted run's result, byte for byte; a
// checkpoint it cannot use is reported, removed, and changes nothing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <random>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "filter/canonical.h"
#include "dlx/mate.h"
#include "generator/generator.h"
#include "generator/state.h"
#include "io/checkpoint.h"
#include "io/workunit.h"
#include "temporary_files.h"
#include "worker_batch.h"

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

const std::string standalone_line = "<prefix> Can't open init data file - running in standalone mode";
const std::string finish_line = "<prefix> called boinc_finish(0)";
const std::string checkpoint_file = checkpoint_name;

// BOINC's checkpoint period in standalone mode is 300 s unless init_data.xml
// sets it; the library then still runs standalone, finding no client.
const std::string one_second_period = "<app_init_data><checkpoint_period>1</checkpoint_period></app_init_data>";
const std::string shared_memory_line = "<prefix> Can't set up shared mem: -1. Will run in standalone mode.";

struct Ended {
    bool killed = false;
    int exit_status = -1;
    double cpu_seconds = 0;
};

// Waits for the worker until `deadline`, then kills it with SIGKILL.
Ended wait_or_kill(pid_t pid, std::chrono::steady_clock::time_point deadline)
{
    Ended ended;
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t done = wait4(pid, &status, WNOHANG, &usage);
        if (done == pid)
            break;
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            break;
        }
        std::this_thread::sleep_for(2ms);
    }
    ended.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    ended.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ended.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return ended;
}

Ended run_to_end(const std::string& directory)
{
    return wait_or_kill(start_worker(directory), std::chrono::steady_clock::now() + 600s);
}

// The lines of stderr.txt that the process `pid` wrote, its prefix (time of day
// and process id) shown as "<prefix>".  The library appends to the file, so
// every run in a directory adds its own lines.
Lines lines_of(const std::string& directory, pid_t pid)
{
    const std::regex prefixed("^[0-9][0-9]:[0-9][0-9]:[0-9][0-9] \\(" + std::to_string(pid) + "\\):(.*)$");
    std::istringstream log(file_exists(directory + "/stderr.txt") ? read_file(directory + "/stderr.txt") : "");
    Lines lines;
    std::string line;
    std::smatch match;
    while (std::getline(log, line))
        if (std::regex_match(line, match, prefixed))
            lines.push_back("<prefix>" + match[1].str());
    return lines;
}

// Squares passed that the checkpoint in `directory` records, or -1 when there is none.
long long recorded_count(const std::string& directory)
{
    const std::string path = directory + "/" + checkpoint_file;
    if (!file_exists(path))
        return -1;
    const std::string text = read_file(path);
    const std::size_t at = text.find("\npassing ");
    return at == std::string::npos ? -1 : std::stoll(text.substr(at + 9));
}

// A work unit of bench/units with another square limit.
std::string unit_with_limit(const std::string& name, unsigned long long limit)
{
    const std::string text = read_file(std::string(DLSMATE_BENCH_UNITS_DIR) + "/" + name + ".wu");
    const std::size_t space = text.find(' ');
    const std::size_t line_end = text.find('\n');
    return text.substr(0, space + 1) + std::to_string(limit) + text.substr(line_end);
}

struct Uninterrupted {
    std::string result;
    double cpu_seconds;
};

Uninterrupted uninterrupted_run(const std::string& workunit)
{
    const std::string directory = make_temporary_directory();
    write_file(directory + "/in", workunit);
    const Ended ended = run_to_end(directory);
    EXPECT_EQ(ended.exit_status, 0);
    return {read_file(directory + "/out"), ended.cpu_seconds};
}

struct KilledUnit {
    const char* name;
    const char* file;
    unsigned long long limit;
};

std::string unit_name(const testing::TestParamInfo<KilledUnit>& info)
{
    return info.param.name;
}

void PrintTo(const KilledUnit& unit, std::ostream* out)
{
    *out << unit.file << " with limit " << unit.limit;
}

class KilledAndRestarted : public testing::TestWithParam<KilledUnit> {};

constexpr int kills = 30;
constexpr double least_unit_cpu_seconds = 17;
constexpr double lengthened_unit_cpu_seconds = 22;

TEST_P(KilledAndRestarted, EndsWithTheUninterruptedResultAndNeverStartsOver)
{
    const KilledUnit& unit = GetParam();
    // The ten late runs below can do at most 14 s of CPU between them.  A unit
    // that the worker on this machine finishes in less than 17 s of CPU is made
    // longer in proportion, to about 22 s, so a faster worker cannot finish it
    // among the kills.
    unsigned long long limit = unit.limit;
    Uninterrupted reference = uninterrupted_run(unit_with_limit(unit.file, limit));
    if (reference.cpu_seconds < least_unit_cpu_seconds) {
        limit = static_cast<unsigned long long>(static_cast<double>(limit) * lengthened_unit_cpu_seconds /
                                                std::max(reference.cpu_seconds, 0.01));
        reference = uninterrupted_run(unit_with_limit(unit.file, limit));
    }
    const std::string workunit = unit_with_limit(unit.file, limit);

    const std::string directory = make_temporary_directory();
    write_file(directory + "/in", workunit);
    write_file(directory + "/init_data.xml", one_second_period);

    // Two kills in three come within the first second, before a checkpoint can
    // be due: at start, while the checkpoint is read, while the result is cut
    // back.  Every third run lives long enough to checkpoint once, a second after
    // its start, and the ten of them together do a good half of the unit, so
    // thirty kills leave work for a last run.
    std::mt19937 rng(20261209);
    std::uniform_real_distribution<double> early(0.02, 0.9);
    std::uniform_real_distribution<double> late(1.05, 1.4);
    double interrupted_cpu = 0;
    long long count = -1;
    std::vector<long long> counts;
    for (int n = 0; n < kills; ++n) {
        const double seconds = n % 3 == 2 ? late(rng) : early(rng);
        const pid_t pid = start_worker(directory);
        const Ended ended = wait_or_kill(pid, std::chrono::steady_clock::now() +
                                                  std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                      std::chrono::duration<double>(seconds)));
        ASSERT_TRUE(ended.killed) << "run " << n << " ended by itself (status " << ended.exit_status
                                  << "): the unit is too short for this test";
        interrupted_cpu += ended.cpu_seconds;
        // A run that got as far as the checkpoint went on from exactly it.
        for (const std::string& line : lines_of(directory, pid)) {
            EXPECT_EQ(line.find("Ignoring checkpoint"), std::string::npos) << line;
            if (line.find("Resuming") != std::string::npos) {
                EXPECT_EQ(line, "<prefix> Resuming from checkpoint: " + std::to_string(count) + " squares passed");
            }
        }
        const long long now = recorded_count(directory);
        ASSERT_FALSE(now < 0 && file_exists(directory + "/boinc_finish_called"))
            << "run " << n << " finished the unit before it was killed: the unit is too short for this test";
        ASSERT_GE(now, count) << "run " << n << " replaced the checkpoint with an earlier place";
        count = now;
        counts.push_back(count);
    }
    ASSERT_GT(count, 0) << "no run got far enough to checkpoint";

    const pid_t pid = start_worker(directory);
    const Ended last = wait_or_kill(pid, std::chrono::steady_clock::now() + 600s);
    EXPECT_EQ(last.exit_status, 0);
    EXPECT_EQ(lines_of(directory, pid), (Lines{shared_memory_line,
                                               "<prefix> Resuming from checkpoint: " + std::to_string(count) + " squares passed",
                                               finish_line}));
    EXPECT_TRUE(read_file(directory + "/out") == reference.result) << "the result differs from the uninterrupted run's";
    EXPECT_FALSE(file_exists(directory + "/" + checkpoint_file));

    std::ostringstream places;
    for (long long c : counts)
        places << ' ' << c;
    std::printf("%s with limit %llu: uninterrupted %.2f s CPU; %d killed runs %.2f s and the last %.2f s; checkpoints at%s\n",
                unit.name, limit, reference.cpu_seconds, kills, interrupted_cpu, last.cpu_seconds, places.str().c_str());
}

// First guesses at units of about 20 s of CPU; the test lengthens a unit that
// takes less on this machine.
#ifdef DLSMATE_SANITIZE_BUILD
constexpr unsigned long long live_limit = 90000;
constexpr unsigned long long mixed_limit = 50000;
#else
constexpr unsigned long long live_limit = 550000;
constexpr unsigned long long mixed_limit = 400000;
#endif

INSTANTIATE_TEST_SUITE_P(Restarts, KilledAndRestarted,
                         testing::Values(KilledUnit{"live_region", "live-57-start", live_limit},
                                         KilledUnit{"mixed_region", "mixed-36-random-a", mixed_limit}),
                         unit_name);

// Checkpoints made here for the sample work unit, as a run of it would write
// them: the place after `passed` passing squares, and the result length the
// records of those with a mate take.
struct Sample {
    std::string workunit;
    std::string result;  // the uninterrupted run's
};

const Sample& sample()
{
    static const Sample s = [] {
        Sample made;
        made.workunit = read_file(std::string(DLSMATE_SAMPLES_DIR) + "/sample.wu");
        made.result = uninterrupted_run(made.workunit).result;
        return made;
    }();
    return s;
}

void load_sample(const std::string& workunit)
{
    generator_state = GeneratorState{};
    std::FILE* in = fmemopen(const_cast<char*>(workunit.data()), workunit.size(), "rb");
    ASSERT_TRUE(read_workunit(in));
    std::fclose(in);
    ASSERT_TRUE(prime_generator());
}

// The checkpoint bytes for the sample after `passed` squares, its result length
// raised by `extra_length`.
std::string sample_checkpoint(const std::string& workunit, int passed, std::uint64_t extra_length = 0)
{
    load_sample(workunit);
    WalkPlace place{};
    for (int n = 0; n < passed; ++n) {
        EXPECT_TRUE(next_live_square());
        EXPECT_TRUE(is_canonical(generator_state.chosen_bits));
        ++place.passing_count;
        if (has_orthogonal_mate(assembled_square))
            place.result_length += 212;
    }
    place.result_length += extra_length;
    place.filled = 80;
    for (int k = 0; k < 80; ++k)
        place.values[k] = std::countr_zero(generator_state.chosen_bits[k]);
    const std::string directory = make_temporary_directory();
    EXPECT_TRUE(write_checkpoint((directory + "/c").c_str(), place));
    return read_file(directory + "/c");
}

// The checkpoint bytes for the sample standing on the given prefix, before any
// square has passed.
std::string checkpoint_on_prefix(const std::int32_t* values, int filled)
{
    load_sample(sample().workunit);
    WalkPlace place{};
    place.filled = filled;
    for (int k = 0; k < filled; ++k)
        place.values[k] = values[k];
    const std::string directory = make_temporary_directory();
    EXPECT_TRUE(write_checkpoint((directory + "/c").c_str(), place));
    return read_file(directory + "/c");
}

// The free-cell values of the first square of the sample's space, which lies
// below the sample's start (its first 48 free cells are the start square's).
std::string checkpoint_on_the_first_square_of_the_space()
{
    std::string unit = sample().workunit;
    const std::size_t start = unit.find('\n') + 1;
    for (std::size_t i = start; i < start + 20 * 10; i += 2)
        unit[i] = '0';
    load_sample(unit);
    EXPECT_TRUE(next_live_square());
    std::int32_t values[80];
    for (int k = 0; k < 80; ++k)
        values[k] = std::countr_zero(generator_state.chosen_bits[k]);
    return checkpoint_on_prefix(values, 80);
}

struct Leftover {
    const char* name;
    // Fills the working directory (in is there already) and returns the line
    // the worker must print about it.
    std::string (*set_up)(const std::string& directory);
};

std::string leftover_name(const testing::TestParamInfo<Leftover>& info)
{
    return info.param.name;
}

void PrintTo(const Leftover& leftover, std::ostream* out)
{
    *out << leftover.name;
}

class ALeftoverCheckpoint : public testing::TestWithParam<Leftover> {};

TEST_P(ALeftoverCheckpoint, LeavesTheResultAsAnUninterruptedRunWritesIt)
{
    const std::string directory = make_temporary_directory();
    write_file(directory + "/in", sample().workunit);
    const std::string message = GetParam().set_up(directory);

    const pid_t pid = start_worker(directory);
    const Ended ended = wait_or_kill(pid, std::chrono::steady_clock::now() + 600s);
    EXPECT_EQ(ended.exit_status, 0);
    EXPECT_EQ(lines_of(directory, pid), (Lines{standalone_line, message, finish_line}));
    EXPECT_EQ(read_file(directory + "/out"), sample().result);
    EXPECT_FALSE(file_exists(directory + "/" + checkpoint_file));
    EXPECT_FALSE(file_exists(directory + "/" + checkpoint_file + ".new"));
}

const std::string ignoring = "<prefix> Ignoring checkpoint: ";

INSTANTIATE_TEST_SUITE_P(
    Restarts, ALeftoverCheckpoint,
    testing::Values(
        Leftover{"of_the_same_unit_goes_on_from_it",
                 [](const std::string& d) {
                     const std::string checkpoint = sample_checkpoint(sample().workunit, 12);
                     write_file(d + "/" + checkpoint_file, checkpoint);
                     // What the stopped run wrote after its checkpoint is cut off again.
                     const std::size_t length = std::stoul(checkpoint.substr(checkpoint.find("\nresult ") + 8));
                     write_file(d + "/out", sample().result.substr(0, length) + "0 1 2 3 4 5 6 7 8 9\r\n0 1 2");
                     return std::string("<prefix> Resuming from checkpoint: 12 squares passed");
                 }},
        Leftover{"beside_a_half_written_one_goes_on_from_the_whole_one",
                 [](const std::string& d) {
                     const std::string checkpoint = sample_checkpoint(sample().workunit, 5);
                     write_file(d + "/" + checkpoint_file, checkpoint);
                     const std::string later = sample_checkpoint(sample().workunit, 15);
                     write_file(d + "/" + checkpoint_file + ".new", later.substr(0, later.size() / 2));
                     write_file(d + "/out", sample().result);
                     return std::string("<prefix> Resuming from checkpoint: 5 squares passed");
                 }},
        Leftover{"of_another_unit",
                 [](const std::string& d) {
                     std::string other = sample().workunit;
                     other.replace(0, other.find('\n'), "65 21");
                     write_file(d + "/" + checkpoint_file, sample_checkpoint(other, 12));
                     return ignoring + "it belongs to another work unit";
                 }},
        Leftover{"cut_short",
                 [](const std::string& d) {
                     const std::string checkpoint = sample_checkpoint(sample().workunit, 12);
                     write_file(d + "/" + checkpoint_file, checkpoint.substr(0, checkpoint.size() / 2));
                     write_file(d + "/out", sample().result);
                     return ignoring + "it is damaged";
                 }},
        Leftover{"of_random_bytes",
                 [](const std::string& d) {
                     std::mt19937 rng(7);
                     std::string bytes(900, '\0');
                     for (char& ch : bytes)
                         ch = static_cast<char>(rng());
                     write_file(d + "/" + checkpoint_file, bytes);
                     return ignoring + "it is damaged";
                 }},
        Leftover{"standing_before_the_units_start",
                 [](const std::string& d) {
                     write_file(d + "/" + checkpoint_file, checkpoint_on_prefix(nullptr, 0));
                     write_file(d + "/out", "");
                     return ignoring + "it is damaged";
                 }},
        Leftover{"on_a_square_below_the_units_start",
                 [](const std::string& d) {
                     write_file(d + "/" + checkpoint_file, checkpoint_on_the_first_square_of_the_space());
                     write_file(d + "/out", "");
                     return ignoring + "it is damaged";
                 }},
        Leftover{"recording_more_than_the_result_holds",
                 [](const std::string& d) {
                     const std::string checkpoint = sample_checkpoint(sample().workunit, 19, 212);
                     write_file(d + "/" + checkpoint_file, checkpoint);
                     const std::size_t length = std::stoul(checkpoint.substr(checkpoint.find("\nresult ") + 8));
                     write_file(d + "/out", sample().result.substr(0, length - 212));
                     return ignoring + "the result file is shorter than it records";
                 }},
        Leftover{"without_its_result_file",
                 [](const std::string& d) {
                     write_file(d + "/" + checkpoint_file, sample_checkpoint(sample().workunit, 12));
                     return ignoring + "the result file is shorter than it records";
                 }}),
    leftover_name);

} // namespace
