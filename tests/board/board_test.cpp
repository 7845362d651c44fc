// The board on pixels: whole-screen golden images of the start position for either side and of a
// middlegame with both marks and the cursor; then the cursor and the marks moved and erased.
// When a change of the picture is intended, rewrite them with VITREL_UPDATE_GOLDEN=1 ctest -R
// Golden
#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include "board/board.h"
#include "board/cursor.h"
#include "ics/game_state.h"
#include "tests/support/test_screen.h"

namespace {

class BoardGolden : public ::testing::Test {
  protected:
    void SetUp() override
    {
        init();
        std::memcpy(zeforboard, kStartPosition, sizeof kStartPosition);
    }
    testsupport::TestScreen screen;
};

class CursorAndMarkers : public BoardGolden {
  protected:
    void SetUp() override
    {
        BoardGolden::SetUp();
        moving_enabled = 1;
        WeAreNotPlaying = 0;
        draw_chess_board(zeforboard, 0, 0, 0, 0);
        plain = screen.snapshot();
    }
    int blue(int c = 0, int r = 0) const // on square (c, r), or on the whole screen
    {
        return c ? screen.count(field_left(c), field_top(r), 48, 48, 13)
                 : screen.count(0, 0, 720, 576, 13);
    }
    std::vector<uint8_t> plain;
};

} // namespace

// For Black the array comes turned, and any my_color but 1 turns the labels. No cursor while
// nobody may move.
TEST_F(BoardGolden, StartPositionForWhiteAndForBlack)
{
    draw_chess_board(zeforboard, 4, 2, 4, 2);
    EXPECT_TRUE(screen.matches_golden("board_start_white"));
    std::reverse(zeforboard, zeforboard + kSquares);
    for (const int colour : {0, 2}) {
        my_color = colour;
        draw_chess_board(zeforboard, 4, 2, 4, 2);
        EXPECT_TRUE(screen.matches_golden("board_start_black")) << "my_color " << colour;
    }
}

// White to move in a Ruy Lopez: the knight on f3 is chosen, e5 is the target and the cursor
// stands on it, inside the mark.
TEST_F(BoardGolden, MiddlegameWithMarksAndCursor)
{
    const char* ranks = "r.bqk..r.pppbpppp.n..n......p...B...P........N..PPPP.PPPRNBQ.RK.";
    for (int i = 0; i < kSquares; ++i) // rank 8 first, files a to h
        zeforboard[square_index(i % 8 + 1, 8 - i / 8)] = ranks[i] == '.' ? ' ' : ranks[i];
    moving_enabled = 1;
    WeAreNotPlaying = 0;
    draw_chess_board(zeforboard, 6, 3, 5, 5);
    draw_markers(zeforboard, 6, 3, 5, 5);
    EXPECT_TRUE(screen.matches_golden("board_middlegame"));
}

// The old square is redrawn, then the cursor drawn on the new one; a column or row off the board
// means no square.
TEST_F(CursorAndMarkers, MovingTheCursorErasesItFromTheOldSquare)
{
    draw_cursor(zeforboard, 3, 8, 3, 8);
    EXPECT_GT(blue(3, 8), 0);
    draw_cursor(zeforboard, 3, 8, 8, 1);
    EXPECT_GT(blue(8, 1), 0);
    EXPECT_EQ(blue(), blue(8, 1)) << "the cursor stayed on its old square";
    draw_cursor(zeforboard, 8, 1, 0, 5);
    draw_cursor(zeforboard, 0, 0, 9, 1);
    draw_cursor(zeforboard, -1, 4, 3, 0);
    EXPECT_EQ(screen.changed_since(plain), 0);
}

TEST_F(CursorAndMarkers, CursorStaysAwayWhileTheUserMayNotMove)
{
    // Columns: moving_enabled, WeAreNotPlaying.
    const std::pair<int, int> rows[] = {{0, 0}, {0, 1}, {1, 1}};
    draw_cursor(zeforboard, 4, 2, 4, 2);
    const std::vector<uint8_t> with_cursor = screen.snapshot();
    for (const auto& [moving, not_playing] : rows) {
        moving_enabled = moving;
        WeAreNotPlaying = not_playing;
        draw_cursor(zeforboard, 4, 2, 5, 5);
        EXPECT_EQ(screen.changed_since(with_cursor), 0) << moving << ", " << not_playing;
    }
}

// Each pair with both coordinates on the board gets a mark, two nested outlines of 44 and 42
// pixels; removing the same pairs gives back the squares with their pieces.
TEST_F(CursorAndMarkers, MarksOnlyTheGivenPairsAndRemovesThemAgain)
{
    // Columns: m1col, m1row, m2col, m2row, marks expected.
    const int rows[][5] = {{0, 0, 0, 0, 0}, {5, 2, 0, 0, 1}, {5, 2, 7, 8, 2}, {0, 2, 8, 8, 1},
                           {5, 0, 0, 4, 0}, {9, 2, 5, 9, 0}, {1, 8, 1, 1, 2}};
    for (const auto& m : rows) {
        draw_markers(zeforboard, m[0], m[1], m[2], m[3]);
        EXPECT_EQ(blue(), m[4] * (4 * 43 + 4 * 41)) << m[0] << m[1] << " " << m[2] << m[3];
        remove_markers(zeforboard, m[0], m[1], m[2], m[3]);
        EXPECT_EQ(screen.changed_since(plain), 0) << m[0] << m[1] << " " << m[2] << m[3];
    }
}
