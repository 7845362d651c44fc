// Promotion picker: the promotion test on both boards, the picker's box, pieces and pointer on
// pixels, and its keys through the stand-in remote.
#include "board/promotion.h"

#include <cstring>
#include <string>
#include <vector>

#include "dialog_test_util.h"

namespace {

using dialogtest::tap_all;
using testsupport::TestRemote;
using testsupport::TestScreen;

// A board in file order (files a..h, ranks 1..8) with one piece on it, stored as the line
// interpreter stores it: turned half a turn while the user plays Black.
std::string board_with(char piece, const char* square, int color)
{
    std::string files(kSquares, ' ');
    files[static_cast<size_t>((square[0] - 'a') * 8 + (square[1] - '1'))] = piece;
    if (color != 0)
        return files;
    return std::string(files.rbegin(), files.rend());
}

TEST(PromotionTest, RecognisesAPawnReachingTheLastRankOnEitherBoard)
{
    // Columns: piece, its square, my_color, move text, expected result.
    struct Row {
        char piece;
        const char* square;
        int color;
        const char* move;
        int expected;
    };
    const Row rows[] = {
        {'P', "e7", 1, "e7e8", 1}, {'R', "e7", 1, "e7e8", 0}, {'p', "e2", 0, "e2e1", 1},
        {'p', "e2", 1, "e2e1", 1}, // the colour and direction are not checked
        {'P', "a7", 0, "a7b8", 1}, {'P', "h2", 1, "h2h1", 1}, {'P', "e4", 1, "e4e5", 0},
        {'p', "d5", 0, "d5d4", 0}, {'P', "e7", 1, "e6e8", 0}, // no pawn on the from-square
        {'P', "e7", 1, "e7e9", 0}, {'P', "e7", 1, "i7e8", 0}, // off the board: not read
        {'P', "e7", 1, "e0e8", 0}, {'P', "e7", 1, "e7", 0},   {'P', "e7", 1, "", 0},
    };
    for (const Row& row : rows) {
        my_color = row.color;
        const std::string board = board_with(row.piece, row.square, row.color);
        EXPECT_EQ(pawn_is_promoting(row.move, board.c_str()), row.expected)
            << row.piece << " on " << row.square << " colour " << row.color << " move " << row.move;
    }
}

// The tip of the pointer for selection s and the far ends of its two long lines.
void expect_pointer(const TestScreen& screen, int s, unsigned char color)
{
    const int dy = 50 * s;
    EXPECT_EQ(screen.pixel(192, 149 + dy), color) << "tip, s " << s;
    EXPECT_EQ(screen.pixel(600, 139 + dy), color) << "upper end, s " << s;
    EXPECT_EQ(screen.pixel(600, 159 + dy), color) << "lower end, s " << s;
    EXPECT_EQ(screen.pixel(242, 139 + dy), color) << "short line start, s " << s;
    EXPECT_EQ(screen.pixel(396, 144 + dy), color) << "upper line middle, s " << s;
}

// Blue fill pixels of the picker piece at row i (queen, rook, knight, bishop).
int piece_fill(const TestScreen& screen, int i)
{
    return screen.count(140, 120 + 50 * i, 45, 50, kPickerFill);
}

TEST(PromotionTest, DrawsBoxPiecesAndThePointerForEachSelection)
{
    for (int s = -1; s <= 3; ++s) {
        TestScreen screen;
        screen.fill(6);
        display_promotions(s);
        EXPECT_EQ(screen.pixel(112, 115), 1);
        EXPECT_EQ(screen.pixel(341, 329), 1);
        EXPECT_EQ(screen.pixel(111, 115), 6);
        EXPECT_EQ(screen.pixel(112, 114), 6);
        for (int i = 0; i < 4; ++i)
            EXPECT_GT(piece_fill(screen, i), 100) << "piece " << i << ", s " << s;
        EXPECT_EQ(screen.count(0, 0, 720, 576, kPickerFill),
                  piece_fill(screen, 0) + piece_fill(screen, 1) + piece_fill(screen, 2) +
                      piece_fill(screen, 3));
        expect_pointer(screen, s, kPickerPointer);
        for (int other = -1; other <= 3; ++other) {
            if (other != s) {
                EXPECT_NE(screen.pixel(600, 139 + 50 * other), kPickerPointer) << other;
            }
        }
    }
}

class PromotionPicker : public ::testing::Test {
  protected:
    void SetUp() override
    {
        tv_tv_usec = dialogtest::kFastPollUsec;
        screen.fill(6);
    }
    TestScreen screen;
    TestRemote remote;
};

TEST_F(PromotionPicker, ChoosesWithUpAndDownStoppingAtEitherEnd)
{
    // Columns: keys tapped, the letter returned.
    struct Row {
        std::vector<int> keys;
        char expected;
    };
    const Row rows[] = {
        {{kKeyDown, kKeyOk}, 'q'},
        {{kKeyUp, kKeyOk}, 'q'},
        {{kKeyDown, kKeyDown, kKeyOk}, 'r'},
        {{kKeyDown, kKeyDown, kKeyDown, kKeyOk}, 'n'},
        {{kKeyDown, kKeyDown, kKeyDown, kKeyDown, kKeyDown, kKeyOk}, 'b'},
        {{kKeyDown, kKeyDown, kKeyDown, kKeyDown, kKeyDown, kKeyUp, kKeyOk}, 'n'},
        {{kKeyDown, kKeyUp, kKeyUp, kKeyOk}, 'q'},
        {{kKeyLeft, kKeyRight, 5, kKeyYellow, kKeyDown, 2, kKeyDown, kKeyOk}, 'r'},
    };
    for (const Row& row : rows) {
        for (int key : row.keys)
            remote.tap(key);
        EXPECT_EQ(pitaj_koja_figura(), row.expected) << ::testing::PrintToString(row.keys);
        EXPECT_TRUE(screen.all(kPickerX, kPickerY, kPickerWidth, kPickerHeight, 1));
    }
}

TEST_F(PromotionPicker, OkBeforeAnyChoiceBlanksTheBoxAndKeepsWaiting)
{
    remote.tap(kKeyOk);
    remote.restart();
    EXPECT_EQ(pitaj_koja_figura(), kNoPromotion);
    EXPECT_TRUE(screen.all(kPickerX, kPickerY, kPickerWidth, kPickerHeight, 1))
        << screen.dump(kPickerX, kPickerY, 60, 60);

    doexit = 0;
    tap_all(remote, {kKeyOk, kKeyDown});
    remote.restart();
    EXPECT_EQ(pitaj_koja_figura(), 'q');
    EXPECT_GT(piece_fill(screen, 0), 100);
    expect_pointer(screen, 0, kPickerPointer);
}

TEST_F(PromotionPicker, AHeldKeyRepeatingItsPressMovesThePointerOnce)
{
    char letter;
    {
        dialogtest::HeldKey held(remote, kKeyDown, 4, {kKeyOk});
        letter = pitaj_koja_figura();
        EXPECT_TRUE(held.drained());
    }
    EXPECT_EQ(letter, 'q');
}

TEST_F(PromotionPicker, LeavingBeforeAChoiceReturnsNoLetter)
{
    remote.restart();
    EXPECT_EQ(pitaj_koja_figura(), kNoPromotion);

    doexit = 0;
    remote.press(gx9::kCodeExit);
    EXPECT_EQ(pitaj_koja_figura(), kNoPromotion);
    EXPECT_EQ(doexit, 3);
}

TEST_F(PromotionPicker, LeavingAfterAChoiceReturnsThatLetter)
{
    tap_all(remote, {kKeyDown, kKeyDown, kKeyDown});
    remote.press(kKeyUp); // still held when the box asks the plugin to start over
    remote.restart();
    EXPECT_EQ(pitaj_koja_figura(), 'r');
}

} // namespace
