// dlsmate-check: validates a result file against its work unit, or compares
// the results of two replicas; exit statuses fit BOINC's script_validator.

#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dlx/core.h"
#include "generator/search.h"
#include "tools/lib/cli.h"
#include "tools/lib/result_reader.h"
#include "tools/lib/squares.h"
#include "tools/lib/walk.h"
#include "tools/lib/workunit_file.h"

// The bounds on one run of the tool: far above what checking the largest
// honest result of a unit takes, far below what would stall a validator that
// serves a whole project.
#define DLSMATE_CHECK_CPU_SECONDS 300
#define DLSMATE_CHECK_MEMORY_GIB 2
#define DLSMATE_TEXT(x) DLSMATE_TEXT_OF(x)
#define DLSMATE_TEXT_OF(x) #x

namespace {

const char* const tool = "dlsmate-check";

const char* const help_text =
    "Usage: dlsmate-check [--quiet] [--strict] WORKUNIT RESULT\n"
    "       dlsmate-check [--quiet] --workunit-dir DIRECTORY RESULT\n"
    "       dlsmate-check [--quiet] --compare RESULT_A RESULT_B\n"
    "\n"
    "Validates a result file against its work unit: every record is 212 bytes in\n"
    "the exact format; every square before the status line is a diagonal Latin\n"
    "square with the work unit's diagonals, the smallest of its symmetry class, has\n"
    "an orthogonal diagonal mate (recomputed), and the squares strictly increase and\n"
    "lie where the generator walks from the work unit's start square; the closing\n"
    "block, when present, names the work unit's diagonal index, a count not above\n"
    "the limit, a stop square that the walk reaches and that no found square\n"
    "exceeds, and the work unit's end square; a stop square not below the end\n"
    "square must be the one square a run can stop on there, the first square of\n"
    "the walk that passes the filter and is not below the end square (found here\n"
    "with the worker's own walk).  What only a second run can show (the count, and\n"
    "that no square with a mate is missing) is left to comparing replicas.\n"
    "\n"
    "The check stops at the first failure and prints it, \"RESULT: where: what\".  A\n"
    "file larger than the largest result its work unit can have is refused unread.\n"
    "It runs under limits of " DLSMATE_TEXT(DLSMATE_CHECK_CPU_SECONDS) " s of CPU time and " DLSMATE_TEXT(DLSMATE_CHECK_MEMORY_GIB) " GiB of memory; a check cut\n"
    "off by them ends with a status other than 0.  On success it prints one line\n"
    "\"RESULT: valid records=N passing=C stop=end|limit|exhausted own_records=N'\n"
    "own_passing=C'\", where own_* leave out the stop square when a later unit\n"
    "examines it again (the run stopped at its end square).\n"
    "\n"
    "A result without a closing block says the space ran out.  Without --strict that\n"
    "is taken at its word.  With --strict (the default with --workunit-dir) it is\n"
    "accepted only when the work unit's end square is the all-nines square: of the\n"
    "units dlsmate-split and dlsmate-next write, only those (the last of a space)\n"
    "can run out, so an empty or truncated upload of any other unit is rejected.\n"
    "\n"
    "  --strict                  require the closing block unless the end square is\n"
    "                            the all-nines square\n"
    "  --workunit-dir DIRECTORY  find the work unit by the result's BOINC file name\n"
    "                            <wu>_<replica>_r<random>_<file> (or, from older\n"
    "                            servers, <wu>_<replica>_<file>): DIRECTORY/<wu> or\n"
    "                            DIRECTORY/<wu>.wu; implies --strict\n"
    "  --compare A B             whether two replicas' results agree (byte for byte)\n"
    "  --quiet                   print failures only\n"
    "  --help                    this text\n"
    "\n"
    "Exit status: 0 valid (or, with --compare, equivalent); 1 invalid (or different);\n"
    "2 the check could not be made (bad arguments, a file that cannot be read, a work\n"
    "unit the worker would refuse).  These fit script_validator's --init_script and\n"
    "--compare_script.\n"
    "\n"
    "Examples:\n"
    "  dlsmate-check units-05/d05-k8-000001.wu d05-k8-000001.out\n"
    "  dlsmate-check --quiet --workunit-dir units-05 d05-k8-000001_0_r1804289383_0\n"
    "  dlsmate-check --compare replica-a.out replica-b.out\n";


// The work unit's name from a BOINC output file name, read from the right:
// <file> is the text after the last underscore (what the output template puts
// after <OUTFILE_, "0" for <OUTFILE_0/>), then BOINC 7's _r<random>, which may
// be missing (older servers), then _<replica>; what is left is the work unit's
// name, which may hold underscores of its own.
bool workunit_name_of(const std::string& path, std::string& name)
{
    const std::size_t slash = path.find_last_of('/');
    std::string base = path.substr(slash == std::string::npos ? 0 : slash + 1);
    auto is_number = [](const std::string& text, std::size_t from) {
        return from < text.size() && text.find_first_not_of("0123456789", from) == std::string::npos;
    };
    const std::size_t file_at = base.rfind('_');
    if (file_at == std::string::npos || file_at == 0 || file_at + 1 == base.size())
        return false;
    base.erase(file_at);
    const std::size_t random_at = base.rfind("_r");
    if (random_at != std::string::npos && random_at > 0 && is_number(base, random_at + 2))
        base.erase(random_at);
    const std::size_t replica_at = base.rfind('_');
    if (replica_at == std::string::npos || replica_at == 0 || !is_number(base, replica_at + 1))
        return false;
    base.erase(replica_at);
    name = base;
    return true;
}

bool is_all_nines(const Square& square)
{
    for (std::uint8_t cell : square.cells)
        if (cell != 9)
            return false;
    return true;
}

bool file_exists(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    std::fclose(f);
    return true;
}

// The verdict: the first failure decides it, and only that one is printed.
class Report {
public:
    explicit Report(const std::string& result_path) : path_(result_path) {}
    void fail(const std::string& where, const std::string& what)
    {
        if (!failed_)
            std::printf("%s: %s: %s\n", path_.c_str(), where.c_str(), what.c_str());
        failed_ = true;
    }
    bool failed() const { return failed_; }

private:
    std::string path_;
    bool failed_ = false;
};

// The largest result a run of the unit can write: a record for each square
// that passed the filter, the status line and the two closing records.
std::uint64_t largest_result(const WorkUnit& unit)
{
    const std::string status = "X\r\n" + std::to_string(unit.diagonal_number) + " " +
                               std::to_string(unit.square_limit) + "\r\n";
    std::uint64_t records = 0;
    if (__builtin_mul_overflow(unit.square_limit, std::uint64_t{212}, &records))
        return UINT64_MAX;
    std::uint64_t size = 0;
    if (__builtin_add_overflow(records, status.size() + 424, &size))
        return UINT64_MAX;
    return size;
}

// Reads a result file of at most `most` bytes.  Anything that is not a regular
// file, or is larger, is refused before its content is read.  0: read; 1: too
// large (reported); 2: cannot be read (`error` says why).
int read_bounded(const std::string& path, std::uint64_t most, std::string& bytes, std::string& error,
                 Report& report)
{
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) {
        error = "cannot open " + path;
        return 2;
    }
    if (!S_ISREG(status.st_mode)) {
        error = "cannot check " + path + ": not a regular file";
        return 2;
    }
    const auto too_large = [&](std::uint64_t size) {
        report.fail("byte 0", std::to_string(size) + " bytes, more than the " + std::to_string(most) +
                                  " bytes of the largest result a run of the work unit writes");
        return 1;
    };
    if (static_cast<std::uint64_t>(status.st_size) > most)
        return too_large(static_cast<std::uint64_t>(status.st_size));
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot open " + path;
        return 2;
    }
    // The file may grow after the look at its size: read one byte more than allowed at most.
    bytes.assign(static_cast<std::size_t>(status.st_size) + 1, '\0');
    std::size_t got = 0;
    for (std::size_t n; got < bytes.size() && (n = std::fread(&bytes[got], 1, bytes.size() - got, file)) > 0;)
        got += n;
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        error = "cannot read " + path;
        return 2;
    }
    if (got > static_cast<std::size_t>(status.st_size))
        return too_large(got);
    bytes.resize(got);
    return 0;
}

