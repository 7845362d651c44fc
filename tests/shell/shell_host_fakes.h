// A recording host around the plugin for the test_shell executable: the front-panel LCD device,
// the configuration file and the host library's set-up, release and picture-window calls are
// interposed here (open, ioctl, write, close, fopen, connect and the gx9 entry points), so that
// crafty_exec and plugin_exec run in-process. Calls that are not the plugin's device, file or a
// staged refusal go on to the real functions (dlsym(RTLD_NEXT)).
#pragma once

#include <string>
#include <vector>

namespace shellfakes {

struct Host {
    // Staged behaviour.
    bool refuse_framebuffer = false;   // FBInitialize answers -1 without calling the library
    bool pretend_framebuffer = false;  // FBInitialize answers 0 without mapping anything
    bool refuse_remote = false;        // RcInitialize answers -1 without calling the library
    const char* config_text = nullptr; // served at the configuration path; nullptr: no file
    int watched_port = 0;              // TCP port whose connections are counted and logged
    bool log_rectangles = false;       // FBDrawRect and FBFillRect calls go into events

    // What the plugin did, in order: "FBInitialize(fd)", "RcInitialize(fd)", "FBClose",
    // "RcClose", "ShowPig(x y w h)", "StopPig", "lcd open", "lcd 25", "lcd 4117", "lcd close",
    // "config open", "connect", "close connection", and with log_rectangles
    // "rect x y w h colour" and "fill x y w h colour".
    std::vector<std::string> events;
    int lcd_fd = -1; // the descriptor handed out for the LCD (/dev/null), -1 once closed
    int lcd_frames = 0;
    // For each connect to watched_port: how many sockets of the process were connected to it
    // at that moment.
    std::vector<int> connected_at_connect;
};

// The one recording host of the process.
Host& host();
// Forgets everything, staged behaviour included, and closes a still open LCD descriptor.
void reset();
// The events that equal or begin with prefix.
std::vector<std::string> events_starting(const std::string& prefix);
// All events on one line, for failure messages.
std::string events_text();

} // namespace shellfakes
