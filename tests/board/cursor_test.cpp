// Cursor and move markers on pixels: their shapes, the flags that silence the cursor, erasing by
// redrawing the square, and a mark and the cursor sharing one square.
#include <array>
#include <cstring>

#include <gtest/gtest.h>

#include "board/board.h"
#include "board/cursor.h"
#include "host/gx9.h"
#include "ics/game_state.h"
#include "tests/board/board_test_util.h"

using boardtest::Pixels;
using testsupport::TestScreen;

namespace {

class CursorAndMarkers : public ::testing::Test {
  protected:
    void SetUp() override
    {
        init();
        std::memcpy(board.data(), kStartPosition, sizeof kStartPosition);
        moving_enabled = 1;
        WeAreNotPlaying = 0;
        draw_chess_board(board.data(), 0, 0, 0, 0);
        plain = boardtest::snapshot(screen);
    }

    // Whether square (c, r) shows exactly what the plain board shows there.
    bool square_is_plain(int c, int r) const
    {
        const Pixels now = boardtest::snapshot(screen);
        for (int y = field_top(r); y < field_top(r) + FieldHeight; ++y)
            for (int x = field_left(c); x < field_left(c) + FieldWidth; ++x)
                if (now[boardtest::at(x, y)] != plain[boardtest::at(x, y)])
                    return false;
        return true;
    }
    int changed_pixels() const
    {
        return boardtest::count_changes(plain, boardtest::snapshot(screen));
    }
    std::string picture(int c, int r) const
    {
        return screen.dump(field_left(c), field_top(r), FieldWidth, FieldHeight);
    }

    TestScreen screen;
    std::array<char, kBoardBytes> board{};
    Pixels plain;
};

// The cursor's colour at (dx, dy) of its square: cores white, outlines blue, the rest untouched.
int cursor_colour_at(int dx, int dy)
{
    auto in = [&](int x0, int y0, int w, int h) {
        return dx >= x0 && dx < x0 + w && dy >= y0 && dy < y0 + h;
    };
    auto on_border = [&](int x0, int y0, int w, int h) {
        return in(x0, y0, w, h) && !in(x0 + 1, y0 + 1, w - 2, h - 2);
    };
    if (in(10, 23, 28, 2) || in(23, 10, 2, 28))
        return 2;
    if (on_border(9, 22, 30, 4) || on_border(22, 9, 4, 30))
        return 13;
    return -1;
}

} // namespace

TEST_F(CursorAndMarkers, CursorIsAWhitePlusOutlinedInBlue)
{
    draw_cursor(board.data(), 3, 3, 3, 3); // an empty square: only the cursor on the plain colour
    const int left = field_left(3), top = field_top(3);
    int wrong = 0;
    for (int dy = 0; dy < FieldHeight; ++dy) {
        for (int dx = 0; dx < FieldWidth; ++dx) {
            const int want = cursor_colour_at(dx, dy);
            const int got = screen.pixel(left + dx, top + dy);
            wrong += want < 0 ? got != DarkFieldColor : got != want;
        }
    }
    EXPECT_EQ(wrong, 0) << picture(3, 3);
    // The crossing is white: no outline runs through it.
    EXPECT_TRUE(screen.all(left + 22, top + 23, 4, 2, 2));
    EXPECT_TRUE(screen.all(left + 23, top + 22, 2, 4, 2));
}

// The old square is redrawn even when it is the new one; then the cursor goes on the new one.
TEST_F(CursorAndMarkers, MovingTheCursorErasesTheOldSquare)
{
    const uint32_t before_square = screen.draw_calls();
    draw_one_field(board.data(), 4, 2);
    const uint32_t one_square = screen.draw_calls() - before_square;
    const uint32_t before = screen.draw_calls();
    draw_cursor(board.data(), 4, 2, 4, 2);
    EXPECT_EQ(screen.draw_calls() - before, 2 * one_square + 4) << "the square twice, the cross";
    ASSERT_GT(screen.count(field_left(4), field_top(2), 48, 48, 13), 0);
    draw_cursor(board.data(), 4, 2, 5, 3);
    EXPECT_TRUE(square_is_plain(4, 2)) << picture(4, 2);
    EXPECT_GT(screen.count(field_left(5), field_top(3), 48, 48, 13), 0);
    EXPECT_EQ(screen.count(0, 0, 720, 576, 13),
              screen.count(field_left(5), field_top(3), 48, 48, 13));
}

TEST_F(CursorAndMarkers, CursorStaysAwayWhileTheUserMayNotMove)
{
    // Columns: moving_enabled, WeAreNotPlaying.
    const std::pair<int, int> rows[] = {{0, 0}, {0, 1}, {1, 1}};
    draw_cursor(board.data(), 4, 2, 4, 2);
    const Pixels with_cursor = boardtest::snapshot(screen);
    for (const auto& [moving, not_playing] : rows) {
        SCOPED_TRACE(testing::Message() << moving << ", " << not_playing);
        moving_enabled = moving;
        WeAreNotPlaying = not_playing;
        const uint32_t before = screen.draw_calls();
        draw_cursor(board.data(), 4, 2, 5, 5);
        EXPECT_EQ(screen.draw_calls(), before) << "no erasing and no drawing";
        EXPECT_EQ(boardtest::count_changes(with_cursor, boardtest::snapshot(screen)), 0);
    }
}

