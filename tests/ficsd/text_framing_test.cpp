// Text framing: input lines from telnet bytes, output wrapping, and the board line's fields.
#include <gtest/gtest.h>

#include <sstream>

#include "ficsd/board_line.h"
#include "ficsd/move_notation.h"
#include "ficsd/telnet_text.h"

using namespace ficsd;

TEST(LineReader, CutsLinesAtLineFeedAndDropsTelnetAndControlBytes)
{
    // bytes fed (in pieces separated by '|'), the lines that come out joined by '/'
    struct Row {
        std::string bytes;
        std::string lines;
    };
    const Row rows[] = {
        {"who\r\n", "who"},
        {"\rguest\r\n", "guest"},
        {"\r\n\r\n", "/"},
        {"obs|erve 1\n", "observe 1"},
        {"a\nb\nc", "a/b"},
        {"\xff\xfd\x01hi\n", "hi"},             // IAC DO ECHO
        {"h\xff|\xfb\x01i\n", "hi"},            // a command split between reads
        {"x\xff\xfa\x18\x01\xff\xf0y\n", "xy"}, // subnegotiation
        {"\xff\xff"
         "a\n",
         "a"}, // escaped 255 is not text
        {"tell\tbob\x07 hi\x80\n", "tell bob hi"},
    };
    for (const Row& r : rows) {
        LineReader reader;
        std::vector<std::string> lines;
        std::stringstream pieces(r.bytes);
        std::string piece;
        while (std::getline(pieces, piece, '|'))
            reader.feed(piece, lines);
        std::string joined;
        for (size_t i = 0; i < lines.size(); ++i)
            joined += (i ? "/" : "") + lines[i];
        EXPECT_EQ(joined, r.lines) << r.bytes;
    }
}

TEST(LineReader, CutsAnOverlongLineAndKeepsTheNextOne)
{
    LineReader reader;
    std::vector<std::string> lines;
    reader.feed(std::string(100000, 'a') + "\nwho\n", lines);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string(LineReader::kMaxInputLine, 'a'));
    EXPECT_EQ(lines[1], "who");
}

TEST(Wrapping, BreaksAtSpacesAndMarksContinuations)
{
    // line, width, result
    struct Row {
        std::string line;
        int width;
        std::string out;
    };
    const Row rows[] = {
        {"short", 10, "short\n\r"},
        {"exactly10!", 10, "exactly10!\n\r"},
        {"one two three four", 10, "one two\n\r\\   three\n\r\\   four\n\r"},
        {"abcdefghijklmnop", 10, "abcdefghij\n\r\\   klmnop\n\r"},
        {"", 10, "\n\r"},
        {"aaaa bbbbbbbbbbbbbbbb", 10, "aaaa\n\r\\   bbbbbb\n\r\\   bbbbbb\n\r\\   bbbb\n\r"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(wrap_line(r.line, r.width), r.out) << r.line;
}

TEST(Wrapping, NoOutputLineIsWiderThanTheWidth)
{
    std::string text;
    for (int i = 0; i < 60; ++i)
        text += std::string(size_t(i % 9 + 1), char('a' + i % 26)) + " ";
    for (int width : {32, 40, 73, 79}) {
        const std::string out = wrap_line(text, width);
        size_t start = 0, end;
        while ((end = out.find("\n\r", start)) != std::string::npos) {
            EXPECT_LE(end - start, size_t(width)) << out.substr(start, end - start);
            start = end + 2;
        }
        EXPECT_EQ(start, out.size());
    }
}

TEST(BoardLine, EveryFieldOfTheStyle12Line)
{
    Position pos = Position::start();
    const Move e4 = parse_move(pos, "e4").move;
    BoardLineFields f;
    const Position after = pos.after(e4);
    f.position = &after;
    f.game_number = 42;
    f.white_name = "White";
    f.black_name = "Black";
    f.relation = Relation::PlayingOpponentToMove;
    f.initial_minutes = 5;
    f.increment_seconds = 0;
    f.white_ms = 300'000;
    f.black_ms = 299'999;
    f.verbose_move = verbose_notation(pos, e4);
    f.move_ms = 4'200;
    f.short_move = short_notation(pos, e4);
    f.clock_ticking = true;
    EXPECT_EQ(style12_line(f),
              "<12> rnbqkbnr pppppppp -------- -------- ----P--- -------- PPPP-PPP RNBQKBNR B 4 1 "
              "1 1 1 0 42 White Black -1 5 0 39 39 300 299 1 P/e2-e4 (0:04) e4 0 1 0");

    // Castling rights, the fifty-move count, the move number, a negative clock, Black's view.
    auto late = Position::from_fen("r3k2r/8/8/8/8/8/8/4K2R b Kq - 7 31");
    ASSERT_TRUE(late);
    f.position = &*late;
    f.relation = Relation::PlayingToMove;
    f.black_at_bottom = true;
    f.white_ms = 61'000;
    f.black_ms = -2'500;
    f.move_ms = 125'000;
    f.clock_ticking = false;
    f.lag_ms = 17;
    EXPECT_EQ(style12_line(f),
              "<12> r---k--r -------- -------- -------- -------- -------- -------- ----K--R B -1 1 "
              "0 0 1 7 42 White Black 1 5 0 5 10 61 -2 31 P/e2-e4 (2:05) e4 1 0 17");
}
