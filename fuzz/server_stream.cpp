// Fuzz harness for the server's byte stream: line assembly (ProcessRawInput over a real socket,
// one write and one call per chunk, chunks cut where the input says) and line interpretation
// (ProcessIcsLine, drawing into the stand-in framebuffer), from a starting state the input picks.
//
// Input: the start header (fuzz/harness.h), four bytes, then the stream (at most kMaxStream).
//   0     largest chunk: 1..255, or 0 for one chunk per 16383 bytes
//   1, 2  seed of the chunk lengths
//   3     bits 0-2: the text carried in the receive buffer before the first read;
//         bit 3: the server closes the connection at the end
//
// Checked beyond the shared invariants:
//   - the lines handed on end in CR LF, hold no other line end, and do not depend on where the
//     stream was cut: the non-empty lines equal those of a pass over a pipe holding the whole
//     stream (a CR LF pair cut between two reads gives an extra empty line);
//   - a closed connection is reported unless telnet IP ended the stream first;
//   - a board line leaves the telnet window alone, changes the board only to the line's pieces,
//     draws only in the board view, and what it draws shows the stored board; once taken,
//     moving is enabled only on the user's move, and a game the user does not play has
//     my_color 1;
//   - a line of nothing but prompts changes nothing;
//   - any other line keeps the board (a game announcement may turn it half) and adds itself to
//     the telnet window, or itself and "Please select some valid move!" after a rejected move;
//   - the plugin sends nothing but one "refresh\r\n" per rejected move, and only while connected.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <string_view>

#include "board/board.h"
#include "fuzz/harness.h"
#include "ics/game_state.h"
#include "ics/lines.h"
#include "ics/notices.h"
#include "panels/telnet.h"
#include "shell/move_state.h"
#include "shell/screen_mode.h"