std::string at(const std::string& name, std::size_t offset)
{
    return name + " at byte " + std::to_string(offset);
}

// A square of the run must be a diagonal Latin square of the space and pass the
// symmetry filter.  False (reported) when it is not.
bool check_passing_square(const Square& square, int d, const std::string& where, Report& report)
{
    std::string problem = diagonal_latin_problem(square);
    if (!problem.empty()) {
        report.fail(where, "not a diagonal Latin square: " + problem);
        return false;
    }
    problem = diagonals_problem(square, d);
    if (!problem.empty()) {
        report.fail(where, "not a square of the work unit's space: " + problem);
        return false;
    }
    if (!is_smallest_of_class(square, d)) {
        report.fail(where, "not the smallest square of its symmetry class; the worker never counts it");
        return false;
    }
    return true;
}

std::string too_many(const MateAnswer& answer)
{
    return "has " + std::to_string(answer.transversals) + " diagonal transversals, more than " +
           std::to_string(max_transversals) + ": the worker stops with an error on such a square";
}

int check(const std::string& workunit_path, const std::string& result_path, bool quiet, bool strict)
{
    WorkUnit unit;
    std::string error;
    if (!load_workunit(workunit_path, unit, error)) {
        tool_message(tool, error);
        return 2;
    }
    Report report(result_path);
    std::string bytes;
    switch (read_bounded(result_path, largest_result(unit), bytes, error, report)) {
    case 1:
        return 1;
    case 2:
        tool_message(tool, error);
        return 2;
    }

    const int d = unit.diagonal_number - 1;
    const WalkStart walk = walk_start(unit);
    if (!walk.can_start) {
        report.fail("work unit " + workunit_path,
                    "no square follows its start square: the worker stops with \"Line end\" and returns no result");
        return 1;
    }

    const ResultFile result = read_result(bytes);
    if (!result.problems.empty()) {
        const std::string& problem = result.problems.front();
        report.fail(problem.substr(0, problem.find(": ")), problem.substr(problem.find(": ") + 2));
        return 1;
    }

    Progress progress(tool);
    const ResultRecord* previous = nullptr;
    for (std::size_t i = 0; i < result.found.size(); ++i) {
        const ResultRecord& record = result.found[i];
        if (!record.well_formed)
            continue;
        const std::string where = at("record " + std::to_string(i + 1), record.offset);
        const Square& square = record.square;
        // The cheap checks first; the mate search only for a square that passes them.
        check_passing_square(square, d, where, report);
        if (previous != nullptr && compare_squares(square, previous->square) <= 0)
            report.fail(where, "not above the record before it (byte " + std::to_string(previous->offset) +
                                   "): the worker writes squares in increasing order");
        if (!lies_in_walk(walk, square))
            report.fail(where, "lies before the walk of the work unit, which starts " + walk_description(walk));
        if (result.closed && result.stop.well_formed) {
            const int to_stop = compare_squares(square, result.stop.square);
            if (to_stop > 0)
                report.fail(where, "above the stop square (byte " + std::to_string(result.stop.offset) +
                                       "): the run had stopped before it");
            else if (to_stop < 0 && compare_squares(square, unit.end_square) >= 0)
                report.fail(where, "not below the end square, yet the run went on past it");
        } else if (!result.closed && compare_squares(square, unit.end_square) >= 0) {
            report.fail(where, "not below the end square, yet the result has no closing block: the run stops there");
        }
        if (!report.failed()) {
            const MateAnswer answer = check_mate(square);
            if (answer.too_many_transversals)
                report.fail(where, too_many(answer));
            else if (!answer.has_mate)
                report.fail(where, "has no orthogonal diagonal mate");
        }
        if (report.failed())
            return 1;
        previous = &record;
        if (!quiet && progress.due())
            progress.report("checked " + std::to_string(i + 1) + " of " + std::to_string(result.found.size()) +
                            " records");
    }

    const std::size_t records = result.found.size();
    std::string stop_kind = "exhausted";
    bool shared = false;       // the stop square is the next unit's first square
    bool last_is_stop = false; // the stop square has a mate and is the last record
    if (result.closed) {
        const std::string status = at("status line", result.status_offset);
        if (result.status_diagonal != unit.diagonal_number)
            report.fail(status, "diagonal index " + std::to_string(result.status_diagonal) + ", the work unit's is " +
                                    std::to_string(unit.diagonal_number));
        const std::uint64_t count = result.status_count;
        if (count == 0)
            report.fail(status, "count 0: the square at which a run stops is always counted");
        if (count > unit.square_limit)
            report.fail(status, "count " + std::to_string(count) + " is above the work unit's square limit " +
                                    std::to_string(unit.square_limit));

        const std::string end_where = at("end square record", result.end_offset);
        const std::string expected_end = square_record(unit.end_square);
        if (result.end_record != expected_end) {
            std::size_t k = 0;
            while (result.end_record[k] == expected_end[k])
                ++k;
            report.fail(end_where, "not the work unit's end square (first difference at byte " +
                                       std::to_string(result.end_offset + k) + ")");
        }

        if (result.stop.well_formed) {
            const Square& stop = result.stop.square;
            const std::string where = at("stop square record", result.stop.offset);
            last_is_stop = records > 0 && result.found.back().well_formed &&
                           compare_squares(result.found.back().square, stop) == 0;
            if (check_passing_square(stop, d, where, report) && !last_is_stop) {
                const MateAnswer answer = check_mate(stop);
                if (answer.too_many_transversals)
                    report.fail(where, too_many(answer));
                else if (answer.has_mate)
                    report.fail(where, "has an orthogonal diagonal mate, but is not the last record before the "
                                       "status line");
            }
            if (!lies_in_walk(walk, stop))
                report.fail(where, "lies before the walk of the work unit, which starts " + walk_description(walk));
            const RunStop why = run_stops_at(stop, count, unit.end_square, unit.square_limit);
            const bool at_end = why == RunStop::end_square;
            if (why == RunStop::goes_on)
                report.fail(status, "the run stopped below the end square with count " + std::to_string(count) +
                                        ", short of the limit " + std::to_string(unit.square_limit));
            const std::uint64_t evidenced = records + (last_is_stop ? 0 : 1);
            if (count < evidenced)
                report.fail(status, "count " + std::to_string(count) + " is below the " + std::to_string(evidenced) +
                                        " different squares the file shows passed the filter");
            if (at_end && !report.failed()) {
                // A run stops at the first passing square not below its end square
                // and at no other: that square can be found without the run.
                const EndStop expected = end_stop_square(unit, walk);
                if (!expected.found)
                    report.fail(where, "not below the end square, but the walk of the work unit has no passing "
                                       "square there: its runs stop at the limit or the end of the space");
                else if (compare_squares(stop, expected.square) != 0)
                    report.fail(where, "not below the end square, but not the first square of the walk that passes "
                                       "the filter there, at which every run stops: " +
                                           square_one_line(expected.square));
            }
            stop_kind = at_end ? "end" : "limit";
            shared = at_end;
        }
    } else if (records >= unit.square_limit) {
        report.fail(at("byte", bytes.size()), "no closing block after " + std::to_string(records) +
                                                  " records: the run stops at its limit of " +
                                                  std::to_string(unit.square_limit) + " squares with one");
    } else if (strict && !is_all_nines(unit.end_square)) {
        report.fail(at("end of file", bytes.size()),
                    "no closing block after " + std::to_string(records) +
                        " records: a run of this work unit writes one, since only a unit whose end square is the "
                        "all-nines square can run out of squares (strict check)");
    }

    if (report.failed())
        return 1;
    if (!quiet) {
        std::string line = result_path + ": valid records=" + std::to_string(records);
        if (result.closed) {
            line += " passing=" + std::to_string(result.status_count) + " stop=" + stop_kind +
                    " own_records=" + std::to_string(records - (shared && last_is_stop ? 1 : 0)) +
                    " own_passing=" + std::to_string(result.status_count - (shared ? 1 : 0));
        } else {
            line += " passing=unknown stop=exhausted own_records=" + std::to_string(records) + " own_passing=unknown";
        }
        std::printf("%s\n", line.c_str());
    }
    return 0;
}

