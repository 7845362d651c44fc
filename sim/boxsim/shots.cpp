// Writes the TV and LCD screenshots with the screen reader's PNG writers.
#include "sim/boxsim/shots.h"

#include <system_error>
#include <vector>

#include "sim/screentext/core/png_io.h"

namespace boxsim {

std::string take_shot(const std::filesystem::path& dir, std::string_view name,
                      const Framebuffer& framebuffer, const LcdFrame& lcd)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec)
        return "cannot create '" + dir.string() + "': " + ec.message();

    const std::vector<uint8_t> pixels = framebuffer.pixels();
    const Palette palette = framebuffer.palette();
    uint8_t table[gx9::kPaletteSize][3];
    for (size_t i = 0; i < palette.size(); ++i)
        for (size_t c = 0; c < 3; ++c)
            table[i][c] = palette[i][c];
    const std::string tv_path = (dir / (std::string(name) + ".png")).string();
    std::string error =
        screentext::write_indexed_png(tv_path, gx9::kWidth, gx9::kHeight, pixels.data(), table);
    if (!error.empty())
        return error;

    std::vector<uint8_t> lit(static_cast<size_t>(kLcdWidth * kLcdHeight));
    for (int y = 0; y < kLcdHeight; ++y)
        for (int x = 0; x < kLcdWidth; ++x)
            lit[static_cast<size_t>(y * kLcdWidth + x)] = lcd_pixel_lit(lcd, x, y) ? 1 : 0;
    const std::string lcd_path = (dir / (std::string(name) + "-lcd.png")).string();
    return screentext::write_bit_png(lcd_path, kLcdWidth, kLcdHeight, lit.data());
}

} // namespace boxsim
