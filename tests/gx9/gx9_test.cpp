// Tests of the stand-in libgx9: the framebuffer file and its descriptor, every drawing call
// against golden screens (clipping at each edge and at int's limits; FBDrawString's glyphs,
// boxes and widths), the palette, the picture window, and key events through a real pipe.
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "host/gx9.h"
#include "tests/support/test_screen.h"

using testsupport::TestRemote;
using testsupport::TestScreen;

namespace {

// Every call that draws or records something; none may reach a file that is not mapped.
void call_everything()
{
    static const unsigned char block[4] = {1, 2, 3, 4};
    FBFillRect(0, 0, 720, 576, 5);
    FBDrawRect(0, 0, 720, 576, 5);
    FBDrawLine(0, 0, 719, 575, 5);
    FBPaintPixel(1, 1, 5);
    FBCopyImage(0, 0, 2, 2, block);
    FBDrawString(0, 0, 20, "text", 5, 6);
    FBSetupColors();
    gx9_use_pig = 1;
    Gx9ShowPig(0, 0, 10, 10);
}

constexpr unsigned char kInk = 5, kPaper = 10;

int width_of(const char* text, int height)
{
    return FBDrawString(0, 0, height, text, kInk, kPaper);
}

// One poll as the plugin makes it (actcode cleared to 238 first): actcode, realcode, doexit.
std::array<int, 3> poll()
{
    actcode = kKeyNone;
    RcGetActCode();
    return {actcode, realcode, doexit};
}

} // namespace

TEST(FramebufferFile, RefusalsLetGoOfTheFramebufferAndDrawingThenDoesNothing)
{
    call_everything(); // before any FBInitialize
    TestScreen screen;
    const int small = memfd_create("small", MFD_CLOEXEC), closed = dup(small);
    ASSERT_EQ(ftruncate(small, gx9::kFbFileSize - 1) + close(closed), 0);
    // {width, height, depth, descriptor}, each refused after a framebuffer was mapped.
    const int refused[][4] = {{720, 576, 8, small},       {720, 576, 8, -1},
                              {720, 576, 8, closed},      {640, 576, 8, screen.fd()},
                              {720, 480, 8, screen.fd()}, {720, 576, 16, screen.fd()}};
    for (const auto& r : refused) {
        ASSERT_EQ(FBInitialize(720, 576, 8, screen.fd()), 0);
        EXPECT_LT(FBInitialize(r[0], r[1], r[2], r[3]), 0) << r[0] << "x" << r[1] << "x" << r[2];
        call_everything();
    }
    FBInitialize(720, 576, 8, screen.fd());
    FBClose();
    call_everything();
    EXPECT_EQ(screen.count(0, 0, 720, 576, 0), 720 * 576);
    EXPECT_EQ(screen.draw_calls() + screen.file().state.pig_shown, 0u);
    EXPECT_EQ(screen.file().state.palette_ready, 1u); // the fixture's own FBSetupColors
    close(small);
}

TEST(FramebufferFile, HoldsPixelsThenPublishedPaletteThenPictureWindow)
{
    TestScreen screen; // the plugin's palette is set up: palette_ready 1
    const gx9::FbFile& file = screen.file();
    const auto* bytes = reinterpret_cast<const uint8_t*>(&file);
    FBPaintPixel(719, 575, 9);
    EXPECT_EQ(bytes[575 * 720 + 719], 9);
    EXPECT_EQ(bytes[720 * 576 + 10 * 3 + 1], 105); // entry 10 is (33, 105, 115)
    EXPECT_EQ(file.state.magic, gx9::kFbMagic);
    // Entries wait for FBSetupColors; components are clamped; indices past 0..255 are ignored.
    for (const auto& [index, red, green, blue] :
         {std::array{200, 10, 20, 30}, {201, -5, 300, 128}, {256, 1, 1, 1}, {-1, 1, 1, 1}})
        FBSetColor(index, red, green, blue);
    EXPECT_EQ(file.palette[200][1], 0);
    FBSetupColors();
    EXPECT_EQ(std::vector(&file.palette[200][0], &file.palette[202][0]),
              (std::vector<uint8_t>{10, 20, 30, 0, 255, 128}));
    EXPECT_EQ(file.palette[11][0] + file.palette[11][1] + file.palette[11][2], 0); // undefined
    EXPECT_EQ(file.state.palette_ready, 2u);

    gx9_use_pig = 1;
    Gx9ShowPig(470, 281, 220, 168);
    const auto pig = [&] {
        return std::array{int(file.state.pig_shown), file.state.pig_x, file.state.pig_y,
                          file.state.pig_w, file.state.pig_h};
    };
    EXPECT_EQ(pig(), (std::array{1, 470, 281, 220, 168}));
    Gx9StopPig();
    gx9_use_pig = 0;
    Gx9ShowPig(1, 2, 3, 4);
    EXPECT_EQ(pig(), (std::array{0, 470, 281, 220, 168}));
}

