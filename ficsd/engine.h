// The computer player's move source: a UCI engine running as a child process over two pipes,
// driven from the server's poll loop without threads, and a small built-in mover for when no
// engine is installed or the engine fails.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "ficsd/chess_rules.h"
#include "sim/unique_fd.h"

namespace ficsd {

using sim::UniqueFd;

using SteadyTime = std::chrono::steady_clock::time_point;

struct EngineOptions {
    std::string path = "/usr/games/stockfish"; // "none": the built-in mover only
    int skill = 3;                             // the engine's "Skill Level", 0 to 20
    int movetime_ms = 200;
};

// A request for a move: the game and the number of half-moves it had when asked, so that an
// answer for a position that has since changed (takeback, end of game) is recognised and dropped.
struct MoveRequest {
    int game = 0;
    int ply = 0;
    std::string start_fen;
    std::vector<std::string> uci_moves;
    Position position;
};

struct MoveAnswer {
    int game = 0;
    int ply = 0;
    std::string move; // coordinate notation; empty when the engine had no move
};

class UciEngine {
  public:
    explicit UciEngine(EngineOptions options);
    ~UciEngine();
    UciEngine(const UciEngine&) = delete;
    UciEngine& operator=(const UciEngine&) = delete;

    // False when the engine could not be started or has died; requests are then answered by
    // the caller's fallback (take_failed).
    bool running() const { return static_cast<bool>(from_engine_); }
    const std::string& failure() const { return failure_; }

    void request(MoveRequest request);

    // Poll loop integration: the descriptors to watch and what to do when they are ready.
    int read_fd() const { return from_engine_.get(); }
    int write_fd() const { return to_engine_.get(); }
    bool wants_write() const { return !outbox_.empty(); }
    void on_readable();
    void on_writable();
    // When the engine must have answered by; past it, on_timer gives the engine up.
    std::optional<SteadyTime> deadline() const;
    void on_timer(SteadyTime now);

    std::vector<MoveAnswer> take_answers();
    // Requests the engine can no longer answer (it died or never started).
    std::vector<MoveRequest> take_failed();

  private:
    void start();
    void send(const std::string& line);
    void send_next_request();
    void handle_line(const std::string& line);
    void give_up(const std::string& why);

    EngineOptions options_;
    UniqueFd to_engine_;
    UniqueFd from_engine_;
    pid_t pid_ = -1;
    std::string outbox_;
    std::string inbox_;
    std::deque<MoveRequest> waiting_;
    std::optional<MoveRequest> thinking_;
    std::optional<SteadyTime> thinking_since_;
    int last_game_ = 0;
    std::vector<MoveAnswer> answers_;
    std::vector<MoveRequest> failed_;
    std::string failure_;
};

// The built-in mover: a two-ply material search with a random choice among equal moves; takes a
// mate in one when there is one. The position must have a legal move.
Move builtin_move(const Position& pos, std::mt19937& random);

} // namespace ficsd
