// Whole runs of boxsim --headless with the fixture plugin: what the shots show, what the plugin
// received (configuration, keys, restart, no_pig), and the exit statuses of each ending.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "sim/screentext/core/png_io.h"
#include "sim/screentext/core/text_reader.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct BoxResult {
    int status = -1;
    std::string errors; // boxsim's stderr
    fs::path dir;       // its shot directory
    Clock::duration took{};
};

fs::path shot_dir()
{
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    const fs::path dir =
        fs::path(testing::TempDir()) / (std::string("boxsim_") + info->test_suite_name() + "_" +
                                        info->name() + "_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

class BoxProcess {
  public:
    // Starts boxsim headless with the fixture plugin, shots into `dir`, a safety timeout.
    BoxProcess(const fs::path& dir, std::vector<std::string> args) : dir_(dir)
    {
        std::vector<std::string> all{BOXSIM_EXE,         "--headless", "--plugin",
                                     BOXSIM_TEST_PLUGIN, "--shot-dir", dir.string()};
        if (std::find(args.begin(), args.end(), "--timeout") == args.end())
            args.insert(args.end(), {"--timeout", "60"});
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, (dir / "stderr.txt").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        started_ = Clock::now();
        const int error = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0)
            ADD_FAILURE() << "posix_spawn " << argv[0] << ": " << std::strerror(error);
    }
    ~BoxProcess()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    pid_t pid() const { return pid_; }

    // Waits for boxsim to end (at most `limit`, then kills it and fails).
    BoxResult finish(Clock::duration limit = 90s)
    {
        BoxResult run;
        run.dir = dir_;
        int status = 0;
        while (true) {
            const pid_t done = waitpid(pid_, &status, WNOHANG);
            if (done == pid_)
                break;
            if (Clock::now() - started_ > limit) {
                ADD_FAILURE() << "boxsim did not end in time";
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(10ms);
        }
        pid_ = -1;
        run.took = Clock::now() - started_;
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::ifstream in(dir_ / "stderr.txt");
        std::stringstream text;
        text << in.rdbuf();
        run.errors = text.str();
        return run;
    }

  private:
    fs::path dir_;
    pid_t pid_ = -1;
    Clock::time_point started_;
};

BoxResult run_box(std::vector<std::string> args)
{
    return BoxProcess(shot_dir(), std::move(args)).finish();
}

struct Shot {
    screentext::IndexedImage tv;
    screentext::BitImage lcd;
    bool ok = false;

    std::string text(int x, int y, int length) const
    {
        return screentext::read_text(tv.pixels.data(), tv.width, tv.height, x, y, length, 10);
    }
    int pixel(int x, int y) const { return tv.pixels[static_cast<size_t>(y * tv.width + x)]; }
    bool lit(int x, int y) const { return lcd.pixels[static_cast<size_t>(y * lcd.width + x)]; }
    int lit_count() const
    {
        int n = 0;
        for (const uint8_t p : lcd.pixels)
            n += p != 0;
        return n;
    }
};

Shot read_shot(const BoxResult& run, const std::string& name)
{
    Shot shot;
    const std::string tv_error =
        screentext::read_indexed_png((run.dir / (name + ".png")).string(), shot.tv);
    const std::string lcd_error =
        screentext::read_bit_png((run.dir / (name + "-lcd.png")).string(), shot.lcd);
    EXPECT_EQ(tv_error, "");
    EXPECT_EQ(lcd_error, "");
    shot.ok = tv_error.empty() && lcd_error.empty() && shot.tv.width == 720 &&
              shot.tv.height == 576 && shot.lcd.width == 120 && shot.lcd.height == 64;
    return shot;
}

TEST(BoxRun, ShotShowsThePluginsPixelsAndServedConfiguration)
{
    const bool box_dirs_before = fs::exists("/var/mirlon") || fs::exists("/dev/omra");
    const BoxResult run =
        run_box({"--server", "example.org:5000", "--handle", "alice", "--password", "s3cret", "-e",
                 "expect 20 20 \"ready\"; shot drawn"});
    EXPECT_EQ(run.status, 0) << run.errors;
    const Shot shot = read_shot(run, "drawn");
    ASSERT_TRUE(shot.ok);
    EXPECT_EQ(shot.text(20, 200, 16), "host example.org");
    EXPECT_EQ(shot.text(20, 220, 9), "port 5000");
    EXPECT_EQ(shot.text(20, 240, 12), "handle alice");
    EXPECT_EQ(shot.text(20, 260, 13), "passwd s3cret");
    EXPECT_EQ(shot.text(20, 280, 8), "no_pig 0");
    EXPECT_EQ(shot.text(20, 380, 14), "passthrough ok");
    // The blue box inside its white outline, exactly where the plugin drew them; the live
    // picture's window is not painted into shots.
    EXPECT_EQ(shot.pixel(100, 100), 13);
    EXPECT_EQ(shot.pixel(149, 139), 13);
    EXPECT_EQ(shot.pixel(150, 139), 1);
    EXPECT_EQ(shot.pixel(98, 98), 2);
    EXPECT_EQ(shot.pixel(151, 141), 2);
    EXPECT_EQ(shot.pixel(500, 300), 1);
    EXPECT_EQ(shot.tv.palette[13], (std::array<uint8_t, 3>{0, 0, 255}));
    EXPECT_TRUE(fs::exists(run.dir / "final.png"));
    EXPECT_EQ(fs::exists("/var/mirlon") || fs::exists("/dev/omra"), box_dirs_before);
}

TEST(BoxRun, ConfigurationFileIsServedAsItIsOrNotAtAll)
{
    const fs::path cfg = fs::path(testing::TempDir()) / "boxsim_run.cfg";
    std::ofstream(cfg) << "junk icsHost=chess.local\n\ticsPort=23 xicsHandle=bob icsPasswd=\n";
    BoxResult run = run_box({"--config", cfg.string(), "-e", "expect 20 20 \"ready\"; shot cfg"});
    EXPECT_EQ(run.status, 0) << run.errors;
    Shot shot = read_shot(run, "cfg");
    ASSERT_TRUE(shot.ok);
    EXPECT_EQ(shot.text(20, 200, 16), "host chess.local");
    EXPECT_EQ(shot.text(20, 220, 7), "port 23");
    EXPECT_EQ(shot.text(20, 240, 10), "handle bob");
    EXPECT_EQ(shot.text(20, 260, 7), "passwd ");

    run = run_box({"--no-pig", "-e", "expect 20 20 \"ready\"; shot none"});
    EXPECT_EQ(run.status, 0) << run.errors;
    shot = read_shot(run, "none");
    ASSERT_TRUE(shot.ok);
    EXPECT_EQ(shot.text(20, 200, 9), "no config");
    EXPECT_EQ(shot.text(20, 280, 8), "no_pig 1");
}

TEST(BoxRun, KeysReachThePluginAndItsLcdFramesReachTheShot)
{
    const BoxResult run = run_box({"-e", "expect 20 20 \"ready\"\n"
                                         "expect-lcd 0 0 on\n"
                                         "press 5; expect 20 300 \"key 05\"\n"
                                         "type 1 2; press OK; hold LEFT 400ms\n"
                                         "expect 20 300 \"key 11\"; expect 20 320 \"keys 5\"\n"
                                         "expect-lcd 13 10 on; expect-pixel 100 100 13\n"
                                         "shot keys\n"
                                         "exit"});
    EXPECT_EQ(run.status, 0) << run.errors;
    const Shot shot = read_shot(run, "keys");
    ASSERT_TRUE(shot.ok);
    EXPECT_EQ(shot.text(20, 300, 6), "key 11");
    // The border of the panel and the pixel of the last key (LEFT, 11, at x 13) are lit.
    EXPECT_TRUE(shot.lit(0, 0));
    EXPECT_TRUE(shot.lit(119, 63));
    EXPECT_TRUE(shot.lit(60, 0));
    EXPECT_TRUE(shot.lit(13, 10));
    EXPECT_FALSE(shot.lit(12, 10));
    EXPECT_FALSE(shot.lit(60, 32));
    EXPECT_EQ(shot.lit_count(), 2 * 120 + 2 * 62 + 1);
    // The plugin cleared the panel (request 25) as it left.
    const Shot final_shot = read_shot(run, "final");
    ASSERT_TRUE(final_shot.ok);
    EXPECT_EQ(final_shot.lit_count(), 0);
}

TEST(BoxRun, RestartReachesThePluginAndItsResultIsTheExitStatus)
{
    const BoxResult run =
        run_box({"-e", "expect 20 20 \"ready\"; restart; expect 20 340 \"restarts 1\""});
    EXPECT_EQ(run.status, 7) << run.errors;
}

TEST(BoxRun, NegativeResultExitsWith255)
{
    const fs::path cfg = fs::path(testing::TempDir()) / "boxsim_negative.cfg";
    std::ofstream(cfg) << "exitCode=-1\n";
    const BoxResult run = run_box({"--config", cfg.string(), "-e", "expect 20 20 \"ready\""});
    EXPECT_EQ(run.status, 255) << run.errors;
}

TEST(BoxRun, WithoutScriptEndsByExitAfterTheDuration)
{
    const BoxResult run = run_box({"--duration", "0.5"});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_GE(run.took, 500ms);
    EXPECT_LT(run.took, 20s);
    const Shot shot = read_shot(run, "final");
    ASSERT_TRUE(shot.ok);
    EXPECT_EQ(shot.text(20, 20, 5), "ready");
}

TEST(BoxRun, FailedExpectShotsExitsWith90)
{
    const BoxResult run = run_box({"-e", "expect 20 20 \"ready\"; expect 20 20 \"never\" 300ms; "
                                         "shot unreached"});
    EXPECT_EQ(run.status, 90) << run.errors;
    EXPECT_NE(run.errors.find("line 1: expectation not met: the text at (20, 20) reads "
                              "\"ready\", not \"never\""),
              std::string::npos)
        << run.errors;
    const Shot shot = read_shot(run, "expect-failed");
    ASSERT_TRUE(shot.ok);
    EXPECT_EQ(shot.text(20, 20, 5), "ready");
    EXPECT_TRUE(fs::exists(run.dir / "final.png")) << "the plugin left on EXIT";
    EXPECT_FALSE(fs::exists(run.dir / "unreached.png"));
}

TEST(BoxRun, TimeoutPressesExitAndExitsWith124)
{
    const BoxResult run = run_box({"--timeout", "1", "-e", "expect 20 20 \"ready\"; wait 60s"});
    EXPECT_EQ(run.status, 124) << run.errors;
    EXPECT_LT(run.took, 15s);
    EXPECT_TRUE(fs::exists(run.dir / "timeout.png"));
    EXPECT_TRUE(fs::exists(run.dir / "final.png")) << "the plugin obeyed EXIT";
}

// Whether the box pressed EXIT for a timeout or at the end of the script, a plugin that ignores
// it is left running after the grace period, with status 124 and a shot of its screen.
TEST(BoxRun, PluginIgnoringExitIsLeftAfterTheGrace)
{
    const std::string stubborn = "expect 20 20 \"ready\"; press RED; expect 20 360 \"stubborn\"; ";
    for (const char* rest : {"wait 60s", "press 4"}) {
        const BoxResult run = run_box({"--timeout", "3", "--grace", "0.5", "-e", stubborn + rest});
        EXPECT_EQ(run.status, 124) << rest << "\n" << run.errors;
        EXPECT_LT(run.took, 15s);
        EXPECT_NE(run.errors.find("did not return within 500 ms of EXIT"), std::string::npos)
            << run.errors;
        const Shot shot = read_shot(run, "timeout");
        ASSERT_TRUE(shot.ok);
        EXPECT_EQ(shot.text(20, 360, 8), "stubborn");
        EXPECT_FALSE(fs::exists(run.dir / "final.png"));
    }
}

TEST(BoxRun, TerminationSignalsGoToThePluginsHandlers)
{
    const fs::path dir = shot_dir();
    BoxProcess box(dir, {"-e", "expect 20 20 \"ready\"; shot up; expect 20 400 \"signals 2\" 20s"});
    const Clock::time_point give_up = Clock::now() + 30s;
    while (!fs::exists(dir / "up-lcd.png") && Clock::now() < give_up)
        std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(fs::exists(dir / "up-lcd.png"));
    kill(box.pid(), SIGTERM);
    kill(box.pid(), SIGINT);
    const BoxResult run = box.finish(30s);
    EXPECT_EQ(run.status, 0) << run.errors;
    const Shot shot = read_shot(run, "final");
    ASSERT_TRUE(shot.ok);
    EXPECT_EQ(shot.text(20, 400, 9), "signals 2");
}

// Arguments, exit status, part of the message.
TEST(BoxRun, MistakesExitWith2Or3BeforeThePluginRuns)
{
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"-e", "press OK\nfrobnicate"}, 2, "boxsim: script line 2: unknown command"},
        {{"--frobnicate"}, 2, "boxsim: unknown option '--frobnicate'"},
        {{"--plugin", "/nonexistent/plugin.so"}, 3, "boxsim: dlopen: /nonexistent/plugin.so"},
        {{"--gx9", "/nonexistent/libgx9.so"}, 3, "boxsim: dlopen: /nonexistent/libgx9.so"},
    };
    for (const auto& c : cases) {
        const BoxResult run = run_box(c.args);
        EXPECT_EQ(run.status, c.status) << run.errors;
        EXPECT_NE(run.errors.find(c.message), std::string::npos) << run.errors;
        EXPECT_FALSE(fs::exists(run.dir / "final.png"));
    }
}

} // namespace
