// The front-panel LCD: the device, the 960-byte frame format and the pixel and line primitives.
//
// The display is 120 x 64 pixels in 8 bands of 8 rows. Each band is 120 bytes, one per column,
// left to right; pixel (x, y) is bit (y mod 8) of byte (y div 8) * 120 + x, bit 0 the band's top
// row. A set bit lights its pixel. The frame goes to the device byte for byte in this order, in
// one write of kLcdFrameBytes.
#pragma once

constexpr int kLcdWidth = 120;
constexpr int kLcdHeight = 64;
constexpr int kLcdBandRows = 8;
constexpr int kLcdFrameBytes = 960;
static_assert(120 * 64 / 8 == kLcdFrameBytes);
static_assert(kLcdWidth * kLcdHeight / kLcdBandRows == kLcdFrameBytes);

// The device and its two requests.
inline constexpr char kLcdDevicePath[] = "/dev/omra/lcd0";
constexpr unsigned long kLcdRequestClear = 25; // no argument: blanks the display
constexpr unsigned long kLcdRequestFrameMode =
    4117; // pointer to 1: a 960-byte write replaces the picture
static_assert(kLcdRequestFrameMode == 0x1015);

// Pixel modes of the drawing calls; any other value leaves the frame unchanged.
constexpr int kLcdClear = 0;
constexpr int kLcdSet = 1;
constexpr int kLcdInvert = 2;

// The open LCD descriptor. Written by start-up (the host's descriptor) and then by init_lcd
// (its own); read by lcd_clr and lcd_draw_screen.
extern int lcd_fd;

// Opens the device read-write into lcd_fd, clears the display and selects the frame mode.
// A device that cannot be opened or refuses either request ends the process with status 1.
void init_lcd();
// Clears the display (request 25). Ends the process with status 1 if the device refuses.
void lcd_clr();
// Sends the whole frame to the device in one write; a failed or short write is ignored,
// the next pass sends the next frame.
void lcd_draw_screen(const unsigned char* frame);

// Changes pixel (x, y) of the frame by mode. A point outside 0..119 x 0..63 changes nothing.
void lcd_draw_pixel(int x, int y, int mode, unsigned char* frame);
// Draws from (x1, y1) towards (x2, y2), leaving out (x2, y2) itself, skipping gap points after
// each drawn one (a negative gap skips none). The minor coordinate is computed in IEEE single
// precision, the product rounded before the add, so every CPU draws the same pixels. A line with an
// end point beyond kLcdLineReach on either axis is not drawn: its differences and sums would leave
// int's range.
constexpr int kLcdLineReach = 1 << 20;
void lcd_line(int x1, int y1, int x2, int y2, int mode, int gap, unsigned char* frame);
// -1, 0 or 1 for a negative, zero or positive value.
int sgn(int v);
