// Drawing the command bar in its plain and highlighted forms.
#include "shell/command_bar.h"

#include "board/text.h"
#include "dialogs/command_picker.h"
#include "host/gx9.h"

namespace {

constexpr unsigned char kBlack = 1;
constexpr unsigned char kWhite = 2;
constexpr unsigned char kPromptInk = 4;
constexpr unsigned char kOutlineGrey = 8;

void fill_bar()
{
    FBFillRect(30, 532, 660, 18, kBlack);
}
void outline(unsigned char color)
{
    FBDrawRect(28, 530, 664, 22, color);
}
void double_outline(unsigned char color)
{
    FBDrawRect(28, 530, 664, 22, color);
    FBDrawRect(29, 531, 664, 22, color);
}
void prompt()
{
    zefor_print_string(30, 532, kCommandPrompt, kPromptInk, kBlack);
}

} // namespace

void draw_command_bar()
{
    fill_bar();
    outline(kOutlineGrey);
    prompt();
}

void highlight_command_bar_for_picker()
{
    double_outline(kWhite);
    fill_bar();
    prompt();
}

void highlight_command_bar_for_word()
{
    fill_bar();
    double_outline(kWhite);
    prompt();
}

void restore_command_bar()
{
    fill_bar();
    double_outline(kBlack);
    outline(kOutlineGrey);
    prompt();
}
