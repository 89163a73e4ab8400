#include "boinc_client.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <iostream>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// The project as the client knows it: only its name and master URL matter, and
// the URL never has to resolve.  The client names the project's folder and
// account file after the URL, without the scheme and the closing slash.
const std::string master_url = "http://dlsmate.invalid/";
const std::string escaped_url = "dlsmate.invalid";
const std::string upload_url = "http://dlsmate.invalid/upload";
const std::string workunit_name = "dlsmate_client_test";
const std::string input_name = "dlsmate_client_test_in";
const std::string result_name = "dlsmate_client_test_0";
const std::string output_name = "dlsmate_client_test_0_r0";

std::string read_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_text(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void replace_all(std::string& text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// The text inside the first <tag>...</tag>; throws when there is none.
std::string inner(const std::string& xml, const std::string& tag, const std::string& where)
{
    const std::string open = "<" + tag + ">";
    const std::string close = "</" + tag + ">";
    const std::size_t start = xml.find(open);
    const std::size_t end = start == std::string::npos ? start : xml.find(close, start);
    if (end == std::string::npos)
        throw std::runtime_error(where + " has no <" + tag + ">");
    return xml.substr(start + open.size(), end - start - open.size());
}

// A port nobody listens on now.
int free_port()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0)
            close(fd);
        throw std::runtime_error("no free port");
    }
    close(fd);
    return ntohs(address.sin_port);
}

// Starts a program in `directory` with its standard output and error going to
// `log` (appended) and no standard input.  Everything is prepared before the fork.
pid_t spawn(const std::vector<std::string>& command, const std::string& directory, const std::string& log)
{
    std::vector<std::string> copies = command;
    std::vector<char*> argv;
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (chdir(directory.c_str()) != 0)
            _exit(126);
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (in < 0 || out < 0)
            _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        close(in);
        close(out);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// Waits for a child to exit, for at most `limit`.  Its wait status, or nothing.
std::optional<int> wait_for(pid_t pid, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return status;
        if (done < 0)
            return -1;
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(50ms);
    }
}

// The processes whose parent is `parent`: the tasks a client started.
std::vector<pid_t> children_of(pid_t parent)
{
    std::vector<pid_t> children;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        // /proc/<pid>/stat: pid (command) state ppid ...; the command may hold spaces.
        const std::string stat = read_text(entry.path().string() + "/stat");
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(stat.substr(close + 1));
        char state = 0;
        long ppid = 0;
        if (rest >> state >> ppid && ppid == parent)
            children.push_back(static_cast<pid_t>(std::stol(name)));
    }
    return children;
}

std::string make_data_directory()
{
    std::string pattern = (fs::temp_directory_path() / "dlsmate-client-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    return pattern;
}

} // namespace

