// Tests of PNG screenshots: indexed and 1-bit round trips, refusals, golden comparison, and the
// screentext tool on a written screenshot.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/font.h"
#include "host/gx9.h"
#include "sim/screentext/core/png_io.h"
#include "tests/support/test_screen.h"

using testsupport::TestScreen;
namespace fs = std::filesystem;

namespace {

// A directory of its own for one test, removed afterwards.
struct TempDir {
    fs::path path;
    TempDir()
    {
        char pattern[] = "/tmp/gx9-png-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string file(const std::string& name) const { return (path / name).string(); }
};

std::vector<uint8_t> pseudo_random_bytes(size_t count, uint32_t seed)
{
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(seed >> 24);
    }
    return bytes;
}

// Runs a command, returns its exit status and standard output.
std::pair<int, std::string> run(const std::string& command)
{
    std::string output;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr)
        return {-1, output};
    char chunk[256];
    while (size_t got = fread(chunk, 1, sizeof(chunk), pipe))
        output.append(chunk, got);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

} // namespace

TEST(PngFiles, IndexedImageRoundTripsWithItsPalette)
{
    TempDir dir;
    const int width = 37, height = 11; // odd sizes: no row padding assumptions
    const std::vector<uint8_t> pixels = pseudo_random_bytes(width * height, 1);
    const std::vector<uint8_t> colours = pseudo_random_bytes(256 * 3, 2);
    const auto* palette = reinterpret_cast<const uint8_t(*)[3]>(colours.data());
    ASSERT_EQ(
        screentext::write_indexed_png(dir.file("a.png"), width, height, pixels.data(), palette),
        "");
    screentext::IndexedImage image;
    ASSERT_EQ(screentext::read_indexed_png(dir.file("a.png"), image), "");
    EXPECT_EQ(image.width, width);
    EXPECT_EQ(image.height, height);
    EXPECT_EQ(image.pixels, pixels);
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c)
            ASSERT_EQ(image.palette[i][c], palette[i][c]) << "entry " << i;
}

TEST(PngFiles, BitImageRoundTripsLitAsOne)
{
    TempDir dir;
    const int width = 120, height = 64;
    std::vector<uint8_t> lit = pseudo_random_bytes(width * height, 3);
    ASSERT_EQ(screentext::write_bit_png(dir.file("lcd.png"), width, height, lit.data()), "");
    screentext::BitImage image;
    ASSERT_EQ(screentext::read_bit_png(dir.file("lcd.png"), image), "");
    ASSERT_EQ(image.width, width);
    ASSERT_EQ(image.height, height);
    for (size_t i = 0; i < lit.size(); ++i)
        ASSERT_EQ(image.pixels[i], lit[i] != 0 ? 1 : 0) << "pixel " << i;
    // Odd widths (rows not a whole number of bytes) survive too.
    ASSERT_EQ(screentext::write_bit_png(dir.file("odd.png"), 13, 3, lit.data()), "");
    ASSERT_EQ(screentext::read_bit_png(dir.file("odd.png"), image), "");
    for (size_t i = 0; i < 13 * 3; ++i)
        ASSERT_EQ(image.pixels[i], lit[i] != 0 ? 1 : 0) << "pixel " << i;
}

TEST(PngFiles, RefusalsNameTheFileAndTheReason)
{
    TempDir dir;
    const uint8_t one = 1;
    screentext::IndexedImage indexed;
    screentext::BitImage bits;
    ASSERT_EQ(screentext::write_bit_png(dir.file("bits.png"), 1, 1, &one), "");
    std::ofstream(dir.file("text.png")) << "not a png at all";
    {
        // A real indexed PNG cut in the middle of its data.
        std::vector<uint8_t> pixels = pseudo_random_bytes(64 * 64, 4);
        std::vector<uint8_t> colours(256 * 3);
        const auto* palette = reinterpret_cast<const uint8_t(*)[3]>(colours.data());
        ASSERT_EQ(
            screentext::write_indexed_png(dir.file("full.png"), 64, 64, pixels.data(), palette),
            "");
        fs::copy_file(dir.file("full.png"), dir.file("cut.png"));
        fs::resize_file(dir.file("cut.png"), fs::file_size(dir.file("full.png")) / 2);
    }
    // {what, error text it must contain}
    const std::pair<std::string, std::string> rows[] = {
        {screentext::read_indexed_png(dir.file("missing.png"), indexed),
         "missing.png: No such file"},
        {screentext::read_indexed_png(dir.file("bits.png"), indexed), "not an indexed PNG"},
        {screentext::read_bit_png(dir.file("full.png"), bits), "not a 1-bit grey PNG"},
        {screentext::read_indexed_png(dir.file("text.png"), indexed), "text.png: "},
        {screentext::read_indexed_png(dir.file("cut.png"), indexed), "cut.png: "},
        {screentext::write_indexed_png(dir.file("none.png"), 0, 5, &one, nullptr), "none.png: "},
        {screentext::write_bit_png(dir.file("no/dir.png"), 1, 1, &one), "no/dir.png: No such file"},
    };
    for (const auto& [error, expected] : rows)
        EXPECT_NE(error.find(expected), std::string::npos) << "got \"" << error << "\"";
}

