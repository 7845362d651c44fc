// The main loop's passes: the repeat lock, the dispatch per screen mode, the dialogs' results
// sent and echoed only while connected, disconnection, and signals reported at safe points.
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <string>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "dialogs/command_table.h"
#include "host/gx9.h"
#include "ics/game_state.h"
#include "lcd/device.h"
#include "panels/telnet.h"
#include "shell/exit_on.h"
#include "shell/main_loop.h"
#include "shell/move_state.h"
#include "shell/screen_mode.h"
#include "shell/signals.h"
#include "tests/shell/shell_host_fakes.h"
#include "tests/support/test_screen.h"

namespace {

using testsupport::TestRemote;
using testsupport::TestScreen;

constexpr int kBufferBytes = 16384;

class MainLoop : public ::testing::Test {
  protected:
    void SetUp() override
    {
        memcpy(zeforboard, kStartPosition, sizeof kStartPosition);
        init();
        blank_telnet_startup_lines();
        exit_on_pause_usec = 0;
        tv_tv_usec = 0;
        lcd_fd = -1;
        whats_showed = kBoardView;
        ics_buffer[0] = '\0';
    }
    void TearDown() override
    {
        if (server_fd >= 0)
            close(server_fd);
        if (icsFd > 0)
            close(icsFd);
        icsFd = 0;
    }

    bool pass() { return main_loop_pass(ics_buffer, kBufferBytes, lcd_frame, false); }

    void start_game()
    {
        WeAreNotPlaying = 0;
        moving_enabled = 1;
    }

