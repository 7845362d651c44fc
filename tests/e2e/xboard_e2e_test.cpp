// Debian's xboard, a desktop client, against ficsd: in ICS mode under Xvfb it logs in as a guest,
// observes a game two scripted guests play, and reads it. Every command of its start-up must get
// a real answer, and its debug log must show the move list and each move received and parsed.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "ficsd_harness.h"
#include "tests/e2e/harness.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

// xboard under xvfb-run in a process group of its own, with its ICS console on a pipe (its
// standard input), a logon script that logs in as a guest, and its debug log in a fresh folder.
class Xboard {
  public:
    explicit Xboard(int port)
    {
        char dir[] = "/tmp/vitrel-xboard-XXXXXX";
        dir_ = ::mkdtemp(dir);
        std::ofstream(dir_ / "logon") << "guest\n\n";
        const std::string home = "HOME=" + dir_.string();
        std::vector<std::string> args = {"xvfb-run",
                                         "-a",
                                         "/usr/games/xboard",
                                         "-ics",
                                         "-icshost",
                                         "127.0.0.1",
                                         "-icsport",
                                         std::to_string(port),
                                         "-icslogon",
                                         (dir_ / "logon").string(),
                                         "-debug",
                                         "-nameOfDebugFile",
                                         (dir_ / "debug").string()};
        std::vector<char*> argv, envp = {const_cast<char*>(home.c_str())};
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (char** e = environ; *e; ++e)
            if (std::string_view(*e).rfind("HOME=", 0) != 0)
                envp.push_back(*e);
        envp.push_back(nullptr);
        int console[2];
        EXPECT_EQ(::pipe2(console, O_CLOEXEC), 0);
        console_ = console[1];
        const std::string out = (dir_ / "output").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, console[0], STDIN_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
        EXPECT_EQ(::posix_spawnp(&pid_, argv[0], &actions, &attr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        ::close(console[0]);
    }
    ~Xboard()
    {
        // xvfb-run stops its X server when it ends; whatever is left of the group after that
        // is killed.
        ::close(console_);
        ::kill(-pid_, SIGTERM);
        e2e::wait_until(10s, [&] { return ::waitpid(pid_, nullptr, WNOHANG) == pid_; });
        if (!e2e::wait_until(5s, [&] { return ::kill(-pid_, 0) != 0; }))
            ::kill(-pid_, SIGKILL);
        std::filesystem::remove_all(dir_);
    }
    // A line typed into xboard's ICS console.
    void type(const std::string& line)
    {
        EXPECT_GT(::write(console_, (line + "\n").data(), line.size() + 1), 0);
    }
    std::string debug() const { return e2e::read_file(dir_ / "debug"); }

  private:
    std::filesystem::path dir_;
    pid_t pid_ = -1;
    int console_ = -1;
};

} // namespace

TEST(Xboard, ObservesAGameOnFicsdAndReadsEveryMove)
{
    if (::access("/usr/games/xboard", X_OK) != 0 || ::access("/usr/bin/xvfb-run", X_OK) != 0)
        GTEST_SKIP() << "xboard or xvfb-run is not installed (scripts/deps.sh box)";
    e2e::FicsdProcess server({"--no-computer"});
    ASSERT_GT(server.port(), 0) << server.output();
    ficsd_test::Client white(server.port()), black(server.port());
    white.login_guest();
    const std::string black_name = black.login_guest();
    white.ask("match " + black_name + " 5 0 white");
    black.read_until("fics% ");
    black.ask("accept");
    white.read_until("fics% ");
    int ply = 0;
    auto move = [&](const std::string& text) {
        EXPECT_NE((ply % 2 ? black : white).ask(text).find("<12> "), std::string::npos) << text;
        (++ply % 2 ? black : white).read_until("fics% ");
    };
    move("e4");
    move("e5");

    Xboard xboard(server.port());
    const auto debug = [&] { return "xboard's debug log:\n" + xboard.debug(); };
    const auto shows = [&](const std::string& text) {
        return e2e::wait_until(60s, [&] { return xboard.debug().find(text) != std::string::npos; });
    };
    ASSERT_TRUE(server.wait_for_received("$style 12")) << server.received() << debug();
    xboard.type("observe 1");
    // On the board of a game it does not know, xboard asks for the moves so far.
    ASSERT_TRUE(server.wait_for_received("$moves 1")) << server.received() << debug();
    ASSERT_TRUE(shows("{Still in progress} *")) << debug();
    EXPECT_TRUE(shows("  1.  e4      (0:00.000)   e5      (0:00.")) << debug();
    for (const std::string m : {"Nf3", "Nc6", "Bc4", "Bc5", "O-O"}) {
        move(m);
        EXPECT_TRUE(shows("Move parsed to '" + m + " (")) << m << "\n" << debug();
    }
    // The whole start-up reached ficsd, and nothing xboard sent was an unknown command.
    for (const char* line : {"$set interface xboard", "$iset ms 1", "$iset lock 1"})
        EXPECT_NE(server.received().find(line), std::string::npos) << server.received();
    EXPECT_EQ(xboard.debug().find("Command not found"), std::string::npos) << debug();
}
