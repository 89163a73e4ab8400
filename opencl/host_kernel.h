// The kernels' source compiled as C++ and run on the host, work item by work
// item: the reference the device is compared with in the tests, and the same
// code under the sanitizers.
#pragma once

#include "opencl/batch.h"

// Answers the batch as the device would, with the kernels' usual buffers.
bool answer_batch_on_host(MateBatch& batch, const char*& error);

// The same with a store of 16 transversals, so that most squares overflow.
bool answer_batch_on_host_small_store(MateBatch& batch, const char*& error);
inline constexpr int host_small_store_capacity = 16;

// The same with tables of 6720 entries, which some rows 0-4 of diagonal Latin
// squares fill (6,686-6,773 in the test squares) and others do not.
bool answer_batch_on_host_tight_table(MateBatch& batch, const char*& error);
inline constexpr int host_tight_table_capacity = 6720;

// The same with room for tables of only 3 blocks at once, so that a batch goes
// in many launches.
bool answer_batch_on_host_few_tables(MateBatch& batch, const char*& error);
inline constexpr int host_few_tables = 3;

// A KeptCounter and a KeptLister: the prefix kernels, in the space of
// generator_state.diagonal_index.
bool count_kept_on_host(PrefixBatch& prefixes, const char*& error);
bool list_kept_on_host(const PrefixBatch& prefixes, std::int32_t first, std::int32_t count, MateBatch& squares,
                       const char*& error);
