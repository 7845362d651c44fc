// Move texts for ficsd: reading moves in coordinate and short algebraic notation, and writing the
// short ("Nf3", "exd8=Q+") and verbose ("N/g1-f3", "o-o") forms of the board line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ficsd/chess_rules.h"

namespace ficsd {

enum class MoveParse { Ok, Illegal, Ambiguous };

struct ParsedMove {
    MoveParse result = MoveParse::Illegal;
    Move move;
};

// Whether the text has the shape of a move at all ("e2e4", "e7e8=q", "Nbd7", "exd5", "O-O",
// "0-0-0"), whether or not it is legal anywhere. Commands never have this shape.
bool looks_like_move(std::string_view text);

// Finds the legal move the text names in the position. Accepts coordinate notation ("e2e4",
// "e2-e4", "e7e8q", "e7e8=Q", "e1g1" for castling), short algebraic notation with or without
// "x", "=", "+", "#", "!" or "?", lower-case piece letters other than "b" for a bishop, and
// "O-O" / "0-0" / "o-o" for castling. A promotion without a piece promotes to a queen.
ParsedMove parse_move(const Position& pos, std::string_view text);

// Short algebraic notation of a legal move, with "+" or "#".
std::string short_notation(const Position& before, Move m);

// The board line's verbose notation: "P/e2-e4", "N/g1-f3", "P/e7-e8=Q", "o-o", "o-o-o".
std::string verbose_notation(const Position& before, Move m);

// Coordinate notation as UCI engines use it: "e2e4", "e7e8q".
std::string uci_notation(Move m);

} // namespace ficsd
