// Reads boxsim's command line into Options; every mistake gets its own message.
#include "sim/boxsim/options.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <string_view>
#include <utility>

namespace boxsim {
namespace {

class UsageError {
  public:
    explicit UsageError(std::string message) : message_(std::move(message)) {}
    const std::string& message() const { return message_; }

  private:
    std::string message_;
};

std::string read_file(const std::string& option, const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw UsageError(option + ": cannot read '" + path + "'");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Millis seconds_option(const std::string& option, const std::string& value)
{
    const auto d = parse_duration(value, true);
    if (!d || d->count() == 0)
        throw UsageError(option + ": '" + value + "' is not a positive number of seconds");
    return *d;
}

// Values of the served configuration are single tokens to the plugin's reader.
void check_config_word(const std::string& option, const std::string& value)
{
    for (const char c : value)
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f')
            throw UsageError(option + ": '" + value + "' must not contain white space");
}

struct ServerAddress {
    std::string host;
    int port = 0;
};

ServerAddress server_option(const std::string& value)
{
    const size_t colon = value.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == value.size())
        throw UsageError("--server: expected HOST:PORT, not '" + value + "'");
    ServerAddress address{value.substr(0, colon), 0};
    const std::string_view port = std::string_view(value).substr(colon + 1);
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), address.port);
    if (ec != std::errc{} || end != port.data() + port.size() || address.port < 1 ||
        address.port > 65535)
        throw UsageError("--server: '" + std::string(port) + "' is not a port from 1 to 65535");
    check_config_word("--server", address.host);
    return address;
}

class ArgumentList {
  public:
    ArgumentList(int argc, const char* const* argv) : argc_(argc), argv_(argv) {}

    bool next()
    {
        if (++index_ >= argc_)
            return false;
        const std::string_view arg = argv_[index_];
        const size_t equals = arg.find('=');
        if (arg.starts_with("--") && equals != std::string_view::npos) {
            name_ = arg.substr(0, equals);
            inline_value_ = arg.substr(equals + 1);
        } else {
            name_ = arg;
            inline_value_.reset();
        }
        return true;
    }
    const std::string& name() const { return name_; }
    std::string value()
    {
        if (inline_value_)
            return *std::exchange(inline_value_, std::nullopt);
        if (index_ + 1 >= argc_)
            throw UsageError(name_ + ": needs a value");
        return argv_[++index_];
    }
    void no_value() const
    {
        if (inline_value_)
            throw UsageError(name_ + ": takes no value");
    }

  private:
    int argc_;
    const char* const* argv_;
    int index_ = 0;
    std::string name_;
    std::optional<std::string> inline_value_;
};

void append_script(Options& o, const std::string& text)
{
    if (o.script)
        o.script->append("\n");
    o.script = o.script.value_or("") + text;
}

} // namespace

std::string config_for_server(std::string_view host, int port, std::string_view handle,
                              std::string_view password)
{
    std::string text;
    text.append("icsHost=").append(host).append("\n");
    text.append("icsPort=").append(std::to_string(port)).append("\n");
    text.append("icsHandle=").append(handle).append("\n");
    text.append("icsPasswd=").append(password).append("\n");
    return text;
}

ParsedOptions parse_options(int argc, const char* const* argv, const std::filesystem::path& exe_dir)
{
    ParsedOptions parsed;
    Options& o = parsed.options;
    o.gx9 = exe_dir / "libgx9.so";
    o.plugin = exe_dir / "vitrel3.so";
    std::optional<ServerAddress> server;
    std::optional<std::string> handle, password, config_file;
    try {
        ArgumentList args(argc, argv);
        while (args.next()) {
            const std::string& name = args.name();
            if (name == "--help" || name == "-h") {
                o.help = true;
            } else if (name == "--plugin") {
                o.plugin = args.value();
            } else if (name == "--gx9") {
                o.gx9 = args.value();
            } else if (name == "--headless") {
                args.no_value();
                o.display = Display::Headless;
            } else if (name == "--window") {
                args.no_value();
                o.display = Display::Window;
            } else if (name == "--script") {
                const std::string path = args.value();
                append_script(o, read_file("--script", path));
            } else if (name == "-e") {
                append_script(o, args.value());
            } else if (name == "--shot-dir") {
                o.shot_dir = args.value();
                o.shot_dir_given = true;
            } else if (name == "--config") {
                config_file = args.value();
                o.config = read_file("--config", *config_file);
            } else if (name == "--server") {
                server = server_option(args.value());
            } else if (name == "--handle") {
                handle = args.value();
                check_config_word("--handle", *handle);
            } else if (name == "--password") {
                password = args.value();
                check_config_word("--password", *password);
            } else if (name == "--no-pig") {
                args.no_value();
                o.no_pig = true;
            } else if (name == "--duration") {
                o.duration = seconds_option("--duration", args.value());
            } else if (name == "--timeout") {
                o.timeout = seconds_option("--timeout", args.value());
            } else if (name == "--grace") {
                o.grace = seconds_option("--grace", args.value());
            } else {
                throw UsageError("unknown option '" + name + "' (boxsim --help lists them)");
            }
        }
        if (server && config_file)
            throw UsageError("--server and --config: choose one");
        if ((handle || password) && !server)
            throw UsageError("--handle and --password need --server HOST:PORT");
        if (server)
            o.config = config_for_server(server->host, server->port, handle.value_or("guest"),
                                         password.value_or(""));
    } catch (const UsageError& e) {
        parsed.error = e.message();
    }
    return parsed;
}

