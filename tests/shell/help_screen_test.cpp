// The help screen read back from the framebuffer: rows, key names on their colours, headings.
#include <string>

#include <gtest/gtest.h>

#include "shell/help_screen.h"
#include "tests/support/test_screen.h"

namespace {

using testsupport::TestScreen;

constexpr int kRowX = 120;

// Every pixel of the text's cells is ink or paper, and some are ink.
::testing::AssertionResult drawn_in(const TestScreen& screen, int x, int y, int length,
                                    unsigned char ink, unsigned char paper)
{
    const int width = length * 10;
    const int inked = screen.count(x, y, width, 18, ink);
    if (inked > 0 && inked + screen.count(x, y, width, 18, paper) == width * 18)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "not ink " << int(ink) << " on " << int(paper) << ":\n"
                                         << screen.dump(x, y, width, 18);
}

TEST(HelpScreen, RowsAndKeyNamesReadBackInTheirColours)
{
    TestScreen screen;
    screen.fill(7);
    draw_help_screen();

    // y, row text, colour the key name is printed on (0: the row's own pale yellow on black)
    struct Row {
        int y;
        const char* text;
        unsigned char key_paper;
    };
    const Row rows[] = {
        {220, "HELP   -> this screen", 0},         {250, "MUTE   -> pause!? dummy", 0},
        {280, "ARROWS -> move pointer around", 0}, {310, "OK     -> select & make move", 0},
        {340, "RED    -> full telnet window", 3},  {370, "YELLOW -> select from list", 5},
        {400, "BLUE   -> type in words", 13},      {430, "EXIT   -> exit game", 0},
    };
    for (const Row& row : rows) {
        const int length = static_cast<int>(std::string(row.text).size());
        EXPECT_EQ(screen.text(kRowX, row.y, length), row.text);
        if (row.key_paper == 0) {
            EXPECT_TRUE(drawn_in(screen, kRowX, row.y, length, 4, 1)) << row.text;
        } else {
            EXPECT_TRUE(drawn_in(screen, kRowX, row.y, 6, 1, row.key_paper)) << row.text;
            EXPECT_TRUE(drawn_in(screen, kRowX + 60, row.y, length - 6, 4, 1)) << row.text;
        }
    }
    EXPECT_STREQ(ispisati, "EXIT   -> exit game") << "rows are printed from the scratch line";
}

TEST(HelpScreen, CoversTheBoardAreaOnlyWithItsHeadingsInTheirColours)
{
    TestScreen screen;
    screen.fill(7);
    draw_help_screen();

    EXPECT_EQ(screen.count(40, 25, 424, 424, 7), 0) << "board area cleared";
    // Only the wide headings may reach right of the board area.
    EXPECT_TRUE(screen.all(39, 25, 1, 424, 7) && screen.all(464, 213, 1, 236, 7) &&
                screen.all(40, 24, 424, 1, 7) && screen.all(40, 449, 424, 1, 7))
        << "nothing drawn outside x 40-463, y 25-448";
    // Title in light green from y 25; "Plugin" in dark green in its leading gap, from y 32;
    // "Commands" in yellow from y 165.
    EXPECT_GT(screen.count(40, 25, 424, 56, 6), 0);
    EXPECT_EQ(screen.count(40, 25, 424, 7, 10), 0) << "\"Plugin\" starts at y 32";
    EXPECT_GT(screen.count(40, 32, 424, 48, 10), 0);
    EXPECT_GT(screen.count(40, 165, 424, 48, 5), 0);
    EXPECT_EQ(screen.count(40, 81, 424, 84, 6) + screen.count(40, 81, 424, 84, 10), 0)
        << "headings keep to their bands";
}

} // namespace
