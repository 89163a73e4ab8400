// The worker under Debian's BOINC client, installed from the deploy kit through
// the anonymous platform: what a volunteer's machine does with a work unit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "boinc_client.h"
#include "e2e/worker_run.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Generous bounds: a task of a few seconds on a loaded two-core machine.
constexpr auto client_limit = 180s;

const std::regex finish_only("[0-9][0-9]:[0-9][0-9]:[0-9][0-9] \\([0-9]+\\): called boinc_finish\\(0\\)\n");

std::string sample_workunit()
{
    std::ifstream in(DLSMATE_SAMPLES_DIR "/sample.wu", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The sample with its first number (the diagonal index) replaced.
std::string sample_with_header(const std::string& header)
{
    const std::string sample = sample_workunit();
    return header + sample.substr(sample.find('\n'));
}

// With nothing to upload to, the client stops by itself once the task is done
// (after a failed task it would wait): the task must have finished with status 0
// and only the library's finish line in its standard error.
void expect_finished_by_itself(ClientRun& client)
{
    const std::optional<TaskStatus> task =
        client.poll_task(client_limit, [](const TaskStatus& t) { return t.state == "compute error"; });
    ASSERT_TRUE(client.wait_for_exit(10s)) << "task state: " << (task ? task->state : "unknown") << "\n"
                                          << client.client_log();
    const RecordedResult recorded = client.recorded_result();
    EXPECT_EQ(recorded.state, 4) << "the computation must have finished, its file waiting for upload";
    EXPECT_EQ(recorded.exit_status, 0);
    EXPECT_TRUE(std::regex_match(recorded.stderr_txt, finish_only)) << recorded.stderr_txt;
}

// The client's result file must be that of a standalone run of the same unit.
void expect_result_of_standalone_run(const ClientRun& client, const std::string& workunit)
{
    const std::string standalone_directory = make_temporary_directory();
    write_file(standalone_directory + "/in", workunit);
    const WorkerRun standalone = run_worker(standalone_directory, {"in", "out"});
    ASSERT_EQ(standalone.exit_status, 0);
    const std::string expected = read_file(standalone_directory + "/out");
    fs::remove_all(standalone_directory);
    ASSERT_FALSE(expected.empty());

    ASSERT_TRUE(file_exists(client.result_path()));
    EXPECT_EQ(read_file(client.result_path()), expected);
}

TEST(Client, TheSampleCompletesWithTheResultOfAStandaloneRun)
{
    const std::string workunit = sample_workunit();
    ClientRun client(workunit);
    KeepOnFailure keep{client};
    client.start();

    ASSERT_NO_FATAL_FAILURE(expect_finished_by_itself(client));
    EXPECT_NE(client.client_log().find("Computation for task dlsmate_client_test_0 finished"), std::string::npos)
        << client.client_log();

    ASSERT_NO_FATAL_FAILURE(expect_result_of_standalone_run(client, workunit));
}

TEST(Client, ARejectedWorkUnitEndsAsAComputationErrorWithItsMessage)
{
    ClientRun client(sample_with_header("0"));
    KeepOnFailure keep{client};
    client.start();

    // After a failed task the client waits for an upload that never comes: stop it.
    const std::optional<TaskStatus> task =
        client.poll_task(client_limit, [](const TaskStatus& t) { return t.state == "compute error"; });
    ASSERT_TRUE(task.has_value()) << client.client_log();
    EXPECT_EQ(task->state, "compute error") << client.client_log();
    ASSERT_TRUE(client.quit(60s)) << client.rpc_failure();

    const RecordedResult recorded = client.recorded_result();
    EXPECT_EQ(recorded.state, 3) << "a computation error";
    EXPECT_EQ(recorded.exit_status, 1);
    EXPECT_EQ(recorded.stderr_txt, "Invalid input format\n");
    EXPECT_FALSE(file_exists(client.result_path())) << "a rejected work unit creates no result file";
}

TEST(Client, ALongWorkUnitReportsItsFractionDoneWhileItRunsFromTheShippedLibraries)
{
    // A limit of 10^8 squares keeps the task running far longer than the test
    // (two hours at 14000 squares a second, still over twenty minutes at five
    // times that), so nothing here depends on how fast the worker is.
    // boinccmd shows the fraction with six decimals: a count that is a multiple
    // of 1000 gives a multiple of 0.00001, which it shows exactly, and any other
    // count shows in the sixth decimal unless it is within 50 of a multiple.  A
    // larger limit would leave the six decimals unable to tell them apart.
    constexpr double limit = 100000000;
    ClientRun client(sample_with_header("65 100000000"));
    KeepOnFailure keep{client};
    client.start();

    const std::optional<TaskStatus> task =
        client.poll_task(client_limit, [](const TaskStatus& t) { return t.fraction_done > 0; });
    ASSERT_TRUE(task.has_value()) << client.client_log();
    EXPECT_EQ(task->active_task_state, "EXECUTING");
    EXPECT_GT(task->fraction_done, 0.0) << client.client_log();
    EXPECT_LT(task->fraction_done, 1.0);
    const double squares = task->fraction_done * limit;
    EXPECT_NEAR(squares, 1000 * std::round(squares / 1000), 0.5) << "reported by the worker every 1000 squares";

    // The worker runs from the project folder and loads the BOINC libraries
    // shipped there, not the system's: its run path is $ORIGIN.
    ASSERT_GT(task->pid, 0);
    std::ifstream maps("/proc/" + std::to_string(task->pid) + "/maps");
    std::set<std::string> boinc_libraries;
    for (std::string line; std::getline(maps, line);) {
        const std::size_t path = line.find('/');
        if (path != std::string::npos && line.find("libboinc", path) != std::string::npos)
            boinc_libraries.insert(line.substr(path));
    }
    const std::string project = fs::canonical(client.project_directory()).string();
    EXPECT_EQ(boinc_libraries, (std::set<std::string>{project + "/libboinc.so.7", project + "/libboinc_api.so.7"}));

    ASSERT_TRUE(client.quit(60s)) << client.rpc_failure();
    EXPECT_FALSE(fs::exists("/proc/" + std::to_string(task->pid))) << "the client ends its task when it quits";
}

// The static Linux build of `make ports` as its own app version
// (deploy/make-port-version.sh): the executable alone, no library beside it.
// `make test-ports` names it in DLSMATE_STATIC_WORKER.
TEST(Client, TheStaticLinuxAppVersionCompletesTheSampleWithTheResultOfAStandaloneRun)
{
    const char* static_worker = std::getenv("DLSMATE_STATIC_WORKER");
    if (static_worker == nullptr || *static_worker == '\0')
        GTEST_SKIP() << "DLSMATE_STATIC_WORKER names no static build (make test-ports sets it)";
    const std::string workunit = sample_workunit();
    ClientRun client(workunit, {"/bin/bash", DLSMATE_DEPLOY_DIR "/make-port-version.sh", "x86_64-pc-linux-gnu",
                                static_worker});
    KeepOnFailure keep{client};

    std::set<std::string> shipped;
    for (const auto& entry : fs::directory_iterator(client.project_directory()))
        shipped.insert(entry.path().filename().string());
    EXPECT_EQ(shipped, (std::set<std::string>{"app_info.xml", "dlsmate_1.00_x86_64-pc-linux-gnu",
                                              "dlsmate_client_test_in"}));
    client.start();

    ASSERT_NO_FATAL_FAILURE(expect_finished_by_itself(client));

    ASSERT_NO_FATAL_FAILURE(expect_result_of_standalone_run(client, workunit));
}

} // namespace
