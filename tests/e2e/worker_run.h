// Running the built worker in a fresh temporary directory.
#pragma once

#include <string>
#include <vector>

#include "temporary_files.h"

struct WorkerRun {
    int exit_status = -1;         // the process's exit status (0-255), -1 if it did not exit
    std::string console_output;   // what reached the real stdout and stderr
    std::vector<std::string> log; // stderr.txt, line by line, with "<prefix>" for our own pid's prefix
    std::string directory;        // the working directory, kept for inspection
};

// Runs the worker with the given arguments in `directory` and waits for it.
WorkerRun run_worker(const std::string& directory, const std::vector<std::string>& arguments);
