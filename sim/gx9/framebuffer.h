// Inside libgx9: the mapped framebuffer file that the drawing, text and picture-window code share.
#pragma once

#include <cstdint>

#include "sim/gx9/gx9_sim.h"

// Not exported: libgx9.so exports the host library's operations and globals only.
namespace gx9 {
namespace detail __attribute__((visibility("hidden")))
{

    // The framebuffer file mapped by FBInitialize (framebuffer.cpp writes it), null before
    // FBInitialize, after FBClose and after a failed FBInitialize. A plain pointer, read inline
    // by every drawing call.
    extern FbFile* current_file;
    inline FbFile* mapped_file()
    {
        return current_file;
    }

    // Bumps state.draw_counter; every drawing entry point calls it once when a file is mapped.
    void count_draw_call(FbFile & file);

    // Fills columns x .. x+width-1 and rows y .. y+height-1, clipped to the screen. 64-bit
    // arguments so that no sum of the caller's int coordinates can overflow.
    void fill_clipped(FbFile & file, int64_t x, int64_t y, int64_t width, int64_t height,
                      uint8_t color);

} // namespace )
} // namespace gx9
