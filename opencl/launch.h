// A batch goes to the device in launches.  Squares next to each other in the
// batch with equal rows 0-4 form a block, which shares one table on the device
// (see mate_kernel.cl); a launch takes whole blocks, as many as the device
// holds tables for.
#pragma once

#include <cstdint>

#include "opencl/batch.h"

// The tables the worker's device holds at once.
inline constexpr std::int32_t launch_block_capacity = 512;

struct MateLaunch {
    std::int32_t first_square;                  // the launch is the batch's squares first_square ..
    std::int32_t square_count;                  //   first_square + square_count - 1
    std::int32_t block_count;
    std::int32_t square_blocks[batch_capacity]; // each square's block, from 0
    std::int32_t block_squares[batch_capacity]; // each block's first square, counted from first_square
};

// Runs one launch on a device: the answers of its squares into the batch's
// transversal_counts and verdicts, from launch.first_square on.  False when it
// could not; `error` then says why.
using LaunchRunner = bool (*)(MateBatch& batch, const MateLaunch& launch, const char*& error);

// Answers the batch in launches of at most `max_blocks` blocks, each run by `run`.
bool answer_in_launches(MateBatch& batch, std::int32_t max_blocks, LaunchRunner run, const char*& error);
