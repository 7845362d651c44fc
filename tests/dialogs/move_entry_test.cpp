// Move entry: the cursor, the two OK phases and the move text for both colours, promotions and
// cancelling, with the move read from the server's end of a real socket and the cursor and
// markers read back from the framebuffer.
#include "shell/move_entry.h"

#include <string>

#include "board/board.h"
#include "board/cursor.h"
#include "shell/move_state.h"
#include "tests/dialogs/dialog_test_util.h"

namespace {

using dialogtest::key;

class MoveEntry : public ::testing::Test {
  protected:
    void SetUp() override
    {
        tv_tv_usec = dialogtest::kFastPollUsec;
        init();
        start("", 1);
    }
    // A game from the start position with one square changed ("e7P"; files a..h, ranks 1..8),
    // stored as the line interpreter stores it: turned half a turn while the user plays Black.
    // Nothing selected, the cursor on (4, 2) and not yet moved since the plugin was loaded.
    void start(std::string_view change, int color)
    {
        std::string files = kStartPosition;
        if (!change.empty())
            files[size_t((change[0] - 'a') * 8 + (change[1] - '1'))] = change[2];
        for (int i = 0; i < kSquares; ++i)
            zeforboard[i] = files[size_t(color != 0 ? i : kSquares - 1 - i)];
        my_color = color, WeAreNotPlaying = 0, moving_enabled = 1, whats_showed = kBoardView;
        cursorx = cursorxold = 4, cursory = cursoryold = 2, selection_phase = 1;
        marker1x = marker1y = marker2x = marker2y = LastMoveSent[0] = 0;
        snprintf(tempy, sizeof tempy, "     ");
        draw_chess_board(zeforboard, cursorxold, cursoryold, cursorx, cursory);
    }
    void keys(std::string_view letters) // R L U D for the arrows, O for OK
    {
        for (char letter : letters)
            letter == 'O' ? select_square() : move_cursor(key(letter));
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
    // The entry state: tempy, the phase and both marked squares.
    std::string selection() const
    {
        char text[64];
        snprintf(text, sizeof text, "%s|%d|%d%d%d%d", tempy, selection_phase, marker1x, marker1y,
                 marker2x, marker2y);
        return text;
    }
    testsupport::TestScreen screen;
    testsupport::TestRemote remote;
    testutil::ServerEnd server;
};

TEST_F(MoveEntry, SendsMovesForBothColoursAndAsksForThePromotionPiece)
{
    // Columns: the user's colour, the square changed, the keys from (4, 2), the keys the
    // promotion picker gets before the box asks to start over, whether connected, the text sent,
    // moving_enabled after.
    // clang-format off
    const std::tuple<int, const char*, const char*, const char*, bool, const char*, int> cases[] = {
        {1, "", "ROUUO", "", true, "e2e4", 0},
        {1, "", "OOUUO", "", true, "d2d4", 0}, // a second OK before the cursor ever moved: ignored
        {0, "", "OUUO", "", true, "e7e5", 0},  // column 4, rows 2 and 4: the e-file, ranks 7 and 5
        {0, "", "LLDORUUO", "", true, "g8f6", 0},
        {1, "e7P", "RUUUUUOUO", "DO", true, "e7e8=q", 0},
        {1, "b7P", "LLDDDORUO", "DDDO", true, "b7c8=n", 0},
        {0, "e2p", "UUUUUOUO", "DDO", true, "e2e1=r", 0},
        {0, "h2p", "LLLDDDOUO", "UDDDDO", true, "h2h1=b", 0},
        {1, "a7R", "LLLUUUUUOUO", "", true, "a7a8", 0}, // a rook opens no picker
        {1, "", "ROUUO", "", false, "", 0},  // unconnected: the entry ends as if sent
        {1, "e7P", "RUUUUUOUO", "", true, "", 1},  // left before a piece was chosen
        {1, "e7P", "RUUUUUOUO", "D", true, "e7e8=q", 0}, // left after choosing the queen
    };
    // clang-format on
    for (const auto& [color, change, entry, picker, connected, sent, may_move] : cases) {
        SCOPED_TRACE(std::string(entry) + " " + sent);
        start(change, color);
        icsFd = connected ? server.ours : 0;
        dialogtest::tap(remote, picker);
        remote.restart(); // ends a picker opened by mistake: nothing would be sent
        keys(entry);
        EXPECT_EQ(server.received(), *sent ? std::string(sent) + "\r\n" : "");
        EXPECT_STREQ(LastMoveSent, sent);
        EXPECT_EQ(moving_enabled, may_move);
        EXPECT_EQ(selection(), "     |1|0000");
        EXPECT_FALSE(marked(5, 7) || marked(5, 8)) << "markers removed";
        EXPECT_EQ(has_cursor(cursorx, cursory), may_move == 1) << "drawn while moving is enabled";
        dialogtest::drain();
    }
}

TEST_F(MoveEntry, OkSelectsAnOwnPieceAndOkOnAnyOwnPieceOnlyCancels)
{
    // Columns: keys from (4, 2) as White, the entry state after them.
    const std::pair<const char*, const char*> cases[] = {
        {"RO", "e2   |2|5200"},    {"ROO", "     |1|0000"},  {"ROOO", "e2   |2|5200"},
        {"ROLDO", "     |1|0000"}, {"ROLDOO", "d1   |2|4100"}, {"OO", "d2   |2|4200"},
        {"UUO", "     |1|0000"},   {"UUUUUUO", "     |1|0000"}, // empty, the opponent's queen
    };
    for (const auto& [entry, state] : cases) {
        start("", 1);
        keys(entry);
        EXPECT_EQ(selection(), state) << entry;
        EXPECT_EQ(marked(marker1x, marker1y), marker1x != 0) << entry << square(cursorx, cursory);
        EXPECT_FALSE(marked(5, 2) && marker1x != 5) << entry;
        EXPECT_TRUE(has_cursor(cursorx, cursory)) << entry;
    }
    EXPECT_EQ(server.received() + std::to_string(moving_enabled), "1");
}

TEST_F(MoveEntry, CursorWrapsAroundAtEveryEdge)
{
    // Columns: cursor square, key, square after it.
    const std::tuple<int, int, char, int, int> cases[] = {
        {8, 3, 'R', 1, 3}, {1, 5, 'L', 8, 5}, {6, 8, 'U', 6, 1}, {2, 1, 'D', 2, 8},
        {8, 8, 'R', 1, 8}, {1, 1, 'L', 8, 1}, {8, 8, 'U', 8, 1}, {1, 1, 'D', 1, 8},
        {4, 4, 'R', 5, 4}, {4, 4, 'L', 3, 4}, {4, 4, 'U', 4, 5}, {4, 4, 'D', 4, 3},
        {4, 4, '5', 4, 4}, // not a cursor key
    };
    for (const auto& [x, y, letter, to_x, to_y] : cases) {
        cursorx = cursorxold = x, cursory = cursoryold = y;
        draw_chess_board(zeforboard, x, y, x, y);
        move_cursor(key(letter));
        EXPECT_EQ(std::to_string(cursorx * 1000 + cursory * 100 + cursorxold * 10 + cursoryold),
                  std::to_string(to_x * 1000 + to_y * 100 + x * 10 + y))
            << x << "," << y << " " << letter;
        EXPECT_TRUE(has_cursor(to_x, to_y)) << square(to_x, to_y);
        EXPECT_EQ(has_cursor(x, y), letter == '5');
    }
}

TEST_F(MoveEntry, KeysChangeNothingWhileMovingIsNotAllowed)
{
    keys("ROU"); // a piece selected, the cursor on e3
    // Columns: moving_enabled, WeAreNotPlaying, whats_showed.
    const std::tuple<int, int, int> cases[] = {
        {0, 0, kBoardView}, {1, 1, kBoardView}, {1, 0, kHelpScreen}, {1, 0, kFullTelnet}};
    for (const auto& [enabled, not_playing, showed] : cases) {
        moving_enabled = enabled, WeAreNotPlaying = not_playing, whats_showed = showed;
        const uint32_t calls = screen.draw_calls();
        keys("RLUDOUO");
        EXPECT_EQ(screen.draw_calls(), calls);
        EXPECT_EQ(selection() + std::to_string(cursorx * 1000 + cursory * 100 + cursorxold * 10 +
                                               cursoryold + moving_enabled * 10000),
                  "e2   |2|5200" + std::to_string(5352 + enabled * 10000));
    }
    EXPECT_EQ(server.received(), "");
}

TEST_F(MoveEntry, MarkerSurvivesTheCursorAndGoesWithTheMoveOrAnOldRun)
{
    keys("RO");
    for (const char* step : {"U", "D", "L", "R", "R"}) {
        keys(step);
        EXPECT_TRUE(marked(5, 2)) << "after " << step << "\n" << square(5, 2);
        EXPECT_TRUE(has_cursor(cursorx, cursory));
    }
    EXPECT_FALSE(has_cursor(5, 2));
    // A new run of the plugin sets phase 1 but leaves the marker coordinates of the selection:
    // the cursor passing that square must not bring the old mark back.
    keys("LU");
    selection_phase = 1;
    draw_chess_board(zeforboard, cursorxold, cursoryold, cursorx, cursory);
    keys("D");
    EXPECT_FALSE(marked(5, 2)) << square(5, 2);
    keys("U");
    EXPECT_FALSE(marked(5, 2)) << square(5, 2);
    // Sending takes markers and cursor away: the target square shows only its own colour.
    keys("DOUUO");
    EXPECT_EQ(server.received(), "e2e4\r\n");
    EXPECT_FALSE(marked(5, 2));
    EXPECT_TRUE(screen.all(field_left(5), field_top(4), FieldWidth, FieldHeight, field_color(5, 4)))
        << square(5, 4);
}

} // namespace
