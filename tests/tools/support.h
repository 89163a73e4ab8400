// Helpers for the operator tools' tests: running the built tools and running a
// work unit through the worker's own search loop in process.  The independent
// methods the tools' answers are compared with are in tests/reference/.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "generator/square.h"
#include "temporary_files.h"
#include "reference/enumeration_reference.h"
#include "reference/mate_reference.h"
#include "reference/prefix_reference.h"
#include "reference/symmetry_reference.h"
#include "test_squares.h"

struct CommandResult {
    int status = -1;  // exit status 0-255, -1 when the process did not exit
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs a program with arguments, standard input from /dev/null, and waits.
CommandResult run_command(const std::vector<std::string>& argv);

// Runs a work unit (its text) through read_workunit, prime_generator and
// run_search in this process, as the worker does, and returns the result
// file's bytes.  Fails the test when the worker would refuse the work unit.
std::string run_in_process(const std::string& workunit);

// The squares that pass the symmetry filter in the walk of a work unit, in
// order, up to the first that is not below the work unit's end square, and at
// most max_count of them.
std::vector<Square> passing_squares(const std::string& workunit, std::size_t max_count);

// Where prime_generator leaves the walk of a work unit: generator_state.position.
int primed_position(const std::string& workunit);

// The 202 numbers of a work unit file.
std::vector<long long> numbers_of(const std::string& text);

// A square from the first 100 digits of a text; lines starting with # skipped.
Square square_from_text(const std::string& text);
Square square_from_file(const std::string& path);
std::vector<Square> squares_from_file(const std::string& path); // every 100 digits
std::string status_line(int diagonal_number, std::uint64_t count);

// A result file split into its parts by the plain layout rules.
struct SplitResult {
    std::vector<Square> found;
    bool closed = false;
    int diagonal_number = 0;
    std::uint64_t count = 0;
    Square stop{};
    Square end{};
};
SplitResult split_result(const std::string& bytes);

// The free cells' values in row-major order (reference::free_values as a vector).
std::vector<int> free_values_of(const Square& square);
