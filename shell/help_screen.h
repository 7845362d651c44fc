// The help screen drawn over the board area on the HELP key.
#pragma once

constexpr int kHelpLineBytes = 180;

// Scratch line each help row is copied into and printed from. Written by draw_help_screen only.
extern char ispisati[kHelpLineBytes];

void draw_help_screen();
