// Key scripts and command lines: what each form parses to, and the message for each mistake.
#include <gtest/gtest.h>

#include <fstream>

#include "sim/boxsim/options.h"
#include "sim/boxsim/remote.h"
#include "sim/boxsim/script.h"

namespace boxsim {
namespace {

using namespace std::chrono_literals;

std::string describe(const Command& c)
{
    std::string text = std::to_string(c.line) + ":";
    switch (c.kind) {
    case CommandKind::Press:
        text += "press";
        break;
    case CommandKind::Hold:
        text += "hold";
        break;
    case CommandKind::Type:
        text += "type";
        break;
    case CommandKind::Wait:
        text += "wait";
        break;
    case CommandKind::Shot:
        text += "shot";
        break;
    case CommandKind::Restart:
        text += "restart";
        break;
    case CommandKind::Exit:
        text += "exit";
        break;
    case CommandKind::Expect:
        text += "expect";
        break;
    case CommandKind::ExpectPixel:
        text += "expect-pixel";
        break;
    case CommandKind::ExpectLcd:
        text += "expect-lcd";
        break;
    }
    for (const uint8_t key : c.keys)
        text += " " + std::string(key_name(key));
    if (c.duration.count() != 0)
        text += " " + std::to_string(c.duration.count()) + "ms";
    if (!c.word.empty())
        text += " '" + c.word + "'";
    if (c.kind == CommandKind::Expect || c.kind == CommandKind::ExpectPixel ||
        c.kind == CommandKind::ExpectLcd)
        text += " @" + std::to_string(c.x) + "," + std::to_string(c.y) + " a" +
                std::to_string(c.advance) + " v" + std::to_string(c.value);
    return text;
}

std::string describe(const ParsedScript& s)
{
    if (s.error)
        return "error line " + std::to_string(s.error->line) + ": " + s.error->message;
    std::string text;
    for (const Command& c : s.commands)
        text += (text.empty() ? "" : " | ") + describe(c);
    return text;
}

// Script, the commands it parses to (line:verb keys duration 'word' @x,y aADVANCE vVALUE).
TEST(KeyScript, ParsesEveryCommandForm)
{
    const struct {
        const char* script;
        const char* expected;
    } cases[] = {
        {"press OK; wait 300ms; type 2 2 3; shot board",
         "1:press OK | 1:wait 300ms | 1:type 2 2 3 | 1:shot 'board'"},
        {"type 223 4", "1:type 2 2 3 4"},
        {"hold LEFT 2s\nrestart\nexit", "1:hold LEFT 2000ms | 2:restart | 3:exit"},
        {"press EXIT", "1:press EXIT"},
        {"press MUTE;press HELP ; press 0", "1:press MUTE | 1:press HELP | 1:press 0"},
        {"wait 1.5s", "1:wait 1500ms"},
        {"expect 40 78 \"fics%  \"", "1:expect 10000ms 'fics%  ' @40,78 a10 v0"},
        {"expect 30 457 \"a;b # c\" 9 2s", "1:expect 2000ms 'a;b # c' @30,457 a9 v0"},
        {"expect 0 0 \"x\" 3s 9", "1:expect 3000ms 'x' @0,0 a9 v0"},
        {"expect-pixel 719 575 13", "1:expect-pixel 10000ms @719,575 a10 v13"},
        {"expect-lcd 119 63 off 500ms", "1:expect-lcd 500ms @119,63 a10 v0"},
        {"expect-lcd 0 0 on", "1:expect-lcd 10000ms @0,0 a10 v1"},
        {"# a comment line\n\n  press UP   # and a comment after\r\n;;\npress DOWN",
         "3:press UP | 5:press DOWN"},
        {"", ""},
        {"shot final-2.b_x", "1:shot 'final-2.b_x'"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(describe(parse_script(c.script)), c.expected) << "script: " << c.script;
}

// Script, the line and the start of the message that rejects it.
TEST(KeyScript, RejectsMistakesWithTheirLine)
{
    const struct {
        const char* script;
        const char* expected;
    } cases[] = {
        {"press OK\nfrobnicate", "error line 2: unknown command 'frobnicate'"},
        {"press SELECT", "error line 1: press: unknown key 'SELECT'"},
        {"press ok", "error line 1: press: unknown key 'ok'"},
        {"press", "error line 1: press: expected one key"},
        {"press OK OK", "error line 1: press: expected one key"},
        {"hold OK", "error line 1: hold: expected KEY DURATION"},
        {"hold OK 2", "error line 1: hold: '2' is not a duration"},
        {"wait 300", "error line 1: wait: '300' is not a duration"},
        {"wait -3s", "error line 1: wait: '-3s' is not a duration"},
        {"wait 2h", "error line 1: wait: '2h' is not a duration"},
        {"wait 100000s", "error line 1: wait: '100000s' is not a duration"},
        {"type 2 x", "error line 1: type: 'x' is not digits"},
        {"type", "error line 1: type: expected digits"},
        {"shot ../escape", "error line 1: shot: '../escape' is not a file name"},
        {"shot a/b", "error line 1: shot: 'a/b' is not a file name"},
        {"shot .hidden", "error line 1: shot: '.hidden' is not a file name"},
        {"restart now", "error line 1: restart: expected nothing after it"},
        {"exit\npress OK", "error line 2: 'exit' ends the script"},
        {"expect 10 10 TEXT", "error line 1: expect: the text must stand in double quotes"},
        {"expect 10 10 \"\"", "error line 1: expect: the text is empty"},
        {"expect 10 10 \"open", "error line 1: text in double quotes does not end"},
        {"\n\nexpect 10 10 \"open\n\"", "error line 3: text in double quotes does not end"},
        {"expect 715 10 \"ab\"", "error line 1: expect: the text runs past the right edge"},
        {"expect 10 560 \"ab\"", "error line 1: expect: Y must be a whole number from 0 to 558"},
        {"expect -1 10 \"ab\"", "error line 1: expect: X must be a whole number from 0 to 719"},
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

TEST(KeyScript, RejectedScriptKeepsNoCommands)
{
    const ParsedScript parsed = parse_script("press OK\npress OK\nbogus");
    ASSERT_TRUE(parsed.error);
    EXPECT_TRUE(parsed.commands.empty());
}

// Word, seconds allowed bare, milliseconds (-1: rejected).
TEST(Durations, ReadUnitsAndRefuseTheRest)
{
    const struct {
        const char* word;
        bool bare_seconds;
        long long ms;
    } cases[] = {
        {"300ms", false, 300}, {"2s", false, 2000}, {"0.25s", false, 250}, {"0ms", false, 0},
        {"5", true, 5000},     {"0.5", true, 500},  {"5", false, -1},      {"s", false, -1},
        {"ms", false, -1},     {"1e3s", false, -1}, {"-1s", false, -1},    {"+1s", false, -1},
        {"1 s", false, -1},    {"nans", false, -1}, {"infs", false, -1},   {"86401s", false, -1},
    };
    for (const auto& c : cases) {
        const auto d = parse_duration(c.word, c.bare_seconds);
        EXPECT_EQ(d ? d->count() : -1, c.ms) << "word: " << c.word;
    }
}

ParsedOptions parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "boxsim");
    return parse_options(static_cast<int>(args.size()), args.data(), "/opt/box");
}

TEST(CommandLine, DefaultsLoadFromBesideTheBox)
{
    const ParsedOptions p = parse({});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.gx9, "/opt/box/libgx9.so");
    EXPECT_EQ(p.options.plugin, "/opt/box/vitrel3.so");
    EXPECT_FALSE(p.options.config);
    EXPECT_FALSE(p.options.script);
    EXPECT_FALSE(p.options.timeout);
    EXPECT_EQ(p.options.duration, 5s);
    EXPECT_EQ(p.options.display, Display::Automatic);
}

TEST(CommandLine, ServerOptionsBecomeTheConfigurationText)
{
    const ParsedOptions p =
        parse({"--server", "localhost:5000", "--handle=alice", "--password", "s3cret"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.config,
              "icsHost=localhost\nicsPort=5000\nicsHandle=alice\nicsPasswd=s3cret\n");
    const ParsedOptions guest = parse({"--server", "[::1]:23"});
    EXPECT_EQ(guest.options.config, "icsHost=[::1]\nicsPort=23\nicsHandle=guest\nicsPasswd=\n");
}

TEST(CommandLine, ScriptsJoinInOrderAndOptionsTakeTheirValues)
{
    const std::string file = testing::TempDir() + "boxsim_options_script.txt";
    std::ofstream(file) << "press OK";
    const ParsedOptions p = parse({"-e", "wait 1s", "--script", file.c_str(), "--headless",
                                   "--timeout", "2.5", "--grace=1", "--no-pig", "--shot-dir",
                                   "/tmp/x", "--plugin", "p.so", "--duration", "300ms"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.script, "wait 1s\npress OK");
    EXPECT_EQ(p.options.display, Display::Headless);
    EXPECT_EQ(p.options.timeout, 2500ms);
    EXPECT_EQ(p.options.grace, 1s);
    EXPECT_EQ(p.options.duration, 300ms);
    EXPECT_TRUE(p.options.no_pig);
    EXPECT_TRUE(p.options.shot_dir_given);
    EXPECT_EQ(p.options.shot_dir, "/tmp/x");
    EXPECT_EQ(p.options.plugin, "p.so");
}

// Arguments, the start of the usage error.
TEST(CommandLine, ReportsEachMistake)
{
    const struct {
        std::vector<const char*> args;
        const char* error;
    } cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"--plugin"}, "--plugin: needs a value"},
        {{"--headless=yes"}, "--headless: takes no value"},
        {{"--timeout", "0"}, "--timeout: '0' is not a positive number of seconds"},
        {{"--timeout", "soon"}, "--timeout: 'soon' is not a positive number"},
        {{"--server", "localhost"}, "--server: expected HOST:PORT"},
        {{"--server", ":5000"}, "--server: expected HOST:PORT"},
        {{"--server", "h:0"}, "--server: '0' is not a port from 1 to 65535"},
        {{"--server", "h:70000"}, "--server: '70000' is not a port"},
        {{"--server", "h:50x"}, "--server: '50x' is not a port"},
        {{"--server", "h:1", "--handle", "two words"}, "--handle: 'two words' must not contain"},
        {{"--handle", "alice"}, "--handle and --password need --server"},
        {{"--config", "/nonexistent/boxsim.cfg"}, "--config: cannot read '/nonexistent/"},
        {{"--script", "/nonexistent/s.txt"}, "--script: cannot read"},
    };
    for (const auto& c : cases) {
        const std::string error = parse(c.args).error;
        EXPECT_EQ(error.substr(0, std::string(c.error).size()), c.error) << "got: " << error;
    }
    const std::string file = testing::TempDir() + "boxsim_options.cfg";
    std::ofstream(file) << "icsHost=x\n";
    EXPECT_EQ(parse({"--config", file.c_str(), "--server", "h:1"}).error,
              "--server and --config: choose one");
}

TEST(RemoteKeys, NamesAndCodesAgreeBothWays)
{
    const struct {
        const char* name;
        int code;
    } keys[] = {{"0", 0},     {"9", 9},     {"RIGHT", 10},  {"LEFT", 11}, {"UP", 12},
                {"DOWN", 13}, {"OK", 14},   {"YELLOW", 18}, {"RED", 19},  {"BLUE", 20},
                {"HELP", 23}, {"MUTE", 22}, {"EXIT", 25}};
    for (const auto& k : keys) {
        ASSERT_EQ(key_code(k.name), k.code) << k.name;
        EXPECT_EQ(key_name(static_cast<uint8_t>(k.code)), k.name);
    }
    EXPECT_FALSE(key_code("10"));
    EXPECT_FALSE(key_code(""));
    EXPECT_EQ(key_name(238), "?");
}

} // namespace
} // namespace boxsim
