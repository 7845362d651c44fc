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
// and runs the plugin. The only symbol the plugin exports. Keys match exactly; the later node
// wins; values are read as atoi reads them (leading blanks, a sign, digits; none gives 0), a
// missing value as 0 and a number beyond int's range as its nearest end. Absent descriptors
// are -1. "no_pig" sets gx9_use_pig to 1 for the value 0, else to 0.
extern "C" int plugin_exec(PluginParameter* parameters);

// Start-up, main loop, shut-down. 0 after the user has left; -1 when the framebuffer or the
// remote control cannot be set up, and then what was set up by that time (LCD, framebuffer,
// signal handlers) is released again. doexit is cleared as soon as the remote control is set
// up: nothing of this run has polled the remote yet, so a value there is a request left over
// from an earlier run, which would end this one before it shows anything. A restart closes a
// connection that is still open before it opens a new one; shut-down gives the host back its
// signal dispositions.
int crafty_exec(int framebuffer_fd, int remote_fd);
