// The rules of chess for ficsd: move generation by copy-make with a king-safety test, FEN, perft.
#include "ficsd/chess_rules.h"

#include <cstdlib>

namespace ficsd {
namespace {

struct Step {
    int df, dr;
};
constexpr std::array<Step, 8> kKnightSteps = {
    {{1, 2}, {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}}};
constexpr std::array<Step, 8> kKingSteps = {
    {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}}};
// Rook directions first, then bishop directions.
constexpr std::array<Step, 8> kRays = {
    {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}}};

// Targets of one square for a set of steps, with the count of those on the board.
struct Targets {
    std::array<int8_t, 8> sq{};
    int count = 0;
};
// A ray from one square: the squares in order until the edge.
struct Ray {
    std::array<int8_t, 7> sq{};
    int length = 0;
};

constexpr bool on_board(int f, int r)
{
    return f >= 0 && f < 8 && r >= 0 && r < 8;
}

constexpr std::array<Targets, kSquares> leaper_table(const std::array<Step, 8>& steps)
{
    std::array<Targets, kSquares> table{};
    for (int sq = 0; sq < kSquares; ++sq) {
        for (const Step& s : steps) {
            int f = file_of(sq) + s.df, r = rank_of(sq) + s.dr;
            if (on_board(f, r))
                table[sq].sq[table[sq].count++] = int8_t(square_at(f, r));
        }
    }
    return table;
}

constexpr std::array<std::array<Ray, 8>, kSquares> ray_table()
{
    std::array<std::array<Ray, 8>, kSquares> table{};
    for (int sq = 0; sq < kSquares; ++sq) {
        for (int d = 0; d < 8; ++d) {
            int f = file_of(sq) + kRays[d].df, r = rank_of(sq) + kRays[d].dr;
            Ray& ray = table[sq][d];
            while (on_board(f, r)) {
                ray.sq[ray.length++] = int8_t(square_at(f, r));
                f += kRays[d].df;
                r += kRays[d].dr;
            }
        }
    }
    return table;
}

constexpr auto kKnightTargets = leaper_table(kKnightSteps);
constexpr auto kKingTargets = leaper_table(kKingSteps);
constexpr auto kRayTable = ray_table();
constexpr int kFirstBishopRay = 4;

constexpr std::string_view kPieceLetters = " PNBRQK";

// Castling rights that survive a move touching this square (king or rook squares clear them).
constexpr std::array<uint8_t, kSquares> castle_mask_table()
{
    std::array<uint8_t, kSquares> mask{};
    for (auto& m : mask)
        m = 15;
    mask[square_at(4, 0)] = 15 & ~(WhiteShort | WhiteLong);
    mask[square_at(7, 0)] = 15 & ~WhiteShort;
    mask[square_at(0, 0)] = 15 & ~WhiteLong;
    mask[square_at(4, 7)] = 15 & ~(BlackShort | BlackLong);
    mask[square_at(7, 7)] = 15 & ~BlackShort;
    mask[square_at(0, 7)] = 15 & ~BlackLong;
    return mask;
}
constexpr auto kCastleMask = castle_mask_table();

// Zobrist keys from a fixed-seed generator, so keys are the same in every run.
struct ZobristKeys {
    std::array<std::array<uint64_t, 16>, kSquares> piece{};
    uint64_t black_to_move = 0;
    std::array<uint64_t, 16> castling{};
    std::array<uint64_t, 8> ep_file{};
};
constexpr uint64_t splitmix(uint64_t& state)
{
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}
constexpr ZobristKeys make_zobrist()
{
    ZobristKeys k{};
    uint64_t state = 20240601;
    for (auto& sq : k.piece)
        for (auto& v : sq)
            v = splitmix(state);
    k.black_to_move = splitmix(state);
    for (auto& v : k.castling)
        v = splitmix(state);
    for (auto& v : k.ep_file)
        v = splitmix(state);
    return k;
}
constexpr ZobristKeys kZobrist = make_zobrist();

int piece_from_letter(char c)
{
    for (int t = Pawn; t <= King; ++t) {
        if (kPieceLetters[t] == c)
            return make_piece(White, PieceType(t));
        if (kPieceLetters[t] + ('a' - 'A') == c)
            return make_piece(Black, PieceType(t));
    }
    return -1;
}

// Splits off the next space-separated field of a FEN record.
std::string_view next_field(std::string_view& rest)
{
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    size_t end = rest.find(' ');
    std::string_view field = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
    return field;
}

bool parse_number(std::string_view text, int& out)
{
    if (text.empty() || text.size() > 6)
        return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

} // namespace

std::string square_name(int sq)
{
    return {char('a' + file_of(sq)), char('1' + rank_of(sq))};
}

