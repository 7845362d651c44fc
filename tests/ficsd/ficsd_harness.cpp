// Test harness for ficsd over real sockets: child process and loopback clients.
#include "ficsd_harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include <gtest/gtest.h>

extern char** environ;

namespace ficsd_test {

FicsdProcess::FicsdProcess(std::vector<std::string> args)
{
    args.insert(args.begin(), {FICSD_BINARY, "--port", "0"});
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe2: ") + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const int err = posix_spawn(&pid_, FICSD_BINARY, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (err != 0) {
        ::close(out[0]);
        throw std::runtime_error(std::string("posix_spawn " FICSD_BINARY ": ") +
                                 std::strerror(err));
    }
    // "ficsd: listening on 127.0.0.1:PORT\n"
    std::string text;
    char c;
    pollfd p{out[0], POLLIN, 0};
    while (text.find('\n') == std::string::npos && ::poll(&p, 1, int(kPatience.count())) > 0 &&
           ::read(out[0], &c, 1) == 1)
        text += c;
    ::close(out[0]);
    const std::string prefix = "ficsd: listening on 127.0.0.1:";
    if (text.rfind(prefix, 0) != 0)
        throw std::runtime_error("ficsd did not report its port: " + text);
    port_ = std::stoi(text.substr(prefix.size()));
}

FicsdProcess::~FicsdProcess()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        // A server that crashed fails the test that used it.
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "ficsd ended with status " << status;
    }
}

Client::Client(int port)
{
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        throw std::runtime_error(std::string("connect: ") + std::strerror(errno));
}

Client::~Client()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void Client::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void Client::send(std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        ASSERT_GT(n, 0) << "send: " << std::strerror(errno);
        bytes.remove_prefix(size_t(n));
    }
}

bool Client::fill(std::chrono::steady_clock::time_point until)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0)
        return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, int(left.count())) <= 0)
        return false;
    char chunk[65536];
    ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0)
        return false;
    buffer_.append(chunk, size_t(n));
    return true;
}

std::string Client::read_until(std::string_view text, std::chrono::milliseconds patience)
{
    const auto until = std::chrono::steady_clock::now() + patience;
    size_t at;
    while ((at = buffer_.find(text)) == std::string::npos) {
        if (!fill(until)) {
            ADD_FAILURE() << "waited in vain for \"" << text << "\"; received:\n" << buffer_;
            return std::exchange(buffer_, {});
        }
    }
    std::string got = buffer_.substr(0, at + text.size());
    buffer_.erase(0, at + text.size());
    return got;
}

std::string Client::read_for(std::chrono::milliseconds window)
{
    const auto until = std::chrono::steady_clock::now() + window;
    while (fill(until)) {
    }
    return std::exchange(buffer_, {});
}

bool Client::wait_closed(std::chrono::milliseconds patience)
{
    const auto until = std::chrono::steady_clock::now() + patience;
    while (std::chrono::steady_clock::now() < until) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0) {
            char chunk[4096];
            ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0)
                return true;
            buffer_.append(chunk, size_t(n));
        }
    }
    return false;
}

std::string Client::login_guest(bool style12)
{
    read_until("login: ");
    line("guest");
    const std::string greeting = read_until("\":");
    const size_t start = greeting.find("Logging you in as \"");
    if (start == std::string::npos) {
        ADD_FAILURE() << "no guest name in:\n" << greeting;
        return "";
    }
    const size_t name_at = start + std::strlen("Logging you in as \"");
    const std::string name = greeting.substr(name_at, greeting.find('"', name_at) - name_at);
    line("");
    read_until("fics% ");
    if (style12) {
        line("style 12");
        read_until("Style 12 set.\n\rfics% ");
    }
    return name;
}

void Client::login_registered(std::string_view handle, std::string_view password)
{
    read_until("login: ");
    line(handle);
    read_until("password: ");
    line(password);
    read_until("fics% ");
    line("style 12");
    read_until("Style 12 set.\n\rfics% ");
}

std::vector<std::string> board_fields(const std::string& line)
{
    std::vector<std::string> fields;
    const size_t at = line.find("<12> ");
    if (at == std::string::npos)
        return fields;
    std::istringstream words(line.substr(at + 5));
    std::string w;
    while (words >> w)
        fields.push_back(w);
    return fields;
}

std::string last_board_line(const std::string& text)
{
    const size_t at = text.rfind("<12> ");
    if (at == std::string::npos)
        return "";
    return text.substr(at, text.find("\n\r", at) - at);
}

} // namespace ficsd_test
