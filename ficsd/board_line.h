// The style 12 board line that ficsd sends to players and observers after every move.
#pragma once

#include <string>

#include "ficsd/chess_rules.h"

namespace ficsd {

// The receiver's relation to the game, as the board line's field 19 states it.
enum class Relation : int {
    Isolated = -3,
    ObservingExamined = -2,
    PlayingOpponentToMove = -1,
    Observing = 0,
    PlayingToMove = 1,
    Examining = 2,
};

struct BoardLineFields {
    const Position* position = nullptr;
    int game_number = 0;
    std::string white_name;
    std::string black_name;
    Relation relation = Relation::Observing;
    int initial_minutes = 0;
    int increment_seconds = 0;
    long long white_ms = 0;
    long long black_ms = 0;
    std::string verbose_move = "none";
    long long move_ms = 0;
    std::string short_move = "none";
    bool black_at_bottom = false;
    bool clock_ticking = false;
    int lag_ms = 0;
    bool milliseconds = false; // the receiver set "ms": clocks and move times to the millisecond
};

// One line without its line end:
// <12> rnbqkbnr pppppppp -------- -------- ----P--- -------- PPPP-PPP RNBQKBNR B 4 1 1 1 1 0 42
//      White Black -1 5 0 39 39 300 300 1 P/e2-e4 (0:00) e4 0 1 0
std::string style12_line(const BoardLineFields& fields);

// A plain picture of the board for users who have not chosen style 12.
std::string ascii_board(const BoardLineFields& fields);

// "(0:04)": minutes and seconds a move took; "(0:04.210)" to the millisecond.
std::string move_time_text(long long ms, bool milliseconds = false);

} // namespace ficsd
