#include "temporary_files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

// Every temporary directory of the test process, removed when it ends.
struct TemporaryDirectories {
    std::vector<std::string> paths;
    ~TemporaryDirectories()
    {
        std::error_code ignored;
        for (const std::string& path : paths)
            fs::remove_all(path, ignored);
    }
};
TemporaryDirectories temporary_directories;

} // namespace

std::string make_temporary_directory()
{
    std::string pattern = (fs::temp_directory_path() / "dlsmate-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    temporary_directories.paths.push_back(pattern);
    return pattern;
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

