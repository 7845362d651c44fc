// The key script of a headless run: the commands, their parser and the durations they take.
//
// Commands are separated by ";" or new lines; "#" starts a comment that runs to the end of the
// line; text in double quotes is one word and may hold ";" and "#".
//   press KEY                   KEY held 150 ms, then released, then 150 ms for the plugin
//   hold KEY DURATION           KEY held that long, then released
//   type DIGITS...              each digit pressed once ("type 2 2 3" or "type 223")
//   wait DURATION               e.g. 300ms, 2s, 1.5s
//   shot NAME                   NAME.png (TV) and NAME-lcd.png (LCD) in the shot directory
//   restart                     the box asks the plugin to start over
//   exit                        presses EXIT; nothing may follow it
//   expect X Y "TEXT" [ADVANCE] [TIMEOUT]
//                               waits until the bitmap-font text at (X, Y) reads TEXT (cells
//                               ADVANCE pixels apart, 10 by default; TIMEOUT 10s by default)
//   expect-pixel X Y INDEX [TIMEOUT]   waits until TV pixel (X, Y) has palette index INDEX
//   expect-lcd X Y on|off [TIMEOUT]    waits until LCD pixel (X, Y) is lit (on) or dark (off)
// KEY is a digit or LEFT RIGHT UP DOWN OK RED YELLOW BLUE HELP MUTE EXIT.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace boxsim {

using Millis = std::chrono::milliseconds;

constexpr Millis kPressHold{150}; // how long `press` holds a key
constexpr Millis kPressGap{150};  // pause after every release: the plugin polls ~100 ms
constexpr Millis kExpectTimeout{10000};
constexpr int kExpectAdvance = 10;
constexpr Millis kLongestDuration{24LL * 3600 * 1000};

enum class CommandKind {
    Press,
    Hold,
    Type,
    Wait,
    Shot,
    Restart,
    Exit,
    Expect,
    ExpectPixel,
    ExpectLcd
};

struct Command {
    CommandKind kind = CommandKind::Wait;
    int line = 0;                 // where the command starts in the script, from 1
    std::vector<uint8_t> keys;    // Press and Hold: one key; Type: one per digit
    Millis duration{0};           // Hold, Wait; the timeout of the Expect kinds
    std::string word;             // Shot: the name; Expect: the text
    int x = 0, y = 0;             // Expect kinds
    int advance = kExpectAdvance; // Expect
    int value = 0;                // ExpectPixel: palette index; ExpectLcd: 1 lit, 0 dark
};

struct ScriptError {
    int line = 0;
    std::string message;
};

struct ParsedScript {
    std::vector<Command> commands;
    std::optional<ScriptError> error; // set: the script is rejected as a whole
};

ParsedScript parse_script(std::string_view text);

// "300ms", "2s", "1.5s" (with `bare_unit_seconds`, also "5" and "0.5" as seconds). Rejects
// negative values, other units and anything above kLongestDuration.
std::optional<Millis> parse_duration(std::string_view word, bool bare_unit_seconds = false);

} // namespace boxsim
