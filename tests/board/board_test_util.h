// Helpers for the board tests: a copy of the screen and the count of pixels that differ.
#pragma once

#include <cstdint>
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

// Pixels that differ between two copies of the screen.
inline int count_changes(const Pixels& a, const Pixels& b)
{
    int changes = 0;
    for (size_t i = 0; i < a.size(); ++i)
        changes += a[i] != b[i];
    return changes;
}

} // namespace boardtest
