#include "opencl/device.h"

#include <CL/cl.h>

#include <boinc_api.h>
#include <boinc_opencl.h>

#include <algorithm>
#include <initializer_list>
#include <vector>

#include "generator/state.h"
#include "opencl/launch.h"
#include "opencl/worker_tables.h"

// The kernel's source, generated at build time from opencl/*.cl and its headers.
extern const char mate_kernel_source[];

namespace {

// Everything this module keeps between calls: the chosen device and what was
// built for it.
struct OpenclMateDevice {
    cl_platform_id platform = nullptr;
    cl_device_id device = nullptr;
    cl_context context = nullptr;
    cl_command_queue queue = nullptr;
    cl_program program = nullptr;
    cl_kernel build_tables = nullptr;
    cl_kernel answer = nullptr;
    cl_kernel count_kept = nullptr;
    cl_kernel list_kept = nullptr;
    std::size_t work_group_size = 0; // for every kernel
    cl_mem squares = nullptr;
    cl_mem square_blocks = nullptr;
    cl_mem block_squares = nullptr;
    cl_mem tables = nullptr;
    cl_mem bucket_starts = nullptr;
    cl_mem table_sizes = nullptr;
    cl_mem stores = nullptr;
    cl_mem counts = nullptr;
    cl_mem verdicts = nullptr;
    cl_mem prefixes = nullptr;
    cl_mem kept_counts = nullptr;
    cl_mem first_squares = nullptr;
    cl_mem tables_of_worker[worker_table_count] = {}; // for the prefix kernels
};

OpenclMateDevice mate_device;

constexpr std::size_t preferred_work_group_size = 64;

std::string device_text(cl_device_id device, cl_device_info what)
{
    char text[256] = {};
    clGetDeviceInfo(device, what, sizeof text - 1, text, nullptr);
    return text;
}

std::string platform_text(cl_platform_id platform)
{
    char text[256] = {};
    clGetPlatformInfo(platform, CL_PLATFORM_NAME, sizeof text - 1, text, nullptr);
    return text;
}

// The first device of `type` over all platforms.
bool first_device(cl_device_type type, cl_platform_id& platform, cl_device_id& device)
{
    cl_uint platform_count = 0;
    if (clGetPlatformIDs(0, nullptr, &platform_count) != CL_SUCCESS || platform_count == 0)
        return false;
    std::vector<cl_platform_id> platforms(platform_count);
    if (clGetPlatformIDs(platform_count, platforms.data(), nullptr) != CL_SUCCESS)
        return false;
    for (cl_platform_id p : platforms) {
        cl_device_id d = nullptr;
        cl_uint count = 0;
        if (clGetDeviceIDs(p, type, 1, &d, &count) == CL_SUCCESS && count > 0) {
            platform = p;
            device = d;
            return true;
        }
    }
    return false;
}

std::string cl_error(const char* call, cl_int status)
{
    return std::string(call) + " returned " + std::to_string(status);
}

// Sets a kernel's arguments: the buffers `before`, the square or block count,
// the buffers `after`.
cl_int set_arguments(cl_kernel kernel, std::initializer_list<const cl_mem*> before, cl_int number,
                     std::initializer_list<const cl_mem*> after)
{
    cl_uint index = 0;
    cl_int status = CL_SUCCESS;
    for (const cl_mem* buffer : before)
        if (status == CL_SUCCESS)
            status = clSetKernelArg(kernel, index++, sizeof(cl_mem), buffer);
    if (status == CL_SUCCESS)
        status = clSetKernelArg(kernel, index++, sizeof(cl_int), &number);
    for (const cl_mem* buffer : after)
        if (status == CL_SUCCESS)
            status = clSetKernelArg(kernel, index++, sizeof(cl_mem), buffer);
    return status;
}

} // namespace

bool choose_device(bool under_client, std::string& description, std::string& error)
{
    OpenclMateDevice& m = mate_device;
    const char* how = nullptr;
    if (under_client) {
        APP_INIT_DATA task;
        boinc_get_init_data(task);
        if (task.gpu_type[0] != '\0') {
            const int status = boinc_get_opencl_ids(&m.device, &m.platform);
            if (status != 0) {
                error = "boinc_get_opencl_ids returned " + std::to_string(status);
                return false;
            }
            how = "assigned by the BOINC client";
        } else {
            // An app version whose plan class asks for OpenCL and no GPU: BOINC's
            // scheduler sends it to hosts whose client found an OpenCL CPU device,
            // and the client assigns no device to its tasks.
            if (!first_device(CL_DEVICE_TYPE_CPU, m.platform, m.device)) {
                error = "the BOINC client assigned no GPU, and no OpenCL platform offers a CPU device";
                return false;
            }
            how = "no GPU assigned by the BOINC client, the first CPU device";
        }
    } else if (first_device(CL_DEVICE_TYPE_GPU, m.platform, m.device)) {
        how = "the first GPU";
    } else if (first_device(CL_DEVICE_TYPE_ALL, m.platform, m.device)) {
        how = "no GPU, the first device";
    } else {
        error = "no OpenCL platform offers a device";
        return false;
    }
    description = device_text(m.device, CL_DEVICE_NAME) + " (" + platform_text(m.platform) + ", " +
                  device_text(m.device, CL_DEVICE_VERSION) + "), " + how;
    return true;
}

