// The plugin's entry and main routine in-process, on the box's own file system (the LCD device
// and the configuration file, sim/boxsim/box_fs.cpp): the parameters, start-up failures that
// release what was set up, the palette, login over a loopback server, restart and shut-down.
#include <dlfcn.h>
#include <fcntl.h>

#include <csignal>
#include <string>
#include <vector>

#include "host/gx9.h"
#include "shell/exit_on.h"
#include "shell/plugin.h"
#include "shell/screen_mode.h"
#include "sim/boxsim/box_fs.h"
#include "tests/ics/server_end.h"
#include "tests/support/test_screen.h"

// The host library's two set-up calls, recorded and, when told, refused.
std::string setup_calls;
bool refuse_framebuffer, pretend_framebuffer, refuse_remote;

extern "C" int FBInitialize(int width, int height, int depth, int fd)
{
    setup_calls += "FBInitialize(" + std::to_string(fd) + ")";
    static auto* real = reinterpret_cast<int (*)(int, int, int, int)>(dlsym(RTLD_NEXT, "FBInitialize"));
    return refuse_framebuffer ? -1 : pretend_framebuffer ? 0 : real(width, height, depth, fd);
}

extern "C" int RcInitialize(int fd)
{
    setup_calls += "RcInitialize(" + std::to_string(fd) + ")";
    static auto* real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "RcInitialize"));
    return refuse_remote ? -1 : real(fd);
}

namespace {

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
        EXPECT_EQ(pipe2(remote, O_CLOEXEC), 0);
    }
    void TearDown() override { close(remote[0]), close(remote[1]); }
    void event(gx9::EventType type, int code = 0)
    {
        const gx9::RcEvent e{type, uint8_t(code)};
        EXPECT_EQ(write(remote[1], &e, sizeof e), ssize_t(sizeof e));
    }
    void tap(int code) { event(gx9::kEventPress, code), event(gx9::kEventRelease, code); }
    int run() { return crafty_exec(screen.fd(), remote[0]); }
    testsupport::TestScreen screen;
    testutil::Listener server;
    int remote[2];
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
    event(gx9::kEventRestart);
    tap(gx9::kCodeMute); // ends the poll that took the restart
    tap(gx9::kCodeExit);
    gx9_use_pig = 1;
    EXPECT_EQ(run(), 0);

    // Index, red, green, blue: the whole table, 0 and 11 never defined.
    const int palette[][4] = {{0, 7, 7, 7},       {1, 0, 0, 0},       {2, 255, 255, 255},
                              {3, 255, 0, 0},     {4, 255, 255, 140}, {5, 255, 255, 30},
                              {6, 156, 195, 189}, {7, 80, 80, 200},   {8, 130, 130, 130},
                              {9, 132, 130, 66},  {10, 33, 105, 115}, {11, 7, 7, 7},
                              {12, 0, 255, 0},    {13, 0, 0, 255},    {14, 7, 7, 7}};
    for (const auto& [index, red, green, blue] : palette) {
        const uint8_t* rgb = screen.file().palette[index];
        EXPECT_EQ(std::vector<int>(rgb, rgb + 3), (std::vector<int>{red, green, blue})) << index;
    }
    const std::string login = "\rguest\r\nsecret\r\nstyle 12\r\nset width 73\r\n";
    EXPECT_EQ(server.next_connection_text(), login);
    EXPECT_EQ(server.next_connection_text(), login) << "each connection closed in its turn";
    boxsim::set_config(std::nullopt);
    EXPECT_GT(screen.count(40, 25, 424, 424, 9), 0) << "board frame";
    EXPECT_EQ(screen.pixel(28, 530) * 1000 + screen.pixel(29, 531), 8000) << "command bar outline";
    EXPECT_EQ(screen.text(30, 532, 7), "fics%  ");
    // Shut down: picture window off, remote and framebuffer released, the LCD cleared and closed.
    const gx9::FbState& state = screen.file().state;
    EXPECT_EQ(std::vector<int>({int(state.pig_shown), state.pig_x, state.pig_y, state.pig_w, state.pig_h}),
              std::vector<int>({0, 470, 281, 225, 168}));
    actcode = kKeyNone;
    tap(kKeyOk);
    RcGetActCode();
    FBFillRect(0, 0, 1, 1, 1);
    EXPECT_EQ(actcode * 1000 + screen.pixel(0, 0), kKeyNone * 1000) << "nothing is polled or drawn";
    const boxsim::LcdState lcd = boxsim::lcd_state();
    EXPECT_EQ(std::vector<int>({lcd.clears, lcd.mode_requests, lcd.open_descriptors}),
              std::vector<int>({2, 1, 0}));
    EXPECT_GT(lcd.frames, 0);
    EXPECT_EQ(disposition(SIGTERM), host_handler);
    EXPECT_EQ(disposition(SIGPIPE), SIG_IGN);
    EXPECT_EQ(disposition(SIGINT), SIG_DFL);
}