    void connect()
    {
        int pair[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
        icsFd = pair[0];
        server_fd = pair[1];
    }

    std::string server_received()
    {
        std::string text;
        char buffer[512];
        for (;;) {
            ssize_t n = recv(server_fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n <= 0)
                return text;
            text.append(buffer, n);
        }
    }

    std::string newest_line() const
    {
        return std::string(from_fics[27].text, strnlen(from_fics[27].text, 80));
    }

    TestScreen screen;
    TestRemote remote;
    char ics_buffer[kBufferBytes];
    unsigned char lcd_frame[kLcdFrameBytes] = {};
    int server_fd = -1;
};

TEST_F(MainLoop, SameKeyStillHeldAtThePollIsIgnoredUntilAPollFindsNoKey)
{
    start_game();
    remote.tap(kKeyRight);
    pass();
    EXPECT_EQ(cursorx, 5);
    remote.press(kKeyRight); // pressed again and still held at the next poll
    pass();
    EXPECT_EQ(cursorx, 5) << "locked";
    remote.release(kKeyRight);
    pass(); // waits for the release; the poll finds no key and clears the lock
    remote.tap(kKeyRight);
    pass();
    EXPECT_EQ(cursorx, 6);
}

TEST_F(MainLoop, ALockedPassReadsNoServerInputUntilTheKeyIsReleased)
{
    connect();
    start_game();
    remote.tap(kKeyRight);
    pass();
    ASSERT_EQ(write(server_fd, "hello\n\r", 7), 7);
    remote.press(kKeyRight);
    pass();
    EXPECT_EQ(cursorx, 5) << "locked";
    EXPECT_NE(newest_line().substr(0, 5), "hello") << "a locked pass ends before the server input";
    remote.release(kKeyRight);
    pass();
    EXPECT_EQ(newest_line().substr(0, 5), "hello");
}

TEST_F(MainLoop, AHeldKeyNoLongerHoldsThePassOnceTheHostAsksToStartOver)
{
    start_game();
    remote.press(kKeyRight);
    pass();
    ASSERT_EQ(realcode, kKeyRight);
    remote.restart();
    // Releases the key only if the pass is still waiting for it after two seconds.
    std::promise<void> pass_done;
    std::thread releaser([&, done = pass_done.get_future()] {
        if (done.wait_for(std::chrono::seconds(2)) == std::future_status::timeout)
            remote.release(kKeyRight);
    });
    const bool goes_on = pass();
    pass_done.set_value();
    releaser.join();
    EXPECT_FALSE(goes_on);
    EXPECT_EQ(doexit, 1);
    EXPECT_EQ(realcode, kKeyRight) << "the pass waited for the release";
}

TEST_F(MainLoop, OkIsNeverLocked)
{
    start_game();
    remote.tap(kKeyRight);
    pass();
    remote.tap(kKeyOk);
    pass();
    EXPECT_EQ(selection_phase, 2);
    remote.press(kKeyOk); // a second quick OK, still held at the poll, counts
    pass();
    EXPECT_EQ(selection_phase, 1) << "OK on the selected piece cancels the selection";
}

TEST_F(MainLoop, CursorKeysAndOkDoNothingOutsideTheBoardViewOrWithoutAGame)
{
    remote.tap(kKeyRight);
    pass();
    EXPECT_EQ(cursorx, 4) << "no game";
    start_game();
    for (int mode : {kHelpScreen, kFullTelnet}) {
        whats_showed = mode;
        remote.tap(kKeyUp);
        pass();
        remote.tap(kKeyOk);
        pass();
        EXPECT_EQ(cursory, 2);
        EXPECT_EQ(selection_phase, 1);
    }
}

TEST_F(MainLoop, RedAndHelpMoveBetweenTheThreeScreenModes)
{
    struct Step {
        int key;
        int mode_after;
    };
    // Board -> telnet -> help -> board -> help -> telnet -> board.
    const Step steps[] = {{kKeyRed, kFullTelnet},  {kKeyHelp, kHelpScreen}, {kKeyHelp, kBoardView},
                          {kKeyHelp, kHelpScreen}, {kKeyRed, kFullTelnet},  {kKeyRed, kBoardView}};
    for (const Step& step : steps) {
        remote.tap(step.key);
        pass();
        EXPECT_EQ(whats_showed, step.mode_after) << "after key " << step.key;
    }
}

TEST_F(MainLoop, HelpOverTheFullTelnetWindowLeavesTheRestOfTheWindowOnScreen)
{
    const std::string line =
        "a line long enough to reach past the help screen, right edge at x 463";
    for (int i = 0; i < 28; ++i)
        add_to_telnet(line.c_str(), 5, 1);
    remote.tap(kKeyRed);
    pass();
    const int row10 = 25 + 18 * 10;
    EXPECT_EQ(screen.text(30, row10, 8, 9), "a line l");
    remote.tap(kKeyHelp);
    pass();
    EXPECT_EQ(screen.text(120, 220, 21), "HELP   -> this screen");
    EXPECT_EQ(screen.text(30 + 9 * 50, row10, 10, 9), line.substr(50, 10))
        << "right of the help screen the window stays";
    remote.tap(kKeyHelp);
    pass();
    // Back in the board view only the board and the header are drawn again.
    EXPECT_EQ(screen.pixel(60, 45), 6) << "square (1, 8) is light";
    EXPECT_EQ(screen.text(30 + 9 * 50, row10, 10, 9), line.substr(50, 10))
        << "telnet text right of the board stays";
}

TEST_F(MainLoop, PickedCommandIsSentAndEchoedOnlyWhileConnected)
{
    connect();
    remote.tap(kKeyYellow);
    remote.tap(kKeyDown);
    remote.tap(kKeyOk);
    pass();
    EXPECT_EQ(last_command, 1);
    EXPECT_EQ(server_received(), "accept \r\n");
    EXPECT_EQ(newest_line(), "accept ");
    EXPECT_EQ(from_fics[27].ink, 1);
    EXPECT_EQ(from_fics[27].paper, 12);
    EXPECT_EQ(screen.text(30, 532, 7), "fics%  ") << "bar restored";
    EXPECT_EQ(screen.pixel(28, 530), 8);
    EXPECT_EQ(screen.pixel(29, 531), 1) << "highlight erased";

    close(icsFd);
    icsFd = 0;
    remote.tap(kKeyYellow);
    remote.tap(kKeyOk);
    pass();
    EXPECT_EQ(newest_line(), "accept ") << "no echo while unconnected";
}

TEST_F(MainLoop, TypedWordIsSentWithItsLineEnd)
{
    connect();
    remote.tap(kKeyBlue);
    for (int key : {4, 4, 1, 1}) // H, then a space from key 1's second press
        remote.tap(key);
    remote.tap(kKeyOk);
    pass();
    EXPECT_EQ(server_received(), "H \r\n");
    EXPECT_EQ(newest_line(), "H ");
}

TEST_F(MainLoop, LeavingFromInsideADialogStillSendsWhatItReturned)
{
    struct Row {
        std::vector<int> keys; // ending with EXIT inside the dialog
        const char* sent;
    };
    const Row rows[] = {
        {{kKeyYellow, kKeyDown, gx9::kCodeExit}, "accept \r\n"},
        {{kKeyBlue, 4, 4, 1, 1, gx9::kCodeExit}, "H \r\n"},
    };
    for (const Row& row : rows) {
        connect();
        doexit = 0;
        for (int key : row.keys)
            remote.tap(key);
        EXPECT_FALSE(pass());
        EXPECT_EQ(doexit, 3);
        EXPECT_EQ(server_received(), row.sent);
        close(server_fd);
        server_fd = -1;
        close(icsFd);
        icsFd = 0;
    }
}

TEST_F(MainLoop, PickerOverTheFullTelnetWindowLeavesTheWindowOnScreen)
{
    for (int i = 0; i < 28; ++i)
        add_to_telnet(("line " + std::to_string(i)).c_str(), 5, 1);
    remote.tap(kKeyRed);
    pass();
    remote.tap(kKeyYellow);
    remote.tap(kKeyOk);
    pass();
    EXPECT_EQ(whats_showed, kFullTelnet);
    EXPECT_EQ(screen.text(30, 25, 6, 9), "line 0");
    EXPECT_EQ(screen.text(30, 25 + 18 * 27, 7, 9), "line 27");
    EXPECT_EQ(screen.text(30, 532, 7), "fics%  ");
}

TEST_F(MainLoop, ServerClosingTheConnectionIsReportedAndTheLoopGoesOn)
{
    connect();
    ASSERT_EQ(write(server_fd, "hello\n\r", 7), 7);
    close(server_fd);
    server_fd = -1;
    EXPECT_TRUE(pass()); // reads the line
    EXPECT_TRUE(pass()); // finds the end of the stream
    EXPECT_EQ(newest_line(), "Disconnected from ICS !!!");
    EXPECT_EQ(std::string(from_fics[26].text, 5), "hello");
    EXPECT_EQ(icsFd, 0);
    EXPECT_TRUE(pass());
}

TEST_F(MainLoop, ServerInputIsReadOnADescriptorBeyondTheReachOfSelect)
{
    constexpr int kHighDescriptor = FD_SETSIZE + 100;
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_max <= rlim_t(kHighDescriptor))
        GTEST_SKIP() << "descriptor limit " << limit.rlim_max;
    if (limit.rlim_cur <= rlim_t(kHighDescriptor)) {
        limit.rlim_cur = kHighDescriptor + 1;
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
    }
    connect();
    const int high = fcntl(icsFd, F_DUPFD_CLOEXEC, kHighDescriptor);
    ASSERT_GE(high, kHighDescriptor);
    close(icsFd);
    icsFd = high;
    ASSERT_EQ(write(server_fd, "hello\n\r", 7), 7);
    pass();
    EXPECT_EQ(newest_line().substr(0, 5), "hello");
}

TEST_F(MainLoop, LiveTvPictureHidesWithTheFullTelnetWindowAndReturnsOnlyWithTheBoardView)
{
    // RED, HELP, HELP, HELP, RED, RED: modes 2, 1, 0, 1, 2, 0.
    for (int key : {kKeyRed, kKeyHelp, kKeyHelp, kKeyHelp, kKeyRed, kKeyRed}) {
        remote.tap(key);
        pass();
    }
    std::vector<std::string> picture;
    for (const std::string& e : shellfakes::host().events)
        if (e.find("Pig") != std::string::npos)
            picture.push_back(e);
    EXPECT_EQ(picture,
              (std::vector<std::string>{"StopPig", "StopPig", "ShowPig(470 281 225 168)"}));
    EXPECT_EQ(whats_showed, kBoardView);
}

TEST_F(MainLoop, ExitRequestEndsThePass)
{
    remote.tap(gx9::kCodeExit);
    EXPECT_FALSE(pass());
    EXPECT_EQ(doexit, 3);
}

TEST_F(MainLoop, SignalsAreRecordedByTheHandlerAndReportedAtTheNextPass)
{
    install_signal_handlers();
    raise(SIGINT);
    raise(SIGTERM);
    raise(SIGPIPE);
    EXPECT_NE(newest_line(), "Got SIGPIPE signal") << "the handler itself draws nothing";
    pass();
    EXPECT_EQ(std::string(from_fics[26].text), "Got SIGINT/SIGTERM signal");
    EXPECT_EQ(newest_line(), "Got SIGPIPE signal");
    EXPECT_EQ(from_fics[27].ink, 2);
    EXPECT_EQ(from_fics[27].paper, 3);
    restore_signal_handlers();
}

void host_handler(int) {}

TEST(SignalHandlers, ShutDownGivesTheHostItsDispositionsBack)
{
    struct sigaction host = {};
    host.sa_handler = host_handler;
    sigaction(SIGTERM, &host, nullptr);
    signal(SIGPIPE, SIG_IGN);
    install_signal_handlers();
    struct sigaction now = {};
    sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, TerminateProc);
    restore_signal_handlers();
    sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, host_handler);
    sigaction(SIGPIPE, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
    sigaction(SIGINT, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

} // namespace
