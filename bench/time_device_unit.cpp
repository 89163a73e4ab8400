// dlsmate_time_device UNIT RESULT (dlsmate_time_cuda through CUDA): the GPU
// worker's walk over one work unit on the device the worker would choose
// standalone, writing the result to RESULT, and where its wall-clock time goes:
// the device's calls (counting the prefixes' kept completions, listing them,
// answering the mate questions: kernels and transfers each) and the rest, which
// is the processor's walk and the result.  Prints one line:
//   passing P seconds T count C list L answer A host H
// The device is opened and self-tested before the clock starts.
#include <chrono>
#include <cstdio>
#include <string>

#include "generator/generator.h"
#include "generator/state.h"
#include "io/workunit.h"
#include "opencl/batched_search.h"
#include "opencl/device.h"
#include "opencl/self_test.h"

namespace {

using Clock = std::chrono::steady_clock;

double spent[3]; // count, list, answer

double since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool timed_count(PrefixBatch& prefixes, const char*& error)
{
    const Clock::time_point start = Clock::now();
    const bool done = count_kept_on_device(prefixes, error);
    spent[0] += since(start);
    return done;
}

bool timed_list(const PrefixBatch& prefixes, std::int32_t first, std::int32_t count, MateBatch& squares,
                const char*& error)
{
    const Clock::time_point start = Clock::now();
    const bool done = list_kept_on_device(prefixes, first, count, squares, error);
    spent[1] += since(start);
    return done;
}

bool timed_answer(MateBatch& batch, const char*& error)
{
    const Clock::time_point start = Clock::now();
    const bool done = answer_batch_on_device(batch, error);
    spent[2] += since(start);
    return done;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "Usage: dlsmate_time_device UNIT RESULT\n");
        return 2;
    }
    std::FILE* const in = std::fopen(argv[1], "rb");
    if (in == nullptr || !read_workunit(in) || !prime_generator()) {
        std::fprintf(stderr, "dlsmate_time_device: cannot read or prime %s\n", argv[1]);
        return 1;
    }
    std::fclose(in);
    std::string description, failure;
    if (!choose_device(false, description, failure) ||
        !open_mate_kernel(mate_store_capacity, mate_table_capacity, failure) ||
        !passes_self_test(answer_batch_on_device, self_test_answers, self_test_answer_count, failure) ||
        !passes_prefix_self_test({count_kept_on_device, list_kept_on_device, answer_batch_on_device}, failure)) {
        std::fprintf(stderr, "dlsmate_time_device: %s\n", failure.c_str());
        return 1;
    }
    std::FILE* const out = std::fopen(argv[2], "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "dlsmate_time_device: cannot open %s\n", argv[2]);
        return 1;
    }
    const Clock::time_point start = Clock::now();
    const char* error = nullptr;
    const bool walked = run_batched_search(out, nullptr, 0, {timed_count, timed_list, timed_answer},
                                           {prefix_batch_size_for_device(), batch_size_for_device()}, error);
    const double seconds = since(start);
    close_mate_kernel();
    if (std::fclose(out) != 0 || !walked) {
        std::fprintf(stderr, "dlsmate_time_device: %s\n", walked ? "cannot write the result" : error);
        return 1;
    }
    std::printf("passing %llu seconds %.3f count %.3f list %.3f answer %.3f host %.3f\n",
                static_cast<unsigned long long>(generator_state.passing_count), seconds, spent[0], spent[1], spent[2],
                seconds - spent[0] - spent[1] - spent[2]);
    return 0;
}
