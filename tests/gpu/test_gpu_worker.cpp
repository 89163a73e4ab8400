// The GPU worker against dlsmate, both run in fresh directories with the real
// BOINC library: the same result file, messages and exit status on every work
// unit of tests/ports/units and the sample, and the same result after a kill.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "io/checkpoint.h"
#include "temporary_files.h"

namespace fs = std::filesystem;

namespace {

struct WorkerRun {
    std::string directory;
    pid_t pid = -1;
    int exit_status = -1;
    std::vector<std::string> log; // stderr.txt, "<prefix>" for the run's own prefix
    std::string result;
};

// Starts `program in out` in `directory`.
pid_t start(const std::string& program, const std::string& directory)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(directory.c_str()) != 0)
            _exit(126);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        execl(program.c_str(), program.c_str(), "in", "out", static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

void finish(WorkerRun& run)
{
    int status = 0;
    waitpid(run.pid, &status, 0);
    run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const std::regex prefixed("^[0-9][0-9]:[0-9][0-9]:[0-9][0-9] \\(" + std::to_string(run.pid) + "\\):(.*)$");
    std::istringstream log(read_file(run.directory + "/stderr.txt"));
    std::string line;
    std::smatch match;
    while (std::getline(log, line))
        run.log.push_back(std::regex_match(line, match, prefixed) ? "<prefix>" + match[1].str() : line);
    if (file_exists(run.directory + "/out"))
        run.result = read_file(run.directory + "/out");
}

// Runs `program` on each work unit, a few at a time.
std::vector<WorkerRun> run_all(const std::string& program, const std::vector<std::string>& units)
{
    std::vector<WorkerRun> runs(units.size());
    const std::size_t parallel = 4;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (i >= parallel)
            finish(runs[i - parallel]);
        runs[i].directory = make_temporary_directory();
        fs::copy_file(units[i], runs[i].directory + "/in");
        runs[i].pid = start(program, runs[i].directory);
    }
    for (std::size_t i = units.size() > parallel ? units.size() - parallel : 0; i < units.size(); ++i)
        finish(runs[i]);
    return runs;
}

// The units of tests/ports/units and the sample.  The six with limits of
// 1500-3000 squares from a start (04-09) are left to the sweep (DLSMATE_GPU_SWEEP=1,
// ctest -L gpu-sweep): on a processor's OpenCL device they take most of the time.
std::vector<std::string> all_units()
{
    const char* sweep = std::getenv("DLSMATE_GPU_SWEEP");
    const bool everything = sweep != nullptr && std::string(sweep) == "1";
    std::vector<std::string> units;
    for (const auto& entry : fs::directory_iterator(DLSMATE_PORT_UNITS_DIR)) {
        const std::string name = entry.path().filename().string();
        if (everything || !(name.size() > 3 && name[0] == '0' && name[1] >= '4' && name[1] <= '9' && name[2] == '-'))
            units.push_back(entry.path().string());
    }
    std::sort(units.begin(), units.end());
    units.push_back(std::string(DLSMATE_SAMPLES_DIR) + "/sample.wu");
    return units;
}

TEST(GpuWorker, WritesWhatDlsmateWritesOnEveryWorkUnit)
{
    const std::vector<std::string> units = all_units();
    ASSERT_GE(units.size(), 20u);
    const std::vector<WorkerRun> cpu = run_all(DLSMATE_BINARY, units);
    const std::vector<WorkerRun> gpu = run_all(DLSMATE_GPU_BINARY, units);
    int completed = 0;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::string unit = fs::path(units[i]).filename().string();
        EXPECT_EQ(gpu[i].exit_status, cpu[i].exit_status) << unit;
        EXPECT_EQ(gpu[i].result, cpu[i].result) << unit;
        // One more line, after the standalone notice: the device, once a good work unit is read.
        std::vector<std::string> log = gpu[i].log;
        const auto device = std::find_if(log.begin(), log.end(),
                                         [](const std::string& line) { return line.rfind("<prefix> Device: ", 0) == 0; });
        if (device != log.end())
            log.erase(device);
        else
            EXPECT_EQ(cpu[i].exit_status, 1) << unit << ": no device line in a run that read its unit";
        EXPECT_EQ(log, cpu[i].log) << unit;
        completed += cpu[i].exit_status == 0;
    }
    EXPECT_GE(completed, 12);
}

TEST(GpuWorker, AKilledRunGoesOnFromItsCheckpointToTheSameResult)
{
    // Space 36 from its start, 3000 squares: several batches on a processor's
    // device, and checkpoints between them once a second.  A unit the worker
    // finishes before its first checkpoint is made four times longer, until a
    // checkpoint comes first.
    const std::string unit = make_temporary_directory() + "/unit.wu";
    const std::string text = read_file(std::string(DLSMATE_BENCH_UNITS_DIR) + "/live-36-start.wu");
    WorkerRun gpu;
    std::string checkpoint;
    for (unsigned long long limit = 3000;; limit *= 4) {
        ASSERT_LT(limit, 3000ull << 20) << "no run lasted until its first checkpoint";
        write_file(unit, "36 " + std::to_string(limit) + text.substr(text.find('\n')));
        gpu = WorkerRun{};
        gpu.directory = make_temporary_directory();
        fs::copy_file(unit, gpu.directory + "/in");
        write_file(gpu.directory + "/init_data.xml",
                   "<app_init_data><checkpoint_period>1</checkpoint_period></app_init_data>");
        gpu.pid = start(DLSMATE_GPU_BINARY, gpu.directory);
        checkpoint = gpu.directory + "/" + checkpoint_name;
        int status = 0;
        pid_t ended = 0;
        while (!file_exists(checkpoint) && (ended = waitpid(gpu.pid, &status, WNOHANG)) == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (ended == 0) {
            kill(gpu.pid, SIGKILL);
            waitpid(gpu.pid, &status, 0);
            break;
        }
    }
    const std::vector<WorkerRun> cpu = run_all(DLSMATE_BINARY, {unit});

    gpu.pid = start(DLSMATE_GPU_BINARY, gpu.directory);
    finish(gpu);
    EXPECT_EQ(gpu.exit_status, 0);
    EXPECT_EQ(gpu.result, cpu[0].result);
    EXPECT_EQ(std::count_if(gpu.log.begin(), gpu.log.end(),
                            [](const std::string& line) {
                                return line.rfind("<prefix> Resuming from checkpoint: ", 0) == 0;
                            }),
              1);
}

} // namespace
