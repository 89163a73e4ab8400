// Running the built worker on many work units at once, each in a fresh
// directory, and sorting every run into the outcomes the worker documents.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct BatchRun {
    int exit_status = -1;          // 0-255 when the process exited
    int signal = 0;                // the signal that ended it, 0 when it exited
    bool hung = false;             // still running at the watchdog's limit, then killed
    std::string console;           // what reached the real standard output and error
    std::string stderr_txt;        // the library's stderr.txt, as written
    std::vector<std::string> log;  // stderr.txt by line, "<prefix>" for the run's own prefix
    bool result_exists = false;
    std::string result;            // the result file "out"
};

// Runs `dlsmate in out` on each work unit, `parallel` processes at a time, and
// removes the directories afterwards.
std::vector<BatchRun> run_batch(const std::vector<std::string>& workunits, int parallel = 8);

// The rows of the worker's table of messages and exit statuses that a work unit
// can lead to.
enum class Outcome {
    rejected,           // "Invalid input format", status 1
    line_end,           // "Line end", status 1
    completed,          // boinc_finish(0), status 0
    transversal_limit,  // the transversal count message, status 1
    undocumented,       // anything else: a crash, a sanitizer report, a stray message
};

const char* outcome_name(Outcome outcome);

// Sorts a run; `why` receives what was wrong when it is undocumented.
Outcome classify(const BatchRun& run, std::string& why);

// Starts `dlsmate in out` in `directory`, with no standard input and its console
// output in `<directory>.console`.
pid_t start_worker(const std::string& directory);
