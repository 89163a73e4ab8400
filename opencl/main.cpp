// dlsmate-opencl (and dlsmate-cuda): the BOINC worker with the mate questions
// answered by a GPU, through OpenCL (opencl/device.cpp) or CUDA
// (opencl/cuda_device.cu).  Same command line, work unit, result file,
// checkpoint, messages and exit statuses as dlsmate, and one more message: the
// device.

#include <string>

#include <boinc_api.h>

#include "driver/run.h"
#include "opencl/batched_search.h"
#include "opencl/device.h"
#include "opencl/self_test.h"

namespace {

// What the walk asks of the device.
const DeviceCalls device_calls{count_kept_on_device, list_kept_on_device, answer_batch_on_device};

// Chooses the device, builds the kernel for it and refuses a device that does
// not answer the known squares rightly.
int open_device(int, char**)
{
    char prefix[256];
    std::string description;
    std::string error;
    if (!choose_device(!boinc_is_standalone(), description, error)) {
        std::fprintf(stderr, "%s No device: %s\n", boinc_msg_prefix(prefix, sizeof prefix), error.c_str());
        return 1;
    }
    std::fprintf(stderr, "%s Device: %s\n", boinc_msg_prefix(prefix, sizeof prefix), description.c_str());
    if (!open_mate_kernel(mate_store_capacity, mate_table_capacity, error)) {
        std::fprintf(stderr, "%s The device cannot run the mate kernel: %s\n",
                     boinc_msg_prefix(prefix, sizeof prefix), error.c_str());
        return 1;
    }
    if (!passes_self_test(answer_batch_on_device, self_test_answers, self_test_answer_count, error) ||
        !passes_prefix_self_test(device_calls, error)) {
        std::fprintf(stderr, "%s The device answers wrongly and is refused: %s\n",
                     boinc_msg_prefix(prefix, sizeof prefix), error.c_str());
        return 1;
    }
    return 0;
}

bool search_on_device(std::FILE* result, const char* checkpoint_path, std::uint64_t result_length)
{
    const char* error = nullptr;
    const BatchSizes sizes{prefix_batch_size_for_device(), batch_size_for_device()};
    if (run_batched_search(result, checkpoint_path, result_length, device_calls, sizes, error))
        return true;
    char prefix[256];
    std::fprintf(stderr, "%s The device failed: %s\n", boinc_msg_prefix(prefix, sizeof prefix), error);
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    return run_work_unit(argc, argv, SearchRoom{open_device, search_on_device});
}
