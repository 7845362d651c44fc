// The server line interpreter: turns one complete line into game state, an answer to the server
// or a coloured line of the telnet window.
#pragma once

// The prompt the server puts in front of its replies; removed from the start of every line.
constexpr const char* kPrompt = "fics% ";

// The text the plugin adds after a rejected move, dark teal on black.
constexpr const char* kSelectValidMove = "Please select some valid move!";

// The line handler for ProcessRawInput: line is zero-terminated and normally ends in "\r\n".
// Removes leading prompts; a line that held nothing but prompts and its line end is dropped. A
// "<12> " board line goes to ReadBoardLine and is not shown (it also clears LastMoveSent); any
// other line runs the notice tests in order (see notices.cpp) and is shown in the telnet window
// in the colour pair of the last matching test, unless a rejected-move test ends it first. A
// line that begins with LastMoveSent and ": " is a rejected move. A line that ends the user's
// game draws the clock panel once before WeAreNotPlaying stops it.
// Writes MyName, the players and ratings, WeAreNotPlaying, ObserveAnnounced, moving_enabled,
// my_color, start_time and the board's orientation; sends "refresh\r\n" after a rejected move
// while icsFd is greater than 0.
void ProcessIcsLine(const char* line);
