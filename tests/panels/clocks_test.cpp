// Tests of the clock panel: line formats read back from the screen, the stopwatch, the material
// text, and when the panel draws nothing.
#include <cstring>
#include <ctime>
#include <string>

#include <gtest/gtest.h>

#include "ics/game_state.h"
#include "panels/clocks.h"
#include "shell/screen_mode.h"
#include "tests/support/test_screen.h"

namespace {

using testsupport::TestScreen;

constexpr int kLeft = 470;
constexpr int kClockY = 109;
constexpr int kStopwatchY = 134;
constexpr int kLastMoveY = 164;
constexpr int kSeparatorY = 181;
constexpr int kOnMoveTop = 214;
constexpr int kMaterialX = 530;
constexpr int kSecondLineY = 234;
constexpr int kSingleLineY = 224;

// A board of empty squares with both kings, then the given pieces at squares 8, 9, 10, ...
void set_board(const char* pieces)
{
    memset(zeforboard, ' ', kSquares);
    zeforboard[kSquares] = '\0';
    zeforboard[square_index(5, 1)] = 'K';
    zeforboard[square_index(5, 8)] = 'k';
    for (int i = 0; pieces[i] != '\0'; ++i)
        zeforboard[8 + i] = pieces[i];
}

class ClockPanel : public ::testing::Test {
  protected:
    void SetUp() override
    {
        init();
        whats_showed = kBoardView;
        WeAreNotPlaying = 0;
        WhoIsOnMove = 'W';
        CountingFor = 'W';
        start_time = time(nullptr);
        memcpy(zeforboard, kStartPosition, sizeof kStartPosition);
    }

    std::string read(int x, int y, const std::string& like) const
    {
        return screen.text(x, y, static_cast<int>(like.size()));
    }

    // Whether the cells of a text at (x, y) hold only ink and the panel's black.
    bool inked_in(int x, int y, int length, unsigned char ink) const
    {
        const int width = length * 10;
        return screen.count(x, y, width, 18, ink) > 0 &&
               screen.count(x, y, width, 18, ink) + screen.count(x, y, width, 18, 1) == width * 18;
    }

