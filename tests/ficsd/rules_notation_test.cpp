// Move texts: short and verbose notation written, coordinate and algebraic notation read.
#include <gtest/gtest.h>

#include "ficsd/move_notation.h"

using namespace ficsd;

namespace {

constexpr const char* kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
constexpr const char* kKiwipete =
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

Position at(const char* fen)
{
    auto p = Position::from_fen(fen);
    EXPECT_TRUE(p) << fen;
    return p ? *p : Position::start();
}

Move legal(const Position& pos, std::string_view uci)
{
    MoveList list;
    pos.legal_moves(list);
    for (const Move& m : list)
        if (uci_notation(m) == uci)
            return m;
    ADD_FAILURE() << "no legal move " << uci << " in " << pos.fen();
    return {};
}

} // namespace

TEST(Notation, WritesShortAndVerboseForms)
{
    // position, move in coordinates, short notation, verbose notation
    struct Row {
        const char* fen;
        const char* uci;
        const char* short_form;
        const char* verbose;
    };
    const Row rows[] = {
        {kStart, "e2e4", "e4", "P/e2-e4"},
        {kStart, "g1f3", "Nf3", "N/g1-f3"},
        {"rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", "e4d5", "exd5",
         "P/e4-d5"},
        {kKiwipete, "e1g1", "O-O", "o-o"},
        {kKiwipete, "e1c1", "O-O-O", "o-o-o"},
        {kKiwipete, "e5f7", "Nxf7", "N/e5-f7"},
        {kKiwipete, "d2g5", "Bg5", "B/d2-g5"},
        // Two knights reach d2 and e4 from c3 and e5/f3 squares: disambiguated by file.
        {"4k3/8/8/8/8/8/8/1N2KN2 w - - 0 1", "b1d2", "Nbd2", "N/b1-d2"},
        // Two rooks on one file: by rank.
        {"4k3/8/8/R7/8/8/8/R3K3 w - - 0 1", "a1a3", "R1a3", "R/a1-a3"},
        // Three queens reach e4: h1 shares a file with h4 and a rank with e1, so both.
        {"8/8/k7/8/7Q/8/K7/4Q2Q w - - 0 1", "h1e4", "Qh1e4", "Q/h1-e4"},
        {"8/8/k7/8/7Q/8/K7/4Q2Q w - - 0 1", "h4e4", "Q4e4", "Q/h4-e4"},
        {"2k5/4P3/8/8/8/8/8/4K3 w - - 0 1", "e7e8q", "e8=Q+", "P/e7-e8=Q"},
        {"3r3k/4P3/8/8/8/8/8/4K3 w - - 0 1", "e7d8n", "exd8=N", "P/e7-d8=N"},
        {"rnbqkbnr/pppp1ppp/8/8/3PpP2/8/PPP1P1PP/RNBQKBNR b KQkq d3 0 3", "e4d3", "exd3",
         "P/e4-d3"},
        {"rnbqkbnr/pppp1ppp/8/4p3/6P1/5P2/PPPPP2P/RNBQKBNR b KQkq g3 0 2", "d8h4", "Qh4#",
         "Q/d8-h4"},
    };
    for (const Row& r : rows) {
        const Position pos = at(r.fen);
        const Move m = legal(pos, r.uci);
        EXPECT_EQ(short_notation(pos, m), r.short_form) << r.fen << " " << r.uci;
        EXPECT_EQ(verbose_notation(pos, m), r.verbose) << r.fen << " " << r.uci;
    }
}

