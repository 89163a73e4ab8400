// The run sequence of a worker: BOINC start, file names, the work unit, the
// checkpoint, the walk, the result file and BOINC finish, each failure reported
// once and ended at once.
#pragma once

#include <cstdint>
#include <cstdio>

// What a worker runs inside the sequence.
struct SearchRoom {
    // Called with the command line once the work unit is read and the generator
    // primed (may be null):
    // 0 to go on, or the exit status, its message already written.
    int (*prepare)(int argc, char** argv);
    // Walks the unit into the open result stream, as run_search does (same
    // arguments).  False when it could not finish; its message is written, and
    // the run ends with status 1 and no completion report.
    bool (*search)(std::FILE* result, const char* checkpoint_path, std::uint64_t result_length);
};

// The whole run of one work unit; returns the exit status (through boinc_finish
// when complete, which does not return).
int run_work_unit(int argc, char** argv, const SearchRoom& room);
