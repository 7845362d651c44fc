// Tests of sim/screentext: the PNG codecs, libpng and the built-in one of box cross builds, each
// on its own and on the other's files, and on damaged ones; the screen reader on the plugin's
// font in framebuffer memory; the screentext tool on a screenshot.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/font.h"
#include "host/gx9.h"
#include "sim/screentext/core/png_builtin.h"
#include "sim/screentext/core/png_io.h"
#include "tests/support/test_screen.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using testsupport::TestScreen;

namespace {

// Hand-made files for the built-in reader (made with zlib). filters-D-bit-KIND.png: 41 x 20
// pixels of D bits, pseudo_random_bytes(820, D, 2^D) with rows 10 and 11 all 1; row y filtered
// with filter y % 5; a palette of 16 entries (7, 7, 7); the data in KIND blocks: stored, fixed
// codes, runs (copies at distance 1 that overlap what they make) or dynamic codes; the 8-bit
// dynamic one also holds a tEXt chunk. refused/REASON.png: 3 x 2 pixels of 8 bits, broken so
// that the reader refuses them saying REASON (dashes for spaces).
const std::string kSamples = VITREL_SOURCE_DIR "/tests/gx9/png/";

Bytes pseudo_random_bytes(size_t count, uint32_t seed, unsigned modulo = 256)
{
    Bytes bytes(count);
    for (uint8_t& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<uint8_t>((seed >> 24) % modulo);
    }
    return bytes;
}

// Draws cell k as the text printers do: ink where the font has a glyph pixel, paper elsewhere.
void draw_cell(int k, int x, int y, unsigned char ink, unsigned char paper)
{
    unsigned char block[kGlyphBytes];
    for (int i = 0; i < kGlyphBytes; ++i)
        block[i] = font_pixels[k * kGlyphBytes + i] == kGlyphInk ? ink : paper;
    FBCopyImage(x, y, kGlyphWidth, kGlyphHeight, block);
}

} // namespace

TEST(PngCodecs, EachReadsWhatEitherWrites)
{
    using namespace screentext;
    const Bytes colours = pseudo_random_bytes(256 * 3, 5);
    const auto* palette = reinterpret_cast<const uint8_t(*)[3]>(colours.data());
    const std::string tv = testing::TempDir() + "codecs.png", lcd = testing::TempDir() + "lcd.png";
    // {width, height, values}: odd sizes, 1-bit rows ending inside a byte, repetitive images
    // (libpng's zlib picks fixed and dynamic blocks) and a screen (seven stored blocks).
    const int sizes[][3] = {{1, 1, 256}, {37, 11, 256}, {13, 3, 3}, {200, 90, 3}, {720, 576, 256}};
    for (const auto& [width, height, modulo] : sizes) {
        const Bytes pixels = pseudo_random_bytes(size_t(width) * height, 6, unsigned(modulo));
        for (const bool builtin_writes : {false, true}) {
            ASSERT_EQ((builtin_writes ? builtin::write_indexed_png : write_indexed_png)(
                          tv, width, height, pixels.data(), palette) +
                          (builtin_writes ? builtin::write_bit_png
                                          : write_bit_png)(lcd, width, height, pixels.data()),
                      "");
            for (const bool builtin_reads : {false, true}) {
                IndexedImage image;
                BitImage bits;
                ASSERT_EQ(
                    (builtin_reads ? builtin::read_indexed_png : read_indexed_png)(tv, image) +
                        (builtin_reads ? builtin::read_bit_png : read_bit_png)(lcd, bits),
                    "");
                SCOPED_TRACE(std::to_string(width) + " wide, built-in writes " +
                             std::to_string(builtin_writes) + " reads " +
                             std::to_string(builtin_reads));
                EXPECT_EQ(std::pair(image.width, image.height), std::pair(width, height));
                EXPECT_EQ(image.pixels, pixels);
                EXPECT_EQ(Bytes(&image.palette[0][0], &image.palette[0][0] + 768), colours);
                for (size_t i = 0; i < pixels.size(); ++i)
                    ASSERT_EQ(bits.pixels[i], pixels[i] != 0 ? 1 : 0) << "pixel " << i;
            }
        }
    }
    fs::remove(tv);
    fs::remove(lcd);
}

TEST(BuiltinPng, UndoesEveryRowFilterBitDepthAndBlockKind)
{
    for (const int depth : {1, 2, 4, 8}) {
        Bytes pixels = pseudo_random_bytes(41 * 20, depth, 1u << depth);
        std::fill_n(pixels.begin() + 41 * 10, 41 * 2, 1);
        for (const char* kind : {"stored", "fixed", "runs", "dynamic"}) {
            const std::string name = "filters-" + std::to_string(depth) + "-bit-" + kind + ".png";
            screentext::IndexedImage image;
            ASSERT_EQ(screentext::builtin::read_indexed_png(kSamples + name, image), "");
            EXPECT_EQ(image.pixels, pixels) << name;
            EXPECT_EQ(image.palette[15][0], 7);
            EXPECT_EQ(image.palette[16][0], 0) << "entries past the file's palette are black";
        }
    }
}

