// Reading LCD frames back in tests: pixel tests, ASCII pictures and golden frame files.
#include "tests/lcd/lcd_frame_view.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace lcdtest {

bool lit(const Frame& frame, int x, int y)
{
    if (x < 0 || x >= kLcdWidth || y < 0 || y >= kLcdHeight)
        return false;
    return (frame[static_cast<std::size_t>(y / 8 * kLcdWidth + x)] >> (y % 8)) & 1;
}

int lit_count(const Frame& frame, int x, int y, int width, int height)
{
    int n = 0;
    for (int row = y; row < y + height; ++row)
        for (int col = x; col < x + width; ++col)
            n += lit(frame, col, row);
    return n;
}

std::string ascii(const Frame& frame, int x, int y, int width, int height)
{
    std::string out = "     ";
    for (int col = x; col < x + width; ++col)
        out += static_cast<char>('0' + col % 10);
    out += '\n';
    for (int row = y; row < y + height; ++row) {
        char label[16];
        std::snprintf(label, sizeof label, "%3d  ", row);
        out += label;
        for (int col = x; col < x + width; ++col)
            out += lit(frame, col, row) ? '#' : '.';
        out += '\n';
    }
    return out;
}

std::string differences(const Frame& a, const Frame& b)
{
    std::string only_a, only_b;
    for (int y = 0; y < kLcdHeight; ++y)
        for (int x = 0; x < kLcdWidth; ++x) {
            if (lit(a, x, y) == lit(b, x, y))
                continue;
            std::string& list = lit(a, x, y) ? only_a : only_b;
            list += "(" + std::to_string(x) + "," + std::to_string(y) + ")";
        }
    return "lit only in the first: " + only_a + "\nlit only in the second: " + only_b;
}

::testing::AssertionResult matches_golden(const Frame& frame, const std::string& name)
{
    const std::string path = std::string(VITREL_SOURCE_DIR) + "/tests/golden/lcd_" + name + ".bin";
    const char* update = std::getenv("VITREL_UPDATE_GOLDEN");
    if (update != nullptr && std::strcmp(update, "1") == 0) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(frame.data()), std::ssize(frame));
        if (!out)
            return ::testing::AssertionFailure() << "cannot write " << path;
        return ::testing::AssertionSuccess();
    }
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return ::testing::AssertionFailure()
               << "no golden frame " << path << " (VITREL_UPDATE_GOLDEN=1 writes it)\n"
               << ascii(frame);
    Frame golden{};
    in.read(reinterpret_cast<char*>(golden.data()), std::ssize(golden));
    if (in.gcount() != std::ssize(golden) || in.peek() != std::char_traits<char>::eof())
        return ::testing::AssertionFailure()
               << path << " is not a " << kLcdFrameBytes << "-byte frame";
    if (golden == frame)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "frame differs from " << path << "\n"
                                         << differences(frame, golden) << "\ndrawn:\n"
                                         << ascii(frame) << "golden:\n"
                                         << ascii(golden);
}

} // namespace lcdtest
