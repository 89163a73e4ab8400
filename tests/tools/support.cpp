#include "support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "filter/canonical.h"
#include "generator/generator.h"
#include "generator/search.h"
#include "generator/state.h"
#include "generator/tables.h"
#include "io/workunit.h"
#include "reference/enumeration_reference.h"
#include "reference/mate_reference.h"
#include "reference/symmetry_reference.h"

namespace fs = std::filesystem;

CommandResult run_command(const std::vector<std::string>& argv)
{
    CommandResult result;
    const std::string directory = make_temporary_directory();
    const std::string out_path = directory + "/out";
    const std::string err_path = directory + "/err";
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<std::string> copies = argv;
        std::vector<char*> args;
        for (std::string& a : copies)
            args.push_back(a.data());
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    fs::remove_all(directory);
    return result;
}

namespace {

// Reads the work unit into a fresh state and primes the generator.
void prepare(const std::string& workunit)
{
    generator_state = GeneratorState{};
    std::FILE* input = std::tmpfile();
    std::fwrite(workunit.data(), 1, workunit.size(), input);
    std::rewind(input);
    const bool read = read_workunit(input);
    std::fclose(input);
    ASSERT_TRUE(read) << "the worker refuses the work unit:\n" << workunit;
    ASSERT_TRUE(prime_generator()) << "the worker stops with Line end on:\n" << workunit;
}

} // namespace

std::string run_in_process(const std::string& workunit)
{
    prepare(workunit);
    if (testing::Test::HasFatalFailure())
        return "";
    std::FILE* result = std::tmpfile();
    run_search(result);
    std::fflush(result);
    std::rewind(result);
    std::string bytes;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, result)) > 0)
        bytes.append(buffer, n);
    std::fclose(result);
    generator_state = GeneratorState{};
    return bytes;
}

std::vector<Square> passing_squares(const std::string& workunit, std::size_t max_count)
{
    std::vector<Square> squares;
    prepare(workunit);
    if (testing::Test::HasFatalFailure())
        return squares;
    const Square end = generator_state.end_square;
    while (squares.size() < max_count && next_square()) {
        if (!is_canonical(generator_state.chosen_bits))
            continue;
        squares.push_back(assembled_square);
        if (compare_squares(assembled_square, end) >= 0)
            break;
    }
    generator_state = GeneratorState{};
    return squares;
}

Square square_from_text(const std::string& text)
{
    Square s{};
    int n = 0;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line) && n < 100) {
        if (!line.empty() && line[0] == '#')
            continue;
        for (char ch : line)
            if (ch >= '0' && ch <= '9' && n < 100)
                s.cells[n++] = static_cast<std::uint8_t>(ch - '0');
    }
    EXPECT_EQ(n, 100) << "not 100 digits in:\n" << text;
    return s;
}

Square square_from_file(const std::string& path)
{
    return square_from_text(read_file(path));
}

std::vector<Square> squares_from_file(const std::string& path)
{
    std::vector<Square> squares;
    std::istringstream lines(read_file(path));
    std::string line;
    Square s{};
    int n = 0;
    while (std::getline(lines, line)) {
        if (!line.empty() && line[0] == '#')
            continue;
        for (char ch : line) {
            if (ch < '0' || ch > '9')
                continue;
            s.cells[n++] = static_cast<std::uint8_t>(ch - '0');
            if (n == 100) {
                squares.push_back(s);
                n = 0;
            }
        }
    }
    EXPECT_EQ(n, 0) << path;
    return squares;
}

std::string status_line(int diagonal_number, std::uint64_t count)
{
    return "X\r\n" + std::to_string(diagonal_number) + " " + std::to_string(count) + "\r\n";
}

namespace {

Square square_at(const std::string& bytes, std::size_t at)
{
    Square s{};
    for (int i = 0; i < 100; ++i)
        s.cells[i] = static_cast<std::uint8_t>(bytes.at(at + 21 * (i / 10) + 2 * (i % 10)) - '0');
    return s;
}

} // namespace

