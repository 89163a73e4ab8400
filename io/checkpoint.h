// The checkpoint file: where a stopped run of a work unit goes on.
#pragma once

#include <cstdint>

// Its name in the working directory (the task's slot directory under a client).
inline constexpr char checkpoint_name[] = "dlsmate-checkpoint.txt";

// A run's place in its walk.
struct WalkPlace {
    std::uint64_t passing_count; // squares that passed the filter so far
    std::uint64_t result_length; // bytes of the result file written for them
    std::int32_t filled;         // length of the prefix the walk stands on, 0-80
    std::int32_t values[80];     // its free-cell values, 0-9
};

// Writes the place, with the work unit it belongs to (read from generator_state),
// to `path` through a temporary file that is flushed to the disk and then renamed
// over it, so that the file is always either the old checkpoint or the new one.
// False when it could not be written; the old checkpoint then stays.
bool write_checkpoint(const char* path, const WalkPlace& place);

enum class CheckpointRead { absent, matches, ignored };

// Reads the checkpoint at `path`.  matches: `place` holds a place recorded for
// the work unit in generator_state.  ignored: there is a file, but it cannot be
// used, and `reason` says why ("it belongs to another work unit").
CheckpointRead read_checkpoint(const char* path, WalkPlace& place, const char*& reason);

// Deletes the checkpoint at `path` and any temporary file a write left beside it.
void remove_checkpoint(const char* path);
