// The frames that reach the box's LCD device are the frames the plugin draws: after a pass with
// the cursor on an empty square, the panel shows exactly the golden frame of that pass.
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/screentext/core/png_io.h"
#include "tests/e2e/harness.h"

namespace e2e {
namespace {

constexpr int kLcdWidth = 120;
constexpr int kLcdHeight = 64;

std::vector<unsigned char> golden_frame(const std::string& name)
{
    std::ifstream in(std::string(VITREL_SOURCE_DIR) + "/tests/golden/lcd_" + name + ".bin",
                     std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool frame_pixel(const std::vector<unsigned char>& frame, int x, int y)
{
    return (frame[(y / 8) * kLcdWidth + x] >> (y % 8)) & 1;
}

TEST(PluginLcd, PanelShowsTheFrameOfAPassOnAnEmptySquare)
{
    ScriptedServer server;
    BoxProcess box({"--server", "127.0.0.1:" + std::to_string(server.port()), "--handle",
                    "alice", "--password", "secret", "--timeout", "120", "-e",
                    "expect 470 109 \"  05:00  <-->  04:59  \" 10 60s; shot panel; exit"});
    ASSERT_TRUE(server.wait_for_received("set width 73\r\n"));
    // After 1. d4 the cursor's start square (4, 2), d2, is empty.
    BoardLine board;
    board.ranks[4] = "---P----";
    board.ranks[6] = "PPP-PPPP";
    board.to_move = 'B';
    board.relation = -1;
    board.black_seconds = 299;
    server.send("\n\rCreating: alice (1500) bob (1600) unrated blitz 5 0\n\r" + board.text() +
                "\n\rfics% ");
    ASSERT_EQ(box.wait(), 0) << box.output();

    std::vector<unsigned char> golden = golden_frame("empty_square");
    ASSERT_EQ(golden.size(), 960u);
    screentext::BitImage panel;
    ASSERT_EQ(screentext::read_bit_png(box.shot("panel-lcd").string(), panel), "");
    ASSERT_EQ(panel.width, kLcdWidth);
    ASSERT_EQ(panel.height, kLcdHeight);
    int differing = 0;
    for (int y = 0; y < kLcdHeight; ++y)
        for (int x = 0; x < kLcdWidth; ++x)
            differing += (panel.pixels[y * kLcdWidth + x] != 0) != frame_pixel(golden, x, y);
    EXPECT_EQ(differing, 0);
}

}  // namespace
}  // namespace e2e
