// Helpers for the dialog and move entry tests: keys written as letters.
#pragma once

#include <sys/ioctl.h>

#include <string_view>

#include <gtest/gtest.h>

#include "host/gx9.h"
#include "shell/screen_mode.h"
#include "tests/ics/server_end.h"
#include "tests/support/test_screen.h"

namespace dialogtest {

// Polls quickly so that a test with many keys runs in milliseconds.
constexpr int kFastPollUsec = 1000;

// A key by its letter: R L U D O for the arrows and OK, Y X B H E for YELLOW, RED, BLUE, HELP
// and EXIT, a digit for itself.
inline int key(char letter)
{
    constexpr std::string_view kFromRight = "RLUDO...YXB..H.E"; // codes 10 to 25
    return letter >= '0' && letter <= '9' ? letter - '0' : 10 + int(kFromRight.find(letter));
}
inline void tap(testsupport::TestRemote& remote, std::string_view letters)
{
    for (char letter : letters)
        remote.tap(key(letter));
}
// Bytes still waiting in the remote's pipe.
inline int queued_bytes(const testsupport::TestRemote& remote)
{
    int bytes = -1;
    ioctl(remote.write_fd(), FIONREAD, &bytes);
    return bytes;
}

// Takes every event still queued and forgets what it did: no key held, no request to leave.
inline void drain()
{
    for (int i = 0; i < 64; ++i)
        RcGetActCode();
    actcode = realcode = kKeyNone;
    doexit = 0;
}

} // namespace dialogtest
