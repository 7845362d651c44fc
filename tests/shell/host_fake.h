// A recording host around the plugin for the test_shell executable: the front-panel LCD device
// (open, ioctl, write, close), the configuration file (fopen) and the host library's set-up
// calls are interposed, so that crafty_exec and plugin_exec run in-process. Everything else goes
// on to the real functions (dlsym(RTLD_NEXT)).
#pragma once

#include <string>
#include <vector>

namespace hostfake {

struct Host {
    bool refuse_framebuffer = false;   // FBInitialize answers -1 without calling the library
    bool pretend_framebuffer = false;  // FBInitialize answers 0 without mapping anything
    bool refuse_remote = false;        // RcInitialize answers -1 without calling the library
    const char* config_text = nullptr; // served at the configuration path; nullptr: no file
    // What the plugin did, in order: "FBInitialize(fd)", "RcInitialize(fd)", "lcd open",
    // "lcd 25", "lcd 4117", "lcd close", "config open".
    std::vector<std::string> events;
    int lcd_fd = -1; // the descriptor handed out for the LCD (/dev/null), -1 once closed
};

Host& host();
// Forgets everything, staged behaviour included, and closes a still open LCD descriptor.
void reset();
// The events that begin with prefix, and all events on one line for failure messages.
std::vector<std::string> events(const std::string& prefix);
std::string events_text();

} // namespace hostfake
