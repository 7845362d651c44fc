// ExitOn and ExitOnSystemError: the white-on-red telnet line cut at 72, the errno text, errno
// kept, and the pause after each message.
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "ics/game_state.h"
#include "shell/exit_on.h"
#include "tests/support/test_screen.h"

TEST(ExitOnMessage, ShowsItsLineWhiteOnRedCutTo72KeepsErrnoAndPauses)
{
    const std::string letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const std::string long_what = letters + letters;
    // Columns: message (null for the system error alone), failed call (null for ExitOn), errno.
    const struct {
        const char* message;
        const char* what;
        int error;
        std::string line;
    } rows[] = {
        {long_what.c_str(), nullptr, 0, long_what.substr(0, 72)},
        {nullptr, nullptr, ECONNRESET, std::string("Error: ") + strerror(ECONNRESET)},
        {nullptr, letters.c_str(), EIO, (letters + ": " + strerror(EIO)).substr(0, 72)},
    };
    testsupport::TestScreen screen;
    init();
    exit_on_pause_usec = 100000;
    for (const auto& row : rows) {
        screen.fill(7);
        errno = row.error;
        const auto before = std::chrono::steady_clock::now();
        row.what ? ExitOnSystemError(row.what) : ExitOn(row.message);
        EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(100));
        EXPECT_EQ(errno, row.error);
        EXPECT_TRUE(screen.shows(30, 511, row.line, 2, 3, 9));
        const int width = (static_cast<int>(row.line.size()) - 1) * 9 + 10;
        EXPECT_TRUE(screen.all(30 + width, 511, 680 - width, 18, 1)) << "drew past the line";
    }
}
