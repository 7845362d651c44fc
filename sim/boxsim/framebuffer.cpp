// The framebuffer memory file shared by the box and the host library.
#include "sim/boxsim/framebuffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace boxsim {
namespace {

[[noreturn]] void fail(const char* call)
{
    throw std::system_error(errno, std::generic_category(), call);
}

// The state block is written by the plugin's thread through another mapping of the same file:
// read its words atomically.
uint32_t load(const uint32_t& word)
{
    return __atomic_load_n(&word, __ATOMIC_ACQUIRE);
}

int32_t load(const int32_t& word)
{
    return __atomic_load_n(&word, __ATOMIC_ACQUIRE);
}

} // namespace

Framebuffer::Framebuffer()
{
    fd_.reset(memfd_create("boxsim-framebuffer", MFD_CLOEXEC));
    if (!fd_)
        fail("memfd_create");
    if (ftruncate(fd_.get(), static_cast<off_t>(gx9::kFbFileSize)) != 0)
        fail("ftruncate");
    void* address = mmap(nullptr, gx9::kFbFileSize, PROT_READ, MAP_SHARED, fd_.get(), 0);
    if (address == MAP_FAILED)
        fail("mmap");
    file_ = static_cast<const gx9::FbFile*>(address);
}

Framebuffer::~Framebuffer()
{
    munmap(const_cast<gx9::FbFile*>(file_), gx9::kFbFileSize);
}

FbVersion Framebuffer::version() const
{
    return {load(file_->state.draw_counter), load(file_->state.palette_ready)};
}

bool Framebuffer::initialised() const
{
    return load(file_->state.magic) == gx9::kFbMagic;
}

PigWindow Framebuffer::pig() const
{
    const gx9::FbState& s = file_->state;
    return {load(s.pig_shown) != 0, load(s.pig_x), load(s.pig_y), load(s.pig_w), load(s.pig_h)};
}

Palette Framebuffer::palette() const
{
    Palette palette;
    std::memcpy(palette.data(), file_->palette, sizeof file_->palette);
    static_assert(sizeof(Palette) == sizeof file_->palette);
    return palette;
}

std::vector<uint8_t> Framebuffer::pixels() const
{
    std::vector<uint8_t> copy(sizeof file_->pixels);
    std::memcpy(copy.data(), file_->pixels, copy.size());
    return copy;
}

} // namespace boxsim
