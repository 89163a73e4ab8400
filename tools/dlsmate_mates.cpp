// dlsmate-mates: prints every orthogonal diagonal mate of the squares given,
// one per set of ten disjoint diagonal transversals, and their number.

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "dlx/core.h"
#include "tools/lib/cli.h"
#include "tools/lib/squares.h"
#include "tools/lib/workunit_file.h"

namespace {

const char* const tool = "dlsmate-mates";

const char* const help_text =
    "Usage: dlsmate-mates [--count] FILE...\n"
    "\n"
    "For each square in the files, prints every orthogonal diagonal mate in the\n"
    "result file's record format (212 bytes, CR LF line ends), after a line\n"
    "\"# FILE square N (line L): M orthogonal diagonal mates\".  Mates are counted up\n"
    "to renaming of their symbols: one mate per set of ten disjoint diagonal\n"
    "transversals, printed with its first row reading 0 1 2 3 4 5 6 7 8 9, in\n"
    "increasing order.  With --count, prints only the number, one line per square.\n"
    "\n"
    "A FILE (\"-\" for standard input) holds squares as ten lines of ten values 0-9\n"
    "separated by spaces; empty lines and lines starting with # are skipped, so a\n"
    "result file (its records before the status line) or this tool's own output\n"
    "will do.  Reading a file stops at a line starting with X, a result file's\n"
    "status line.  Every square must be a diagonal Latin square of order 10; its\n"
    "diagonals may be any.\n"
    "\n"
    "Exit status: 0 when every square was searched; 1 on bad arguments or input\n"
    "(nothing is printed then) or when a square has more than 10000 diagonal\n"
    "transversals, which the mate search cannot hold (reported, the others printed).\n"
    "\n"
    "Examples:\n"
    "  dlsmate-mates d65-k0-000001.out\n"
    "  dlsmate-mates --count square.txt\n";

struct GivenSquare {
    std::string file;
    int number = 0; // within its file, from 1
    int line = 0;   // line of its first row
    Square square{};
};

// Reads the squares of one file; false with a message naming file and line.
bool read_squares(const std::string& name, std::istream& in, std::vector<GivenSquare>& squares, std::string& error)
{
    std::string line;
    int line_number = 0;
    int rows = 0;
    int count = 0;
    GivenSquare current;
    while (std::getline(in, line)) {
        ++line_number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#')
            continue;
        if (line[0] == 'X')
            break;
        std::istringstream fields(line);
        std::string field;
        int values = 0;
        while (fields >> field) {
            if (field.size() != 1 || field[0] < '0' || field[0] > '9' || values == 10) {
                error = name + " line " + std::to_string(line_number) + ": not ten values 0-9 separated by spaces";
                return false;
            }
            current.square.cells[10 * rows + values++] = static_cast<std::uint8_t>(field[0] - '0');
        }
        if (values != 10) {
            error = name + " line " + std::to_string(line_number) + ": not ten values 0-9 separated by spaces";
            return false;
        }
        if (rows == 0)
            current.line = line_number;
        if (++rows == 10) {
            current.file = name;
            current.number = ++count;
            const std::string problem = diagonal_latin_problem(current.square);
            if (!problem.empty()) {
                error = name + " square " + std::to_string(count) + " (line " + std::to_string(current.line) +
                        "): not a diagonal Latin square: " + problem;
                return false;
            }
            squares.push_back(current);
            rows = 0;
        }
    }
    if (in.bad()) {
        error = "cannot read " + name;
        return false;
    }
    if (rows != 0) {
        error = name + " line " + std::to_string(current.line) + ": the square has only " + std::to_string(rows) +
                " of 10 rows";
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    bool count_only = false;
    std::vector<std::string> files;
    if (const std::optional<int> status =
            read_command_line(tool, argc, argv, help_text, {{"--count", &count_only}}, 1, files))
        return *status;
    if (files.empty()) {
        tool_message(tool, "expected one or more files of squares; see --help");
        return 1;
    }

    std::vector<GivenSquare> squares;
    for (const std::string& file : files) {
        std::string error;
        bool read;
        if (file == "-") {
            read = read_squares("standard input", std::cin, squares, error);
        } else {
            std::string bytes;
            read = read_whole_file(file, bytes, error);
            if (read) {
                std::istringstream in(bytes);
                read = read_squares(file, in, squares, error);
            }
        }
        if (!read) {
            tool_message(tool, error);
            return 1;
        }
    }

    int status = 0;
    Progress progress(tool);
    for (std::size_t i = 0; i < squares.size(); ++i) {
        const GivenSquare& given = squares[i];
        const MateList list = all_mates(given.square);
        const std::string name =
            given.file + " square " + std::to_string(given.number) + " (line " + std::to_string(given.line) + ")";
        if (list.too_many_transversals) {
            tool_message(tool, name + ": " + std::to_string(list.transversals) + " diagonal transversals, more than " +
                                   std::to_string(max_transversals) + "; its mates are not searched");
            status = 1;
            if (!count_only)
                std::printf("# %s: not searched: more than %d diagonal transversals\r\n", name.c_str(), max_transversals);
            continue;
        }
        if (count_only) {
            std::printf("%zu\n", list.mates.size());
        } else {
            std::printf("# %s: %zu orthogonal diagonal mate%s\r\n", name.c_str(), list.mates.size(),
                        list.mates.size() == 1 ? "" : "s");
            for (const Square& mate : list.mates)
                std::fputs(square_record(mate).c_str(), stdout);
        }
        if (progress.due())
            progress.report(std::to_string(i + 1) + " of " + std::to_string(squares.size()) + " squares searched");
    }
    if (std::fflush(stdout) != 0) {
        tool_message(tool, "cannot write to standard output");
        return 1;
    }
    return status;
}
