// The LCD picture: text from the shared font cells, the intro, and the six piece outlines drawn
// from the shared outline point lists as bare chains of lines.
#include "lcd/picture.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "board/font.h"
#include "board/glyph_outlines.h"
#include "ics/game_state.h"

namespace {

struct LcdSegment {
    int x1, y1, x2, y2;
};

// The frame lines, in drawing order. Each leaves its end point out, so the bottom-left corner
// (0, 63) is drawn by neither the bottom line nor the left line.
constexpr std::array<LcdSegment, 4> kLcdFrameLines = {{
    {0, 0, kLcdWidth - 1, 0},                           // top: row 0, columns 0..118
    {60, 18, 60, 46},                                   // divider: column 60, rows 18..45
    {kLcdWidth - 1, kLcdHeight - 1, 0, kLcdHeight - 1}, // bottom: row 63, columns 119..1
    {0, 0, 0, kLcdHeight - 1},                          // left: column 0, rows 0..62
}};

// The order in which an empty square superimposes all six outlines.
constexpr std::array<PieceKind, kPieceKinds> kEmptySquareKinds = {
    PieceKind::Pawn,   PieceKind::Bishop, PieceKind::King,
    PieceKind::Knight, PieceKind::Rook,   PieceKind::Queen,
};

// Each point of the chain is drawn by the segment that starts there; only the closing point,
// equal to the first, is left to the first segment.
void draw_outline(std::span<const GlyphPoint> outline, int x, int y, int mode, unsigned char* frame)
{
    const int origin_y = y + FieldHeight;
    for (std::size_t i = 0; i + 1 < outline.size(); ++i) {
        const GlyphPoint from = outline[i];
        const GlyphPoint to = outline[i + 1];
        lcd_line(x + from.dx, origin_y + from.dy, x + to.dx, origin_y + to.dy, mode, 0, frame);
    }
}

void draw_kind(PieceKind kind, int x, int y, int mode, unsigned char* frame)
{
    draw_outline(glyph_shape(kind).outline, x, y, mode, frame);
}

// The font's cells as columns: bit r of ink_columns[k][c] is set where row r of column c of
// cell k is ink. Built from the font on first use.
using CellColumns = std::array<uint32_t, kGlyphWidth>;
const std::array<CellColumns, kFontCells>& ink_columns()
{
    static const std::array<CellColumns, kFontCells> columns = [] {
        std::array<CellColumns, kFontCells> built{};
        for (int k = 0; k < kFontCells; ++k)
            for (int r = 0; r < kGlyphHeight; ++r)
                for (int c = 0; c < kGlyphWidth; ++c)
                    if (font_pixels[k * kGlyphBytes + r * kGlyphWidth + c] == kGlyphInk)
                        built[k][c] |= 1u << r;
        return built;
    }();
    return columns;
}

constexpr uint64_t kCellRows = (uint64_t{1} << kGlyphHeight) - 1;

// Writes every pixel of font cell k at (left, top): ink set and paper cleared, or the reverse.
// A cell wholly on the display is written a column at a time, each column's 18 bits into the
// bands it crosses; one reaching past an edge pixel by pixel, which leaves out the pixels beyond.
void draw_cell(int left, int top, int k, bool inverse, unsigned char* frame)
{
    if (left < 0 || left + kGlyphWidth > kLcdWidth || top < 0 || top + kGlyphHeight > kLcdHeight) {
        const unsigned char* cell = font_pixels + k * kGlyphBytes;
        for (int r = 0; r < kGlyphHeight; ++r)
            for (int c = 0; c < kGlyphWidth; ++c) {
                const bool ink = cell[r * kGlyphWidth + c] == kGlyphInk;
                lcd_draw_pixel(left + c, top + r, ink != inverse ? kLcdSet : kLcdClear, frame);
            }
        return;
    }
    const CellColumns& columns = ink_columns()[k];
    const uint64_t covered = kCellRows << top;
    const int first_band = top >> 3;
    const int last_band = (top + kGlyphHeight - 1) >> 3;
    for (int c = 0; c < kGlyphWidth; ++c) {
        const uint64_t lit = ((inverse ? ~uint64_t{columns[c]} : columns[c]) & kCellRows) << top;
        unsigned char* cell = frame + left + c;
        for (int band = first_band; band <= last_band; ++band) {
            const auto keep = static_cast<unsigned char>(~(covered >> (band * 8)));
            const auto set = static_cast<unsigned char>(lit >> (band * 8));
            unsigned char& byte = cell[band * kLcdWidth];
            byte = static_cast<unsigned char>((byte & keep) | set);
        }
    }
}

void clear_piece_area(unsigned char* frame)
{
    for (int y = kLcdPieceAreaTop; y <= kLcdPieceAreaBottom; ++y)
        lcd_line(kLcdPieceAreaLeft, y, kLcdPieceAreaRight, y, kLcdClear, 0, frame);
}

void draw_piece_letter(char square, int mode, unsigned char* frame)
{
    if (const std::optional<PieceKind> kind = piece_kind_of(square)) {
        draw_kind(*kind, kLcdPieceX, kLcdPieceY, mode, frame);
        return;
    }
    for (const PieceKind kind : kEmptySquareKinds)
        draw_kind(kind, kLcdPieceX, kLcdPieceY, mode, frame);
}

} // namespace

