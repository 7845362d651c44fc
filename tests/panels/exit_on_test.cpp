// Tests of ExitOn: the white-on-red telnet line, the cut at 72, the errno text, the pause.
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "ics/game_state.h"
#include "panels/telnet.h"
#include "shell/exit_on.h"
#include "shell/screen_mode.h"
#include "tests/support/test_screen.h"

namespace {

using testsupport::TestScreen;

constexpr int kNewestLineY = 511;

std::string newest_record()
{
    const TelnetLine& line = from_fics[kTelnetLines - 1];
    return std::string(line.text, strnlen(line.text, sizeof line.text));
}

class ExitOnMessage : public ::testing::Test {
  protected:
    void SetUp() override
    {
        init();
        whats_showed = kBoardView;
        exit_on_pause_usec = 1000;
    }
    TestScreen screen;
};

TEST_F(ExitOnMessage, LongMessageIsCutTo72AndShownWhiteOnRed)
{
    std::string message;
    for (int i = 0; i < 100; ++i)
        message += static_cast<char>('a' + i % 26);
    ExitOn(message.c_str());

    EXPECT_EQ(newest_record(), message.substr(0, 72));
    EXPECT_EQ(from_fics[27].ink, 2);
    EXPECT_EQ(from_fics[27].paper, 3);
    EXPECT_EQ(screen.text(30, kNewestLineY, 72, 9), message.substr(0, 72));
    const int width = 71 * 9 + 10;
    EXPECT_TRUE(screen.all(30 + width, kNewestLineY, 680 - width, 18, 1)) << "drew past 72";
    EXPECT_EQ(screen.count(30, kNewestLineY, width, 18, 2) +
                  screen.count(30, kNewestLineY, width, 18, 3),
              width * 18)
        << screen.dump(30, kNewestLineY, 40, 18);
    EXPECT_GT(screen.count(30, kNewestLineY, width, 18, 2), 0);
}

TEST_F(ExitOnMessage, MissingMessageShowsTheSystemErrorAndKeepsErrno)
{
    errno = ECONNRESET;
    ExitOn(nullptr);
    const std::string expected = std::string("Error: ") + strerror(ECONNRESET);
    EXPECT_EQ(newest_record(), expected);
    EXPECT_EQ(errno, ECONNRESET);
    EXPECT_EQ(screen.text(30, kNewestLineY, static_cast<int>(expected.size()), 9), expected);
}

TEST_F(ExitOnMessage, SystemErrorNamesTheFailedCallCutTo72)
{
    struct Row {
        const char* what;
        int error;
        std::string expected;
    };
    const std::string long_what(70, 'w');
    const Row rows[] = {
        {"write to server", EPIPE, std::string("write to server: ") + strerror(EPIPE)},
        {"read from server", ECONNRESET, std::string("read from server: ") + strerror(ECONNRESET)},
        {long_what.c_str(), EIO, (long_what + ": " + strerror(EIO)).substr(0, 72)},
    };
    for (const Row& row : rows) {
        errno = row.error;
        ExitOnSystemError(row.what);
        EXPECT_EQ(newest_record(), row.expected);
        EXPECT_EQ(errno, row.error);
        EXPECT_EQ(from_fics[27].paper, 3);
    }
}

TEST_F(ExitOnMessage, PausesForTheConfiguredTimeAfterDrawing)
{
    exit_on_pause_usec = 300000;
    const auto before = std::chrono::steady_clock::now();
    ExitOn("Got SIGPIPE signal");
    const auto paused = std::chrono::steady_clock::now() - before;
    EXPECT_GE(paused, std::chrono::milliseconds(300));
    EXPECT_LT(paused, std::chrono::seconds(2));
    EXPECT_EQ(screen.text(30, kNewestLineY, 18, 9), "Got SIGPIPE signal");
    EXPECT_EQ(exit_on_pause_usec, 300000);
}

} // namespace

namespace {

// The pause that callers get without a test's override: two whole seconds.
TEST(ExitOnPause, LastsTwoSecondsByDefault)
{
    TestScreen screen;
    init();
    whats_showed = kBoardView;
    const auto before = std::chrono::steady_clock::now();
    ExitOn("Disconnected from ICS !!!");
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
    EXPECT_EQ(screen.text(30, kNewestLineY, 25, 9), "Disconnected from ICS !!!");
}

} // namespace
