// The host library as the plugin sees it: the operations and globals of libgx9.so that it calls.
// The host loads the library before the plugin; nothing here is defined by the plugin.
#pragma once

#include <cstdint>

extern "C" {

// Framebuffer: 720 x 576 pixels of 8-bit palette indices, origin top left, y downwards.
int FBInitialize(int width, int height, int depth, int fd);  // negative on failure
void FBSetColor(int index, int red, int green, int blue);     // defines one palette entry
void FBSetupColors(void);                                     // makes the defined palette effective
void FBClose(void);
void FBFillRect(int x, int y, int width, int height, unsigned char color);
void FBDrawRect(int x, int y, int width, int height, unsigned char color);
void FBDrawLine(int x1, int y1, int x2, int y2, unsigned char color);
void FBPaintPixel(int x, int y, unsigned char color);
unsigned char FBGetPixel(int x, int y);
void FBCopyImage(int x, int y, int width, int height, const unsigned char* pixels);
// Draws text of the given pixel height on a background box; returns its width in pixels.
int FBDrawString(int x, int y, int height, const char* text, unsigned char color,
                 unsigned char background);

// Remote control.
int RcInitialize(int fd);  // negative on failure
void RcGetActCode(void);   // polls without blocking; updates actcode, realcode, doexit
void RcClose(void);

// Live TV picture window.
void Gx9ShowPig(int x, int y, int width, int height);
void Gx9StopPig(void);

// Library globals.
extern unsigned short actcode;  // code of the key just pressed
extern unsigned short realcode; // code of the key held now, 238 while none is
extern int doexit;              // 3: leave the plugin; any other nonzero value: start over
extern int gx9_use_pig;         // 1 while the picture window may be used

}  // extern "C"

// Key codes delivered in actcode.
constexpr unsigned short kKeyRight = 10;
constexpr unsigned short kKeyLeft = 11;
constexpr unsigned short kKeyUp = 12;
constexpr unsigned short kKeyDown = 13;
constexpr unsigned short kKeyOk = 14;
constexpr unsigned short kKeyYellow = 18;
constexpr unsigned short kKeyRed = 19;
constexpr unsigned short kKeyBlue = 20;
constexpr unsigned short kKeyHelp = 23;
constexpr unsigned short kKeyNone = 238;     // realcode while no key is held; stored before a poll
constexpr unsigned short kKeyCleared = 255;  // stored by the dialogs before they poll

constexpr int kScreenWidth = 720;
constexpr int kScreenHeight = 576;
