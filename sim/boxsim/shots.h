// Screenshots of the box: NAME.png, the TV exactly as the plugin drew it (indexed, with the
// palette; the live picture is not painted in), and NAME-lcd.png, the LCD panel (1 bit).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "sim/boxsim/box_fs.h"
#include "sim/boxsim/framebuffer.h"

namespace boxsim {

// Creates `dir` when missing. Returns an empty string on success, else what failed.
std::string take_shot(const std::filesystem::path& dir, std::string_view name,
                      const Framebuffer& framebuffer, const LcdFrame& lcd);

} // namespace boxsim
