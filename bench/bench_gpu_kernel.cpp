// Squares per second for the GPU worker's mate kernels compiled as C++ and run
// on the host, work item after work item (opencl/host_kernel.cpp), over the
// first 500 kept squares of each live and mixed benchmark unit in batches of
// 1024 as on a processor's OpenCL device: the rows 0-4 tables of each batch's
// blocks, then each square's rows 5-9 joined with them and its mate search.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "gpu/test_squares.h"
#include "opencl/host_kernel.h"

namespace {

const std::vector<Square>& kernel_squares()
{
    static const std::vector<Square> squares = [] {
        std::vector<Square> out;
        for (const std::string& unit : live_and_mixed_units()) {
            const std::vector<Square> kept = kept_squares(read_text(unit), 500);
            out.insert(out.end(), kept.begin(), kept.end());
        }
        return out;
    }();
    return squares;
}

MateBatch bench_batch;

void BM_MateKernelsOnHost(benchmark::State& state)
{
    const std::vector<Square>& squares = kernel_squares();
    MateBatch& batch = bench_batch;
    for (auto _ : state) {
        for (std::size_t from = 0; from < squares.size(); from += 1024) {
            batch.size = static_cast<std::int32_t>(std::min<std::size_t>(1024, squares.size() - from));
            std::copy(squares.begin() + from, squares.begin() + from + batch.size, batch.squares);
            const char* error = nullptr;
            benchmark::DoNotOptimize(answer_batch_on_host(batch, error));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(squares.size()));
    state.counters["squares"] = static_cast<double>(squares.size());
}

} // namespace

BENCHMARK(BM_MateKernelsOnHost)->Unit(benchmark::kMillisecond);
