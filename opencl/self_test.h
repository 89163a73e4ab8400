// The start-up check that a device answers the mate question rightly.
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
