// Tests of boxsim: key scripts and command lines parsed, mistakes named; the box's file system
// through the interposed libc calls of this very process; whole headless runs with the fixture
// plugin: what the shots show and the exit status of each ending.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <tuple>
#include <vector>

#include "sim/boxsim/box_fs.h"
#include "sim/boxsim/options.h"
#include "sim/boxsim/script.h"
#include "sim/screentext/core/png_io.h"

namespace boxsim {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// "line:verb key-codes duration 'word' @x,y aADVANCE vVALUE", commands joined by " | ", or the
// error with its line.
std::string describe(const ParsedScript& s)
{
    static const char* const verbs[] = {"press",   "hold", "type",   "wait",         "shot",
                                        "restart", "exit", "expect", "expect-pixel", "expect-lcd"};
    if (s.error)
        return (s.commands.empty() ? "" : "commands kept, ") + std::string("error line ") +
               std::to_string(s.error->line) + ": " + s.error->message;
    std::string text;
    for (const Command& c : s.commands) {
        text += (text.empty() ? "" : " | ") + std::to_string(c.line) + ":" + verbs[int(c.kind)];
        for (const uint8_t key : c.keys)
            text += " " + std::to_string(key);
        if (c.duration.count() != 0)
            text += " " + std::to_string(c.duration.count()) + "ms";
        if (!c.word.empty())
            text += " '" + c.word + "'";
        if (c.kind >= CommandKind::Expect)
            text += " @" + std::to_string(c.x) + "," + std::to_string(c.y) + " a" +
                    std::to_string(c.advance) + " v" + std::to_string(c.value);
    }
    return text;
}

// Script, what it parses to: every command form, or the start of the message that rejects it.
TEST(KeyScript, ParsesEveryFormAndRejectsEachMistakeWithItsLine)
{
    const struct {
        const char* script;
        const char* expected;
    } cases[] = {
        {"press OK; wait 300ms; type 2 2 3; shot board",
         "1:press 14 | 1:wait 300ms | 1:type 2 2 3 | 1:shot 'board'"},
        {"type 223 4; wait 1.5s; wait 0.25s; wait 0ms; hold OK 86400s",
         "1:type 2 2 3 4 | 1:wait 1500ms | 1:wait 250ms | 1:wait | 1:hold 14 86400000ms"},
        {"hold LEFT 2s\nrestart\nexit", "1:hold 11 2000ms | 2:restart | 3:exit"},
        {"press 0;press 9 ; press RIGHT;press LEFT;press UP;press DOWN;press YELLOW;press RED;"
         "press BLUE;press HELP;press MUTE;press EXIT",
         "1:press 0 | 1:press 9 | 1:press 10 | 1:press 11 | 1:press 12 | 1:press 13 | 1:press 18 | "
         "1:press 19 | 1:press 20 | 1:press 23 | 1:press 22 | 1:press 25"},
        {"expect 40 78 \"fics%  \"", "1:expect 10000ms 'fics%  ' @40,78 a10 v0"},
        {"expect 30 457 \"a;b # c\" 9 2s", "1:expect 2000ms 'a;b # c' @30,457 a9 v0"},
        {"expect 0 0 \"x\" 3s 9", "1:expect 3000ms 'x' @0,0 a9 v0"},
        {"expect 700 558 \"ab\"", "1:expect 10000ms 'ab' @700,558 a10 v0"}, // ends at the edge
        {"expect-pixel 719 575 13", "1:expect-pixel 10000ms @719,575 a10 v13"},
        {"expect-lcd 119 63 off 500ms; expect-lcd 0 0 on",
         "1:expect-lcd 500ms @119,63 a10 v0 | 1:expect-lcd 10000ms @0,0 a10 v1"},
        {"# a comment line\n\n  press UP   # and a comment after\r\n;;\npress DOWN",
         "3:press 12 | 5:press 13"},
        {"", ""},
        {"shot final-2.b_x", "1:shot 'final-2.b_x'"},
        {"press OK\nfrobnicate", "error line 2: unknown command 'frobnicate'"},
        {"press 10", "error line 1: press: unknown key '10'"},
        {"press", "error line 1: press: expected one key"},
        {"hold OK 2", "error line 1: hold: '2' is not a duration"}, // seconds only with a unit
        {"wait -1s", "error line 1: wait: '-1s' is not a duration"},
        {"wait 1e3s", "error line 1: wait: '1e3s' is not a duration"},
        {"wait nans", "error line 1: wait: 'nans' is not a duration"},
        {"wait 86401s", "error line 1: wait: '86401s' is not a duration"},
        {"type 2 x", "error line 1: type: 'x' is not digits"},
        {"shot ../escape", "error line 1: shot: '../escape' is not a file name"},
        {"shot a/b", "error line 1: shot: 'a/b' is not a file name"},
        {"press OK\nexit\npress OK", "error line 3: 'exit' ends the script"},
        {"expect 10 10 TEXT", "error line 1: expect: the text must stand in double quotes"},
        {"\n\nexpect 10 10 \"open\n\"", "error line 3: text in double quotes does not end"},
        {"expect 701 10 \"ab\"", "error line 1: expect: the text runs past the right edge"},
        {"expect 10 559 \"ab\"", "error line 1: expect: Y must be a whole number from 0 to 558"},
        {"expect 1 1 \"ab\" 11", "error line 1: expect: ADVANCE must be a whole number from 1"},
        {"expect-pixel 1 1 256", "error line 1: expect-pixel: INDEX must be a whole number"},
        {"expect-lcd 120 0 on", "error line 1: expect-lcd: X must be a whole number from 0 to 119"},
        {"expect-lcd 1 1 lit", "error line 1: expect-lcd: expected on or off, not 'lit'"},
    };
    for (const auto& c : cases) {
        const std::string got = describe(parse_script(c.script));
        EXPECT_EQ(got.substr(0, std::string(c.expected).size()), c.expected)
            << "script: " << c.script << "\n got: " << got;
    }
}

ParsedOptions parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "boxsim");
    return parse_options(static_cast<int>(args.size()), args.data(), "/opt/box");
}

