// dlsmate-catalogue: the SQLite catalogue of a dlsmate project (see
// catalogue/catalogue.h for its tables), filled by the assimilator and read by
// operators and researchers.

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/canonical_form.h"
#include "catalogue/catalogue.h"
#include "catalogue/report.h"
#include "catalogue/square_text.h"
#include "tools/lib/cli.h"
#include "tools/lib/result_reader.h"
#include "tools/lib/workunit_file.h"

extern char** environ;

namespace {

const char* const tool = "dlsmate-catalogue";

// Long enough for any assimilation or operator's query to end.
constexpr int busy_ms = 120000;

const char* const help_text =
    "Usage: dlsmate-catalogue CATALOGUE COMMAND [ARGUMENTS]\n"
    "\n"
    "The assimilator's commands:\n"
    "  init                      create the tables (or add what an older catalogue lacks)\n"
    "  add [--cpu-seconds S] NAME WORKUNIT RESULT SUMMARY [CONTINUATION]\n"
    "                            record a unit's canonical result (SUMMARY: dlsmate-check's\n"
    "                            line), replacing what was recorded for it; every square\n"
    "                            with a mate is searched for all its mates and its class\n"
    "                            and its mates' classes recorded; S: the result's CPU time\n"
    "  error NAME MASK           record a unit that failed\n"
    "Queries:\n"
    "  totals                    per space: results, squares that passed the filter,\n"
    "                            squares with a mate\n"
    "  squares [SPACE]           every square found with a mate, each once, as ten lines\n"
    "                            of ten values after a line \"# UNIT\" and an empty line\n"
    "  research                  results, kept squares, squares with a mate, distinct CFs,\n"
    "                            new CFs per CPU hour, the largest number of mates, the\n"
    "                            graph's edges and components, triangles\n"
    "  cfs [--new]               every CF (--new: those not in an imported list) as ten\n"
    "                            lines of ten digits separated by spaces, an empty line\n"
    "                            between squares\n"
    "  spectra                   classes per number of diagonal transversals and of mates\n"
    "  graph                     the orthogonality graph in Graphviz's DOT\n"
    "  import FILE               load a researcher's list of CFs (the cfs format; any\n"
    "                            square of a class will do) as known classes\n"
    "  report DIRECTORY          write index.html with cfs.txt, spectra.txt, graph.dot,\n"
    "                            graph.svg, graph.png (Graphviz's dot), transversals.png\n"
    "                            and mates.png (gnuplot) into DIRECTORY\n"
    "\n"
    "Unit names hold letters, digits, '.', '_' and '-' and start with a letter or a\n"
    "digit.  A triangle (three mutually orthogonal squares) is reported on standard\n"
    "error when add finds it.\n"
    "\n"
    "Exit status: 0 done; 1 on a failure (bad input, a database error); 2 on bad\n"
    "arguments.\n";

int usage()
{
    tool_message(tool, "bad arguments; see --help");
    return 2;
}

bool parse_integer(const std::string& text, std::int64_t& value)
{
    std::uint64_t unsigned_value = 0;
    if (!parse_unsigned(text, unsigned_value) || unsigned_value > static_cast<std::uint64_t>(INT64_MAX))
        return false;
    value = static_cast<std::int64_t>(unsigned_value);
    return true;
}

// The fields after ": valid " in dlsmate-check's summary line.
bool parse_summary(const std::string& summary, UnitResult& unit, std::string& error)
{
    const std::size_t at = summary.rfind(": valid ");
    if (at == std::string::npos) {
        error = "not a summary of a valid result: " + summary;
        return false;
    }
    std::map<std::string, std::string> fields;
    std::istringstream words(summary.substr(at + 8));
    for (std::string word; words >> word;) {
        const std::size_t equals = word.find('=');
        if (equals != std::string::npos)
            fields[word.substr(0, equals)] = word.substr(equals + 1);
    }
    const auto count = [&](const char* key, std::optional<std::int64_t>& value, bool may_be_unknown) {
        const std::string& text = fields[key];
        if (may_be_unknown && text == "unknown") {
            value.reset();
            return true;
        }
        std::int64_t number = 0;
        if (!parse_integer(text, number))
            return false;
        value = number;
        return true;
    };
    std::optional<std::int64_t> records;
    std::optional<std::int64_t> own_records;
    unit.stop = fields["stop"];
    if (!count("records", records, false) || !count("own_records", own_records, false) ||
        !count("passing", unit.passing, true) || !count("own_passing", unit.own_passing, true) ||
        (unit.stop != "end" && unit.stop != "limit" && unit.stop != "exhausted")) {
        error = "not a summary of a valid result: " + summary;
        return false;
    }
    unit.records = *records;
    unit.own_records = *own_records;
    return true;
}

// Space, limit, start and end square of a work unit, as its file gives them,
// after the worker's own reader accepted it.
bool read_unit_file(const std::string& path, UnitResult& unit, std::string& error)
{
    WorkUnit checked;
    std::string text;
    if (!load_workunit(path, checked, error) || !read_whole_file(path, text, error))
        return false;
    std::istringstream numbers(text);
    std::vector<std::string> values;
    for (std::string value; numbers >> value;)
        values.push_back(value);
    if (values.size() < 202) {
        error = path + ": not a work unit of 202 numbers";
        return false;
    }
    unit.space = checked.diagonal_number;
    unit.square_limit = static_cast<std::int64_t>(checked.square_limit);
    for (int i = 2; i < 102; ++i)
        unit.start_square += values[i];
    for (int i = 102; i < 202; ++i)
        unit.end_square += values[i];
    return true;
}

std::string digits_of(const Square& square)
{
    std::string digits;
    for (std::uint8_t value : square.cells)
        digits += static_cast<char>('0' + value);
    return digits;
}

int command_add(Database& db, std::vector<std::string> args)
{
    UnitResult unit;
    if (args.size() >= 2 && args[0] == "--cpu-seconds") {
        char* end = nullptr;
        const double seconds = std::strtod(args[1].c_str(), &end);
        // BOINC's result record: 0 when the client reported none.
        if (args[1].empty() || *end != '\0' || !(seconds >= 0))
            return usage();
        if (seconds > 0)
            unit.cpu_seconds = seconds;
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.size() < 4 || args.size() > 5)
        return usage();
    unit.name = args[0];
    if (!valid_unit_name(unit.name))
        return tool_message(tool, "refusing the unit name \"" + unit.name + "\": not a name of this project"), 1;
    if (args.size() == 5 && !args[4].empty()) {
        if (!valid_unit_name(args[4]))
            return tool_message(tool, "refusing the continuation \"" + args[4] + "\": not a name of this project"), 1;
        unit.continuation = args[4];
    }
    std::string error;
    if (!parse_summary(args[3], unit, error) || !read_unit_file(args[1], unit, error))
        return tool_message(tool, error), 1;
    std::string bytes;
    if (!read_whole_file(args[2], bytes, error))
        return tool_message(tool, error), 1;
    const ResultFile result = read_result(bytes);
    if (!result.problems.empty() || !result.closed)
        return tool_message(tool, args[2] + ": not a sound result file" +
                                      (result.problems.empty() ? std::string() : ": " + result.problems[0])),
               1;
    if (static_cast<std::int64_t>(result.found.size()) != unit.records)
        return tool_message(tool, args[2] + " holds " + std::to_string(result.found.size()) +
                                      " records, its summary says " + std::to_string(unit.records)),
               1;
    for (const ResultRecord& record : result.found)
        unit.found.push_back(record.square);
    if (result.stop.well_formed)
        unit.stop_square = digits_of(result.stop.square);
    const AddReport report = add_unit(db, unit);
    for (const std::string& line : report.triangles)
        tool_message(tool, "TRIANGLE: three mutually orthogonal diagonal Latin squares, " + line);
    return 0;
}

// Runs a program (looked up in PATH) with text on its standard input; its exit status, or -1.
int run_program(const std::vector<std::string>& argv, const std::string& input)
{
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[0], 0);
    posix_spawn_file_actions_addclose(&actions, pipe_ends[1]);
    std::vector<char*> arguments;
    for (const std::string& arg : argv)
        arguments.push_back(const_cast<char*>(arg.c_str()));
    arguments.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, arguments[0], &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_ends[0]);
    if (spawned != 0) {
        close(pipe_ends[1]);
        return -1;
    }
    std::size_t written = 0;
    while (written < input.size()) {
        const ssize_t n = write(pipe_ends[1], input.data() + written, input.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += static_cast<std::size_t>(n);
    }
    close(pipe_ends[1]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool write_text(const std::string& path, const std::string& text)
{
    std::string error;
    if (!write_file_replacing(path, text, error)) {
        tool_message(tool, error);
        return false;
    }
    return true;
}

int command_report(Database& db, const std::string& directory)
{
    const ResearchTotals totals = research_totals(db);
    const std::vector<ClassRow> classes = class_rows(db);
    const auto edges = graph_edges(db);
    std::vector<std::string> forms;
    for (const ClassRow& row : classes)
        forms.push_back(row.cf);
    const std::string dot = graph_dot(classes, edges);
    const std::string spectra = spectrum_table("Diagonal transversals", transversal_spectrum(classes)) + "\n" +
                                spectrum_table("Orthogonal diagonal mates", mate_spectrum(classes));
    if (!write_text(directory + "/cfs.txt", cf_list(forms)) || !write_text(directory + "/spectra.txt", spectra) ||
        !write_text(directory + "/graph.dot", dot))
        return 1;
    struct Picture {
        std::vector<std::string> argv;
        std::string input;
        const char* package;
    };
    const std::vector<Picture> pictures = {
        {{"dot", "-Tsvg", "-o", directory + "/graph.svg"}, dot, "graphviz"},
        {{"dot", "-Tpng", "-o", directory + "/graph.png"}, dot, "graphviz"},
        {{"gnuplot"},
         spectrum_plot_script("Classes per number of diagonal transversals", "diagonal transversals",
                              transversal_spectrum(classes), directory + "/transversals.png"),
         "gnuplot-nox"},
        {{"gnuplot"},
         spectrum_plot_script("Classes per number of orthogonal diagonal mates", "mates", mate_spectrum(classes),
                              directory + "/mates.png"),
         "gnuplot-nox"},
    };
    for (const Picture& picture : pictures) {
        if (run_program(picture.argv, picture.input) != 0) {
            tool_message(tool, "cannot draw with " + picture.argv[0] + " (Debian's " + picture.package + ")");
            return 1;
        }
    }
    const std::string html = report_html(totals, space_totals(db), classes, edges, triangle_lines(db));
    return write_text(directory + "/index.html", html) ? 0 : 1;
}

int command_import(Database& db, const std::string& path)
{
    std::string bytes;
    std::string error;
    if (!read_whole_file(path, bytes, error))
        return tool_message(tool, error), 1;
    std::vector<ListedSquare> squares;
    if (!read_square_list(path, bytes, squares, error))
        return tool_message(tool, error), 1;
    std::vector<std::string> forms;
    for (const ListedSquare& listed : squares)
        forms.push_back(square_digits(canonical_form(listed.square).form));
    const int added = import_known(db, forms, path);
    std::printf("%zu squares read, %d classes new to the known list\n", squares.size(), added);
    return 0;
}

int run(const std::string& path, const std::string& command, const std::vector<std::string>& args)
{
    if (command == "init") {
        if (!args.empty())
            return usage();
        Database db(path, Database::Mode::create, busy_ms);
        init_catalogue(db);
        return 0;
    }
    // Queries only read: an operator or a web server's user needs no write access.
    const bool writes = command == "add" || command == "error" || command == "import";
    Database db(path, writes ? Database::Mode::read_write : Database::Mode::read_only, busy_ms);
    if (command == "add")
        return command_add(db, args);
    if (command == "error") {
        std::int64_t mask = 0;
        if (args.size() != 2 || !parse_integer(args[1], mask))
            return usage();
        if (!valid_unit_name(args[0]))
            return tool_message(tool, "refusing the unit name \"" + args[0] + "\": not a name of this project"), 1;
        add_error(db, args[0], mask);
        return 0;
    }
    if (command == "totals" && args.empty()) {
        for (const std::string& line : space_totals(db))
            std::printf("%s\n", line.c_str());
        return 0;
    }
    if (command == "squares" && args.size() <= 1) {
        std::optional<int> space;
        if (args.size() == 1) {
            std::int64_t value = 0;
            if (!parse_integer(args[0], value) || value > 67)
                return usage();
            space = static_cast<int>(value);
        }
        for (const auto& [unit, digits] : found_squares(db, space)) {
            LatinSquare square;
            if (square_from_digits(digits, square))
                std::printf("# %s\n%s\n", unit.c_str(), square_text(square).c_str());
        }
        return 0;
    }
    if (command == "research" && args.empty()) {
        for (const std::string& line : research_lines(research_totals(db)))
            std::printf("%s\n", line.c_str());
        for (const std::string& line : triangle_lines(db))
            std::printf("TRIANGLE: %s\n", line.c_str());
        return 0;
    }
    if (command == "cfs" && (args.empty() || (args.size() == 1 && args[0] == "--new"))) {
        std::vector<std::string> forms;
        for (const ClassRow& row : class_rows(db))
            if (args.empty() || !row.known)
                forms.push_back(row.cf);
        std::fputs(cf_list(forms).c_str(), stdout);
        return 0;
    }
    if (command == "spectra" && args.empty()) {
        const std::vector<ClassRow> classes = class_rows(db);
        std::printf("%s\n%s", spectrum_table("Diagonal transversals", transversal_spectrum(classes)).c_str(),
                    spectrum_table("Orthogonal diagonal mates", mate_spectrum(classes)).c_str());
        return 0;
    }
    if (command == "graph" && args.empty()) {
        std::fputs(graph_dot(class_rows(db), graph_edges(db)).c_str(), stdout);
        return 0;
    }
    if (command == "import" && args.size() == 1)
        return command_import(db, args[0]);
    if (command == "report" && args.size() == 1)
        return command_report(db, args[0]);
    return usage();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(help_text, stdout);
        return 0;
    }
    if (argc < 3)
        return usage();
    const std::vector<std::string> args(argv + 3, argv + argc);
    int status = 1;
    try {
        status = run(argv[1], argv[2], args);
    } catch (const DatabaseError& e) {
        tool_message(tool, std::string(argv[1]) + ": " + e.what());
        return 1;
    }
    if (std::fflush(stdout) != 0) {
        tool_message(tool, "cannot write to standard output");
        return 1;
    }
    return status;
}
