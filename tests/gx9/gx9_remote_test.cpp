// Tests of the remote control: events through a real pipe, one poll at a time.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>

#include <gtest/gtest.h>

#include "host/gx9.h"
#include "tests/support/test_screen.h"

using testsupport::TestRemote;

namespace {

// What the globals read after a poll.
struct Seen {
    unsigned short act, real;
    int exit;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& s)
{
    return out << "{actcode " << s.act << ", realcode " << s.real << ", doexit " << s.exit << "}";
}

// One poll as the plugin makes it: actcode cleared to 238 first.
Seen poll()
{
    actcode = kKeyNone;
    RcGetActCode();
    return {actcode, realcode, doexit};
}

constexpr unsigned short kNone = kKeyNone;

} // namespace

TEST(RemoteSetup, RefusesBadDescriptorsAndMakesTheGoodOneNonBlocking)
{
    EXPECT_LT(RcInitialize(-1), 0);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const int closed = dup(ends[0]);
    close(closed);
    EXPECT_LT(RcInitialize(closed), 0);
    RcGetActCode(); // nothing set up: no crash, nothing read
    EXPECT_EQ(actcode, kNone);

    ASSERT_EQ(RcInitialize(ends[0]), 0);
    EXPECT_TRUE(fcntl(ends[0], F_GETFL) & O_NONBLOCK);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(poll(), (Seen{kNone, kNone, 0})); // empty pipe: returns at once
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    RcClose();
    close(ends[0]);
    close(ends[1]);
}

TEST(RemoteKeys, PressHoldAndReleaseAcrossPolls)
{
    TestRemote remote;
    remote.press(kKeyOk);
    EXPECT_EQ(poll(), (Seen{kKeyOk, kKeyOk, 0}));
    EXPECT_EQ(poll(), (Seen{kNone, kKeyOk, 0})); // still held: no new key
    remote.release(kKeyOk);
    EXPECT_EQ(poll(), (Seen{kNone, kNone, 0}));
}

TEST(RemoteKeys, PressAndReleaseBeforeAPollStillDeliverTheKey)
{
    TestRemote remote;
    remote.tap(7);
    EXPECT_EQ(poll(), (Seen{7, kNone, 0}));
    EXPECT_EQ(poll(), (Seen{kNone, kNone, 0}));
}

TEST(RemoteKeys, TwoQuickTapsAreTwoPolls)
{
    TestRemote remote;
    remote.tap(2);
    remote.tap(2);
    remote.tap(3);
    EXPECT_EQ(poll(), (Seen{2, kNone, 0}));
    EXPECT_EQ(poll(), (Seen{2, kNone, 0}));
    EXPECT_EQ(poll(), (Seen{3, kNone, 0}));
    EXPECT_EQ(poll(), (Seen{kNone, kNone, 0}));
}

TEST(RemoteKeys, TwoPressesWithoutReleaseAreTwoPolls)
{
    TestRemote remote;
    remote.press(kKeyLeft);
    remote.press(kKeyRight);
    EXPECT_EQ(poll(), (Seen{kKeyLeft, kKeyLeft, 0}));
    EXPECT_EQ(poll(), (Seen{kKeyRight, kKeyRight, 0}));
    remote.release(kKeyRight);
    EXPECT_EQ(poll(), (Seen{kNone, kNone, 0}));
}

TEST(RemoteKeys, PartialRecordWaitsForItsSecondByte)
{
    TestRemote remote;
    const uint8_t first = gx9::kEventPress, second = kKeyBlue;
    ASSERT_EQ(write(remote.write_fd(), &first, 1), 1);
    EXPECT_EQ(poll(), (Seen{kNone, kNone, 0}));
    ASSERT_EQ(write(remote.write_fd(), &second, 1), 1);
    EXPECT_EQ(poll(), (Seen{kKeyBlue, kKeyBlue, 0}));
}

TEST(RemoteKeys, UnknownEventsAreSkipped)
{
    TestRemote remote;
    const uint8_t junk[] = {0, 9, 200, 14};
    ASSERT_EQ(write(remote.write_fd(), junk, sizeof(junk)), static_cast<ssize_t>(sizeof(junk)));
    remote.press(kKeyDown);
    EXPECT_EQ(poll(), (Seen{kKeyDown, kKeyDown, 0}));
}

TEST(RemoteExit, ExitKeyAsksToLeaveAndRestartToStartOver)
{
    {
        TestRemote remote;
        remote.tap(gx9::kCodeExit);
        EXPECT_EQ(poll(), (Seen{gx9::kCodeExit, kNone, 3}));
    }
    {
        TestRemote remote;
        remote.restart();
        EXPECT_EQ(poll(), (Seen{kNone, kNone, 1}));
        doexit = 0; // the plugin clears it before its main loop
        remote.press(kKeyUp);
        remote.restart(); // after a press: waits for the next poll
        EXPECT_EQ(poll(), (Seen{kKeyUp, kKeyUp, 0}));
        EXPECT_EQ(poll(), (Seen{kNone, kKeyUp, 1}));
    }
    {
        TestRemote remote;
        remote.restart();
        remote.tap(gx9::kCodeExit);
        EXPECT_EQ(poll().exit, 3);
        remote.restart(); // a restart does not take back a pending exit
        EXPECT_EQ(poll().exit, 3);
    }
}

TEST(RemoteExit, ClosedPipeEndsEventsWithoutHarm)
{
    TestRemote remote;
    remote.tap(5);
    const uint8_t half = gx9::kEventPress;
    ASSERT_EQ(write(remote.write_fd(), &half, 1), 1);
    remote.hang_up();
    EXPECT_EQ(poll(), (Seen{5, kNone, 0}));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(poll(), (Seen{kNone, kNone, 0}));
}
