// Text framing: input lines from telnet bytes, output wrapping, and the style 12 board line.
#include <gtest/gtest.h>

#include <sstream>

#include "ficsd/board_line.h"
#include "ficsd/move_notation.h"
#include "ficsd/telnet_text.h"

using namespace ficsd;

TEST(Text, LinesEndAtLineFeedWithoutTelnetAndControlBytes)
{
    // bytes fed (in pieces separated by '|'), the lines that come out joined by '/'
    const std::pair<std::string, std::string> rows[] = {
        {"who\r\n", "who"},
        {"\r\n\r\n", "/"},
        {"obs|erve 1\n", "observe 1"},
        {"a\nb\nc", "a/b"},
        {"\xff\xfd\x01hi\n", "hi"},             // IAC DO ECHO
        {"h\xff|\xfb\x01i\n", "hi"},            // a command split between reads
        {"x\xff\xfa\x18\x01\xff\xf0y\n", "xy"}, // subnegotiation
        {"\xff\xff"
         "a\n",
         "a"}, // an escaped 255 is not text
        {"tell\tbob\x07 hi\x80\n", "tell bob hi"},
        {std::string(2000, 'a') + "\nwho\n", std::string(LineReader::kMaxInputLine, 'a') + "/who"},
    };
    for (const auto& [bytes, want] : rows) {
        LineReader reader;
        std::vector<std::string> lines;
        std::stringstream pieces(bytes);
        for (std::string piece; std::getline(pieces, piece, '|');)
            reader.feed(piece, lines);
        std::string joined;
        for (size_t i = 0; i < lines.size(); ++i)
            joined += (i ? "/" : "") + lines[i];
        EXPECT_EQ(joined, want) << bytes.substr(0, 40);
    }
}

TEST(Text, WrapsAtSpacesWithinTheWidthAndMarksContinuations)
{
    const std::pair<std::string, std::string> rows[] = {
        {"exactly10!", "exactly10!\n\r"},
        {"one two three four", "one two\n\r\\   three\n\r\\   four\n\r"},
        {"", "\n\r"},
        {"aaaa bbbbbbbbbbbbbbbb", "aaaa\n\r\\   bbbbbb\n\r\\   bbbbbb\n\r\\   bbbb\n\r"},
    };
    for (const auto& [line, want] : rows)
        EXPECT_EQ(wrap_line(line, 10), want) << line;
    std::string text;
    for (int i = 0; i < 60; ++i)
        text += std::string(size_t(i % 9 + 1), char('a' + i % 26)) + " ";
    for (int width : {32, 73}) {
        std::istringstream out(wrap_line(text, width));
        for (std::string line; std::getline(out, line, '\n');)
            EXPECT_LE(line.size(), size_t(width) + 1) << line; // the "\r" of the line end
    }
}

TEST(Text, Style12LineCarriesEveryField)
{
    const Position start = Position::start();
    const Move e4 = parse_move(start, "e4").move;
    const Position after = start.after(e4);
    BoardLineFields f{&after,
                      42,
                      "White",
                      "Black",
                      Relation::PlayingOpponentToMove,
                      5,
                      0,
                      300'000,
                      299'999,
                      verbose_notation(start, e4),
                      4'200,
                      short_notation(start, e4),
                      false,
                      true};
    EXPECT_EQ(style12_line(f),
              "<12> rnbqkbnr pppppppp -------- -------- ----P--- -------- PPPP-PPP RNBQKBNR B 4 1 "
              "1 1 1 0 42 White Black -1 5 0 39 39 300 299 1 P/e2-e4 (0:04) e4 0 1 0");
    f.milliseconds = true;
    EXPECT_NE(style12_line(f).find(" 300000 299999 1 P/e2-e4 (0:04.200) e4 "), std::string::npos);
    // Castling rights, the fifty-move count, the move number, a negative clock, Black's view.
    const Position late = *Position::from_fen("r3k2r/8/8/8/8/8/8/4K2R b Kq - 7 31");
    f = {&late,   42,   "White", "Black", Relation::PlayingToMove,
         5,       0,    61'000,  -2'500,  "P/e2-e4",
         125'000, "e4", true,    false,   17};
    EXPECT_EQ(style12_line(f),
              "<12> r---k--r -------- -------- -------- -------- -------- -------- ----K--R B -1 1 "
              "0 0 1 7 42 White Black 1 5 0 5 10 61 -2 31 P/e2-e4 (2:05) e4 1 0 17");
}
