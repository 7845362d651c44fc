// The server commands the command picker offers: one word and a space per row, in
// alphabetical order, echoed black on green when sent.
#pragma once

#include "panels/telnet_line.h"

constexpr int kCommandRows = 50; // rows 45..49 stay zero and are never shown
constexpr int kCommandsUsed = 45;

extern TelnetLine fics_cmds[kCommandRows]; // filled by fill_fics_cmds (called by init)
extern int highest_command;                // index of the last used row, 44

void fill_fics_cmds();