int compare(const std::string& path_a, const std::string& path_b, bool quiet)
{
    std::string a;
    std::string b;
    std::string error;
    if (!read_whole_file(path_a, a, error) || !read_whole_file(path_b, b, error)) {
        tool_message(tool, error);
        return 2;
    }
    if (a == b) {
        if (!quiet)
            std::printf("%s and %s: equivalent\n", path_a.c_str(), path_b.c_str());
        return 0;
    }
    std::size_t k = 0;
    while (k < a.size() && k < b.size() && a[k] == b[k])
        ++k;
    const ResultFile parsed = read_result(a);
    std::printf("%s and %s: differ from byte %zu on, in %s of %s (%zu and %zu bytes long)\n", path_a.c_str(),
                path_b.c_str(), k, part_at(parsed, k, a.size()).c_str(), path_a.c_str(), a.size(), b.size());
    return 1;
}

// Past the CPU limit the kernel ends the process (SIGXCPU, then SIGKILL); past
// the memory limit an allocation fails and the process ends.  The sanitizer
// builds reserve far more address space than they use, so they go without the
// memory limit.
void limit_resources()
{
#ifdef DLSMATE_CHECK_UNLIMITED // built into a fuzz target, which runs for hours
    return;
#endif
    const rlimit cpu{DLSMATE_CHECK_CPU_SECONDS, DLSMATE_CHECK_CPU_SECONDS + 5};
    setrlimit(RLIMIT_CPU, &cpu);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    const rlim_t bytes = static_cast<rlim_t>(DLSMATE_CHECK_MEMORY_GIB) << 30;
    const rlimit memory{bytes, bytes};
    setrlimit(RLIMIT_AS, &memory);
#endif
}

} // namespace

