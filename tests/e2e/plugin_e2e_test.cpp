// The plugin in boxsim against a scripted server on a loopback socket: start-up, login, board
// lines and notices on the screen, moves from the remote, disconnection, restart, signals.
#include <csignal>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "tests/e2e/harness.h"

namespace e2e {
namespace {

constexpr const char* kLogin = "\ralice\r\nsecret\r\nstyle 12\r\nset width 73\r\n";

std::vector<std::string> server_args(const ScriptedServer& server, const std::string& script)
{
    return {"--server", "127.0.0.1:" + std::to_string(server.port()), "--handle", "alice",
            "--password", "secret", "--timeout", "150", "-e", script};
}

// A game of alice (White) against bob, announced and with its first board line.
std::string game_start(int black_seconds = 299)
{
    BoardLine board;
    board.black_seconds = black_seconds;
    return "\n\r**** Starting FICS session as alice ****\n\rfics% "
           "\n\rCreating: alice (1500) bob (1600) unrated blitz 5 0\n\r"
           "{Game 1 (alice vs. bob) Creating unrated blitz match.}\n\r" +
           board.text() + "\n\rfics% ";
}

TEST(PluginStartUp, WithoutConfigurationShowsTheFailureAndStillAnswersKeys)
{
    BoxProcess box({"--timeout", "120", "-e",
                    "expect 30 511 \"Failed to resolve address.\" 9;"
                    "press HELP; expect 120 220 \"HELP   -> this screen\"; shot help;"
                    "press RED; expect 30 511 \"Failed to resolve address.\" 9; shot telnet;"
                    "press YELLOW; expect 100 532 \"abort \"; press DOWN; expect 100 532 \"accept \";"
                    "press OK; press BLUE; type 2; expect 100 532 \"A \"; press OK; shot final-keys; exit"});
    ASSERT_EQ(box.wait(), 0) << box.output();

    // The help screen covers the left of the intro; the rest of the intro shows around it.
    Shot help(box.shot("help"));
    ASSERT_TRUE(help.ok());
    EXPECT_EQ(help.text(120, 430, 19), "EXIT   -> exit game");
    // "Failed to connect to server!" in colour 4, its end right of the help screen.
    EXPECT_GT(help.count(464, 380, 256, 48, 4), 50);
    EXPECT_EQ(help.count(464, 330, 256, 48, 2), 0) << "the host line is empty";
    // No board and no command bar: the start-up stops before them.
    EXPECT_EQ(help.count(28, 530, 664, 22, 8), 0);
    Shot telnet(box.shot("telnet"));
    EXPECT_EQ(telnet.text(30, 511, 26, 9), "Failed to resolve address.");
}

TEST(PluginLogin, SendsTheFiveLoginTextsWithoutWaitingForTheServer)
{
    ScriptedServer server;
    BoxProcess box(server_args(server, "wait 60s"));
    ASSERT_TRUE(server.wait_for_received(kLogin)) << server.received() << box.output();
    EXPECT_EQ(server.received(), kLogin);
    kill(box.pid(), SIGKILL);
}

TEST(PluginGame, BoardLinesReachTheScreenAndTheRemoteMakesMoves)
{
    ScriptedServer server;
    BoxProcess box(server_args(
        server, "expect 470 109 \"  05:00  <-->  04:59  \" 10 30s; shot board;"
                "press RIGHT; press OK; press UP; press UP; press OK;"
                "expect 30 511 \"Please select some valid move!\" 9 30s; shot rejected; exit"));
    ASSERT_TRUE(server.wait_for_received(kLogin));
    server.send(game_start());
    ASSERT_TRUE(server.wait_for_received("e2e4\r\n")) << server.received() << box.output();
    server.send("Illegal move (e2e4).\n\rfics% ");
    ASSERT_TRUE(server.wait_for_received("refresh\r\n"));
    ASSERT_EQ(box.wait(), 0) << box.output();

    Shot board(box.shot("board"));
    ASSERT_TRUE(board.ok());
    EXPECT_EQ(board.text(470, 164, 20), "Last move:  none    ");
    EXPECT_EQ(board.text(79, 430, 1), "a");  // file letters for White
    Shot rejected(box.shot("rejected"));
    EXPECT_EQ(rejected.text(30, 493, 20, 9), "Illegal move (e2e4).");
    EXPECT_EQ(rejected.pixel(30, 493), 3) << "the server's complaint is on red";
}

TEST(PluginConnection, ServerClosingIsReportedAndNothingIsSentAfterwards)
{
    ScriptedServer server;
    BoxProcess box(server_args(
        server, "expect 470 109 \"  05:00  <-->  04:59  \" 10 30s;"
                "expect 30 511 \"Disconnected from ICS !!!\" 9 30s;"
                "press YELLOW; press OK; wait 1s; shot after; exit"));
    ASSERT_TRUE(server.wait_for_received(kLogin));
    server.send(game_start());
    server.close_client();
    ASSERT_EQ(box.wait(), 0) << box.output();
    Shot after(box.shot("after"));
    EXPECT_EQ(after.text(30, 511, 25, 9), "Disconnected from ICS !!!") << "no echo line";
}

TEST(PluginRestart, ReconnectsAndLogsInAgainWithTheConfigurationReadOnce)
{
    ScriptedServer server;
    std::string config = testing::TempDir() + "/vitrel3-restart.cfg";
    {
        std::ofstream out(config);
        out << "icsHost=127.0.0.1 icsPort=" << server.port()
            << " icsHandle=alice icsPasswd=secret\n";
    }
    BoxProcess box({"--config", config, "--timeout", "150", "-e",
                    "expect 470 109 \"  05:00  <-->  04:59  \" 10 30s; restart;"
                    "expect 470 109 \"  05:00  <-->  04:58  \" 10 30s; exit"});
    ASSERT_TRUE(server.wait_for_received(kLogin));
    {
        // The file changes after start-up; a restart must not read it again.
        std::ofstream out(config);
        out << "icsHost=127.0.0.1 icsPort=" << server.port() << " icsHandle=mallory\n";
    }
    server.send(game_start());
    ASSERT_TRUE(server.wait_for_connections(2, 30s)) << box.output();
    ASSERT_TRUE(server.wait_for_received(kLogin, 20s, 1)) << server.received(1);
    server.send(game_start(298), 1);
    ASSERT_EQ(box.wait(), 0) << box.output();
}

TEST(PluginSignals, InterruptTerminateAndBrokenPipeLeaveThePluginRunning)
{
    ScriptedServer server;
    // The picked command tells the test that the game is on the screen: the signals come then,
    // so that no server line pushes their reports out of the small window. Each kind is reported
    // at a safe point with a two-second pause; when the reports are done, the plugin still
    // answers keys.
    BoxProcess box(server_args(
        server, "expect 470 109 \"  05:00  <-->  04:59  \" 10 30s; press YELLOW; press OK;"
                "expect 30 511 \"Got SIG\" 9 30s; wait 10s; shot reports;"
                "press HELP; expect 120 430 \"EXIT   -> exit game\" 10 30s; exit"));
    ASSERT_TRUE(server.wait_for_received(kLogin));
    server.send(game_start());
    ASSERT_TRUE(server.wait_for_received("abort \r\n", 60s)) << box.output();
    kill(box.pid(), SIGINT);
    kill(box.pid(), SIGTERM);
    kill(box.pid(), SIGPIPE);
    ASSERT_EQ(box.wait(), 0) << box.output();
    Shot reports(box.shot("reports"));
    ASSERT_TRUE(reports.ok());
    // INT and TERM share one report, or two when the second arrives during the first's pause.
    bool interrupt_seen = false;
    bool pipe_seen = false;
    for (int y : {475, 493, 511}) {
        std::string line = reports.text(30, y, 25, 9);
        interrupt_seen |= line == "Got SIGINT/SIGTERM signal";
        pipe_seen |= line.starts_with("Got SIGPIPE signal");
        if (line.starts_with("Got SIG")) {
            EXPECT_EQ(reports.pixel(30, y), 3) << "reported white on red";
        }
    }
    EXPECT_TRUE(interrupt_seen);
    EXPECT_TRUE(pipe_seen);
}

}  // namespace
}  // namespace e2e

