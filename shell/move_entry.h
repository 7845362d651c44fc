// Move entry: the arrow keys steer the cursor over the board, OK selects the piece to move and
// then its destination, and the finished move goes to the server in coordinate notation
// ("e2e4", "e7e8=q"). Owns no globals of its own: it writes the move entry state of
// shell/move_state.h and moving_enabled (ics/game_state.h).
#pragma once

// Moving is allowed while moving_enabled is nonzero, WeAreNotPlaying is not 1 and the board
// view is shown (whats_showed 0).
bool moving_allowed();

// The main loop may call both entry points for every key of its kind, in any screen mode:
// they check moving_allowed() themselves and change nothing, draw nothing and send nothing
// while moving is not allowed.

// RIGHT, LEFT, UP or DOWN (codes 10..13; other codes do nothing): moves the cursor one square,
// wrapping around at the edges, and redraws the marker of the selected piece when the cursor
// leaves or enters its square.
void move_cursor(int key);

// OK. In phase 1, on one of the user's pieces: selects it and marks its square. In phase 2, on
// one of the user's pieces: cancels the selection (a further OK selects that piece); on any
// other square: completes the move, asks for the promotion piece when a pawn reaches the last
// rank, sends the move with "%s\r\n" when connected (and keeps it in LastMoveSent), and disables
// moving until the server's next board line. A promotion is written "e7e8=q". While the cursor
// has not moved since the plugin was loaded, phase 2 ignores OK.
// Leaving the plugin inside the promotion picker before a piece is chosen sends nothing and
// cancels the selection as above; moving stays enabled, since the user still has the move.
void select_square();
