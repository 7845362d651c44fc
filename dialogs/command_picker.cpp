// The command picker: one command of the table at a time, stepped through with the arrow keys.
#include "dialogs/command_picker.h"

#include <algorithm>
#include <cstdio>

#include "board/text.h"
#include "dialogs/command_table.h"
#include "dialogs/poll.h"
#include "host/gx9.h"

namespace {

// The clock and move panel area that OK blanks on its way out.
constexpr int kBlankX = 470, kBlankY = 115, kBlankWidth = 230, kBlankHeight = 215;

// A row's text may fill all its bytes without a terminator: print a bounded copy.
void draw_command_row(int index)
{
    char text[kTelnetTextBytes + 1];
    snprintf(text, sizeof text, "%.*s", kTelnetTextBytes, fics_cmds[index].text);
    zefor_print_string(kCommandTextX, kCommandBarY, text, kCommandInk, kCommandPaper);
}

int row_after_key(int index, unsigned short key, int last)
{
    switch (key) {
    case kKeyRight:
        return index + kCommandJump > last ? 0 : index + kCommandJump;
    case kKeyLeft:
        return index - kCommandJump < 0 ? last : index - kCommandJump;
    case kKeyUp:
        return index - 1 < 0 ? last : index - 1;
    case kKeyDown:
        return index + 1 > last ? 0 : index + 1;
    default:
        return index;
    }
}

bool is_arrow(unsigned short key)
{
    return key == kKeyRight || key == kKeyLeft || key == kKeyUp || key == kKeyDown;
}

} // namespace

int pitaj_koja_komanda(int index)
{
    // The table's own bound keeps every row read inside fics_cmds.
    const int last = std::clamp(highest_command, 0, kCommandRows - 1);
    if (index < 0 || index > last)
        index = 0;
    zefor_print_string(kPromptX, kCommandBarY, kCommandPrompt, kCommandInk, kCommandPaper);
    draw_command_row(index);

    while (doexit == 0) {
        if (!dialog_next_key(kKeyCleared))
            break;
        const unsigned short key = actcode;
        if (key == kKeyOk) {
            FBFillRect(kBlankX, kBlankY, kBlankWidth, kBlankHeight, 1);
            actcode = kKeyCleared;
            return index;
        }
        if (is_arrow(key)) {
            index = row_after_key(index, key, last);
            FBFillRect(kCommandTextX, kCommandBarY, kCommandTextWidth, kCommandTextHeight,
                       kCommandPaper);
            draw_command_row(index);
        }
        actcode = kKeyCleared;
    }
    return index;
}
