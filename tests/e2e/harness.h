// End-to-end harness: boxsim running the real plugin as a child process, against a server the test
// scripts on a loopback socket or a ficsd child; screenshots read back as palette indices and text.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>
#include <unistd.h>

namespace e2e {

using namespace std::chrono_literals;
using Duration = std::chrono::milliseconds;

// A whole file's bytes ("" when it cannot be read).
std::string read_file(const std::filesystem::path& path);
// Asks `done` every 20 ms until it holds (true) or the timeout passes (false).
bool wait_until(Duration timeout, const std::function<bool()>& done);

// The build's directory: boxsim, vitrel3.so, libgx9.so, ficsd, alloc_counter.so.
inline const std::filesystem::path kBuildDir = VITREL_BINARY_DIR;

// A server the test scripts on 127.0.0.1 (a free port), one connection at a time.
class ScriptedServer {
  public:
    ScriptedServer();
    ~ScriptedServer()
    {
        close();
        ::close(listen_fd_);
    }
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int port() const { return port_; }
    // Waits for the next connection, which then replaces the current one (closed on this side).
    bool accept(Duration timeout = 60s);
    // Reads until all the current connection sent contains text; accepts one if none is open.
    bool wait_for_received(std::string_view text, Duration timeout = 60s);
    const std::string& received() const { return received_; }
    bool send(std::string_view bytes); // false when the connection is gone
    void close(bool reset = false);    // the client sees the end of the stream, or a reset

  private:
    int listen_fd_ = -1;
    int fd_ = -1;
    int port_ = 0;
    std::string received_;
};

// A child process in a fresh directory that holds its output (kept when the test failed).
class Child {
  public:
    Child(std::vector<std::string> argv, const std::vector<std::string>& environment);
    ~Child(); // kills the child if it still runs
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    int wait(Duration timeout = 120s); // the exit status (128 + signal if killed), -1 on timeout
    pid_t pid() const { return pid_; }
    const std::filesystem::path& dir() const { return dir_; }
    std::string output() const;

  private:
    pid_t pid_ = -1;
    int status_ = -1;
    std::filesystem::path dir_;
};

// boxsim --headless with the real plugin and args, shots in dir(); a wrapper program (valgrind
// and its options) first on the command line when given.
class BoxProcess : public Child {
  public:
    explicit BoxProcess(const std::vector<std::string>& args,
                        const std::vector<std::string>& environment = {},
                        const std::vector<std::string>& wrapper = {});
    std::filesystem::path shot(const std::string& name) const { return dir() / (name + ".png"); }
};

// boxsim's arguments for a server on 127.0.0.1: a guest login, or alice with her password.
std::vector<std::string> box_args(int port, const std::string& script);
std::vector<std::string> alice_args(int port, const std::string& script);
// What the plugin sends on connecting as alice, before the server says anything.
constexpr std::string_view kLogin = "\ralice\r\nsecret\r\nstyle 12\r\nset width 73\r\n";

// ficsd on a free port, logging every line its clients send. port() is 0 when it did not start.
class FicsdProcess : public Child {
  public:
    explicit FicsdProcess(const std::vector<std::string>& args);
    int port() const { return port_; }
    void stop(); // SIGTERM, then waits for the exit
    // One "NAME: LINE" per line a client sent ("#ID" before a name is known).
    std::string received() const;
    bool wait_for_received(std::string_view text, Duration timeout = 60s) const;

  private:
    int port_ = 0;
};

// A TV screenshot (indexed PNG): palette indices and bitmap-font text.
class Shot {
  public:
    explicit Shot(const std::filesystem::path& png);
    bool ok() const { return !pixels_.empty(); }
    unsigned char pixel(int x, int y) const;
    std::string text(int x, int y, int length, int advance = 10) const;
    int count(int x, int y, int width, int height, unsigned char color) const;

  private:
    std::vector<unsigned char> pixels_;
    int width_ = 0;
    int height_ = 0;
};

// A style-12 board line of alice against bob (no line end); ranks from rank 8, "-" for empty.
struct BoardLine {
    std::string ranks[8] = {"rnbqkbnr", "pppppppp", "--------", "--------",
                            "--------", "--------", "PPPPPPPP", "RNBQKBNR"};
    char to_move = 'W';
    long game = 1;
    std::string white = "alice";
    int relation = 1; // 1: the user's move, -1: the opponent's
    long white_seconds = 300;
    long black_seconds = 299;
    std::string move = "none"; // "P/e2-e4"
    std::string text() const;
};
// A scripted game of alice (White) against bob: the announcement and its first board line.
std::string game_start();

// Key-script pieces (boxsim commands, each ending in ";").
std::string expect(int x, int y, std::string_view text, int advance = 10,
                   std::string_view timeout = "60s");
// The clock panel of game_start(), and the telnet row that ends ficsd's login.
const std::string kClockShown = expect(470, 109, "  05:00  <-->  04:59  ");
const std::string kLoggedIn = expect(30, 511, "Width set to 73.", 9);
// After ficsd's login: the picker on "seek" (its 32nd row: three jumps of ten and a step), sent.
const std::string kSeekByPicker =
    kLoggedIn + "press YELLOW; press RIGHT; press RIGHT; press RIGHT; press DOWN;" +
    expect(100, 532, "seek ") + "press OK;";
// Waits for the clock panel's "Last move:" of a move ("P/e2-e4").
const auto last_move = [](std::string_view move) {
    return expect(470, 164, "Last move:  " + std::string(move));
};
// The plugin answers keys: the help screen, then the board view (White's file letters). The main
// loop drops a press that comes while it is busy with the one before: MUTE takes that place.
const std::string kStillAnswers = "press HELP;" + expect(120, 430, "EXIT   -> exit game") +
                                  "press MUTE; press HELP;" + expect(79, 430, "a");

// The move cursor of one plugin, as the test moves it (it starts on column 4, row 2).
struct BoardCursor {
    bool white = true; // false: the board is turned (column 1 is file h, row 1 is rank 8)
    int col = 4;
    int row = 2;
    // Keys for a move ("e2e4", no promotion letter): waits for the cursor (the user's turn), then
    // after each arrow for the cursor on its square, after OK on the piece for its marker.
    std::string move(std::string_view coordinates, std::string_view timeout = "60s");
};

} // namespace e2e
