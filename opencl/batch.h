// The batches on their way to the device and back: prefixes to complete,
// kept squares to answer.
#pragma once

#include <cstdint>

#include "generator/generator.h"
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

inline constexpr int prefix_batch_capacity = 2048;

struct PrefixBatch {
    std::int32_t size;                                     // prefixes 0 .. size - 1 are in use
    std::uint8_t values[prefix_batch_capacity][prefix_length]; // in walk order, a value 0-9 a position
    std::int32_t kept_counts[prefix_batch_capacity];       // answers: completions that pass the filter
    std::int32_t first_squares[prefix_batch_capacity];     // where the host places each prefix's squares
};

// Something that completes prefixes (the device, or the kernel run on the
// host).  The counter fills kept_counts of prefixes 0 .. size - 1 (-1 for one
// that repeats a value).  The lister writes the kept completions of prefixes
// first .. first + count - 1, in increasing order, into squares.squares from
// first_squares[i] on.  False when they could not; `error` then says why.
using KeptCounter = bool (*)(PrefixBatch& prefixes, const char*& error);
using KeptLister = bool (*)(const PrefixBatch& prefixes, std::int32_t first, std::int32_t count, MateBatch& squares,
                            const char*& error);

// What the GPU worker's walk asks of its device.
struct DeviceCalls {
    KeptCounter count;
    KeptLister list;
    BatchAnswerer answer;
};
