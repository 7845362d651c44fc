// The rules: move generation against published perft counts, FEN, move texts read and written,
// the ends of games the position decides, repetition and the game clock.
#include <gtest/gtest.h>

#include <sstream>

#include "ficsd/game.h"
#include "ficsd/move_notation.h"

using namespace ficsd;

namespace {

constexpr const char* kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
constexpr const char* kKiwipete =
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
constexpr const char* kPosition4 =
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1";
constexpr const char* kPosition5 = "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8";
constexpr const char* kThreeQueens = "8/8/k7/8/7Q/8/K7/4Q2Q w - - 0 1";
constexpr const char* kMateInOne = "rnbqkbnr/pppp1ppp/8/4p3/6P1/5P2/PPPPP2P/RNBQKBNR b KQkq g3 0 2";
constexpr const char* kPromote = "2k5/4P3/8/8/8/8/8/4K3 w - - 0 1";

Position at(const char* fen)
{
    auto p = Position::from_fen(fen);
    EXPECT_TRUE(p) << fen;
    return p ? *p : Position::start();
}

Move legal(const Position& pos, std::string_view uci)
{
    auto m = uci_move(pos, uci);
    EXPECT_TRUE(m) << "no legal move " << uci << " in " << pos.fen();
    return m.value_or(Move{});
}

void play(Game& g, const std::string& moves, GameMs now = 0)
{
    std::istringstream words(moves);
    for (std::string m; words >> m;)
        g.play(legal(g.position(), m), now);
}

} // namespace

TEST(Rules, PerftCountsAndFenMatchThePublishedPositions)
{
#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
    constexpr uint64_t kMostNodes = 1'000'000; // the deepest counts only in the optimised build
#else
    constexpr uint64_t kMostNodes = 10'000'000;
#endif
    const std::tuple<const char*, int, uint64_t> cases[] = {
        {kStart, 3, 8902},
        {kStart, 5, 4865609},
        {kKiwipete, 3, 97862},
        {kKiwipete, 4, 4085603},
        {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 5, 674624},
        {kPosition4, 4, 422333},
        {"r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1", 4, 422333},
        {kPosition5, 3, 62379},
        {kPosition5, 4, 2103487},
        {"r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", 3, 89890},
    };
    for (const auto& [fen, depth, nodes] : cases) {
        EXPECT_EQ(at(fen).fen(), fen);
        if (nodes <= kMostNodes) {
            EXPECT_EQ(perft(at(fen), depth), nodes) << fen << " depth " << depth;
        }
    }
    for (const char* bad : {
             "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w KQkq - 0 1",           // seven ranks
             "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",  // nine files
             "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq - 0 1",  // side
             "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQ1BNR w KQkq - 0 1",  // no white king
             "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq e4 0 1", // en passant on rank 4
             "Pnbqkbnr/pppppppp/8/8/8/8/1PPPPPPP/RNBQKBNR w KQkq - 0 1",  // pawn on the last rank
             "rnb1kbnr/pppppppp/8/8/8/8/PPPPqPPP/RNBQKBNR b KQkq - 0 1",  // mover gives check
             "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - x 1",  // halfmove clock
         })
        EXPECT_FALSE(Position::from_fen(bad)) << bad;
}

TEST(Rules, WritesShortAndVerboseNotation)
{
    // position, then "move>short>verbose" rows
    const std::pair<const char*, const char*> rows[] = {
        {kStart, "g1f3>Nf3>N/g1-f3"},
        {kKiwipete, "e1g1>O-O>o-o e1c1>O-O-O>o-o-o e5f7>Nxf7>N/e5-f7"},
        {"4k3/8/8/R7/8/8/8/RN2KN2 w - - 0 1", "b1d2>Nbd2>N/b1-d2 a1a3>R1a3>R/a1-a3"},
        {kThreeQueens, "h1e4>Qh1e4>Q/h1-e4"},
        {kPromote, "e7e8q>e8=Q+>P/e7-e8=Q"},
        {"3r3k/4P3/8/8/8/8/8/4K3 w - - 0 1", "e7d8n>exd8=N>P/e7-d8=N"},
        {"rnbqkbnr/pppp1ppp/8/8/3PpP2/8/PPP1P1PP/RNBQKBNR b KQkq d3 0 3", "e4d3>exd3>P/e4-d3"},
        {kMateInOne, "d8h4>Qh4#>Q/d8-h4"},
    };
    for (const auto& [fen, moves] : rows) {
        std::istringstream words(moves);
        for (std::string row; words >> row;) {
            const Move m = legal(at(fen), row.substr(0, row.find('>')));
            EXPECT_EQ(uci_notation(m) + ">" + short_notation(at(fen), m) + ">" +
                          verbose_notation(at(fen), m),
                      row);
        }
    }
    // Every short form of every legal move reads back as that move.
    for (const char* fen : {kStart, kKiwipete, kPosition4, kPosition5, kThreeQueens, kMateInOne}) {
        MoveList list;
        at(fen).legal_moves(list);
        for (const Move& m : list) {
            const ParsedMove back = parse_move(at(fen), short_notation(at(fen), m));
            EXPECT_TRUE(back.result == MoveParse::Ok && back.move == m) << uci_notation(m);
        }
    }
}

