// Work-unit files for the operator tools: read with the worker's own reader,
// written in the layout the README shows.
#pragma once

#include <cstdint>
#include <string>

#include "generator/square.h"

struct WorkUnit {
    int diagonal_number = 0;        // 1-67, as the file gives it
    std::uint64_t square_limit = 0; // not 0
    std::int32_t start_values[80];  // the start square's free cells in position order, as read
    Square end_square;              // low eight bits of each value read
};

// Reads a work-unit file exactly as the worker does (read_workunit).  False
// with a one-line reason ("number 2, the square limit, is 0") when the worker
// would refuse it or the file cannot be read.  Leaves generator_state reset.
bool load_workunit(const std::string& path, WorkUnit& unit, std::string& error);

// Puts the work unit into a fresh generator_state, as read_workunit leaves it.
void install_workunit(const WorkUnit& unit);

// The text of a work unit: the header line, a blank line, the start square, a
// blank line, the end square; every cell written as a number.
std::string workunit_text(int diagonal_number, std::uint64_t square_limit, const Square& start, const Square& end);

// The whole content of a file.  False with a one-line reason when it cannot be read.
bool read_whole_file(const std::string& path, std::string& bytes, std::string& error);

// Writes the bytes to a fresh temporary file beside path (created with O_EXCL),
// syncs it, renames it over path and syncs the folder, so that a failure or a
// crash leaves the old file or the whole new one, never a partial file.  A path
// that exists and is not a regular file (a device node, a symbolic link, a
// directory) is refused and left as it is.
bool write_file_replacing(const std::string& path, const std::string& bytes, std::string& error);
