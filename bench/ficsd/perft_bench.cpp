// Move generation speed: perft of the start position to depth 5 (4,865,609 leaves).
#include <benchmark/benchmark.h>

#include "ficsd/chess_rules.h"

static void BM_PerftStartDepth5(benchmark::State& state)
{
    const ficsd::Position start = ficsd::Position::start();
    uint64_t nodes = 0;
    for (auto _ : state) {
        nodes = ficsd::perft(start, 5);
        benchmark::DoNotOptimize(nodes);
    }
    if (nodes != 4865609)
        state.SkipWithError("wrong node count");
    state.counters["nodes_per_s"] =
        benchmark::Counter(double(nodes), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PerftStartDepth5)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
