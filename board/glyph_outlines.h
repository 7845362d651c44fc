// The six piece outlines and their fill seeds, shared by the TV glyphs and the LCD pictures.
// A point (dx, dy) is relative to the glyph origin: dx to the right, dy 0 on the baseline and
// negative upwards. Each outline is one closed chain (last point = first); stretches drawn out
// and straight back are the inner detail lines. Seeds fill the regions the chain encloses.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>

struct GlyphPoint {
    int dx;
    int dy;
};

// King: 83 points, 82 segments.
inline constexpr std::array<GlyphPoint, 83> kKingOutline = {{
    {11, 0},   {10, -1},  {8, -1},   {7, -2},   {5, -2},   {4, -3},   {4, -5},   {11, -5},
    {12, -6},  {24, -6},  {25, -5},  {32, -5},  {25, -5},  {24, -6},  {12, -6},  {11, -5},
    {4, -5},   {4, -9},   {8, -9},   {9, -10},  {27, -10}, {28, -9},  {32, -9},  {28, -9},
    {27, -10}, {9, -10},  {8, -9},   {4, -9},   {4, -12},  {3, -13},  {3, -14},  {-2, -19},
    {-2, -24}, {-1, -25}, {-1, -26}, {1, -28},  {2, -28},  {3, -29},  {8, -29},  {9, -28},
    {11, -28}, {14, -25}, {18, -18}, {18, -10}, {18, -18}, {22, -25}, {18, -18}, {14, -25},
    {14, -29}, {17, -32}, {17, -35}, {14, -35}, {14, -37}, {17, -37}, {17, -41}, {20, -41},
    {20, -37}, {23, -37}, {23, -35}, {20, -35}, {20, -32}, {23, -29}, {23, -25}, {26, -28},
    {28, -28}, {29, -29}, {34, -29}, {35, -28}, {36, -28}, {38, -26}, {38, -25}, {39, -24},
    {39, -19}, {34, -14}, {34, -13}, {33, -12}, {33, -3},  {32, -2},  {30, -2},  {29, -1},
    {27, -1},  {26, 0},   {11, 0},
}};
inline constexpr std::array<GlyphPoint, 5> kKingSeeds = {
    {{11, -2}, {11, -8}, {6, -20}, {26, -20}, {20, -30}}};

// Queen: 78 points, 77 segments.
inline constexpr std::array<GlyphPoint, 78> kQueenOutline = {{
    {9, 0},    {7, -2},   {7, -5},   {19, -7},  {31, -5},  {19, -7},  {7, -5},   {7, -7},
    {4, -10},  {12, -10}, {19, -13}, {26, -10}, {34, -10}, {26, -10}, {19, -13}, {12, -10},
    {4, -10},  {3, -11},  {3, -14},  {13, -18}, {25, -18}, {35, -14}, {25, -18}, {13, -18},
    {3, -14},  {3, -18},  {0, -24},  {0, -30},  {-2, -32}, {0, -34},  {2, -32},  {0, -30},
    {3, -27},  {4, -24},  {8, -20},  {8, -16},  {8, -34},  {6, -36},  {8, -38},  {10, -36},
    {8, -34},  {14, -22}, {14, -18}, {14, -22}, {17, -29}, {19, -36}, {17, -38}, {19, -40},
    {21, -38}, {19, -36}, {22, -29}, {24, -22}, {24, -18}, {24, -22}, {30, -34}, {28, -36},
    {30, -38}, {32, -36}, {30, -34}, {30, -16}, {30, -20}, {34, -24}, {35, -27}, {38, -30},
    {36, -32}, {38, -34}, {40, -32}, {38, -30}, {38, -24}, {35, -18}, {35, -14}, {35, -11},
    {34, -10}, {31, -7},  {31, -5},  {31, -2},  {29, 0},   {9, 0},
}};
inline constexpr std::array<GlyphPoint, 13> kQueenSeeds = {{
    {19, -3},
    {19, -8},
    {19, -16},
    {19, -20},
    {3, -20},
    {9, -20},
    {29, -20},
    {35, -20},
    {0, -33},
    {8, -37},
    {19, -39},
    {30, -37},
    {38, -33},
}};

// Rook: 32 points, 31 segments.
inline constexpr std::array<GlyphPoint, 32> kRookOutline = {{
    {3, 0},    {3, -5},   {33, -5},  {4, -5},   {4, -9},   {8, -13},  {28, -13}, {9, -13},
    {9, -26},  {28, -26}, {8, -26},  {4, -30},  {4, -38},  {10, -38}, {10, -33}, {15, -33},
    {15, -38}, {22, -38}, {22, -33}, {27, -33}, {27, -38}, {33, -38}, {33, -30}, {29, -26},
    {28, -26}, {28, -13}, {29, -13}, {33, -9},  {33, -5},  {34, -5},  {34, 0},   {3, 0},
}};
inline constexpr std::array<GlyphPoint, 4> kRookSeeds = {
    {{18, -2}, {18, -7}, {18, -15}, {18, -32}}};

