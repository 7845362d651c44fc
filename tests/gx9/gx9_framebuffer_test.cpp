// Tests of libgx9's framebuffer: initialisation, rectangles, pixels, image blocks, clipping.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "host/gx9.h"
#include "tests/support/test_screen.h"

using testsupport::TestScreen;

namespace {

// A memfd of the given size, closed on destruction.
struct MemFile {
    explicit MemFile(size_t size) : fd(memfd_create("gx9-test", MFD_CLOEXEC))
    {
        EXPECT_GE(fd, 0);
        EXPECT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
    }
    ~MemFile() { close(fd); }
    int fd;
};

} // namespace

TEST(FramebufferSetup, RefusesBadDescriptorsAndGeometry)
{
    MemFile good(gx9::kFbFileSize);
    MemFile small(gx9::kFbFileSize - 1);
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    const int closed_fd = dup(good.fd);
    close(closed_fd);

    // {width, height, depth, fd, accepted}
    struct Row {
        int width, height, depth, fd;
        bool accepted;
    };
    const Row rows[] = {
        {720, 576, 8, good.fd, true},       {720, 576, 8, small.fd, false},
        {720, 576, 8, -1, false},           {720, 576, 8, closed_fd, false},
        {720, 576, 8, pipe_ends[0], false}, {640, 576, 8, good.fd, false},
        {720, 480, 8, good.fd, false},      {720, 576, 16, good.fd, false},
    };
    for (const Row& row : rows) {
        const int result = FBInitialize(row.width, row.height, row.depth, row.fd);
        EXPECT_EQ(result >= 0, row.accepted)
            << row.width << "x" << row.height << "x" << row.depth << " fd " << row.fd;
        // After a refusal nothing is mapped: drawing is ignored, reading answers 0.
        FBFillRect(0, 0, 10, 10, 7);
        EXPECT_EQ(FBGetPixel(5, 5), row.accepted ? 7 : 0);
        FBClose();
    }
    // A refused FBInitialize also lets go of the framebuffer mapped before it.
    ASSERT_EQ(FBInitialize(720, 576, 8, good.fd), 0);
    EXPECT_LT(FBInitialize(720, 576, 8, small.fd), 0);
    FBFillRect(0, 0, 720, 576, 9);
    uint8_t first = 0;
    ASSERT_EQ(pread(good.fd, &first, 1, 0), 1);
    EXPECT_EQ(first, 7) << "drew into the earlier framebuffer";
    FBClose();
    close(pipe_ends[0]);
    close(pipe_ends[1]);
}

