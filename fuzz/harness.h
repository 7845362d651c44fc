// What the plugin's libFuzzer harnesses share: the stand-in screen, the server socket, the
// plugin's starting state read from the front of the input, and the invariants of its state.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "host/gx9.h"
#include "ics/game_state.h"
#include "lcd/device.h"
#include "panels/telnet.h"
#include "shell/exit_on.h"
#include "shell/move_state.h"
#include "shell/screen_mode.h"
#include "sim/gx9/gx9_sim.h"

namespace fuzz {

inline gx9::FbFile* screen;
// A UNIX stream socket pair made for each input: plugin_end is the plugin's icsFd (-1 once the
// plugin has closed it), server_end the harness's, which never blocks.
inline int plugin_end = -1, server_end = -1;

// Prints what broke, the telnet buffer and the board, then aborts (libFuzzer keeps the input).
[[noreturn]] __attribute__((format(printf, 1, 2))) inline void fail(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::fprintf(stderr, "\n==== broken invariant: ");
    std::vfprintf(stderr, format, args);
    va_end(args);
    static char dump[kTelnetLines * 100];
    telnet_dump(dump, sizeof dump);
    std::fprintf(stderr, "\n%sboard, file a to h, each from rank 1: |%.64s|\n", dump, zeforboard);
    std::abort();
}

// The input, read from the front; 0 once it is used up.
struct Input {
    const uint8_t* data;
    size_t size;
    uint8_t next() { return size > 0 ? (--size, *data++) : 0; }
};

inline void send(std::string_view bytes)
{
    if (::send(server_end, bytes.data(), bytes.size(), MSG_NOSIGNAL) != ssize_t(bytes.size()))
        fail("send: %s", std::strerror(errno));
}

// Hands each line the plugin has sent, without its "\r\n", to check. The plugin writes whole
// lines, and never 64 KiB between two calls.
template <class Check> void receive_lines(Check check)
{
    static char bytes[64 << 10];
    for (ssize_t got; (got = recv(server_end, bytes, sizeof bytes, 0)) > 0;) {
        std::string_view rest(bytes, size_t(got));
        if (!rest.ends_with("\r\n"))
            fail("the plugin sent \"%.*s\", not whole lines", int(rest.size()), rest.data());
        for (size_t end; (end = rest.find("\r\n")) != rest.npos; rest.remove_prefix(end + 2))
            check(rest.substr(0, end));
    }
}

// libFuzzer's set-up, once per process (each harness includes this header once): no pauses,
// SIGPIPE ignored, a memfd framebuffer, the LCD on /dev/null.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    exit_on_pause_usec = tv_tv_usec = 0;
    signal(SIGPIPE, SIG_IGN);
    const int fd = memfd_create("fuzz-framebuffer", 0);
    void* map = fd < 0 || ftruncate(fd, off_t(gx9::kFbFileSize)) != 0
                    ? MAP_FAILED
                    : mmap(nullptr, gx9::kFbFileSize, PROT_READ, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED || FBInitialize(kScreenWidth, kScreenHeight, 8, fd) < 0 ||
        (lcd_fd = open("/dev/null", O_WRONLY)) < 0)
        fail("framebuffer or LCD set-up: %s", std::strerror(errno));
    screen = static_cast<gx9::FbFile*>(map);
    gx9_use_pig = 1;
    return 0;
}

// The start header both harnesses begin with, kStartBytes bytes: 0 whats_showed: the full telnet
// window for 15 mod 16 (it redraws seven times the text of the small one for every line, which
// would take most of the time), else the help screen for odd values, else the board view; 1 flags;
// 2 cursor (bits 0-2 column - 1, bits 3-5 row - 1); 3 board: the start position, pawns one step
// from promotion for both sides (kings a1, h8), kings only, the Ruy Lopez after 3...a6, turned
// half with kTurned; 4..6 MyName, WhiteName, BlackName; 7 LastMoveSent.
constexpr size_t kStartBytes = 8;
// clang-format off
enum StartFlags : uint8_t { kMyColour = 1, kNotPlaying = 2, kMovingEnabled = 4, kObserveAnnounced = 8,
                            kTurned = 16, kConnected = 32 /* icsFd is plugin_end, else 0 */ };
