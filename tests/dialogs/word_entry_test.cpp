// Word entry: multi-tap keys, RIGHT, LEFT, OK, the length limit and leaving, through the
// stand-in remote, with the text read back from the framebuffer.
#include "dialogs/word_entry.h"

#include <string>
#include <vector>

#include "dialog_test_util.h"

namespace {

using dialogtest::tap_all;
using testsupport::TestRemote;
using testsupport::TestScreen;

constexpr int kRight = kKeyRight, kLeft = kKeyLeft, kOk = kKeyOk;

class WordEntry : public ::testing::Test {
  protected:
    void SetUp() override { tv_tv_usec = dialogtest::kFastPollUsec; }

    std::string enter(int maximum_length = 59)
    {
        return ZeforEnterWord(100, 532, 18, maximum_length);
    }

    TestScreen screen;
    TestRemote remote;
};

// Columns: keys tapped in order, the text the entry returns.
struct TypedWord {
    std::vector<int> keys;
    std::string expected;
};

TEST_F(WordEntry, MultiTapKeysGiveTheirCharacters)
{
    const TypedWord rows[] = {
        {{2, 2, 2, 3, kOk}, "CD"},
        {{2, kRight, 2, kOk}, "AA"},
        {{2, kRight, 3, kOk}, "A D"},
        {{2, kRight, kOk}, "A "},
        {{7, 7, 7, 7, 7, kOk}, "7"},
        {{7, 7, 7, 7, 7, 7, kOk}, "P"},
        {{0, kOk}, " "},
        {{0, 0, kOk}, "0"},
        {{1, 1, 1, kOk}, "-"},
        {{1, 1, 1, 1, 1, 1, kOk}, " "},
        {{9, 9, 9, 9, kOk}, "Z"},
        {{9, 9, 9, 9, 9, kOk}, "9"},
        {{4, 4, 6, 6, 6, kRight, kRight, 8, kOk}, "HO  T"},
        {{kOk, 2, kOk}, "A"},         // OK on an empty text is ignored
        {{kLeft, 2, kOk}, "A"},       // LEFT on an empty text does nothing
        {{2, 3, kLeft, 3, kOk}, "E"}, // the last key and its cycle survive LEFT
        {{2, 3, kLeft, kLeft, 5, kOk}, "J"},
        {{2, kLeft, 2, kOk}, "A"},       // nothing left to cycle: the key starts a new character
        {{kRight, 2, kOk}, " A"},        // a leading space taken with RIGHT stays in the text
        {{2, 5, 18, 23, 19, kOk}, "AJ"}, // colour keys do nothing
    };
    for (const TypedWord& row : rows) {
        for (int key : row.keys)
            remote.tap(key);
        EXPECT_EQ(enter(), row.expected) << "keys " << ::testing::PrintToString(row.keys);
    }
}

TEST_F(WordEntry, DrawsTextWithMarkerSpaceAndClearsWhatLeftErased)
{
    screen.fill(1);
    tap_all(remote, {2, 3, 3, kOk});
    EXPECT_EQ(enter(), "AE");
    EXPECT_EQ(screen.text(100, 532, 3), "AE ");

    tap_all(remote, {2, 3, 4, kLeft, kLeft, kOk});
    EXPECT_EQ(enter(), "A");
    EXPECT_EQ(screen.text(100, 532, 3), "A  ") << screen.dump(100, 532, 40, 18);
    EXPECT_TRUE(screen.all(120, 532, 30, 18, 1));
}

TEST_F(WordEntry, BlanksThePanelAreaWhenItEnds)
{
    screen.fill(5);
    tap_all(remote, {2, kOk});
    enter();
    EXPECT_TRUE(screen.all(480, 180, 181, 101, 1));
    EXPECT_EQ(screen.pixel(479, 180), 5);
    EXPECT_EQ(screen.pixel(661, 280), 5);
    EXPECT_EQ(screen.pixel(480, 281), 5);
}

TEST_F(WordEntry, EndsByItselfAtTheMaximumLength)
{
    std::string expected;
    for (int i = 0; i < 59; ++i) {
        remote.tap(i % 2 == 0 ? 2 : 3);
        expected += i % 2 == 0 ? 'A' : 'D';
    }
    remote.tap(4); // must still be waiting when the entry returns
    EXPECT_EQ(enter(59), expected);
    actcode = kKeyNone;
    RcGetActCode();
    EXPECT_EQ(actcode, 4);
}

TEST_F(WordEntry, ClampsALengthBeyondTheBuffer)
{
    for (int i = 0; i < kWordBytes + 4; ++i)
        remote.tap(i % 2 == 0 ? 8 : 9);
    const std::string word = enter(1000);
    EXPECT_EQ(word.size(), static_cast<size_t>(kWordLongest));
    EXPECT_EQ(word.substr(0, 4), "TWTW");

    tap_all(remote, {2, kOk});
    EXPECT_EQ(enter(-3), ""); // nothing may be taken: returns before the first poll
}

TEST_F(WordEntry, RepeatedPressesOfAHeldKeyCountOnce)
{
    remote.press(2);
    remote.press(2);
    remote.press(2);
    tap_all(remote, {3, kOk});
    EXPECT_EQ(enter(), "AD");
}

TEST_F(WordEntry, LeavingReturnsTheCharactersTakenSoFar)
{
    tap_all(remote, {2, 3, 3});
    remote.restart();
    remote.tap(4);
    EXPECT_EQ(enter(), "AE");
    EXPECT_EQ(doexit, 1);
}

TEST_F(WordEntry, ExitKeyHeldDownEndsTheEntryWithoutWaitingForItsRelease)
{
    tap_all(remote, {5, 5});
    remote.press(gx9::kCodeExit);
    EXPECT_EQ(enter(), "K");
    EXPECT_EQ(doexit, 3);
}

} // namespace
