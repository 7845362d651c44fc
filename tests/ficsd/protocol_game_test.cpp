// Games over loopback sockets: challenges and seeks, board lines field by field, move answers,
// observers, offers, the ends of games, flag fall and the computer opponent.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "ficsd_harness.h"

using namespace ficsd_test;

namespace {

// Style 12 field positions after "<12> ".
enum Field {
    kSide = 8,
    kDoublePush,
    kWhiteShort,
    kWhiteLong,
    kBlackShort,
    kBlackLong,
    kHalfMoves,
    kGame,
    kWhiteName,
    kBlackName,
    kRelation,
    kInitial,
    kIncrement,
    kWhiteStrength,
    kBlackStrength,
    kWhiteTime,
    kBlackTime,
    kMoveNumber,
    kVerbose,
    kTaken,
    kShort,
    kFlip,
    kTicking,
    kLag,
    kFieldCount
};

// Two guests in a game: White challenged Black, Black accepted.
struct Duel {
    explicit Duel(std::vector<std::string> args = {"--no-computer"}, std::string terms = "5 0")
        : server(std::move(args)), white(server.port()), black(server.port())
    {
        white_name = white.login_guest();
        black_name = black.login_guest();
        white.line("match " + black_name + " " + terms + " white");
        white.read_until("fics% ");
        black.read_until("propose different parameters.\n\rfics% ");
        black.line("accept");
        created_black = black.read_until("fics% ");
        created_white = white.read_until("fics% ");
    }
    // A move by one side; returns the two board lines (mover's, other's).
    std::pair<std::string, std::string> move(Client& mover, Client& other, const std::string& m)
    {
        mover.line(m);
        const std::string mine = last_board_line(mover.read_until("fics% "));
        const std::string theirs = last_board_line(other.read_until("fics% "));
        return {mine, theirs};
    }
    FicsdProcess server;
    Client white, black;
    std::string white_name, black_name, created_white, created_black;
};

} // namespace

TEST(Game, ChallengeAcceptedCreatesTheGameForBoth)
{
    Duel d;
    const std::string title =
        d.white_name + " (++++) " + d.black_name + " (++++) unrated blitz 5 0";
    for (const std::string* text : {&d.created_white, &d.created_black}) {
        EXPECT_NE(text->find("Creating: " + title + "\n\r{Game 1 (" + d.white_name + " vs. " +
                             d.black_name + ") Creating unrated blitz match.}\n\r<12> "),
                  std::string::npos)
            << *text;
    }
    const auto w = board_fields(last_board_line(d.created_white));
    const auto b = board_fields(last_board_line(d.created_black));
    ASSERT_EQ(w.size(), size_t(kFieldCount));
    ASSERT_EQ(b.size(), size_t(kFieldCount));
    EXPECT_EQ(w[0], "rnbqkbnr");
    EXPECT_EQ(w[7], "RNBQKBNR");
    EXPECT_EQ(w[kSide], "W");
    EXPECT_EQ(w[kRelation], "1");
    EXPECT_EQ(b[kRelation], "-1");
    EXPECT_EQ(w[kFlip], "0");
    EXPECT_EQ(b[kFlip], "1");
    EXPECT_EQ(w[kVerbose], "none");
    EXPECT_EQ(w[kShort], "none");
    EXPECT_EQ(w[kTicking], "0");
    EXPECT_EQ(w[kWhiteTime], "300");
    EXPECT_EQ(w[kMoveNumber], "1");
}

