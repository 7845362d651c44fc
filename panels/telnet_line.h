// One line of the telnet window (and one row of the command table): 80 text bytes, then the
// ink and paper palette indices it is drawn in. A line of exactly 80 characters has no
// terminator inside the record.
#pragma once

constexpr int kTelnetTextBytes = 80;

struct TelnetLine {
    char text[kTelnetTextBytes];
    unsigned char ink;
    unsigned char paper;
};
static_assert(sizeof(TelnetLine) == 82);