std::int32_t batch_size_for_device()
{
    cl_device_type type = 0;
    clGetDeviceInfo(mate_device.device, CL_DEVICE_TYPE, sizeof type, &type, nullptr);
    return (type & CL_DEVICE_TYPE_CPU) != 0 ? 1024 : batch_capacity;
}

std::int32_t prefix_batch_size_for_device()
{
    cl_device_type type = 0;
    clGetDeviceInfo(mate_device.device, CL_DEVICE_TYPE, sizeof type, &type, nullptr);
    return (type & CL_DEVICE_TYPE_CPU) != 0 ? 16 : prefix_batch_capacity;
}

bool open_mate_kernel(int store_capacity, int table_capacity, std::string& error)
{
    OpenclMateDevice& m = mate_device;
    cl_int status = CL_SUCCESS;
    const cl_context_properties properties[] = {CL_CONTEXT_PLATFORM,
                                                reinterpret_cast<cl_context_properties>(m.platform), 0};
    m.context = clCreateContext(properties, 1, &m.device, nullptr, nullptr, &status);
    if (status != CL_SUCCESS)
        return error = cl_error("clCreateContext", status), false;
    m.queue = clCreateCommandQueue(m.context, m.device, 0, &status);
    if (status != CL_SUCCESS)
        return error = cl_error("clCreateCommandQueue", status), false;

    const char* source = mate_kernel_source;
    m.program = clCreateProgramWithSource(m.context, 1, &source, nullptr, &status);
    if (status != CL_SUCCESS)
        return error = cl_error("clCreateProgramWithSource", status), false;
    const std::string options = "-cl-std=CL1.2 -DDLS_STORE_CAPACITY=" + std::to_string(store_capacity) +
                                " -DDLS_TABLE_CAPACITY=" + std::to_string(table_capacity);
    status = clBuildProgram(m.program, 1, &m.device, options.c_str(), nullptr, nullptr);
    if (status != CL_SUCCESS) {
        char log[4096] = {};
        clGetProgramBuildInfo(m.program, m.device, CL_PROGRAM_BUILD_LOG, sizeof log - 1, log, nullptr);
        error = cl_error("clBuildProgram", status) + ": " + log;
        return false;
    }
    m.build_tables = clCreateKernel(m.program, "build_top_tables", &status);
    if (status == CL_SUCCESS)
        m.answer = clCreateKernel(m.program, "answer_mate_questions", &status);
    if (status == CL_SUCCESS)
        m.count_kept = clCreateKernel(m.program, "count_kept_completions", &status);
    if (status == CL_SUCCESS)
        m.list_kept = clCreateKernel(m.program, "list_kept_completions", &status);
    if (status != CL_SUCCESS)
        return error = cl_error("clCreateKernel", status), false;
    // Work groups of a fixed size (the global size rounded up to it), so that a
    // device compiling its kernels for each size (pocl) compiles them once.
    m.work_group_size = preferred_work_group_size;
    for (cl_kernel kernel : {m.build_tables, m.answer, m.count_kept, m.list_kept}) {
        std::size_t largest = 0;
        status = clGetKernelWorkGroupInfo(kernel, m.device, CL_KERNEL_WORK_GROUP_SIZE, sizeof largest, &largest, nullptr);
        if (status != CL_SUCCESS)
            return error = cl_error("clGetKernelWorkGroupInfo", status), false;
        m.work_group_size = std::min(m.work_group_size, largest);
    }

    const auto buffer = [&](cl_mem& made, cl_mem_flags flags, std::size_t bytes) {
        if (status == CL_SUCCESS)
            made = clCreateBuffer(m.context, flags, bytes, nullptr, &status);
    };
    const std::size_t blocks = launch_block_capacity;
    buffer(m.squares, CL_MEM_READ_WRITE, sizeof(Square) * batch_capacity); // listed, then answered
    buffer(m.square_blocks, CL_MEM_READ_ONLY, sizeof(cl_int) * batch_capacity);
    buffer(m.block_squares, CL_MEM_READ_ONLY, sizeof(cl_int) * blocks);
    buffer(m.tables, CL_MEM_READ_WRITE, sizeof(cl_ulong) * static_cast<std::size_t>(table_capacity) * blocks);
    buffer(m.bucket_starts, CL_MEM_READ_WRITE, sizeof(cl_int) * (DLS_TOP_BUCKETS + 2) * blocks);
    buffer(m.table_sizes, CL_MEM_READ_WRITE, sizeof(cl_int) * blocks);
    buffer(m.stores, CL_MEM_READ_WRITE, sizeof(cl_ulong) * 2 * static_cast<std::size_t>(store_capacity) * batch_capacity);
    buffer(m.counts, CL_MEM_WRITE_ONLY, sizeof(cl_int) * batch_capacity);
    buffer(m.verdicts, CL_MEM_WRITE_ONLY, sizeof(cl_int) * batch_capacity);
    buffer(m.prefixes, CL_MEM_READ_ONLY, sizeof PrefixBatch::values);
    buffer(m.kept_counts, CL_MEM_WRITE_ONLY, sizeof PrefixBatch::kept_counts);
    buffer(m.first_squares, CL_MEM_READ_ONLY, sizeof PrefixBatch::first_squares);
    for (int t = 0; t < worker_table_count; ++t) {
        if (status == CL_SUCCESS)
            m.tables_of_worker[t] = clCreateBuffer(m.context, CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR,
                                                   worker_tables[t].bytes, const_cast<void*>(worker_tables[t].data),
                                                   &status);
    }
    if (status != CL_SUCCESS)
        return error = cl_error("clCreateBuffer", status), false;
    return true;
}