TEST(CommandLine, OptionsTakeTheirValuesAndDefaults)
{
    const Options defaults = parse({}).options;
    EXPECT_EQ(std::pair(defaults.gx9, defaults.plugin),
              std::pair(fs::path("/opt/box/libgx9.so"), fs::path("/opt/box/vitrel3.so")));
    EXPECT_FALSE(defaults.config || defaults.script || defaults.timeout || defaults.no_pig);
    EXPECT_EQ(std::pair(defaults.duration, defaults.display),
              std::pair(Millis(5s), Display::Automatic));
    const std::string file = testing::TempDir() + "boxsim_options_script.txt";
    std::ofstream(file) << "press OK";
    const ParsedOptions p = parse(
        {"-e",         "wait 1s",    "--script", file.c_str(), "--headless",      "--timeout",
         "2.5",        "--grace=1",  "--no-pig", "--shot-dir", "/tmp/x",          "--plugin",
         "p.so",       "--duration", "300ms",    "--server",   "localhost:65535", "--handle=alice",
         "--password", "s3cret"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.script, "wait 1s\npress OK");
    EXPECT_EQ(std::tuple(p.options.timeout, p.options.grace, p.options.duration),
              std::tuple(std::optional(Millis(2500)), Millis(1000), Millis(300)));
    EXPECT_TRUE(p.options.no_pig && p.options.shot_dir_given &&
                p.options.display == Display::Headless);
    EXPECT_EQ(std::pair(p.options.shot_dir, p.options.plugin),
              std::pair(fs::path("/tmp/x"), fs::path("p.so")));
    EXPECT_EQ(p.options.config,
              "icsHost=localhost\nicsPort=65535\nicsHandle=alice\nicsPasswd=s3cret\n");
    EXPECT_EQ(parse({"--server", "[::1]:23"}).options.config,
              "icsHost=[::1]\nicsPort=23\nicsHandle=guest\nicsPasswd=\n");
    EXPECT_EQ(parse({"--config", file.c_str()}).options.config, "press OK");
}

// Arguments, the start of the usage error.
TEST(CommandLine, ReportsEachMistake)
{
    const std::string file = testing::TempDir() + "boxsim_options.cfg";
    std::ofstream(file) << "icsHost=x\n";
    const struct {
        std::vector<const char*> args;
        const char* error;
    } cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"--plugin"}, "--plugin: needs a value"},
        {{"--headless=yes"}, "--headless: takes no value"},
        {{"--timeout", "0"}, "--timeout: '0' is not a positive number of seconds"},
        {{"--server", "localhost"}, "--server: expected HOST:PORT"},
        {{"--server", "h:0"}, "--server: '0' is not a port from 1 to 65535"},
        {{"--server", "h:65536"}, "--server: '65536' is not a port"},
        {{"--server", "h:1", "--handle", "two words"}, "--handle: 'two words' must not contain"},
        {{"--handle", "alice"}, "--handle and --password need --server"},
        {{"--password", "pw"}, "--handle and --password need --server"},
        {{"--config", "/nonexistent/boxsim.cfg"}, "--config: cannot read '/nonexistent/"},
        {{"--config", file.c_str(), "--server", "h:1"}, "--server and --config: choose one"},
    };
    for (const auto& c : cases) {
        const std::string error = parse(c.args).error;
        EXPECT_EQ(error.substr(0, std::string(c.error).size()), c.error) << "got: " << error;
    }
}

