// The style-12 board line: squares, fields, orientation, turn, redraw; malformed and cut lines.
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/board.h"
#include "dialogs/command_table.h"
#include "host/gx9.h"
#include "ics/game_state.h"
#include "ics/notices.h"
#include "shell/exit_on.h"
#include "shell/move_state.h"
#include "shell/screen_mode.h"
#include "tests/ics/ics_test_util.h"
#include "tests/support/test_screen.h"

using icstest::shown;
using icstest::Shown;

namespace {

// After 1. e4, seen by White (relation -1: playing, the opponent to move).
const std::string kAfterE4 =
    "<12> rnbqkbnr pppppppp -------- -------- ----P--- -------- PPPP-PPP RNBQKBNR B 4 1 1 1 1 0 "
    "42 White Black -1 5 0 39 39 300 300 1 P/e2-e4 (0:00) e4 0 1 0";

std::vector<std::string> split_fields(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; in >> field;)
        fields.push_back(field);
    return fields;
}

// kAfterE4 with field number (1-based, after "<12>") replaced by value.
std::string with_field(int number, const std::string& value, const std::string& line = kAfterE4)
{
    std::vector<std::string> fields = split_fields(line);
    fields.at(size_t(number)) = value;
    std::string joined;
    for (const std::string& field : fields)
        joined += (joined.empty() ? "" : " ") + field;
    return joined;
}

// kAfterE4 up to and including field number.
std::string up_to_field(int number)
{
    std::vector<std::string> fields = split_fields(kAfterE4);
    std::string joined = fields[0];
    for (int i = 1; i <= number; ++i)
        joined += " " + fields[size_t(i)];
    return joined;
}

std::string board_text()
{
    return std::string(zeforboard, kSquares);
}

char at(int file, int rank)
{
    return zeforboard[file * 8 + (rank - 1)];
} // unturned board

class BoardLine : public ::testing::Test {
  protected:
    void SetUp() override
    {
        init();
        exit_on_pause_usec = 0;
        MyName[0] = 0;
        WhoIsOnMove = 0;
        icsFd = 0;
        memcpy(zeforboard, kStartPosition, sizeof(kStartPosition));
        cursorx = cursorxold = 4;
        cursory = cursoryold = 2;
        whats_showed = kBoardView;
    }
    void line(const std::string& text) { ProcessIcsLine((text + "\r\n").c_str()); }
    // The leftmost file label under the board, read from the screen.
    std::string first_file_label() const { return screen.text(Xoffset + 39, Yoffset - 19, 1); }

    testsupport::TestScreen screen;
};

// init runs again at every start of the plugin: it sets its start values and must leave what
// the user's earlier session learnt (handle, ratings, board, clocks, connection) alone.
TEST(GameState, InitSetsStartValuesAndKeepsTheRest)
{
    memset(zeforboard, 'x', kSquares);
    strcpy(WhiteName, "Someone");
    strcpy(BlackName, "Other");
    strcpy(MyName, "Tester");
    strcpy(WhiteRating, " 1500");
    WhiteRemaining = 77;
    start_time = 1234;
    icsFd = 9;
    WeAreNotPlaying = 0;
    moving_enabled = 1;
    my_color = 0;
    ObserveAnnounced = 1;
    CountingFor = 'W';
    init();
    EXPECT_STREQ(WhiteName, "WHITE");
    EXPECT_STREQ(BlackName, "BLACK");
    EXPECT_EQ(CountingFor, ' ');
    EXPECT_EQ(WeAreNotPlaying, 1);
    EXPECT_EQ(moving_enabled, 0);
    EXPECT_EQ(my_color, 1);
    EXPECT_EQ(ObserveAnnounced, 0);
    EXPECT_EQ(Xoffset, 40);
    EXPECT_EQ(Yoffset, 449);
    EXPECT_EQ(highest_command, 44);
    EXPECT_EQ(std::string(zeforboard, kSquares), std::string(kSquares, 'x'));
    EXPECT_STREQ(MyName, "Tester");
    EXPECT_STREQ(WhiteRating, " 1500");
    EXPECT_EQ(WhiteRemaining, 77);
    EXPECT_EQ(start_time, 1234);
    EXPECT_EQ(icsFd, 9);
    // The start position seen by White: the cursor's first square is a1, column 4 row 2 is d2.
    EXPECT_EQ(kStartPosition[square_index(1, 1)], 'R');
    EXPECT_EQ(kStartPosition[square_index(4, 2)], 'P');
    EXPECT_EQ(kStartPosition[square_index(4, 8)], 'q');
}

