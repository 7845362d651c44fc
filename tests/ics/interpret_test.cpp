// The line interpreter: notices and their colours, the style-12 board line, a session in the real
// server's bytes, the game state's start values.
#include <cstring>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "board/board.h"
#include "dialogs/command_table.h"
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

// After 1. e4, seen by White (relation -1: playing, the opponent to move).
const std::string kAfterE4 =
    "<12> rnbqkbnr pppppppp -------- -------- ----P--- -------- PPPP-PPP RNBQKBNR B 4 1 1 1 1 0 "
    "42 White Black -1 5 0 39 39 300 300 1 P/e2-e4 (0:00) e4 0 1 0";
// The same position in the board's order: files a..h, each from rank 1 up; and turned.
const std::string kAfterE4Files = "RP    prNP    pnBP    pbQP    pqK  P  pkBP    pbNP    pnRP    pr";
const std::string kTurned(kAfterE4Files.rbegin(), kAfterE4Files.rend());

// kAfterE4 with field number (1-based, after "<12>") replaced by value; "" cuts the line there.
std::string with_field(int number, const std::string& value, const std::string& line = kAfterE4)
{
    std::istringstream in(line);
    std::string joined, field;
    for (int i = 0; in >> field && !(i == number && value.empty()); ++i)
        joined += (i ? " " : "") + (i == number ? value : field);
    return joined;
}

// The board, and the side to move ("0" before the first board line).
std::string board_and_side()
{
    return std::string(zeforboard, kSquares) + (WhoIsOnMove ? WhoIsOnMove : '0');
}

class Interpreter : public ::testing::Test {
  protected:
    void SetUp() override
    {
        init();
        exit_on_pause_usec = 0;
        MyName[0] = LastMoveSent[0] = WhoIsOnMove = 0;
        memcpy(zeforboard, kStartPosition, sizeof kStartPosition);
        whats_showed = kBoardView;
    }
    void line(const std::string& text) { ProcessIcsLine((text + "\r\n").c_str()); }
    std::string players() { return std::string(WhiteName) + WhiteRating + BlackName + BlackRating; }
    // The labels left of row 8 and under column 1: "8a" from White's side, "1h" turned.
    std::string corner_labels() const
    {
        return screen.text(Xoffset + 5, Yoffset - 389, 1) + screen.text(Xoffset + 39, Yoffset - 19, 1);
    }
    testsupport::TestScreen screen;
};

TEST_F(Interpreter, EachKindOfLineIsShownInItsColoursAndTheLastMatchingTestDecides)
{
    // Columns: the line as received (without "\r\n"), ink and paper (0, 0: not shown). It is
    // shown without its leading prompts.
    // clang-format off
    const std::tuple<const char*, int, int> cases[] = {
        {"foo: Command not found.", 5, 1}, {"{Game 4 (A vs. B) Creating blitz match.}", 1, 10},
        {"{Game 4 (A vs. B) B resigns} 1-0", 1, 10}, {"Your name will be Tester", 1, 8},
        {"Logging you in as \"GuestWXYZ\"; you may use", 1, 8},
        {"**** Starting FICS session as GuestWXYZ(U) ****", 1, 8},
        {"You have 2 messages.", 3, 1}, {"you have", 5, 1}, // phrases are exact
        {"Guest(U)(++++)[4] kibitzes: hi", 3, 1}, {"Guest(U)(++++)[4] whispers: hi", 3, 1},
        {"Guest(U) tells you: hi", 2, 1}, {"Guest(U)[4] says: hi", 2, 1}, {"A shouts: hi", 5, 1},
        {"Guest offers you a draw.", 1, 5}, {"Guest requests that the game be aborted.", 1, 5},
        {"Guest would like to abort the game", 1, 5}, {"Guest requests adjournment.", 1, 5},
        {"Guest would like to adjourn the game", 1, 5}, {"Your opponent offers a draw.", 1, 5},
        {"Your opponent requests a pause.", 1, 5}, {"Guest requests a takeback of 2", 1, 10},
        {"Game 42: White (++++) Black (1500) unrated blitz 5 0", 5, 1}, // not after "observing"
        {"Guest(U) tells you: I offers you a draw", 1, 5}, {"Guest(U) tells you: You have", 2, 1},
        {"Name shouts: kibitzes: no", 5, 1}, {"Your opponent requests takeback 1", 1, 10},
        {"{Game 4 (A vs. B) Name shouts: x} *", 1, 10}, {"Logging you in as You have", 3, 1},
        {"fics% fics% Guest(U) tells you: hi", 2, 1}, {"fics%  two spaces", 5, 1},
        {"fics% ", 0, 0}, {"fics% fics% ", 0, 0}, // nothing but prompts
        {"", 5, 1},                                 // the server's own blank line
    };
    // clang-format on
    for (const auto& [text, ink, paper] : cases) {
        add_to_telnet("before", 7, 7);
        line(text);
        std::string rest = text;
        while (rest.starts_with("fics% "))
            rest.erase(0, 6);
        EXPECT_EQ(shown(0), ink ? Shown(rest + "\r\n", ink, paper) : Shown("before", 7, 7)) << text;
    }
    line("Guest offers you a draw.");
    EXPECT_EQ(screen.text(30, 511, 24, 9), "Guest offers you a draw.") << "the small window";
}

