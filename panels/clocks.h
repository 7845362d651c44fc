// The clock panel under the header: both remaining times, the stopwatch of the move in
// progress, the last move, a separator, and who is on the move with the material balance.
#pragma once

#include <cstddef>

// Room for the longest material text: five kinds a side, each at most "64Q", plus the frame.
constexpr int kMaterialTextBytes = 48;
static_assert(kMaterialTextBytes > 2 * 5 * 3 + 7 + 1);

// The material text for the side on move ('W' or 'B', anything else gives ""): the mover's
// surplus kinds and the opponent's in the order Q, R, B, N, P, a count of 1 written as the
// letter alone: "(+Q vs -2P)", "(-R)", "(+2N)"; "" when material is equal. Counts the first 64
// bytes of board: K Q R B N P White, lower case Black, any other byte an empty square.
void material_text(const char* board, char who, char* out, size_t size);

// Redraws the panel in the board view while the user plays (whats_showed 0, WeAreNotPlaying not
// 1); otherwise draws and times nothing. Restarts the stopwatch (CountingFor, start_time) when
// the side on move has changed and sets current_time. Reads the game state record.
void print_remaining_time();
