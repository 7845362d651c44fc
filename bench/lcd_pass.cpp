// The LCD's share of a main-loop pass: the piece picture redrawn in memory (clearing lines, the
// outline or all six, the intro) and, separately, the line primitive and the text printer.
#include <array>
#include <string>

#include <benchmark/benchmark.h>

#include "lcd/picture.h"

namespace {

void BM_LcdPassOnPiece(benchmark::State& state)
{
    std::array<unsigned char, kLcdFrameBytes> frame{};
    const std::string board(64, 'Q');
    lcd_draw_intro(frame.data());
    for (auto _ : state) {
        lcd_draw_current_piece(board.c_str(), 4, 4, kLcdSet, frame.data());
        benchmark::DoNotOptimize(frame.data());
    }
}
BENCHMARK(BM_LcdPassOnPiece);

// The heaviest pass: an empty square superimposes all six outlines (377 segments).
void BM_LcdPassOnEmptySquare(benchmark::State& state)
{
    std::array<unsigned char, kLcdFrameBytes> frame{};
    const std::string board(64, ' ');
    lcd_draw_intro(frame.data());
    for (auto _ : state) {
        lcd_draw_current_piece(board.c_str(), 4, 4, kLcdSet, frame.data());
        benchmark::DoNotOptimize(frame.data());
    }
}
BENCHMARK(BM_LcdPassOnEmptySquare);

void BM_LcdLineAcrossTheDisplay(benchmark::State& state)
{
    std::array<unsigned char, kLcdFrameBytes> frame{};
    for (auto _ : state) {
        lcd_line(0, 5, kLcdWidth - 1, kLcdHeight - 7, kLcdInvert, 0, frame.data());
        benchmark::DoNotOptimize(frame.data());
    }
}
BENCHMARK(BM_LcdLineAcrossTheDisplay);

void BM_LcdPrintTwelveCells(benchmark::State& state)
{
    std::array<unsigned char, kLcdFrameBytes> frame{};
    for (auto _ : state) {
        lcd_print_string(0, 0, kLcdTitle, frame.data(), kLcdInverseText);
        benchmark::DoNotOptimize(frame.data());
    }
}
BENCHMARK(BM_LcdPrintTwelveCells);

} // namespace

BENCHMARK_MAIN();
