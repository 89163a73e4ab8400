// Helpers for the operator tools' tests: running the built tools, running a
// work unit through the worker's own search loop in process, and independent
// brute-force methods the tools' answers are compared with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "generator/square.h"
#include "temporary_files.h"
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

// --- Independent methods ---------------------------------------------------

// The free cells (off both diagonals) in row-major order.
std::vector<int> free_cells_row_major();

bool is_diagonal_latin(const Square& square);
bool are_orthogonal(const Square& a, const Square& b);

// Every diagonal transversal (byte r = column in row r), by plain recursion.
std::vector<std::vector<int>> diagonal_transversals_brute_force(const Square& square);

// Number of ways to partition the cells into ten diagonal transversals.
std::uint64_t mate_count_brute_force(const Square& square);

// The free cells' values in row-major order.
std::vector<int> free_values_of(const Square& square);

// The space's diagonals, the prefix in the first free cells, and `rest` in
// every later free cell (-1: the row number of the cell).
Square square_with_prefix(int diagonal_index, const std::vector<int>& prefix, int rest);

// Every assignment of the free cells from position `from` up to `length`,
// extending `prefix` (positions 0 .. from - 1), that repeats no value in a row
// or column (diagonals included); in increasing order.
std::vector<std::vector<int>> consistent_prefixes(int diagonal_index, const std::vector<int>& prefix, int length);

// The smallest consistent prefix of the same length above `prefix`, or an
// empty vector when there is none.
std::vector<int> next_prefix_brute_force(int diagonal_index, const std::vector<int>& prefix);

// The smallest member of a square's class that has the same anti-diagonal:
// rows reversed or not, every diagonal-preserving permutation applied to rows
// and columns, symbols renamed so the main diagonal reads 0-9.
Square class_minimum_brute_force(const Square& square);

// The greatest square of a space, by trying the largest values first.
Square last_square_brute_force(int diagonal_index);
