// The move cursor (a white plus with a blue outline) and the move markers (blue square frames)
// on the TV board. Erasing never restores pixels: it redraws the whole square with draw_one_field.
// The positions live in shell/move_state.h; these routines only receive them as arguments.
#pragma once

constexpr unsigned char kCursorOutline = 13;
constexpr unsigned char kCursorCore = 2;
constexpr unsigned char kMarkerColor = 13;

// Erases the cursor from (oldcol, oldrow) by redrawing that square, even when it is the new one,
// then redraws (col, row) and draws the cursor on it. Does nothing at all while moving_enabled
// is 0 or WeAreNotPlaying is 1. A square outside 1..8 (0 meaning "none") is left alone.
void draw_cursor(const char* board, int oldcol, int oldrow, int col, int row);

// Draws a marker frame on each square given (a column or row of 0 means no mark). The board is
// not used; the flags are not consulted.
void draw_markers(const char* board, int m1col, int m1row, int m2col, int m2row);

// Erases both marks by redrawing their squares; a cursor on a marked square goes with the mark.
void remove_markers(const char* board, int m1col, int m1row, int m2col, int m2row);