namespace {

using std::string_view;

constexpr size_t kHeaderBytes = fuzz::kStartBytes + 4;
constexpr size_t kMaxStream = 60000; // fits a pipe's 64 KiB: the whole-stream pass never blocks
constexpr string_view kRefresh = "refresh\r\n";
constexpr const char* kCarriedTexts[] = {
    "", "fics% ", "fics% fics% ", "<12> rnbqkbnr pppppppp", "\xff", "\xff\xfb",
    "Creating: Me (1500) Opp", "{Game 1 (Me vs. Opp) ",
};
static_assert(std::size(kCarriedTexts) == 8);

// The non-empty lines of the whole-stream pass, each ended by '\n', and how far the chunked
// pass has matched them.
char whole_lines[2 * kMaxStream + 256];
size_t whole_size, whole_matched;
int rejected_moves;
size_t sent_bytes;

// The text of a handed-on line, without its "\r\n".
string_view line_text(const char* line)
{
    string_view text(line);
    if (!text.ends_with("\r\n"))
        fuzz::fail("a handed-on line does not end in CR LF");
    text.remove_suffix(2);
    if (text.find_first_of("\r\n") != string_view::npos)
        fuzz::fail("a handed-on line holds a line end inside");
    return text;
}

void keep_whole_line(const char* line)
{
    const string_view text = line_text(line);
    if (text.empty())
        return;
    if (whole_size + text.size() + 1 > sizeof whole_lines)
        fuzz::fail("the whole pass handed on more text than the stream holds");
    memcpy(whole_lines + whole_size, text.data(), text.size());
    whole_size += text.size();
    whole_lines[whole_size++] = '\n';
}

void match_whole_line(string_view text)
{
    if (text.empty())
        return;
    const string_view rest(whole_lines + whole_matched, whole_size - whole_matched);
    const string_view expected = rest.substr(0, rest.find('\n'));
    if (rest.empty() || text != expected)
        fuzz::fail("cut into chunks the stream gives \"%.*s\", whole \"%.*s\"",
                   int(std::min<size_t>(text.size(), 60)), text.data(),
                   int(std::min<size_t>(expected.size(), 60)), expected.data());
    whole_matched += expected.size() + 1;
}

// Everything the plugin sent must be "refresh\r\n" again and again.
void receive_sent(const fuzz::Server& server)
{
    char bytes[4096];
    for (size_t got; (got = server.receive(bytes, sizeof bytes)) > 0;)
        for (size_t i = 0; i < got; ++i, ++sent_bytes)
            if (bytes[i] != kRefresh[sent_bytes % kRefresh.size()])
                fuzz::fail("sent something other than \"refresh\\r\\n\"");
}

// ---- Checks of one interpreted line -------------------------------------------------------------

struct Before {
    std::array<char, kSquares> board;
    TelnetLine telnet[kTelnetLines];
    uint32_t draw_calls;
    char on_move;
};

std::array<int, 128> piece_counts(string_view squares)
{
    std::array<int, 128> counts{};
    for (char c : squares)
        if (c != ' ' && c != '-' && (unsigned char)c < 128)
            ++counts[(unsigned char)c];
    return counts;
}

// Record n shows text (its first 80 bytes), in ink on paper unless ink is -1.
bool record_shows(int n, string_view text, int ink = -1, int paper = -1)
{
    const TelnetLine& line = from_fics[n];
    const size_t length = std::min(text.size(), sizeof line.text);
    return memcmp(line.text, text.data(), length) == 0 &&
           (length == sizeof line.text || line.text[length] == 0) &&
           (ink < 0 || (line.ink == ink && line.paper == paper));
}

bool scrolled_by(const Before& before, int added)
{
    return memcmp(from_fics, before.telnet + added, sizeof(TelnetLine) * (kTelnetLines - added)) == 0;
}

// Empty squares in their own colour throughout, a piece mostly in its fill colour; the cursor's
// square is left out (the cross covers its middle). Without the sanitizers' checks on these
// reads of the harness's own mapping (and without calls, which would not be inlined here) the
// counting is vectorised.
__attribute__((no_sanitize("address", "undefined"))) void check_board_pixels()
{
    const gx9::FbFile& fb = fuzz::screen();
    for (int c = 1; c <= 8; ++c)
        for (int r = 1; r <= 8; ++r) {
            if (c == cursorx && r == cursory)
                continue;
            const char piece = zeforboard[square_index(c, r)];
            const unsigned char paper = field_color(c, r);
            const int left = field_left(c), top = field_top(r);
            unsigned other = 0, white = 0, black = 0;
            for (int y = top; y < top + FieldHeight; ++y)
                for (const uint8_t* p = &fb.pixels[y][left]; p < &fb.pixels[y][left + FieldWidth]; ++p) {
                    other += *p != paper;
                    white += *p == kWhitePieceFill;
                    black += *p == kBlackPieceFill;
                }
            const bool white_piece = piece >= 'A' && piece <= 'Z';
            if (piece == ' ' ? other != 0 : other < 50 || (white_piece ? white <= black : black <= white))
                fuzz::fail("square %d,%d holds '%c' but shows %u foreign, %u white, %u black pixels", c,
                           r, piece, other, white, black);
        }
}

void check_board_line(string_view text, const Before& before)
{
    if (memcmp(from_fics, before.telnet, sizeof from_fics) != 0)
        fuzz::fail("a board line changed the telnet window");
    const bool board_changed = memcmp(zeforboard, before.board.data(), kSquares) != 0;
    const string_view squares = text.substr(5, std::min<size_t>(71, text.size() - 5));
    if (board_changed && piece_counts(string_view(zeforboard, kSquares)) != piece_counts(squares))
        fuzz::fail("the board does not hold the pieces of the board line");
    const bool drawn = fuzz::screen().state.draw_counter != before.draw_calls;
    if (drawn && whats_showed != kBoardView)
        fuzz::fail("a board line drew while whats_showed is %d", whats_showed);
    // A line not taken changes nothing; one taken may also change nothing that shows here.
    if (!board_changed && !drawn && WhoIsOnMove == before.on_move)
        return;
    if (moving_enabled == 1 && (MojaUloga <= 0 || (WhoIsOnMove == 'W') != (my_color == 1)))
        fuzz::fail("moving enabled with relation %d, %c to move, my_color %d", MojaUloga,
                   WhoIsOnMove, my_color);
    if (strcmp(MyName, WhiteName) != 0 && strcmp(MyName, BlackName) != 0 && my_color != 1)
        fuzz::fail("%s watches %s - %s with my_color 0", MyName, WhiteName, BlackName);
    if (drawn)
        check_board_pixels();
}

void check_notice(string_view text, bool prompted, const Before& before)
{
    const bool board_kept = memcmp(zeforboard, before.board.data(), kSquares) == 0;
    const bool board_turned = std::equal(before.board.rbegin(), before.board.rend(), zeforboard);
    if (!board_kept && !(board_turned && text.starts_with("Creating: ")))
        fuzz::fail("a notice changed the board");
    if (prompted && text == "\r\n") {
        if (!scrolled_by(before, 0))
            fuzz::fail("a line of nothing but prompts was added to the telnet window");
    } else if (record_shows(kTelnetLines - 1, kSelectValidMove, 10, 1) &&
               record_shows(kTelnetLines - 2, text, 1, 3) && scrolled_by(before, 2)) {
        ++rejected_moves;
    } else if (!record_shows(kTelnetLines - 1, text) || !scrolled_by(before, 1)) {
        fuzz::fail("the line is not the newest telnet record, or the window did not scroll by one");
    }
}

void interpret_and_check(const char* line)
{
    match_whole_line(line_text(line));
    Before before;
    memcpy(before.board.data(), zeforboard, kSquares);
    memcpy(before.telnet, from_fics, sizeof from_fics);
    before.draw_calls = fuzz::screen().state.draw_counter;
    before.on_move = WhoIsOnMove;

    ProcessIcsLine(line);

    fuzz::check_state();
    string_view text(line);
    while (text.starts_with(kPrompt))
        text.remove_prefix(strlen(kPrompt));
    if (text.starts_with("<12> "))
        check_board_line(text, before);
    else
        check_notice(text, text.size() != strlen(line), before);
}

// ---- Passes -------------------------------------------------------------------------------------

// The reference: the whole stream in a pipe, read until the end.
void run_whole_pass(string_view stream, const char* carried)
{
    int ends[2];
    if (pipe(ends) != 0 || write(ends[1], stream.data(), stream.size()) != ssize_t(stream.size()))
        fuzz::fail("the reference pipe failed");
    close(ends[1]);
    static char buffer[kReceiveBufferBytes];
    snprintf(buffer, sizeof buffer, "%s", carried);
    whole_size = whole_matched = 0;
    while (ProcessRawInput(ends[0], buffer, kReceiveBufferBytes, keep_whole_line) != -1) {
    }
    close(ends[0]);
}

uint32_t next_random(uint32_t& state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

// Hands pending bytes to ProcessRawInput; false once it has reported the end of the connection.
// A read takes all that is queued on a UNIX stream socket, up to the room behind the carried text.
bool read_pending(int fd, char* buffer, size_t pending)
{
    while (pending > 0) {
        const size_t carried = strnlen(buffer, kReceiveBufferBytes - 1);
        const size_t room = carried == kReceiveBufferBytes - 1 ? carried : kReceiveBufferBytes - 1 - carried;
        if (ProcessRawInput(fd, buffer, kReceiveBufferBytes, interpret_and_check) == -1)
            return false;
        pending -= std::min(pending, room);
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::set_up_process();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kHeaderBytes)
        return -1;
    const fuzz::Server server;
    fuzz::Input in{data, kHeaderBytes};
    const bool connected = fuzz::start(in, server) & fuzz::kConnected;
    const size_t largest_chunk = in.next();
    uint32_t random = (uint32_t(in.next()) << 8 | in.next()) << 1 | 1;
    const uint8_t extra = in.next();
    const char* carried = kCarriedTexts[extra & 7];
    const string_view stream(reinterpret_cast<const char*>(data) + kHeaderBytes,
                             std::min(size - kHeaderBytes, kMaxStream));
    run_whole_pass(stream, carried);

    static char ics_buffer[kReceiveBufferBytes];
    snprintf(ics_buffer, sizeof ics_buffer, "%s", carried);
    rejected_moves = 0;
    sent_bytes = 0;
    bool open = true;
    for (size_t at = 0, chunk; at < stream.size() && open; at += chunk) {
        chunk = largest_chunk == 0 ? kReceiveBufferBytes - 1 : 1 + next_random(random) % largest_chunk;
        chunk = std::min(chunk, stream.size() - at);
        server.send(stream.substr(at, chunk));
        const int rejected_before = rejected_moves;
        open = read_pending(server.plugin_end, ics_buffer, chunk);
        if (rejected_moves != rejected_before) // the plugin's sends must not fill the socket
            receive_sent(server);
    }
    if (open && (extra & 8)) {
        shutdown(server.server_end, SHUT_WR);
        if (ProcessRawInput(server.plugin_end, ics_buffer, kReceiveBufferBytes, interpret_and_check) != -1)
            fuzz::fail("the server closed the connection but ProcessRawInput did not report it");
    }
    receive_sent(server);
    icsFd = 0;

    if (whole_matched != whole_size)
        fuzz::fail("the chunked pass ended before the whole pass's line \"%.*s\"",
                   int(std::min<size_t>(whole_size - whole_matched, 60)), whole_lines + whole_matched);
    if (sent_bytes != (connected ? size_t(rejected_moves) * kRefresh.size() : 0))
        fuzz::fail("sent %zu bytes for %d rejected moves (connected %d)", sent_bytes, rejected_moves,
                   int(connected));
    fuzz::check_screen();
    return 0;
}
