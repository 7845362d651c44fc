// Shared pieces of the libFuzzer harnesses: set-up, the plugin's starting state, invariants.
#include "fuzz/harness_support.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>

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

struct PaletteEntry {
    int index, red, green, blue;
};

// The plugin's palette, in the order start-up defines it.
constexpr PaletteEntry kPalette[] = {
    {1, 0, 0, 0},       {2, 255, 255, 255}, {10, 33, 105, 115}, {6, 156, 195, 189},
    {9, 132, 130, 66},  {5, 255, 255, 30},  {4, 255, 255, 140}, {7, 80, 80, 200},
    {8, 130, 130, 130}, {3, 255, 0, 0},     {12, 0, 255, 0},    {13, 0, 0, 255},
};

constexpr const char* kNames[] = {
    "",          "GuestBFUI", "computer", "Tester", "WHITE", "BLACK", "Me", "Opp",
    "Abcdefghijklmnopqrs",  // 19 letters: a full name field
};

[[noreturn]] void fail_call(const char* call)
{
    std::fprintf(stderr, "fuzz harness: %s: %s\n", call, std::strerror(errno));
    std::abort();
}

bool terminated_within(const char* field, size_t size) { return memchr(field, 0, size) != nullptr; }

void check_field(const char* name, const char* field, size_t size)
{
    if (!terminated_within(field, size))
        fail("%s is not terminated inside its %zu bytes", name, size);
}

bool all_bytes(const char* bytes, size_t count, char value)
{
    for (size_t i = 0; i < count; ++i)
        if (bytes[i] != value)
            return false;
    return true;
}

void print_board()
{
    std::fprintf(stderr, "board (screen rows 8..1, columns 1..8):\n");
    for (int row = 8; row >= 1; --row) {
        std::fprintf(stderr, "  ");
        for (int col = 1; col <= 8; ++col) {
            const char c = zeforboard[square_index(col, row)];
            std::fprintf(stderr, "%c", c == ' ' ? '.' : (c >= 32 && c < 127 ? c : '?'));
        }
        std::fprintf(stderr, "\n");
    }
}

}  // namespace

void fail(const char* format, ...)
{
    std::fprintf(stderr, "\n==== broken invariant: ");
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fprintf(stderr, "\n");
    static char dump[kTelnetLines * 100];
    telnet_dump(dump, sizeof dump);
    std::fprintf(stderr, "telnet buffer:\n%s", dump);
    print_board();
    std::abort();
}

bool is_defined_colour(unsigned colour)
{
    for (const PaletteEntry& e : kPalette)
        if (unsigned(e.index) == colour)
            return true;
    return false;
}

void set_up_process()
{
    exit_on_pause_usec = 0;
    tv_tv_usec = 0;
    signal(SIGPIPE, SIG_IGN);

    const int fd = memfd_create("fuzz-framebuffer", 0);
    if (fd < 0)
        fail_call("memfd_create");
    if (ftruncate(fd, static_cast<off_t>(gx9::kFbFileSize)) != 0)
        fail_call("ftruncate(framebuffer)");
    void* address = mmap(nullptr, gx9::kFbFileSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (address == MAP_FAILED)
        fail_call("mmap(framebuffer)");
    mapped_screen = static_cast<gx9::FbFile*>(address);
    if (FBInitialize(kScreenWidth, kScreenHeight, 8, fd) < 0)
        fail_call("FBInitialize");
    for (const PaletteEntry& e : kPalette)
        FBSetColor(e.index, e.red, e.green, e.blue);
    FBSetupColors();
    gx9_use_pig = 1;

    lcd_fd = open("/dev/null", O_WRONLY);
    if (lcd_fd < 0)
        fail_call("open(/dev/null)");
}

gx9::FbFile& screen() { return *mapped_screen; }

void reset_plugin_state()
{
    memcpy(zeforboard, kStartPosition, sizeof kStartPosition);
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
    cursorx = cursorxold = 4;
    cursory = cursoryold = 2;
    marker1x = marker1y = marker2x = marker2y = 0;
    selection_phase = 1;
    whats_showed = kBoardView;
    last_command = 0;
    icsFd = 0;
    doexit = 0;
    actcode = kKeyNone;
    realcode = kKeyNone;
    memset(mapped_screen->pixels, 0, sizeof mapped_screen->pixels);
}

const char* pick_name(uint8_t index) { return kNames[index % std::size(kNames)]; }

// ---- SocketPair ---------------------------------------------------------------------------------

SocketPair::SocketPair()
{
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0)
        fail_call("socketpair");
    plugin_end = ends[0];
    server_end = ends[1];
    if (fcntl(server_end, F_SETFL, O_NONBLOCK) != 0)
        fail_call("fcntl(server end, O_NONBLOCK)");
}

SocketPair::~SocketPair()
{
    if (plugin_end >= 0)
        close(plugin_end);
    if (server_end >= 0)
        close(server_end);
}

void SocketPair::send(const void* bytes, size_t count) const
{
    const char* p = static_cast<const char*>(bytes);
    while (count > 0) {
        const ssize_t wrote = ::send(server_end, p, count, MSG_NOSIGNAL);
        if (wrote < 0)
            fail_call("send(server end)");
        p += wrote;
        count -= size_t(wrote);
    }
}

size_t SocketPair::drain(char* out, size_t used, size_t capacity) const
{
    char scratch[4096];
    for (;;) {
        const ssize_t got = recv(server_end, scratch, sizeof scratch, 0);
        if (got <= 0)
            return used;
        const size_t room = capacity - used;
        const size_t take = size_t(got) < room ? size_t(got) : room;
        memcpy(out + used, scratch, take);
        used += take;
    }
}

