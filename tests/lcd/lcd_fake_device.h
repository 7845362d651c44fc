// A fake front-panel LCD for the test_lcd executable. open, ioctl, write and close are interposed
// here (nm shows the LCD object calls exactly these, with or without _FORTIFY_SOURCE): calls on
// "/dev/omra/lcd0" and on the descriptor handed out for it are recorded, everything else goes to
// the real functions (dlsym(RTLD_NEXT)). Should the plugin ever reach the device through another
// entry point, the real open fails on the missing path and every device test exits with 1.
#pragma once

#include <string>
#include <vector>

namespace fakelcd {

struct Request {
    unsigned long number;
    bool has_argument; // a non-null pointer came with the request
    int argument;      // the integer it pointed at
};

struct Device {
    // Failures to stage, as errno values (0 = succeed).
    int open_error = 0;
    int clear_error = 0;      // request 25
    int frame_mode_error = 0; // request 4117
    int write_error = 0;

    // What the plugin did.
    int fd = -1; // the descriptor handed out; a real one (/dev/null), so it never collides
    int open_flags = -1;
    std::vector<Request> requests;
    std::vector<std::vector<unsigned char>> frames; // one entry per write, its bytes
    int closes = 0;
};

// The one fake device of the process.
Device& device();
// Closes the handed-out descriptor and forgets everything, staged failures included, so tests
// that share a process start from a fresh device.
void reset();

// The requests as text ("25 4117(1)") for failure messages.
std::string requests_text();

} // namespace fakelcd