void lcd_print_string(int x, int y, const char* text, unsigned char* frame, char mode)
{
    // Rows wholly off the display draw nothing; returning early also keeps y + row in range.
    if (y <= -kGlyphHeight || y >= kLcdHeight)
        return;
    const bool inverse = mode == kLcdInverseText;
    int pen = x;
    for (int n = 0; n < kLcdTextLimit && text[n] != '\0' && pen < kLcdWidth; ++n) {
        const int k = font_cell_of(static_cast<unsigned char>(text[n]));
        if (k < 0)
            continue;
        draw_cell(pen, y, k, inverse, frame);
        pen += kGlyphWidth;
    }
}

void lcd_draw_intro(unsigned char* frame)
{
    for (const LcdSegment& line : kLcdFrameLines)
        lcd_line(line.x1, line.y1, line.x2, line.y2, kLcdSet, 0, frame);
    lcd_print_string(0, 0, kLcdTitle, frame, kLcdInverseText);
    lcd_print_string(kLcdVersionX, kLcdVersionY, kLcdVersion, frame, kLcdNormalText);
    lcd_print_string(kLcdCreditX, kLcdCreditY, kLcdCredit, frame, kLcdInverseText);
}

void lcd_draw_current_piece(const char* board, int column, int row, int mode, unsigned char* frame)
{
    clear_piece_area(frame);
    const char square = square_on_board(column, row) ? board[square_index(column, row)] : ' ';
    draw_piece_letter(square, mode, frame);
    lcd_draw_intro(frame);
}

void lcd_drawpawn(int x, int y, int mode, unsigned char* frame)
{
    draw_kind(PieceKind::Pawn, x, y, mode, frame);
}
void lcd_drawknight(int x, int y, int mode, unsigned char* frame)
{
    draw_kind(PieceKind::Knight, x, y, mode, frame);
}
void lcd_drawbishop(int x, int y, int mode, unsigned char* frame)
{
    draw_kind(PieceKind::Bishop, x, y, mode, frame);
}
void lcd_drawrook(int x, int y, int mode, unsigned char* frame)
{
    draw_kind(PieceKind::Rook, x, y, mode, frame);
}
void lcd_drawqueen(int x, int y, int mode, unsigned char* frame)
{
    draw_kind(PieceKind::Queen, x, y, mode, frame);
}
void lcd_drawking(int x, int y, int mode, unsigned char* frame)
{
    draw_kind(PieceKind::King, x, y, mode, frame);
}
