// ficsd under load: 200 guests on loopback play 100 games at once, every move answered at once
// with a random legal move. Reports the time from a move sent to the opponent's board line
// received (median and 99th percentile) and the CPU time ficsd used for it.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "ficsd/move_notation.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kClients = 200;
constexpr int kPliesPerGame = 60;

std::runtime_error failure(const std::string& what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

class ServerProcess {
  public:
    ServerProcess()
    {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            throw failure("pipe2");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        char* argv[] = {const_cast<char*>(FICSD_BINARY), const_cast<char*>("--port"),
                        const_cast<char*>("0"), const_cast<char*>("--no-computer"), nullptr};
        const int err = posix_spawn(&pid_, FICSD_BINARY, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (err != 0)
            throw std::runtime_error(std::string("posix_spawn: ") + std::strerror(err));
        std::string text;
        char c;
        while (text.find('\n') == std::string::npos && ::read(out[0], &c, 1) == 1)
            text += c;
        ::close(out[0]);
        port_ = std::stoi(text.substr(text.rfind(':') + 1));
    }
    ~ServerProcess()
    {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    int port() const { return port_; }
    // User plus system CPU seconds the server has used so far.
    double cpu_seconds() const
    {
        std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string f;
        long ticks = 0;
        for (int i = 3; i <= 15 && fields >> f; ++i)
            if (i == 14 || i == 15)
                ticks += std::stol(f);
        return double(ticks) / double(::sysconf(_SC_CLK_TCK));
    }

  private:
    pid_t pid_ = -1;
    int port_ = 0;
};

struct Player {
    int fd = -1;
    std::string in;
    std::string name;
    int partner = -1;
    bool white = false;
    bool done = false;
    int plies_seen = 0;
    Clock::time_point sent_at{};
};

// The position of a style 12 line as a FEN record.
std::string fen_of(const std::vector<std::string>& f)
{
    std::string fen;
    for (int r = 0; r < 8; ++r) {
        int empty = 0;
        for (char c : f[size_t(r)]) {
            if (c == '-') {
                ++empty;
                continue;
            }
            if (empty)
                fen += char('0' + empty);
            empty = 0;
            fen += c;
        }
        if (empty)
            fen += char('0' + empty);
        fen += r < 7 ? "/" : "";
    }
    fen += f[8] == "W" ? " w " : " b ";
    std::string castling;
    if (f[10] == "1")
        castling += 'K';
    if (f[11] == "1")
        castling += 'Q';
    if (f[12] == "1")
        castling += 'k';
    if (f[13] == "1")
        castling += 'q';
    fen += castling.empty() ? "-" : castling;
    const int ep_file = std::stoi(f[9]);
    if (ep_file < 0)
        fen += " -";
    else
        fen += std::string(" ") + char('a' + ep_file) + (f[8] == "W" ? "6" : "3");
    fen += " " + f[14] + " " + f[25];
    return fen;
}

void send_all(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            throw failure("send");
        done += size_t(n);
    }
}

void BM_HundredGamesAtOnce(benchmark::State& state)
{
    for (auto _ : state) {
        ServerProcess server;
        std::vector<Player> players(kClients);
        for (Player& p : players) {
            p.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_port = htons(uint16_t(server.port()));
            addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::connect(p.fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
                throw failure("connect");
            int yes = 1;
            ::setsockopt(p.fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
            send_all(p.fd, "guest\r\n\r\nstyle 12\r\n");
        }
        std::mt19937 random(7);
        std::vector<double> latencies_us;
        int logged_in = 0, games_over = 0;
        double cpu_at_start = 0;
        std::vector<pollfd> fds(players.size());
        for (size_t i = 0; i < players.size(); ++i)
            fds[i] = {players[i].fd, POLLIN, 0};

        auto handle_line = [&](size_t i, const std::string& line) {
            Player& p = players[i];
            if (p.name.empty() && line.find("Starting FICS session as ") != std::string::npos) {
                const size_t at = line.find(" as ") + 4;
                p.name = line.substr(at, line.find("(U)") - at);
                if (++logged_in == kClients) {
                    cpu_at_start = server.cpu_seconds();
                    for (size_t k = 0; k < players.size(); k += 2) {
                        players[k].partner = int(k + 1);
                        players[k + 1].partner = int(k);
                        players[k].white = true;
                        send_all(players[k].fd, "match " + players[k + 1].name + " 0 0 white\r\n");
                    }
                }
            } else if (line.find("Challenge: ") != std::string::npos) {
                send_all(p.fd, "accept\r\n");
            } else if (line.find("{Game ") != std::string::npos &&
                       line.find("Creating") == std::string::npos) {
                if (!p.done && p.white)
                    ++games_over;
                p.done = true;
            } else if (line.rfind("<12> ", 0) == 0 && !p.done) {
                std::istringstream words(line.substr(5));
                std::vector<std::string> f;
                std::string w;
                while (words >> w)
                    f.push_back(w);
                if (f.size() < 32 || f[18] != "1")
                    return;
                Player& other = players[size_t(p.partner)];
                if (other.sent_at != Clock::time_point{}) {
                    latencies_us.push_back(
                        std::chrono::duration<double, std::micro>(Clock::now() - other.sent_at)
                            .count());
                    other.sent_at = {};
                }
                if (++p.plies_seen > kPliesPerGame / 2) {
                    send_all(p.fd, "resign\r\n");
                    return;
                }
                auto pos = ficsd::Position::from_fen(fen_of(f));
                ficsd::MoveList list;
                if (pos)
                    pos->legal_moves(list);
                if (list.size == 0)
                    return;
                std::uniform_int_distribution<int> pick(0, list.size - 1);
                p.sent_at = Clock::now();
                const ficsd::Move m = list.moves[size_t(pick(random))];
                std::string text = ficsd::uci_notation(m);
                if (m.promotion != ficsd::NoType) // "e7e8=q": the form the server takes
                    text.insert(4, "=");
                send_all(p.fd, text + "\r\n");
            }
        };

        const auto deadline = Clock::now() + std::chrono::seconds(120);
        char chunk[65536];
        while (games_over < kClients / 2 && Clock::now() < deadline) {
            if (::poll(fds.data(), fds.size(), 1000) < 0)
                throw failure("poll");
            for (size_t i = 0; i < fds.size(); ++i) {
                if (!(fds[i].revents & POLLIN))
                    continue;
                ssize_t n = ::recv(players[i].fd, chunk, sizeof chunk, 0);
                if (n <= 0)
                    throw failure("recv");
                std::string& in = players[i].in;
                in.append(chunk, size_t(n));
                size_t end;
                while ((end = in.find("\n\r")) != std::string::npos) {
                    std::string line = in.substr(0, end);
                    in.erase(0, end + 2);
                    while (line.rfind("fics% ", 0) == 0)
                        line.erase(0, 6);
                    handle_line(i, line);
                }
            }
        }
        const double cpu = server.cpu_seconds() - cpu_at_start;
        for (Player& p : players)
            ::close(p.fd);
        if (games_over < kClients / 2)
            state.SkipWithError("not every game ended within two minutes");
        std::sort(latencies_us.begin(), latencies_us.end());
        const auto at = [&](double q) {
            return latencies_us.empty() ? 0.0
                                        : latencies_us[size_t(q * double(latencies_us.size() - 1))];
        };
        state.counters["moves"] = double(latencies_us.size());
        state.counters["median_us"] = at(0.5);
        state.counters["p99_us"] = at(0.99);
        state.counters["server_cpu_s"] = cpu;
    }
}
BENCHMARK(BM_HundredGamesAtOnce)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
