// A misbehaving server on loopback against the plugin in boxsim: in every case the plugin keeps
// running and answering keys, and the screen shows consistent content.
#include <csignal>
#include <dirent.h>
#include <string>

#include <gtest/gtest.h>

#include "tests/e2e/harness.h"

namespace e2e {
namespace {

constexpr const char* kLogin = "\ralice\r\nsecret\r\nstyle 12\r\nset width 73\r\n";
constexpr const char* kClock = "expect 470 109 \"  05:00  <-->  04:59  \" 10 60s;";
// The plugin still answers keys and its board view comes back whole.
constexpr const char* kStillAnswers =
    "press HELP; expect 120 430 \"EXIT   -> exit game\" 10 60s; press HELP;"
    "expect 470 109 \"  05:00  <-->  04:59  \" 10 60s;";

std::vector<std::string> args_for(const ScriptedServer& server, const std::string& script)
{
    return {"--server", "127.0.0.1:" + std::to_string(server.port()), "--handle", "alice",
            "--password", "secret", "--timeout", "280", "-e", script};
}

std::string game_start()
{
    BoardLine board;
    board.black_seconds = 299;
    return "\n\r**** Starting FICS session as alice(U) ****\n\rfics% "
           "\n\rCreating: alice (1500) bob (1600) unrated blitz 5 0\n\r" +
           board.text() + "\n\rfics% ";
}

int open_descriptors(pid_t pid)
{
    std::string path = "/proc/" + std::to_string(pid) + "/fd";
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return -1;
    int n = 0;
    while (dirent* entry = readdir(dir))
        n += entry->d_name[0] != '.';
    closedir(dir);
    return n;
}

TEST(ServerFaults, ClosingInTheMiddleOfALineOrResettingIsADisconnection)
{
    for (bool reset : {false, true}) {
        ScriptedServer server;
        BoxProcess box(args_for(server, std::string(kClock) +
                                            "expect 30 511 \"Disconnected from ICS !!!\" 9 60s;" +
                                            kStillAnswers + "exit"));
        ASSERT_TRUE(server.wait_for_received(kLogin));
        server.send(game_start() + "\n\rbob(U) tells you: half a li");
        server.close_client(-1, reset);
        EXPECT_EQ(box.wait(), 0) << box.output();
    }
}

TEST(ServerFaults, AMebibyteWithoutALineEndThenABoardLine)
{
    ScriptedServer server;
    BoxProcess box(args_for(server, std::string(kClock) + kStillAnswers + "exit"));
    ASSERT_TRUE(server.wait_for_received(kLogin));
    server.send(std::string(1 << 20, 'x'));
    server.send(game_start());
    EXPECT_EQ(box.wait(), 0) << box.output();
}

TEST(ServerFaults, ByteByByteDripWithTelnetCommandsAndZeroBytes)
{
    ScriptedServer server;
    BoxProcess box(args_for(server, std::string(kClock) +
                                        "expect 30 511 \"still here\" 9 60s;" +
                                        kStillAnswers + "exit"));
    ASSERT_TRUE(server.wait_for_received(kLogin));
    // Telnet commands between and inside lines, split across reads; a zero byte inside a line.
    // A command takes the text before it on its line along; the zero byte is dropped alone.
    std::string stream = std::string("\xff\xfb\x01", 3) + game_start() +
                         std::string("\n\rbob(U) tells you: \xff\xfc", 22) +
                         std::string("\x01", 1) + "still" + std::string("\0", 1) + " here\n\rfics% ";
    for (char byte : stream)
        ASSERT_TRUE(server.send(std::string(1, byte)));
    EXPECT_EQ(box.wait(), 0) << box.output();
}

TEST(ServerFaults, BoardLinesCutAtEveryLengthOutOfRangeNumbersAndLongNames)
{
    ScriptedServer server;
    BoxProcess box(args_for(server, std::string(kClock) + kStillAnswers + "exit"));
    ASSERT_TRUE(server.wait_for_received(kLogin));
    BoardLine hostile;
    hostile.white = std::string(200, 'W');
    hostile.black = std::string(200, 'B');
    hostile.game = 2147483647;
    hostile.white_seconds = -2147483647;
    std::string line = hostile.text() + " 99999999999999999999 -99999999999999999999";
    std::string burst;
    for (size_t length = 0; length <= line.size(); ++length)
        burst += line.substr(0, length) + "\n\r";
    server.send(burst);
    server.send(game_start());
    EXPECT_EQ(box.wait(), 0) << box.output();
}

TEST(ServerFaults, TenThousandLinesInOneBurst)
{
    ScriptedServer server;
    BoxProcess box(args_for(server, std::string(kClock) +
                                        "expect 30 511 \"line 9999\" 9 120s;" + kStillAnswers +
                                        "exit"));
    ASSERT_TRUE(server.wait_for_received(kLogin));
    std::string burst = game_start();
    for (int i = 0; i < 10000; ++i)
        burst += "line " + std::to_string(i) + "\n\r";
    server.send(burst);
    EXPECT_EQ(box.wait(), 0) << box.output();
}

TEST(ServerFaults, AServerThatNeverSpeaks)
{
    ScriptedServer server;
    BoxProcess box(args_for(server, "press HELP; expect 120 430 \"EXIT   -> exit game\" 10 60s;"
                                    "press RED; expect 30 25 \" \" 9 60s; press RED; exit"));
    ASSERT_TRUE(server.wait_for_received(kLogin));
    EXPECT_EQ(box.wait(), 0) << box.output();
}

TEST(ServerFaults, HundredsOfSignalsWhileTheBoardIsDrawn)
{
    ScriptedServer server;
    BoxProcess box(args_for(server, std::string(kClock) +
                                        "expect 30 511 \"last board\" 9 120s;" + kStillAnswers +
                                        "exit"));
    ASSERT_TRUE(server.wait_for_received(kLogin));
    server.send(game_start());
    std::string boards;
    for (int i = 0; i < 100; ++i) {
        BoardLine board;
        board.black_seconds = 299;
        boards += board.text() + "\n\r";
    }
    for (int round = 0; round < 100; ++round) {
        server.send(boards);
        for (int s : {SIGINT, SIGTERM, SIGPIPE})
            kill(box.pid(), s);
    }
    server.send("last board\n\r");
    EXPECT_EQ(box.wait(), 0) << box.output();
}

TEST(ServerFaults, TwoHundredRestartsLeakNoDescriptor)
{
    ScriptedServer server;
    server.set_greeting([](int index) {
        return index == 0 ? std::string() : "\n\rconnection " + std::to_string(index) + "\n\rfics% ";
    });
    std::string script = std::string(kClock);
    for (int i = 1; i <= 200; ++i)
        script += "restart; expect 30 511 \"connection " + std::to_string(i) + "\" 9 60s;";
    script += "wait 500ms; shot restarted;" + std::string(kStillAnswers) + "exit";
    BoxProcess box(args_for(server, script));
    ASSERT_TRUE(server.wait_for_received(kLogin));
    server.send(game_start());
    ASSERT_TRUE(server.wait_for_connections(2, 60s));
    int before = open_descriptors(box.pid());
    ASSERT_TRUE(server.wait_for_connections(201, 240s)) << box.output();
    int after = open_descriptors(box.pid());
    EXPECT_EQ(after, before) << "descriptors before and after the restarts";
    EXPECT_EQ(box.wait(), 0) << box.output();
}

}  // namespace
}  // namespace e2e
