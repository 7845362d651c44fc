// The plugin against ficsd as the real servers answer: promotions in the form servers take
// ("b7a8=q"), a mate's last move on the clock panel, an observed game drawn from White's side after
// a game as Black, a tell that stays in the small telnet window while board lines arrive, and a
// server that stops in the middle of a game.
#include <string>

#include <gtest/gtest.h>

#include "tests/e2e/harness.h"
#include "tests/ficsd/ficsd_harness.h"

namespace e2e {
namespace {

// A FICS client of the test's own, logged in as a guest.
struct Client : ficsd_test::Client {
    explicit Client(int port) : ficsd_test::Client(port) { login_guest(); }
};

// The labels left of row 8 and under column 1: "8a" from White's side, "1h" from Black's.
std::string corner_labels(const Shot& shot)
{
    return shot.text(45, 60, 1) + shot.text(79, 430, 1);
}

TEST(RealServer, APromotionForEachColourByThePickerThenTheServerStopsMidGame)
{
    FicsdProcess server({"--no-computer"});
    ASSERT_GT(server.port(), 0) << server.output();
    BoardCursor w, b;
    b.white = false;
    // 1.a4 h5 2.a5 h4 3.a6 h3 4.axb7 hxg2 5.bxa8=Q gxh1=N, each piece chosen in the picker. One
    // move per statement: the cursor's moves are planned in the order they are made.
    std::string white = kSeekByPicker, black = kSeekByPicker;
    for (const char* move : {"a2a4", "a4a5", "a5a6", "a6b7", "b7a8"})
        white += w.move(move);
    for (const char* move : {"h7h5", "h5h4", "h4h3", "h3g2", "g2h1"})
        black += b.move(move);
    white += "press DOWN; press OK;" + last_move("P/g2-h1=N");
    // The server stops with White on the move: the stopwatch stands, OK on the queen marks
    // nothing. The picker, opened after that OK, shows when it has been handled (keys pressed
    // during the report's pause come in one poll, which takes only the first: YELLOW twice).
    white += expect(30, 511, "Disconnected from ICS !!!", 9) + "shot w-lost; press OK;";
    white +=
        "press YELLOW; press YELLOW;" + expect(100, 532, "seek ") + "shot w-later; press OK; exit";
    black += "press DOWN; press DOWN; press DOWN; press OK;";
    black += last_move("P/g2-h1=N") + expect(30, 511, "Disconnected from ICS !!!", 9) + "exit";

    BoxProcess white_box(box_args(server.port(), white));
    ASSERT_TRUE(server.wait_for_received(": seek \n")) << white_box.output();
    BoxProcess black_box(box_args(server.port(), black));
    ASSERT_TRUE(server.wait_for_received(": g2h1=n\n", 150s)) << black_box.output();
    const std::string log = server.received();
    server.stop();
    EXPECT_EQ(white_box.wait(), 0) << white_box.output();
    EXPECT_EQ(black_box.wait(), 0) << black_box.output();
    EXPECT_NE(log.find(": b7a8=q\n"), std::string::npos) << log;

    Shot lost(white_box.shot("w-lost")), later(white_box.shot("w-later"));
    ASSERT_TRUE(lost.ok() && later.ok());
    EXPECT_EQ(lost.text(470, 134, 22), later.text(470, 134, 22)) << "the stopwatch stands";
    EXPECT_NE(lost.text(470, 134, 22).find("(00:"), std::string::npos);
    EXPECT_NE(later.pixel(62, 47), 13) << "no marker on a8";
}

TEST(RealServer, AGameAsBlackEndsInMateOnThePanelThenAnObservedGameKeepsATellInView)
{
    FicsdProcess server({"--no-computer"});
    ASSERT_GT(server.port(), 0) << server.output();
    // Game 1 between two clients of the test, each seek in its turn; the plugin will observe it
    // later. The opponent's seek has the plugin's terms: the plugin meets it and plays Black.
    Client white(server.port()), black(server.port()), opponent(server.port());
    white.line("seek 5 0");
    ASSERT_TRUE(server.wait_for_received(": seek 5 0\n"));
    black.line("seek 5 0");
    const auto seeks = [&] {
        const std::string log = server.received();
        return log.find(": seek 5 0\n") != log.rfind(": seek 5 0\n");
    };
    ASSERT_TRUE(wait_until(30s, seeks)) << server.received();
    opponent.line("seek");
    ASSERT_TRUE(server.wait_for_received(": seek\n")) << server.received();

    BoardCursor cursor;
    cursor.white = false;
    std::string script = kSeekByPicker + cursor.move("e7e5");
    script += cursor.move("d8h4");
    script += last_move("Q/d8-h4") + "shot mated;";
    // "OBSERVE 1" by multi-tap, one key per character (no two neighbours share a key).
    script += "press BLUE; type 6 6 6; type 2 2; type 7 7 7 7; type 3 3; type 7 7 7; type 8 8 8;"
              "type 3 3; type 0; type 1;" +
              expect(100, 532, "OBSERVE 1") + "press OK;";
    script += expect(30 + 9 * 13, 511, "tells you: done", 9, "120s") + "shot observed; exit";
    BoxProcess box(box_args(server.port(), script));

    ASSERT_TRUE(server.wait_for_received(": seek \n")) << box.output();
    opponent.line("f2f3");
    ASSERT_TRUE(server.wait_for_received(": e7e5\n")) << box.output() << server.received();
    opponent.line("g2g4");
    ASSERT_TRUE(server.wait_for_received(": OBSERVE 1\n")) << box.output();
    const std::string log = server.received();
    const size_t observe = log.find(": OBSERVE 1\n");
    const std::string plugin =
        log.substr(log.rfind('\n', observe) + 1, observe - log.rfind('\n', observe) - 1);
    white.line("tell " + plugin + " hello");
    int mover = 0;
    for (const char* move : {"e2e4", "e7e5", "g1f3", "b8c6", "f1c4", "g8f6"}) {
        (mover++ % 2 ? black : white).line(move);
        ASSERT_TRUE(server.wait_for_received(std::string(": ") + move + "\n")) << move;
    }
    white.line("tell " + plugin + " done");
    ASSERT_EQ(box.wait(), 0) << box.output() << server.received();

    Shot mated(box.shot("mated")), observed(box.shot("observed"));
    ASSERT_TRUE(mated.ok() && observed.ok());
    EXPECT_EQ(corner_labels(mated), "1h");
    EXPECT_EQ(corner_labels(observed), "8a") << "the observed game from White's side";
    // The six board lines came each behind a prompt: no blank row pushed the first tell away.
    EXPECT_NE(observed.text(30, 493, 73, 9).find("tells you: hello"), std::string::npos)
        << observed.text(30, 493, 73, 9);
}

} // namespace
} // namespace e2e
