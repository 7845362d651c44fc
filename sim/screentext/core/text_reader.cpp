// The screen reader: compares character cells of pixel memory with the bitmap font's cells.
#include "sim/screentext/core/text_reader.h"

#include <algorithm>

#include "board/font.h"

namespace screentext {
namespace {

// The part of the image one character cell is compared on.
struct CellView {
    const uint8_t* origin; // top-left pixel
    int stride;            // image width
    int columns;           // compared columns, 1 .. kGlyphWidth
    uint8_t at(int row, int column) const { return origin[row * stride + column]; }
};

bool is_one_colour(const CellView& cell)
{
    const uint8_t first = cell.at(0, 0);
    for (int row = 0; row < kGlyphHeight; ++row)
        for (int column = 0; column < cell.columns; ++column)
            if (cell.at(row, column) != first)
                return false;
    return true;
}

// Whether an earlier cell of the font draws the same character (that one is the one matched).
bool is_repeat(const Font& font, int k)
{
    for (int j = 0; j < k; ++j)
        if (font.chars[j] == font.chars[k])
            return true;
    return false;
}

// Whether the cell shows glyph k: its ink pixels one colour, all the others another.
bool shows_glyph(const CellView& cell, const unsigned char* glyph)
{
    int ink = -1, paper = -1;
    for (int row = 0; row < kGlyphHeight; ++row) {
        for (int column = 0; column < cell.columns; ++column) {
            int& expected = glyph[row * kGlyphWidth + column] == kGlyphInk ? ink : paper;
            const uint8_t actual = cell.at(row, column);
            if (expected < 0)
                expected = actual;
            else if (expected != actual)
                return false;
        }
    }
    return ink >= 0 && paper >= 0 && ink != paper;
}

char read_cell(const Font& font, const CellView& cell)
{
    if (is_one_colour(cell))
        return ' ';
    for (int k = 0; k < font.count; ++k)
        if (!is_repeat(font, k) && shows_glyph(cell, font.cells + k * kGlyphBytes))
            return font.chars[k];
    return '?';
}

} // namespace

Font board_font()
{
    return {font_pixels, font_chars, kFontCells};
}

std::string read_text(const Font& font, const uint8_t* pixels, int width, int height, int x, int y,
                      int length, int advance)
{
    std::string text;
    if (length <= 0)
        return text;
    advance = std::max(advance, 1);
    text.reserve(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i) {
        const int columns = i + 1 < length ? std::min(advance, kGlyphWidth) : kGlyphWidth;
        const int64_t left = int64_t{x} + int64_t{i} * advance;
        const bool inside = pixels != nullptr && left >= 0 && left + columns <= width && y >= 0 &&
                            int64_t{y} + kGlyphHeight <= height;
        if (!inside) {
            text += '?';
            continue;
        }
        const CellView cell{pixels + int64_t{y} * width + left, width, columns};
        text += read_cell(font, cell);
    }
    return text;
}

std::string read_text(const uint8_t* pixels, int width, int height, int x, int y, int length,
                      int advance)
{
    return read_text(board_font(), pixels, width, height, x, y, length, advance);
}

} // namespace screentext
