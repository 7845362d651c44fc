// End-to-end harness: scripted server, boxsim and ficsd children, screenshots, key scripts.
#include "tests/e2e/harness.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "sim/screentext/core/png_io.h"
#include "sim/screentext/core/text_reader.h"

namespace e2e {

std::string read_file(const std::filesystem::path& path)
{
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

bool wait_until(Duration timeout, const std::function<bool()>& done)
{
    for (auto deadline = std::chrono::steady_clock::now() + timeout; !done();
         std::this_thread::sleep_for(20ms))
        if (std::chrono::steady_clock::now() > deadline)
            return false;
    return true;
}

ScriptedServer::ScriptedServer()
{
    listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), length) < 0 ||
        listen(listen_fd_, 8) < 0 ||
        getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) < 0)
        throw std::runtime_error(std::string("listening socket: ") + strerror(errno));
    port_ = ntohs(address.sin_port);
}

bool ScriptedServer::accept(Duration timeout)
{
    pollfd listener = {listen_fd_, POLLIN, 0};
    if (poll(&listener, 1, int(timeout.count())) != 1)
        return false;
    close();
    received_.clear();
    fd_ = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    return fd_ >= 0;
}

bool ScriptedServer::wait_for_received(std::string_view text, Duration timeout)
{
    if (fd_ < 0 && !accept(timeout))
        return false;
    return wait_until(timeout, [&] {
        char buffer[4096];
        for (pollfd client = {fd_, POLLIN, 0}; poll(&client, 1, 0) == 1;) {
            ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n <= 0)
                break;
            received_.append(buffer, n);
        }
        return received_.find(text) != std::string::npos;
    });
}

bool ScriptedServer::send(std::string_view bytes)
{
    while (fd_ >= 0 && !bytes.empty()) {
        ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0 && errno != EINTR)
            return false;
        bytes.remove_prefix(std::max<ssize_t>(n, 0));
    }
    return bytes.empty();
}

void ScriptedServer::close(bool reset)
{
    linger lingering = {reset, 0}; // on: the close resets the connection
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &lingering, sizeof lingering);
    ::close(fd_); // with none open, both fail on -1 and change nothing
    fd_ = -1;
}

Child::Child(std::vector<std::string> argv, const std::vector<std::string>& environment)
{
    char pattern[] = "/tmp/vitrel-e2e-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error(std::string("mkdtemp: ") + strerror(errno));
    dir_ = pattern;
    std::vector<char*> raw;
    for (std::string& a : argv)
        raw.push_back(a.data());
    raw.push_back(nullptr);
    if ((pid_ = fork()) < 0)
        throw std::runtime_error(std::string("fork: ") + strerror(errno));
    if (pid_ == 0) {
        int out = chdir(pattern) == 0 ? open("output.log", O_WRONLY | O_CREAT, 0644) : -1;
        dup2(out, 1);
        dup2(out, 2);
        dup2(open("/dev/null", O_RDONLY), 0);
        for (const std::string& entry : environment)
            putenv(const_cast<char*>(entry.c_str()));
        execvp(raw[0], raw.data());
        _exit(127);
    }
}

Child::~Child()
{
    if (pid_ > 0 && kill(pid_, SIGKILL) == 0)
        waitpid(pid_, nullptr, 0);
    if (!testing::Test::HasFailure())
        std::filesystem::remove_all(dir_);
}

int Child::wait(Duration timeout)
{
    int status = 0;
    if (pid_ > 0 && !wait_until(timeout, [&] { return waitpid(pid_, &status, WNOHANG) == pid_; }))
        return -1;
    if (pid_ > 0)
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    pid_ = -1;
    return status_;
}

std::string Child::output() const
{
    return read_file(dir_ / "output.log");
}

namespace {

std::vector<std::string> joined(std::vector<std::string> front,
                                const std::vector<std::string>& back)
{
    front.insert(front.end(), back.begin(), back.end());
    return front;
}

} // namespace

BoxProcess::BoxProcess(const std::vector<std::string>& args,
                       const std::vector<std::string>& environment,
                       const std::vector<std::string>& wrapper)
    : Child(joined(joined(wrapper, {(kBuildDir / "boxsim").string(), "--headless", "--plugin",
                                    (kBuildDir / "vitrel3.so").string(), "--shot-dir", "."}),
                   args),
            environment)
{
}

std::vector<std::string> box_args(int port, const std::string& script)
{
    return {"--server", "127.0.0.1:" + std::to_string(port), "--timeout", "200", "-e", script};
}

