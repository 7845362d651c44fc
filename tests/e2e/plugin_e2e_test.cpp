// The plugin in boxsim against a server the test scripts on a loopback socket: a game's lines and
// keys under memcheck, lost connections and restarts, hostile streams, signals and a long run of
// traffic with the resources watched. Each step waits for what the screen shows or the server got.
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

#include "tests/e2e/harness.h"

namespace e2e {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true; // it owns malloc, and valgrind cannot run its builds
#else
constexpr bool kAddressSanitizer = false;
#endif

const std::vector<std::string> kMemcheck = {"valgrind", "--error-exitcode=99",
                                            "--errors-for-leak-kinds=definite", "--leak-check=full",
                                            "--log-file=memcheck.log"};

// The word entry sends one letter of a digit key (2: "A", 3: "D", 4: "G", ...) as a sign.
const auto sign = [](int key) { return "press BLUE; type " + std::to_string(key) + "; press OK;"; };

// Under memcheck (where installed, outside the sanitizer build): no error, no definite leak. It
// runs one thread at a time, which widens the window in which a press between the two polls of a
// pass is lost: a game that failed only an expect (90) is played again, memcheck checked each time.
TEST(PluginGame, LoginBoardMoveRefusalLcdDialogsAndWindowsUnderMemcheck)
{
    const bool memcheck = !kAddressSanitizer && std::system("valgrind --version >/dev/null") == 0;
    BoardCursor cursor;
    // The cursor stays on the empty e4: the LCD shows the outlines of all pieces (8, 28 is lit
    // neither in the intro nor for a piece). The full telnet window's fifth row from the bottom
    // lies left of the board.
    const std::string script =
        kClockShown + cursor.move("e2e4") + expect(30, 511, "Please select some valid move!", 9) +
        "expect-lcd 8 28 on 20s; shot refused; press YELLOW;" + expect(100, 532, "abort ") +
        "press DOWN;" + expect(100, 532, "accept ") + "press OK;" + expect(30, 511, "accept", 9) +
        "press BLUE; type 2 3;" + expect(100, 532, "AD") + "press OK;" + expect(30, 511, "AD", 9) +
        "press RED;" + expect(30, 439, "{Game 1 (alice vs. bob)", 9) + "press HELP;" +
        expect(120, 430, "EXIT   -> exit game") + "press MUTE; press HELP;" +
        "expect-pixel 40 25 9 30s; press RED;" + expect(30, 439, "{Game 1 (alice vs. bob)", 9) +
        "press MUTE; press RED; expect-pixel 40 25 9 30s; exit";
    for (int attempt = 1;; ++attempt) {
        ScriptedServer server;
        BoxProcess box(alice_args(server.port(), script), {},
                       memcheck ? kMemcheck : std::vector<std::string>{});
        const bool login_first =
            server.wait_for_received(kLogin, 120s) && server.received() == kLogin;
        if (server.send(game_start()) && server.wait_for_received("e2e4\r\n", 120s))
            server.send("Illegal move (e2e4).\n\rfics% ");
        const int status = box.wait(240s);
        const std::string report = read_file(box.dir() / "memcheck.log");
        ASSERT_TRUE(!memcheck || report.find("ERROR SUMMARY: 0 errors") != std::string::npos)
            << report;
        if (memcheck && status == 90 && attempt < 3)
            continue;
        ASSERT_EQ(status, 0) << box.output();
        EXPECT_TRUE(login_first) << "all sent before the server said anything";
        EXPECT_TRUE(server.wait_for_received("refresh\r\naccept \r\nAD\r\n", 0ms))
            << server.received();

        Shot refused(box.shot("refused"));
        EXPECT_EQ(refused.text(30, 493, 20, 9), "Illegal move (e2e4).");
        EXPECT_EQ(refused.pixel(30, 493), 3) << "the server's complaint on red";
        EXPECT_GT(refused.count(30, 511, 30 * 9, 18, 10), 100) << "the plugin's advice in teal";
        EXPECT_EQ(refused.pixel(30, 511), 1) << "on black";
        return;
    }
}

int open_descriptors(pid_t pid)
{
    auto entries = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd");
    return int(std::distance(begin(entries), end(entries)));
}

TEST(PluginConnection, LostConnectionsAreReportedAndRestartsLogInAgainLeakingNoDescriptor)
{
    constexpr int kRestarts = 20;
    const std::string lost = expect(30, 511, "Disconnected from ICS !!!", 9);
    auto greeting = [](int i) { return "\n\rconnection " + std::to_string(i) + "\n\rfics% "; };
    std::string script = kClockShown + lost + "restart;" + expect(30, 511, "connection 1", 9) +
                         "shot restarted;" + sign(2) + lost;
    for (int i = 2; i < 2 + kRestarts; ++i)
        script += "restart;" + expect(30, 511, "connection " + std::to_string(i), 9);
    ScriptedServer server;
    BoxProcess box(alice_args(server.port(), script + kStillAnswers + "exit"));

    // The first connection ends in the middle of a line, after a game with 1. d4 on the board.
    ASSERT_TRUE(server.wait_for_received(kLogin)) << box.output();
    BoardLine d4{.to_move = 'B', .relation = -1};
    d4.ranks[4] = "---P----";
    d4.ranks[6] = "PPP-PPPP";
    server.send(game_start() + "\n\r" + d4.text() + "\n\rbob(U) tells you: half a li");
    server.close();
    // The second logs in again, sends a word typed after the restart, and is reset.
    ASSERT_TRUE(server.accept() && server.wait_for_received(kLogin)) << box.output();
    server.send(greeting(1));
    ASSERT_TRUE(server.wait_for_received("\r\nA\r\n")) << box.output();
    server.close(true);
    int before = -1;
    for (int i = 2; i < 2 + kRestarts; ++i) {
        ASSERT_TRUE(server.accept() && server.send(greeting(i))) << box.output();
        before = i == 2 ? open_descriptors(box.pid()) : before;
    }
    EXPECT_EQ(open_descriptors(box.pid()), before) << "descriptors grew over the restarts";
    EXPECT_EQ(box.wait(), 0) << box.output();

    // The restart keeps the game: the white pawn (colour 2) stands on d4 again, d2 is empty.
    Shot restarted(box.shot("restarted"));
    EXPECT_GT(restarted.count(60 + 3 * 48 + 4, 429 - 4 * 48 + 4, 40, 40, 2), 80) << "d4";
    EXPECT_EQ(restarted.count(60 + 3 * 48 + 4, 429 - 2 * 48 + 4, 40, 40, 2), 0) << "d2";
}

// Resident memory (KiB) and open descriptors of a process.
std::pair<long, int> footprint(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line) && !line.starts_with("VmRSS:")) {
    }
    return {std::atol(line.c_str() + 6), open_descriptors(pid)};
}

