// PNG screenshots and golden images through the built-in codec, where libpng is not built
// (VITREL_LIBPNG off: the box cross builds). Same interface and messages as core/png_io.cpp.
#include "sim/screentext/core/png_builtin.h"
#include "sim/screentext/core/png_io.h"

namespace screentext {

std::string write_indexed_png(const std::string& path, int width, int height, const uint8_t* pixels,
                              const uint8_t (*palette)[3])
{
    return builtin::write_indexed_png(path, width, height, pixels, palette);
}

std::string read_indexed_png(const std::string& path, IndexedImage& image)
{
    return builtin::read_indexed_png(path, image);
}

std::string write_bit_png(const std::string& path, int width, int height, const uint8_t* lit)
{
    return builtin::write_bit_png(path, width, height, lit);
}

std::string read_bit_png(const std::string& path, BitImage& image)
{
    return builtin::read_bit_png(path, image);
}

} // namespace screentext
