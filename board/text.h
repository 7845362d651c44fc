// The bitmap-text printers: one line of text in the 10 x 18 font, opaque cells, ink and paper.
#pragma once

// A text is cut after this many bytes (skipped bytes count too).
constexpr int kPrintMaxChars = 120;
// Pen advance per drawn character: the ordinary printer and the narrow one of the telnet window.
// The narrow printer's cells are still 10 wide, so each overlaps the last column of the one
// before it.
constexpr int kPrintAdvance = 10;
constexpr int kPrint9Advance = 9;

// Draws text with its first cell's top-left corner at (x, y): glyph pixels in ink, the rest of
// each cell in paper, one FBCopyImage per character. Bytes outside the font's set (controls,
// the double quote, the backslash, every byte from 128 up) are left out and take no room.
// A null text draws nothing. No clipping here: the host library clips to the screen.
void zefor_print_string(int x, int y, const char* text, unsigned char ink, unsigned char paper);
void zefor_print9_string(int x, int y, const char* text, unsigned char ink, unsigned char paper);
