// Fuzz harness for key-event sequences: main loop passes (main_loop_pass without its pause)
// with the dialogs they open (command picker, word entry, promotion picker), fed through the
// stand-in's remote-control pipe, with canned server texts arriving between passes over a real
// socket.
//
// Input: an 8-byte header, then two-byte events (at most kMaxEvents).
//   header 0  whats_showed (mod 3)
//          1  flags: 1 my_color, 2 WeAreNotPlaying, 4 moving_enabled, 8 connected,
//             16 board turned
//          2  cursor: bits 0-2 column - 1, bits 3-5 row - 1
//          3  last_command (mod 45)
//          4  starting board (index into kBoards)
//          5  MyName (index into the harness's names)
//   event  kind byte mod 8: 0-2 tap (press and release), 3 press, 4 release, 5 restart,
//          6 server text (code mod the number of canned texts, arriving at the first pass after
//          the keys before it have been taken), 7 tap of the raw code byte (EXIT excepted).
//          For kinds 0-4 the code byte picks from kKeyCodes.
// Every input ends with a release and EXIT, so that every dialog and wait comes to an end.
//
// Checked beyond the shared invariants, after every pass: the picture window is hidden while
// the full telnet window shows; last_command is a used row; every line sent to the server is a
// move ("e2e4", "e7e8q" with the letter only onto rank 1 or 8), a row of the command table, a
// multi-tap word (capitals, digits, blank, dash; at most 59) or "refresh"; every command and
// word sent is echoed black on green in the telnet window. At the end no pixel has a colour
// outside the palette.
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#include "board/board.h"
#include "dialogs/command_table.h"
#include "fuzz/harness_support.h"
#include "host/gx9.h"
#include "ics/game_state.h"
#include "panels/header.h"
#include "panels/telnet.h"
#include "shell/command_bar.h"
#include "shell/help_screen.h"
#include "shell/main_loop.h"
#include "shell/move_state.h"
#include "shell/plugin.h"
#include "shell/screen_mode.h"

namespace {

using std::string_view;

constexpr size_t kHeaderBytes = 8;
constexpr size_t kMaxEvents = 4096;
constexpr int kWordLimit = 59;

// Codes the mapped kinds choose from: the plugin's keys, MUTE, and codes it has no action for.
constexpr uint8_t kKeyCodes[] = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9,           // digits
    10, 11, 12, 13, 14,                     // RIGHT LEFT UP DOWN OK
    10, 11, 12, 13, 14,                     // (arrows and OK twice as likely)
    18, 19, 20, 23,                         // YELLOW RED BLUE HELP
    gx9::kCodeMute, 15, 16, 17, 21, 24, 200, 238, 255,
};

// Starting boards in screen order (column a first, each from rank 1 up).
// 0 the start; 1 pawns one step from promotion for both sides, kings a1 and h8; 2 kings only;
// 3 after 1.e4 e5 2.Nf3 Nc6 3.Bb5 a6.
constexpr const char* kBoards[] = {
    kStartPosition,
    "Kp    P  p    P  p    P  p    P  p    P  p    P  p    P  p    Pk",
    "K                                                              k",
    "RP   p rNP  B p BP   npbQP    pqK  Pp  k PN   pb P    pnRP    pr",
};
static_assert(std::string_view(kBoards[1]).size() == kSquares);
static_assert(std::string_view(kBoards[2]).size() == kSquares);
static_assert(std::string_view(kBoards[3]).size() == kSquares);

// Server texts an event can deliver; "close" shuts the server's side of the connection.
constexpr const char* kClose = "close";
constexpr const char* kServerTexts[] = {
    // the user (Me) plays White and has the move, pawns one step from promotion
    "<12> -------k PPPPPPPP -------- -------- -------- -------- pppppppp K------- W -1 0 0 0 0 0 7 "
    "Me Opp 1 5 0 39 39 300 300 20 none (0:00) none 0 1 0\n\r",
    // the same position, the user plays Black and has the move
    "fics% <12> -------k PPPPPPPP -------- -------- -------- -------- pppppppp K------- B -1 0 0 0 0 "
    "0 7 Opp Me 1 5 0 39 39 300 300 20 none (0:00) none 0 1 0\n\rfics% ",
    // the start position, the user plays White and has the move
    "<12> rnbqkbnr pppppppp -------- -------- -------- -------- PPPPPPPP RNBQKBNR W -1 1 1 1 1 0 7 "
    "Me Opp 1 5 0 39 39 300 300 1 none (0:00) none 0 0 0\n\r",
    "fics% Illegal move (e2e5).\n\r",
    "fics% It is not your move.\n\r",
    "\n\rCreating: Me (1500) Opp (1400) unrated blitz 5 0\n\r"
    "{Game 7 (Me vs. Opp) Creating unrated blitz match.}\n\r",
    "\n\rCreating: Opp (1400) Me (1500) unrated blitz 5 0\n\r",
    "{Game 7 (Me vs. Opp) Me resigns} 0-1\n\rNo ratings adjustment done.\n\r",
    "fics% You are now observing game 9.\n\rGame 9: A (1500) B (1600) unrated blitz 3 0\n\r"
    "<12> rnbqkbnr pppppppp -------- -------- ----P--- -------- PPPP-PPP RNBQKBNR B 4 1 1 1 1 0 9 "
    "A B 0 3 0 39 39 180 180 1 P/e2-e4 (0:00) e4 0 1 0\n\r",
    "**** Starting FICS session as Me(U) ****\n\r",
    "\xff\xfb\x01password: \xff\xfc\x01\n\r",
    kClose,
};

