// Command picker: steps and jumps through the command table, the row shown in the command bar,
// held keys, and leaving, through the stand-in remote.
#include "dialogs/command_picker.h"

#include <signal.h>
#include <sys/time.h>

#include <cstring>
#include <string>
#include <vector>

#include "dialog_test_util.h"
#include "dialogs/command_table.h"

namespace {

using dialogtest::tap_all;
using testsupport::TestRemote;
using testsupport::TestScreen;

class CommandPicker : public ::testing::Test {
  protected:
    void SetUp() override
    {
        tv_tv_usec = dialogtest::kFastPollUsec;
        fill_fics_cmds();
        screen.fill(1);
    }

    // The row text as the command bar shows it: the word, its space, and blanks up to 15 cells.
    std::string shown() const { return screen.text(kCommandTextX, kCommandBarY, 15); }
    static std::string row_text(int row)
    {
        std::string text = fics_cmds[row].text;
        return text + std::string(15 - text.size(), ' ');
    }

    TestScreen screen;
    TestRemote remote;
};

// Columns: row the picker opens on, keys tapped before OK, row returned.
struct PickerCase {
    int start;
    std::vector<int> keys;
    int expected;
};

TEST_F(CommandPicker, StepsWrapAndJumpsLandOnTheFirstOrLastRow)
{
    const PickerCase rows[] = {
        {0, {kKeyUp}, 44},
        {44, {kKeyDown}, 0},
        {35, {kKeyRight}, 0}, // 45 is past the last row
        {3, {kKeyLeft}, 44},  // -7 is before the first row
        {40, {kKeyRight}, 0},
        {34, {kKeyRight}, 44}, // exactly the last row
        {10, {kKeyLeft}, 0},   // exactly the first row
        {13, {kKeyLeft, kKeyLeft}, 44},
        {5, {kKeyRight, kKeyRight, kKeyDown, kKeyDown, kKeyUp}, 26},
        {8, {0, 5, 9, kKeyYellow, kKeyRed, kKeyBlue, kKeyHelp}, 8}, // digits and colours do nothing
        {8, {}, 8},
    };
    for (const PickerCase& row : rows) {
        for (int key : row.keys)
            remote.tap(key);
        remote.tap(kKeyOk);
        const int chosen = pitaj_koja_komanda(row.start);
        EXPECT_EQ(chosen, row.expected)
            << "from row " << row.start << " keys " << ::testing::PrintToString(row.keys);
        EXPECT_EQ(shown(), row_text(row.expected)) << "from row " << row.start;
    }
}

TEST_F(CommandPicker, ShowsPromptAndFirstRowInTheCommandBar)
{
    remote.tap(kKeyOk);
    EXPECT_EQ(pitaj_koja_komanda(0), 0);
    EXPECT_EQ(screen.text(kPromptX, kCommandBarY, 7), "fics%  ");
    EXPECT_EQ(shown(), "abort          ");
    EXPECT_EQ(screen.count(kPromptX, kCommandBarY, 660, 18, 4), screen.count(0, 0, 720, 576, 4));
}

TEST_F(CommandPicker, ALongerRowLeavesNothingBehindAShorterOne)
{
    tap_all(remote, {kKeyDown, kKeyOk});
    EXPECT_EQ(pitaj_koja_komanda(6), 7);
    EXPECT_EQ(shown(), "decline        ") << screen.dump(100, 532, 150, 18);
}

TEST_F(CommandPicker, StartsOnTheFirstRowWhenGivenARowOutsideTheTable)
{
    for (int start : {-1, 45, 1000}) {
        remote.tap(kKeyOk);
        EXPECT_EQ(pitaj_koja_komanda(start), 0) << start;
        EXPECT_EQ(shown(), "abort          ");
    }
}

TEST_F(CommandPicker, OkBlanksTheClockPanelArea)
{
    screen.fill(5);
    remote.tap(kKeyOk);
    pitaj_koja_komanda(3);
    EXPECT_TRUE(screen.all(470, 115, 230, 215, 1));
    EXPECT_EQ(screen.pixel(469, 115), 5);
    EXPECT_EQ(screen.pixel(470, 330), 5);
}

TEST_F(CommandPicker, AHeldKeyRepeatingItsPressStepsOnce)
{
    int chosen;
    {
        dialogtest::HeldKey held(remote, kKeyDown, 4, {kKeyDown, kKeyOk});
        chosen = pitaj_koja_komanda(20);
        EXPECT_TRUE(held.drained());
    }
    EXPECT_EQ(chosen, 22);
}

TEST_F(CommandPicker, LeavingReturnsTheRowShownAtOnce)
{
    tap_all(remote, {kKeyDown, kKeyDown});
    remote.restart();
    tap_all(remote, {kKeyDown, kKeyOk});
    EXPECT_EQ(pitaj_koja_komanda(30), 32);
    EXPECT_EQ(doexit, 1);
    EXPECT_EQ(shown(), row_text(32));
}

TEST_F(CommandPicker, ExitKeyHeldDownDoesNotKeepThePickerWaiting)
{
    remote.press(kKeyUp); // still held when the exit key comes
    remote.press(gx9::kCodeExit);
    EXPECT_EQ(pitaj_koja_komanda(1), 0);
    EXPECT_EQ(doexit, 3);
}

void count_alarm(int) {}

TEST_F(CommandPicker, SignalsInterruptingThePauseChangeNothing)
{
    struct sigaction action {};
    action.sa_handler = count_alarm; // no SA_RESTART: every select is cut short with EINTR
    ASSERT_EQ(sigaction(SIGALRM, &action, nullptr), 0);
    const itimerval every_ms{{0, 1000}, {0, 1000}};
    ASSERT_EQ(setitimer(ITIMER_REAL, &every_ms, nullptr), 0);
    tv_tv_usec = 20000;
    dialogtest::tap_all(remote, {kKeyDown, kKeyDown, kKeyRight, kKeyOk});
    const int chosen = pitaj_koja_komanda(1);
    const itimerval stop{};
    setitimer(ITIMER_REAL, &stop, nullptr);
    EXPECT_EQ(chosen, 13);
}

TEST_F(CommandPicker, ReturnsAtOnceWhenAlreadyLeaving)
{
    doexit = 3;
    remote.tap(kKeyDown);
    EXPECT_EQ(pitaj_koja_komanda(4), 4);
    EXPECT_EQ(dialogtest::queued_bytes(remote), 4);
}

} // namespace
