// Tests of FBDrawLine: end points, one pixel per step, nearness to the true line,
// 8-connectivity in every octant, clipping of far end points.
#include <climits>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "host/gx9.h"
#include "tests/support/test_screen.h"

using testsupport::TestScreen;

namespace {

constexpr unsigned char kInk = 13;

struct Point {
    int x, y;
};

std::vector<Point> ink_pixels(const TestScreen& screen)
{
    std::vector<Point> found;
    for (int y = 0; y < 576; ++y)
        for (int x = 0; x < 720; ++x)
            if (screen.pixel(x, y) == kInk)
                found.push_back({x, y});
    return found;
}

// Checks the pixels of a line from a to b drawn on an empty screen: both end points, exactly
// one pixel per step of the major axis, each within half a pixel of the true line, and no
// pixel whose 8-neighbourhood misses its predecessor along the line.
void expect_bresenham_line(const TestScreen& screen, Point a, Point b)
{
    const int dx = b.x - a.x, dy = b.y - a.y;
    const bool x_major = std::abs(dx) >= std::abs(dy);
    const int steps = std::max(std::abs(dx), std::abs(dy));
    const std::vector<Point> pixels = ink_pixels(screen);
    const std::string where = "line (" + std::to_string(a.x) + "," + std::to_string(a.y) + ")-(" +
                              std::to_string(b.x) + "," + std::to_string(b.y) + ")";
    EXPECT_EQ(screen.pixel(a.x, a.y), kInk) << where;
    EXPECT_EQ(screen.pixel(b.x, b.y), kInk) << where;
    ASSERT_EQ(static_cast<int>(pixels.size()), steps + 1) << where;
    // One pixel per major coordinate, near the true line.
    std::vector<int> minor_at(steps + 1, INT_MIN);
    for (const Point& p : pixels) {
        const int major = x_major ? p.x - a.x : p.y - a.y;
        const int step = std::abs(major);
        ASSERT_LE(step, steps) << where;
        ASSERT_EQ(minor_at[step], INT_MIN) << where << ": two pixels at step " << step;
        const int minor = x_major ? p.y - a.y : p.x - a.x;
        minor_at[step] = minor;
        const double ideal = steps == 0 ? 0.0 : double(step) * (x_major ? dy : dx) / steps;
        EXPECT_LE(std::abs(minor - ideal), 0.5) << where << " at step " << step;
    }
    for (int step = 1; step <= steps; ++step)
        EXPECT_LE(std::abs(minor_at[step] - minor_at[step - 1]), 1) << where << " gap at " << step;
}

} // namespace

TEST(Lines, EveryOctantIsBresenhamAndConnected)
{
    const Point centre{360, 288};
    // End points around the centre: axes, diagonals and both neighbours of each in all octants.
    const Point offsets[] = {{40, 0},   {40, 13},  {40, 40},  {13, 40},   {0, 40},    {-13, 40},
                             {-40, 40}, {-40, 13}, {-40, 0},  {-40, -13}, {-40, -40}, {-13, -40},
                             {0, -40},  {13, -40}, {40, -40}, {40, -13},  {7, 3},     {-3, 7},
                             {1, 0},    {0, 0},    {200, 1},  {1, 200}};
    for (const Point& offset : offsets) {
        for (bool reversed : {false, true}) {
            TestScreen screen;
            Point a = centre, b{centre.x + offset.x, centre.y + offset.y};
            if (reversed)
                std::swap(a, b);
            FBDrawLine(a.x, a.y, b.x, b.y, kInk);
            expect_bresenham_line(screen, a, b);
            EXPECT_EQ(screen.draw_calls(), 1u);
        }
    }
}

