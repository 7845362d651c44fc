// Text framing between ficsd and a client: input bytes cut into lines (telnet commands removed,
// length bounded) and output lines wrapped at the client's width with LF CR line ends.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ficsd {

constexpr std::string_view kLineEnd = "\n\r";
constexpr std::string_view kPrompt = "fics% ";
constexpr std::string_view kContinuation = "\\   ";
constexpr int kDefaultWidth = 79;
constexpr int kMinWidth = 32;
constexpr int kMaxWidth = 240;

// Telnet bytes the server sends around a password.
constexpr std::string_view kWillEcho = "\xff\xfb\x01";
constexpr std::string_view kWontEcho = "\xff\xfc\x01";

// Cuts a client's byte stream into lines. A line ends at LF; CR bytes are ignored, telnet
// commands are removed, other control bytes and bytes above 126 are dropped, a tab becomes a
// space. A line longer than kMaxInputLine is cut there and the rest of it, up to its LF, dropped.
class LineReader {
  public:
    static constexpr size_t kMaxInputLine = 1024;

    // Adds received bytes; complete lines are appended to `lines`.
    void feed(std::string_view bytes, std::vector<std::string>& lines);

  private:
    enum class Telnet { Data, Command, Option, Subnegotiation, SubnegotiationCommand };
    std::string partial_;
    Telnet telnet_ = Telnet::Data;
};

// Wraps one line at `width` columns: it breaks after the last space that fits (or at the width
// when a word is longer), and starts every continuation with "\   ". Returns the line ends too.
std::string wrap_line(std::string_view line, int width);

} // namespace ficsd
