// The header: names and ratings measured with FBDrawString, then centred on the olive bars.
#include "panels/header.h"

#include <cstring>

#include "host/gx9.h"
#include "ics/game_state.h"

namespace {

constexpr int kMeasureLeftOfBoard = 435;
constexpr unsigned char kWhiteInk = 2;
constexpr unsigned char kBlackInk = 1;

struct BarRow {
    int top_above_board; // y = Yoffset - this
    int bar_height;
    int text_height;
};
constexpr BarRow kNameRow{424, 40, 40};
constexpr BarRow kRatingRow{386, 32, 30};
constexpr int kNameTextBelowBar = 3; // names stand at Yoffset - 421

// The game state's text fields are fixed arrays; a copy with a terminator inside bounds keeps
// a field that lost its terminator from being read past its end.
template <int N> void bounded_copy(char (&out)[N + 1], const char (&field)[N])
{
    const size_t length = strnlen(field, N);
    memcpy(out, field, length);
    out[length] = '\0';
}

// Draws one bar and the two texts centred in their halves. Each text is first drawn olive on
// olive at the measuring position, which leaves nothing visible, to learn its width.
void draw_bar(const BarRow& row, int text_y, const char* white_text, const char* black_text)
{
    const int left = Xoffset + kPanelLeftOfBoard;
    const int measure_x = Xoffset + kMeasureLeftOfBoard;
    FBFillRect(left, Yoffset - row.top_above_board, kPanelWidth, row.bar_height, kHeaderBar);
    const int white_width =
        FBDrawString(measure_x, text_y, row.text_height, white_text, kHeaderBar, kHeaderBar);
    const int black_width =
        FBDrawString(measure_x, text_y, row.text_height, black_text, kHeaderBar, kHeaderBar);
    FBDrawString(left + centred_offset(white_width), text_y, row.text_height, white_text, kWhiteInk,
                 kHeaderBar);
    FBDrawString(left + kPanelHalfWidth + centred_offset(black_width), text_y, row.text_height,
                 black_text, kBlackInk, kHeaderBar);
}

} // namespace

void display_naslov()
{
    char white_name[kNameBytes + 1];
    char black_name[kNameBytes + 1];
    char white_rating[kRatingBytes + 1];
    char black_rating[kRatingBytes + 1];
    bounded_copy(white_name, WhiteName);
    bounded_copy(black_name, BlackName);
    bounded_copy(white_rating, WhiteRating);
    bounded_copy(black_rating, BlackRating);

    draw_bar(kNameRow, Yoffset - kNameRow.top_above_board + kNameTextBelowBar, white_name,
             black_name);
    draw_bar(kRatingRow, Yoffset - kRatingRow.top_above_board, white_rating, black_rating);
}