// One tick of traffic: a board line (side to move and clocks changing) and a notice from a
// rotation over the kinds the interpreter tells apart; every 20th tick a game ends and the next
// one is created.
std::string traffic(int tick)
{
    static const char* const kNotices[] = {"bob(U) tells you: tick", "bob(U) kibitzes: tick",
                                           "bob(U) shouts: tick",    "bob offers you a draw",
                                           "Illegal move (tick).",   "It is not your move (tick).",
                                           "You have 3 messages.",   "{Game 1 (alice vs. bob) }",
                                           "Game 1: takeback tick",  "news"};
    BoardLine board{.white_seconds = 300 - tick / 2 % 290, .black_seconds = 299 - tick / 2 % 290};
    if (tick % 2) {
        board.ranks[4] = "----P---";
        board.ranks[6] = "PPPP-PPP";
        board.to_move = 'B';
        board.relation = -1;
        board.move = "P/e2-e4";
    }
    std::string text = "\n\r" + board.text() + "\n\r" + kNotices[tick % std::size(kNotices)] + " " +
                       std::to_string(tick) + "\n\rfics% ";
    if (tick % 20 == 19)
        text += "\n\r{Game 1 (alice vs. bob) bob resigns} 1-0\n\rfics% "
                "\n\rCreating: alice (1500) bob (1600) unrated blitz 5 0\n\rfics% ";
    return text;
}

