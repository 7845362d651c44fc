// Tests of the screen reader: text read back from pixel memory with the plugin's font and
// with a made-up font whose cells are known here.
#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/font.h"
#include "host/gx9.h"
#include "sim/screentext/core/text_reader.h"
#include "tests/support/test_screen.h"

using testsupport::TestScreen;

namespace {

// Colour pairs (ink, paper) the text printers use, and a pair with ink index above paper.
constexpr std::array<std::array<unsigned char, 2>, 4> kColourPairs{
    {{5, 1}, {2, 3}, {1, 12}, {13, 6}}};

// Draws cell k as the printers do: ink where the font has a glyph pixel, paper elsewhere.
void draw_cell(int k, int x, int y, unsigned char ink, unsigned char paper)
{
    unsigned char block[kGlyphBytes];
    for (int i = 0; i < kGlyphBytes; ++i)
        block[i] = font_pixels[k * kGlyphBytes + i] == kGlyphInk ? ink : paper;
    FBCopyImage(x, y, kGlyphWidth, kGlyphHeight, block);
}

bool has_ink(int k)
{
    for (int i = 0; i < kGlyphBytes; ++i)
        if (font_pixels[k * kGlyphBytes + i] == kGlyphInk)
            return true;
    return false;
}

// ---- A made-up font: cell k has a pattern of its own that also reaches into column 9. ----

struct MadeUpFont {
    std::vector<unsigned char> cells = std::vector<unsigned char>(kFontCells * kGlyphBytes);
    std::string chars = font_chars;
    MadeUpFont()
    {
        uint32_t random = 12345;
        for (int k = 0; k < kFontCells; ++k) {
            for (int p = 0; p < kGlyphBytes; ++p) {
                random = random * 1103515245u + 12345u;
                const bool ink = (random >> 16) & 1 || p % kGlyphWidth == kGlyphWidth - 1;
                cells[k * kGlyphBytes + p] = ink ? kGlyphInk : kGlyphPaper;
            }
        }
        std::fill_n(cells.begin(), kGlyphBytes, kGlyphPaper); // cell 0, the space, is blank
    }
    screentext::Font font() const { return {cells.data(), chars.c_str(), kFontCells}; }
};

// A plain image of palette indices to draw made-up cells into.
struct Image {
    int width, height;
    std::vector<uint8_t> pixels;
    Image(int w, int h, uint8_t fill) : width(w), height(h), pixels(size_t(w) * h, fill) {}
    void draw(const MadeUpFont& font, int k, int x, int y, uint8_t ink, uint8_t paper)
    {
        for (int row = 0; row < kGlyphHeight; ++row)
            for (int column = 0; column < kGlyphWidth; ++column) {
                const bool glyph =
                    font.cells[k * kGlyphBytes + row * kGlyphWidth + column] == kGlyphInk;
                pixels[(y + row) * width + x + column] = glyph ? ink : paper;
            }
    }
    std::string read(const MadeUpFont& font, int x, int y, int length, int advance) const
    {
        return screentext::read_text(font.font(), pixels.data(), width, height, x, y, length,
                                     advance);
    }
};

} // namespace

TEST(ScreenReader, ReadsBackEveryCharacterOfThePluginFont)
{
    // Every character of the set drawn as the printers draw it, in two lines of 47 cells, at
    // both advances and in several colour pairs. A cell without glyph pixels reads as a space.
    std::string expected;
    std::vector<int> cells;
    for (int k = 0; k < kFontCells; ++k) {
        if (k != 2 && k != 60) {
            cells.push_back(k);
            expected += has_ink(k) ? font_chars[k] : ' ';
        }
    }
    constexpr int kPerLine = 47;
    ASSERT_EQ(cells.size(), 2u * kPerLine);
    for (int advance : {10, 9}) {
        for (const auto& [ink, paper] : kColourPairs) {
            TestScreen screen;
            for (size_t i = 0; i < cells.size(); ++i)
                draw_cell(cells[i], 5 + int(i % kPerLine) * advance, 40 + int(i / kPerLine) * 30,
                          ink, paper);
            const std::string read =
                screen.text(5, 40, kPerLine, advance) + screen.text(5, 70, kPerLine, advance);
            EXPECT_EQ(read, expected)
                << "advance " << advance << ", ink " << int(ink) << " on " << int(paper) << "\n"
                << screen.dump(5, 40, 60, 18);
        }
    }
}

