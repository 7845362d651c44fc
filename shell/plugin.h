// The way into and out of the plugin: the host's entry point and the main routine.
#pragma once

// One node of the host's parameter list: key and value are NUL-terminated texts, the value a
// decimal number.
struct PluginParameter {
    const char* key;
    const char* value;
    PluginParameter* next;
};

constexpr int kIcsBufferBytes = 16384;

// The host's call: picks "fd_framebuffer", "fd_rcinput", "no_pig" and "fd_lcd" out of the list
// and runs the plugin. The only symbol the plugin exports.
extern "C" int plugin_exec(PluginParameter* parameters);

// Start-up, main loop, shut-down. 0 after the user has left; -1 when the framebuffer or the
// remote control cannot be set up (what was set up by then is released again).
int crafty_exec(int framebuffer_fd, int remote_fd);
