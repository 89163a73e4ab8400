// Running the built worker in a fresh temporary directory.
#pragma once

#include <string>
#include <vector>

struct WorkerRun {
    int exit_status = -1;         // the process's exit status (0-255), -1 if it did not exit
    std::string console_output;   // what reached the real stdout and stderr
    std::vector<std::string> log; // stderr.txt, line by line, with "<prefix>" for our own pid's prefix
    std::string directory;        // the working directory, kept for inspection
};

// A fresh, empty directory under the system's temporary directory.
std::string make_temporary_directory();

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);

// Everything in a directory, sorted.
std::vector<std::string> directory_entries(const std::string& directory);

// Runs the worker with the given arguments in `directory` and waits for it.
WorkerRun run_worker(const std::string& directory, const std::vector<std::string>& arguments);
