// Piece glyphs on pixels: every kind in every colour pair fills its inside, leaves its outside
// alone, is idempotent, and the six named routines draw the six table rows.
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

constexpr const char* kKindNames[] = {"king", "queen", "rook", "bishop", "knight", "pawn"};
// Pixels of the square's colour enclosed by the outline that no seed reaches, per kind: only the
// knight's eye, a single pixel. A missing or misplaced seed leaves a whole region unfilled.
constexpr int kEnclosedUnfilled[kPieceKinds] = {0, 0, 0, 0, 1, 0};

void draw_on_square(PieceKind kind, const ColourPair& pair)
{
    FBFillRect(kSquareX, kSquareY, kSquareSide, kSquareSide, pair.square);
    draw_glyph(kind, kGlyphX, kGlyphY, pair.outline, pair.fill);
}

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

TEST(PieceGlyphs, FillTheirInsideAndLeaveTheirOutsideInEveryColourPair)
{
    for (int k = 0; k < kPieceKinds; ++k) {
        for (const ColourPair& pair : kPairs) {
            SCOPED_TRACE(std::string(kKindNames[k]) + ", " + pair.name);
            TestScreen screen;
            screen.fill(kScreenColour);
            draw_on_square(static_cast<PieceKind>(k), pair);
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
            EXPECT_EQ(unfilled_pockets(px, pair), kEnclosedUnfilled[k]) << picture;
            // The body is mostly fill: more fill pixels than outline pixels.
            EXPECT_GT(screen.count(kSquareX, kSquareY, 48, 48, pair.fill),
                      screen.count(kSquareX, kSquareY, 48, 48, pair.outline))
                << picture;

            reset_floodfill_stats();
            draw_glyph(static_cast<PieceKind>(k), kGlyphX, kGlyphY, pair.outline, pair.fill);
            EXPECT_EQ(boardtest::count_changes(px, boardtest::snapshot(screen)), 0)
                << "a second draw changed the picture";
            EXPECT_EQ(floodfill_stats.painted, 0) << "no seed finds anything left to paint";
        }
    }
}

// Every seed lies on a pixel that the outline leaves free: none is wasted on a line.
TEST(PieceGlyphs, SeedsLieOffTheirOutlines)
{
    for (int k = 0; k < kPieceKinds; ++k) {
        SCOPED_TRACE(kKindNames[k]);
        TestScreen screen;
        const GlyphShape& shape = kGlyphShapes[k];
        for (size_t i = 1; i < shape.outline.size(); ++i)
            FBDrawLine(kOriginX + shape.outline[i - 1].dx, kOriginY + shape.outline[i - 1].dy,
                       kOriginX + shape.outline[i].dx, kOriginY + shape.outline[i].dy, 1);
        for (const GlyphPoint seed : shape.seeds)
            EXPECT_EQ(screen.pixel(kOriginX + seed.dx, kOriginY + seed.dy), 0)
                << "seed (" << seed.dx << ", " << seed.dy << ")";
    }
}

// A seed on an outline pixel reads the outline colour, which is the border: nothing is filled.
TEST(PieceGlyphs, SeedOnTheOutlineFillsNothing)
{
    TestScreen screen;
    screen.fill(6);
    FBDrawRect(100, 100, 30, 30, 1);
    const Pixels before = boardtest::snapshot(screen);
    floodfill(100, 110, FBGetPixel(100, 110), 2, 1);
    EXPECT_EQ(boardtest::count_changes(before, boardtest::snapshot(screen)), 0);
}

TEST(PieceGlyphs, NamedRoutinesDrawTheirTableRows)
{
    using Routine = void (*)(int, int, unsigned char, unsigned char);
    const std::pair<Routine, PieceKind> rows[] = {
        {drawking, PieceKind::King},     {drawqueen, PieceKind::Queen},
        {drawrook, PieceKind::Rook},     {drawbishop, PieceKind::Bishop},
        {drawknight, PieceKind::Knight}, {drawpawn, PieceKind::Pawn},
    };
    std::vector<Pixels> pictures;
    for (const auto& [routine, kind] : rows) {
        SCOPED_TRACE(kKindNames[static_cast<int>(kind)]);
        Pixels expected;
        {
            TestScreen screen;
            draw_glyph(kind, kGlyphX, kGlyphY, 2, 1);
            expected = boardtest::snapshot(screen);
        }
        TestScreen screen;
        routine(kGlyphX, kGlyphY, 2, 1);
        EXPECT_EQ(boardtest::count_changes(expected, boardtest::snapshot(screen)), 0);
        for (const Pixels& other : pictures)
            EXPECT_NE(boardtest::count_changes(other, expected), 0);
        pictures.push_back(expected);
    }
}

// The glyph origin is (x, y + 48): the pawn's base line (dy 0, dx 6..31) sits on that row.
TEST(PieceGlyphs, StandOnTheirBaselineFieldHeightBelowY)
{
    TestScreen screen;
    drawpawn(300, 200, 1, 2);
    EXPECT_TRUE(screen.all(306, 248, 26, 1, 1)) << screen.dump(300, 240, 40, 10);
    EXPECT_EQ(screen.count(0, 249, gx9::kWidth, gx9::kHeight - 249, 1), 0);
}