std::vector<std::string> alice_args(int port, const std::string& script)
{
    return joined({"--handle", "alice", "--password", "secret"}, box_args(port, script));
}

FicsdProcess::FicsdProcess(const std::vector<std::string>& args)
    : Child(joined({(kBuildDir / "ficsd").string(), "--port", "0", "--log",
                    "received.log"},
                   args),
            {})
{
    // It prints "ficsd: listening on 127.0.0.1:PORT" once it listens.
    constexpr std::string_view kListening = "ficsd: listening on 127.0.0.1:";
    wait_until(60s, [&] {
        std::string text = output();
        size_t at = text.find(kListening);
        if (at != std::string::npos && text.find('\n', at) != std::string::npos)
            port_ = std::stoi(text.substr(at + kListening.size()));
        return port_ > 0 || wait(0ms) >= 0;
    });
}

void FicsdProcess::stop()
{
    if (pid() > 0)
        kill(pid(), SIGTERM);
    wait(20s);
}

std::string FicsdProcess::received() const
{
    return read_file(dir() / "received.log");
}

bool FicsdProcess::wait_for_received(std::string_view text, Duration timeout) const
{
    return wait_until(timeout, [&] { return received().find(text) != std::string::npos; });
}

Shot::Shot(const std::filesystem::path& png)
{
    screentext::IndexedImage image;
    if (screentext::read_indexed_png(png.string(), image).empty()) {
        pixels_ = std::move(image.pixels);
        width_ = image.width;
        height_ = image.height;
    }
}

unsigned char Shot::pixel(int x, int y) const
{
    bool inside = x >= 0 && y >= 0 && x < width_ && y < height_;
    return inside ? pixels_[size_t(y) * width_ + x] : 0;
}

std::string Shot::text(int x, int y, int length, int advance) const
{
    return screentext::read_text(pixels_.data(), width_, height_, x, y, length, advance);
}

int Shot::count(int x, int y, int width, int height, unsigned char color) const
{
    int n = 0;
    for (int row = y; row < y + height; ++row)
        for (int col = x; col < x + width; ++col)
            n += pixel(col, row) == color;
    return n;
}

std::string BoardLine::text() const
{
    std::ostringstream line;
    line << "<12>";
    for (const std::string& rank : ranks)
        line << ' ' << rank;
    line << ' ' << to_move << " -1 1 1 1 1 0 " << game << ' ' << white << " bob " << relation
         << " 5 0 39 39 " << white_seconds << ' ' << black_seconds << " 1 " << move
         << " (0:00) none 0 1 0";
    return line.str();
}

std::string game_start()
{
    return "\n\r**** Starting FICS session as alice ****\n\rfics% "
           "\n\rCreating: alice (1500) bob (1600) unrated blitz 5 0\n\r"
           "{Game 1 (alice vs. bob) Creating unrated blitz match.}\n\r" +
           BoardLine().text() + "\n\rfics% ";
}

std::string expect(int x, int y, std::string_view text, int advance, std::string_view timeout)
{
    return "expect " + std::to_string(x) + " " + std::to_string(y) + " \"" + std::string(text) +
           "\" " + std::to_string(advance) + " " + std::string(timeout) + ";";
}

std::string BoardCursor::move(std::string_view coordinates, std::string_view timeout)
{
    // Steps go the shorter way round (1..8, wrapping). The cursor's bar has a blue (13) outline 9
    // pixels in and 22 down from the square's corner; the selection marker's frame is blue 2 pixels
    // in from it.
    auto blue_at = [&](int dx, int dy, std::string_view wait) {
        return "expect-pixel " + std::to_string(60 + (col - 1) * 48 + dx) + " " +
               std::to_string(429 - row * 48 + dy) + " 13 " + std::string(wait) + ";";
    };
    std::string keys = blue_at(9, 22, timeout);
    auto step = [&](int& at, int to, const char* forward, const char* back) {
        for (int ahead; (ahead = ((to - at) % 8 + 8) % 8) != 0;) {
            at = (at + (ahead <= 4 ? 1 : -1) + 7) % 8 + 1;
            keys +=
                std::string("press ") + (ahead <= 4 ? forward : back) + ";" + blue_at(9, 22, "20s");
        }
    };
    for (int end : {0, 2}) {
        int file = coordinates[end] - 'a' + 1;
        int rank = coordinates[end + 1] - '0';
        step(col, white ? file : 9 - file, "RIGHT", "LEFT");
        step(row, white ? rank : 9 - rank, "UP", "DOWN");
        keys += "press OK;" + (end == 0 ? blue_at(2, 2, "20s") : "");
    }
    return keys;
}

} // namespace e2e
