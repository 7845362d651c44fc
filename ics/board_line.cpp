// The style-12 board line reader.
#include "ics/board_line.h"

#include <cstring>
#include <iterator>

#include "board/board.h"
#include "ics/game_state.h"
#include "ics/tokens.h"
#include "panels/header.h"
#include "shell/move_state.h"
#include "shell/screen_mode.h"

namespace {

// Fields 10 to 27, in the line's order. Field 9, the side to move, is the single character at
// kSideToMoveAt; reading stops at the first field whose token does not fit.
struct BoardField {
    int* number; // a signed decimal number, or
    char* text;  // a text token cut to text_bytes - 1 characters
    int text_bytes;
};
const BoardField kBoardFields[] = {
    {&DoublePawnPush, nullptr, 0},
    {&WscCs, nullptr, 0},
    {&WscCl, nullptr, 0},
    {&BscCs, nullptr, 0},
    {&BscCl, nullptr, 0},
    {&NumMovesIrr, nullptr, 0},
    {&GameNumber, nullptr, 0},
    {nullptr, WhiteName, kNameBytes},
    {nullptr, BlackName, kNameBytes},
    {&MojaUloga, nullptr, 0},
    {&InitialTime, nullptr, 0},
    {&InitialIncrement, nullptr, 0},
    {&WhiteStrength, nullptr, 0},
    {&BlackStrength, nullptr, 0},
    {&WhiteRemaining, nullptr, 0},
    {&BlackRemaining, nullptr, 0},
    {&MoveNumber, nullptr, 0},
    {nullptr, PreviousMoveLong, kMoveLongBytes},
};
static_assert(std::size(kBoardFields) == 27 - 9);

constexpr bool is_square_char(char c)
{
    return c == '-' || std::string_view("KQRBNPkqrbnp").find(c) != std::string_view::npos;
}

// What position i of the text after "<12> " must hold for the line to be taken. Checked from
// position 0 upwards and stopped at the first mismatch, so a short line is never read past its
// terminator.
constexpr bool fits_position(int i, char c)
{
    if (i == kSideToMoveAt)
        return c == 'W' || c == 'B';
    if (i % (kRankFieldChars + 1) == kRankFieldChars)
        return c == ' ';
    return is_square_char(c);
}

bool squares_and_side_well_formed(const char* fields)
{
    for (int i = 0; i <= kSideToMoveAt; ++i)
        if (!fits_position(i, fields[i]))
            return false;
    const char after_side = fields[kSideToMoveAt + 1];
    return after_side == 0 || is_white_space(after_side);
}

// The ranks come rank 8 first, files a to h; the board stores file f, rank r at f * 8 + (r - 1).
void store_squares(const char* fields)
{
    for (int rank = 1; rank <= 8; ++rank)
        for (int file = 0; file < 8; ++file) {
            char c = fields[(kRankFieldChars + 1) * (8 - rank) + file];
            zeforboard[file * 8 + (rank - 1)] = c == '-' ? ' ' : c;
        }
}

void read_fields(const char* text)
{
    for (const BoardField& field : kBoardFields) {
        text = field.number != nullptr ? read_number_token(text, field.number)
                                       : read_text_token(text, field.text, field.text_bytes);
        if (text == nullptr)
            return;
    }
}

void turn_board_half()
{
    for (int i = 0; i < kSquares / 2; ++i) {
        char kept = zeforboard[i];
        zeforboard[i] = zeforboard[kSquares - 1 - i];
        zeforboard[kSquares - 1 - i] = kept;
    }
}

// The user may move when the side to move is the user's colour and the relation is positive
// (playing with the move, or examining).
void update_moving_enabled()
{
    const bool users_turn =
        (WhoIsOnMove == 'W' && my_color == 1) || (WhoIsOnMove == 'B' && my_color == 0);
    moving_enabled = users_turn && MojaUloga > 0 ? 1 : 0;
}

} // namespace

void OrientBoardForUser()
{
    if (strcmp(MyName, BlackName) == 0) {
        turn_board_half();
        my_color = 0;
    }
    if (strcmp(MyName, WhiteName) == 0)
        my_color = 1;
}

// A sample line and its fields (after "<12> "):
// rnbqkbnr pppppppp -------- -------- ----P--- -------- PPPP-PPP RNBQKBNR B 4 1 1 1 1 0 42
//   White Black -1 5 0 39 39 300 300 1 P/e2-e4 (0:00) e4 0 1 0
// ranks 8..1 (files a..h, "-" empty), 9 side to move, 10 double-push file, 11-14 castling
// (W short, W long, B short, B long), 15 moves since irreversible, 16 game number, 17-18 names,
// 19 relation, 20-21 initial time and increment, 22-23 strengths, 24-25 remaining seconds,
// 26 move number, 27 previous move verbose; "(0:00)" and later fields are not used.
bool ReadBoardLine(const char* fields)
{
    if (!squares_and_side_well_formed(fields))
        return false;
    store_squares(fields);
    WhoIsOnMove = fields[kSideToMoveAt];
    read_fields(fields + kSideToMoveAt + 1);
    OrientBoardForUser();
    // A game the user only watches is stored unturned; my_color must say so, or the labels and
    // square names of the user's last game as Black would misname every square.
    if (strcmp(MyName, WhiteName) != 0 && strcmp(MyName, BlackName) != 0)
        my_color = 1;
    update_moving_enabled();
    if (whats_showed == kBoardView) {
        draw_chess_board(zeforboard, cursorxold, cursoryold, cursorx, cursory);
        display_naslov();
    }
    return true;
}
