// The board on the TV: frame strips, coordinate labels, squares with their pieces, the cursor.
#include "board/board.h"

#include <array>
#include <cassert>
#include <optional>

#include "board/cursor.h"
#include "board/font.h"
#include "board/glyphs.h"
#include "board/text.h"
#include "host/gx9.h"
#include "ics/game_state.h"

namespace {

// Labels: each 10 x 18 cell centred on its column within the bottom strip, or on its row within
// the left strip. Files run left to right, ranks top to bottom.
constexpr int kFileLabelDx = BorderWidth + (FieldWidth - kGlyphWidth) / 2;
constexpr int kFileLabelDy = -BorderWidth + (BorderWidth - kGlyphHeight) / 2;
constexpr int kRankLabelDx = (BorderWidth - kGlyphWidth) / 2;
constexpr int kRankLabelDy =
    -BorderWidth - kBoardSide * FieldHeight + (FieldHeight - kGlyphHeight) / 2;
static_assert(kFileLabelDx == 39 && kFileLabelDy == -19);
static_assert(kRankLabelDx == 5 && kRankLabelDy == -389);

constexpr std::array<char, kBoardSide> kFilesForWhite = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
constexpr std::array<char, kBoardSide> kRanksForWhite = {'8', '7', '6', '5', '4', '3', '2', '1'};

void draw_frame()
{
    const int inner = kBoardSide * FieldHeight;
    FBFillRect(Xoffset, Yoffset - BorderWidth, kFrameLength, BorderWidth, BorderColor);
    FBFillRect(Xoffset, Yoffset - BorderWidth - inner, BorderWidth, inner, BorderColor);
    FBFillRect(Xoffset + BorderWidth + kBoardSide * FieldWidth, Yoffset - BorderWidth - inner,
               BorderWidth, inner, BorderColor);
    FBFillRect(Xoffset, Yoffset - kFrameLength, kFrameLength, BorderWidth, BorderColor);
}

void draw_label(int x, int y, char c)
{
    const char text[2] = {c, '\0'};
    zefor_print_string(x, y, text, kLabelInk, BorderColor);
}

// Letters a..h and digits 8..1 for White; for Black both run the other way.
void draw_labels()
{
    const bool white_view = my_color == 1;
    for (int i = 0; i < kBoardSide; ++i) {
        const char file = white_view ? kFilesForWhite[i] : kFilesForWhite[kBoardSide - 1 - i];
        draw_label(Xoffset + kFileLabelDx + FieldWidth * i, Yoffset + kFileLabelDy, file);
    }
    for (int j = 0; j < kBoardSide; ++j) {
        const char rank = white_view ? kRanksForWhite[j] : kRanksForWhite[kBoardSide - 1 - j];
        draw_label(Xoffset + kRankLabelDx, Yoffset + kRankLabelDy + FieldHeight * j, rank);
    }
}

void draw_piece(char byte, int left, int top)
{
    const std::optional<PieceKind> kind = piece_kind_of(byte);
    if (!kind)
        return;
    const bool white = byte >= 'A' && byte <= 'Z';
    draw_glyph(*kind, left + kPieceInsetX, top - kPieceRaise,
               white ? kWhitePieceOutline : kBlackPieceOutline,
               white ? kWhitePieceFill : kBlackPieceFill);
}

} // namespace

int field_left(int c)
{
    return Xoffset + BorderWidth + (c - 1) * FieldWidth;
}
int field_top(int r)
{
    return Yoffset - BorderWidth - r * FieldHeight;
}

void draw_one_field(const char* board, int c, int r)
{
    assert(square_on_board(c, r) && "draw_one_field: square outside the board");
    const int left = field_left(c);
    const int top = field_top(r);
    FBFillRect(left, top, FieldWidth, FieldHeight, field_color(c, r));
    draw_piece(board[square_index(c, r)], left, top);
}

void draw_chess_board(const char* board, int oldcol, int oldrow, int col, int row)
{
    draw_frame();
    draw_labels();
    for (int c = 1; c <= kBoardSide; ++c) {
        for (int r = 1; r <= kBoardSide; ++r) {
            draw_one_field(board, c, r);
        }
    }
    draw_cursor(board, oldcol, oldrow, col, row);
}