const char* const kConfig = "/var/mirlon/plugins/vitrel3.cfg";
const char* const kLcd = "/dev/omra/lcd0";

int errno_of(long result)
{
    return result == -1 ? errno : 0;
}

int open_lcd_in_frame_mode()
{
    const int fd = open(kLcd, O_RDWR);
    int mode = kLcdFrameMode;
    EXPECT_EQ(errno_of(ioctl(fd, kLcdRequestClear)) + errno_of(ioctl(fd, kLcdRequestMode, &mode)),
              0);
    return fd;
}

TEST(BoxConfig, ServesItsTextReadOnlyAtTheFixedPathOnly)
{
    // Every open is a fresh file from the start; a path that normalises to it is the same.
    set_config("icsHost=example.org\nicsPort=5000\n");
    for (int i = 0; i < 2; ++i) {
        FILE* file =
            std::fopen(i == 0 ? kConfig : "/var//mirlon/./plugins/../plugins/vitrel3.cfg", "r");
        ASSERT_NE(file, nullptr) << std::strerror(errno);
        char text[64] = {};
        EXPECT_EQ(std::fread(text, 1, sizeof text, file), 33u);
        EXPECT_STREQ(text, "icsHost=example.org\nicsPort=5000\n");
        std::fclose(file);
    }
    // {with a text, path, flags, errno expected}
    const std::tuple<bool, const char*, int, int> cases[] = {
        {true, kConfig, O_RDWR, EROFS},
        {true, kConfig, O_RDONLY | O_TRUNC, EROFS},
        {true, kConfig, O_RDONLY | O_DIRECTORY, ENOTDIR},
        {true, "/var/mirlon/plugins/other.cfg", O_RDONLY, ENOENT},
        {true, "/dev/omra/lcd1", O_RDWR, ENOENT},
        {true, "/var/mirlon/new.txt", O_WRONLY | O_CREAT, EROFS},
        {false, kConfig, O_WRONLY | O_CREAT, EROFS},
        {false, kConfig, O_RDONLY, ENOENT},
    };
    for (const auto& [has_text, path, flags, expected] : cases) {
        set_config(has_text ? std::optional<std::string>("icsPort=1\n") : std::nullopt);
        EXPECT_EQ(errno_of(open(path, flags, 0644)), expected) << path << " flags " << flags;
    }
    EXPECT_EQ(std::fopen(kConfig, "r"), nullptr); // without a text
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(std::filesystem::exists("/var/mirlon/new.txt"));
    // Any other path is libc's, with the mode argument of open.
    const std::string other = testing::TempDir() + "boxsim_passthrough.txt";
    EXPECT_EQ(errno_of(close(open(other.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600))), 0);
    EXPECT_EQ(std::filesystem::status(other).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::filesystem::remove(other);
}

TEST(BoxLcd, KeepsEachFrameAndRefusesWhatTheDeviceDoesNotTake)
{
    reset_lcd();
    const int fd = open(kLcd, O_RDWR);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    LcdFrame frame{};
    frame[0] = 0x01, frame[125] = 0x02, frame[959] = 0x80; // pixels (0, 0), (5, 9), (119, 63)
    const std::vector<uint8_t> longer(frame.size() + 1);
    const void* volatile nothing = nullptr; // hidden from the compiler's null check
    int mode = 2;
    // {errno of the call, errno expected (0: it succeeds)}
    const std::pair<int, int> calls[] = {
        {errno_of(write(fd, frame.data(), frame.size())), EINVAL}, // a frame before the mode
        {errno_of(ioctl(fd, kLcdRequestMode, &mode)), EINVAL},
        {errno_of(ioctl(fd, kLcdRequestMode, nullptr)), EFAULT},
        {errno_of(ioctl(fd, 26)), ENOTTY},
        {errno_of((mode = kLcdFrameMode, ioctl(fd, kLcdRequestMode, &mode))), 0},
        {errno_of(write(fd, frame.data(), frame.size() - 1)), EINVAL},
        {errno_of(write(fd, longer.data(), longer.size())), EINVAL},
        {errno_of(write(fd, nothing, frame.size())), EFAULT},
        {errno_of(write(fd, frame.data(), frame.size())), 0},
    };
    for (size_t i = 0; i < std::size(calls); ++i)
        EXPECT_EQ(calls[i].first, calls[i].second) << "call " << i;
    FILE* stream = std::fopen(kLcd, "w"); // unbuffered: each fwrite of a frame is one frame
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(std::fwrite(frame.data(), 1, frame.size(), stream), 960u);
    const LcdState lcd = lcd_state();
    EXPECT_EQ(std::tuple(lcd.frames, lcd.refused, lcd.open_descriptors), std::tuple(2, 7, 2));
    EXPECT_EQ(std::fclose(stream), 0);
    for (const auto& [x, y] : {std::pair{0, 0}, {5, 9}, {119, 63}})
        EXPECT_TRUE(lcd_pixel_lit(lcd.frame, x, y)) << x << "," << y;
    for (const auto& [x, y] : {std::pair{5, 8}, {4, 9}, {120, 0}, {0, -1}})
        EXPECT_FALSE(lcd_pixel_lit(lcd.frame, x, y)) << x << "," << y;
    ASSERT_EQ(ioctl(fd, kLcdRequestClear), 0);
    EXPECT_EQ(std::tuple(lcd_state().frame, lcd_state().clears), std::tuple(LcdFrame{}, 1));
    EXPECT_GT(lcd_state().generation, lcd.generation);
    ASSERT_EQ(close(fd), 0);
    EXPECT_EQ(lcd_state().open_descriptors, 0);
}

TEST(BoxLcd, AClosedNumberIsAnOrdinaryFileAgain)
{
    const int fd = open_lcd_in_frame_mode();
    ASSERT_EQ(close(fd), 0);
    int ends[2], mode = kLcdFrameMode;
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(ends[0], fd);
    EXPECT_EQ(ioctl(fd, kLcdRequestMode, &mode), -1) << "a pipe is no LCD";
    close(ends[0]);
    close(ends[1]);
}

// The plugin's thread writes frames and opens and closes descriptors while the box reads.
TEST(BoxLcd, ServesThreadsAtOnce)
{
    reset_lcd();
    constexpr int kThreads = 4, kRounds = 200;
    std::atomic<bool> reading{true};
    std::thread reader([&] {
        while (reading.load()) {
            const LcdState lcd = lcd_state();
            for (const uint8_t byte : lcd.frame) // frames are written whole
                ASSERT_EQ(byte, lcd.frame[0]);
        }
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([t] {
            for (int round = 0; round < kRounds; ++round) {
                const int fd = open_lcd_in_frame_mode();
                LcdFrame frame;
                frame.fill(static_cast<uint8_t>(t * kRounds + round));
                EXPECT_EQ(write(fd, frame.data(), frame.size()), kLcdFrameBytes);
                EXPECT_EQ(close(fd), 0);
            }
        });
    for (auto& w : writers)
        w.join();
    reading = false;
    reader.join();
    EXPECT_EQ(std::pair(lcd_state().frames, lcd_state().open_descriptors), std::pair(800, 0));
}

struct Ending {
    int status;
    std::string errors; // boxsim's stderr
    Clock::duration took;
    fs::path dir; // its shots
};

// boxsim headless with the fixture plugin and a safety timeout, then `arguments` (shell words);
// shots into a new, empty directory (a reused one could hold an earlier run's shots).
Ending run_box(const std::string& arguments)
{
    std::string pattern = testing::TempDir() + "boxsim_run_XXXXXX";
    if (!mkdtemp(pattern.data()))
        ADD_FAILURE() << "mkdtemp: " << strerror(errno);
    const fs::path dir = pattern;
    const std::string command = BOXSIM_EXE " --headless --timeout 60 --plugin " BOXSIM_TEST_PLUGIN
                                           " --shot-dir " +
                                dir.string() + " " + arguments + " 2>" + dir.string() + "/errors";
    const Clock::time_point start = Clock::now();
    const int status = std::system(command.c_str());
    std::stringstream errors;
    errors << std::ifstream(dir / "errors").rdbuf();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, errors.str(), Clock::now() - start, dir};
}

TEST(BoxRun, ShotsShowTheScreenItsPaletteAndTheLcd)
{
    const Ending run = run_box(R"(--no-pig -e 'expect-pixel 100 140 13; expect-lcd 0 0 on
        press 5; expect-pixel 10 10 5; type 1 2; press OK; hold LEFT 400ms
        expect-pixel 11 10 5; expect-lcd 13 10 on; shot keys')");
    EXPECT_EQ(run.status, 0) << run.errors;
    screentext::IndexedImage tv;
    screentext::BitImage lcd, final_lcd;
    ASSERT_EQ(screentext::read_indexed_png((run.dir / "keys.png").string(), tv) +
                  screentext::read_bit_png((run.dir / "keys-lcd.png").string(), lcd) +
                  screentext::read_bit_png((run.dir / "final-lcd.png").string(), final_lcd),
              "");
    // The last key (LEFT, 11), 5 keys, no_pig 1 and the blue box, exactly where the plugin drew
    // them; the live picture is not in shots.
    const auto tv_at = [&](int x, int y) { return int(tv.pixels.at(size_t(y) * 720 + x)); };
    EXPECT_EQ((std::array{tv_at(10, 10), tv_at(11, 10), tv_at(10, 20), tv_at(100, 140),
                          tv_at(149, 179), tv_at(150, 179), tv_at(149, 180), tv_at(500, 400)}),
              (std::array{11, 5, 1, 13, 13, 1, 1, 1}));
    EXPECT_EQ(tv.palette[13], (std::array<uint8_t, 3>{0, 0, 255}));
    // Lit: (0, 0), (119, 63) and the pixel of the last key (at x 13), nothing else; the plugin
    // cleared the panel (request 25) as it left.
    const auto lit = [&](int x, int y) { return int(lcd.pixels.at(size_t(y) * 120 + x)); };
    EXPECT_EQ((std::array{lit(0, 0), lit(119, 63), lit(13, 10)}), (std::array{1, 1, 1}));
    EXPECT_EQ(std::count(lcd.pixels.begin(), lcd.pixels.end(), 1), 3);
    EXPECT_EQ(std::count(final_lcd.pixels.begin(), final_lcd.pixels.end(), 1), 0);
    if (!HasFailure())
        fs::remove_all(run.dir);
}

// Arguments, exit status, part of stderr, a shot that must be there and one that must not, the
// shortest time the run may take (ms). Every run takes less than 15 s (the safety is 60 s).
TEST(BoxRun, EachEndingHasItsExitStatus)
{
    const struct {
        const char* arguments;
        int status;
        const char *message, *shot, *no_shot;
        int at_least;
    } rows[] = {
        {"-e 'restart; expect-pixel 12 10 1'", 7, "", "final", "timeout", 0},
        {"-e 'press BLUE; wait 5s'", 255, "", "final", "timeout", 0},
        {"--duration 0.5", 0, "", "final", "timeout", 500},
        {"-e 'expect-pixel 10 10 99 300ms; shot unreached'", 90,
         "line 1: expectation not met: pixel (10, 10) has index 238, not 99", "expect-failed",
         "unreached", 300},
        {"--timeout 1 -e 'wait 60s'", 124, "timeout after 1000 ms", "timeout", "", 1000},
        {"--timeout 3 --grace 0.5 -e 'press RED; expect-pixel 13 10 1; wait 60s'", 124,
         "did not return within 500 ms of EXIT", "timeout", "final", 3000},
        {"--grace 0.5 -e 'press RED; expect-pixel 13 10 1'", 124,
         "did not return within 500 ms of EXIT", "timeout", "final", 500},
        {"-e 'press OK\nfrobnicate'", 2, "boxsim: script line 2: unknown command", "", "final", 0},
        {"--frobnicate", 2, "boxsim: unknown option '--frobnicate'", "", "final", 0},
        {"--plugin /nonexistent/plugin.so", 3, "boxsim: dlopen: /nonexistent/plugin.so", "",
         "final", 0},
    };
    for (const auto& row : rows) {
        const Ending run = run_box(row.arguments);
        EXPECT_EQ(run.status, row.status) << row.arguments << "\n" << run.errors;
        EXPECT_TRUE(*row.message == '\0' || run.errors.find(row.message) != std::string::npos)
            << run.errors;
        EXPECT_TRUE(*row.shot == '\0' || fs::exists(run.dir / (std::string(row.shot) + ".png")));
        EXPECT_TRUE(*row.no_shot == '\0' || !fs::exists(run.dir / (std::string(row.no_shot) + ".png")))
            << row.no_shot;
        EXPECT_GE(run.took, std::chrono::milliseconds(row.at_least));
        EXPECT_LT(run.took, std::chrono::seconds(15));
        if (!HasFailure())
            fs::remove_all(run.dir);
    }
}

} // namespace
} // namespace boxsim
