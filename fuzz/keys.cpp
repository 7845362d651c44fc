// Fuzz harness for key events: main loop passes (no pause) and the dialogs they open, keys through
// the stand-in's remote pipe, server texts over the socket. Input: the start header (harness.h),
// last_command (mod 45), then events of a kind byte (mod 8) and a code byte: 0-2 tap, 3 press,
// 4 release (of the key the code picks), 5 restart, 6 server text (the next code % 41 input bytes,
// none: the server closes; one a pass once the keys before it are taken), 7 tap of the raw code.
// Checked after every pass: no picture window over the full telnet window; last_command a used
// row; every line sent is "refresh", a move ("e2e4", "e7e8=q" onto rank 1 or 8) while the user
// may move, or a command row or multi-tap word (capitals, digits, blank, dash; at most 59) echoed
// black on green; once the server has gone, moving is off and no game runs. At the end, pixels.
#include <sys/ioctl.h>

#include "dialogs/command_table.h"
#include "fuzz/harness.h"
#include "shell/main_loop.h"
#include "shell/plugin.h"

namespace {

using std::string_view;

constexpr size_t kMaxEvents = 4096;
// Codes 24..31 of a key's code byte (mod 32): the arrows and OK once more, codes without action.
constexpr uint8_t kMoreCodes[8] = {10, 11, 12, 13, 14, 24, 238, 255};

// One input's run; the remote's records are written before the first pass. A server text of at
// most 40 bytes (20 lines, 2 records each) cannot scroll a command echoed in its pass out of view.
struct Run {
    int remote[2];
    gx9::RcEvent events[4 + 2 * kMaxEvents + 2]; // the first pass's, two per event at most, the end
    size_t events_used, texts_used, texts_sent;
    struct {
        size_t after_bytes; // sent once the plugin has taken this much of the remote's records
        string_view text;   // empty: the server closes
    } texts[kMaxEvents];
    bool closed, disconnected, may_move;
    void add(uint8_t type, uint8_t code) { events[events_used++] = {type, code}; }
} run;

// The main loop's repeat lock outlives a run: a first pass with a tap of a code without an action
// (which takes the second tap too) leaves it the same before the input's events.
void read_events(fuzz::Input& in)
{
    run.events_used = run.texts_used = run.texts_sent = 0;
    for (int n = 0; n < 4; ++n)
        run.add(n % 2 ? gx9::kEventRelease : gx9::kEventPress, 15);
    for (size_t n = 0; n < kMaxEvents && in.size >= 2; ++n) {
        const uint8_t kind = in.next() % 8, code = in.next();
        const uint8_t key = kind == 7        ? code + (code == gx9::kCodeExit)
                            : code % 32 < 24 ? code % 32
                                             : kMoreCodes[code % 32 - 24];
        if (kind <= 3 || kind == 7)
            run.add(gx9::kEventPress, key);
        if (kind <= 2 || kind == 4 || kind == 7)
            run.add(gx9::kEventRelease, key);
        if (kind == 5)
            run.add(gx9::kEventRestart, 0);
        if (kind == 6) {
            const size_t length = std::min<size_t>(code % 41, in.size);
            run.texts[run.texts_used++] = {run.events_used * sizeof(gx9::RcEvent),
                                           {reinterpret_cast<const char*>(in.data), length}};
            in.data += length;
            in.size -= length;
        }
    }
    run.add(gx9::kEventRelease, 0);
    run.add(gx9::kEventPress, gx9::kCodeExit);
}

void send_server_text()
{
    int unread = 0;
    if (run.closed || icsFd <= 0 ||
        (run.texts_sent < run.texts_used && ioctl(run.remote[0], FIONREAD, &unread) != 0))
        return;
    if (run.texts_sent < run.texts_used &&
        run.texts[run.texts_sent].after_bytes <=
            run.events_used * sizeof(gx9::RcEvent) - size_t(unread)) {
        const string_view text = run.texts[run.texts_sent++].text;
        run.closed = text.empty();
        if (run.closed)
            shutdown(fuzz::server_end, SHUT_WR);
        else
            fuzz::send(text);
    }
    // A zero byte, dropped by line assembly, ends the pass's wait for server data at once (a
    // telnet NOP would also drop the text of a line not yet complete).
    if (!run.closed)
        fuzz::send({"", 1});
}

bool is_move(string_view s)
{
    const auto square = [s](size_t i) {
        return s[i] >= 'a' && s[i] <= 'h' && s[i + 1] >= '1' && s[i + 1] <= '8';
    };
    return (s.size() == 4 || s.size() == 6) && square(0) && square(2) &&
           (s.size() == 4 || (s[4] == '=' && string_view("qrnb").find(s[5]) != s.npos &&
                              (s[3] == '1' || s[3] == '8')));
}

void check_sent_line(string_view line)
{
    const bool command = std::any_of(fics_cmds, fics_cmds + kCommandsUsed,
                                     [line](const TelnetLine& row) { return line == row.text; });
    const bool word = line.size() <= 59 &&
                      line.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 -") == line.npos;
    const bool echoed =
        std::any_of(std::begin(from_fics), std::end(from_fics), [line](const TelnetLine& r) {
            return r.ink == 1 && r.paper == 12 &&
                   line == string_view(r.text, strnlen(r.text, sizeof r.text));
        });
    if (line != "refresh" && !(is_move(line) && run.may_move) && !((command || word) && echoed))
        fuzz::fail("sent \"%.*s\": no move the user may make, echoed command or word, or refresh",
                   int(line.size()), line.data());
}

void check_after_pass(bool connected)
{
    fuzz::receive_lines(check_sent_line);
    fuzz::check_state();
    if ((whats_showed == kFullTelnet && fuzz::screen->state.pig_shown) || last_command < 0 ||
        last_command >= kCommandsUsed)
        fuzz::fail("a picture window over the full telnet window, or last_command %d",
                   last_command);
    if (connected && !run.disconnected && icsFd != fuzz::plugin_end) {
        run.disconnected = true; // the plugin has closed its end
        fuzz::plugin_end = -1;
    }
    if (run.disconnected && (moving_enabled != 0 || WeAreNotPlaying != 1))
        fuzz::fail("disconnected, but moving_enabled %d, WeAreNotPlaying %d", moving_enabled,
                   WeAreNotPlaying);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < fuzz::kStartBytes + 1)
        return -1;
    if (pipe(run.remote) != 0 || RcInitialize(run.remote[0]) < 0)
        fuzz::fail("the remote pipe: %s", strerror(errno));
    static char ics_buffer[kIcsBufferBytes];
    static unsigned char lcd_frame[kLcdFrameBytes];
    ics_buffer[0] = 0;
    fuzz::Input in{data, size};
    const bool connected = fuzz::start(in) & fuzz::kConnected;
    last_command = in.next() % kCommandsUsed;
    if (whats_showed == kFullTelnet)
        Gx9StopPig();
    else
        Gx9ShowPig(Xoffset + 430, Yoffset - 168, 225, 168);
    read_events(in);
    const size_t bytes = run.events_used * sizeof(gx9::RcEvent);
    if (write(run.remote[1], run.events, bytes) != ssize_t(bytes))
        fuzz::fail("write to the remote pipe: %s", strerror(errno));
    run.closed = run.disconnected = false;
    for (size_t pass = 0; doexit != 3; ++pass) {
        if (pass > run.events_used + 16)
            fuzz::fail("the main loop is still running after %zu passes", pass);
        doexit = 0; // a restart: the run goes on with the same connection
        send_server_text();
        run.may_move = moving_enabled == 1 && WeAreNotPlaying != 1 && whats_showed == kBoardView;
        main_loop_pass(ics_buffer, kIcsBufferBytes, lcd_frame, false);
        check_after_pass(connected);
    }
    icsFd = 0;
    RcClose();
    close(run.remote[0]);
    close(run.remote[1]);
    fuzz::check_screen();
    return 0;
}
