// The telnet window: the 28-record line buffer, appending with physical scroll, and drawing.
#include "panels/telnet.h"

#include <cstdio>
#include <cstring>

#include "board/text.h"
#include "host/gx9.h"
#include "ics/game_state.h"
#include "shell/screen_mode.h"

TelnetLine from_fics[kTelnetLines];

namespace {

constexpr char kEightyTwoBlanks[] =
    "                                                                                  ";
static_assert(sizeof(kEightyTwoBlanks) == 82 + 1);

constexpr unsigned char kWindowPaper = 1;

// Length of a record's text: up to its first zero byte, 80 when it has none.
size_t record_length(const TelnetLine& line)
{
    const void* zero = memchr(line.text, '\0', sizeof line.text);
    return zero ? static_cast<size_t>(static_cast<const char*>(zero) - line.text)
                : sizeof line.text;
}

void store_text(TelnetLine& line, const char* text, size_t length)
{
    memcpy(line.text, text, length);
    memset(line.text + length, 0, sizeof line.text - length);
}

void draw_records(int first, int last)
{
    const int x = Xoffset - kTelnetLeftOfBoard;
    char scratch[kTelnetDrawnChars + 1];
    for (int n = first; n <= last; ++n) {
        const TelnetLine& line = from_fics[n];
        size_t length = record_length(line);
        if (length > kTelnetDrawnChars)
            length = kTelnetDrawnChars;
        memcpy(scratch, line.text, length);
        scratch[length] = '\0';
        zefor_print9_string(x, kTelnetTop + kTelnetLineHeight * n, scratch, line.ink, line.paper);
    }
}

} // namespace

const char* const empty_line80 = kEightyTwoBlanks;

void add_to_telnet(const char* text, int ink, int paper)
{
    // Taken before the scroll, which would change a text that points into the buffer itself.
    char incoming[kTelnetTextBytes];
    const char* source = text ? text : "";
    const size_t length = strnlen(source, sizeof incoming);
    memcpy(incoming, source, length);

    // Every record's text is already zero-filled behind its end (all three writers keep it so):
    // the scroll moves the 27 newer records down whole, in one move.
    memmove(&from_fics[0], &from_fics[1], sizeof(TelnetLine) * (kTelnetLines - 1));
    TelnetLine& newest = from_fics[kTelnetLines - 1];
    store_text(newest, incoming, length);
    newest.ink = static_cast<unsigned char>(ink);
    newest.paper = static_cast<unsigned char>(paper);

    if (whats_showed == kFullTelnet)
        display_telnet();
    else
        display_small_telnet();
}

void display_telnet()
{
    FBFillRect(Xoffset - kTelnetLeftOfBoard, kTelnetTop, kTelnetWidth, kFullTelnetHeight,
               kWindowPaper);
    draw_records(0, kTelnetLines - 1);
}

void display_small_telnet()
{
    FBFillRect(Xoffset - kTelnetLeftOfBoard, kSmallTelnetTop, kTelnetWidth, kSmallTelnetHeight,
               kWindowPaper);
    draw_records(kSmallTelnetFirstLine, kTelnetLines - 1);
}

void blank_telnet_startup_lines()
{
    for (int i = 0; i < kTelnetStartupBlankLines; ++i)
        memcpy(from_fics[i].text, empty_line80, kTelnetTextBytes);
}

void telnet_reset()
{
    memset(from_fics, 0, sizeof from_fics);
}

int telnet_dump(char* out, size_t size)
{
    int total = 0;
    for (int n = 0; n < kTelnetLines; ++n) {
        const TelnetLine& line = from_fics[n];
        const size_t used = static_cast<size_t>(total) < size ? static_cast<size_t>(total) : size;
        const int wrote = snprintf(out + used, size - used, "%02d %d/%d |%.*s|\n", n, line.ink,
                                   line.paper, static_cast<int>(record_length(line)), line.text);
        if (wrote < 0)
            return wrote;
        total += wrote;
    }
    return total;
}
