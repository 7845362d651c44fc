// ficsd over real sockets: the ficsd binary on a free port as a child process, and clients that
// read until a text arrives.
#pragma once

#include <sys/types.h>

#include <chrono>
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
    void close() { fd_.reset(); }
    // Logs in as a guest with style 12; returns the name given ("Guest" and four capitals).
    std::string login_guest();

  private:
    bool fill(std::chrono::steady_clock::time_point until);
    sim::UniqueFd fd_;
    std::string buffer_;
};

} // namespace ficsd_test