TEST(Rules, ReadsMovesAsTheServersOfTheLineageDo)
{
    constexpr const char* kKnights = "4k3/8/8/8/8/8/8/1N2KN2 w - - 0 1";
    constexpr const char* kPassant =
        "rnbqkbnr/pppp1ppp/8/8/3PpP2/8/PPP1P1PP/RNBQKBNR b KQkq d3 0 3";
    // position, the player's promotion piece, then "text>move" pairs; the move in coordinates,
    // "-" not a move at all (an unknown command), "" illegal, "?" ambiguous
    const struct {
        const char* fen;
        PieceType promote;
        const char* pairs;
    } rows[] = {
        {kStart, Queen, "e4>e2e4 e2e4>e2e4 e2-e4>e2e4 Nf3>g1f3 nf3>g1f3 Ng1f3>g1f3 e5> e2e5> Ke2>"},
        {kStart, Queen, "e2e4=q> abort>- draw>- best>- b>- e>- k>- e2e4e5>- E2E4>- e4!>- i9>-"},
        {kKiwipete, Queen, "O-O>e1g1 0-0>e1g1 o-o-o>e1c1 e1g1>e1g1 Nxf7>e5f7 Nf7>e5f7 dxe6>d5e6"},
        {kKiwipete, Queen, "de6>d5e6 Bxa6>e2a6 Nc3b5>c3b5 Qf3xf6>f3f6"},
        {kKnights, Queen, "Nd2>? Nbd2>b1d2"},
        {kPromote, Rook, "e7e8=q>e7e8q e7e8=Q+>e7e8q e7-e8=r>e7e8r e7e8=k>e7e8n e7e8=B>e7e8b"},
        {kPromote, Rook, "e7e8>e7e8r e8=Q>e7e8q e8=n>e7e8n e8>e7e8r e7e8=x>-"},
        {kPromote, Queen, "e7e8>e7e8q e7e8q>- e7e8Q>- e7-e8q>- e8q>- e8Q+>-"},
        {"3r3k/4P3/8/8/8/8/8/4K3 w - - 0 1", Queen, "exd8=N>e7d8n"},
        {"4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1", Queen, "Nc3>"},      // pinned
        {"4k3/4r3/8/8/8/8/8/3K4 w - - 0 1", Queen, "Ke2>"},        // into check
        {"4k3/8/8/8/8/2n5/1P6/4KB2 w - - 0 1", Queen, "bc3>b2c3"}, // the b-file first,
        {"4k3/8/8/8/8/8/8/4KB2 w - - 0 1", Queen, "bc4>f1c4"},     // then the bishop
        {kPassant, Queen, "exd3>e4d3 exf3>"},
    };
    for (const auto& r : rows) {
        std::istringstream pairs(r.pairs);
        for (std::string pair; pairs >> pair;) {
            const size_t cut = pair.find('>');
            const std::string text = pair.substr(0, cut), want = pair.substr(cut + 1);
            const ParsedMove got = parse_move(at(r.fen), text, r.promote);
            EXPECT_EQ(looks_like_move(text), want != "-") << text;
            const std::string outcome = got.result == MoveParse::Ok ? uci_notation(got.move)
                                        : got.result == MoveParse::Ambiguous ? "?"
                                        : want == "-"                        ? "-"
                                                                             : "";
            EXPECT_EQ(outcome, want) << text << " in " << r.fen;
        }
    }
}

