// A whole game between two plugins on a real ficsd, every step by remote keys, each box waiting
// for what its own screen shows; checked on the server's log and on the screenshots.
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include "tests/e2e/harness.h"

namespace e2e {
namespace {

std::string last_move(const std::string& move)
{
    return expect(470, 164, "Last move:  " + move);
}

std::string seek_and_start(const std::string& who)
{
    // "seek" is the 32nd row of the picker: three jumps of ten rows and a step.
    return kLoggedIn + "press YELLOW; press RIGHT; press RIGHT; press RIGHT; press DOWN;" +
           expect(100, 532, "seek ") + "press OK;" + expect(470, 109, "  02:00  <-->  02:00  ") +
           "shot " + who + "-start;";
}

// The lines one client sent, as the server's log has them.
std::string sent_by(const std::string& log, const std::string& name)
{
    std::istringstream lines(log);
    std::string mine;
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with(name + ": "))
            mine += line.substr(name.size() + 2) + "\n";
    return mine;
}

// alice, registered, plays White; a guest plays Black: 1. f3 e6 2. g4 Qh4 mate.
TEST(TwoPlugins, PlayAGameToMateOnFicsdByKeysAndTheClocksStop)
{
    const std::string accounts = testing::TempDir() + "/e2e-accounts.txt";
    std::ofstream(accounts) << "alice secret\n";
    FicsdProcess server({"--no-computer", "--accounts", accounts});
    ASSERT_GT(server.port(), 0) << server.output();
    const std::string ended = expect(30, 511, "No ratings adjustment done.", 9);
    BoardCursor w;
    std::string white_script = seek_and_start("w") + w.move("f2f3") + last_move("P/e7-e6");
    white_script += w.move("g2g4") + ended + "shot w-end; wait 1500ms; shot w-later; exit";
    BoardCursor b{.white = false};
    std::string black_script = seek_and_start("b") + last_move("P/f2-f3") + b.move("e7e6");
    black_script += last_move("P/g2-g4") + b.move("d8h4") + ended + "shot b-end; exit";

    // White's seek comes first, so that Black's matching seek starts the game with these colours.
    BoxProcess white(alice_args(server.port(), white_script));
    ASSERT_TRUE(server.wait_for_received("alice: seek \n")) << white.output();
    BoxProcess black(box_args(server.port(), black_script));
    EXPECT_EQ(white.wait(), 0) << white.output() << server.received();
    EXPECT_EQ(black.wait(), 0) << black.output() << server.received();
    const std::string log = server.received();
    const size_t name = log.find("Guest");
    ASSERT_NE(name, std::string::npos) << log;
    const std::string guest = log.substr(name, log.find(':', name) - name);
    // The picker sends its word and a space; the password never reaches the log.
    EXPECT_EQ(sent_by(log, "alice"), "(password)\nstyle 12\nset width 73\nseek \nf2f3\ng2g4\n");
    EXPECT_EQ(sent_by(log, guest), "\nstyle 12\nset width 73\nseek \ne7e6\nd8h4\n");

    // Black's moves by keys on its turned board prove the turn; White's view is the usual one.
    Shot w_start(white.shot("w-start"));
    EXPECT_EQ(w_start.text(470, 224, 18), "WHITE on the move!");
    EXPECT_EQ(w_start.text(79, 430, 1), "a");

    // The mate reaches both screens: the result on dark teal, the queen on h4 from either side.
    const std::string result = "{Game 1 (alice vs. " + guest + ") alice checkmated} 0-1";
    Shot w_end(white.shot("w-end"));
    Shot b_end(black.shot("b-end"));
    for (const Shot* end : {&w_end, &b_end}) {
        int y = telnet_row_with(*end, result);
        ASSERT_NE(y, -1) << result;
        EXPECT_EQ(end->pixel(30, y), 10);
        EXPECT_GT(end->count(30, y, 73 * 9, 18, 1), 100) << "in black ink";
    }
    EXPECT_TRUE(has_piece(w_end, 8, 4, false) && is_empty(w_end, 4, 8));
    EXPECT_TRUE(has_piece(b_end, 1, 5, false) && is_empty(b_end, 5, 1));
    EXPECT_TRUE(has_piece(w_end, 7, 4, true)) << "the white pawn on g4";

    // After the end the stopwatch, shown during the game, stands still.
    Shot w_later(white.shot("w-later"));
    EXPECT_NE(w_end.text(470, 134, 22).find("(00:"), std::string::npos);
    EXPECT_EQ(w_later.text(470, 134, 22), w_end.text(470, 134, 22));
    EXPECT_EQ(w_later.text(470, 109, 22), w_end.text(470, 109, 22));
}

} // namespace
} // namespace e2e
