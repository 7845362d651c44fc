// The front-panel LCD device and the pixel and line primitives that draw into an LCD frame.
#include "lcd/device.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

// The line's arithmetic must round every product before the add; compilers that honour the
// standard pragma get it here too, beside -ffp-contract=off and the stores to volatile floats.
#ifdef __clang__
#pragma STDC FP_CONTRACT OFF
#endif

int lcd_fd;

namespace {

[[noreturn]] void lcd_device_failed()
{
    std::exit(1);
}

constexpr bool on_display(int x, int y)
{
    return x >= 0 && x < kLcdWidth && y >= 0 && y < kLcdHeight;
}

constexpr bool within_reach(int v)
{
    return v >= -kLcdLineReach && v <= kLcdLineReach;
}

// One point of the line's minor axis: start + slope * step, each operation rounded to single
// precision (the volatile stores keep x87 and FMA-capable code from keeping more), then
// truncated toward zero.
int minor_coordinate(float slope, int step, int start)
{
    volatile float product = slope * static_cast<float>(step);
    volatile float sum = product + static_cast<float>(start);
    return static_cast<int>(sum);
}

float single_quotient(int numerator, int denominator)
{
    volatile float quotient = static_cast<float>(numerator) / static_cast<float>(denominator);
    return quotient;
}

// Applies a pixel mode to the bits of mask in one frame byte.
void apply_mode(unsigned char& cell, unsigned mask, int mode)
{
    switch (mode) {
    case kLcdClear:
        cell = static_cast<unsigned char>(cell & ~mask);
        break;
    case kLcdSet:
        cell = static_cast<unsigned char>(cell | mask);
        break;
    case kLcdInvert:
        cell = static_cast<unsigned char>(cell ^ mask);
        break;
    default:
        break;
    }
}

// The points of a line along one axis with the other coordinate fixed: from start, stepping
// toward end, end left out; as the half-open range [low, high) clipped to 0 .. limit - 1.
struct AxisRange {
    int low, high;
};
AxisRange points_toward(int start, int end, int limit)
{
    const int low = start < end ? start : end + 1;
    const int high = start < end ? end : start + 1;
    return {low < 0 ? 0 : low, high > limit ? limit : high};
}

// A line along a row or a column: its slope is zero, so the product with every step is zero
// and the sum is the fixed coordinate itself, exactly, in single precision. Its pixels are
// therefore written straight into the frame, a row's one byte each, a column's a band at a time.
void draw_row(int x1, int x2, int y, int mode, unsigned char* frame)
{
    if (y < 0 || y >= kLcdHeight)
        return;
    const AxisRange xs = points_toward(x1, x2, kLcdWidth);
    unsigned char* band = frame + (y >> 3) * kLcdWidth;
    for (int x = xs.low; x < xs.high; ++x)
        apply_mode(band[x], 1u << (y & 7), mode);
}

void draw_column(int x, int y1, int y2, int mode, unsigned char* frame)
{
    if (x < 0 || x >= kLcdWidth)
        return;
    const AxisRange ys = points_toward(y1, y2, kLcdHeight);
    for (int y = ys.low; y < ys.high;) {
        const int band_end = std::min((y | 7) + 1, ys.high);
        const unsigned mask = (0xFFu << (y & 7)) & (0xFFu >> (8 - (band_end - (y & ~7))));
        apply_mode(frame[(y >> 3) * kLcdWidth + x], mask, mode);
        y = band_end;
    }
}

} // namespace

void init_lcd()
{
    lcd_fd = open(kLcdDevicePath, O_RDWR);
    if (lcd_fd < 0)
        lcd_device_failed();
    lcd_clr();
    int frame_mode = 1;
    if (ioctl(lcd_fd, kLcdRequestFrameMode, &frame_mode) < 0)
        lcd_device_failed();
}

void lcd_clr()
{
    if (ioctl(lcd_fd, kLcdRequestClear) < 0)
        lcd_device_failed();
}

void lcd_draw_screen(const unsigned char* frame)
{
    // The result is ignored on purpose: a lost frame is replaced by the next pass's.
    [[maybe_unused]] ssize_t written = write(lcd_fd, frame, kLcdFrameBytes);
}

void lcd_draw_pixel(int x, int y, int mode, unsigned char* frame)
{
    if (!on_display(x, y))
        return;
    apply_mode(frame[(y >> 3) * kLcdWidth + x], 1u << (y & 7), mode);
}

int sgn(int v)
{
    return (v > 0) - (v < 0);
}

void lcd_line(int x1, int y1, int x2, int y2, int mode, int gap, unsigned char* frame)
{
    if (!within_reach(x1) || !within_reach(y1) || !within_reach(x2) || !within_reach(y2))
        return;
    const int dx = x2 - x1;
    const int dy = y2 - y1;
    const int sx = sgn(dx);
    const int sy = sgn(dy);
    const int points_skipped = gap > 0 ? gap : 0; // a negative count would only run down
    int skip = 0;
    auto plot = [&](int x, int y) {
        if (skip == 0) {
            lcd_draw_pixel(x, y, mode, frame);
            skip = points_skipped;
        } else {
            --skip;
        }
    };
    if (dx == 0 && dy == 0)
        return; // coinciding ends draw nothing (and must not divide 0 by 0)
    if (points_skipped == 0 && dy == 0) {
        draw_row(x1, x2, y1, mode, frame);
        return;
    }
    if (points_skipped == 0 && dx == 0) {
        draw_column(x1, y1, y2, mode, frame);
        return;
    }
    if (std::abs(dx) >= std::abs(dy)) {
        const float slope = single_quotient(dy, dx);
        for (int i = 0; i != dx; i += sx)
            plot(x1 + i, minor_coordinate(slope, i, y1));
    } else {
        const float slope = single_quotient(dx, dy);
        for (int i = 0; i != dy; i += sy)
            plot(minor_coordinate(slope, i, x1), y1 + i);
    }
}
