// Move entry: the cursor, the two OK phases, the move text for both colours, promotions and
// cancelling, with the move read from the server's end of a real socket and the cursor and
// markers read back from the framebuffer.
#include "shell/move_entry.h"

#include <string>
#include <vector>

#include "board/board.h"
#include "board/cursor.h"
#include "board/promotion.h"
#include "dialog_test_util.h"
#include "shell/move_state.h"

namespace {

using dialogtest::ServerEnd;
using testsupport::TestRemote;
using testsupport::TestScreen;

constexpr int kRight = kKeyRight, kLeft = kKeyLeft, kUp = kKeyUp, kDown = kKeyDown;

// A board in file order (files a..h, each from rank 1 up) stored as the line interpreter stores
// it for the user's colour: turned half a turn while the user plays Black.
void load_board(const char* files, int color)
{
    for (int i = 0; i < kSquares; ++i)
        zeforboard[i] = files[color != 0 ? i : kSquares - 1 - i];
    my_color = color;
}

// The start position with one square changed.
std::string start_with(const char* square, char piece)
{
    std::string files = kStartPosition;
    files[static_cast<size_t>((square[0] - 'a') * 8 + (square[1] - '1'))] = piece;
    return files;
}

class MoveEntry : public ::testing::Test {
  protected:
    void SetUp() override
    {
        tv_tv_usec = dialogtest::kFastPollUsec;
        init();
        load_board(kStartPosition, 1);
        WeAreNotPlaying = 0;
        moving_enabled = 1;
        draw_chess_board(zeforboard, cursorxold, cursoryold, cursorx, cursory);
    }

    void keys(std::initializer_list<int> codes)
    {
        for (int code : codes) {
            if (code == kKeyOk)
                select_square();
            else
                move_cursor(code);
        }
    }

    bool marked(int c, int r) const
    {
        return screen.pixel(field_left(c) + 2, field_top(r) + 2) == kMarkerColor &&
               screen.pixel(field_left(c) + 3, field_top(r) + 3) == kMarkerColor;
    }
    bool has_cursor(int c, int r) const
    {
        return screen.pixel(field_left(c) + 23, field_top(r) + 23) == kCursorCore &&
               screen.pixel(field_left(c) + 9, field_top(r) + 22) == kCursorOutline;
    }
    std::string square(int c, int r) const
    {
        return screen.dump(field_left(c), field_top(r), FieldWidth, FieldHeight);
    }

    void expect_nothing_selected()
    {
        EXPECT_STREQ(tempy, "     ");
        EXPECT_EQ(selection_phase, 1);
        EXPECT_EQ(marker1x, 0);
        EXPECT_EQ(marker1y, 0);
        EXPECT_EQ(marker2x, 0);
        EXPECT_EQ(marker2y, 0);
    }

