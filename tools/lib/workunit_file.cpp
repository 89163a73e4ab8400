#include "tools/lib/workunit_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include "generator/state.h"
#include "io/workunit.h"

namespace {

// fopen and ifstream open a directory for reading without complaint.
bool is_directory(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Why read_workunit refused the stream: replays its reads one by one.
std::string refusal_reason(std::FILE* input)
{
    std::rewind(input);
    int value = 0;
    if (std::fscanf(input, "%d", &value) <= 0)
        return "number 1, the diagonal index, is missing or not a number";
    if (value < 1 || value > 67)
        return "number 1, the diagonal index, is " + std::to_string(value) + ", not 1-67";
    unsigned long long limit = 0;
    if (std::fscanf(input, "%llu", &limit) <= 0)
        return "number 2, the square limit, is missing or not a number";
    if (limit == 0)
        return "number 2, the square limit, is 0";
    for (int i = 0; i < 200; ++i) {
        if (std::fscanf(input, "%d", &value) <= 0) {
            const char* square = i < 100 ? "start" : "end";
            const int cell = i % 100;
            std::string where = "number " + std::to_string(i + 3) + ", " + square + " square row " +
                                std::to_string(cell / 10) + " column " + std::to_string(cell % 10) + ",";
            if (std::feof(input))
                return "the file ends after " + std::to_string(i + 2) + " numbers; a work unit has 202";
            return where + " is not a number";
        }
    }
    return "not a work unit";
}

} // namespace

bool load_workunit(const std::string& path, WorkUnit& unit, std::string& error)
{
    if (is_directory(path)) {
        error = "cannot read work unit " + path + ": it is a directory";
        return false;
    }
    std::FILE* input = std::fopen(path.c_str(), "rb");
    if (input == nullptr) {
        error = "cannot open work unit " + path + ": " + std::strerror(errno);
        return false;
    }
    generator_state = GeneratorState{};
    const bool accepted = read_workunit(input);
    if (!accepted)
        error = "work unit " + path + " is not valid: " + refusal_reason(input);
    std::fclose(input);
    if (accepted) {
        unit.diagonal_number = generator_state.diagonal_index + 1;
        unit.square_limit = generator_state.square_limit;
        std::memcpy(unit.start_values, generator_state.start_values, sizeof unit.start_values);
        unit.end_square = generator_state.end_square;
    }
    generator_state = GeneratorState{};
    return accepted;
}

void install_workunit(const WorkUnit& unit)
{
    generator_state = GeneratorState{};
    generator_state.diagonal_index = unit.diagonal_number - 1;
    generator_state.square_limit = unit.square_limit;
    generator_state.start_count = 80;
    std::memcpy(generator_state.start_values, unit.start_values, sizeof unit.start_values);
    generator_state.end_square = unit.end_square;
}

namespace {

std::string rows_of(const Square& s)
{
    std::string text;
    for (int r = 0; r < 10; ++r) {
        for (int c = 0; c < 10; ++c) {
            text += std::to_string(s.cells[10 * r + c]);
            text += c < 9 ? ' ' : '\n';
        }
    }
    return text;
}

} // namespace

std::string workunit_text(int diagonal_number, std::uint64_t square_limit, const Square& start, const Square& end)
{
    return std::to_string(diagonal_number) + " " + std::to_string(square_limit) + "\n\n" + rows_of(start) + "\n" +
           rows_of(end);
}

bool read_whole_file(const std::string& path, std::string& bytes, std::string& error)
{
    if (is_directory(path)) {
        error = "cannot read " + path + ": it is a directory";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        error = "cannot read " + path;
        return false;
    }
    bytes = content.str();
    return true;
}

bool write_file_replacing(const std::string& path, const std::string& bytes, std::string& error)
{
    const std::string temporary = path + ".part" + std::to_string(getpid());
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (out == nullptr) {
        error = "cannot create " + temporary + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    const bool closed = std::fclose(out) == 0;
    if (!written || !closed) {
        error = "cannot write " + temporary;
        std::remove(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot rename " + temporary + " to " + path + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
