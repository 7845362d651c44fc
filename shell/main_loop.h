// The main loop: one pass refreshes the LCD and the clocks, waits for a key, dispatches it by
// the screen mode, and reads what the server has sent. The repeat lock (the last dispatched
// key and the lock flag) is file-local to main_loop.cpp, written only by a pass, and keeps its
// state between passes and between runs of the plugin. OK is never locked.
#pragma once

// Runs passes until the host library sets doexit. The buffers belong to the main routine.
// Server input is awaited with poll, so a socket of any descriptor number works; a wait that
// fails, for a signal or any other reason, reads nothing in that pass. While a key is held
// the pass waits for its release, unless the host asks the plugin to stop or start over.
// When the server ends the connection, "Disconnected from ICS !!!" is shown, the socket closed,
// and the game stops on the screen (moving_enabled 0, WeAreNotPlaying 1).
void run_main_loop(char* ics_buffer, int ics_buffer_size, unsigned char* lcd_frame);

// One pass, without its pause when pause is false (tests). Returns false once doexit is set.
bool main_loop_pass(char* ics_buffer, int ics_buffer_size, unsigned char* lcd_frame, bool pause);

// Acts on one key code in the current screen mode, as a pass does after its repeat lock.
void dispatch_key(int code);
