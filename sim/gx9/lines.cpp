// Straight lines of libgx9: Bresenham's pixels, both end points included, 8-connected.
//
// Each pixel is computed from its step number along the major axis instead of by stepping
// from the first end point, so a line with end points far off the screen (up to INT_MIN and
// INT_MAX) costs only its visible steps. Step i of n lies at major coordinate M1 + i and minor
// coordinate m1 + round(i * dm / n), halves rounded up: the pixel nearest the true line, which
// is what the incremental algorithm plots.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "host/gx9.h"
#include "sim/gx9/framebuffer.h"

namespace {

struct Axis {
    int64_t start; // coordinate of the first end point
    int64_t delta; // second minus first
    int limit;     // screen size along this axis
};

// Offset along the minor axis at step i of n (0 <= i <= n, |minor_delta| <= n, n > 0).
// (2 i m + n) / 2n is taken as quotient and remainder of i m / n: n is below 2^32, so i m fits
// in 64 unsigned bits, and 32-bit CPUs have no 128-bit integers.
int64_t minor_offset(int64_t i, int64_t n, int64_t minor_delta)
{
    const uint64_t product = static_cast<uint64_t>(i) * static_cast<uint64_t>(std::llabs(minor_delta));
    const uint64_t divisor = static_cast<uint64_t>(n);
    const uint64_t rounded = product / divisor + (2 * (product % divisor) >= divisor ? 1 : 0);
    const int64_t offset = static_cast<int64_t>(rounded);
    return minor_delta < 0 ? -offset : offset;
}

// The steps 0 .. n whose major coordinate falls on the screen, as [first, last].
bool visible_steps(const Axis& major, int64_t n, int64_t& first, int64_t& last)
{
    if (major.delta >= 0) {
        first = -major.start;
        last = major.limit - 1 - major.start;
    } else {
        first = major.start - (major.limit - 1);
        last = major.start;
    }
    first = std::max<int64_t>(first, 0);
    last = std::min<int64_t>(last, n);
    return first <= last;
}

void plot_line(gx9::FbFile& file, const Axis& major, const Axis& minor, bool major_is_x,
               uint8_t color)
{
    const int64_t n = std::llabs(major.delta);
    int64_t first = 0, last = 0;
    if (!visible_steps(major, n, first, last))
        return;
    const int64_t major_step = major.delta >= 0 ? 1 : -1;
    for (int64_t i = first; i <= last; ++i) {
        const int64_t a = major.start + i * major_step;
        const int64_t b = n == 0 ? minor.start : minor.start + minor_offset(i, n, minor.delta);
        if (b < 0 || b >= minor.limit)
            continue;
        if (major_is_x)
            file.pixels[b][a] = color;
        else
            file.pixels[a][b] = color;
    }
}

} // namespace

extern "C" void FBDrawLine(int x1, int y1, int x2, int y2, unsigned char color)
{
    gx9::FbFile* file = gx9::detail::mapped_file();
    if (file == nullptr)
        return;
    const Axis x{x1, int64_t{x2} - x1, gx9::kWidth};
    const Axis y{y1, int64_t{y2} - y1, gx9::kHeight};
    if (std::llabs(x.delta) >= std::llabs(y.delta))
        plot_line(*file, x, y, true, color);
    else
        plot_line(*file, y, x, false, color);
    gx9::detail::count_draw_call(*file);
}
