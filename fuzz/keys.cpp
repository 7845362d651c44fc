// Fuzz harness for key-event sequences: main loop passes (main_loop_pass without its pause) with
// the dialogs they open (command picker, word entry, promotion picker), fed through the
// stand-in's remote-control pipe, with canned server texts arriving between passes over a real
// socket.
//
// Input: the start header (fuzz/harness.h), last_command (mod 45), then two-byte events (at most
// kMaxEvents). Kind byte mod 8: 0-2 tap (press and release), 3 press, 4 release, 5 restart,
// 6 server text (code mod the number of texts, arriving at the first pass after the keys before
// it have been taken), 7 tap of the raw code byte (EXIT excepted); kinds 0-4 pick the key from
// kKeyCodes. Every input ends with a release and EXIT, so that every dialog and wait ends.
//
// Checked beyond the shared invariants, after every pass: the picture window is hidden while the
// full telnet window shows; last_command is a used row; every line sent is a move ("e2e4", or
// "e7e8=q" onto rank 1 or 8, only while the user may move), a row of the command table, a
// multi-tap word (capitals, digits, blank, dash; at most 59) or "refresh"; every command and
// word sent is echoed black on green; once the server has gone away, moving is off and no game
// runs. At the end no pixel has a colour outside the palette.
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>

#include "dialogs/command_table.h"
#include "fuzz/harness.h"
#include "host/gx9.h"
#include "ics/game_state.h"
#include "panels/telnet.h"
#include "shell/main_loop.h"
#include "shell/plugin.h"
#include "shell/screen_mode.h"

namespace {

using std::string_view;

constexpr size_t kHeaderBytes = fuzz::kStartBytes + 1;
constexpr size_t kMaxEvents = 4096;
constexpr size_t kWordLimit = 59;

// Codes kinds 0-4 choose from: the plugin's keys, MUTE, and codes it has no action for.
constexpr uint8_t kKeyCodes[] = {
    0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  // digits
    10, 11, 12, 13, 14, 10, 11, 12, 13, 14, // RIGHT LEFT UP DOWN OK, twice as likely
    18, 19, 20, 23,                         // YELLOW RED BLUE HELP
    gx9::kCodeMute, 15, 16, 17, 21, 24, 200, 238, 255,
};

// Server texts an event can deliver; kClose shuts the server's side of the connection.
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
    "fics% e2e4: Command not found.\n\r",
    "e7e8=q: Command not found.\n\rfics% ",
    kClose,
};

// A telnet IAC NOP before every pass, so that the pass's wait for server data ends at once.
constexpr string_view kKeepAlive = "\xff\xf1";

struct ServerText {
    size_t after_bytes; // delivered once the plugin has taken this much of the key stream
    const char* text;
};

// One input's run. The remote's records are written at once, before the first pass.
struct Run {
    int remote[2];
    gx9::RcEvent events[2 * kMaxEvents + 8];
    size_t event_count;
    ServerText texts[kMaxEvents];
    size_t text_count, text_next;
    bool server_closed, disconnected, moving_allowed;
    char sent[256]; // what the plugin sent that does not yet end a line
    size_t sent_size;
} run;

void add_event(uint8_t type, uint8_t code) { run.events[run.event_count++] = {type, code}; }

void tap(uint8_t code)
{
    add_event(gx9::kEventPress, code);
    add_event(gx9::kEventRelease, code);
}

void write_remote()
{
    const size_t bytes = run.event_count * sizeof(gx9::RcEvent);
    if (write(run.remote[1], run.events, bytes) != ssize_t(bytes))
        fuzz::fail("write to the remote pipe failed");
}

// Turns the input's events into remote records and the server texts' schedule.
void read_events(fuzz::Input& in)
{
    run.event_count = run.text_count = run.text_next = 0;
    for (size_t n = 0; n < kMaxEvents && in.size >= 2; ++n) {
        const uint8_t kind = in.next() % 8, code = in.next();
        const uint8_t key = kKeyCodes[code % std::size(kKeyCodes)];
        if (kind <= 2)
            tap(key);
        else if (kind <= 4)
            add_event(kind == 3 ? gx9::kEventPress : gx9::kEventRelease, key);
        else if (kind == 5)
            add_event(gx9::kEventRestart, 0);
        else if (kind == 6)
            run.texts[run.text_count++] = {run.event_count * sizeof(gx9::RcEvent),
                                           kServerTexts[code % std::size(kServerTexts)]};
        else
            tap(code == gx9::kCodeExit ? code + 1 : code);
    }
    add_event(gx9::kEventRelease, 0);
    tap(gx9::kCodeExit);
}

// At most this many texts arrive for one pass (each adds at most three telnet lines), so a
// command or word echoed in the pass cannot scroll out of the window before it is checked.
constexpr int kServerTextsPerPass = 4;

void deliver_server_texts(const fuzz::Server& server)
{
    if (run.server_closed || icsFd <= 0)
        return;
    int unread = 0;
    if (run.text_next < run.text_count && ioctl(run.remote[0], FIONREAD, &unread) != 0)
        fuzz::fail("ioctl(FIONREAD) on the remote pipe failed");
    const size_t taken = run.event_count * sizeof(gx9::RcEvent) - size_t(unread);
    for (int n = 0; n < kServerTextsPerPass && run.text_next < run.text_count &&
                    run.texts[run.text_next].after_bytes <= taken && !run.server_closed;
         ++n) {
        const char* text = run.texts[run.text_next++].text;
        run.server_closed = text == kClose;
        if (run.server_closed)
            shutdown(server.server_end, SHUT_WR);
        else
            server.send(text);
    }
    if (!run.server_closed)
        server.send(kKeepAlive);
}