// A telnet IAC NOP: read before every pass, so that the pass's wait for server data ends at once.
constexpr char kKeepAlive[] = "\xff\xf1";

struct ServerEvent {
    size_t after_bytes;  // delivered once the plugin has taken this much of the key stream
    const char* text;
};

struct Run {
    int remote_read = -1, remote_write = -1;
    size_t remote_bytes = 0;
    ServerEvent server[kMaxEvents];
    size_t server_count = 0, server_next = 0;
    bool server_closed = false;
    std::string sent;  // bytes the plugin sent that do not yet end a line
};

void write_remote(Run& run, uint8_t type, uint8_t code)
{
    const gx9::RcEvent event{type, code};
    if (write(run.remote_write, &event, sizeof event) != ssize_t(sizeof event))
        fuzz::fail("write to the remote pipe failed");
    run.remote_bytes += sizeof event;
}

size_t unread_remote_bytes(const Run& run)
{
    int count = 0;
    if (ioctl(run.remote_read, FIONREAD, &count) != 0)
        fuzz::fail("ioctl(FIONREAD) on the remote pipe failed");
    return size_t(count);
}

uint8_t raw_code(uint8_t code) { return code == gx9::kCodeExit ? uint8_t(code + 1) : code; }

// Turns the events into remote records (all written at once) and the server texts' schedule.
void write_events(Run& run, fuzz::ByteReader& in)
{
    for (size_t n = 0; n < kMaxEvents && in.size >= 2; ++n) {
        const uint8_t kind = in.next() % 8;
        const uint8_t code = in.next();
        const uint8_t key = kKeyCodes[code % std::size(kKeyCodes)];
        switch (kind) {
        case 0: case 1: case 2:
            write_remote(run, gx9::kEventPress, key);
            write_remote(run, gx9::kEventRelease, key);
            break;
        case 3:
            write_remote(run, gx9::kEventPress, key);
            break;
        case 4:
            write_remote(run, gx9::kEventRelease, key);
            break;
        case 5:
            write_remote(run, gx9::kEventRestart, 0);
            break;
        case 6:
            run.server[run.server_count++] = {run.remote_bytes,
                                              kServerTexts[code % std::size(kServerTexts)]};
            break;
        case 7:
            write_remote(run, gx9::kEventPress, raw_code(code));
            write_remote(run, gx9::kEventRelease, raw_code(code));
            break;
        }
    }
    write_remote(run, gx9::kEventRelease, 0);
    write_remote(run, gx9::kEventPress, gx9::kCodeExit);
    write_remote(run, gx9::kEventRelease, gx9::kCodeExit);
}

// At most this many texts arrive for one pass (each adds at most three telnet lines), so a
// command or word echoed in the pass cannot scroll out of the window before it is checked.
constexpr int kServerTextsPerPass = 4;

void deliver_server_texts(Run& run, const fuzz::SocketPair& socket)
{
    const size_t taken = run.remote_bytes - unread_remote_bytes(run);
    for (int n = 0; n < kServerTextsPerPass && run.server_next < run.server_count &&
                    run.server[run.server_next].after_bytes <= taken;
         ++n) {
        const char* text = run.server[run.server_next++].text;
        if (run.server_closed || icsFd <= 0)
            continue;
        if (text == kClose) {
            shutdown(socket.server_end, SHUT_WR);
            run.server_closed = true;
        } else {
            socket.send(text, strlen(text));
        }
    }
    if (!run.server_closed && icsFd > 0)
        socket.send(kKeepAlive, sizeof kKeepAlive - 1);
}

// ---- What the plugin sent -----------------------------------------------------------------------

bool is_move(string_view s)
{
    const auto file = [](char c) { return c >= 'a' && c <= 'h'; };
    const auto rank = [](char c) { return c >= '1' && c <= '8'; };
    if (s.size() != 4 && s.size() != 5)
        return false;
    if (!file(s[0]) || !rank(s[1]) || !file(s[2]) || !rank(s[3]))
        return false;
    return s.size() == 4 || (string_view("qrnb").find(s[4]) != string_view::npos &&
                             (s[3] == '1' || s[3] == '8'));
}

bool is_command_row(string_view s)
{
    for (int row = 0; row < kCommandsUsed; ++row)
        if (s == fics_cmds[row].text)
            return true;
    return false;
}

bool is_word(string_view s)
{
    if (s.size() > size_t(kWordLimit))
        return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' || c == '-';
    });
}

