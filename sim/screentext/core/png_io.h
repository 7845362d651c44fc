// Screenshots as PNG files: the TV as 8-bit indexed PNG carrying its palette, the LCD as 1-bit.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace screentext {

constexpr int kPaletteEntries = 256;
// Images wider or higher than this are refused when read (a damaged or hostile header).
constexpr int kMaxPngSide = 8192;

using Palette = std::array<std::array<uint8_t, 3>, kPaletteEntries>; // red, green, blue

struct IndexedImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels; // width x height palette indices, row by row
    Palette palette{};           // entries the file does not define are black
};

struct BitImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels; // width x height, 1 for a lit pixel, 0 for a dark one
};

// Each returns an empty string on success, else a message naming the file and what failed.
// Writers need width, height >= 1 and width x height pixels.

// pixels: palette indices row by row; palette: 256 entries of red, green, blue.
std::string write_indexed_png(const std::string& path, int width, int height, const uint8_t* pixels,
                              const uint8_t (*palette)[3]);
// Reads an indexed PNG of any bit depth into indices and its palette.
std::string read_indexed_png(const std::string& path, IndexedImage& image);

// lit: one byte per pixel row by row, nonzero for a lit pixel (stored as 1, gray white).
std::string write_bit_png(const std::string& path, int width, int height, const uint8_t* lit);
// Reads a 1-bit grey PNG.
std::string read_bit_png(const std::string& path, BitImage& image);

} // namespace screentext
