// One idle pass of the main loop without its 100 ms pause, in the board view with a game running:
// the LCD picture of the piece under the cursor written to a device, the clock panel redrawn,
// two polls of a silent remote, and the server wait. Set up in-process as start-up does it.
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "board/board.h"
#include "ics/game_state.h"
#include "ics/lines.h"
#include "ics/notices.h"
#include "lcd/device.h"
#include "lcd/picture.h"
#include "panels/header.h"
#include "panels/telnet.h"
#include "shell/main_loop.h"
#include "shell/move_state.h"
#include "shell/screen_mode.h"
#include "tests/support/test_screen.h"

namespace {

constexpr int kReceiveBufferBytes = 16384;

char ics_buffer[kReceiveBufferBytes];
unsigned char lcd_frame[kLcdFrameBytes];

// The lines of a game of alice (White) against bob as the server announces it, then its first
// board line: the state the loop runs in while the user thinks about a move.
constexpr const char* kGameLines[] = {
    "**** Starting FICS session as alice ****\r\n",
    "Creating: alice (1500) bob (1600) unrated blitz 5 0\r\n",
    "{Game 1 (alice vs. bob) Creating unrated blitz match.}\r\n",
    "<12> rnbqkbnr pppppppp -------- -------- -------- -------- PPPPPPPP RNBQKBNR W -1 1 1 1 1 "
    "0 1 alice bob 1 5 0 39 39 300 299 1 none (0:00) none 0 1 0\r\n",
};

// Start-up's order: starting position, game state, telnet buffer, LCD, screen, remote, then
// the board view drawn and the game's lines interpreted.
struct RunningGame {
    testsupport::TestScreen screen;
    testsupport::TestRemote remote;
    int lcd_device = -1;

    RunningGame()
    {
        memcpy(zeforboard, kStartPosition, sizeof kStartPosition);
        init();
        blank_telnet_startup_lines();
        lcd_device = open("/dev/null", O_WRONLY | O_CLOEXEC);
        lcd_fd = lcd_device;
        whats_showed = kBoardView;
        draw_chess_board(zeforboard, cursorxold, cursoryold, cursorx, cursory);
        display_naslov();
        display_small_telnet();
        for (const char* line : kGameLines)
            ProcessIcsLine(line);
        lcd_draw_intro(lcd_frame);
        main_loop_pass(ics_buffer, kReceiveBufferBytes, lcd_frame, false);
    }
    ~RunningGame()
    {
        if (lcd_device >= 0)
            close(lcd_device);
        lcd_fd = -1;
        icsFd = 0;
    }
    bool game_on_screen() const
    {
        return WeAreNotPlaying == 0 && moving_enabled == 1 &&
               screen.text(470, 109, 18) == "  05:00  <-->  04:";
    }
};

void check_game(benchmark::State& state, const RunningGame& game)
{
    if (!game.game_on_screen())
        state.SkipWithError("the game is not on the screen: the set-up is broken");
}

// Unconnected: the pass's own work only (LCD, clock panel, polls).
void BM_IdlePassDrawingOnly(benchmark::State& state)
{
    RunningGame game;
    check_game(state, game);
    const uint32_t before = game.screen.draw_calls();
    for (auto _ : state) {
        if (!main_loop_pass(ics_buffer, kReceiveBufferBytes, lcd_frame, false))
            state.SkipWithError("the pass asked to leave the loop");
    }
    state.counters["host_calls"] = benchmark::Counter(
        static_cast<double>(game.screen.draw_calls() - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_IdlePassDrawingOnly);

// Connected to a server that stays silent: the pass also waits up to 1 ms for its data. Wall
// time shows the wait, CPU time the work.
void BM_IdlePassWithSilentServer(benchmark::State& state)
{
    RunningGame game;
    check_game(state, game);
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        state.SkipWithError("socketpair failed");
        return;
    }
    icsFd = pair[0];
    for (auto _ : state) {
        if (!main_loop_pass(ics_buffer, kReceiveBufferBytes, lcd_frame, false))
            state.SkipWithError("the pass asked to leave the loop");
    }
    icsFd = 0;
    close(pair[0]);
    close(pair[1]);
}
BENCHMARK(BM_IdlePassWithSilentServer)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
