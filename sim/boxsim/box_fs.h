// The box's file system: the two fixed paths a plugin opens on a box, served inside this process.
//
// boxsim defines fopen, open, openat (and their 64-bit and fortified forms), ioctl, write and
// close itself (box_fs.cpp); exported from the executable, they interpose libc's for the plugin
// it loads. Every path and descriptor passes through to libc unchanged except:
//   "/var/mirlon/plugins/vitrel3.cfg"  read-only; its text is what set_config() gave, served
//                                      from an anonymous memory file; without a text it does
//                                      not exist (ENOENT). Opening it for writing fails (EROFS).
//   "/dev/omra/lcd0"                   the front-panel LCD: each open hands out a fresh, unique
//                                      descriptor that the device tracks until it is closed.
//   anything else under /var/mirlon or /dev/omra: does not exist (ENOENT). The PC's real
//                                      directories of those names are never created or read.
// Paths are compared after lexical normalisation ("/dev//omra/./lcd0" is the LCD too).
//
// The LCD device answers ioctl request 25 (clear the picture) and 4117 (mode; the argument
// points to an int that must be 1) and takes writes of exactly one 960-byte frame once the mode
// is set; any other request fails with ENOTTY, any other write size with EINVAL.
//
// Globals (process-wide by nature: the interposed entry points have no other way to reach
// them), all in box_fs.cpp: the configuration text, written by set_config(); the LCD device
// state, written by the interposed calls; the table of LCD descriptors handed out. Every entry
// point is thread-safe: the plugin runs on a thread of its own while the box reads the LCD.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace boxsim {

inline constexpr std::string_view kConfigPath = "/var/mirlon/plugins/vitrel3.cfg";
inline constexpr std::string_view kLcdPath = "/dev/omra/lcd0";

constexpr int kLcdWidth = 120;
constexpr int kLcdHeight = 64;
constexpr int kLcdBandRows = 8;
constexpr int kLcdFrameBytes = 960;
static_assert(kLcdWidth * kLcdHeight / 8 == kLcdFrameBytes);

constexpr unsigned long kLcdRequestClear = 25;
constexpr unsigned long kLcdRequestMode = 4117; // 0x1015
constexpr int kLcdFrameMode = 1;

using LcdFrame = std::array<uint8_t, kLcdFrameBytes>;

// Pixel (x, y) of a frame: bit y % 8 of byte (y / 8) * 120 + x. Off the panel reads as unlit.
bool lcd_pixel_lit(const LcdFrame& frame, int x, int y);

// What the LCD device has seen so far. generation grows with every change of the picture.
struct LcdState {
    LcdFrame frame{};
    uint64_t generation = 0;
    int clears = 0;          // requests 25 answered
    int mode_requests = 0;   // requests 4117 answered with success
    int frames = 0;          // 960-byte writes taken
    int refused = 0;         // writes and requests refused (wrong size, no mode, bad request)
    bool frame_mode = false; // set by a successful request 4117
    int open_descriptors = 0;
};

// The configuration text served at the fixed path; std::nullopt: no such file.
void set_config(std::optional<std::string> text);

LcdState lcd_state();
// Forgets the LCD picture and counters (descriptors still open stay tracked).
void reset_lcd();

} // namespace boxsim
