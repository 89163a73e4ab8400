// End-to-end throughput of the search loop: whole work units from the first square
// of three spaces, with the result written to a temporary file, as the worker
// runs them (less the BOINC library's start and finish).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

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

void BM_RunSearch(benchmark::State& state)
{
    const std::string text = workunit_text(static_cast<int>(state.range(0)));
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

} // namespace

BENCHMARK(BM_RunSearch)->Arg(1)->Arg(36)->Arg(57)->Iterations(1)->Unit(benchmark::kSecond);
