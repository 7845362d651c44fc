// The command interpreter over loopback sockets: the plugin's command list, what desktop clients
// send, unknown and bad input, talk, lists and offers, wrapping.
#include <gtest/gtest.h>

#include "ficsd_harness.h"

using namespace ficsd_test;

TEST(Commands, EveryWordOfThePluginsListIsAnswered)
{
    Room room(1);
    // The picker sends the word, one space, CR LF; "word|the start of the answer" for a user who
    // neither plays nor observes.
    const char* rows[] = {"abort|You are not playing or examining a game.",
                          "accept|You have no offers to accept.",
                          "adjourn|You are not playing",
                          "alias|You have no aliases.",
                          "backward|You are not ex",
                          "best|Ratings are not supported",
                          "clearmessages|You have no messages.",
                          "decline|You have no offers to decline.",
                          "draw|You are not playing",
                          "examine|Examining",
                          "finger|Finger of {0}(U):",
                          "flag|You are not playing",
                          "follow|You will not follow",
                          "forward|You are not examining",
                          "games|\n\r  0 games displayed.",
                          "help|Commands of this server:",
                          "history|{0} has no history games.",
                          "kibitz|Usage: kibitz message",
                          "match|Usage: match name",
                          "messages|You have no mes",
                          "moretime|You are not playing",
                          "news|Index of news items:",
                          "next|There is no more.",
                          "observe|Usage: observe",
                          "pending|There are no offers pending TO other players.",
                          "play|Usage: play",
                          "rank|Ratings are not supported",
                          "resign|You are not playing",
                          "resume|You have no adjourned games",
                          "say|Usage: say message",
                          "set|Usage: set",
                          "seek|Your seek has been posted with index 1.",
                          "shout|Usage: shout message",
                          "sought|  1 ++++ {0}",
                          "stored|{0} has no adjourned games.",
                          "takeback|You are not pl",
                          "tell|Usage: tell name message",
                          "unalias|Usage: unalias name",
                          "unexamine|You are not",
                          "unobserve|You are not observing any games.",
                          "unseek|Your seeks have been removed.",
                          "variables|Variable settings of {0}:",
                          "whisper|Usage: whisper message",
                          "who| ++++ {0}(U)",
                          "withdraw|You have no offers to withdraw."};
    static_assert(std::size(rows) == 45, "the plugin's list has 45 commands");
    for (const std::string row : rows) {
        const std::string word = row.substr(0, row.find('|'));
        const std::string reply = room[0].ask(word + " ");
        EXPECT_EQ(reply.find(room.names(row.substr(word.size() + 1))), 0u) << word << ":" << reply;
    }
}

TEST(Commands, ClientFormsUnknownWordsAndBadValues)
{
    Room room(1);
    // text sent, the whole reply
    const std::pair<const char*, const char*> rows[] = {
        {"xxx", "xxx: Command not found."},
        {"Foo bar baz", "Foo: Command not found."},
        {"$$foo", "foo: Command not found."},
        {"   ", ""},
        {"$", ""},
        {"un", "Ambiguous command \"un\". Matches: unalias unexamine unobserve unseek"},
        {"$style 12", "Style 12 set."},
        {"$$style 3", "Style 3 is not supported by this server; styles 1 and 12 are."},
        {"$set interface xboard 4.9.1", ""},
        {"set width 10", "Width must be between 32 and 240."},
        {"set foo 1", "No such variable \"foo\"."},
        {"$iset seekremove 1", "seekremove set."},
        {"iset seekremove 0", "seekremove unset."},
        {"iset defprompt", "defprompt set."},
        {"iset ms 2", "Bad value given for ivariable ms."},
        {"iset foo 1", "No such ivariable \"foo\"."},
        {"iset lock 1", "lock set."},
        {"iset nowrap 1", "Cannot alter: Interface setting locked."},
        {"promote r", "Promotion piece set to ROOK."},
        {"promote x", "Usage: promote [q|r|b|n]"},
        {"promote", "Promotion piece set to ROOK."},
        {"moves", "You are not playing or examining a game."},
        {"moves 7", "There is no such game."},
        {"refresh Nobody", "No user named \"Nobody\" is logged in."},
        {"observe {0}", "{0} is not playing a game."},
        {"tell nobody hi", "No user named \"nobody\" is logged in."},
        {"refresh", "You are neither playing, observing nor examining a game."},
        {"e7e8q", "e7e8q: Command not found."},
        {"e4", "You are not playing or examining a game."},
    };
    for (const auto& [text, reply] : rows) {
        const std::string want = room.names(reply) + (*reply ? "\n\rfics% " : "fics% ");
        EXPECT_EQ(room[0].ask(room.names(text)), want) << text;
    }
}

TEST(Commands, TalkReachesTheRightPeopleInTheRightForm)
{
    Room room(3);
    room.run({{0, "tell {1} hello there", "(told {1})"},
              {1, "", "\n\r{0}(U) tells you: hello there\n\rfics% "},
              {0, "say hi", "I don't know whom to say that to."},
              {1, "shout anyone?", "(2 player(s) heard you shout)"},
              {0, "", "\n\r{1}(U) shouts: anyone?"},
              {2, "", "\n\r{1}(U) shouts: anyone?"}});
    room.start_game();
    room.run(
        {{0, "say good luck", "(told {1}, who is playing)"}, {1, "", "{0}(U)[1] says: good luck"}});
}

TEST(Commands, LongLinesWrapAtTheSetWidthUnlessNowrapButBoardLinesNever)
{
    Room room(2);
    room.run({{1, "set width 40", "Width set to 40."},
              {0, "tell {1} the quick brown fox jumps over the lazy dog and then some more", ""},
              {1, "",
               "\n\r{0}(U) tells you: the quick brown\n\r\\   fox jumps over the lazy "
               "dog and then\n\r\\   some more\n\rfics% "},
              {1, "iset nowrap 1", "nowrap set."},
              {0, "tell {1} the quick brown fox jumps over the lazy dog", ""},
              {1, "", "tells you: the quick brown fox jumps over the lazy dog\n\r"}});
    room.start_game();
    EXPECT_EQ(board_fields(room.run({{1, "refresh", ""}})).size(), 32u);
}

TEST(Commands, ChallengesPendingGamesAndWho)
{
    Room room(2);
    room.run(
        {{0, "match {1} 3 0 black", "Issuing: {0} (++++) [black] {1} (++++) unrated blitz 3 0."},
         {1, "",
          "\n\rChallenge: {0} (++++) [black] {1} (++++) unrated blitz 3 0.\n\rYou "
          "can \"accept\" or \"decline\", or propose different parameters.\n\rfics% "},
         {1, "pending", "Offers FROM other players:\n\r 1: {0} is offering a challenge"},
         {1, "decline", "You decline the match offer from {0}."},
         {0, "", "{1} declines the match offer."},
         {0, "match {1} 3 0 black", ""},
         {1, "", "Challenge:"},
         {0, "withdraw", "You withdraw the match offer to {1}."},
         {1, "", "{0} withdraws the match offer."},
         // The same challenge both ways starts the game.
         {0, "match {1} 3 0 black", ""},
         {1, "", "Challenge:"},
         {1, "match {0} 3 0 white", "Creating: {1} (++++) {0} (++++) unrated blitz 3 0"},
         {0, "", "<12>"},
         {0, "games", "  1 ++++ {1}"},
         {0, "games", "[ bu  3   0]   3:00 -  3:00 (39-39) W:  1\n\r\n\r  1 game displayed."},
         {0, "who", "++++^{0}(U)"}});
}
