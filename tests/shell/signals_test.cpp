// The signal handlers: the work a signal interrupts goes on, and the signal is reported later.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "panels/telnet.h"
#include "shell/exit_on.h"
#include "shell/signals.h"
#include "tests/support/test_screen.h"

namespace {

// The first line of the thread's /proc file that begins with prefix, or "" if there is none.
std::string task_line(pid_t tid, const char* file, const std::string& prefix)
{
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/" + file);
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, prefix.size(), prefix) == 0)
            return line;
    return "";
}

// Waits up to ten seconds for condition; false if it never held.
template <typename Condition> bool eventually(Condition condition)
{
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > give_up)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TEST(SignalHandlers, ABlockingReadInterruptedBySigtermGoesOnAndTheSignalIsReportedLater)
{
    testsupport::TestScreen screen;
    exit_on_pause_usec = 0;
    install_signal_handlers();
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);

    std::atomic<pid_t> reader_tid{0};
    std::atomic<bool> finished{false};
    ssize_t got = 0;
    int error = 0;
    char byte = 0;
    std::thread reader([&] {
        reader_tid = gettid();
        got = read(ends[0], &byte, 1);
        error = errno;
        finished = true;
    });
    const std::string in_read = std::to_string(SYS_read) + " ";
    const bool reading = eventually(
        [&] { return reader_tid != 0 && task_line(reader_tid, "syscall", in_read) != ""; });
    if (reading) {
        pthread_kill(reader.native_handle(), SIGTERM);
        // Once the signal is no longer pending the handler has run and the read's fate is set.
        EXPECT_TRUE(eventually([&] {
            return finished || task_line(reader_tid, "status", "SigPnd:\t0000000000000000") != "";
        }));
    }
    ASSERT_EQ(write(ends[1], "x", 1), 1);
    reader.join();
    close(ends[0]);
    close(ends[1]);
    if (!reading)
        GTEST_SKIP() << "no /proc/self/task/*/syscall to see the reader block";

    EXPECT_EQ(got, 1) << "read ended with " << strerror(error);
    EXPECT_EQ(byte, 'x');
    report_pending_signals();
    const TelnetLine& newest = from_fics[kTelnetLines - 1];
    EXPECT_EQ(std::string(newest.text, strnlen(newest.text, sizeof newest.text)),
              "Got SIGINT/SIGTERM signal");
    restore_signal_handlers();
}

} // namespace
