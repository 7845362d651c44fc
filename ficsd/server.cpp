// The ficsd server: the poll loop, output with prompts, the login flow and user lookup.
#include "ficsd/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace ficsd {
namespace {

// A client that stops reading is dropped once this much output waits for it.
constexpr size_t kMaxPendingOutput = 4 << 20;
constexpr size_t kReadChunk = 16384;

std::atomic<bool> g_stop{false};

std::runtime_error system_failure(const std::string& call)
{
    return std::runtime_error(call + ": " + std::strerror(errno));
}

constexpr std::string_view kWelcome =
    "\n"
    "                    ficsd - a local chess server\n"
    "\n"
    "  Log in as \"guest\" for unrated games with a generated name, or with a\n"
    "  handle of this server's accounts file. Play \"computer\" with \"seek\" or\n"
    "  \"match computer\".\n";

} // namespace

Server::Server(ServerOptions options)
    : options_(std::move(options)), random_(options_.seed), epoch_(std::chrono::steady_clock::now())
{
    listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!listener_)
        throw system_failure("socket");
    int yes = 1;
    ::setsockopt(listener_.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(options_.port));
    if (::inet_pton(AF_INET, options_.host.c_str(), &addr.sin_addr) != 1)
        throw std::runtime_error("inet_pton: not an IPv4 address: " + options_.host);
    if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        throw system_failure("bind " + options_.host + ":" + std::to_string(options_.port));
    if (::listen(listener_.get(), 512) != 0)
        throw system_failure("listen");
    socklen_t len = sizeof addr;
    if (::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        throw system_failure("getsockname");
    port_ = ntohs(addr.sin_port);

    if (!options_.input_log.empty()) {
        input_log_.reset(
            ::open(options_.input_log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
        if (!input_log_)
            throw system_failure("open " + options_.input_log);
    }

    if (options_.computer) {
        auto computer = std::make_unique<Session>();
        computer->id = computer_id_ = next_session_id_++;
        computer->name = "computer";
        computer->computer = true;
        computer->registered = true;
        computer->stage = Stage::Online;
        computer->since = computer->last_input = std::chrono::steady_clock::now();
        sessions_.emplace(computer->id, std::move(computer));
        engine_ = std::make_unique<UciEngine>(options_.engine);
        if (!engine_->running())
            std::fprintf(stderr, "ficsd: the computer uses the built-in mover (%s)\n",
                         engine_->failure().c_str());
    }
}

Server::~Server() = default;

void Server::request_stop()
{
    g_stop = true;
}

GameMs Server::game_now() const
{
    const auto real = std::chrono::steady_clock::now() - epoch_;
    const double ms = std::chrono::duration<double, std::milli>(real).count();
    return GameMs(ms * options_.clock_scale);
}

void Server::run()
{
    g_stop = false;
    while (!g_stop)
        poll_once();
}

int Server::poll_timeout_ms() const
{
    using namespace std::chrono;
    std::optional<double> wait_ms;
    auto consider = [&](double ms) { wait_ms = wait_ms ? std::min(*wait_ms, ms) : ms; };
    const GameMs now = game_now();
    for (const auto& [number, g] : games_)
        if (auto flag = g.game.flag_time())
            consider(double(*flag - now) / options_.clock_scale);
    const auto real_now = steady_clock::now();
    if (computer_id_) {
        for (const Seek& seek : seeks_) {
            if (seek.manual) // never taken by the computer: no reason to wake up
                continue;
            auto due = seek.posted + milliseconds(options_.computer_seek_delay_ms);
            consider(duration<double, std::milli>(due - real_now).count());
        }
    }
    if (engine_)
        if (auto due = engine_->deadline())
            consider(duration<double, std::milli>(*due - real_now).count());
    if (!wait_ms)
        return -1;
    return int(std::clamp(std::ceil(*wait_ms), 0.0, 60'000.0));
}

void Server::poll_once()
{
    std::vector<pollfd> fds;
    std::vector<int> ids;
    fds.push_back({listener_.get(), POLLIN, 0});
    const bool engine_up = engine_ && engine_->running();
    if (engine_up) {
        fds.push_back({engine_->read_fd(), POLLIN, 0});
        fds.push_back({engine_->write_fd(), short(engine_->wants_write() ? POLLOUT : 0), 0});
    }
    const size_t first_client = fds.size();
    for (auto& [id, s] : sessions_) {
        if (!s->fd)
            continue;
        fds.push_back({s->fd.get(), short(POLLIN | (s->out.empty() ? 0 : POLLOUT)), 0});
        ids.push_back(id);
    }
    const int ready = ::poll(fds.data(), fds.size(), poll_timeout_ms());
    if (ready < 0) {
        if (errno == EINTR)
            return;
        throw system_failure("poll");
    }
    if (engine_up) {
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR))
            engine_->on_readable();
        if (engine_->running() && (fds[2].revents & (POLLOUT | POLLERR)))
            engine_->on_writable();
    }
    if (engine_)
        engine_->on_timer(std::chrono::steady_clock::now());

    // Clocks first: a move that arrives after its flag fell does not count.
    begin_event(0);
    check_flags();
    end_event();

    if (fds[0].revents & POLLIN)
        accept_clients();
    for (size_t i = first_client; i < fds.size(); ++i) {
        Session* s = session(ids[i - first_client]);
        if (!s || s->closing)
            continue;
        if (fds[i].revents & (POLLIN | POLLHUP | POLLERR))
            read_client(*s);
    }

    begin_event(0);
    service_computer();
    end_event();

    for (auto& [id, s] : sessions_)
        if (s->fd && !s->out.empty())
            write_client(*s);
    drop_closed_sessions();
}

void Server::accept_clients()
{
    while (true) {
        int fd = ::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                std::fprintf(stderr, "ficsd: accept4: %s\n", std::strerror(errno));
            return;
        }
        int yes = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        auto s = std::make_unique<Session>();
        s->id = next_session_id_++;
        s->fd.reset(fd);
        s->since = s->last_input = std::chrono::steady_clock::now();
        Session& ref = *s;
        sessions_.emplace(s->id, std::move(s));
        greet(ref);
    }
}

void Server::read_client(Session& s)
{
    char buffer[kReadChunk];
    std::vector<std::string> lines;
    bool gone = false;
    while (true) {
        ssize_t n = ::recv(s.fd.get(), buffer, sizeof buffer, 0);
        if (n > 0) {
            s.reader.feed(std::string_view(buffer, size_t(n)), lines);
            if (size_t(n) < sizeof buffer)
                break;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        gone = !(n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
        break;
    }
    // At the end of the stream or on a socket error, the lines already complete still count.
    for (std::string& line : lines) {
        if (s.closing)
            break;
        handle_line(s, std::move(line));
    }
    if (gone)
        drop(s);
}

void Server::write_client(Session& s)
{
    while (!s.out.empty()) {
        ssize_t n = ::send(s.fd.get(), s.out.data(), s.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            s.out.erase(0, size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // A client that stops reading is dropped once too much waits for it; one whose peer is
        // gone at once.
        if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK) || s.out.size() > kMaxPendingOutput)
            drop(s);
        return;
    }
}

void Server::drop(Session& s)
{
    if (!s.closing) {
        begin_event(0);
        leave(s);
        end_event();
    }
    s.out.clear();
    s.closing = true;
}

void Server::drop_closed_sessions()
{
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (it->second->closing && it->second->out.empty())
            it = sessions_.erase(it);
        else
            ++it;
    }
}

// ---- output -----------------------------------------------------------------------------------

void Server::begin_event(int session_id)
{
    current_ = session_id;
}

void Server::end_event()
{
    for (int id : open_blocks_) {
        Session* s = session(id);
        if (s && s->block_open) {
            s->block_open = false;
            if (!s->closing)
                s->out += kPrompt;
        }
    }
    open_blocks_.clear();
    current_ = 0;
}

void Server::send_raw(Session& s, std::string_view bytes)
{
    if (!s.computer && !s.closing)
        s.out += bytes;
}

// Text of one or more lines ("\n" between them). To the user whose command is being handled it
// is part of the reply; to anyone else it is a notice: it starts a line of its own and gets a
// prompt when the event is over.
void Server::send(Session& s, std::string_view text)
{
    if (s.computer || s.closing)
        return;
    if (s.stage == Stage::Online && s.id != current_ && !s.block_open) {
        s.out += kLineEnd;
        s.block_open = true;
        open_blocks_.push_back(s.id);
    }
    while (true) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        // Board lines are never wrapped, and neither is anything before the login ends.
        if (line.rfind("<12> ", 0) == 0 || s.stage != Stage::Online || s.has("nowrap")) {
            s.out += line;
            s.out += kLineEnd;
        } else {
            s.out += wrap_line(line, s.width);
        }
        if (end == std::string_view::npos)
            return;
        text.remove_prefix(end + 1);
    }
}

// ---- login ------------------------------------------------------------------------------------

void Server::greet(Session& s)
{
    send(s, kWelcome);
    send_raw(s, "login: ");
}

// One line per write, so a reader never sees half a line; a failed write only loses the log.
void Server::log_input(const Session& s, std::string_view line)
{
    if (!input_log_)
        return;
    std::string entry = s.name.empty() ? "#" + std::to_string(s.id) : s.name;
    entry += ": ";
    entry += s.stage == Stage::Password ? std::string_view("(password)") : line;
    entry += '\n';
    if (::write(input_log_.get(), entry.data(), entry.size()) < 0)
        std::fprintf(stderr, "ficsd: write to %s: %s\n", options_.input_log.c_str(),
                     std::strerror(errno));
}

void Server::handle_line(Session& s, std::string line)
{
    log_input(s, line);
    s.last_input = std::chrono::steady_clock::now();
    begin_event(s.id);
    switch (s.stage) {
    case Stage::Login:
        login_name(s, line);
        break;
    case Stage::Password:
        login_password(s, line);
        break;
    case Stage::PressReturn:
        enter_server(s);
        break;
    case Stage::Online:
        run_command(s, line);
        if (!s.closing)
            send_raw(s, kPrompt);
        break;
    }
    end_event();
}

std::string Server::new_guest_name()
{
    std::uniform_int_distribution<int> letter('A', 'Z');
    while (true) {
        std::string name = "Guest";
        for (int i = 0; i < 4; ++i)
            name += char(letter(random_));
        if (!online_by_name(name) && !options_.accounts.find(name))
            return name;
    }
}

void Server::login_name(Session& s, std::string_view line)
{
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        send_raw(s, "login: ");
        return;
    }
    line.remove_prefix(start);
    const std::string_view handle = line.substr(0, line.find(' '));
    if (lower_case(handle) == "guest") {
        s.name = new_guest_name();
        send(s, "Logging you in as \"" + s.name +
                    "\"; you may use this name to play unrated games.\n"
                    "(After logging in, do \"help register\" for more info on how to register.)\n");
        send_raw(s, "Press return to enter the server as \"" + s.name + "\":");
        s.stage = Stage::PressReturn;
        return;
    }
    if (std::string problem = handle_problem(handle); !problem.empty()) {
        send(s, problem);
        send_raw(s, "login: ");
        return;
    }
    if (auto account = options_.accounts.find(handle)) {
        s.name = account->handle;
        s.registered = true;
        send(s, "\"" + s.name +
                    "\" is a registered name.  If it is yours, type the password.\n"
                    "If not, just hit return to try another name.\n");
        send_raw(s, "password: ");
        send_raw(s, kWillEcho);
        s.stage = Stage::Password;
        return;
    }
    if (online_by_name(handle)) {
        send(s, "Sorry, " + std::string(handle) + " is already logged in.  Try again.");
        send_raw(s, "login: ");
        return;
    }
    s.name = std::string(handle);
    send(s, "\"" + s.name +
                "\" is not a registered name.  You may use this name to play unrated games.\n"
                "(After logging in, do \"help register\" for more info on how to register.)\n");
    send_raw(s, "Press return to enter the server as \"" + s.name + "\":");
    s.stage = Stage::PressReturn;
}

