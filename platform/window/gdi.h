// Device contexts and drawing: what image windows, diagrams and coloured
// controls need. A device context draws into a window (during WM_PAINT, or at
// any time through getDC) or into a bitmap selected into a memory context.
// Colours are COLORREF values 0x00BBGGRR.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/window/window.h"

namespace tvx::platform {

using Hdc = uint32_t;      // a device context, 0 for none
using Hgdiobj = uint32_t;  // a brush, pen, font or bitmap, 0 for none
using ColorRef = uint32_t;

constexpr ColorRef rgb(unsigned r, unsigned g, unsigned b) {
    return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16);
}
constexpr ColorRef kClrInvalid = 0xFFFFFFFF;

// The standard DIB header (40 bytes, the layout stored in files and memory).
#pragma pack(push, 1)
struct BitmapInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;  // negative: top-down rows
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;  // only BI_RGB (0) is drawn
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
struct RgbQuad {
    uint8_t rgbBlue, rgbGreen, rgbRed, rgbReserved;
};
#pragma pack(pop)
// A header followed by its colour table (biClrUsed entries, or 2^bits when 0).
struct BitmapInfo {
    BitmapInfoHeader bmiHeader;
    RgbQuad bmiColors[1];
};

struct PaintStruct {
    Hdc hdc = 0;
    bool erase = false;
    Rect paint;  // the part to paint, client coordinates
};

// ---- Contexts

// Inside WM_PAINT: the context of the window and the part to paint.
Hdc beginPaint(Hwnd hwnd, PaintStruct& ps);
bool endPaint(Hwnd hwnd, const PaintStruct& ps);
// A context of the window's client area at any time (shown at the next paint).
Hdc getDC(Hwnd hwnd);
int releaseDC(Hwnd hwnd, Hdc hdc);
// A memory context; select a bitmap into it to draw there.
Hdc createCompatibleDC(Hdc hdc);
bool deleteDC(Hdc hdc);

// ---- Objects

Hgdiobj createSolidBrush(ColorRef color);
Hgdiobj createPen(int style, int width, ColorRef color);  // PS_SOLID 0, PS_DASH 1, PS_DOT 2, PS_NULL 5
Hgdiobj createCompatibleBitmap(Hdc hdc, int width, int height);
// Font description as a Win32 LOGFONT keeps it (height in pixels, negative for
// the character height; weight 400 normal, 700 bold): macros pass these numbers.
struct LogFont {
    int height = 0;
    int width = 0;
    int escapement = 0;
    int orientation = 0;
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    int charSet = 1;
    char faceName[32] = {};
};
Hgdiobj createFontIndirect(const LogFont& font);
// Stock objects: WHITE_BRUSH 0, BLACK_BRUSH 4, NULL_BRUSH 5, WHITE_PEN 6,
// BLACK_PEN 7, NULL_PEN 8, OEM_FIXED_FONT 10, ANSI_FIXED_FONT 11, ANSI_VAR_FONT 12,
// SYSTEM_FONT 13, DEVICE_DEFAULT_FONT 14, SYSTEM_FIXED_FONT 16, DEFAULT_GUI_FONT 17.
Hgdiobj stockObject(int which);
bool deleteObject(Hgdiobj object);              // stock objects are never deleted
Hgdiobj selectObject(Hdc hdc, Hgdiobj object);  // returns the one it replaced
// The colour of a solid brush (kClrInvalid for anything else).
ColorRef brushColor(Hgdiobj brush);
bool isFont(Hgdiobj object);
bool fontDescription(Hgdiobj font, LogFont& out);

ColorRef sysColor(int index);
// True-colour displays show every colour: the nearest is the colour itself.
ColorRef nearestColor(Hdc hdc, ColorRef color);

// ---- State

ColorRef setTextColor(Hdc hdc, ColorRef color);
ColorRef setBkColor(Hdc hdc, ColorRef color);
ColorRef textColor(Hdc hdc);
ColorRef bkColor(Hdc hdc);
int setBkMode(Hdc hdc, int mode);          // TRANSPARENT 1, OPAQUE 2
int setStretchBltMode(Hdc hdc, int mode);  // COLORONCOLOR 3 is what is drawn
bool setViewportOrg(Hdc hdc, int x, int y, Point* previous = nullptr);

// ---- Drawing

bool fillRect(Hdc hdc, const Rect& rect, Hgdiobj brush);
bool rectangle(Hdc hdc, int left, int top, int right, int bottom);
bool ellipse(Hdc hdc, int left, int top, int right, int bottom);
bool moveTo(Hdc hdc, int x, int y);
bool lineTo(Hdc hdc, int x, int y);
bool setPixel(Hdc hdc, int x, int y, ColorRef color);
ColorRef getPixel(Hdc hdc, int x, int y);
bool textOut(Hdc hdc, int x, int y, std::string_view text);
bool textExtent(Hdc hdc, std::string_view text, int& width, int& height);
bool bitBlt(Hdc dest, int x, int y, int width, int height, Hdc source, int sx, int sy);

// Draws rows of a DIB (8-bit with a colour table, or 24- or 32-bit) unscaled:
// the source rectangle (sx, sy, width, height) in DIB coordinates (y from the
// bottom row for a bottom-up DIB) goes to (x, y). startScan and lines say which
// rows bits holds, as in Win32's SetDIBitsToDevice. Returns the rows drawn.
int setDIBitsToDevice(Hdc hdc, int x, int y, int width, int height, int sx, int sy, int startScan, int lines,
                      const void* bits, const BitmapInfo* info);
// Draws a DIB scaled into the destination with nearest-neighbour sampling
// (COLORONCOLOR); 8-bit DIBs are mapped through their colour table straight into
// the destination, at any zoom. Returns the rows drawn, 0 on bad arguments.
int stretchDIBits(Hdc hdc, int x, int y, int width, int height, int sx, int sy, int sWidth, int sHeight,
                  const void* bits, const BitmapInfo* info);

// Copies rows of a bitmap (made by createCompatibleBitmap) into a DIB of 24 or
// 32 bits per pixel, as GetDIBits does: info's header gives the layout wanted
// (biWidth must be the bitmap's width; a negative biHeight asks for top-down
// rows); rows startScan .. startScan + lines - 1 are counted in that layout's own
// order from its first stored row. With bits null only the header is filled in
// (the bitmap's size, 32 bits, bottom-up). Returns the rows copied, 0 for a bad
// context, bitmap or layout.
int getDIBits(Hdc hdc, Hgdiobj bitmap, int startScan, int lines, void* bits, BitmapInfo* info);

// Bytes of one DIB row (rows are padded to 4 bytes), 0 for bad values.
size_t dibRowBytes(int width, int bitCount);

}  // namespace tvx::platform