TEST(Game, BoardLinesCarryEveryFieldAfterEachMove)
{
    Duel d;
    auto [w1, b1] = d.move(d.white, d.black, "e2e4");
    const auto w = board_fields(w1), b = board_fields(b1);
    ASSERT_EQ(w.size(), size_t(kFieldCount)) << w1;
    const std::vector<std::string> expected_white = {
        "rnbqkbnr", "pppppppp", "--------",   "--------",   "----P---", "--------", "PPPP-PPP",
        "RNBQKBNR", "B",        "4",          "1",          "1",        "1",        "1",
        "0",        "1",        d.white_name, d.black_name, "-1",       "5",        "0",
        "39",       "39",       "300",        "300",        "1",        "P/e2-e4",  "(0:00)",
        "e4",       "0",        "1",          "0"};
    EXPECT_EQ(w, expected_white);
    std::vector<std::string> expected_black = expected_white;
    expected_black[kRelation] = "1";
    expected_black[kFlip] = "1";
    EXPECT_EQ(b, expected_black);

    // Black answers; the move number goes up, the double push file changes.
    auto [b2, w2] = d.move(d.black, d.white, "e5");
    const auto after = board_fields(w2);
    EXPECT_EQ(after[kSide], "W");
    EXPECT_EQ(after[kDoublePush], "4");
    EXPECT_EQ(after[kMoveNumber], "2");
    EXPECT_EQ(after[kVerbose], "P/e7-e5");
    EXPECT_EQ(after[kRelation], "1");
    EXPECT_EQ(board_fields(b2)[kRelation], "-1");

    // Castling, a capture and the fifty-move count through short algebraic moves.
    for (auto [mover, other, m] : {std::tuple{&d.white, &d.black, "Nf3"},
                                   {&d.black, &d.white, "Nc6"},
                                   {&d.white, &d.black, "Bc4"},
                                   {&d.black, &d.white, "Bc5"}})
        d.move(*mover, *other, m);
    auto [castled, seen] = d.move(d.white, d.black, "O-O");
    const auto c = board_fields(castled);
    EXPECT_EQ(c[7], "RNBQ-RK-");
    EXPECT_EQ(c[kVerbose], "o-o");
    EXPECT_EQ(c[kShort], "O-O");
    EXPECT_EQ(c[kDoublePush], "-1");
    EXPECT_EQ(c[kWhiteShort] + c[kWhiteLong] + c[kBlackShort] + c[kBlackLong], "0011");
    EXPECT_EQ(c[kHalfMoves], "5");
    auto [took, _] = d.move(d.black, d.white, "Bxf2+");
    const auto t = board_fields(took);
    EXPECT_EQ(t[kShort], "Bxf2+");
    EXPECT_EQ(t[kVerbose], "B/c5-f2");
    EXPECT_EQ(t[kHalfMoves], "0");
    EXPECT_EQ(t[kWhiteStrength], "38");
}

TEST(Game, WrongMovesGetTheServersTexts)
{
    Duel d;
    // text sent, by whom (0 White, 1 Black), the answer
    const std::tuple<const char*, int, const char*> rows[] = {
        {"e2e5", 0, "Illegal move (e2e5).\n\rfics% "},
        {"Ke2", 0, "Illegal move (Ke2).\n\rfics% "},
        {"e7e5", 1, "It is not your move.\n\rfics% "},
        {"e5", 1, "It is not your move.\n\rfics% "},
    };
    for (const auto& [text, who, answer] : rows) {
        Client& c = who == 0 ? d.white : d.black;
        c.line(text);
        EXPECT_EQ(c.read_until("fics% "), answer) << text;
    }
    // A move that leaves the own king in check.
    for (auto [mover, other, m] : {std::tuple{&d.white, &d.black, "e4"},
                                   {&d.black, &d.white, "e5"},
                                   {&d.white, &d.black, "d4"},
                                   {&d.black, &d.white, "Bb4+"}})
        d.move(*mover, *other, m);
    d.white.line("Nf3");
    EXPECT_EQ(d.white.read_until("fics% "), "Illegal move (Nf3).\n\rfics% ");
    Client lonely(d.server.port());
    lonely.login_guest();
    lonely.line("e4");
    EXPECT_EQ(lonely.read_until("fics% "), "You are not playing or examining a game.\n\rfics% ");
}

