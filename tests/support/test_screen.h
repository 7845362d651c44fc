// Test fixtures on the stand-in host library: a framebuffer in plain memory that tests draw on
// and read back, golden images, and a remote control fed through a real pipe.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/gx9/gx9_sim.h"

namespace testsupport {

// Compares width x height palette indices with tests/golden/NAME.png, an indexed PNG carrying
// palette (256 entries), index for index. A mismatch reports the count and the first differing
// pixels and writes the actual image beside the golden one as NAME.png.new. With the environment
// variable VITREL_UPDATE_GOLDEN=1 it rewrites the golden file instead.
::testing::AssertionResult matches_golden_image(const std::string& name, int width, int height,
                                                const uint8_t* pixels, const uint8_t (*palette)[3]);

// The plugin's palette (index, red, green, blue) in the order start-up defines it; indices 0, 11
// and 14 are never defined.
inline constexpr int kPluginPalette[][4] = {
    {1, 0, 0, 0},       {2, 255, 255, 255}, {10, 33, 105, 115}, {6, 156, 195, 189},
    {9, 132, 130, 66},  {5, 255, 255, 30},  {4, 255, 255, 140}, {7, 80, 80, 200},
    {8, 130, 130, 130}, {3, 255, 0, 0},     {12, 0, 255, 0},    {13, 0, 0, 255},
};

// A framebuffer file (memfd) of the stand-in's size, initialised with FBInitialize(720, 576, 8, fd)
// and the plugin's palette, all pixels 0. Only one may exist at a time (the library has one
// framebuffer). The destructor calls FBClose.
class TestScreen {
  public:
    TestScreen();
    ~TestScreen();
    TestScreen(const TestScreen&) = delete;
    TestScreen& operator=(const TestScreen&) = delete;

    int fd() const { return fd_; }
    const gx9::FbFile& file() const { return *file_; }

    unsigned char pixel(int x, int y) const; // 0 outside the screen
    // Bitmap-font text at (x, y): length cells, advance 10 or 9; "?" for a cell matching nothing.
    std::string text(int x, int y, int length, int advance = 10) const;
    // Whether (x, y) reads text whose cells hold only ink (some) and paper, dumping them if not.
    ::testing::AssertionResult shows(int x, int y, const std::string& text, unsigned char ink,
                                     unsigned char paper, int advance = 10) const;
    // Number of pixels of colour in the box; whether every pixel of the box has that colour.
    int count(int x, int y, int width, int height, unsigned char color) const;
    bool all(int x, int y, int width, int height, unsigned char color) const
    {
        return width > 0 && height > 0 && count(x, y, width, height, color) == width * height;
    }
    // Sets every pixel directly in memory (no drawing call).
    void fill(unsigned char color) { std::memset(file_->pixels, color, sizeof(file_->pixels)); }
    // A copy of all pixels, row by row, and the number of pixels that differ from such a copy.
    std::vector<uint8_t> snapshot() const
    {
        return {&file_->pixels[0][0], &file_->pixels[0][0] + sizeof(file_->pixels)};
    }
    int changed_since(const std::vector<uint8_t>& before) const;
    uint32_t draw_calls() const { return file_->state.draw_counter; }
    // A character map of the box for failure messages: one hex digit (or '+' above 15) per pixel.
    std::string dump(int x, int y, int width, int height) const;
    // Compares the whole screen with tests/golden/NAME.png (matches_golden_image below).
    ::testing::AssertionResult matches_golden(const std::string& name) const
    {
        return matches_golden_image(name, gx9::kWidth, gx9::kHeight, &file_->pixels[0][0],
                                    file_->palette);
    }

  private:
    int fd_ = -1;
    gx9::FbFile* file_ = nullptr;
};

// A remote control: a pipe whose read end went to RcInitialize. Events are written at once.
class TestRemote {
  public:
    TestRemote();  // RcInitialize(read end); actcode and realcode 238, doexit 0
    ~TestRemote(); // RcClose, closes both ends
    TestRemote(const TestRemote&) = delete;
    TestRemote& operator=(const TestRemote&) = delete;
    int read_fd() const { return read_fd_; }

    void press(int code) { send(gx9::kEventPress, code); }
    void release(int code) { send(gx9::kEventRelease, code); }
    // A press and its release, both consumed by one poll.
    void tap(int code)
    {
        press(code);
        release(code);
    }
    void restart() { send(gx9::kEventRestart, 0); }
    void hang_up(); // closes the write end, as a box that went away
    int write_fd() const { return write_fd_; }

  private:
    void send(uint8_t type, int code);
    int read_fd_ = -1;
    int write_fd_ = -1;
};

} // namespace testsupport
