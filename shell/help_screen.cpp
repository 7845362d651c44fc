// The help screen: three headings, eight key rows, three key names on their own colours.
#include "shell/help_screen.h"

#include <array>
#include <cstdio>

#include "board/text.h"
#include "host/gx9.h"

char ispisati[kHelpLineBytes];

namespace {

struct Heading {
    int x, y, height;
    const char* text;
    unsigned char color;
};

// Drawn in this order: "Plugin" falls into the gap the title's leading blanks leave.
constexpr std::array<Heading, 3> kHeadings = {{
    {40, 25, 56, "      F I C S  CLIENT  1.9", 6},
    {40, 32, 48, "Plugin", 10},
    {40, 165, 48, "Commands", 5},
}};

struct HelpRow {
    int y;
    const char* text;
};

constexpr std::array<HelpRow, 8> kRows = {{
    {220, "HELP   -> this screen"},
    {250, "MUTE   -> pause!? dummy"},
    {280, "ARROWS -> move pointer around"},
    {310, "OK     -> select & make move"},
    {340, "RED    -> full telnet window"},
    {370, "YELLOW -> select from list"},
    {400, "BLUE   -> type in words"},
    {430, "EXIT   -> exit game"},
}};

struct KeyName {
    int y;
    const char* text;
    unsigned char paper;
};

// Key names printed again over the start of their rows, black on the key's own colour.
constexpr std::array<KeyName, 3> kKeyNames = {{
    {340, "RED   ", 3},
    {370, "YELLOW", 5},
    {400, "BLUE  ", 13},
}};

constexpr int kRowX = 120;
constexpr unsigned char kRowInk = 4;
constexpr unsigned char kBlack = 1;

} // namespace

void draw_help_screen()
{
    FBFillRect(40, 25, 424, 424, kBlack);
    for (const Heading& h : kHeadings)
        FBDrawString(h.x, h.y, h.height, h.text, h.color, kBlack);
    for (const HelpRow& row : kRows) {
        snprintf(ispisati, sizeof ispisati, "%s", row.text);
        zefor_print_string(kRowX, row.y, ispisati, kRowInk, kBlack);
    }
    for (const KeyName& key : kKeyNames)
        zefor_print_string(kRowX, key.y, key.text, kBlack, key.paper);
}
