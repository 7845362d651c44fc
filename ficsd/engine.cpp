// The computer player's move source: a UCI engine child process over pipes, and the built-in mover.
#include "ficsd/engine.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

extern char** environ;

namespace ficsd {
namespace {

// How long past its move time an engine may stay silent before it is given up.
constexpr std::chrono::milliseconds kEngineGrace{10000};
constexpr size_t kMaxEngineLine = 4096;

std::string system_error(const char* call, int err)
{
    return std::string(call) + ": " + std::strerror(err);
}

} // namespace

UciEngine::UciEngine(EngineOptions options) : options_(std::move(options))
{
    if (options_.path == "none") {
        failure_ = "no engine configured";
        return;
    }
    start();
}

UciEngine::~UciEngine()
{
    if (to_engine_) {
        const char quit[] = "quit\n";
        [[maybe_unused]] ssize_t n = ::write(to_engine_.get(), quit, sizeof quit - 1);
    }
    to_engine_.reset();
    from_engine_.reset();
    if (pid_ > 0) {
        // Give the engine a moment to quit, then make sure it does.
        for (int i = 0; i < 50; ++i) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_)
                return;
            ::usleep(2000);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

void UciEngine::start()
{
    if (::access(options_.path.c_str(), X_OK) != 0) {
        failure_ = system_error(("access " + options_.path).c_str(), errno);
        return;
    }
    int in_pipe[2], out_pipe[2];
    if (::pipe2(in_pipe, O_CLOEXEC) != 0) {
        failure_ = system_error("pipe2", errno);
        return;
    }
    UniqueFd child_in(in_pipe[0]), parent_out(in_pipe[1]);
    if (::pipe2(out_pipe, O_CLOEXEC) != 0) {
        failure_ = system_error("pipe2", errno);
        return;
    }
    UniqueFd parent_in(out_pipe[0]), child_out(out_pipe[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, child_in.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, child_out.get(), STDOUT_FILENO);
    char* argv[] = {options_.path.data(), nullptr};
    const int err = posix_spawn(&pid_, options_.path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0) {
        pid_ = -1;
        failure_ = system_error(("posix_spawn " + options_.path).c_str(), err);
        return;
    }
    ::fcntl(parent_out.get(), F_SETFL, O_NONBLOCK);
    ::fcntl(parent_in.get(), F_SETFL, O_NONBLOCK);
    to_engine_ = std::move(parent_out);
    from_engine_ = std::move(parent_in);
    send("uci");
    send("setoption name Threads value 1");
    send("setoption name Hash value 16");
    send("setoption name Skill Level value " + std::to_string(options_.skill));
    send("isready");
}

void UciEngine::send(const std::string& line)
{
    outbox_ += line;
    outbox_ += '\n';
    on_writable();
}

void UciEngine::request(MoveRequest request)
{
    if (!running()) {
        failed_.push_back(std::move(request));
        return;
    }
    waiting_.push_back(std::move(request));
    if (!thinking_)
        send_next_request();
}

void UciEngine::send_next_request()
{
    if (waiting_.empty())
        return;
    thinking_ = std::move(waiting_.front());
    waiting_.pop_front();
    thinking_since_ = std::chrono::steady_clock::now();
    if (thinking_->game != last_game_) {
        send("ucinewgame");
        last_game_ = thinking_->game;
    }
    std::string position = "position fen " + thinking_->start_fen;
    if (!thinking_->uci_moves.empty()) {
        position += " moves";
        for (const std::string& m : thinking_->uci_moves)
            position += ' ' + m;
    }
    send(position);
    send("go movetime " + std::to_string(options_.movetime_ms));
}

void UciEngine::on_writable()
{
    while (!outbox_.empty() && to_engine_) {
        ssize_t n = ::write(to_engine_.get(), outbox_.data(), outbox_.size());
        if (n > 0) {
            outbox_.erase(0, size_t(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            return;
        } else {
            give_up(system_error("write to engine", errno));
            return;
        }
    }
}

void UciEngine::on_readable()
{
    char buffer[4096];
    while (from_engine_) {
        ssize_t n = ::read(from_engine_.get(), buffer, sizeof buffer);
        if (n > 0) {
            inbox_.append(buffer, size_t(n));
            size_t end;
            while ((end = inbox_.find('\n')) != std::string::npos) {
                std::string line = inbox_.substr(0, end);
                inbox_.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                handle_line(line);
            }
            if (inbox_.size() > kMaxEngineLine)
                inbox_.clear();
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            return;
        } else {
            give_up(n == 0 ? "the engine closed its output" : system_error("read", errno));
            return;
        }
    }
}

void UciEngine::handle_line(const std::string& line)
{
    if (line.rfind("bestmove", 0) != 0 || !thinking_)
        return;
    MoveAnswer answer{thinking_->game, thinking_->ply, ""};
    const size_t start = line.find_first_not_of(' ', 8);
    if (start != std::string::npos) {
        const size_t end = line.find(' ', start);
        answer.move = line.substr(start, end == std::string::npos ? end : end - start);
        if (answer.move == "(none)")
            answer.move.clear();
    }
    answers_.push_back(std::move(answer));
    thinking_.reset();
    thinking_since_.reset();
    send_next_request();
}

void UciEngine::give_up(const std::string& why)
{
    std::fprintf(stderr, "ficsd: engine %s given up: %s\n", options_.path.c_str(), why.c_str());
    failure_ = why;
    to_engine_.reset();
    from_engine_.reset();
    outbox_.clear();
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    if (thinking_)
        failed_.push_back(std::move(*thinking_));
    thinking_.reset();
    thinking_since_.reset();
    for (MoveRequest& r : waiting_)
        failed_.push_back(std::move(r));
    waiting_.clear();
}

std::optional<SteadyTime> UciEngine::deadline() const
{
    if (!thinking_since_)
        return std::nullopt;
    return *thinking_since_ + std::chrono::milliseconds(options_.movetime_ms) + kEngineGrace;
}

void UciEngine::on_timer(SteadyTime now)
{
    if (auto limit = deadline(); limit && now >= *limit)
        give_up("no answer in time");
}

std::vector<MoveAnswer> UciEngine::take_answers()
{
    return std::exchange(answers_, {});
}

std::vector<MoveRequest> UciEngine::take_failed()
{
    return std::exchange(failed_, {});
}

namespace {

constexpr int kMateScore = 100000;

int material_balance(const Position& pos)
{
    const Color us = pos.side_to_move();
    return pos.strength(us) - pos.strength(opposite(us));
}

// Score for the side to move, searched `depth` plies.
int search(const Position& pos, int depth)
{
    MoveList list;
    pos.legal_moves(list);
    if (list.size == 0)
        return pos.in_check() ? -kMateScore : 0;
    if (depth == 0)
        return material_balance(pos);
    int best = -kMateScore - 1;
    for (const Move& m : list) {
        const int score = -search(pos.after(m), depth - 1);
        if (score > best)
            best = score;
    }
    return best;
}

} // namespace

Move builtin_move(const Position& pos, std::mt19937& random)
{
    MoveList list;
    pos.legal_moves(list);
    std::vector<Move> best;
    int best_score = -kMateScore - 1;
    for (const Move& m : list) {
        const int score = -search(pos.after(m), 1);
        if (score > best_score) {
            best_score = score;
            best.clear();
        }
        if (score == best_score)
            best.push_back(m);
    }
    std::uniform_int_distribution<size_t> pick(0, best.size() - 1);
    return best[pick(random)];
}

} // namespace ficsd
