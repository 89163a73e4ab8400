// The walk of run_search with the mate questions answered a batch at a time.
#pragma once

#include <cstdint>
#include <cstdio>

#include "opencl/batch.h"

// Walks the work unit exactly as run_search does (same arguments, same result
// file, same progress reports, same stop), but collects the squares that pass
// the filter into a batch and has `answer` decide their mates, a batch at a
// time (of `batch_size` squares, at most batch_capacity); the answers are then taken in walk order, and the squares after the
// one the run stops at are dropped.  A square the answerer could not decide
// (DLS_VERDICT_OVERFLOW) is decided by has_orthogonal_mate.  Checkpoints are
// taken only between batches.  False when the answerer failed or gave an answer
// that is no verdict; `error` says which, and the result file is left as it is.
bool run_batched_search(std::FILE* result, const char* checkpoint_path, std::uint64_t result_length,
                        BatchAnswerer answer, std::int32_t batch_size, const char*& error);
