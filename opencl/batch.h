// A batch of kept squares on its way to the device and back.
#pragma once

#include <cstdint>

#include "generator/square.h"
#include "opencl/verdicts.h"

inline constexpr int batch_capacity = 16384;
inline constexpr int mate_store_capacity = DLS_STORE_CAPACITY;
inline constexpr int mate_table_capacity = DLS_TABLE_CAPACITY;

struct MateBatch {
    std::int32_t size;                                  // squares 0 .. size - 1 are in use
    Square squares[batch_capacity];                     // in walk order
    std::int32_t transversal_counts[batch_capacity];    // answers: diagonal transversals
    std::int32_t verdicts[batch_capacity];              // answers: DLS_VERDICT_*
};

// Something that answers a batch (the device, or the kernel run on the host):
// fills transversal_counts and verdicts of squares 0 .. size - 1.  False when
// it could not; `error` then says why.
using BatchAnswerer = bool (*)(MateBatch& batch, const char*& error);