TEST(ScreenReader, SpareCellsAndStrangePixelsReadAsQuestionMarks)
{
    TestScreen screen;
    draw_cell(2, 10, 10, 5, 1);  // the double quote's spare cell: never matched
    draw_cell(60, 20, 10, 5, 1); // the backslash's
    draw_cell(33, 30, 10, 5, 1); // "A"
    FBPaintPixel(35, 20, 7);     // a third colour inside the "A"
    draw_cell(34, 40, 10, 5, 5); // "B" all one colour: a space
    EXPECT_EQ(screen.text(10, 10, 2), "??") << screen.dump(10, 10, 20, 18);
    EXPECT_EQ(screen.text(30, 10, 2), "? ");
}

TEST(ScreenReader, MadeUpFontRoundTripAndNarrowOverlap)
{
    const MadeUpFont font;
    Image image(200, 60, 0);
    // "AB" at advance 9: B covers A's last column, so A is only recognisable on columns 0..8.
    image.draw(font, 33, 10, 5, 2, 1);
    image.draw(font, 34, 19, 5, 2, 1);
    EXPECT_EQ(image.read(font, 10, 5, 2, 9), "AB");
    EXPECT_EQ(image.read(font, 10, 5, 2, 10), "??");
    // Ink and paper may be any two different colours; the same colour is a blank cell.
    image.draw(font, 65, 40, 5, 1, 13);
    image.draw(font, 66, 50, 5, 13, 1);
    image.draw(font, 67, 60, 5, 4, 4);
    EXPECT_EQ(image.read(font, 40, 5, 3, 10), "ab ");
    // The spare cells 2 and 60 hold patterns of their own here and still never match.
    image.draw(font, 2, 80, 5, 2, 1);
    image.draw(font, 60, 90, 5, 2, 1);
    EXPECT_EQ(image.read(font, 80, 5, 2, 10), "??");
    // Every character of the set, all 94, one after the other.
    Image all(94 * 10, 18, 0);
    std::string expected;
    for (int k = 0, i = 0; k < kFontCells; ++k) {
        if (k != 2 && k != 60) {
            all.draw(font, k, 10 * i++, 0, 3, 9);
            expected += font_chars[k];
        }
    }
    EXPECT_EQ(all.read(font, 0, 0, 94, 10), expected);
}

TEST(ScreenReader, CellsOffTheImageReadAsQuestionMarks)
{
    const MadeUpFont font;
    Image image(40, 30, 1);
    image.draw(font, 33, 0, 0, 2, 1);
    // {x, y, length, advance, expected}
    const struct {
        int x, y, length, advance;
        const char* expected;
    } rows[] = {
        {0, 0, 1, 10, "A"},     {0, 0, 4, 10, "A   "}, // the fourth cell, columns 30..39, just fits
        {0, 0, 5, 10, "A   ?"}, {-1, 0, 1, 10, "?"},
        {0, -1, 1, 10, "?"},    {0, 13, 1, 10, "?"}, // rows 13..30, one below the image
        {31, 0, 1, 10, "?"},    {30, 0, 2, 9, " ?"}, // 9 columns fit, the last cell's 10 do not
        {0, 0, 0, 10, ""},      {0, 0, -3, 10, ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(image.read(font, row.x, row.y, row.length, row.advance), row.expected)
            << row.x << "," << row.y << " length " << row.length;
}
