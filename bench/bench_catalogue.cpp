// The catalogue's costs: a canonical form of order 10, and the per-class
// statistics of a found square (all its mates, their CFs, triangles) beside the
// worker's own mate test on the same square.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "catalogue/canonical_form.h"
#include "catalogue/class_statistics.h"
#include "tools/lib/squares.h"

namespace {

LatinSquare from_rows(const char* const rows[10])
{
    LatinSquare square;
    square.order = 10;
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            square.cells[10 * r + c] = static_cast<std::uint8_t>(rows[r][c] - '0');
    return square;
}

// The square of a full class, the published square orthogonal to its
// transpose, and the sample's square with a mate.
const char* const full_class[10] = {"0123456789", "1204539867", "3561874092", "9478321605", "2730985146",
                                    "6859247310", "4697013258", "7046198523", "8315602974", "5982760431"};
const char* const self_orthogonal[10] = {"0123456789", "5209781463", "9571864302", "7864925130", "8950342671",
                                         "3695217048", "4317608295", "6782530914", "2046193857", "1438079526"};
const char* const sample[10] = {"0657348291", "4109673528", "8425139067", "5863924170", "7982461305",
                                "9241750836", "2078516943", "6394805712", "1530297684", "3716082459"};

// 3 squares and 63 images of each under spread maps of the group.
std::vector<LatinSquare> bench_squares()
{
    std::vector<LatinSquare> squares;
    const std::vector<CellMap>& group = geometric_group(10);
    for (const char* const* rows : {full_class, self_orthogonal, sample}) {
        const LatinSquare square = from_rows(rows);
        for (std::size_t k = 0; k < 64; ++k)
            squares.push_back(apply_map(group[(k * 241) % group.size()], square));
    }
    return squares;
}

void BM_CanonicalForm(benchmark::State& state)
{
    const std::vector<LatinSquare> squares = bench_squares();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(canonical_form(squares[i]));
        i = (i + 1) % squares.size();
    }
    state.counters["CFs/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CanonicalForm)->Unit(benchmark::kMicrosecond);

void BM_ClassStatistics(benchmark::State& state)
{
    const Square square = to_square(from_rows(state.range(0) == 0 ? sample : self_orthogonal));
    for (auto _ : state)
        benchmark::DoNotOptimize(class_statistics(square));
}
BENCHMARK(BM_ClassStatistics)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// What the worker already spends on the square: the transversals and one mate.
void BM_WorkerMateTest(benchmark::State& state)
{
    const Square square = to_square(from_rows(state.range(0) == 0 ? sample : self_orthogonal));
    for (auto _ : state)
        benchmark::DoNotOptimize(check_mate(square));
}
BENCHMARK(BM_WorkerMateTest)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