// Bishop: 77 points, 76 segments.
inline constexpr std::array<GlyphPoint, 77> kBishopOutline = {{
    {0, 0},    {-1, -1},  {-1, -3},  {1, -5},   {4, -6},   {12, -6},  {13, -7},  {13, -9},
    {23, -9},  {8, -9},   {12, -13}, {24, -13}, {12, -13}, {12, -15}, {11, -16}, {13, -18},
    {15, -19}, {18, -19}, {18, -29}, {18, -25}, {14, -25}, {22, -25}, {18, -25}, {18, -19},
    {21, -19}, {22, -18}, {23, -18}, {25, -16}, {23, -18}, {22, -18}, {21, -19}, {15, -19},
    {13, -18}, {11, -16}, {7, -20},  {7, -25},  {8, -26},  {8, -27},  {12, -31}, {13, -31},
    {15, -33}, {16, -33}, {17, -34}, {18, -34}, {17, -34}, {15, -36}, {15, -38}, {17, -40},
    {19, -40}, {21, -38}, {21, -36}, {19, -34}, {18, -34}, {19, -34}, {20, -33}, {21, -33},
    {23, -31}, {24, -31}, {28, -27}, {28, -26}, {29, -25}, {29, -20}, {24, -15}, {24, -13},
    {28, -9},  {23, -9},  {23, -7},  {24, -6},  {32, -6},  {35, -5},  {37, -3},  {37, -1},
    {36, 0},   {23, 0},   {18, -5},  {13, 0},   {0, 0},
}};
inline constexpr std::array<GlyphPoint, 5> kBishopSeeds = {
    {{18, -38}, {2, -3}, {22, -30}, {18, -11}, {18, -14}}};

// Knight: 70 points, 69 segments.
inline constexpr std::array<GlyphPoint, 70> kKnightOutline = {{
    {9, 0},    {9, -3},   {16, -10}, {16, -11}, {17, -12}, {17, -13}, {18, -14}, {18, -21},
    {19, -22}, {19, -23}, {20, -24}, {20, -26}, {20, -24}, {19, -23}, {19, -22}, {18, -21},
    {17, -21}, {16, -20}, {16, -19}, {15, -19}, {14, -18}, {13, -18}, {9, -14},  {9, -13},
    {6, -10},  {4, -10},  {4, -13},  {5, -15},  {4, -13},  {4, -11},  {1, -11},  {-2, -14},
    {-2, -16}, {-1, -17}, {-1, -19}, {3, -27},  {4, -28},  {4, -29},  {8, -29},  {6, -27},
    {5, -27},  {7, -29},  {4, -29},  {7, -32},  {12, -35}, {7, -32},  {6, -37},  {6, -40},
    {7, -39},  {8, -39},  {9, -38},  {10, -38}, {14, -34}, {14, -32}, {14, -34}, {12, -36},
    {14, -36}, {15, -40}, {18, -36}, {20, -32}, {18, -36}, {24, -36}, {26, -35}, {33, -28},
    {34, -26}, {37, -17}, {37, -11}, {38, -11}, {38, -1},  {9, 0},
}};
inline constexpr std::array<GlyphPoint, 2> kKnightSeeds = {{{24, -15}, {9, -36}}};

// Pawn: 43 points, 42 segments.
inline constexpr std::array<GlyphPoint, 43> kPawnOutline = {{
    {6, 0},    {6, -5},   {7, -6},   {7, -8},   {8, -9},   {8, -10},  {9, -11},  {9, -12},
    {13, -16}, {13, -17}, {11, -19}, {12, -20}, {11, -21}, {11, -24}, {12, -25}, {12, -26},
    {15, -29}, {16, -29}, {14, -31}, {14, -34}, {17, -37}, {20, -37}, {23, -34}, {23, -31},
    {21, -29}, {22, -29}, {25, -26}, {25, -25}, {26, -24}, {26, -21}, {25, -20}, {26, -19},
    {24, -17}, {24, -16}, {28, -12}, {28, -11}, {29, -10}, {29, -9},  {30, -8},  {30, -6},
    {31, -5},  {31, 0},   {6, 0},
}};
inline constexpr std::array<GlyphPoint, 1> kPawnSeeds = {{{21, -10}}};

// The piece kinds in one order, so the TV and LCD routines and their tables stay tied.
enum class PieceKind { King, Queen, Rook, Bishop, Knight, Pawn };
constexpr int kPieceKinds = 6;

// White's board letter of each kind, in PieceKind order; Black's are the same in lower case.
inline constexpr char kPieceLetters[] = "KQRBNP";
static_assert(sizeof(kPieceLetters) - 1 == kPieceKinds);

// The kind a board byte names, or none for any byte that is not one of the twelve letters.
constexpr std::optional<PieceKind> piece_kind_of(char byte)
{
    for (int k = 0; k < kPieceKinds; ++k)
        if (byte == kPieceLetters[k] || byte == kPieceLetters[k] - 'A' + 'a')
            return static_cast<PieceKind>(k);
    return std::nullopt;
}
static_assert(piece_kind_of('n') == PieceKind::Knight && piece_kind_of('K') == PieceKind::King &&
              !piece_kind_of(' ') && !piece_kind_of('k' - 'a' + 'A' + 1));

struct GlyphShape {
    std::span<const GlyphPoint> outline;
    std::span<const GlyphPoint> seeds;
};

inline constexpr std::array<GlyphShape, kPieceKinds> kGlyphShapes = {{
    {kKingOutline, kKingSeeds},
    {kQueenOutline, kQueenSeeds},
    {kRookOutline, kRookSeeds},
    {kBishopOutline, kBishopSeeds},
    {kKnightOutline, kKnightSeeds},
    {kPawnOutline, kPawnSeeds},
}};

constexpr const GlyphShape& glyph_shape(PieceKind kind)
{
    return kGlyphShapes[static_cast<int>(kind)];
}

constexpr bool outline_is_closed(std::span<const GlyphPoint> outline)
{
    return outline.front().dx == outline.back().dx && outline.front().dy == outline.back().dy;
}
static_assert(outline_is_closed(kKingOutline) && outline_is_closed(kQueenOutline) &&
              outline_is_closed(kRookOutline) && outline_is_closed(kBishopOutline) &&
              outline_is_closed(kKnightOutline) && outline_is_closed(kPawnOutline));
