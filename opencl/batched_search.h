// The walk of run_search with the device completing prefixes and answering the
// mate questions, a batch at a time.
#pragma once

#include <cstdint>
#include <cstdio>

#include "opencl/batch.h"

// How many prefixes go to the device at once (at most prefix_batch_capacity),
// and how many kept squares it answers at once (at most batch_capacity).
struct BatchSizes {
    std::int32_t prefixes;
    std::int32_t squares;
};

// Walks the work unit exactly as run_search does (same arguments, same result
// file, same progress reports, same stop), but walks only the prefixes of rows
// 0-4 itself and has the device list their completions that pass the filter
// and decide their mates, a batch at a time; the answers are then taken in walk
// order, and the squares after the one the run stops at are dropped.  The host
// completes what the device's batches cannot hold: the rest of a prefix the
// run starts inside (a continuation, or a checkpoint taken by dlsmate), and a
// prefix with more kept squares than a batch of squares; a square the device
// could not decide (DLS_VERDICT_OVERFLOW) is decided by has_orthogonal_mate.
// Checkpoints are taken only between batches.  False when the device failed or
// gave an answer that is none; `error` says which, and the result file is left
// as it is.
bool run_batched_search(std::FILE* result, const char* checkpoint_path, std::uint64_t result_length,
                        const DeviceCalls& device, BatchSizes sizes, const char*& error);
