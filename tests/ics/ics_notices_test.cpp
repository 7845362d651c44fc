// The notice tests: colours of each kind of line, the overlaps between them, the login handle,
// game announcements and ends, the observation bit, and the answer to a rejected move.
#include <cstring>
#include <ctime>
#include <string>

#include <gtest/gtest.h>

#include "ics/game_state.h"
#include "ics/notices.h"
#include "shell/exit_on.h"
#include "shell/screen_mode.h"
#include "tests/ics/ics_test_util.h"
#include "tests/support/test_screen.h"

using icstest::receive;
using icstest::receive_pending;
using icstest::shown;
using icstest::Shown;
using icstest::SocketPair;

namespace {

class Notices : public ::testing::Test {
  protected:
    void SetUp() override
    {
        init();
        exit_on_pause_usec = 0;
        MyName[0] = 0;
        WhoIsOnMove = 0;
        icsFd = 0;
        memcpy(zeforboard, kStartPosition, sizeof(kStartPosition));
        whats_showed = kBoardView;
    }
    void line(const std::string& text) { ProcessIcsLine((text + "\r\n").c_str()); }
    testsupport::TestScreen screen;
};

TEST_F(Notices, EachKindOfLineIsShownInItsColours)
{
    struct Case {
        const char* line;
        int ink;
        int paper;
    };
    // Columns: the line as received (without its "\r\n"), the ink and paper it is shown in.
    const Case cases[] = {
        {"foo: Command not found.", 5, 1},
        {"{Game 42 (White vs. Black) Creating unrated blitz match.}", 1, 10},
        {"{Game 42 (White vs. Black) Black resigns} 1-0", 1, 10},
        {"Logging you in as \"GuestWXYZ\"; you may use this name to play unrated games.", 1, 8},
        {"Your name will be Tester", 1, 8},
        {"**** Starting FICS session as GuestWXYZ(U) ****", 1, 8},
        {"You have 2 messages.", 3, 1},
        {"GuestWXYZ(U)(++++)[42] kibitzes: hi", 3, 1},
        {"GuestWXYZ(U)(++++)[42] whispers: hi", 3, 1},
        {"GuestWXYZ(U) tells you: hi", 2, 1},
        {"GuestWXYZ(U)[42] says: hi", 2, 1},
        {"Name shouts: hi", 5, 1},
        {"GuestWXYZ offers you a draw.", 1, 5},
        {"GuestWXYZ requests that the game be aborted.", 1, 5},
        {"GuestWXYZ would like to abort the game; type \"abort\" to accept.", 1, 5},
        {"GuestWXYZ requests adjournment.", 1, 5},
        {"GuestWXYZ would like to adjourn the game; type \"adjourn\" to accept.", 1, 5},
        {"Your opponent offers you a draw.", 1, 5},
        {"Your opponent requests a pause.", 1, 5},
        {"GuestWXYZ requests a takeback of 2 half moves.", 1, 10},
        {"Game 42: White (++++) Black (1500) unrated blitz 5 0", 5, 1}, // not after "observing"
        {"you have", 5, 1},                                             // phrases are exact
        // Overlaps: the last matching test decides.
        {"GuestWXYZ(U) tells you: I offers you a draw", 1, 5},
        {"GuestWXYZ(U) tells you: You have won", 2, 1},
        {"Name shouts: kibitzes: no", 5, 1},
        {"Your opponent requests takeback 1", 1, 10},
        {"{Game 42 (White vs. Black) Name shouts: x} *", 1, 10},
        {"Logging you in as You have", 3, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        line(c.line);
        EXPECT_EQ(shown(0), (Shown{std::string(c.line) + "\r\n", c.ink, c.paper}));
    }
}

TEST_F(Notices, PromptsAreRemovedBeforeTestingAndShowing)
{
    line("fics% fics% GuestWXYZ(U) tells you: hi");
    EXPECT_EQ(shown(0), (Shown{"GuestWXYZ(U) tells you: hi\r\n", 2, 1}));
    line("fics% ");
    EXPECT_EQ(shown(0), (Shown{"\r\n", 5, 1}));
    line("fics%  two spaces");
    EXPECT_EQ(shown(0), (Shown{" two spaces\r\n", 5, 1}));
}

TEST_F(Notices, LoginTextsGiveTheBareHandle)
{
    struct Case {
        const char* line;
        const char* handle;
    };
    const Case cases[] = {
        {"Logging you in as \"GuestWXYZ\"; you may use this name to play unrated games.",
         "GuestWXYZ"},
        {"**** Starting FICS session as GuestWXYZ(U) ****", "GuestWXYZ"},
        {"**** Starting FICS session as Tester ****", "Tester"},
        {"fics% **** Starting FICS session as Tester(TM)(C) ****", "Tester"},
        {"Your name will be Tester", "Tester"},
        {"Logging you in as \"ABCDEFGHIJKLMNOPQRSTUVWXYZ\";", "ABCDEFGHIJKLMNOPQRS"},
        {"Logging you in as ", "Before"}, // no handle: the old one stays
        {"Logging you in as (U)", "Before"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        strcpy(MyName, "Before");
        line(c.line);
        EXPECT_STREQ(MyName, c.handle);
    }
}

TEST_F(Notices, TheHandleFromLoginMatchesTheBoardLinesOfTheUsersGame)
{
    line("**** Starting FICS session as GuestWXYZ(U) ****");
    line(
        "<12> rnbqkbnr pppppppp -------- -------- -------- -------- PPPPPPPP RNBQKBNR W -1 1 1 1 1 "
        "0 7 Opponent GuestWXYZ -1 5 0 39 39 300 300 1 none (0:00) none 1 0 0");
    EXPECT_EQ(my_color, 0);
    EXPECT_EQ(zeforboard[0], 'r');
}

TEST_F(Notices, CreatingAGameTakesPlayersRatingsAndTheUsersColour)
{
    strcpy(MyName, "Tester");
    const time_t before = time(nullptr);
    line("Creating: Opponent (1500) Tester (++++) unrated blitz 5 0");
    EXPECT_STREQ(WhiteName, "Opponent");
    EXPECT_STREQ(BlackName, "Tester");
    EXPECT_STREQ(WhiteRating, " 1500");
    EXPECT_STREQ(BlackRating, " ++++");
    EXPECT_EQ(my_color, 0);
    EXPECT_EQ(zeforboard[0], 'r') << "the stored board is turned for Black";
    EXPECT_EQ(WeAreNotPlaying, 0);
    EXPECT_GE(start_time, before);
    EXPECT_LE(start_time, time(nullptr));
    EXPECT_EQ(shown(0),
              (Shown{"Creating: Opponent (1500) Tester (++++) unrated blitz 5 0\r\n", 1, 10}));

    line("Creating: Tester (900) Opponent (1500) unrated blitz 5 0");
    EXPECT_EQ(my_color, 1);
    EXPECT_STREQ(WhiteRating, " 900)") << "a three-digit rating keeps its parenthesis";
}

TEST_F(Notices, AShortAnnouncementKeepsTheFieldsWithoutATokenAndStillShortensRatings)
{
    strcpy(BlackName, "Kept");
    strcpy(BlackRating, "(2000)");
    line("Creating: Opponent (1500)");
    EXPECT_STREQ(WhiteName, "Opponent");
    EXPECT_STREQ(WhiteRating, " 1500");
    EXPECT_STREQ(BlackName, "Kept");
    EXPECT_STREQ(BlackRating, " 2000");
}

TEST_F(Notices, TheLineAfterAnObservationAnnouncementNamesThePlayers)
{
    WeAreNotPlaying = 0;
    line("You are now observing game 42.");
    EXPECT_EQ(ObserveAnnounced, 1);
    line("Game 42: Alpha (2100) Beta (1950) unrated blitz 5 0");
    EXPECT_EQ(ObserveAnnounced, 0);
    EXPECT_STREQ(WhiteName, "Alpha");
    EXPECT_STREQ(WhiteRating, " 2100");
    EXPECT_STREQ(BlackName, "Beta");
    EXPECT_STREQ(BlackRating, " 1950");
    EXPECT_EQ(WeAreNotPlaying, 1);
    EXPECT_EQ(shown(0).ink, 5);
    EXPECT_EQ(shown(0).paper, 1);
}

TEST_F(Notices, TheObservationBitLastsExactlyOneLine)
{
    line("You are now observing game 42.");
    line("Removing game 17 from observation list.");
    EXPECT_EQ(ObserveAnnounced, 0);
    line("Game 42: Alpha (2100) Beta (1950) unrated blitz 5 0");
    EXPECT_STREQ(WhiteName, "WHITE");
    EXPECT_STREQ(BlackName, "BLACK");

    WeAreNotPlaying = 0;
    line("You are now observing game 42.");
    line("Game 42 has no colon");
    EXPECT_STREQ(WhiteName, "WHITE");
    EXPECT_EQ(WeAreNotPlaying, 1);

    line("You are now observing game 42.");
    line("You are now observing game 43.");
    EXPECT_EQ(ObserveAnnounced, 1);
}

TEST_F(Notices, AGameEndNamingTheUserWithAResultEndsTheUsersGame)
{
    struct Case {
        const char* my_name;
        const char* line;
        int we_are_not_playing;
    };
    const Case cases[] = {
        {"Tester", "{Game 42 (Tester vs. Opponent) Opponent resigns} 1-0", 1},
        {"Tester", "{Game 42 (Tester vs. Opponent) Tester checkmated} 0-1", 1},
        {"Tester", "{Game 42 (Tester vs. Opponent) Game drawn by repetition} 1/2-1/2", 1},
        {"Tester", "{Game 42 (Tester vs. Opponent) Game aborted on move 1} *", 1},
        {"Tester", "{Game 42 (Tester vs. Opponent) Creating unrated blitz match.}", 0},
        {"Tester", "{Game 43 (Alpha vs. Beta) Beta resigns} 1-0", 0},
        {"Tester", "Tester: {Game 42 (Tester vs. Opponent) Opponent resigns} 1-0", 0},
        {"", "{Game 43 (Alpha vs. Beta) Beta resigns} 1-0", 1}, // before login: every end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        strcpy(MyName, c.my_name);
        WeAreNotPlaying = 0;
        line(c.line);
        EXPECT_EQ(WeAreNotPlaying, c.we_are_not_playing);
    }
}

TEST_F(Notices, ARejectedMoveAsksForTheBoardAgainAndSaysWhatToDo)
{
    struct Case {
        const char* line;
        int moving_enabled;
    };
    const Case cases[] = {
        {"fics% Illegal move (e2e5).", 1},
        {"Not a legal move.", 1},
        {"Your king is in check.", 1},
        {"It is not your move.", 0},
        {"It isn't your turn.", 0},
        {"Illegal move (e2e5). takeback ", 1}, // the line ends at this test: no later colours
    };
    SocketPair pair;
    icsFd = pair.ours;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        moving_enabled = 1 - c.moving_enabled;
        const Shown older = shown(0);
        line(c.line);
        std::string shown_text = c.line;
        if (shown_text.starts_with("fics% "))
            shown_text.erase(0, 6);
        EXPECT_EQ(shown(2), older) << "exactly two lines are added";
        EXPECT_EQ(shown(1), (Shown{shown_text + "\r\n", 1, 3}));
        EXPECT_EQ(shown(0), (Shown{"Please select some valid move!", 10, 1}));
        EXPECT_EQ(moving_enabled, c.moving_enabled);
        EXPECT_EQ(receive(pair.theirs, 9), "refresh\r\n");
    }
    EXPECT_EQ(receive_pending(pair.theirs), "");
}

TEST_F(Notices, NothingIsSentWhileUnconnected)
{
    icsFd = 0;
    line("Illegal move (e2e5).");
    EXPECT_EQ(shown(0), (Shown{"Please select some valid move!", 10, 1}));
    EXPECT_EQ(moving_enabled, 1);
}

TEST_F(Notices, ShownLinesAppearInTheSmallTelnetWindow)
{
    line("GuestWXYZ(U) tells you: hi");
    EXPECT_EQ(screen.text(30, 511, 26, 9), "GuestWXYZ(U) tells you: hi");
    EXPECT_EQ(screen.pixel(30, 511), 1) << "paper of a tell";
    line("GuestWXYZ offers you a draw.");
    EXPECT_EQ(screen.text(30, 511, 28, 9), "GuestWXYZ offers you a draw.");
    EXPECT_EQ(screen.text(30, 493, 26, 9), "GuestWXYZ(U) tells you: hi");
    EXPECT_EQ(screen.pixel(30, 511), 5) << "paper of an offer\n" << screen.dump(30, 511, 20, 18);
}

} // namespace