    TestScreen screen;
    TestRemote remote;
    ServerEnd server;
};

TEST_F(MoveEntry, SendsAWhiteMoveInCoordinateNotation)
{
    keys({kRight, kKeyOk});
    EXPECT_STREQ(tempy, "e2   ");
    EXPECT_EQ(selection_phase, 2);
    keys({kUp, kUp, kKeyOk});
    EXPECT_EQ(server.received(), "e2e4\r\n");
    EXPECT_EQ(moving_enabled, 0);
    expect_nothing_selected();
}

TEST_F(MoveEntry, NamesSquaresOfTheTurnedBoardForBlack)
{
    load_board(kStartPosition, 0);
    keys({kKeyOk});
    EXPECT_STREQ(tempy, "e7   ");
    keys({kUp, kUp, kKeyOk});
    EXPECT_EQ(server.received(), "e7e5\r\n");

    moving_enabled = 1;
    keys({kLeft, kLeft, kDown, kDown, kDown, kKeyOk, kRight, kUp, kUp, kKeyOk});
    EXPECT_EQ(server.received(), "e7e5\r\ng8f6\r\n");
}

TEST_F(MoveEntry, AsksForThePromotionPieceForBothColours)
{
    // Columns: the user's colour, the pawn and its square (file order), the keys that bring the
    // cursor there from (4, 2) and on to the last rank, the picker's keys, the move sent.
    struct Row {
        int color;
        char pawn;
        const char* from;
        std::vector<int> to_pawn, to_target, picker;
        const char* sent;
    };
    const Row rows[] = {
        {1, 'P', "e7", {kRight, kUp, kUp, kUp, kUp, kUp}, {kUp}, {kDown, kKeyOk}, "e7e8q\r\n"},
        {1,
         'P',
         "b7",
         {kLeft, kLeft, kDown, kDown, kDown},
         {kRight, kUp},
         {kDown, kDown, kDown, kKeyOk},
         "b7c8n\r\n"},
        {0, 'p', "e2", {kUp, kUp, kUp, kUp, kUp}, {kUp}, {kDown, kDown, kKeyOk}, "e2e1r\r\n"},
        {0,
         'p',
         "h2",
         {kLeft, kLeft, kLeft, kDown, kDown, kDown},
         {kUp},
         {kUp, kDown, kDown, kDown, kDown, kKeyOk},
         "h2h1b\r\n"},
    };
    for (const Row& row : rows) {
        load_board(start_with(row.from, row.pawn).c_str(), row.color);
        cursorx = cursorxold = 4;
        cursory = cursoryold = 2;
        moving_enabled = 1;
        for (int key : row.to_pawn)
            move_cursor(key);
        select_square();
        ASSERT_EQ(selection_phase, 2) << row.from;
        for (int key : row.to_target)
            move_cursor(key);
        for (int key : row.picker)
            remote.tap(key);
        const std::string before = server.received();
        select_square();
        EXPECT_EQ(server.received().substr(before.size()), row.sent);
        EXPECT_EQ(dialogtest::queued_bytes(remote), 0);
        expect_nothing_selected();
        EXPECT_EQ(moving_enabled, 0);
    }
}

TEST_F(MoveEntry, OpensNoPickerForARookReachingTheLastRank)
{
    load_board(start_with("a7", 'R').c_str(), 1);
    keys({kLeft, kLeft, kLeft, kUp, kUp, kUp, kUp, kUp, kKeyOk, kUp});
    remote.restart(); // would end a picker opened by mistake, and no move would be sent
    keys({kKeyOk});
    EXPECT_EQ(server.received(), "a7a8\r\n");
    EXPECT_EQ(doexit, 0);
    EXPECT_EQ(dialogtest::queued_bytes(remote), 2);
}

TEST_F(MoveEntry, OkOnTheSelectedSquareCancelsAndASecondOkSelectsAgain)
{
    keys({kRight, kKeyOk});
    ASSERT_TRUE(marked(5, 2));
    keys({kKeyOk});
    expect_nothing_selected();
    EXPECT_FALSE(marked(5, 2)) << square(5, 2);
    EXPECT_TRUE(has_cursor(5, 2));
    keys({kKeyOk});
    EXPECT_EQ(selection_phase, 2);
    EXPECT_EQ(marker1x, 5);
    EXPECT_EQ(marker1y, 2);
    EXPECT_TRUE(marked(5, 2));
    EXPECT_EQ(server.received(), "");
    EXPECT_EQ(moving_enabled, 1);
}

TEST_F(MoveEntry, OkOnAnotherOwnPieceOnlyCancels)
{
    keys({kRight, kKeyOk, kLeft, kDown, kKeyOk});
    expect_nothing_selected();
    EXPECT_FALSE(marked(5, 2));
    EXPECT_FALSE(marked(4, 1));
    keys({kKeyOk});
    EXPECT_EQ(marker1x, 4);
    EXPECT_EQ(marker1y, 1);
    EXPECT_STREQ(tempy, "d1   ");
    EXPECT_EQ(server.received(), "");
}

TEST_F(MoveEntry, OkOnAnEmptySquareOrAnOpponentPieceSelectsNothing)
{
    keys({kUp, kUp, kKeyOk});
    expect_nothing_selected();
    keys({kUp, kUp, kUp, kUp, kKeyOk});
    expect_nothing_selected();
    EXPECT_FALSE(marked(4, 4));
    EXPECT_FALSE(marked(4, 8));
}

TEST_F(MoveEntry, CursorWrapsAroundAtEveryEdge)
{
    // Columns: cursor square, key, square after it.
    struct Row {
        int x, y, key, to_x, to_y;
    };
    const Row rows[] = {
        {8, 3, kRight, 1, 3}, {1, 5, kLeft, 8, 5}, {6, 8, kUp, 6, 1}, {2, 1, kDown, 2, 8},
        {8, 8, kRight, 1, 8}, {1, 1, kLeft, 8, 1}, {8, 8, kUp, 8, 1}, {1, 1, kDown, 1, 8},
        {4, 4, kRight, 5, 4}, {4, 4, kLeft, 3, 4}, {4, 4, kUp, 4, 5}, {4, 4, kDown, 4, 3},
        {4, 4, kKeyOk, 4, 4}, {4, 4, 5, 4, 4},
    };
    for (const Row& row : rows) {
        cursorx = row.x;
        cursory = row.y;
        draw_chess_board(zeforboard, row.x, row.y, row.x, row.y);
        move_cursor(row.key);
        EXPECT_EQ(cursorx, row.to_x) << row.x << "," << row.y << " key " << row.key;
        EXPECT_EQ(cursory, row.to_y) << row.x << "," << row.y << " key " << row.key;
        if (row.key >= kRight && row.key <= kDown) {
            EXPECT_EQ(cursorxold, row.x);
            EXPECT_EQ(cursoryold, row.y);
            EXPECT_TRUE(has_cursor(row.to_x, row.to_y)) << square(row.to_x, row.to_y);
            EXPECT_FALSE(has_cursor(row.x, row.y));
        }
    }
}

TEST_F(MoveEntry, KeysChangeNothingWhileMovingIsNotAllowed)
{
    keys({kRight, kKeyOk, kUp}); // a piece selected, the cursor on e3
    const std::string tempy_before = tempy;
    // Columns: moving_enabled, WeAreNotPlaying, whats_showed.
    struct Row {
        int enabled, not_playing, showed;
    };
    const Row rows[] = {
        {0, 0, kBoardView}, {1, 1, kBoardView}, {1, 0, kHelpScreen}, {1, 0, kFullTelnet}};
    for (const Row& row : rows) {
        moving_enabled = row.enabled;
        WeAreNotPlaying = row.not_playing;
        whats_showed = row.showed;
        EXPECT_FALSE(moving_allowed());
        const uint32_t calls = screen.draw_calls();
        keys({kRight, kLeft, kUp, kDown, kKeyOk, kUp, kKeyOk});
        EXPECT_EQ(screen.draw_calls(), calls);
        EXPECT_EQ(cursorx, 5);
        EXPECT_EQ(cursory, 3);
        EXPECT_EQ(cursorxold, 5);
        EXPECT_EQ(cursoryold, 2);
        EXPECT_EQ(selection_phase, 2);
        EXPECT_EQ(tempy, tempy_before);
        EXPECT_EQ(moving_enabled, row.enabled);
    }
    EXPECT_EQ(server.received(), "");
}

TEST_F(MoveEntry, MarkerSurvivesTheCursorPassingOverIt)
{
    keys({kRight, kKeyOk});
    EXPECT_TRUE(marked(5, 2));
    EXPECT_TRUE(has_cursor(5, 2));
    keys({kUp});
    EXPECT_TRUE(marked(5, 2)) << square(5, 2);
    EXPECT_TRUE(has_cursor(5, 3));
    EXPECT_FALSE(has_cursor(5, 2));
    keys({kDown});
    EXPECT_TRUE(marked(5, 2)) << square(5, 2);
    EXPECT_TRUE(has_cursor(5, 2));
    keys({kLeft, kRight, kRight});
    EXPECT_TRUE(marked(5, 2)) << square(5, 2);
    EXPECT_TRUE(has_cursor(6, 2));
}

// A new run of the plugin sets phase 1 but leaves the marker coordinates of a selection that the
// earlier run left open: the cursor passing that square must not bring the old mark back.
TEST_F(MoveEntry, CursorBringsBackNoMarkOfASelectionThatWasReset)
{
    keys({kRight, kKeyOk, kUp});
    ASSERT_EQ(marker1x, 5);
    selection_phase = 1; // what the start of a new run does
    draw_chess_board(zeforboard, cursorxold, cursoryold, cursorx, cursory);
    keys({kDown});
    EXPECT_TRUE(has_cursor(5, 2));
    EXPECT_FALSE(marked(5, 2)) << square(5, 2);
    keys({kUp});
    EXPECT_FALSE(marked(5, 2)) << square(5, 2);
}

TEST_F(MoveEntry, SendingRemovesMarkersAndCursor)
{
    keys({kRight, kKeyOk, kUp, kUp, kKeyOk});
    EXPECT_FALSE(marked(5, 2));
    EXPECT_FALSE(marked(5, 4));
    EXPECT_FALSE(has_cursor(5, 4));
    EXPECT_TRUE(screen.all(field_left(5), field_top(4), FieldWidth, FieldHeight, field_color(5, 4)))
        << square(5, 4);
    keys({kUp, kKeyOk});
    EXPECT_EQ(cursory, 4);
    EXPECT_EQ(server.received(), "e2e4\r\n");
}

TEST_F(MoveEntry, SecondOkIsIgnoredUntilTheCursorFirstMoves)
{
    keys({kKeyOk, kKeyOk});
    EXPECT_EQ(selection_phase, 2);
    EXPECT_EQ(marker1x, 4);
    EXPECT_EQ(marker1y, 2);
    EXPECT_TRUE(marked(4, 2));
    keys({kUp, kUp, kKeyOk});
    EXPECT_EQ(server.received(), "d2d4\r\n");
}

TEST_F(MoveEntry, UnconnectedMoveIsNotSentButEndsTheEntry)
{
    const int connected = icsFd;
    icsFd = 0;
    keys({kRight, kKeyOk, kUp, kUp, kKeyOk});
    icsFd = connected;
    EXPECT_EQ(server.received(), "");
    EXPECT_EQ(moving_enabled, 0);
    expect_nothing_selected();
}

TEST_F(MoveEntry, LeavingInsideThePromotionPickerSendsNothingAndCancels)
{
    load_board(start_with("e7", 'P').c_str(), 1);
    keys({kRight, kUp, kUp, kUp, kUp, kUp, kKeyOk, kUp});
    remote.restart();
    keys({kKeyOk});
    EXPECT_EQ(doexit, 1);
    EXPECT_EQ(server.received(), "");
    expect_nothing_selected();
    EXPECT_EQ(moving_enabled, 1);
    EXPECT_FALSE(marked(5, 7));
    EXPECT_FALSE(marked(5, 8));
}

TEST_F(MoveEntry, LeavingAfterChoosingAPromotionPieceSendsTheMove)
{
    load_board(start_with("e7", 'P').c_str(), 1);
    keys({kRight, kUp, kUp, kUp, kUp, kUp, kKeyOk, kUp});
    remote.tap(kDown);
    remote.restart();
    keys({kKeyOk});
    EXPECT_EQ(server.received(), "e7e8q\r\n");
    EXPECT_EQ(moving_enabled, 0);
    expect_nothing_selected();
}

} // namespace
