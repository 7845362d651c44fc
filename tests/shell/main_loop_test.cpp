// The main loop's passes: the repeat lock, the dispatch by screen mode, the dialogs' results sent
// and echoed only while connected, disconnection, and signals reported at safe points; the
// command bar, the help screen and the configuration reader.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/select.h>

#include <csignal>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialogs/command_table.h"
#include "host/gx9.h"
#include "lcd/device.h"
#include "shell/command_bar.h"
#include "shell/config.h"
#include "shell/exit_on.h"
#include "shell/help_screen.h"
#include "shell/main_loop.h"
#include "shell/move_state.h"
#include "shell/screen_mode.h"
#include "shell/signals.h"
#include "tests/ics/server_end.h"
#include "tests/support/test_screen.h"

namespace {

using testutil::shown;
using testutil::Shown;

class MainLoop : public ::testing::Test {
  protected:
    void SetUp() override
    {
        memcpy(zeforboard, kStartPosition, sizeof kStartPosition);
        init();
        blank_telnet_startup_lines();
        exit_on_pause_usec = tv_tv_usec = 0;
        lcd_fd = -1;
        whats_showed = kBoardView;
        ics_buffer[0] = 0;
    }
    // One pass after the keys are queued: the key it dispatches and those its dialog takes.
    bool pass(std::initializer_list<int> keys = {})
    {
        for (int key : keys)
            remote.tap(key);
        return main_loop_pass(ics_buffer, sizeof ics_buffer, lcd_frame, false);
    }
    void start_game() { WeAreNotPlaying = 0, moving_enabled = 1; }
    testsupport::TestScreen screen;
    testsupport::TestRemote remote;
    char ics_buffer[16384];
    unsigned char lcd_frame[kLcdFrameBytes] = {};
};

TEST_F(MainLoop, AKeyStillHeldAtThePollIsIgnoredUntilAPollFindsNoKeyButOkIsNeverLocked)
{
    testutil::ServerEnd server;
    start_game();
    pass({kKeyRight});
    server.send("hello\n\r");
    remote.press(kKeyRight); // pressed again and still held at the next poll
    pass();
    EXPECT_EQ(cursorx, 5) << "locked";
    EXPECT_NE(std::get<0>(shown(0)), "hello\r\n") << "a locked pass reads no server input";
    remote.release(kKeyRight);
    pass(); // waits for the release; the poll finds no key and clears the lock
    EXPECT_EQ(std::get<0>(shown(0)), "hello\r\n");
    pass({kKeyRight});
    EXPECT_EQ(cursorx, 6);
    pass({kKeyOk});
    EXPECT_EQ(selection_phase, 2) << "f2 selected";
    remote.press(kKeyOk); // a second quick OK, still held at the poll, counts
    pass();
    EXPECT_EQ(selection_phase, 1) << "OK on the selected piece cancels the selection";
    remote.press(kKeyRight);
    remote.restart(); // the host asks to start over while a key is held: the pass ends
    EXPECT_FALSE(pass());
    EXPECT_EQ(doexit, 1);
}

TEST_F(MainLoop, RedAndHelpMoveBetweenTheScreenModesAndOnlyTheBoardViewTakesCursorKeys)
{
    const std::string line = "a line long enough to reach past the help screen, right edge at x 463";
    for (int i = 0; i < 28; ++i)
        add_to_telnet(line.c_str(), 5, 1);
    start_game();
    gx9_use_pig = 1;
    Gx9ShowPig(0, 0, 1, 1); // shown, as start-up leaves it
    const gx9::FbState& state = screen.file().state;
    // Columns: key, the mode after it, whether the live picture shows: it hides with the full
    // telnet window and returns only with the board view from there.
    const std::tuple<int, int, bool> steps[] = {
        {kKeyRed, kFullTelnet, false}, {kKeyHelp, kHelpScreen, false}, {kKeyHelp, kBoardView, false},
        {kKeyHelp, kHelpScreen, false}, {kKeyRed, kFullTelnet, false},  {kKeyRed, kBoardView, true}};
    const int row15 = 25 + 18 * 15; // right of the board, under the clock panel
    for (const auto& [key, mode, picture] : steps) {
        pass({key});
        EXPECT_EQ(whats_showed, mode) << "after key " << key;
        EXPECT_EQ(state.pig_shown, uint32_t(picture)) << "after key " << key;
        if (mode != kBoardView) {
            pass({kKeyRight});
            pass({kKeyOk});
            EXPECT_EQ(cursorx * 10 + selection_phase, 41) << "no cursor key outside the board";
        }
        if (key == kKeyHelp) { // help over the telnet window, and back: its right part stays
            EXPECT_EQ(screen.text(30 + 9 * 50, row15, 10, 9), line.substr(50, 10));
        }
    }
    EXPECT_EQ(screen.pixel(60, 45), 6) << "square (1, 8) is light";
    EXPECT_EQ(std::vector<int>({state.pig_x, state.pig_y, state.pig_w, state.pig_h}),
              std::vector<int>({470, 281, 225, 168}));
}

TEST_F(MainLoop, PickedCommandsAndTypedWordsAreSentAndEchoedOnlyWhileConnected)
{
    testutil::ServerEnd server;
    pass({kKeyYellow, kKeyDown, kKeyOk});
    EXPECT_EQ(last_command, 1);
    pass({kKeyBlue, 4, 4, 1, 1, kKeyOk}); // H, then a space from key 1's second press
    EXPECT_EQ(server.received(), "accept \r\nH \r\n");
    EXPECT_EQ(shown(1), (Shown{"accept ", 1, 12}));
    EXPECT_EQ(shown(0), (Shown{"H ", 1, 12}));
    EXPECT_EQ(screen.text(30, 532, 7), "fics%  ") << "bar restored";
    EXPECT_TRUE(screen.pixel(28, 530) == 8 && screen.pixel(29, 531) == 1) << "highlight erased";

    // Leaving from inside a dialog still sends what it returned.
    EXPECT_FALSE(pass({kKeyYellow, kKeyDown, gx9::kCodeExit}));
    EXPECT_EQ(server.received(), "adjourn \r\n");

    doexit = 0;
    icsFd = 0;
    pass({kKeyYellow, kKeyOk});
    pass({kKeyBlue, 2, kKeyOk});
    EXPECT_EQ(shown(0), (Shown{"adjourn ", 1, 12})) << "no echo while unconnected";
}

TEST_F(MainLoop, AClosedConnectionIsReportedAndEndsTheGameOnTheScreen)
{
    testutil::ServerEnd server;
    start_game();
    server.send("hello\n\r");
    testutil::ServerEnd::hang_up(server.theirs);
    EXPECT_TRUE(pass()); // reads the line
    EXPECT_TRUE(pass()); // finds the end of the stream
    EXPECT_EQ(shown(1), (Shown{"hello\r\n", 5, 1}));
    EXPECT_EQ(shown(0), (Shown{"Disconnected from ICS !!!", 2, 3}));
    EXPECT_EQ(icsFd, 0);
    EXPECT_EQ(moving_enabled * 10 + WeAreNotPlaying, 1) << "the clocks stop, keys do nothing";
    EXPECT_TRUE(pass({kKeyRight}) && pass({kKeyOk}));
    EXPECT_EQ(cursorx * 10 + selection_phase, 41);
}

TEST_F(MainLoop, ServerInputIsReadOnADescriptorBeyondTheReachOfSelect)
{
    constexpr int kHigh = FD_SETSIZE + 100;
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_max <= rlim_t(kHigh))
        GTEST_SKIP() << "descriptor limit " << limit.rlim_max;
    limit.rlim_cur = std::max(limit.rlim_cur, rlim_t(kHigh + 1));
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
    testutil::ServerEnd server(false);
    icsFd = fcntl(server.ours, F_DUPFD_CLOEXEC, kHigh);
    server.send("hello\n\r");
    pass();
    EXPECT_EQ(std::get<0>(shown(0)), "hello\r\n");
    close(icsFd);
    icsFd = 0;
}