ClientRun::ClientRun(const std::string& workunit, const std::vector<std::string>& pack)
    : data_directory_(make_data_directory())
{
    project_directory_ = data_directory_ + "/projects/" + escaped_url;
    fs::create_directories(project_directory_);

    // The anonymous-platform files exactly as an operator ships them.
    const std::string stage = data_directory_ + "/stage";
    const std::string log = data_directory_ + "/stage.log";
    std::vector<std::string> command = pack;
    if (command.empty())
        command = {"/bin/bash", DLSMATE_DEPLOY_DIR "/make-app-version.sh", DLSMATE_BINARY};
    command.push_back(stage);
    const pid_t packer = spawn(command, data_directory_, log);
    const std::optional<int> packed = wait_for(packer, 60s);
    if (!packed) {
        kill(packer, SIGKILL);
        waitpid(packer, nullptr, 0);
    }
    if (!packed || !WIFEXITED(*packed) || WEXITSTATUS(*packed) != 0)
        throw std::runtime_error(command[1] + " failed:\n" + read_text(log));
    std::string anonymous = stage + "/anonymous";
    if (!fs::exists(anonymous + "/app_info.xml"))
        for (const auto& entry : fs::directory_iterator(stage + "/anonymous"))
            anonymous = entry.path().string();
    for (const auto& entry : fs::directory_iterator(anonymous))
        fs::copy_file(entry.path(), project_directory_ + "/" + entry.path().filename().string());
    fs::remove_all(stage);

    const std::string app_info = read_text(project_directory_ + "/app_info.xml");
    const std::string app_name = inner(app_info, "app_name", "app_info.xml");
    const std::string version_num = inner(app_info, "version_num", "app_info.xml");
    const std::string platform = inner(app_info, "platform", "app_info.xml");

    write_text(project_directory_ + "/" + input_name, workunit);

    // The work unit and the result as a project server would hand them out from
    // the create_work templates: the file reference by name instead of number,
    // the output's upload URL filled in.
    const std::string input_template = read_text(DLSMATE_DEPLOY_DIR "/templates/dlsmate_in");
    std::string workunit_body = inner(input_template, "workunit", "the input template");
    if (workunit_body.find("<file_number>0</file_number>") == std::string::npos)
        throw std::runtime_error("the input template does not use file 0");
    replace_all(workunit_body, "<file_number>0</file_number>", "<file_name>" + input_name + "</file_name>");

    const std::string output_template = read_text(DLSMATE_DEPLOY_DIR "/templates/dlsmate_out");
    std::string output_file = inner(output_template, "file_info", "the output template");
    std::string result_body = inner(output_template, "result", "the output template");
    replace_all(output_file, "<OUTFILE_0/>", output_name);
    replace_all(output_file, "<url><UPLOAD_URL/></url>", "<upload_url>" + upload_url + "</upload_url>");
    replace_all(result_body, "<OUTFILE_0/>", output_name);

    std::ostringstream state;
    state << "<client_state>\n"
          << "<project>\n    <master_url>" << master_url << "</master_url>\n"
          << "    <project_name>dlsmate</project_name>\n    <dont_request_more_work/>\n</project>\n"
          << "<file_info>\n    <name>" << input_name << "</name>\n    <status>1</status>\n</file_info>\n"
          << "<file_info>" << output_file << "    <status>0</status>\n</file_info>\n"
          << "<workunit>\n    <name>" << workunit_name << "</name>\n    <app_name>" << app_name << "</app_name>\n"
          << "    <version_num>" << version_num << "</version_num>" << workunit_body << "</workunit>\n"
          << "<result>\n    <name>" << result_name << "</name>\n    <wu_name>" << workunit_name << "</wu_name>\n"
          << "    <version_num>" << version_num << "</version_num>\n    <platform>" << platform << "</platform>\n"
          << "    <state>2</state>\n    <report_deadline>4102444800</report_deadline>" << result_body
          << "</result>\n"
          << "</client_state>\n";
    write_text(data_directory_ + "/client_state.xml", state.str());

    // Without an account file the client ignores the project.
    write_text(data_directory_ + "/account_" + escaped_url + ".xml",
               "<account>\n    <master_url>" + master_url +
                   "</master_url>\n    <authenticator>0123456789abcdef0123456789abcdef</authenticator>\n"
                   "    <project_name>dlsmate</project_name>\n</account>\n");
    write_text(data_directory_ + "/cc_config.xml",
               "<cc_config>\n    <log_flags>\n        <task_debug>1</task_debug>\n        <slot_debug>1</slot_debug>\n"
               "    </log_flags>\n    <options>\n        <ncpus>1</ncpus>\n    </options>\n</cc_config>\n");
    // Keep computing while other processes load the machine (a parallel build, CI).
    write_text(data_directory_ + "/global_prefs_override.xml",
               "<global_preferences>\n    <suspend_cpu_usage>0</suspend_cpu_usage>\n</global_preferences>\n");
}

ClientRun::~ClientRun()
{
    stop_everything();
    if (!keep_) {
        std::error_code ignored;
        fs::remove_all(data_directory_, ignored);
    }
}

void ClientRun::start()
{
    if (access(BOINC_CLIENT_PROGRAM, X_OK) != 0)
        throw std::runtime_error("no BOINC client at '" BOINC_CLIENT_PROGRAM "': install boinc-client (make deps)");
    port_ = free_port();
    client_ = spawn({BOINC_CLIENT_PROGRAM, "--dir", data_directory_, "--skip_cpu_benchmarks", "--no_info_fetch",
                     "--exit_before_upload", "--allow_multiple_clients", "--no_gpus", "--no_priority_change",
                     "--gui_rpc_port", std::to_string(port_)},
                    data_directory_, data_directory_ + "/client.log");
    last_answer_ = std::chrono::steady_clock::now();
    rpc_failure_.clear();
}

bool ClientRun::wait_for_exit(std::chrono::seconds limit)
{
    if (client_ == 0)
        return true;
    if (!wait_for(client_, limit))
        return false;
    client_ = 0;
    return true;
}

std::optional<std::string> ClientRun::boinccmd(const std::vector<std::string>& arguments)
{
    if (access(BOINCCMD_PROGRAM, X_OK) != 0)
        throw std::runtime_error("no boinccmd at '" BOINCCMD_PROGRAM "': install boinc-client (make deps)");
    // The client listens on the IPv4 loopback; "localhost" may not resolve, or
    // resolve to ::1 first.
    std::vector<std::string> command = {BOINCCMD_PROGRAM, "--host", "127.0.0.1:" + std::to_string(port_)};
    command.insert(command.end(), arguments.begin(), arguments.end());
    // Run in the data directory, where it finds the client's RPC password.
    const std::string log = data_directory_ + "/boinccmd.out";
    fs::remove(log);
    const pid_t pid = spawn(command, data_directory_, log);
    const std::optional<int> status = wait_for(pid, 10s);
    if (!status) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        rpc_failure_ = "boinccmd " + arguments.front() + " did not end within 10 s";
        return std::nullopt;
    }
    // boinccmd exits with status 1 when it cannot connect, is refused the
    // password or the RPC fails, and prints why.
    const std::string output = read_text(log);
    if (!WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
        rpc_failure_ = "boinccmd " + arguments.front() + " on 127.0.0.1:" + std::to_string(port_) +
                       " failed: " + output;
        return std::nullopt;
    }
    rpc_failure_.clear();
    last_answer_ = std::chrono::steady_clock::now();
    return output;
}

