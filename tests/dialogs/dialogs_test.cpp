// Move entry and the modal dialogs (promotion picker, command picker, word entry) through the
// stand-in remote, read back from the framebuffer and the server's end of a real socket.

#include <string>
#include <string_view>

#include "board/board.h"
#include "board/cursor.h"
#include "board/promotion.h"
#include "dialogs/command_picker.h"
#include "dialogs/command_table.h"
#include "dialogs/word_entry.h"
#include "host/gx9.h"
#include "shell/move_entry.h"
#include "shell/move_state.h"
#include "shell/screen_mode.h"
#include "tests/ics/server_end.h"
#include "tests/support/test_screen.h"

namespace {
// Polls quickly so that a test with many keys runs in milliseconds.
constexpr int kFastPollUsec = 1000;

// A key by its letter: R L U D O for the arrows and OK, Y X B H E for YELLOW, RED, BLUE, HELP
// and EXIT, a digit for itself.
int key(char letter)
{
    constexpr std::string_view kFromRight = "RLUDO...YXB..H.E"; // codes 10 to 25
    return letter >= '0' && letter <= '9' ? letter - '0' : 10 + int(kFromRight.find(letter));
}
void tap(testsupport::TestRemote& remote, std::string_view letters)
{
    for (char letter : letters)
        remote.tap(key(letter));
}

// Takes every event still queued and forgets what it did: no key held, no request to leave.
void drain()
{
    for (int i = 0; i < 64; ++i)
        RcGetActCode();
    actcode = realcode = kKeyNone, doexit = 0;
}

using testsupport::TestScreen;

class Dialog : public ::testing::Test {
  protected:
    void SetUp() override
    {
        tv_tv_usec = kFastPollUsec;
        fill_fics_cmds();
        screen.fill(5);
    }
    TestScreen screen;
    testsupport::TestRemote remote;
};

TEST(PromotionTest, RecognisesAPawnReachingTheLastRankOnEitherBoard)
{
    // Columns: piece, its square (files a..h, ranks 1..8), my_color, move text, result. While
    // the user plays Black the board is stored turned and turned back for the test.
    // clang-format off
    const std::tuple<char, const char*, int, const char*, int> cases[] = {
        {'P', "e7", 1, "e7e8", 1}, {'R', "e7", 1, "e7e8", 0}, {'p', "e2", 0, "e2e1", 1},
        {'p', "e2", 1, "e2e1", 1}, // neither the colour nor the direction is checked
        {'P', "a7", 0, "a7b8", 1}, {'P', "h2", 1, "h2h1", 1}, {'P', "e4", 1, "e4e5", 0},
        {'p', "d5", 0, "d5d4", 0}, {'P', "e7", 1, "e6e8", 0}, // no pawn on the from-square
        {'P', "a1", 1, "a1a8", 1}, {'p', "h8", 0, "h8h1", 1}, // the corners of the copy
        {'p', "a1", 0, "a1a8", 1}, {'P', "h8", 1, "h8h1", 1},
        {'P', "e7", 1, "e7e9", 0}, {'P', "e7", 1, "i7e8", 0}, // off the board: not read
        {'P', "e7", 1, "e0e8", 0}, {'P', "e7", 1, "e7", 0},   {'P', "e7", 1, "", 0},
    };
    // clang-format on
    for (const auto& [piece, square, color, move, expected] : cases) {
        std::string board(kSquares, ' ');
        board[size_t(square_index(square[0] - 'a' + 1, square[1] - '0'))] = piece;
        if (color == 0)
            board.assign(board.rbegin(), board.rend());
        my_color = color;
        EXPECT_EQ(pawn_is_promoting(move, board.c_str()), expected)
            << piece << " on " << square << " colour " << color << " move " << move;
    }
}

// The black box at (112, 115), 230 x 215, the queen, rook, knight and bishop 50 pixels apart in
// blue with white outlines, and the pointer's three lines from 10 pixels right of the chosen
// piece's middle (above the box for none) to x 600.
TEST(PromotionPicker, DrawsBoxPiecesAndThePointer)
{
    for (int s : {-1, 2}) {
        TestScreen screen;
        screen.fill(6);
        display_promotions(s);
        EXPECT_TRUE(screen.matches_golden("promotion_picker_" + std::to_string(s + 1)));
        EXPECT_EQ(screen.pixel(600, 139 + 50 * s) * 10 + screen.pixel(601, 159 + 50 * s), 46);
    }
}

TEST_F(Dialog, PromotionPickerChoosesWithUpAndDownAndReturnsTheLetterOnOk)
{
    // Columns: keys (D U for the arrows, O for OK, others ignored), the letter returned.
    const std::pair<const char*, char> cases[] = {
        {"DO", 'q'},      {"UO", 'q'},  {"DDO", 'r'},  {"DDDO", 'n'},     {"DDDDDO", 'b'},
        {"DDDDDUO", 'n'}, {"DUUO", 'q'}, {"ODO", 'q'}, {"LR5YD2DO", 'r'}, // OK before a choice
    };
    for (const auto& [keys, letter] : cases) {
        tap(remote, keys);
        EXPECT_EQ(pitaj_koja_figura(), letter) << keys;
        EXPECT_TRUE(screen.all(kPickerX, kPickerY, kPickerWidth, kPickerHeight, 1))
            << screen.dump(kPickerX, kPickerY, 60, 60);
    }
    // Leaving: the letter chosen so far, none before a choice.
    tap(remote, "O");
    remote.restart();
    EXPECT_EQ(pitaj_koja_figura(), kNoPromotion);
    drain();
    tap(remote, "DDD");
    // Held down, a key repeats its press; the dialogs wait for its release and take no repeat.
    for (int i = 0; i < 3; ++i)
        remote.press(kKeyUp);
    remote.restart();
    EXPECT_EQ(pitaj_koja_figura(), 'r');
    EXPECT_GT(screen.count(140, 120, 45, 50, kPickerFill), 100) << "the picker is still shown";
}

TEST_F(Dialog, CommandPickerStepsWrapsJumpsToTheFirstOrLastRowAndReturnsTheRowShown)
{
    // The row as the command bar shows it: the word, its space, and blanks up to 15 cells.
    const auto row_text = [](int row) {
        const std::string text = fics_cmds[row].text;
        return text + std::string(15 - text.size(), ' ');
    };
    // Columns: the row the picker opens on, keys before OK (R L U D; others ignored), the row.
    const std::tuple<int, const char*, int> cases[] = {
        {0, "U", 44},  {44, "D", 0},   {35, "R", 0},  {3, "L", 44}, // jumps past either end
        {34, "R", 44}, {10, "L", 0},   {13, "LL", 44}, {5, "RRDDU", 26},
        {6, "D", 7}, /* "decline": nothing of "clearmessages" left */ {8, "059YXBH", 8},
        {-1, "", 0},   {45, "", 0},    {1000, "", 0},
    };
    for (const auto& [start, keys, row] : cases) {
        screen.fill(5); // the bar as the main loop's highlight leaves it: empty
        tap(remote, std::string(keys) + "O");
        EXPECT_EQ(pitaj_koja_komanda(start), row) << "from " << start << " keys " << keys;
        EXPECT_EQ(screen.text(kCommandTextX, kCommandBarY, 15), row_text(row)) << "from " << start;
        EXPECT_TRUE(screen.shows(kCommandTextX, kCommandBarY, fics_cmds[row].text, 4, 1));
    }
    EXPECT_TRUE(screen.shows(kPromptX, kCommandBarY, "fics%  ", 4, 1));
    EXPECT_TRUE(screen.all(470, 115, 230, 215, 1)) << "OK blanks the clock panel area";
    EXPECT_TRUE(screen.pixel(469, 115) == 5 && screen.pixel(470, 330) == 5);

    // Leaving returns the row shown at once; one held down when the exit key comes.
    tap(remote, "DD");
    remote.restart();
    tap(remote, "DO");
    EXPECT_EQ(pitaj_koja_komanda(30), 32);
    EXPECT_EQ(screen.text(kCommandTextX, kCommandBarY, 15), row_text(32));
    drain();
    remote.press(kKeyUp);
    remote.press(gx9::kCodeExit);
    EXPECT_EQ(pitaj_koja_komanda(1), 0);
    EXPECT_EQ(doexit, 3);
    remote.tap(kKeyDown);
    EXPECT_EQ(pitaj_koja_komanda(4), 4) << "already leaving: returns before any poll";
}

TEST_F(Dialog, WordEntryMultiTapKeysGiveTheirCharacters)
{
    // Columns: keys (digits, R for RIGHT, L for LEFT, O for OK, Y B H ignored), the text.
    const std::pair<const char*, const char*> cases[] = {
        {"2223O", "CD"},       {"2R2O", "AA"},   {"2R3O", "A D"}, {"2RO", "A "},  {"77777O", "7"},
        {"777777O", "P"},      {"0O", " "},      {"00O", "0"},    {"111O", "-"},  {"111111O", " "},
        {"9999O", "Z"},        {"99999O", "9"},  {"44666RR8O", "HO  T"},
        {"O2O", "A"},  // OK on an empty text is ignored
        {"L2O", "A"},          {"23L3O", "E"},   {"23LL5O", "J"}, {"2L2O", "A"},  {"R2O", " A"},
        {"25YHBO", "AJ"},
    };
    for (const auto& [keys, text] : cases) {
        tap(remote, keys);
        EXPECT_EQ(ZeforEnterWord(100, 532, 18, 59), std::string(text)) << "keys " << keys;
    }
}

TEST_F(Dialog, WordEntryDrawsItsTextErasesWhatLeftTookEndsAtItsLengthAndWhenLeaving)
{
    const auto enter = [&](const std::string& keys, int maximum_length = 59) {
        tap(remote, keys);
        return std::string(ZeforEnterWord(100, 532, 18, maximum_length));
    };
    EXPECT_EQ(enter("233O"), "AE");
    EXPECT_EQ(screen.text(100, 532, 3), "AE ") << "the text and the marker space";
    EXPECT_EQ(enter("234LLO"), "A");
    EXPECT_EQ(screen.text(100, 532, 3), "A  ") << screen.dump(100, 532, 40, 18);
    EXPECT_TRUE(screen.all(120, 532, 20, 18, 1)) << "the cells LEFT took are cleared";
    EXPECT_TRUE(screen.all(480, 180, 181, 101, 1)) << "the panel area, when the entry ends";
    EXPECT_TRUE(screen.pixel(479, 180) == 5 && screen.pixel(661, 280) == 5 &&
                screen.pixel(480, 281) == 5);
    std::string keys, expected;
    for (int i = 0; i < 59; ++i)
        keys += i % 2 ? '3' : '2', expected += i % 2 ? 'D' : 'A';
    EXPECT_EQ(enter(keys + "4"), expected);
    actcode = kKeyNone;
    RcGetActCode();
    EXPECT_EQ(actcode, 4) << "the key after the last character still waits";
    keys.clear(), expected.clear();
    for (int i = 0; i < 132; ++i)
        keys += i % 2 ? '9' : '8', expected += i % 2 ? 'W' : 'T';
    // The 128-byte buffer keeps room for the marker space and the terminator.
    EXPECT_EQ(enter(keys, 1000), expected.substr(0, 126)) << "cut to the buffer";
    EXPECT_EQ(enter("2O", -3), "") << "nothing may be taken: it returns before the first poll";
    drain();
    remote.press(2), remote.press(2), remote.press(2); // held down: the press repeats
    EXPECT_EQ(enter("3O"), "AD");
    tap(remote, "233");
    remote.restart();
    EXPECT_EQ(enter("4"), "AE") << "leaving returns the characters taken so far";
    drain();
    tap(remote, "55");
    remote.press(gx9::kCodeExit); // held down: no waiting for its release
    EXPECT_EQ(enter(""), "K");
    EXPECT_EQ(doexit, 3);
}


class MoveEntry : public Dialog {
  protected:
    void SetUp() override
    {
        Dialog::SetUp();
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
            files[size_t(square_index(change[0] - 'a' + 1, change[1] - '0'))] = change[2];
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
        tap(remote, picker);
        remote.restart(); // ends a picker opened by mistake: nothing would be sent
        keys(entry);
        EXPECT_EQ(server.received(), *sent ? std::string(sent) + "\r\n" : "");
        EXPECT_STREQ(LastMoveSent, sent);
        EXPECT_EQ(moving_enabled, may_move);
        EXPECT_EQ(selection(), "     |1|0000");
        EXPECT_FALSE(marked(5, 7) || marked(5, 8)) << "markers removed";
        EXPECT_EQ(has_cursor(cursorx, cursory), may_move == 1) << "drawn while moving is enabled";
        drain();
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
