// Whole-screen golden images of the board: the start position for White, the same for Black
// (board turned as the line interpreter stores it), and a middlegame with both marks and the
// cursor, one of them sharing a square.
//
// The images are tests/golden/board_*.png, indexed PNGs carrying the palette. When a change of
// the picture is intended, look at the new picture, then rewrite the files with
//   VITREL_UPDATE_GOLDEN=1 ctest --test-dir build/default -R BoardGolden
// and commit them with the change.
#include <array>
#include <cstring>

#include <gtest/gtest.h>

#include "board/board.h"
#include "board/cursor.h"
#include "ics/game_state.h"
#include "shell/move_state.h"
#include "tests/support/test_screen.h"

using testsupport::TestScreen;

namespace {

// Fills zeforboard for a user playing White from eight ranks, rank 8 first, "." for empty.
void set_position_for_white(const std::array<const char*, 8>& ranks)
{
    for (int rank = 8; rank >= 1; --rank)
        for (int file = 0; file < 8; ++file) {
            const char c = ranks[8 - rank][file];
            zeforboard[file * 8 + rank - 1] = c == '.' ? ' ' : c;
        }
}

void turn_for_black()
{
    std::array<char, kSquares> copy{};
    std::memcpy(copy.data(), zeforboard, kSquares);
    for (int i = 0; i < kSquares; ++i)
        zeforboard[i] = copy[kSquares - 1 - i];
}

class BoardGolden : public ::testing::Test {
  protected:
    void SetUp() override
    {
        init();
        std::memcpy(zeforboard, kStartPosition, sizeof kStartPosition);
    }
    TestScreen screen;
};

} // namespace

TEST_F(BoardGolden, StartPositionForWhite)
{
    draw_chess_board(zeforboard, cursorxold, cursoryold, cursorx, cursory);
    EXPECT_TRUE(screen.matches_golden("board_start_white"));
}

TEST_F(BoardGolden, StartPositionForBlackIsTurned)
{
    turn_for_black();
    my_color = 0;
    draw_chess_board(zeforboard, cursorxold, cursoryold, cursorx, cursory);
    EXPECT_TRUE(screen.matches_golden("board_start_black"));
}

// White to move in a Ruy Lopez: the knight on f3 is chosen, e5 is the target and the cursor
// stands on it, inside the mark.
TEST_F(BoardGolden, MiddlegameWithMarksAndCursor)
{
    set_position_for_white({
        "r.bqk..r",
        ".pppbppp",
        "p.n..n..",
        "....p...",
        "B...P...",
        ".....N..",
        "PPPP.PPP",
        "RNBQ.RK.",
    });
    moving_enabled = 1;
    WeAreNotPlaying = 0;
    draw_chess_board(zeforboard, 6, 3, 5, 5);
    draw_markers(zeforboard, 6, 3, 5, 5);
    EXPECT_TRUE(screen.matches_golden("board_middlegame"));
}
