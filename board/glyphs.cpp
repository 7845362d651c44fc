// Piece glyphs: outlines drawn segment by segment, then each seed's region flood-filled.
#include "board/glyphs.h"

#include <algorithm>
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

// The fill works on runs: a run is a stretch of one row that joined the region, read from a first
// pixel to the left and to the right until a stop. Each run waits on the work stack until the
// rows above and below it have been searched for pixels not read yet; each such pixel that joins
// the region starts a run of its own.
//
// The examined map has one bit per screen pixel, set once the pixel's colour has been read: no
// pixel is read twice, and pixels of a foreign colour, which are crossed but keep their colour,
// cannot make the fill run on. The bits of the columns just outside the fill's bounds are always
// set, so runs stop there without a test of their own. Reads go a word's stretch of unread bits
// at a time, and rows are searched a word at a time. A fill clears the rows it may have marked,
// so the next one starts from an empty map without clearing the whole screen.
constexpr int kWordShift = 6;
constexpr int kWordBits = 1 << kWordShift;
constexpr int kBitMask = kWordBits - 1;
constexpr int kWordsPerRow = (kScreenWidth + kWordBits - 1) / kWordBits;
using PixelMap = std::array<uint64_t, kScreenHeight * kWordsPerRow>;
static_assert(kFillMinX - 1 >= 0 && kFillMaxX + 1 < kWordsPerRow * kWordBits);

PixelMap examined_map;
bool examined_edges_set;

// Runs that did not fit on the work stack wait in the pending map as their pixels' bits; once the
// stack has run dry the fill sweeps the map for them. Memory stays bounded however large or
// branched the region, and no part of it is lost.
PixelMap pending_map;
bool fill_overflowed;

// Work stack of runs, each packed as y, first x and last x, 10 bits apiece.
static_assert(kScreenWidth <= 1024 && kScreenHeight <= 1024);
std::array<uint32_t, kFillStackEntries> fill_stack;
int fill_depth;

struct FillColours {
    unsigned char old;
    unsigned char fill;
    unsigned char border;
};

// The rows of the runs of the fill in progress, inclusive.
struct RunRows {
    int first, last;
};

// The helpers marked always_inline are inlined into floodfill, so the colours, the rows and the
// loop variables stay in registers across the host calls instead of being saved and reloaded.
constexpr bool inside_fill_bounds(int x, int y)
{
    return x >= kFillMinX && x <= kFillMaxX && y >= kFillMinY && y <= kFillMaxY;
}

uint64_t* map_row(PixelMap& map, int y)
{
    return map.data() + y * kWordsPerRow;
}

// count bits from bit first up (1 <= count, first + count <= 64).
constexpr uint64_t bit_span(int first, int count)
{
    return ~uint64_t{0} >> (kWordBits - count) << first;
}

// A row of the examined map with only the columns just outside the fill's bounds marked.
constexpr std::array<uint64_t, kWordsPerRow> kEdgeRow = [] {
    std::array<uint64_t, kWordsPerRow> row{};
    row[(kFillMinX - 1) >> kWordShift] |= uint64_t{1} << ((kFillMinX - 1) & kBitMask);
    row[(kFillMaxX + 1) >> kWordShift] |= uint64_t{1} << ((kFillMaxX + 1) & kBitMask);
    return row;
}();

void clear_examined_rows(int first, int last)
{
    for (int y = first; y <= last; ++y)
        std::copy(kEdgeRow.begin(), kEdgeRow.end(), map_row(examined_map, y));
}

// Reads pixel (x, y): false for a stop, the fill or the border colour; otherwise the pixel joins
// the region and is painted if it has the old colour (which differs from both).
[[gnu::always_inline]] inline bool joins(int x, int y, FillColours c)
{
    const unsigned char colour = FBGetPixel(x, y);
    if (colour == c.old) {
        FBPaintPixel(x, y, c.fill);
        ++floodfill_stats.painted;
        return true;
    }
    return colour != c.fill && colour != c.border;
}

// Reads count pixels of row y from x on, one step apart (1 to the right, -1 to the left), until
// a stop. Returns how many joined.
template <int Step>
[[gnu::always_inline]] inline int enter_pixels(int x, int y, int count, FillColours c)
{
    const int end = x + count * Step;
    for (int p = x; p != end; p += Step) {
        if (!joins(p, y, c)) {
            const int joined = (p - x) * Step;
            floodfill_stats.reads += joined + 1;
            return joined;
        }
    }
    floodfill_stats.reads += count;
    return count;
}

// From pixel x of a run in row y, enters the unread pixels to the right until a stop or an
// examined pixel; returns the run's last x.
[[gnu::always_inline]] inline int extend_right(uint64_t* row, int x, int y, FillColours c)
{
    for (;;) {
        const int next = x + 1;
        uint64_t& word = row[next >> kWordShift];
        const int b = next & kBitMask;
        const uint64_t ahead = word >> b;
        const int unread = ahead != 0 ? std::countr_zero(ahead) : kWordBits - b;
        if (unread == 0)
            return x;
        const int joined = enter_pixels<1>(next, y, unread, c);
        word |= bit_span(b, std::min(joined + 1, unread));
        x += joined;
        if (joined < unread)
            return x;
    }
}

