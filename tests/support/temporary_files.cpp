#include "temporary_files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

// Every temporary directory of the test process, removed when it ends, with
// the console file that a worker run in it keeps beside it.
struct TemporaryDirectories {
    std::vector<std::string> paths;
    ~TemporaryDirectories()
    {
        std::error_code ignored;
        for (const std::string& path : paths) {
            fs::remove_all(path, ignored);
            fs::remove(path + ".console", ignored);
        }
    }
};
TemporaryDirectories temporary_directories;

} // namespace

// A new directory with a random name, made with the standard library alone so
// that the module tests build for every platform: create_directory says whether
// this call made it, so two processes never share one.
std::string make_temporary_directory()
{
    static std::mt19937_64 names(std::random_device{}());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path path = fs::temp_directory_path() / ("dlsmate-test-" + std::to_string(names()));
        if (fs::create_directory(path)) {
            fs::permissions(path, fs::perms::owner_all, fs::perm_options::replace);
            temporary_directories.paths.push_back(path.string());
            return path.string();
        }
    }
    throw std::runtime_error("cannot make a temporary directory");
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool file_exists(const std::string& path)
{
    return fs::exists(fs::symlink_status(path));
}

std::vector<std::string> directory_entries(const std::string& directory)
{
    std::vector<std::string> names;
    if (!fs::exists(directory))
        return names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

