// The mate kernel's source compiled as C++ and run on the host, work item by
// work item: the reference the device is compared with in the tests, and the
// same code under the sanitizers.
#pragma once

#include "opencl/batch.h"

// Answers the batch as the device would, with the kernel's usual store.
bool answer_batch_on_host(MateBatch& batch, const char*& error);

// The same with a store of 16 transversals, so that most squares overflow.
bool answer_batch_on_host_small_store(MateBatch& batch, const char*& error);
inline constexpr int host_small_store_capacity = 16;