TEST(Game, PromotionsInTheLineagesFormsOnly)
{
    Duel d;
    for (const char* pair : {"a4 h5", "a5 h4", "a6 h3", "axb7 hxg2"}) {
        const std::string both = pair;
        d.move(d.white, d.black, both.substr(0, both.find(' ')));
        d.move(d.black, d.white, both.substr(both.find(' ') + 1));
    }
    // Forms the servers do not take as moves are unknown commands, and nothing is played.
    for (const char* text : {"b7a8q", "b7a8Q", "b7-a8q", "bxa8q"}) {
        d.white.line(text);
        EXPECT_EQ(d.white.read_until("fics% "),
                  std::string(text) + ": Command not found.\n\rfics% ");
    }
    d.white.line("promote k");
    EXPECT_EQ(d.white.read_until("fics% "), "Promotion piece set to KNIGHT.\n\rfics% ");
    const auto w = board_fields(d.move(d.white, d.black, "b7a8").first);
    EXPECT_EQ(w[0] + " " + w[kVerbose] + " " + w[kShort], "Nnbqkbnr P/b7-a8=N bxa8=N");
    const auto b = board_fields(d.move(d.black, d.white, "gxh1=r").first);
    EXPECT_EQ(b[7] + " " + b[kVerbose] + " " + b[kShort], "RNBQKBNr P/g2-h1=R gxh1=R");
    // A new game starts with the queen again.
    d.white.line("resign");
    d.black.read_until("resigns} 0-1");
    d.white.line("match " + d.black_name + " 5 0");
    d.black.read_until("propose different parameters.\n\rfics% ");
    d.black.line("accept");
    d.white.read_until("<12> ");
    d.white.line("promote");
    EXPECT_NE(d.white.read_until("Promotion piece set to QUEEN.\n\rfics% "), "");
}

TEST(Game, ObserverSeesGameLineAndEveryBoard)
{
    Duel d;
    Client watcher(d.server.port());
    watcher.login_guest();
    watcher.line("observe 1");
    const std::string start = watcher.read_until("fics% ");
    EXPECT_EQ(start.substr(0, start.find("<12> ")),
              "You are now observing game 1.\n\rGame 1: " + d.white_name + " (++++) " +
                  d.black_name + " (++++) unrated blitz 5 0\n\r");
    EXPECT_EQ(board_fields(last_board_line(start))[kRelation], "0");
    d.move(d.white, d.black, "d4");
    const std::string notice = watcher.read_until("fics% ");
    EXPECT_EQ(notice.substr(0, 7), "\n\r<12> ");
    const auto f = board_fields(last_board_line(notice));
    EXPECT_EQ(f[kRelation], "0");
    EXPECT_EQ(f[kFlip], "0");
    EXPECT_EQ(f[kShort], "d4");
    d.white.line("kibitz nice");
    d.white.read_until("fics% ");
    EXPECT_NE(watcher.read_until("fics% ").find(d.white_name + "(U)(++++)[1] kibitzes: nice"),
              std::string::npos);
    EXPECT_NE(d.black.read_until("fics% ").find("kibitzes: nice"), std::string::npos);
    d.black.line("whisper psst");
    EXPECT_EQ(d.black.read_until("fics% "), "(whispered to 1 player(s))\n\rfics% ");
    EXPECT_NE(watcher.read_until("fics% ").find(d.black_name + "(U)(++++)[1] whispers: psst"),
              std::string::npos);
    watcher.line("unobserve 1");
    EXPECT_EQ(watcher.read_until("fics% "), "Removing game 1 from observation list.\n\rfics% ");
    d.move(d.black, d.white, "d5");
    EXPECT_EQ(watcher.read_for(300ms), "");
}

