// Reading one work unit into the work-unit fields of generator_state.
#pragma once

#include <cstdio>

// Reads the 202 numbers of a work unit from the stream's current position:
// diagonal index (1-67), square limit (not zero), start square, end square.
// Returns false when a number cannot be read or a header check fails; prints
// nothing and neither opens nor closes the stream.
bool read_workunit(std::FILE* input);
