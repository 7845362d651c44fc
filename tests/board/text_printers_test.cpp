// Tests of the bitmap-text printers, read back from the stand-in framebuffer.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "board/font.h"
#include "board/text.h"
#include "host/gx9.h"
#include "tests/support/test_screen.h"

namespace {

using testsupport::TestScreen;

constexpr unsigned char kInk = 2;
constexpr unsigned char kPaper = 3;
constexpr int kX = 100;
constexpr int kY = 200;

using Printer = void (*)(int, int, const char*, unsigned char, unsigned char);

struct PrinterCase {
    const char* name;
    Printer print;
    int advance;
};
const PrinterCase kPrinters[] = {
    {"zefor_print_string", zefor_print_string, 10},
    {"zefor_print9_string", zefor_print9_string, 9},
};

// Every column of a drawn text: the first untouched column (still 0) to the right of x.
int first_untouched_column(const TestScreen& screen, int x, int y)
{
    while (x < kScreenWidth && !screen.all(x, y, 1, kGlyphHeight, 0))
        ++x;
    return x;
}

TEST(TextPrinters, EmptyAndNullTextsDrawNothing)
{
    TestScreen screen;
    for (const PrinterCase& printer : kPrinters) {
        const auto calls = screen.draw_calls();
        printer.print(kX, kY, "", kInk, kPaper);
        printer.print(kX, kY, nullptr, kInk, kPaper);
        EXPECT_EQ(screen.draw_calls(), calls) << printer.name;
    }
    EXPECT_EQ(screen.count(0, 0, kScreenWidth, kScreenHeight, 0), kScreenWidth * kScreenHeight);
}

TEST(TextPrinters, LetterSpaceLetterDrawsThreeCellsWithABlankMiddle)
{
    for (const PrinterCase& printer : kPrinters) {
        TestScreen screen;
        printer.print(kX, kY, "A B", kInk, kPaper);
        EXPECT_EQ(screen.text(kX, kY, 3, printer.advance), "A B") << printer.name;
        // The middle cell shows only paper in the columns the last cell does not cover.
        EXPECT_TRUE(screen.all(kX + printer.advance, kY, printer.advance, kGlyphHeight, kPaper))
            << printer.name << "\n"
            << screen.dump(kX, kY, 3 * printer.advance + 1, kGlyphHeight);
        // The last cell is a whole 10-pixel cell: the pen ended 3 advances right of x.
        EXPECT_EQ(first_untouched_column(screen, kX, kY), kX + 2 * printer.advance + kGlyphWidth)
            << printer.name;
        EXPECT_TRUE(screen.all(kX, kY + kGlyphHeight, 40, 1, 0)) << "drew below its cells";
    }
}

// Bytes outside the font's set are left out without a gap, whatever the signedness of char.
TEST(TextPrinters, SkipsBytesOutsideTheSetWithoutAGap)
{
    struct Row {
        const char* text;
        const char* reads;
    };
    const Row rows[] = {
        {"A\"B", "AB"},
        {"A\\B", "AB"},
        {"\tA\rB\n", "AB"},
        {"A\x80\xff\xc3\xa9Z", "AZ"},
        {"\x01\x1f"
         "ok",
         "ok"},
    };
    for (const PrinterCase& printer : kPrinters)
        for (const Row& row : rows) {
            TestScreen screen;
            printer.print(kX, kY, row.text, kInk, kPaper);
            const int length = static_cast<int>(strlen(row.reads));
            EXPECT_EQ(screen.text(kX, kY, length, printer.advance), row.reads)
                << printer.name << " printing \"" << row.text << "\"";
            EXPECT_EQ(first_untouched_column(screen, kX, kY),
                      kX + (length - 1) * printer.advance + kGlyphWidth)
                << printer.name << " printing \"" << row.text << "\"";
        }
}

TEST(TextPrinters, CutsTheTextAfter120BytesCountingSkippedOnes)
{
    struct Row {
        std::string text;
        unsigned drawn;
    };
    const Row rows[] = {
        {std::string(130, 'x'), 120},
        {std::string(120, 'x'), 120},
        // 100 quotes then 30 letters: only the 20 letters within the first 120 bytes are drawn.
        {std::string(100, '"') + std::string(30, 'M'), 20},
    };
    for (const PrinterCase& printer : kPrinters)
        for (const Row& row : rows) {
            TestScreen screen;
            const auto calls = screen.draw_calls();
            printer.print(0, kY, row.text.c_str(), kInk, kPaper);
            EXPECT_EQ(screen.draw_calls() - calls, row.drawn) << printer.name;
        }
    TestScreen screen;
    zefor_print_string(0, kY, (std::string(100, '"') + std::string(30, 'M')).c_str(), kInk, kPaper);
    EXPECT_EQ(screen.text(0, kY, 21), std::string(20, 'M') + " ");
}

TEST(TextPrinters, EveryCharacterOfTheSetReadsBackAsItself)
{
    std::string set;
    for (int c = 32; c < 128; ++c)
        if (c != '"' && c != '\\')
            set += static_cast<char>(c);
    for (const PrinterCase& printer : kPrinters)
        for (size_t start = 0; start < set.size(); start += 40) {
            const std::string chunk = set.substr(start, 40);
            TestScreen screen;
            printer.print(10, kY, chunk.c_str(), kInk, kPaper);
            EXPECT_EQ(screen.text(10, kY, static_cast<int>(chunk.size()), printer.advance), chunk)
                << printer.name;
        }
}

TEST(TextPrinters, GlyphPixelsTakeTheInkAndTheRestThePaper)
{
    TestScreen screen;
    zefor_print_string(kX, kY, "\x7f", 13, 6);
    const int cell = font_cell_of(0x7f);
    ASSERT_EQ(cell, 95);
    for (int row = 0; row < kGlyphHeight; ++row)
        for (int column = 0; column < kGlyphWidth; ++column) {
            const bool ink =
                font_pixels[cell * kGlyphBytes + row * kGlyphWidth + column] == kGlyphInk;
            ASSERT_EQ(screen.pixel(kX + column, kY + row), ink ? 13 : 6)
                << "row " << row << " column " << column << "\n"
                << screen.dump(kX, kY, kGlyphWidth, kGlyphHeight);
        }
    EXPECT_EQ(screen.count(kX, kY, kGlyphWidth, kGlyphHeight, 13) +
                  screen.count(kX, kY, kGlyphWidth, kGlyphHeight, 6),
              kGlyphBytes);
}

// The at sign is the one glyph in column 9; the narrow printer's next cell paints over it.
TEST(TextPrinters, NarrowPrinterAtSignLosesItsRightColumnToTheNextCell)
{
    TestScreen screen;
    zefor_print_string(kX, kY, "@A", kInk, kPaper);
    EXPECT_GT(screen.count(kX + 9, kY, 1, kGlyphHeight, kInk), 0);

    zefor_print9_string(kX, kY + 40, "@A", kInk, kPaper);
    EXPECT_EQ(screen.count(kX + 9, kY + 40, 1, kGlyphHeight, kInk), 0)
        << screen.dump(kX, kY + 40, 20, kGlyphHeight);
    EXPECT_EQ(screen.text(kX, kY + 40, 2, 9), "@A");

    zefor_print9_string(kX, kY + 80, "A@", kInk, kPaper); // the last cell keeps it
    EXPECT_GT(screen.count(kX + 9 + 9, kY + 80, 1, kGlyphHeight, kInk), 0);
}

} // namespace
