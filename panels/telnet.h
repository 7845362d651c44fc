// The telnet window: the last 28 lines of server text, echoes and messages, each with its own
// ink and paper, shown full (28 lines) in screen mode 2 and small (newest 4) in every other mode.
#pragma once

#include <cstddef>

#include "panels/telnet_line.h"

constexpr int kTelnetLines = 28;
constexpr int kTelnetStartupBlankLines = 22; // records 0..21 hold 80 blanks after start-up
constexpr int kTelnetDrawnChars = 75;        // 75 cells of 9 pixels (+1) fit the 680 width
constexpr int kSmallTelnetFirstLine = 24;    // the small window shows records 24..27
constexpr int kTelnetTop = 25;               // line n is drawn at y = kTelnetTop + 18 n
constexpr int kTelnetLineHeight = 18;
constexpr int kTelnetWidth = 680;
constexpr int kTelnetLeftOfBoard = 10; // the window's left edge is Xoffset - 10
constexpr int kFullTelnetHeight = kTelnetLines * kTelnetLineHeight;
constexpr int kSmallTelnetTop = kTelnetTop + kSmallTelnetFirstLine * kTelnetLineHeight;
constexpr int kSmallTelnetHeight = (kTelnetLines - kSmallTelnetFirstLine) * kTelnetLineHeight;
static_assert(kFullTelnetHeight == 504 && kSmallTelnetTop == 457 && kSmallTelnetHeight == 72);
static_assert(kTelnetDrawnChars * 9 + 1 <= kTelnetWidth);

// The line buffer, record 0 the oldest, 27 the newest; shifted physically by each new line.
// Written by add_to_telnet, blank_telnet_startup_lines and telnet_reset only.
extern TelnetLine from_fics[kTelnetLines];

// 82 blanks; start-up copies 80 of them into records 0..21. Constant, never written.
extern const char* const empty_line80;

// Appends one line (its first 80 bytes; a null text counts as empty) with the given colours,
// then redraws the full window when whats_showed is 2, else the small one. Not reentrant: it
// must not be called from a signal handler (the shell defers signals to its main loop).
void add_to_telnet(const char* text, int ink, int paper);

// Clear the window's rectangle and draw its records with the narrow printer, 75 characters at
// most per line.
void display_telnet();
void display_small_telnet();

// Start-up: the text of records 0..21 becomes 80 blanks; colour bytes and records 22..27 are
// left as they are.
void blank_telnet_startup_lines();

// For test fixtures: every record back to zero bytes, as when the plugin is loaded.
void telnet_reset();

// For failure messages: one line per record, "NN ink/paper |text|", into out (cut to size).
// Returns the length it would have written, as snprintf does.
int telnet_dump(char* out, size_t size);