bool echoed(string_view s)
{
    for (const TelnetLine& line : from_fics)
        if (line.ink == 1 && line.paper == 12 &&
            string_view(line.text, strnlen(line.text, sizeof line.text)) == s)
            return true;
    return false;
}

void check_sent_lines(Run& run, const fuzz::SocketPair& socket)
{
    static char bytes[1 << 16];
    const size_t got = socket.drain(bytes, 0, sizeof bytes);
    run.sent.append(bytes, got);
    size_t end;
    while ((end = run.sent.find("\r\n")) != std::string::npos) {
        const std::string line = run.sent.substr(0, end);
        run.sent.erase(0, end + 2);
        if (line == "refresh" || is_move(line))
            continue;
        if (!is_command_row(line) && !is_word(line))
            fuzz::fail("sent \"%s\", which is no move, command or multi-tap word", line.c_str());
        if (!echoed(line))
            fuzz::fail("sent \"%s\" without an echo in the telnet window", line.c_str());
    }
    if (run.sent.size() > 200)
        fuzz::fail("sent %zu bytes without a line end", run.sent.size());
}

// ---- State ----------------------------------------------------------------------------------------

void read_header(fuzz::ByteReader& in, bool& connected)
{
    whats_showed = in.next() % 3;
    const uint8_t flags = in.next();
    my_color = (flags & 1) ? 1 : 0;
    WeAreNotPlaying = (flags & 2) ? 1 : 0;
    moving_enabled = (flags & 4) ? 1 : 0;
    connected = (flags & 8) != 0;
    const uint8_t cursor = in.next();
    cursorx = cursorxold = 1 + (cursor & 7);
    cursory = cursoryold = 1 + ((cursor >> 3) & 7);
    last_command = in.next() % kCommandsUsed;
    memcpy(zeforboard, kBoards[in.next() % std::size(kBoards)], kSquares);
    if (flags & 16)
        std::reverse(zeforboard, zeforboard + kSquares);
    snprintf(MyName, sizeof MyName, "%s", fuzz::pick_name(in.next()));
    in.next();
    in.next();
}

// What start-up and the screen modes leave on the screen.
void draw_starting_screen()
{
    display_naslov();
    draw_command_bar();
    if (whats_showed == kFullTelnet) {
        Gx9StopPig();
        display_telnet();
        return;
    }
    Gx9ShowPig(Xoffset + 430, Yoffset - 168, 225, 168);
    draw_chess_board(zeforboard, cursorxold, cursoryold, cursorx, cursory);
    if (whats_showed == kHelpScreen)
        draw_help_screen();
}

void check_after_pass()
{
    fuzz::check_state();
    if (whats_showed == kFullTelnet && fuzz::screen().state.pig_shown != 0)
        fuzz::fail("the picture window shows over the full telnet window");
    if (last_command < 0 || last_command >= kCommandsUsed)
        fuzz::fail("last_command is %d", last_command);
}

// The repeat lock of the main loop outlives a run: one pass with a tap of a code that has no
// action leaves it the same before every input, so an input always behaves the same.
void settle_repeat_lock(Run& run, char* ics_buffer, unsigned char* lcd_frame)
{
    icsFd = 0;
    write_remote(run, gx9::kEventPress, 15);
    write_remote(run, gx9::kEventRelease, 15);
    main_loop_pass(ics_buffer, kIcsBufferBytes, lcd_frame, false);
    run.remote_bytes = 0;
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
    static Run run;
    run = Run{};
    int ends[2];
    if (pipe(ends) != 0)
        fuzz::fail("pipe for the remote failed");
    run.remote_read = ends[0];
    run.remote_write = ends[1];
    if (RcInitialize(run.remote_read) < 0)
        fuzz::fail("RcInitialize failed");

    static char ics_buffer[kIcsBufferBytes];
    static unsigned char lcd_frame[960];
    ics_buffer[0] = 0;
    fuzz::reset_plugin_state();
    settle_repeat_lock(run, ics_buffer, lcd_frame);
    fuzz::reset_plugin_state();

    fuzz::ByteReader in{data, size};
    bool connected = false;
    read_header(in, connected);
    fuzz::SocketPair socket;
    icsFd = connected ? socket.plugin_end : 0;
    draw_starting_screen();
    write_events(run, in);

    const size_t pass_limit = 4 * run.remote_bytes + 16;
    for (size_t pass = 0;; ++pass) {
        if (pass > pass_limit)
            fuzz::fail("the main loop is still running after %zu passes", pass);
        deliver_server_texts(run, socket);
        const bool goes_on = main_loop_pass(ics_buffer, kIcsBufferBytes, lcd_frame, false);
        check_sent_lines(run, socket);
        check_after_pass();
        if (goes_on)
            continue;
        if (doexit == 3)
            break;
        doexit = 0;  // a restart: the run goes on with the same connection
    }

    if (connected && icsFd != socket.plugin_end)
        socket.plugin_end = -1;  // the plugin closed it after the server went away
    icsFd = 0;
    RcClose();
    close(run.remote_read);
    close(run.remote_write);
    fuzz::check_screen_colours();
    return 0;
}
