// End-to-end harness: scripted server, boxsim child process, screenshots.
#include "tests/e2e/harness.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "sim/screentext/core/png_io.h"
#include "sim/screentext/core/text_reader.h"

namespace e2e {

namespace {

[[noreturn]] void fail(const char* call)
{
    throw std::runtime_error(std::string(call) + ": " + strerror(errno));
}

}  // namespace

// ---- ScriptedServer ------------------------------------------------------------------------------

ScriptedServer::ScriptedServer()
{
    listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0)
        fail("socket");
    int one = 1;
    setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0)
        fail("bind");
    if (listen(listen_fd_, 16) < 0)
        fail("listen");
    socklen_t length = sizeof address;
    if (getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) < 0)
        fail("getsockname");
    port_ = ntohs(address.sin_port);
    if (pipe2(wake_pipe_, O_CLOEXEC) < 0)
        fail("pipe2");
    thread_ = std::thread([this] { run(); });
}

ScriptedServer::~ScriptedServer()
{
    char byte = 'q';
    if (write(wake_pipe_[1], &byte, 1) < 0) {
    }
    thread_.join();
    for (Client& c : clients_)
        if (c.fd >= 0)
            close(c.fd);
    if (listen_fd_ >= 0)
        close(listen_fd_);
    close(wake_pipe_[0]);
    close(wake_pipe_[1]);
}

void ScriptedServer::run()
{
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<int> owners;  // client index per entry, -1 listener, -2 wake pipe
        fds.push_back({wake_pipe_[0], POLLIN, 0});
        owners.push_back(-2);
        {
            std::lock_guard lock(mutex_);
            if (listen_fd_ >= 0) {
                fds.push_back({listen_fd_, POLLIN, 0});
                owners.push_back(-1);
            }
            for (size_t i = 0; i < clients_.size(); ++i)
                if (clients_[i].open) {
                    fds.push_back({clients_[i].fd, POLLIN, 0});
                    owners.push_back(static_cast<int>(i));
                }
        }
        if (poll(fds.data(), fds.size(), 100) < 0 && errno != EINTR)
            return;
        for (size_t k = 0; k < fds.size(); ++k) {
            if (!fds[k].revents)
                continue;
            if (owners[k] == -2) {
                char byte;
                if (read(wake_pipe_[0], &byte, 1) == 1 && byte == 'q')
                    return;
                continue;
            }
            if (owners[k] == -1) {
                int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0) {
                    std::string hello;
                    {
                        std::lock_guard lock(mutex_);
                        clients_.push_back({fd, {}, true});
                        if (greeting_)
                            hello = greeting_(int(clients_.size()) - 1);
                        changed_.notify_all();
                    }
                    if (!hello.empty())
                        send(hello, -1);
                }
                continue;
            }
            char buffer[4096];
            ssize_t n = read(fds[k].fd, buffer, sizeof buffer);
            std::lock_guard lock(mutex_);
            Client& c = clients_[owners[k]];
            if (n > 0)
                c.received.append(buffer, n);
            else if (n == 0 || (errno != EINTR && errno != EAGAIN))
                c.open = false;
            changed_.notify_all();
        }
    }
}

int ScriptedServer::connections() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(clients_.size());
}

int ScriptedServer::resolve(int index) const
{
    return index < 0 ? static_cast<int>(clients_.size()) - 1 : index;
}

bool ScriptedServer::wait_for_connections(int count, Duration timeout)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return int(clients_.size()) >= count; });
}

bool ScriptedServer::wait_for_received(std::string_view text, Duration timeout, int index)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        int i = resolve(index);
        return i >= 0 && i < int(clients_.size()) &&
               clients_[i].received.find(text) != std::string::npos;
    });
}

std::string ScriptedServer::received(int index) const
{
    std::lock_guard lock(mutex_);
    int i = resolve(index);
    return i >= 0 && i < int(clients_.size()) ? clients_[i].received : std::string();
}

bool ScriptedServer::send(std::string_view bytes, int index)
{
    int fd;
    {
        std::lock_guard lock(mutex_);
        int i = resolve(index);
        if (i < 0 || i >= int(clients_.size()) || clients_[i].fd < 0)
            return false;
        fd = clients_[i].fd;
    }
    while (!bytes.empty()) {
        ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(n);
    }
    return true;
}

