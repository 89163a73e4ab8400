// Reading a result file back into its records, byte-exact.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "generator/square.h"

struct ResultRecord {
    Square square{};
    std::size_t offset = 0;     // byte offset of the record in the file
    bool well_formed = false;   // 212 bytes: digits, single spaces, CR LF line ends
};

struct ResultFile {
    std::vector<ResultRecord> found; // the records before the status line
    bool closed = false;             // a status line and the two closing records were read
    std::size_t status_offset = 0;
    int status_diagonal = 0;         // as written: 1-67 in a sound file
    std::uint64_t status_count = 0;
    ResultRecord stop;               // the square at which the run stopped
    std::size_t end_offset = 0;
    std::string end_record;          // the end square's record, raw 212 bytes

    // Format failures, one line each, saying where ("record 3 at byte 424: ...").
    std::vector<std::string> problems;
};

// Splits a result file into square records, the status line and the closing
// records, checking every byte of the format.  Reading stops at a failure
// after which the layout cannot be followed (a truncated record, a broken
// status line); a record with a wrong byte is reported and skipped.
ResultFile read_result(const std::string& bytes);

// Where a byte offset falls in a result file read by read_result:
// "record 3", "the status line", "the stop square record", ...
std::string part_at(const ResultFile& result, std::size_t offset, std::size_t file_size);
