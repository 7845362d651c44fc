// Benchmarks of the stand-in host library and the screen reader: what one pass of drawing and
// one boxsim `expect` check cost.
#include <benchmark/benchmark.h>

#include "board/font.h"
#include "host/gx9.h"
#include "tests/support/test_screen.h"

namespace {

void BM_FillWholeScreen(benchmark::State& state)
{
    testsupport::TestScreen screen;
    for (auto _ : state)
        FBFillRect(0, 0, 720, 576, 1);
}
BENCHMARK(BM_FillWholeScreen);

void BM_DrawDiagonalLine(benchmark::State& state)
{
    testsupport::TestScreen screen;
    for (auto _ : state)
        FBDrawLine(40, 25, 463, 448, 13);
}
BENCHMARK(BM_DrawDiagonalLine);

void BM_DrawLineFromFarAway(benchmark::State& state)
{
    testsupport::TestScreen screen;
    for (auto _ : state)
        FBDrawLine(-2000000000, -1000000000, 2000000000, 1000000000, 13);
}
BENCHMARK(BM_DrawLineFromFarAway);

void BM_CopyGlyphCell(benchmark::State& state)
{
    testsupport::TestScreen screen;
    for (auto _ : state)
        FBCopyImage(100, 100, kGlyphWidth, kGlyphHeight, font_pixels + 33 * kGlyphBytes);
}
BENCHMARK(BM_CopyGlyphCell);

void BM_DrawString20px(benchmark::State& state)
{
    testsupport::TestScreen screen;
    for (auto _ : state)
        benchmark::DoNotOptimize(FBDrawString(30, 30, 20, "Waiting for the opponent", 5, 1));
}
BENCHMARK(BM_DrawString20px);

// Reading a full telnet line of 72 cells that all hold the last character of the set (worst
// case: every cell is compared with every glyph).
void BM_ReadTextLine(benchmark::State& state)
{
    testsupport::TestScreen screen;
    unsigned char block[kGlyphBytes];
    for (int i = 0; i < kGlyphBytes; ++i)
        block[i] = font_pixels[95 * kGlyphBytes + i] == kGlyphInk ? 5 : 1;
    for (int i = 0; i < 72; ++i)
        FBCopyImage(30 + 9 * i, 457, kGlyphWidth, kGlyphHeight, block);
    for (auto _ : state)
        benchmark::DoNotOptimize(screen.text(30, 457, 72, 9));
}
BENCHMARK(BM_ReadTextLine);

} // namespace

BENCHMARK_MAIN();
