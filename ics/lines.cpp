// Input line assembly: reads the server's bytes behind the carried text, cuts lines, strips
// telnet commands. One pass over the buffer per call, one move of the carried rest at its end.
#include "ics/lines.h"

#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <cstring>

#include "shell/exit_on.h"

namespace {

enum TelnetState { kText, kAfterIac, kAfterVerb };

constexpr bool is_line_end(char c)
{
    return c == '\r' || c == '\n';
}

// Copies length characters into a line of its own with "\r\n" and hands it on.
void hand_on(const char* text, int length, LineHandler handler)
{
    assert(length >= 0 && length <= kLineTextMax && "a handed-on line fits the line buffer");
    char line[kLineBufferBytes];
    memcpy(line, text, size_t(length));
    line[length] = '\r';
    line[length + 1] = '\n';
    line[length + 2] = 0;
    handler(line);
}

// Removes zero bytes from bytes[0..count) in place; returns how many bytes are left.
int drop_zero_bytes(char* bytes, int count)
{
    int kept = 0;
    for (int i = 0; i < count; ++i)
        if (bytes[i] != 0)
            bytes[kept++] = bytes[i];
    return kept;
}

// A carried text that fills the buffer leaves no room to read: it goes on as a line (in pieces
// if longer than a line), so that a live connection is not taken for a closed one.
int hand_on_full_buffer(char* buffer, int carried, LineHandler handler)
{
    for (int start = 0; start < carried; start += kLineTextMax) {
        int length = carried - start < kLineTextMax ? carried - start : kLineTextMax;
        hand_on(buffer + start, length, handler);
    }
    buffer[0] = 0;
    return 0;
}

// Moves the text from start (terminator included) to the front of the buffer.
void keep_from(char* buffer, int start, int end)
{
    memmove(buffer, buffer + start, size_t(end - start + 1));
}

// Scans buffer[0..end) (terminated at end) from its first byte in the text state, hands on every
// complete line and keeps the rest. line_start is where the text of the current line begins:
// a line end or a completed telnet command moves it past itself.
int cut_lines(char* buffer, int end, LineHandler handler)
{
    int line_start = 0;
    TelnetState state = kText;
    for (int i = 0; i < end; ++i) {
        const unsigned char byte = (unsigned char)buffer[i];
        switch (state) {
        case kText:
            if (byte == kTelnetIac) {
                state = kAfterIac;
            } else if (is_line_end(char(byte))) {
                hand_on(buffer + line_start, i - line_start, handler);
                if (i + 1 < end && is_line_end(buffer[i + 1]))
                    ++i;
                line_start = i + 1;
            } else if (i - line_start >= kLineTextMax) {
                hand_on(buffer + line_start, kLineTextMax, handler);
                line_start += kLineTextMax;
            }
            break;
        case kAfterIac:
            if (byte == kTelnetInterruptProcess) {
                // Removed like any command: the buffer outlives the connection, and an IP left
                // in it would end the next connection at its first read.
                keep_from(buffer, i + 1, end);
                return -1;
            }
            if (byte >= kTelnetWill && byte <= kTelnetDont) {
                state = kAfterVerb;
            } else {
                line_start = i + 1;
                state = kText;
            }
            break;
        case kAfterVerb:
            line_start = i + 1;
            state = kText;
            break;
        }
    }
    keep_from(buffer, line_start, end);
    return 0;
}

} // namespace

int ProcessRawInput(int descriptor, char* buffer, int buffer_bytes, LineHandler handler)
{
    assert(buffer_bytes >= 2 && "the receive buffer holds at least one byte and a terminator");
    int carried = int(strnlen(buffer, size_t(buffer_bytes - 1)));
    buffer[carried] = 0;
    if (carried == buffer_bytes - 1)
        carried = hand_on_full_buffer(buffer, carried, handler);

    ssize_t got = read(descriptor, buffer + carried, size_t(buffer_bytes - carried - 1));
    if (got < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            ExitOnSystemError("read from server");
        return 0;
    }
    if (got == 0)
        return -1;
    int end = carried + drop_zero_bytes(buffer + carried, int(got));
    buffer[end] = 0;
    return cut_lines(buffer, end, handler);
}
