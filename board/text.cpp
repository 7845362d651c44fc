// The bitmap-text printers: font cells coloured on the stack and copied to the screen.
#include "board/text.h"

#include "board/font.h"
#include "host/gx9.h"

namespace {

// Turns cell k of the font into a block of palette indices.
void colour_cell(int cell, unsigned char ink, unsigned char paper,
                 unsigned char (&block)[kGlyphBytes])
{
    const unsigned char* pixels = font_pixels + cell * kGlyphBytes;
    for (int i = 0; i < kGlyphBytes; ++i)
        block[i] = pixels[i] == kGlyphInk ? ink : paper;
}

void print_with_advance(int x, int y, const char* text, unsigned char ink, unsigned char paper,
                        int advance)
{
    if (text == nullptr)
        return;
    unsigned char block[kGlyphBytes];
    int pen = x;
    for (int i = 0; i < kPrintMaxChars && text[i] != '\0'; ++i) {
        const int cell = font_cell_of(static_cast<unsigned char>(text[i]));
        if (cell < 0)
            continue;
        colour_cell(cell, ink, paper, block);
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
