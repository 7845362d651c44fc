// End-to-end harness: a scripted chess server on a loopback socket, boxsim started as a child
// process running the real plugin, and screenshots read back.
#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace e2e {

using namespace std::chrono_literals;
using Duration = std::chrono::milliseconds;

// A server the test scripts: it accepts connections on 127.0.0.1 (any free port), records what
// each client sent, and sends what the test tells it to. Its own thread accepts and reads.
class ScriptedServer {
public:
    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int port() const { return port_; }
    // Number of connections accepted so far.
    int connections() const;
    bool wait_for_connections(int count, Duration timeout = 20s);
    // Waits until everything connection `index` has sent contains text (-1: the latest).
    bool wait_for_received(std::string_view text, Duration timeout = 20s, int index = -1);
    std::string received(int index = -1) const;
    // Sends bytes on connection `index` (-1: the latest). False when it is closed.
    bool send(std::string_view bytes, int index = -1);
    // Closes connection `index`: the client sees the end of the stream (or a reset).
    void close_client(int index = -1, bool reset = false);
    // Stops accepting: later connection attempts are refused.
    void stop_listening();
    // Text sent to every new connection as soon as it is accepted (given its index).
    void set_greeting(std::function<std::string(int index)> greeting);

private:
    struct Client {
        int fd = -1;
        std::string received;
        bool open = true;
    };
    void run();
    int resolve(int index) const;

    int listen_fd_ = -1;
    int port_ = 0;
    int wake_pipe_[2] = {-1, -1};
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Client> clients_;
    std::function<std::string(int)> greeting_;
    std::thread thread_;
};

// The paths of the build: boxsim, the plugin, the screen reader.
std::filesystem::path build_dir();

// A boxsim child process running headless with the real plugin.
class BoxProcess {
public:
    // Starts boxsim --headless --plugin <build>/vitrel3.so --shot-dir <fresh dir> plus args.
    // environment: extra "NAME=value" entries for the child.
    explicit BoxProcess(const std::vector<std::string>& args,
                        const std::vector<std::string>& environment = {});
    // The same, with boxsim run under a wrapper program: wrapper.argv comes first on the
    // command line (for example valgrind and its options), then boxsim and its arguments.
    struct Wrapper {
        std::vector<std::string> argv;
    };
    BoxProcess(const Wrapper& wrapper, const std::vector<std::string>& args,
               const std::vector<std::string>& environment = {});
    ~BoxProcess();  // kills the child if it still runs
    BoxProcess(const BoxProcess&) = delete;
    BoxProcess& operator=(const BoxProcess&) = delete;

    // Waits for the exit; returns the exit status, or -1 on timeout (the child is then killed).
    int wait(Duration timeout = 120s);
    pid_t pid() const { return pid_; }
    const std::filesystem::path& shot_dir() const { return shot_dir_; }
    std::filesystem::path shot(const std::string& name) const { return shot_dir_ / (name + ".png"); }
    std::string output() const;  // what boxsim printed (stdout and stderr)

private:
    pid_t pid_ = -1;
    int status_ = -1;
    bool reaped_ = false;
    std::filesystem::path shot_dir_;
};

// A TV screenshot (indexed PNG) read back: palette indices and bitmap-font text.
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

// A style-12 board line as a FICS server sends it (without line end), for the position given as
// eight ranks from rank 8 ("rnbqkbnr" ... "-" for empty squares) and the other fields.
struct BoardLine {
    std::string ranks[8] = {"rnbqkbnr", "pppppppp", "--------", "--------",
                            "--------", "--------", "PPPPPPPP", "RNBQKBNR"};
    char to_move = 'W';
    int game = 1;
    std::string white = "alice";
    std::string black = "bob";
    int relation = 1;
    int initial_minutes = 5;
    int increment = 0;
    int white_seconds = 300;
    int black_seconds = 300;
    int move_number = 1;
    std::string verbose_move = "none";
    std::string short_move = "none";
    int flip = 0;
    std::string text() const;
};

// A ficsd child on 127.0.0.1, started with --log so that every line its clients send can be
// read back. Port 0 picks a free port (read from its "ficsd: listening on 127.0.0.1:PORT" line);
// a given port lets a new server take the place of one that was stopped.
class FicsdProcess {
public:
    explicit FicsdProcess(const std::vector<std::string>& args, int port = 0);
    ~FicsdProcess();  // stops the server if it still runs
    FicsdProcess(const FicsdProcess&) = delete;
    FicsdProcess& operator=(const FicsdProcess&) = delete;

    // 0 when the server did not come up (output() says why).
    int port() const { return port_; }
    // SIGKILL when hard (connections are reset by the kernel), else SIGTERM; waits for the exit.
    void stop(bool hard = false);
    // Every line the clients sent, one "NAME: LINE" per line ("#ID" before a name is known).
    std::string received() const;
    bool wait_for_received(std::string_view text, Duration timeout = 60s) const;
    // Names of the guests the server logged in, in the order of their first line.
    std::vector<std::string> guests() const;
    std::string output() const;  // what ficsd printed (stdout and stderr)

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::filesystem::path dir_;
};

// Key-script pieces for the plugin's dialogs and board (boxsim commands, ";"-separated).
// The command picker's rows, in the order the plugin lists them.
int picker_row(std::string_view command_word);
// Presses that take the picker from row `from` to row `to` (shortest way, with its wrapping).
std::string picker_keys(int from, int to);
// Multi-tap presses for text (upper-case letters, digits, space, "-"), RIGHT between two
// characters of the same key; no OK.
std::string multitap_keys(std::string_view text);

// The move cursor of one plugin, tracked by the test as the plugin moves it (starts on (4, 2)).
struct BoardCursor {
    bool white = true;  // false: the board is turned (column 1 is file h, row 1 is rank 8)
    int col = 4;
    int row = 2;
    // Keys for a move in coordinate notation ("e2e4"): waits until the cursor shows (the
    // user's turn), steps to the piece, OK, steps to the target, OK; each OK only once the
    // cursor is seen on its square. A promotion letter is not typed: the picker follows.
    std::string move(std::string_view coordinates, const std::string& timeout = "60s");
    // The square's screen column and row for this side.
    std::pair<int, int> square(std::string_view name) const;
    // A pixel of the cursor's outline on a square (column, row) and the expect that waits for it.
    static std::pair<int, int> outline_pixel(int col, int row);
    std::string expect_cursor(const std::string& timeout) const;
};

// The small telnet window's rows, oldest first (y 457, 475, 493, 511; 73 cells, advance 9).
constexpr int kTelnetRowY[] = {457, 475, 493, 511};
std::vector<std::string> telnet_rows(const Shot& shot);
// The y of the newest row that contains text, or -1.
int telnet_row_with(const Shot& shot, std::string_view text);

}  // namespace e2e
