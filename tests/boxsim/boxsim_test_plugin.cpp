// A fixture plugin for boxsim's tests (not the product): it reads the configuration by its
// fixed path, prepares the LCD device, draws a known picture with readable text, shows every
// key it receives, and returns when the box asks it to leave.
//
// Screen (bitmap font, colour 2 on 1):        LCD frame:
//   (20, 20)  "ready"                            border lit; pixel (key + 2, 10) lit for the
//   (20, 200) "host H" / "no config"             last key; cleared when the plugin returns
//   (20, 220) "port P"
//   (20, 240) "handle H"    (20, 260) "passwd P"
//   (20, 280) "no_pig N"
//   (20, 300) "key KK"      (20, 320) "keys N"   (20, 340) "restarts N"
//   (20, 360) "obliging" / "stubborn" (RED toggles: a stubborn plugin ignores EXIT)
//   (20, 380) "passthrough ok" when an ordinary file still opens
//   (20, 400) "signals N": SIGINT and SIGTERM caught by the plugin's own handler
// Blue (13) box at x 100-149, y 100-139 inside a white (2) outline at x 98-151, y 98-141.
// Result: 7 once a restart was seen, else the configuration's "exitCode=" (default 0); 41, 42
// or 43 when the LCD, the framebuffer or the remote control could not be set up.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "board/font.h"
#include "host/gx9.h"

namespace {

volatile sig_atomic_t signals_caught = 0;

void count_signal(int)
{
    signals_caught = signals_caught + 1;
}

struct Node {
    const char* key;
    const char* value;
    Node* next;
};

constexpr int kLcdFrameBytes = 960;
constexpr int kLcdWidth = 120;
constexpr int kLcdHeight = 64;

struct Config {
    char host[40] = "";
    char port[12] = "";
    char handle[20] = "";
    char passwd[20] = "";
    int exit_code = 0;
    bool found = false;
};

struct State {
    int lcd = -1;
    unsigned char frame[kLcdFrameBytes] = {};
    int last_key = -1;
    int keys = 0;
    int restarts = 0;
    bool stubborn = false;
    int signals_shown = 0;
};

void copy_value(char* out, size_t size, const char* token, const char* key)
{
    const char* at = std::strstr(token, key);
    if (at != nullptr)
        std::snprintf(out, size, "%s", at + std::strlen(key));
}

Config read_config()
{
    Config config;
    FILE* file = std::fopen("/var/mirlon/plugins/vitrel3.cfg", "r");
    if (file == nullptr)
        return config;
    config.found = true;
    char token[80];
    while (std::fscanf(file, "%79s", token) == 1) {
        copy_value(config.host, sizeof config.host, token, "icsHost=");
        copy_value(config.port, sizeof config.port, token, "icsPort=");
        copy_value(config.handle, sizeof config.handle, token, "icsHandle=");
        copy_value(config.passwd, sizeof config.passwd, token, "icsPasswd=");
        if (const char* at = std::strstr(token, "exitCode="))
            config.exit_code = std::atoi(at + 9);
    }
    std::fclose(file);
    return config;
}

// Text in the bitmap font, copied cell by cell with FBCopyImage.
void draw_text(int x, int y, const char* text, unsigned char ink, unsigned char paper)
{
    unsigned char cell[kGlyphBytes];
    for (; *text != '\0'; ++text, x += kGlyphWidth) {
        const int k = font_cell_of(static_cast<unsigned char>(*text));
        for (int i = 0; i < kGlyphBytes; ++i)
            cell[i] = (k >= 0 && font_pixels[k * kGlyphBytes + i] == kGlyphInk) ? ink : paper;
        FBCopyImage(x, y, kGlyphWidth, kGlyphHeight, cell);
    }
}

template <typename... Args> void draw_line(int y, const char* format, Args... args)
{
    char line[64];
    std::snprintf(line, sizeof line, format, args...);
    FBFillRect(20, y, 400, kGlyphHeight, 1);
    draw_text(20, y, line, 2, 1);
}

void lcd_set(State& s, int x, int y)
{
    if (x >= 0 && x < kLcdWidth && y >= 0 && y < kLcdHeight)
        s.frame[(y / 8) * kLcdWidth + x] |= static_cast<unsigned char>(1 << (y % 8));
}

void draw_lcd(State& s)
{
    std::memset(s.frame, 0, sizeof s.frame);
    for (int x = 0; x < kLcdWidth; ++x) {
        lcd_set(s, x, 0);
        lcd_set(s, x, kLcdHeight - 1);
    }
    for (int y = 0; y < kLcdHeight; ++y) {
        lcd_set(s, 0, y);
        lcd_set(s, kLcdWidth - 1, y);
    }
    if (s.last_key >= 0)
        lcd_set(s, s.last_key + 2, 10);
    if (write(s.lcd, s.frame, sizeof s.frame) != kLcdFrameBytes)
        std::fprintf(stderr, "test plugin: LCD frame refused\n");
}

void draw_status(const State& s)
{
    draw_line(300, "key %02d", s.last_key < 0 ? 0 : s.last_key);
    draw_line(320, "keys %d", s.keys);
    draw_line(340, "restarts %d", s.restarts);
    draw_line(360, "%s", s.stubborn ? "stubborn" : "obliging");
}

void draw_config(const Config& c, int no_pig)
{
    if (!c.found) {
        draw_line(200, "%s", "no config");
    } else {
        draw_line(200, "host %s", c.host);
        draw_line(220, "port %s", c.port);
        draw_line(240, "handle %s", c.handle);
        draw_line(260, "passwd %s", c.passwd);
    }
    draw_line(280, "no_pig %d", no_pig);
    if (FILE* other = std::fopen("/proc/self/cmdline", "r")) {
        draw_line(380, "%s", "passthrough ok");
        std::fclose(other);
    }
}

bool open_lcd(State& s)
{
    s.lcd = open("/dev/omra/lcd0", O_RDWR);
    int mode = 1;
    return s.lcd >= 0 && ioctl(s.lcd, 25) == 0 && ioctl(s.lcd, 4117, &mode) == 0;
}

void sleep_ms(long ms)
{
    timespec t{ms / 1000, (ms % 1000) * 1000000};
    nanosleep(&t, nullptr);
}

// Returns when the box asks the plugin to leave (doexit 3) and it is not stubborn.
void answer_keys(State& s)
{
    while (true) {
        actcode = kKeyNone;
        RcGetActCode();
        if (actcode != kKeyNone) {
            s.last_key = actcode;
            ++s.keys;
            if (actcode == kKeyRed)
                s.stubborn = !s.stubborn;
            draw_status(s);
        }
        if (signals_caught != s.signals_shown) {
            s.signals_shown = signals_caught;
            draw_line(400, "signals %d", s.signals_shown);
        }
        if (doexit == 3 && !s.stubborn)
            return;
        if (doexit != 0) {
            if (doexit != 3)
                ++s.restarts;
            doexit = 0;
            draw_status(s);
        }
        draw_lcd(s);
        sleep_ms(20);
    }
}

} // namespace