// Hostile streams, board lines drawn under signals of all three kinds, then 15 s of traffic with
// three rounds of keys (both window modes, help, cursor, picker, word entry). From the first round
// (every drawing path has run) to the end the box's descriptors and resident memory stay flat;
// the plugin allocates nothing once it polls the remote.
TEST(LongRun, HostileStreamsSignalsAndTrafficWithKeysLeaveThePluginAnsweringWithFlatResources)
{
    std::string script = expect(30, 511, "line 9999", 9, "120s") + sign(2) +
                         expect(470, 109, "  04:00  <-->  03:00  ") + sign(3);
    for (int key : {4, 5, 6})
        script += "press RED; press HELP; press MUTE; press HELP; press RED; press MUTE;"
                  "press RED; press RIGHT; press LEFT; press YELLOW; press OK;" +
                  sign(key);
    script += expect(30, 511, "traffic over", 9) + kStillAnswers + "exit";
    std::vector<std::string> preload;
    if (!kAddressSanitizer)
        preload.push_back("LD_PRELOAD=" + (kBuildDir / "alloc_counter.so").string());
    ScriptedServer server;
    BoxProcess box(alice_args(server.port(), script), preload);
    ASSERT_TRUE(server.wait_for_received(kLogin)) << box.output();

    // 64 KiB without a line end; a board line cut at every length, with out-of-range numbers and
    // an overlong name; a game; ten thousand lines, all at once.
    BoardLine hostile{
        .game = 2147483647, .white = std::string(200, 'W'), .white_seconds = -2147483647};
    std::string line = hostile.text() + " 99999999999999999999 -99999999999999999999";
    std::string stream = std::string(1 << 16, 'x');
    for (size_t length = 0; length <= line.size(); ++length)
        stream += "\n\r" + line.substr(0, length);
    stream += game_start();
    for (int i = 0; i < 10000; ++i)
        stream += "line " + std::to_string(i) + "\n\r";
    ASSERT_TRUE(server.send(stream));
    ASSERT_TRUE(server.wait_for_received("\r\nA\r\n", 120s)) << box.output();
    BoardLine board;
    for (int round = 0; round < 10; ++round) {
        for (int i = 0; i < 20; ++i)
            server.send(board.text() + "\n\r");
        for (int s : {SIGINT, SIGTERM, SIGPIPE})
            kill(box.pid(), s);
    }
    server.send(BoardLine{.white_seconds = 240, .black_seconds = 180}.text() + "\n\rfics% ");
    ASSERT_TRUE(server.wait_for_received("\r\nD\r\n")) << box.output();

    // Traffic for 15 s, and on until the last round of keys has reached the server ("M"); the
    // footprint is taken after the first round ("G") and at the end.
    std::pair<long, int> warm = {-1, -1};
    const auto start = std::chrono::steady_clock::now();
    for (int tick = 0; std::chrono::steady_clock::now() < start + 15s ||
                       !server.wait_for_received("\r\nM\r\n", 0ms);
         ++tick) {
        ASSERT_LT(std::chrono::steady_clock::now(), start + 120s) << "keys stuck\n" << box.output();
        ASSERT_TRUE(server.send(traffic(tick))) << box.output();
        std::this_thread::sleep_for(250ms); // the pace of the traffic
        if (warm.second < 0 && server.wait_for_received("\r\nG\r\n", 0ms))
            warm = footprint(box.pid());
    }
    const auto last = footprint(box.pid());
    server.send("\n\rtraffic over\n\rfics% ");
    ASSERT_EQ(box.wait(), 0) << box.output();
    EXPECT_EQ(last.second, warm.second) << "descriptors after the first round and at the end";
    if (kAddressSanitizer)
        return; // its quarantine keeps freed blocks of the box: resident memory grows by design
    EXPECT_LT(last.first - warm.first, 256) << "KiB resident after the first round " << warm.first;
    EXPECT_NE(box.output().find("main loop seen, plugin allocations after start-up: 0"),
              std::string::npos)
        << box.output();
}

} // namespace
} // namespace e2e