struct TextField { const char* name; char* text; size_t size; }; // terminated inside its size
inline const TextField kTextFields[] = {
    {"WhiteName", WhiteName, kNameBytes}, {"BlackName", BlackName, kNameBytes},
    {"MyName", MyName, kNameBytes}, {"WhiteRating", WhiteRating, kRatingBytes},
    {"BlackRating", BlackRating, kRatingBytes}, {"PreviousMoveLong", PreviousMoveLong, kMoveLongBytes},
    {"LastMoveSent", LastMoveSent, kSentMoveBytes}, {"tempy", tempy, kMoveTextBytes}};
constexpr const char* kBoards[] = {kStartPosition,
    "Kp    P  p    P  p    P  p    P  p    P  p    P  p    P  p    Pk",
    "K                                                              k",
    "RP   p rNP  B p BP   npbQP    pqK  Pp  k PN   pb P    pnRP    pr"};
constexpr const char* kNames[] = {"", "GuestBFUI", "computer", "Tester", "WHITE", "BLACK", "Me", "Opp",
                                  "Abcdefghijklmnopqrs" /* fills the field */};
constexpr const char* kSentMoves[] = {"", "e2e4", "e7e8=q"};
// The palette indices the plugin defines at start-up: 1..13 but 11.
constexpr bool is_defined_colour(unsigned c) { return c >= 1 && c <= 13 && c != 11; }
// clang-format on

// The plugin as start-up leaves it (screen cleared), a new server socket, then the start header
// applied; returns the flags.
inline uint8_t start(Input& in)
{
    for (int end : {plugin_end, server_end})
        if (end >= 0)
            close(end);
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) || fcntl(ends[1], F_SETFL, O_NONBLOCK))
        fail("socketpair: %s", std::strerror(errno));
    plugin_end = ends[0];
    server_end = ends[1];
    init();
    for (const TextField& f : kTextFields)
        memset(f.text, 0, f.size);
    WhoIsOnMove = 0;
    MojaUloga = last_command = doexit = 0;
    start_time = 0;
    telnet_reset();
    blank_telnet_startup_lines();
    snprintf(tempy, sizeof tempy, "%s", "     ");
    marker1x = marker1y = marker2x = marker2y = 0;
    selection_phase = 1;
    actcode = realcode = kKeyNone;
    FBFillRect(0, 0, gx9::kWidth, gx9::kHeight, 0);
    const uint8_t mode = in.next(), flags = in.next(), cursor = in.next();
    whats_showed = mode % 16 == 15 ? kFullTelnet : mode % 2;
    my_color = flags & kMyColour ? 1 : 0;
    WeAreNotPlaying = flags & kNotPlaying ? 1 : 0;
    moving_enabled = flags & kMovingEnabled ? 1 : 0;
    ObserveAnnounced = flags & kObserveAnnounced ? 1 : 0;
    icsFd = flags & kConnected ? plugin_end : 0;
    cursorx = cursorxold = 1 + (cursor & 7);
    cursory = cursoryold = 1 + ((cursor >> 3) & 7);
    memcpy(zeforboard, kBoards[in.next() % std::size(kBoards)], kSquares + 1);
    if (flags & kTurned)
        std::reverse(zeforboard, zeforboard + kSquares);
    for (char* name : {MyName, WhiteName, BlackName})
        snprintf(name, kNameBytes, "%s", kNames[in.next() % std::size(kNames)]);
    snprintf(LastMoveSent, kSentMoveBytes, "%s", kSentMoves[in.next() % std::size(kSentMoves)]);
    return flags;
}

