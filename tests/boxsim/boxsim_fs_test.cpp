// The box's file system, exercised through the interposed libc calls of this very process:
// the configuration path, the LCD device, and every other path passing through unchanged.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "sim/boxsim/box_fs.h"

namespace boxsim {
namespace {

const char* const kConfig = "/var/mirlon/plugins/vitrel3.cfg";
const char* const kLcd = "/dev/omra/lcd0";

std::string read_all(FILE* file)
{
    std::string text;
    char buffer[64];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    return text;
}

int open_lcd_in_frame_mode()
{
    const int fd = open(kLcd, O_RDWR);
    EXPECT_GE(fd, 0) << std::strerror(errno);
    int mode = kLcdFrameMode;
    EXPECT_EQ(ioctl(fd, kLcdRequestClear), 0);
    EXPECT_EQ(ioctl(fd, kLcdRequestMode, &mode), 0);
    return fd;
}

TEST(BoxConfig, ServesTheGivenTextAtTheFixedPath)
{
    set_config("icsHost=example.org\nicsPort=5000\n");
    FILE* file = std::fopen(kConfig, "r");
    ASSERT_NE(file, nullptr) << std::strerror(errno);
    char token[80];
    ASSERT_EQ(std::fscanf(file, "%79s", token), 1);
    EXPECT_STREQ(token, "icsHost=example.org");
    ASSERT_EQ(std::fscanf(file, "%79s", token), 1);
    EXPECT_STREQ(token, "icsPort=5000");
    EXPECT_EQ(std::fscanf(file, "%79s", token), EOF);
    std::fclose(file);

    // Every open is a fresh file from the start; open() and a normalised path see the same.
    const int fd = open("/var//mirlon/./plugins/../plugins/vitrel3.cfg", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    char text[64] = {};
    EXPECT_EQ(read(fd, text, sizeof text - 1), 33);
    EXPECT_STREQ(text, "icsHost=example.org\nicsPort=5000\n");
    close(fd);
}

// How it is opened, the errno expected (0: it opens).
TEST(BoxConfig, IsReadOnlyAndAbsentWithoutText)
{
    const struct {
        bool has_text;
        const char* path;
        int flags;
        int expected_errno;
    } cases[] = {
        {true, kConfig, O_RDONLY, 0},
        {true, kConfig, O_WRONLY, EROFS},
        {true, kConfig, O_RDWR, EROFS},
        {true, kConfig, O_RDONLY | O_TRUNC, EROFS},
        {true, kConfig, O_RDONLY | O_DIRECTORY, ENOTDIR},
        {false, kConfig, O_RDONLY, ENOENT},
        {false, kConfig, O_WRONLY | O_CREAT, EROFS},
        {true, "/var/mirlon/plugins/other.cfg", O_RDONLY, ENOENT},
        {true, "/var/mirlon", O_RDONLY | O_DIRECTORY, ENOENT},
        {true, "/dev/omra/lcd1", O_RDWR, ENOENT},
        {true, "/var/mirlon/new.txt", O_WRONLY | O_CREAT, EROFS},
    };
    for (const auto& c : cases) {
        set_config(c.has_text ? std::optional<std::string>("icsPort=1\n") : std::nullopt);
        errno = 0;
        const int fd = open(c.path, c.flags, 0644);
        if (fd >= 0)
            close(fd);
        EXPECT_EQ(fd >= 0 ? 0 : errno, c.expected_errno) << c.path << " flags " << c.flags;
    }
    set_config(std::nullopt);
    errno = 0;
    EXPECT_EQ(std::fopen(kConfig, "r"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    set_config("x");
    EXPECT_EQ(std::fopen(kConfig, "w"), nullptr);
    EXPECT_EQ(errno, EROFS);
    EXPECT_EQ(std::fopen(kConfig, "r+"), nullptr);
    EXPECT_FALSE(std::filesystem::exists("/var/mirlon/new.txt"));
}

TEST(BoxLcd, AnswersBothRequestsAndKeepsEachFrame)
{
    reset_lcd();
    const int fd = open_lcd_in_frame_mode();
    LcdFrame frame{};
    frame[0] = 0x01;   // pixel (0, 0)
    frame[125] = 0x02; // pixel (5, 9)
    frame[959] = 0x80; // pixel (119, 63)
    ASSERT_EQ(write(fd, frame.data(), frame.size()), kLcdFrameBytes);

    LcdState lcd = lcd_state();
    EXPECT_EQ(lcd.clears, 1);
    EXPECT_EQ(lcd.mode_requests, 1);
    EXPECT_EQ(lcd.frames, 1);
    EXPECT_EQ(lcd.open_descriptors, 1);
    EXPECT_TRUE(lcd_pixel_lit(lcd.frame, 0, 0));
    EXPECT_TRUE(lcd_pixel_lit(lcd.frame, 5, 9));
    EXPECT_TRUE(lcd_pixel_lit(lcd.frame, 119, 63));
    EXPECT_FALSE(lcd_pixel_lit(lcd.frame, 5, 8));
    EXPECT_FALSE(lcd_pixel_lit(lcd.frame, 120, 0));
    EXPECT_FALSE(lcd_pixel_lit(lcd.frame, 0, -1));

    const uint64_t before_clear = lcd.generation;
    ASSERT_EQ(ioctl(fd, kLcdRequestClear), 0);
    lcd = lcd_state();
    EXPECT_EQ(lcd.frame, LcdFrame{});
    EXPECT_GT(lcd.generation, before_clear);
    ASSERT_EQ(close(fd), 0);
    EXPECT_EQ(lcd_state().open_descriptors, 0);
}

TEST(BoxLcd, RefusesWhatTheDeviceDoesNotTake)
{
    reset_lcd();
    const int fd = open(kLcd, O_RDWR);
    ASSERT_GE(fd, 0);
    const LcdFrame frame{};
    errno = 0;
    EXPECT_EQ(write(fd, frame.data(), frame.size()), -1) << "a frame before the mode request";
    EXPECT_EQ(errno, EINVAL);

    int mode = 2;
    EXPECT_EQ(ioctl(fd, kLcdRequestMode, &mode), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(ioctl(fd, kLcdRequestMode, nullptr), -1);
    EXPECT_EQ(errno, EFAULT);
    EXPECT_EQ(ioctl(fd, 26), -1);
    EXPECT_EQ(errno, ENOTTY);
    mode = kLcdFrameMode;
    ASSERT_EQ(ioctl(fd, kLcdRequestMode, &mode), 0);

    EXPECT_EQ(write(fd, frame.data(), frame.size() - 1), -1);
    EXPECT_EQ(errno, EINVAL);
    const std::vector<uint8_t> longer(frame.size() + 1);
    EXPECT_EQ(write(fd, longer.data(), longer.size()), -1);
    const void* volatile nothing = nullptr; // hidden from the compiler's null check
    EXPECT_EQ(write(fd, nothing, frame.size()), -1);
    EXPECT_EQ(errno, EFAULT);
    EXPECT_EQ(lcd_state().frames, 0);
    EXPECT_EQ(lcd_state().refused, 7);
    close(fd);
}

TEST(BoxLcd, ClosedDescriptorNumberPassesThroughAgain)
{
    const int fd = open_lcd_in_frame_mode();
    ASSERT_EQ(close(fd), 0);
    // The next descriptor gets the same number: it is an ordinary pipe again.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(ends[0], fd);
    EXPECT_EQ(write(ends[1], "hi", 2), 2);
    char got[2];
    EXPECT_EQ(read(ends[0], got, 2), 2);
    EXPECT_EQ(std::string(got, 2), "hi");
    int mode = 1;
    EXPECT_EQ(ioctl(ends[0], kLcdRequestMode, &mode), -1) << "a pipe is no LCD";
    close(ends[0]);
    close(ends[1]);
}

TEST(BoxLcd, StdioStreamWritesWholeFrames)
{
    reset_lcd();
    FILE* lcd = std::fopen(kLcd, "w");
    ASSERT_NE(lcd, nullptr);
    const int fd = open_lcd_in_frame_mode(); // the mode is the device's, not the stream's
    LcdFrame frame{};
    frame[120] = 0x01; // pixel (0, 8)
    ASSERT_EQ(std::fwrite(frame.data(), 1, frame.size(), lcd), frame.size());
    EXPECT_EQ(lcd_state().frames, 1);
    EXPECT_TRUE(lcd_pixel_lit(lcd_state().frame, 0, 8));
    EXPECT_EQ(std::fclose(lcd), 0);
    close(fd);
    EXPECT_EQ(lcd_state().open_descriptors, 0);
}

TEST(BoxFiles, OtherPathsPassThroughUnchanged)
{
    const std::string path = testing::TempDir() + "boxsim_passthrough.txt";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    EXPECT_EQ(write(fd, "plain", 5), 5);
    EXPECT_EQ(close(fd), 0);
    FILE* file = std::fopen(path.c_str(), "r");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(read_all(file), "plain");
    std::fclose(file);
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write)
        << "the mode argument of open reaches libc";
    const int dir = open(testing::TempDir().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dir, 0);
    const int at = openat(dir, "boxsim_passthrough.txt", O_RDONLY);
    EXPECT_GE(at, 0);
    close(at);
    close(dir);
    std::filesystem::remove(path);
    errno = 0;
    EXPECT_EQ(close(-1), -1);
    EXPECT_EQ(errno, EBADF);
}

// The plugin's thread writes frames and opens and closes descriptors while the box reads.
TEST(BoxLcd, ServesThreadsAtOnce)
{
    reset_lcd();
    constexpr int kThreads = 4, kRounds = 200;
    std::atomic<bool> reading{true};
    std::thread reader([&] {
        while (reading.load()) {
            const LcdState lcd = lcd_state();
            // Frames are written whole: every byte of the current frame is alike.
            for (const uint8_t byte : lcd.frame)
                ASSERT_EQ(byte, lcd.frame[0]);
        }
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([t] {
            for (int round = 0; round < kRounds; ++round) {
                const int fd = open_lcd_in_frame_mode();
                LcdFrame frame;
                frame.fill(static_cast<uint8_t>(t * kRounds + round));
                EXPECT_EQ(write(fd, frame.data(), frame.size()), kLcdFrameBytes);
                EXPECT_EQ(close(fd), 0);
            }
        });
    for (auto& w : writers)
        w.join();
    reading = false;
    reader.join();
    const LcdState lcd = lcd_state();
    EXPECT_EQ(lcd.frames, kThreads * kRounds);
    EXPECT_EQ(lcd.open_descriptors, 0);
}

} // namespace
} // namespace boxsim
