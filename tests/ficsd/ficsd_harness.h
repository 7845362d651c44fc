// Test harness for ficsd over real sockets: the ficsd binary started on a free port as a child
// process, and line-oriented clients that read until a text arrives.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace ficsd_test {

using namespace std::chrono_literals;

// Generous: a test waits for what it expects, and only a broken server makes it wait this long.
constexpr std::chrono::milliseconds kPatience = 10s;

class FicsdProcess {
  public:
    // Starts ficsd with "--port 0" and the given extra arguments and reads the port it prints.
    explicit FicsdProcess(std::vector<std::string> args = {});
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
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    void send(std::string_view bytes);
    void line(std::string_view text) { send(std::string(text) + "\r\n"); }
    // Reads until `text` has arrived; returns everything received up to and including it and
    // keeps the rest for the next read. Fails the test (and returns what came) on timeout.
    std::string read_until(std::string_view text, std::chrono::milliseconds patience = kPatience);
    // Everything that arrives within the window (for checking that nothing else came).
    std::string read_for(std::chrono::milliseconds window);
    // True when the server closed the connection within the patience.
    bool wait_closed(std::chrono::milliseconds patience = kPatience);
    // Closes the connection as a client that goes away would.
    void close();

    // Logs in as a guest and returns the generated name; the session ends on a "fics% " prompt.
    std::string login_guest(bool style12 = true);
    // Logs in with a registered handle (style 12 set).
    void login_registered(std::string_view handle, std::string_view password);

  private:
    bool fill(std::chrono::steady_clock::time_point until);

    int fd_ = -1;
    std::string buffer_;
};

// The fields of a style 12 line after "<12> " (field 0 is the first rank string).
std::vector<std::string> board_fields(const std::string& line);
// The last complete "<12> " line in the text.
std::string last_board_line(const std::string& text);

} // namespace ficsd_test
