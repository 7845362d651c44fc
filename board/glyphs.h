// Piece glyphs on the TV: the six outlines drawn with host lines and filled pixel by pixel.
// The outlines and seeds come from board/glyph_outlines.h; a glyph drawn with arguments (x, y)
// has its origin at (x, y + FieldHeight), so on a square its baseline is 43 pixels below the top.
#pragma once

#include <cstdint>

#include "board/glyph_outlines.h"

// The fill stays inside the screen less its outer columns and its top row.
constexpr int kFillMinX = 1;
constexpr int kFillMaxX = 718;
constexpr int kFillMinY = 1;
constexpr int kFillMaxY = 575;

// Runs (stretches of one row) the fill keeps on its own work stack before it falls back to
// sweeping its pending map. A piece's regions keep a few dozen at most, and so does a fill that
// leaks over the plain screen; only a region with hundreds of branches off one row needs the sweep.
constexpr int kFillStackEntries = 256;

// Paints with fill every pixel of colour old in the 4-connected region around (x, y) that no
// pixel of the fill or border colour cuts off, within the bounds above. Pixels of other colours
// are crossed and keep their colour. Each pixel is read at most once, with FBGetPixel, and each
// painted with FBPaintPixel. When old equals fill or border nothing can be painted: nothing is
// read either.
void floodfill(int x, int y, unsigned char old, unsigned char fill, unsigned char border);

// Host pixel calls made by the glyph code since the last reset: pixels read with FBGetPixel
// (fill steps and seeds), pixels painted with FBPaintPixel, and sweeps of the fill's pending map
// (nonzero only when a region outgrew the work stack). Written by floodfill and draw_glyph;
// read by tests and benchmarks.
struct FloodFillStats {
    long reads;
    long painted;
    int sweeps;
};
extern FloodFillStats floodfill_stats;
void reset_floodfill_stats();

// Draws the outline of a piece kind (every segment first), then fills each seed's region with
// fill, reading the colour at the seed as the colour to replace and using outline as the border.
void draw_glyph(PieceKind kind, int x, int y, unsigned char outline, unsigned char fill);

void drawking(int x, int y, unsigned char outline, unsigned char fill);
void drawqueen(int x, int y, unsigned char outline, unsigned char fill);
void drawrook(int x, int y, unsigned char outline, unsigned char fill);
void drawbishop(int x, int y, unsigned char outline, unsigned char fill);
void drawknight(int x, int y, unsigned char outline, unsigned char fill);
void drawpawn(int x, int y, unsigned char outline, unsigned char fill);
