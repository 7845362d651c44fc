// The plugin's entry and its main routine in-process: parameter parsing, start-up failures that
// release what was set up, login over a loopback server, restart, shut-down and its order.
#include <climits>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "host/gx9.h"
#include "shell/exit_on.h"
#include "shell/plugin.h"
#include "shell/screen_mode.h"
#include "tests/shell/shell_host_fakes.h"
#include "tests/support/test_screen.h"

namespace {

using shellfakes::events_starting;
using shellfakes::events_text;
using shellfakes::host;
using testsupport::TestScreen;

// Remote-control events queued in a pipe before the plugin runs; the plugin polls them in order.
struct QueuedRemote {
    int read_fd = -1, write_fd = -1;
    QueuedRemote()
    {
        int ends[2];
        EXPECT_EQ(pipe2(ends, O_CLOEXEC), 0);
        read_fd = ends[0];
        write_fd = ends[1];
    }
    ~QueuedRemote()
    {
        close(read_fd);
        close(write_fd);
    }
    void event(gx9::EventType type, int code)
    {
        const gx9::RcEvent e{type, static_cast<uint8_t>(code)};
        EXPECT_EQ(write(write_fd, &e, sizeof e), ssize_t(sizeof e));
    }
    void tap(int code)
    {
        event(gx9::kEventPress, code);
        event(gx9::kEventRelease, code);
    }
    void restart() { event(gx9::kEventRestart, 0); }
};

// A loopback listener that never answers: connections wait in its backlog until read.
struct SilentServer {
    int fd = -1;
    int port = 0;
    SilentServer()
    {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), size), 0);
        EXPECT_EQ(listen(fd, 8), 0);
        EXPECT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size), 0);
        port = ntohs(address.sin_port);
    }
    ~SilentServer() { close(fd); }
    // Everything the next waiting connection sent until the plugin closed it.
    std::string next_connection_text()
    {
        const int connection = accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (connection < 0)
            return "(no connection)";
        std::string text;
        char buffer[256];
        ssize_t n;
        while ((n = read(connection, buffer, sizeof buffer)) > 0)
            text.append(buffer, size_t(n));
        if (n < 0)
            text += "(still open)";
        close(connection);
        return text;
    }
};

constexpr char kLogin[] = "\rguest\r\nsecret\r\nstyle 12\r\nset width 73\r\n";
constexpr unsigned char kFrameColor = 9; // board frame; the help screen never draws it

void host_handler(int) {}

using Handler = void (*)(int);

Handler disposition(int signal_number)
{
    struct sigaction now = {};
    sigaction(signal_number, nullptr, &now);
    return now.sa_handler;
}

class PluginRun : public ::testing::Test {
  protected:
    void SetUp() override
    {
        shellfakes::reset();
        exit_on_pause_usec = 0;
        tv_tv_usec = 0;
        actcode = realcode = kKeyNone;
        doexit = 0;
    }

    void serve_config()
    {
        host().watched_port = server.port;
        config = "icsHost=127.0.0.1 icsPort=" + std::to_string(server.port) +
                 "\nicsHandle=guest icsPasswd=secret\n";
        host().config_text = config.c_str();
    }

    int run() { return crafty_exec(screen.fd(), remote.read_fd); }

    TestScreen screen;
    QueuedRemote remote;
    SilentServer server;
    std::string config;
};

TEST_F(PluginRun, RestartLogsInAgainOnAFreshConnectionWithoutReadingTheFileAgain)
{
    serve_config();
    remote.restart();
    remote.tap(gx9::kCodeMute); // ends the poll that took the restart
    remote.tap(gx9::kCodeExit);
    EXPECT_EQ(run(), 0);

    EXPECT_EQ(server.next_connection_text(), kLogin);
    EXPECT_EQ(server.next_connection_text(), kLogin);
    EXPECT_EQ(events_starting("config open").size(), 1u);
    EXPECT_EQ(host().connected_at_connect, (std::vector<int>{0, 0}))
        << "the first connection is closed before the second opens: " << events_text();
    EXPECT_EQ(events_starting("ShowPig"),
              (std::vector<std::string>{"ShowPig(470 281 225 168)", "ShowPig(470 281 225 168)"}));
    EXPECT_GT(screen.count(40, 25, 424, 424, kFrameColor), 0) << "board drawn";
    EXPECT_EQ(screen.pixel(28, 530), 8) << "command bar outline";
    EXPECT_EQ(screen.text(30, 532, 7), "fics%  ");
}

