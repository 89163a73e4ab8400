// dlsmate-cf: the canonical form of each square given and the size of its main class.

#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "catalogue/canonical_form.h"
#include "catalogue/square_text.h"
#include "tools/lib/cli.h"
#include "tools/lib/workunit_file.h"

namespace {

const char* const tool = "dlsmate-cf";

const char* const help_text =
    "Usage: dlsmate-cf FILE...\n"
    "\n"
    "For each square in the files, prints a line\n"
    "\"# FILE square N (line L): class size S, stabilizer T\", then the square's\n"
    "canonical form (CF) as n lines of n values separated by spaces, then an empty\n"
    "line: the field's plain-text list of CFs, which dlsmate-catalogue import reads.\n"
    "\n"
    "The CF is the smallest of the square's images under the geometric group\n"
    "(simultaneous permutations p of rows and columns with p(n-1-i) = n-1-p(i),\n"
    "with or without transposition and reversal of the row order), each renamed\n"
    "so that its first row reads 0 1 ... n-1, compared cell by cell row by row.\n"
    "S is the number of such normalized squares in the main class, T the number\n"
    "of maps that leave the CF as it is.\n"
    "\n"
    "A FILE (\"-\" for standard input) holds diagonal Latin squares of order 1-10,\n"
    "each as n lines of n values separated by spaces (or of n digits), or on one\n"
    "line as n groups of n digits.  Empty lines and lines starting with # are\n"
    "skipped; reading stops at a line starting with X, so result files and\n"
    "dlsmate-mates' output will do.\n"
    "\n"
    "Exit status: 0 when every square was read; 1 on bad arguments or input\n"
    "(nothing is printed then).\n"
    "\n"
    "Example:\n"
    "  dlsmate-cf d65-k0-000001.out\n";

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> files;
    if (const std::optional<int> status = read_command_line(tool, argc, argv, help_text, {}, 1, files))
        return *status;
    if (files.empty()) {
        tool_message(tool, "expected one or more files of squares; see --help");
        return 1;
    }

    struct FileSquares {
        std::string name;
        std::vector<ListedSquare> squares;
    };
    std::vector<FileSquares> inputs;
    for (const std::string& file : files) {
        std::string bytes;
        std::string error;
        const std::string name = file == "-" ? "standard input" : file;
        if (file == "-")
            bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        else if (!read_whole_file(file, bytes, error))
            return tool_message(tool, error), 1;
        FileSquares input{name, {}};
        if (!read_square_list(name, bytes, input.squares, error))
            return tool_message(tool, error), 1;
        inputs.push_back(std::move(input));
    }

    for (const FileSquares& input : inputs) {
        for (const ListedSquare& listed : input.squares) {
            const CanonicalForm cf = canonical_form(listed.square);
            std::printf("# %s square %d (line %d): class size %u, stabilizer %u\n%s\n", input.name.c_str(),
                        listed.number, listed.line, cf.class_size, cf.stabilizer, square_text(cf.form).c_str());
        }
    }
    if (std::fflush(stdout) != 0) {
        tool_message(tool, "cannot write to standard output");
        return 1;
    }
    return 0;
}
