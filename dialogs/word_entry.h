// Multi-tap word entry on the remote's digit keys, in the command bar under the board.
// Owns the word buffer (file-scope in dialogs/word_entry.cpp, written only by ZeforEnterWord).
#pragma once

constexpr int kWordBytes = 128;
// The longest text one entry takes: the buffer keeps room behind it for the marker space that
// shows the next free position, and for the terminator.
constexpr int kWordLongest = kWordBytes - 2;

constexpr unsigned char kWordInk = 2;   // white
constexpr unsigned char kWordPaper = 1; // black
constexpr int kWordAdvance = 10;        // pixels per character of the large printer

// Lets the user type a line: digit keys step through their characters (2: A B C 2 A ...), RIGHT
// takes a space, LEFT deletes the last character, OK ends a non-empty text. The entry also ends
// by itself when maximum_length characters are taken (clamped to 0..kWordLongest), or at once
// when doexit becomes nonzero, with what was taken so far. The text is drawn at (x, y) in the
// large font, white on black; height is the strip height that LEFT clears. Returns the text,
// zero-terminated, in the word buffer: valid until the next call, which clears it.
const char* ZeforEnterWord(int x, int y, int height, int maximum_length);
