// The result file: 212-byte square records and the closing block.
#pragma once

#include <cstdio>

#include "generator/square.h"

inline constexpr int square_record_size = 212;

// Ten lines of ten digits separated by spaces, each ended by CR LF, then an
// empty CR LF line; written with a single 212-byte write.
void write_square_record(std::FILE* result, Square square);

// "X\r\n<diagonal index + 1> <passing_count>\r\n", then the records of
// current_square and of the work unit's end square.
void write_closing_records(std::FILE* result, const Square& current_square);
