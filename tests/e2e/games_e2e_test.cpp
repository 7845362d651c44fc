// Whole games end to end: the plugin in boxsim plays the computer of a real ficsd, driven only
// by remote keys; checked on what the server received and on the screenshots.
#include <fstream>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "tests/e2e/harness.h"

namespace e2e {
namespace {

// The built-in mover with this seed answers 1.f3 with e5 and 2.g4 with Qh4 mate; the guest who
// logs in first is always GuestAJNM. A change of ficsd's random draws shows up here first.
const std::vector<std::string> kDeterministicComputer = {
    "--engine", "none", "--seed", "9", "--computer-seek-delay", "0"};

std::vector<std::string> box_args(int port, const std::string& script)
{
    return {"--server", "127.0.0.1:" + std::to_string(port), "--timeout", "170", "-e", script};
}

std::string expect(int x, int y, const std::string& text, int advance = 10,
                   const std::string& timeout = "60s")
{
    return "expect " + std::to_string(x) + " " + std::to_string(y) + " \"" + text + "\" " +
           std::to_string(advance) + " " + timeout + ";";
}

// Login texts done: the server's answer to the plugin's last login line is the newest row.
const std::string kLoggedIn = expect(30, 511, "Width set to 73.", 9);

// Pixels of a square's inside (its frame of 4 pixels left out, where markers go) in a colour.
int square_count(const Shot& shot, int col, int row, unsigned char color)
{
    return shot.count(60 + (col - 1) * 48 + 4, 429 - row * 48 + 4, 40, 40, color);
}

TEST(GameAgainstComputer, SeekFromThePickerPlaysAWholeGameToMateAndTheClocksStop)
{
    FicsdProcess server(kDeterministicComputer);
    ASSERT_GT(server.port(), 0) << server.output();
    BoardCursor cursor;
    // One statement per step: the cursor's moves must be planned in the order they are made.
    std::string script = kLoggedIn + "press YELLOW;" + picker_keys(0, picker_row("seek"));
    script += expect(100, 532, "seek ") + "press OK;";
    script += expect(470, 109, "  02:00  <-->  02:00  ") + "shot start;";
    script += cursor.move("f2f3");
    script += expect(470, 164, "Last move:  P/e7-e5    ");
    script += cursor.move("g2g4");
    script += expect(30, 511, "No ratings adjustment done.", 9);
    script += "shot mated; wait 2500ms; shot later; exit";
    BoxProcess box(box_args(server.port(), script));
    ASSERT_EQ(box.wait(180s), 0) << box.output() << server.received();

    // The picker sends its word and a space; ficsd takes it as a seek with the defaults.
    EXPECT_EQ(server.received(), "#2: guest\n"
                                 "GuestAJNM: \n"
                                 "GuestAJNM: style 12\n"
                                 "GuestAJNM: set width 73\n"
                                 "GuestAJNM: seek \n"
                                 "GuestAJNM: f2f3\n"
                                 "GuestAJNM: g2g4\n");

    Shot start(box.shot("start"));
    ASSERT_TRUE(start.ok());
    EXPECT_EQ(start.text(470, 224, 18), "WHITE on the move!");
    EXPECT_NE(
        telnet_row_with(start, "Creating: GuestAJNM (++++) computer (----) unrated blitz 2 12"),
        -1);

    Shot mated(box.shot("mated"));
    ASSERT_TRUE(mated.ok());
    int result_y =
        telnet_row_with(mated, "{Game 1 (GuestAJNM vs. computer) GuestAJNM checkmated} 0-1");
    ASSERT_NE(result_y, -1) << testing::PrintToString(telnet_rows(mated));
    EXPECT_EQ(mated.pixel(30, result_y), 10) << "a game end is on dark teal";
    EXPECT_GT(mated.count(30, result_y, 73 * 9, 18, 1), 100) << "in black ink";
    // The final position is on the board: the black queen (black fill) on h4, none left on d8.
    EXPECT_GT(square_count(mated, 8, 4, 1), 150);
    EXPECT_EQ(square_count(mated, 4, 8, 1), 0);
    EXPECT_GT(square_count(mated, 7, 4, 2), 80) << "the white pawn on g4";

    // After the end the clock panel is no longer drawn: the stopwatch stands still.
    Shot later(box.shot("later"));
    ASSERT_TRUE(later.ok());
    EXPECT_EQ(later.text(470, 134, 22), mated.text(470, 134, 22));
    EXPECT_EQ(later.text(470, 109, 22), mated.text(470, 109, 22));
    EXPECT_NE(mated.text(470, 134, 22).find("(00:"), std::string::npos)
        << "the stopwatch was shown during the game";
}

TEST(GameAgainstComputer, ServerStoppedMidGameIsReportedAndARestartLogsInToItsSuccessor)
{
    auto server = std::make_unique<FicsdProcess>(kDeterministicComputer);
    const int port = server->port();
    ASSERT_GT(port, 0) << server->output();
    BoardCursor cursor;
    std::string script = kLoggedIn + "press BLUE;" + multitap_keys("SEEK 5 0");
    script += expect(100, 532, "SEEK 5 0") + "press OK;";
    script += expect(470, 109, "  05:00  <-->  05:00  ");
    script += cursor.move("f2f3");
    script += expect(470, 164, "Last move:  P/e7-e5    ");
    script += expect(30, 511, "Disconnected from ICS !!!", 9) + "shot disconnected;";
    // The report pauses the plugin for two seconds, in which the new server comes up.
    script += "wait 1s; restart;" + kLoggedIn + "shot reconnected; exit";
    BoxProcess box(box_args(port, script));

    ASSERT_TRUE(server->wait_for_received("GuestAJNM: f2f3\n")) << box.output();
    // Upper case from the word entry is a command like any other: a 5 0 game was created.
    EXPECT_NE(server->received().find("GuestAJNM: SEEK 5 0\n"), std::string::npos);
    // The move in flight is answered before the server goes down (it ends its loop pass).
    server->stop();
    server = std::make_unique<FicsdProcess>(kDeterministicComputer, port);
    ASSERT_EQ(server->port(), port) << server->output();
    ASSERT_EQ(box.wait(180s), 0) << box.output();
    EXPECT_EQ(server->received(), "#2: guest\n"
                                  "GuestAJNM: \n"
                                  "GuestAJNM: style 12\n"
                                  "GuestAJNM: set width 73\n");

    Shot disconnected(box.shot("disconnected"));
    ASSERT_TRUE(disconnected.ok());
    EXPECT_EQ(disconnected.pixel(30, 511), 3) << "the report is on red";
    EXPECT_GT(disconnected.count(30, 511, 25 * 9, 18, 2), 50) << "in white ink";

    // The restart keeps the game state: the position of the lost game is drawn again.
    Shot reconnected(box.shot("reconnected"));
    ASSERT_TRUE(reconnected.ok());
    EXPECT_EQ(reconnected.text(30, 457, 32, 9), "**** Starting FICS session as Gu");
    EXPECT_GT(square_count(reconnected, 5, 5, 1), 100) << "the black pawn on e5";
    EXPECT_GT(square_count(reconnected, 6, 3, 2), 80) << "the white pawn on f3";
}

TEST(RegisteredLogin, PluginEntersWithItsPasswordAndTheServerLogMasksIt)
{
    std::string accounts = testing::TempDir() + "/games-accounts.txt";
    {
        std::ofstream out(accounts);
        out << "alice s3cret\n";
    }
    FicsdProcess server({"--no-computer", "--accounts", accounts});
    ASSERT_GT(server.port(), 0) << server.output();
    BoxProcess box({"--server", "127.0.0.1:" + std::to_string(server.port()), "--handle", "alice",
                    "--password", "s3cret", "--timeout", "100", "-e",
                    kLoggedIn + "shot entered; exit"});
    ASSERT_EQ(box.wait(), 0) << box.output() << server.received();
    Shot entered(box.shot("entered"));
    ASSERT_TRUE(entered.ok());
    EXPECT_NE(telnet_row_with(entered, "**** Starting FICS session as alice ****"), -1)
        << testing::PrintToString(telnet_rows(entered));
    EXPECT_EQ(server.received(), "#1: alice\n"
                                 "alice: (password)\n"
                                 "alice: style 12\n"
                                 "alice: set width 73\n");
}

} // namespace
} // namespace e2e