// The same to the left; returns the run's first x.
[[gnu::always_inline]] inline int extend_left(uint64_t* row, int x, int y, FillColours c)
{
    for (;;) {
        const int next = x - 1;
        uint64_t& word = row[next >> kWordShift];
        const int b = next & kBitMask;
        const uint64_t behind = word << (kBitMask - b);
        const int unread = behind != 0 ? std::countl_zero(behind) : b + 1;
        if (unread == 0)
            return x;
        const int joined = enter_pixels<-1>(next, y, unread, c);
        const int read = std::min(joined + 1, unread);
        word |= bit_span(b + 1 - read, read);
        x -= joined;
        if (joined < unread)
            return x;
    }
}

[[gnu::noinline]] void keep_pending(int first, int last, int y)
{
    uint64_t* row = map_row(pending_map, y);
    for (int x = first; x <= last; ++x)
        row[x >> kWordShift] |= uint64_t{1} << (x & kBitMask);
    fill_overflowed = true;
}

[[gnu::always_inline]] inline void push_run(int first, int last, int y)
{
    if (fill_depth < static_cast<int>(std::size(fill_stack)))
        fill_stack[fill_depth++] = static_cast<uint32_t>(y << 20 | first << 10 | last);
    else
        keep_pending(first, last, y);
}

// Pixel x of row y has joined the region: enters the rest of its run and keeps the run for its
// neighbours. Returns the run's last x.
[[gnu::always_inline]] inline int grow_run(uint64_t* row, int x, int y, FillColours c,
                                           RunRows& rows)
{
    const int last = extend_right(row, x, y, c);
    const int first = extend_left(row, x, y, c);
    rows.first = std::min(rows.first, y);
    rows.last = std::max(rows.last, y);
    push_run(first, last, y);
    return last;
}

// Reads every unread pixel of row y from first to last, the row beside a run; each one that
// joins the region grows a run of its own.
[[gnu::always_inline]] inline void search_row(int first, int last, int y, FillColours c,
                                              RunRows& rows)
{
    uint64_t* row = map_row(examined_map, y);
    int x = first;
    while (x <= last) {
        uint64_t& word = row[x >> kWordShift];
        const uint64_t unread = ~word >> (x & kBitMask);
        if (unread == 0) {
            x = (x | kBitMask) + 1;
            continue;
        }
        x += std::countr_zero(unread);
        if (x > last)
            return;
        word |= uint64_t{1} << (x & kBitMask);
        ++floodfill_stats.reads;
        if (joins(x, y, c))
            x = grow_run(row, x, y, c, rows) + 1; // the pixel after the run was examined
        ++x;
    }
}

// Moves pending runs back onto the emptied work stack, as many as fit.
void sweep_pending_map(RunRows rows)
{
    fill_overflowed = false;
    ++floodfill_stats.sweeps;
    for (int y = rows.first; y <= rows.last; ++y) {
        uint64_t* row = map_row(pending_map, y);
        for (int w = 0; w < kWordsPerRow; ++w) {
            while (row[w] != 0) {
                if (fill_depth == static_cast<int>(std::size(fill_stack))) {
                    fill_overflowed = true;
                    return;
                }
                const int b = std::countr_zero(row[w]);
                const int count = std::countr_one(row[w] >> b);
                row[w] &= ~bit_span(b, count);
                push_run(w * kWordBits + b, w * kWordBits + b + count - 1, y);
            }
        }
    }
}

} // namespace

void floodfill(int x, int y, unsigned char old, unsigned char fill, unsigned char border)
{
    // With old equal to fill or border no pixel can be painted, so none needs reading; otherwise a
    // pixel of the old colour is never a stop, which lets joins test for it first.
    if (old == fill || old == border || !inside_fill_bounds(x, y))
        return;
    if (!examined_edges_set) {
        clear_examined_rows(0, kScreenHeight - 1);
        examined_edges_set = true;
    }

    const FillColours c{old, fill, border};
    RunRows rows{y, y};
    fill_depth = 0;
    fill_overflowed = false;

    uint64_t* row = map_row(examined_map, y);
    row[x >> kWordShift] |= uint64_t{1} << (x & kBitMask);
    ++floodfill_stats.reads;
    if (joins(x, y, c))
        grow_run(row, x, y, c, rows);
    while (fill_depth > 0 || fill_overflowed) {
        if (fill_depth == 0)
            sweep_pending_map(rows);
        const uint32_t run = fill_stack[--fill_depth];
        const int ry = static_cast<int>(run >> 20);
        const int first = static_cast<int>(run >> 10 & 1023);
        const int last = static_cast<int>(run & 1023);
        if (ry < kFillMaxY)
            search_row(first, last, ry + 1, c, rows);
        if (ry > kFillMinY)
            search_row(first, last, ry - 1, c, rows);
    }
    // Pixels were read in the rows of the runs and in the rows beside them.
    clear_examined_rows(std::max(rows.first - 1, kFillMinY), std::min(rows.last + 1, kFillMaxY));
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
