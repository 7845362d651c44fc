// The server line interpreter: prompt removal, the board line, and the notice tests.
#include "ics/notices.h"

#include <array>
#include <cstring>
#include <ctime>
#include <iterator>
#include <string_view>

#include "ics/board_line.h"
#include "ics/connection.h"
#include "ics/game_state.h"
#include "ics/tokens.h"
#include "panels/clocks.h"
#include "panels/telnet.h"

namespace {

using std::string_view;

constexpr int kDefaultInk = 5;
constexpr int kDefaultPaper = 1;
constexpr int kKeep = -1; // a test that leaves the colour pair as it is

// A rating token such as "(1500)" is shown as " 1500": a space at 0, the text ended at 5.
constexpr int kRatingShownEnd = 5;
static_assert(kRatingShownEnd < kRatingBytes);

constexpr int kRejectedInk = 10;
constexpr int kRejectedPaper = 1;

enum class Match {
    kStartsWith,       // the line starts with one of the phrases
    kContains,         // the line contains one of the phrases
    kAfterObservation, // the previous line announced an observation; the line starts with one
    kEndOfMyGame,      // starts with "{Game ", names MyName and contains one of the phrases
    kNotAMove,         // starts with LastMoveSent and then the phrase: the server's unknown command
    kEveryLine,
};

enum class Action {
    kNone,
    kCreateGame,            // a game of the user's: players, orientation, the game runs
    kTakeObservedPlayers,   // the players of a game the user now observes
    kNoteObservation,       // ObserveAnnounced for the next line: whether the phrase is here
    kTakeHandle,            // MyName from the text behind the phrase
    kRejectMoveTryAgain,    // refresh, show, let the user move again; ends the line
    kRejectMoveNotYourTurn, // refresh, show, no move until the next board line; ends the line
    kEndMyGame,
    kShow,
};

constexpr int kMaxPhrases = 7;
struct NoticeTest {
    Match match;
    int ink;
    int paper;
    Action action;
    std::array<string_view, kMaxPhrases> phrases;
};

// The notice tests, one row per test. Columns: how the phrases are matched, the colour pair a
// match sets (kKeep leaves it), what a match does, the phrases (any one matches). The order is
// the order of the tests: the last matching row decides the colours, the rejected-move rows end
// the line, and the observation row must come after the row that reads its bit. A move the
// server does not take as one ("e7e8q: Command not found.") is answered as an illegal one.
// clang-format off
constexpr NoticeTest kNoticeTests[] = {
    {Match::kStartsWith, 1, 10, Action::kCreateGame, {"Creating: "}},
    {Match::kAfterObservation, kKeep, kKeep, Action::kTakeObservedPlayers, {"Game "}},
    {Match::kEveryLine, kKeep, kKeep, Action::kNoteObservation, {"You are now observing game "}},
    {Match::kContains, 1, 8, Action::kTakeHandle, {"Logging you in as "}},
    {Match::kContains, 1, 8, Action::kTakeHandle, {"Your name will be "}},
    {Match::kContains, 1, 8, Action::kTakeHandle, {"Starting FICS session as "}},
    {Match::kContains, 3, 1, Action::kNone, {"You have"}},
    {Match::kContains, 3, 1, Action::kNone, {"kibitzes:", "whispers:"}},
    {Match::kContains, 2, 1, Action::kNone, {"tells you:", "says:"}},
    {Match::kContains, 5, 1, Action::kNone, {"shouts:"}},
    {Match::kContains, 1, 5, Action::kNone,
     {"offers you a draw", "requests that the game be aborted", "would like to abort",
      "requests adjournment", "would like to adjourn", "Your opponent offers",
      "Your opponent requests"}},
    {Match::kContains, 1, 3, Action::kRejectMoveTryAgain,
     {"Illegal move", "Not a legal move", "Your king is in check"}},
    {Match::kNotAMove, 1, 3, Action::kRejectMoveTryAgain, {": "}},
    {Match::kContains, 1, 3, Action::kRejectMoveNotYourTurn,
     {"It isn't your turn", "It is not your move"}},
    {Match::kContains, 1, 10, Action::kNone, {"takeback "}},
    {Match::kEndOfMyGame, kKeep, kKeep, Action::kEndMyGame, {"1-0", "0-1", "1/2-1/2", "*"}},
    {Match::kStartsWith, 1, 10, Action::kNone, {"{Game "}},
    {Match::kEveryLine, kKeep, kKeep, Action::kShow, {}},
};
// clang-format on
static_assert(std::size(kNoticeTests) == 18);

constexpr string_view kGameEndPrefix = "{Game ";
constexpr string_view kObservedPlayersAfter = ": ";

bool contains(string_view line, string_view phrase)
{
    return line.find(phrase) != string_view::npos;
}

bool contains_any(string_view line, const std::array<string_view, kMaxPhrases>& phrases)
{
    for (string_view phrase : phrases)
        if (!phrase.empty() && contains(line, phrase))
            return true;
    return false;
}

bool starts_with_any(string_view line, const std::array<string_view, kMaxPhrases>& phrases)
{
    for (string_view phrase : phrases)
        if (!phrase.empty() && line.starts_with(phrase))
            return true;
    return false;
}

bool matches(const NoticeTest& test, string_view line)
{
    switch (test.match) {
    case Match::kStartsWith:
        return starts_with_any(line, test.phrases);
    case Match::kContains:
        return contains_any(line, test.phrases);
    case Match::kAfterObservation:
        return ObserveAnnounced == 1 && starts_with_any(line, test.phrases);
    case Match::kEndOfMyGame:
        return line.starts_with(kGameEndPrefix) && contains(line, MyName) &&
               contains_any(line, test.phrases);
    case Match::kNotAMove:
        return LastMoveSent[0] != 0 && line.starts_with(LastMoveSent) &&
               line.substr(strlen(LastMoveSent)).starts_with(test.phrases[0]);
    case Match::kEveryLine:
        return true;
    }
    return false;
}

void shorten_rating_for_header(char* rating)
{
    rating[0] = ' ';
    rating[kRatingShownEnd] = 0;
}

// White's name, White's rating, Black's name, Black's rating: fields without a token keep their
// values; both ratings are shortened all the same.
void read_players(const char* text)
{
    char* const fields[] = {WhiteName, WhiteRating, BlackName, BlackRating};
    const int field_bytes[] = {kNameBytes, kRatingBytes, kNameBytes, kRatingBytes};
    static_assert(std::size(fields) == std::size(field_bytes));
    for (size_t i = 0; i < std::size(fields) && text != nullptr; ++i)
        text = read_text_token(text, fields[i], field_bytes[i]);
    shorten_rating_for_header(WhiteRating);
    shorten_rating_for_header(BlackRating);
}

constexpr bool is_letter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The handle behind a login phrase: "GuestWXYZ(U)" and "\"GuestWXYZ\";" both give GuestWXYZ,
// since handles are letters only. No letters leave MyName as it is.
void take_handle(const char* text)
{
    text = skip_white_space(text);
    if (*text == '"')
        ++text;
    int length = 0;
    while (is_letter(text[length]) && length < kNameBytes - 1)
        ++length;
    if (length == 0)
        return;
    memcpy(MyName, text, size_t(length));
    MyName[length] = 0;
}

// The text behind the first of the test's phrases that the line contains.
const char* after_phrase(const NoticeTest& test, const char* line)
{
    string_view text(line);
    for (string_view phrase : test.phrases) {
        size_t at = phrase.empty() ? string_view::npos : text.find(phrase);
        if (at != string_view::npos)
            return line + at + phrase.size();
    }
    return line + text.size();
}

void reject_move(const char* line, int ink, int paper, int may_move)
{
    if (icsFd > 0)
        SendToIcs("refresh\r\n");
    add_to_telnet(line, ink, paper);
    add_to_telnet(kSelectValidMove, kRejectedInk, kRejectedPaper);
    moving_enabled = may_move;
}

void take_observed_players(const char* line)
{
    size_t at = string_view(line).find(kObservedPlayersAfter);
    if (at != string_view::npos)
        read_players(line + at + kObservedPlayersAfter.size());
    WeAreNotPlaying = 1;
}

void create_game(const char* text)
{
    read_players(text);
    OrientBoardForUser();
    WeAreNotPlaying = 0;
    start_time = time(nullptr);
}

// Runs the notice tests over one line (prompts removed) and shows it.
void interpret_notice(const char* line)
{
    const string_view text(line);
    int ink = kDefaultInk;
    int paper = kDefaultPaper;
    for (const NoticeTest& test : kNoticeTests) {
        if (!matches(test, text))
            continue;
        if (test.ink != kKeep) {
            ink = test.ink;
            paper = test.paper;
        }
        switch (test.action) {
        case Action::kNone:
            break;
        case Action::kCreateGame:
            create_game(after_phrase(test, line));
            break;
        case Action::kTakeObservedPlayers:
            take_observed_players(line);
            break;
        case Action::kNoteObservation:
            ObserveAnnounced = contains_any(text, test.phrases) ? 1 : 0;
            break;
        case Action::kTakeHandle:
            take_handle(after_phrase(test, line));
            break;
        case Action::kRejectMoveTryAgain:
            reject_move(line, ink, paper, 1);
            return;
        case Action::kRejectMoveNotYourTurn:
            reject_move(line, ink, paper, 0);
            return;
        case Action::kEndMyGame:
            // The mating board line and this one arrive in one read, before the main loop's next
            // pass: the panel shows the final move and clocks only if drawn before it stops.
            print_remaining_time();
            WeAreNotPlaying = 1;
            break;
        case Action::kShow:
            add_to_telnet(line, ink, paper);
            break;
        }
    }
}

const char* skip_prompts(const char* line)
{
    const size_t prompt_length = strlen(kPrompt);
    while (strncmp(line, kPrompt, prompt_length) == 0)
        line += prompt_length;
    return line;
}

bool only_line_end(const char* text)
{
    return *text == 0 || strcmp(text, "\r\n") == 0;
}

} // namespace

void ProcessIcsLine(const char* line)
{
    const char* text = skip_prompts(line);
    // The server starts each notice and board line with its own line end, which turns the
    // prompt before it into a line of its own: one blank row per move would scroll the small
    // window empty. A blank line of the server's own text (no prompt) is still shown.
    if (text != line && only_line_end(text))
        return;
    if (string_view(text).starts_with(kBoardLinePrefix)) {
        LastMoveSent[0] = 0;
        ReadBoardLine(text + kBoardLinePrefix.size());
        return;
    }
    interpret_notice(text);
}
