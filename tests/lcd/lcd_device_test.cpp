// The LCD device and its drawing primitives. The device is the box's own (sim/boxsim/box_fs.cpp,
// linked in): prepared by init_lcd, each frame sent whole in one write, exit status 1, silently,
// when it cannot be opened or refuses a request. The primitives draw on a frame in memory: pixel
// modes, lines with their left-out end points and gaps, nothing drawn off the display. Where each
// pixel's bit lies is seen in the golden frames of the LCD picture.
#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "lcd/device.h"
#include "sim/boxsim/box_fs.h"

TEST(LcdDevice, InitClearsAndSelectsFrameModeThenFramesGoWhole)
{
    boxsim::reset_lcd();
    init_lcd();
    EXPECT_EQ(boxsim::lcd_state().clears, 1);
    EXPECT_EQ(boxsim::lcd_state().mode_requests, 1);

    boxsim::LcdFrame frame;
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<unsigned char>(i * 7 + 3);
    lcd_draw_screen(frame.data());
    EXPECT_EQ(boxsim::lcd_state().frames, 1);
    EXPECT_EQ(boxsim::lcd_state().frame, frame);
    lcd_clr();
    EXPECT_EQ(boxsim::lcd_state().clears, 2);
}

// The plugin's ioctl calls reach the box's device through this wrapper (linked with
// -Wl,--wrap=ioctl), which can refuse the frame-mode request the device itself always grants.
bool refuse_frame_mode = false;
extern "C" int __real_ioctl(int fd, unsigned long request, ...);
extern "C" int __wrap_ioctl(int fd, unsigned long request, ...)
{
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (refuse_frame_mode && request == kLcdRequestFrameMode)
        return errno = EINVAL, -1;
    return __real_ioctl(fd, request, argument);
}

// The device hands out descriptors until it has none left; then init_lcd's open fails.
void init_without_descriptors()
{
    while (open(kLcdDevicePath, O_RDWR) >= 0) {
    }
    init_lcd();
}

TEST(LcdDeviceDeathTest, DeviceThatCannotBeOpenedOrPreparedEndsTheProcessWithStatus1)
{
    EXPECT_EXIT(init_without_descriptors(), ::testing::ExitedWithCode(1), "^$");
    refuse_frame_mode = true;
    EXPECT_EXIT(init_lcd(), ::testing::ExitedWithCode(1), "^$");
    lcd_fd = -1; // a clear on no device is refused, at start-up as at shut-down
    EXPECT_EXIT(lcd_clr(), ::testing::ExitedWithCode(1), "^$");
}

