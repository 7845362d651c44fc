// PNG reading and writing with libpng for screenshots and golden images.
//
// libpng reports errors by longjmp, so every function that calls setjmp holds only plain
// locals; the files, buffers and libpng structures are owned by RAII objects in its callers.
#include "sim/screentext/core/png_io.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

namespace screentext {
namespace {

struct CloseFile {
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, CloseFile>;

// Where libpng's error message lands before it jumps back.
struct ErrorSink {
    char message[200] = "";
};

[[noreturn]] void on_png_error(png_structp png, png_const_charp message)
{
    auto* sink = static_cast<ErrorSink*>(png_get_error_ptr(png));
    std::snprintf(sink->message, sizeof(sink->message), "%s", message);
    png_longjmp(png, 1);
}

void on_png_warning(png_structp, png_const_charp) {}

std::string failure(const std::string& path, const char* what)
{
    return path + ": " + what;
}

// ---- Writing ----------------------------------------------------------------------------------

struct WriteRequest {
    int width, height;
    int bit_depth, color_type;
    const png_color* palette; // null for grey
    png_bytepp rows;
};

bool write_png_file(FILE* file, const WriteRequest& request, ErrorSink& sink)
{
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, on_png_error, on_png_warning);
    if (png == nullptr) {
        std::snprintf(sink.message, sizeof(sink.message), "png_create_write_struct failed");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        std::snprintf(sink.message, sizeof(sink.message), "png_create_info_struct failed");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, request.width, request.height, request.bit_depth, request.color_type,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (request.palette != nullptr)
        png_set_PLTE(png, info, request.palette, kPaletteEntries);
    png_write_info(png, info);
    if (request.bit_depth < 8)
        png_set_packing(png);
    png_write_image(png, request.rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

std::string write_png(const std::string& path, WriteRequest request, const uint8_t* pixels)
{
    if (request.width < 1 || request.height < 1 || pixels == nullptr)
        return failure(path, "nothing to write (empty image)");
    std::vector<png_bytep> rows(static_cast<size_t>(request.height));
    for (int row = 0; row < request.height; ++row)
        rows[row] = const_cast<png_bytep>(pixels + size_t(row) * size_t(request.width));
    request.rows = rows.data();

    File file(std::fopen(path.c_str(), "wb"));
    if (!file)
        return failure(path, std::strerror(errno));
    ErrorSink sink;
    if (!write_png_file(file.get(), request, sink))
        return failure(path, sink.message);
    if (std::fclose(file.release()) != 0)
        return failure(path, std::strerror(errno));
    return {};
}

// ---- Reading ----------------------------------------------------------------------------------

// A libpng read structure and its info, destroyed together.
class Reader {
  public:
    explicit Reader(ErrorSink& sink)
    {
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &sink, on_png_error, on_png_warning);
        if (png_ != nullptr)
            info_ = png_create_info_struct(png_);
    }
    ~Reader() { png_destroy_read_struct(&png_, info_ != nullptr ? &info_ : nullptr, nullptr); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool ready() const { return png_ != nullptr && info_ != nullptr; }
    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

  private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

struct Header {
    png_uint_32 width = 0, height = 0;
    int bit_depth = 0, color_type = 0;
    Palette palette{}; // copied out: libpng's own copy goes with the reader
};

// Reads the header and asks libpng to deliver one byte per pixel.
bool read_header(const Reader& reader, FILE* file, Header& header)
{
    png_structp png = reader.png();
    png_infop info = reader.info();
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_init_io(png, file);
    png_set_user_limits(png, kMaxPngSide, kMaxPngSide);
    png_read_info(png, info);
    header.width = png_get_image_width(png, info);
    header.height = png_get_image_height(png, info);
    header.bit_depth = png_get_bit_depth(png, info);
    header.color_type = png_get_color_type(png, info);
    png_colorp colors = nullptr;
    int count = 0;
    if (header.color_type == PNG_COLOR_TYPE_PALETTE &&
        png_get_PLTE(png, info, &colors, &count) == PNG_INFO_PLTE) {
        for (int i = 0; i < count && i < kPaletteEntries; ++i)
            header.palette[i] = {colors[i].red, colors[i].green, colors[i].blue};
    }
    if (header.bit_depth < 8)
        png_set_packing(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

bool read_rows(const Reader& reader, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(reader.png())))
        return false;
    png_read_image(reader.png(), rows);
    png_read_end(reader.png(), nullptr);
    return true;
}

// Opens the file, checks the header with `accept`, reads the pixels into `pixels`.
template <typename Accept>
std::string read_png(const std::string& path, Header& header, std::vector<uint8_t>& pixels,
                     Accept accept)
{
    File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return failure(path, std::strerror(errno));
    ErrorSink sink;
    Reader reader(sink);
    if (!reader.ready())
        return failure(path, "png_create_read_struct failed");
    if (!read_header(reader, file.get(), header))
        return failure(path, sink.message);
    if (const char* refusal = accept(header))
        return failure(path, refusal);
    if (png_get_rowbytes(reader.png(), reader.info()) != header.width)
        return failure(path, "unexpected row size");
    pixels.assign(size_t(header.width) * header.height, 0);
    std::vector<png_bytep> rows(header.height);
    for (png_uint_32 row = 0; row < header.height; ++row)
        rows[row] = pixels.data() + size_t(row) * header.width;
    if (!read_rows(reader, rows.data()))
        return failure(path, sink.message);
    return {};
}

} // namespace

std::string write_indexed_png(const std::string& path, int width, int height, const uint8_t* pixels,
                              const uint8_t (*palette)[3])
{
    if (palette == nullptr)
        return failure(path, "no palette");
    std::array<png_color, kPaletteEntries> colors{};
    for (int i = 0; i < kPaletteEntries; ++i)
        colors[i] = {palette[i][0], palette[i][1], palette[i][2]};
    return write_png(path, {width, height, 8, PNG_COLOR_TYPE_PALETTE, colors.data(), nullptr},
                     pixels);
}

std::string read_indexed_png(const std::string& path, IndexedImage& image)
{
    Header header;
    std::string error = read_png(path, header, image.pixels, [](const Header& h) -> const char* {
        return h.color_type == PNG_COLOR_TYPE_PALETTE ? nullptr : "not an indexed PNG";
    });
    if (!error.empty())
        return error;
    image.width = static_cast<int>(header.width);
    image.height = static_cast<int>(header.height);
    image.palette = header.palette;
    return {};
}

std::string write_bit_png(const std::string& path, int width, int height, const uint8_t* lit)
{
    if (width < 1 || height < 1 || lit == nullptr)
        return failure(path, "nothing to write (empty image)");
    std::vector<uint8_t> bits(size_t(width) * size_t(height));
    for (size_t i = 0; i < bits.size(); ++i)
        bits[i] = lit[i] != 0 ? 1 : 0;
    return write_png(path, {width, height, 1, PNG_COLOR_TYPE_GRAY, nullptr, nullptr}, bits.data());
}

std::string read_bit_png(const std::string& path, BitImage& image)
{
    Header header;
    std::string error = read_png(path, header, image.pixels, [](const Header& h) -> const char* {
        return h.color_type == PNG_COLOR_TYPE_GRAY && h.bit_depth == 1 ? nullptr
                                                                       : "not a 1-bit grey PNG";
    });
    if (!error.empty())
        return error;
    image.width = static_cast<int>(header.width);
    image.height = static_cast<int>(header.height);
    return {};
}

} // namespace screentext
