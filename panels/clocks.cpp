// The clock panel: formats of the clock, stopwatch, last-move and on-move lines, and the
// material count.
#include "panels/clocks.h"

#include <cstdint>
#include <cstdio>
#include <ctime>

#include "board/text.h"
#include "host/gx9.h"
#include "ics/game_state.h"
#include "panels/header.h"
#include "shell/screen_mode.h"

namespace {

constexpr unsigned char kBlack = 1;
constexpr unsigned char kWhite = 2;
constexpr unsigned char kClockInk = 5;
constexpr unsigned char kOnMoveInk = 6;
constexpr unsigned char kStopwatchInk = 8;

// Line positions: y = Yoffset - the value; x = Xoffset + kPanelLeftOfBoard unless named.
constexpr int kClockLineAbove = 340;
constexpr int kStopwatchLineAbove = 315;
constexpr int kLastMoveLineAbove = 285;
constexpr int kSeparatorAbove = 268;
constexpr int kOnMoveAreaAbove = 235;
constexpr int kOnMoveAreaHeight = 40;
constexpr int kSecondOnMoveLineAbove = 215;
constexpr int kSingleOnMoveLineAbove = 225;
constexpr int kMaterialLeftOfBoard = 490;

constexpr char kSeparator[] = "----------------------";
static_assert(sizeof(kSeparator) - 1 == kPanelWidth / 10);

// Scratch lines: the longest is the clock line with two nine-digit minute counts.
constexpr int kLineBytes = 64;

// The kinds counted, in the order the material text lists them.
constexpr char kMaterialKinds[] = "QRBNP";
constexpr int kKindCount = sizeof(kMaterialKinds) - 1;

struct Balance {
    int count[kKindCount]; // White's surplus of each kind; negative for Black's
};

Balance count_material(const char* board)
{
    Balance balance{};
    for (int square = 0; square < kSquares; ++square)
        for (int kind = 0; kind < kKindCount; ++kind) {
            if (board[square] == kMaterialKinds[kind])
                ++balance.count[kind];
            else if (board[square] == kMaterialKinds[kind] - 'A' + 'a')
                --balance.count[kind];
        }
    return balance;
}

// Appends, for every kind where side_sign * count is positive, "<n><letter>" (the letter alone
// for 1). Returns the new length, never past size - 1.
size_t append_surplus(const Balance& balance, int side_sign, char* out, size_t size, size_t used)
{
    for (int kind = 0; kind < kKindCount; ++kind) {
        const int surplus = side_sign * balance.count[kind];
        if (surplus <= 0 || used + 1 >= size)
            continue;
        const int wrote =
            surplus == 1 ? snprintf(out + used, size - used, "%c", kMaterialKinds[kind])
                         : snprintf(out + used, size - used, "%d%c", surplus, kMaterialKinds[kind]);
        used += static_cast<size_t>(wrote);
        if (used >= size)
            used = size - 1;
    }
    return used;
}

bool has_surplus(const Balance& balance, int side_sign)
{
    for (int count : balance.count)
        if (side_sign * count > 0)
            return true;
    return false;
}

size_t append_text(const char* text, char* out, size_t size, size_t used)
{
    if (used + 1 >= size)
        return used;
    const int wrote = snprintf(out + used, size - used, "%s", text);
    used += static_cast<size_t>(wrote);
    return used >= size ? size - 1 : used;
}

void draw_line(int left_of_board, int above_board, const char* text, unsigned char ink)
{
    zefor_print_string(Xoffset + left_of_board, Yoffset - above_board, text, ink, kBlack);
}

void draw_clock_line()
{
    char line[kLineBytes];
    snprintf(line, sizeof line, "  %02d:%02d  <-->  %02d:%02d  ", WhiteRemaining / 60,
             WhiteRemaining % 60, BlackRemaining / 60, BlackRemaining % 60);
    draw_line(kPanelLeftOfBoard, kClockLineAbove, line, kClockInk);
}

void draw_stopwatch_line(int32_t elapsed)
{
    char line[kLineBytes];
    if (WhoIsOnMove == 'W')
        snprintf(line, sizeof line, " (%02d:%02d)             ", elapsed / 60, elapsed % 60);
    else if (WhoIsOnMove == 'B')
        snprintf(line, sizeof line, "              (%02d:%02d) ", elapsed / 60, elapsed % 60);
    else
        return;
    draw_line(kPanelLeftOfBoard, kStopwatchLineAbove, line, kStopwatchInk);
}

void draw_last_move_line()
{
    char line[kLineBytes];
    snprintf(line, sizeof line, "Last move:  %.*s    ", kMoveLongBytes, PreviousMoveLong);
    draw_line(kPanelLeftOfBoard, kLastMoveLineAbove, line, kWhite);
}

void draw_on_move_area(const char* material)
{
    FBFillRect(Xoffset + kPanelLeftOfBoard, Yoffset - kOnMoveAreaAbove, kPanelWidth,
               kOnMoveAreaHeight, kBlack);
    const char* side = WhoIsOnMove == 'W' ? "WHITE" : "BLACK";
    char line[kLineBytes];
    if (material[0] != '\0') {
        snprintf(line, sizeof line, "%s                 ", side);
        draw_line(kPanelLeftOfBoard, kOnMoveAreaAbove, line, kOnMoveInk);
        draw_line(kMaterialLeftOfBoard, kOnMoveAreaAbove, material, kWhite);
        draw_line(kMaterialLeftOfBoard, kSecondOnMoveLineAbove, " is on the move!", kOnMoveInk);
    } else {
        snprintf(line, sizeof line, "%s on the move!", side);
        draw_line(kPanelLeftOfBoard, kSingleOnMoveLineAbove, line, kOnMoveInk);
    }
}

// Restarts the stopwatch when the side on move has changed; returns the seconds since.
int32_t read_stopwatch()
{
    if (CountingFor != WhoIsOnMove) {
        CountingFor = WhoIsOnMove;
        start_time = time(nullptr);
    }
    current_time = time(nullptr);
    return static_cast<int32_t>(current_time - start_time);
}

} // namespace

void material_text(const char* board, char who, char* out, size_t size)
{
    if (size == 0)
        return;
    out[0] = '\0';
    if (who != 'W' && who != 'B')
        return;
    const Balance balance = count_material(board);
    const int mover = who == 'W' ? 1 : -1;
    const bool mover_ahead = has_surplus(balance, mover);
    const bool opponent_ahead = has_surplus(balance, -mover);
    if (!mover_ahead && !opponent_ahead)
        return;
    size_t used = 0;
    if (mover_ahead) {
        used = append_text("(+", out, size, used);
        used = append_surplus(balance, mover, out, size, used);
        if (opponent_ahead)
            used = append_text(" vs -", out, size, used);
    } else {
        used = append_text("(-", out, size, used);
    }
    used = append_surplus(balance, -mover, out, size, used);
    append_text(")", out, size, used);
}

void print_remaining_time()
{
    if (WeAreNotPlaying == 1 || whats_showed != kBoardView)
        return;
    const int32_t elapsed = read_stopwatch();
    draw_clock_line();
    draw_stopwatch_line(elapsed);

    char material[kMaterialTextBytes];
    material_text(zeforboard, WhoIsOnMove, material, sizeof material);
    draw_last_move_line();
    draw_line(kPanelLeftOfBoard, kSeparatorAbove, kSeparator, kWhite);
    draw_on_move_area(material);
}
