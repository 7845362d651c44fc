// Games over loopback sockets: creation and board lines, move answers, promotions, observers
// and move lists, the ends of games, seeks, the computer opponent and bad input.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

#include "ficsd_harness.h"

using namespace ficsd_test;

namespace {
// Style 12 field positions after "<12> ".
enum Field { kSide = 8, kWhiteName = 16, kRelation = 18, kMoveNumber = 25, kShort = 28 };
constexpr size_t kFields = 32;
const std::string kEnd = "{Game 1 ({0} vs. {1}) ";
} // namespace

TEST(Game, CreationAndEveryFieldOfTheBoardLines)
{
    // Clocks a hundred times slower than real time: the seconds on the board lines do not move.
    Room room(2, {"--no-computer", "--clock-scale", "0.01"});
    const std::string title = "Creating: {0} (++++) {1} (++++) unrated blitz 5 0\n\r"
                              "{Game 1 ({0} vs. {1}) Creating unrated blitz match.}\n\r";
    const std::string start = "<12> rnbqkbnr pppppppp -------- -------- -------- -------- "
                              "PPPPPPPP RNBQKBNR W -1 1 1 1 1 0 1 {0} {1} ";
    const std::string e4 = "<12> rnbqkbnr pppppppp -------- -------- ----P--- -------- PPPP-PPP "
                           "RNBQKBNR B 4 1 1 1 1 0 1 {0} {1} ";
    room.run({{0, "match {1} 5 0 white", ""},
              {1, "", "Challenge:"},
              {1, "accept", title + start + "-1 5 0 39 39 300 300 1 none (0:00) none 1 0 0\n\r"},
              {0, "", title + start + "1 5 0 39 39 300 300 1 none (0:00) none 0 0 0\n\r"},
              {0, "e2e4", e4 + "-1 5 0 39 39 300 300 1 P/e2-e4 (0:00) e4 0 1 0\n\rfics% "},
              {1, "", "\n\r" + e4 + "1 5 0 39 39 300 300 1 P/e2-e4 (0:00) e4 1 1 0\n\rfics% "},
              {1, "e5", " W 4 1 1 1 1 0 1 {0} {1} -1 5 0 39 39 300 300 2 P/e7-e5 "}});
    room.run({{0, "", " W 4 1 1 1 1 0 1 {0} {1} 1 5 0 39 39 300 300 2 P/e7-e5 (0:00) e5 0 1 0"}});
    // Castling, the fifty-move count, a capture with check and material.
    EXPECT_NE(room.play(0, "Nf3 Nc6 Bc4 Bc5 O-O").find(" RNBQ-RK- B -1 0 0 1 1 5 1 "),
              std::string::npos);
    EXPECT_NE(room.play(1, "Bxf2+").find(room.names(" W -1 0 0 1 1 0 1 {0} {1} -1 5 0 38 39 ")),
              std::string::npos);
}

TEST(Game, MovesTheServerRefuses)
{
    Room room(3);
    room.start_game();
    room.run({{0, "e2e5", "Illegal move (e2e5).\n\rfics% "},
              {0, "Ke2", "Illegal move (Ke2).\n\rfics% "},
              {1, "e7e5", "It is not your move.\n\rfics% "},
              {2, "e4", "You are not playing or examining a game.\n\rfics% "}});
    room.play(0, "e4 e5 d4 Bb4+");
    room.run({{0, "Nf3", "Illegal move (Nf3).\n\rfics% "}}); // leaves the king in check
}

TEST(Game, PromotionsInTheLineagesFormsOnly)
{
    Room room(2);
    room.start_game();
    room.play(0, "a4 h5 a5 h4 a6 h3 axb7 hxg2");
    // Forms the servers do not take as moves are unknown commands, and nothing is played.
    for (const char* text : {"b7a8q", "b7a8Q", "b7-a8q", "bxa8q"})
        room.run({{0, text, std::string(text) + ": Command not found.\n\rfics% "}});
    room.run({{0, "promote k", "Promotion piece set to KNIGHT."}});
    EXPECT_NE(room.play(0, "b7a8").find("<12> Nnbqkbnr "), std::string::npos);
    EXPECT_NE(
        room.play(1, "gxh1=r").find(room.names(" RNBQKBNr W -1 0 1 1 0 0 1 {0} {1} -1 5 0 35 37 ")),
        std::string::npos);
    const auto board = board_fields(room.run({{0, "refresh", ""}}));
    EXPECT_EQ(board[kShort - 2] + " " + board[kShort], "P/g2-h1=R gxh1=R");
    // A new game starts with the queen again.
    room.run({{0, "resign", "resigns} 0-1"}, {1, "", "resigns} 0-1"}});
    room.start_game();
    room.run({{0, "promote", "Promotion piece set to QUEEN."}});
}

