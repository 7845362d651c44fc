// The game state record: the globals through which the server side and the screen side meet.
// The line interpreter (ics/notices.cpp) is the only writer of game facts; the drawing code and
// move entry read them. All start zero when the plugin is loaded; init() sets the rest.
#pragma once

#include <ctime>

constexpr int kBoardBytes = 128;  // 64 squares, a terminator, spare bytes
constexpr int kSquares = 64;
constexpr int kNameBytes = 20;
constexpr int kRatingBytes = 10;
constexpr int kMoveLongBytes = 10;

// The starting position, eight columns (files a to h), each from rank 1 up to rank 8.
constexpr char kStartPosition[] = "RP    prNP    pnBP    pbQP    pqKP    pkBP    pbNP    pnRP    pr";
static_assert(sizeof(kStartPosition) == kSquares + 1);

// Square (col, row), both 1..8 in screen order (column 1 left, row 1 bottom).
constexpr int square_index(int col, int row) { return (col - 1) * 8 + (row - 1); }

// The board, in screen order, turned half a turn while the user plays Black.
// Written by: the start-up copy (shell), board lines and game announcements (ics/notices.cpp).
extern char zeforboard[kBoardBytes];

// Players. Written by init and ics/notices.cpp; read by the header panel and ics/notices.cpp.
extern char WhiteName[kNameBytes];
extern char BlackName[kNameBytes];
extern char WhiteRating[kRatingBytes];
extern char BlackRating[kRatingBytes];
extern char MyName[kNameBytes];  // the user's handle from the login notices

// Fields of the last board line, in the line's order. Written by ics/notices.cpp only.
extern char WhoIsOnMove;  // 'W' or 'B'; 0 before the first board line
extern int DoublePawnPush;
extern int WscCs, WscCl, BscCs, BscCl;
extern int NumMovesIrr;
extern int GameNumber;
extern int MojaUloga;  // the user's relation to the game (-3 .. 2)
extern int InitialTime;
extern int InitialIncrement;
extern int WhiteStrength, BlackStrength;
extern int WhiteRemaining, BlackRemaining;  // seconds
extern int MoveNumber;
extern char PreviousMoveLong[kMoveLongBytes];

// Turn and game flags. Written by init, ics/notices.cpp and move entry (moving_enabled).
extern int my_color;          // 1 White (or unknown), 0 Black
extern int moving_enabled;    // 1 while the user may enter a move
extern int WeAreNotPlaying;   // 1 while no game of the user's is running
extern int ObserveAnnounced;  // 1 for the one line after "You are now observing game "

// The move text sent last ("e2e4", "e7e8=q"), kept until the next board line so that the
// server's "<move>: Command not found." can be told from other text; empty when none is pending.
// Written by move entry (on sending) and ics/notices.cpp (cleared by every board line).
constexpr int kSentMoveBytes = 8;
extern char LastMoveSent[kSentMoveBytes];

// Clock bookkeeping. Written by init, ics/notices.cpp (start_time) and the clock panel.
extern char CountingFor;
extern time_t start_time;
extern time_t current_time;

// The server socket; 0 or less while unconnected. Written by the shell (start-up, main loop).
extern int icsFd;

// The board's screen origin: left and bottom edge of the frame. Written by init only.
extern int Xoffset;
extern int Yoffset;

// Gives the record its start values (names, flags, command table, board origin).
void init();
