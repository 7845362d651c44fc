// The header beside the board: both players' names and ratings centred in their halves of an
// olive bar, White's in white on the left, Black's in black on the right.
#pragma once

constexpr int kPanelLeftOfBoard = 430; // the right column starts at Xoffset + 430
constexpr int kPanelWidth = 220;
constexpr int kPanelHalfWidth = 110; // Black's half starts at Xoffset + 540
constexpr unsigned char kHeaderBar = 9;

// Offset of a text of the given width inside a half: (110 - width) / 2, truncating, 0 when
// negative, so a name too wide for its half starts at the half's left edge.
constexpr int centred_offset(int width)
{
    const int offset = (kPanelHalfWidth - width) / 2;
    return offset < 0 ? 0 : offset;
}

// Draws the name bar and the rating bar with their texts. Reads WhiteName, BlackName,
// WhiteRating, BlackRating, Xoffset and Yoffset; writes nothing but pixels.
void display_naslov();
