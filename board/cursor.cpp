// The move cursor and the move markers: drawn over a square, erased by redrawing the square.
#include "board/cursor.h"

#include "board/board.h"
#include "host/gx9.h"
#include "ics/game_state.h"

namespace {

// The cursor: two bars crossing at the square's centre, each a 30 x 4 outline with a 28 x 2 core.
constexpr int kBarLength = 30;
constexpr int kBarThickness = 4;
constexpr int kBarStart = 9;   // distance of a bar's outline from the square's edge along it
constexpr int kBarAcross = 22; // distance of a bar's outline from the square's edge across it
static_assert(kBarStart * 2 + kBarLength == FieldWidth &&
              kBarAcross * 2 + kBarThickness == FieldWidth);

// The marker: two nested square outlines, 2 and 3 pixels in from the square's edges.
constexpr int kMarkerInset = 2;
constexpr int kMarkerSide = FieldWidth - 2 * kMarkerInset;

bool cursor_may_show()
{
    return moving_enabled != 0 && WeAreNotPlaying != 1;
}

// Both outlines before both cores, so the crossing is white with no outline through it.
void draw_cross(int c, int r)
{
    const int sx = field_left(c);
    const int sy = field_top(r);
    FBDrawRect(sx + kBarStart, sy + kBarAcross, kBarLength, kBarThickness, kCursorOutline);
    FBDrawRect(sx + kBarAcross, sy + kBarStart, kBarThickness, kBarLength, kCursorOutline);
    FBFillRect(sx + kBarStart + 1, sy + kBarAcross + 1, kBarLength - 2, kBarThickness - 2,
               kCursorCore);
    FBFillRect(sx + kBarAcross + 1, sy + kBarStart + 1, kBarThickness - 2, kBarLength - 2,
               kCursorCore);
}

void draw_marker(int c, int r)
{
    const int sx = field_left(c);
    const int sy = field_top(r);
    FBDrawRect(sx + kMarkerInset, sy + kMarkerInset, kMarkerSide, kMarkerSide, kMarkerColor);
    FBDrawRect(sx + kMarkerInset + 1, sy + kMarkerInset + 1, kMarkerSide - 2, kMarkerSide - 2,
               kMarkerColor);
}

} // namespace

void draw_cursor(const char* board, int oldcol, int oldrow, int col, int row)
{
    if (!cursor_may_show())
        return;
    if (square_on_board(oldcol, oldrow))
        draw_one_field(board, oldcol, oldrow);
    if (square_on_board(col, row)) {
        draw_one_field(board, col, row);
        draw_cross(col, row);
    }
}

void draw_markers(const char*, int m1col, int m1row, int m2col, int m2row)
{
    if (square_on_board(m1col, m1row))
        draw_marker(m1col, m1row);
    if (square_on_board(m2col, m2row))
        draw_marker(m2col, m2row);
}

void remove_markers(const char* board, int m1col, int m1row, int m2col, int m2row)
{
    if (square_on_board(m1col, m1row))
        draw_one_field(board, m1col, m1row);
    if (square_on_board(m2col, m2row))
        draw_one_field(board, m2col, m2row);
}