// ---- What the plugin sent -----------------------------------------------------------------------

bool is_move(string_view s)
{
    const auto square = [s](size_t i) {
        return s[i] >= 'a' && s[i] <= 'h' && s[i + 1] >= '1' && s[i + 1] <= '8';
    };
    if ((s.size() != 4 && s.size() != 6) || !square(0) || !square(2))
        return false;
    return s.size() == 4 || (s[4] == '=' && string_view("qrnb").find(s[5]) != string_view::npos &&
                             (s[3] == '1' || s[3] == '8'));
}

bool is_command_row(string_view s)
{
    return std::any_of(fics_cmds, fics_cmds + kCommandsUsed,
                       [s](const TelnetLine& row) { return s == row.text; });
}

bool is_word(string_view s)
{
    return s.size() <= kWordLimit && std::all_of(s.begin(), s.end(), [](char c) {
               return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' || c == '-';
           });
}

bool echoed(string_view s)
{
    return std::any_of(std::begin(from_fics), std::end(from_fics), [s](const TelnetLine& line) {
        return line.ink == 1 && line.paper == 12 &&
               string_view(line.text, strnlen(line.text, sizeof line.text)) == s;
    });
}

void check_sent_line(string_view line)
{
    if (line == "refresh")
        return;
    if (is_move(line)) {
        if (!run.moving_allowed)
            fuzz::fail("sent the move %.*s while the user may not move", int(line.size()), line.data());
        return;
    }
    if (!is_command_row(line) && !is_word(line))
        fuzz::fail("sent \"%.*s\", no move, command or multi-tap word", int(line.size()), line.data());
    if (!echoed(line))
        fuzz::fail("sent \"%.*s\" without an echo in the telnet window", int(line.size()), line.data());
}

void check_sent(const fuzz::Server& server)
{
    for (size_t got; (got = server.receive(run.sent + run.sent_size, sizeof run.sent - run.sent_size)) > 0;) {
        run.sent_size += got;
        const char* end;
        while ((end = static_cast<const char*>(memmem(run.sent, run.sent_size, "\r\n", 2)))) {
            check_sent_line(string_view(run.sent, size_t(end - run.sent)));
            run.sent_size -= size_t(end + 2 - run.sent);
            memmove(run.sent, end + 2, run.sent_size);
        }
        if (run.sent_size == sizeof run.sent)
            fuzz::fail("sent %zu bytes without a line end", run.sent_size);
    }
}

void check_after_pass(fuzz::Server& server, bool connected)
{
    fuzz::check_state();
    if (whats_showed == kFullTelnet && fuzz::screen().state.pig_shown != 0)
        fuzz::fail("the picture window shows over the full telnet window");
    if (last_command < 0 || last_command >= kCommandsUsed)
        fuzz::fail("last_command is %d", last_command);
    if (connected && !run.disconnected && icsFd != server.plugin_end) {
        run.disconnected = true; // the plugin closed its end after the server went away
        server.plugin_end = -1;
    }
    if (run.disconnected && (moving_enabled != 0 || WeAreNotPlaying != 1))
        fuzz::fail("disconnected, but moving_enabled %d, WeAreNotPlaying %d", moving_enabled,
                   WeAreNotPlaying);
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
    fuzz::Server server;
    if (pipe(run.remote) != 0 || RcInitialize(run.remote[0]) < 0)
        fuzz::fail("the remote pipe failed");
    static char ics_buffer[kIcsBufferBytes];
    static unsigned char lcd_frame[960];
    ics_buffer[0] = 0;

    // The main loop's repeat lock outlives a run: one pass with a tap of a code without an action
    // from the same state leaves it the same before every input.
    fuzz::Input nothing{nullptr, 0};
    fuzz::start(nothing, server);
    run.event_count = 0;
    tap(15);
    write_remote();
    main_loop_pass(ics_buffer, kIcsBufferBytes, lcd_frame, false);

    fuzz::Input in{data, size};
    const bool connected = fuzz::start(in, server) & fuzz::kConnected;
    last_command = in.next() % kCommandsUsed;
    if (whats_showed == kFullTelnet)
        Gx9StopPig();
    else
        Gx9ShowPig(Xoffset + 430, Yoffset - 168, 225, 168);
    read_events(in);
    write_remote();
    run.server_closed = run.disconnected = false;
    run.sent_size = 0;

    const size_t pass_limit = 2 * run.event_count + 16;
    for (size_t pass = 0;; ++pass) {
        if (pass > pass_limit)
            fuzz::fail("the main loop is still running after %zu passes", pass);
        deliver_server_texts(server);
        run.moving_allowed = moving_enabled == 1 && WeAreNotPlaying != 1 && whats_showed == kBoardView;
        const bool goes_on = main_loop_pass(ics_buffer, kIcsBufferBytes, lcd_frame, false);
        check_sent(server);
        check_after_pass(server, connected);
        if (!goes_on && doexit == 3)
            break;
        doexit = 0; // a restart: the run goes on with the same connection
    }
    icsFd = 0;
    RcClose();
    close(run.remote[0]);
    close(run.remote[1]);
    fuzz::check_screen();
    return 0;
}
