// The command picker: chooses one row of the command table with the arrow keys, in the command
// bar under the board. Owns no globals; reads fics_cmds and highest_command (command_table.h).
#pragma once

constexpr int kPromptX = 30, kCommandTextX = 100, kCommandBarY = 532;
constexpr int kCommandTextWidth = 590, kCommandTextHeight = 18;
constexpr unsigned char kCommandInk = 4;   // pale yellow
constexpr unsigned char kCommandPaper = 1; // black
constexpr char kCommandPrompt[] = "fics%  ";
constexpr int kCommandJump = 10; // rows one RIGHT or LEFT moves

// Shows the prompt and row index, then lets the user step with UP and DOWN (one row, wrapping at
// either end) and RIGHT and LEFT (ten rows; a jump past either end lands on the first or the
// last row). OK returns the row shown; so does doexit becoming nonzero, at once. An index
// outside 0..highest_command starts on row 0.
int pitaj_koja_komanda(int index);
