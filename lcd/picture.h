// The LCD picture: the text printer, the fixed intro (frame lines, title, version, credit) and
// the line drawings of the six pieces, all drawn into an LCD frame (lcd/device.h). Nothing here
// touches the device; the picture reaches it with the next lcd_draw_screen.
#pragma once

#include "board/board.h"
#include "lcd/device.h"

// Text modes of lcd_print_string: 'W' sets the glyph's ink and clears the rest of each cell,
// 'B' the reverse. Any value other than 'B' acts as 'W'.
constexpr char kLcdNormalText = 'W';
constexpr char kLcdInverseText = 'B';
constexpr int kLcdTextLimit = 120; // characters considered per call

// The intro's texts and places.
inline constexpr char kLcdTitle[] = " FICS Client";
inline constexpr char kLcdVersion[] = "1.9";
// The credit line is the plugin's own name: six inverse cells from column 60 reach the right edge.
inline constexpr char kLcdCredit[] = "VITREL";
static_assert(sizeof(kLcdCredit) - 1 <= 6, "the credit line ends at the display's right edge");
constexpr int kLcdVersionX = 90, kLcdVersionY = 23;
constexpr int kLcdCreditX = 60, kLcdCreditY = 46;

// The piece picture: the area cleared on every pass and the place of the piece routine call.
constexpr int kLcdPieceAreaLeft = 8, kLcdPieceAreaRight = 58; // cleared columns 8..57
constexpr int kLcdPieceAreaTop = 12, kLcdPieceAreaBottom = 60;
constexpr int kLcdPieceX = 10, kLcdPieceY = 12;
// A piece outline's origin lies FieldHeight below the routine's y, as on the TV squares: the
// piece under the cursor stands on row 60.
static_assert(kLcdPieceY + FieldHeight == 60);

// Prints up to kLcdTextLimit characters of text with the top-left of the first cell at (x, y),
// 10 pixels apart. Characters outside the font's set are left out without a gap.
void lcd_print_string(int x, int y, const char* text, unsigned char* frame, char mode);

// Draws the four frame lines, the title, the version and the credit over the frame as it is.
void lcd_draw_intro(unsigned char* frame);

// Clears the piece area, draws the piece of board square (column, row), both 1..8, in pixel mode
// (all six outlines superimposed for an empty square or a position off the board), then redraws
// the intro over it. board is zeforboard's layout: square (column, row) at (column-1)*8 + row-1.
void lcd_draw_current_piece(const char* board, int column, int row, int mode, unsigned char* frame);

// Each draws its piece's closed outline with its origin at (x, y + FieldHeight).
void lcd_drawpawn(int x, int y, int mode, unsigned char* frame);
void lcd_drawknight(int x, int y, int mode, unsigned char* frame);
void lcd_drawbishop(int x, int y, int mode, unsigned char* frame);
void lcd_drawrook(int x, int y, int mode, unsigned char* frame);
void lcd_drawqueen(int x, int y, int mode, unsigned char* frame);
void lcd_drawking(int x, int y, int mode, unsigned char* frame);
