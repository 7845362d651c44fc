// The rules of chess for ficsd: positions, legal move generation, making moves, perft and the
// tests for the ends of a game that the position alone decides.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ficsd {

enum Color : uint8_t { White = 0, Black = 1 };
constexpr Color opposite(Color c)
{
    return Color(c ^ 1);
}

enum PieceType : uint8_t { NoType = 0, Pawn, Knight, Bishop, Rook, Queen, King };

// A square's content: 0 when empty, otherwise the type with the colour in bit 3.
using Piece = uint8_t;
constexpr Piece kEmpty = 0;
constexpr Piece make_piece(Color c, PieceType t)
{
    return Piece(t | (c << 3));
}
constexpr PieceType type_of(Piece p)
{
    return PieceType(p & 7);
}
constexpr Color color_of(Piece p)
{
    return Color(p >> 3);
}

// Squares count from a1 = 0 along the rank: b1 = 1, ..., h1 = 7, a2 = 8, ..., h8 = 63.
constexpr int kSquares = 64;
constexpr int square_at(int file, int rank)
{
    return rank * 8 + file;
}
constexpr int file_of(int sq)
{
    return sq & 7;
}
constexpr int rank_of(int sq)
{
    return sq >> 3;
}
constexpr int kNoSquare = -1;

enum CastleRight : uint8_t { WhiteShort = 1, WhiteLong = 2, BlackShort = 4, BlackLong = 8 };

enum MoveFlag : uint8_t { Quiet = 0, Capture = 1, EnPassant = 2, Castle = 4, DoublePush = 8 };

struct Move {
    uint8_t from = 0;
    uint8_t to = 0;
    PieceType promotion = NoType;
    uint8_t flags = Quiet;
    bool operator==(const Move& other) const
    {
        return from == other.from && to == other.to && promotion == other.promotion;
    }
};

// No legal position has more than 218 moves.
struct MoveList {
    std::array<Move, 256> moves;
    int size = 0;
    void push(Move m) { moves[size++] = m; }
    const Move* begin() const { return moves.data(); }
    const Move* end() const { return moves.data() + size; }
};

// Material strength as the board line counts it: pawn 1, knight 3, bishop 3, rook 5, queen 9.
constexpr std::array<int, 7> kStrength = {0, 1, 3, 3, 5, 9, 0};

class Position {
  public:
    static Position start();
    // Reads the four to six fields of a FEN record; nothing for a malformed or impossible one.
    static std::optional<Position> from_fen(std::string_view fen);
    std::string fen() const;

    Piece at(int sq) const { return board_[sq]; }
    Color side_to_move() const { return side_; }
    uint8_t castling() const { return castling_; }
    // The square passed over by the last move when it was a double pawn push, else kNoSquare.
    int en_passant() const { return ep_; }
    int halfmove_clock() const { return halfmove_; }
    int fullmove_number() const { return fullmove_; }
    int king_square(Color c) const { return king_[c]; }

    void legal_moves(MoveList& out) const;
    bool is_legal(Move m) const;
    // Applies a move taken from legal_moves (or one equal to such a move).
    void play(Move m);
    Position after(Move m) const
    {
        Position p = *this;
        p.play(m);
        return p;
    }

    bool is_attacked(int sq, Color by) const;
    bool in_check() const { return is_attacked(king_[side_], opposite(side_)); }
    bool is_checkmate() const;
    bool is_stalemate() const;
    // No sequence of legal moves can end in mate: kings alone, or with one minor piece, or with
    // bishops all standing on squares of one colour.
    bool is_insufficient_material() const;
    // The side has only its king, or its king and a single knight or bishop.
    bool lacks_mating_material(Color c) const;
    int strength(Color c) const;
    // Identifies the position for repetition: placement, side, castling rights, and the en passant
    // square only where a capture there is possible.
    uint64_t repetition_key() const;

  private:
    void pseudo_moves(MoveList& out) const;
    void add_pawn_moves(int from, MoveList& out) const;
    void add_piece_moves(int from, PieceType t, MoveList& out) const;
    void add_castling(MoveList& out) const;
    bool en_passant_capturable() const;

    std::array<Piece, kSquares> board_{};
    std::array<int8_t, 2> king_{};
    Color side_ = White;
    uint8_t castling_ = 0;
    int8_t ep_ = kNoSquare;
    int halfmove_ = 0;
    int fullmove_ = 1;
};

// Leaf nodes of the legal move tree to the given depth.
uint64_t perft(const Position& pos, int depth);

std::string square_name(int sq);
// "e4" -> 28; kNoSquare for anything else.
int parse_square(std::string_view text);

} // namespace ficsd
