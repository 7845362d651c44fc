// A fixture plugin for boxsim's tests (not the product): it prepares the LCD device, draws a
// known picture, shows what it receives, and returns when the box asks it to leave.
// The screen is colour 1 with a blue (13) box at x 100-149, y 140-179, drawn last at start-up;
// the live picture's window is at x 470-694, y 281-448. Pixels (10, 10) to (14, 10) show, as
// palette indices: the last key (238 before any), how many keys came, restarts, 1 while the
// plugin is stubborn (RED toggles: a stubborn plugin ignores EXIT), and SIGINT and SIGTERM
// caught by the plugin's own handler; pixel (10, 20) shows no_pig. LCD: (0, 0), (119, 63) and,
// for the last key, (key + 2, 10) lit; cleared on return.
// Result: -1 after BLUE, else 7 once a restart came, else 0; 41 when the LCD, the framebuffer
// or the remote control cannot be set up.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

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

} // namespace

extern "C" __attribute__((visibility("default"))) int plugin_exec(Node* list)
{
    int fd_framebuffer = -1, fd_rcinput = -1, no_pig = 0;
    for (Node* node = list; node != nullptr; node = node->next) {
        const int value = std::atoi(node->value);
        fd_framebuffer = std::strcmp(node->key, "fd_framebuffer") == 0 ? value : fd_framebuffer;
        fd_rcinput = std::strcmp(node->key, "fd_rcinput") == 0 ? value : fd_rcinput;
        no_pig = std::strcmp(node->key, "no_pig") == 0 ? value : no_pig;
    }
    gx9_use_pig = no_pig == 0 ? 1 : 0;
    auto* const old_int = signal(SIGINT, count_signal);
    auto* const old_term = signal(SIGTERM, count_signal);
    const int lcd = open("/dev/omra/lcd0", O_RDWR);
    int mode = 1;
    if (lcd < 0 || ioctl(lcd, 25) != 0 || ioctl(lcd, 4117, &mode) != 0 ||
        FBInitialize(720, 576, 8, fd_framebuffer) < 0 || RcInitialize(fd_rcinput) < 0)
        return 41;
    FBSetColor(13, 0, 0, 255);
    FBSetupColors();
    FBFillRect(0, 0, 720, 576, 1);
    FBPaintPixel(10, 20, static_cast<unsigned char>(no_pig));
    Gx9ShowPig(470, 281, 225, 168);
    FBFillRect(100, 140, 50, 40, 13);

    // Until the box asks the plugin to leave (doexit 3) and it is not stubborn, or BLUE.
    int last_key = kKeyNone, keys = 0, restarts = 0;
    bool stubborn = false;
    for (doexit = 0; (doexit != 3 || stubborn) && last_key != kKeyBlue;) {
        actcode = kKeyNone;
        RcGetActCode();
        if (actcode != kKeyNone) {
            last_key = actcode;
            ++keys;
            stubborn = stubborn != (actcode == kKeyRed);
        }
        restarts += doexit == 1;
        doexit = doexit == 1 ? 0 : doexit;
        const int shown[] = {last_key, keys, restarts, stubborn, signals_caught};
        for (int i = 0; i < 5; ++i)
            FBPaintPixel(10 + i, 10, static_cast<unsigned char>(shown[i]));
        unsigned char frame[960] = {};
        frame[0] = 0x01;
        frame[959] = 0x80;
        frame[120 + (last_key + 2) % 120] = last_key == kKeyNone ? 0 : 0x04;
        if (write(lcd, frame, sizeof frame) != 960)
            return 41;
        usleep(20000);
    }
    ioctl(lcd, 25);
    close(lcd);
    signal(SIGINT, old_int); // the handler lives in this library, which the host may unload
    signal(SIGTERM, old_term);
    return last_key == kKeyBlue ? -1 : restarts > 0 ? 7 : 0;
}
