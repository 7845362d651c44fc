// Placeholder until the font cells are designed: every cell blank.
#include "board/font.h"

const unsigned char font_pixels[kFontCells * kGlyphBytes] = {};
const char font_chars[kFontCells + 1] =
    " ! #$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[ ]^_`abcdefghijklmnopqrstuvwxyz{|}~\x7f";

int font_cell_of(unsigned char c)
{
    for (int k = 0; k < kFontCells; ++k)
        if (static_cast<unsigned char>(font_chars[k]) == c)
            return k;
    return -1;
}
