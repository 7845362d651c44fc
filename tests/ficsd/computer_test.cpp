// The computer player where it needs more than a conversation: an installed engine, and a
// server that stays idle while a seek waits.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

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
    // The computer accepts and, as White, moves first: a board for Black to move. Its fields but
    // the double-step file (10) and the count of reversible moves (15), which depend on the
    // engine's choice: side, castling rights, game, players, relation, time control.
    const std::string text = c.read_until(" 1 1 0\n\r");
    std::istringstream board(text.substr(text.rfind("<12> ")));
    const std::vector<std::string> f{std::istream_iterator<std::string>(board), {}};
    ASSERT_GE(f.size(), 22u) << text;
    std::string fields = f[9];
    for (size_t i : {11, 12, 13, 14, 16, 17, 18, 19, 20, 21})
        fields += " " + f[i];
    EXPECT_EQ(fields, "B 1 1 1 1 1 computer " + name + " 1 5 0") << text;
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
