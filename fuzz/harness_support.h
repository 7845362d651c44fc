// Shared pieces of the libFuzzer harnesses: the stand-in screen, a server socket, the plugin's
// starting state, and the invariants every harness checks after each input.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/gx9/gx9_sim.h"

namespace fuzz {

// Prints what broke, the telnet buffer and the board, then aborts (libFuzzer saves the input).
[[noreturn]] void fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Once per process: ExitOn and the polling loops without pauses, SIGPIPE ignored, a memfd
// framebuffer through FBInitialize with the plugin's palette, the LCD descriptor on /dev/null.
void set_up_process();

// The framebuffer file as the stand-in library maps it (this process's own second mapping).
gx9::FbFile& screen();

// The plugin as start-up leaves it before the restart point: start position, init, the telnet
// buffer blanked as at start-up, move entry idle, board view, unconnected; screen all zero.
void reset_plugin_state();

// Reads bytes from the front of the input; 0 once it is used up.
struct ByteReader {
    const uint8_t* data;
    size_t size;
    uint8_t next()
    {
        if (size == 0)
            return 0;
        --size;
        return *data++;
    }
};

// A few names the harnesses choose from for MyName and the players; index taken modulo count.
const char* pick_name(uint8_t index);

// A connected UNIX stream socket pair, both ends closed on destruction unless released.
// plugin_end goes to the plugin (icsFd or the descriptor ProcessRawInput reads), server_end
// stays with the harness.
struct SocketPair {
    int plugin_end = -1;
    int server_end = -1;
    SocketPair();
    ~SocketPair();
    SocketPair(const SocketPair&) = delete;
    SocketPair& operator=(const SocketPair&) = delete;
    // Writes all bytes to the server end (the plugin reads them).
    void send(const void* bytes, size_t count) const;
    // Appends whatever the plugin has written to out (bounded by capacity); returns the new size.
    size_t drain(char* out, size_t used, size_t capacity) const;
};

// ---- Invariants -----------------------------------------------------------------------------
// Each aborts through fail() with the broken rule.

// Text fields terminated inside their size: names, ratings, MyName, PreviousMoveLong, tempy,
// icsHost, icsHandle, icsPasswd; the command table unchanged in shape.
void check_text_fields();
// Squares 0..63 hold only "KQRBNPkqrbnp " and byte 64 ends the board.
void check_board();
// 28 whole records: text either zero-terminated with zero bytes behind, or 80 non-zero bytes;
// colours defined palette indices, or 0/0 on a start-up line (empty or 80 blanks).
void check_telnet();
// Flags 0 or 1, whats_showed 0..2, WhoIsOnMove 0, 'W' or 'B'.
void check_game_flags();
// Cursor squares 1..8, markers 0..8 in pairs, selection phase 1 or 2.
void check_move_state();
// Every pixel is 0 or an index the plugin's palette defines.
void check_screen_colours();

void check_state();  // all of the above but the screen

// True for the palette indices start-up defines (1..10, 12, 13).
bool is_defined_colour(unsigned colour);

}  // namespace fuzz
