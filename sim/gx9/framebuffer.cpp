// The framebuffer of libgx9: maps the box's framebuffer file and draws rectangles, pixels and
// image blocks into it, clipped to the 720 x 576 screen.
#include "sim/gx9/framebuffer.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

#include "host/gx9.h"

namespace gx9::detail {
namespace {

static_assert(kWidth == kScreenWidth && kHeight == kScreenHeight);

// A shared read-write mapping of the first kFbFileSize bytes of a file; unmapped on destruction.
class FileMapping {
  public:
    static std::optional<FileMapping> map(int fd)
    {
        struct stat st {};
        if (fstat(fd, &st) != 0) {
            std::fprintf(stderr, "FBInitialize: fstat(%d): %s\n", fd, std::strerror(errno));
            return std::nullopt;
        }
        if (st.st_size < static_cast<off_t>(kFbFileSize)) {
            std::fprintf(stderr, "FBInitialize: descriptor %d holds %lld bytes, needs %zu\n", fd,
                         static_cast<long long>(st.st_size), kFbFileSize);
            return std::nullopt;
        }
        void* address = mmap(nullptr, kFbFileSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (address == MAP_FAILED) {
            std::fprintf(stderr, "FBInitialize: mmap(%d): %s\n", fd, std::strerror(errno));
            return std::nullopt;
        }
        return FileMapping(static_cast<FbFile*>(address));
    }

    FileMapping(FileMapping&& other) noexcept : file_(std::exchange(other.file_, nullptr)) {}
    FileMapping& operator=(FileMapping&& other) noexcept
    {
        std::swap(file_, other.file_);
        return *this;
    }
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;
    ~FileMapping()
    {
        if (file_ != nullptr && munmap(file_, kFbFileSize) != 0)
            std::fprintf(stderr, "FBClose: munmap: %s\n", std::strerror(errno));
    }

    FbFile* file() const { return file_; }

  private:
    explicit FileMapping(FbFile* file) : file_(file) {}
    FbFile* file_;
};

// The library has one framebuffer: the mapping made by the last successful FBInitialize.
std::optional<FileMapping> the_mapping;

void unmap()
{
    the_mapping.reset();
    current_file = nullptr;
}

// The half-open range [low, high) of the screen's 0 .. limit that [start, start + length) covers.
struct Span {
    int low, high;
    bool empty() const { return low >= high; }
};

Span clip_span(int64_t start, int64_t length, int limit)
{
    const int64_t low = std::clamp<int64_t>(start, 0, limit);
    const int64_t high = std::clamp<int64_t>(start + length, 0, limit);
    return {static_cast<int>(low), static_cast<int>(high)};
}

// One unsigned comparison per axis: a negative coordinate wraps past the screen's size.
bool on_screen(int x, int y)
{
    return static_cast<unsigned>(x) < unsigned{kWidth} &&
           static_cast<unsigned>(y) < unsigned{kHeight};
}

// Pixel (x, y), on the screen, as a byte of the file's object representation: the index is an
// unsigned 32-bit product and sum, which needs no widening before the load or store.
static_assert(offsetof(FbFile, pixels) == 0);
uint8_t& pixel_at(FbFile& file, int x, int y)
{
    const unsigned index = static_cast<unsigned>(y) * unsigned{kWidth} + static_cast<unsigned>(x);
    return reinterpret_cast<uint8_t*>(&file)[index];
}

} // namespace

FbFile* current_file;

// The library is the counter's only writer (the box only reads it), and it draws from one thread:
// a load and a release store publish the bump without the locked add, which would cost more than
// the pixel that FBPaintPixel paints.
void count_draw_call(FbFile& file)
{
    const std::atomic_ref<uint32_t> counter(file.state.draw_counter);
    counter.store(counter.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

void fill_clipped(FbFile& file, int64_t x, int64_t y, int64_t width, int64_t height, uint8_t color)
{
    if (width <= 0 || height <= 0)
        return;
    const Span columns = clip_span(x, width, kWidth);
    const Span rows = clip_span(y, height, kHeight);
    if (columns.empty() || rows.empty())
        return;
    for (int row = rows.low; row < rows.high; ++row)
        std::memset(&file.pixels[row][columns.low], color, columns.high - columns.low);
}

} // namespace gx9::detail

using gx9::detail::count_draw_call;
using gx9::detail::fill_clipped;
using gx9::detail::mapped_file;

extern "C" {

// A new FBInitialize first releases the framebuffer of an earlier one, so after a failure
// nothing at all is mapped and drawing does nothing.
int FBInitialize(int width, int height, int depth, int fd)
{
    gx9::detail::unmap();
    if (width != gx9::kWidth || height != gx9::kHeight || depth != 8) {
        std::fprintf(stderr, "FBInitialize: %d x %d x %d requested, only 720 x 576 x 8 exists\n",
                     width, height, depth);
        return -1;
    }
    if (fd < 0) {
        std::fprintf(stderr, "FBInitialize: no descriptor (%d)\n", fd);
        return -1;
    }
    gx9::detail::the_mapping = gx9::detail::FileMapping::map(fd);
    if (!gx9::detail::the_mapping)
        return -1;
    gx9::detail::current_file = gx9::detail::the_mapping->file();
    std::atomic_ref<uint32_t>(mapped_file()->state.magic)
        .store(gx9::kFbMagic, std::memory_order_release);
    return 0;
}

void FBClose(void)
{
    gx9::detail::unmap();
}

void FBFillRect(int x, int y, int width, int height, unsigned char color)
{
    gx9::FbFile* file = mapped_file();
    if (file == nullptr)
        return;
    fill_clipped(*file, x, y, width, height, color);
    count_draw_call(*file);
}

// The border of the box that FBFillRect with the same arguments fills.
void FBDrawRect(int x, int y, int width, int height, unsigned char color)
{
    gx9::FbFile* file = mapped_file();
    if (file == nullptr)
        return;
    if (width > 0 && height > 0) {
        const int64_t right = int64_t{x} + width - 1;
        const int64_t bottom = int64_t{y} + height - 1;
        fill_clipped(*file, x, y, width, 1, color);
        fill_clipped(*file, x, bottom, width, 1, color);
        fill_clipped(*file, x, y, 1, height, color);
        fill_clipped(*file, right, y, 1, height, color);
    }
    count_draw_call(*file);
}

void FBPaintPixel(int x, int y, unsigned char color)
{
    gx9::FbFile* file = mapped_file();
    if (file == nullptr)
        return;
    if (gx9::detail::on_screen(x, y))
        gx9::detail::pixel_at(*file, x, y) = color;
    count_draw_call(*file);
}

unsigned char FBGetPixel(int x, int y)
{
    gx9::FbFile* file = mapped_file();
    if (file == nullptr || !gx9::detail::on_screen(x, y))
        return 0;
    return gx9::detail::pixel_at(*file, x, y);
}

// The block holds width x height indices, row by row; only the part on the screen is copied.
void FBCopyImage(int x, int y, int width, int height, const unsigned char* pixels)
{
    gx9::FbFile* file = mapped_file();
    if (file == nullptr)
        return;
    if (pixels != nullptr && width > 0 && height > 0) {
        const auto columns = gx9::detail::clip_span(x, width, gx9::kWidth);
        const auto rows = gx9::detail::clip_span(y, height, gx9::kHeight);
        if (!columns.empty() && !rows.empty()) {
            const size_t length = static_cast<size_t>(columns.high - columns.low);
            int64_t offset = (int64_t{rows.low} - y) * width + (int64_t{columns.low} - x);
            for (int row = rows.low; row < rows.high; ++row, offset += width) {
                const unsigned char* source = pixels + offset;
                uint8_t* target = &file->pixels[row][columns.low];
                // A row of 8 to 16 pixels (a font cell's has 10) goes as two words of eight
                // bytes, the second overlapping the first, not through a call to memcpy.
                if (length >= 8 && length <= 16) {
                    std::memcpy(target, source, 8);
                    std::memcpy(target + length - 8, source + length - 8, 8);
                } else {
                    std::memcpy(target, source, length);
                }
            }
        }
    }
    count_draw_call(*file);
}

} // extern "C"
