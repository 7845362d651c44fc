// The modal dialogs through the stand-in remote, read back from the framebuffer: the promotion
// test and picker (box, pieces and pointer on pixels), the command picker's steps and jumps
// through the command table, and the multi-tap word entry.
#include <sys/time.h>

#include <csignal>
#include <string>

#include "board/promotion.h"
#include "dialogs/command_picker.h"
#include "dialogs/command_table.h"
#include "dialogs/word_entry.h"
#include "tests/dialogs/dialog_test_util.h"

namespace {

using testsupport::TestScreen;

class Dialog : public ::testing::Test {
  protected:
    void SetUp() override
    {
        tv_tv_usec = dialogtest::kFastPollUsec;
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
        board[size_t((square[0] - 'a') * 8 + (square[1] - '1'))] = piece;
        if (color == 0)
            board.assign(board.rbegin(), board.rend());
        my_color = color;
        EXPECT_EQ(pawn_is_promoting(move, board.c_str()), expected)
            << piece << " on " << square << " colour " << color << " move " << move;
    }
}

// Blue fill pixels of the picker piece at row i (queen, rook, knight, bishop).
int piece_fill(const TestScreen& screen, int i)
{
    return screen.count(140, 120 + 50 * i, 45, 50, kPickerFill);
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
        dialogtest::tap(remote, keys);
        EXPECT_EQ(pitaj_koja_figura(), letter) << keys;
        EXPECT_TRUE(screen.all(kPickerX, kPickerY, kPickerWidth, kPickerHeight, 1))
            << screen.dump(kPickerX, kPickerY, 60, 60);
    }
    // Leaving: the letter chosen so far, none before a choice.
    dialogtest::tap(remote, "O");
    remote.restart();
    EXPECT_EQ(pitaj_koja_figura(), kNoPromotion);
    dialogtest::drain();
    remote.press(gx9::kCodeExit);
    EXPECT_EQ(pitaj_koja_figura(), kNoPromotion);
    EXPECT_EQ(doexit, 3);
    remote.release(gx9::kCodeExit);
    dialogtest::drain();
    dialogtest::tap(remote, "DDD");
    for (int i = 0; i < 3; ++i) // held down: the box repeats its press; only the first counts
        remote.press(kKeyUp);
    remote.restart();
    EXPECT_EQ(pitaj_koja_figura(), 'r');
    EXPECT_GT(piece_fill(screen, 0), 100) << "the picker is still on the screen";
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
        dialogtest::tap(remote, std::string(keys) + "O");
        EXPECT_EQ(pitaj_koja_komanda(start), row) << "from " << start << " keys " << keys;
        EXPECT_EQ(screen.text(kCommandTextX, kCommandBarY, 15), row_text(row))
            << screen.dump(kCommandTextX, kCommandBarY, 150, 18);
    }
    EXPECT_EQ(screen.text(kPromptX, kCommandBarY, 7), "fics%  ");
    EXPECT_TRUE(screen.all(470, 115, 230, 215, 1)) << "OK blanks the clock panel area";
    EXPECT_TRUE(screen.pixel(469, 115) == 5 && screen.pixel(470, 330) == 5);

    // Leaving returns the row shown at once; one held down when the exit key comes.
    dialogtest::tap(remote, "DD");
    remote.restart();
    dialogtest::tap(remote, "DO");
    EXPECT_EQ(pitaj_koja_komanda(30), 32);
    EXPECT_EQ(screen.text(kCommandTextX, kCommandBarY, 15), row_text(32));
    dialogtest::drain();
    remote.press(kKeyUp);
    remote.press(gx9::kCodeExit);
    EXPECT_EQ(pitaj_koja_komanda(1), 0);
    EXPECT_EQ(doexit, 3);
    remote.tap(kKeyDown);
    EXPECT_EQ(pitaj_koja_komanda(4), 4) << "already leaving: returns before any poll";
    EXPECT_EQ(dialogtest::queued_bytes(remote), 4);
}

TEST_F(Dialog, CommandPickerTakesNoRepeatOfAHeldKeyAndSignalsChangeNothing)
{
    // A box repeats the press of a key held down; the picker waits for its release and takes no
    // repeat. The request to start over ends the wait.
    for (int i = 0; i < 4; ++i)
        remote.press(kKeyDown);
    remote.restart();
    EXPECT_EQ(pitaj_koja_komanda(20), 21);
    dialogtest::drain();
    struct sigaction action {};
    action.sa_handler = [](int) {}; // no SA_RESTART: every pause is cut short with EINTR
    sigaction(SIGALRM, &action, nullptr);
    const itimerval every_ms{{0, 1000}, {0, 1000}}, stop{};
    setitimer(ITIMER_REAL, &every_ms, nullptr);
    tv_tv_usec = 20000;
    dialogtest::tap(remote, "DDRO");
    const int chosen = pitaj_koja_komanda(1);
    setitimer(ITIMER_REAL, &stop, nullptr);
    EXPECT_EQ(chosen, 13);
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
        dialogtest::tap(remote, keys);
        EXPECT_EQ(ZeforEnterWord(100, 532, 18, 59), std::string(text)) << "keys " << keys;
    }
}

TEST_F(Dialog, WordEntryDrawsItsTextErasesWhatLeftTookEndsAtItsLengthAndWhenLeaving)
{
    const auto enter = [&](const std::string& keys, int maximum_length = 59) {
        dialogtest::tap(remote, keys);
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
    for (int i = 0; i < kWordBytes + 4; ++i)
        keys += i % 2 ? '9' : '8', expected += i % 2 ? 'W' : 'T';
    EXPECT_EQ(enter(keys, 1000), expected.substr(0, kWordLongest)) << "cut to the buffer";
    EXPECT_EQ(enter("2O", -3), "") << "nothing may be taken: it returns before the first poll";
    dialogtest::drain();

    remote.press(2), remote.press(2), remote.press(2); // held down: the press repeats
    EXPECT_EQ(enter("3O"), "AD");
    dialogtest::tap(remote, "233");
    remote.restart();
    EXPECT_EQ(enter("4"), "AE") << "leaving returns the characters taken so far";
    dialogtest::drain();
    dialogtest::tap(remote, "55");
    remote.press(gx9::kCodeExit); // held down: no waiting for its release
    EXPECT_EQ(enter(""), "K");
    EXPECT_EQ(doexit, 3);
}

} // namespace
