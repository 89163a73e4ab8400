// The start-up checks that a device answers rightly: the mate question, and
// the completion of prefixes.
#pragma once

#include <cstdint>
#include <string>

#include "opencl/batch.h"

// A square with its known answer.
struct KnownAnswer {
    const char* rows;                 // 100 digits, rows separated by spaces
    std::int32_t transversal_count;   // its diagonal transversals
    std::int32_t verdict;             // DLS_VERDICT_MATE or DLS_VERDICT_NO_MATE
};

// Squares with and without a mate, known to has_orthogonal_mate.
extern const KnownAnswer self_test_answers[];
extern const int self_test_answer_count;

// Has `answer` decide the squares of `cases` (at most batch_capacity) in one
// batch; true when every count and verdict is the known one.  Otherwise
// `failure` describes the first difference, or why the answerer failed.
bool passes_self_test(BatchAnswerer answer, const KnownAnswer* cases, int count, std::string& failure);

// Has the device count and list the kept completions of a few prefixes of the
// run's space (generator_state, primed): its first three, and the one the
// walk stands in or before.  True when they are those of the worker's own walk
// and filter; otherwise `failure` describes the first difference, or why the
// device failed.
bool passes_prefix_self_test(const DeviceCalls& device, std::string& failure);
