// Connecting, sending and the byte utilities, over real loopback and socketpair sockets.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "ics/connection.h"
#include "ics/game_state.h"
#include "shell/exit_on.h"
#include "tests/ics/ics_test_util.h"
#include "tests/support/test_screen.h"

using icstest::receive;
using icstest::shown;
using icstest::Shown;
using icstest::SocketPair;

namespace {

// A TCP listener on 127.0.0.1 with a port of the system's choosing.
struct LoopbackListener {
    int fd = -1;
    int port = 0;
    LoopbackListener()
    {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            listen(fd, 4) != 0 ||
            getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            ADD_FAILURE() << "listener: " << strerror(errno);
        port = ntohs(address.sin_port);
    }
    ~LoopbackListener() { close(fd); }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;
};

class Connection : public ::testing::Test {
  protected:
    void SetUp() override
    {
        init();
        exit_on_pause_usec = 0;
    }
    testsupport::TestScreen screen;
};

TEST_F(Connection, OpenTcpConnectsByNameAndByDottedQuadWithLowEightBits)
{
    // 127.0.0.257 and 383.0.0.1 read as 127.0.0.1: each number keeps its low 8 bits.
    for (const char* host : {"localhost", "127.0.0.1", "127.0.0.257", "383.0.0.1"}) {
        SCOPED_TRACE(host);
        LoopbackListener listener;
        int fd = OpenTCP(host, listener.port);
        ASSERT_GT(fd, 0);
        int accepted = accept(listener.fd, nullptr, nullptr);
        ASSERT_GE(accepted, 0);
        icstest::send_bytes(fd, "ping");
        EXPECT_EQ(receive(accepted, 4), "ping");
        close(accepted);
        close(fd);
    }
}

TEST_F(Connection, OpenTcpReportsHostsThatAreNoAddress)
{
    // Three numbers never go to the resolver (glibc would take "127.0.1" as 127.0.0.1).
    for (const char* host : {"127.0.1", "", "1.2.3.", "..."}) {
        SCOPED_TRACE(host);
        const Shown before = shown(0);
        EXPECT_EQ(OpenTCP(host, 5000), 0);
        EXPECT_EQ(shown(0), (Shown{"Failed to resolve address.", 2, 3}));
        EXPECT_EQ(shown(1), before);
    }
}

TEST_F(Connection, OpenTcpFailsQuietlyWhenNobodyListens)
{
    int port;
    {
        LoopbackListener listener;
        port = listener.port;
    }
    const Shown before = shown(0);
    EXPECT_EQ(OpenTCP("127.0.0.1", port), 0);
    EXPECT_EQ(shown(0), before);
}

TEST_F(Connection, SendToIcsWritesTheFormattedTextToIcsFd)
{
    SocketPair pair;
    icsFd = pair.ours;
    SendToIcs("%s\r\n", "e2e4");
    SendToIcs("refresh\r\n");
    SendToIcs("\r");
    EXPECT_EQ(receive(pair.theirs, 16), "e2e4\r\nrefresh\r\n\r");
}

TEST_F(Connection, SendToIcsLeavesAlarmUnblockedEvenIfBlockedBefore)
{
    SocketPair pair;
    icsFd = pair.ours;
    for (bool blocked_before : {false, true}) {
        sigset_t alarm_only, now;
        sigemptyset(&alarm_only);
        sigaddset(&alarm_only, SIGALRM);
        sigprocmask(blocked_before ? SIG_BLOCK : SIG_UNBLOCK, &alarm_only, nullptr);
        SendToIcs("%d\r\n", 42);
        sigprocmask(SIG_BLOCK, nullptr, &now);
        EXPECT_FALSE(sigismember(&now, SIGALRM)) << "blocked before: " << blocked_before;
    }
    EXPECT_EQ(receive(pair.theirs, 8), "42\r\n42\r\n");
}

std::atomic<int> alarms_taken{0};
void count_alarm(int)
{
    alarms_taken.fetch_add(1);
}

TEST_F(Connection, SendToIcsHoldsAlarmOffWhileWriting)
{
    // Once the first bytes arrive, the writer is inside SendToIcs and stuck on the full socket
    // until the reader reads. The reader raises SIGALRM then: it must stay pending while the
    // write goes on and be taken once the write is done.
    SocketPair pair;
    icsFd = pair.ours;
    int tiny = 4096;
    setsockopt(pair.ours, SOL_SOCKET, SO_SNDBUF, &tiny, sizeof(tiny));
    struct sigaction action {};
    action.sa_handler = count_alarm;
    sigaction(SIGALRM, &action, nullptr);

    const std::string text(16000, 'a');
    std::atomic<bool> pending_while_writing{false};
    std::atomic<int> taken_while_writing{-1};
    std::string received;
    std::thread reader([&] {
        sigset_t alarm_only;
        sigemptyset(&alarm_only);
        sigaddset(&alarm_only, SIGALRM);
        pthread_sigmask(SIG_BLOCK, &alarm_only, nullptr);
        pollfd readable = {pair.theirs, POLLIN, 0};
        poll(&readable, 1, 5000);
        kill(getpid(), SIGALRM);
        usleep(200000); // time enough for a thread that does not block it to take it
        sigset_t pending;
        sigpending(&pending);
        pending_while_writing = sigismember(&pending, SIGALRM) == 1;
        taken_while_writing = alarms_taken.load();
        received = receive(pair.theirs, text.size());
    });
    SendToIcs("%s", text.c_str());
    reader.join();
    EXPECT_TRUE(pending_while_writing);
    EXPECT_EQ(taken_while_writing, 0);
    EXPECT_EQ(alarms_taken.load(), 1);
    EXPECT_EQ(received.size(), text.size());
    EXPECT_EQ(received, text);
}

// A text whose every 8 bytes differ, so a lost or repeated piece shows.
std::string numbered_text(int bytes)
{
    std::string text;
    for (int i = 0; int(text.size()) < bytes; ++i) {
        char piece[16];
        snprintf(piece, sizeof(piece), "%07d,", i);
        text += piece;
    }
    text.resize(size_t(bytes));
    return text;
}

TEST_F(Connection, SendToIcsGoesOnAfterShortWritesOnAFullSocket)
{
    SocketPair pair;
    icsFd = pair.ours;
    int tiny = 2048;
    setsockopt(pair.ours, SOL_SOCKET, SO_SNDBUF, &tiny, sizeof(tiny));
    fcntl(pair.ours, F_SETFL, fcntl(pair.ours, F_GETFL) | O_NONBLOCK); // short writes, EAGAIN
    const std::string text = numbered_text(16000);
    std::string received;
    std::thread reader([&] {
        usleep(20000);
        received = receive(pair.theirs, text.size());
    });
    SendToIcs("%s", text.c_str());
    reader.join();
    EXPECT_EQ(received.size(), text.size());
    EXPECT_TRUE(received == text) << "the text arrived changed";
}

void ignore_signal(int) {}

TEST_F(Connection, SendToIcsGoesOnAfterInterruptedWrites)
{
    // SIGUSR1 without SA_RESTART: a blocked write returns early (short count or EINTR).
    SocketPair pair;
    icsFd = pair.ours;
    int tiny = 2048;
    setsockopt(pair.ours, SOL_SOCKET, SO_SNDBUF, &tiny, sizeof(tiny));
    struct sigaction action {};
    action.sa_handler = ignore_signal;
    sigaction(SIGUSR1, &action, nullptr);
    const std::string text = numbered_text(16000);
    const pthread_t writer = pthread_self();
    std::atomic<bool> done{false};
    std::thread interrupter([&] {
        while (!done) {
            pthread_kill(writer, SIGUSR1);
            usleep(500);
        }
    });
    std::string received;
    std::thread reader([&] {
        std::string got;
        while (got.size() < text.size()) { // slowly, so the writer blocks again and again
            std::string piece =
                receive(pair.theirs, std::min<size_t>(512, text.size() - got.size()));
            if (piece.empty())
                break;
            got += piece;
            usleep(200);
        }
        received = got;
    });
    SendToIcs("%s", text.c_str());
    reader.join();
    done = true;
    interrupter.join();
    EXPECT_EQ(received.size(), text.size());
    EXPECT_TRUE(received == text) << "the text arrived changed";
}

TEST_F(Connection, SendToIcsCutsATextLongerThanItsBufferAndKeepsTheLineEnd)
{
    SocketPair pair;
    icsFd = pair.ours;
    const std::string text(20000, 'x');
    std::string received;
    std::thread reader([&] { received = receive(pair.theirs, 20002, 500); });
    SendToIcs("%s\r\n", text.c_str());
    reader.join();
    ASSERT_EQ(received.size(), size_t(kSendBufferBytes - 1));
    EXPECT_EQ(received.substr(received.size() - 2), "\r\n");
    EXPECT_EQ(received.find_first_not_of('x'), received.size() - 2);
}

TEST_F(Connection, SendToIcsReportsAFailedWrite)
{
    SocketPair pair;
    icsFd = pair.ours;
    pair.close_ours(); // icsFd is now a closed descriptor
    SendToIcs("refresh\r\n");
    EXPECT_EQ(shown(0).text, std::string("write to server: ") + strerror(EBADF));
    EXPECT_EQ(shown(0).ink, 2);
    EXPECT_EQ(shown(0).paper, 3);
}

TEST(ByteUtilities, CopyExactlyTheirCountAndNoMore)
{
    struct Case {
        const char* what;
        void (*operation)(char* buffer);
        std::string expected; // the 24-byte buffer afterwards, '.' for a zero byte
    };
    // clang-format off
    const Case cases[] = {
        {"bytezero clears count bytes", [](char* b) { bytezero(b + 2, 3); }, "ab...fghijklmnopqrstuvwx"},
        {"bytezero with count 0", [](char* b) { bytezero(b, 0); }, "abcdefghijklmnopqrstuvwx"},
        {"bytezero with a negative count", [](char* b) { bytezero(b, -4); }, "abcdefghijklmnopqrstuvwx"},
        {"bytecopy moves a block to the start of its buffer", [](char* b) { bytecopy(b, b + 5, 16); },
         "fghijklmnopqrstuqrstuvwx"},
        {"bytecopy copies zero bytes in the source", [](char* b) { bytecopy(b, "1\0" "2", 3); },
         "1.2defghijklmnopqrstuvwx"},
        {"bytecopy upwards repeats a pattern", [](char* b) { bytecopy(b + 1, b, 4); },
         "aaaaafghijklmnopqrstuvwx"},
        {"stringcopy terminates", [](char* b) { stringcopy(b, "XYZ", 2); }, "XY.defghijklmnopqrstuvwx"},
        {"stringcopy with count 0 writes only the zero", [](char* b) { stringcopy(b + 1, "XYZ", 0); },
         "a.cdefghijklmnopqrstuvwx"},
        {"stringcopy with a negative count writes only the zero",
         [](char* b) { stringcopy(b, "XYZ", -1); }, ".bcdefghijklmnopqrstuvwx"},
        {"stringcat appends behind the terminator", [](char* b) { b[4] = 0; stringcat(b, "XYZ", 3); },
         "abcdXYZ.ijklmnopqrstuvwx"},
        {"stringcat with count 0 leaves the string", [](char* b) { b[4] = 0; stringcat(b, "XYZ", 0); },
         "abcd.fghijklmnopqrstuvwx"},
    };
    // clang-format on
    for (const Case& c : cases) {
        char buffer[25] = "abcdefghijklmnopqrstuvwx";
        c.operation(buffer);
        std::string after(buffer, 24);
        for (char& ch : after)
            if (ch == 0)
                ch = '.';
        EXPECT_EQ(after, c.expected) << c.what;
        EXPECT_EQ(buffer[24], 0) << c.what << ": wrote past its count";
    }
}

} // namespace
