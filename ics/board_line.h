// The style-12 board line reader: the squares and fields of a "<12> " line into the game state.
#pragma once

#include <string_view>

constexpr std::string_view kBoardLinePrefix = "<12> ";

// The eight ranks take 71 characters (8 x 8 and 7 spaces); the side to move stands at 72.
constexpr int kRankFieldChars = 8;
constexpr int kSquareTextChars = 8 * kRankFieldChars + 7;
constexpr int kSideToMoveAt = kSquareTextChars + 1;
static_assert(kSquareTextChars == 71 && kSideToMoveAt == 72);

// Handles the text after "<12> ": stores the squares (turned for a user playing Black), reads
// fields 9 to 27 up to the first that does not fit, derives my_color (1 when the user is neither
// player, as the board is then stored unturned) and moving_enabled, and in the board view
// redraws the board and the header. A line whose squares or side to move are
// missing or malformed changes nothing; the result says whether the line was taken.
// Refusing the whole line, rather than storing a stray square byte as an empty square, keeps a
// position the server never sent off the board and out of move entry: the squares of a garbled
// line cannot be trusted even where they hold letters, and the server's next board line (or the
// "refresh" command) brings the true position. The board holds only piece letters and spaces.
bool ReadBoardLine(const char* fields);

// Steps shared with the game announcement: for a user named as Black, turns the stored board
// half a turn and sets my_color 0; for a user named as White, sets my_color 1.
void OrientBoardForUser();
