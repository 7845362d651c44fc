// Move entry state globals with their values at load time.
#include "shell/move_state.h"

int cursorx = 4, cursory = 2;
int cursorxold = 4, cursoryold = 2;
int marker1x, marker1y;
int marker2x, marker2y;
int selection_phase = 1;
char tempy[kMoveTextBytes] = "     ";
