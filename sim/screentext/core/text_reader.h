// The screen reader: finds the characters of the 10 x 18 bitmap font in pixel memory.
#pragma once

#include <cstdint>
#include <string>

namespace screentext {

// A bitmap font in the cell format of board/font.h: `count` cells of kGlyphBytes bytes
// (kGlyphInk marks a glyph pixel) and, at position k of `chars`, the character cell k draws.
struct Font {
    const unsigned char* cells;
    const char* chars;
    int count;
};

// The plugin's font (board/font_data.cpp).
Font board_font();

// Reads `length` character cells whose top-left corners lie at (x + i * advance, y) in an
// image of width x height palette indices stored row by row.
// - A cell reads as character k when every glyph pixel of cell k has one colour and every
//   other pixel another; an all-one-colour cell reads as a space.
// - Only the first cell of each character is matched (so the spare cells that draw a space,
//   2 and 60 of the board font, never are); the first matching cell wins.
// - With an advance below the cell width, the next cell covers the right part of each cell, so
//   only the first `advance` columns are compared, except in the last cell.
// - A cell matching nothing, or lying partly off the image, reads "?".
std::string read_text(const Font& font, const uint8_t* pixels, int width, int height, int x, int y,
                      int length, int advance);
std::string read_text(const uint8_t* pixels, int width, int height, int x, int y, int length,
                      int advance);

} // namespace screentext
