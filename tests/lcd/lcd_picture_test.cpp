// The LCD picture on a frame in plain memory: golden frames of a main-loop pass for each piece
// and for an empty square over a lit frame, the square the cursor reads, and the text printer.
// The frames are tests/golden/lcd_*.png, a lit pixel index 1 (white). When a change of the
// picture is intended, rewrite them with VITREL_UPDATE_GOLDEN=1 ctest -R LcdGolden.
#include <climits>
#include <array>
#include <string>

#include <gtest/gtest.h>

#include "lcd/picture.h"
#include "sim/boxsim/box_fs.h"
#include "tests/support/test_screen.h"

namespace {

using Frame = boxsim::LcdFrame;

::testing::AssertionResult matches_golden(const Frame& frame, const std::string& name)
{
    static const uint8_t palette[256][3] = {{0, 0, 0}, {255, 255, 255}};
    std::array<uint8_t, kLcdWidth * kLcdHeight> lit;
    for (int y = 0; y < kLcdHeight; ++y)
        for (int x = 0; x < kLcdWidth; ++x)
            lit[y * kLcdWidth + x] = boxsim::lcd_pixel_lit(frame, x, y);
    return testsupport::matches_golden_image("lcd_" + name, kLcdWidth, kLcdHeight, lit.data(),
                                             palette);
}

// A main-loop pass over `frame` with the cursor on (column, row) of a board holding `square`
// everywhere but at `index`, which holds `other`.
Frame after_pass(char square, int column, int row, Frame frame = {}, int index = 0, char other = 0)
{
    std::string board(64, square);
    board[index] = other ? other : square;
    lcd_draw_current_piece(board.c_str(), column, row, kLcdSet, frame.data());
    return frame;
}

Frame printed(int x, int y, const char* text, char mode, Frame frame = {})
{
    lcd_print_string(x, y, text, frame.data(), mode);
    return frame;
}

} // namespace

// The piece stands on row 60 from column 10, its outline drawn as lines; white and black pieces
// look the same; the intro is drawn over it.
TEST(LcdGolden, PassShowsThePieceOfItsLetter)
{
    const std::pair<char, const char*> pieces[] = {{'P', "pawn"}, {'N', "knight"}, {'B', "bishop"},
                                                   {'R', "rook"}, {'Q', "queen"},  {'K', "king"}};
    for (auto [letter, name] : pieces) {
        EXPECT_TRUE(matches_golden(after_pass(letter, 4, 5), name));
        EXPECT_EQ(after_pass(static_cast<char>(letter + 'a' - 'A'), 4, 5), after_pass(letter, 4, 5))
            << name;
    }
}

// Over a lit frame: the piece area cleared, the six outlines on top of each other for an empty
// square or a cursor off the board, the intro drawn over it with every pixel of its cells written.
TEST(LcdGolden, PassOnAnEmptySquareOverALitFrame)
{
    Frame lit;
    lit.fill(0xff);
    for (const char empty : {' ', '\0', '.', 'x'})
        EXPECT_TRUE(matches_golden(after_pass(empty, 3, 3, lit), "pass_over_lit")) << int(empty);
    for (auto [column, row] : {std::pair{0, 1}, {9, 8}, {1, 0}, {8, 9}, {-3, -3}})
        EXPECT_TRUE(matches_golden(after_pass('R', column, row, lit), "pass_over_lit"))
            << column << ", " << row;
}

TEST(LcdPiece, CursorReadsTheSquareAtColumnMinusOneTimesEightPlusRowMinusOne)
{
    // Columns: column, row, board byte.
    const int rows[][3] = {{1, 1, 0}, {8, 8, 63}, {2, 1, 8}, {1, 2, 1}, {5, 3, 34}};
    for (const auto& r : rows)
        EXPECT_EQ(after_pass('p', r[0], r[1], {}, r[2], 'r'), after_pass('R', 1, 1))
            << "column " << r[0] << " row " << r[1] << " should read byte " << r[2];
}

// Characters outside the set are left out without a gap; any mode but 'B' acts as 'W'.
TEST(LcdText, LeavesOutCharactersOutsideTheSetAndStopsAfter120)
{
    EXPECT_EQ(printed(0, 40, "A\"B\\C\x01\x80", 'B'), printed(0, 40, "ABC", 'B'));
    // Rows wholly off the display draw nothing, without y + row leaving int's range.
    for (const int y : {-18, 64, INT_MAX - 5})
        EXPECT_EQ(printed(0, y, "AB", 'B'), Frame{}) << y;
    for (const char mode : {'w', 'b', 'X', '\0'})
        EXPECT_EQ(printed(12, 12, "Qa", mode), printed(12, 12, "Qa", 'W')) << int(mode);
    // 130 inverse spaces from 1185 pixels left of the display: the 119th reaches 5 columns onto
    // it, the 120th lands on columns 5 to 14, and no further one is drawn.
    EXPECT_EQ(printed(-1185, 0, std::string(130, ' ').c_str(), 'B'),
              printed(5, 0, " ", 'B', printed(0, 0, " ", 'B')));
}
