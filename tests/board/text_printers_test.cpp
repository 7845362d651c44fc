// The bitmap-text printers read back from the stand-in framebuffer: what each text draws and
// where the pen ends, for both advances. Colours, the narrow printer's overlap and most of the
// character set are seen in the golden images of the board and of the telnet window.
#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "board/text.h"
#include "tests/support/test_screen.h"

// Bytes outside the font's set are left out without a gap, whatever the signedness of char; a
// text is cut after 120 bytes, skipped ones included.
TEST(TextPrinters, DrawTheCharactersOfTheSetAndLeaveTheRestOut)
{
    // Columns: text, what it reads, characters drawn.
    const struct {
        std::string text, reads;
        int drawn;
    } rows[] = {
        {"", "", 0},
        {"A B", "A B", 3},
        {"A\"B\\C", "ABC", 3},
        {"\tA\rB\n\x01\x1f", "AB", 2},
        {"A\x80\xff\xc3\xa9Z", "AZ", 2},
        {std::string(130, 'x'), std::string(60, 'x'), 120},
        {std::string(100, '"') + std::string(30, 'M'), std::string(20, 'M'), 20},
    };
    const std::pair<void (*)(int, int, const char*, unsigned char, unsigned char), int> printers[] =
        {{zefor_print_string, 10}, {zefor_print9_string, 9}};
    for (const auto& [print, advance] : printers)
        for (const auto& row : rows) {
            SCOPED_TRACE(testing::Message() << "advance " << advance << ", \"" << row.text << "\"");
            testsupport::TestScreen screen;
            const uint32_t calls = screen.draw_calls();
            print(0, 200, row.text.c_str(), 2, 3);
            EXPECT_EQ(screen.draw_calls() - calls, static_cast<uint32_t>(row.drawn));
            EXPECT_EQ(screen.text(0, 200, static_cast<int>(row.reads.size()), advance), row.reads);
            // The pen: the last cell ends a whole 10-pixel cell after the last advance.
            const int end = std::min(720, row.drawn ? (row.drawn - 1) * advance + 10 : 0);
            EXPECT_EQ(screen.count(0, 200, 720, 18, 0), (720 - end) * 18);
            EXPECT_EQ(screen.count(0, 200, end, 18, 3) > 0, row.drawn > 0);
        }
}
