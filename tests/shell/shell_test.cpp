// The shell in-process, on the box's own file system (LCD device and configuration file,
// sim/boxsim/box_fs.cpp): entry, start-up, restart, shut-down, the main loop, the command bar,
// the help screen and the configuration reader.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/stat.h>

#include <csignal>
#include <string>
#include <vector>

#include "dialogs/command_table.h"
#include "host/gx9.h"
#include "lcd/device.h"
#include "shell/command_bar.h"
#include "shell/config.h"
#include "shell/exit_on.h"
#include "shell/help_screen.h"
#include "shell/main_loop.h"
#include "shell/move_state.h"
#include "shell/plugin.h"
#include "shell/screen_mode.h"
#include "shell/signals.h"
#include "sim/boxsim/box_fs.h"
#include "tests/ics/server_end.h"
#include "tests/support/test_screen.h"

// The host library's two set-up calls, recorded; when told, a framebuffer is pretended (none is
// mapped) and the remote control refused.
std::string setup_calls;
bool pretend_framebuffer, refuse_remote;

extern "C" int FBInitialize(int width, int height, int depth, int fd)
{
    setup_calls += "FBInitialize(" + std::to_string(fd) + ")";
    static auto* real = reinterpret_cast<int (*)(int, int, int, int)>(dlsym(RTLD_NEXT, "FBInitialize"));
    return pretend_framebuffer ? 0 : real(width, height, depth, fd);
}

extern "C" int RcInitialize(int fd)
{
    setup_calls += "RcInitialize(" + std::to_string(fd) + ")";
    static auto* real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "RcInitialize"));
    return refuse_remote ? -1 : real(fd);
}

