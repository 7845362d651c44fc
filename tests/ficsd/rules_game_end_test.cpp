// Ends of games the rules decide (mate, stalemate, dead positions, repetition, fifty moves) and
// the game clock with increment, flag time and takeback.
#include <gtest/gtest.h>

#include "ficsd/game.h"
#include "ficsd/move_notation.h"

using namespace ficsd;

namespace {

Position at(const char* fen)
{
    auto p = Position::from_fen(fen);
    EXPECT_TRUE(p) << fen;
    return p ? *p : Position::start();
}

void play(Game& g, std::string_view text, GameMs now)
{
    const ParsedMove parsed = parse_move(g.position(), text);
    ASSERT_EQ(parsed.result, MoveParse::Ok) << text << " in " << g.position().fen();
    g.play(parsed.move, now);
}

} // namespace

TEST(GameEnd, MateAndStalemateAreToldApart)
{
    // position, checkmate, stalemate
    struct Row {
        const char* fen;
        bool mate;
        bool stalemate;
    };
    const Row rows[] = {
        {"rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3", true, false},
        {"7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", false, true},
        {"7k/6Q1/6K1/8/8/8/8/8 b - - 0 1", true, false},
        {"7k/8/6K1/8/8/8/8/6Q1 b - - 0 1", false, false},
        // Check by a pawn that has just stepped two squares.
        {"8/8/8/2k5/3Pp3/8/8/4K2B b - d3 0 1", false, false},
    };
    for (const Row& r : rows) {
        const Position pos = at(r.fen);
        EXPECT_EQ(pos.is_checkmate(), r.mate) << r.fen;
        EXPECT_EQ(pos.is_stalemate(), r.stalemate) << r.fen;
    }
}

TEST(GameEnd, DeadPositionsHaveNoMatingMaterial)
{
    // position, insufficient for both, White lacks mating material, Black lacks it
    struct Row {
        const char* fen;
        bool dead;
        bool white_lacks;
        bool black_lacks;
    };
    const Row rows[] = {
        {"8/8/4k3/8/8/3K4/8/8 w - - 0 1", true, true, true},
        {"8/8/4k3/8/8/3K4/8/5N2 w - - 0 1", true, true, true},
        {"8/8/4k3/8/8/3K4/8/5B2 w - - 0 1", true, true, true},
        // Bishops on squares of one colour (f1 and c8 are both light squares).
        {"2b5/8/4k3/8/8/3K4/8/5B2 w - - 0 1", true, true, true},
        // Bishops on squares of both colours can still mate.
        {"1b6/8/4k3/8/8/3K4/8/5B2 w - - 0 1", false, true, true},
        {"8/8/4k3/8/8/3K4/8/4NN2 w - - 0 1", false, false, true},
        {"8/8/4k3/8/8/3K4/8/4n1N1 w - - 0 1", false, true, true},
        {"8/8/4k3/8/8/3K4/4P3/8 w - - 0 1", false, false, true},
        {"8/8/4k3/8/8/3K4/8/7r w - - 0 1", false, true, false},
    };
    for (const Row& r : rows) {
        const Position pos = at(r.fen);
        EXPECT_EQ(pos.is_insufficient_material(), r.dead) << r.fen;
        EXPECT_EQ(pos.lacks_mating_material(White), r.white_lacks) << r.fen;
        EXPECT_EQ(pos.lacks_mating_material(Black), r.black_lacks) << r.fen;
    }
}

TEST(GameEnd, RepetitionCountsOnlySamePositionWithSameRights)
{
    Game g(1, {5, 0});
    EXPECT_EQ(g.repetitions(), 1);
    const char* shuffle[] = {"Nf3", "Nf6", "Ng1", "Ng8"};
    for (int round = 1; round <= 2; ++round) {
        for (const char* m : shuffle)
            play(g, m, 0);
        EXPECT_EQ(g.repetitions(), round + 1);
    }
    // The king's walk loses castling rights: the same placement is a new position.
    Game k(2, {5, 0}, at("4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1"));
    for (const char* m : {"Ke2", "Kd8", "Ke1", "Ke8"})
        play(k, m, 0);
    EXPECT_EQ(k.repetitions(), 1);
    for (const char* m : {"Ke2", "Kd8", "Ke1", "Ke8"})
        play(k, m, 0);
    EXPECT_EQ(k.repetitions(), 2);
}

