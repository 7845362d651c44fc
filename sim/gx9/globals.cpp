// The library globals the plugin reads and writes.
#include "host/gx9.h"

extern "C" {
unsigned short actcode = 238;
unsigned short realcode = 238;
int doexit;
int gx9_use_pig = 1;
}
