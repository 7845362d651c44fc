// Move entry: cursor steps, the two OK phases, and sending the finished move.
#include "shell/move_entry.h"

#include <cassert>
#include <cstdio>

#include "board/board.h"
#include "board/cursor.h"
#include "board/promotion.h"
#include "host/gx9.h"
#include "ics/connection.h"
#include "ics/game_state.h"
#include "shell/move_state.h"
#include "shell/screen_mode.h"

namespace {

constexpr char kNoMove[] = "     "; // five blanks: nothing being composed
constexpr int kFromBytes = 2;       // file letter and rank digit of the from-square
constexpr int kMoveBytes = 4;       // from-square and to-square; "=" and a promotion letter follow
static_assert(kMoveBytes + 3 <= kMoveTextBytes && kMoveBytes + 3 <= kSentMoveBytes);

// Column and row step of an arrow key.
struct CursorStep {
    unsigned short key;
    int dx, dy;
};
constexpr CursorStep kCursorSteps[] = {
    {kKeyRight, 1, 0},
    {kKeyLeft, -1, 0},
    {kKeyUp, 0, 1},
    {kKeyDown, 0, -1},
};

int wrap_coordinate(int v)
{
    if (v > 8)
        return 1;
    if (v < 1)
        return 8;
    return v;
}

// The name of square (col, row): a1 at the bottom left while the user plays White, h8 there
// while the board is turned for Black.
void square_name(int col, int row, char name[3])
{
    if (my_color == 1) {
        name[0] = static_cast<char>('a' + (col - 1));
        name[1] = static_cast<char>('0' + row);
    } else {
        name[0] = static_cast<char>('h' - (col - 1));
        name[1] = static_cast<char>('9' - row);
    }
    name[2] = '\0';
}

// White's pieces are upper-case letters, Black's lower-case ones.
bool holds_own_piece(int col, int row)
{
    assert(square_on_board(col, row) && "cursor square off the board");
    const char c = zeforboard[square_index(col, row)];
    if (my_color == 1)
        return c >= 'A' && c <= 'Z';
    return my_color == 0 && c >= 'a' && c <= 'z';
}

// The old and the current square differ after every step; they are equal only before the
// cursor's first step since the plugin was loaded.
bool cursor_has_stepped()
{
    return cursorxold != cursorx || cursoryold != cursory;
}

// Only while a piece is selected: a new run of the plugin starts in phase 1 with the marker
// coordinates of an earlier run still set, and those must not bring back an old mark.
bool on_marked_square(int col, int row)
{
    return selection_phase == 2 && col == marker1x && row == marker1y;
}

void clear_markers()
{
    marker1x = marker1y = marker2x = marker2y = 0;
}

// Back to phase 1 with nothing selected; the cursor is drawn again on its square.
void end_selection()
{
    snprintf(tempy, sizeof tempy, "%s", kNoMove);
    remove_markers(zeforboard, marker1x, marker1y, marker2x, marker2y);
    clear_markers();
    draw_cursor(zeforboard, cursorxold, cursoryold, cursorx, cursory);
    selection_phase = 1;
}

void select_piece()
{
    if (!holds_own_piece(cursorx, cursory))
        return;
    char from[3];
    square_name(cursorx, cursory, from);
    snprintf(tempy, sizeof tempy, "%s   ", from);
    selection_phase = 2;
    marker1x = cursorx;
    marker1y = cursory;
    marker2x = marker2y = 0;
    draw_markers(zeforboard, cursorx, cursory, 0, 0);
}

void complete_move()
{
    char to[3];
    square_name(cursorx, cursory, to);
    snprintf(tempy + kFromBytes, sizeof tempy - kFromBytes, "%s", to);
    marker2x = cursorx;
    marker2y = cursory;
    draw_markers(zeforboard, marker1x, marker1y, cursorx, cursory);

    if (pawn_is_promoting(tempy, zeforboard) != 0) {
        const char piece = pitaj_koja_figura();
        if (piece == kNoPromotion) {
            // The user left before choosing: no move exists to send.
            end_selection();
            return;
        }
        // Servers take "e7e8=q" as a move; "e7e8q" is an unknown command to them.
        snprintf(tempy + kMoveBytes, sizeof tempy - kMoveBytes, "=%c", piece);
    }
    if (icsFd > 0) {
        SendToIcs("%s\r\n", tempy);
        snprintf(LastMoveSent, sizeof LastMoveSent, "%.*s", kSentMoveBytes - 1, tempy);
    }
    moving_enabled = 0;
    end_selection();
}

} // namespace

bool moving_allowed()
{
    return moving_enabled != 0 && WeAreNotPlaying != 1 && whats_showed == kBoardView;
}

void move_cursor(int key)
{
    if (!moving_allowed())
        return;
    for (const CursorStep& step : kCursorSteps) {
        if (step.key != key)
            continue;
        cursorxold = cursorx;
        cursoryold = cursory;
        cursorx = wrap_coordinate(cursorx + step.dx);
        cursory = wrap_coordinate(cursory + step.dy);
        draw_cursor(zeforboard, cursorxold, cursoryold, cursorx, cursory);
        if (on_marked_square(cursorxold, cursoryold) || on_marked_square(cursorx, cursory))
            draw_markers(zeforboard, marker1x, marker1y, marker2x, marker2y);
        return;
    }
}

void select_square()
{
    if (!moving_allowed())
        return;
    if (selection_phase != 2) {
        select_piece();
        return;
    }
    if (!cursor_has_stepped())
        return;
    if (holds_own_piece(cursorx, cursory))
        end_selection();
    else
        complete_move();
}
