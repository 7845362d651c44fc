// What the plugin's libFuzzer harnesses share: the stand-in screen, the server socket, the
// plugin's starting state read from the front of the input, and the invariants of its state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sim/gx9/gx9_sim.h"

namespace fuzz {

// Prints what broke, the telnet buffer and the board, then aborts (libFuzzer keeps the input).
[[noreturn]] void fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The input, read from the front; 0 once it is used up.
struct Input {
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

// A connected UNIX stream socket pair: plugin_end is what the plugin reads (icsFd), server_end
// stays with the harness and does not block. Each end is closed on destruction unless it is -1.
struct Server {
    int plugin_end = -1, server_end = -1;
    Server();
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;
    void send(std::string_view bytes) const;
    // What the plugin has sent, at most capacity bytes; 0 when nothing waits.
    size_t receive(char* out, size_t capacity) const;
};

// The start header both harnesses begin with, kStartBytes bytes:
//   0     whats_showed (mod 3)
//   1     flags (StartFlags)
//   2     cursor: bits 0-2 column - 1, bits 3-5 row - 1
//   3     board: the start position, pawns one step from promotion for both sides (kings a1 and
//         h8), kings only, or the Ruy Lopez after 3...a6; turned half with kTurned
//   4..6  MyName, WhiteName, BlackName, each one of a few names
//   7     LastMoveSent: none, "e2e4" or "e7e8=q"
enum StartFlags : uint8_t {
    kMyColour = 1,
    kNotPlaying = 2,
    kMovingEnabled = 4,
    kObserveAnnounced = 8,
    kTurned = 16,
    kConnected = 32, // icsFd is the server's plugin_end, else 0
};
constexpr size_t kStartBytes = 8;

// Once per process: no pauses, SIGPIPE ignored, a memfd framebuffer, the LCD on /dev/null.
void set_up_process();

// The plugin as its start-up leaves it (screen cleared), then the start header applied.
// Returns the flags.
uint8_t start(Input& in, const Server& server);

// The framebuffer file as the stand-in library maps it.
gx9::FbFile& screen();

// Text fields terminated, the command table as init left it, board bytes, telnet records, flags,
// cursor and markers; fails with the rule that broke.
void check_state();
// Every pixel is 0 or a colour the plugin defines.
void check_screen();
bool is_defined_colour(unsigned colour);

} // namespace fuzz