TEST(Game, DrawOfferAcceptedEndsTheGameForEveryone)
{
    Duel d;
    Client watcher(d.server.port());
    watcher.login_guest();
    watcher.line("observe 1");
    watcher.read_until("fics% ");
    d.white.line("draw");
    EXPECT_EQ(d.white.read_until("fics% "), "Draw request sent.\n\rfics% ");
    EXPECT_EQ(d.black.read_until("fics% "),
              "\n\r" + d.white_name + " offers you a draw.\n\rfics% ");
    d.black.line("accept");
    const std::string end = "{Game 1 (" + d.white_name + " vs. " + d.black_name +
                            ") Game drawn by mutual agreement} 1/2-1/2\n\r";
    EXPECT_NE(d.black.read_until("fics% ").find(end + "No ratings adjustment done.\n\rfics% "),
              std::string::npos);
    EXPECT_NE(d.white.read_until("fics% ").find(end + "No ratings adjustment done.\n\rfics% "),
              std::string::npos);
    EXPECT_NE(watcher.read_until("fics% ").find(end), std::string::npos);
    d.white.line("draw");
    EXPECT_EQ(d.white.read_until("fics% "), "You are not playing or examining a game.\n\rfics% ");
}

TEST(Game, ResignAndCheckmateEndTheGame)
{
    {
        Duel d;
        d.black.line("resign");
        const std::string end = "{Game 1 (" + d.white_name + " vs. " + d.black_name + ") " +
                                d.black_name + " resigns} 1-0";
        EXPECT_NE(d.black.read_until("fics% ").find(end), std::string::npos);
        EXPECT_NE(d.white.read_until("fics% ").find(end), std::string::npos);
    }
    Duel d;
    for (auto [mover, other, m] : {std::tuple{&d.white, &d.black, "f3"},
                                   {&d.black, &d.white, "e5"},
                                   {&d.white, &d.black, "g4"}})
        d.move(*mover, *other, m);
    d.black.line("Qh4");
    const std::string text = d.black.read_until("fics% ");
    EXPECT_EQ(board_fields(last_board_line(text))[kShort], "Qh4#");
    const std::string end = "{Game 1 (" + d.white_name + " vs. " + d.black_name + ") " +
                            d.white_name + " checkmated} 0-1\n\rNo ratings adjustment done.";
    EXPECT_NE(text.find(end), std::string::npos) << text;
    EXPECT_NE(d.white.read_until("fics% ").find(end), std::string::npos);
}

TEST(Game, AbortIsImmediateOnMoveOneAndAskedForLater)
{
    {
        Duel d;
        d.black.line("abort");
        const std::string end = "{Game 1 (" + d.white_name + " vs. " + d.black_name +
                                ") Game aborted on move 1} *\n\rfics% ";
        EXPECT_NE(d.black.read_until("fics% ").find(end), std::string::npos);
        EXPECT_NE(d.white.read_until("fics% ").find(end), std::string::npos);
    }
    Duel d;
    d.move(d.white, d.black, "e4");
    d.move(d.black, d.white, "e5");
    d.white.line("abort");
    EXPECT_EQ(d.white.read_until("fics% "), "Abort request sent.\n\rfics% ");
    EXPECT_NE(d.black.read_until("fics% ").find(d.white_name +
                                                " would like to abort the game; type \"abort\" "
                                                "to accept."),
              std::string::npos);
    d.black.line("abort");
    EXPECT_NE(d.black.read_until("fics% ").find("Game aborted by mutual agreement} *"),
              std::string::npos);
}

TEST(Game, TakebackAcceptedRestoresTheBoard)
{
    Duel d;
    d.move(d.white, d.black, "e4");
    d.move(d.black, d.white, "e5");
    d.white.line("takeback 2");
    EXPECT_EQ(d.white.read_until("fics% "), "Takeback request sent.\n\rfics% ");
    EXPECT_NE(d.black.read_until("fics% ").find(d.white_name +
                                                " would like to take back 2 half move(s)."),
              std::string::npos);
    d.black.line("accept");
    const std::string text = d.black.read_until("fics% ");
    EXPECT_NE(text.find("accept the takeback request"), std::string::npos) << text;
    const auto f = board_fields(last_board_line(text));
    EXPECT_EQ(f[4], "--------");
    EXPECT_EQ(f[6], "PPPPPPPP");
    EXPECT_EQ(f[kVerbose], "none");
    EXPECT_EQ(f[kRelation], "-1");
    const auto w = board_fields(last_board_line(d.white.read_until("fics% ")));
    EXPECT_EQ(w[kRelation], "1");
    d.white.line("d4");
    EXPECT_EQ(board_fields(last_board_line(d.white.read_until("fics% ")))[kShort], "d4");
}

