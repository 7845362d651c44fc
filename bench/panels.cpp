// Benchmarks of the panels: one clock-panel redraw and one telnet line in each window form,
// with the host-library calls each makes (draw_counter delta per iteration).
#include <cstring>

#include <benchmark/benchmark.h>

#include "ics/game_state.h"
#include "panels/clocks.h"
#include "panels/telnet.h"
#include "shell/screen_mode.h"
#include "tests/support/test_screen.h"

namespace {

void report_calls(benchmark::State& state, const testsupport::TestScreen& screen, uint32_t before)
{
    state.counters["host_calls"] = benchmark::Counter(
        static_cast<double>(screen.draw_calls() - before), benchmark::Counter::kAvgIterations);
}

void BM_PrintRemainingTime(benchmark::State& state)
{
    testsupport::TestScreen screen;
    init();
    memcpy(zeforboard, kStartPosition, sizeof kStartPosition);
    zeforboard[square_index(4, 1)] = ' '; // White without its queen: a two-line on-move text
    WeAreNotPlaying = 0;
    whats_showed = kBoardView;
    WhoIsOnMove = 'W';
    WhiteRemaining = 287;
    BlackRemaining = 301;
    snprintf(PreviousMoveLong, sizeof PreviousMoveLong, "%s", "P/e2-e4");
    const uint32_t before = screen.draw_calls();
    for (auto _ : state)
        print_remaining_time();
    report_calls(state, screen, before);
}
BENCHMARK(BM_PrintRemainingTime);

// A full window of 72-character lines, then one more line per iteration.
void add_line_in_mode(benchmark::State& state, int mode)
{
    testsupport::TestScreen screen;
    init();
    whats_showed = mode;
    const char line[] = "Creating: korvanis (1500) engine (1700) unrated blitz 5 0 [white] ok ok";
    for (int i = 0; i < kTelnetLines; ++i)
        add_to_telnet(line, 5, 1);
    const uint32_t before = screen.draw_calls();
    for (auto _ : state)
        add_to_telnet(line, 2, 10);
    report_calls(state, screen, before);
}

void BM_AddToTelnetSmallWindow(benchmark::State& state)
{
    add_line_in_mode(state, kBoardView);
}
void BM_AddToTelnetFullWindow(benchmark::State& state)
{
    add_line_in_mode(state, kFullTelnet);
}
BENCHMARK(BM_AddToTelnetSmallWindow);
BENCHMARK(BM_AddToTelnetFullWindow);

} // namespace

BENCHMARK_MAIN();
