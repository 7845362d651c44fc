// Move texts for ficsd: coordinate and short algebraic reading, short and verbose writing.
#include "ficsd/move_notation.h"

#include <cctype>

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

PieceType promotion_letter(char c)
{
    switch (std::tolower(static_cast<unsigned char>(c))) {
    case 'n':
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

// Drops the check, mate and comment marks that may follow a move.
std::string_view strip_suffix(std::string_view text)
{
    while (!text.empty() &&
           (text.back() == '+' || text.back() == '#' || text.back() == '!' || text.back() == '?'))
        text.remove_suffix(1);
    return text;
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
    PieceType promotion = NoType;
    bool coordinate = false;
    int castle = 0;
};

// Coordinate form: e2e4, e2-e4, e2xd3, e7e8q, e7e8=q.
std::optional<MoveText> read_coordinate(std::string_view t)
{
    if (t.size() < 4 || !is_file(t[0]) || !is_rank(t[1]))
        return std::nullopt;
    size_t i = 2;
    if (t[i] == '-' || t[i] == 'x')
        ++i;
    if (t.size() < i + 2 || !is_file(t[i]) || !is_rank(t[i + 1]))
        return std::nullopt;
    MoveText m;
    m.coordinate = true;
    m.from_file = t[0] - 'a';
    m.from_rank = t[1] - '1';
    m.to = square_at(t[i] - 'a', t[i + 1] - '1');
    i += 2;
    if (i < t.size() && t[i] == '=')
        ++i;
    if (i < t.size()) {
        m.promotion = promotion_letter(t[i]);
        if (m.promotion == NoType || i + 1 != t.size())
            return std::nullopt;
    }
    return m;
}

// Short algebraic form: [piece][file][rank][x]square[[=]promotion].
std::optional<MoveText> read_algebraic(std::string_view t, bool b_is_bishop)
{
    MoveText m;
    size_t i = 0;
    if (!t.empty() && (t[0] != 'b' || b_is_bishop)) {
        m.piece = t[0] == 'b' ? Bishop : piece_letter(t[0]);
        if (m.piece != NoType)
            ++i;
    }
    // Promotion suffix: "=Q", "Q" or "q" after the target rank.
    if (t.size() >= 2 && t[t.size() - 2] == '=') {
        m.promotion = promotion_letter(t.back());
        if (m.promotion == NoType)
            return std::nullopt;
        t.remove_suffix(2);
    } else if (m.piece == NoType && t.size() >= 3 && is_rank(t[t.size() - 2]) &&
               promotion_letter(t.back()) != NoType) {
        m.promotion = promotion_letter(t.back());
        t.remove_suffix(1);
    }
    if (t.size() < i + 2 || !is_file(t[t.size() - 2]) || !is_rank(t.back()))
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

bool matches(const Position& pos, const Move& mv, const MoveText& text)
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
    const PieceType wanted = text.promotion != NoType ? text.promotion : Queen;
    return mv.promotion == NoType ? text.promotion == NoType : mv.promotion == wanted;
}

ParsedMove find_move(const Position& pos, const MoveText& text)
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
            hit = matches(pos, mv, text);
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
    text = strip_suffix(text);
    if (castling_kind(text))
        return true;
    return read_coordinate(text).has_value() || read_algebraic(text, false).has_value() ||
           read_algebraic(text, true).has_value();
}

ParsedMove parse_move(const Position& pos, std::string_view text)
{
    text = strip_suffix(text);
    if (int kind = castling_kind(text)) {
        MoveText castle;
        castle.castle = kind;
        return find_move(pos, castle);
    }
    if (auto coordinate = read_coordinate(text))
        return find_move(pos, *coordinate);
    // A lower-case "b" is first read as the b-file, then as a bishop.
    ParsedMove best;
    for (bool b_is_bishop : {false, true}) {
        if (auto algebraic = read_algebraic(text, b_is_bishop)) {
            ParsedMove p = find_move(pos, *algebraic);
            if (p.result == MoveParse::Ok)
                return p;
            if (p.result == MoveParse::Ambiguous)
                best = p;
        }
    }
    return best;
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