TEST(Game, FlagFallsWithATinyTimeControl)
{
    // One minute runs in half a second.
    Duel d({"--no-computer", "--clock-scale", "120"}, "1 0");
    d.move(d.white, d.black, "e4");
    d.move(d.black, d.white, "e5");
    const std::string end = "{Game 1 (" + d.white_name + " vs. " + d.black_name + ") " +
                            d.white_name + " forfeits on time} 0-1";
    EXPECT_NE(d.white.read_until(end).find(end), std::string::npos);
    EXPECT_NE(d.black.read_until(end).find(end), std::string::npos);
    d.white.line("Nf3");
    EXPECT_NE(d.white.read_until("You are not playing or examining a game."), "");
}

TEST(Game, SeekAnsweredByPlayStartsTheGame)
{
    FicsdProcess server({"--no-computer"});
    Client a(server.port()), b(server.port());
    const std::string an = a.login_guest();
    b.login_guest();
    a.line("seek 3 2 white");
    EXPECT_EQ(a.read_until("fics% "),
              "Your seek has been posted with index 1.\n\r(1 player(s) saw the seek.)\n\rfics% ");
    EXPECT_EQ(b.read_until("fics% "), "\n\r" + an +
                                          " (++++) seeking 3 2 unrated blitz [white] (\"play 1\" "
                                          "to respond)\n\rfics% ");
    b.line("sought");
    EXPECT_NE(b.read_until("fics% ").find("1 ad displayed."), std::string::npos);
    b.line("play 1");
    const auto f = board_fields(last_board_line(b.read_until("fics% ")));
    ASSERT_EQ(f.size(), size_t(kFieldCount));
    EXPECT_EQ(f[kWhiteName], an);
    EXPECT_EQ(f[kInitial] + " " + f[kIncrement], "3 2");
    b.line("play 1");
    EXPECT_EQ(b.read_until("fics% "), "You are playing a game.\n\rfics% ");
}

TEST(Game, DisconnectionForfeitsTheGame)
{
    Duel d;
    d.move(d.white, d.black, "e4");
    d.move(d.black, d.white, "e5");
    d.black.close();
    EXPECT_NE(d.white.read_until("forfeits by disconnection} 1-0").find(d.black_name),
              std::string::npos);
}

TEST(Computer, TakesASeekAndAnswersMoves)
{
    FicsdProcess server({"--engine", "none", "--computer-seek-delay", "50"});
    Client c(server.port());
    const std::string name = c.login_guest();
    c.line("seek 5 0 white");
    const std::string created = c.read_until("<12> ");
    EXPECT_NE(created.find("Creating: " + name + " (++++) computer (----) unrated blitz 5 0"),
              std::string::npos)
        << created;
    c.read_until("fics% ");
    c.line("e4");
    c.read_until("fics% ");
    const auto f = board_fields(last_board_line(c.read_until("fics% ")));
    ASSERT_EQ(f.size(), size_t(kFieldCount));
    EXPECT_EQ(f[kSide], "W");
    EXPECT_EQ(f[kRelation], "1");
    EXPECT_EQ(f[kMoveNumber], "2");
}

TEST(Computer, StockfishAcceptsAChallengeAndPlays)
{
    if (::access("/usr/games/stockfish", X_OK) != 0)
        GTEST_SKIP() << "no stockfish installed";
    FicsdProcess server({"--engine-movetime", "50"});
    Client c(server.port());
    c.login_guest();
    c.line("match computer 5 0 black");
    // The computer accepts and, as White, moves first.
    std::string text;
    for (int notices = 0; notices < 4; ++notices) {
        text += c.read_until("fics% ");
        if (board_fields(last_board_line(text)).size() == kFieldCount &&
            board_fields(last_board_line(text))[kSide] == "B")
            break;
    }
    EXPECT_NE(text.find("computer accepts the match offer."), std::string::npos) << text;
    const auto f = board_fields(last_board_line(text));
    ASSERT_EQ(f.size(), size_t(kFieldCount)) << text;
    EXPECT_EQ(f[kSide], "B") << text;
    EXPECT_EQ(f[kRelation], "1") << text;
    EXPECT_NE(f[kVerbose], "none") << text;
}

