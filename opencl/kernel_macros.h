// What lets the device sources (opencl/*.cl, and the rules they share with the
// worker: generator/walk_rule.h, filter/canonical_rule.h) compile three ways: as
// OpenCL C 1.2 for the worker, as CUDA C++ for a driver without OpenCL, and as
// plain C++ for the module tests, the sanitizer build and the CPU worker, where
// a host loop plays the work items.
#ifndef DLS_KERNEL_MACROS
#define DLS_KERNEL_MACROS

#if defined(__OPENCL_VERSION__)
typedef uchar dls_u8;
typedef uint dls_u32;
typedef ulong dls_u64;
#define DLS_KERNEL __kernel
#define DLS_FUNCTION static
#define DLS_GLOBAL __global
// The worker's fixed tables (generator/, filter/), uploaded once.
#define DLS_TABLE __constant
#define DLS_WORK_ITEM() ((int)get_global_id(0))
// Index of the lowest set bit of a non-zero word (OpenCL C 1.2 has no ctz).
#define DLS_LOWEST_BIT(x) (31 - (int)clz((x) & (0u - (x))))
#elif defined(__CUDACC__)
typedef unsigned char dls_u8;
typedef unsigned int dls_u32;
typedef unsigned long long dls_u64;
#define DLS_KERNEL extern "C" __global__
#define DLS_FUNCTION static __device__ inline
#define DLS_GLOBAL
#define DLS_TABLE
#define DLS_WORK_ITEM() ((int)(blockIdx.x * blockDim.x + threadIdx.x))
#define DLS_LOWEST_BIT(x) (__ffs((int)(x)) - 1)
#else
#include <cstdint>
typedef std::uint8_t dls_u8;
typedef std::uint32_t dls_u32;
typedef std::uint64_t dls_u64;
#define DLS_KERNEL inline
#define DLS_FUNCTION static inline
#define DLS_GLOBAL
#define DLS_TABLE
// The host loop that runs a kernel sets the work item it is playing.
inline thread_local int dls_host_work_item = 0;
#define DLS_WORK_ITEM() (dls_host_work_item)
#define DLS_LOWEST_BIT(x) (__builtin_ctz(x))
#endif

#endif
