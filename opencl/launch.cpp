#include "opencl/launch.h"

#include <cassert>
#include <cstring>

namespace {

// The launch on its way to the device: one, owned here.
MateLaunch current_launch;

// The launch of the batch's squares from `first` on: up to `max_blocks` blocks.
void plan_launch(const MateBatch& batch, std::int32_t first, std::int32_t max_blocks, MateLaunch& launch)
{
    launch.first_square = first;
    launch.block_count = 0;
    std::int32_t i = first;
    for (; i < batch.size; ++i) {
        if (i == first || std::memcmp(batch.squares[i].cells, batch.squares[i - 1].cells, 50) != 0) {
            if (launch.block_count == max_blocks)
                break;
            launch.block_squares[launch.block_count++] = i - first;
        }
        launch.square_blocks[i - first] = launch.block_count - 1;
    }
    launch.square_count = i - first;
}

} // namespace

bool answer_in_launches(MateBatch& batch, std::int32_t max_blocks, LaunchRunner run, const char*& error)
{
    assert(max_blocks > 0);
    MateLaunch& launch = current_launch;
    for (std::int32_t first = 0; first < batch.size; first += launch.square_count) {
        plan_launch(batch, first, max_blocks, launch);
        if (!run(batch, launch, error))
            return false;
    }
    return true;
}
