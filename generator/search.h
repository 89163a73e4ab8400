// The search loop: walks the work unit's slice of the space.
#pragma once

#include <cstdint>
#include <cstdio>

#include "generator/square.h"

enum class RunStop { goes_on, end_square, limit };

// Whether a run stops at the passing square that is its `passing_count`-th:
// at the first one not below the end square, else at the square limit.  The
// worker's loop and the tools that read its results share this rule.
inline RunStop run_stops_at(const Square& square, std::uint64_t passing_count, const Square& end_square,
                            std::uint64_t square_limit)
{
    if (compare_squares(square, end_square) >= 0)
        return RunStop::end_square;
    return passing_count >= square_limit ? RunStop::limit : RunStop::goes_on;
}

// Takes squares from the generator, keeps those that pass the symmetry filter,
// writes those with an orthogonal diagonal mate, reports progress every 1000
// passing squares, and stops at the end square, at the square limit (writing
// the closing records) or when the space is exhausted.
//
// With a checkpoint path, it also asks BOINC at every passing square, and every
// so often in stretches without one, whether to checkpoint; when told to, it
// flushes the result file and records its place there.  `result_length` is the
// length of the result file when the loop starts.
void run_search(std::FILE* result, const char* checkpoint_path = nullptr, std::uint64_t result_length = 0);

// Placements the walk judges without reaching a passing square before it gives
// its caller a chance to checkpoint: at most about a tenth of a second in the
// slowest pruned regions measured.
inline constexpr std::uint32_t judgements_between_pauses = 64;

// What the loop does with a square that passed the filter, once it knows
// whether the square has a mate: counts it in passing_count, writes its record
// when it has one (adding to `result_length`), reports the fraction done at
// every 1000th, and at the end square or the limit writes the closing records.
// True when the run stops at this square.
bool take_passing_square(std::FILE* result, const Square& square, bool has_mate, std::uint64_t& result_length);

// Records in the checkpoint at `checkpoint_path` where the walk stands: on the
// square just taken (position 80) or on the prefix it paused at, with what has
// reached the result file (flushed first; `result_length` bytes), and tells
// BOINC the checkpoint is done.
void save_place(std::FILE* result, const char* checkpoint_path, std::uint64_t result_length);

enum class Resumption { fresh, resumed, ignored };

// Takes up the checkpoint at `checkpoint_path` after prime_generator: resumed
// when it belongs to this work unit and the result file `result_path` holds
// what it records; the generator and passing_count then stand where that run
// stood, the result file is cut back to `result_length` bytes, and the fraction
// done is reported.  ignored: a checkpoint that cannot be used, with `reason`
// saying why; it is deleted and the generator stays primed.  fresh: none.
Resumption resume_search(const char* checkpoint_path, const char* result_path, std::uint64_t& result_length,
                         const char*& reason);
