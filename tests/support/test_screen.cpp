// The test fixtures: a memfd framebuffer drawn through libgx9 and read back, and a remote
// control fed through a pipe.
#include "tests/support/test_screen.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include "host/gx9.h"
#include "sim/screentext/core/png_io.h"
#include "sim/screentext/core/text_reader.h"

namespace testsupport {
namespace {

[[noreturn]] void fail_call(const char* call)
{
    throw std::runtime_error(std::string(call) + ": " + std::strerror(errno));
}

struct PaletteEntry {
    int index, red, green, blue;
};

// The plugin's palette in the order start-up defines it.
constexpr std::array<PaletteEntry, 12> kPluginPalette{{
    {1, 0, 0, 0},
    {2, 255, 255, 255},
    {10, 33, 105, 115},
    {6, 156, 195, 189},
    {9, 132, 130, 66},
    {5, 255, 255, 30},
    {4, 255, 255, 140},
    {7, 80, 80, 200},
    {8, 130, 130, 130},
    {3, 255, 0, 0},
    {12, 0, 255, 0},
    {13, 0, 0, 255},
}};

bool inside(int x, int y)
{
    return x >= 0 && x < gx9::kWidth && y >= 0 && y < gx9::kHeight;
}

std::string golden_path(const std::string& name)
{
    return std::string(VITREL_SOURCE_DIR) + "/tests/golden/" + name + ".png";
}

bool updating_goldens()
{
    const char* value = std::getenv("VITREL_UPDATE_GOLDEN");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

void write_event(int fd, uint8_t type, int code)
{
    const gx9::RcEvent event{type, static_cast<uint8_t>(code)};
    if (write(fd, &event, sizeof(event)) != static_cast<ssize_t>(sizeof(event)))
        fail_call("write(remote pipe)");
}

} // namespace

void set_plugin_palette()
{
    for (const PaletteEntry& entry : kPluginPalette)
        FBSetColor(entry.index, entry.red, entry.green, entry.blue);
    FBSetupColors();
}

// ---- TestScreen -------------------------------------------------------------------------------

TestScreen::TestScreen()
{
    fd_ = memfd_create("test-screen", MFD_CLOEXEC);
    if (fd_ < 0)
        fail_call("memfd_create");
    if (ftruncate(fd_, gx9::kFbFileSize) != 0)
        fail_call("ftruncate(test screen)");
    void* address = mmap(nullptr, gx9::kFbFileSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (address == MAP_FAILED)
        fail_call("mmap(test screen)");
    file_ = static_cast<gx9::FbFile*>(address);
    if (FBInitialize(gx9::kWidth, gx9::kHeight, 8, fd_) < 0)
        throw std::runtime_error("FBInitialize refused the test screen");
    set_plugin_palette();
}

TestScreen::~TestScreen()
{
    FBClose();
    munmap(file_, gx9::kFbFileSize);
    close(fd_);
}

unsigned char TestScreen::pixel(int x, int y) const
{
    return inside(x, y) ? file_->pixels[y][x] : 0;
}

std::string TestScreen::text(int x, int y, int length, int advance) const
{
    return screentext::read_text(&file_->pixels[0][0], gx9::kWidth, gx9::kHeight, x, y, length,
                                 advance);
}

int TestScreen::count(int x, int y, int width, int height, unsigned char color) const
{
    int found = 0;
    for (int row = y; row < y + height; ++row)
        for (int column = x; column < x + width; ++column)
            found += inside(column, row) && file_->pixels[row][column] == color;
    return found;
}

bool TestScreen::all(int x, int y, int width, int height, unsigned char color) const
{
    return width > 0 && height > 0 && count(x, y, width, height, color) == width * height;
}

void TestScreen::fill(unsigned char color)
{
    std::memset(file_->pixels, color, sizeof(file_->pixels));
}

std::string TestScreen::dump(int x, int y, int width, int height) const
{
    std::string map;
    for (int row = y; row < y + height; ++row) {
        for (int column = x; column < x + width; ++column) {
            const unsigned char value = pixel(column, row);
            map += value > 15 ? '+' : "0123456789abcdef"[value];
        }
        map += '\n';
    }
    return map;
}

::testing::AssertionResult TestScreen::matches_golden(const std::string& name) const
{
    const std::string path = golden_path(name);
    const uint8_t* pixels = &file_->pixels[0][0];
    if (updating_goldens()) {
        const std::string error =
            screentext::write_indexed_png(path, gx9::kWidth, gx9::kHeight, pixels, file_->palette);
        if (!error.empty())
            return ::testing::AssertionFailure() << "cannot update golden: " << error;
        return ::testing::AssertionSuccess();
    }
    std::ostringstream report;
    screentext::IndexedImage golden;
    if (const std::string error = screentext::read_indexed_png(path, golden); !error.empty()) {
        report << "no golden image (" << error << ")";
    } else if (golden.width != gx9::kWidth || golden.height != gx9::kHeight) {
        report << "golden image is " << golden.width << " x " << golden.height;
    } else {
        int differing = 0;
        std::ostringstream first;
        for (int i = 0; i < gx9::kWidth * gx9::kHeight; ++i) {
            if (golden.pixels[i] == pixels[i])
                continue;
            if (++differing <= 5)
                first << (differing == 1 ? "first at" : ",") << " (" << i % gx9::kWidth << ", "
                      << i / gx9::kWidth << ") expected " << int(golden.pixels[i]) << " got "
                      << int(pixels[i]);
        }
        if (differing == 0)
            return ::testing::AssertionSuccess();
        report << differing << " pixels differ from " << name << ".png, " << first.str();
    }
    const std::string actual = path + ".new";
    const std::string error =
        screentext::write_indexed_png(actual, gx9::kWidth, gx9::kHeight, pixels, file_->palette);
    report << (error.empty() ? "; actual screen written to " + actual
                             : "; cannot write actual screen: " + error)
           << " (VITREL_UPDATE_GOLDEN=1 rewrites the golden image)";
    return ::testing::AssertionFailure() << report.str();
}

// ---- TestRemote -------------------------------------------------------------------------------

TestRemote::TestRemote()
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        fail_call("pipe2(remote)");
    read_fd_ = ends[0];
    write_fd_ = ends[1];
    actcode = gx9::kCodeNone;
    realcode = gx9::kCodeNone;
    doexit = 0;
    if (RcInitialize(read_fd_) < 0)
        throw std::runtime_error("RcInitialize refused the remote pipe");
}

TestRemote::~TestRemote()
{
    RcClose();
    close(read_fd_);
    hang_up();
}

void TestRemote::hang_up()
{
    if (write_fd_ >= 0)
        close(write_fd_);
    write_fd_ = -1;
}

void TestRemote::press(int code)
{
    write_event(write_fd_, gx9::kEventPress, code);
}
void TestRemote::release(int code)
{
    write_event(write_fd_, gx9::kEventRelease, code);
}
void TestRemote::restart()
{
    write_event(write_fd_, gx9::kEventRestart, 0);
}

} // namespace testsupport