const char* help_text()
{
    return R"(Usage: boxsim [OPTION]...
The set-top box on a PC: loads the host library libgx9.so and a plugin, gives the plugin a
framebuffer, a remote control and a front-panel LCD, and calls its plugin_exec on a thread of
its own. The exit status is the plugin's result (a negative result -1 shows as 255).

Loading:
  --plugin PATH       the plugin (default: vitrel3.so beside boxsim)
  --gx9 PATH          the host library (default: libgx9.so beside boxsim)
  --no-pig            passes "no_pig" 1: the plugin must not use the live TV picture

Display:
  --window            a window (SDL2): TV picture, LCD and the key map
  --headless          no window: a key script drives the remote, shots record the screen
                      (the default when neither DISPLAY nor WAYLAND_DISPLAY is set)
  A script runs in both: in a window it presses the keys while the window shows the box.

Keys in the window:
  arrows  Enter = OK  0-9  F1/R = RED  F3/Y = YELLOW  F4/B = BLUE  H/F12 = HELP  M = MUTE
  Esc = EXIT  F5 = restart (the box asks the plugin to start over); closing the window
  presses EXIT.

The box's files:
  --config FILE       served as /var/mirlon/plugins/vitrel3.cfg
  --server HOST:PORT  serves a configuration for that server instead, with
  --handle H          the login handle (default guest) and
  --password P        the password (default empty)
  Without --config or --server the configuration file does not exist. /dev/omra/lcd0 is the
  LCD panel (requests 25 clear and 4117 mode, 960-byte frames). The PC's own /var/mirlon and
  /dev/omra are never touched; every other path passes through.

Scripts and shots:
  --script FILE       runs the key script in FILE
  -e TEXT             runs TEXT as a key script (may be repeated; after --script in order)
  --shot-dir DIR      where shots go (default: the current directory; created if missing)
  --duration SECONDS  without a script: how long the run lasts before EXIT (default 5)
  --timeout SECONDS   ends a run that outlives it: shot "timeout", EXIT pressed, and exit
                      status 124 (the plugin is given the grace period to return first)
  --grace SECONDS     how long the plugin may take to return after the box pressed EXIT on
                      its own: at the end of a run, for a timeout, a failed expect or a
                      closed window (default 5); a plugin still running then ends boxsim
                      with status 124 (shot "timeout" when none was taken yet)

  Commands, separated by ";" or new lines ("#" starts a comment):
    press KEY                  held 150 ms, then released, then a 150 ms pause
    hold KEY 2s                held that long
    type 2 2 3                 digits, one press each
    wait 300ms                 (units: ms or s)
    shot NAME                  NAME.png: the TV as an indexed PNG carrying the palette (a
                               pixel's index is the palette index the plugin drew; the live
                               picture is not painted into shots); NAME-lcd.png: the LCD,
                               1 bit per pixel, a lit pixel is 1
    restart                    the box asks the plugin to start over
    exit                       presses EXIT (a script without it presses EXIT at its end)
    expect X Y "TEXT" [ADVANCE] [TIMEOUT]
                               waits until the bitmap-font text at (X, Y) reads TEXT (cells
                               ADVANCE apart, default 10; timeout default 10s); if it never
                               does: shot "expect-failed", EXIT, exit status 90
    expect-pixel X Y INDEX [TIMEOUT]  waits for a palette index at a TV pixel (likewise 90)
    expect-lcd X Y on|off [TIMEOUT]   waits for an LCD pixel to be lit or dark (likewise 90)
  KEY: 0-9 LEFT RIGHT UP DOWN OK RED YELLOW BLUE HELP MUTE EXIT.
  When the plugin returns, a shot "final" is taken.

Signals sent to boxsim (SIGINT, SIGTERM, SIGPIPE, ...) go to the plugin's thread, as on a box:
the plugin's own handlers take them. End a run with EXIT, the window, or --timeout.

Exit status: the plugin's result modulo 256; 90 a failed expect; 124 a timeout or a plugin
that did not return after EXIT; 2 a usage or script error (with its line); 3 the box could
not be set up (library, plugin, memory file).
)";
}

} // namespace boxsim
