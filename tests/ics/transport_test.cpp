// The server connection over real sockets: connecting, sending, the byte utilities, and line
// assembly (what ProcessRawInput hands on, carries and returns).
#include <fcntl.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "ics/connection.h"
#include "ics/lines.h"
#include "shell/exit_on.h"
#include "tests/ics/server_end.h"
#include "tests/support/test_screen.h"

namespace {
using testutil::shown;
using testutil::Shown;

class Transport : public ::testing::Test {
  protected:
    void SetUp() override { exit_on_pause_usec = 0; }
    testsupport::TestScreen screen;
};

TEST_F(Transport, OpenTcpConnectsByNameOrDottedQuadAndReportsWhatIsNoAddress)
{
    // 127.0.0.257 and 383.0.0.1 read as 127.0.0.1: each number keeps its low 8 bits.
    for (const char* host : {"localhost", "127.0.0.257", "383.0.0.1"}) {
        testutil::Listener listener;
        const int fd = OpenTCP(host, listener.port), accepted = accept(listener.fd, nullptr, nullptr);
        char got[5] = {};
        EXPECT_EQ(write(fd, "ping", 4) + read(accepted, got, 4), 8) << host;
        EXPECT_TRUE(fd > 0 && strcmp(got, "ping") == 0) << host;
        close(accepted), close(fd);
    }
    // Three numbers never go to the resolver (glibc would take "127.0.1" as 127.0.0.1).
    for (const char* host : {"127.0.1", "", "1.2.3.", "..."}) {
        add_to_telnet("before", 7, 7);
        EXPECT_EQ(OpenTCP(host, 5000), 0);
        EXPECT_EQ(shown(0), (Shown{"Failed to resolve address.", 2, 3})) << host;
        EXPECT_EQ(shown(1), (Shown{"before", 7, 7}));
    }
    const int closed_port = testutil::Listener().port; // nobody listens there: a quiet failure
    EXPECT_EQ(OpenTCP("127.0.0.1", closed_port) * 10 + std::get<1>(shown(1)), 7);
}

TEST_F(Transport, SendToIcsWritesTheFormattedTextCutsItToItsBufferAndReportsAFailure)
{
    testutil::ServerEnd server;
    SendToIcs("%s\r\n", "e2e4");
    SendToIcs("refresh\r\n");
    SendToIcs("\r");
    EXPECT_EQ(server.received(), "e2e4\r\nrefresh\r\n\r");
    std::string received;
    std::thread reader([&] { received = server.received(16383); });
    SendToIcs("%s\r\n", std::string(20000, 'x').c_str());
    reader.join();
    EXPECT_EQ(received + server.received(), std::string(16381, 'x') + "\r\n");
    testutil::ServerEnd::hang_up(server.ours); // icsFd is now a closed descriptor
    SendToIcs("refresh\r\n");
    EXPECT_EQ(shown(0), (Shown{std::string("write to server: ") + strerror(EBADF), 2, 3}));
}

std::atomic<int> interrupts, alarm_blocked;

// A signal that interrupts the write sees the mask SendToIcs writes under; the writes it cuts
// short (EINTR, a short count, or EAGAIN and an interrupted wait) go on with the rest.
TEST_F(Transport, SendToIcsHoldsAlarmOffAndGoesOnAfterShortInterruptedAndRefusedWrites)
{
    struct sigaction action {}; // no SA_RESTART
    action.sa_handler = [](int) {
        sigset_t now;
        pthread_sigmask(SIG_BLOCK, nullptr, &now);
        ++interrupts, alarm_blocked += sigismember(&now, SIGALRM);
    };
    sigaction(SIGUSR1, &action, nullptr);
    sigset_t alarm_only, now;
    sigemptyset(&alarm_only);
    sigaddset(&alarm_only, SIGALRM);
    std::string text; // every 8 bytes differ, so a lost or repeated piece shows
    for (int i = 0; text.size() < 16000; ++i)
        text += std::to_string(10000000 + i);
    for (bool nonblocking : {true, false}) {
        testutil::ServerEnd server;
        int tiny = 2048;
        setsockopt(server.ours, SOL_SOCKET, SO_SNDBUF, &tiny, sizeof tiny);
        std::string sent; // the socket filled up first: SendToIcs's first write waits at once
        fcntl(server.ours, F_SETFL, O_NONBLOCK);
        while (write(server.ours, "full", 4) == 4)
            sent += "full";
        fcntl(server.ours, F_SETFL, nonblocking ? O_NONBLOCK : 0);
        pthread_sigmask(nonblocking ? SIG_UNBLOCK : SIG_BLOCK, &alarm_only, nullptr); // before
        interrupts = alarm_blocked = 0;
        const pthread_t writer = pthread_self();
        std::string received;
        std::thread reader([&] { // slowly: the writer waits again and again
            usleep(50000);
            for (std::string got = "-"; !got.empty(); received += got) {
                // The first signal finds a write (or the wait for room) before anything went
                // out, the second cuts the next one short.
                for (int twice = 0; twice < 2 && received.size() + 8192 < text.size(); ++twice)
                    pthread_kill(writer, SIGUSR1), usleep(1000);
                got = received.size() < sent.size() + text.size() ? server.received(512) : "";
            }
        });
        SendToIcs("%s", text.c_str());
        reader.join();
        pthread_sigmask(SIG_BLOCK, nullptr, &now);
        EXPECT_TRUE(interrupts > 0 && alarm_blocked == interrupts) << "nonblocking " << nonblocking;
        EXPECT_FALSE(sigismember(&now, SIGALRM));
        EXPECT_TRUE(received == sent + text) << "nonblocking " << nonblocking;
    }
}

TEST(ByteUtilities, CopyExactlyTheirCountAndNoMore)
{
    // Columns: the operation on "abcdefghijklmnopqrstuvwx", the 25 bytes after it ('.' zero).
    const std::pair<void (*)(char*), const char*> cases[] = {
        {[](char* b) { bytezero(b + 2, 3); }, "ab...fghijklmnopqrstuvwx."},
        {[](char* b) { bytezero(b, 0), bytezero(b, -4); }, "abcdefghijklmnopqrstuvwx."},
        {[](char* b) { bytecopy(b, b + 5, 16); }, "fghijklmnopqrstuqrstuvwx."},
        {[](char* b) { bytecopy(b, "1\0" "2", 3); }, "1.2defghijklmnopqrstuvwx."},
        {[](char* b) { bytecopy(b + 1, b, 4); }, "aaaaafghijklmnopqrstuvwx."},
        {[](char* b) { stringcopy(b, "XYZ", 1); }, "X.cdefghijklmnopqrstuvwx."},
        {[](char* b) { stringcopy(b + 1, "XYZ", 0); }, "a.cdefghijklmnopqrstuvwx."},
        {[](char* b) { stringcopy(b, "XYZ", -1); }, ".bcdefghijklmnopqrstuvwx."},
        {[](char* b) { b[4] = 0, stringcat(b, "XYZ", 3); }, "abcdXYZ.ijklmnopqrstuvwx."},
        {[](char* b) { b[4] = 0, stringcat(b, "XYZ", 0); }, "abcd.fghijklmnopqrstuvwx."},
    };
    for (const auto& [operation, expected] : cases) {
        char buffer[25] = "abcdefghijklmnopqrstuvwx";
        operation(buffer);
        std::string after(buffer, 25);
        std::replace(after.begin(), after.end(), '\0', '.');
        EXPECT_EQ(after, expected);
    }
}

// ---- Line assembly -------------------------------------------------------------------------

using Lines = std::vector<std::string>;
Lines handed_on;

class LineAssembly : public Transport {
  protected:
    // One write by the server and one call.
    int take(const std::string& bytes, char* into = nullptr, int size = kReceiveBufferBytes)
    {
        server.send(bytes);
        return ProcessRawInput(server.ours, into ? into : buffer, size,
                               [](const char* line) { handed_on.push_back(line); });
    }
    testutil::ServerEnd server{false};
    char buffer[kReceiveBufferBytes] = "";
};

const std::string kIac = "\xff", kWill = "\xfb", kWont = "\xfc", kEcho = "\x01", kIp = "\xf4";

TEST_F(LineAssembly, CutsLinesAsTheServerSendsThem)
{
    // Columns: the reads, the lines handed on, the text carried, the result of the last call.
    const std::tuple<std::vector<std::string>, Lines, std::string, int> cases[] = {
        {{"abc\r\ndef"}, {"abc\r\n"}, "def", 0},
        {{"abc\r\ndef", "\r\n"}, {"abc\r\n", "def\r\n"}, "", 0},
        {{"abc\n\rdef\r\n"}, {"abc\r\n", "def\r\n"}, "", 0},  // LF CR is one line end
        {{"a\r\rb\n\nc\r"}, {"a\r\n", "b\r\n", "c\r\n"}, "", 0}, // CR CR, LF LF, a lone CR
        {{"abc\r\n\r\n"}, {"abc\r\n", "\r\n"}, "", 0},        // a second pair: an empty line
        {{"abc\n\r\n"}, {"abc\r\n", "\r\n"}, "", 0},
        {{"abc\r", "\ndef\n"}, {"abc\r\n", "\r\n", "def\r\n"}, "", 0}, // a pair split over reads
        {{"fics% ", "<12> x\n\r"}, {"fics% <12> x\r\n"}, "", 0},       // the prompt is carried
        {{"fics% "}, {}, "fics% ", 0},
        // A telnet command goes with the text before it since the last line end.
        {{"ab" + kIac + kWill + kEcho + "c\r\n"}, {"c\r\n"}, "", 0},
        {{"ab" + kIac + "\xf1" + "cd\r\n"}, {"cd\r\n"}, "", 0},
        {{"ab" + kIac + kIac + "cd\r\n"}, {"cd\r\n"}, "", 0},
        {{"ab" + kIac, kWill + kEcho + "c\r\n"}, {"c\r\n"}, "", 0}, // split after IAC
        {{"ab" + kIac + kWill, kEcho + "c\r\n"}, {"c\r\n"}, "", 0}, // split after the verb
        {{"ab" + kIac + kWill}, {}, "ab" + kIac + kWill, 0},
        {{"password: " + kIac + kWill + kEcho, kIac + kWont + kEcho + "\n\r**** Starting\n\r"},
         {"\r\n", "**** Starting\r\n"}, "", 0},
        {{"one\r\ntwo" + kIac + kWill + kEcho + "3\r\n"}, {"one\r\n", "3\r\n"}, "", 0},
        {{std::string("ab\0cd\r\nef\0\r\n", 12)}, {"abcd\r\n", "ef\r\n"}, "", 0}, // zero bytes
        {{std::string("ab\0c", 4), "d\r\n"}, {"abcd\r\n"}, "", 0},
        // The buffer outlives the connection: an interrupt left in it would end the next one.
        {{"abc\r\nde" + kIac + kIp + "fg"}, {"abc\r\n"}, "fg", -1},
    };
    for (const auto& [reads, lines, carried, result] : cases) {
        handed_on.clear();
        buffer[0] = 0;
        int last = 0;
        for (const std::string& bytes : reads)
            last = take(bytes);
        EXPECT_EQ(last, result) << ::testing::PrintToString(reads);
        EXPECT_EQ(handed_on, lines) << ::testing::PrintToString(reads);
        EXPECT_EQ(std::string(buffer), carried) << ::testing::PrintToString(reads);
    }
}

TEST_F(LineAssembly, ClosedConnectionNothingToReadAFailedReadLongLinesAndASmallBuffer)
{
    EXPECT_EQ(take("partial"), 0);
    fcntl(server.ours, F_SETFL, O_NONBLOCK);
    EXPECT_EQ(ProcessRawInput(server.ours, buffer, kReceiveBufferBytes, nullptr), 0);
    EXPECT_EQ(ProcessRawInput(-1, buffer, kReceiveBufferBytes, nullptr), 0);
    EXPECT_EQ(shown(0), (Shown{std::string("read from server: ") + strerror(EBADF), 2, 3}));
    testutil::ServerEnd closed(false);
    testutil::ServerEnd::hang_up(closed.theirs);
    EXPECT_EQ(ProcessRawInput(closed.ours, buffer, kReceiveBufferBytes, nullptr), -1);
    EXPECT_STREQ(buffer, "partial");
    handed_on.clear();
    buffer[0] = 0;
    std::string long_line;
    for (int i = 0; i < 3000; ++i)
        long_line += char('a' + i % 26);
    EXPECT_EQ(take(std::string(kLineTextMax, 'e') + "\r\n" + long_line + "\n\r"), 0);
    EXPECT_EQ(handed_on, (Lines{std::string(kLineTextMax, 'e') + "\r\n",
                                long_line.substr(0, kLineTextMax) + "\r\n",
                                long_line.substr(kLineTextMax, kLineTextMax) + "\r\n",
                                long_line.substr(2 * kLineTextMax) + "\r\n"}));
    // A carried text that fills a small buffer leaves no room to read: it goes on as a line.
    handed_on.clear();
    char small[16] = "";
    EXPECT_EQ(take("fifteen-letters", small, sizeof small), 0);
    EXPECT_STREQ(small, "fifteen-letters");
    EXPECT_EQ(take("next\r\n", small, sizeof small), 0);
    EXPECT_EQ(handed_on, (Lines{"fifteen-letters\r\n", "next\r\n"}));
}

} // namespace
