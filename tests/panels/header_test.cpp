// Tests of the header: the olive bars and the centring of names and ratings in their halves,
// measured with the host library's own FBDrawString.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "host/gx9.h"
#include "ics/game_state.h"
#include "panels/header.h"
#include "tests/support/test_screen.h"

namespace {

using testsupport::TestScreen;

constexpr int kWhiteHalf = 470;
constexpr int kBlackHalf = 580;

struct Extent {
    int left = -1; // first column holding the colour, -1 when none does
};

Extent leftmost(const TestScreen& screen, int x0, int x1, int y0, int y1, unsigned char color)
{
    for (int x = x0; x < x1; ++x)
        if (screen.count(x, y0, 1, y1 - y0, color) > 0)
            return {x};
    return {};
}

// Where a text's first glyph column falls when FBDrawString draws it at x 0, and its width.
struct Measure {
    int width;
    int first_ink;
};

Measure measure(TestScreen& screen, const std::string& text, int height)
{
    screen.fill(0);
    const int width = FBDrawString(0, 300, height, text.c_str(), 2, 1);
    const Extent ink = leftmost(screen, 0, kScreenWidth, 300, 300 + height, 2);
    screen.fill(0);
    return {width, ink.left};
}

int expected_left(int half, const Measure& m)
{
    const int offset = (110 - m.width) / 2;
    return half + (offset < 0 ? 0 : offset) + m.first_ink;
}

void set_field(char* field, size_t size, const std::string& text)
{
    memset(field, 0, size);
    memcpy(field, text.data(), text.size() < size ? text.size() : size);
}

TEST(HeaderCentring, OffsetTruncatesTowardZeroAndNeverGoesNegative)
{
    struct Row {
        int width, offset;
    };
    const Row rows[] = {{0, 55},  {100, 5}, {101, 4}, {109, 0},
                        {110, 0}, {111, 0}, {113, 0}, {400, 0}};
    for (const Row& row : rows)
        EXPECT_EQ(centred_offset(row.width), row.offset) << row.width;
}

TEST(Header, BarsCoverTheColumnAboveTheClocks)
{
    TestScreen screen;
    init();
    display_naslov();
    const int area = 220 * 70;
    EXPECT_EQ(screen.count(kWhiteHalf, 25, 220, 70, 9) + screen.count(kWhiteHalf, 25, 220, 70, 2) +
                  screen.count(kWhiteHalf, 25, 220, 70, 1),
              area);
    EXPECT_GT(screen.count(kWhiteHalf, 25, 220, 70, 9), area / 2);
    EXPECT_TRUE(screen.all(kWhiteHalf, 95, 220, 1, 0)) << "drew below the rating bar";
    EXPECT_TRUE(screen.all(kWhiteHalf, 24, 220, 1, 0)) << "drew above the name bar";
    EXPECT_TRUE(screen.all(kWhiteHalf - 1, 25, 1, 70, 0)) << "drew left of the column";
}

TEST(Header, NamesAndRatingsStartAtTheirCentredPositions)
{
    struct Row {
        std::string white_name, black_name, white_rating, black_rating;
        bool wider_than_half;
    };
    const Row rows[] = {
        // The names init gives are 112 and 111 pixels wide at height 40: offsets -1 and 0, both 0.
        {"WHITE", "BLACK", "", "", true},
        {"Al", "Bo", "1500", "2210", false},
        {"Rex", "----", "(UNR)", "----", false},
        // Wider than a half: drawn from the half's left edge.
        {"Maximilianus_Longus", "Bartholomew_Longer", "1234567890", "++++", true},
    };
    for (const Row& row : rows) {
        TestScreen screen;
        init();
        const Measure white_name = measure(screen, row.white_name, 40);
        const Measure black_name = measure(screen, row.black_name, 40);
        const Measure white_rating = measure(screen, row.white_rating, 30);
        const Measure black_rating = measure(screen, row.black_rating, 30);
        set_field(WhiteName, sizeof WhiteName, row.white_name);
        set_field(BlackName, sizeof BlackName, row.black_name);
        set_field(WhiteRating, sizeof WhiteRating, row.white_rating);
        set_field(BlackRating, sizeof BlackRating, row.black_rating);

        display_naslov();
        const std::string names = row.white_name + " / " + row.black_name;
        // The name rows stop where the rating bar starts (y 63).
        EXPECT_EQ(leftmost(screen, kWhiteHalf, kScreenWidth, 28, 63, 2).left,
                  expected_left(kWhiteHalf, white_name))
            << names;
        EXPECT_EQ(leftmost(screen, kBlackHalf, kScreenWidth, 28, 63, 1).left,
                  expected_left(kBlackHalf, black_name))
            << names;
        EXPECT_EQ(leftmost(screen, kWhiteHalf, kScreenWidth, 63, 93, 2).left,
                  row.white_rating.empty() ? -1 : expected_left(kWhiteHalf, white_rating))
            << names;
        EXPECT_EQ(leftmost(screen, kBlackHalf, kScreenWidth, 63, 93, 1).left,
                  row.black_rating.empty() ? -1 : expected_left(kBlackHalf, black_rating))
            << names;
        EXPECT_EQ(white_name.width > 110 && black_name.width > 110, row.wider_than_half) << names;
    }
}

// Game-state fields filled to the last byte are drawn whole and not read past.
TEST(Header, FieldsWithoutTerminatorAreReadWithinTheirSize)
{
    TestScreen screen;
    init();
    const std::string full_name(kNameBytes, 'i');
    const Measure white_name = measure(screen, full_name, 40);
    memset(WhiteName, 'i', sizeof WhiteName);
    memset(WhiteRating, '9', sizeof WhiteRating);
    display_naslov();
    EXPECT_EQ(leftmost(screen, kWhiteHalf, kScreenWidth, 28, 63, 2).left,
              expected_left(kWhiteHalf, white_name));
}

} // namespace
