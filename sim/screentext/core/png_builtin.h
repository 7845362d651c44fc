// PNG files without libpng or zlib, for box targets whose C library has neither.
//
// The same four operations and messages as png_io.h. Reading takes any non-interlaced indexed or
// grey PNG of 1, 2, 4 or 8 bits, with every deflate block kind and every row filter, so golden
// images written by libpng read back index for index. Writing stores the image data in
// uncompressed deflate blocks: larger files, the same pixels, readable by any PNG reader.
// Every header field, chunk length and checksum is checked before it is used.
#pragma once

#include <string>

#include "sim/screentext/core/png_io.h"

namespace screentext::builtin {

std::string write_indexed_png(const std::string& path, int width, int height, const uint8_t* pixels,
                              const uint8_t (*palette)[3]);
std::string read_indexed_png(const std::string& path, IndexedImage& image);
std::string write_bit_png(const std::string& path, int width, int height, const uint8_t* lit);
std::string read_bit_png(const std::string& path, BitImage& image);

} // namespace screentext::builtin