TEST(FramebufferSetup, MapsTheFileSharedAndMarksIt)
{
    MemFile file(gx9::kFbFileSize);
    ASSERT_EQ(FBInitialize(720, 576, 8, file.fd), 0);
    FBPaintPixel(719, 575, 9);
    FBPaintPixel(0, 0, 4);
    FBClose();

    std::vector<uint8_t> bytes(gx9::kFbFileSize);
    ASSERT_EQ(pread(file.fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    gx9::FbFile seen;
    std::memcpy(&seen, bytes.data(), sizeof(seen));
    EXPECT_EQ(seen.pixels[575][719], 9);
    EXPECT_EQ(seen.pixels[0][0], 4);
    EXPECT_EQ(seen.state.magic, gx9::kFbMagic);
    EXPECT_EQ(seen.state.draw_counter, 2u);
}

TEST(FramebufferSetup, DrawingBeforeInitialiseOrAfterCloseDoesNothing)
{
    const unsigned char block[4] = {1, 2, 3, 4};
    auto draw_everything = [&] {
        FBFillRect(0, 0, 720, 576, 5);
        FBDrawRect(0, 0, 720, 576, 5);
        FBDrawLine(0, 0, 719, 575, 5);
        FBPaintPixel(1, 1, 5);
        FBCopyImage(0, 0, 2, 2, block);
        FBDrawString(0, 0, 20, "text", 5, 6);
        FBSetupColors();
        Gx9ShowPig(0, 0, 10, 10);
        Gx9StopPig();
        return FBGetPixel(1, 1);
    };
    EXPECT_EQ(draw_everything(), 0);
    {
        TestScreen screen;
        FBClose();
        EXPECT_EQ(draw_everything(), 0);
        EXPECT_EQ(screen.count(0, 0, 720, 576, 0), 720 * 576);
        EXPECT_EQ(screen.draw_calls(), 0u);
    }
}

TEST(Rectangles, FillCoversExactlyItsColumnsAndRows)
{
    TestScreen screen;
    FBFillRect(100, 50, 30, 20, 6);
    EXPECT_TRUE(screen.all(100, 50, 30, 20, 6)) << screen.dump(98, 48, 34, 24);
    EXPECT_EQ(screen.count(0, 0, 720, 576, 6), 30 * 20) << screen.dump(98, 48, 34, 24);
    EXPECT_EQ(screen.draw_calls(), 1u);
}

TEST(Rectangles, OutlineIsTheBorderOfTheFilledBox)
{
    TestScreen screen;
    FBDrawRect(100, 50, 30, 20, 13);
    FBFillRect(101, 51, 28, 18, 6);
    // The fill nests exactly inside the outline: together they make the full box, no gaps.
    EXPECT_EQ(screen.count(100, 50, 30, 20, 13), 2 * 30 + 2 * 18) << screen.dump(99, 49, 32, 22);
    EXPECT_TRUE(screen.all(101, 51, 28, 18, 6));
    EXPECT_EQ(screen.count(0, 0, 720, 576, 0), 720 * 576 - 30 * 20);
    EXPECT_EQ(screen.draw_calls(), 2u);
}

TEST(Rectangles, EmptyOrNegativeSizesDrawNothingButCount)
{
    TestScreen screen;
    // {width, height}
    const int sizes[][2] = {{0, 10}, {10, 0}, {-5, 10}, {10, -5}, {INT_MIN, INT_MIN}};
    for (const auto& size : sizes) {
        FBFillRect(50, 50, size[0], size[1], 5);
        FBDrawRect(50, 50, size[0], size[1], 5);
    }
    EXPECT_EQ(screen.count(0, 0, 720, 576, 5), 0);
    EXPECT_EQ(screen.draw_calls(), 2u * std::size(sizes));
}

TEST(Clipping, RectanglesKeepOnlyTheirVisiblePart)
{
    // {x, y, width, height, visible pixels}
    struct Row {
        int x, y, width, height;
        int visible;
    };
    const Row rows[] = {
        {-10, -10, 20, 20, 10 * 10},
        {710, 570, 20, 20, 10 * 6},
        {-1000, 100, 2000, 1, 720},
        {100, -1000, 1, 3000, 576},
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0},
        {INT_MAX, INT_MAX, INT_MAX, INT_MAX, 0}, // x + width overflows int
        {700, 0, INT_MAX, 1, 20},
        {INT_MIN, 0, INT_MAX, 1, 0},
        {-INT_MAX, 5, INT_MAX, 1, 0},     // ends just left of column 0
        {-INT_MAX + 1, 5, INT_MAX, 1, 1}, // its last column is 0
        {720, 0, 10, 10, 0},
        {0, 576, 10, 10, 0},
    };
    for (const Row& row : rows) {
        TestScreen screen;
        FBFillRect(row.x, row.y, row.width, row.height, 8);
        EXPECT_EQ(screen.count(0, 0, 720, 576, 8), row.visible)
            << "fill " << row.x << "," << row.y << " " << row.width << "x" << row.height;
        screen.fill(0);
        FBDrawRect(row.x, row.y, row.width, row.height, 8);
        EXPECT_LE(screen.count(0, 0, 720, 576, 8), row.visible);
    }
}

TEST(Clipping, OutlineShowsOnlyItsVisibleEdges)
{
    TestScreen screen;
    FBDrawRect(-5, -5, 20, 10, 2); // left and top edges off screen
    EXPECT_TRUE(screen.all(0, 4, 15, 1, 2)) << screen.dump(0, 0, 16, 6);
    EXPECT_TRUE(screen.all(14, 0, 1, 5, 2));
    EXPECT_EQ(screen.count(0, 0, 720, 576, 2), 15 + 4);
}

TEST(Pixels, PaintAndGetAgreeAndIgnoreOffScreen)
{
    TestScreen screen;
    // {x, y, on screen}
    const struct {
        int x, y;
        bool on;
    } rows[] = {{0, 0, true},        {719, 0, true},           {0, 575, true},
                {719, 575, true},    {-1, 0, false},           {720, 0, false},
                {0, -1, false},      {0, 576, false},          {INT_MIN, 0, false},
                {0, INT_MAX, false}, {INT_MAX, INT_MIN, false}};
    for (const auto& row : rows) {
        FBPaintPixel(row.x, row.y, 12);
        EXPECT_EQ(FBGetPixel(row.x, row.y), row.on ? 12 : 0) << row.x << "," << row.y;
    }
    EXPECT_EQ(screen.count(0, 0, 720, 576, 12), 4);
    EXPECT_EQ(screen.draw_calls(), std::size(rows));
}

TEST(Images, CopyPlacesBlockRowByRow)
{
    TestScreen screen;
    const unsigned char block[2 * 3] = {1, 2, 3, 4, 5, 6};
    FBCopyImage(200, 100, 3, 2, block);
    EXPECT_EQ(screen.dump(200, 100, 3, 2), "123\n456\n");
    EXPECT_EQ(screen.count(0, 0, 720, 576, 0), 720 * 576 - 6);
}

TEST(Images, CopyIsClippedOnEverySide)
{
    TestScreen screen;
    unsigned char block[4 * 4];
    for (int i = 0; i < 16; ++i)
        block[i] = static_cast<unsigned char>(i + 1);
    FBCopyImage(-2, -1, 4, 4, block);   // shows columns 2..3 of rows 1..3
    FBCopyImage(718, 574, 4, 4, block); // shows columns 0..1 of rows 0..1
    EXPECT_EQ(screen.dump(0, 0, 2, 3), "78\nbc\nf+\n");
    EXPECT_EQ(screen.dump(718, 574, 2, 2), "12\n56\n");
    EXPECT_EQ(screen.count(0, 0, 720, 576, 0), 720 * 576 - 6 - 4);

    FBCopyImage(INT_MAX - 1, INT_MAX - 1, 4, 4, block);
    FBCopyImage(INT_MIN, 0, 4, 4, block);
    FBCopyImage(0, 0, 4, 4, nullptr);
    FBCopyImage(0, 0, 0, 4, block);
    EXPECT_EQ(screen.count(0, 0, 720, 576, 0), 720 * 576 - 6 - 4);
}

TEST(Palette, SetupPublishesDefinedColoursToTheFile)
{
    TestScreen screen; // defines the plugin's palette
    const auto& palette = screen.file().palette;
    EXPECT_EQ(palette[10][0], 33);
    EXPECT_EQ(palette[10][1], 105);
    EXPECT_EQ(palette[10][2], 115);
    EXPECT_EQ(palette[5][2], 30);
    EXPECT_EQ(palette[11][0] | palette[11][1] | palette[11][2], 0); // never defined
    EXPECT_EQ(screen.file().state.palette_ready, 1u);
}

TEST(Palette, SetColorAloneIsNotVisibleUntilSetup)
{
    TestScreen screen;
    FBSetColor(200, 10, 20, 30);
    FBSetColor(201, -5, 300, 128); // components clamped
    FBSetColor(256, 1, 1, 1);      // out of range: ignored
    FBSetColor(-1, 1, 1, 1);
    EXPECT_EQ(screen.file().palette[200][0], 0);
    FBSetupColors();
    EXPECT_EQ(screen.file().palette[200][1], 20);
    EXPECT_EQ(screen.file().palette[201][0], 0);
    EXPECT_EQ(screen.file().palette[201][1], 255);
    EXPECT_EQ(screen.file().palette[201][2], 128);
    EXPECT_EQ(screen.file().state.palette_ready, 2u);
}

TEST(PictureWindow, RecordedOnlyWhilePermitted)
{
    TestScreen screen;
    const gx9::FbState& state = screen.file().state;
    gx9_use_pig = 1;
    Gx9ShowPig(470, 281, 220, 168);
    EXPECT_EQ(state.pig_shown, 1u);
    EXPECT_EQ(state.pig_x, 470);
    EXPECT_EQ(state.pig_y, 281);
    EXPECT_EQ(state.pig_w, 220);
    EXPECT_EQ(state.pig_h, 168);
    Gx9StopPig();
    EXPECT_EQ(state.pig_shown, 0u);

    gx9_use_pig = 0;
    Gx9ShowPig(1, 2, 3, 4);
    EXPECT_EQ(state.pig_shown, 0u);
    EXPECT_EQ(state.pig_x, 470);
}
