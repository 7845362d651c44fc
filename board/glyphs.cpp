// Piece glyphs: outlines drawn segment by segment, then each seed's region flood-filled.
#include "board/glyphs.h"

#include <array>
#include <bit>
#include <cstdint>
#include <iterator>

#include "board/board.h"
#include "host/gx9.h"

FloodFillStats floodfill_stats;

void reset_floodfill_stats()
{
    floodfill_stats = {};
}

namespace {

// Two bits per screen pixel for the fill in progress, as bitmaps of 64-bit words, one row of
// words per screen row. "Examined": the pixel's colour has been read. "Pending": it belongs to
// the region and its neighbours are still to be visited. A fill ends with no pixel pending and
// clears the examined map over the box it touched, so the next fill starts from empty maps
// without clearing the whole screen.
constexpr int kWordBits = 64;
constexpr int kWordsPerRow = (kScreenWidth + kWordBits - 1) / kWordBits;
using PixelMap = std::array<uint64_t, kScreenHeight * kWordsPerRow>;

PixelMap examined_map;
PixelMap pending_map;

// Work stack of pending pixels, packed as y * kScreenWidth + x. When it is full a pending pixel
// stays only in pending_map, and the fill sweeps the map for it once the stack has run dry:
// memory stays bounded however large the region, and no part of the region is lost.
std::array<uint32_t, kFillStackEntries> fill_stack;
int fill_depth;
bool fill_overflowed;

struct FillColours {
    unsigned char old;
    unsigned char fill;
    unsigned char border;
};

// The box of pixels examined by the fill in progress, inclusive.
struct TouchedBox {
    int x0, y0, x1, y1;
};
TouchedBox touched;

constexpr bool inside_fill_bounds(int x, int y)
{
    return x >= kFillMinX && x <= kFillMaxX && y >= kFillMinY && y <= kFillMaxY;
}

constexpr int word_of(int x, int y)
{
    return y * kWordsPerRow + x / kWordBits;
}
constexpr uint64_t bit_of(int x)
{
    return uint64_t{1} << (x % kWordBits);
}

bool test_bit(const PixelMap& map, int x, int y)
{
    return (map[word_of(x, y)] & bit_of(x)) != 0;
}
void set_bit(PixelMap& map, int x, int y)
{
    map[word_of(x, y)] |= bit_of(x);
}
void clear_bit(PixelMap& map, int x, int y)
{
    map[word_of(x, y)] &= ~bit_of(x);
}

void widen_touched(int x, int y)
{
    if (x < touched.x0)
        touched.x0 = x;
    if (x > touched.x1)
        touched.x1 = x;
    if (y < touched.y0)
        touched.y0 = y;
    if (y > touched.y1)
        touched.y1 = y;
}

void push_pending(int x, int y)
{
    if (fill_depth < static_cast<int>(std::size(fill_stack))) {
        fill_stack[fill_depth++] = static_cast<uint32_t>(y * kScreenWidth + x);
    } else {
        fill_overflowed = true;
    }
}

// Reads a pixel the fill reaches for the first time: the fill or border colour stops there;
// otherwise the pixel joins the region (painted only when it has the old colour).
void examine(int x, int y, FillColours colours)
{
    if (!inside_fill_bounds(x, y) || test_bit(examined_map, x, y))
        return;
    set_bit(examined_map, x, y);
    widen_touched(x, y);
    ++floodfill_stats.reads;

    const unsigned char colour = FBGetPixel(x, y);
    if (colour == colours.fill || colour == colours.border)
        return;
    if (colour == colours.old) {
        FBPaintPixel(x, y, colours.fill);
        ++floodfill_stats.painted;
    }
    set_bit(pending_map, x, y);
    push_pending(x, y);
}

void visit_neighbours(int x, int y, FillColours colours)
{
    examine(x, y + 1, colours); // below
    examine(x, y - 1, colours); // above
    examine(x + 1, y, colours); // right
    examine(x - 1, y, colours); // left
}

// Refills the empty work stack with pending pixels left behind when it was full.
void sweep_pending_map()
{
    fill_overflowed = false;
    ++floodfill_stats.sweeps;
    for (int y = touched.y0; y <= touched.y1; ++y) {
        for (int w = touched.x0 / kWordBits; w <= touched.x1 / kWordBits; ++w) {
            uint64_t bits = pending_map[y * kWordsPerRow + w];
            while (bits != 0) {
                const int x = w * kWordBits + std::countr_zero(bits);
                bits &= bits - 1;
                push_pending(x, y);
                if (fill_overflowed)
                    return;
            }
        }
    }
}

void clear_examined_map()
{
    for (int y = touched.y0; y <= touched.y1; ++y) {
        for (int w = touched.x0 / kWordBits; w <= touched.x1 / kWordBits; ++w) {
            examined_map[y * kWordsPerRow + w] = 0;
        }
    }
}

} // namespace

void floodfill(int x, int y, unsigned char old, unsigned char fill, unsigned char border)
{
    if (old == fill)
        return;

    const FillColours colours{old, fill, border};
    touched = {kScreenWidth, kScreenHeight, -1, -1};
    fill_depth = 0;
    fill_overflowed = false;

    examine(x, y, colours);
    while (fill_depth > 0 || fill_overflowed) {
        if (fill_depth == 0)
            sweep_pending_map();
        if (fill_depth == 0)
            break;
        const uint32_t packed = fill_stack[--fill_depth];
        const int px = static_cast<int>(packed % kScreenWidth);
        const int py = static_cast<int>(packed / kScreenWidth);
        if (!test_bit(pending_map, px, py))
            continue;
        clear_bit(pending_map, px, py);
        visit_neighbours(px, py, colours);
    }
    clear_examined_map();
}

void draw_glyph(PieceKind kind, int x, int y, unsigned char outline, unsigned char fill)
{
    const GlyphShape& shape = glyph_shape(kind);
    const int origin_x = x;
    const int origin_y = y + FieldHeight;

    for (size_t i = 1; i < shape.outline.size(); ++i) {
        const GlyphPoint from = shape.outline[i - 1];
        const GlyphPoint to = shape.outline[i];
        FBDrawLine(origin_x + from.dx, origin_y + from.dy, origin_x + to.dx, origin_y + to.dy,
                   outline);
    }
    for (const GlyphPoint seed : shape.seeds) {
        const int sx = origin_x + seed.dx;
        const int sy = origin_y + seed.dy;
        ++floodfill_stats.reads;
        floodfill(sx, sy, FBGetPixel(sx, sy), fill, outline);
    }
}

void drawking(int x, int y, unsigned char outline, unsigned char fill)
{
    draw_glyph(PieceKind::King, x, y, outline, fill);
}

void drawqueen(int x, int y, unsigned char outline, unsigned char fill)
{
    draw_glyph(PieceKind::Queen, x, y, outline, fill);
}

void drawrook(int x, int y, unsigned char outline, unsigned char fill)
{
    draw_glyph(PieceKind::Rook, x, y, outline, fill);
}

void drawbishop(int x, int y, unsigned char outline, unsigned char fill)
{
    draw_glyph(PieceKind::Bishop, x, y, outline, fill);
}

void drawknight(int x, int y, unsigned char outline, unsigned char fill)
{
    draw_glyph(PieceKind::Knight, x, y, outline, fill);
}

void drawpawn(int x, int y, unsigned char outline, unsigned char fill)
{
    draw_glyph(PieceKind::Pawn, x, y, outline, fill);
}
