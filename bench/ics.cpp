// The server input path: a game-like stream of board lines and notices through ProcessRawInput
// and ProcessIcsLine with drawing on a test screen, and one read of 4, 8 or 16 KB of short
// lines, whose cost must grow linearly with its size.
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include <benchmark/benchmark.h>

#include "ics/game_state.h"
#include "ics/lines.h"
#include "ics/notices.h"
#include "shell/exit_on.h"
#include "shell/move_state.h"
#include "shell/screen_mode.h"
#include "tests/support/test_screen.h"

namespace {

struct Pair {
    int ours = -1;
    int theirs = -1;
    Pair()
    {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
            abort();
        ours = fds[0];
        theirs = fds[1];
        int big = 1 << 20;
        setsockopt(theirs, SOL_SOCKET, SO_SNDBUF, &big, sizeof(big));
        setsockopt(ours, SOL_SOCKET, SO_RCVBUF, &big, sizeof(big));
    }
    ~Pair()
    {
        close(ours);
        close(theirs);
    }
    void send(const std::string& bytes) const
    {
        for (size_t done = 0; done < bytes.size();) {
            ssize_t n = write(theirs, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                abort();
            done += size_t(n);
        }
    }
};

// Eight moves of a game as the server sends them to a player, with a tell, a kibitz and a
// shout between them: 11 lines, as LF CR line ends and prompts.
std::string game_block(int* lines)
{
    const char* boards[] = {
        "rnbqkbnr pppppppp -------- -------- ----P--- -------- PPPP-PPP RNBQKBNR B 4",
        "rnbqkbnr pppp-ppp -------- ----p--- ----P--- -------- PPPP-PPP RNBQKBNR W 4",
        "rnbqkbnr pppp-ppp -------- ----p--- ----P--- -----N-- PPPP-PPP RNBQKB-R B -1",
        "r-bqkbnr pppp-ppp --n----- ----p--- ----P--- -----N-- PPPP-PPP RNBQKB-R W -1",
        "r-bqkbnr pppp-ppp --n----- -B--p--- ----P--- -----N-- PPPP-PPP RNBQK--R B -1",
        "r-bqkbnr -ppp-ppp p-n----- -B--p--- ----P--- -----N-- PPPP-PPP RNBQK--R W -1",
        "r-bqkbnr -ppp-ppp p-n----- ----p--- B---P--- -----N-- PPPP-PPP RNBQK--R B -1",
        "r-bqkb-r -ppp-ppp p-n--n-- ----p--- B---P--- -----N-- PPPP-PPP RNBQK--R W -1",
    };
    std::string block;
    for (const char* board : boards) {
        block += std::string("\n\r<12> ") + board +
                 " 1 1 1 1 0 42 Tester Opponent 1 5 0 39 39 280 281 5 N/g8-f6 (0:02) Nf6 0 1 "
                 "312\n\rfics% ";
    }
    block += "\n\rOpponent(1500)[42] says: nice opening\n\rfics% ";
    block += "\n\rWatcher(U)(++++)[42] kibitzes: Ruy Lopez\n\rfics% ";
    block += "\n\rSomebody shouts: anyone for a game?\n\rfics% ";
    *lines = 11;
    return block;
}

// range(0) is the screen mode: in the board view every board line redraws board and header; in
// the help screen only the notices draw (the small telnet window), which shows what interpreting
// costs without the board drawing.
void BM_GameStream(benchmark::State& state)
{
    testsupport::TestScreen screen;
    init();
    exit_on_pause_usec = 0;
    strcpy(MyName, "Tester");
    cursorx = cursorxold = 4;
    cursory = cursoryold = 2;
    whats_showed = int(state.range(0));
    icsFd = 0; // the stream sends nothing back
    Pair pair;
    static char buffer[kReceiveBufferBytes];
    buffer[0] = 0;
    int lines_per_block = 0;
    const std::string block = game_block(&lines_per_block);
    for (auto _ : state) {
        pair.send(block);
        ProcessRawInput(pair.ours, buffer, kReceiveBufferBytes, ProcessIcsLine);
    }
    state.counters["lines/s"] = benchmark::Counter(double(state.iterations()) * lines_per_block,
                                                   benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GameStream)->Arg(kBoardView)->Arg(kHelpScreen)->Unit(benchmark::kMicrosecond);

long lines_seen;
void count_line(const char*)
{
    ++lines_seen;
}

// One read of about range(0) bytes of 16-character lines: the scan and the single move of the
// carried rest are linear, so 16 KB should cost about four times 4 KB.
void BM_OneReadOfShortLines(benchmark::State& state)
{
    const size_t size = size_t(state.range(0));
    std::string bytes;
    while (bytes.size() + 18 <= size - 1)
        bytes += "0123456789abcdef\n\r";
    Pair pair;
    static char buffer[kReceiveBufferBytes];
    buffer[0] = 0;
    lines_seen = 0;
    for (auto _ : state) {
        state.PauseTiming();
        pair.send(bytes);
        state.ResumeTiming();
        ProcessRawInput(pair.ours, buffer, kReceiveBufferBytes, count_line);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    state.counters["lines/read"] = double(lines_seen) / double(state.iterations());
}
BENCHMARK(BM_OneReadOfShortLines)->Arg(4096)->Arg(8192)->Arg(16384)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
