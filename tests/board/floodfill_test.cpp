// Flood fill on the stand-in framebuffer: the painted set against a reference search, the stop
// rules, and regions far larger than the fill's own work stack.
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "board/glyphs.h"
#include "host/gx9.h"
#include "tests/board/board_test_util.h"

using boardtest::at;
using boardtest::Pixels;
using testsupport::TestScreen;

namespace {

constexpr uint8_t kOld = 6, kFill = 2, kBorder = 1, kOther = 10;

// The pixels a flood fill from (x, y) must reach, found by a plain breadth-first search on a copy
// of the screen: 4-connected, inside 1..718 x 1..575, never entering fill or border pixels.
// Result: one flag per pixel. `boundary` counts the in-bounds pixels read but not entered.
std::vector<bool> reference_region(const Pixels& before, int x, int y, uint8_t fill, uint8_t border,
                                   int* boundary = nullptr)
{
    std::vector<bool> inside(before.size()), seen(before.size());
    std::vector<int> queue;
    int stopped = 0;
    auto reach = [&](int px, int py) {
        if (px < 1 || px > 718 || py < 1 || py > 575 || seen[at(px, py)])
            return;
        seen[at(px, py)] = true;
        const uint8_t c = before[at(px, py)];
        if (c == fill || c == border) {
            ++stopped;
            return;
        }
        inside[at(px, py)] = true;
        queue.push_back(at(px, py));
    };
    reach(x, y);
    for (size_t i = 0; i < queue.size(); ++i) {
        const int px = queue[i] % gx9::kWidth, py = queue[i] / gx9::kWidth;
        reach(px, py + 1);
        reach(px, py - 1);
        reach(px + 1, py);
        reach(px - 1, py);
    }
    if (boundary != nullptr)
        *boundary = stopped;
    return inside;
}

// Fills and checks that exactly the reference region's old pixels turned to fill, that nothing
// else changed, and that every pixel in or around the region was read exactly once.
void expect_fill_matches_reference(const TestScreen& screen, int x, int y)
{
    const Pixels before = boardtest::snapshot(screen);
    int boundary = 0;
    const std::vector<bool> region = reference_region(before, x, y, kFill, kBorder, &boundary);

    reset_floodfill_stats();
    floodfill(x, y, kOld, kFill, kBorder);

    const Pixels after = boardtest::snapshot(screen);
    int region_size = 0, wrong = 0, first_wrong = -1;
    for (size_t i = 0; i < before.size(); ++i) {
        region_size += region[i];
        const uint8_t expected = region[i] && before[i] == kOld ? kFill : before[i];
        if (after[i] != expected && wrong++ == 0)
            first_wrong = static_cast<int>(i);
    }
    EXPECT_EQ(wrong, 0) << "first wrong pixel at x " << first_wrong % gx9::kWidth << ", y "
                        << first_wrong / gx9::kWidth;
    EXPECT_EQ(floodfill_stats.reads, region_size + boundary) << "pixels read more than once";
}

void paint_random(uint32_t seed, std::initializer_list<std::pair<uint8_t, int>> weights)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> bag;
    for (const auto& [colour, weight] : weights)
        bag.insert(bag.end(), weight, colour);
    std::uniform_int_distribution<size_t> pick(0, bag.size() - 1);
    for (int y = 0; y < gx9::kHeight; ++y)
        for (int x = 0; x < gx9::kWidth; ++x)
            FBPaintPixel(x, y, bag[pick(random)]);
}

} // namespace

// Random screens: sparse borders make one region leaking over most of the screen (far beyond the
// work stack), dense ones many small pockets, and foreign colours must be crossed, not painted.
TEST(FloodFill, PaintsExactlyTheReferenceRegionOnRandomScreens)
{
    struct Case {
        const char* name;
        uint32_t seed;
        std::initializer_list<std::pair<uint8_t, int>> weights;
        int x, y;
    };
    const Case cases[] = {
        {"sparse borders", 1, {{kOld, 9}, {kBorder, 1}}, 360, 288},
        {"near percolation", 2, {{kOld, 6}, {kBorder, 4}}, 100, 100},
        {"foreign colours crossed", 3, {{kOld, 5}, {kOther, 3}, {kBorder, 2}}, 1, 575},
        {"fill colour already present", 4, {{kOld, 6}, {kFill, 2}, {kOther, 1}}, 700, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestScreen screen;
        paint_random(c.seed, c.weights);
        FBPaintPixel(c.x, c.y, kOld);
        expect_fill_matches_reference(screen, c.x, c.y);
    }
}

// Border lines in every even column from row 1 to 574 comb the screen into 359 teeth joined by
// row 575: the run along that row branches into more teeth than the fill's work stack holds.
TEST(FloodFill, LeakingFillCoversTheWholeScreenInteriorWithoutLosingPixels)
{
    TestScreen screen;
    screen.fill(kOld);
    for (int x = 2; x <= 716; x += 2)
        FBDrawLine(x, 1, x, 574, kBorder);
    expect_fill_matches_reference(screen, 361, 288);

    EXPECT_GT(floodfill_stats.sweeps, 0) << "the region should have outgrown the work stack";
    EXPECT_EQ(floodfill_stats.painted, 718 * 575 - 358 * 574);
    // Column 0, column 719 and row 0 lie outside the fill's bounds; row 575 inside.
    EXPECT_TRUE(screen.all(0, 0, 1, 576, kOld));
    EXPECT_TRUE(screen.all(719, 0, 1, 576, kOld));
    EXPECT_TRUE(screen.all(0, 0, 720, 1, kOld));
}

TEST(FloodFill, PaintsNothingFromTheseSeeds)
{
    struct Case {
        const char* name;
        int x, y;
        uint8_t old, fill;
    };
    const Case cases[] = {
        {"x 0", 0, 100, kOld, kFill},
        {"y 0", 100, 0, kOld, kFill},
        {"x 719", 719, 100, kOld, kFill},
        {"y 576", 100, 576, kOld, kFill},
        {"far off screen", -100000, 300, kOld, kFill},
        {"seed on the border colour", 50, 50, kOld, kFill},
        {"seed on the fill colour", 60, 60, kOld, kFill},
        {"old equals fill", 300, 300, kOld, kOld},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestScreen screen;
        screen.fill(kOld);
        FBPaintPixel(50, 50, kBorder);
        FBPaintPixel(60, 60, kFill);
        const Pixels before = boardtest::snapshot(screen);
        reset_floodfill_stats();
        floodfill(c.x, c.y, c.old, c.fill, kBorder);
        EXPECT_EQ(boardtest::count_changes(before, boardtest::snapshot(screen)), 0);
        EXPECT_EQ(floodfill_stats.painted, 0);
    }
}

// A fill that ran over the whole screen must leave no trace in the fill's own bookkeeping.
TEST(FloodFill, StartsCleanAfterAHugeFill)
{
    TestScreen screen;
    screen.fill(kOld);
    FBDrawRect(300, 300, 20, 20, kBorder);
    floodfill(5, 5, kOld, kFill, kBorder);
    ASSERT_EQ(screen.pixel(310, 310), kOld);

    reset_floodfill_stats();
    floodfill(310, 310, kOld, kOther, kBorder);
    EXPECT_TRUE(screen.all(301, 301, 18, 18, kOther)) << screen.dump(300, 300, 20, 20);
    EXPECT_EQ(floodfill_stats.painted, 18 * 18);
    EXPECT_EQ(floodfill_stats.sweeps, 0);
}