namespace {

// A LaunchRunner: the launch's squares and blocks to the device, both kernels,
// the answers back.
bool run_launch_on_device(MateBatch& batch, const MateLaunch& launch, const char*& error)
{
    static_assert(sizeof(Square) == 100);
    OpenclMateDevice& m = mate_device;
    const cl_int squares = launch.square_count;
    const cl_int blocks = launch.block_count;
    cl_int status = clEnqueueWriteBuffer(m.queue, m.squares, CL_FALSE, 0, sizeof(Square) * squares,
                                         batch.squares + launch.first_square, 0, nullptr, nullptr);
    if (status == CL_SUCCESS)
        status = clEnqueueWriteBuffer(m.queue, m.square_blocks, CL_FALSE, 0, sizeof(cl_int) * squares,
                                      launch.square_blocks, 0, nullptr, nullptr);
    if (status == CL_SUCCESS)
        status = clEnqueueWriteBuffer(m.queue, m.block_squares, CL_FALSE, 0, sizeof(cl_int) * blocks,
                                      launch.block_squares, 0, nullptr, nullptr);
    if (status == CL_SUCCESS)
        status = set_arguments(m.build_tables, {&m.squares, &m.block_squares}, blocks,
                               {&m.tables, &m.bucket_starts, &m.table_sizes});
    if (status == CL_SUCCESS)
        status = set_arguments(m.answer, {&m.squares, &m.square_blocks}, squares,
                               {&m.tables, &m.bucket_starts, &m.table_sizes, &m.stores, &m.counts, &m.verdicts});
    if (status != CL_SUCCESS)
        return error = "the squares could not be handed to the device", false;
    const std::size_t group = m.work_group_size;
    const std::size_t table_items = (blocks + group - 1) / group * group;
    const std::size_t square_items = (squares + group - 1) / group * group;
    status = clEnqueueNDRangeKernel(m.queue, m.build_tables, 1, nullptr, &table_items, &group, 0, nullptr, nullptr);
    if (status == CL_SUCCESS)
        status = clEnqueueNDRangeKernel(m.queue, m.answer, 1, nullptr, &square_items, &group, 0, nullptr, nullptr);
    if (status != CL_SUCCESS)
        return error = "the mate kernel could not be started", false;
    status = clEnqueueReadBuffer(m.queue, m.counts, CL_FALSE, 0, sizeof(cl_int) * squares,
                                 batch.transversal_counts + launch.first_square, 0, nullptr, nullptr);
    if (status == CL_SUCCESS)
        status = clEnqueueReadBuffer(m.queue, m.verdicts, CL_TRUE, 0, sizeof(cl_int) * squares,
                                     batch.verdicts + launch.first_square, 0, nullptr, nullptr);
    if (status != CL_SUCCESS)
        return error = "the answers could not be read back from the device", false;
    return true;
}

// Sets the arguments of a prefix kernel: the prefixes, their count, the space,
// the tables, then `after`.
cl_int set_prefix_arguments(cl_kernel kernel, cl_int prefix_count, std::initializer_list<const cl_mem*> after)
{
    OpenclMateDevice& m = mate_device;
    const cl_int d = generator_state.diagonal_index;
    cl_int status = set_arguments(kernel, {&m.prefixes}, prefix_count, {});
    if (status == CL_SUCCESS)
        status = clSetKernelArg(kernel, 2, sizeof(cl_int), &d);
    cl_uint index = 3;
    for (const cl_mem& buffer : m.tables_of_worker)
        if (status == CL_SUCCESS)
            status = clSetKernelArg(kernel, index++, sizeof(cl_mem), &buffer);
    for (const cl_mem* buffer : after)
        if (status == CL_SUCCESS)
            status = clSetKernelArg(kernel, index++, sizeof(cl_mem), buffer);
    return status;
}

// Runs a prefix kernel over `count` prefixes from `first`.
bool run_prefix_kernel(cl_kernel kernel, const PrefixBatch& prefixes, std::int32_t first, std::int32_t count)
{
    OpenclMateDevice& m = mate_device;
    cl_int status = clEnqueueWriteBuffer(m.queue, m.prefixes, CL_FALSE, 0, sizeof prefixes.values[0] * count,
                                         prefixes.values[first], 0, nullptr, nullptr);
    const std::size_t group = m.work_group_size;
    const std::size_t items = (static_cast<std::size_t>(count) + group - 1) / group * group;
    if (status == CL_SUCCESS)
        status = clEnqueueNDRangeKernel(m.queue, kernel, 1, nullptr, &items, &group, 0, nullptr, nullptr);
    return status == CL_SUCCESS;
}

} // namespace