TEST(Computer, FallsBackToTheBuiltInMoverWhenTheEngineFails)
{
    // An engine that exits at once: the computer still accepts and answers every move.
    FicsdProcess server({"--engine", "/bin/false"});
    Client c(server.port());
    c.login_guest();
    c.line("match computer 5 0 white");
    c.read_until("<12> ");
    c.read_until("fics% ");
    for (const char* move : {"e4", "d4", "Nc3"}) {
        c.line(move);
        c.read_until("fics% ");
        std::string text;
        for (int notices = 0; notices < 3; ++notices) {
            text += c.read_until("fics% ");
            const auto f = board_fields(last_board_line(text));
            if (f.size() == kFieldCount && f[kRelation] == "1")
                break;
        }
        const auto f = board_fields(last_board_line(text));
        ASSERT_EQ(f.size(), size_t(kFieldCount)) << text;
        EXPECT_EQ(f[kSide], "W") << text;
        EXPECT_EQ(f[kRelation], "1") << text;
    }
    c.line("resign");
    c.read_until("resigns} 0-1\n\rNo ratings adjustment done.\n\rfics% ");
    c.line("history");
    const std::string history = c.read_until("fics% ");
    EXPECT_NE(history.find("\n\r1: " + std::string("Guest")), std::string::npos) << history;
    EXPECT_NE(history.find("0-1 Guest"), std::string::npos) << history;
}

TEST(Game, ThreefoldRepetitionIsClaimedWithDraw)
{
    Duel d;
    d.white.line("draw");
    EXPECT_EQ(d.white.read_until("fics% "), "Draw request sent.\n\rfics% ");
    d.black.read_until("offers you a draw.\n\rfics% ");
    // Black's move lets White's offer lapse; the knights then repeat the start position.
    for (int round = 0; round < 2; ++round)
        for (auto [mover, other, m] : {std::tuple{&d.white, &d.black, "Nf3"},
                                       {&d.black, &d.white, "Nf6"},
                                       {&d.white, &d.black, "Ng1"},
                                       {&d.black, &d.white, "Ng8"}})
            d.move(*mover, *other, m);
    d.black.line("accept");
    EXPECT_EQ(d.black.read_until("fics% "), "You have no offers to accept.\n\rfics% ");
    d.white.line("draw");
    const std::string end =
        "{Game 1 (" + d.white_name + " vs. " + d.black_name + ") Game drawn by repetition} 1/2-1/2";
    EXPECT_NE(d.white.read_until("fics% ").find(end), std::string::npos);
    EXPECT_NE(d.black.read_until("fics% ").find(end), std::string::npos);
}

TEST(Computer, LeavesManualSeeksAloneWithoutSpinning)
{
    FicsdProcess server({"--engine", "none", "--computer-seek-delay", "10"});
    Client c(server.port());
    c.login_guest();
    c.line("seek 5 0 manual");
    c.read_until("Your seek has been posted with index 1.");
    // Over a second with the seek long past the computer's delay: no game, and an idle server.
    auto cpu_ticks = [&] {
        std::ifstream stat("/proc/" + std::to_string(server.pid()) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string f;
        long ticks = 0;
        for (int i = 3; i <= 15 && fields >> f; ++i)
            if (i == 14 || i == 15)
                ticks += std::stol(f);
        return ticks;
    };
    const long before = cpu_ticks();
    EXPECT_EQ(c.read_for(1000ms).find("Creating:"), std::string::npos);
    EXPECT_LT(cpu_ticks() - before, ::sysconf(_SC_CLK_TCK) / 5);
    c.line("sought");
    EXPECT_NE(c.read_until("fics% ").find("1 ad displayed."), std::string::npos);
}