TEST(BuiltinPng, RefusesDamagedFilesSayingWhy)
{
    int refused = 0;
    for (const auto& file : fs::directory_iterator(kSamples + "refused")) {
        std::string reason = file.path().stem().string();
        std::replace(reason.begin(), reason.end(), '-', ' ');
        screentext::IndexedImage image;
        const std::string error = screentext::builtin::read_indexed_png(file.path(), image);
        EXPECT_EQ(error.rfind(file.path().string() + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
        EXPECT_TRUE(image.pixels.empty()) << error;
        refused += 1;
    }
    EXPECT_EQ(refused, 17);
}

TEST(ScreenReader, ReadsEveryCharacterAtBothAdvancesInAnyTwoColours)
{
    // Every character but the spare cells 2 and 60, in two lines of 47 cells; at advance 9 each
    // cell covers the last column of the one before.
    std::string expected;
    for (int k = 0; k < kFontCells; ++k)
        if (k != 2 && k != 60)
            expected += font_chars[k];
    const std::array<std::array<unsigned char, 2>, 3> colours{{{5, 1}, {1, 12}, {13, 6}}};
    for (int advance : {10, 9}) {
        for (const auto& [ink, paper] : colours) {
            TestScreen screen;
            for (size_t i = 0; i < expected.size(); ++i)
                draw_cell(font_cell_of(expected[i]), 5 + int(i % 47) * advance,
                          40 + int(i / 47) * 30, ink, paper);
            EXPECT_EQ(screen.text(5, 40, 47, advance) + screen.text(5, 70, 47, advance), expected)
                << "advance " << advance << ", ink " << int(ink) << " on " << int(paper);
        }
    }
}

TEST(ScreenReader, SpareCellsStrangePixelsAndCellsOffTheScreenReadAsQuestionMarks)
{
    TestScreen screen;
    draw_cell(2, 10, 10, 5, 1); // the spare cells never match
    draw_cell(60, 20, 10, 5, 1);
    draw_cell(33, 30, 10, 5, 1); // "A" with a third colour inside
    FBPaintPixel(35, 20, 7);
    draw_cell(34, 40, 10, 5, 5);   // "B" all one colour: a space
    draw_cell(33, 710, 558, 5, 1); // "A" in the bottom right corner
    // {x, y, length, advance, expected}
    const struct {
        int x, y, length, advance;
        const char* expected;
    } rows[] = {{10, 10, 4, 10, "??? "}, {710, 558, 1, 10, "A"}, {711, 558, 1, 10, "?"},
                {710, 559, 1, 10, "?"},  {711, 100, 2, 9, " ?"}, {-1, 10, 1, 10, "?"},
                {10, -1, 1, 10, "?"},    {10, 10, 0, 10, ""},    {10, 10, -3, 10, ""}};
    for (const auto& r : rows)
        EXPECT_EQ(screen.text(r.x, r.y, r.length, r.advance), r.expected)
            << r.x << "," << r.y << " length " << r.length << " advance " << r.advance;
}

TEST(ScreentextTool, PrintsTheTextOfAScreenshotAndRefusesBadArguments)
{
    const std::string shot = testing::TempDir() + "screentext_tool.png";
    {
        TestScreen screen;
        for (int i = 0; i < 5; ++i)
            draw_cell(font_cell_of(static_cast<unsigned char>("Hi 42"[i])), 100 + 9 * i, 50, 5, 1);
        ASSERT_EQ(screentext::write_indexed_png(shot, 720, 576, &screen.file().pixels[0][0],
                                                screen.file().palette),
                  "");
    }
    // "arguments", then "exit status, output"
    const char* const rows[][2] = {
        {" 100 50 5 9", "0 Hi 42\n"}, {" 100 50 5", "0 H????\n"}, {" 100 50", "2 "},
        {" 100 50 5 9 1", "2 "},      {" 1x0 50 5", "2 "},        {" 100 50 -1", "2 "},
        {" 100 50 5 0", "2 "},        {".missing 100 50 5", "2 "}};
    for (const auto& [arguments, expected] : rows) {
        const std::string command = VITREL_BINARY_DIR "/screentext " + shot + arguments;
        FILE* tool = popen((command + " 2>/dev/null").c_str(), "r");
        char output[64] = {};
        const size_t got = std::fread(output, 1, sizeof output - 1, tool);
        const int status = pclose(tool);
        EXPECT_EQ(std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + " " +
                      std::string(output, got),
                  expected)
            << command;
    }
    fs::remove(shot);
}
