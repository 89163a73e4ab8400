#include "worker_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

WorkerRun run_worker(const std::string& directory, const std::vector<std::string>& arguments)
{
    WorkerRun run;
    run.directory = directory;
    // Console output goes to a file beside, not inside, the working directory.
    const std::string console = directory + ".console";

    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(directory.c_str()) != 0)
            _exit(126);
        const int out = open(console.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(out, 2);
        close(out);
        std::vector<char*> argv;
        std::string program = DLSMATE_BINARY;
        argv.push_back(program.data());
        std::vector<std::string> copies = arguments;
        for (std::string& a : copies)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.console_output = read_file(console);
    fs::remove(console);

    // The message prefix is the library's time of day and our process id.
    const std::regex prefixed("^[0-9][0-9]:[0-9][0-9]:[0-9][0-9] \\(" + std::to_string(pid) + "\\):(.*)$");
    std::istringstream log(read_file(directory + "/stderr.txt"));
    std::string line;
    std::smatch match;
    while (std::getline(log, line)) {
        if (std::regex_match(line, match, prefixed))
            run.log.push_back("<prefix>" + match[1].str());
        else
            run.log.push_back(line);
    }
    return run;
}
