// The promotion picker: the test for a pawn move to the last rank, and the modal dialog that
// asks which piece the pawn becomes. Owns no globals; reads my_color and tv_tv_usec.
#pragma once

// Piece letters in the picker's order, top to bottom; the picker returns them in lower case.
constexpr char kPromotionLetters[] = "qrnb";
constexpr int kPromotionChoices = 4;
static_assert(sizeof(kPromotionLetters) - 1 == kPromotionChoices);

constexpr int kNoSelection = -1;
// What pitaj_koja_figura returns when the user leaves before choosing a piece.
constexpr char kNoPromotion = '\0';

// The box and the four pieces (queen, rook, knight, bishop from the top, 50 pixels apart).
constexpr int kPickerX = 112, kPickerY = 115, kPickerWidth = 230, kPickerHeight = 215;
constexpr int kPickerPieceX = 142, kPickerPieceY = 120, kPickerPieceStep = 50;
constexpr unsigned char kPickerPaper = 1;
constexpr unsigned char kPickerOutline = 2;
constexpr unsigned char kPickerFill = 13;
constexpr unsigned char kPickerPointer = 4;

// 1 when move (at least four bytes: from-file, from-rank, to-file, to-rank) starts on a square
// of board holding a pawn of either colour and ends on rank 1 or 8; else 0. board is in screen
// order and is turned back first while the user plays Black (my_color 0). A move text naming a
// square off the board is not a promotion.
int pawn_is_promoting(const char* move, const char* board);

// Draws the box, the four pieces and the pointer (three lines) at the piece of selection s,
// -1..3; for -1 the pointer stands one step above the queen, above the box.
void display_promotions(int s);

// Runs the picker: UP and DOWN choose (both choose the queen first, and stop at either end), OK
// on a chosen piece blanks the box and returns its letter, OK before any choice blanks the box
// and keeps waiting. When doexit becomes nonzero it returns at once: the letter chosen so far,
// or kNoPromotion if none was.
char pitaj_koja_figura();