TEST_F(Interpreter, LoginTextsGiveTheBareHandleAndAGameEndNamingTheUserEndsTheGame)
{
    const std::pair<const char*, const char*> handles[] = {
        {"Logging you in as \"GuestWXYZ\"; you may use this name", "GuestWXYZ"},
        {"**** Starting FICS session as GuestWXYZ(U) ****", "GuestWXYZ"},
        {"fics% **** Starting FICS session as Tester(TM)(C) ****", "Tester"},
        {"Your name will be Tester", "Tester"},
        {"Logging you in as \"ABCDEFGHIJKLMNOPQRSTUVWXYZ\";", "ABCDEFGHIJKLMNOPQRS"},
        {"Logging you in as ", "Before"}, {"Logging you in as (U)", "Before"}, // no handle
    };
    for (const auto& [text, handle] : handles) {
        strcpy(MyName, "Before");
        line(text);
        EXPECT_STREQ(MyName, handle) << text;
    }
    // Columns: MyName, the line, WeAreNotPlaying after it (0 before).
    const std::tuple<const char*, const char*, int> ends[] = {
        {"Tester", "{Game 42 (Tester vs. Opponent) Opponent resigns} 1-0", 1},
        {"Tester", "{Game 42 (Tester vs. Opponent) Tester checkmated} 0-1", 1},
        {"Tester", "{Game 42 (Tester vs. Opponent) Game drawn by repetition} 1/2-1/2", 1},
        {"Tester", "{Game 42 (Tester vs. Opponent) Game aborted on move 1} *", 1},
        {"Tester", "{Game 42 (Tester vs. Opponent) Creating unrated blitz match.}", 0},
        {"Tester", "{Game 43 (Alpha vs. Beta) Beta resigns} 1-0", 0},
        {"Tester", "Tester: {Game 42 (Tester vs. Opponent) Opponent resigns} 1-0", 0},
        {"", "{Game 43 (Alpha vs. Beta) Beta resigns} 1-0", 1}, // before login: every end
    };
    for (const auto& [name, text, not_playing] : ends) {
        strcpy(MyName, name);
        WeAreNotPlaying = 0;
        line(text);
        EXPECT_EQ(WeAreNotPlaying, not_playing) << text;
    }
}

