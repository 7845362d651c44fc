// The LCD device as the box serves it (sim/boxsim/box_fs.cpp, linked into this test): prepared by
// init_lcd, each frame sent whole in one write, and exit status 1, silently, when the device
// cannot be opened or refuses a request.
#include <sys/resource.h>

#include <cerrno>
#include <cstdarg>

#include <gtest/gtest.h>

#include "lcd/device.h"
#include "sim/boxsim/box_fs.h"

TEST(LcdDevice, InitClearsAndSelectsFrameModeThenFramesGoWhole)
{
    boxsim::reset_lcd();
    init_lcd();
    EXPECT_EQ(boxsim::lcd_state().clears, 1);
    EXPECT_EQ(boxsim::lcd_state().mode_requests, 1);

    boxsim::LcdFrame frame;
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<unsigned char>(i * 7 + 3);
    lcd_draw_screen(frame.data());
    EXPECT_EQ(boxsim::lcd_state().frames, 1);
    EXPECT_EQ(boxsim::lcd_state().frame, frame);
    lcd_clr();
    EXPECT_EQ(boxsim::lcd_state().clears, 2);
}

// The plugin's ioctl calls reach the box's device through this wrapper (linked with
// -Wl,--wrap=ioctl), which can refuse the frame-mode request the device itself always grants.
bool refuse_frame_mode = false;
extern "C" int __real_ioctl(int fd, unsigned long request, ...);
extern "C" int __wrap_ioctl(int fd, unsigned long request, ...)
{
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (refuse_frame_mode && request == kLcdRequestFrameMode)
        return errno = EINVAL, -1;
    return __real_ioctl(fd, request, argument);
}

// The open finds no free descriptor.
void init_without_descriptors()
{
    const rlimit none{0, 0};
    setrlimit(RLIMIT_NOFILE, &none);
    init_lcd();
}

TEST(LcdDeviceDeathTest, DeviceThatCannotBeOpenedOrPreparedEndsTheProcessWithStatus1)
{
    EXPECT_EXIT(init_without_descriptors(), ::testing::ExitedWithCode(1), "^$");
    refuse_frame_mode = true;
    EXPECT_EXIT(init_lcd(), ::testing::ExitedWithCode(1), "^$");
    lcd_fd = -1; // a clear on no device is refused, at start-up as at shut-down
    EXPECT_EXIT(lcd_clr(), ::testing::ExitedWithCode(1), "^$");
}