TEST(Game, ObserversSeeBoardsMoveListsAndTalk)
{
    Room room(3, {"--no-computer", "--clock-scale", "0.01"});
    room.start_game();
    room.play(0, "e4 e5");
    room.run({{2, "observe 1",
               "You are now observing game 1.\n\rGame 1: {0} (++++) {1} (++++) "
               "unrated blitz 5 0\n\r<12> "},
              {2, "observe {1}", "You are already observing game 1."}});
    const std::string moves = room[2].ask("moves");
    const std::string heading = "\n\rMovelist for game 1:\n\r\n\r{0} (UNR) vs. {1} (UNR) --- ";
    EXPECT_EQ(moves.find(room.names(heading)), 0u) << moves;
    EXPECT_NE(moves.find(room.names("\n\rUnrated blitz match, initial time: 5 minutes, increment: "
                                    "0 seconds.\n\r\n\rMove  {0}          {1}          \n\r"
                                    "----  ----------------   ----------------\n\r"
                                    "  1.  e4      (0:00)     e5      (0:00)  \n\r"
                                    "      {Still in progress} *\n\rfics% ")),
              std::string::npos)
        << moves;
    room.play(0, "d4");
    const auto seen = board_fields(room.run({{2, "", "\n\r<12> "}}));
    EXPECT_EQ(seen[kRelation] + seen[kShort], "0d4");
    room.run({{0, "kibitz nice", "(kibitzed to 2 player(s))"},
              {1, "", "{0}(U)(++++)[1] kibitzes: nice"},
              {2, "", "{0}(U)(++++)[1] kibitzes: nice"},
              {1, "whisper psst", "(whispered to 1 player(s))"},
              {2, "", "{1}(U)(++++)[1] whispers: psst"},
              {2, "unobserve 1", "Removing game 1 from observation list."}});
    room.play(1, "d5");
    EXPECT_EQ(room[2].read_for(300ms), "");
    EXPECT_EQ(room[0].read_for(10ms), ""); // the whisper did not reach the players
}

TEST(Game, EndsReachPlayersAndObservers)
{
    Room room(3);
    room.start_game();
    room.run({{2, "observe 1", ""},
              {0, "draw", "Draw request sent."},
              {1, "", "{0} offers you a draw."},
              {1, "accept",
               kEnd + "Game drawn by mutual agreement} 1/2-1/2\n\rNo ratings "
                      "adjustment done.\n\rfics% "},
              {0, "", kEnd + "Game drawn by mutual agreement} 1/2-1/2\n\rNo ratings"},
              {2, "", kEnd + "Game drawn by mutual agreement} 1/2-1/2"},
              {0, "draw", "You are not playing or examining a game."}});
    room.start_game();
    room.run({{1, "resign", kEnd + "{1} resigns} 1-0"}, {0, "", kEnd + "{1} resigns} 1-0"}});
    room.start_game();
    room.run({{1, "abort", kEnd + "Game aborted on move 1} *\n\rfics% "}, {0, "", "aborted"}});
    room.start_game();
    room.play(0, "e4 e5");
    room.run({{0, "abort", "Abort request sent."},
              {1, "", "{0} would like to abort the game; type \"abort\" to accept."},
              {1, "abort", kEnd + "Game aborted by mutual agreement} *"},
              {0, "", "aborted by mutual agreement"}});
    room.start_game();
    room.play(0, "f3 e5 g4");
    room.run({{1, "Qh4", " Qh4# 1 1 0\n\r" + kEnd + "{0} checkmated} 0-1\n\rNo ratings adjust"},
              {0, "", "{0} checkmated} 0-1"}});
    // A threefold repetition is claimed with "draw"; a move lets the other's offer lapse.
    room.start_game();
    room.run({{0, "draw", "Draw request sent."}, {1, "", "offers you a draw."}});
    room.play(0, "Nf3 Nf6 Ng1 Ng8 Nf3 Nf6 Ng1 Ng8");
    room.run({{1, "accept", "You have no offers to accept."},
              {0, "draw", kEnd + "Game drawn by repetition} 1/2-1/2"},
              {1, "", "drawn by repetition"}});
    // Disconnection forfeits.
    room.start_game();
    room.play(0, "e4 e5");
    room[1].close();
    room[0].read_until(room.names(kEnd + "{1} forfeits by disconnection} 1-0"));
}

TEST(Game, TakebackAcceptedRestoresTheBoard)
{
    Room room(2);
    room.start_game();
    room.play(0, "e4 e5");
    room.run({{0, "takeback 2", "Takeback request sent."},
              {1, "", "{0} would like to take back 2 half move(s)."},
              {1, "accept", "You accept the takeback request from {0}."}});
    const auto w = board_fields(room.run({{0, "", "<12> "}}));
    EXPECT_EQ(w[4] + w[6] + w[kShort - 2] + w[kRelation], "--------PPPPPPPPnone1");
    EXPECT_NE(room.play(0, "d4").find(" P/d2-d4 "), std::string::npos);
}

