// Benchmarks of the TV board: a full redraw of the start position, one square with a king, and
// a fill that leaks over the whole screen, with the host calls each makes.
//   build/default/bench/bench_board --benchmark_repetitions=9 --benchmark_report_aggregates_only
#include <cstring>

#include <benchmark/benchmark.h>

#include "board/board.h"
#include "board/glyphs.h"
#include "ics/game_state.h"
#include "tests/support/test_screen.h"

namespace {

// Host calls per iteration: every drawing call (the framebuffer's counter, FBPaintPixel
// included), and the glyph code's own FBGetPixel reads and FBPaintPixel paints.
void report_host_calls(benchmark::State& state, const testsupport::TestScreen& screen,
                       uint32_t draw_calls_before)
{
    const auto per_iteration = benchmark::Counter::kAvgIterations;
    state.counters["draw_calls"] =
        benchmark::Counter(double(screen.draw_calls() - draw_calls_before), per_iteration);
    state.counters["pixel_reads"] =
        benchmark::Counter(double(floodfill_stats.reads), per_iteration);
    state.counters["pixel_paints"] =
        benchmark::Counter(double(floodfill_stats.painted), per_iteration);
}

void BM_DrawChessBoardStartPosition(benchmark::State& state)
{
    testsupport::TestScreen screen;
    init();
    std::memcpy(zeforboard, kStartPosition, sizeof kStartPosition);
    reset_floodfill_stats();
    const uint32_t before = screen.draw_calls();
    for (auto _ : state)
        draw_chess_board(zeforboard, 4, 2, 4, 2);
    report_host_calls(state, screen, before);
}
BENCHMARK(BM_DrawChessBoardStartPosition);

void BM_DrawOneFieldWithKing(benchmark::State& state)
{
    testsupport::TestScreen screen;
    init();
    std::memcpy(zeforboard, kStartPosition, sizeof kStartPosition);
    reset_floodfill_stats();
    const uint32_t before = screen.draw_calls();
    for (auto _ : state)
        draw_one_field(zeforboard, 5, 1);
    report_host_calls(state, screen, before);
}
BENCHMARK(BM_DrawOneFieldWithKing);

// 718 x 575 pixels, far beyond the fill's work stack; two colours take turns so that every
// iteration finds the whole screen to repaint.
void BM_FloodFillLeakingOverTheScreen(benchmark::State& state)
{
    testsupport::TestScreen screen;
    screen.fill(6);
    unsigned char old = 6, fill = 2;
    reset_floodfill_stats();
    const uint32_t before = screen.draw_calls();
    for (auto _ : state) {
        floodfill(360, 288, old, fill, 1);
        std::swap(old, fill);
    }
    report_host_calls(state, screen, before);
    state.counters["sweeps"] =
        benchmark::Counter(double(floodfill_stats.sweeps), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_FloodFillLeakingOverTheScreen)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
