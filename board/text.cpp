// The bitmap-text printers: font cells coloured on the stack and copied to the screen.
#include "board/text.h"

#include <cstdint>
#include <cstring>

#include "board/font.h"
#include "host/gx9.h"

namespace {

// Turns cell k of the font into a block of palette indices, eight bytes at a time: a byte of
// the font equal to kGlyphInk becomes ink, any other paper. (Eight bytes a step also means one
// checked access instead of eight where the address sanitizer watches.)
void colour_cell(int cell, unsigned char ink, unsigned char paper,
                 unsigned char (&block)[kGlyphBytes])
{
    constexpr uint64_t kEachByte = 0x0101010101010101;
    constexpr uint64_t kLow7 = kEachByte * 0x7F;
    const uint64_t inks = kEachByte * ink;
    const uint64_t papers = kEachByte * paper;
    const unsigned char* pixels = font_pixels + cell * kGlyphBytes;
    int i = 0;
    for (; i + 8 <= kGlyphBytes; i += 8) {
        uint64_t word;
        std::memcpy(&word, pixels + i, 8);
        // A byte of kGlyphInk becomes 0 in x; the top bit of a byte of zero_top is set exactly
        // where x has a zero byte (no carries cross bytes: the low seven bits are added apart).
        const uint64_t x = word ^ (kEachByte * kGlyphInk);
        const uint64_t zero_top = ~(((x & kLow7) + kLow7) | x | kLow7);
        const uint64_t ink_bytes = (zero_top >> 7) * 0xFF;
        const uint64_t coloured = (inks & ink_bytes) | (papers & ~ink_bytes);
        std::memcpy(block + i, &coloured, 8);
    }
    for (; i < kGlyphBytes; ++i)
        block[i] = pixels[i] == kGlyphInk ? ink : paper;
}

void print_with_advance(int x, int y, const char* text, unsigned char ink, unsigned char paper,
                        int advance)
{
    if (text == nullptr)
        return;
    unsigned char block[kGlyphBytes];
    int coloured = -1; // the cell the block holds: a run of one character is coloured once
    int pen = x;
    for (int i = 0; i < kPrintMaxChars && text[i] != '\0'; ++i) {
        const int cell = font_cell_of(static_cast<unsigned char>(text[i]));
        if (cell < 0)
            continue;
        if (cell != coloured)
            colour_cell(cell, ink, paper, block);
        coloured = cell;
        FBCopyImage(pen, y, kGlyphWidth, kGlyphHeight, block);
        pen += advance;
    }
}

} // namespace

void zefor_print_string(int x, int y, const char* text, unsigned char ink, unsigned char paper)
{
    print_with_advance(x, y, text, ink, paper, kPrintAdvance);
}

void zefor_print9_string(int x, int y, const char* text, unsigned char ink, unsigned char paper)
{
    print_with_advance(x, y, text, ink, paper, kPrint9Advance);
}