int parse_square(std::string_view text)
{
    if (text.size() != 2 || text[0] < 'a' || text[0] > 'h' || text[1] < '1' || text[1] > '8')
        return kNoSquare;
    return square_at(text[0] - 'a', text[1] - '1');
}

Position Position::start()
{
    return *from_fen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
}

std::optional<Position> Position::from_fen(std::string_view fen)
{
    Position p;
    std::string_view rest = fen;
    std::string_view placement = next_field(rest);
    int rank = 7, file = 0;
    std::array<int, 2> kings = {0, 0};
    for (char c : placement) {
        if (c == '/') {
            if (file != 8 || rank == 0)
                return std::nullopt;
            --rank;
            file = 0;
        } else if (c >= '1' && c <= '8') {
            file += c - '0';
            if (file > 8)
                return std::nullopt;
        } else {
            int piece = piece_from_letter(c);
            if (piece < 0 || file > 7)
                return std::nullopt;
            int sq = square_at(file++, rank);
            if (type_of(Piece(piece)) == Pawn && (rank == 0 || rank == 7))
                return std::nullopt;
            p.board_[sq] = Piece(piece);
            if (type_of(Piece(piece)) == King) {
                ++kings[color_of(Piece(piece))];
                p.king_[color_of(Piece(piece))] = int8_t(sq);
            }
        }
    }
    if (rank != 0 || file != 8 || kings[White] != 1 || kings[Black] != 1)
        return std::nullopt;

    std::string_view side = next_field(rest);
    if (side == "w")
        p.side_ = White;
    else if (side == "b")
        p.side_ = Black;
    else
        return std::nullopt;

    std::string_view castling = next_field(rest);
    if (castling != "-") {
        for (char c : castling) {
            switch (c) {
            case 'K':
                p.castling_ |= WhiteShort;
                break;
            case 'Q':
                p.castling_ |= WhiteLong;
                break;
            case 'k':
                p.castling_ |= BlackShort;
                break;
            case 'q':
                p.castling_ |= BlackLong;
                break;
            default:
                return std::nullopt;
            }
        }
    }
    // Rights whose king or rook has left its square cannot be used.
    const Piece wk = make_piece(White, King), bk = make_piece(Black, King);
    const Piece wr = make_piece(White, Rook), br = make_piece(Black, Rook);
    if (p.board_[4] != wk || p.board_[7] != wr)
        p.castling_ &= ~WhiteShort;
    if (p.board_[4] != wk || p.board_[0] != wr)
        p.castling_ &= ~WhiteLong;
    if (p.board_[60] != bk || p.board_[63] != br)
        p.castling_ &= ~BlackShort;
    if (p.board_[60] != bk || p.board_[56] != br)
        p.castling_ &= ~BlackLong;

    std::string_view ep = next_field(rest);
    if (ep.empty())
        return std::nullopt;
    if (ep != "-") {
        int sq = parse_square(ep);
        if (sq == kNoSquare || rank_of(sq) != (p.side_ == White ? 5 : 2))
            return std::nullopt;
        p.ep_ = int8_t(sq);
    }
    std::string_view half = next_field(rest), full = next_field(rest);
    if (!half.empty() && !parse_number(half, p.halfmove_))
        return std::nullopt;
    if (!full.empty() && (!parse_number(full, p.fullmove_) || p.fullmove_ < 1))
        return std::nullopt;
    // The side not to move must not be in check.
    if (p.is_attacked(p.king_[opposite(p.side_)], p.side_))
        return std::nullopt;
    return p;
}

std::string Position::fen() const
{
    std::string out;
    for (int rank = 7; rank >= 0; --rank) {
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
            Piece pc = board_[square_at(file, rank)];
            if (pc == kEmpty) {
                ++empty;
                continue;
            }
            if (empty)
                out += char('0' + empty);
            empty = 0;
            char letter = kPieceLetters[type_of(pc)];
            out += color_of(pc) == White ? letter : char(letter + ('a' - 'A'));
        }
        if (empty)
            out += char('0' + empty);
        if (rank)
            out += '/';
    }
    out += side_ == White ? " w " : " b ";
    if (!castling_)
        out += '-';
    if (castling_ & WhiteShort)
        out += 'K';
    if (castling_ & WhiteLong)
        out += 'Q';
    if (castling_ & BlackShort)
        out += 'k';
    if (castling_ & BlackLong)
        out += 'q';
    out += ' ';
    out += ep_ == kNoSquare ? std::string("-") : square_name(ep_);
    out += ' ' + std::to_string(halfmove_) + ' ' + std::to_string(fullmove_);
    return out;
}