TEST_F(PluginRun, WithoutAConfigurationTheIntroReportsTheFailureAndKeysStillWork)
{
    doexit = 3; // left by the host from an earlier run: it does not end this one
    tap(kKeyHelp);
    tap(gx9::kCodeExit);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(whats_showed, kHelpScreen);
    EXPECT_EQ(screen.text(120, 220, 21), "HELP   -> this screen");
    // Right of the help screen the intro stays: the title in yellow, "Please wait, connecting
    // to" in grey, "Failed to connect to server!" in pale yellow, all wider than the board.
    for (auto [y, color] : {std::pair{142, 5}, {280, 8}, {380, 4}})
        EXPECT_GT(screen.count(464, y, 256, 48, uint8_t(color)), 0) << screen.dump(464, y, 64, 48);
    EXPECT_EQ(screen.count(464, 330, 256, 48, 2), 0) << "the empty host name";
    EXPECT_EQ(screen.count(40, 25, 424, 424, 9) + screen.pixel(28, 530), 0)
        << "no board and no command bar without a connection";
}

TEST(PluginEntry, ParametersAreReadAsAtoiReadsThemAndTheLaterNodeWins)
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
        std::vector<PluginParameter> nodes;
        for (const auto& [key, value] : parameters)
            nodes.push_back({key, value, nullptr});
        for (size_t i = 0; i + 1 < nodes.size(); ++i)
            nodes[i].next = &nodes[i + 1];
        EXPECT_EQ(plugin_exec(nodes.empty() ? nullptr : nodes.data()), -1);
        EXPECT_EQ(setup_calls + std::to_string(gx9_use_pig),
                  "FBInitialize(" + std::to_string(framebuffer) + ")RcInitialize(" +
                      std::to_string(remote) + ")" + std::to_string(use_pig));
    }
    pretend_framebuffer = refuse_remote = false;
}

TEST(PluginEntry, AStartUpFailureReleasesWhatWasSetUp)
{
    boxsim::reset_lcd();
    refuse_framebuffer = true;
    setup_calls.clear();
    EXPECT_EQ(plugin_exec(nullptr), -1);
    boxsim::LcdState lcd = boxsim::lcd_state();
    EXPECT_EQ(std::vector<int>({lcd.clears, lcd.mode_requests, lcd.open_descriptors}),
              std::vector<int>({2, 1, 0})) << "the LCD cleared again and closed";
    EXPECT_EQ(setup_calls, "FBInitialize(-1)");
    EXPECT_TRUE(disposition(SIGINT) == SIG_DFL && disposition(SIGTERM) == SIG_DFL);

    refuse_framebuffer = false, refuse_remote = true;
    testsupport::TestScreen screen;
    const std::string fd = std::to_string(screen.fd());
    PluginParameter framebuffer{"fd_framebuffer", fd.c_str(), nullptr};
    EXPECT_EQ(plugin_exec(&framebuffer), -1);
    FBFillRect(0, 0, 1, 1, 1);
    EXPECT_EQ(screen.pixel(0, 0), 0) << "the framebuffer is released";
    EXPECT_EQ(boxsim::lcd_state().open_descriptors, 0);
    EXPECT_EQ(disposition(SIGPIPE), SIG_DFL);
    refuse_remote = false;
}

} // namespace
