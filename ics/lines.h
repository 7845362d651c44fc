// Input line assembly: cuts the server's byte stream into complete lines, removes telnet
// commands, and hands each line on. Knows nothing of chess.
#pragma once

// The receive buffer the main routine owns and lends to ProcessRawInput (ics_buffer).
constexpr int kReceiveBufferBytes = 16384;
// One line as handed on: at most kLineTextMax characters, then "\r\n" and a terminator.
constexpr int kLineBufferBytes = 1024;
constexpr int kLineTextMax = kLineBufferBytes - 3;
static_assert(kLineTextMax == 1021);

// Telnet bytes the server may send. Only removed, never answered.
constexpr unsigned char kTelnetIac = 255;
constexpr unsigned char kTelnetWill = 251;
constexpr unsigned char kTelnetDont = 254; // WILL, WONT, DO, DONT: 251..254, each takes an option
constexpr unsigned char kTelnetInterruptProcess = 244;

// Called once per complete line: zero-terminated text ending in "\r\n".
using LineHandler = void (*)(const char* line);

// Reads what has arrived on descriptor (called when select says it is readable) behind the text
// carried in buffer (buffer_bytes in all, a zero-terminated string between calls), and hands
// every complete line to handler in order; the incomplete rest stays in buffer for the next call.
//   - A line ends at CR or LF; a CR or LF directly behind it in the same read belongs to the same
//     line end (CR LF, LF CR, CR CR, LF LF). Each line reaches handler ending in "\r\n".
//   - A telnet command (IAC and one byte, or IAC, WILL..DONT and an option byte) is removed
//     together with the text before it since the last line end; one split over reads waits for
//     its rest.
//   - Zero bytes in the received data are dropped; the bytes after them are kept.
//   - A line of more than kLineTextMax characters is handed on in pieces of kLineTextMax.
//   - A carried text that leaves no room to read (only with buffers under 1025 bytes) is handed
//     on as a line before reading.
// Result: 0, also when nothing arrived or the read failed (a failure other than EAGAIN or EINTR
// shows "read from server: <error>"); -1 when the server closed the connection (a read of 0) or
// sent telnet IP (lines before it have been handed on; the IP goes with the text before it and
// what follows it is carried, as after a close).
int ProcessRawInput(int descriptor, char* buffer, int buffer_bytes, LineHandler handler);
