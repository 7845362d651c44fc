// Multi-tap word entry: digit keys cycle through letter groups, as on a telephone keypad.
#include "dialogs/word_entry.h"

#include <array>
#include <cstring>
#include <string_view>

#include "board/text.h"
#include "dialogs/poll.h"
#include "host/gx9.h"
#include "shell/screen_mode.h"

namespace {

// Letter group of each digit key, indexed by the key; after the group a press gives the digit.
constexpr std::array<std::string_view, 10> kLetterGroups = {
    " ", "1 -", "ABC", "DEF", "GHI", "JKL", "MNO", "PQRS", "TUV", "WXYZ",
};

constexpr int kNoKey = -1;
constexpr int kCycleShowsDigit = -1; // the next press of the same key starts the group again

// The panel area the entry blanks when it ends (part of the clock and move panel).
constexpr int kBlankX = 480, kBlankY = 180, kBlankWidth = 181, kBlankHeight = 101;

char word[kWordBytes];

// Edit state of one entry. position is the index of the last character taken, -1 while none.
struct WordEdit {
    int x, y, height;
    int count;
    int position;
    int last_key;
    int cycle;
    int drawn_width;
};

void draw_word(WordEdit& edit)
{
    zefor_print_string(edit.x, edit.y, word, kWordInk, kWordPaper);
    edit.drawn_width = kWordAdvance * static_cast<int>(strlen(word));
}

// Writes c at the current position with the marker space and the terminator behind it.
// Callers keep position below kWordLongest, so both stay inside the buffer.
void put_at_position(const WordEdit& edit, char c)
{
    word[edit.position] = c;
    word[edit.position + 1] = ' ';
    word[edit.position + 2] = '\0';
}

void take_next_position(WordEdit& edit)
{
    ++edit.count;
    ++edit.position;
}

void type_digit(WordEdit& edit, int key)
{
    const std::string_view group = kLetterGroups[static_cast<size_t>(key)];
    // With nothing taken there is no character to cycle, whatever key came last.
    if (key != edit.last_key || edit.position < 0) {
        take_next_position(edit);
        edit.cycle = 0;
        edit.last_key = key;
        put_at_position(edit, group[0]);
    } else if (++edit.cycle < static_cast<int>(group.size())) {
        put_at_position(edit, group[static_cast<size_t>(edit.cycle)]);
    } else {
        put_at_position(edit, static_cast<char>('0' + key));
        edit.cycle = kCycleShowsDigit;
    }
    draw_word(edit);
}

// LEFT: the last character becomes the marker space; the last key and its cycle stay, so the
// next press of that key cycles the character now at the current position.
void erase_last(WordEdit& edit)
{
    word[edit.position] = ' ';
    word[edit.position + 1] = '\0';
    FBFillRect(edit.x, edit.y, edit.drawn_width, edit.height, kWordPaper);
    zefor_print_string(edit.x, edit.y, word, kWordInk, kWordPaper);
    --edit.position;
    --edit.count;
    edit.drawn_width = kWordAdvance * static_cast<int>(strlen(word));
}

// RIGHT: the marker space becomes part of the text. Nothing is redrawn.
void take_space(WordEdit& edit)
{
    take_next_position(edit);
    put_at_position(edit, ' ');
    edit.cycle = kCycleShowsDigit;
}

int clamp_length(int maximum_length)
{
    if (maximum_length < 0)
        return 0;
    return maximum_length > kWordLongest ? kWordLongest : maximum_length;
}

} // namespace

const char* ZeforEnterWord(int x, int y, int height, int maximum_length)
{
    const int longest = clamp_length(maximum_length);
    memset(word, 0, sizeof word);
    WordEdit edit{x, y, height, 0, -1, kNoKey, 0, 0};
    unsigned short previous_code = kKeyNone;
    bool acted = false;

    while (edit.count < longest && doexit == 0) {
        dialog_pause(tv_tv_usec);
        actcode = kKeyNone;
        RcGetActCode();
        if (doexit != 0)
            break; // a key that came with the request to leave is not taken
        const unsigned short code = actcode;
        // A key held down repeats its press; only the first one counts.
        if (realcode != kKeyNone && acted && code == previous_code)
            continue;
        acted = true;
        previous_code = code;

        if (code <= 9)
            type_digit(edit, code);
        else if (code == kKeyLeft && edit.count >= 1)
            erase_last(edit);
        else if (code == kKeyRight)
            take_space(edit);
        else if (code == kKeyOk && edit.count >= 1)
            break;
    }

    word[edit.position + 1] = '\0'; // the marker space goes; every character taken stays
    dialog_wait_release();
    actcode = kKeyNone;
    FBFillRect(kBlankX, kBlankY, kBlankWidth, kBlankHeight, 1);
    return word;
}
