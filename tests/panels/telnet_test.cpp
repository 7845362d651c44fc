// Tests of the telnet window: the line buffer, scrolling with colours, and what each form draws.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "ics/game_state.h"
#include "panels/telnet.h"
#include "shell/screen_mode.h"
#include "tests/support/test_screen.h"

namespace {

using testsupport::TestScreen;

constexpr int kLeft = 30; // Xoffset - 10 after init
constexpr int kAdvance = 9;

int line_y(int record)
{
    return 25 + 18 * record;
}

std::string record_text(int record)
{
    const TelnetLine& line = from_fics[record];
    return std::string(line.text, strnlen(line.text, sizeof line.text));
}

std::string buffer_dump()
{
    char dump[kTelnetLines * 100];
    telnet_dump(dump, sizeof dump);
    return dump;
}

class TelnetWindow : public ::testing::Test {
  protected:
    void SetUp() override
    {
        init();
        whats_showed = kBoardView;
    }

    // Whether the line at record's position reads text, glyphs in ink on paper.
    ::testing::AssertionResult shows(int record, const std::string& text, unsigned char ink,
                                     unsigned char paper) const
    {
        const int length = static_cast<int>(text.size());
        const std::string read = screen.text(kLeft, line_y(record), length, kAdvance);
        if (read != text)
            return ::testing::AssertionFailure()
                   << "line " << record << " reads \"" << read << "\"\n"
                   << buffer_dump();
        const int width = (length - 1) * kAdvance + 10;
        const int inked = screen.count(kLeft, line_y(record), width, 18, ink);
        const int papered = screen.count(kLeft, line_y(record), width, 18, paper);
        if (inked == 0 || inked + papered != width * 18)
            return ::testing::AssertionFailure()
                   << "line " << record << " is not " << int(ink) << " on " << int(paper) << "\n"
                   << screen.dump(kLeft, line_y(record), width, 18);
        return ::testing::AssertionSuccess();
    }