// A zero column or row means "no square"; values beyond the board are refused the same way.
TEST_F(CursorAndMarkers, CursorOffTheBoardOnlyErases)
{
    draw_cursor(board.data(), 4, 2, 4, 2);
    draw_cursor(board.data(), 4, 2, 0, 3);
    EXPECT_EQ(changed_pixels(), 0);
    draw_cursor(board.data(), 0, 0, 9, 1);
    draw_cursor(board.data(), -1, 4, 3, 0);
    EXPECT_EQ(changed_pixels(), 0);
}

TEST_F(CursorAndMarkers, MarkerIsATwoPixelFrameInsideTheSquare)
{
    draw_markers(board.data(), 2, 1, 0, 0);
    const int left = field_left(2), top = field_top(1);
    for (const int inset : {2, 3}) {
        const int side = 48 - 2 * inset;
        EXPECT_TRUE(screen.all(left + inset, top + inset, side, 1, 13)) << picture(2, 1);
        EXPECT_TRUE(screen.all(left + inset, top + 47 - inset, side, 1, 13));
        EXPECT_TRUE(screen.all(left + inset, top + inset, 1, side, 13));
        EXPECT_TRUE(screen.all(left + 47 - inset, top + inset, 1, side, 13));
    }
    EXPECT_EQ(screen.count(0, 0, 720, 576, 13), 4 * 43 + 4 * 41) << "one frame, nothing else";
}

TEST_F(CursorAndMarkers, MarkersDrawOnlyTheGivenPairs)
{
    // Columns: m1col, m1row, m2col, m2row, frames expected.
    struct Row {
        int m1c, m1r, m2c, m2r, frames;
    };
    const Row rows[] = {
        {0, 0, 0, 0, 0}, {5, 2, 0, 0, 1}, {5, 2, 5, 4, 2},
        {0, 2, 5, 4, 1}, {5, 0, 0, 4, 0}, {9, 2, 5, 9, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << row.m1c << "," << row.m1r << " " << row.m2c << "," << row.m2r);
        screen.fill(0);
        draw_markers(board.data(), row.m1c, row.m1r, row.m2c, row.m2r);
        EXPECT_EQ(screen.count(0, 0, 720, 576, 13), row.frames * (4 * 43 + 4 * 41));
    }
}

// The mark frame surrounds the cross without touching it, in either drawing order.
TEST_F(CursorAndMarkers, MarkAndCursorShareASquare)
{
    draw_cursor(board.data(), 5, 2, 5, 2);
    draw_markers(board.data(), 5, 2, 0, 0);
    const int left = field_left(5), top = field_top(2);
    EXPECT_EQ(screen.pixel(left + 24, top + 24), 2) << picture(5, 2);
    EXPECT_EQ(screen.pixel(left + 9, top + 23), 13);
    EXPECT_EQ(screen.pixel(left + 3, top + 23), 13);
    // Between frame (3) and bar (9) along the bar's axis: the square or the pawn, never blue.
    EXPECT_EQ(screen.count(left + 4, top + 22, 5, 4, 13), 0) << picture(5, 2);
    EXPECT_EQ(screen.count(left + 39, top + 22, 5, 4, 13), 0);
    EXPECT_EQ(screen.count(left + 22, top + 4, 4, 5, 13), 0);
    EXPECT_EQ(screen.count(left + 22, top + 39, 4, 5, 13), 0);
    const Pixels both = boardtest::snapshot(screen);

    draw_cursor(board.data(), 5, 2, 5, 2); // the cursor redraw wipes the mark...
    EXPECT_EQ(screen.pixel(left + 3, top + 23), plain[boardtest::at(left + 3, top + 23)]);
    draw_markers(board.data(), 5, 2, 0, 0); // ...and move entry puts it back
    EXPECT_EQ(boardtest::count_changes(both, boardtest::snapshot(screen)), 0);
}

TEST_F(CursorAndMarkers, RemovingMarkersRestoresTheSquaresAndTheirPieces)
{
    draw_cursor(board.data(), 5, 2, 5, 2);
    draw_markers(board.data(), 5, 2, 5, 4);
    remove_markers(board.data(), 5, 2, 5, 4);
    EXPECT_EQ(changed_pixels(), 0) << picture(5, 2);

    draw_markers(board.data(), 5, 2, 5, 4);
    remove_markers(board.data(), 5, 2, 0, 0);
    EXPECT_TRUE(square_is_plain(5, 2));
    EXPECT_FALSE(square_is_plain(5, 4)) << "the second mark was not asked to go";
}
