// The command picker's table of server commands.
#include "dialogs/command_table.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr std::array<std::string_view, kCommandsUsed> kCommandWords = {
    "abort ",    "accept ", "adjourn ",  "alias ",     "backward ",  "best ",     "clearmessages ",
    "decline ",  "draw ",   "examine ",  "finger ",    "flag ",      "follow ",   "forward ",
    "games ",    "help ",   "history ",  "kibitz ",    "match ",     "messages ", "moretime ",
    "news ",     "next ",   "observe ",  "pending ",   "play ",      "rank ",     "resign ",
    "resume ",   "say ",    "set ",      "seek ",      "shout ",     "sought ",   "stored ",
    "takeback ", "tell ",   "unalias ",  "unexamine ", "unobserve ", "unseek ",   "variables ",
    "whisper ",  "who ",    "withdraw ",
};

constexpr unsigned char kEchoInk = 1;    // black
constexpr unsigned char kEchoPaper = 12; // green

} // namespace

TelnetLine fics_cmds[kCommandRows];
int highest_command;

void fill_fics_cmds()
{
    memset(fics_cmds, 0, sizeof fics_cmds);
    for (size_t i = 0; i < kCommandWords.size(); ++i) {
        snprintf(fics_cmds[i].text, sizeof fics_cmds[i].text, "%.*s",
                 static_cast<int>(kCommandWords[i].size()), kCommandWords[i].data());
        fics_cmds[i].ink = kEchoInk;
        fics_cmds[i].paper = kEchoPaper;
    }
    highest_command = kCommandsUsed - 1;
}
