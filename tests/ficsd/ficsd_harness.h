// ficsd over real sockets: the ficsd binary on a free port as a child process, clients that read
// until a text arrives, and rooms of guests whose conversations are written as tables.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/unique_fd.h"

namespace ficsd_test {

using namespace std::chrono_literals;

// Generous: a test waits for what it expects, and only a broken server makes it wait this long.
constexpr std::chrono::milliseconds kPatience = 10s;

class FicsdProcess {
  public:
    // Starts ficsd with "--port 0" and the given arguments and reads the port it prints.
    explicit FicsdProcess(std::vector<std::string> args = {"--no-computer"});
    // Stops the server; one that crashed fails the test.
    ~FicsdProcess();
    FicsdProcess(const FicsdProcess&) = delete;
    FicsdProcess& operator=(const FicsdProcess&) = delete;

    int port() const { return port_; }
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int port_ = 0;
};

class Client {
  public:
    explicit Client(int port);
    void send(std::string_view bytes);
    void line(std::string_view text) { send(std::string(text) + "\r\n"); }
    // Reads until `text` has arrived; returns everything up to and including it and keeps the
    // rest. Fails the test (and returns what came) on timeout.
    std::string read_until(std::string_view text, std::chrono::milliseconds patience = kPatience);
    // Sends a line and returns the reply up to the prompt.
    std::string ask(std::string_view text)
    {
        line(text);
        return read_until("fics% ");
    }
    // Everything that arrives within the window (to see that nothing else came).
    std::string read_for(std::chrono::milliseconds window);
    bool wait_closed();
    void close() { fd_.reset(); }
    // Logs in as a guest, sets style 12 and returns the generated name.
    std::string login_guest();

  private:
    bool fill(std::chrono::steady_clock::time_point until);
    sim::UniqueFd fd_;
    std::string buffer_;
};

// One step of a conversation: guest `who` sends `line` (nothing when it is empty), then reads
// up to its next prompt, which must contain `expect`. "{0}", "{1}", ... stand for the guests'
// names in both texts.
struct Step {
    int who;
    std::string line;
    std::string expect;
};

// A server and guests logged in with style 12.
class Room {
  public:
    explicit Room(int guests, std::vector<std::string> args = {"--no-computer"});
    // Runs the steps; returns the text the last one read.
    std::string run(const std::vector<Step>& steps);
    // Guest 0 challenges guest 1, who accepts: a game with guest 0 as White.
    void start_game(const std::string& terms = "5 0");
    // Moves played in turn, `first` moving first; returns the mover's last reply.
    std::string play(int first, std::string_view moves);
    std::string names(std::string text) const;
    Client& operator[](int who) { return *guests[size_t(who)]; }

    FicsdProcess server;
    std::vector<std::unique_ptr<Client>> guests;
    std::vector<std::string> name;
};

// The fields after "<12> " of the last board line in the text (field 0 is rank 8).
std::vector<std::string> board_fields(const std::string& text);

} // namespace ficsd_test