namespace {
using testutil::shown;
using testutil::Shown;

void host_handler(int) {}
void (*disposition(int signal_number))(int)
{
    struct sigaction now = {};
    sigaction(signal_number, nullptr, &now);
    return now.sa_handler;
}

class PluginRun : public ::testing::Test {
  protected:
    void SetUp() override
    {
        boxsim::reset_lcd();
        exit_on_pause_usec = tv_tv_usec = 0;
    }
    void TearDown() override
    {
        signal(SIGTERM, SIG_DFL), signal(SIGPIPE, SIG_DFL); // a test may play the host's own
    }
    int run() { return crafty_exec(screen.fd(), remote.read_fd()); }
    testsupport::TestScreen screen;
    testsupport::TestRemote remote;
    testutil::Listener server;
};

TEST_F(PluginRun, DefinesThePaletteLogsInAgainAtARestartAndShutsDown)
{
    for (int i = 0; i < gx9::kPaletteSize; ++i) // indices the plugin leaves alone keep these
        FBSetColor(i, 7, 7, 7);
    FBSetupColors();
    struct sigaction host_action = {};
    host_action.sa_handler = host_handler;
    sigaction(SIGTERM, &host_action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    boxsim::set_config("icsHost=127.0.0.1 icsPort=" + std::to_string(server.port) +
                       "\nicsHandle=guest icsPasswd=secret\n");
    remote.restart();
    remote.tap(gx9::kCodeMute); // ends the poll that took the restart
    remote.tap(gx9::kCodeExit);
    gx9_use_pig = 1;
    EXPECT_EQ(run(), 0);

    const auto rgb_of = [&](int index) {
        const uint8_t* rgb = screen.file().palette[index];
        return std::vector<int>(rgb, rgb + 3);
    };
    for (const auto& [index, red, green, blue] : testsupport::kPluginPalette)
        EXPECT_EQ(rgb_of(index), (std::vector<int>{red, green, blue})) << index;
    for (int index : {0, 11, 14})
        EXPECT_EQ(rgb_of(index), (std::vector<int>{7, 7, 7})) << index << " is never defined";
    const std::string login = "\rguest\r\nsecret\r\nstyle 12\r\nset width 73\r\n";
    EXPECT_EQ(server.next_connection_text(), login);
    EXPECT_EQ(server.next_connection_text(), login) << "each connection closed in its turn";
    boxsim::set_config(std::nullopt);
    EXPECT_GT(screen.count(40, 25, 424, 424, 9), 0) << "board frame";
    EXPECT_EQ(screen.text(30, 532, 7), "fics%  ") << "the command bar";
    // Shut down: picture window off, remote and framebuffer released, the LCD cleared and closed.
    const gx9::FbState& state = screen.file().state;
    EXPECT_EQ(std::vector<int>({int(state.pig_shown), state.pig_x, state.pig_y, state.pig_w, state.pig_h}),
              std::vector<int>({0, 470, 281, 225, 168}));
    actcode = kKeyNone;
    remote.tap(kKeyOk);
    RcGetActCode();
    FBFillRect(0, 0, 1, 1, 1);
    EXPECT_EQ(actcode * 1000 + screen.pixel(0, 0), kKeyNone * 1000) << "nothing is polled or drawn";
    const boxsim::LcdState lcd = boxsim::lcd_state();
    EXPECT_EQ(std::vector<int>({lcd.clears, lcd.mode_requests, lcd.open_descriptors}),
              std::vector<int>({2, 1, 0}));
    EXPECT_TRUE(disposition(SIGTERM) == host_handler && disposition(SIGPIPE) == SIG_IGN &&
                disposition(SIGINT) == SIG_DFL) << "the host's own dispositions are back";
}

TEST_F(PluginRun, WithoutAConfigurationTheIntroReportsTheFailureAndKeysStillWork)
{
    doexit = 3; // left by the host from an earlier run: it does not end this one
    remote.tap(kKeyHelp);
    remote.tap(gx9::kCodeExit);
    // Descriptor 0 is the host's: "no connection" (icsFd 0) must never close it.
    struct stat host_input = {}, after = {};
    if (fcntl(0, F_GETFD) == -1) {
        ASSERT_EQ(open("/dev/null", O_RDONLY), 0);
    }
    ASSERT_EQ(fstat(0, &host_input), 0);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fstat(0, &after), 0) << "descriptor 0 closed";
    EXPECT_EQ(after.st_ino, host_input.st_ino) << "descriptor 0 closed and reused";
    EXPECT_EQ(whats_showed, kHelpScreen);
    EXPECT_EQ(screen.text(120, 220, 21), "HELP   -> this screen");
    // Right of the help screen "Failed to connect to server!" stays, pale yellow on black.
    const int ink = screen.count(464, 380, 64, 48, 4);
    EXPECT_GT(ink, 0) << screen.dump(464, 380, 64, 48);
    EXPECT_EQ(ink + screen.count(464, 380, 64, 48, 1), 64 * 48) << screen.dump(464, 380, 64, 48);
    EXPECT_EQ(screen.count(40, 25, 424, 424, 9) + screen.pixel(28, 530), 0)
        << "no board and no command bar without a connection";
}

// A start-up that fails (here at the remote control) releases what it had set up: the LCD
// cleared again and closed, the signal handlers given back.
TEST(PluginEntry, ParametersAreReadAsAtoiReadsThemAndAFailedStartUpReleasesWhatItSetUp)
{
    // Columns: key and value pairs (nullptr: none), the descriptors FBInitialize and
    // RcInitialize get, gx9_use_pig after (7 when no "no_pig" was given).
    const std::tuple<std::vector<std::pair<const char*, const char*>>, int, int, int> cases[] = {
        {{}, -1, -1, 7},
        {{{"fd_framebuffer", "  42"}, {"fd_rcinput", "+7x"}, {"no_pig", "1"}}, 42, 7, 0},
        {{{"fd_framebuffer", "-3"}, {"fd_rcinput", "abc"}, {"no_pig", "0"}}, -3, 0, 1},
        {{{"fd_framebuffer", "1"}, {"fd_rcinput", "5"}, {"fd_framebuffer", "2"}}, 2, 5, 7},
        {{{"FD_RCINPUT", "5"}, {"fd_rcinput ", "6"}, {nullptr, "8"}, {"no_pig", "-1"}}, -1, -1, 0},
        {{{"fd_rcinput", "99999999999"}, {"fd_framebuffer", nullptr}}, 0, 2147483647, 7},
        {{{"no_pig", " 2"}}, -1, -1, 0}, {{{"no_pig", "+0"}}, -1, -1, 1},
        {{{"no_pig", "abc"}}, -1, -1, 1}, {{{"no_pig", ""}}, -1, -1, 1},
    };
    pretend_framebuffer = refuse_remote = true;
    for (const auto& [parameters, framebuffer, remote, use_pig] : cases) {
        setup_calls.clear();
        gx9_use_pig = 7;
        boxsim::reset_lcd();
        std::vector<PluginParameter> nodes;
        for (const auto& [key, value] : parameters)
            nodes.push_back({key, value, nullptr});
        for (size_t i = 0; i + 1 < nodes.size(); ++i)
            nodes[i].next = &nodes[i + 1];
        EXPECT_EQ(plugin_exec(nodes.empty() ? nullptr : nodes.data()), -1);
        EXPECT_EQ(setup_calls + std::to_string(gx9_use_pig),
                  "FBInitialize(" + std::to_string(framebuffer) + ")RcInitialize(" +
                      std::to_string(remote) + ")" + std::to_string(use_pig));
        const boxsim::LcdState lcd = boxsim::lcd_state();
        EXPECT_EQ(std::vector<int>({lcd.clears, lcd.mode_requests, lcd.open_descriptors}),
                  std::vector<int>({2, 1, 0}));
        EXPECT_TRUE(disposition(SIGINT) == SIG_DFL && disposition(SIGPIPE) == SIG_DFL);
    }
    EXPECT_EQ((pretend_framebuffer = false, plugin_exec(nullptr)), -1) << "no framebuffer at -1";
    pretend_framebuffer = refuse_remote = false;
}

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
        cursorx = 4, cursory = 2, selection_phase = 1; // as the plugin starts
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
    EXPECT_EQ(std::vector<int>({state.pig_x, state.pig_y, state.pig_w, state.pig_h}),
              std::vector<int>({470, 281, 225, 168}));
    EXPECT_EQ(screen.pixel(35, 100), 1) << "the window's area cleared black, left of the board";
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

