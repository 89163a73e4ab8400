// Files and directories for tests that run programs: fresh temporary
// directories, removed when the test process ends, and whole-file reads and writes.
#pragma once

#include <string>
#include <vector>

// A fresh, empty directory under the system's temporary directory; it and the
// file <directory>.console beside it (where worker runs put their console
// output) are removed when the test process ends.
std::string make_temporary_directory();

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);

// The names in a directory, sorted; none when it does not exist.
std::vector<std::string> directory_entries(const std::string& directory);
