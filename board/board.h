// The chess board on the TV: the frame with its coordinate labels, the 64 squares with their
// pieces, and the cursor drawn last. Nothing is cached: the board array is the only model.
#pragma once

// Board geometry and colours (palette indices). Fixed at build time.
constexpr int FieldWidth = 48;  // square width in pixels
constexpr int FieldHeight = 48; // square height; also a glyph's distance from y to its baseline
constexpr int BorderWidth = 20; // frame around the 8 x 8 squares
constexpr unsigned char BorderColor = 9;     // frame and label background
constexpr unsigned char LightFieldColor = 6; // squares whose column + row is odd
constexpr unsigned char DarkFieldColor = 10; // squares whose column + row is even
constexpr unsigned char kLabelInk = 2;

constexpr int kBoardSide = 8;
constexpr int kFrameLength = kBoardSide * FieldWidth + 2 * BorderWidth;
static_assert(kFrameLength == 424);

// Where a piece stands in its square: its glyph's x and y arguments relative to the square's
// left and top edges, so the baseline lies 43 pixels below the top and the origin 5 to the right.
constexpr int kPieceInsetX = 5;
constexpr int kPieceRaise = 5;

// Piece colours: white pieces white with a black outline, black pieces the other way round.
constexpr unsigned char kWhitePieceOutline = 1;
constexpr unsigned char kWhitePieceFill = 2;
constexpr unsigned char kBlackPieceOutline = 2;
constexpr unsigned char kBlackPieceFill = 1;

// Squares are addressed by screen column c and row r, 1..8, column 1 left and row 1 at the bottom;
// the board array holds square (c, r) at index (c - 1) * 8 + (r - 1) (square_index, game_state.h).
constexpr bool square_on_board(int c, int r)
{
    return c >= 1 && c <= 8 && r >= 1 && r <= 8;
}
constexpr unsigned char field_color(int c, int r)
{
    return (c + r) % 2 == 1 ? LightFieldColor : DarkFieldColor;
}

// Screen position of square (c, r): its left edge and its top edge, from Xoffset and Yoffset.
int field_left(int c);
int field_top(int r);

// Draws the frame, the 16 labels (a..h and 8..1 while my_color is 1, else h..a and 1..8), the 64
// squares from board (64 bytes in screen order), then the cursor through draw_cursor with the
// cursor's previous and current squares.
void draw_chess_board(const char* board, int oldcol, int oldrow, int col, int row);

// Redraws square (c, r), both 1..8: its background and the piece its byte names, if any.
void draw_one_field(const char* board, int c, int r);
