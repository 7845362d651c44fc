// ExitOn: reports a failure or a notable event in the telnet window, white on red, and pauses.
// It never ends the plugin. Called on the plugin's thread only, never from a signal handler.
#pragma once

constexpr int kExitOnMaxChars = 72;
constexpr unsigned char kExitOnInk = 2;
constexpr unsigned char kExitOnPaper = 3;

// How long ExitOn pauses after its line, in microseconds (2,000,000). Tests lower it.
// Written by tests only.
extern long exit_on_pause_usec;

// Adds the first 72 characters of message to the telnet window, then pauses. A null message
// shows "Error: " and the system's text for errno instead, so a failure is never silent.
void ExitOn(const char* message);

// Shows "<what>: <strerror(errno)>", cut to 72 characters, and pauses like ExitOn; used for a
// failed system call ("write to server", "read from server"). errno is kept for the caller.
void ExitOnSystemError(const char* what);
