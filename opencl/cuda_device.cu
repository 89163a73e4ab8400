// The device of device.h through CUDA, for machines whose driver offers no
// OpenCL: the same kernel source, compiled by nvcc with the CUDA macros of
// kernel_macros.h.
#include "opencl/device.h"

#include <cuda_runtime.h>

#include <boinc_api.h>

#include "generator/state.h"
#include "opencl/kernel_macros.h"
#include "opencl/launch.h"
#include "opencl/mate_kernel.cl"
#include "opencl/prefix_kernel.cl"
#include "opencl/worker_tables.h"

namespace {

// Everything this module keeps between calls: the device and its buffers.
struct CudaMateDevice {
    int device = 0;
    dls_u8* squares = nullptr;
    int* square_blocks = nullptr;
    int* block_squares = nullptr;
    dls_u64* tables = nullptr;
    int* bucket_starts = nullptr;
    int* table_sizes = nullptr;
    dls_u64* stores = nullptr;
    int* counts = nullptr;
    int* verdicts = nullptr;
    dls_u8* prefixes = nullptr;
    int* kept_counts = nullptr;
    int* first_squares = nullptr;
    void* tables_of_worker[worker_table_count] = {}; // for the prefix kernels
};

CudaMateDevice mate_device;

// The prefix kernels' table arguments, in worker_tables' order.
#define CUDA_WORKER_TABLES(m) \
    static_cast<const int*>((m).tables_of_worker[0]), static_cast<const int*>((m).tables_of_worker[1]), \
        static_cast<const int*>((m).tables_of_worker[2]), static_cast<const dls_u32*>((m).tables_of_worker[3]), \
        static_cast<const DlsSymmetryMap*>((m).tables_of_worker[4])

std::string cuda_error(const char* call, cudaError_t status)
{
    return std::string(call) + ": " + cudaGetErrorString(status);
}

} // namespace

bool choose_device(bool under_client, std::string& description, std::string& error)
{
    CudaMateDevice& m = mate_device;
    int count = 0;
    cudaError_t status = cudaGetDeviceCount(&count);
    if (status != cudaSuccess || count == 0)
        return error = status != cudaSuccess ? cuda_error("cudaGetDeviceCount", status) : "no CUDA device", false;
    const char* how = "the first CUDA device";
    if (under_client) {
        APP_INIT_DATA data;
        boinc_get_init_data(data);
        if (data.gpu_device_num >= 0)
            m.device = data.gpu_device_num;
        how = "assigned by the BOINC client";
    }
    cudaDeviceProp properties;
    status = cudaGetDeviceProperties(&properties, m.device);
    if (status == cudaSuccess)
        status = cudaSetDevice(m.device);
    if (status != cudaSuccess)
        return error = cuda_error("cudaSetDevice", status), false;
    description = std::string(properties.name) + " (CUDA, compute capability " + std::to_string(properties.major) +
                  "." + std::to_string(properties.minor) + "), " + how;
    return true;
}

std::int32_t batch_size_for_device()
{
    return batch_capacity;
}

std::int32_t prefix_batch_size_for_device()
{
    return prefix_batch_capacity;
}

bool open_mate_kernel(int store_capacity, int table_capacity, std::string& error)
{
    // The buffers' capacities are compiled into these kernels.
    if (store_capacity != DLS_STORE_CAPACITY || table_capacity != DLS_TABLE_CAPACITY)
        return error = "the CUDA kernels are built for a store of " + std::to_string(DLS_STORE_CAPACITY) +
                       " and tables of " + std::to_string(DLS_TABLE_CAPACITY),
               false;
    CudaMateDevice& m = mate_device;
    const std::size_t blocks = launch_block_capacity;
    cudaError_t status = cudaSuccess;
    const auto allocate = [&](auto*& made, std::size_t count) {
        if (status == cudaSuccess)
            status = cudaMalloc(&made, sizeof *made * count);
    };
    allocate(m.squares, sizeof(Square) * batch_capacity);
    allocate(m.square_blocks, batch_capacity);
    allocate(m.block_squares, blocks);
    allocate(m.tables, DLS_TABLE_CAPACITY * blocks);
    allocate(m.bucket_starts, (DLS_TOP_BUCKETS + 2) * blocks);
    allocate(m.table_sizes, blocks);
    allocate(m.stores, 2 * DLS_STORE_CAPACITY * std::size_t{batch_capacity});
    allocate(m.counts, batch_capacity);
    allocate(m.verdicts, batch_capacity);
    allocate(m.prefixes, sizeof PrefixBatch::values);
    allocate(m.kept_counts, prefix_batch_capacity);
    allocate(m.first_squares, prefix_batch_capacity);
    for (int t = 0; t < worker_table_count; ++t) {
        if (status == cudaSuccess)
            status = cudaMalloc(&m.tables_of_worker[t], worker_tables[t].bytes);
        if (status == cudaSuccess)
            status = cudaMemcpy(m.tables_of_worker[t], worker_tables[t].data, worker_tables[t].bytes,
                                cudaMemcpyHostToDevice);
    }
    if (status != cudaSuccess)
        return error = cuda_error("cudaMalloc", status), false;
    return true;
}

