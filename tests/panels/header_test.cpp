// The header: the olive bars, and names and ratings centred in their halves, placed by the
// widths the host library's own FBDrawString returns.
#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "host/gx9.h"
#include "ics/game_state.h"
#include "panels/header.h"
#include "tests/support/test_screen.h"

namespace {

using Corner = std::pair<int, int>; // the first column and the first row holding the colour

Corner first_ink(const testsupport::TestScreen& screen, int x0, int y0, int y1, uint8_t colour)
{
    Corner corner{720, -1};
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < 720; ++x)
            if (screen.pixel(x, y) == colour) {
                corner.first = std::min(corner.first, x);
                corner.second = corner.second < 0 ? y : corner.second;
            }
    return corner;
}

} // namespace

// Offsets into a half truncate toward zero and are never negative: names wider than a half start
// at its left edge. Fields filled to their last byte are drawn whole and not read past.
TEST(Header, NamesAndRatingsStartAtTheirCentredPositions)
{
    const std::string rows[][4] = {
        {"WHITE", "BLACK", "", ""}, // 112 and 111 pixels wide at height 40: offsets -1 and 0
        {"Al", "Bo", "1500", "2210"},
        {"Rex", "----", "(UNR)", "----"},
        {"Maximilianus_Longus", "Bartholomew_Longer", "1234567890", "++++"},
        {std::string(kNameBytes, 'i'), "x", std::string(kRatingBytes, '9'), "0"},
    };
    // Columns of a row: field, left of its half, top of its text, height, ink.
    const struct {
        char* field;
        size_t size;
        int x, y, height;
        uint8_t ink;
    } fields[] = {{WhiteName, sizeof WhiteName, 470, 28, 40, 2},
                  {BlackName, sizeof BlackName, 580, 28, 40, 1},
                  {WhiteRating, sizeof WhiteRating, 470, 63, 30, 2},
                  {BlackRating, sizeof BlackRating, 580, 63, 30, 1}};
    // The rows that show: the rating bar (from y 63) covers the bottom of the names.
    auto visible = [](int i) { return i < 2 ? 35 : 30; };
    for (const auto& row : rows) {
        testsupport::TestScreen screen;
        init();
        Corner expected[4];
        for (int i = 0; i < 4; ++i) { // where each text's ink starts, centred in its half
            const int width = FBDrawString(0, 0, fields[i].height, row[i].c_str(), 2, 1);
            const Corner ink = first_ink(screen, 0, 0, visible(i), 2);
            expected[i] = row[i].empty()
                              ? ink
                              : Corner{fields[i].x + std::max(0, (110 - width) / 2) + ink.first,
                                       fields[i].y + ink.second};
            screen.fill(0);
            memset(fields[i].field, 0, fields[i].size);
            memcpy(fields[i].field, row[i].data(), std::min(row[i].size(), fields[i].size));
        }
        display_naslov();
        // The olive bars cover the column above the clocks; nothing is drawn above, below or
        // left of them (a name may run past their right end).
        EXPECT_GT(screen.count(470, 25, 220, 70, 9), 220 * 70 / 2);
        EXPECT_EQ(screen.count(470, 25, 220, 70, 0), 0);
        EXPECT_EQ(screen.count(0, 0, 720, 576, 0),
                  720 * 576 - 250 * 70 + screen.count(690, 25, 30, 70, 0));
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(first_ink(screen, fields[i].x, fields[i].y, fields[i].y + visible(i),
                                fields[i].ink),
                      expected[i])
                << row[0] << " / " << row[1] << ", field " << i;
    }
}
