// The telnet window. A golden image of the full window shows the start-up blanks and lines
// scrolled up with their colours, characters the font lacks dropped, long lines drawn as 75; the
// tests below add what the records keep, which form each screen mode redraws, and the messages of
// ExitOn.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "ics/game_state.h"
#include "panels/telnet.h"
#include "shell/exit_on.h"
#include "shell/screen_mode.h"
#include "tests/support/test_screen.h"

namespace {

class TelnetWindow : public ::testing::Test {
  protected:
    void SetUp() override
    {
        init();
        whats_showed = kBoardView;
    }
    testsupport::TestScreen screen;
};

} // namespace

TEST_F(TelnetWindow, FullWindowMatchesItsGoldenImage)
{
    blank_telnet_startup_lines();
    // Server text in the colours the line interpreter gives each kind, echoes and a message.
    const struct {
        const char* text;
        int ink, paper;
    } rows[] = {
        {"Welcome to the local FICS server.", 5, 1},
        {"Press return to enter the server as \"guest\":", 2, 8},
        {"**** Starting FICS session as korvanis ****", 2, 8},
        {"seek", 1, 12},
        {"Creating: korvanis (1500) engine (1700) unrated blitz 5 0", 2, 10},
        {"{Game 1 (korvanis vs. engine) Creating unrated blitz match.}", 2, 10},
        {"Illegal move (e2e5).", 2, 3},
        {"Please select some valid move!", 2, 3},
        {"engine(C)(1700)[1] kibitzes: +0.31 depth 12 e7e5 g1f3 b8c6 f1b5 a7a6 b5a4 g8f6 e1g1", 5,
         1},
        {"Disconnected from ICS !!!", 2, 3},
        {"symbols: ~!@#$%^&*()_+-={}[]|:;'<>?,./` and 0123456789", 4, 1},
    };
    for (const auto& row : rows)
        add_to_telnet(row.text, row.ink, row.paper);
    whats_showed = kFullTelnet;
    screen.fill(1);
    display_telnet();
    // Regenerate with: VITREL_UPDATE_GOLDEN=1 ctest --test-dir build/default -R FullWindowMatches
    EXPECT_TRUE(screen.matches_golden("telnet_full"));
}

// 80 characters fill a record without a terminator and survive the scroll; 81 are cut to 80; a
// null text still scrolls; a text in the buffer itself is taken before the scroll moves it.
TEST_F(TelnetWindow, RecordsKeepAtMost80CharactersThroughTheScroll)
{
    const std::string text =
        "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz!#$%&'()*+,-./:;<=";
    add_to_telnet(text.c_str(), 2, 1);
    add_to_telnet((text + "XY").c_str(), 4, 1);
    add_to_telnet(nullptr, 5, 1);
    add_to_telnet(from_fics[26].text, 6, 1);
    EXPECT_EQ(std::string(from_fics[24].text, 80) + std::string(from_fics[25].text, 80),
              text + text);
    EXPECT_EQ(from_fics[26].text[0], '\0') << "the null text";
    EXPECT_EQ(std::string(from_fics[27].text, 80), text) << "the re-added record";
    char dump[kTelnetLines * 100]; // the dump for failure messages, with snprintf's result
    const int length = telnet_dump(dump, sizeof dump);
    EXPECT_EQ(length, static_cast<int>(strlen(dump))) << dump;
    EXPECT_EQ(std::count(dump, dump + length, '\n'), kTelnetLines) << "a line per record";
    EXPECT_EQ(std::string(dump, 3), "00 ") << "from the first";
    telnet_reset(); // the fuzz harness starts each input from zeroed records
    const auto* bytes = reinterpret_cast<const char*>(from_fics);
    EXPECT_EQ(std::count(bytes, bytes + sizeof from_fics, '\0'), long(sizeof from_fics));
}

TEST_F(TelnetWindow, OnlyTheFullWindowModeRedrawsAll28Lines)
{
    // Columns: screen mode, whether the full window is redrawn.
    const std::pair<int, bool> rows[] = {
        {kBoardView, false}, {kHelpScreen, false}, {kFullTelnet, true}};
    for (const auto& [mode, full] : rows) {
        screen.fill(7);
        whats_showed = mode;
        add_to_telnet("line", 2, 1);
        EXPECT_TRUE(screen.shows(30, 511, "line", 2, 1, 9)) << "mode " << mode;
        EXPECT_EQ(screen.count(0, 0, 720, 576, 7), 720 * 576 - 680 * (full ? 504 : 72))
            << "mode " << mode;
        EXPECT_TRUE(screen.all(30, full ? 25 : 457, 680, 18, 1)) << "mode " << mode;
    }
}

// ExitOn and ExitOnSystemError: a white-on-red line cut at 72, errno kept, a pause after it.
TEST_F(TelnetWindow, ExitOnShowsItsLineWhiteOnRedCutTo72KeepsErrnoAndPauses)
{
    const std::string letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const std::string long_what = letters + letters;
    // Columns: message (null for the system error alone), failed call (null for ExitOn), errno,
    // the line shown, the pause in microseconds (whole seconds and a fraction).
    const struct {
        const char* message;
        const char* what;
        int error;
        std::string line;
        long pause;
    } rows[] = {
        {long_what.c_str(), nullptr, 0, long_what.substr(0, 72), 1000000},
        {nullptr, nullptr, ECONNRESET, std::string("Error: ") + strerror(ECONNRESET), 100000},
        {nullptr, letters.c_str(), EIO, (letters + ": " + strerror(EIO)).substr(0, 72), 100000},
    };
    for (const auto& row : rows) {
        screen.fill(7);
        errno = row.error;
        exit_on_pause_usec = row.pause;
        const auto before = std::chrono::steady_clock::now();
        row.what ? ExitOnSystemError(row.what) : ExitOn(row.message);
        EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::microseconds(row.pause));
        EXPECT_EQ(errno, row.error);
        EXPECT_TRUE(screen.shows(30, 511, row.line, 2, 3, 9));
        const int width = (static_cast<int>(row.line.size()) - 1) * 9 + 10;
        EXPECT_TRUE(screen.all(30 + width, 511, 680 - width, 18, 1)) << "drew past the line";
    }
}
