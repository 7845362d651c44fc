// The style 12 board line and the plain board picture.
#include "ficsd/board_line.h"

#include <cstdio>
#include <cstdlib>

namespace ficsd {
namespace {

constexpr std::string_view kLetters = "-PNBRQK";

char square_letter(Piece pc)
{
    if (pc == kEmpty)
        return '-';
    char letter = kLetters[type_of(pc)];
    return color_of(pc) == White ? letter : char(letter + ('a' - 'A'));
}

// Seconds shown on a clock; a clock past zero shows a negative number.
long long clock_seconds(long long ms)
{
    return ms / 1000;
}

} // namespace

std::string move_time_text(long long ms, bool milliseconds)
{
    if (ms < 0)
        ms = 0;
    long long seconds = ms / 1000;
    char text[40];
    if (milliseconds)
        std::snprintf(text, sizeof text, "(%lld:%02lld.%03lld)", seconds / 60, seconds % 60,
                      ms % 1000);
    else
        std::snprintf(text, sizeof text, "(%lld:%02lld)", seconds / 60, seconds % 60);
    return text;
}

std::string style12_line(const BoardLineFields& f)
{
    const Position& pos = *f.position;
    std::string out = "<12>";
    for (int rank = 7; rank >= 0; --rank) {
        out += ' ';
        for (int file = 0; file < 8; ++file)
            out += square_letter(pos.at(square_at(file, rank)));
    }
    const int double_push_file = pos.en_passant() == kNoSquare ? -1 : file_of(pos.en_passant());
    const uint8_t c = pos.castling();
    char tail[512];
    std::snprintf(
        tail, sizeof tail,
        " %c %d %d %d %d %d %d %d %s %s %d %d %d %d %d %lld %lld %d %s %s %s %d %d %d",
        pos.side_to_move() == White ? 'W' : 'B', double_push_file, (c & WhiteShort) ? 1 : 0,
        (c & WhiteLong) ? 1 : 0, (c & BlackShort) ? 1 : 0, (c & BlackLong) ? 1 : 0,
        pos.halfmove_clock(), f.game_number, f.white_name.c_str(), f.black_name.c_str(),
        static_cast<int>(f.relation), f.initial_minutes, f.increment_seconds, pos.strength(White),
        pos.strength(Black), f.milliseconds ? f.white_ms : clock_seconds(f.white_ms),
        f.milliseconds ? f.black_ms : clock_seconds(f.black_ms), pos.fullmove_number(),
        f.verbose_move.c_str(), move_time_text(f.move_ms, f.milliseconds).c_str(),
        f.short_move.c_str(), f.black_at_bottom ? 1 : 0, f.clock_ticking ? 1 : 0, f.lag_ms);
    return out + tail;
}

std::string ascii_board(const BoardLineFields& f)
{
    const Position& pos = *f.position;
    std::string out;
    char line[160];
    std::snprintf(line, sizeof line, "Game %d (%s vs. %s)\n", f.game_number, f.white_name.c_str(),
                  f.black_name.c_str());
    out += line;
    out += "\n";
    for (int row = 0; row < 8; ++row) {
        const int rank = f.black_at_bottom ? row : 7 - row;
        out += "  ---------------------------------\n";
        std::snprintf(line, sizeof line, "%d |", rank + 1);
        out += line;
        for (int col = 0; col < 8; ++col) {
            const int file = f.black_at_bottom ? 7 - col : col;
            const Piece pc = pos.at(square_at(file, rank));
            out += ' ';
            out += pc == kEmpty ? ' ' : square_letter(pc);
            out += " |";
        }
        out += "\n";
    }
    out += "  ---------------------------------\n";
    out += f.black_at_bottom ? "    h   g   f   e   d   c   b   a\n"
                             : "    a   b   c   d   e   f   g   h\n";
    std::snprintf(line, sizeof line, "Move %d (%s): %s %s   White: %lld:%02lld  Black: %lld:%02lld",
                  pos.fullmove_number(), pos.side_to_move() == White ? "White" : "Black",
                  f.short_move.c_str(), move_time_text(f.move_ms).c_str(),
                  clock_seconds(f.white_ms) / 60, std::llabs(clock_seconds(f.white_ms)) % 60,
                  clock_seconds(f.black_ms) / 60, std::llabs(clock_seconds(f.black_ms)) % 60);
    out += line;
    return out;
}

} // namespace ficsd
