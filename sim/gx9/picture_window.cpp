// The live TV picture window of libgx9: recorded in the state block, where the box reads it
// and draws its moving picture over the framebuffer.
#include <atomic>
#include <cstdint>

#include "host/gx9.h"
#include "sim/gx9/framebuffer.h"

extern "C" {

// The window is only shown while the host allows it (gx9_use_pig is 1).
void Gx9ShowPig(int x, int y, int width, int height)
{
    gx9::FbFile* file = gx9::detail::mapped_file();
    if (file == nullptr || gx9_use_pig != 1)
        return;
    gx9::FbState& state = file->state;
    std::atomic_ref<uint32_t>(state.pig_shown).store(0, std::memory_order_release);
    state.pig_x = x;
    state.pig_y = y;
    state.pig_w = width;
    state.pig_h = height;
    std::atomic_ref<uint32_t>(state.pig_shown).store(1, std::memory_order_release);
}

// Hiding is always allowed, so a window shown before the host withdrew its permission goes.
void Gx9StopPig(void)
{
    gx9::FbFile* file = gx9::detail::mapped_file();
    if (file == nullptr)
        return;
    std::atomic_ref<uint32_t>(file->state.pig_shown).store(0, std::memory_order_release);
}

} // extern "C"