TEST(GameEnd, FiftyMoveCounterResetsOnPawnMovesAndCaptures)
{
    Game g(1, {5, 0});
    for (const char* m : {"Nf3", "Nf6", "Ng1"})
        play(g, m, 0);
    EXPECT_EQ(g.position().halfmove_clock(), 3);
    play(g, "e5", 0);
    EXPECT_EQ(g.position().halfmove_clock(), 0);
    for (const char* m : {"Nc3", "Bc5", "Nd5", "Bb6"})
        play(g, m, 0);
    EXPECT_EQ(g.position().halfmove_clock(), 4);
    play(g, "Nxf6+", 0);
    EXPECT_EQ(g.position().halfmove_clock(), 0);
}

TEST(GameClock, StartsAtWhitesFirstMoveAndAddsIncrement)
{
    Game g(1, {1, 2});
    EXPECT_FALSE(g.clock_ticking());
    EXPECT_FALSE(g.flag_time());
    EXPECT_EQ(g.remaining_ms(White, 50'000), 60'000);

    play(g, "e4", 50'000); // before the clock runs: no time used, increment added
    EXPECT_EQ(g.plies().back().taken_ms, 0);
    EXPECT_EQ(g.remaining_ms(White, 50'000), 62'000);
    EXPECT_TRUE(g.clock_ticking());
    EXPECT_EQ(g.remaining_ms(Black, 53'500), 56'500);
    ASSERT_TRUE(g.flag_time());
    EXPECT_EQ(*g.flag_time(), 50'000 + 60'000);

    play(g, "e5", 54'000);
    EXPECT_EQ(g.plies().back().taken_ms, 4'000);
    EXPECT_EQ(g.remaining_ms(Black, 54'000), 58'000);
    EXPECT_EQ(*g.flag_time(), 54'000 + 62'000);
    EXPECT_FALSE(g.out_of_time(White, 54'000 + 61'999));
    EXPECT_TRUE(g.out_of_time(White, 54'000 + 62'000));
    EXPECT_FALSE(g.out_of_time(Black, 54'000 + 62'000));
}

TEST(GameClock, UntimedGamesNeverFlag)
{
    Game g(1, {0, 0});
    EXPECT_STREQ(g.control().category(), "untimed");
    play(g, "e4", 0);
    EXPECT_FALSE(g.flag_time());
    EXPECT_FALSE(g.out_of_time(Black, 1'000'000'000));
}

TEST(GameClock, CategoriesFollowTheExpectedLength)
{
    // minutes, increment, category
    struct Row {
        int minutes, increment;
        const char* category;
    };
    const Row rows[] = {{1, 0, "lightning"}, {2, 1, "lightning"}, {2, 2, "blitz"},
                        {5, 0, "blitz"},     {14, 1, "blitz"},    {15, 0, "standard"},
                        {0, 0, "untimed"},   {0, 5, "blitz"}};
    for (const Row& r : rows)
        EXPECT_STREQ(TimeControl({r.minutes, r.increment}).category(), r.category)
            << r.minutes << " " << r.increment;
}

TEST(GameClock, TakebackRestoresPositionAndKeepsTimeUsed)
{
    Game g(1, {5, 0});
    play(g, "e4", 0);
    play(g, "e5", 3'000);
    play(g, "Nf3", 10'000);
    g.take_back(2, 12'000);
    EXPECT_EQ(g.ply_count(), 1);
    EXPECT_EQ(g.position().fen(), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    EXPECT_EQ(g.last_short(), "e4");
    // Black used 3 s for e5, White 7 s for Nf3, Black 2 s before the takeback.
    EXPECT_EQ(g.remaining_ms(Black, 12'000), 295'000);
    EXPECT_EQ(g.remaining_ms(White, 12'000), 293'000);
    g.take_back(1, 12'000);
    EXPECT_FALSE(g.clock_ticking());
    EXPECT_EQ(g.last_verbose(), "none");
    EXPECT_EQ(g.repetitions(), 1);
}
