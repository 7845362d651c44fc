// The game state globals and their start values.
#include "ics/game_state.h"

#include <cstdio>

#include "dialogs/command_table.h"

char zeforboard[kBoardBytes];

char WhiteName[kNameBytes];
char BlackName[kNameBytes];
char WhiteRating[kRatingBytes];
char BlackRating[kRatingBytes];
char MyName[kNameBytes];

char WhoIsOnMove;
int DoublePawnPush;
int WscCs, WscCl, BscCs, BscCl;
int NumMovesIrr;
int GameNumber;
int MojaUloga;
int InitialTime;
int InitialIncrement;
int WhiteStrength, BlackStrength;
int WhiteRemaining, BlackRemaining;
int MoveNumber;
char PreviousMoveLong[kMoveLongBytes];

int my_color;
int moving_enabled;
int WeAreNotPlaying;
int ObserveAnnounced;

char LastMoveSent[kSentMoveBytes];

char CountingFor;
time_t start_time;
time_t current_time;

int icsFd;

int Xoffset;
int Yoffset;

void init()
{
    snprintf(WhiteName, sizeof WhiteName, "%s", "WHITE");
    snprintf(BlackName, sizeof BlackName, "%s", "BLACK");
    fill_fics_cmds();
    CountingFor = ' ';
    WeAreNotPlaying = 1;
    moving_enabled = 0;
    my_color = 1;
    ObserveAnnounced = 0;
    Xoffset = 40;
    Yoffset = 449;
}
