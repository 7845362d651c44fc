// Two plugins play each other on a real ficsd while a third observes: every step by remote keys,
// each box waiting for what its own screen shows; checked on the server's log and screenshots.
#include <string>

#include <gtest/gtest.h>

#include "tests/e2e/harness.h"

namespace e2e {
namespace {

std::string expect(int x, int y, const std::string& text, int advance = 10,
                   const std::string& timeout = "60s")
{
    return "expect " + std::to_string(x) + " " + std::to_string(y) + " \"" + text + "\" " +
           std::to_string(advance) + " " + timeout + ";";
}

std::string last_move(const std::string& move)
{
    return expect(470, 164, "Last move:  " + move);
}

const std::string kLoggedIn = expect(30, 511, "Width set to 73.", 9);

// A guest's name is "Guest" and four letters, so a notice's text after the name starts at the
// tenth cell of its row.
constexpr int kAfterName = 30 + 9 * 9;

// A plugin as the test drives it: its cursor and the picker row it opened on last.
struct Player {
    BoardCursor cursor;
    int picker = 0;

    std::string pick(const std::string& command)
    {
        int row = picker_row(command);
        std::string keys = "press YELLOW;" + picker_keys(picker, row) +
                           expect(100, 532, command + " ", 10, "20s") + "press OK;";
        picker = row;
        return keys;
    }
};

int square_count(const Shot& shot, int col, int row, unsigned char color)
{
    return shot.count(60 + (col - 1) * 48 + 4, 429 - row * 48 + 4, 40, 40, color);
}

// A white piece is white filled with a black outline, a black one the other way round. The
// cursor (white and blue) would pass for a white piece: checks stay off the cursor's square.
bool has_white_piece(const Shot& shot, int col, int row)
{
    int fill = square_count(shot, col, row, 2);
    return fill > 80 && fill > square_count(shot, col, row, 1);
}

bool has_black_piece(const Shot& shot, int col, int row)
{
    int fill = square_count(shot, col, row, 1);
    return fill > 80 && fill > square_count(shot, col, row, 2);
}

bool is_empty(const Shot& shot, int col, int row)
{
    return square_count(shot, col, row, 1) == 0 && square_count(shot, col, row, 2) == 0;
}

int count_of(const std::string& text, const std::string& part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// White: 1.h4 g5 2.h4h6? (refused) hxg5 (Black offers a draw) h6 3.gxh6 Nf6 4.h7 (Black asks
// for it back, White accepts) 4.h7 Rg8 5.hxg8=N chosen in the picker; Black resigns.
std::string white_script(Player& a)
{
    std::string s = kLoggedIn + a.pick("seek");
    s += expect(470, 109, "  02:00  <-->  02:00  ") + "shot a-start;";
    s += a.cursor.move("h2h4");
    s += last_move("P/g7-g5");
    s += a.cursor.move("h4h6");
    s += expect(30, 511, "Please select some valid move!", 9) + "shot a-rejected;";
    s += a.cursor.move("h4g5");
    s += last_move("P/h7-h6") + "shot a-offer;";
    s += a.cursor.move("g5h6");
    s += last_move("N/g8-f6");
    s += a.cursor.move("h6h7");
    s += expect(kAfterName, 511, " would like to take back 1 half move(s).", 9);
    s += a.pick("accept");
    s += expect(30, 511, "Game 1: 1 half move(s) taken back by takeback request.", 9);
    s += last_move("N/g8-f6") + "shot a-takeback;";
    s += a.cursor.move("h6h7");
    s += last_move("R/h8-g8");
    s += a.cursor.move("h7g8");
    s += "press DOWN; press DOWN; press DOWN; shot a-picker; press OK;";
    s += last_move("P/h7-g8=N") + "shot a-promoted;";
    s += expect(30, 511, "No ratings adjustment done.", 9) + "shot a-end; exit";
    return s;
}

std::string black_script(Player& b)
{
    std::string s = kLoggedIn + b.pick("seek");
    s += expect(470, 109, "  02:00  <-->  02:00  ") + "shot b-start;";
    s += last_move("P/h2-h4");
    s += b.cursor.move("g7g5");
    s += last_move("P/h4-g5");
    s += b.pick("draw");
    s += b.cursor.move("h7h6");
    s += last_move("P/g5-h6");
    s += b.cursor.move("g8f6");
    s += last_move("P/h6-h7");
    s += b.pick("takeback");
    s += last_move("N/g8-f6") + "shot b-takeback;";
    s += last_move("P/h6-h7");
    s += b.cursor.move("h8g8");
    s += last_move("P/h7-g8=N") + "shot b-promoted;";
    s += b.pick("resign");
    s += expect(30, 511, "No ratings adjustment done.", 9) + "shot b-end; exit";
    return s;
}

std::string observer_script()
{
    std::string s = kLoggedIn + "press BLUE;" + multitap_keys("OBSERVE 1");
    s += expect(100, 532, "OBSERVE 1", 10, "20s") + "press OK;";
    // The observer's clock panel is not drawn: it waits for the game's end in its telnet window.
    s += expect(kAfterName + 34 * 9, 511, " resigns} 1-0", 9, "170s") + "shot c-end; exit";
    return s;
}

std::vector<std::string> box_args(int port, const std::string& script)
{
    return {"--server", "127.0.0.1:" + std::to_string(port), "--timeout", "200", "-e", script};
}

TEST(TwoPlugins, PlayAWholeGameByKeysWhileAThirdObserves)
{
    FicsdProcess server({"--no-computer", "--seed", "5"});
    ASSERT_GT(server.port(), 0) << server.output();
    Player a;
    Player b;
    b.cursor.white = false;
    // White's seek is posted first, so Black's matching seek starts the game with the colours
    // as planned; the observer comes once the game exists.
    BoxProcess white(box_args(server.port(), white_script(a)));
    ASSERT_TRUE(server.wait_for_received(": seek \n")) << white.output();
    BoxProcess black(box_args(server.port(), black_script(b)));
    auto deadline = std::chrono::steady_clock::now() + 60s;
    while (count_of(server.received(), ": seek \n") < 2 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    ASSERT_EQ(count_of(server.received(), ": seek \n"), 2) << black.output();
    BoxProcess observer(box_args(server.port(), observer_script()));

    EXPECT_EQ(white.wait(210s), 0) << white.output();
    EXPECT_EQ(black.wait(210s), 0) << black.output();
    EXPECT_EQ(observer.wait(210s), 0) << observer.output();
    const std::string log = server.received();
    std::vector<std::string> guests = server.guests();
    ASSERT_EQ(guests.size(), 3u) << log;
    const std::string& w = guests[0];
    const std::string& k = guests[1];
    const std::string& o = guests[2];

    // What the server received, in order for each player.
    auto sent = [&](const std::string& name, const std::string& line) {
        return log.find(name + ": " + line + "\n");
    };
    EXPECT_LT(sent(w, "h4h6"), sent(w, "refresh")) << log;
    EXPECT_LT(sent(w, "refresh"), sent(w, "h4g5")) << log;
    EXPECT_NE(sent(w, "accept "), std::string::npos) << log;
    EXPECT_NE(sent(w, "h7g8=n"), std::string::npos) << "the knight chosen in the picker\n" << log;
    EXPECT_LT(sent(k, "draw "), sent(k, "h7h6")) << log;
    EXPECT_LT(sent(k, "takeback "), sent(k, "h8g8")) << log;
    EXPECT_NE(sent(k, "resign "), std::string::npos) << log;
    EXPECT_NE(sent(o, "OBSERVE 1"), std::string::npos) << log;
    const std::string result = "{Game 1 (" + w + " vs. " + k + ") " + k + " resigns} 1-0";

    {
        SCOPED_TRACE("Black's board is turned: files h to a, its own king at the bottom");
        Shot start(black.shot("b-start"));
        ASSERT_TRUE(start.ok());
        EXPECT_EQ(start.text(79, 430, 1), "h");
        EXPECT_EQ(start.text(79 + 48 * 7, 430, 1), "a");
        EXPECT_TRUE(has_black_piece(start, 4, 1)) << "e8 at column 4, row 1";
        EXPECT_TRUE(has_white_piece(start, 4, 8)) << "e1 at column 4, row 8";
        Shot white_start(white.shot("a-start"));
        EXPECT_EQ(white_start.text(79, 430, 1), "a");
    }
    {
        SCOPED_TRACE("a refused move: the server's line on red, the plugin's message below it");
        Shot rejected(white.shot("a-rejected"));
        ASSERT_TRUE(rejected.ok());
        EXPECT_EQ(rejected.text(30, 493, 20, 9), "Illegal move (h4h6).");
        EXPECT_EQ(rejected.pixel(30, 493), 3);
        EXPECT_GT(rejected.count(30, 511, 30 * 9, 18, 10), 100) << "dark teal ink";
        EXPECT_EQ(rejected.pixel(30, 511), 1) << "on black";
    }
    {
        SCOPED_TRACE("the draw offer is black on yellow");
        Shot offer(white.shot("a-offer"));
        ASSERT_TRUE(offer.ok());
        int y = telnet_row_with(offer, k + " offers you a draw.");
        ASSERT_NE(y, -1) << testing::PrintToString(telnet_rows(offer));
        EXPECT_EQ(offer.pixel(30, y), 5);
        EXPECT_GT(offer.count(30, y, 28 * 9, 18, 1), 100);
    }
    {
        SCOPED_TRACE("the takeback: the notice on dark teal, the pawn back on h6 on both boards");
        Shot a_back(white.shot("a-takeback"));
        Shot b_back(black.shot("b-takeback"));
        ASSERT_TRUE(a_back.ok() && b_back.ok());
        int y = telnet_row_with(a_back, "Game 1: 1 half move(s) taken back by takeback request.");
        ASSERT_NE(y, -1) << testing::PrintToString(telnet_rows(a_back));
        EXPECT_EQ(a_back.pixel(30, y), 10);
        EXPECT_NE(telnet_row_with(b_back, "Game 1: 1 half move(s) taken back"), -1);
        EXPECT_TRUE(has_white_piece(a_back, 8, 6));
        EXPECT_EQ(square_count(a_back, 8, 7, 1), 0) << "h7 empty: the cursor has no black";
        EXPECT_TRUE(has_white_piece(b_back, 1, 3)) << "h6 seen from Black";
        EXPECT_TRUE(is_empty(b_back, 1, 2)) << "h7 seen from Black";
    }
    {
        SCOPED_TRACE("the promotion picker with the knight chosen, then the knight on g8");
        Shot picker(white.shot("a-picker"));
        ASSERT_TRUE(picker.ok());
        EXPECT_GT(picker.count(140, 120, 43, 200, 13), 1000) << "four blue pieces";
        EXPECT_EQ(picker.pixel(192, 149 + 50 * 2), 4) << "the pointer's tip at the knight";
        EXPECT_EQ(picker.pixel(192, 149), 1) << "no pointer at the queen";
        Shot promoted(white.shot("a-promoted"));
        EXPECT_TRUE(has_white_piece(promoted, 7, 8));
        EXPECT_TRUE(is_empty(promoted, 8, 7));
        Shot seen_by_black(black.shot("b-promoted"));
        EXPECT_TRUE(is_empty(seen_by_black, 1, 2)) << "h7 seen from Black";
    }
    {
        SCOPED_TRACE("the resignation reaches both players and the observer");
        Shot a_end(white.shot("a-end"));
        Shot b_end(black.shot("b-end"));
        Shot c_end(observer.shot("c-end"));
        ASSERT_TRUE(a_end.ok() && b_end.ok() && c_end.ok());
        for (const Shot* shot : {&a_end, &b_end, &c_end}) {
            int y = telnet_row_with(*shot, result);
            ASSERT_NE(y, -1) << testing::PrintToString(telnet_rows(*shot));
            EXPECT_EQ(shot->pixel(30, y), 10);
        }
        // The observer's board is not turned and shows the final position.
        EXPECT_EQ(c_end.text(79, 430, 1), "a");
        EXPECT_TRUE(has_white_piece(c_end, 7, 8)) << "the new knight on g8";
        EXPECT_TRUE(has_black_piece(c_end, 6, 6)) << "the black knight on f6";
        EXPECT_TRUE(is_empty(c_end, 8, 8)) << "h8 left by the rook";
    }
}

} // namespace
} // namespace e2e
