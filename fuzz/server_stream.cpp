// Fuzz harness for the server's byte stream: ProcessRawInput over the socket, one write and one
// call per chunk, into ProcessIcsLine and the drawing. Input: the start header (harness.h); the
// largest chunk (1..255, 0: 16383 bytes); two bytes seeding the chunk lengths; a byte: bits 0-4
// how much of the stream's front is in the receive buffer at first, bit 5 the server closes at
// the end; the stream. Checked: lines end in CR LF, hold no other line end, and the non-empty
// ones equal those read whole from a pipe; a close is reported unless telnet IP came first. A
// board line leaves the telnet window alone, puts only its pieces on the board, draws only in the
// board view, and what it draws shows the board; once taken, moving is enabled only on the user's
// move, and my_color is 1 unless the user plays. A line of nothing but prompts changes nothing;
// any other keeps the board (a game announcement may turn it) and goes to the telnet window,
// followed by "Please select some valid move!" after a rejected move (as the server's "<move
// sent last>: ..." is), for which "refresh" is sent while connected; nothing else is sent.
#include <array>

#include "board/board.h"
#include "fuzz/harness.h"
#include "ics/lines.h"
#include "ics/notices.h"

namespace {

using std::string_view;

constexpr size_t kHeaderBytes = fuzz::kStartBytes + 4;
constexpr size_t kMaxStream = 60000; // fits a pipe's 64 KiB: the whole-stream pass never blocks
constexpr size_t kText = kReceiveBufferBytes - 1;

// The whole-stream pass's non-empty lines, each ended by '\n', and how far the chunked pass has
// matched them; the telnet window before a line; rejected moves and refreshes sent.
char whole_lines[2 * kMaxStream + 64];
size_t whole_size, whole_matched;
TelnetLine telnet_before[kTelnetLines];
int rejected_moves, refreshes;

string_view line_text(const char* line)
{
    const string_view text(line);
    if (!text.ends_with("\r\n") || text.find_first_of("\r\n") != text.size() - 2)
        fuzz::fail("a handed-on line does not end in CR LF, or holds a line end inside");
    return text.substr(0, text.size() - 2);
}

void keep_whole_line(const char* line)
{
    const string_view text = line_text(line);
    if (!text.empty() && whole_size + text.size() < sizeof whole_lines) {
        memcpy(whole_lines + whole_size, text.data(), text.size());
        whole_size += text.size();
        whole_lines[whole_size++] = '\n';
    }
}

// Record n shows text (its first 80 bytes), in ink on paper unless ink is 0.
bool record_shows(int n, string_view text, int ink = 0, int paper = 0)
{
    const TelnetLine& line = from_fics[n];
    const size_t length = std::min(text.size(), sizeof line.text);
    return memcmp(line.text, text.data(), length) == 0 && (length == 80 || !line.text[length]) &&
           (ink == 0 || (line.ink == ink && line.paper == paper));
}

bool scrolled_by(int lines)
{
    return !memcmp(from_fics, telnet_before + lines, sizeof(TelnetLine) * (kTelnetLines - lines));
}

// Empty squares in their colour throughout, a piece mostly in its fill colour; the cursor's
// square is left out (the cross covers its middle). Without the sanitizers' checks on these
// reads of the harness's own mapping (and calls, which would not be inlined) they are vectorised.
__attribute__((no_sanitize("address", "undefined"))) void check_board_pixels()
{
    for (int c = 1; c <= 8; ++c)
        for (int r = 1; r <= 8; ++r) {
            const char piece = zeforboard[square_index(c, r)];
            const unsigned char paper = field_color(c, r);
            const int left = field_left(c), top = field_top(r);
            unsigned other = 0, white = 0, black = 0;
            for (auto* row = &fuzz::screen->pixels[top];
                 row < &fuzz::screen->pixels[top + FieldHeight]; ++row) {
                uint8_t row_other = 0, row_white = 0, row_black = 0; // bytes: 16 pixels a step
                for (const uint8_t* p = *row + left; p < *row + left + FieldWidth; ++p) {
                    row_other += *p != paper ? 1 : 0;
                    row_white += *p == kWhitePieceFill ? 1 : 0;
                    row_black += *p == kBlackPieceFill ? 1 : 0;
                }
                other += row_other, white += row_white, black += row_black;
            }
            const bool shown = piece == ' '
                                   ? other == 0
                                   : other >= 50 && (piece < 'a' ? white > black : black > white);
            if (!shown && (c != cursorx || r != cursory))
                fuzz::fail("square %d,%d holds '%c' but shows %u other, %u white, %u black pixels",
                           c, r, piece, other, white, black);
        }
}

void interpret_and_check(const char* line)
{
    const string_view rest(whole_lines + whole_matched, whole_size - whole_matched);
    const string_view whole = rest.substr(0, rest.find('\n')), cut = line_text(line);
    if (!cut.empty() && (rest.empty() || cut != whole))
        fuzz::fail("cut into chunks the stream gives \"%.*s\", whole \"%.*s\"", int(cut.size()),
                   cut.data(), int(whole.size()), whole.data());
    whole_matched += cut.empty() ? 0 : whole.size() + 1;
    std::array<char, kSquares> board;
    memcpy(board.data(), zeforboard, kSquares);
    memcpy(telnet_before, from_fics, sizeof from_fics);
    const uint32_t draws = fuzz::screen->state.draw_counter;
    const char on_move = WhoIsOnMove;
    char sent_move[kSentMoveBytes];
    memcpy(sent_move, LastMoveSent, sizeof sent_move);
    ProcessIcsLine(line);
    fuzz::check_state();
    string_view text(line);
    while (text.starts_with(kPrompt))
        text.remove_prefix(strlen(kPrompt));
    const bool changed = memcmp(zeforboard, board.data(), kSquares) != 0;
    const bool drawn = fuzz::screen->state.draw_counter != draws;
    if (text.starts_with("<12> ")) {
        const auto same_count = [squares = text.substr(5, 71)](char piece) {
            return std::count(zeforboard, zeforboard + kSquares, piece) ==
                   std::ranges::count(squares, piece);
        };
        if (!scrolled_by(0) || (drawn && whats_showed != kBoardView) ||
            (changed && !std::ranges::all_of(string_view("KQRBNPkqrbnp"), same_count)))
            fuzz::fail("a board line changed the telnet window, drew outside the board view, or "
                       "put pieces on the board that it does not hold");
        if (!changed && !drawn && WhoIsOnMove == on_move)
            return; // not taken, or taken without a change that shows here
        if (moving_enabled == 1 && (MojaUloga <= 0 || (WhoIsOnMove == 'W') != (my_color == 1)))
            fuzz::fail("moving enabled with relation %d, %c to move, my_color %d", MojaUloga,
                       WhoIsOnMove, my_color);
        if (strcmp(MyName, WhiteName) != 0 && strcmp(MyName, BlackName) != 0 && my_color != 1)
            fuzz::fail("%s watches %s - %s with my_color 0", MyName, WhiteName, BlackName);
        if (drawn)
            check_board_pixels();
    } else if (changed && !(text.starts_with("Creating: ") &&
                            std::equal(board.rbegin(), board.rend(), zeforboard))) {
        fuzz::fail("a notice changed the board");
    } else if (text == "\r\n" && text.size() != strlen(line)) {
        if (!scrolled_by(0))
            fuzz::fail("a line of nothing but prompts went to the telnet window");
    } else if (record_shows(kTelnetLines - 1, kSelectValidMove, 10, 1) &&
               record_shows(kTelnetLines - 2, text, 1, 3) && scrolled_by(2)) {
        ++rejected_moves;
    } else if ((sent_move[0] && text.starts_with(sent_move) &&
                text.substr(strlen(sent_move)).starts_with(": ")) ||
               !record_shows(kTelnetLines - 1, text) || !scrolled_by(1)) {
        fuzz::fail("the line is not the newest telnet record, the window did not scroll by one, "
                   "or the server's answer to the move sent last was not taken as a rejection");
    }
}

void count_refresh(string_view line) // the only line the plugin may send here
{
    if (line != "refresh")
        fuzz::fail("sent \"%.*s\"", int(line.size()), line.data());
    ++refreshes;
}

// Hands what is queued to ProcessRawInput; false once it has reported the end of the connection.
// A read takes all that is queued on a UNIX stream socket, up to the room behind the carried text
// (all of the buffer when the carried text fills it: that is handed on first).
bool read_pending(int fd, char* buffer, size_t pending)
{
    for (size_t room; pending > 0; pending -= std::min(pending, room)) {
        room = kText - strnlen(buffer, kText) % kText;
        if (ProcessRawInput(fd, buffer, kReceiveBufferBytes, interpret_and_check) == -1)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kHeaderBytes)
        return -1;
    fuzz::Input in{data, kHeaderBytes};
    const bool connected = fuzz::start(in) & fuzz::kConnected;
    const size_t largest_chunk = in.next();
    uint32_t random = (uint32_t(in.next()) << 9) | (uint32_t(in.next()) << 1) | 1;
    const uint8_t extra = in.next();
    string_view stream(reinterpret_cast<const char*>(data) + kHeaderBytes,
                       std::min(size - kHeaderBytes, kMaxStream));
    const string_view carried = stream.substr(0, extra & 31);
    stream.remove_prefix(carried.size());
    // The reference: the whole stream in a pipe, read until the end.
    static char buffer[kReceiveBufferBytes];
    int ends[2];
    if (pipe(ends) != 0 || write(ends[1], stream.data(), stream.size()) != ssize_t(stream.size()))
        fuzz::fail("the reference pipe: %s", strerror(errno));
    close(ends[1]);
    snprintf(buffer, sizeof buffer, "%.*s", int(carried.size()), carried.data());
    whole_size = whole_matched = rejected_moves = refreshes = 0;
    while (ProcessRawInput(ends[0], buffer, kReceiveBufferBytes, keep_whole_line) != -1) {
    }
    close(ends[0]);
    snprintf(buffer, sizeof buffer, "%.*s", int(carried.size()), carried.data());
    bool open = true;
    for (size_t at = 0, chunk; at < stream.size() && open; at += chunk) {
        random ^= random << 13, random ^= random >> 17, random ^= random << 5;
        chunk = std::min(largest_chunk ? 1 + random % largest_chunk : kText, stream.size() - at);
        fuzz::send(stream.substr(at, chunk));
        const int rejected_before = rejected_moves;
        open = read_pending(fuzz::plugin_end, buffer, chunk);
        if (rejected_moves != rejected_before) // before the plugin's sends could fill the socket
            fuzz::receive_lines(count_refresh);
    }
    if (open && (extra & 32)) {
        shutdown(fuzz::server_end, SHUT_WR);
        if (read_pending(fuzz::plugin_end, buffer, 1))
            fuzz::fail("the server closed the connection but ProcessRawInput did not report it");
    }
    fuzz::receive_lines(count_refresh);
    icsFd = 0;
    if (whole_matched != whole_size)
        fuzz::fail("the chunked pass ended before the whole pass's line \"%.*s\"",
                   int(std::min<size_t>(whole_size - whole_matched, 60)),
                   whole_lines + whole_matched);
    if (refreshes != (connected ? rejected_moves : 0))
        fuzz::fail("sent %d refreshes for %d rejected moves", refreshes, rejected_moves);
    fuzz::check_screen();
    return 0;
}