void ScriptedServer::close_client(int index, bool reset)
{
    std::lock_guard lock(mutex_);
    int i = resolve(index);
    if (i < 0 || i >= int(clients_.size()) || clients_[i].fd < 0)
        return;
    if (reset) {
        linger hard = {1, 0};
        setsockopt(clients_[i].fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    shutdown(clients_[i].fd, SHUT_RDWR);
    close(clients_[i].fd);
    clients_[i].fd = -1;
    clients_[i].open = false;
}

void ScriptedServer::set_greeting(std::function<std::string(int)> greeting)
{
    std::lock_guard lock(mutex_);
    greeting_ = std::move(greeting);
}

void ScriptedServer::stop_listening()
{
    std::lock_guard lock(mutex_);
    if (listen_fd_ >= 0)
        close(listen_fd_);
    listen_fd_ = -1;
}

// ---- BoxProcess ----------------------------------------------------------------------------------

std::filesystem::path build_dir()
{
    return VITREL_BINARY_DIR;
}

BoxProcess::BoxProcess(const std::vector<std::string>& args,
                       const std::vector<std::string>& environment)
    : BoxProcess(Wrapper{}, args, environment)
{
}

BoxProcess::BoxProcess(const Wrapper& wrapper, const std::vector<std::string>& args,
                       const std::vector<std::string>& environment)
{
    char pattern[] = "/tmp/vitrel-e2e-XXXXXX";
    if (!mkdtemp(pattern))
        fail("mkdtemp");
    shot_dir_ = pattern;
    std::vector<std::string> argv = {(build_dir() / "boxsim").string(),
                                     "--headless",
                                     "--plugin",
                                     (build_dir() / "vitrel3.so").string(),
                                     "--shot-dir",
                                     shot_dir_.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.insert(argv.begin(), wrapper.argv.begin(), wrapper.argv.end());
    std::string log = (shot_dir_ / "boxsim.log").string();
    pid_ = fork();
    if (pid_ < 0)
        fail("fork");
    if (pid_ == 0) {
        int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
        }
        for (const std::string& entry : environment)
            putenv(const_cast<char*>(entry.c_str()));
        int null = open("/dev/null", O_RDONLY);
        if (null >= 0)
            dup2(null, 0);
        std::vector<char*> raw;
        for (std::string& a : argv)
            raw.push_back(a.data());
        raw.push_back(nullptr);
        execv(raw[0], raw.data());
        _exit(127);
    }
}

BoxProcess::~BoxProcess()
{
    if (!reaped_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

int BoxProcess::wait(Duration timeout)
{
    if (reaped_)
        return status_;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            reaped_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return status_;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            reaped_ = true;
            status_ = -1;
            return status_;
        }
        std::this_thread::sleep_for(20ms);
    }
}

std::string BoxProcess::output() const
{
    std::ifstream in(shot_dir_ / "boxsim.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// ---- Shot ----------------------------------------------------------------------------------------

Shot::Shot(const std::filesystem::path& png)
{
    screentext::IndexedImage image;
    if (!screentext::read_indexed_png(png.string(), image).empty())
        return;
    pixels_ = std::move(image.pixels);
    width_ = image.width;
    height_ = image.height;
}

unsigned char Shot::pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return 0;
    return pixels_[static_cast<size_t>(y) * width_ + x];
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
            n += pixel(col, row) == color && col >= 0 && row >= 0 && col < width_ && row < height_;
    return n;
}

// ---- BoardLine -----------------------------------------------------------------------------------

std::string BoardLine::text() const
{
    std::ostringstream line;
    line << "<12>";
    for (const std::string& rank : ranks)
        line << ' ' << rank;
    line << ' ' << to_move << " -1 1 1 1 1 0 " << game << ' ' << white << ' ' << black << ' '
         << relation << ' ' << initial_minutes << ' ' << increment << " 39 39 " << white_seconds
         << ' ' << black_seconds << ' ' << move_number << ' ' << verbose_move << " (0:00) "
         << short_move << ' ' << flip << " 1 0";
    return line.str();
}

// ---- FicsdProcess --------------------------------------------------------------------------------

namespace {

std::string read_file(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

FicsdProcess::FicsdProcess(const std::vector<std::string>& args, int port)
{
    char pattern[] = "/tmp/vitrel-ficsd-XXXXXX";
    if (!mkdtemp(pattern))
        fail("mkdtemp");
    dir_ = pattern;
    std::vector<std::string> argv = {(build_dir() / "ficsd").string(), "--port",
                                     std::to_string(port), "--log",
                                     (dir_ / "received.log").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string out = (dir_ / "ficsd.out").string();
    pid_ = fork();
    if (pid_ < 0)
        fail("fork");
    if (pid_ == 0) {
        int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
        }
        int null = open("/dev/null", O_RDONLY);
        if (null >= 0)
            dup2(null, 0);
        std::vector<char*> raw;
        for (std::string& a : argv)
            raw.push_back(a.data());
        raw.push_back(nullptr);
        execv(raw[0], raw.data());
        _exit(127);
    }
    // The server prints its address once it listens; a loaded machine may take a while.
    constexpr std::string_view kListening = "ficsd: listening on 127.0.0.1:";
    auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
        std::string text = read_file(out);
        size_t at = text.find(kListening);
        if (at != std::string::npos && text.find('\n', at) != std::string::npos) {
            port_ = std::atoi(text.c_str() + at + kListening.size());
            return;
        }
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(20ms);
    }
}

FicsdProcess::~FicsdProcess()
{
    stop();
}

void FicsdProcess::stop(bool hard)
{
    if (pid_ <= 0)
        return;
    kill(pid_, hard ? SIGKILL : SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (waitpid(pid_, nullptr, WNOHANG) != pid_) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(10ms);
    }
    pid_ = -1;
}

std::string FicsdProcess::received() const
{
    return read_file(dir_ / "received.log");
}

bool FicsdProcess::wait_for_received(std::string_view text, Duration timeout) const
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (received().find(text) != std::string::npos)
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(50ms);
    }
}

std::vector<std::string> FicsdProcess::guests() const
{
    std::vector<std::string> names;
    std::istringstream lines(received());
    for (std::string line; std::getline(lines, line);) {
        std::string name = line.substr(0, line.find(':'));
        if (name.rfind("Guest", 0) == 0 &&
            std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    return names;
}

std::string FicsdProcess::output() const
{
    return read_file(dir_ / "ficsd.out");
}

// ---- Key-script pieces ---------------------------------------------------------------------------

namespace {

// The picker's rows as the plugin's command table lists them.
constexpr std::string_view kPickerRows[] = {
    "abort",    "accept", "adjourn", "alias",     "backward",  "best",     "clearmessages",
    "decline",  "draw",   "examine", "finger",    "flag",      "follow",   "forward",
    "games",    "help",   "history", "kibitz",    "match",     "messages", "moretime",
    "news",     "next",   "observe", "pending",   "play",      "rank",     "resign",
    "resume",   "say",    "set",     "seek",      "shout",     "sought",   "stored",
    "takeback", "tell",   "unalias", "unexamine", "unobserve", "unseek",   "variables",
    "whisper",  "who",    "withdraw"};
constexpr int kPickerLast = int(std::size(kPickerRows)) - 1;
static_assert(kPickerLast == 44);

// Multi-tap groups per digit key, in press order (the digit comes after the letters).
constexpr std::string_view kMultitap[] = {" 0",   "1 -",  "ABC2",  "DEF3", "GHI4",
                                          "JKL5", "MNO6", "PQRS7", "TUV8", "WXYZ9"};

// Steps along one axis of the board (1..8, wrapping): the number of steps forward (positive)
// or backward (negative) by the shorter way.
int axis_steps(int from, int to)
{
    int ahead = ((to - from) % 8 + 8) % 8;
    return ahead <= 4 ? ahead : ahead - 8;
}

int wrap(int position)
{
    return (position + 7) % 8 + 1;
}

}  // namespace

int picker_row(std::string_view command_word)
{
    for (int i = 0; i <= kPickerLast; ++i)
        if (kPickerRows[i] == command_word)
            return i;
    throw std::invalid_argument("no picker row " + std::string(command_word));
}

std::string picker_keys(int from, int to)
{
    // Breadth-first over the rows with the picker's four steps; the first path found is short.
    struct Step {
        const char* key;
        int (*next)(int);
    };
    static constexpr Step kSteps[] = {
        {"DOWN", [](int i) { return i + 1 > kPickerLast ? 0 : i + 1; }},
        {"UP", [](int i) { return i - 1 < 0 ? kPickerLast : i - 1; }},
        {"RIGHT", [](int i) { return i + 10 > kPickerLast ? 0 : i + 10; }},
        {"LEFT", [](int i) { return i - 10 < 0 ? kPickerLast : i - 10; }},
    };
    std::vector<std::string> path(kPickerLast + 1);
    std::vector<bool> seen(kPickerLast + 1, false);
    std::vector<int> queue = {from};
    seen[from] = true;
    for (size_t k = 0; k < queue.size(); ++k) {
        int row = queue[k];
        if (row == to)
            return path[row];
        for (const Step& step : kSteps) {
            int next = step.next(row);
            if (!seen[next]) {
                seen[next] = true;
                path[next] = path[row] + "press " + step.key + ";";
                queue.push_back(next);
            }
        }
    }
    throw std::logic_error("picker row unreachable");
}

std::string multitap_keys(std::string_view text)
{
    std::string keys;
    int last_key = -1;
    for (char c : text) {
        int key = -1;
        size_t presses = 0;
        for (int k = 0; k < 10 && key < 0; ++k)
            if (size_t at = kMultitap[k].find(c); at != std::string_view::npos) {
                key = k;
                presses = at + 1;
            }
        if (key < 0)
            throw std::invalid_argument(std::string("no multi-tap key for '") + c + "'");
        if (key == last_key)
            keys += "press RIGHT;";
        keys += "type";
        for (size_t i = 0; i < presses; ++i)
            keys += " " + std::to_string(key);
        keys += ";";
        last_key = key;
    }
    return keys;
}

std::pair<int, int> BoardCursor::square(std::string_view name) const
{
    int file = name[0] - 'a' + 1;
    int rank = name[1] - '0';
    return white ? std::pair{file, rank} : std::pair{9 - file, 9 - rank};
}

std::pair<int, int> BoardCursor::outline_pixel(int col, int row)
{
    // The horizontal bar's outline starts 9 pixels in and 22 down from the square's corner.
    return {60 + (col - 1) * 48 + 9, 429 - row * 48 + 22};
}

std::string BoardCursor::expect_cursor(const std::string& timeout) const
{
    auto [x, y] = outline_pixel(col, row);
    return "expect-pixel " + std::to_string(x) + " " + std::to_string(y) + " 13 " + timeout + ";";
}

// Each arrow waits for the cursor on its new square before the next key: the main loop drops
// a press that arrives while it is still busy with the one before.
std::string BoardCursor::move(std::string_view coordinates, const std::string& timeout)
{
    std::string keys = expect_cursor(timeout);
    bool selecting = true;
    for (std::string_view target : {coordinates.substr(0, 2), coordinates.substr(2, 2)}) {
        auto [c, r] = square(target);
        for (int steps = axis_steps(col, c); steps != 0; steps -= steps > 0 ? 1 : -1) {
            keys += steps > 0 ? "press RIGHT;" : "press LEFT;";
            col = wrap(col + (steps > 0 ? 1 : -1));
            keys += expect_cursor("20s");
        }
        for (int steps = axis_steps(row, r); steps != 0; steps -= steps > 0 ? 1 : -1) {
            keys += steps > 0 ? "press UP;" : "press DOWN;";
            row = wrap(row + (steps > 0 ? 1 : -1));
            keys += expect_cursor("20s");
        }
        keys += "press OK;";
        if (selecting) {
            // The marker frame, two pixels in from the square's corner, shows the selection.
            keys += "expect-pixel " + std::to_string(60 + (col - 1) * 48 + 2) + " " +
                    std::to_string(429 - row * 48 + 2) + " 13 20s;";
            selecting = false;
        }
    }
    return keys;
}

std::vector<std::string> telnet_rows(const Shot& shot)
{
    std::vector<std::string> rows;
    for (int y : kTelnetRowY)
        rows.push_back(shot.text(30, y, 73, 9));
    return rows;
}

int telnet_row_with(const Shot& shot, std::string_view text)
{
    for (int i = int(std::size(kTelnetRowY)) - 1; i >= 0; --i)
        if (shot.text(30, kTelnetRowY[i], 73, 9).find(text) != std::string::npos)
            return kTelnetRowY[i];
    return -1;
}

}  // namespace e2e
