// Squares per second for the diagonal transversal listings, for the whole
// mate test and for the mate search alone (by dancing links and by bitsets),
// over the squares that pass the symmetry filter at the start of three spaces.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "dlx/bitset_mate.h"
#include "dlx/core.h"
#include "reference/half_transversals.h"
#include "dlx/mate.h"
#include "dlx/transversals.h"
#include "filter/canonical.h"
#include "generator/generator.h"
#include "generator/state.h"

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

// The mate search alone, over the transversals of those squares that pass the
// gate (10 to max_transversals of them), listed once beforehand.  Each search
// starts by copying its square's records into transversal_store;
// BM_MateSearchStoreCopy times that copy alone.
const std::vector<std::vector<Transversal>>& bench_stores()
{
    static const std::vector<std::vector<Transversal>> stores = [] {
        std::vector<std::vector<Transversal>> out;
        for (const Square& s : bench_squares()) {
            const std::int32_t count = enumerate_transversals_by_halves(s);
            if (count >= 10 && count <= max_transversals)
                out.emplace_back(transversal_store, transversal_store + count);
        }
        return out;
    }();
    return stores;
}

template <typename Search>
void over_all_stores(benchmark::State& state, Search search)
{
    const std::vector<std::vector<Transversal>>& stores = bench_stores();
    for (auto _ : state) {
        for (const std::vector<Transversal>& store : stores) {
            std::memcpy(transversal_store, store.data(), sizeof(Transversal) * store.size());
            benchmark::DoNotOptimize(search(static_cast<std::int32_t>(store.size())));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(stores.size()));
    state.counters["squares"] = static_cast<double>(stores.size());
}

void BM_MateSearchStoreCopy(benchmark::State& state)
{
    over_all_stores(state, [](std::int32_t count) { return count; });
}

void BM_MateSearchByDancingLinks(benchmark::State& state)
{
    over_all_stores(state, [](std::int32_t count) {
        build_mate_matrix(count);
        return find_mate_cover();
    });
}

void BM_MateSearchByBitsetsBaseline(benchmark::State& state)
{
    over_all_stores(state, [](std::int32_t count) { return find_mate_by_bitsets_baseline(count); });
}

void BM_MateSearchByBitsetsPopcnt(benchmark::State& state)
{
    if (!cpu_has_popcnt()) {
        state.SkipWithError("no POPCNT on this processor");
        return;
    }
    over_all_stores(state, [](std::int32_t count) { return find_mate_by_bitsets_popcnt(count); });
}

} // namespace

BENCHMARK(BM_TransversalsByDancingLinks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransversalsByHalves)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MateTestByDancingLinks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HasOrthogonalMate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MateSearchStoreCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MateSearchByDancingLinks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MateSearchByBitsetsBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MateSearchByBitsetsPopcnt)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

// The two fast listings over consecutive passing squares, in the order the
// worker meets them: the first 2000 after the all-zero start square of the
// spaces with diagonal_index 0, 35 and 56.  The listing that reuses rows keeps
// its tables from one square to the next, as it does in a run; each iteration
// starts it cold.
#include "dlx/reused_transversals.h"

namespace {

constexpr int consecutive_diagonal_indices[] = {0, 35, 56};
constexpr int consecutive_squares_per_space = 2000;

const std::vector<Square>& consecutive_squares()
{
    static const std::vector<Square> squares = [] {
        std::vector<Square> out;
        for (int d : consecutive_diagonal_indices) {
            generator_state = GeneratorState{};
            generator_state.diagonal_index = d;
            generator_state.start_count = 80;
            int taken = 0;
            if (prime_generator())
                while (taken < consecutive_squares_per_space && next_square())
                    if (is_canonical(generator_state.chosen_bits)) {
                        out.push_back(assembled_square);
                        ++taken;
                    }
        }
        return out;
    }();
    return squares;
}

template <typename Listing>
void over_consecutive_squares(benchmark::State& state, Listing listing)
{
    const std::vector<Square>& squares = consecutive_squares();
    for (auto _ : state) {
        forget_kept_rows();
        for (const Square& s : squares)
            benchmark::DoNotOptimize(listing(s));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(squares.size()));
    state.counters["squares"] = static_cast<double>(squares.size());
}

void BM_ConsecutiveTransversalsByHalves(benchmark::State& state)
{
    over_consecutive_squares(state, [](const Square& s) { return enumerate_transversals_by_halves(s); });
}

void BM_ConsecutiveTransversalsReusingRows(benchmark::State& state)
{
    over_consecutive_squares(state, [](const Square& s) { return enumerate_transversals_reusing_rows(s); });
}

} // namespace

BENCHMARK(BM_ConsecutiveTransversalsByHalves)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConsecutiveTransversalsReusingRows)->Unit(benchmark::kMillisecond);
