// Fuzz harness for the server's byte stream: line assembly (ProcessRawInput over a real socket,
// one write and one call per chunk, chunks cut where the input says) and line interpretation
// (ProcessIcsLine, drawing into the stand-in framebuffer), from a starting state the input picks.
//
// Input: a 16-byte header, then the stream (at most kMaxStream bytes are used).
//   0      largest chunk: 1..255, or 0 for one chunk per 16383 bytes
//   1..4   seed of the chunk lengths
//   5      whats_showed (mod 3)
//   6      flags: 1 my_color, 2 WeAreNotPlaying, 4 moving_enabled, 8 ObserveAnnounced,
//          16 board starts turned, 32 connected (icsFd is the socket), 64 server closes at end
//   7..9   MyName, WhiteName, BlackName (index into the harness's names)
//   10     cursor: bits 0-2 column - 1, bits 3-5 row - 1
//   11     text carried in the receive buffer before the first read
//   12..15 unused
//
// Checked beyond the shared invariants:
//   - the lines handed on do not depend on where the stream was cut: the non-empty lines equal
//     those of a second pass over a pipe holding the whole stream (a CR LF pair cut between two
//     reads gives an extra empty line, which is allowed);
//   - a closed connection is reported (-1) unless telnet IP ended the stream first;
//   - a board line leaves the telnet window alone, changes the board only to the line's pieces,
//     draws only in the board view, and what it draws shows the stored board;
//   - any other line keeps the board (a game announcement may turn it half) and adds itself to
//     the telnet window, or itself and "Please select some valid move!" after a rejected move;
//   - the plugin sends nothing but one "refresh\r\n" per rejected move, and only while connected.
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "board/board.h"
#include "fuzz/harness_support.h"
#include "host/gx9.h"
#include "ics/game_state.h"
#include "ics/lines.h"
#include "ics/notices.h"
#include "panels/telnet.h"
#include "shell/move_state.h"
#include "shell/screen_mode.h"

