// Reading LCD frames back in tests: pixels, counts, an ASCII picture for failure messages, and
// golden 960-byte frames in tests/golden/lcd_NAME.bin (VITREL_UPDATE_GOLDEN=1 rewrites them).
#pragma once

#include <array>
#include <string>

#include <gtest/gtest.h>

#include "lcd/device.h"

namespace lcdtest {

using Frame = std::array<unsigned char, kLcdFrameBytes>;

// Whether pixel (x, y) is lit, read straight from the frame format; false off the display.
bool lit(const Frame& frame, int x, int y);
// Lit pixels in the box x..x+width-1, y..y+height-1.
int lit_count(const Frame& frame, int x, int y, int width, int height);
// One line per row, '#' for a lit pixel and '.' for a dark one, with a column ruler.
std::string ascii(const Frame& frame, int x = 0, int y = 0, int width = kLcdWidth,
                  int height = kLcdHeight);
// Pixels lit in a and not in b, and the reverse, as "(x,y)" lists for failure messages.
std::string differences(const Frame& a, const Frame& b);
// Compares the frame with tests/golden/lcd_NAME.bin byte for byte; with VITREL_UPDATE_GOLDEN=1
// it writes the file instead.
::testing::AssertionResult matches_golden(const Frame& frame, const std::string& name);

} // namespace lcdtest
