// One game on ficsd: its position and move record, both clocks with increment, repetition and
// the end conditions that need the game's history. Knows nothing of users or sockets.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "ficsd/chess_rules.h"

namespace ficsd {

// Game time in milliseconds; the server may run it faster than the wall clock.
using GameMs = long long;

struct TimeControl {
    int minutes = 0;
    int increment = 0;
    bool untimed() const { return minutes == 0 && increment == 0; }
    // "lightning", "blitz", "standard" or "untimed", from the expected length of a game:
    // minutes plus two thirds of the increment.
    const char* category() const;
    GameMs starting_ms() const;
};

struct Ply {
    Move move;
    std::string short_move;
    std::string verbose_move;
    GameMs taken_ms = 0;
};

class Game {
  public:
    Game(int number, TimeControl control, const Position& start = Position::start());

    int number() const { return number_; }
    const TimeControl& control() const { return control_; }
    const Position& position() const { return position_; }
    const Position& start_position() const { return start_; }
    const std::vector<Ply>& plies() const { return plies_; }
    int ply_count() const { return int(plies_.size()); }

    // The clock runs from White's first move on; before it, nobody's time is used.
    bool clock_ticking() const { return ticking_; }
    // Remaining time of a side at `now`, the running clock counted down.
    GameMs remaining_ms(Color side, GameMs now) const;
    // Game time at which the side to move runs out, when a clock is running.
    std::optional<GameMs> flag_time() const;
    bool out_of_time(Color side, GameMs now) const;
    void add_time(Color side, GameMs ms) { clock_[side] += ms; }

    // Plays a legal move for the side to move: time used, increment, record.
    void play(Move m, GameMs now);
    // Undoes the last `count` half-moves (count <= ply_count). Time already used stays used.
    void take_back(int count, GameMs now);

    // How often the current position has stood on the board, this time included.
    int repetitions() const;
    // The move's verbose and short texts, and the time it took; "none" before the first move.
    std::string last_verbose() const;
    std::string last_short() const;
    GameMs last_taken_ms() const;
    std::vector<std::string> uci_moves() const;

  private:
    void charge_running_clock(GameMs now);

    int number_;
    TimeControl control_;
    Position start_;
    Position position_;
    std::vector<Ply> plies_;
    std::vector<Position> before_; // the position before each ply
    std::vector<uint64_t> keys_;   // repetition key after 0, 1, ... plies
    std::array<GameMs, 2> clock_{};
    GameMs turn_started_ = 0;
    bool ticking_ = false;
};

} // namespace ficsd
