// The device of device.h through CUDA, for machines whose driver offers no
// OpenCL: the same kernel source, compiled by nvcc with the CUDA macros of
// kernel_macros.h.
#include "opencl/device.h"

#include <cuda_runtime.h>

#include <boinc_api.h>

#include "opencl/kernel_macros.h"
#include "opencl/mate_kernel.cl"

namespace {

// Everything this module keeps between calls: the device and its buffers.
struct CudaMateDevice {
    int device = 0;
    dls_u8* squares = nullptr;
    dls_u64* stores = nullptr;
    int* counts = nullptr;
    int* verdicts = nullptr;
};

CudaMateDevice mate_device;

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

bool open_mate_kernel(int store_capacity, std::string& error)
{
    // The store's capacity is compiled into this kernel.
    if (store_capacity != DLS_STORE_CAPACITY)
        return error = "the CUDA kernel is built for a store of " + std::to_string(DLS_STORE_CAPACITY), false;
    CudaMateDevice& m = mate_device;
    cudaError_t status = cudaMalloc(&m.squares, sizeof(Square) * batch_capacity);
    if (status == cudaSuccess)
        status = cudaMalloc(&m.stores, sizeof(dls_u64) * 2 * DLS_STORE_CAPACITY * batch_capacity);
    if (status == cudaSuccess)
        status = cudaMalloc(&m.counts, sizeof(int) * batch_capacity);
    if (status == cudaSuccess)
        status = cudaMalloc(&m.verdicts, sizeof(int) * batch_capacity);
    if (status != cudaSuccess)
        return error = cuda_error("cudaMalloc", status), false;
    return true;
}

bool answer_batch_on_device(MateBatch& batch, const char*& error)
{
    CudaMateDevice& m = mate_device;
    if (batch.size == 0)
        return true;
    const int size = batch.size;
    if (cudaMemcpy(m.squares, batch.squares, sizeof(Square) * size, cudaMemcpyHostToDevice) != cudaSuccess)
        return error = "the squares could not be handed to the device", false;
    const int threads = 128;
    answer_mate_questions<<<(size + threads - 1) / threads, threads>>>(m.squares, size, m.stores, m.counts, m.verdicts);
    if (cudaGetLastError() != cudaSuccess)
        return error = "the mate kernel could not be started", false;
    if (cudaMemcpy(batch.transversal_counts, m.counts, sizeof(int) * size, cudaMemcpyDeviceToHost) != cudaSuccess ||
        cudaMemcpy(batch.verdicts, m.verdicts, sizeof(int) * size, cudaMemcpyDeviceToHost) != cudaSuccess)
        return error = "the answers could not be read back from the device", false;
    return true;
}

void close_mate_kernel()
{
    CudaMateDevice& m = mate_device;
    cudaFree(m.squares);
    cudaFree(m.stores);
    cudaFree(m.counts);
    cudaFree(m.verdicts);
    m = CudaMateDevice{m.device};
}