TEST(Lines, HoldAFourConnectedFloodFill)
{
    // A closed diamond outline of shallow and steep lines: a 4-connected fill from the inside
    // must not leak to the outside through a diagonal step.
    TestScreen screen;
    const Point corners[] = {{100, 50}, {160, 70}, {120, 140}, {80, 100}};
    for (int i = 0; i < 4; ++i) {
        const Point a = corners[i], b = corners[(i + 1) % 4];
        FBDrawLine(a.x, a.y, b.x, b.y, kInk);
    }
    std::vector<Point> todo{{115, 90}};
    int filled = 0;
    while (!todo.empty()) {
        const Point p = todo.back();
        todo.pop_back();
        if (FBGetPixel(p.x, p.y) != 0)
            continue;
        ASSERT_TRUE(p.x > 60 && p.x < 180 && p.y > 30 && p.y < 160)
            << "fill leaked at " << p.x << "," << p.y;
        FBPaintPixel(p.x, p.y, 6);
        ++filled;
        todo.insert(todo.end(), {{p.x + 1, p.y}, {p.x - 1, p.y}, {p.x, p.y + 1}, {p.x, p.y - 1}});
    }
    EXPECT_GT(filled, 2000);
}

TEST(Lines, FarEndPointsDrawOnlyTheVisiblePartOfTheSameLine)
{
    // {x1, y1, x2, y2}: each crosses or misses the screen with end points far outside.
    const int lines[][4] = {
        {INT_MIN, 100, INT_MAX, 100},
        {300, INT_MIN, 300, INT_MAX},
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX},
        {INT_MAX, INT_MIN, INT_MIN, INT_MAX},
        {-1000000, -500000, 1000000, 500000},
        {INT_MIN, INT_MIN, INT_MIN, INT_MAX},
        {-5000, 200, -10, 300},
        {INT_MAX, INT_MAX, INT_MAX, INT_MAX},
    };
    for (const auto& l : lines) {
        TestScreen screen;
        FBDrawLine(l[0], l[1], l[2], l[3], kInk);
        const std::vector<Point> pixels = ink_pixels(screen);
        // Each visible pixel lies within half a pixel of the true line (in the minor axis),
        // and visible pixels form one 8-connected run.
        const double dx = double(l[2]) - l[0], dy = double(l[3]) - l[1];
        const bool x_major = std::abs(dx) >= std::abs(dy);
        for (const Point& p : pixels) {
            const double ideal = x_major ? l[1] + (p.x - double(l[0])) * dy / dx
                                         : l[0] + (p.y - double(l[1])) * dx / dy;
            EXPECT_LE(std::abs((x_major ? p.y : p.x) - ideal), 0.5 + 1e-6)
                << l[0] << "," << l[1] << "-" << l[2] << "," << l[3] << " at " << p.x << "," << p.y;
        }
        EXPECT_EQ(screen.draw_calls(), 1u);
    }
    {
        TestScreen screen;
        FBDrawLine(INT_MIN, 100, INT_MAX, 100, kInk);
        EXPECT_TRUE(screen.all(0, 100, 720, 1, kInk));
        EXPECT_EQ(screen.count(0, 0, 720, 576, kInk), 720);
    }
    {
        TestScreen screen;
        FBDrawLine(INT_MIN, INT_MIN, INT_MAX, INT_MAX, kInk);
        EXPECT_EQ(screen.count(0, 0, 720, 576, kInk), 576); // the main diagonal's visible part
        EXPECT_EQ(screen.pixel(0, 0), kInk);
        EXPECT_EQ(screen.pixel(575, 575), kInk);
    }
}

TEST(Lines, FarStartGivesTheSamePixelsAsANearStartOnTheSameLine)
{
    // {far x, far y, near x, near y} towards (600, 300): the near start lies on the far line,
    // so the visible pixels must be the same however far away the line begins.
    const int starts[][4] = {
        {600 - 3 * 1000000, 300 - 1000000, -300, 0},    // slope 1/3, shallow
        {600 - 700000000, 300 - 700000000, 0, -300},    // diagonal
        {600 - 400000000, 300 - 1000000000, 400, -200}, // steep, 5/2
    };
    for (const auto& s : starts) {
        TestScreen screen;
        FBDrawLine(s[2], s[3], 600, 300, kInk);
        const std::string near = screen.dump(0, 0, 720, 576);
        screen.fill(0);
        FBDrawLine(s[0], s[1], 600, 300, kInk);
        EXPECT_EQ(screen.dump(0, 0, 720, 576), near) << "from " << s[0] << "," << s[1];
        EXPECT_GT(screen.count(0, 0, 720, 576, kInk), 250);
    }
}