TEST_F(Interpreter, AGameIsAnnouncedForTheUserOrForTheLineRightAfterAnObservation)
{
    strcpy(MyName, "Tester");
    const time_t before = time(nullptr);
    line("Creating: Opponent (1500) Tester (++++) unrated blitz 5 0");
    EXPECT_EQ(zeforboard[0] + std::to_string(my_color * 10 + WeAreNotPlaying), "r0") << "as Black";
    EXPECT_TRUE(start_time >= before && start_time <= time(nullptr));
    line("Creating: Tester (900) Opponent (1500) unrated blitz 5 0");
    EXPECT_EQ(players() + std::to_string(my_color), "Tester 900)Opponent 1500" "1")
        << "a three-digit rating keeps its parenthesis";
    line("Creating: Other (2000)"); // fields without a token keep their values
    EXPECT_EQ(players(), "Other 2000Opponent 1500");
    for (const char* text : {"You are now observing game 42.", "Removing game 17 from observation",
                             "Game 42: Alpha (2100) Beta (1950) unrated blitz 5 0",
                             "You are now observing game 42.", "You are now observing game 43.",
                             "Game 43 has no colon"})
        line(text);
    EXPECT_EQ(players() + std::to_string(WeAreNotPlaying), "Other 2000Opponent 15001");
    WeAreNotPlaying = 0;
    line("You are now observing game 42.");
    line("Game 42: Alpha (2100) Beta (1950) unrated blitz 5 0");
    EXPECT_EQ(players() + std::to_string(ObserveAnnounced * 10 + WeAreNotPlaying),
              "Alpha 2100Beta 19501");
    EXPECT_EQ(std::get<1>(shown(0)), 5) << "the colours stay";
}

TEST_F(Interpreter, ARejectedMoveAsksForTheBoardAgainAndSaysWhatToDo)
{
    // Columns: the move sent last, the line, whether it rejects the move, moving_enabled after.
    const std::tuple<const char*, const char*, bool, int> cases[] = {
        {"", "fics% Illegal move (e2e5).", true, 1},  {"", "Not a legal move.", true, 1},
        {"", "Your king is in check.", true, 1},       {"", "It is not your move.", true, 0},
        {"", "It isn't your turn.", true, 0},
        {"", "Illegal move (e2e5). takeback ", true, 1}, // ends the line: no later colours
        // The server's answer to a move it does not take as one.
        {"e7e8q", "e7e8q: Command not found.", true, 1},
        {"e2e4", "fics% e2e4: Command not found.", true, 1},
        {"e2e4", "e2e5: Command not found.", false, 0}, {"e2e4", "e2e4 Command not found.", false, 0},
        {"e2e4", "xe2e4: Command not found.", false, 0}, {"", ": Command not found.", false, 0},
    };
    testutil::ServerEnd server;
    for (const auto& [sent, text, rejected, may_move] : cases) {
        SCOPED_TRACE(text);
        strcpy(LastMoveSent, sent);
        moving_enabled = 0;
        add_to_telnet("before", 7, 7);
        line(text);
        const std::string rest = std::string(text).substr(strncmp(text, "fics% ", 6) ? 0 : 6) + "\r\n";
        if (rejected) {
            EXPECT_EQ(shown(1), (Shown{rest, 1, 3})) << testutil::telnet_text();
        }
        EXPECT_EQ(shown(rejected ? 2 : 1), (Shown{"before", 7, 7}));
        EXPECT_EQ(shown(0), rejected ? Shown("Please select some valid move!", 10, 1) : Shown(rest, 5, 1));
        EXPECT_EQ(server.received(), rejected ? "refresh\r\n" : "");
        EXPECT_EQ(moving_enabled, may_move);
    }
    // Only until the next board line; and nothing is sent while unconnected.
    strcpy(LastMoveSent, "e2e4");
    line("<12> garbled");
    line("e2e4: Command not found.");
    EXPECT_EQ(LastMoveSent + std::to_string(std::get<1>(shown(0))), "5") << "cleared by it";
    icsFd = 0;
    line("Illegal move (e2e5).");
    EXPECT_EQ(shown(0), (Shown{"Please select some valid move!", 10, 1}));
    EXPECT_EQ(server.received(), "");
}