bool Position::is_attacked(int sq, Color by) const
{
    // Pawns of `by` attack sq from one rank behind it (seen from `by`).
    const int pawn_rank = rank_of(sq) + (by == White ? -1 : 1);
    if (pawn_rank >= 0 && pawn_rank < 8) {
        const Piece pawn = make_piece(by, Pawn);
        for (int df : {-1, 1}) {
            int f = file_of(sq) + df;
            if (f >= 0 && f < 8 && board_[square_at(f, pawn_rank)] == pawn)
                return true;
        }
    }
    const Targets& kn = kKnightTargets[sq];
    for (int i = 0; i < kn.count; ++i)
        if (board_[kn.sq[i]] == make_piece(by, Knight))
            return true;
    const Targets& kg = kKingTargets[sq];
    for (int i = 0; i < kg.count; ++i)
        if (board_[kg.sq[i]] == make_piece(by, King))
            return true;
    for (int d = 0; d < 8; ++d) {
        const PieceType slider = d < kFirstBishopRay ? Rook : Bishop;
        const Ray& ray = kRayTable[sq][d];
        for (int i = 0; i < ray.length; ++i) {
            Piece pc = board_[ray.sq[i]];
            if (pc == kEmpty)
                continue;
            if (color_of(pc) == by && (type_of(pc) == slider || type_of(pc) == Queen))
                return true;
            break;
        }
    }
    return false;
}

void Position::add_pawn_moves(int from, MoveList& out) const
{
    const int dir = side_ == White ? 8 : -8;
    const int start_rank = side_ == White ? 1 : 6;
    const int last_rank = side_ == White ? 7 : 0;
    auto push = [&](int to, uint8_t flags) {
        if (rank_of(to) == last_rank) {
            for (PieceType t : {Queen, Rook, Bishop, Knight})
                out.push({uint8_t(from), uint8_t(to), t, flags});
        } else {
            out.push({uint8_t(from), uint8_t(to), NoType, flags});
        }
    };
    const int one = from + dir;
    if (board_[one] == kEmpty) {
        push(one, Quiet);
        if (rank_of(from) == start_rank && board_[one + dir] == kEmpty)
            out.push({uint8_t(from), uint8_t(one + dir), NoType, DoublePush});
    }
    for (int df : {-1, 1}) {
        int f = file_of(from) + df;
        if (f < 0 || f > 7)
            continue;
        int to = square_at(f, rank_of(one));
        Piece target = board_[to];
        if (target != kEmpty && color_of(target) != side_)
            push(to, Capture);
        else if (to == ep_ && target == kEmpty)
            out.push({uint8_t(from), uint8_t(to), NoType, uint8_t(Capture | EnPassant)});
    }
}

void Position::add_piece_moves(int from, PieceType t, MoveList& out) const
{
    auto add = [&](int to) {
        Piece target = board_[to];
        if (target == kEmpty)
            out.push({uint8_t(from), uint8_t(to), NoType, Quiet});
        else if (color_of(target) != side_)
            out.push({uint8_t(from), uint8_t(to), NoType, Capture});
    };
    if (t == Knight || t == King) {
        const Targets& targets = t == Knight ? kKnightTargets[from] : kKingTargets[from];
        for (int i = 0; i < targets.count; ++i)
            add(targets.sq[i]);
        return;
    }
    const int first = t == Bishop ? kFirstBishopRay : 0;
    const int last = t == Rook ? kFirstBishopRay : 8;
    for (int d = first; d < last; ++d) {
        const Ray& ray = kRayTable[from][d];
        for (int i = 0; i < ray.length; ++i) {
            add(ray.sq[i]);
            if (board_[ray.sq[i]] != kEmpty)
                break;
        }
    }
}

void Position::add_castling(MoveList& out) const
{
    const int home = side_ == White ? 0 : 56;
    const uint8_t short_right = side_ == White ? WhiteShort : BlackShort;
    const uint8_t long_right = side_ == White ? WhiteLong : BlackLong;
    const Color them = opposite(side_);
    if (!(castling_ & (short_right | long_right)) || is_attacked(home + 4, them))
        return;
    if ((castling_ & short_right) && board_[home + 5] == kEmpty && board_[home + 6] == kEmpty &&
        !is_attacked(home + 5, them))
        out.push({uint8_t(home + 4), uint8_t(home + 6), NoType, Castle});
    if ((castling_ & long_right) && board_[home + 3] == kEmpty && board_[home + 2] == kEmpty &&
        board_[home + 1] == kEmpty && !is_attacked(home + 3, them))
        out.push({uint8_t(home + 4), uint8_t(home + 2), NoType, Castle});
}

