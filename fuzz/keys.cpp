// Fuzz harness for key-event sequences: main loop passes (main_loop_pass without its pause) with
// the dialogs they open, fed through the stand-in's remote-control pipe, with server texts
// arriving between passes over a socket.
// Input: the start header (fuzz/harness.h), last_command (mod 45), then events of a kind byte
// (mod 8) and a code byte: 0-2 tap (press and release), 3 press, 4 release (these five of the
// key the code byte picks), 5 restart, 6 server text: the next code % 41 bytes of the input (none:
// the server closes), sent in the first pass after the keys before it have been taken, one a
// pass; 7 tap of the raw code (EXIT excepted). Every input ends with a release and EXIT.
// Checked beyond the shared invariants after every pass: the picture window is hidden while the
// full telnet window shows; last_command is a used row; every line sent is a move ("e2e4", or
// "e7e8=q" onto rank 1 or 8) while the user may move, a row of the command table or a multi-tap
// word (capitals, digits, blank, dash; at most 59), either echoed black on green, or "refresh";
// once the server has gone away, moving is off and no game runs. At the end, every pixel.
#include <sys/ioctl.h>

#include "dialogs/command_table.h"
#include "fuzz/harness.h"
#include "shell/main_loop.h"
#include "shell/plugin.h"

namespace {

using std::string_view;

constexpr size_t kMaxEvents = 4096;

// Codes 24..31 of the key's code byte (mod 32) stand for these: the arrows and OK once more, and
// codes the plugin has no action for; 0..23 are themselves.
constexpr uint8_t kMoreCodes[8] = {10, 11, 12, 13, 14, 24, 238, 255};

// One input's run. The remote's records are written at once, before the first pass; a server
// text is at most 40 bytes (20 lines, 2 records a line at most), so that a command or word
// echoed in a pass cannot scroll out of the window before it is checked.
struct Run {
    int remote[2];
    gx9::RcEvent events[2 * kMaxEvents + 4];
    size_t event_count;
    struct {
        size_t after_bytes; // sent once the plugin has taken this much of the remote's records
        string_view text;   // empty: the server closes
    } texts[kMaxEvents];
    size_t text_count, text_next;
    bool closed, disconnected, may_move;
    char sent[256]; // what the plugin sent that does not yet end a line
    size_t sent_size;
} run;

void tap(uint8_t code)
{
    run.events[run.event_count++] = {gx9::kEventPress, code};
    run.events[run.event_count++] = {gx9::kEventRelease, code};
}

void write_remote()
{
    const ssize_t bytes = ssize_t(run.event_count * sizeof(gx9::RcEvent));
    if (write(run.remote[1], run.events, size_t(bytes)) != bytes)
        fuzz::fail("write to the remote pipe: %s", strerror(errno));
}

void read_events(fuzz::Input& in)
{
    run.event_count = run.text_count = run.text_next = 0;
    for (size_t n = 0; n < kMaxEvents && in.size >= 2; ++n) {
        const uint8_t kind = in.next() % 8, code = in.next();
        const uint8_t key = code % 32 < 24 ? code % 32 : kMoreCodes[code % 32 - 24];
        if (kind <= 2)
            tap(key);
        else if (kind <= 4)
            run.events[run.event_count++] = {kind == 3 ? gx9::kEventPress : gx9::kEventRelease,
                                             key};
        else if (kind == 5)
            run.events[run.event_count++] = {gx9::kEventRestart, 0};
        else if (kind == 7)
            tap(code == gx9::kCodeExit ? code + 1 : code);
        else {
            const size_t length = std::min<size_t>(code % 41, in.size);
            run.texts[run.text_count++] = {run.event_count * sizeof(gx9::RcEvent),
                                           {reinterpret_cast<const char*>(in.data), length}};
            in.data += length;
            in.size -= length;
        }
    }
    run.events[run.event_count++] = {gx9::kEventRelease, 0};
    tap(gx9::kCodeExit);
}

void send_server_text(const fuzz::Server& server)
{
    if (run.closed || icsFd <= 0)
        return;
    int unread = 0;
    if (run.text_next < run.text_count && ioctl(run.remote[0], FIONREAD, &unread) != 0)
        fuzz::fail("ioctl(FIONREAD): %s", strerror(errno));
    if (run.text_next < run.text_count &&
        run.texts[run.text_next].after_bytes <=
            run.event_count * sizeof(gx9::RcEvent) - size_t(unread)) {
        const string_view text = run.texts[run.text_next++].text;
        run.closed = text.empty();
        if (run.closed)
            shutdown(server.server_end, SHUT_WR);
        else
            server.send(text);
    }
    // A zero byte, dropped by line assembly, so that the pass's wait for server data ends at once
    // (a telnet NOP would also drop the text of a line not yet complete).
    if (!run.closed)
        server.send({"", 1});
}

// ---- Checks -------------------------------------------------------------------------------------

bool is_move(string_view s)
{
    const auto square = [s](size_t i) {
        return s[i] >= 'a' && s[i] <= 'h' && s[i + 1] >= '1' && s[i + 1] <= '8';
    };
    return (s.size() == 4 || s.size() == 6) && square(0) && square(2) &&
           (s.size() == 4 || (s[4] == '=' && string_view("qrnb").find(s[5]) != string_view::npos &&
                              (s[3] == '1' || s[3] == '8')));
}

void check_sent_line(string_view line)
{
    const bool command = std::any_of(fics_cmds, fics_cmds + kCommandsUsed,
                                     [line](const TelnetLine& row) { return line == row.text; });
    const bool word =
        line.size() <= 59 && std::all_of(line.begin(), line.end(), [](char c) {
            return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' || c == '-';
        });
    const bool echoed =
        std::any_of(std::begin(from_fics), std::end(from_fics), [line](const TelnetLine& r) {
            return r.ink == 1 && r.paper == 12 &&
                   line == string_view(r.text, strnlen(r.text, sizeof r.text));
        });
    if (line != "refresh" && !(is_move(line) && run.may_move) && !((command || word) && echoed))
        fuzz::fail(
            "sent \"%.*s\": no move while the user may move, echoed command or word, or refresh",
            int(line.size()), line.data());
}

void check_after_pass(fuzz::Server& server, bool connected)
{
    for (size_t got;
         (got = server.receive(run.sent + run.sent_size, sizeof run.sent - run.sent_size)) > 0;) {
        run.sent_size += got;
        for (const char* end;
             (end = static_cast<const char*>(memmem(run.sent, run.sent_size, "\r\n", 2)));) {
            check_sent_line(string_view(run.sent, size_t(end - run.sent)));
            run.sent_size -= size_t(end + 2 - run.sent);
            memmove(run.sent, end + 2, run.sent_size);
        }
        if (run.sent_size == sizeof run.sent)
            fuzz::fail("sent %zu bytes without a line end", run.sent_size);
    }
    fuzz::check_state();
    if (whats_showed == kFullTelnet && fuzz::screen->state.pig_shown != 0)
        fuzz::fail("the picture window shows over the full telnet window");
    if (last_command < 0 || last_command >= kCommandsUsed)
        fuzz::fail("last_command is %d", last_command);
    if (connected && !run.disconnected && icsFd != server.plugin_end) {
        run.disconnected = true; // the plugin has closed its end
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
    if (size < fuzz::kStartBytes + 1)
        return -1;
    fuzz::Server server;
    if (pipe(run.remote) != 0 || RcInitialize(run.remote[0]) < 0)
        fuzz::fail("the remote pipe: %s", strerror(errno));
    static char ics_buffer[kIcsBufferBytes];
    static unsigned char lcd_frame[kLcdFrameBytes];
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
    run.closed = run.disconnected = false;
    run.sent_size = 0;

    for (size_t pass = 0; doexit != 3; ++pass) {
        if (pass > run.event_count + run.text_count + 16)
            fuzz::fail("the main loop is still running after %zu passes", pass);
        doexit = 0; // a restart: the run goes on with the same connection
        send_server_text(server);
        run.may_move = moving_enabled == 1 && WeAreNotPlaying != 1 && whats_showed == kBoardView;
        main_loop_pass(ics_buffer, kIcsBufferBytes, lcd_frame, false);
        check_after_pass(server, connected);
    }
    icsFd = 0;
    RcClose();
    close(run.remote[0]);
    close(run.remote[1]);
    fuzz::check_screen();
    return 0;
}