TEST_F(BoardLine, ReadsTheSquaresAndEveryFieldOfTheServersLine)
{
    strcpy(MyName, "White");
    line(kAfterE4);
    EXPECT_EQ(at(4, 4), 'P'); // e4
    EXPECT_EQ(at(4, 2), ' '); // e2, a "-" stored as a space
    EXPECT_EQ(at(0, 1), 'R');
    EXPECT_EQ(at(3, 8), 'q');
    EXPECT_EQ(at(7, 8), 'r');
    EXPECT_EQ(board_text().find('-'), std::string::npos);
    EXPECT_EQ(WhoIsOnMove, 'B');
    EXPECT_EQ(DoublePawnPush, 4);
    EXPECT_EQ(WscCs + WscCl + BscCs + BscCl, 4);
    EXPECT_EQ(NumMovesIrr, 0);
    EXPECT_EQ(GameNumber, 42);
    EXPECT_STREQ(WhiteName, "White");
    EXPECT_STREQ(BlackName, "Black");
    EXPECT_EQ(MojaUloga, -1);
    EXPECT_EQ(InitialTime, 5);
    EXPECT_EQ(InitialIncrement, 0);
    EXPECT_EQ(WhiteStrength, 39);
    EXPECT_EQ(BlackStrength, 39);
    EXPECT_EQ(WhiteRemaining, 300);
    EXPECT_EQ(BlackRemaining, 300);
    EXPECT_EQ(MoveNumber, 1);
    EXPECT_STREQ(PreviousMoveLong, "P/e2-e4");
}

TEST_F(BoardLine, OrientationColourAndTurnFollowTheUsersPlaceInTheGame)
{
    struct Case {
        const char* my_name;
        const char* side;
        const char* relation;
        int my_color_before;
        int my_color;
        int moving_enabled;
        bool turned;
    };
    // Columns: user, side to move, relation, my_color before, my_color after, moving_enabled,
    // whether the board is stored turned.
    const Case cases[] = {
        {"White", "W", "1", 0, 1, 1, false},  {"White", "B", "-1", 0, 1, 0, false},
        {"Black", "B", "1", 1, 0, 1, true},   {"Black", "W", "-1", 1, 0, 0, true},
        {"Guest", "W", "0", 1, 1, 0, false}, // observing: neither player, my_color kept
        {"Guest", "B", "0", 0, 0, 0, false}, // observing: nobody's move is the user's
        {"White", "W", "2", 0, 1, 1, false}, // examining with the user's colour to move
        {"Black", "B", "2", 1, 0, 1, true},   {"White", "B", "2", 1, 1, 0, false},
        {"White", "W", "-2", 1, 1, 0, false}, // observing an examined game
        {"White", "W", "-3", 1, 1, 0, false}, // isolated position
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.my_name) + " " + c.side + " " + c.relation);
        strcpy(MyName, c.my_name);
        my_color = c.my_color_before;
        moving_enabled = 1 - c.moving_enabled;
        line(with_field(19, c.relation, with_field(9, c.side)));
        EXPECT_EQ(my_color, c.my_color);
        EXPECT_EQ(moving_enabled, c.moving_enabled);
        if (c.turned) {
            EXPECT_EQ(zeforboard[0], 'r') << "index 0 holds h8";
            EXPECT_EQ(zeforboard[63], 'R') << "index 63 holds a1";
            EXPECT_EQ(zeforboard[square_index(4, 5)], 'P') << "e4 seen from Black";
            EXPECT_EQ(zeforboard[square_index(4, 7)], ' ') << "e2 seen from Black";
        } else {
            EXPECT_EQ(zeforboard[0], 'R');
            EXPECT_EQ(zeforboard[63], 'r');
            EXPECT_EQ(zeforboard[square_index(5, 4)], 'P');
        }
    }
}

