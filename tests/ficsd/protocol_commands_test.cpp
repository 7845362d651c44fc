// The command interpreter over loopback sockets: the plugin's whole command list, unknown
// commands, talk, lists and wrapping at the set width.
#include <gtest/gtest.h>

#include "ficsd_harness.h"

using namespace ficsd_test;

TEST(Commands, EveryWordOfThePluginsListIsAnswered)
{
    FicsdProcess server({"--no-computer"});
    Client c(server.port());
    c.login_guest();
    // The picker sends the word, one space, CR LF. The answers for a user who is neither playing
    // nor observing, up to the prompt.
    const std::pair<const char*, const char*> rows[] = {
        {"abort", "You are not playing or examining a game."},
        {"accept", "You have no offers to accept."},
        {"adjourn", "You are not playing or examining a game."},
        {"alias", "You have no aliases."},
        {"backward", "You are not examining any games."},
        {"best", "Ratings are not supported by this server, so there is no list of best players."},
        {"clearmessages", "You have no messages."},
        {"decline", "You have no offers to decline."},
        {"draw", "You are not playing or examining a game."},
        {"examine", "Examining games is not supported by this server."},
        {"finger", "Finger of "},
        {"flag", "You are not playing or examining a game."},
        {"follow", "You will not follow any player's games."},
        {"forward", "You are not examining any games."},
        {"games", "  0 games displayed."},
        {"help", "Commands of this server:"},
        {"history", " has no history games."},
        {"kibitz", "Usage: kibitz message"},
        {"match", "Usage: match name [time inc] [white|black]"},
        {"messages", "You have no messages."},
        {"moretime", "You are not playing or examining a game."},
        {"news", "Index of news items:"},
        {"next", "There is no more."},
        {"observe", "Usage: observe game_number|name"},
        {"pending", "There are no offers pending TO other players.\n\r\n\rThere are no offers "
                    "pending FROM other players."},
        {"play", "Usage: play index|name"},
        {"rank", "Ratings are not supported by this server, so there are no ranks."},
        {"resign", "You are not playing or examining a game."},
        {"resume", "You have no adjourned games: adjourning is not supported by this server."},
        {"say", "Usage: say message"},
        {"set", "Usage: set variable [value]"},
        {"seek", "Your seek has been posted with index 1."},
        {"shout", "Usage: shout message"},
        {"sought", "  1 ++++ Guest"},
        {"stored", " has no adjourned games."},
        {"takeback", "You are not playing or examining a game."},
        {"tell", "Usage: tell name message"},
        {"unalias", "Usage: unalias name"},
        {"unexamine", "You are not examining any games."},
        {"unobserve", "You are not observing any games."},
        {"unseek", "Your seeks have been removed."},
        {"variables", "Variable settings of Guest"},
        {"whisper", "Usage: whisper message"},
        {"who", "1 player displayed (of 1)."},
        {"withdraw", "You have no offers to withdraw."},
    };
    static_assert(std::size(rows) == 45, "the plugin's list has 45 commands");
    for (const auto& [word, answer] : rows) {
        c.send(std::string(word) + " \r\n");
        const std::string reply = c.read_until("fics% ");
        EXPECT_NE(reply.find(answer), std::string::npos) << word << " answered:\n" << reply;
        EXPECT_EQ(reply.find("Command not found"), std::string::npos) << word;
    }
}

TEST(Commands, UnknownAndAbbreviatedCommands)
{
    FicsdProcess server({"--no-computer"});
    Client c(server.port());
    c.login_guest();
    // text sent, the whole reply
    const std::pair<const char*, const char*> rows[] = {
        {"xxx", "xxx: Command not found.\n\rfics% "},
        {"Foo bar baz", "Foo: Command not found.\n\rfics% "},
        {"   ", "fics% "},
        {"WHO", " ++++ "},
        {"obs 7", "There is no such game.\n\rfics% "},
        {"un", "Ambiguous command \"un\". Matches: unalias unexamine unobserve unseek\n\rfics% "},
        {"style 3", "Style 3 is not supported by this server; styles 1 and 12 are.\n\rfics% "},
        {"set width 10", "Width must be between 32 and 240.\n\rfics% "},
        {"set foo 1", "No such variable \"foo\".\n\rfics% "},
        {"tell nobody hi", "No user named \"nobody\" is logged in.\n\rfics% "},
        {"refresh", "You are neither playing, observing nor examining a game.\n\rfics% "},
    };
    for (const auto& [text, reply] : rows) {
        c.line(text);
        const std::string got = c.read_until("fics% ");
        if (std::string(reply).find("fics% ") != std::string::npos)
            EXPECT_EQ(got, reply) << text;
        else
            EXPECT_NE(got.find(reply), std::string::npos) << text << ":\n" << got;
    }
}