bool ClientRun::quit(std::chrono::seconds limit)
{
    if (client_ == 0)
        return true;
    if (!boinccmd({"--quit"}))
        return wait_for_exit(std::min<std::chrono::seconds>(limit, 5s));
    return wait_for_exit(limit);
}

std::optional<TaskStatus> ClientRun::task_status()
{
    const std::optional<std::string> output = boinccmd({"--get_tasks"});
    return output ? parse_task_status(*output) : std::nullopt;
}

std::optional<TaskStatus> ClientRun::poll_task(std::chrono::seconds limit,
                                               const std::function<bool(const TaskStatus&)>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::optional<TaskStatus> last;
    for (;;) {
        if (std::optional<TaskStatus> status = task_status()) {
            last = status;
            if (done(*status))
                return last;
        }
        if (client_ != 0 && wait_for(client_, 0ms)) {
            client_ = 0;
            return last;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - last_answer_ >= rpc_patience)
            throw std::runtime_error("boinccmd has not reached the client for " +
                                     std::to_string(rpc_patience.count()) + " s: " + rpc_failure_ +
                                     "\nclient log:\n" + client_log());
        if (now >= deadline)
            return last;
        std::this_thread::sleep_for(200ms);
    }
}

void ClientRun::stop_everything()
{
    if (client_ == 0)
        return;
    if (quit(30s))
        return;
    // The client did not quit: end it and the tasks it started, by their ids.
    const std::vector<pid_t> tasks = children_of(client_);
    kill(client_, SIGKILL);
    for (pid_t task : tasks)
        kill(task, SIGKILL);
    waitpid(client_, nullptr, 0);
    client_ = 0;
}

RecordedResult ClientRun::recorded_result() const
{
    RecordedResult recorded;
    const std::string state = read_text(data_directory_ + "/client_state.xml");
    const std::size_t start = state.find("<result>");
    const std::size_t end = state.find("</result>", start);
    if (start == std::string::npos || end == std::string::npos)
        return recorded;
    const std::string result = state.substr(start, end - start);
    auto number = [&](const std::string& tag) {
        const std::string open = "<" + tag + ">";
        const std::size_t at = result.find(open);
        return at == std::string::npos ? -1 : std::atoi(result.c_str() + at + open.size());
    };
    recorded.state = number("state");
    recorded.exit_status = number("exit_status");
    // The client wraps the file's content in a line end on each side.
    const std::string open = "<stderr_txt>\n";
    const std::string close = "\n</stderr_txt>";
    const std::size_t text = result.find(open);
    const std::size_t text_end = text == std::string::npos ? text : result.find(close, text);
    if (text_end != std::string::npos)
        recorded.stderr_txt = result.substr(text + open.size(), text_end - text - open.size());
    return recorded;
}

std::string ClientRun::client_log() const
{
    return read_text(data_directory_ + "/client.log");
}

std::string ClientRun::result_path() const
{
    return project_directory_ + "/" + output_name;
}

std::optional<TaskStatus> parse_task_status(const std::string& output)
{
    std::istringstream lines(output);
    std::string line;
    bool in_task = false;
    TaskStatus task;
    while (std::getline(lines, line)) {
        if (line.find(") -----------") != std::string::npos) {
            if (in_task)
                break;
            in_task = true;
            continue;
        }
        const std::size_t colon = line.find(": ");
        if (!in_task || colon == std::string::npos)
            continue;
        const std::size_t key_start = line.find_first_not_of(' ');
        const std::string key = line.substr(key_start, colon - key_start);
        const std::string value = line.substr(colon + 2);
        if (key == "state")
            task.state = value;
        else if (key == "active_task_state")
            task.active_task_state = value;
        else if (key == "fraction done")
            task.fraction_done = std::stod(value);
        else if (key == "PID")
            task.pid = static_cast<pid_t>(std::stol(value));
    }
    if (!in_task)
        return std::nullopt;
    return task;
}

KeepOnFailure::~KeepOnFailure()
{
    if (testing::Test::HasFailure() || std::uncaught_exceptions() > 0) {
        run.keep_directory();
        std::cerr << "client data directory kept: " << run.data_directory() << "\n";
    }
}
