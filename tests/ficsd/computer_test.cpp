// The computer player where it needs more than a conversation: an installed engine, and a
// server that stays idle while a seek waits.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "ficsd_harness.h"

using namespace ficsd_test;

TEST(Computer, StockfishAcceptsAChallengeAndPlays)
{
    if (::access("/usr/games/stockfish", X_OK) != 0)
        GTEST_SKIP() << "no stockfish installed";
    FicsdProcess server({"--engine-movetime", "50"});
    Client c(server.port());
    const std::string name = c.login_guest();
    c.ask("match computer 5 0 black");
    // The computer accepts and, as White, moves first: a board for Black to move (the double-step
    // file and the count of reversible moves depend on the engine's choice).
    const std::string text = c.read_until(" 1 1 0\n\r");
    const std::regex black_to_move(" B (-1|[0-7]) 1 1 1 1 [01] 1 computer " + name + " 1 5 0 ");
    EXPECT_TRUE(std::regex_search(text, black_to_move)) << text;
}

TEST(Computer, LeavesManualSeeksAloneWithoutSpinning)
{
    FicsdProcess server({"--engine", "none", "--computer-seek-delay", "10"});
    Client c(server.port());
    c.login_guest();
    EXPECT_NE(c.ask("seek 5 0 manual").find("index 1."), std::string::npos);
    // Over a second with the seek long past the computer's delay: no game, and an idle server.
    auto cpu_ticks = [&] { // user and system time: fields 14 and 15 of /proc/PID/stat
        std::ifstream stat("/proc/" + std::to_string(server.pid()) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {}), skip;
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        long user = 0, system = 0;
        for (int i = 3; i < 14; ++i)
            fields >> skip;
        fields >> user >> system;
        return user + system;
    };
    const long before = cpu_ticks();
    EXPECT_EQ(c.read_for(1000ms).find("Creating:"), std::string::npos);
    EXPECT_LT(cpu_ticks() - before, ::sysconf(_SC_CLK_TCK) / 5);
    EXPECT_NE(c.ask("sought").find("1 ad displayed."), std::string::npos);
}