TEST(Game, FlagFallsWithATinyTimeControl)
{
    Room room(2, {"--no-computer", "--clock-scale", "120"}); // a minute in half a second
    room.start_game("1 0");
    room.play(0, "e4 e5");
    for (int who : {0, 1})
        room[who].read_until(room.names(kEnd + "{0} forfeits on time} 0-1\n\rNo ratings "
                                               "adjustment done.\n\rfics% "));
    room.run({{0, "Nf3", "You are not playing or examining a game."}});
}

TEST(Game, SeekAnsweredByPlayStartsTheGame)
{
    Room room(2);
    room.run({{0, "seek 3 2 white",
               "Your seek has been posted with index 1.\n\r(1 player(s) saw "
               "the seek.)\n\rfics% "},
              {1, "", "\n\r{0} (++++) seeking 3 2 unrated blitz [white] (\"play 1\" to respond)"},
              {1, "sought", "1 ad displayed."},
              {1, "play 1", "<12> "},
              {0, "", " {0} {1} 1 3 2 "},
              {1, "play 1", "You are playing a game."}});
}

TEST(Game, BadInputNeverPlaysNorHurtsTheGame)
{
    Room room(3);
    room.start_game();
    const std::string junk[] = {"e7e8q",
                                "e2e4=",
                                "=q",
                                "e2e4 e7e5",
                                "$$$",
                                "e2-e4q",
                                "O-O-O-O",
                                "e9e4",
                                "a1a1",
                                "Pe4",
                                "moves -1",
                                "moves 99999999999",
                                "observe -5",
                                "refresh 0",
                                "promote qq",
                                "iset",
                                "iset ms",
                                "set",
                                "set width abc",
                                "match",
                                "takeback -1",
                                "moretime 9999999",
                                "seek 9999 9999",
                                "play -1",
                                std::string(3000, 'x'),
                                "\x01\x02"};
    for (const std::string& line : junk)
        for (int who : {0, 2})
            EXPECT_EQ(room[who].ask(line).find("<12>"), std::string::npos) << line;
    EXPECT_EQ(room[1].read_for(100ms), "");
    EXPECT_EQ(board_fields(room.run({{0, "refresh", ""}}))[kShort - 2], "none");
    EXPECT_EQ(board_fields(room.play(0, "e4"))[kSide], "B");
}

TEST(Computer, TakesASeekAndAnswersMoves)
{
    Room room(1, {"--engine", "none", "--computer-seek-delay", "50"});
    room.run({{0, "seek 5 0 white", "Your seek has been posted"},
              {0, "", "Creating: {0} (++++) computer (----) unrated blitz 5 0"},
              {0, "e4", "<12> "}});
    const auto f = board_fields(room.run({{0, "", "<12> "}}));
    ASSERT_EQ(f.size(), kFields);
    EXPECT_EQ(f[kSide] + f[kRelation] + f[kMoveNumber], "W12");
}

TEST(Computer, FallsBackToTheBuiltInMoverWhenTheEngineFails)
{
    Room room(1, {"--engine", "/bin/false"}); // an engine that exits at once
    room.run({{0, "match computer 5 0 white", ""}, {0, "", "<12> "}});
    for (const char* move : {"e4", "d4"}) {
        room.run({{0, move, "<12> "}});
        const auto f = board_fields(room.run({{0, "", "<12> "}}));
        EXPECT_EQ(f[kSide] + f[kRelation], "W1");
    }
    room.run({{0, "resign", "resigns} 0-1\n\rNo ratings adjustment done."},
              {0, "history", "History for {0}:\n\r1: {0} vs. computer 0-1 {0} resigns"}});
}

TEST(Computer, StockfishAcceptsAChallengeAndPlays)
{
    if (::access("/usr/games/stockfish", X_OK) != 0)
        GTEST_SKIP() << "no stockfish installed";
    Room room(1, {"--engine-movetime", "50"});
    room.run({{0, "match computer 5 0 black", ""}, {0, "", "computer accepts the match offer."}});
    const std::string text = room[0].read_until(" 1 1 0\n\r");
    EXPECT_EQ(board_fields(text)[kSide] + board_fields(text)[kRelation], "B1") << text;
}

TEST(Computer, LeavesManualSeeksAloneWithoutSpinning)
{
    FicsdProcess server({"--engine", "none", "--computer-seek-delay", "10"});
    Client c(server.port());
    c.login_guest();
    EXPECT_NE(c.ask("seek 5 0 manual").find("index 1."), std::string::npos);
    // Over a second with the seek long past the computer's delay: no game, and an idle server.
    auto cpu_ticks = [&] {
        std::ifstream stat("/proc/" + std::to_string(server.pid()) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string f;
        long ticks = 0;
        for (int i = 3; i <= 15 && fields >> f; ++i)
            ticks += i >= 14 ? std::stol(f) : 0;
        return ticks;
    };
    const long before = cpu_ticks();
    EXPECT_EQ(c.read_for(1000ms).find("Creating:"), std::string::npos);
    EXPECT_LT(cpu_ticks() - before, ::sysconf(_SC_CLK_TCK) / 5);
    EXPECT_NE(c.ask("sought").find("1 ad displayed."), std::string::npos);
}