void Position::pseudo_moves(MoveList& out) const
{
    for (int sq = 0; sq < kSquares; ++sq) {
        Piece pc = board_[sq];
        if (pc == kEmpty || color_of(pc) != side_)
            continue;
        if (type_of(pc) == Pawn)
            add_pawn_moves(sq, out);
        else
            add_piece_moves(sq, type_of(pc), out);
    }
    add_castling(out);
}

void Position::legal_moves(MoveList& out) const
{
    MoveList pseudo;
    pseudo_moves(pseudo);
    out.size = 0;
    for (const Move& m : pseudo) {
        Position next = after(m);
        if (!next.is_attacked(next.king_[side_], next.side_))
            out.push(m);
    }
}

bool Position::is_legal(Move m) const
{
    MoveList list;
    legal_moves(list);
    for (const Move& legal : list)
        if (legal == m)
            return true;
    return false;
}

void Position::play(Move m)
{
    const Piece moving = board_[m.from];
    const PieceType type = type_of(moving);
    const bool capture = board_[m.to] != kEmpty || (m.flags & EnPassant);

    if (m.flags & EnPassant)
        board_[square_at(file_of(m.to), rank_of(m.from))] = kEmpty;
    if (m.flags & Castle) {
        const bool is_short = m.to > m.from;
        const int rook_from = is_short ? m.from + 3 : m.from - 4;
        const int rook_to = is_short ? m.from + 1 : m.from - 1;
        board_[rook_to] = board_[rook_from];
        board_[rook_from] = kEmpty;
    }
    board_[m.to] = m.promotion != NoType ? make_piece(side_, m.promotion) : moving;
    board_[m.from] = kEmpty;
    if (type == King)
        king_[side_] = int8_t(m.to);

    castling_ &= kCastleMask[m.from] & kCastleMask[m.to];
    ep_ = (type == Pawn && std::abs(int(m.to) - int(m.from)) == 16) ? int8_t((m.from + m.to) / 2)
                                                                    : int8_t(kNoSquare);
    halfmove_ = (type == Pawn || capture) ? 0 : halfmove_ + 1;
    if (side_ == Black)
        ++fullmove_;
    side_ = opposite(side_);
}

bool Position::is_checkmate() const
{
    MoveList list;
    legal_moves(list);
    return list.size == 0 && in_check();
}

bool Position::is_stalemate() const
{
    MoveList list;
    legal_moves(list);
    return list.size == 0 && !in_check();
}

bool Position::lacks_mating_material(Color c) const
{
    int minors = 0;
    for (Piece pc : board_) {
        if (pc == kEmpty || color_of(pc) != c)
            continue;
        switch (type_of(pc)) {
        case Pawn:
        case Rook:
        case Queen:
            return false;
        case Knight:
        case Bishop:
            ++minors;
            break;
        default:
            break;
        }
    }
    return minors <= 1;
}

bool Position::is_insufficient_material() const
{
    int minors = 0, knights = 0;
    std::array<int, 2> bishop_square_colours = {0, 0};
    for (int sq = 0; sq < kSquares; ++sq) {
        switch (type_of(board_[sq])) {
        case Pawn:
        case Rook:
        case Queen:
            return false;
        case Knight:
            ++minors;
            ++knights;
            break;
        case Bishop:
            ++minors;
            ++bishop_square_colours[(file_of(sq) + rank_of(sq)) & 1];
            break;
        default:
            break;
        }
    }
    if (minors <= 1)
        return true;
    return knights == 0 && (bishop_square_colours[0] == 0 || bishop_square_colours[1] == 0);
}

int Position::strength(Color c) const
{
    int sum = 0;
    for (Piece pc : board_)
        if (pc != kEmpty && color_of(pc) == c)
            sum += kStrength[type_of(pc)];
    return sum;
}

bool Position::en_passant_capturable() const
{
    if (ep_ == kNoSquare)
        return false;
    MoveList list;
    legal_moves(list);
    for (const Move& m : list)
        if (m.flags & EnPassant)
            return true;
    return false;
}

uint64_t Position::repetition_key() const
{
    uint64_t key = 0;
    for (int sq = 0; sq < kSquares; ++sq)
        if (board_[sq] != kEmpty)
            key ^= kZobrist.piece[sq][board_[sq]];
    if (side_ == Black)
        key ^= kZobrist.black_to_move;
    key ^= kZobrist.castling[castling_];
    if (en_passant_capturable())
        key ^= kZobrist.ep_file[file_of(ep_)];
    return key;
}

uint64_t perft(const Position& pos, int depth)
{
    MoveList list;
    pos.legal_moves(list);
    if (depth <= 1)
        return depth == 1 ? uint64_t(list.size) : 1;
    uint64_t nodes = 0;
    for (const Move& m : list)
        nodes += perft(pos.after(m), depth - 1);
    return nodes;
}

} // namespace ficsd
