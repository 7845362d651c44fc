// The 10 x 18 bitmap font shared by the TV text printers, the LCD printer and the screen reader.
// Cell k starts at byte kGlyphBytes * k; its 18 rows of 10 bytes run top row first, leftmost
// pixel first. A byte 2 is a glyph pixel, a byte 1 background. font_chars[k] is the character
// cell k draws: codes 32..127 in order, with the double quote (2) and backslash (60) positions
// holding a space, so those two characters are outside the set.
#pragma once

constexpr int kGlyphWidth = 10;
constexpr int kGlyphHeight = 18;
constexpr int kGlyphBytes = kGlyphWidth * kGlyphHeight;
constexpr int kFontCells = 96;
static_assert(kGlyphBytes == 180);

constexpr unsigned char kGlyphInk = 2;
constexpr unsigned char kGlyphPaper = 1;

extern const unsigned char font_pixels[kFontCells * kGlyphBytes];
extern const char font_chars[kFontCells + 1];

// The narrow printer's font is the same image and character set.
inline constexpr const unsigned char* font9_pixels = font_pixels;
inline constexpr const char* font9_chars = font_chars;

// The cell drawing byte c: the first position of font_chars holding it, or -1 when c is
// outside the set (controls, the double quote, the backslash, every byte from 128 up).
int font_cell_of(unsigned char c);
