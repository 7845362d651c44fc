// A session in the main server's own bytes ("\n\r" line ends, a "fics% " prompt in front of each
// notice and board line, a mating board line and the game's end in one read) through
// ProcessRawInput and ProcessIcsLine over a real socket, to the state and screen it should leave.
#include <cstring>
#include <string>

#include "board/board.h"
#include "ics/lines.h"
#include "ics/notices.h"
#include "panels/clocks.h"
#include "shell/exit_on.h"
#include "shell/screen_mode.h"
#include "tests/ics/server_end.h"
#include "tests/support/test_screen.h"

namespace {

using testutil::shown;
using testutil::Shown;

class Session : public ::testing::Test {
  protected:
    void SetUp() override
    {
        init();
        exit_on_pause_usec = 0;
        strcpy(MyName, "GuestQKRM");
        memcpy(zeforboard, kStartPosition, sizeof kStartPosition);
        whats_showed = kBoardView;
    }
    // Sends the stream in reads of chunk bytes, each handed to ProcessRawInput at once.
    void play(const std::string& stream, size_t chunk = 1 << 20)
    {
        for (size_t at = 0; at < stream.size(); at += chunk) {
            server.send(stream.substr(at, chunk));
            ASSERT_EQ(ProcessRawInput(icsFd, buffer, kReceiveBufferBytes, ProcessIcsLine), 0);
        }
    }
    // The labels left of row 8 and under column 1: "8a" from White's side.
    std::string corner_labels() const
    {
        return screen.text(Xoffset + 5, Yoffset - 389, 1) + screen.text(Xoffset + 39, Yoffset - 19, 1);
    }
    testsupport::TestScreen screen;
    testutil::ServerEnd server;
    char buffer[kReceiveBufferBytes] = "";
};

// A board line as the main server sends it on its own: on a line of its own, then the prompt.
std::string board(const std::string& ranks, const std::string& rest)
{
    return "\n\r<12> " + ranks + " " + rest + "\n\rfics% ";
}

TEST_F(Session, AGameAsBlackEndsInMateOnTheClockPanelThenAnObservedGameKeepsTheTellInView)
{
    play("fics% \n\rCreating: Opp (1500) GuestQKRM (++++) unrated blitz 5 0\n\r"
         "{Game 7 (Opp vs. GuestQKRM) Creating unrated blitz match.}\n\r" +
             board("rnbqkbnr pppppppp -------- -------- -------- -----P-- PPPPP-PP RNBQKBNR",
                   "B 5 1 1 1 1 0 7 Opp GuestQKRM 1 5 0 39 39 298 300 1 P/f2-f3 (0:02) f3 1 1 0") +
             "Illegal move (e7e5).\n\rfics% " +
             board("rnbqkbnr pppp-ppp -------- ----p--- -------- -----P-- PPPPP-PP RNBQKBNR",
                   "W 4 1 1 1 1 0 7 Opp GuestQKRM -1 5 0 39 39 298 297 2 P/e7-e5 (0:03) e5 1 1 0") +
             board("rnbqkbnr pppp-ppp -------- ----p--- ------P- -----P-- PPPPP--P RNBQKBNR",
                   "B 6 1 1 1 1 0 7 Opp GuestQKRM 1 5 0 39 39 296 297 2 P/g2-g4 (0:02) g4 1 1 0"),
         1); // a byte per read: a line end split between reads gives an empty line at most
    EXPECT_EQ(std::string(WhiteName) + WhiteRating + BlackName + BlackRating, "Opp 1500GuestQKRM ++++");
    EXPECT_EQ(my_color * 100 + moving_enabled * 10 + WeAreNotPlaying, 10) << "Black to move";
    EXPECT_EQ(corner_labels(), "1h");
    EXPECT_EQ(server.received(), "refresh\r\n");
    print_remaining_time(); // a pass of the main loop
    EXPECT_EQ(screen.text(470, 164, 19), "Last move:  P/g2-g4");

    // The mating board line and the game's end arrive in one read.
    play("\n\r<12> rnb-kbnr pppp-ppp -------- ----p--- ------Pq -----P-- PPPPP--P RNBQKBNR W -1 1 "
         "1 1 1 1 7 Opp GuestQKRM -1 5 0 39 39 296 295 3 Q/d8-h4 (0:02) Qh4# 1 0 0\n\r"
         "{Game 7 (Opp vs. GuestQKRM) Opp checkmated} 0-1\n\rNo ratings adjustment done.\n\rfics% ");
    EXPECT_EQ(WeAreNotPlaying, 1);
    EXPECT_EQ(screen.text(470, 109, 22), "  04:56  <-->  04:55  ");
    EXPECT_EQ(screen.text(470, 164, 19), "Last move:  Q/d8-h4");
    EXPECT_EQ(screen.text(470, 224, 18), "WHITE on the move!");

    // Observing after the game as Black: the board from White's side, labels included. The
    // prompts in front of the board lines leave no blank rows: the tell stays in view.
    play("\n\rYou are now observing game 9.\n\rGame 9: Alpha (2100) Beta (1950) unrated blitz 5 0"
         "\n\r" +
         board("rnbqkbnr pppppppp -------- -------- -------- -------- PPPPPPPP RNBQKBNR",
               "W -1 1 1 1 1 0 9 Alpha Beta 0 5 0 39 39 300 300 1 none (0:00) none 0 0 0") +
         "\n\rOpp(U) tells you: gg\n\rfics% ");
    EXPECT_EQ(std::string(WhiteName) + BlackName + std::to_string(my_color), "AlphaBeta1");
    EXPECT_EQ(zeforboard[0], 'R');
    EXPECT_EQ(corner_labels(), "8a");
    for (int move = 1; move <= 6; ++move)
        play(board("rnbqkbnr pppppppp -------- -------- -------- -------- PPPPPPPP RNBQKBNR",
                   std::string(move % 2 ? "B" : "W") + " -1 1 1 1 1 0 9 Alpha Beta 0 5 0 39 39 300 " +
                       "300 " + std::to_string(move) + " none (0:00) none 0 1 0"));
    EXPECT_EQ(shown(0), (Shown{"Opp(U) tells you: gg\r\n", 2, 1})) << testutil::telnet_text();
    EXPECT_EQ(screen.text(30, 457, 28, 9), "You are now observing game 9");
    EXPECT_EQ(screen.text(30, 511, 20, 9), "Opp(U) tells you: gg");
    testutil::ServerEnd::hang_up(server.theirs);
    EXPECT_EQ(ProcessRawInput(icsFd, buffer, kReceiveBufferBytes, ProcessIcsLine), -1);
}

} // namespace
