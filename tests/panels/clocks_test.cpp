// The clock panel read back from the screen: each line's format, place and colours, the
// stopwatch, the material balance, and when the panel draws nothing.
#include <cstring>
#include <ctime>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "ics/game_state.h"
#include "panels/clocks.h"
#include "shell/screen_mode.h"
#include "tests/support/test_screen.h"

namespace {

class ClockPanel : public ::testing::Test {
  protected:
    void SetUp() override
    {
        init();
        whats_showed = kBoardView;
        WeAreNotPlaying = 0;
        WhoIsOnMove = CountingFor = 'W';
        start_time = time(nullptr);
    }
    testsupport::TestScreen screen;
};

} // namespace

// Clock line yellow, last-move line and separator white, all on black.
TEST_F(ClockPanel, ClockLineFormatsTruncatingMinutesAndSignedSeconds)
{
    const std::pair<std::pair<int, int>, std::string> rows[] = {
        {{300, 185}, "  05:00  <-->  03:05  "},    {{0, 59}, "  00:00  <-->  00:59  "},
        {{-5, 61}, "  00:-5  <-->  01:01  "},      {{-65, -60}, "  -1:-5  <-->  -1:00  "},
        {{6000, 5999}, "  100:00  <-->  99:59  "}, // one character wider than the column
        {{7507, 0}, "  125:07  <-->  00:00  "}};
    snprintf(PreviousMoveLong, sizeof PreviousMoveLong, "%s", "P/e2-e4");
    for (const auto& [times, line] : rows) {
        WhiteRemaining = times.first;
        BlackRemaining = times.second;
        print_remaining_time();
        EXPECT_TRUE(screen.shows(470, 109, line, 5, 1));
    }
    EXPECT_TRUE(screen.shows(470, 164, "Last move:  P/e2-e4    ", 2, 1));
    EXPECT_TRUE(screen.shows(470, 181, std::string(22, '-'), 2, 1));
    // A field that lost its terminator is read within its 10 bytes; the line runs off the screen.
    memcpy(PreviousMoveLong, "o-o-o/e1c1", kMoveLongBytes);
    print_remaining_time();
    EXPECT_EQ(screen.text(470, 164, 25), "Last move:  o-o-o/e1c1   ");
}

// The stopwatch stands grey under the clock of the side on move and restarts when that changes.
TEST_F(ClockPanel, StopwatchTimesTheSideOnMove)
{
    const std::pair<char, const char*> rows[] = {{'W', " (%02d:%02d)             "},
                                                 {'B', "              (%02d:%02d) "}};
    for (const auto& [who, format] : rows) {
        WhoIsOnMove = CountingFor = who;
        start_time = time(nullptr) - 125;
        print_remaining_time();
        const int elapsed = static_cast<int>(current_time - start_time);
        EXPECT_TRUE(elapsed >= 125 && elapsed <= 127) << elapsed;
        char expected[32];
        snprintf(expected, sizeof expected, format, elapsed / 60, elapsed % 60);
        EXPECT_TRUE(screen.shows(470, 134, expected, 8, 1));
    }
    CountingFor = 'W';
    start_time = 0;
    print_remaining_time();
    EXPECT_TRUE(CountingFor == 'B' && current_time - start_time <= 2) << current_time - start_time;
}

TEST_F(ClockPanel, DrawsAndTimesNothingOutsideTheUsersGameOrTheBoardView)
{
    // Columns: WeAreNotPlaying, screen mode.
    const std::pair<int, int> rows[] = {
        {1, kBoardView}, {0, kHelpScreen}, {0, kFullTelnet}, {1, kFullTelnet}};
    WhoIsOnMove = 'B';
    start_time = 1000;
    current_time = 0;
    for (const auto& [not_playing, mode] : rows) {
        WeAreNotPlaying = not_playing;
        whats_showed = mode;
        print_remaining_time();
        EXPECT_TRUE(current_time == 0 && start_time == 1000 && CountingFor == 'W') << mode;
    }
    EXPECT_TRUE(screen.all(0, 0, 720, 576, 0));
}

// The surplus of each side in the order Q, R, B, N, P, the mover's first, kings and bytes that
// name no piece not counted. With a material text: the side name, the text beside it and " is on
// the move!" below the text; without one, a single line. Before the first board no side is on
// move: no stopwatch, "BLACK".
TEST_F(ClockPanel, OnMoveAreaNamesTheSideAndTheMaterialBalance)
{
    // Columns: pieces beside the kings, side on move, material text.
    const std::tuple<const char*, char, std::string> rows[] = {{"Qpp", 'W', "(+Q vs -2P)"},
                                                               {"PPP", 'B', "(-3P)"},
                                                               {"pppppppppp", 'B', "(+10P)"},
                                                               {"bbnQRR", 'W', "(+Q2R vs -2BN)"},
                                                               {"bbnQRR", 'B', "(+2BN vs -Q2R)"},
                                                               {"QRBNPqrbnp", 'B', ""},
                                                               {"xyz-Kk", 'W', ""},
                                                               {"QQQ", '\0', ""}};
    for (const auto& [pieces, who, material] : rows) {
        SCOPED_TRACE(pieces);
        memset(zeforboard, ' ', kSquares);
        memcpy(zeforboard + 8, pieces, strlen(pieces));
        WhoIsOnMove = who;
        const std::string side = who == 'W' ? "WHITE" : "BLACK";
        screen.fill(7);
        print_remaining_time();
        EXPECT_EQ(screen.count(470, 214, 220, 40, 7), 0) << "the area is cleared first";
        EXPECT_EQ(screen.count(469, 213, 222, 42, 7), 222 * 42 - 220 * 40) << "and nothing around";
        if (material.empty()) {
            EXPECT_TRUE(screen.shows(470, 224, side + " on the move!", 6, 1));
            EXPECT_TRUE(screen.all(470, 214, 220, 10, 1));
        } else {
            EXPECT_TRUE(screen.shows(470, 214, side, 6, 1));
            EXPECT_TRUE(screen.shows(530, 214, material, 2, 1));
            EXPECT_TRUE(screen.shows(530, 234, " is on the move!", 6, 1));
        }
        EXPECT_EQ(screen.all(470, 134, 220, 18, 7), who != 'W' && who != 'B');
    }
    char small[6]; // a short buffer cuts the text and keeps it terminated
    memcpy(zeforboard + 8, "bbnQRR", 6);
    material_text(zeforboard, 'W', small, sizeof small);
    EXPECT_STREQ(small, "(+Q2R");
}
