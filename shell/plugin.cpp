// Plugin entry, start-up, the restart point and shut-down.
#include "shell/plugin.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "board/board.h"
#include "host/gx9.h"
#include "ics/connection.h"
#include "ics/game_state.h"
#include "lcd/device.h"
#include "lcd/picture.h"
#include "panels/header.h"
#include "panels/telnet.h"
#include "shell/command_bar.h"
#include "shell/config.h"
#include "shell/main_loop.h"
#include "shell/move_state.h"
#include "shell/screen_mode.h"
#include "shell/signals.h"

namespace {

// The main routine's buffers, lent to the pieces it calls for the whole run.
char ics_buffer[kIcsBufferBytes];
unsigned char lcd_frame[kLcdFrameBytes];

struct PaletteEntry {
    int index, red, green, blue;
};

// Defined in this order; indices 0 and 11 are never defined.
constexpr PaletteEntry kPalette[] = {
    {1, 0, 0, 0},       {2, 255, 255, 255}, {10, 33, 105, 115}, {6, 156, 195, 189},
    {9, 132, 130, 66},  {5, 255, 255, 30},  {4, 255, 255, 140}, {7, 80, 80, 200},
    {8, 130, 130, 130}, {3, 255, 0, 0},     {12, 0, 255, 0},    {13, 0, 0, 255},
};

constexpr unsigned char kBlack = 1;

// The value of a parameter as the C library's atoi reads it, without its overflow.
int parameter_value(const char* text)
{
    if (!text)
        return 0;
    long value = strtol(text, nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

void define_palette()
{
    for (const PaletteEntry& e : kPalette)
        FBSetColor(e.index, e.red, e.green, e.blue);
    FBSetupColors();
}

void reset_for_new_run()
{
    snprintf(tempy, sizeof tempy, "%s", "     ");
    selection_phase = 1;
    whats_showed = kBoardView;
    ics_buffer[0] = '\0';
}

void load_start_position()
{
    memcpy(zeforboard, kStartPosition, sizeof kStartPosition);
}

void draw_intro_texts()
{
    FBDrawString(40, 78, 64, "KORVANIS", 5, kBlack);
    FBDrawString(40, 140, 64, "INTERNET CHESS  1.9", 5, kBlack);
    FBDrawString(40, 280, 48, "Please wait, connecting to", 8, kBlack);
    FBDrawString(100, 330, 48, icsHost, 2, kBlack);
}

void send_login()
{
    SendToIcs("\r");
    SendToIcs("%s\r\n", icsHandle);
    SendToIcs("%s\r\n", icsPasswd);
    SendToIcs("style 12\r\n");
    SendToIcs("set width 73\r\n");
}

void close_connection()
{
    if (icsFd > 0)
        close(icsFd);
    icsFd = 0;
}

// From the restart point to the main loop: picture window, intros, connection, login, board.
void connect_and_draw()
{
    Gx9ShowPig(Xoffset + 430, Yoffset - 168, 225, 168);
    lcd_draw_intro(lcd_frame);
    display_naslov();
    draw_intro_texts();
    close_connection();
    icsFd = OpenTCP(icsHost, icsPort);
    if (icsFd <= 0) {
        icsFd = 0;
        FBDrawString(40, 380, 48, "Failed to connect to server!", 4, kBlack);
        return;
    }
    send_login();
    draw_command_bar();
    draw_chess_board(zeforboard, cursorxold, cursoryold, cursorx, cursory);
    display_naslov();
}

void release_lcd()
{
    lcd_clr();
    if (lcd_fd >= 0)
        close(lcd_fd);
    lcd_fd = -1;
}

void shut_down()
{
    Gx9StopPig();
    close_connection();
    RcClose();
    FBClose();
    release_lcd();
    restore_signal_handlers();
}

} // namespace

int crafty_exec(int framebuffer_fd, int remote_fd)
{
    reset_for_new_run();
    install_signal_handlers();
    load_start_position();
    init();
    blank_telnet_startup_lines();
    memset(lcd_frame, 0, sizeof lcd_frame);
    init_lcd();
    if (FBInitialize(kScreenWidth, kScreenHeight, 8, framebuffer_fd) < 0) {
        release_lcd();
        restore_signal_handlers();
        return -1;
    }
    define_palette();
    if (RcInitialize(remote_fd) < 0) {
        FBClose();
        release_lcd();
        restore_signal_handlers();
        return -1;
    }
    // An exit request still set now belongs to an earlier run: nothing has polled yet.
    doexit = 0;
    read_config_file();

    while (doexit != 3) {
        connect_and_draw();
        doexit = 0;
        run_main_loop(ics_buffer, kIcsBufferBytes, lcd_frame);
    }
    shut_down();
    return 0;
}

extern "C" __attribute__((visibility("default"))) int plugin_exec(PluginParameter* parameters)
{
    int framebuffer_fd = -1;
    int remote_fd = -1;
    for (const PluginParameter* p = parameters; p; p = p->next) {
        if (!p->key)
            continue;
        int value = parameter_value(p->value);
        if (strcmp(p->key, "fd_framebuffer") == 0)
            framebuffer_fd = value;
        else if (strcmp(p->key, "fd_rcinput") == 0)
            remote_fd = value;
        else if (strcmp(p->key, "no_pig") == 0)
            gx9_use_pig = value == 0 ? 1 : 0;
        else if (strcmp(p->key, "fd_lcd") == 0)
            lcd_fd = value;
    }
    return crafty_exec(framebuffer_fd, remote_fd);
}
