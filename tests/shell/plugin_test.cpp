// The plugin's entry and main routine in-process: the parameters, start-up failures that release
// what was set up, the palette, login over a loopback server, restart and shut-down.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/gx9.h"
#include "shell/exit_on.h"
#include "shell/plugin.h"
#include "shell/screen_mode.h"
#include "tests/shell/host_fake.h"
#include "tests/support/test_screen.h"

namespace {

using hostfake::events;
using hostfake::events_text;
using hostfake::host;
using Events = std::vector<std::string>;

// Remote-control events queued in a pipe before the plugin runs; the plugin polls them in order.
struct QueuedRemote {
    int ends[2];
    QueuedRemote() { EXPECT_EQ(pipe2(ends, O_CLOEXEC), 0); }
    ~QueuedRemote() { close(ends[0]), close(ends[1]); }
    void event(gx9::EventType type, int code)
    {
        const gx9::RcEvent e{type, uint8_t(code)};
        EXPECT_EQ(write(ends[1], &e, sizeof e), ssize_t(sizeof e));
    }
    void tap(int code) { event(gx9::kEventPress, code), event(gx9::kEventRelease, code); }
};

// A loopback listener that never answers: connections wait in its backlog until read.
struct SilentServer {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0), port = 0;
    SilentServer()
    {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t size = sizeof address;
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), size) + listen(fd, 8), 0);
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
    }
    ~SilentServer() { close(fd); }
    // Everything the next waiting connection sent until the plugin closed it.
    std::string next_connection_text()
    {
        const int connection = accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        std::string text = connection < 0 ? "(no connection)" : "";
        char buffer[256];
        ssize_t n;
        while (connection >= 0 && (n = read(connection, buffer, sizeof buffer)) > 0)
            text.append(buffer, size_t(n));
        if (connection >= 0 && n < 0)
            text += "(still open)";
        close(connection);
        return text;
    }
};

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
        hostfake::reset();
        exit_on_pause_usec = 0;
        tv_tv_usec = 0;
        actcode = realcode = kKeyNone;
        doexit = 0;
    }
    void serve_config()
    {
        config = "icsHost=127.0.0.1 icsPort=" + std::to_string(server.port) +
                 "\nicsHandle=guest icsPasswd=secret\n";
        host().config_text = config.c_str();
    }
    int run() { return crafty_exec(screen.fd(), remote.ends[0]); }
    testsupport::TestScreen screen;
    QueuedRemote remote;
    SilentServer server;
    std::string config;
};

constexpr char kLogin[] = "\rguest\r\nsecret\r\nstyle 12\r\nset width 73\r\n";

TEST_F(PluginRun, DefinesThePaletteLogsInAgainAtARestartAndShutsDownInOrder)
{
    for (int i = 0; i < gx9::kPaletteSize; ++i) // indices the plugin leaves alone keep these
        FBSetColor(i, 7, 7, 7);
    FBSetupColors();
    struct sigaction host_action = {};
    host_action.sa_handler = host_handler;
    sigaction(SIGTERM, &host_action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    serve_config();
    remote.event(gx9::kEventRestart, 0);
    remote.tap(gx9::kCodeMute); // ends the poll that took the restart
    remote.tap(gx9::kCodeExit);
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
    EXPECT_EQ(server.next_connection_text(), kLogin);
    EXPECT_EQ(server.next_connection_text(), kLogin) << "closed, not left open";
    EXPECT_EQ(events("config open").size(), 1u) << "the file is read once";
    EXPECT_GT(screen.count(40, 25, 424, 424, 9), 0) << "board frame";
    EXPECT_EQ(screen.pixel(28, 530), 8) << "command bar outline";
    EXPECT_EQ(screen.text(30, 532, 7), "fics%  ");
    // Shut down: picture window off, remote and framebuffer released, the LCD cleared and closed.
    const gx9::FbState& state = screen.file().state;
    EXPECT_EQ(std::vector<int>({int(state.pig_shown), state.pig_x, state.pig_y, state.pig_w, state.pig_h}),
              std::vector<int>({0, 470, 281, 225, 168}));
    actcode = kKeyNone;
    remote.tap(kKeyOk);
    RcGetActCode();
    FBFillRect(0, 0, 1, 1, 1);
    EXPECT_EQ(actcode * 1000 + screen.pixel(0, 0), kKeyNone * 1000) << "nothing is polled or drawn";
    const Events& all = host().events;
    EXPECT_EQ(Events(all.end() - 2, all.end()), (Events{"lcd 25", "lcd close"})) << events_text();
    EXPECT_EQ(disposition(SIGTERM), host_handler);
    EXPECT_EQ(disposition(SIGPIPE), SIG_IGN);
    EXPECT_EQ(disposition(SIGINT), SIG_DFL);
}

TEST_F(PluginRun, WithoutAConfigurationTheIntroReportsTheFailureAndKeysStillWork)
{
    doexit = 3; // left by the host from an earlier run: it does not end this one
    remote.tap(kKeyHelp);
    remote.tap(gx9::kCodeExit);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(events("config open").size(), 1u);
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

// ---- Parameters and start-up failures ----------------------------------------------------------

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
    for (const auto& [parameters, framebuffer, remote, use_pig] : cases) {
        hostfake::reset();
        host().pretend_framebuffer = host().refuse_remote = true;
        gx9_use_pig = 7;
        std::vector<PluginParameter> nodes;
        for (const auto& [key, value] : parameters)
            nodes.push_back({key, value, nullptr});
        for (size_t i = 0; i + 1 < nodes.size(); ++i)
            nodes[i].next = &nodes[i + 1];
        EXPECT_EQ(plugin_exec(nodes.empty() ? nullptr : nodes.data()), -1);
        EXPECT_EQ(events("FBInitialize")[0] + events("RcInitialize")[0],
                  "FBInitialize(" + std::to_string(framebuffer) + ")RcInitialize(" +
                      std::to_string(remote) + ")");
        EXPECT_EQ(gx9_use_pig, use_pig) << events_text();
    }
}

TEST(PluginEntry, AStartUpFailureReleasesWhatWasSetUp)
{
    hostfake::reset();
    host().refuse_framebuffer = true;
    EXPECT_EQ(plugin_exec(nullptr), -1);
    EXPECT_EQ(host().events,
              (Events{"lcd open", "lcd 25", "lcd 4117", "FBInitialize(-1)", "lcd 25", "lcd close"}));
    EXPECT_EQ(disposition(SIGINT), SIG_DFL);
    EXPECT_EQ(disposition(SIGTERM), SIG_DFL);

    hostfake::reset();
    host().refuse_remote = true;
    testsupport::TestScreen screen;
    const std::string fd = std::to_string(screen.fd());
    PluginParameter framebuffer{"fd_framebuffer", fd.c_str(), nullptr};
    EXPECT_EQ(plugin_exec(&framebuffer), -1);
    const Events& all = host().events;
    EXPECT_EQ(Events(all.end() - 3, all.end()), (Events{"RcInitialize(-1)", "lcd 25", "lcd close"}))
        << events_text();
    FBFillRect(0, 0, 1, 1, 1);
    EXPECT_EQ(screen.pixel(0, 0), 0) << "the framebuffer is released";
    EXPECT_TRUE(events("config open").empty());
    EXPECT_EQ(disposition(SIGPIPE), SIG_DFL);
}

} // namespace