    // Leaving from inside a dialog still sends what it returned.
    EXPECT_FALSE(pass({kKeyYellow, kKeyDown, gx9::kCodeExit}));
    EXPECT_EQ(server.received(), "adjourn \r\n");
    doexit = 0;
    icsFd = 0;
    pass({kKeyYellow, kKeyOk});
    pass({kKeyBlue, 2, kKeyOk});
    EXPECT_EQ(shown(0), (Shown{"adjourn ", 1, 12})) << "no echo while unconnected";
}

// The server's end is read on a descriptor beyond select's reach (when the limits allow it):
// the loop waits with poll. Its close is reported and ends the game on the screen too.
TEST_F(MainLoop, AClosedConnectionIsReportedAndEndsTheGameOnTheScreen)
{
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = std::min(limit.rlim_max, std::max(limit.rlim_cur, rlim_t(FD_SETSIZE + 101)));
    setrlimit(RLIMIT_NOFILE, &limit);
    testutil::ServerEnd server(false);
    icsFd = std::max(server.ours, fcntl(server.ours, F_DUPFD_CLOEXEC, FD_SETSIZE + 100));
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
        highlight();
        EXPECT_EQ(std::vector<int>({screen.pixel(28, 540), screen.pixel(29, 540), screen.pixel(691, 540),
                                    screen.pixel(692, 540), screen.pixel(100, 552)}),
                  std::vector<int>({2, 2, 2, 2, 2}));
        restore_command_bar();
        EXPECT_EQ(std::vector<int>({screen.pixel(28, 540), screen.pixel(29, 540), screen.pixel(691, 540),
                                    screen.pixel(692, 540), screen.pixel(100, 552)}),
                  std::vector<int>({8, 1, 8, 1, 1}));
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
}

} // namespace