TEST_F(MainLoop, SignalsAreRecordedByTheHandlerReportedAtTheNextPassAndTheHostGetsItsOwnBack)
{
    install_signal_handlers();
    struct sigaction now = {};
    sigaction(SIGTERM, nullptr, &now);
    EXPECT_TRUE(now.sa_handler == TerminateProc && (now.sa_flags & SA_RESTART))
        << "the interrupted work goes on";
    const Shown before = shown(0);
    raise(SIGINT);
    raise(SIGTERM);
    raise(SIGPIPE);
    EXPECT_EQ(shown(0), before) << "the handler itself draws nothing";
    pass();
    EXPECT_EQ(shown(1), (Shown{"Got SIGINT/SIGTERM signal", 2, 3}));
    EXPECT_EQ(shown(0), (Shown{"Got SIGPIPE signal", 2, 3}));
    restore_signal_handlers();
    sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

TEST(CommandBar, HighlightIsADoubleWhiteOutlineThatRestoringErases)
{
    testsupport::TestScreen screen;
    for (void (*highlight)() : {highlight_command_bar_for_picker, highlight_command_bar_for_word}) {
        draw_command_bar();
        EXPECT_EQ(screen.pixel(28, 540), 8);
        highlight();
        for (int x : {28, 29, 691, 692})
            EXPECT_EQ(screen.pixel(x, 540), 2) << "x " << x;
        EXPECT_EQ(screen.text(30, 532, 7), "fics%  ");
        restore_command_bar();
        EXPECT_EQ(screen.pixel(28, 540) * 10 + screen.pixel(691, 540), 88);
        EXPECT_EQ(screen.pixel(29, 540) + screen.pixel(692, 540) + screen.pixel(100, 552), 3);
        EXPECT_EQ(screen.text(30, 532, 7), "fics%  ");
    }
}

// The rows at x 120 in pale yellow on black, the names of RED, YELLOW and BLUE again in black on
// their colours, the three headings, over the board area only (the rest keeps colour 7).
TEST(HelpScreen, CoversTheBoardAreaWithItsHeadingsAndRows)
{
    testsupport::TestScreen screen;
    screen.fill(7);
    draw_help_screen();
    EXPECT_TRUE(screen.matches_golden("help_screen"));
    EXPECT_EQ(screen.text(120, 430, 19), "EXIT   -> exit game");
    EXPECT_STREQ(ispisati, "EXIT   -> exit game") << "rows are printed from the scratch line";
}

TEST(ConfigFile, KeysAnywhereInATokenLaterKeysWinAndValuesAreCut)
{
    // Columns: the file, then host, port, handle and password after reading it.
    const std::tuple<std::string, std::string, int, std::string, std::string> cases[] = {
        {"icsHost=freechess.org\nicsPort=5000\nicsHandle=guest\nicsPasswd=secret\n",
         "freechess.org", 5000, "guest", "secret"},
        {"# c icsHost=first [s]\n  icsHost=second\ticsPort=1 icsPort=23\n", "second", 23, "", ""},
        {"xxicsHandle=bob icsHost=icsPort=77\n", "icsPort=77", 77, "bob", ""},
        {"icsHost= value-on-its-own icsPort=abc\n", "", 9, "", ""},
        {"icsPort=99999999999999 ", "old", 2147483647, "", ""},
        {"icsPort=-5x", "old", -5, "", ""},
        {"icshost=a ICSPORT=5 icsHost=b", "b", 9, "", ""},
        {"icsHost=" + std::string(60, 'h') + " icsHandle=" + std::string(30, 'a') +
             " icsPasswd=" + std::string(30, 'p'),
         std::string(39, 'h'), 9, std::string(19, 'a'), std::string(19, 'p')},
        // The rest of an overlong token is no token of its own.
        {"icsHandle=" + std::string(75, 'x') + "icsHost=sneaky icsPort=7", "old", 7,
         std::string(19, 'x'), ""},
    };
    for (const auto& [text, host, port, handle, passwd] : cases) {
        snprintf(icsHost, sizeof icsHost, "old");
        icsPort = 9;
        icsHandle[0] = icsPasswd[0] = 0;
        FILE* file = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
        read_config(file);
        fclose(file);
        EXPECT_EQ(std::string(icsHost) + "|" + std::to_string(icsPort) + "|" + icsHandle + "|" +
                      icsPasswd,
                  host + "|" + std::to_string(port) + "|" + handle + "|" + passwd)
            << text;
    }
    // The sample shipped in the box tarball: a guest on the free chess server (an empty password
    // is the server's "press return" step).
    FILE* file = fopen(VITREL_SOURCE_DIR "/packaging/vitrel3.cfg", "r");
    ASSERT_NE(file, nullptr) << "packaging/vitrel3.cfg is missing";
    read_config(file);
    fclose(file);
    EXPECT_EQ(std::string(icsHost) + "|" + std::to_string(icsPort) + "|" + icsHandle + "|" + icsPasswd,
              "freechess.org|5000|guest|");
}

} // namespace
