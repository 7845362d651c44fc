// Flood fill on the stand-in framebuffer against a reference search on random screens, regions
// far larger than the fill's work stack among them. The glyphs' fills, seeds on an outline and
// seeds already filled are seen in the board's golden images.
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "board/glyphs.h"
#include "host/gx9.h"
#include "tests/support/test_screen.h"

namespace {

constexpr uint8_t kOld = 6, kFill = 2, kBorder = 1, kOther = 10;

// What a fill from (x, y) must do to a copy of the screen, by a plain breadth-first search:
// 4-connected, inside 1..718 x 1..575, never entering fill or border pixels, painting only old.
// `reads` counts the in-bounds pixels it looks at, each once.
std::vector<uint8_t> reference_fill(std::vector<uint8_t> pixels, int x, int y, long& reads)
{
    std::vector<bool> seen(pixels.size());
    std::vector<int> queue;
    auto reach = [&](int px, int py) {
        const int i = py * gx9::kWidth + px;
        if (px < 1 || px > 718 || py < 1 || py > 575 || seen[i])
            return;
        seen[i] = true;
        ++reads;
        if (pixels[i] != kFill && pixels[i] != kBorder)
            queue.push_back(i);
    };
    reach(x, y);
    for (size_t n = 0; n < queue.size(); ++n) {
        const int px = queue[n] % gx9::kWidth, py = queue[n] / gx9::kWidth;
        pixels[queue[n]] = pixels[queue[n]] == kOld ? kFill : pixels[queue[n]];
        reach(px, py + 1);
        reach(px, py - 1);
        reach(px + 1, py);
        reach(px - 1, py);
    }
    return pixels;
}

} // namespace

// Sparse borders make one region over most of the screen, dense ones many small pockets, and both
// branch into more runs than the fill's work stack holds; foreign colours are crossed, not
// painted. The cases share one process, so a fill that left its bookkeeping dirty spoils the next.
TEST(FloodFill, PaintsWhatTheReferenceSearchPaintsReadingEachPixelOnce)
{
    struct Case {
        uint32_t seed;
        std::vector<uint8_t> bag; // colours drawn at random, each as often as it is listed
        int x, y;
    };
    const Case cases[] = {
        {1, {kOld, kOld, kOld, kOld, kOld, kOld, kOld, kOld, kBorder}, 360, 288},
        {2, {kOld, kOld, kOld, kBorder, kBorder}, 100, 100},
        {3, {kOld, kOld, kOld, kOld, kOld, kOther, kOther, kBorder, kBorder}, 1, 575},
        {4, {kOld, kOld, kOld, kOld, kFill, kFill, kOther}, 700, 3},
        {5, {kOld, kOld, kOld, kOld, kOld, kOld, kOld, kBorder}, 718, 1},
        {6, {kOld}, 0, 100}, // seeds outside x 1..718, y 1..575 paint nothing
        {7, {kOld}, 100, 576},
        {8, {kOld}, -100000, 300},
    };
    long sweeps = 0;
    for (const Case& c : cases) {
        testsupport::TestScreen screen;
        std::mt19937 random(c.seed);
        std::uniform_int_distribution<size_t> pick(0, c.bag.size() - 1);
        for (int y = 0; y < gx9::kHeight; ++y)
            for (int x = 0; x < gx9::kWidth; ++x)
                FBPaintPixel(x, y, c.bag[pick(random)]);
        FBPaintPixel(c.x, c.y, kOld);
        long reads = 0;
        const std::vector<uint8_t> expected = reference_fill(screen.snapshot(), c.x, c.y, reads);
        reset_floodfill_stats();
        floodfill(c.x, c.y, kOld, kFill, kBorder);
        EXPECT_EQ(screen.changed_since(expected), 0) << "case " << c.seed;
        EXPECT_EQ(floodfill_stats.reads, reads) << "case " << c.seed;
        sweeps += floodfill_stats.sweeps;
    }
    EXPECT_GT(sweeps, 0) << "no fill outgrew the work stack";
}