SplitResult split_result(const std::string& bytes)
{
    SplitResult result;
    std::size_t at = 0;
    while (at < bytes.size() && bytes[at] != 'X') {
        result.found.push_back(square_at(bytes, at));
        at += 212;
    }
    if (at >= bytes.size())
        return result;
    const std::size_t line_end = bytes.find("\r\n", at + 3);
    std::istringstream status(bytes.substr(at + 3, line_end - at - 3));
    status >> result.diagonal_number >> result.count;
    result.closed = true;
    result.stop = square_at(bytes, line_end + 2);
    result.end = square_at(bytes, line_end + 2 + 212);
    EXPECT_EQ(bytes.size(), line_end + 2 + 424);
    return result;
}

std::vector<int> free_cells_row_major()
{
    std::vector<int> cells;
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            if (c != r && c != 9 - r)
                cells.push_back(10 * r + c);
    return cells;
}

bool is_diagonal_latin(const Square& s)
{
    return reference::is_diagonal_latin(s);
}

bool are_orthogonal(const Square& a, const Square& b)
{
    return mate_reference::are_orthogonal(a, b);
}

std::vector<std::vector<int>> diagonal_transversals_brute_force(const Square& s)
{
    std::vector<std::vector<int>> found;
    for (const auto& t : mate_reference::diagonal_transversals(s))
        found.emplace_back(t.begin(), t.end());
    return found;
}

std::uint64_t mate_count_brute_force(const Square& square)
{
    const std::vector<std::vector<int>> transversals = diagonal_transversals_brute_force(square);
    // Cells of each transversal as a 100-bit set; covers counted by always
    // covering the lowest uncovered cell.
    struct Cells {
        std::uint64_t low = 0, high = 0;
    };
    std::vector<Cells> sets;
    for (const auto& t : transversals) {
        Cells c;
        for (int r = 0; r < 10; ++r) {
            const int cell = 10 * r + t[r];
            if (cell < 64)
                c.low |= 1ull << cell;
            else
                c.high |= 1ull << (cell - 64);
        }
        sets.push_back(c);
    }
    std::function<std::uint64_t(Cells, int)> count = [&](Cells used, int placed) -> std::uint64_t {
        if (placed == 10)
            return 1;
        int lowest = 0;
        while (lowest < 64 ? (used.low >> lowest & 1) : (used.high >> (lowest - 64) & 1))
            ++lowest;
        std::uint64_t total = 0;
        for (const Cells& c : sets) {
            const bool covers = lowest < 64 ? (c.low >> lowest & 1) : (c.high >> (lowest - 64) & 1);
            if (covers && (c.low & used.low) == 0 && (c.high & used.high) == 0)
                total += count(Cells{used.low | c.low, used.high | c.high}, placed + 1);
        }
        return total;
    };
    return count(Cells{}, 0);
}

namespace {

// Whether v may go into cell given the filled cells: no repeat in its row or column.
bool value_fits(const Square& s, const std::vector<bool>& filled, int cell, int v)
{
    for (int j = 0; j < 10; ++j) {
        const int in_row = 10 * (cell / 10) + j;
        const int in_column = 10 * j + cell % 10;
        if ((filled[in_row] && s.cells[in_row] == v) || (filled[in_column] && s.cells[in_column] == v))
            return false;
    }
    return true;
}

} // namespace

