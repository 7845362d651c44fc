// Screen mode and polling pause globals.
#include "shell/screen_mode.h"

int whats_showed;
int tv_tv_usec = 100000;
int last_command;
