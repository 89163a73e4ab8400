// Squares per second for the diagonal transversal listings and for the whole
// mate test, over the squares that pass the symmetry filter at the start of
// three spaces.
#include <benchmark/benchmark.h>
#include <boinc_api.h>

#include <vector>

#include "dlx/core.h"
#include "dlx/half_transversals.h"
#include "dlx/mate.h"
#include "dlx/transversals.h"
#include "filter/canonical.h"
#include "generator/generator.h"
#include "generator/state.h"

// The search loop's progress report; nothing here runs the loop.
int boinc_fraction_done(double)
{
    return 0;
}

namespace {

constexpr int diagonal_indices[] = {1, 36, 57};
constexpr int squares_per_space = 1000;

// The first passing squares of each space, walked from an all-zero start square
// as a work unit would.
const std::vector<Square>& bench_squares()
{
    static const std::vector<Square> squares = [] {
        std::vector<Square> out;
        for (int d : diagonal_indices) {
            generator_state = GeneratorState{};
            generator_state.diagonal_index = d;
            generator_state.start_count = 80;
            int taken = 0;
            if (prime_generator())
                while (taken < squares_per_space && next_square())
                    if (is_canonical(generator_state.chosen_bits)) {
                        out.push_back(assembled_square);
                        ++taken;
                    }
        }
        return out;
    }();
    return squares;
}

template <typename Work>
void over_all_squares(benchmark::State& state, Work work)
{
    const std::vector<Square>& squares = bench_squares();
    for (auto _ : state)
        for (const Square& s : squares)
            benchmark::DoNotOptimize(work(s));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(squares.size()));
    state.counters["squares"] = static_cast<double>(squares.size());
}

void BM_TransversalsByDancingLinks(benchmark::State& state)
{
    over_all_squares(state, [](const Square& s) { return enumerate_diagonal_transversals(s); });
}

void BM_TransversalsByHalves(benchmark::State& state)
{
    over_all_squares(state, [](const Square& s) { return enumerate_transversals_by_halves(s); });
}

// The mate test as it was before the halves listing: dancing links for both
// searches.
bool mate_test_by_dancing_links(const Square& s)
{
    const std::int32_t count = enumerate_diagonal_transversals(s);
    if (count < 10 || count > max_transversals)
        return false;
    build_mate_matrix(count);
    return find_mate_cover();
}

void BM_MateTestByDancingLinks(benchmark::State& state)
{
    over_all_squares(state, [](const Square& s) { return mate_test_by_dancing_links(s); });
}

void BM_HasOrthogonalMate(benchmark::State& state)
{
    over_all_squares(state, [](const Square& s) { return has_orthogonal_mate(s); });
}

} // namespace

BENCHMARK(BM_TransversalsByDancingLinks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransversalsByHalves)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MateTestByDancingLinks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HasOrthogonalMate)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