    TestScreen screen;
};

TEST_F(ClockPanel, ClockLineFormatsTruncatingMinutesAndSignedSeconds)
{
    struct Row {
        int white, black;
        std::string line;
    };
    const Row rows[] = {
        {300, 185, "  05:00  <-->  03:05  "},         {0, 59, "  00:00  <-->  00:59  "},
        {-5, 61, "  00:-5  <-->  01:01  "},           {-65, -60, "  -1:-5  <-->  -1:00  "},
        {6000, 5999, "  100:00  <-->  99:59  "}, // one character wider than the column
        {60 * 125 + 7, 0, "  125:07  <-->  00:00  "},
    };
    for (const Row& row : rows) {
        WhiteRemaining = row.white;
        BlackRemaining = row.black;
        print_remaining_time();
        EXPECT_EQ(read(kLeft, kClockY, row.line), row.line);
        EXPECT_TRUE(inked_in(kLeft, kClockY, static_cast<int>(row.line.size()), 5));
    }
}

TEST_F(ClockPanel, StopwatchStandsUnderTheClockOfTheSideOnMove)
{
    struct Row {
        char who;
        const char* format;
    };
    const Row rows[] = {
        {'W', " (%02d:%02d)             "},
        {'B', "              (%02d:%02d) "},
    };
    for (const Row& row : rows) {
        WhoIsOnMove = row.who;
        CountingFor = row.who;
        start_time = time(nullptr) - 125;
        print_remaining_time();
        const int elapsed = static_cast<int>(current_time - start_time);
        EXPECT_GE(elapsed, 125);
        EXPECT_LE(elapsed, 127);
        char expected[32];
        snprintf(expected, sizeof expected, row.format, elapsed / 60, elapsed % 60);
        EXPECT_EQ(read(kLeft, kStopwatchY, expected), expected) << row.who;
        EXPECT_TRUE(inked_in(kLeft, kStopwatchY, static_cast<int>(strlen(expected)), 8));
    }
}

TEST_F(ClockPanel, NewSideOnMoveRestartsTheStopwatch)
{
    CountingFor = 'W';
    WhoIsOnMove = 'B';
    start_time = time(nullptr) - 600;
    const time_t before = time(nullptr);
    print_remaining_time();
    EXPECT_EQ(CountingFor, 'B');
    EXPECT_GE(start_time, before);
    EXPECT_GE(current_time, start_time);
    const int elapsed = static_cast<int>(current_time - start_time);
    const std::string expected = "              (00:0" + std::to_string(elapsed) + ") ";
    EXPECT_EQ(read(kLeft, kStopwatchY, expected), expected);
}

TEST_F(ClockPanel, DrawsAndTimesNothingOutsideTheUsersGameOrTheBoardView)
{
    struct Row {
        int not_playing;
        int mode;
    };
    const Row rows[] = {{1, kBoardView}, {0, kHelpScreen}, {0, kFullTelnet}, {1, kFullTelnet}};
    for (const Row& row : rows) {
        WeAreNotPlaying = row.not_playing;
        whats_showed = row.mode;
        WhoIsOnMove = 'B';
        CountingFor = 'W';
        start_time = 1000;
        current_time = 0;
        const auto calls = screen.draw_calls();
        print_remaining_time();
        EXPECT_EQ(screen.draw_calls(), calls) << row.not_playing << " " << row.mode;
        EXPECT_EQ(current_time, 0);
        EXPECT_EQ(start_time, 1000);
        EXPECT_EQ(CountingFor, 'W');
    }
    EXPECT_TRUE(screen.all(0, 0, 720, 576, 0));
}

TEST_F(ClockPanel, LastMoveAndSeparatorLines)
{
    snprintf(PreviousMoveLong, sizeof PreviousMoveLong, "%s", "P/e2-e4");
    print_remaining_time();
    EXPECT_EQ(read(kLeft, kLastMoveY, "Last move:  P/e2-e4    "), "Last move:  P/e2-e4    ");
    EXPECT_TRUE(inked_in(kLeft, kLastMoveY, 18, 2));
    EXPECT_EQ(read(kLeft, kSeparatorY, std::string(22, '-')), std::string(22, '-'));
    EXPECT_TRUE(inked_in(kLeft, kSeparatorY, 22, 2));

    // A field that lost its terminator is read within its 10 bytes.
    memcpy(PreviousMoveLong, "o-o-o/e1c1", kMoveLongBytes);
    print_remaining_time();
    // 26 characters: the last cell runs off the screen's right edge.
    EXPECT_EQ(read(kLeft, kLastMoveY, "Last move:  o-o-o/e1c1   "), "Last move:  o-o-o/e1c1   ");
}

// The examples of the material text and their two-line form.
TEST_F(ClockPanel, MaterialTextBesideTheSideNameWithTheMoveLineBelow)
{
    struct Row {
        const char* pieces;
        char who;
        const char* side;
        const char* material;
    };
    const Row rows[] = {
        {"Qpp", 'W', "WHITE", "(+Q vs -2P)"},
        {"R", 'B', "BLACK", "(-R)"},
        {"PPP", 'B', "BLACK", "(-3P)"},
        {"bbnQRR", 'W', "WHITE", "(+Q2R vs -2BN)"},
        {"bbnQRR", 'B', "BLACK", "(+2BN vs -Q2R)"},
    };
    for (const Row& row : rows) {
        set_board(row.pieces);
        WhoIsOnMove = row.who;
        screen.fill(7);
        print_remaining_time();
        EXPECT_EQ(read(kLeft, kOnMoveTop, "WHITE "), std::string(row.side) + " ") << row.pieces;
        EXPECT_TRUE(inked_in(kLeft, kOnMoveTop, 5, 6));
        EXPECT_EQ(read(kMaterialX, kOnMoveTop, row.material), row.material) << row.pieces;
        EXPECT_TRUE(inked_in(kMaterialX, kOnMoveTop, static_cast<int>(strlen(row.material)), 2));
        EXPECT_EQ(read(kMaterialX, kSecondLineY, " is on the move!"), " is on the move!");
        EXPECT_TRUE(inked_in(kMaterialX + 10, kSecondLineY, 15, 6));
        // The whole on-move area was cleared to black first.
        EXPECT_EQ(screen.count(kLeft, kOnMoveTop, 220, 40, 7), 0)
            << screen.dump(kLeft, kOnMoveTop, 220, 40);
    }
}

TEST_F(ClockPanel, EqualMaterialGivesTheSingleOnMoveLine)
{
    struct Row {
        const char* pieces;
        char who;
        const char* line;
    };
    const Row rows[] = {
        {"", 'W', "WHITE on the move!"},
        {"QqPp", 'B', "BLACK on the move!"},
        {"K", 'W', "WHITE on the move!"},    // kings are not counted
        {"xyz-", 'B', "BLACK on the move!"}, // nor bytes that are no piece
    };
    for (const Row& row : rows) {
        set_board(row.pieces);
        WhoIsOnMove = row.who;
        print_remaining_time();
        EXPECT_EQ(read(kLeft, kSingleLineY, row.line), row.line) << row.pieces;
        EXPECT_TRUE(inked_in(kLeft, kSingleLineY, 18, 6));
        EXPECT_TRUE(screen.all(kLeft, kOnMoveTop, 220, 10, 1)) << "the area above the line";
    }
}

TEST_F(ClockPanel, BeforeTheFirstBoardNoStopwatchAndBlackOnTheMove)
{
    WhoIsOnMove = 0;
    CountingFor = ' ';
    set_board("QQQ");
    print_remaining_time();
    EXPECT_TRUE(screen.all(kLeft, kStopwatchY, 220, 18, 0)) << "a stopwatch line was drawn";
    EXPECT_EQ(read(kLeft, kSingleLineY, "BLACK on the move!"), "BLACK on the move!");
    EXPECT_EQ(read(kLeft, kClockY, "  00:00  <-->  00:00  "), "  00:00  <-->  00:00  ");
}

TEST(MaterialText, ListsEachSideInQueenRookBishopKnightPawnOrder)
{
    struct Row {
        const char* board;
        char who;
        const char* text;
    };
    const Row rows[] = {
        {kStartPosition, 'W', ""},
        {kStartPosition, 'B', ""},
        {"NNP", 'W', "(+2NP)"},
        {"NNP", 'B', "(-2NP)"},
        {"pppppppppp", 'B', "(+10P)"},
        {"PPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPP", 'W', "(+64P)"},
        {"QRBNPqrbnp", 'W', ""},
        {"Q", 'X', ""},
        {"Q", '\0', ""},
    };
    for (const Row& row : rows) {
        char board[kBoardBytes] = {};
        memset(board, ' ', kSquares);
        memcpy(board, row.board, strnlen(row.board, kSquares));
        char text[kMaterialTextBytes];
        material_text(board, row.who, text, sizeof text);
        EXPECT_STREQ(text, row.text) << row.board << " " << row.who;
    }
    // A short buffer cuts the text and keeps it terminated.
    char board[kBoardBytes] = {};
    memcpy(board, "QQRRBNpppp", 10);
    char small[6];
    material_text(board, 'W', small, sizeof small);
    EXPECT_STREQ(small, "(+2Q2");
}

} // namespace
