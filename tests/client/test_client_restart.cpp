// A task stopped with its client and started again when the client comes back
// goes on from its checkpoint, as on a volunteer's machine that reboots.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>

#include "boinc_client.h"
#include "e2e/worker_run.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto client_limit = 300s;

std::string read_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The live work unit of bench/units with another square limit.
std::string live_workunit(unsigned long long limit)
{
    const std::string text = read_text(DLSMATE_BENCH_UNITS_DIR "/live-57-start.wu");
    return "57 " + std::to_string(limit) + text.substr(text.find('\n'));
}

double children_cpu_seconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

struct Standalone {
    std::string result;
    double cpu_seconds = 0;
};

// The worker run standalone on `workunit` in a fresh folder: its result and its CPU time.
Standalone run_standalone(const std::string& workunit)
{
    const std::string directory = make_temporary_directory();
    write_file(directory + "/in", workunit);
    const double before = children_cpu_seconds();
    const WorkerRun run = run_worker(directory, {"in", "out"});
    Standalone standalone{read_text(directory + "/out"), children_cpu_seconds() - before};
    EXPECT_EQ(run.exit_status, 0);
    return standalone;
}

// The task must still be far from its end when the test, having seen a
// checkpoint at more than a second of CPU, gets its client to quit: the unit is
// sized from the worker's rate on this machine, measured on a short run, to
// about twelve seconds of CPU, so a faster worker or an idle machine gets a
// longer unit.
unsigned long long limit_for_a_long_task()
{
    constexpr unsigned long long probe = 50000;
    constexpr double cpu_seconds = 12;
    const double probe_seconds = std::max(run_standalone(live_workunit(probe)).cpu_seconds, 0.01);
    return std::max<unsigned long long>(150000, static_cast<unsigned long long>(
                                                    std::ceil(probe * cpu_seconds / probe_seconds / 1000) * 1000));
}

// A value of `boinccmd --get_tasks`, such as "current CPU time"; -1 when absent.
double task_value(const std::string& output, const std::string& key)
{
    const std::regex line("\\n *" + key + ": ([0-9.e+-]+)");
    std::smatch match;
    return std::regex_search(output, match, line) ? std::stod(match[1].str()) : -1;
}

TEST(Client, ATaskStoppedWithItsClientGoesOnFromItsCheckpoint)
{
    const unsigned long long limit = limit_for_a_long_task();
    const std::string workunit = live_workunit(limit);
    const Standalone standalone = run_standalone(workunit);
    ASSERT_FALSE(standalone.result.empty());

    ClientRun client(workunit);
    KeepOnFailure keep{client};
    // The client asks its tasks to checkpoint every disk_interval seconds (60 by default).
    write_file(client.data_directory() + "/global_prefs_override.xml",
               "<global_preferences>\n    <suspend_cpu_usage>0</suspend_cpu_usage>\n"
               "    <disk_interval>1</disk_interval>\n</global_preferences>\n");
    client.start();

    // Until the task has checkpointed and run on a little past it.
    double checkpoint_cpu = -1;
    const std::optional<TaskStatus> before = client.poll_task(client_limit, [&](const TaskStatus& t) {
        if (t.active_task_state != "EXECUTING")
            return false;
        const std::optional<std::string> tasks = client.boinccmd({"--get_tasks"});
        checkpoint_cpu = tasks ? task_value(*tasks, "CPU time at last checkpoint") : -1;
        return checkpoint_cpu > 1 && t.fraction_done > 0;
    });
    ASSERT_TRUE(before.has_value()) << client.client_log();
    ASSERT_GT(checkpoint_cpu, 1) << client.client_log();
    ASSERT_LT(before->fraction_done, 1.0) << "the task ended before the client could be stopped";
    const fs::path slot = fs::path(client.data_directory()) / "slots" / "0";
    ASSERT_TRUE(fs::exists(slot / "dlsmate-checkpoint.txt"));

    ASSERT_TRUE(client.quit(60s)) << client.rpc_failure();
    ASSERT_TRUE(fs::exists(slot / "dlsmate-checkpoint.txt")) << "the slot keeps the checkpoint";
    const std::string checkpoint = read_text((slot / "dlsmate-checkpoint.txt").string());
    const std::string recorded_count = checkpoint.substr(checkpoint.find("\npassing ") + 9,
                                                         checkpoint.find('\n', checkpoint.find("\npassing ") + 1) -
                                                             checkpoint.find("\npassing ") - 9);
    const double recorded_fraction = std::stod(recorded_count) / static_cast<double>(limit);
    ASSERT_GT(recorded_fraction, 0);

    // The client starts the task again in the same slot.  It shows the figures it
    // stored until the task reports its own; the task's first report already
    // holds the fraction done of its checkpoint, and its CPU time goes on from
    // the client's record rather than from zero.
    client.start();
    double resumed_cpu = -1;
    const std::optional<TaskStatus> after = client.poll_task(client_limit, [&](const TaskStatus& t) {
        if (t.active_task_state != "EXECUTING" || t.fraction_done < recorded_fraction - 1e-6)
            return false;
        const std::optional<std::string> tasks = client.boinccmd({"--get_tasks"});
        resumed_cpu = tasks ? task_value(*tasks, "current CPU time") : -1;
        return resumed_cpu >= 0;
    });
    ASSERT_TRUE(after.has_value()) << client.client_log();
    ASSERT_GE(after->fraction_done, recorded_fraction - 1e-6) << client.client_log();
    EXPECT_GE(resumed_cpu, checkpoint_cpu);

    ASSERT_TRUE(client.wait_for_exit(client_limit)) << "the task did not finish";
    const RecordedResult recorded = client.recorded_result();
    EXPECT_EQ(recorded.state, 4) << recorded.stderr_txt;
    EXPECT_EQ(recorded.exit_status, 0);
    // The restarted task went on from the checkpoint the slot kept.
    EXPECT_NE(recorded.stderr_txt.find("): Resuming from checkpoint: " + recorded_count + " squares passed\n"),
              std::string::npos)
        << recorded.stderr_txt;
    EXPECT_TRUE(read_text(client.result_path()) == standalone.result)
        << "the resumed task's result differs from the standalone run's";
}

} // namespace