// Text fields terminated, board bytes, telnet records, flags, cursor and markers in range.
inline void check_state()
{
    for (const TextField& f : kTextFields)
        if (memchr(f.text, 0, f.size) == nullptr)
            fail("%s is not terminated inside its %zu bytes", f.name, f.size);
    static constexpr auto kOnBoard = [] {
        std::array<bool, 256> on_board{};
        for (unsigned char c : std::string_view("KQRBNPkqrbnp "))
            on_board[c] = true;
        return on_board;
    }();
    const char* stray = std::find_if_not(zeforboard, zeforboard + kSquares,
                                         [](unsigned char c) { return kOnBoard[c]; });
    if (stray != zeforboard + kSquares || zeforboard[kSquares] != 0)
        fail("board byte %td holds neither a piece nor a blank, or byte 64 no terminator",
             stray - zeforboard);
    // Text zero-terminated with zero bytes behind, or 80 non-zero bytes; colours defined, or 0/0
    // on a start-up line (empty or 80 blanks).
    static constexpr char kZeros[kTelnetTextBytes] = {};
    static constexpr auto kBlanks = [] {
        std::array<char, kTelnetTextBytes> blanks{};
        blanks.fill(' ');
        return blanks;
    }();
    for (const TelnetLine& line : from_fics) {
        const size_t length = strnlen(line.text, sizeof line.text);
        if (memcmp(line.text + length, kZeros, sizeof line.text - length) != 0 ||
            (line.ink == 0 && line.paper == 0
                 ? length != 0 && memcmp(line.text, kBlanks.data(), sizeof line.text) != 0
                 : !is_defined_colour(line.ink) || !is_defined_colour(line.paper)))
            fail("telnet record %d is damaged", int(&line - from_fics));
    }
    for (int flag : {my_color, moving_enabled, WeAreNotPlaying, ObserveAnnounced})
        if (flag != 0 && flag != 1)
            fail("a flag is %d", flag);
    if (whats_showed < kBoardView || whats_showed > kFullTelnet ||
        (WhoIsOnMove != 0 && WhoIsOnMove != 'W' && WhoIsOnMove != 'B'))
        fail("whats_showed is %d, WhoIsOnMove %d", whats_showed, WhoIsOnMove);
    const auto square = [](int x, int y) { return x >= 1 && x <= 8 && y >= 1 && y <= 8; };
    const auto marker = [&](int x, int y) { return (x == 0 && y == 0) || square(x, y); };
    if (!square(cursorx, cursory) || !square(cursorxold, cursoryold) ||
        !marker(marker1x, marker1y) || !marker(marker2x, marker2y) ||
        (selection_phase != 1 && (selection_phase != 2 || marker1x == 0)))
        fail("cursor at %d,%d (before %d,%d), markers at %d,%d and %d,%d, phase %d", cursorx,
             cursory, cursorxold, cursoryold, marker1x, marker1y, marker2x, marker2y,
             selection_phase);
}

// Every pixel 0 or a defined colour. Without the sanitizers' checks on these reads of the
// harness's own mapping (and calls, which would not be inlined) the scan is vectorised: as a
// maximum it takes 16 pixels a step (a reduction by | took 4).
__attribute__((no_sanitize("address", "undefined"))) inline void check_screen()
{
    const uint8_t* pixels = &screen->pixels[0][0];
    uint8_t highest = 0; // the highest index on the screen, 11 taken as 255
    for (size_t i = 0; i < sizeof screen->pixels; ++i) {
        const uint8_t pixel = pixels[i] == 11 ? 255 : pixels[i];
        highest = pixel > highest ? pixel : highest;
    }
    for (size_t i = 0; highest > 13 && i < sizeof screen->pixels; ++i)
        if (pixels[i] != 0 && !is_defined_colour(pixels[i]))
            fail("pixel %zu,%zu has undefined colour %d", i % gx9::kWidth, i / gx9::kWidth,
                 pixels[i]);
}

} // namespace fuzz