// ---- Invariants -------------------------------------------------------------------------------

void check_text_fields()
{
    check_field("WhiteName", WhiteName, sizeof WhiteName);
    check_field("BlackName", BlackName, sizeof BlackName);
    check_field("WhiteRating", WhiteRating, sizeof WhiteRating);
    check_field("BlackRating", BlackRating, sizeof BlackRating);
    check_field("MyName", MyName, sizeof MyName);
    check_field("PreviousMoveLong", PreviousMoveLong, sizeof PreviousMoveLong);
    check_field("tempy", tempy, sizeof tempy);
    check_field("icsHost", icsHost, sizeof icsHost);
    check_field("icsHandle", icsHandle, sizeof icsHandle);
    check_field("icsPasswd", icsPasswd, sizeof icsPasswd);

    // The command table is written once by init; a stray write into it shows here.
    if (highest_command != kCommandsUsed - 1)
        fail("highest_command is %d", highest_command);
    for (int row = 0; row < kCommandRows; ++row) {
        const TelnetLine& line = fics_cmds[row];
        if (row >= kCommandsUsed) {
            if (!all_bytes(line.text, sizeof line.text, 0) || line.ink != 0 || line.paper != 0)
                fail("unused command row %d is not all zero", row);
            continue;
        }
        const char* end = static_cast<const char*>(memchr(line.text, 0, sizeof line.text));
        if (end == nullptr || end - line.text < 2 || end[-1] != ' ' || line.ink != 1 ||
            line.paper != 12)
            fail("command row %d is damaged", row);
    }
}

void check_board()
{
    constexpr std::string_view kSquareBytes = "KQRBNPkqrbnp ";
    for (int i = 0; i < kSquares; ++i)
        if (kSquareBytes.find(zeforboard[i]) == std::string_view::npos)
            fail("board byte %d holds %d", i, int((unsigned char)zeforboard[i]));
    if (zeforboard[kSquares] != 0)
        fail("board byte 64 is %d, not the terminator", int((unsigned char)zeforboard[kSquares]));
}

void check_telnet()
{
    for (int n = 0; n < kTelnetLines; ++n) {
        const TelnetLine& line = from_fics[n];
        const char* zero = static_cast<const char*>(memchr(line.text, 0, sizeof line.text));
        if (zero != nullptr) {
            const size_t rest = size_t(line.text + sizeof line.text - zero);
            if (!all_bytes(zero, rest, 0))
                fail("telnet record %d has bytes behind its terminator", n);
        }
        if (line.ink == 0 && line.paper == 0) {
            const bool empty = line.text[0] == 0;
            const bool blanks = all_bytes(line.text, sizeof line.text, ' ');
            if (!empty && !blanks)
                fail("telnet record %d has text but colours 0/0", n);
            continue;
        }
        if (!is_defined_colour(line.ink) || !is_defined_colour(line.paper))
            fail("telnet record %d has colours %d/%d", n, line.ink, line.paper);
    }
}

void check_game_flags()
{
    const struct {
        const char* name;
        int value;
    } flags[] = {
        {"my_color", my_color},
        {"moving_enabled", moving_enabled},
        {"WeAreNotPlaying", WeAreNotPlaying},
        {"ObserveAnnounced", ObserveAnnounced},
    };
    for (const auto& flag : flags)
        if (flag.value != 0 && flag.value != 1)
            fail("%s is %d", flag.name, flag.value);
    if (whats_showed < kBoardView || whats_showed > kFullTelnet)
        fail("whats_showed is %d", whats_showed);
    if (WhoIsOnMove != 0 && WhoIsOnMove != 'W' && WhoIsOnMove != 'B')
        fail("WhoIsOnMove is %d", int(WhoIsOnMove));
    if (Xoffset != 40 || Yoffset != 449)
        fail("board origin moved to %d, %d", Xoffset, Yoffset);
}

void check_move_state()
{
    const auto on_board = [](int v) { return v >= 1 && v <= 8; };
    if (!on_board(cursorx) || !on_board(cursory) || !on_board(cursorxold) || !on_board(cursoryold))
        fail("cursor at %d,%d (before %d,%d)", cursorx, cursory, cursorxold, cursoryold);
    const auto marker_ok = [&](int x, int y) { return (x == 0 && y == 0) || (on_board(x) && on_board(y)); };
    if (!marker_ok(marker1x, marker1y) || !marker_ok(marker2x, marker2y))
        fail("markers at %d,%d and %d,%d", marker1x, marker1y, marker2x, marker2y);
    if (selection_phase != 1 && selection_phase != 2)
        fail("selection_phase is %d", selection_phase);
    if (selection_phase == 2 && marker1x == 0)
        fail("a piece is selected but its square is not marked");
}

void check_screen_colours()
{
    bool allowed[256] = {};
    allowed[0] = true;
    for (const PaletteEntry& e : kPalette)
        allowed[e.index] = true;
    for (int y = 0; y < gx9::kHeight; ++y)
        for (int x = 0; x < gx9::kWidth; ++x)
            if (!allowed[mapped_screen->pixels[y][x]])
                fail("pixel %d,%d has undefined colour %d", x, y, mapped_screen->pixels[y][x]);
}

void check_state()
{
    check_text_fields();
    check_board();
    check_telnet();
    check_game_flags();
    check_move_state();
}

}  // namespace fuzz