extern "C" __attribute__((visibility("default"))) int plugin_exec(Node* list)
{
    int fd_framebuffer = -1, fd_rcinput = -1, no_pig = 0;
    for (Node* node = list; node != nullptr; node = node->next) {
        if (std::strcmp(node->key, "fd_framebuffer") == 0)
            fd_framebuffer = std::atoi(node->value);
        else if (std::strcmp(node->key, "fd_rcinput") == 0)
            fd_rcinput = std::atoi(node->value);
        else if (std::strcmp(node->key, "no_pig") == 0)
            no_pig = std::atoi(node->value);
    }
    gx9_use_pig = no_pig == 0 ? 1 : 0;

    State s;
    signals_caught = 0;
    auto* const old_int = signal(SIGINT, count_signal);
    auto* const old_term = signal(SIGTERM, count_signal);
    if (!open_lcd(s))
        return 41;
    if (FBInitialize(720, 576, 8, fd_framebuffer) < 0)
        return 42;
    FBSetColor(1, 0, 0, 0);
    FBSetColor(2, 255, 255, 255);
    FBSetColor(13, 0, 0, 255);
    FBSetupColors();
    if (RcInitialize(fd_rcinput) < 0)
        return 43;
    doexit = 0;

    FBFillRect(0, 0, 720, 576, 1);
    FBDrawRect(98, 98, 54, 44, 2);
    FBFillRect(100, 100, 50, 40, 13);
    Gx9ShowPig(470, 281, 225, 168);
    const Config config = read_config();
    draw_config(config, no_pig);
    draw_status(s);
    draw_text(20, 20, "ready", 2, 1);
    draw_lcd(s);

    answer_keys(s);

    Gx9StopPig();
    RcClose();
    FBClose();
    ioctl(s.lcd, 25);
    close(s.lcd);
    signal(SIGINT, old_int); // the handler lives in this library, which the host may unload
    signal(SIGTERM, old_term);
    return s.restarts > 0 ? 7 : config.exit_code;
}