TEST_F(BoardLine, RedrawsBoardWithTheUsersSideAtTheBottom)
{
    strcpy(MyName, "Black");
    line(kAfterE4);
    EXPECT_EQ(first_file_label(), "h");
    const int frame_pixels =
        screen.count(Xoffset, Yoffset - kFrameLength, kFrameLength, kFrameLength, BorderColor);
    EXPECT_GT(frame_pixels, 0);
    strcpy(MyName, "White");
    line(kAfterE4);
    EXPECT_EQ(first_file_label(), "a");
}

TEST_F(BoardLine, OutsideTheBoardViewUpdatesStateButDrawsNothing)
{
    for (int mode : {int(kHelpScreen), int(kFullTelnet)}) {
        SCOPED_TRACE(mode);
        whats_showed = mode;
        strcpy(MyName, "Black");
        my_color = 1;
        const auto calls = screen.draw_calls();
        line(with_field(9, "B", with_field(19, "1")));
        EXPECT_EQ(screen.draw_calls(), calls);
        EXPECT_EQ(screen.count(0, 0, kScreenWidth, kScreenHeight, 0), kScreenWidth * kScreenHeight);
        EXPECT_EQ(my_color, 0);
        EXPECT_EQ(moving_enabled, 1);
        EXPECT_EQ(zeforboard[0], 'r');
        memcpy(zeforboard, kStartPosition, sizeof(kStartPosition));
    }
}

TEST_F(BoardLine, IsNeverShownInTheTelnetWindowAndLosesItsPrompts)
{
    const Shown before = shown(0);
    strcpy(MyName, "White");
    line("fics% fics% " + kAfterE4);
    EXPECT_EQ(shown(0), before);
    EXPECT_EQ(WhoIsOnMove, 'B');
    EXPECT_EQ(at(4, 4), 'P');
}

// Sets every field 10..27 to a value no line carries, to see which ones a line replaced.
void mark_fields()
{
    for (int* number : {&DoublePawnPush, &WscCs, &WscCl, &BscCs, &BscCl, &NumMovesIrr, &GameNumber,
                        &MojaUloga, &InitialTime, &InitialIncrement, &WhiteStrength, &BlackStrength,
                        &WhiteRemaining, &BlackRemaining, &MoveNumber})
        *number = 777;
    strcpy(WhiteName, "old");
    strcpy(BlackName, "old");
    strcpy(PreviousMoveLong, "old");
}

// Which of fields 10..27 kept their marks: one letter per field, 'k' kept, 'n' new.
std::string kept_fields()
{
    auto mark = [](bool kept) { return kept ? 'k' : 'n'; };
    std::string result;
    for (int number : {DoublePawnPush, WscCs, WscCl, BscCs, BscCl, NumMovesIrr, GameNumber})
        result += mark(number == 777);
    result += mark(strcmp(WhiteName, "old") == 0);
    result += mark(strcmp(BlackName, "old") == 0);
    for (int number : {MojaUloga, InitialTime, InitialIncrement, WhiteStrength, BlackStrength,
                       WhiteRemaining, BlackRemaining, MoveNumber})
        result += mark(number == 777);
    result += mark(strcmp(PreviousMoveLong, "old") == 0);
    return result;
}

