// Move texts for ficsd: coordinate and short algebraic reading, short and verbose writing.
#include "ficsd/move_notation.h"

#include <cctype>
#include <vector>

namespace ficsd {
namespace {

constexpr std::string_view kPieceLetters = " PNBRQK";

PieceType piece_letter(char c)
{
    switch (c) {
    case 'N':
    case 'n':
        return Knight;
    case 'B':
        return Bishop;
    case 'R':
    case 'r':
        return Rook;
    case 'Q':
    case 'q':
        return Queen;
    case 'K':
    case 'k':
        return King;
    default:
        return NoType;
    }
}

// The piece after "=": q r b n, and k for a knight, in either case.
PieceType promotion_letter(char c)
{
    switch (std::tolower(static_cast<unsigned char>(c))) {
    case 'n':
    case 'k':
        return Knight;
    case 'b':
        return Bishop;
    case 'r':
        return Rook;
    case 'q':
        return Queen;
    default:
        return NoType;
    }
}

bool is_file(char c)
{
    return c >= 'a' && c <= 'h';
}
bool is_rank(char c)
{
    return c >= '1' && c <= '8';
}
bool is_square(std::string_view t, size_t at)
{
    return t.size() >= at + 2 && is_file(t[at]) && is_rank(t[at + 1]);
}

// Castling texts: 1 short, 2 long, 0 none.
int castling_kind(std::string_view t)
{
    if (t == "O-O" || t == "0-0" || t == "o-o" || t == "OO" || t == "oo")
        return 1;
    if (t == "O-O-O" || t == "0-0-0" || t == "o-o-o" || t == "OOO" || t == "ooo")
        return 2;
    return 0;
}

// The parts of a move text after its shape has been read.
struct MoveText {
    PieceType piece = NoType; // NoType: a pawn move, or a coordinate move
    int from_file = -1, from_rank = -1;
    int to = kNoSquare;
    PieceType promotion = NoType; // NoType: the player's promotion piece, if one is needed
    bool coordinate = false;
    int castle = 0;
};

// Short algebraic form without its promotion: [piece][file][rank][x]square. A lower-case "b"
// is a bishop only when b_is_bishop.
std::optional<MoveText> read_algebraic(std::string_view t, bool b_is_bishop)
{
    MoveText m;
    size_t i = 0;
    if (!t.empty() && (t[0] != 'b' || b_is_bishop)) {
        m.piece = t[0] == 'b' ? Bishop : piece_letter(t[0]);
        if (m.piece != NoType)
            ++i;
    }
    if (t.size() < i + 2 || !is_square(t, t.size() - 2))
        return std::nullopt;
    m.to = square_at(t[t.size() - 2] - 'a', t.back() - '1');
    std::string_view middle = t.substr(i, t.size() - 2 - i);
    if (!middle.empty() && (middle.back() == 'x' || middle.back() == ':'))
        middle.remove_suffix(1);
    for (char c : middle) {
        if (is_file(c) && m.from_file < 0)
            m.from_file = c - 'a';
        else if (is_rank(c) && m.from_rank < 0)
            m.from_rank = c - '1';
        else
            return std::nullopt;
    }
    return m;
}

// The forms the servers of the lineage take, in their order: a trailing "+" or "#" and then a
// trailing "=X" come off; what is left is a coordinate move of four characters ("e2e4"), or of
// five with a dash ("e2-e4"), castling, or short algebraic. So "e7e8=q" is a move and "e7e8q"
// is not. Both readings of a lower-case "b" come back, the b-file first.
std::vector<MoveText> read_move(std::string_view t)
{
    if (!t.empty() && (t.back() == '+' || t.back() == '#'))
        t.remove_suffix(1);
    PieceType promotion = NoType;
    if (t.size() > 3 && t[t.size() - 2] == '=') {
        promotion = promotion_letter(t.back());
        if (promotion == NoType)
            return {};
        t.remove_suffix(2);
    }
    MoveText m;
    m.promotion = promotion;
    if (int kind = castling_kind(t)) {
        m.castle = kind;
        return promotion == NoType ? std::vector{m} : std::vector<MoveText>{};
    }
    const bool dash = t.size() == 5 && t[2] == '-';
    if ((t.size() == 4 || dash) && is_square(t, 0) && is_square(t, dash ? 3 : 2)) {
        m.coordinate = true;
        m.from_file = t[0] - 'a';
        m.from_rank = t[1] - '1';
        m.to = square_at(t[t.size() - 2] - 'a', t.back() - '1');
        return {m};
    }
    std::vector<MoveText> readings;
    for (bool b_is_bishop : {false, true}) {
        if (auto algebraic = read_algebraic(t, b_is_bishop)) {
            algebraic->promotion = promotion;
            readings.push_back(*algebraic);
        }
        if (t.empty() || t[0] != 'b')
            break;
    }
    return readings;
}

bool matches(const Position& pos, const Move& mv, const MoveText& text, PieceType promote)
{
    if (mv.to != text.to)
        return false;
    if (text.from_file >= 0 && file_of(mv.from) != text.from_file)
        return false;
    if (text.from_rank >= 0 && rank_of(mv.from) != text.from_rank)
        return false;
    const PieceType moving = type_of(pos.at(mv.from));
    if (!text.coordinate && moving != (text.piece == NoType ? Pawn : text.piece))
        return false;
    const PieceType wanted = text.promotion != NoType ? text.promotion : promote;
    return mv.promotion == NoType ? text.promotion == NoType : mv.promotion == wanted;
}

ParsedMove find_move(const Position& pos, const MoveText& text, PieceType promote)
{
    MoveList list;
    pos.legal_moves(list);
    ParsedMove found;
    int count = 0;
    for (const Move& mv : list) {
        bool hit = false;
        if (text.castle)
            hit = (mv.flags & Castle) && ((mv.to > mv.from) == (text.castle == 1));
        else
            hit = matches(pos, mv, text, promote);
        if (hit) {
            found.move = mv;
            ++count;
        }
    }
    found.result = count == 1   ? MoveParse::Ok
                   : count == 0 ? MoveParse::Illegal
                                : MoveParse::Ambiguous;
    return found;
}

} // namespace

bool looks_like_move(std::string_view text)
{
    return !read_move(text).empty();
}

ParsedMove parse_move(const Position& pos, std::string_view text, PieceType promote)
{
    ParsedMove best;
    for (const MoveText& reading : read_move(text)) {
        ParsedMove p = find_move(pos, reading, promote);
        if (p.result == MoveParse::Ok)
            return p;
        if (p.result == MoveParse::Ambiguous)
            best = p;
    }
    return best;
}

std::optional<Move> uci_move(const Position& pos, std::string_view text)
{
    MoveList list;
    pos.legal_moves(list);
    for (const Move& m : list)
        if (uci_notation(m) == text)
            return m;
    return std::nullopt;
}

std::string short_notation(const Position& before, Move m)
{
    std::string out;
    const PieceType type = type_of(before.at(m.from));
    const bool capture = before.at(m.to) != kEmpty || (m.flags & EnPassant);
    if (m.flags & Castle) {
        out = m.to > m.from ? "O-O" : "O-O-O";
    } else if (type == Pawn) {
        if (capture) {
            out += char('a' + file_of(m.from));
            out += 'x';
        }
        out += square_name(m.to);
        if (m.promotion != NoType) {
            out += '=';
            out += kPieceLetters[m.promotion];
        }
    } else {
        out += kPieceLetters[type];
        // Disambiguate by file, else by rank, else by both.
        MoveList list;
        before.legal_moves(list);
        bool others = false, same_file = false, same_rank = false;
        for (const Move& o : list) {
            if (o.to != m.to || o.from == m.from || type_of(before.at(o.from)) != type)
                continue;
            others = true;
            same_file |= file_of(o.from) == file_of(m.from);
            same_rank |= rank_of(o.from) == rank_of(m.from);
        }
        if (others) {
            if (!same_file)
                out += char('a' + file_of(m.from));
            else if (!same_rank)
                out += char('1' + rank_of(m.from));
            else
                out += square_name(m.from);
        }
        if (capture)
            out += 'x';
        out += square_name(m.to);
    }
    const Position after = before.after(m);
    if (after.in_check())
        out += after.is_checkmate() ? '#' : '+';
    return out;
}

std::string verbose_notation(const Position& before, Move m)
{
    if (m.flags & Castle)
        return m.to > m.from ? "o-o" : "o-o-o";
    std::string out;
    out += kPieceLetters[type_of(before.at(m.from))];
    out += '/';
    out += square_name(m.from);
    out += '-';
    out += square_name(m.to);
    if (m.promotion != NoType) {
        out += '=';
        out += kPieceLetters[m.promotion];
    }
    return out;
}

std::string uci_notation(Move m)
{
    std::string out = square_name(m.from) + square_name(m.to);
    if (m.promotion != NoType)
        out += char(kPieceLetters[m.promotion] + ('a' - 'A'));
    return out;
}

} // namespace ficsd