void Server::login_password(Session& s, std::string_view line)
{
    send_raw(s, kWontEcho);
    auto account = options_.accounts.find(s.name);
    if (line.empty()) {
        s.name.clear();
        s.registered = false;
        s.stage = Stage::Login;
        send_raw(s, kLineEnd);
        send_raw(s, "login: ");
        return;
    }
    if (!account || account->password != line) {
        s.name.clear();
        s.registered = false;
        s.stage = Stage::Login;
        send(s, "\n**** Invalid password! ****\n");
        send_raw(s, "login: ");
        return;
    }
    enter_server(s);
}

void Server::enter_server(Session& s)
{
    // A registered user logging in again replaces the older session.
    for (auto& [id, other] : sessions_) {
        if (other.get() != &s && other->stage == Stage::Online && !other->closing &&
            !other->computer && lower_case(other->name) == lower_case(s.name)) {
            send(*other, "**** " + s.name + " has arrived - you can't both be logged in. ****");
            leave(*other);
            other->closing = true;
        }
    }
    // An unregistered name taken while this user was at "Press return".
    if (!s.registered && online_by_name(s.name))
        s.name = new_guest_name();
    s.stage = Stage::Online;
    s.since = std::chrono::steady_clock::now();
    send(s, "\n**** Starting FICS session as " + display_name(s) + " ****\n");
    send_raw(s, kPrompt);
}

