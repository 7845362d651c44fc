// The connection to the chess server: opening the TCP socket, sending formatted text to it, and
// the plugin's counted byte-copy routines.
#pragma once

// Largest formatted text SendToIcs sends at once, terminator included; longer texts are cut.
constexpr int kSendBufferBytes = 16384;

// Connects a blocking TCP stream socket to host:port. host is a name for the system's resolver or
// a dotted quad of four decimal numbers, each giving the low 8 bits of one address byte (a text of
// digits and points only is always read as a dotted quad, never looked up). Returns the
// descriptor (greater than 0), or 0 on any failure; a host that neither resolves nor reads as
// four numbers also shows "Failed to resolve address." through ExitOn. A socket that fails to
// connect is closed, and nothing is allocated.
int OpenTCP(const char* host, int port);

// Formats the text as printf does and writes all of it to icsFd, with SIGALRM held off while
// formatting and writing and unblocked afterwards (whatever the mask held before). Partial and
// interrupted writes go on with the rest; a failed write shows "write to server: <error>". A text
// longer than kSendBufferBytes - 1 is cut there and keeps "\r\n" as its last two characters.
// Does not test icsFd: callers send only while it is greater than 0.
void SendToIcs(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Counted byte routines; a count of 0 or less copies nothing. They copy exactly count bytes,
// zero bytes included, and never look for a terminator in the source.
void bytezero(char* destination, int count);
// Copies one byte at a time from the lowest address upwards, so a block may be moved towards
// the start of the same buffer.
void bytecopy(char* destination, const char* source, int count);
// bytecopy, then a zero byte after the copied bytes (also when count is 0 or less).
void stringcopy(char* destination, const char* source, int count);
// stringcopy of count bytes to the terminating zero of the destination string.
void stringcat(char* destination, const char* source, int count);
