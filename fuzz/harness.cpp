// What the plugin's libFuzzer harnesses share: set-up, the starting state, the invariants.
#include "fuzz/harness.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "dialogs/command_table.h"
#include "host/gx9.h"
#include "ics/game_state.h"
#include "lcd/device.h"
#include "panels/telnet.h"
#include "shell/config.h"
#include "shell/exit_on.h"
#include "shell/move_state.h"
#include "shell/screen_mode.h"

namespace fuzz {
namespace {

gx9::FbFile* mapped_screen = nullptr;
TelnetLine commands_after_init[kCommandRows];

// The palette indices the plugin defines at start-up: 1..13 but 11.
constexpr uint32_t kDefinedColours = 0x37fe;
static_assert(kDefinedColours == ((1u << 14) - 2 - (1u << 11))); // as check_screen tests them

constexpr const char* kNames[] = {
    "", "GuestBFUI", "computer", "Tester", "WHITE", "BLACK", "Me", "Opp",
    "Abcdefghijklmnopqrs", // 19 letters: a full name field
};
constexpr const char* kBoards[] = {
    kStartPosition,
    "Kp    P  p    P  p    P  p    P  p    P  p    P  p    P  p    Pk",
    "K                                                              k",
    "RP   p rNP  B p BP   npbQP    pqK  Pp  k PN   pb P    pnRP    pr",
};
constexpr const char* kSentMoves[] = {"", "e2e4", "e7e8=q"};

[[noreturn]] void fail_call(const char* call)
{
    std::fprintf(stderr, "fuzz harness: %s: %s\n", call, std::strerror(errno));
    std::abort();
}

void check_terminated(const char* name, const char* field, size_t size)
{
    if (memchr(field, 0, size) == nullptr)
        fail("%s is not terminated inside its %zu bytes", name, size);
}

bool all_bytes(const char* bytes, size_t count, char value)
{
    return std::all_of(bytes, bytes + count, [value](char c) { return c == value; });
}

bool on_board(int col, int row) { return col >= 1 && col <= 8 && row >= 1 && row <= 8; }

} // namespace

void fail(const char* format, ...)
{
    std::fprintf(stderr, "\n==== broken invariant: ");
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    static char dump[kTelnetLines * 100];
    telnet_dump(dump, sizeof dump);
    std::fprintf(stderr, "\ntelnet buffer:\n%sboard (rows 8..1, columns 1..8):\n", dump);
    for (int row = 8; row >= 1; --row) {
        for (int col = 1; col <= 8; ++col) {
            const char c = zeforboard[square_index(col, row)];
            std::fputc(c == ' ' ? '.' : (c > 32 && c < 127 ? c : '?'), stderr);
        }
        std::fputc('\n', stderr);
    }
    std::abort();
}

bool is_defined_colour(unsigned colour) { return colour < 32 && (kDefinedColours >> colour) & 1; }

void set_up_process()
{
    exit_on_pause_usec = 0;
    tv_tv_usec = 0;
    signal(SIGPIPE, SIG_IGN);
    const int fd = memfd_create("fuzz-framebuffer", 0);
    if (fd < 0 || ftruncate(fd, off_t(gx9::kFbFileSize)) != 0)
        fail_call("memfd_create(framebuffer)");
    void* address = mmap(nullptr, gx9::kFbFileSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (address == MAP_FAILED)
        fail_call("mmap(framebuffer)");
    mapped_screen = static_cast<gx9::FbFile*>(address);
    if (FBInitialize(kScreenWidth, kScreenHeight, 8, fd) < 0)
        fail_call("FBInitialize");
    gx9_use_pig = 1;
    lcd_fd = open("/dev/null", O_WRONLY);
    if (lcd_fd < 0)
        fail_call("open(/dev/null)");
    init();
    memcpy(commands_after_init, fics_cmds, sizeof fics_cmds);
}

gx9::FbFile& screen() { return *mapped_screen; }

uint8_t start(Input& in, const Server& server)
{
    init();
    memset(MyName, 0, sizeof MyName);
    memset(WhiteRating, 0, sizeof WhiteRating);
    memset(BlackRating, 0, sizeof BlackRating);
    memset(PreviousMoveLong, 0, sizeof PreviousMoveLong);
    WhoIsOnMove = 0;
    MojaUloga = 0;
    start_time = 0;
    telnet_reset();
    blank_telnet_startup_lines();
    snprintf(tempy, sizeof tempy, "%s", "     ");
    marker1x = marker1y = marker2x = marker2y = 0;
    selection_phase = 1;
    last_command = 0;
    doexit = 0;
    actcode = realcode = kKeyNone;
    memset(mapped_screen->pixels, 0, sizeof mapped_screen->pixels);

    whats_showed = in.next() % 3;
    const uint8_t flags = in.next();
    my_color = flags & kMyColour ? 1 : 0;
    WeAreNotPlaying = flags & kNotPlaying ? 1 : 0;
    moving_enabled = flags & kMovingEnabled ? 1 : 0;
    ObserveAnnounced = flags & kObserveAnnounced ? 1 : 0;
    icsFd = flags & kConnected ? server.plugin_end : 0;
    const uint8_t cursor = in.next();
    cursorx = cursorxold = 1 + (cursor & 7);
    cursory = cursoryold = 1 + ((cursor >> 3) & 7);
    memcpy(zeforboard, kBoards[in.next() % std::size(kBoards)], kSquares + 1);
    if (flags & kTurned)
        std::reverse(zeforboard, zeforboard + kSquares);
    for (char* name : {MyName, WhiteName, BlackName})
        snprintf(name, kNameBytes, "%s", kNames[in.next() % std::size(kNames)]);
    snprintf(LastMoveSent, sizeof LastMoveSent, "%s", kSentMoves[in.next() % std::size(kSentMoves)]);
    return flags;
}

// ---- Server -------------------------------------------------------------------------------------

Server::Server()
{
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0 || fcntl(ends[1], F_SETFL, O_NONBLOCK) != 0)
        fail_call("socketpair");
    plugin_end = ends[0];
    server_end = ends[1];
}

Server::~Server()
{
    for (int end : {plugin_end, server_end})
        if (end >= 0)
            close(end);
}

void Server::send(std::string_view bytes) const
{
    while (!bytes.empty()) {
        const ssize_t wrote = ::send(server_end, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (wrote < 0)
            fail_call("send(server end)");
        bytes.remove_prefix(size_t(wrote));
    }
}

size_t Server::receive(char* out, size_t capacity) const
{
    size_t used = 0;
    for (ssize_t got; used < capacity && (got = recv(server_end, out + used, capacity - used, 0)) > 0;)
        used += size_t(got);
    return used;
}

// ---- Invariants ---------------------------------------------------------------------------------

void check_state()
{
    const struct {
        const char* name;
        const char* field;
        size_t size;
    } fields[] = {
        {"WhiteName", WhiteName, sizeof WhiteName},     {"BlackName", BlackName, sizeof BlackName},
        {"WhiteRating", WhiteRating, kRatingBytes},     {"BlackRating", BlackRating, kRatingBytes},
        {"MyName", MyName, sizeof MyName},              {"PreviousMoveLong", PreviousMoveLong, kMoveLongBytes},
        {"tempy", tempy, sizeof tempy},                 {"LastMoveSent", LastMoveSent, kSentMoveBytes},
        {"icsHost", icsHost, sizeof icsHost},           {"icsHandle", icsHandle, sizeof icsHandle},
        {"icsPasswd", icsPasswd, sizeof icsPasswd},
    };
    for (const auto& f : fields)
        check_terminated(f.name, f.field, f.size);
    // Written once by init: a stray write into the table shows here.
    if (highest_command != kCommandsUsed - 1 ||
        memcmp(fics_cmds, commands_after_init, sizeof fics_cmds) != 0)
        fail("the command table changed");

    for (int i = 0; i < kSquares; ++i)
        if (std::string_view("KQRBNPkqrbnp ").find(zeforboard[i]) == std::string_view::npos)
            fail("board byte %d holds %d", i, int((unsigned char)zeforboard[i]));
    if (zeforboard[kSquares] != 0)
        fail("board byte 64 is not the terminator");

    // Text zero-terminated with zero bytes behind, or 80 non-zero bytes; colours defined, or 0/0
    // on a start-up line (empty or 80 blanks).
    for (int n = 0; n < kTelnetLines; ++n) {
        const TelnetLine& line = from_fics[n];
        const char* zero = static_cast<const char*>(memchr(line.text, 0, sizeof line.text));
        if (zero != nullptr && !all_bytes(zero, size_t(std::end(line.text) - zero), 0))
            fail("telnet record %d has bytes behind its terminator", n);
        const bool start_up = line.text[0] == 0 || all_bytes(line.text, sizeof line.text, ' ');
        if (line.ink == 0 && line.paper == 0 ? !start_up
                                             : !is_defined_colour(line.ink) || !is_defined_colour(line.paper))
            fail("telnet record %d has colours %d/%d", n, line.ink, line.paper);
    }

    for (int flag : {my_color, moving_enabled, WeAreNotPlaying, ObserveAnnounced})
        if (flag != 0 && flag != 1)
            fail("a flag is %d (my_color %d, moving_enabled %d, WeAreNotPlaying %d, "
                 "ObserveAnnounced %d)", flag, my_color, moving_enabled, WeAreNotPlaying, ObserveAnnounced);
    if (whats_showed < kBoardView || whats_showed > kFullTelnet)
        fail("whats_showed is %d", whats_showed);
    if (WhoIsOnMove != 0 && WhoIsOnMove != 'W' && WhoIsOnMove != 'B')
        fail("WhoIsOnMove is %d", int(WhoIsOnMove));
    if (Xoffset != 40 || Yoffset != 449)
        fail("board origin moved to %d, %d", Xoffset, Yoffset);

    const auto marker_ok = [](int x, int y) { return (x == 0 && y == 0) || on_board(x, y); };
    if (!on_board(cursorx, cursory) || !on_board(cursorxold, cursoryold) ||
        !marker_ok(marker1x, marker1y) || !marker_ok(marker2x, marker2y))
        fail("cursor at %d,%d (before %d,%d), markers at %d,%d and %d,%d", cursorx, cursory,
             cursorxold, cursoryold, marker1x, marker1y, marker2x, marker2y);
    if (selection_phase != 1 && (selection_phase != 2 || marker1x == 0))
        fail("selection_phase is %d with the marker at %d,%d", selection_phase, marker1x, marker1y);
}

// Reads the harness's own mapping, which the address sanitizer does not track: without the
// sanitizers' checks the scan is vectorised, some fifty times faster.
__attribute__((no_sanitize("address", "undefined"))) void check_screen()
{
    const uint8_t* pixels = &mapped_screen->pixels[0][0];
    constexpr size_t kPixels = sizeof mapped_screen->pixels;
    uint8_t undefined = 0;
    for (size_t i = 0; i < kPixels; ++i)
        undefined |= (pixels[i] == 11) | (pixels[i] > 13);
    if (undefined == 0)
        return;
    const uint8_t* bad = std::find_if(pixels, pixels + kPixels, [](uint8_t c) { return c != 0 && !is_defined_colour(c); });
    fail("pixel %zu,%zu has undefined colour %d", size_t(bad - pixels) % gx9::kWidth,
         size_t(bad - pixels) / gx9::kWidth, *bad);
}

} // namespace fuzz