TEST(Commands, TalkReachesTheRightPeopleInTheRightForm)
{
    FicsdProcess server({"--no-computer"});
    Client a(server.port()), b(server.port()), c(server.port());
    const std::string an = a.login_guest(), bn = b.login_guest();
    c.login_guest();
    a.line("tell " + bn + " hello there");
    EXPECT_EQ(a.read_until("fics% "), "(told " + bn + ")\n\rfics% ");
    EXPECT_EQ(b.read_until("fics% "), "\n\r" + an + "(U) tells you: hello there\n\rfics% ");
    a.line("say hi");
    EXPECT_EQ(a.read_until("fics% "), "I don't know whom to say that to.\n\rfics% ");
    b.line("shout anyone?");
    EXPECT_EQ(b.read_until("fics% "), "(2 player(s) heard you shout)\n\rfics% ");
    for (Client* other : {&a, &c})
        EXPECT_EQ(other->read_until("fics% "), "\n\r" + bn + "(U) shouts: anyone?\n\rfics% ");
    // "say" goes to the opponent once there is a game.
    a.line("match " + bn + " 5 0");
    a.read_until("fics% ");
    b.read_until("propose different parameters.\n\rfics% ");
    b.line("accept");
    b.read_until("fics% ");
    a.read_until("fics% ");
    a.line("say good luck");
    EXPECT_NE(a.read_until("fics% ").find("(told " + bn + ", who is playing)"), std::string::npos);
    EXPECT_EQ(b.read_until("fics% "), "\n\r" + an + "(U)[1] says: good luck\n\rfics% ");
}

TEST(Commands, LongLinesWrapAtTheSetWidthButBoardLinesDoNot)
{
    FicsdProcess server({"--no-computer"});
    Client a(server.port()), b(server.port());
    const std::string an = a.login_guest();
    const std::string bn = b.login_guest();
    b.line("set width 40");
    b.read_until("fics% ");
    a.line("tell " + bn + " the quick brown fox jumps over the lazy dog and then some more");
    a.read_until("fics% ");
    EXPECT_EQ(b.read_until("fics% "), "\n\r" + an +
                                          "(U) tells you: the quick brown\n\r"
                                          "\\   fox jumps over the lazy dog and then\n\r"
                                          "\\   some more\n\rfics% ");
    a.line("match " + bn + " 5 0");
    a.read_until("fics% ");
    b.read_until("propose different parameters.\n\rfics% ");
    b.line("accept");
    const std::string board = last_board_line(b.read_until("fics% "));
    EXPECT_GT(board.size(), 40u);
    EXPECT_EQ(board_fields(board).size(), 32u) << board;
}

TEST(Commands, GamesWhoAndPendingListWhatIsGoingOn)
{
    FicsdProcess server({"--no-computer"});
    Client a(server.port()), b(server.port());
    const std::string an = a.login_guest(), bn = b.login_guest();
    a.line("match " + bn + " 3 0 black");
    EXPECT_EQ(a.read_until("fics% "),
              "Issuing: " + an + " (++++) [black] " + bn + " (++++) unrated blitz 3 0.\n\rfics% ");
    EXPECT_EQ(b.read_until("fics% "),
              "\n\rChallenge: " + an + " (++++) [black] " + bn +
                  " (++++) unrated blitz 3 0.\n\rYou can \"accept\" or \"decline\", or propose "
                  "different parameters.\n\rfics% ");
    b.line("pending");
    const std::string pending = b.read_until("fics% ");
    EXPECT_NE(pending.find("Offers FROM other players:\n\r 1: " + an + " is offering a challenge"),
              std::string::npos)
        << pending;
    b.line("decline");
    EXPECT_EQ(b.read_until("fics% "), "You decline the match offer from " + an + ".\n\rfics% ");
    EXPECT_EQ(a.read_until("fics% "), "\n\r" + bn + " declines the match offer.\n\rfics% ");
    a.line("match " + bn + " 3 0 black");
    a.read_until("fics% ");
    b.read_until("propose different parameters.\n\rfics% ");
    a.line("withdraw");
    EXPECT_EQ(a.read_until("fics% "), "You withdraw the match offer to " + bn + ".\n\rfics% ");
    EXPECT_EQ(b.read_until("fics% "), "\n\r" + an + " withdraws the match offer.\n\rfics% ");
    // The same challenge in both directions starts the game.
    a.line("match " + bn + " 3 0 black");
    a.read_until("fics% ");
    b.read_until("propose different parameters.\n\rfics% ");
    b.line("match " + an + " 3 0 white");
    EXPECT_NE(b.read_until("fics% ").find("Creating: " + bn + " (++++) " + an), std::string::npos);
    a.read_until("fics% ");
    a.line("games");
    const std::string games = a.read_until("fics% ");
    EXPECT_NE(games.find("  1 ++++ " + bn), std::string::npos) << games;
    EXPECT_NE(games.find("[ bu  3   0]   3:00 -  3:00 (39-39) W:  1"), std::string::npos) << games;
    EXPECT_NE(games.find("1 game displayed."), std::string::npos) << games;
    a.line("who");
    const std::string who = a.read_until("fics% ");
    EXPECT_NE(who.find("++++^" + an + "(U)"), std::string::npos) << who;
}
