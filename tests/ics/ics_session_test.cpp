// A recorded-like server session (tests/ics/data/guest_game.fics: a failed password with the
// telnet echo commands, a guest login, a game with an illegal move, a draw offer, a resignation)
// played through ProcessRawInput and ProcessIcsLine to the state and screen it should leave.
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/board.h"
#include "ics/game_state.h"
#include "ics/lines.h"
#include "ics/notices.h"
#include "shell/exit_on.h"
#include "shell/move_state.h"
#include "shell/screen_mode.h"
#include "tests/ics/ics_test_util.h"
#include "tests/support/test_screen.h"

using icstest::receive_pending;
using icstest::shown;
using icstest::Shown;
using icstest::SocketPair;

namespace {

std::string recorded_session()
{
    std::ifstream in(VITREL_SOURCE_DIR "/tests/ics/data/guest_game.fics", std::ios::binary);
    EXPECT_TRUE(in.good()) << "missing tests/ics/data/guest_game.fics";
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The position after 1. e4 e5 2. Nf3, files a..h, each from rank 1 up.
constexpr char kAfterNf3[] = "RP    prNP    pnBP    pbQP    pqK  Pp  kBPN   pb P    pnRP    pr";
static_assert(sizeof(kAfterNf3) == kSquares + 1);

class RecordedSession : public ::testing::Test {
  protected:
    void SetUp() override
    {
        init();
        exit_on_pause_usec = 0;
        MyName[0] = 0;
        WhoIsOnMove = 0;
        icsFd = 0;
        memcpy(zeforboard, kStartPosition, sizeof(kStartPosition));
        cursorx = cursorxold = 4;
        cursory = cursoryold = 2;
        whats_showed = kBoardView;
        icsFd = pair.ours;
        buffer[0] = 0;
    }
    // Sends the session in reads of chunk bytes; returns the result of the last call.
    void play(const std::string& stream, size_t chunk)
    {
        for (size_t at = 0; at < stream.size(); at += chunk) {
            icstest::send_bytes(pair.theirs, stream.substr(at, chunk));
            ASSERT_EQ(ProcessRawInput(icsFd, buffer, kReceiveBufferBytes, ProcessIcsLine), 0)
                << "at byte " << at;
        }
    }
    // The newest shown lines that are not empty, newest first.
    std::vector<Shown> newest_text_lines(size_t count)
    {
        std::vector<Shown> lines;
        for (int age = 0; age < kTelnetLines && lines.size() < count; ++age)
            if (shown(age).text != "\r\n")
                lines.push_back(shown(age));
        return lines;
    }
    void expect_end_of_game_state()
    {
        EXPECT_STREQ(MyName, "GuestQKRM");
        EXPECT_STREQ(WhiteName, "GuestQKRM");
        EXPECT_STREQ(BlackName, "Opponent");
        EXPECT_STREQ(WhiteRating, " ++++");
        EXPECT_STREQ(BlackRating, " 1500");
        EXPECT_EQ(std::string(zeforboard, kSquares), kAfterNf3);
        EXPECT_EQ(WhoIsOnMove, 'B');
        EXPECT_EQ(WhiteRemaining, 295);
        EXPECT_EQ(BlackRemaining, 297);
        EXPECT_STREQ(PreviousMoveLong, "N/g1-f3");
        EXPECT_EQ(my_color, 1);
        EXPECT_EQ(moving_enabled, 0);
        EXPECT_EQ(WeAreNotPlaying, 1);
        EXPECT_STREQ(buffer, "fics% ") << "the last prompt waits for its line";
        EXPECT_EQ(receive_pending(pair.theirs), "refresh\r\n") << "one answer to the illegal move";
    }

    testsupport::TestScreen screen;
    SocketPair pair;
    char buffer[kReceiveBufferBytes];
};

const std::vector<Shown> kLastLines = {
    {"No ratings adjustment done.\r\n", 5, 1},
    {"{Game 42 (GuestQKRM vs. Opponent) Opponent resigns} 1-0\r\n", 1, 10},
    {"Opponent offers you a draw.\r\n", 1, 5},
    {"Opponent(1500)[42] says: good luck\r\n", 2, 1},
    {"Please select some valid move!", 10, 1},
    {"Illegal move (e5e4).\r\n", 1, 3},
};

TEST_F(RecordedSession, PlayedInOneReadLeavesTheGameAndWindowItShould)
{
    const std::string stream = recorded_session();
    ASSERT_LT(stream.size(), size_t(kReceiveBufferBytes));
    play(stream, stream.size());
    expect_end_of_game_state();
    EXPECT_EQ(newest_text_lines(kLastLines.size()), kLastLines) << icstest::telnet_dump_text();
    EXPECT_EQ(shown(2), (Shown{"\r\n", 5, 1})) << "the prompt line in front of a notice";

    EXPECT_EQ(screen.text(30, 511, 27, 9), "No ratings adjustment done.");
    EXPECT_EQ(screen.text(30, 493, 55, 9),
              "{Game 42 (GuestQKRM vs. Opponent) Opponent resigns} 1-0");
    EXPECT_EQ(screen.text(Xoffset + 39, Yoffset - 19, 1), "a") << "White at the bottom";

    pair.close_theirs();
    EXPECT_EQ(ProcessRawInput(icsFd, buffer, kReceiveBufferBytes, ProcessIcsLine), -1);
}

TEST_F(RecordedSession, AnySizeOfReadGivesTheSameGame)
{
    const std::string stream = recorded_session();
    for (size_t chunk : {1, 2, 5, 64, 333}) {
        SCOPED_TRACE(chunk);
        play(stream, chunk);
        expect_end_of_game_state();
        EXPECT_EQ(newest_text_lines(kLastLines.size()), kLastLines) << icstest::telnet_dump_text();
        SetUp();
    }
}

TEST_F(RecordedSession, WithTheFullTelnetWindowOpenTheBoardIsNotDrawn)
{
    whats_showed = kFullTelnet;
    play(recorded_session(), 100);
    expect_end_of_game_state();
    EXPECT_EQ(
        screen.count(Xoffset, Yoffset - kFrameLength, kFrameLength, kFrameLength, BorderColor), 0);
    EXPECT_EQ(screen.text(30, 511, 27, 9), "No ratings adjustment done.");
}

} // namespace
