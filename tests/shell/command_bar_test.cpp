// The command bar: the order of the outline and fill calls (the outlines and the fill do not
// overlap, so only the order of calls tells them apart) and the pixels each form leaves.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shell/command_bar.h"
#include "tests/shell/shell_host_fakes.h"
#include "tests/support/test_screen.h"

namespace {

using shellfakes::host;
using testsupport::TestScreen;

TEST(CommandBar, EachFormDrawsItsOutlinesAndFillInItsOrderThenThePrompt)
{
    using Events = std::vector<std::string>;
    const std::string fill = "fill 30 532 660 18 1";
    const std::string outer = "rect 28 530 664 22 ";
    const std::string inner = "rect 29 531 664 22 ";
    struct Row {
        const char* name;
        void (*draw)();
        Events calls;
    };
    const Row rows[] = {
        {"plain", draw_command_bar, {fill, outer + "8"}},
        {"picker", highlight_command_bar_for_picker, {outer + "2", inner + "2", fill}},
        {"word", highlight_command_bar_for_word, {fill, outer + "2", inner + "2"}},
        {"restore", restore_command_bar, {fill, outer + "1", inner + "1", outer + "8"}},
    };
    TestScreen screen;
    for (const Row& row : rows) {
        shellfakes::reset();
        host().log_rectangles = true;
        row.draw();
        EXPECT_EQ(host().events, row.calls) << row.name;
        EXPECT_EQ(screen.text(30, 532, 7), "fics%  ") << row.name << ": prompt drawn last";
    }
}

TEST(CommandBar, HighlightIsADoubleWhiteOutlineThatRestoringErases)
{
    TestScreen screen;
    draw_command_bar();
    highlight_command_bar_for_word();
    for (int x : {28, 29, 691, 692})
        EXPECT_EQ(screen.pixel(x, 540), 2) << "x " << x;
    restore_command_bar();
    EXPECT_EQ(screen.pixel(28, 540), 8);
    EXPECT_EQ(screen.pixel(691, 540), 8);
    EXPECT_EQ(screen.pixel(29, 540), 1);
    EXPECT_EQ(screen.pixel(692, 540), 1);
    EXPECT_EQ(screen.pixel(100, 552), 1) << "lower edge of the second outline erased";
}

} // namespace
