// Line assembly over a real socket: what ProcessRawInput hands on, carries and returns.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ics/lines.h"
#include "shell/exit_on.h"
#include "tests/ics/ics_test_util.h"
#include "tests/support/test_screen.h"

using icstest::SocketPair;
using Lines = std::vector<std::string>;

namespace {

Lines handed_on;
void record_line(const char* line)
{
    handed_on.push_back(line);
}

class LineAssembly : public ::testing::Test {
  protected:
    void SetUp() override
    {
        handed_on.clear();
        buffer[0] = 0;
        exit_on_pause_usec = 0;
    }
    // Sends one read's bytes and lets ProcessRawInput take them.
    int take(const std::string& bytes)
    {
        icstest::send_bytes(pair.theirs, bytes);
        return ProcessRawInput(pair.ours, buffer, kReceiveBufferBytes, record_line);
    }
    std::string carried() const { return buffer; }

    SocketPair pair;
    char buffer[kReceiveBufferBytes];
};

const std::string kIac = "\xff";
const std::string kWill = "\xfb";
const std::string kWont = "\xfc";
const std::string kEcho = "\x01";

struct Case {
    const char* what;
    std::vector<std::string> reads; // one write and one call each
    Lines lines;
    std::string carried;
};

TEST_F(LineAssembly, CutsLinesAsTheServerSendsThem)
{
    const Case cases[] = {
        {"a line and a carried rest", {"abc\r\ndef"}, {"abc\r\n"}, "def"},
        {"the carried rest completed later", {"abc\r\ndef", "\r\n"}, {"abc\r\n", "def\r\n"}, ""},
        {"LF CR is one line end", {"abc\n\rdef\r\n"}, {"abc\r\n", "def\r\n"}, ""},
        {"CR CR and LF LF are one line end each",
         {"a\r\rb\n\nc\r"},
         {"a\r\n", "b\r\n", "c\r\n"},
         ""},
        {"a second pair is an empty line", {"abc\r\n\r\n"}, {"abc\r\n", "\r\n"}, ""},
        {"three line-end bytes: a line and an empty one", {"abc\n\r\n"}, {"abc\r\n", "\r\n"}, ""},
        {"a pair split over two reads is two line ends",
         {"abc\r", "\ndef\n"},
         {"abc\r\n", "\r\n", "def\r\n"},
         ""},
        {"a lone LF line end", {"abc\ndef\n"}, {"abc\r\n", "def\r\n"}, ""},
        {"the prompt is carried into the next line",
         {"fics% ", "<12> x\n\r"},
         {"fics% <12> x\r\n"},
         ""},
        {"a prompt alone stays", {"fics% "}, {}, "fics% "},
        {"a telnet command goes with the text before it",
         {"ab" + kIac + kWill + kEcho + "c\r\n"},
         {"c\r\n"},
         ""},
        {"IAC and one other byte is a command", {"ab" + kIac + "\xf1" + "cd\r\n"}, {"cd\r\n"}, ""},
        {"IAC IAC is a command too", {"ab" + kIac + kIac + "cd\r\n"}, {"cd\r\n"}, ""},
        {"a command split after IAC waits for its rest",
         {"ab" + kIac, kWill + kEcho + "c\r\n"},
         {"c\r\n"},
         ""},
        {"a command split after its verb waits for its option",
         {"ab" + kIac + kWill, kEcho + "c\r\n"},
         {"c\r\n"},
         ""},
        {"a split command is kept in the carried text",
         {"ab" + kIac + kWill},
         {},
         "ab" + kIac + kWill},
        {"the password echo commands of the login",
         {"password: " + kIac + kWill + kEcho, kIac + kWont + kEcho + "\n\r**** Starting\n\r"},
         {"\r\n", "**** Starting\r\n"},
         ""},
        {"a command after a line end takes only its own line's text",
         {"one\r\ntwo" + kIac + kWill + kEcho + "three\r\n"},
         {"one\r\n", "three\r\n"},
         ""},
        {"zero bytes are dropped and the rest is kept",
         {std::string("ab\0cd\r\nef\0\r\n", 12)},
         {"abcd\r\n", "ef\r\n"},
         ""},
        {"a zero byte in the carried rest", {std::string("ab\0c", 4), "d\r\n"}, {"abcd\r\n"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        handed_on.clear();
        buffer[0] = 0;
        for (const std::string& bytes : c.reads)
            EXPECT_EQ(take(bytes), 0);
        EXPECT_EQ(handed_on, c.lines);
        EXPECT_EQ(carried(), c.carried);
    }
}

TEST_F(LineAssembly, InterruptProcessEndsTheConnectionAfterTheLinesBeforeIt)
{
    EXPECT_EQ(take("abc\r\nde" + kIac + "\xf4" + "fg\r\n"), -1);
    EXPECT_EQ(handed_on, Lines{"abc\r\n"});
}

// The buffer outlives the connection: what an interrupt leaves in it must not end the next one.
TEST_F(LineAssembly, InterruptProcessIsRemovedSoTheNextConnectionReads)
{
    EXPECT_EQ(take("abc\r\nde" + kIac + "\xf4" + "fg"), -1);
    EXPECT_EQ(carried(), "fg");
    handed_on.clear();
    SocketPair next;
    icstest::send_bytes(next.theirs, "hi\r\n");
    EXPECT_EQ(ProcessRawInput(next.ours, buffer, kReceiveBufferBytes, record_line), 0);
    EXPECT_EQ(handed_on, Lines{"fghi\r\n"});
}

TEST_F(LineAssembly, ClosedConnectionGivesMinusOneWithoutALine)
{
    icstest::send_bytes(pair.theirs, "partial");
    EXPECT_EQ(ProcessRawInput(pair.ours, buffer, kReceiveBufferBytes, record_line), 0);
    pair.close_theirs();
    EXPECT_EQ(ProcessRawInput(pair.ours, buffer, kReceiveBufferBytes, record_line), -1);
    EXPECT_TRUE(handed_on.empty());
}

TEST_F(LineAssembly, NothingToReadIsNoError)
{
    strcpy(buffer, "carried");
    fcntl(pair.ours, F_SETFL, fcntl(pair.ours, F_GETFL) | O_NONBLOCK);
    EXPECT_EQ(ProcessRawInput(pair.ours, buffer, kReceiveBufferBytes, record_line), 0);
    EXPECT_TRUE(handed_on.empty());
    EXPECT_EQ(carried(), "carried");
}

TEST_F(LineAssembly, AFailedReadIsShownAndKeepsTheCarriedText)
{
    testsupport::TestScreen screen;
    strcpy(buffer, "carried");
    EXPECT_EQ(ProcessRawInput(-1, buffer, kReceiveBufferBytes, record_line), 0);
    EXPECT_EQ(icstest::shown(0),
              (icstest::Shown{std::string("read from server: ") + strerror(EBADF), 2, 3}));
    EXPECT_EQ(carried(), "carried");
}

TEST_F(LineAssembly, LongLinesAreHandedOnInPiecesOfTheLineBuffer)
{
    const std::string exact(kLineTextMax, 'e');
    EXPECT_EQ(take(exact + "\r\n"), 0);
    EXPECT_EQ(handed_on, Lines{exact + "\r\n"});

    handed_on.clear();
    std::string long_line;
    for (int i = 0; i < 3000; ++i)
        long_line += char('a' + i % 26);
    EXPECT_EQ(take(long_line + "\n\r"), 0);
    ASSERT_EQ(handed_on.size(), 3u);
    EXPECT_EQ(handed_on[0], long_line.substr(0, kLineTextMax) + "\r\n");
    EXPECT_EQ(handed_on[1], long_line.substr(kLineTextMax, kLineTextMax) + "\r\n");
    EXPECT_EQ(handed_on[2], long_line.substr(2 * kLineTextMax) + "\r\n");
    EXPECT_EQ(carried(), "");
}

TEST_F(LineAssembly, AStreamWithoutLineEndsNeverLooksClosed)
{
    // 40,000 bytes without a line end, in reads of 8,000: pieces go on, the result stays 0.
    std::string all;
    for (int read = 0; read < 5; ++read) {
        std::string bytes(8000, char('a' + read));
        all += bytes;
        EXPECT_EQ(take(bytes), 0) << "read " << read;
    }
    std::string joined;
    for (const std::string& line : handed_on) {
        ASSERT_EQ(line.size(), size_t(kLineTextMax + 2));
        joined += line.substr(0, line.size() - 2);
    }
    EXPECT_EQ(joined + carried(), all);
}

TEST_F(LineAssembly, ACarriedLineThatFillsASmallBufferIsHandedOnNotTakenForAClose)
{
    char small[16] = "";
    icstest::send_bytes(pair.theirs, "fifteen-letters");
    EXPECT_EQ(ProcessRawInput(pair.ours, small, sizeof(small), record_line), 0);
    EXPECT_STREQ(small, "fifteen-letters");
    icstest::send_bytes(pair.theirs, "next\r\n");
    EXPECT_EQ(ProcessRawInput(pair.ours, small, sizeof(small), record_line), 0);
    EXPECT_EQ(handed_on, (Lines{"fifteen-letters\r\n", "next\r\n"}));
    EXPECT_STREQ(small, "");
}

} // namespace