std::vector<std::vector<int>> consistent_prefixes(int diagonal_index, const std::vector<int>& prefix, int length)
{
    const std::vector<int> cells = free_cells_row_major();
    Square s{};
    for (int r = 0; r < 10; ++r) {
        s.cells[11 * r] = static_cast<std::uint8_t>(r);
        s.cells[10 * r + 9 - r] = static_cast<std::uint8_t>(anti_diagonal_table[diagonal_index][r]);
    }
    std::vector<bool> filled(100, false);
    for (int r = 0; r < 10; ++r)
        filled[11 * r] = filled[10 * r + 9 - r] = true;
    auto fits = [&](int cell, int v) { return value_fits(s, filled, cell, v); };
    std::vector<std::vector<int>> found;
    std::vector<int> values;
    for (std::size_t k = 0; k < prefix.size(); ++k) {
        if (!fits(cells[k], prefix[k]))
            return found;
        s.cells[cells[k]] = static_cast<std::uint8_t>(prefix[k]);
        filled[cells[k]] = true;
        values.push_back(prefix[k]);
    }
    std::function<void(int)> extend = [&](int k) {
        if (k == length) {
            found.push_back(values);
            return;
        }
        for (int v = 0; v < 10; ++v) {
            if (!fits(cells[k], v))
                continue;
            s.cells[cells[k]] = static_cast<std::uint8_t>(v);
            filled[cells[k]] = true;
            values.push_back(v);
            extend(k + 1);
            values.pop_back();
            filled[cells[k]] = false;
        }
    };
    extend(static_cast<int>(prefix.size()));
    return found;
}

Square class_minimum_brute_force(const Square& square)
{
    for (int d = 0; d < diagonal_count; ++d) {
        bool same_anti = true;
        for (int r = 0; r < 10; ++r)
            same_anti = same_anti && square.cells[10 * r + 9 - r] == anti_diagonal_table[d][r];
        if (same_anti)
            return symmetry_reference::class_members(square, d).front();
    }
    ADD_FAILURE() << "the square's anti-diagonal is none of the table's";
    return square;
}

Square last_square_brute_force(int diagonal_index)
{
    return reference::last_square(diagonal_index);
}

int primed_position(const std::string& workunit)
{
    prepare(workunit);
    const int position = generator_state.position;
    generator_state = GeneratorState{};
    return position;
}

std::vector<long long> numbers_of(const std::string& text)
{
    std::vector<long long> numbers;
    std::istringstream in(text);
    long long n;
    while (in >> n)
        numbers.push_back(n);
    return numbers;
}

std::vector<int> free_values_of(const Square& square)
{
    const auto values = reference::free_values(square);
    return {values.begin(), values.end()};
}

Square square_with_prefix(int diagonal_index, const std::vector<int>& prefix, int rest)
{
    Square s{};
    for (int r = 0; r < 10; ++r) {
        s.cells[11 * r] = static_cast<std::uint8_t>(r);
        s.cells[10 * r + 9 - r] = static_cast<std::uint8_t>(anti_diagonal_table[diagonal_index][r]);
    }
    const std::vector<int> cells = free_cells_row_major();
    for (std::size_t k = 0; k < cells.size(); ++k) {
        const int value = k < prefix.size() ? prefix[k] : rest >= 0 ? rest : cells[k] / 10;
        s.cells[cells[k]] = static_cast<std::uint8_t>(value);
    }
    return s;
}

std::vector<int> next_prefix_brute_force(int diagonal_index, const std::vector<int>& prefix)
{
    // Depth-first in increasing order; while the values so far equal the
    // prefix's, only values not below the prefix's are tried, and the prefix
    // itself is skipped.
    const std::vector<int> cells = free_cells_row_major();
    const int length = static_cast<int>(prefix.size());
    Square s = square_with_prefix(diagonal_index, {}, 0);
    std::vector<bool> filled(100, false);
    for (int r = 0; r < 10; ++r)
        filled[11 * r] = filled[10 * r + 9 - r] = true;
    auto fits = [&](int cell, int v) { return value_fits(s, filled, cell, v); };
    std::vector<int> values;
    std::function<bool(int, bool)> extend = [&](int k, bool tight) {
        if (k == length)
            return !tight;
        for (int v = tight ? prefix[k] : 0; v < 10; ++v) {
            if (!fits(cells[k], v))
                continue;
            s.cells[cells[k]] = static_cast<std::uint8_t>(v);
            filled[cells[k]] = true;
            values.push_back(v);
            if (extend(k + 1, tight && v == prefix[k]))
                return true;
            values.pop_back();
            filled[cells[k]] = false;
        }
        return false;
    };
    if (!extend(0, true))
        values.clear();
    return values;
}
