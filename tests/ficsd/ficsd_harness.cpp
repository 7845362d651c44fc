// ficsd over real sockets: child process and loopback clients.
#include "ficsd_harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

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
    // "ficsd: listening on 127.0.0.1:PORT\n"
    std::string text;
    char c;
    pollfd p{out[0], POLLIN, 0};
    while (err == 0 && text.find('\n') == std::string::npos &&
           ::poll(&p, 1, int(kPatience.count())) > 0 && ::read(out[0], &c, 1) == 1)
        text += c;
    ::close(out[0]);
    const std::string prefix = "ficsd: listening on 127.0.0.1:";
    if (err != 0 || text.rfind(prefix, 0) != 0)
        throw std::runtime_error("ficsd did not start: " + std::string(std::strerror(err)) + text);
    port_ = std::stoi(text.substr(prefix.size()));
}

FicsdProcess::~FicsdProcess()
{
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "ficsd ended with " << status;
}

Client::Client(int port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        throw std::runtime_error(std::string("connect: ") + std::strerror(errno));
}

void Client::send(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        ASSERT_GT(n, 0) << "send: " << std::strerror(errno);
        bytes.remove_prefix(size_t(n));
    }
}

bool Client::fill(std::chrono::steady_clock::time_point until)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    pollfd p{fd_.get(), POLLIN, 0};
    char chunk[65536];
    ssize_t n = 0;
    if (left.count() > 0 && ::poll(&p, 1, int(left.count())) > 0 &&
        (n = ::recv(fd_.get(), chunk, sizeof chunk, 0)) > 0)
        buffer_.append(chunk, size_t(n));
    return n > 0;
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

std::string Client::login_guest()
{
    read_until("login: ");
    line("guest");
    const std::string offer = read_until("\":");
    const size_t at = offer.rfind('"', offer.size() - 3);
    line("");
    read_until("fics% ");
    ask("style 12");
    const std::string name = offer.substr(at + 1, offer.size() - at - 3);
    EXPECT_TRUE(name.size() == 9 &&
                name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ", 5) == std::string::npos)
        << name;
    return name;
}

} // namespace ficsd_test