namespace {

using std::string_view;

constexpr size_t kHeaderBytes = 16;
constexpr size_t kMaxStream = 60000;  // fits a pipe's 64 KiB, so the whole-stream pass never blocks
constexpr int kWholeChunk = kReceiveBufferBytes - 1;
constexpr string_view kRefresh = "refresh\r\n";

constexpr const char* kCarriedTexts[] = {
    "", "fics% ", "fics% fics% ", "<12> rnbqkbnr pppppppp", "\xff", "\xff\xfb",
    "Creating: Me (1500) Opp", "{Game 1 (Me vs. Opp) ",
};

enum Flags : uint8_t {
    kMyColour = 1,
    kNotPlaying = 2,
    kMovingEnabled = 4,
    kObserveAnnounced = 8,
    kBoardTurned = 16,
    kConnected = 32,
    kCloseAtEnd = 64,
};

struct Header {
    int largest_chunk;
    uint32_t seed;
    uint8_t flags;
    const char* carried;
};

// The non-empty lines a pass handed on, without their "\r\n".
std::vector<std::string> whole_pass_lines;
std::vector<std::string> split_pass_lines;
int rejected_moves;

void record_line(std::vector<std::string>& lines, const char* line)
{
    string_view text(line);
    if (text.size() < 2 || text.substr(text.size() - 2) != "\r\n")
        fuzz::fail("a handed-on line does not end in CR LF");
    text.remove_suffix(2);
    if (text.find_first_of("\r\n") != string_view::npos)
        fuzz::fail("a handed-on line holds a line end inside");
    if (!text.empty())
        lines.emplace_back(text);
}

void record_whole(const char* line) { record_line(whole_pass_lines, line); }

string_view without_prompts(const char* line)
{
    string_view text(line);
    while (text.starts_with(kPrompt))
        text.remove_prefix(strlen(kPrompt));
    return text;
}

// ---- Checks of one interpreted line -------------------------------------------------------------

struct Before {
    std::array<char, kSquares> board;
    std::array<TelnetLine, kTelnetLines> telnet;
    uint32_t draw_calls;
};

std::array<int, 128> piece_counts(string_view squares)
{
    std::array<int, 128> counts{};
    for (char c : squares)
        if (c != ' ' && c != '-' && (unsigned char)c < 128)
            ++counts[(unsigned char)c];
    return counts;
}

bool same_record(const TelnetLine& a, const TelnetLine& b) { return memcmp(&a, &b, sizeof a) == 0; }

// Record n shows text (its first 80 bytes) in ink on paper.
bool record_shows(int n, string_view text, int ink, int paper)
{
    const TelnetLine& line = from_fics[n];
    const size_t length = std::min(text.size(), sizeof line.text);
    if (memcmp(line.text, text.data(), length) != 0)
        return false;
    if (length < sizeof line.text && line.text[length] != 0)
        return false;
    return ink < 0 || (line.ink == ink && line.paper == paper);
}

bool scrolled_by(const Before& before, int added)
{
    for (int i = 0; i + added < kTelnetLines; ++i)
        if (!same_record(from_fics[i], before.telnet[size_t(i + added)]))
            return false;
    return true;
}

// Square (c, r) as drawn: empty squares in their own colour throughout, a piece mostly in its
// fill colour. The cursor's square is left out: the cross covers its middle.
void check_board_pixels()
{
    const gx9::FbFile& fb = fuzz::screen();
    for (int c = 1; c <= 8; ++c)
        for (int r = 1; r <= 8; ++r) {
            if (c == cursorx && r == cursory)
                continue;
            const char piece = zeforboard[square_index(c, r)];
            const unsigned char paper = field_color(c, r);
            int other = 0, white = 0, black = 0;
            for (int y = field_top(r); y < field_top(r) + FieldHeight; ++y)
                for (int x = field_left(c); x < field_left(c) + FieldWidth; ++x) {
                    const unsigned char p = fb.pixels[y][x];
                    other += p != paper;
                    white += p == kWhitePieceFill;
                    black += p == kBlackPieceFill;
                }
            if (piece == ' ' && other != 0)
                fuzz::fail("empty square %d,%d shows %d foreign pixels", c, r, other);
            if (piece == ' ')
                continue;
            const bool white_piece = piece >= 'A' && piece <= 'Z';
            if (other < 50 || (white_piece ? white <= black : black <= white))
                fuzz::fail("square %d,%d holds '%c' but shows %d white and %d black pixels", c, r,
                           piece, white, black);
        }
}

void check_board_line(string_view text, const Before& before)
{
    if (memcmp(from_fics, before.telnet.data(), sizeof from_fics) != 0)
        fuzz::fail("a board line changed the telnet window");
    const bool board_changed = memcmp(zeforboard, before.board.data(), kSquares) != 0;
    const string_view squares = text.substr(5, std::min<size_t>(71, text.size() - 5));
    if (board_changed && piece_counts(string_view(zeforboard, kSquares)) != piece_counts(squares))
        fuzz::fail("the board does not hold the pieces of the board line");
    const bool drawn = fuzz::screen().state.draw_counter != before.draw_calls;
    if (drawn && whats_showed != kBoardView)
        fuzz::fail("a board line drew while whats_showed is %d", whats_showed);
    if (!drawn)
        return;
    if (moving_enabled == 1 &&
        (MojaUloga <= 0 || (WhoIsOnMove == 'W') != (my_color == 1)))
        fuzz::fail("moving enabled with relation %d, %c to move, my_color %d", MojaUloga,
                   WhoIsOnMove, my_color);
    check_board_pixels();
}

void check_notice(string_view text, const Before& before)
{
    const bool board_kept = memcmp(zeforboard, before.board.data(), kSquares) == 0;
    bool board_turned = true;
    for (int i = 0; i < kSquares; ++i)
        board_turned = board_turned && zeforboard[i] == before.board[size_t(kSquares - 1 - i)];
    if (!board_kept && !(board_turned && text.starts_with("Creating: ")))
        fuzz::fail("a notice changed the board");

    const bool rejected = record_shows(kTelnetLines - 1, kSelectValidMove, 10, 1) &&
                          record_shows(kTelnetLines - 2, text, 1, 3) && scrolled_by(before, 2);
    if (rejected) {
        ++rejected_moves;
        return;
    }
    if (!record_shows(kTelnetLines - 1, text, -1, -1) || !scrolled_by(before, 1))
        fuzz::fail("the line is not the newest telnet record, or the window did not scroll by one");
}

void interpret_and_check(const char* line)
{
    record_line(split_pass_lines, line);
    Before before;
    memcpy(before.board.data(), zeforboard, kSquares);
    memcpy(before.telnet.data(), from_fics, sizeof from_fics);
    before.draw_calls = fuzz::screen().state.draw_counter;

    ProcessIcsLine(line);

    fuzz::check_state();
    const string_view text = without_prompts(line);
    if (text.starts_with("<12> "))
        check_board_line(text, before);
    else
        check_notice(text, before);
}

// ---- Passes -------------------------------------------------------------------------------------

Header read_header(fuzz::ByteReader& in)
{
    Header h{};
    h.largest_chunk = in.next();
    for (int i = 0; i < 4; ++i)
        h.seed = (h.seed << 8) | in.next();
    whats_showed = in.next() % 3;
    h.flags = in.next();
    my_color = (h.flags & kMyColour) ? 1 : 0;
    WeAreNotPlaying = (h.flags & kNotPlaying) ? 1 : 0;
    moving_enabled = (h.flags & kMovingEnabled) ? 1 : 0;
    ObserveAnnounced = (h.flags & kObserveAnnounced) ? 1 : 0;
    if (h.flags & kBoardTurned)
        std::reverse(zeforboard, zeforboard + kSquares);
    snprintf(MyName, sizeof MyName, "%s", fuzz::pick_name(in.next()));
    snprintf(WhiteName, sizeof WhiteName, "%s", fuzz::pick_name(in.next()));
    snprintf(BlackName, sizeof BlackName, "%s", fuzz::pick_name(in.next()));
    const uint8_t cursor = in.next();
    cursorx = cursorxold = 1 + (cursor & 7);
    cursory = cursoryold = 1 + ((cursor >> 3) & 7);
    h.carried = kCarriedTexts[in.next() % std::size(kCarriedTexts)];
    return h;
}

// The reference: the whole stream in a pipe, read until the end.
void run_whole_pass(string_view stream, const char* carried)
{
    int ends[2];
    if (pipe(ends) != 0)
        fuzz::fail("pipe failed");
    size_t written = 0;
    while (written < stream.size()) {
        const ssize_t n = write(ends[1], stream.data() + written, stream.size() - written);
        if (n <= 0)
            fuzz::fail("write to the reference pipe failed");
        written += size_t(n);
    }
    close(ends[1]);
    static char buffer[kReceiveBufferBytes];
    snprintf(buffer, sizeof buffer, "%s", carried);
    while (ProcessRawInput(ends[0], buffer, kReceiveBufferBytes, record_whole) != -1) {
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

int unread_bytes(int fd)
{
    int count = 0;
    if (ioctl(fd, FIONREAD, &count) != 0)
        fuzz::fail("ioctl(FIONREAD) failed");
    return count;
}

// Returns false once ProcessRawInput has reported the end of the connection.
bool read_what_arrived(int fd, char* buffer)
{
    do {
        if (ProcessRawInput(fd, buffer, kReceiveBufferBytes, interpret_and_check) == -1)
            return false;
    } while (unread_bytes(fd) > 0);
    return true;
}

// The first line where the chunked pass and the whole-stream pass differ, if any.
void check_same_lines()
{
    const auto& cut = split_pass_lines;
    const auto& whole = whole_pass_lines;
    const size_t common = std::min(cut.size(), whole.size());
    const size_t at = size_t(std::mismatch(cut.begin(), cut.begin() + long(common), whole.begin()).first -
                             cut.begin());
    if (at == common && cut.size() == whole.size())
        return;
    fuzz::fail("line %zu differs: cut into chunks \"%.60s\" (%zu lines), whole \"%.60s\" (%zu lines)",
               at, at < cut.size() ? cut[at].c_str() : "<none>", cut.size(),
               at < whole.size() ? whole[at].c_str() : "<none>", whole.size());
}

void check_sent(const char* sent, size_t size, bool connected)
{
    const size_t expected = connected ? size_t(rejected_moves) * kRefresh.size() : 0;
    if (size != expected)
        fuzz::fail("sent %zu bytes for %d rejected moves (connected %d)", size, rejected_moves,
                   int(connected));
    for (size_t at = 0; at < size; at += kRefresh.size())
        if (string_view(sent + at, kRefresh.size()) != kRefresh)
            fuzz::fail("sent something other than \"refresh\\r\\n\"");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::set_up_process();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kHeaderBytes)
        return -1;
    fuzz::reset_plugin_state();
    fuzz::ByteReader in{data, kHeaderBytes};
    const Header header = read_header(in);
    const string_view stream(reinterpret_cast<const char*>(data) + kHeaderBytes,
                             std::min(size - kHeaderBytes, kMaxStream));
    whole_pass_lines.clear();
    split_pass_lines.clear();
    rejected_moves = 0;

    run_whole_pass(stream, header.carried);

    fuzz::SocketPair socket;
    const bool connected = header.flags & kConnected;
    icsFd = connected ? socket.plugin_end : 0;
    static char ics_buffer[kReceiveBufferBytes];
    snprintf(ics_buffer, sizeof ics_buffer, "%s", header.carried);
    static char sent[1 << 20];
    size_t sent_size = 0;

    uint32_t random = header.seed | 1;
    bool open = true;
    for (size_t at = 0; at < stream.size() && open;) {
        size_t chunk = header.largest_chunk == 0
                           ? size_t(kWholeChunk)
                           : 1 + next_random(random) % uint32_t(header.largest_chunk);
        chunk = std::min(chunk, stream.size() - at);
        socket.send(stream.data() + at, chunk);
        at += chunk;
        open = read_what_arrived(socket.plugin_end, ics_buffer);
        sent_size = socket.drain(sent, sent_size, sizeof sent);
    }
    if (open && (header.flags & kCloseAtEnd)) {
        shutdown(socket.server_end, SHUT_WR);
        if (ProcessRawInput(socket.plugin_end, ics_buffer, kReceiveBufferBytes,
                            interpret_and_check) != -1)
            fuzz::fail("the server closed the connection but ProcessRawInput did not report it");
    }
    sent_size = socket.drain(sent, sent_size, sizeof sent);
    icsFd = 0;

    check_same_lines();
    check_sent(sent, sent_size, connected);
    fuzz::check_state();
    fuzz::check_screen_colours();
    return 0;
}
