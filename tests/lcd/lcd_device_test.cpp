// The LCD device: the open, the two requests and their order, one write per frame, and the
// exit with status 1 when the device cannot be opened or prepared. Runs on the fake device.
#include <fcntl.h>

#include <algorithm>
#include <cerrno>

#include <gtest/gtest.h>

#include "lcd/device.h"
#include "tests/lcd/lcd_fake_device.h"
#include "tests/lcd/lcd_frame_view.h"

namespace {

using fakelcd::device;

class LcdDevice : public ::testing::Test {
  protected:
    void SetUp() override
    {
        fakelcd::reset();
        lcd_fd = 0;
    }
    void TearDown() override { fakelcd::reset(); }
};
using LcdDeviceDeathTest = LcdDevice;

TEST_F(LcdDevice, InitOpensReadWriteThenClearsThenSelectsFrameModeWithOne)
{
    lcd_fd = 7; // the host's descriptor, stored by start-up; init_lcd replaces it
    init_lcd();

    EXPECT_EQ(device().open_flags & O_ACCMODE, O_RDWR);
    EXPECT_EQ(lcd_fd, device().fd);
    EXPECT_NE(lcd_fd, 7);
    ASSERT_EQ(device().requests.size(), 2u) << fakelcd::requests_text();
    EXPECT_EQ(device().requests[0].number, 25u);
    EXPECT_FALSE(device().requests[0].has_argument);
    EXPECT_EQ(device().requests[1].number, 4117u);
    EXPECT_TRUE(device().requests[1].has_argument);
    EXPECT_EQ(device().requests[1].argument, 1);
    EXPECT_TRUE(device().frames.empty());
}

TEST_F(LcdDevice, ClearIssuesRequest25OnTheOpenDevice)
{
    init_lcd();
    device().requests.clear();
    lcd_clr();
    EXPECT_EQ(fakelcd::requests_text(), "25");
}

TEST_F(LcdDevice, DrawScreenWritesTheWholeFrameOnceByteForByte)
{
    init_lcd();
    lcdtest::Frame frame{};
    for (std::size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<unsigned char>(i * 7 + 3);

    lcd_draw_screen(frame.data());

    ASSERT_EQ(device().frames.size(), 1u);
    ASSERT_EQ(device().frames[0].size(), 960u);
    EXPECT_TRUE(std::equal(frame.begin(), frame.end(), device().frames[0].begin()));
    EXPECT_EQ(fakelcd::requests_text(), "25 4117(1)") << "a frame needs no further request";
}

TEST_F(LcdDevice, FailedFrameWriteIsIgnoredAndTheNextFrameStillGoes)
{
    init_lcd();
    lcdtest::Frame frame{};
    device().write_error = EIO;
    lcd_draw_screen(frame.data());
    device().write_error = 0;
    frame[0] = 1;
    lcd_draw_screen(frame.data());

    ASSERT_EQ(device().frames.size(), 2u);
    EXPECT_EQ(device().frames[1][0], 1);
}

// The process ends with status 1 and says nothing, whichever step of the preparation fails.
TEST_F(LcdDeviceDeathTest, DeviceThatCannotBeOpenedEndsTheProcessWithStatus1)
{
    device().open_error = ENOENT;
    EXPECT_EXIT(init_lcd(), ::testing::ExitedWithCode(1), "^$");
}

TEST_F(LcdDeviceDeathTest, RefusedClearRequestEndsTheProcessWithStatus1)
{
    device().clear_error = ENOTTY;
    EXPECT_EXIT(init_lcd(), ::testing::ExitedWithCode(1), "^$");
}

TEST_F(LcdDeviceDeathTest, RefusedFrameModeRequestEndsTheProcessWithStatus1)
{
    device().frame_mode_error = EINVAL;
    EXPECT_EXIT(init_lcd(), ::testing::ExitedWithCode(1), "^$");
}

TEST_F(LcdDeviceDeathTest, RefusedClearAtShutDownEndsTheProcessWithStatus1)
{
    init_lcd();
    device().clear_error = EIO;
    EXPECT_EXIT(lcd_clr(), ::testing::ExitedWithCode(1), "^$");
}

} // namespace
