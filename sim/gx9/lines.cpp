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

// The minor axis's offset at step i of n (0 <= i <= n, 0 <= m <= n, n > 0, m the minor axis's
// distance) is (2 i m + n) div 2n, and the remainder tells when the next step moves it: each
// step adds 2m. The first visible step's pair is found by one division (n is below 2^32, so
// i m fits in 64 unsigned bits, and 32-bit CPUs have no 128-bit integers); the rest by adding.
struct MinorStep {
    uint64_t offset;
    uint64_t remainder; // 0 <= remainder < 2n
};

MinorStep minor_at(uint64_t i, uint64_t n, uint64_t m)
{
    const uint64_t product = i * m;
    const uint64_t twice_rest = 2 * (product % n) + n;
    const bool carried = twice_rest >= 2 * n;
    return {product / n + (carried ? 1 : 0), twice_rest - (carried ? 2 * n : 0)};
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
    const int64_t minor_sign = minor.delta >= 0 ? 1 : -1;
    const auto m = static_cast<uint64_t>(std::llabs(minor.delta));
    const auto steps = static_cast<uint64_t>(n);
    MinorStep at = n == 0 ? MinorStep{0, 0} : minor_at(static_cast<uint64_t>(first), steps, m);
    for (int64_t i = first; i <= last; ++i) {
        const int64_t a = major.start + i * major_step;
        const int64_t b = minor.start + minor_sign * static_cast<int64_t>(at.offset);
        if (b >= 0 && b < minor.limit) {
            if (major_is_x)
                file.pixels[b][a] = color;
            else
                file.pixels[a][b] = color;
        }
        at.remainder += 2 * m;
        if (at.remainder >= 2 * steps) {
            at.remainder -= 2 * steps;
            ++at.offset;
        }
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
