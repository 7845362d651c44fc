// The command bar under the board: the prompt "fics%  " in a grey outline, highlighted with a
// double white outline while the command picker or the word entry is open.
#pragma once

void draw_command_bar();
// The picker's highlight: the two outlines, the fill, the prompt.
void highlight_command_bar_for_picker();
// The word entry's highlight: the fill, the two outlines, the prompt.
void highlight_command_bar_for_word();
// Erases the highlight and draws the plain bar again.
void restore_command_bar();