TEST(Goldens, MismatchReportsDifferencesAndWritesTheActualScreen)
{
    TestScreen screen;
    const std::string name = "gx9_mismatch_probe";
    const fs::path golden = fs::path(VITREL_SOURCE_DIR) / "tests/golden" / (name + ".png");
    const fs::path actual = golden.string() + ".new";
    fs::remove(actual);
    if (std::getenv("VITREL_UPDATE_GOLDEN") != nullptr)
        GTEST_SKIP() << "golden images are being rewritten";
    // The probe's golden image is all index 0 with a single pixel of 9 at (3, 2).
    FBPaintPixel(3, 2, 9);
    ASSERT_TRUE(screen.matches_golden(name));
    FBPaintPixel(3, 2, 0);
    FBFillRect(10, 20, 2, 1, 4);
    const ::testing::AssertionResult result = screen.matches_golden(name);
    ASSERT_FALSE(result);
    const std::string message = result.message();
    EXPECT_NE(message.find("3 pixels differ"), std::string::npos) << message;
    EXPECT_NE(message.find("(3, 2) expected 9 got 0"), std::string::npos) << message;
    EXPECT_NE(message.find("(10, 20) expected 0 got 4"), std::string::npos) << message;
    screentext::IndexedImage written;
    ASSERT_EQ(screentext::read_indexed_png(actual.string(), written), "");
    EXPECT_EQ(written.pixels[20 * 720 + 11], 4);
    EXPECT_EQ(written.palette[10][1], 105); // carries the screen's palette
    fs::remove(actual);
}

TEST(Goldens, PrimitivesScene)
{
    TestScreen screen;
    FBFillRect(30, 25, 680, 504, 1);
    FBDrawRect(40, 25, 424, 424, 9);
    for (int i = 0; i < 8; ++i)
        FBFillRect(41 + 53 * i, 26 + 53 * ((i * 3) % 8), 52, 52, i % 2 ? 10 : 6);
    FBDrawLine(470, 25, 689, 253, 5);
    FBDrawLine(689, 25, 470, 253, 13);
    FBDrawLine(470, 300, 690, 310, 2);
    FBDrawLine(600, 281, 590, 448, 3);
    EXPECT_TRUE(screen.matches_golden("gx9_primitives"));
}

TEST(ScreentextTool, PrintsTextOfAScreenshotAndRefusesBadArguments)
{
    TempDir dir;
    const std::string shot = dir.file("shot.png");
    {
        TestScreen screen;
        const char text[] = "Hi 42";
        for (int i = 0; text[i] != '\0'; ++i) {
            unsigned char block[kGlyphBytes];
            const int k = font_cell_of(static_cast<unsigned char>(text[i]));
            for (int p = 0; p < kGlyphBytes; ++p)
                block[p] = font_pixels[k * kGlyphBytes + p] == kGlyphInk ? 5 : 1;
            FBCopyImage(100 + 9 * i, 50, kGlyphWidth, kGlyphHeight, block);
        }
        ASSERT_EQ(screentext::write_indexed_png(shot, 720, 576, &screen.file().pixels[0][0],
                                                screen.file().palette),
                  "");
    }
    const std::string tool = std::string(VITREL_BINARY_DIR) + "/screentext";
    ASSERT_TRUE(fs::exists(tool)) << tool << " is missing: build the screentext target";
    // {arguments, exit status, output}
    const struct {
        std::string arguments;
        int status;
        std::string output;
    } rows[] = {
        {shot + " 100 50 5 9", 0, "Hi 42\n"},
        {shot + " 100 50 6 9", 0, "Hi 42?\n"}, // the next cell holds the 2's last column
        {shot + " 100 50 5", 0, "H????\n"},
        {shot + " 715 50 2", 0, "??\n"},
        {shot + " 100 50 0", 0, "\n"},
        {shot + " 100 50", 2, ""},
        {shot + " 100 50 5 9 1", 2, ""},
        {shot + " 1x0 50 5", 2, ""},
        {shot + " 100 50 -1", 2, ""},
        {shot + " 100 50 5 0", 2, ""},
        {dir.file("missing.png") + " 100 50 5", 2, ""},
    };
    for (const auto& row : rows) {
        const auto [status, output] = run(tool + " " + row.arguments);
        EXPECT_EQ(status, row.status) << row.arguments;
        EXPECT_EQ(output, row.output) << row.arguments;
    }
}
