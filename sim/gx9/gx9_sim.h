// The stand-in libgx9.so's own contract with the box that hosts it (boxsim, tests): the layout of
// the framebuffer file, the remote-control event format and the key codes of our own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gx9 {

constexpr int kWidth = 720;
constexpr int kHeight = 576;
constexpr int kPaletteSize = 256;

// State block after the palette. The library writes it; the box reads it at any time.
struct FbState {
    uint32_t magic;     // kFbMagic once FBInitialize has mapped the file
    uint32_t pig_shown; // 1 while the live picture window is shown
    int32_t pig_x, pig_y, pig_w, pig_h;
    uint32_t palette_ready; // bumped by every FBSetupColors
    uint32_t draw_counter;  // bumped by every drawing call (FBFillRect, FBDrawLine, ...)
    uint32_t reserved[8];
};

constexpr uint32_t kFbMagic = 0x47583946; // "GX9F"

// The framebuffer file: pixels row by row, then the palette (red, green, blue per entry), then
// the state block. A descriptor passed to FBInitialize must refer to a file at least this big.
// The palette in the file changes only when FBSetupColors publishes all 256 entries at once
// (then palette_ready is bumped); FBSetColor alone changes nothing the box can see.
struct FbFile {
    uint8_t pixels[kHeight][kWidth];
    uint8_t palette[kPaletteSize][3];
    FbState state;
};

constexpr size_t kFbFileSize = sizeof(FbFile);

// Remote-control events: the box writes two-byte records into a pipe or socket whose read end
// is passed to RcInitialize.
enum EventType : uint8_t {
    kEventPress = 1,   // a key goes down: actcode and realcode take its code
    kEventRelease = 2, // the key goes up: realcode becomes 238
    kEventRestart = 3, // the box asks the plugin to start over: doexit becomes 1
};

struct RcEvent {
    uint8_t type; // EventType
    uint8_t code; // key code (ignored for kEventRestart)
};
static_assert(sizeof(RcEvent) == 2);

// Each RcGetActCode consumes the queued events up to and including the first press, plus a
// release that directly follows it; later events wait for the next poll. So two quick taps
// of one key are two presses seen by two polls, and a press released before the poll still
// delivers its code in actcode with realcode already 238.

// Key codes: digits 0-9, RIGHT 10, LEFT 11, UP 12, DOWN 13, OK 14, YELLOW 18, RED 19, BLUE 20,
// HELP 23 as the plugin expects them, and two of our own that the plugin has no action for.
constexpr uint8_t kCodeMute = 22;
constexpr uint8_t kCodeExit = 25; // also sets doexit to 3
constexpr uint16_t kCodeNone = 238;

} // namespace gx9
