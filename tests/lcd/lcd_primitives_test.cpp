// The LCD pixel and line primitives on a frame in plain memory: addressing, modes, points off
// the display, and lines in every direction with their left-out end points and gaps.
#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "lcd/device.h"
#include "tests/lcd/lcd_frame_view.h"

namespace {

using lcdtest::Frame;
using Points = std::vector<std::pair<int, int>>;

// Lit pixels of the frame in row-major order.
Points lit_points(const Frame& frame)
{
    Points points;
    for (int y = 0; y < kLcdHeight; ++y)
        for (int x = 0; x < kLcdWidth; ++x)
            if (lcdtest::lit(frame, x, y))
                points.emplace_back(x, y);
    return points;
}

Points sorted(Points points)
{
    std::sort(points.begin(), points.end(), [](auto a, auto b) {
        return std::pair(a.second, a.first) < std::pair(b.second, b.first);
    });
    return points;
}

TEST(LcdSign, GivesMinusOneZeroOrOne)
{
    const std::pair<int, int> rows[] = {{-7, -1}, {0, 0}, {7, 1}, {INT_MIN, -1}, {INT_MAX, 1}};
    for (auto [v, expected] : rows)
        EXPECT_EQ(sgn(v), expected) << "sgn(" << v << ")";
}

TEST(LcdPixel, AddressesBitOfBandByteAndNothingElse)
{
    // x, y, byte, bit
    const struct {
        int x, y, byte, bit;
    } rows[] = {
        {0, 0, 0, 0},   {119, 63, 959, 7}, {5, 9, 125, 1},
        {0, 8, 120, 0}, {7, 7, 7, 7},      {119, 0, 119, 0},
    };
    for (const auto& row : rows) {
        Frame frame{};
        lcd_draw_pixel(row.x, row.y, kLcdSet, frame.data());
        Frame expected{};
        expected[static_cast<std::size_t>(row.byte)] = static_cast<unsigned char>(1 << row.bit);
        EXPECT_EQ(frame, expected) << "pixel (" << row.x << ", " << row.y << ")";
    }
}

TEST(LcdPixel, SetIsIdempotentInvertTwiceRestoresClearTouchesOnlyItsBit)
{
    Frame frame{};
    lcd_draw_pixel(5, 9, kLcdSet, frame.data());
    lcd_draw_pixel(5, 9, kLcdSet, frame.data());
    EXPECT_EQ(frame[125], 0x02);

    lcd_draw_pixel(5, 9, kLcdInvert, frame.data());
    EXPECT_EQ(frame[125], 0x00);
    lcd_draw_pixel(5, 9, kLcdInvert, frame.data());
    EXPECT_EQ(frame[125], 0x02);

    frame.fill(0xff);
    lcd_draw_pixel(5, 9, kLcdClear, frame.data());
    EXPECT_EQ(frame[125], 0xfd);
    EXPECT_EQ(lcdtest::lit_count(frame, 0, 0, kLcdWidth, kLcdHeight), kLcdWidth * kLcdHeight - 1);
}

TEST(LcdPixel, UnknownModesChangeNothing)
{
    for (int mode : {3, -1, 255, INT_MIN}) {
        Frame frame{};
        frame[125] = 0x5a;
        const Frame before = frame;
        lcd_draw_pixel(5, 9, mode, frame.data());
        EXPECT_EQ(frame, before) << "mode " << mode;
    }
}

// Points off the display, including those whose naive byte index would land inside the frame
// ((125, -1) gives byte 5, (-5, 8) byte 115) and those that overflow a naive shift.
TEST(LcdPixel, PointsOffTheDisplayChangeNoMemoryInOrAroundTheFrame)
{
    const std::pair<int, int> points[] = {
        {-1, 0},
        {120, 0},
        {0, -1},
        {0, 64},
        {125, -1},
        {-5, 8},
        {-120, 9},
        {239, 7},
        {0, -8},
        {60, 1000},
        {INT_MIN, 0},
        {0, INT_MIN},
        {INT_MAX, 5},
        {5, INT_MAX},
        {INT_MIN, INT_MIN},
        {INT_MAX, INT_MAX},
    };
    for (int mode : {kLcdClear, kLcdSet, kLcdInvert}) {
        // The frame sits between two guard blocks of the same size.
        std::vector<unsigned char> memory(3 * kLcdFrameBytes, 0xa5);
        unsigned char* frame = memory.data() + kLcdFrameBytes;
        for (auto [x, y] : points)
            lcd_draw_pixel(x, y, mode, frame);
        EXPECT_TRUE(
            std::all_of(memory.begin(), memory.end(), [](unsigned char b) { return b == 0xa5; }))
            << "mode " << mode;
    }
}

// A line from (x1, y1) to (x2, y2) with gap lights exactly these points.
struct LineCase {
    int x1, y1, x2, y2, gap;
    Points expected;
};

TEST(LcdLine, LightsExactlyThePointsBeforeItsEnd)
{
    const LineCase cases[] = {
        // horizontal, both ways: the end point is left out, the start drawn
        {0, 0, 3, 0, 0, {{0, 0}, {1, 0}, {2, 0}}},
        {3, 0, 0, 0, 0, {{3, 0}, {2, 0}, {1, 0}}},
        // vertical, both ways
        {5, 6, 5, 10, 0, {{5, 6}, {5, 7}, {5, 8}, {5, 9}}},
        {5, 10, 5, 6, 0, {{5, 10}, {5, 9}, {5, 8}, {5, 7}}},
        // shallow: steps in x, y truncated
        {0, 0, 4, 2, 0, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
        {4, 2, 0, 0, 0, {{4, 2}, {3, 1}, {2, 1}, {1, 0}}},
        // steep: steps in y, x truncated
        {0, 0, 2, 4, 0, {{0, 0}, {0, 1}, {1, 2}, {1, 3}}},
        {2, 4, 0, 0, 0, {{2, 4}, {1, 3}, {1, 2}, {0, 1}}},
        // diagonals: a tie steps in x
        {0, 0, 3, 3, 0, {{0, 0}, {1, 1}, {2, 2}}},
        {3, 0, 0, 3, 0, {{3, 0}, {2, 1}, {1, 2}}},
        {0, 3, 3, 0, 0, {{0, 3}, {1, 2}, {2, 1}}},
        // truncation goes toward zero, not down: y = 1 - 0.5 * 3 = -0.5 becomes 0
        {0, 1, 4, -1, 0, {{0, 1}, {1, 0}, {2, 0}, {3, 0}}},
        // coinciding ends draw nothing
        {2, 2, 2, 2, 0, {}},
        {2, 2, 3, 2, 0, {{2, 2}}},
        // gaps skip points after each drawn one
        {0, 0, 6, 0, 1, {{0, 0}, {2, 0}, {4, 0}}},
        {9, 20, 9, 10, 2, {{9, 20}, {9, 17}, {9, 14}, {9, 11}}},
        // a negative gap skips nothing (and never counts down past INT_MIN)
        {0, 0, 4, 0, -1, {{0, 0}, {1, 0}, {2, 0}, {3, 0}}},
        {0, 1, 4, 1, INT_MIN, {{0, 1}, {1, 1}, {2, 1}, {3, 1}}},
        // single precision decides: slope -2/3 rounds to -0.666666687; at i = 6 the product
        // rounds to -4 before the add, so y = 2 (a fused multiply-add would give 1.99999988 -> 1)
        {0, 6, 9, 0, 0, {{0, 6}, {1, 5}, {2, 4}, {3, 4}, {4, 3}, {5, 2}, {6, 2}, {7, 1}, {8, 0}}},
        // and slope -14/26 rounds away from zero: at i = 13 y = 6, where exact arithmetic gives 7
        {0, 14, 26, 0, 0, {{0, 14}, {1, 13}, {2, 12}, {3, 12}, {4, 11}, {5, 11}, {6, 10},
                           {7, 10}, {8, 9},  {9, 9},  {10, 8}, {11, 8}, {12, 7}, {13, 6},
                           {14, 6}, {15, 5}, {16, 5}, {17, 4}, {18, 4}, {19, 3}, {20, 3},
                           {21, 2}, {22, 2}, {23, 1}, {24, 1}, {25, 0}}},
    };
    for (const LineCase& c : cases) {
        Frame frame{};
        lcd_line(c.x1, c.y1, c.x2, c.y2, kLcdSet, c.gap, frame.data());
        EXPECT_EQ(lit_points(frame), sorted(c.expected))
            << "line (" << c.x1 << ", " << c.y1 << ") -> (" << c.x2 << ", " << c.y2 << ") gap "
            << c.gap << "\n"
            << lcdtest::ascii(frame, 0, 0, 30, 24);
    }
}

TEST(LcdLine, DividerCoversRows18To45OfColumn60)
{
    Frame frame{};
    lcd_line(60, 18, 60, 46, kLcdSet, 0, frame.data());
    EXPECT_EQ(lcdtest::lit_count(frame, 60, 18, 1, 28), 28);
    EXPECT_EQ(lcdtest::lit_count(frame, 0, 0, kLcdWidth, kLcdHeight), 28);
}

TEST(LcdLine, ModeAppliesToEveryPointClearAndInvertAlike)
{
    Frame frame{};
    frame.fill(0xff);
    lcd_line(8, 30, 58, 30, kLcdClear, 0, frame.data());
    EXPECT_EQ(lcdtest::lit_count(frame, 8, 30, 50, 1), 0);
    EXPECT_TRUE(lcdtest::lit(frame, 7, 30));
    EXPECT_TRUE(lcdtest::lit(frame, 58, 30)) << "the end point is left out";

    lcd_line(8, 30, 58, 30, kLcdInvert, 0, frame.data());
    EXPECT_EQ(lcdtest::lit_count(frame, 8, 30, 50, 1), 50);
}

TEST(LcdLine, PartsOffTheDisplayAreDroppedAndFarEndsDrawNothing)
{
    std::vector<unsigned char> memory(3 * kLcdFrameBytes, 0);
    unsigned char* frame = memory.data() + kLcdFrameBytes;
    lcd_line(-10, 5, 130, 5, kLcdSet, 0, frame);   // crosses row 5 from edge to edge
    lcd_line(7, -20, 7, 100, kLcdSet, 0, frame);   // crosses column 7 from top to bottom
    lcd_line(-50, 70, 170, 70, kLcdSet, 0, frame); // wholly below
    lcd_line(-30, -30, -1, 40, kLcdSet, 0, frame); // wholly left
    lcd_line(INT_MIN, 0, INT_MAX, 0, kLcdSet, 0, frame);
    lcd_line(0, INT_MAX, 0, INT_MIN, kLcdSet, 0, frame);
    EXPECT_TRUE(std::all_of(memory.begin(), memory.begin() + kLcdFrameBytes,
                            [](auto b) { return b == 0; }));
    EXPECT_TRUE(
        std::all_of(memory.end() - kLcdFrameBytes, memory.end(), [](auto b) { return b == 0; }));

    Frame visible{};
    std::memcpy(visible.data(), frame, kLcdFrameBytes);
    EXPECT_EQ(lcdtest::lit_count(visible, 0, 5, kLcdWidth, 1), kLcdWidth)
        << lcdtest::ascii(visible);
    EXPECT_EQ(lcdtest::lit_count(visible, 7, 0, 1, kLcdHeight), kLcdHeight);
    EXPECT_EQ(lcdtest::lit_count(visible, 0, 0, kLcdWidth, kLcdHeight), kLcdWidth + kLcdHeight - 1);
}

} // namespace