namespace {

// A LaunchRunner: the launch's squares and blocks to the device, both kernels,
// the answers back.
bool run_launch_on_device(MateBatch& batch, const MateLaunch& launch, const char*& error)
{
    CudaMateDevice& m = mate_device;
    const int squares = launch.square_count;
    const int blocks = launch.block_count;
    if (cudaMemcpy(m.squares, batch.squares + launch.first_square, sizeof(Square) * squares,
                   cudaMemcpyHostToDevice) != cudaSuccess ||
        cudaMemcpy(m.square_blocks, launch.square_blocks, sizeof(int) * squares, cudaMemcpyHostToDevice) !=
            cudaSuccess ||
        cudaMemcpy(m.block_squares, launch.block_squares, sizeof(int) * blocks, cudaMemcpyHostToDevice) != cudaSuccess)
        return error = "the squares could not be handed to the device", false;
    const int threads = 128;
    build_top_tables<<<(blocks + threads - 1) / threads, threads>>>(m.squares, m.block_squares, blocks, m.tables,
                                                                     m.bucket_starts, m.table_sizes);
    answer_mate_questions<<<(squares + threads - 1) / threads, threads>>>(
        m.squares, m.square_blocks, squares, m.tables, m.bucket_starts, m.table_sizes, m.stores, m.counts, m.verdicts);
    if (cudaGetLastError() != cudaSuccess)
        return error = "the mate kernel could not be started", false;
    if (cudaMemcpy(batch.transversal_counts + launch.first_square, m.counts, sizeof(int) * squares,
                   cudaMemcpyDeviceToHost) != cudaSuccess ||
        cudaMemcpy(batch.verdicts + launch.first_square, m.verdicts, sizeof(int) * squares, cudaMemcpyDeviceToHost) !=
            cudaSuccess)
        return error = "the answers could not be read back from the device", false;
    return true;
}

} // namespace

bool answer_batch_on_device(MateBatch& batch, const char*& error)
{
    return answer_in_launches(batch, launch_block_capacity, run_launch_on_device, error);
}

bool count_kept_on_device(PrefixBatch& prefixes, const char*& error)
{
    CudaMateDevice& m = mate_device;
    const int count = prefixes.size;
    if (cudaMemcpy(m.prefixes, prefixes.values, sizeof prefixes.values[0] * count, cudaMemcpyHostToDevice) !=
        cudaSuccess)
        return error = "the prefixes could not be handed to the device", false;
    const int threads = 128;
    count_kept_completions<<<(count + threads - 1) / threads, threads>>>(
        m.prefixes, count, generator_state.diagonal_index, CUDA_WORKER_TABLES(m), m.kept_counts);
    if (cudaGetLastError() != cudaSuccess)
        return error = "the prefix kernel could not be started", false;
    if (cudaMemcpy(prefixes.kept_counts, m.kept_counts, sizeof(int) * count, cudaMemcpyDeviceToHost) != cudaSuccess)
        return error = "the counts could not be read back from the device", false;
    return true;
}

bool list_kept_on_device(const PrefixBatch& prefixes, std::int32_t first, std::int32_t count, MateBatch& squares,
                         const char*& error)
{
    CudaMateDevice& m = mate_device;
    if (cudaMemcpy(m.prefixes, prefixes.values[first], sizeof prefixes.values[0] * count, cudaMemcpyHostToDevice) !=
            cudaSuccess ||
        cudaMemcpy(m.first_squares, prefixes.first_squares + first, sizeof(int) * count, cudaMemcpyHostToDevice) !=
            cudaSuccess)
        return error = "the prefixes could not be handed to the device", false;
    const int threads = 128;
    list_kept_completions<<<(count + threads - 1) / threads, threads>>>(
        m.prefixes, count, generator_state.diagonal_index, CUDA_WORKER_TABLES(m), m.first_squares, m.squares);
    if (cudaGetLastError() != cudaSuccess)
        return error = "the prefix kernel could not be started", false;
    if (cudaMemcpy(squares.squares, m.squares, sizeof(Square) * squares.size, cudaMemcpyDeviceToHost) != cudaSuccess)
        return error = "the squares could not be read back from the device", false;
    return true;
}

void close_mate_kernel()
{
    CudaMateDevice& m = mate_device;
    cudaFree(m.squares);
    cudaFree(m.square_blocks);
    cudaFree(m.block_squares);
    cudaFree(m.tables);
    cudaFree(m.bucket_starts);
    cudaFree(m.table_sizes);
    cudaFree(m.stores);
    cudaFree(m.counts);
    cudaFree(m.verdicts);
    cudaFree(m.prefixes);
    cudaFree(m.kept_counts);
    cudaFree(m.first_squares);
    for (void* table : m.tables_of_worker)
        cudaFree(table);
    m = CudaMateDevice{m.device};
}
