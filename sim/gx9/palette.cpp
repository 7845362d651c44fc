// The palette of libgx9: FBSetColor collects entries, FBSetupColors publishes them to the box.
//
// FBSetColor alone changes nothing the box can see: entries wait in the library's pending
// palette until FBSetupColors copies all 256 of them into the framebuffer file and bumps
// state.palette_ready, as a palette is loaded into display hardware in one go. Entries never
// defined stay black.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>

#include "host/gx9.h"
#include "sim/gx9/framebuffer.h"

namespace {

// The pending palette: written by FBSetColor, published by FBSetupColors. Kept across
// FBClose and FBInitialize, as the hardware's palette registers would be.
std::array<std::array<uint8_t, 3>, gx9::kPaletteSize> pending_palette{};

uint8_t clamp_component(int value)
{
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

} // namespace

extern "C" {

// An index outside 0..255 is ignored; components are clamped to 0..255.
void FBSetColor(int index, int red, int green, int blue)
{
    if (index < 0 || index >= gx9::kPaletteSize)
        return;
    pending_palette[index] = {clamp_component(red), clamp_component(green), clamp_component(blue)};
}

void FBSetupColors(void)
{
    gx9::FbFile* file = gx9::detail::mapped_file();
    if (file == nullptr)
        return;
    static_assert(sizeof(file->palette) == sizeof(pending_palette));
    std::memcpy(file->palette, pending_palette.data(), sizeof(file->palette));
    std::atomic_ref<uint32_t>(file->state.palette_ready).fetch_add(1, std::memory_order_release);
}

} // extern "C"
