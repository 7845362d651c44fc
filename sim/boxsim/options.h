// boxsim's command line: what to load, how to run, what the box serves, and its help text.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/boxsim/script.h"

namespace boxsim {

constexpr Millis kDefaultDuration{5000}; // headless run without a script
constexpr Millis kDefaultGrace{5000};    // after the box presses EXIT on its own

enum class Display { Automatic, Window, Headless };

struct Options {
    std::filesystem::path gx9;    // default: libgx9.so beside boxsim
    std::filesystem::path plugin; // default: vitrel3.so beside boxsim
    Display display = Display::Automatic;
    std::optional<std::string> script; // the text of --script FILE and -e TEXT, in order
    std::filesystem::path shot_dir = ".";
    bool shot_dir_given = false;
    std::optional<std::string> config; // served at the configuration path; none: no file
    bool no_pig = false;
    Millis duration = kDefaultDuration;
    std::optional<Millis> timeout;
    Millis grace = kDefaultGrace;
    bool help = false;
};

struct ParsedOptions {
    Options options;
    std::string error; // non-empty: a usage error, to be reported with exit status 2
};

// argv as main receives it; `exe_dir` is where boxsim itself lies. Reads the files named by
// --config and --script.
ParsedOptions parse_options(int argc, const char* const* argv,
                            const std::filesystem::path& exe_dir);

const char* help_text();

// The configuration text served for `--server HOST:PORT --handle H --password P`.
std::string config_for_server(std::string_view host, int port, std::string_view handle,
                              std::string_view password);

} // namespace boxsim