// Lines across the screen from int's limits and from millions of pixels away, boxes (filled,
// then outlined) over every edge and corner, image blocks clipped on every side, pixels on and
// off the screen, and lines of every octant from a centre and towards one.
TEST(Drawing, EveryCallDrawsTheGoldenScreenAndCountsOnce)
{
    constexpr int N = INT_MIN, X = INT_MAX, M = 1000000;
    TestScreen screen;
    const uint8_t* outside = &screen.file().palette[0][0]; // no byte of it may change
    const std::vector<uint8_t> palette(outside, outside + 768);
    FBFillRect(0, 0, 720, 576, 1);
    // {x1, y1, x2, y2} (the 7th is halfway between rows at column 0); then three from afar.
    const int far_lines[][4] = {
        {N, 100, X, 100},       {300, N, 300, X}, {N, N, X, X},      {X, N, N, X},
        {-M, -M / 2, M, M / 2}, {N, N, N, X},     {-1, 200, 3, 202}, {X, X, X, X}};
    const int far_starts[][2] = {
        {600 - 3 * M, 300 - M}, {600 - 700 * M, 300 - 700 * M}, {600 - 400 * M, 300 - 1000 * M}};
    for (size_t i = 0; i < std::size(far_lines); ++i)
        FBDrawLine(far_lines[i][0], far_lines[i][1], far_lines[i][2], far_lines[i][3], 2 + i);
    for (const auto& start : far_starts)
        FBDrawLine(start[0], start[1], 600, 300, 12);
    // {x, y, width, height}: x + width overflows int in two; the last three have no area.
    const int boxes[][4] = {
        {-10, -10, 20, 20}, {710, 570, 20, 20}, {-1000, 150, 2000, 3}, {150, -1000, 3, 3000},
        {N, N, X, X},       {X, X, X, X},       {700, 20, X, 3},       {N, 30, X, 3},
        {-X, 40, X, 3},     {-X + 2, 50, X, 3}, {720, 60, 10, 10},     {60, 576, 10, 10},
        {200, 30, 30, 20},  {250, 30, 0, 10},   {250, 30, 10, -5},     {N, N, N, N}};
    for (size_t i = 0; i < std::size(boxes); ++i) {
        const auto& b = boxes[i];
        FBFillRect(b[0], b[1], b[2], b[3], static_cast<unsigned char>(2 + i % 12));
        FBDrawRect(b[0], b[1], b[2], b[3], static_cast<unsigned char>(13 - i % 12));
    }
    const unsigned char block[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    // {x, y, width} of 4 x 4 blocks; the last two have no pixels or no width.
    const int copies[][3] = {{-2, -1, 4},  {718, 574, 4}, {716, -3, 4},
                             {-3, 573, 4}, {400, 400, 4}, {X - 1, X - 1, 4},
                             {N, 0, 4},    {300, 400, 4}, {310, 400, 0}};
    for (size_t i = 0; i < std::size(copies); ++i)
        FBCopyImage(copies[i][0], copies[i][1], copies[i][2], 4, i == 7 ? nullptr : block);
    // {x, y}: the first four on the screen.
    const int points[][2] = {{0, 575}, {719, 0}, {2, 573}, {717, 2}, {-1, 0}, {720, 0},
                             {0, -1},  {0, 576}, {N, 0},   {0, X},   {X, N}};
    for (const auto& p : points)
        FBPaintPixel(p[0], p[1], 12);
    const int offsets[][2] = {{40, 0},   {40, 13},  {40, 40},  {13, 40},   {0, 40},    {-13, 40},
                              {-40, 40}, {-40, 13}, {-40, 0},  {-40, -13}, {-40, -40}, {-13, -40},
                              {0, -40},  {13, -40}, {40, -40}, {40, -13},  {7, 3},     {-3, 7},
                              {1, 0},    {0, 0},    {200, 1},  {1, 200}};
    for (const auto& o : offsets) {
        FBDrawLine(200, 300, 200 + o[0], 300 + o[1], 13);
        FBDrawLine(500 + o[0], 300 + o[1], 500, 300, 6);
    }
    EXPECT_TRUE(screen.matches_golden("gx9_primitives"));
    for (size_t i = 0; i < std::size(points); ++i)
        EXPECT_EQ(FBGetPixel(points[i][0], points[i][1]), i < 4 ? 12 : 0) << "point " << i;
    EXPECT_EQ(screen.draw_calls(), 1 + std::size(far_lines) + std::size(far_starts) +
                                       2 * std::size(boxes) + std::size(copies) +
                                       std::size(points) + 2 * std::size(offsets));
    EXPECT_EQ(std::vector(outside, outside + 768), palette) << "drawing wrote outside the screen";
    if (std::getenv("VITREL_UPDATE_GOLDEN") == nullptr) { // a golden test can fail
        FBPaintPixel(0, 575, 1);
        EXPECT_FALSE(screen.matches_golden("gx9_primitives"));
        std::filesystem::remove(VITREL_SOURCE_DIR "/tests/golden/gx9_primitives.png.new");
    }
}

// Boxes wholly on the screen (1), across its edges or far outside (0), and calls that draw
// nothing (-1): no text, no height, a height above the screen's. A full stop, an apostrophe and
// a bar show the baseline; "\xe9" is Latin-1's e acute.
TEST(Strings, DrawTheGoldenScreenInBoxesOfTheReturnedWidthThatAddsUp)
{
    TestScreen screen;
    const struct {
        int x, y, height;
        const char* text;
        int shown;
    } rows[] = {{100, 200, 24, "Hello, world", 1}, {10, 300, 40, ". ' |", 1},
                {10, 400, 30, "e\xe9", 1},         {700, 560, 30, "clipped text", 0},
                {-20, -10, 30, "partly", 0},       {INT_MAX - 5, INT_MAX - 5, 30, "far", 0},
                {INT_MIN, INT_MIN, 30, "far", 0},  {10, 100, 20, "", -1},
                {10, 100, 20, nullptr, -1},        {10, 100, 0, "abc", -1},
                {10, 100, -4, "abc", -1},          {10, 100, INT_MAX, "abc", -1}};
    for (const auto& r : rows) {
        const int width = FBDrawString(r.x, r.y, r.height, r.text, kInk, kPaper);
        EXPECT_EQ(width > 0, r.shown >= 0) << r.text;
        if (r.shown == 1) {
            EXPECT_EQ(screen.count(r.x, r.y, width, r.height, kInk) +
                          screen.count(r.x, r.y, width, r.height, kPaper),
                      width * r.height)
                << r.text << "\n"
                << screen.dump(r.x, r.y, width, r.height);
        }
    }
    EXPECT_TRUE(screen.matches_golden("gx9_text"));
    EXPECT_EQ(screen.draw_calls(), std::size(rows));
    // Widths add up (no kerning), grow with the height, and measure Latin-1 characters.
    const int w = width_of("W", 30), i = width_of("i", 30);
    EXPECT_GT(w, i);
    EXPECT_EQ(width_of("WiWi", 30), 2 * (w + i));
    EXPECT_LT(width_of("WiWi", 15), 2 * (w + i));
    EXPECT_GT(width_of("WiWi", 60), 2 * (w + i));
    EXPECT_EQ(width_of("\xe9", 30), width_of("e", 30));
}

// The face is loaded once per process, on the first string: this test has a process of its own.
TEST(Strings, MissingFontFallsBackToPlainBoxes)
{
    setenv("VITREL_GX9_FONT", "/nonexistent/font.ttf", 1);
    TestScreen screen;
    EXPECT_EQ(FBDrawString(10, 10, 23, "abcde", kInk, kPaper), 5 * 14); // 6/10 of the height each
    EXPECT_TRUE(screen.all(10, 10, 70, 23, kPaper));
    EXPECT_EQ(screen.count(0, 0, 720, 576, kPaper), 70 * 23);
}

// Steps: "p N" press, "r N" release, "t N" both, "R" restart, "b N" one raw byte, "H" the box
// hangs up; "= A R X": a poll (at once, even on an empty pipe) reads actcode, realcode, doexit.
TEST(Remote, RefusesABadDescriptorAndTurnsEventsIntoKeysOnePressPerPoll)
{
    EXPECT_LT(RcInitialize(-1), 0);
    EXPECT_EQ(poll(), (std::array{238, 238, 0})); // nothing set up: nothing read
    const char* const cases[] = {
        "p 14 | = 14 14 0 | = 238 14 0 | r 14 | = 238 238 0", // held across polls
        "t 7 | = 7 238 0 | = 238 238 0",                      // released before the poll
        "t 2 | t 2 | t 3 | = 2 238 0 | = 2 238 0 | = 3 238 0 | = 238 238 0",
        "p 11 | p 10 | = 11 11 0 | = 10 10 0 | r 10 | = 238 238 0",
        "b 1 | = 238 238 0 | b 20 | = 20 20 0",        // half a record waits for the rest
        "b 0 | b 9 | b 200 | b 14 | p 13 | = 13 13 0", // unknown events are skipped
        "t 25 | = 25 238 3",                           // EXIT asks to leave
        "R | = 238 238 1",                             // the box asks for a start over
        "p 12 | R | = 12 12 0 | = 238 12 1",           // a restart after a press waits
        "R | t 25 | = 25 238 3 | R | = 238 238 3",     // and never takes back an exit
        "t 5 | b 1 | H | = 5 238 0 | = 238 238 0 | = 238 238 0",
    };
    for (const char* steps : cases) {
        TestRemote remote;
        std::istringstream in(steps);
        std::string step;
        while (std::getline(in, step, '|')) {
            char what = 0;
            std::array<int, 3> read{};
            std::istringstream(step) >> what >> read[0] >> read[1] >> read[2];
            const uint8_t byte = static_cast<uint8_t>(read[0]);
            if (what == '=')
                ASSERT_EQ(poll(), read) << steps;
            else if (what == 'b')
                ASSERT_EQ(write(remote.write_fd(), &byte, 1), 1);
            else if (what == 'R')
                remote.restart();
            else if (what == 'H')
                remote.hang_up();
            if (what == 'p' || what == 't')
                remote.press(read[0]);
            if (what == 'r' || what == 't')
                remote.release(read[0]);
        }
    }
}
