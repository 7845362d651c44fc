// The LCD picture on a frame in plain memory: the text printer, the intro, the piece under the
// cursor after a main-loop pass, and golden frames of the intro and of each piece outline.
#include <algorithm>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "board/font.h"
#include "board/glyph_outlines.h"
#include "lcd/picture.h"
#include "tests/lcd/lcd_frame_view.h"

namespace {

using lcdtest::Frame;
using lcdtest::lit;
using lcdtest::lit_count;

constexpr int kCellWidth = kGlyphWidth;
constexpr int kCellHeight = kGlyphHeight;

Frame printed(int x, int y, const char* text, char mode, unsigned char background = 0)
{
    Frame frame;
    frame.fill(background);
    lcd_print_string(x, y, text, frame.data(), mode);
    return frame;
}

// The frame after one main-loop pass: intro at start-up, then the piece of square (column, row).
Frame after_pass(const char* board, int column, int row)
{
    Frame frame{};
    lcd_draw_intro(frame.data());
    lcd_draw_current_piece(board, column, row, kLcdSet, frame.data());
    return frame;
}

// A board of 64 squares holding letter everywhere.
std::string board_of(char letter)
{
    return std::string(64, letter);
}

Frame intro_only()
{
    Frame frame{};
    lcd_draw_intro(frame.data());
    return frame;
}

Frame frame_or(const Frame& a, const Frame& b)
{
    Frame out;
    std::transform(a.begin(), a.end(), b.begin(), out.begin(),
                   [](auto p, auto q) { return p | q; });
    return out;
}

bool cell_pixel_is_ink(char c, int col, int row)
{
    const int k = font_cell_of(static_cast<unsigned char>(c));
    return font_pixels[k * kGlyphBytes + row * kGlyphWidth + col] == kGlyphInk;
}

// ---- Text ----------------------------------------------------------------------------------

TEST(LcdText, NormalTextLightsTheGlyphsInkInItsCellAndNothingElse)
{
    const Frame frame = printed(23, 5, "A", kLcdNormalText);
    int ink = 0;
    for (int row = 0; row < kCellHeight; ++row)
        for (int col = 0; col < kCellWidth; ++col) {
            EXPECT_EQ(lit(frame, 23 + col, 5 + row), cell_pixel_is_ink('A', col, row))
                << "cell pixel (" << col << ", " << row << ")\n"
                << lcdtest::ascii(frame, 20, 3, 16, 22);
            ink += cell_pixel_is_ink('A', col, row);
        }
    EXPECT_EQ(lit_count(frame, 0, 0, kLcdWidth, kLcdHeight), ink);
    // The font's own design: the crossbar of "A" is row 9, columns 1..8.
    EXPECT_EQ(lit_count(frame, 24, 14, 8, 1), 8) << lcdtest::ascii(frame, 20, 3, 16, 22);
}

TEST(LcdText, InverseTextIsTheExactComplementWithinTheCells)
{
    const Frame normal = printed(7, 30, "Kq7", kLcdNormalText, 0xff);
    const Frame inverse = printed(7, 30, "Kq7", kLcdInverseText, 0x00);
    for (int y = 0; y < kLcdHeight; ++y)
        for (int x = 0; x < kLcdWidth; ++x) {
            const bool inside = x >= 7 && x < 7 + 3 * kCellWidth && y >= 30 && y < 30 + kCellHeight;
            if (inside)
                ASSERT_NE(lit(normal, x, y), lit(inverse, x, y)) << "(" << x << ", " << y << ")";
            else
                ASSERT_TRUE(lit(normal, x, y) && !lit(inverse, x, y))
                    << "outside the cells (" << x << ", " << y << ")";
        }
}

TEST(LcdText, ModesOtherThanBActAsW)
{
    for (char mode : {'W', 'w', 'b', 'X', '\0'})
        EXPECT_EQ(printed(12, 12, "Qa", mode), printed(12, 12, "Qa", kLcdNormalText))
            << "mode " << int(mode);
}

TEST(LcdText, SpaceCellsReplaceWhatWasUnderThem)
{
    // Normal spaces clear their cells on a lit frame; inverse spaces set them on a dark one.
    const Frame cleared = printed(10, 20, "  ", kLcdNormalText, 0xff);
    EXPECT_EQ(lit_count(cleared, 10, 20, 2 * kCellWidth, kCellHeight), 0);
    EXPECT_EQ(lit_count(cleared, 0, 0, kLcdWidth, kLcdHeight),
              kLcdWidth * kLcdHeight - 2 * kCellWidth * kCellHeight);

    const Frame set = printed(10, 20, "  ", kLcdInverseText);
    EXPECT_EQ(lit_count(set, 10, 20, 2 * kCellWidth, kCellHeight), 2 * kCellWidth * kCellHeight);
    EXPECT_EQ(lit_count(set, 0, 0, kLcdWidth, kLcdHeight), 2 * kCellWidth * kCellHeight);
}

TEST(LcdText, CharactersOutsideTheSetAreLeftOutWithoutAGap)
{
    // text with characters outside the set, the same text without them
    const std::pair<const char*, const char*> rows[] = {
        {"A\"B", "AB"},
        {"A\\B", "AB"},
        {"\"\\x\x01y\x80\xff", "xy"},
        {"\"", ""},
    };
    for (auto [text, without] : rows)
        EXPECT_EQ(printed(0, 40, text, kLcdInverseText), printed(0, 40, without, kLcdInverseText))
            << "text \"" << text << "\"";
    EXPECT_EQ(printed(3, 3, "", kLcdInverseText), Frame{}) << "an empty text draws nothing";
}

TEST(LcdText, OnlyTheFirst120CharactersAreConsidered)
{
    // 130 inverse spaces starting 119 cells left of the display: the 120th lands on columns
    // 0..9; the ten after it would cover columns 10..109 if they were drawn.
    const std::string text(130, ' ');
    const Frame frame = printed(-119 * kCellWidth, 0, text.c_str(), kLcdInverseText);
    EXPECT_EQ(lit_count(frame, 0, 0, kCellWidth, kCellHeight), kCellWidth * kCellHeight);
    EXPECT_EQ(lit_count(frame, 0, 0, kLcdWidth, kLcdHeight), kCellWidth * kCellHeight)
        << lcdtest::ascii(frame, 0, 0, kLcdWidth, 20);
}

// ---- Intro ----------------------------------------------------------------------------------

TEST(LcdIntro, TitleBarIsInverseTitleTextOverTheTopAndLeftLines)
{
    const Frame intro = intro_only();
    EXPECT_EQ(
        std::memcmp(intro.data(), printed(0, 0, kLcdTitle, kLcdInverseText).data(), 2 * kLcdWidth),
        0)
        << "bands 0 and 1 hold only the title\n"
        << lcdtest::ascii(intro, 0, 0, kLcdWidth, 20);
    // Row 0 and column 0 of every title cell are background, so inverse they stay lit.
    EXPECT_EQ(lit_count(intro, 0, 0, kLcdWidth, 1), kLcdWidth);
    EXPECT_EQ(lit_count(intro, 0, 0, 1, kCellHeight), kCellHeight);
}

TEST(LcdIntro, FrameLinesLeaveTheirEndPointsOut)
{
    const Frame intro = intro_only();
    EXPECT_FALSE(lit(intro, 0, 63)) << "the bottom-left corner is the end of both lines";
    EXPECT_EQ(lit_count(intro, 1, 63, kLcdWidth - 1, 1), kLcdWidth - 1)
        << "bottom line and credit row 17";
    EXPECT_EQ(lit_count(intro, 0, 18, 1, 45), 45) << "left line below the title";
    EXPECT_EQ(lit_count(intro, 60, 18, 1, 28), 28) << "divider";
    EXPECT_EQ(lit_count(intro, 61, 18, 1, 5), 0) << "nothing beside the divider above the version";
}

TEST(LcdIntro, IsDrawnOverTheFrameWithoutClearingIt)
{
    Frame frame{};
    lcd_draw_pixel(30, 40, kLcdSet, frame.data());
    lcd_draw_intro(frame.data());
    EXPECT_TRUE(lit(frame, 30, 40));
}

// ---- The piece under the cursor --------------------------------------------------------------

// Board letter (White's), outline, routine, golden name: the six kinds.
struct PieceCase {
    char letter;
    PieceKind kind;
    void (*draw)(int, int, int, unsigned char*);
    const char* name;
};
constexpr PieceCase kPieces[] = {
    {'P', PieceKind::Pawn, lcd_drawpawn, "pawn"},
    {'N', PieceKind::Knight, lcd_drawknight, "knight"},
    {'B', PieceKind::Bishop, lcd_drawbishop, "bishop"},
    {'R', PieceKind::Rook, lcd_drawrook, "rook"},
    {'Q', PieceKind::Queen, lcd_drawqueen, "queen"},
    {'K', PieceKind::King, lcd_drawking, "king"},
};

Frame piece_alone(const PieceCase& piece)
{
    Frame frame{};
    piece.draw(kLcdPieceX, kLcdPieceY, kLcdSet, frame.data());
    return frame;
}

// Each corner is drawn by the segment that starts there, so every outline point is lit at the
// origin (10, 60), and the outline stays inside columns 8..50, rows 19..60.
TEST(LcdPiece, EveryOutlinePointIsLitAtTheOriginTenSixty)
{
    for (const PieceCase& piece : kPieces) {
        const Frame frame = piece_alone(piece);
        for (const GlyphPoint& p : glyph_shape(piece.kind).outline)
            EXPECT_TRUE(lit(frame, 10 + p.dx, 60 + p.dy))
                << piece.name << " point (" << p.dx << ", " << p.dy << ")\n"
                << lcdtest::ascii(frame, 0, 12, 60, 52);
        EXPECT_EQ(lit_count(frame, 8, 19, 43, 42), lit_count(frame, 0, 0, kLcdWidth, kLcdHeight))
            << piece.name;
    }
}

TEST(LcdPiece, PassShowsThePieceOfItsLetterInWhiteAndBlackAlike)
{
    for (const PieceCase& piece : kPieces) {
        Frame expected = intro_only();
        piece.draw(kLcdPieceX, kLcdPieceY, kLcdSet, expected.data());
        lcd_draw_intro(expected.data());
        const char black = static_cast<char>(piece.letter - 'A' + 'a');
        const Frame white_pass = after_pass(board_of(piece.letter).c_str(), 4, 5);
        const Frame black_pass = after_pass(board_of(black).c_str(), 4, 5);
        EXPECT_EQ(white_pass, expected) << piece.name << "\n"
                                        << lcdtest::differences(white_pass, expected);
        EXPECT_EQ(black_pass, white_pass) << black;
    }
}

TEST(LcdPiece, EmptySquareShowsAllSixOutlinesSuperimposed)
{
    Frame all_six = intro_only();
    for (const PieceCase& piece : kPieces)
        all_six = frame_or(all_six, after_pass(board_of(piece.letter).c_str(), 1, 1));
    for (char empty : {' ', '\0', '.', 'x'}) {
        const Frame pass = after_pass(board_of(empty).c_str(), 3, 3);
        EXPECT_EQ(pass, all_six) << "square byte " << int(empty) << "\n"
                                 << lcdtest::differences(pass, all_six);
    }
    // More lit than any single piece: the six are really superimposed.
    EXPECT_GT(lit_count(all_six, 8, 18, 50, 43),
              lit_count(after_pass(board_of('Q').c_str(), 1, 1), 8, 18, 50, 43));
}

TEST(LcdPiece, CursorReadsTheSquareAtColumnMinusOneTimesEightPlusRowMinusOne)
{
    const Frame rook = after_pass(board_of('R').c_str(), 1, 1);
    // column, row, board byte
    const struct {
        int column, row, byte;
    } rows[] = {{1, 1, 0}, {8, 8, 63}, {2, 1, 8}, {1, 2, 1}, {5, 3, 34}};
    for (const auto& r : rows) {
        std::string board = board_of('p');
        board[static_cast<std::size_t>(r.byte)] = 'r';
        EXPECT_EQ(after_pass(board.c_str(), r.column, r.row), rook)
            << "column " << r.column << " row " << r.row << " should read byte " << r.byte;
    }
}

TEST(LcdPiece, CursorOffTheBoardShowsAnEmptySquareAndReadsNoByte)
{
    // A board of exactly 64 bytes: reading outside it would trip the address sanitizer.
    const std::string board = board_of('R');
    const Frame empty = after_pass(board_of(' ').c_str(), 1, 1);
    for (auto [column, row] : {std::pair{0, 1}, {9, 8}, {1, 0}, {8, 9}, {-3, -3}})
        EXPECT_EQ(after_pass(board.c_str(), column, row), empty) << column << ", " << row;
}

TEST(LcdPiece, PassClearsThePieceAreaAndKeepsTheTitleBarIntact)
{
    Frame frame;
    frame.fill(0xff);
    lcd_draw_current_piece(board_of('P').c_str(), 1, 1, kLcdSet, frame.data());

    const Frame pawn_alone = piece_alone(kPieces[0]);
    for (int y = 18; y <= 60; ++y)
        for (int x = 8; x <= 57; ++x)
            ASSERT_EQ(lit(frame, x, y), lit(pawn_alone, x, y)) << "(" << x << ", " << y << ")\n"
                                                               << lcdtest::ascii(frame);
    EXPECT_EQ(lit_count(frame, 58, 12, 1, 49), 49) << "column 58 is outside the cleared area";
    EXPECT_EQ(lit_count(frame, 8, 61, 50, 1), 50) << "row 61 is outside the cleared area";

    const Frame title = printed(0, 0, kLcdTitle, kLcdInverseText);
    EXPECT_EQ(std::memcmp(frame.data(), title.data(), 2 * kLcdWidth), 0)
        << "rows 0..15\n"
        << lcdtest::ascii(frame, 0, 0, kLcdWidth, 20);
    for (int y = 16; y < kCellHeight; ++y)
        for (int x = 0; x < kLcdWidth; ++x)
            ASSERT_EQ(lit(frame, x, y), lit(title, x, y)) << "title row (" << x << ", " << y << ")";
    EXPECT_FALSE(lit(after_pass(board_of('K').c_str(), 1, 1), 0, 63));
}

// ---- Golden frames --------------------------------------------------------------------------
// VITREL_UPDATE_GOLDEN=1 ./test_lcd --gtest_filter='LcdGolden.*' rewrites tests/golden/lcd_*.bin.

TEST(LcdGolden, IntroMatches)
{
    EXPECT_TRUE(lcdtest::matches_golden(intro_only(), "intro"));
}

TEST(LcdGolden, EachPieceOutlineMatches)
{
    for (const PieceCase& piece : kPieces)
        EXPECT_TRUE(lcdtest::matches_golden(piece_alone(piece), piece.name));
}

TEST(LcdGolden, PassOnAnEmptySquareMatches)
{
    EXPECT_TRUE(lcdtest::matches_golden(after_pass(board_of(' ').c_str(), 1, 1), "empty_square"));
}

} // namespace
