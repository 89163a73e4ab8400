// End-to-end throughput of the search loop: whole work units, with the result
// written to a temporary file, as the worker runs them (less the BOINC
// library's start and finish).
//   BM_RunSearch/N: the first 20000 passing squares of space N from its start.
//   BM_WorkUnit/NAME: the work units in bench/units, live, mixed and dead
//   regions (see BENCHMARKS.md); a dead unit's limit is 1, so its time is the
//   time to its first passing square, or to the end of the space.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "generator/generator.h"
#include "generator/search.h"
#include "generator/state.h"
#include "io/workunit.h"

namespace {

constexpr unsigned long long search_limit = 20000;

// Diagonal index as a work unit names it, all-zero start square, all-nine end
// square: the run stops at the limit.
std::string workunit_text(int number)
{
    std::string text = std::to_string(number) + " " + std::to_string(search_limit) + "\n";
    for (int n = 0; n < 100; ++n)
        text += "0 ";
    for (int n = 0; n < 100; ++n)
        text += "9 ";
    return text;
}

void run_workunit(benchmark::State& state, const std::string& text)
{
    std::uint64_t passing = 0;
    for (auto _ : state) {
        generator_state = GeneratorState{};
        std::FILE* input = fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
        const bool ok = read_workunit(input) && prime_generator();
        std::fclose(input);
        if (!ok) {
            state.SkipWithError("work unit rejected");
            return;
        }
        std::FILE* result = std::tmpfile();
        run_search(result);
        std::fclose(result);
        passing += generator_state.passing_count;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(passing));
}

void BM_RunSearch(benchmark::State& state)
{
    run_workunit(state, workunit_text(static_cast<int>(state.range(0))));
}

// One benchmark per file of bench/units, in name order.
const bool units_registered = [] {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(DLSMATE_BENCH_UNITS_DIR))
        if (entry.path().extension() == ".wu")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        benchmark::RegisterBenchmark(("BM_WorkUnit/" + file.stem().string()).c_str(),
                                     [unit = text.str()](benchmark::State& state) { run_workunit(state, unit); })
            ->Iterations(1)
            ->Unit(benchmark::kSecond);
    }
    return true;
}();

} // namespace

BENCHMARK(BM_RunSearch)->Arg(1)->Arg(36)->Arg(57)->Iterations(1)->Unit(benchmark::kSecond);