int main(int argc, char** argv)
{
    limit_resources();
    bool quiet = false;
    bool compare_mode = false;
    bool strict = false;
    std::optional<std::string> given_workunit_dir;
    std::vector<std::string> files;
    if (const std::optional<int> status = read_command_line(
            tool, argc, argv, help_text,
            {{"--quiet", &quiet},
             {"--strict", &strict},
             {"--compare", &compare_mode},
             {"--workunit-dir", nullptr, &given_workunit_dir, "a directory"}},
            2, files))
        return *status;
    const std::string workunit_dir = given_workunit_dir.value_or("");

    if (compare_mode) {
        if (files.size() != 2 || !workunit_dir.empty() || strict) {
            tool_message(tool, "--compare takes two result files and no other option but --quiet; see --help");
            return 2;
        }
        return compare(files[0], files[1], quiet);
    }
    if (!workunit_dir.empty()) {
        if (files.size() != 1) {
            tool_message(tool, "--workunit-dir takes one result file; see --help");
            return 2;
        }
        std::string name;
        if (!workunit_name_of(files[0], name)) {
            tool_message(tool, "cannot tell the work unit from the file name " + files[0] +
                                   ": expected <wu>_<replica>_r<random>_<file> or <wu>_<replica>_<file>");
            return 2;
        }
        const std::string plain = workunit_dir + "/" + name;
        const std::string with_suffix = plain + ".wu";
        if (file_exists(plain))
            return check(plain, files[0], quiet, true);
        if (file_exists(with_suffix))
            return check(with_suffix, files[0], quiet, true);
        tool_message(tool, "no work unit " + plain + " or " + with_suffix + " for " + files[0]);
        return 2;
    }
    if (files.size() != 2) {
        tool_message(tool, "expected WORKUNIT RESULT; see --help");
        return 2;
    }
    return check(files[0], files[1], quiet, strict);
}
