// The board on pixels: square colours and corners, frame, labels for both colours, pieces placed
// from the array in screen order, empty-square bytes, and no cursor while the user may not move.
#include <array>
#include <cstring>

#include <gtest/gtest.h>

#include "board/board.h"
#include "board/glyphs.h"
#include "host/gx9.h"
#include "ics/game_state.h"
#include "tests/board/board_test_util.h"

using testsupport::TestScreen;

namespace {

using Board = std::array<char, kSquares + 1>;

Board empty_board()
{
    Board b{};
    std::memset(b.data(), ' ', kSquares);
    return b;
}

Board start_board()
{
    Board b{};
    std::memcpy(b.data(), kStartPosition, sizeof kStartPosition);
    return b;
}

// The start position as the line interpreter stores it for a user playing Black: turned.
Board turned(const Board& b)
{
    Board t = b;
    for (int i = 0; i < kSquares; ++i)
        t[i] = b[kSquares - 1 - i];
    return t;
}

class BoardDrawing : public ::testing::Test {
  protected:
    void SetUp() override { init(); }
    TestScreen screen;
};

bool square_matches(const boardtest::Pixels& screen, const boardtest::Pixels& alone, int c, int r)
{
    for (int y = field_top(r); y < field_top(r) + FieldHeight; ++y)
        for (int x = field_left(c); x < field_left(c) + FieldWidth; ++x)
            if (screen[boardtest::at(x, y)] != alone[boardtest::at(x, y)])
                return false;
    return true;
}

} // namespace

// An empty board: squares at their places, dark in the bottom-left and top-right corners, the
// frame around them, nothing beyond it, and no call besides frame, labels and squares (no cursor
// while nobody may move).
TEST_F(BoardDrawing, EmptyBoardShowsSquaresInsideTheFrame)
{
    // Columns: c, r, left, top, colour.
    struct Row {
        int c, r, left, top;
        uint8_t colour;
    };
    const Row rows[] = {
        {1, 1, 60, 381, DarkFieldColor},  {8, 8, 396, 45, DarkFieldColor},
        {1, 8, 60, 45, LightFieldColor},  {8, 1, 396, 381, LightFieldColor},
        {4, 2, 204, 333, DarkFieldColor}, {5, 2, 252, 333, LightFieldColor},
    };
    const Board b = empty_board();
    const uint32_t before = screen.draw_calls();
    draw_chess_board(b.data(), 4, 2, 4, 2);
    EXPECT_EQ(screen.draw_calls() - before, 4u + 16u + 64u);
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "square " << row.c << ", " << row.r);
        EXPECT_EQ(field_left(row.c), row.left);
        EXPECT_EQ(field_top(row.r), row.top);
        EXPECT_TRUE(screen.all(row.left, row.top, FieldWidth, FieldHeight, row.colour));
    }
    EXPECT_EQ(screen.count(60, 45, 384, 384, LightFieldColor), 32 * 48 * 48);
    EXPECT_EQ(screen.count(60, 45, 384, 384, DarkFieldColor), 32 * 48 * 48);
    // The frame: x 40..463, y 25..448; top and right strips plain, the others carry labels.
    EXPECT_TRUE(screen.all(40, 25, 424, 20, BorderColor));
    EXPECT_TRUE(screen.all(444, 25, 20, 424, BorderColor));
    EXPECT_EQ(screen.count(40, 429, 424, 20, BorderColor) + screen.count(40, 429, 424, 20, 2),
              424 * 20);
    EXPECT_EQ(screen.count(40, 45, 20, 384, BorderColor) + screen.count(40, 45, 20, 384, 2),
              20 * 384);
    EXPECT_EQ(screen.count(0, 0, 720, 576, 0), 720 * 576 - 424 * 424) << "drawn beyond the frame";
}

TEST_F(BoardDrawing, LabelsFollowTheUsersColour)
{
    // Columns: my_color, files left to right, ranks top to bottom.
    struct Row {
        int colour;
        const char* files;
        const char* ranks;
    };
    const Row rows[] = {
        {1, "abcdefgh", "87654321"},
        {0, "hgfedcba", "12345678"},
        {2, "hgfedcba", "12345678"}, // any value but 1 turns the labels
    };
    const Board b = empty_board();
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "my_color " << row.colour);
        my_color = row.colour;
        draw_chess_board(b.data(), 4, 2, 4, 2);
        EXPECT_EQ(screen.text(Xoffset + 39, Yoffset - 19, 8, FieldWidth), row.files);
        std::string ranks;
        for (int j = 0; j < 8; ++j)
            ranks += screen.text(Xoffset + 5, Yoffset - 389 + 48 * j, 1);
        EXPECT_EQ(ranks, row.ranks);
    }
}

TEST_F(BoardDrawing, PiecesStandOnTheSquaresTheArrayNames)
{
    // Columns: board array, square, what it shows (as the glyph drawn on its own).
    struct Row {
        const char* view;
        Board board;
        int c, r;
        PieceKind kind;
        bool white;
    };
    const Row rows[] = {
        {"White", start_board(), 4, 2, PieceKind::Pawn, true},
        {"White", start_board(), 5, 8, PieceKind::King, false},
        {"White", start_board(), 2, 1, PieceKind::Knight, true},
        {"White", start_board(), 4, 8, PieceKind::Queen, false},
        {"Black", turned(start_board()), 1, 1, PieceKind::Rook, false},  // h8
        {"Black", turned(start_board()), 4, 1, PieceKind::King, false},  // e8
        {"Black", turned(start_board()), 3, 8, PieceKind::Bishop, true}, // f1
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.view << " square " << row.c << ", " << row.r);
        screen.fill(0);
        FBFillRect(field_left(row.c), field_top(row.r), 48, 48, field_color(row.c, row.r));
        draw_glyph(row.kind, field_left(row.c) + 5, field_top(row.r) - 5, row.white ? 1 : 2,
                   row.white ? 2 : 1);
        const boardtest::Pixels expected = boardtest::snapshot(screen);

        screen.fill(0);
        draw_chess_board(row.board.data(), 4, 2, 4, 2);
        EXPECT_TRUE(square_matches(boardtest::snapshot(screen), expected, row.c, row.r))
            << screen.dump(field_left(row.c), field_top(row.r), 48, 48);
    }
}

TEST_F(BoardDrawing, BytesThatNameNoPieceLeaveThePlainSquare)
{
    for (const char byte : {' ', '-', '1', '\0', 'x', 'A', '\x80'}) {
        SCOPED_TRACE(testing::Message() << "byte " << int(byte));
        Board b = empty_board();
        b[square_index(3, 3)] = byte;
        draw_one_field(b.data(), 3, 3);
        EXPECT_TRUE(screen.all(field_left(3), field_top(3), 48, 48, DarkFieldColor));
    }
}

TEST_F(BoardDrawing, DrawsTheCursorOnlyWhileTheUserMayMove)
{
    const Board b = start_board();
    moving_enabled = 0;
    WeAreNotPlaying = 0;
    draw_chess_board(b.data(), 4, 2, 4, 2);
    EXPECT_EQ(screen.count(0, 0, 720, 576, 13), 0);

    moving_enabled = 1;
    draw_chess_board(b.data(), 4, 2, 5, 4);
    EXPECT_GT(screen.count(field_left(5), field_top(4), 48, 48, 13), 0);
    EXPECT_EQ(screen.count(0, 0, 720, 576, 13),
              screen.count(field_left(5), field_top(4), 48, 48, 13));
}