TEST_F(PluginRun, ShutDownReleasesInOrderAndGivesTheHostItsSignalHandlersBack)
{
    struct sigaction host_action = {};
    host_action.sa_handler = host_handler;
    sigaction(SIGTERM, &host_action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    serve_config();
    remote.tap(gx9::kCodeExit);
    EXPECT_EQ(run(), 0);

    const std::vector<std::string>& events = host().events;
    ASSERT_GE(events.size(), 6u) << events_text();
    const std::vector<std::string> tail(events.end() - 6, events.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"StopPig", "close connection", "RcClose", "FBClose",
                                              "lcd 25", "lcd close"}))
        << events_text();
    EXPECT_EQ(server.next_connection_text(), kLogin) << "closed, not left open";
    EXPECT_EQ(host().lcd_fd, -1);
    EXPECT_EQ(disposition(SIGTERM), host_handler);
    EXPECT_EQ(disposition(SIGPIPE), SIG_IGN);
    EXPECT_EQ(disposition(SIGINT), SIG_DFL);
}

TEST_F(PluginRun, WithoutAConfigurationTheIntroReportsTheFailureAndHelpStillWorks)
{
    remote.tap(kKeyHelp);
    remote.tap(gx9::kCodeExit);
    EXPECT_EQ(run(), 0);

    EXPECT_EQ(events_starting("config open").size(), 1u);
    EXPECT_TRUE(events_starting("connect").empty()) << "an empty host name is never reached";
    // Right of the help screen the intro lines stay: "Please wait, connecting to" in grey and
    // "Failed to connect to server!" in pale yellow, both wider than the board.
    EXPECT_GT(screen.count(464, 280, 256, 48, 8), 0) << screen.dump(464, 280, 64, 48);
    EXPECT_GT(screen.count(464, 380, 256, 48, 4), 0) << screen.dump(464, 380, 64, 48);
    EXPECT_EQ(screen.count(40, 25, 424, 424, kFrameColor), 0) << "no board without a connection";
    EXPECT_EQ(screen.pixel(28, 530), 0) << "no command bar without a connection";
    EXPECT_EQ(whats_showed, kHelpScreen);
    EXPECT_EQ(screen.text(120, 220, 21), "HELP   -> this screen");
}

TEST_F(PluginRun, AnExitRequestLeftByTheHostFromAnEarlierRunDoesNotEndThisOne)
{
    doexit = 3;
    remote.tap(gx9::kCodeExit);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(events_starting("ShowPig").size(), 1u) << events_text();
    // The intro, unconnected, stays on screen: each text in its colour and band of rows.
    struct Band {
        int y, height;
        unsigned char color;
        bool drawn;
    };
    const Band bands[] = {
        {78, 62, 5, true},   // "KORVANIS"
        {142, 62, 5, true},  // "INTERNET CHESS  1.9"
        {204, 76, 5, false}, // nothing between the title and "Please wait, connecting to"
        {204, 76, 8, false}, {280, 48, 8, true}, // "Please wait, connecting to"
        {330, 48, 2, false},                     // the empty host name
        {380, 48, 4, true},                      // "Failed to connect to server!"
    };
    for (const Band& band : bands)
        EXPECT_EQ(screen.count(40, band.y, 424, band.height, band.color) > 0, band.drawn)
            << "colour " << int(band.color) << " at y " << band.y;
}

// ---- Parameters and start-up failures ----------------------------------------------------------

struct Parameter {
    const char* key;
    const char* value;
};

std::vector<PluginParameter> parameter_list(const std::vector<Parameter>& parameters)
{
    std::vector<PluginParameter> nodes(parameters.size());
    for (size_t i = 0; i < nodes.size(); ++i)
        nodes[i] = {parameters[i].key, parameters[i].value,
                    i + 1 < nodes.size() ? &nodes[i + 1] : nullptr};
    return nodes;
}

int exec_with(std::vector<PluginParameter>& nodes)
{
    return plugin_exec(nodes.empty() ? nullptr : nodes.data());
}

