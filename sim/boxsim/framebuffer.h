// The box's side of the framebuffer: the memory file handed to the plugin as "fd_framebuffer",
// mapped here too so that the box sees every pixel, the palette and the state block at once.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sim/gx9/gx9_sim.h"
#include "sim/unique_fd.h"

namespace boxsim {

using sim::UniqueFd;

using Palette = std::array<std::array<uint8_t, 3>, gx9::kPaletteSize>;

struct PigWindow {
    bool shown = false;
    int x = 0, y = 0, width = 0, height = 0;
};

// What changes when the plugin draws: compared between two looks to decide on a repaint.
struct FbVersion {
    uint32_t draw_counter = 0;
    uint32_t palette_ready = 0;
    bool operator==(const FbVersion&) const = default;
};

class Framebuffer {
  public:
    Framebuffer(); // throws std::system_error naming the failing call
    ~Framebuffer();
    Framebuffer(const Framebuffer&) = delete;
    Framebuffer& operator=(const Framebuffer&) = delete;

    int fd() const { return fd_.get(); } // stays owned here; the plugin gets it by number

    FbVersion version() const;
    PigWindow pig() const;
    bool initialised() const; // FBInitialize has mapped the file
    Palette palette() const;
    // A copy of the 720 x 576 palette indices, row by row.
    std::vector<uint8_t> pixels() const;
    const uint8_t* live_pixels() const { return &file_->pixels[0][0]; }

  private:
    UniqueFd fd_;
    const gx9::FbFile* file_ = nullptr;
};

} // namespace boxsim