TEST(Rules, EndsThePositionDecides)
{
    // position; 1 or 0 for mate, stalemate, dead position, White lacks mating material, Black
    // lacks it
    const std::pair<const char*, const char*> rows[] = {
        {"rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3", "10000"},
        {"7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", "01001"},
        {"7k/6Q1/6K1/8/8/8/8/8 b - - 0 1", "10001"},
        {"8/8/8/2k5/3Pp3/8/8/4K2B b - d3 0 1", "00000"}, // check by a double step
        {"8/8/4k3/8/8/3K4/8/5N2 w - - 0 1", "00111"},
        {"2b5/8/4k3/8/8/3K4/8/5B2 w - - 0 1", "00111"}, // bishops on one colour
        {"1b6/8/4k3/8/8/3K4/8/5B2 w - - 0 1", "00011"}, // and on both
        {"8/8/4k3/8/8/3K4/8/4NN2 w - - 0 1", "00001"},
        {"8/8/4k3/8/8/3K4/8/4n1N1 w - - 0 1", "00011"},
        {"8/8/4k3/8/8/3K4/4P3/8 w - - 0 1", "00001"},
        {"8/8/4k3/8/8/3K4/8/7r w - - 0 1", "00010"},
    };
    for (const auto& [fen, flags] : rows) {
        const Position p = at(fen);
        std::string got;
        for (bool b : {p.is_checkmate(), p.is_stalemate(), p.is_insufficient_material(),
                       p.lacks_mating_material(White), p.lacks_mating_material(Black)})
            got += b ? '1' : '0';
        EXPECT_EQ(got, flags) << fen;
    }
}

TEST(Rules, ClockStartsAtWhitesFirstMoveAddsIncrementAndSurvivesTakeback)
{
    Game g(1, {1, 2});
    EXPECT_FALSE(g.flag_time());
    play(g, "e2e4", 50'000); // before the clock runs: no time used, increment added
    EXPECT_EQ(g.plies().back().taken_ms, 0);
    EXPECT_EQ(g.remaining_ms(White, 50'000) + g.remaining_ms(Black, 53'500), 62'000 + 56'500);
    EXPECT_EQ(g.flag_time(), 50'000 + 60'000);
    play(g, "e7e5", 54'000);
    EXPECT_EQ(g.plies().back().taken_ms, 4'000);
    EXPECT_EQ(g.remaining_ms(Black, 54'000), 58'000);
    EXPECT_FALSE(g.out_of_time(White, 54'000 + 61'999) || g.out_of_time(Black, 54'000 + 62'000));
    EXPECT_TRUE(g.out_of_time(White, 54'000 + 62'000));
    // A takeback restores the position; time already used stays used.
    play(g, "g1f3", 61'000);
    g.take_back(2, 63'000);
    EXPECT_EQ(g.position().fen(), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    EXPECT_EQ(g.remaining_ms(White, 63'000) + g.remaining_ms(Black, 63'000), 57'000 + 56'000);
    g.take_back(1, 63'000);
    EXPECT_FALSE(g.clock_ticking());
    EXPECT_EQ(g.last_verbose(), "none");
    // Untimed games never flag; categories follow the expected length.
    Game untimed(2, {0, 0});
    play(untimed, "e2e4");
    EXPECT_FALSE(untimed.out_of_time(Black, 1'000'000'000));
    const std::pair<TimeControl, std::string> categories[] = {
        {{1, 0}, "lightning"}, {{2, 1}, "lightning"}, {{2, 2}, "blitz"}, {{14, 1}, "blitz"},
        {{15, 0}, "standard"}, {{0, 0}, "untimed"},   {{0, 5}, "blitz"}};
    for (const auto& [control, name] : categories)
        EXPECT_EQ(control.category(), name) << control.minutes << " " << control.increment;
}

TEST(Rules, AnEnPassantCapturePossibleOnceMakesAPositionOfItsOwn)
{
    Game g(1, {5, 0}, at("4k3/8/8/8/6p1/8/7P/4K3 w - - 0 1"));
    play(g, "h2h4 e8e7 e1e2 e7e8 e2e1");
    EXPECT_EQ(g.repetitions(), 1);
}
