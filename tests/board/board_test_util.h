// Helpers for the board tests: a copy of the screen, a reference region finder, pixel diffs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/gx9/gx9_sim.h"
#include "tests/support/test_screen.h"

namespace boardtest {

using Pixels = std::vector<uint8_t>; // kWidth * kHeight palette indices, row by row

inline Pixels snapshot(const testsupport::TestScreen& screen)
{
    const auto& px = screen.file().pixels;
    return Pixels(&px[0][0], &px[0][0] + gx9::kWidth * gx9::kHeight);
}

inline int at(int x, int y)
{
    return y * gx9::kWidth + x;
}

// The pixels a flood fill from (x, y) must reach, found by a plain breadth-first search on a copy
// of the screen: 4-connected, inside 1..718 x 1..575, never entering fill or border pixels.
// Result: one flag per pixel. `boundary` counts the in-bounds pixels read but not entered.
inline std::vector<bool> reference_region(const Pixels& before, int x, int y, uint8_t fill,
                                          uint8_t border, int* boundary = nullptr)
{
    std::vector<bool> inside(before.size()), seen(before.size());
    std::vector<int> queue;
    int stopped = 0;
    auto reach = [&](int px, int py) {
        if (px < 1 || px > 718 || py < 1 || py > 575 || seen[at(px, py)])
            return;
        seen[at(px, py)] = true;
        const uint8_t c = before[at(px, py)];
        if (c == fill || c == border) {
            ++stopped;
            return;
        }
        inside[at(px, py)] = true;
        queue.push_back(at(px, py));
    };
    reach(x, y);
    for (size_t i = 0; i < queue.size(); ++i) {
        const int px = queue[i] % gx9::kWidth, py = queue[i] / gx9::kWidth;
        reach(px, py + 1);
        reach(px, py - 1);
        reach(px + 1, py);
        reach(px - 1, py);
    }
    if (boundary != nullptr)
        *boundary = stopped;
    return inside;
}

// Pixels that differ between two copies of the screen.
inline int count_changes(const Pixels& a, const Pixels& b)
{
    int changes = 0;
    for (size_t i = 0; i < a.size(); ++i)
        changes += a[i] != b[i];
    return changes;
}

} // namespace boardtest
