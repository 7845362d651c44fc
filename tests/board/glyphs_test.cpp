// Piece glyphs on pixels: every kind in every colour pair fills its inside, leaves its outside
// alone, and a second draw changes nothing.
#include <gtest/gtest.h>

#include "board/glyphs.h"
#include "host/gx9.h"
#include "tests/board/board_test_util.h"

using boardtest::at;
using boardtest::Pixels;
using testsupport::TestScreen;

namespace {

// A square like one on the board, and the glyph placed on it as the board places it.
constexpr int kSquareX = 200, kSquareY = 150, kSquareSide = 48;
constexpr int kGlyphX = kSquareX + 5, kGlyphY = kSquareY - 5;
constexpr int kOriginX = kGlyphX, kOriginY = kGlyphY + 48;
// Every glyph point lies within dx -2..40, dy -41..0 of the origin.
constexpr int kBoxX0 = kOriginX - 2, kBoxX1 = kOriginX + 40;
constexpr int kBoxY0 = kOriginY - 41, kBoxY1 = kOriginY;
constexpr uint8_t kScreenColour = 7;

struct ColourPair {
    const char* name;
    uint8_t square, outline, fill;
};
// Columns: background square, outline, fill.
constexpr ColourPair kPairs[] = {
    {"white piece on a light square", 6, 1, 2},
    {"black piece on a dark square", 10, 2, 1},
    {"picker piece on black", 1, 2, 13},
};

// Columns: name, routine, pixels of the square's colour enclosed by the outline that no seed
// reaches (only the knight's eye, a single pixel; a missing seed leaves a whole region).
struct GlyphRow {
    const char* name;
    void (*draw)(int x, int y, unsigned char outline, unsigned char fill);
    int enclosed_unfilled;
};
constexpr GlyphRow kGlyphs[] = {
    {"king", drawking, 0},     {"queen", drawqueen, 0},   {"rook", drawrook, 0},
    {"bishop", drawbishop, 0}, {"knight", drawknight, 1}, {"pawn", drawpawn, 0},
};

// Square-coloured pixels of the square that cannot reach its edge without crossing the outline:
// a pocket the seeds did not fill.
int unfilled_pockets(const Pixels& px, const ColourPair& pair)
{
    std::vector<bool> outside(px.size());
    std::vector<int> queue;
    auto reach = [&](int x, int y) {
        if (x < kSquareX || x >= kSquareX + kSquareSide || y < kSquareY ||
            y >= kSquareY + kSquareSide || outside[at(x, y)] || px[at(x, y)] == pair.outline)
            return;
        outside[at(x, y)] = true;
        queue.push_back(at(x, y));
    };
    for (int i = 0; i < kSquareSide; ++i) {
        reach(kSquareX + i, kSquareY);
        reach(kSquareX + i, kSquareY + kSquareSide - 1);
        reach(kSquareX, kSquareY + i);
        reach(kSquareX + kSquareSide - 1, kSquareY + i);
    }
    for (size_t i = 0; i < queue.size(); ++i) {
        const int x = queue[i] % gx9::kWidth, y = queue[i] / gx9::kWidth;
        reach(x + 1, y);
        reach(x - 1, y);
        reach(x, y + 1);
        reach(x, y - 1);
    }
    int pockets = 0;
    for (int y = kSquareY; y < kSquareY + kSquareSide; ++y)
        for (int x = kSquareX; x < kSquareX + kSquareSide; ++x)
            pockets += px[at(x, y)] == pair.square && !outside[at(x, y)];
    return pockets;
}

} // namespace

TEST(PieceGlyphs, FillTheirInsideAndLeaveTheirOutsideInEveryColourPairOnce)
{
    for (const GlyphRow& glyph : kGlyphs) {
        for (const ColourPair& pair : kPairs) {
            SCOPED_TRACE(std::string(glyph.name) + ", " + pair.name);
            TestScreen screen;
            screen.fill(kScreenColour);
            FBFillRect(kSquareX, kSquareY, kSquareSide, kSquareSide, pair.square);
            glyph.draw(kGlyphX, kGlyphY, pair.outline, pair.fill);
            const Pixels px = boardtest::snapshot(screen);
            const std::string picture = screen.dump(kSquareX, kSquareY, kSquareSide, kSquareSide);

            EXPECT_EQ(screen.count(0, 0, gx9::kWidth, gx9::kHeight, kScreenColour),
                      gx9::kWidth * gx9::kHeight - kSquareSide * kSquareSide)
                << "drawn outside the square";
            int outside_box = 0, inside_box = 0;
            for (int y = kSquareY; y < kSquareY + kSquareSide; ++y) {
                for (int x = kSquareX; x < kSquareX + kSquareSide; ++x) {
                    const uint8_t c = px[at(x, y)];
                    const bool in_box = x >= kBoxX0 && x <= kBoxX1 && y >= kBoxY0 && y <= kBoxY1;
                    if (!in_box)
                        outside_box += c != pair.square;
                    else
                        inside_box += c != pair.square && c != pair.outline && c != pair.fill;
                }
            }
            EXPECT_EQ(outside_box, 0) << "glyph beyond its box\n" << picture;
            EXPECT_EQ(inside_box, 0) << "stray colours\n" << picture;
            EXPECT_EQ(unfilled_pockets(px, pair), glyph.enclosed_unfilled) << picture;
            // The body is mostly fill: more fill pixels than outline pixels.
            EXPECT_GT(screen.count(kSquareX, kSquareY, 48, 48, pair.fill),
                      screen.count(kSquareX, kSquareY, 48, 48, pair.outline))
                << picture;

            reset_floodfill_stats();
            glyph.draw(kGlyphX, kGlyphY, pair.outline, pair.fill);
            EXPECT_EQ(boardtest::count_changes(px, boardtest::snapshot(screen)), 0)
                << "a second draw changed the picture";
            EXPECT_EQ(floodfill_stats.painted, 0) << "no seed finds anything left to paint";
        }
    }
}
