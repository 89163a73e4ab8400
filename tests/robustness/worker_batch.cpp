#include "worker_batch.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "e2e/worker_run.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Far beyond any run of these work units, even in the sanitizer build.
constexpr auto watchdog = 180s;

struct Running {
    std::size_t index;
    std::string directory;
    std::chrono::steady_clock::time_point deadline;
    bool killed = false;
};


BatchRun collect(pid_t pid, int status, const Running& running)
{
    BatchRun run;
    run.hung = running.killed;
    if (WIFEXITED(status))
        run.exit_status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        run.signal = WTERMSIG(status);
    run.console = read_file(running.directory + ".console");
    run.stderr_txt = read_file(running.directory + "/stderr.txt");
    run.result_exists = file_exists(running.directory + "/out");
    if (run.result_exists)
        run.result = read_file(running.directory + "/out");

    const std::regex prefixed("^[0-9][0-9]:[0-9][0-9]:[0-9][0-9] \\(" + std::to_string(pid) + "\\):(.*)$");
    std::istringstream lines(run.stderr_txt);
    std::smatch match;
    for (std::string line; std::getline(lines, line);)
        run.log.push_back(std::regex_match(line, match, prefixed) ? "<prefix>" + match[1].str() : line);
    return run;
}

} // namespace

pid_t start_worker(const std::string& directory)
{
    const std::string console = directory + ".console";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, console.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::string program = DLSMATE_BINARY;
    std::string in = "in";
    std::string out = "out";
    char* argv[] = {program.data(), in.data(), out.data(), nullptr};
    pid_t pid = 0;
    const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw std::runtime_error("cannot start " + program);
    return pid;
}

std::vector<BatchRun> run_batch(const std::vector<std::string>& workunits, int parallel)
{
    std::vector<BatchRun> runs(workunits.size());
    std::map<pid_t, Running> running;
    std::size_t next = 0;

    while (next < workunits.size() || !running.empty()) {
        while (next < workunits.size() && static_cast<int>(running.size()) < parallel) {
            const std::string directory = make_temporary_directory();
            write_file(directory + "/in", workunits[next]);
            running[start_worker(directory)] = {next, directory, std::chrono::steady_clock::now() + watchdog};
            ++next;
        }
        int status = 0;
        const pid_t done = waitpid(-1, &status, WNOHANG);
        if (done > 0 && running.count(done) != 0) {
            const Running finished = running[done];
            running.erase(done);
            runs[finished.index] = collect(done, status, finished);
            fs::remove_all(finished.directory);
            fs::remove(finished.directory + ".console");
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        for (auto& [pid, process] : running) {
            if (!process.killed && now >= process.deadline) {
                kill(pid, SIGKILL);
                process.killed = true;
            }
        }
        std::this_thread::sleep_for(5ms);
    }
    return runs;
}

const char* outcome_name(Outcome outcome)
{
    switch (outcome) {
    case Outcome::rejected:
        return "rejected (Invalid input format)";
    case Outcome::line_end:
        return "Line end";
    case Outcome::completed:
        return "completed";
    case Outcome::transversal_limit:
        return "transversal limit";
    case Outcome::undocumented:
        break;
    }
    return "undocumented";
}

Outcome classify(const BatchRun& run, std::string& why)
{
    using Lines = std::vector<std::string>;
    const std::string standalone = "<prefix> Can't open init data file - running in standalone mode";

    std::ostringstream what;
    if (run.hung)
        what << "still running after the watchdog's limit; ";
    if (run.signal != 0)
        what << "ended by signal " << run.signal << "; ";
    // The sanitizers report on standard error: the console before the library
    // starts, stderr.txt after.
    for (const std::string* text : {&run.console, &run.stderr_txt})
        if (text->find("Sanitizer") != std::string::npos || text->find("runtime error") != std::string::npos)
            what << "sanitizer report; ";
    if (!run.console.empty())
        what << "console output \"" << run.console << "\"; ";
    why = what.str();
    if (!why.empty())
        return Outcome::undocumented;

    if (run.exit_status == 1 && run.log == Lines{standalone, "Invalid input format"})
        return Outcome::rejected;
    if (run.exit_status == 1 && run.log == Lines{standalone, "Line end"})
        return Outcome::line_end;
    if (run.exit_status == 0 && run.log == Lines{standalone, "<prefix> called boinc_finish(0)"})
        return Outcome::completed;
    static const std::regex transversal_message("Число трансверсалей [0-9]+ превышает максимум 10000");
    if (run.exit_status == 1 && run.log.size() == 3 && run.log[0] == standalone &&
        std::regex_match(run.log[1], transversal_message) && run.log[2].empty())
        return Outcome::transversal_limit;

    what << "exit status " << run.exit_status << " with stderr.txt \"" << run.stderr_txt << "\"";
    why = what.str();
    return Outcome::undocumented;
}