void Server::leave(Session& s)
{
    if (s.stage != Stage::Online)
        return;
    if (LiveGame* g = game_of(s)) {
        const Color colour = colour_in(*g, s);
        const std::string who = colour == White ? g->white_name : g->black_name;
        if (g->game.ply_count() < 2)
            end_game(*g, "Game aborted on move 1", "*", false);
        else
            end_game(*g, who + " forfeits by disconnection", colour == White ? "0-1" : "1-0", true);
    }
    for (int number : std::set<int>(s.observing))
        stop_observing(s, number);
    remove_seeks_of(s.id);
    remove_offers_involving(s.id);
    s.stage = Stage::Login;
}

// ---- users --------------------------------------------------------------------------------------

Server::Session* Server::session(int id)
{
    auto it = sessions_.find(id);
    return it == sessions_.end() ? nullptr : it->second.get();
}

Server::Session* Server::online_by_name(std::string_view name)
{
    const std::string wanted = lower_case(name);
    for (auto& [id, s] : sessions_)
        if (s->stage == Stage::Online && !s->closing && lower_case(s->name) == wanted)
            return s.get();
    return nullptr;
}

Server::Session* Server::find_user(Session& asking, std::string_view name)
{
    if (Session* exact = online_by_name(name))
        return exact;
    const std::string prefix = lower_case(name);
    std::vector<Session*> matches;
    for (auto& [id, s] : sessions_)
        if (s->stage == Stage::Online && !s->closing && lower_case(s->name).rfind(prefix, 0) == 0)
            matches.push_back(s.get());
    if (matches.size() == 1 && !prefix.empty())
        return matches.front();
    if (matches.size() > 1 && !prefix.empty()) {
        std::string names;
        for (Session* m : matches)
            names += " " + m->name;
        send(asking, "Ambiguous name " + std::string(name) + ":" + names);
        return nullptr;
    }
    send(asking, "No user named \"" + std::string(name) + "\" is logged in.");
    return nullptr;
}

std::string Server::display_name(const Session& s)
{
    if (s.computer)
        return s.name + "(C)";
    return s.registered ? s.name : s.name + "(U)";
}

std::string Server::rating_text(const Session& s)
{
    return s.registered ? "----" : "++++";
}

} // namespace ficsd
