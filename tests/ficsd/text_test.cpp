// Text framing: input lines from telnet bytes, output wrapping, and the style 12 board line.
#include <gtest/gtest.h>

#include <sstream>

#include "ficsd/board_line.h"
#include "ficsd/telnet_text.h"

using namespace ficsd;

TEST(Text, LinesEndAtLineFeedWithoutTelnetAndControlBytes)
{
    // bytes fed (split into reads at '|'), the lines joined by '/'; more in conversations.txt
    const std::pair<std::string, std::string> rows[] = {
        {"\r\n\r\n", "/"},
        {"obs|erve 1\n", "observe 1"},
        {"a\nb\nc", "a/b"},
        {"h\xff|\xfb\x20i\n", "hi"}, // a telnet command split between reads
        {std::string(2000, 'a') + "\nwho\n", std::string(LineReader::kMaxInputLine, 'a') + "/who"},
    };
    for (const auto& [bytes, want] : rows) {
        LineReader reader;
        std::vector<std::string> lines;
        std::stringstream pieces(bytes);
        for (std::string piece; std::getline(pieces, piece, '|');)
            reader.feed(piece, lines);
        std::string joined;
        for (const std::string& line : lines)
            joined += "/" + line;
        EXPECT_EQ(joined, "/" + want) << bytes.substr(0, 40);
    }
}

TEST(Text, WrapsAtSpacesWithinTheWidthAndMarksContinuations)
{
    const std::pair<std::string, std::string> rows[] = {
        {"exactly10!", "exactly10!\n\r"},
        {"one two three four", "one two\n\r\\   three\n\r\\   four\n\r"},
        {"", "\n\r"},
        {" abcdefghijkl", " abcdefghi\n\r\\   jkl\n\r"},
        {"aaaa bbbbbbbbbbbbbbbb", "aaaa\n\r\\   bbbbbb\n\r\\   bbbbbb\n\r\\   bbbb\n\r"},
    };
    for (const auto& [line, want] : rows)
        EXPECT_EQ(wrap_line(line, 10), want) << line;
}

TEST(Text, Style12LineCarriesEveryField)
{
    // Castling rights, the fifty-move count, the move number, a negative clock, Black's view, the
    // lag; the conversations see the lines of a game from its start.
    const Position late = *Position::from_fen("r3k2r/8/8/8/8/8/8/4K2R b Kq - 7 31");
    BoardLineFields f{&late,   42,   "White", "Black", Relation::PlayingToMove,
                      5,       0,    61'000,  -2'500,  "P/e2-e4",
                      125'000, "e4", true,    false,   17};
    EXPECT_EQ(style12_line(f),
              "<12> r---k--r -------- -------- -------- -------- -------- -------- ----K--R B -1 1 "
              "0 0 1 7 42 White Black 1 5 0 5 10 61 -2 31 P/e2-e4 (2:05) e4 1 0 17");
    f.milliseconds = true;
    EXPECT_NE(style12_line(f).find(" 61000 -2500 31 P/e2-e4 (2:05.000) e4 "), std::string::npos);
}