namespace e2e {
namespace {

TEST(PluginResources, NoHeapAllocationAfterStartUpWithServerTrafficAndKeys)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the preloaded counter replaces malloc, which the address sanitizer owns";
#endif
    ScriptedServer server;
    std::string preload = "LD_PRELOAD=" + (build_dir() / "alloc_counter.so").string();
    BoxProcess box(server_args(server,
                               "expect 470 109 \"  05:00  <-->  04:59  \" 10 30s;"
                               "press RIGHT; press OK; press UP; press UP; press OK;"
                               "expect 30 511 \"bob(U) tells you: tell number 199\" 9 30s;"
                               "press YELLOW; press DOWN; press OK; press BLUE; type 4 4 3; press OK;"
                               "press RED; press HELP; press HELP; press RED; press RED;"
                               "expect 30 511 \"HD\" 9 30s; exit"),
                   {preload});
    ASSERT_TRUE(server.wait_for_received(kLogin));
    server.send(game_start());
    ASSERT_TRUE(server.wait_for_received("e2e4\r\n", 30s)) << box.output();
    BoardLine after;
    after.ranks[4] = "----P---";
    after.ranks[6] = "PPPP-PPP";
    after.to_move = 'B';
    after.relation = -1;
    after.verbose_move = "P/e2-e4";
    after.short_move = "e4";
    server.send(after.text() + "\n\rfics% ");
    for (int i = 0; i < 200; ++i)
        server.send("bob(U) tells you: tell number " + std::to_string(i) + "\n\rfics% ");
    ASSERT_EQ(box.wait(), 0) << box.output();
    EXPECT_NE(box.output().find("main loop seen, plugin allocations after start-up: 0"),
              std::string::npos)
        << box.output();
}

}  // namespace
}  // namespace e2e
