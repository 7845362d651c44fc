// The main loop and its key dispatch.
#include "shell/main_loop.h"

#include <array>
#include <poll.h>
#include <unistd.h>

#include "board/board.h"
#include "dialogs/command_picker.h"
#include "dialogs/command_table.h"
#include "dialogs/poll.h"
#include "dialogs/word_entry.h"
#include "host/gx9.h"
#include "ics/connection.h"
#include "ics/game_state.h"
#include "ics/lines.h"
#include "ics/notices.h"
#include "lcd/device.h"
#include "lcd/picture.h"
#include "panels/clocks.h"
#include "panels/header.h"
#include "panels/telnet.h"
#include "shell/command_bar.h"
#include "shell/exit_on.h"
#include "shell/help_screen.h"
#include "shell/move_entry.h"
#include "shell/move_state.h"
#include "shell/screen_mode.h"
#include "shell/signals.h"

namespace {

// The repeat lock: the code of the last dispatched key and whether it is locked. Both keep
// their values between passes and between runs of the plugin.
unsigned short last_key;
int key_lock;

constexpr unsigned char kBlack = 1;
constexpr unsigned char kEchoInk = 1;
constexpr unsigned char kEchoPaper = 12;

bool connected()
{
    return icsFd > 0;
}

void poll_remote()
{
    actcode = kKeyNone;
    RcGetActCode();
}

// ---- Key actions -------------------------------------------------------------------------------

void nothing() {}

// Move entry checks itself whether moving is allowed; without a game these keys do nothing.
void cursor_right()
{
    move_cursor(kKeyRight);
}
void cursor_left()
{
    move_cursor(kKeyLeft);
}
void cursor_up()
{
    move_cursor(kKeyUp);
}
void cursor_down()
{
    move_cursor(kKeyDown);
}
void ok_key()
{
    select_square();
}

void send_and_echo(const char* text)
{
    if (!connected())
        return;
    SendToIcs("%s\r\n", text);
    add_to_telnet(text, kEchoInk, kEchoPaper);
}

void pick_command()
{
    highlight_command_bar_for_picker();
    last_command = pitaj_koja_komanda(last_command);
    send_and_echo(fics_cmds[last_command].text);
    restore_command_bar();
}

void enter_word()
{
    highlight_command_bar_for_word();
    const char* word = ZeforEnterWord(100, 532, 18, 59);
    send_and_echo(word);
    restore_command_bar();
}

void show_full_telnet()
{
    whats_showed = kFullTelnet;
    Gx9StopPig();
    FBFillRect(Xoffset - 10, 25, 680, 504, kBlack);
    display_telnet();
}

void back_from_full_telnet()
{
    whats_showed = kBoardView;
    FBFillRect(Xoffset - 10, 25, 680, 504, kBlack);
    draw_chess_board(zeforboard, cursorxold, cursoryold, cursorx, cursory);
    display_naslov();
    display_small_telnet();
    Gx9ShowPig(Xoffset + 430, Yoffset - 168, 225, 168);
}

void show_help()
{
    whats_showed = kHelpScreen;
    draw_help_screen();
}

void back_from_help()
{
    whats_showed = kBoardView;
    draw_chess_board(zeforboard, cursorxold, cursoryold, cursorx, cursory);
    display_naslov();
}

// ---- Dispatch table ----------------------------------------------------------------------------

using KeyAction = void (*)();

// One row per key code from 10 to 23; columns: board view, help screen, full telnet window.
struct KeyRow {
    KeyAction in_mode[3];
};

constexpr int kFirstDispatchedCode = 10;
constexpr std::array<KeyRow, 14> kDispatch = {{
    /* 10 RIGHT  */ {{cursor_right, nothing, nothing}},
    /* 11 LEFT   */ {{cursor_left, nothing, nothing}},
    /* 12 UP     */ {{cursor_up, nothing, nothing}},
    /* 13 DOWN   */ {{cursor_down, nothing, nothing}},
    /* 14 OK     */ {{ok_key, nothing, nothing}},
    /* 15        */ {{nothing, nothing, nothing}},
    /* 16        */ {{nothing, nothing, nothing}},
    /* 17        */ {{nothing, nothing, nothing}},
    /* 18 YELLOW */ {{pick_command, pick_command, pick_command}},
    /* 19 RED    */ {{show_full_telnet, show_full_telnet, back_from_full_telnet}},
    /* 20 BLUE   */ {{enter_word, enter_word, enter_word}},
    /* 21        */ {{nothing, nothing, nothing}},
    /* 22        */ {{nothing, nothing, nothing}},
    /* 23 HELP   */ {{show_help, back_from_help, show_help}},
}};
static_assert(kFirstDispatchedCode == kKeyRight &&
              kFirstDispatchedCode + int(kDispatch.size()) - 1 == kKeyHelp);

// ---- Steps of a pass ---------------------------------------------------------------------------

void refresh_lcd_and_clocks(unsigned char* lcd_frame)
{
    lcd_draw_current_piece(zeforboard, cursorx, cursory, 1, lcd_frame);
    lcd_draw_screen(lcd_frame);
    print_remaining_time();
}

// True when the key just polled is to be dispatched. OK is never locked, so that two quick
// presses of OK (select, then complete a move on the same spot) both count. A locked key ends
// the pass: no second poll and no server input until a poll finds no key held.
bool passes_repeat_lock()
{
    if (realcode == kKeyNone)
        key_lock = 0;
    if (key_lock && actcode == last_key)
        return false;
    last_key = actcode;
    key_lock = actcode != kKeyOk;
    return true;
}

// The game ends on the screen too: the stopwatch stands and the cursor keys and OK do nothing,
// as after the end of a game.
void handle_disconnection()
{
    moving_enabled = 0;
    WeAreNotPlaying = 1;
    ExitOn("Disconnected from ICS !!!");
    close(icsFd);
    icsFd = 0;
}

// Waits at most 1 ms for server data and hands what arrived to the line interpreter. poll, not
// select, so that any descriptor number works.
void read_server_input(char* ics_buffer, int ics_buffer_size)
{
    if (!connected())
        return;
    pollfd socket = {icsFd, POLLIN, 0};
    int ready = poll(&socket, 1, 1);
    if (ready <= 0)
        return; // nothing arrived, or a signal interrupted the wait
    if (ProcessRawInput(icsFd, ics_buffer, ics_buffer_size, ProcessIcsLine) == -1)
        handle_disconnection();
}

} // namespace

void dispatch_key(int code)
{
    if (code < kFirstDispatchedCode || code >= kFirstDispatchedCode + int(kDispatch.size()))
        return;
    int mode = whats_showed;
    if (mode < kBoardView || mode > kFullTelnet)
        return;
    kDispatch[code - kFirstDispatchedCode].in_mode[mode]();
}

bool main_loop_pass(char* ics_buffer, int ics_buffer_size, unsigned char* lcd_frame, bool pause)
{
    report_pending_signals();
    refresh_lcd_and_clocks(lcd_frame);
    // A held key keeps the pass here until it is released or the host asks the plugin to
    // stop; the request is acted on after the poll.
    dialog_wait_release();
    if (pause)
        dialog_pause(tv_tv_usec);
    poll_remote();
    if (doexit != 0)
        return false;
    if (passes_repeat_lock()) {
        dispatch_key(actcode);
        poll_remote(); // a key this poll delivers is not dispatched
        report_pending_signals();
        read_server_input(ics_buffer, ics_buffer_size);
    }
    return doexit == 0;
}

void run_main_loop(char* ics_buffer, int ics_buffer_size, unsigned char* lcd_frame)
{
    while (main_loop_pass(ics_buffer, ics_buffer_size, lcd_frame, true)) {
    }
}