TEST_F(Interpreter, ABoardLineIsOrientedColouredAndLabelledByTheUsersPlaceInTheGame)
{
    // Columns: user, side to move, relation, my_color before and after, moving_enabled, whether
    // the board is stored turned; the labels follow.
    // clang-format off
    const std::tuple<const char*, const char*, const char*, int, int, int, bool> cases[] = {
        {"White", "W", "1", 0, 1, 1, false},  {"White", "B", "-1", 0, 1, 0, false},
        {"Black", "B", "1", 1, 0, 1, true},   {"Black", "W", "-1", 1, 0, 0, true},
        {"White", "W", "2", 0, 1, 1, false},  {"Black", "B", "2", 1, 0, 1, true}, // examining
        {"White", "B", "2", 1, 1, 0, false},  {"White", "W", "-2", 1, 1, 0, false},
        {"White", "W", "-3", 1, 1, 0, false}, {"Guest", "B", "1", 1, 1, 0, false},
        // Observing after a game as Black: the board as stored, named from White's side.
        {"Guest", "W", "0", 0, 1, 0, false},  {"Guest", "B", "0", 0, 1, 0, false},
    };
    // clang-format on
    for (const auto& [name, side, relation, color_before, color, may_move, turned] : cases) {
        SCOPED_TRACE(std::string(name) + " " + side + " " + relation);
        strcpy(MyName, name);
        my_color = color_before;
        moving_enabled = 1 - may_move;
        line(with_field(19, relation, with_field(9, side)));
        EXPECT_EQ(my_color * 10 + moving_enabled, color * 10 + may_move);
        EXPECT_EQ(board_and_side(), (turned ? kTurned : kAfterE4Files) + side);
        EXPECT_EQ(corner_labels(), turned ? "1h" : "8a");
    }
}

