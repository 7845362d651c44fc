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

// Whether the text has the shape of a move as the servers of the lineage read it ("e2e4",
// "e2-e4", "e7e8=q", "Nbd7", "exd8=N+", "O-O", "0-0-0"), whether or not it is legal anywhere.
// Commands never have this shape, and neither have "e7e8q" or "e8q": those are unknown commands.
bool looks_like_move(std::string_view text);

// Finds the legal move the text names in the position. Accepts coordinate notation ("e2e4",
// "e2-e4", "e7e8=Q", "e1g1" for castling), short algebraic notation with or without "x", "+"
// or "#", lower-case piece letters other than "b" for a bishop, and "O-O" / "0-0" / "o-o" for
// castling. The piece after "=" is q, r, b, n, or k for a knight; a promotion without one
// promotes to `promote`.
ParsedMove parse_move(const Position& pos, std::string_view text, PieceType promote = Queen);

// The legal move an engine names in UCI notation ("e2e4", "e7e8q"), if there is one.
std::optional<Move> uci_move(const Position& pos, std::string_view text);

// Short algebraic notation of a legal move, with "+" or "#".
std::string short_notation(const Position& before, Move m);

// The board line's verbose notation: "P/e2-e4", "N/g1-f3", "P/e7-e8=Q", "o-o", "o-o-o".
std::string verbose_notation(const Position& before, Move m);

// Coordinate notation as UCI engines use it: "e2e4", "e7e8q".
std::string uci_notation(Move m);

} // namespace ficsd