TEST_F(BoardLine, FieldsAreReadUpToTheFirstThatDoesNotFit)
{
    struct Case {
        std::string line;
        const char* kept; // fields 10..27
    };
    const Case cases[] = {
        {kAfterE4, "nnnnnnnnnnnnnnnnnn"},
        {up_to_field(9), "kkkkkkkkkkkkkkkkkk"},
        {up_to_field(16), "nnnnnnnkkkkkkkkkkk"},
        {up_to_field(26), "nnnnnnnnnnnnnnnnnk"},
        {with_field(10, "x"), "kkkkkkkkkkkkkkkkkk"},
        {with_field(15, "-"), "nnnnnkkkkkkkkkkkkk"},
        {with_field(19, "one"), "nnnnnnnnnkkkkkkkkk"},
        {with_field(24, "2147483648"), "nnnnnnnnnnnnnnkkkk"}, // beyond 32 bits: refused
        {with_field(24, "99999999999999999999"), "nnnnnnnnnnnnnnkkkk"},
        {with_field(26, "+"), "nnnnnnnnnnnnnnnnkk"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        mark_fields();
        line(c.line);
        EXPECT_EQ(kept_fields(), c.kept);
        EXPECT_EQ(WhoIsOnMove, 'B');
        EXPECT_EQ(at(4, 4), 'P');
    }
}

TEST_F(BoardLine, NumbersAtTheEndsOf32BitsAndOverlongTokens)
{
    line(with_field(24, "2147483647", with_field(25, "-2147483648")));
    EXPECT_EQ(WhiteRemaining, 2147483647);
    EXPECT_EQ(BlackRemaining, -2147483648);
    line(with_field(17, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", with_field(27, "P/e7-e8=Q+and-more")));
    EXPECT_STREQ(WhiteName, "ABCDEFGHIJKLMNOPQRS");
    EXPECT_STREQ(PreviousMoveLong, "P/e7-e8=Q");
    EXPECT_STREQ(BlackName, "Black") << "the field after a cut token is still read";
}

TEST_F(BoardLine, MalformedSquaresOrSideChangeNothing)
{
    std::string bad_square = kAfterE4;
    bad_square[5 + 20] = 'x';
    std::string bad_separator = kAfterE4;
    bad_separator[5 + 17] = '-';
    const std::string cases[] = {
        bad_square,          bad_separator,
        with_field(9, "w"),  with_field(9, "-"),
        with_field(9, "WB"), "<12> " + with_field(9, "W").substr(6), // a rank one square short
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text);
        const auto calls = screen.draw_calls();
        line(text);
        EXPECT_EQ(board_text(), std::string(kStartPosition));
        EXPECT_EQ(WhoIsOnMove, 0);
        EXPECT_EQ(screen.draw_calls(), calls);
    }
}

TEST_F(BoardLine, EveryCutOfARealLineIsReadWithinItsEnd)
{
    // Each prefix sits in a heap block of its exact size, so the address sanitizer sees any
    // read past its terminator. Lines cut before the side to move change nothing.
    constexpr size_t kSideToMoveEnd = 5 + 73;
    for (bool with_line_end : {false, true}) {
        for (size_t length = 0; length <= kAfterE4.size(); ++length) {
            SCOPED_TRACE(length);
            memcpy(zeforboard, kStartPosition, sizeof(kStartPosition));
            WhoIsOnMove = 0;
            const std::string text = kAfterE4.substr(0, length) + (with_line_end ? "\r\n" : "");
            std::unique_ptr<char[]> exact(new char[text.size() + 1]);
            memcpy(exact.get(), text.c_str(), text.size() + 1);
            ProcessIcsLine(exact.get());
            if (length < kSideToMoveEnd) {
                EXPECT_EQ(board_text(), std::string(kStartPosition));
                EXPECT_EQ(WhoIsOnMove, 0);
            } else {
                EXPECT_EQ(at(4, 4), 'P');
                EXPECT_EQ(WhoIsOnMove, 'B');
            }
        }
    }
}

} // namespace