bool answer_batch_on_device(MateBatch& batch, const char*& error)
{
    return answer_in_launches(batch, launch_block_capacity, run_launch_on_device, error);
}

bool count_kept_on_device(PrefixBatch& prefixes, const char*& error)
{
    OpenclMateDevice& m = mate_device;
    if (set_prefix_arguments(m.count_kept, prefixes.size, {&m.kept_counts}) != CL_SUCCESS ||
        !run_prefix_kernel(m.count_kept, prefixes, 0, prefixes.size))
        return error = "the prefix kernel could not be started", false;
    if (clEnqueueReadBuffer(m.queue, m.kept_counts, CL_TRUE, 0, sizeof(cl_int) * prefixes.size, prefixes.kept_counts, 0,
                            nullptr, nullptr) != CL_SUCCESS)
        return error = "the counts could not be read back from the device", false;
    return true;
}

bool list_kept_on_device(const PrefixBatch& prefixes, std::int32_t first, std::int32_t count, MateBatch& squares,
                         const char*& error)
{
    OpenclMateDevice& m = mate_device;
    if (clEnqueueWriteBuffer(m.queue, m.first_squares, CL_FALSE, 0, sizeof(cl_int) * count,
                             prefixes.first_squares + first, 0, nullptr, nullptr) != CL_SUCCESS ||
        set_prefix_arguments(m.list_kept, count, {&m.first_squares, &m.squares}) != CL_SUCCESS ||
        !run_prefix_kernel(m.list_kept, prefixes, first, count))
        return error = "the prefix kernel could not be started", false;
    if (clEnqueueReadBuffer(m.queue, m.squares, CL_TRUE, 0, sizeof(Square) * squares.size, squares.squares, 0, nullptr,
                            nullptr) != CL_SUCCESS)
        return error = "the squares could not be read back from the device", false;
    return true;
}

void close_mate_kernel()
{
    OpenclMateDevice& m = mate_device;
    for (cl_mem buffer : {m.squares, m.square_blocks, m.block_squares, m.tables, m.bucket_starts, m.table_sizes,
                          m.stores, m.counts, m.verdicts, m.prefixes, m.kept_counts, m.first_squares})
        if (buffer != nullptr)
            clReleaseMemObject(buffer);
    for (cl_mem buffer : m.tables_of_worker)
        if (buffer != nullptr)
            clReleaseMemObject(buffer);
    for (cl_kernel kernel : {m.build_tables, m.answer, m.count_kept, m.list_kept})
        if (kernel != nullptr)
            clReleaseKernel(kernel);
    if (m.program != nullptr)
        clReleaseProgram(m.program);
    if (m.queue != nullptr)
        clReleaseCommandQueue(m.queue);
    if (m.context != nullptr)
        clReleaseContext(m.context);
    m = OpenclMateDevice{m.platform, m.device};
}
