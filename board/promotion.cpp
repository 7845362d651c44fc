// The promotion picker: which piece a pawn reaching the last rank becomes.
#include "board/promotion.h"

#include <algorithm>
#include <array>

#include "board/glyphs.h"
#include "dialogs/poll.h"
#include "host/gx9.h"
#include "ics/game_state.h"

namespace {

bool is_file(char c)
{
    return c >= 'a' && c <= 'h';
}
bool is_rank(char c)
{
    return c >= '1' && c <= '8';
}

// The pointer for selection s: three lines from a tip 10 pixels right of the piece's middle.
void draw_pointer(int s)
{
    const int dy = kPickerPieceStep * s;
    FBDrawLine(192, 149 + dy, 600, 139 + dy, kPickerPointer);
    FBDrawLine(192, 149 + dy, 600, 159 + dy, kPickerPointer);
    FBDrawLine(242, 139 + dy, 600, 159 + dy, kPickerPointer);
}

char letter_of(int s)
{
    return s == kNoSelection ? kNoPromotion : kPromotionLetters[s];
}

void blank_box()
{
    FBFillRect(kPickerX, kPickerY, kPickerWidth, kPickerHeight, kPickerPaper);
}

} // namespace

int pawn_is_promoting(const char* move, const char* board)
{
    if (!is_file(move[0]) || !is_rank(move[1]) || !is_file(move[2]) || !is_rank(move[3]))
        return 0;
    // The board in file order: file a..h, each from rank 1 up.
    std::array<char, kSquares> files{};
    for (int i = 0; i < kSquares; ++i)
        files[static_cast<size_t>(my_color != 0 ? i : kSquares - 1 - i)] = board[i];
    const char piece = files[static_cast<size_t>((move[0] - 'a') * 8 + (move[1] - '1'))];
    const bool pawn = piece == 'p' || piece == 'P';
    return pawn && (move[3] == '1' || move[3] == '8') ? 1 : 0;
}

void display_promotions(int s)
{
    s = std::clamp(s, kNoSelection, kPromotionChoices - 1);
    blank_box();
    const int x = kPickerPieceX, y = kPickerPieceY, step = kPickerPieceStep;
    drawqueen(x, y, kPickerOutline, kPickerFill);
    drawrook(x, y + step, kPickerOutline, kPickerFill);
    drawknight(x, y + 2 * step, kPickerOutline, kPickerFill);
    drawbishop(x, y + 3 * step, kPickerOutline, kPickerFill);
    draw_pointer(s);
}

char pitaj_koja_figura()
{
    int s = kNoSelection;
    display_promotions(s);
    while (doexit == 0) {
        if (!dialog_next_key(kKeyCleared))
            break;
        switch (actcode) {
        case kKeyDown:
            s = std::min(s + 1, kPromotionChoices - 1);
            display_promotions(s);
            break;
        case kKeyUp:
            s = std::max(s - 1, 0);
            display_promotions(s);
            break;
        case kKeyOk:
            blank_box();
            if (s != kNoSelection) {
                actcode = kKeyCleared;
                return letter_of(s);
            }
            break;
        default:
            break;
        }
        actcode = kKeyCleared;
    }
    return letter_of(s);
}