TEST(Notation, ReadsMovesAsTheServersOfTheLineageDo)
{
    constexpr const char* kPromote = "2k5/4P3/8/8/8/8/8/4K3 w - - 0 1";
    constexpr const char* kTwoKnights = "4k3/8/8/8/8/8/8/1N2KN2 w - - 0 1";
    constexpr const char* kEnPassant =
        "rnbqkbnr/pppp1ppp/8/8/3PpP2/8/PPP1P1PP/RNBQKBNR b KQkq d3 0 3";
    // position, text typed, the player's promotion piece, the move it names in coordinates
    // ("-" not a move at all: an unknown command; "" illegal; "?" ambiguous)
    struct Row {
        const char* fen;
        const char* text;
        PieceType promote;
        const char* uci;
    };
    const Row rows[] = {
        {kStart, "e4", Queen, "e2e4"},
        {kStart, "e2e4", Queen, "e2e4"},
        {kStart, "e2-e4", Queen, "e2e4"},
        {kStart, "Nf3", Queen, "g1f3"},
        {kStart, "nf3", Queen, "g1f3"},
        {kStart, "Ng1f3", Queen, "g1f3"},
        {kStart, "e5", Queen, ""},
        {kStart, "e2e5", Queen, ""},
        {kStart, "Ke2", Queen, ""},
        {kStart, "e2e4=q", Queen, ""},
        {kKiwipete, "O-O", Queen, "e1g1"},
        {kKiwipete, "0-0", Queen, "e1g1"},
        {kKiwipete, "o-o-o", Queen, "e1c1"},
        {kKiwipete, "e1g1", Queen, "e1g1"},
        {kKiwipete, "Nxf7", Queen, "e5f7"},
        {kKiwipete, "Nf7", Queen, "e5f7"},
        {kKiwipete, "dxe6", Queen, "d5e6"},
        {kKiwipete, "de6", Queen, "d5e6"},
        {kKiwipete, "Bxa6", Queen, "e2a6"},
        {kKiwipete, "Nc3b5", Queen, "c3b5"},
        {kKiwipete, "Qf3xf6", Queen, "f3f6"},
        {kTwoKnights, "Nd2", Queen, "?"},
        {kTwoKnights, "Nbd2", Queen, "b1d2"},
        // Promotions: "=" and the piece, or the player's setting; never a bare letter.
        {kPromote, "e7e8=q", Rook, "e7e8q"},
        {kPromote, "e7e8=Q+", Queen, "e7e8q"},
        {kPromote, "e7-e8=r", Queen, "e7e8r"},
        {kPromote, "e7e8=k", Queen, "e7e8n"},
        {kPromote, "e7e8=B", Queen, "e7e8b"},
        {kPromote, "e7e8", Queen, "e7e8q"},
        {kPromote, "e7-e8", Knight, "e7e8n"},
        {kPromote, "e8=Q", Rook, "e7e8q"},
        {kPromote, "e8=n", Queen, "e7e8n"},
        {kPromote, "e8", Bishop, "e7e8b"},
        {kPromote, "e7e8=x", Queen, "-"},
        {kPromote, "e7e8q", Queen, "-"},
        {kPromote, "e7e8Q", Queen, "-"},
        {kPromote, "e7-e8q", Queen, "-"},
        {kPromote, "e8q", Queen, "-"},
        {kPromote, "e8Q+", Queen, "-"},
        {"3r3k/4P3/8/8/8/8/8/4K3 w - - 0 1", "exd8=N", Queen, "e7d8n"},
        // A pinned piece cannot move, a king cannot walk into check.
        {"4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1", "Nc3", Queen, ""},
        {"4k3/4r3/8/8/8/8/8/3K4 w - - 0 1", "Ke2", Queen, ""},
        // "b" is the b-file first, then the bishop.
        {"4k3/8/8/8/8/2n5/1P6/4KB2 w - - 0 1", "bc3", Queen, "b2c3"},
        {"4k3/8/8/8/8/8/8/4KB2 w - - 0 1", "bc4", Queen, "f1c4"},
        {kEnPassant, "exd3", Queen, "e4d3"},
        {kEnPassant, "exf3", Queen, ""},
        // Commands and other words.
        {kStart, "abort", Queen, "-"},
        {kStart, "draw", Queen, "-"},
        {kStart, "best", Queen, "-"},
        {kStart, "b", Queen, "-"},
        {kStart, "e", Queen, "-"},
        {kStart, "k", Queen, "-"},
        {kStart, "style 12", Queen, "-"},
        {kStart, "e2e4e5", Queen, "-"},
        {kStart, "E2E4", Queen, "-"},
        {kStart, "e4!", Queen, "-"},
        {kStart, "i9", Queen, "-"},
    };
    for (const Row& r : rows) {
        const Position pos = at(r.fen);
        const ParsedMove parsed = parse_move(pos, r.text, r.promote);
        const std::string expected = r.uci;
        EXPECT_EQ(looks_like_move(r.text), expected != "-") << r.text;
        if (expected == "-" || expected.empty())
            EXPECT_EQ(parsed.result, MoveParse::Illegal) << r.text << " in " << r.fen;
        else if (expected == "?")
            EXPECT_EQ(parsed.result, MoveParse::Ambiguous) << r.text << " in " << r.fen;
        else {
            EXPECT_EQ(parsed.result, MoveParse::Ok) << r.text << " in " << r.fen;
            EXPECT_EQ(uci_notation(parsed.move), expected) << r.text << " in " << r.fen;
        }
    }
}

TEST(Notation, EveryShortFormReadsBackAsItsMove)
{
    const char* fens[] = {kStart, kKiwipete,
                          "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
                          "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
                          "8/8/k7/8/7Q/8/K7/4Q2Q w - - 0 1"};
    for (const char* fen : fens) {
        const Position pos = at(fen);
        MoveList list;
        pos.legal_moves(list);
        for (const Move& m : list) {
            const std::string text = short_notation(pos, m);
            const ParsedMove parsed = parse_move(pos, text);
            EXPECT_EQ(parsed.result, MoveParse::Ok) << text << " in " << fen;
            EXPECT_EQ(uci_notation(parsed.move), uci_notation(m)) << text << " in " << fen;
            EXPECT_TRUE(looks_like_move(text)) << text;
        }
    }
}
