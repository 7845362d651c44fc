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

}  // namespace e2e