TEST_F(Interpreter, BoardLineFieldsAreReadUpToTheFirstThatDoesNotFit)
{
    int* const numbers[] = {&DoublePawnPush, &WscCs,         &WscCl,         &BscCs,
                            &BscCl,          &NumMovesIrr,   &GameNumber,    &MojaUloga,
                            &InitialTime,    &InitialIncrement, &WhiteStrength, &BlackStrength,
                            &WhiteRemaining, &BlackRemaining, &MoveNumber};
    // Columns: the line, fields 9 to 27 after it (each starts at 7 or "old").
    const std::pair<std::string, std::string> cases[] = {
        {kAfterE4, "B 4 1 1 1 1 0 42 White Black -1 5 0 39 39 300 300 1 P/e2-e4"},
        {with_field(10, ""), "B 7 7 7 7 7 7 7 old old 7 7 7 7 7 7 7 7 old"},
        {with_field(17, ""), "B 4 1 1 1 1 0 42 old old 7 7 7 7 7 7 7 7 old"},
        {with_field(15, "-"), "B 4 1 1 1 1 7 7 old old 7 7 7 7 7 7 7 7 old"},
        {with_field(19, "one"), "B 4 1 1 1 1 0 42 White Black 7 7 7 7 7 7 7 7 old"},
        {with_field(24, "2147483648"), "B 4 1 1 1 1 0 42 White Black -1 5 0 39 39 7 7 7 old"},
        {with_field(26, "+"), "B 4 1 1 1 1 0 42 White Black -1 5 0 39 39 300 300 7 old"},
        {with_field(24, "2147483647", with_field(25, "-2147483648")),
         "B 4 1 1 1 1 0 42 White Black -1 5 0 39 39 2147483647 -2147483648 1 P/e2-e4"},
        {with_field(17, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", with_field(27, "P/e7-e8=Q+and-more")),
         "B 4 1 1 1 1 0 42 ABCDEFGHIJKLMNOPQRS Black -1 5 0 39 39 300 300 1 P/e7-e8=Q"},
    };
    for (const auto& [text, expected] : cases) {
        for (int* number : numbers)
            *number = 7;
        strcpy(WhiteName, "old"), strcpy(BlackName, "old"), strcpy(PreviousMoveLong, "old");
        line(text);
        std::string fields(1, WhoIsOnMove);
        for (int i = 0; i < 15; ++i)
            fields += " " + std::to_string(*numbers[i]) +
                      (i == 6 ? std::string(" ") + WhiteName + " " + BlackName : "");
        EXPECT_EQ(fields + " " + PreviousMoveLong, expected) << text;
        EXPECT_EQ(board_and_side(), kAfterE4Files + "B");
    }
}

TEST_F(Interpreter, MalformedCutOrHiddenBoardLinesAreReadWithinTheirEndAndDrawNothing)
{
    std::string bad_square = kAfterE4, bad_separator = kAfterE4;
    bad_square[5 + 20] = 'x';
    bad_separator[5 + 17] = '-';
    const uint32_t calls = screen.draw_calls();
    for (const std::string& text : {bad_square, bad_separator, with_field(9, "w"),
                                    with_field(9, "WB"), "<12> " + with_field(9, "W").substr(6)}) {
        line(text);
        EXPECT_EQ(board_and_side(), kStartPosition + std::string("0")) << text;
        EXPECT_EQ(screen.draw_calls(), calls);
    }
    // Outside the board view the state changes and nothing is drawn; never shown as text.
    for (int mode : {int(kHelpScreen), int(kFullTelnet)}) {
        whats_showed = mode;
        strcpy(MyName, "Black");
        const Shown before = shown(0);
        line("fics% fics% " + with_field(19, "1"));
        EXPECT_EQ(screen.draw_calls(), calls) << mode;
        EXPECT_EQ(board_and_side() + std::to_string(my_color * 10 + moving_enabled), kTurned + "B1");
        EXPECT_EQ(shown(0), before) << testutil::telnet_text();
    }
    // Each prefix sits in a heap block of its exact size, so the address sanitizer sees any
    // read past its end. Lines cut before the side to move change nothing.
    MyName[0] = 0;
    for (size_t length = 0; length <= kAfterE4.size(); ++length) {
        memcpy(zeforboard, kStartPosition, sizeof kStartPosition);
        WhoIsOnMove = 0;
        std::unique_ptr<char[]> exact(new char[length + 1]);
        memcpy(exact.get(), kAfterE4.c_str(), length);
        exact[length] = 0;
        ProcessIcsLine(exact.get());
        EXPECT_EQ(board_and_side(), length >= 5 + 73 ? kAfterE4Files + "B" : kStartPosition + std::string("0"))
            << length;
    }
}

// A session in the main server's own bytes ("\n\r" line ends, a "fics% " prompt in front of each
// notice and board line, a mating board line and the game's end in one read) through
// ProcessRawInput and ProcessIcsLine over a real socket.
class Session : public Interpreter {
  protected:
    // Sends the stream in reads of chunk bytes, each handed to ProcessRawInput at once.
    void play(const std::string& stream, size_t chunk = 1 << 20)
    {
        for (size_t at = 0; at < stream.size(); at += chunk) {
            server.send(stream.substr(at, chunk));
            ASSERT_EQ(ProcessRawInput(icsFd, buffer, kReceiveBufferBytes, ProcessIcsLine), 0);
        }
    }
    testutil::ServerEnd server;
    char buffer[kReceiveBufferBytes] = "";
};

// A board line as the main server sends it on its own: on a line of its own, then the prompt.
std::string board(const std::string& ranks, const std::string& rest)
{
    return "\n\r<12> " + ranks + " " + rest + "\n\rfics% ";
}

TEST_F(Session, AGameAsBlackEndsInMateAndTheMateIsOnTheClockPanel)
{
    strcpy(MyName, "GuestQKRM");
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
    EXPECT_EQ(players(), "Opp 1500GuestQKRM ++++");
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
    testutil::ServerEnd::hang_up(server.theirs);
    EXPECT_EQ(ProcessRawInput(icsFd, buffer, kReceiveBufferBytes, ProcessIcsLine), -1);
}

// init runs at every start of the plugin: it sets its start values and leaves what the user's
// earlier session learnt (handle, ratings, board, clocks, connection) alone.
TEST(GameState, InitSetsStartValuesAndKeepsTheRest)
{
    memset(zeforboard, 'x', kSquares);
    strcpy(MyName, "Tester"), strcpy(WhiteRating, " 1500");
    WhiteRemaining = icsFd = 77;
    WeAreNotPlaying = ObserveAnnounced = my_color = 0, moving_enabled = 1;
    init();
    EXPECT_EQ(std::string(WhiteName) + BlackName + CountingFor + MyName + WhiteRating + zeforboard[0],
              "WHITEBLACK Tester 1500x");
    EXPECT_EQ((std::vector<int>{WeAreNotPlaying, my_color, moving_enabled, ObserveAnnounced,
                                Xoffset, Yoffset, highest_command, WhiteRemaining, icsFd}),
              (std::vector<int>{1, 1, 0, 0, 40, 449, 44, 77, 77}));
}

} // namespace
