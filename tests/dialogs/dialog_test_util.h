// Helpers for the dialog tests: key sequences into the stand-in remote, a server end on a real
// socketpair, and a key held down while a dialog waits for its release.
#pragma once

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "host/gx9.h"
#include "ics/game_state.h"
#include "shell/screen_mode.h"
#include "tests/support/test_screen.h"

namespace dialogtest {

// Polls quickly so that a test with many keys runs in milliseconds.
constexpr int kFastPollUsec = 1000;

inline void tap_all(testsupport::TestRemote& remote, std::initializer_list<int> codes)
{
    for (int code : codes)
        remote.tap(code);
}

// Bytes still waiting in the remote's pipe (FIONREAD answers on either end of a pipe).
inline int queued_bytes(const testsupport::TestRemote& remote)
{
    int bytes = 0;
    if (ioctl(remote.write_fd(), FIONREAD, &bytes) != 0)
        return -1;
    return bytes;
}

// Waits until the library has read every queued event out of the pipe (bounded: five seconds).
inline bool wait_until_drained(const testsupport::TestRemote& remote)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (queued_bytes(remote) > 0) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// A key held down on a box that repeats its press: `repeats` presses and no release. Once the
// dialog has taken them all, a helper thread keeps the key down for a few more poll periods,
// releases it and, once the release is taken, taps `after`. Join it (the destructor does) after the
// dialog returns.
class HeldKey {
  public:
    HeldKey(testsupport::TestRemote& remote, int code, int repeats,
            std::initializer_list<int> after)
        : remote_(remote), code_(code), after_(after)
    {
        for (int i = 0; i < repeats; ++i)
            remote_.press(code_);
        thread_ = std::thread([this] { release_later(); });
    }
    ~HeldKey() { thread_.join(); }
    HeldKey(const HeldKey&) = delete;
    HeldKey& operator=(const HeldKey&) = delete;
    bool drained() const { return drained_; }

  private:
    void release_later()
    {
        drained_ = wait_until_drained(remote_);
        std::this_thread::sleep_for(std::chrono::microseconds(5 * kFastPollUsec));
        remote_.release(code_);
        // One poll takes a release together with the press queued behind it; a real remote
        // has time between the two, so the next keys follow once the release is taken.
        drained_ = drained_ && wait_until_drained(remote_);
        // Room for several polls in which a repeat taken while waiting could wrongly act.
        std::this_thread::sleep_for(std::chrono::microseconds(20 * kFastPollUsec));
        for (int code : after_)
            remote_.tap(code);
    }

    testsupport::TestRemote& remote_;
    int code_;
    std::vector<int> after_;
    std::thread thread_;
    bool drained_ = false;
};

// The server's end of the plugin's connection: icsFd is the other end of a socketpair.
class ServerEnd {
  public:
    ServerEnd()
    {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
            ADD_FAILURE() << "socketpair: " << strerror(errno);
        icsFd = fds[0];
        server_ = fds[1];
        fcntl(server_, F_SETFL, O_NONBLOCK);
    }
    ~ServerEnd()
    {
        close(icsFd);
        close(server_);
        icsFd = 0;
    }
    ServerEnd(const ServerEnd&) = delete;
    ServerEnd& operator=(const ServerEnd&) = delete;

    // Everything sent so far. Sending is synchronous, so what is not there yet was not sent.
    std::string received()
    {
        char chunk[256];
        ssize_t n;
        while ((n = read(server_, chunk, sizeof chunk)) > 0)
            text_.append(chunk, static_cast<size_t>(n));
        return text_;
    }

  private:
    int server_ = -1;
    std::string text_;
};

} // namespace dialogtest