    TestScreen screen;
};

TEST_F(TelnetWindow, LinesKeepTheirColoursWhileTheyScrollUp)
{
    add_to_telnet("first", 5, 10);
    add_to_telnet("second", 1, 12);
    EXPECT_TRUE(shows(27, "second", 1, 12));
    EXPECT_TRUE(shows(26, "first", 5, 10));

    add_to_telnet("third", 2, 3);
    add_to_telnet("fourth", 4, 1);
    EXPECT_TRUE(shows(24, "first", 5, 10));
    EXPECT_TRUE(shows(25, "second", 1, 12));

    add_to_telnet("fifth", 6, 1); // "first" leaves the small window for record 23
    EXPECT_TRUE(shows(24, "second", 1, 12));
    EXPECT_EQ(record_text(23), "first");
    EXPECT_EQ(from_fics[23].ink, 5);
    EXPECT_EQ(from_fics[23].paper, 10);
    EXPECT_TRUE(screen.all(kLeft, line_y(23), 680, 18, 0)) << "the small window drew record 23";

    whats_showed = kFullTelnet;
    display_telnet();
    EXPECT_TRUE(shows(23, "first", 5, 10));
    EXPECT_TRUE(shows(27, "fifth", 6, 1));
}

// 80 characters fill the record with no terminator; 81 are cut to 80; 75 of them are drawn.
TEST_F(TelnetWindow, LongLinesAreStoredAs80AndDrawnAs75)
{
    std::string text;
    for (int i = 0; text.size() < 81; ++i)
        text += "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"[i % 62];
    for (const std::string& added : {text.substr(0, 80), text}) {
        add_to_telnet(added.c_str(), 2, 1);
        EXPECT_EQ(std::string(from_fics[27].text, 80), text.substr(0, 80));
        add_to_telnet("next", 2, 1);
        EXPECT_EQ(std::string(from_fics[26].text, 80), text.substr(0, 80)) << "lost in the scroll";
        EXPECT_EQ(from_fics[26].ink, 2);

        EXPECT_TRUE(shows(26, text.substr(0, 75), 2, 1));
        // Past the 75th cell only the window's black is left, up to its right edge.
        EXPECT_TRUE(
            screen.all(kLeft + 75 * kAdvance + 1, line_y(26), 680 - 75 * kAdvance - 1, 18, 1))
            << screen.dump(kLeft + 670, line_y(26), 20, 18);
    }
}

TEST_F(TelnetWindow, EmptyAndNullTextsStillScrollOneLine)
{
    add_to_telnet("x", 2, 1);
    add_to_telnet("", 4, 10);
    EXPECT_EQ(record_text(26), "x");
    EXPECT_EQ(record_text(27), "");
    EXPECT_EQ(from_fics[27].paper, 10);
    add_to_telnet(nullptr, 5, 1);
    EXPECT_EQ(record_text(25), "x");
    EXPECT_EQ(record_text(27), "");
    EXPECT_TRUE(screen.all(kLeft, line_y(26), 680, 36, 1)) << "empty lines draw nothing";
}

TEST_F(TelnetWindow, CharactersTheFontLacksAreDroppedWithoutAGap)
{
    add_to_telnet("a\tb\"c\\d\re\x80\xfe", 2, 1);
    EXPECT_TRUE(shows(27, "abcde", 2, 1));
    EXPECT_TRUE(screen.all(kLeft + 4 * kAdvance + 10, line_y(27), 100, 18, 1));
}

TEST_F(TelnetWindow, OnlyTheFullWindowModeRedrawsAll28Lines)
{
    struct Row {
        int mode;
        bool full_redrawn;
    };
    const Row rows[] = {{kBoardView, false}, {kHelpScreen, false}, {kFullTelnet, true}};
    for (const Row& row : rows) {
        telnet_reset();
        screen.fill(7);
        whats_showed = row.mode;
        const auto calls = screen.draw_calls();
        add_to_telnet("line", 2, 1);
        // The small strip is redrawn in every mode.
        EXPECT_EQ(screen.count(kLeft, 457, 680, 72, 7), 0) << "mode " << row.mode;
        EXPECT_TRUE(shows(27, "line", 2, 1)) << "mode " << row.mode;
        // Above it, only the full window clears and draws.
        EXPECT_EQ(screen.count(kLeft, 25, 680, 432, 7) == 0, row.full_redrawn)
            << "mode " << row.mode;
        // The fill and one copy per drawn character: 4 for the one line of text.
        EXPECT_EQ(screen.draw_calls() - calls, 1u + 4u) << "mode " << row.mode;
        EXPECT_TRUE(screen.all(0, 0, 720, 25, 7)) << "drew above the window";
        EXPECT_TRUE(screen.all(0, 25, kLeft, 504, 7)) << "drew left of the window";
    }
}

TEST_F(TelnetWindow, StartUpBlanksTwentyTwoLinesAnd28AdditionsReplaceThemAll)
{
    blank_telnet_startup_lines();
    for (int n = 0; n < kTelnetLines; ++n) {
        const std::string expected = n < 22 ? std::string(80, ' ') : std::string();
        EXPECT_EQ(std::string(from_fics[n].text, strnlen(from_fics[n].text, 80)), expected)
            << "record " << n;
        EXPECT_EQ(from_fics[n].ink + from_fics[n].paper, 0) << "record " << n;
    }
    EXPECT_EQ(std::string(empty_line80), std::string(82, ' '));

    for (int n = 0; n < kTelnetLines; ++n) {
        if (n == kTelnetStartupBlankLines - 1) {
            EXPECT_EQ(record_text(0), std::string(80, ' ')) << "the last blank line is record 0";
        }
        add_to_telnet(("line " + std::to_string(n)).c_str(), 5, 1);
    }
    for (int n = 0; n < kTelnetLines; ++n)
        EXPECT_EQ(record_text(n), "line " + std::to_string(n)) << buffer_dump();
}

// A text pointing into the buffer itself is taken before the scroll moves it.
TEST_F(TelnetWindow, ReAddingABufferedLineCopiesItBeforeScrolling)
{
    add_to_telnet("older", 2, 1);
    add_to_telnet("newer", 2, 1);
    add_to_telnet(from_fics[26].text, 4, 1);
    EXPECT_EQ(record_text(27), "older");
    EXPECT_EQ(record_text(26), "newer");
}

TEST_F(TelnetWindow, FullWindowMatchesItsGoldenImage)
{
    blank_telnet_startup_lines();
    struct Row {
        const char* text;
        int ink, paper;
    };
    // Server text in the colours the line interpreter gives each kind, echoes and a message.
    const Row rows[] = {
        {"Welcome to the local FICS server.", 5, 1},
        {"Press return to enter the server as \"guest\":", 2, 8},
        {"**** Starting FICS session as korvanis ****", 2, 8},
        {"seek", 1, 12},
        {"Creating: korvanis (1500) engine (1700) unrated blitz 5 0", 2, 10},
        {"{Game 1 (korvanis vs. engine) Creating unrated blitz match.}", 2, 10},
        {"Illegal move (e2e5).", 2, 3},
        {"Please select some valid move!", 2, 3},
        {"engine(C)(1700)[1] kibitzes: +0.31 depth 12 e7e5 g1f3 b8c6 f1b5 a7a6 b5a4 g8f6 e1g1", 5,
         1},
        {"Disconnected from ICS !!!", 2, 3},
        {"symbols: ~!@#$%^&*()_+-={}[]|:;'<>?,./` and 0123456789", 4, 1},
    };
    for (const Row& row : rows)
        add_to_telnet(row.text, row.ink, row.paper);
    whats_showed = kFullTelnet;
    screen.fill(1);
    display_telnet();
    // Regenerate with: VITREL_UPDATE_GOLDEN=1 ctest --test-dir build/panels -R FullWindowMatches
    EXPECT_TRUE(screen.matches_golden("telnet_full")) << buffer_dump();
}

} // namespace