namespace {

using Frame = boxsim::LcdFrame;
using Points = std::vector<std::pair<int, int>>;

// Lit pixels of the frame, column by column.
Points lit_points(const Frame& frame)
{
    Points points;
    for (int x = 0; x < kLcdWidth; ++x)
        for (int y = 0; y < kLcdHeight; ++y)
            if (boxsim::lcd_pixel_lit(frame, x, y))
                points.emplace_back(x, y);
    return points;
}

TEST(LcdSign, GivesMinusOneZeroOrOne)
{
    const std::pair<int, int> rows[] = {{-7, -1}, {0, 0}, {7, 1}, {INT_MIN, -1}, {INT_MAX, 1}};
    for (auto [v, expected] : rows)
        EXPECT_EQ(sgn(v), expected) << "sgn(" << v << ")";
}

// Modes (the numbers callers pass): 0 clears, 1 sets, 2 inverts, any other changes nothing.
TEST(LcdPixel, ChangesItsBitByMode)
{
    // Columns: mode, byte 125 before, after; pixel (5, 9) is its bit 1.
    const int rows[][3] = {{1, 0x58, 0x5a}, {0, 0x5a, 0x58}, {2, 0x5a, 0x58},
                           {2, 0x58, 0x5a}, {3, 0x58, 0x58}, {-1, 0x5a, 0x5a}};
    for (const auto& [mode, before, after] : rows) {
        Frame frame{};
        frame[125] = static_cast<unsigned char>(before);
        lcd_draw_pixel(5, 9, mode, frame.data());
        EXPECT_EQ(frame[125], after) << "mode " << mode << " on " << before;
    }
}

TEST(LcdLine, LightsExactlyThePointsBeforeItsEnd)
{
    const struct {
        int x1, y1, x2, y2, gap;
        Points expected;
    } cases[] = {
        // the start is drawn, the end point left out, in either direction
        {0, 0, 3, 0, 0, {{0, 0}, {1, 0}, {2, 0}}},
        {5, 10, 5, 6, 0, {{5, 10}, {5, 9}, {5, 8}, {5, 7}}},
        // shallow lines step in x, steep ones in y, the other coordinate truncated toward zero:
        // y = 1 - 0.5 * 3 = -0.5 becomes 0
        {4, 2, 0, 0, 0, {{4, 2}, {3, 1}, {2, 1}, {1, 0}}},
        {0, 0, 2, 4, 0, {{0, 0}, {0, 1}, {1, 2}, {1, 3}}},
        {0, 1, 4, -1, 0, {{0, 1}, {1, 0}, {2, 0}, {3, 0}}},
        {3, 0, 0, 3, 0, {{3, 0}, {2, 1}, {1, 2}}},
        {2, 2, 2, 2, 0, {}}, // coinciding ends draw nothing
        // gaps skip points after each drawn one; a negative gap skips nothing
        {0, 0, 6, 0, 1, {{0, 0}, {2, 0}, {4, 0}}},
        {9, 20, 9, 10, 2, {{9, 20}, {9, 17}, {9, 14}, {9, 11}}},
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
    for (const auto& c : cases) {
        Frame frame{};
        lcd_line(c.x1, c.y1, c.x2, c.y2, kLcdSet, c.gap, frame.data());
        Points expected = c.expected;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(lit_points(frame), expected) << "line (" << c.x1 << ", " << c.y1 << ") -> ("
                                               << c.x2 << ", " << c.y2 << ") gap " << c.gap;
    }
}

// Nothing off the display changes memory in or around the frame: neither points, among them
// those whose naive byte index lands inside it ((125, -1) gives byte 5, (-5, 8) byte 115) or
// overflows a shift, nor lines, whose parts on the display are drawn, up to ends 2^20 away; ends
// beyond that draw nothing.
TEST(LcdLine, NothingOffTheDisplayIsDrawn)
{
    const std::pair<int, int> points[] = {
        {-1, 0},           {120, 0},     {0, -1},      {0, 64},      {125, -1},
        {-5, 8},           {-120, 9},    {239, 7},     {0, -8},      {60, 1000},
        {INT_MIN, 0},      {0, INT_MIN}, {INT_MAX, 5}, {5, INT_MAX}, {INT_MIN, INT_MIN},
        {INT_MAX, INT_MAX}};
    // Columns: x1, y1, x2, y2.
    const int lines[][4] = {{-10, 5, 130, 5},         {7, -20, 7, 100},
                            {-50, 70, 170, 70},       {-30, -30, -1, 40},
                            {INT_MIN, 0, INT_MAX, 0}, {0, INT_MAX, 0, INT_MIN},
                            {0, 9, 1 << 20, 9},       {-(1 << 20) - 1, 11, 5, 11}};
    std::vector<unsigned char> memory(3 * kLcdFrameBytes, 0); // the frame between two guards
    unsigned char* frame = memory.data() + kLcdFrameBytes;
    for (auto [x, y] : points)
        lcd_draw_pixel(x, y, kLcdSet, frame);
    for (const auto& l : lines)
        lcd_line(l[0], l[1], l[2], l[3], kLcdSet, 0, frame);
    EXPECT_EQ(std::count(memory.begin(), memory.begin() + kLcdFrameBytes, 0) +
                  std::count(memory.end() - kLcdFrameBytes, memory.end(), 0),
              2 * kLcdFrameBytes);
    Frame drawn;
    std::copy_n(frame, kLcdFrameBytes, drawn.begin());
    const Points lit = lit_points(drawn);
    auto count = [&](auto test) { return std::count_if(lit.begin(), lit.end(), test); };
    EXPECT_EQ(count([](auto p) { return p.second == 5 || p.second == 9; }), 2 * kLcdWidth);
    EXPECT_EQ(count([](auto p) { return p.first == 7; }), kLcdHeight);
    EXPECT_EQ(lit.size(), 2u * kLcdWidth + kLcdHeight - 2);
}

} // namespace
