// Running the worker under a real BOINC client (Debian's boinc-client) with no
// project server and no network: a client data directory of its own holds one
// work unit and its result for an anonymous-platform app version, all made from
// the deploy kit (deploy/make-app-version.sh, deploy/app_info.xml and the
// create_work templates).  Every wait is bounded; whatever the client started is
// stopped when the ClientRun ends.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The result as client_state.xml records it once the task has ended.
struct RecordedResult {
    int state = -1;          // 3: computation error; 4: files uploading (finished, not yet uploaded)
    int exit_status = -1;    // the worker's exit status
    std::string stderr_txt;  // the worker's stderr.txt, as the client keeps it
};

// One task of the worker as `boinccmd --get_tasks` shows it.
struct TaskStatus {
    std::string state;              // "downloaded", "compute error", ...
    std::string active_task_state;  // "EXECUTING", ...; empty when not running
    double fraction_done = -1;
    pid_t pid = 0;                  // the worker's process, 0 when none
};

class ClientRun {
public:
    // Prepares a fresh data directory for one task of the built worker on the
    // given work-unit bytes.  Throws when the deploy kit cannot be staged.
    // `pack` is the packing command without its output folder (by default
    // deploy/make-app-version.sh on the built worker); the app version is taken
    // from the output folder's anonymous/, or the one folder below it.
    explicit ClientRun(const std::string& workunit, const std::vector<std::string>& pack = {});
    // Stops the client and any worker left running; removes the data directory
    // unless `keep_directory` was called.
    ~ClientRun();
    ClientRun(const ClientRun&) = delete;
    ClientRun& operator=(const ClientRun&) = delete;

    // Starts the client on a free port.
    void start();
    // Waits for the client to exit by itself (it does after a task that finished
    // cleanly).  False when it is still running after `limit`.
    bool wait_for_exit(std::chrono::seconds limit);
    // Asks the client to quit through its RPC port and waits for it to exit.
    // When boinccmd cannot deliver the request it waits only a few seconds (for
    // a client already on its way out) and `rpc_failure` says why.
    bool quit(std::chrono::seconds limit);

    // Polls `boinccmd --get_tasks` until `done` holds for the task, for at most
    // `limit`; the last status seen, or nothing when the client exited before
    // showing the task.  Throws, with boinccmd's message and the client's log,
    // once boinccmd has not reached the running client for `rpc_patience`.
    std::optional<TaskStatus> poll_task(std::chrono::seconds limit, const std::function<bool(const TaskStatus&)>& done);

    // boinccmd with the given arguments against this client; its output, or
    // nothing when it failed or did not end within a few seconds.
    std::optional<std::string> boinccmd(const std::vector<std::string>& arguments);
    // Why the last boinccmd call failed; empty after one that succeeded.
    const std::string& rpc_failure() const { return rpc_failure_; }

    // How long a running client may leave boinccmd unanswered (it opens its
    // RPC port within a second or two of starting, even on a loaded machine).
    static constexpr std::chrono::seconds rpc_patience{10};

    RecordedResult recorded_result() const;
    std::string client_log() const;

    const std::string& data_directory() const { return data_directory_; }
    const std::string& project_directory() const { return project_directory_; }
    // Where the result file lands, under its physical name.
    std::string result_path() const;
    // Keeps the data directory for inspection (after a failure).
    void keep_directory() { keep_ = true; }

private:
    std::optional<TaskStatus> task_status();
    void stop_everything();

    std::string data_directory_;
    std::string project_directory_;
    int port_ = 0;
    pid_t client_ = 0;
    bool keep_ = false;
    std::string rpc_failure_;
    std::chrono::steady_clock::time_point last_answer_;  // boinccmd's last success, or the client's start
};

// Parses the first task of `boinccmd --get_tasks` output.
std::optional<TaskStatus> parse_task_status(const std::string& output);

// Keeps a client's data directory when the test failed or threw, and says where
// it is.
struct KeepOnFailure {
    ClientRun& run;
    ~KeepOnFailure();
};