class PluginEntry : public ::testing::Test {
  protected:
    void SetUp() override { shellfakes::reset(); }
};

TEST_F(PluginEntry, DescriptorsAreReadAsAtoiReadsThemAndTheLaterNodeWins)
{
    struct Row {
        std::vector<Parameter> parameters;
        const char* framebuffer; // the events the two set-up calls log
        const char* remote;
    };
    const Row rows[] = {
        {{}, "FBInitialize(-1)", "RcInitialize(-1)"},
        {{{"fd_framebuffer", "  42"}, {"fd_rcinput", "+7x"}},
         "FBInitialize(42)",
         "RcInitialize(7)"},
        {{{"fd_framebuffer", "-3"}, {"fd_rcinput", "abc"}}, "FBInitialize(-3)", "RcInitialize(0)"},
        {{{"fd_framebuffer", "1"}, {"fd_rcinput", "5"}, {"fd_framebuffer", "2"}},
         "FBInitialize(2)",
         "RcInitialize(5)"},
        {{{"FD_RCINPUT", "5"}, {"fd_rcinput ", "6"}, {"no_pig", "1"}, {nullptr, "8"}},
         "FBInitialize(-1)",
         "RcInitialize(-1)"},
        {{{"fd_rcinput", "99999999999"}, {"fd_framebuffer", nullptr}},
         "FBInitialize(0)",
         "RcInitialize(2147483647)"},
    };
    for (const Row& row : rows) {
        shellfakes::reset();
        host().pretend_framebuffer = true;
        host().refuse_remote = true;
        std::vector<PluginParameter> nodes = parameter_list(row.parameters);
        EXPECT_EQ(exec_with(nodes), -1);
        EXPECT_EQ(events_starting("FBInitialize"), std::vector<std::string>{row.framebuffer});
        EXPECT_EQ(events_starting("RcInitialize"), std::vector<std::string>{row.remote});
    }
}

TEST_F(PluginEntry, NoPigClearsThePictureWindowFlagForAnyNonzeroNumber)
{
    struct Row {
        const char* value; // nullptr: no "no_pig" node
        int use_pig;
    };
    const Row rows[] = {{"1", 0},  {" 2", 0},  {"-1", 0}, {"0", 1},
                        {"+0", 1}, {"abc", 1}, {"", 1},   {nullptr, 7}};
    for (const Row& row : rows) {
        shellfakes::reset();
        host().refuse_framebuffer = true;
        gx9_use_pig = 7;
        std::vector<PluginParameter> nodes = parameter_list(
            row.value ? std::vector<Parameter>{{"no_pig", row.value}} : std::vector<Parameter>{});
        exec_with(nodes);
        EXPECT_EQ(gx9_use_pig, row.use_pig) << "no_pig=" << (row.value ? row.value : "(none)");
    }
}

TEST_F(PluginEntry, RefusedFramebufferReleasesTheLcdAndTheSignalHandlers)
{
    host().refuse_framebuffer = true;
    EXPECT_EQ(plugin_exec(nullptr), -1);
    EXPECT_EQ(host().events, (std::vector<std::string>{"lcd open", "lcd 25", "lcd 4117",
                                                       "FBInitialize(-1)", "lcd 25", "lcd close"}))
        << events_text();
    EXPECT_EQ(disposition(SIGINT), SIG_DFL);
    EXPECT_EQ(disposition(SIGTERM), SIG_DFL);
}

TEST_F(PluginEntry, RefusedRemoteReleasesTheFramebufferAndTheLcd)
{
    host().pretend_framebuffer = true;
    host().refuse_remote = true;
    EXPECT_EQ(plugin_exec(nullptr), -1);
    const std::vector<std::string>& events = host().events;
    ASSERT_GE(events.size(), 4u) << events_text();
    EXPECT_EQ(std::vector<std::string>(events.end() - 4, events.end()),
              (std::vector<std::string>{"RcInitialize(-1)", "FBClose", "lcd 25", "lcd close"}))
        << events_text();
    EXPECT_TRUE(events_starting("config open").empty() && events_starting("ShowPig").empty());
    EXPECT_EQ(disposition(SIGPIPE), SIG_DFL);
}

} // namespace
