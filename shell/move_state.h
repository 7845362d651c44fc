// The move entry state: cursor, markers, selection phase and the move being composed.
// Written only by move entry (shell/move_entry.cpp) and the start-up; read by the board, cursor
// and marker drawing, the line interpreter's redraw and the LCD piece picture.
#pragma once

constexpr int kMoveTextBytes = 40;

extern int cursorx, cursory;       // the cursor's square, 1..8 (start 4, 2)
extern int cursorxold, cursoryold; // the square before its last step (start 4, 2)
extern int marker1x, marker1y;     // the selected piece's square; 0, 0 when none
extern int marker2x, marker2y;     // the destination square while a move is completed
extern int selection_phase;        // 1: the next OK selects a piece; 2: it gives the target
extern char tempy[kMoveTextBytes]; // the move being composed, e.g. "e2e4" or "e7e8=q"
