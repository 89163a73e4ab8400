#include "tools/lib/workunit_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include <fcntl.h>
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

namespace {

std::string folder_of(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates a fresh file beside path that no other process can have opened:
// O_EXCL refuses a name that exists (a planted file or symlink included).
int create_temporary(const std::string& path, std::string& temporary)
{
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".tmp%08x", static_cast<unsigned>(random()));
        temporary = path + suffix;
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

bool write_all(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool write_file_replacing(const std::string& path, const std::string& bytes, std::string& error)
{
    // Only a regular file is ever replaced: renaming over a device node, a
    // symlink or a directory would destroy something that is not ours.
    struct stat existing;
    if (lstat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        const char* kind = S_ISLNK(existing.st_mode)   ? "a symbolic link"
                           : S_ISDIR(existing.st_mode) ? "a directory"
                                                       : "not a regular file";
        error = "refusing to replace " + path + ": it is " + kind;
        return false;
    }
    std::string temporary;
    const int fd = create_temporary(path, temporary);
    if (fd < 0) {
        error = "cannot create a file beside " + path + ": " + std::strerror(errno);
        return false;
    }
    // The bytes reach the disk before the name points at them, so a crash
    // leaves either the old file or the whole new one.
    const bool written = write_all(fd, bytes);
    const int write_errno = errno;
    const bool synced = written && fsync(fd) == 0;
    const int sync_errno = errno;
    const bool closed = close(fd) == 0;
    if (!written || !synced || !closed) {
        const int cause = !written ? write_errno : !synced ? sync_errno : errno;
        error = "cannot write " + temporary + ": " + std::strerror(cause);
        unlink(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot rename " + temporary + " to " + path + ": " + std::strerror(errno);
        unlink(temporary.c_str());
        return false;
    }
    // The rename itself is made durable by syncing the folder that holds both names.
    const int folder = open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0 || fsync(folder) != 0) {
        error = path + " was replaced, but its folder could not be synced: " + std::strerror(errno);
        if (folder >= 0)
            close(folder);
        return false;
    }
    close(folder);
    return true;
}
