// What the TV shows now and the pause of every polling loop.
#pragma once

enum ScreenMode : int {
    kBoardView = 0,
    kHelpScreen = 1,
    kFullTelnet = 2,
};

// The screen mode. Set to kBoardView at every start of the plugin; changed only by the RED and
// HELP keys in the main loop. Read by every drawing piece that depends on the mode.
extern int whats_showed;

// Microseconds the main loop and the dialogs pause before each poll of the remote (100000).
// Tests lower it.
extern int tv_tv_usec;

// Row of the command table chosen last with YELLOW; the picker opens there. Main loop writes it.
extern int last_command;
