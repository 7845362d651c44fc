// The test fixtures: a memfd framebuffer drawn through libgx9 and read back, golden images, and a
// remote control fed through a pipe.
#include "tests/support/test_screen.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

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

bool inside(int x, int y)
{
    return x >= 0 && x < gx9::kWidth && y >= 0 && y < gx9::kHeight;
}

} // namespace

::testing::AssertionResult matches_golden_image(const std::string& name, int width, int height,
                                                const uint8_t* pixels, const uint8_t (*palette)[3])
{
    const std::string path = std::string(VITREL_SOURCE_DIR) + "/tests/golden/" + name + ".png";
    const char* update = std::getenv("VITREL_UPDATE_GOLDEN");
    if (update != nullptr && std::strcmp(update, "1") == 0) {
        const std::string error =
            screentext::write_indexed_png(path, width, height, pixels, palette);
        return error.empty() ? ::testing::AssertionSuccess()
                             : ::testing::AssertionFailure() << "cannot update golden: " << error;
    }
    std::ostringstream report;
    screentext::IndexedImage golden;
    if (const std::string error = screentext::read_indexed_png(path, golden); !error.empty()) {
        report << "no golden image (" << error << ")";
    } else if (golden.width != width || golden.height != height) {
        report << "golden image is " << golden.width << " x " << golden.height;
    } else {
        int differing = 0;
        std::ostringstream first;
        for (int i = 0; i < width * height; ++i) {
            if (golden.pixels[i] != pixels[i] && ++differing <= 5)
                first << (differing == 1 ? "first at" : ",") << " (" << i % width << ", "
                      << i / width << ") expected " << int(golden.pixels[i]) << " got "
                      << int(pixels[i]);
        }
        if (differing == 0)
            return ::testing::AssertionSuccess();
        report << differing << " pixels differ from " << name << ".png, " << first.str();
    }
    const std::string error =
        screentext::write_indexed_png(path + ".new", width, height, pixels, palette);
    report << (error.empty() ? "; actual image written to " + path + ".new"
                             : "; cannot write actual image: " + error)
           << " (VITREL_UPDATE_GOLDEN=1 rewrites the golden image)";
    return ::testing::AssertionFailure() << report.str();
}

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
    for (const auto& entry : kPluginPalette)
        FBSetColor(entry[0], entry[1], entry[2], entry[3]);
    FBSetupColors();
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

::testing::AssertionResult TestScreen::shows(int x, int y, const std::string& expected,
                                             unsigned char ink, unsigned char paper,
                                             int advance) const
{
    const int length = static_cast<int>(expected.size());
    const int width = (length - 1) * advance + 10;
    const std::string read = text(x, y, length, advance);
    const int inked = count(x, y, width, 18, ink);
    if (read == expected && inked > 0 && inked + count(x, y, width, 18, paper) == width * 18)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "(" << x << ", " << y << ") reads \"" << read << "\", expected \"" << expected
           << "\" " << int(ink) << " on " << int(paper) << "\n"
           << dump(x, y, width < 100 ? width : 100, 18);
}

int TestScreen::count(int x, int y, int width, int height, unsigned char color) const
{
    int found = 0;
    for (int row = y; row < y + height; ++row)
        for (int column = x; column < x + width; ++column)
            found += inside(column, row) && file_->pixels[row][column] == color;
    return found;
}

int TestScreen::changed_since(const std::vector<uint8_t>& before) const
{
    int changed = 0;
    for (size_t i = 0; i < before.size(); ++i)
        changed += before[i] != (&file_->pixels[0][0])[i];
    return changed;
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

void TestRemote::send(uint8_t type, int code)
{
    const gx9::RcEvent event{type, static_cast<uint8_t>(code)};
    if (write(write_fd_, &event, sizeof(event)) != static_cast<ssize_t>(sizeof(event)))
        fail_call("write(remote pipe)");
}

} // namespace testsupport
