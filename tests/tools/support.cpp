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
