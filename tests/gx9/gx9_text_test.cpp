// Tests of FBDrawString: width, background box, glyph pixels, baseline, clipping, fallback.
#include <climits>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "host/gx9.h"
#include "tests/support/test_screen.h"

using testsupport::TestScreen;

namespace {

constexpr unsigned char kInk = 5;
constexpr unsigned char kPaper = 10;

// The rows of the box (x, y, width, height) holding ink: first and last, -1 when none.
std::pair<int, int> ink_rows(const TestScreen& screen, int x, int y, int width, int height)
{
    int first = -1, last = -1;
    for (int row = y; row < y + height; ++row)
        if (screen.count(x, row, width, 1, kInk) > 0) {
            if (first < 0)
                first = row;
            last = row;
        }
    return {first, last};
}

} // namespace

TEST(Strings, PaintBoxOfReturnedWidthWithInkInside)
{
    TestScreen screen;
    const int width = FBDrawString(100, 200, 24, "Hello, world", kInk, kPaper);
    ASSERT_GT(width, 24 * 4);
    ASSERT_LT(width, 24 * 12);
    const int ink = screen.count(100, 200, width, 24, kInk);
    const int paper = screen.count(100, 200, width, 24, kPaper);
    EXPECT_GT(ink, 100) << screen.dump(100, 200, width, 24);
    EXPECT_GT(paper, ink);
    EXPECT_EQ(ink + paper, width * 24) << "box not painted completely";
    EXPECT_EQ(screen.count(0, 0, 720, 576, 0), 720 * 576 - width * 24) << "painted outside the box";
    EXPECT_EQ(screen.draw_calls(), 1u);
}

TEST(Strings, WidthAddsUpAndGrowsWithHeight)
{
    TestScreen screen;
    // Widths measured without drawing are the same as when drawn; no kerning between glyphs.
    const int w_a = FBDrawString(0, 0, 30, "W", kInk, kPaper);
    const int w_b = FBDrawString(0, 0, 30, "i", kInk, kPaper);
    EXPECT_GT(w_a, w_b);
    EXPECT_EQ(FBDrawString(0, 40, 30, "Wi", kInk, kPaper), w_a + w_b);
    EXPECT_EQ(FBDrawString(0, 80, 30, "WiWi", kInk, kPaper), 2 * (w_a + w_b));
    EXPECT_LT(FBDrawString(0, 120, 15, "WiWi", kInk, kPaper), 2 * (w_a + w_b));
    EXPECT_GT(FBDrawString(0, 160, 60, "WiWi", kInk, kPaper), 2 * (w_a + w_b));
}

TEST(Strings, EmptyNullAndImpossibleHeightsDrawNothing)
{
    TestScreen screen;
    // {text, height}
    const struct {
        const char* text;
        int height;
    } rows[] = {{"", 20}, {nullptr, 20}, {"abc", 0}, {"abc", -4}, {"abc", INT_MAX}};
    for (const auto& row : rows)
        EXPECT_EQ(FBDrawString(10, 10, row.height, row.text, kInk, kPaper), 0);
    EXPECT_EQ(screen.count(0, 0, 720, 576, 0), 720 * 576);
    EXPECT_EQ(screen.draw_calls(), std::size(rows));
}

TEST(Strings, GlyphsSitOnABaselineInsideTheBox)
{
    TestScreen screen;
    const int height = 40;
    const int dot = FBDrawString(10, 10, height, ".", kInk, kPaper);
    const int tick = FBDrawString(100, 10, height, "'", kInk, kPaper);
    const int bar = FBDrawString(200, 10, height, "|", kInk, kPaper);
    const auto [dot_top, dot_bottom] = ink_rows(screen, 10, 10, dot, height);
    const auto [tick_top, tick_bottom] = ink_rows(screen, 100, 10, tick, height);
    const auto [bar_top, bar_bottom] = ink_rows(screen, 200, 10, bar, height);
    ASSERT_GE(dot_top, 0) << screen.dump(10, 10, dot, height);
    ASSERT_GE(tick_top, 0);
    EXPECT_GT(dot_top, 10 + height / 2) << "full stop not in the lower half";
    EXPECT_LT(tick_bottom, 10 + height / 2) << "apostrophe not in the upper half";
    EXPECT_LT(dot_bottom, bar_bottom) << "the bar reaches below the baseline";
    EXPECT_GE(bar_top, 10);
    EXPECT_LT(bar_bottom, 10 + height);
}

TEST(Strings, ClippedAtTheScreenEdges)
{
    TestScreen screen;
    const int width = FBDrawString(700, 560, 30, "clipped text", kInk, kPaper);
    EXPECT_GT(width, 20);
    EXPECT_EQ(screen.count(700, 560, 20, 16, 0), 0) << "visible part of the box not painted";
    EXPECT_EQ(screen.count(0, 0, 720, 576, 0), 720 * 576 - 20 * 16);
    screen.fill(0);
    EXPECT_GT(FBDrawString(INT_MAX - 5, INT_MAX - 5, 30, "far away", kInk, kPaper), 0);
    EXPECT_GT(FBDrawString(INT_MIN, INT_MIN, 30, "far away", kInk, kPaper), 0);
    EXPECT_GT(FBDrawString(-20, -10, 30, "partly", kInk, kPaper), 0);
    EXPECT_GT(screen.count(0, 0, 60, 20, kInk), 0);
    EXPECT_EQ(screen.count(0, 20, 720, 556, 0), 720 * 556);
}

TEST(Strings, BytesAboveAsciiDrawAsLatin1)
{
    TestScreen screen;
    const int plain = FBDrawString(10, 10, 30, "e", kInk, kPaper);
    const int accented = FBDrawString(10, 50, 30, "\xe9", kInk, kPaper);
    EXPECT_EQ(plain, accented);
    EXPECT_GT(screen.count(10, 50, accented, 30, kInk), screen.count(10, 10, plain, 30, kInk));
}

TEST(Strings, MissingFontFallsBackToPlainBoxes)
{
    // The face is loaded once per process, so the missing font is tried in a child process.
    EXPECT_EXIT(
        {
            setenv("VITREL_GX9_FONT", "/nonexistent/font.ttf", 1);
            TestScreen screen;
            const int width = FBDrawString(10, 10, 20, "abcde", kInk, kPaper);
            const bool boxed = width == 5 * 12 && screen.all(10, 10, width, 20, kPaper) &&
                               screen.count(0, 0, 720, 576, 0) == 720 * 576 - width * 20;
            std::exit(boxed ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "text shows as boxes");
}
