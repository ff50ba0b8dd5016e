/* libpixory.so: image slots, image files and image processing behind a C interface.
 *
 * Programs that link the library directly include this header; macros reach the same
 * functions by name at run time. Every function takes plain machine words. An image is
 * named by a slot number 0..31; a negative number means the current image (0 until a
 * window makes another one current). Memory the library hands out (pixel rows, planes,
 * colour tables, texts) stays the library's until the slot is re-created or pxCloseAll
 * runs. Nothing here is thread-safe: call it from one thread.
 *
 * Error values: functions returning pointers give NULL; pixel and rectangle functions -1
 * for an empty slot or invalid number and -2 for a caller buffer that cannot be read or
 * written; processing functions -1 (empty slot), -2 (sizes differ). */
#ifndef PIXORY_H
#define PIXORY_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Slots */
void* pxImageNew(int number, void* parent, int width, int height, int bits, int flags);
void* pxImageCopy(int source, int destination, int flags);
int pxSwapImage(int a, int b, int mode);
int pxImageClose(int number);
int pxCloseAll(void);
void* pxGetBitmapHeader(int number);
void* pxGetBitmapData(int number);
void* pxGetImg16Data(int number);
void* pxImgData(int number);
int pxGetXSize(int number);
int pxImgXSize(int number);
int pxGetYSize(int number);
int pxImgYSize(int number);
int pxGetBitPerPixel(int number);
int pxImgBitPerPixel(int number);
int pxGetBytePerLine(int number);
int pxImgBytePerLine(int number);
int pxImgPixelSize(int number);
void* pxGetImgHWnd(int number);
void* pxGetTempHBitmap(int number);
int pxSetImageFlags(int number, int flags);
int pxSetImageFlagBits(int number, int bits, int on);

/* Pixels and rectangles */
int pxGetPixelValue(int number, int x, int y);
int pxSetPixelValue(int number, int x, int y, int value);
int pxCopyBitmapRect(int number, int toImage, void* buffer, int width, int height, int x, int y, int flags);
int pxSetBitmapRect(int number, void* buffer, int width, int height, int x, int y, int flags);
int pxGetBitmapRect(int number, void* buffer, int width, int height, int x, int y, int flags);
int pxCopyBitmapRectPlane(int number, int toImage, void* buffer, int width, int height, int x, int y,
                          int channel, int flags);
int pxSetBitmapRectPlane(int number, void* buffer, int width, int height, int x, int y, int channel,
                         int flags);
int pxGetBitmapRectPlane(int number, void* buffer, int width, int height, int x, int y, int channel,
                         int flags);
int pxCopyBitmapReshape(int number, int toImage, void* buffer, int rowPitch, int step, int planeOffset,
                        int width, int height, int x, int y, int flags);
int pxFillRectValue(int number, int value, int width, int height, int x, int y, int flags);

/* Palettes and conversions */
int pxSetPalette(int number, int paletteWord);
void* pxGetPalette(int number, void* destination, int length);
int pxPutPalette(int number, const void* source, int length);
int pxCopyPalette(int source, int destination);
int pxFitCol(int number, int rgb);
int pxFitRgb(int number, int red, int green, int blue);
void* pxConvertImg8ToPalette(int ignored, int number);
void* pxConvertImg8ToRGB(int source, int destination, int flags);
void* pxConvertRGBToImg8(int source, int destination, const void* palette, int dither, int flags);
void* pxMapNewPalette(int number, const void* palette);

/* Settings */
int pxSetIniFile(const char* path);
int pxSetDirectory(const char* path);

/* Image windows. Window handles travel as pointers (the window layer's integer
 * handles). Exports that need a window return 0 (or -1 where stated) without one. */
int pxOpenImageWindow(int number, void* parent, const char* title);
int pxSetWindowZoom(int number, double zoom, double change, int options);
double pxGetWindowZoom(int number);
int pxFitWindowSize(int number, double zoom, int width, int height);
int pxSetWindowSizePos(int number, int width, int height, int x, int y, int what);
int pxSetWindowStyle(int number, int style);
int pxSetFullScreen(int number, int mode);
double pxGetScrollPos(int number, double* x, double* y);
int pxSetScrollPos(int number, double x, double y, double zoom);
int pxSetInfoWindow(void* x, void* y, void* value, void* summary);
int pxGetClickInfo(double* x, double* y, int* code, int* count);
int pxGetCursorInfo(double* x, double* y, int* window);
int pxGetLastKey(int number);
int pxProcessMessages(int count);
int pxPostMouseWheelEvent(int delta, int maskLow, int maskHigh);
/* The monitor's rectangle; the library's record of it (cbSize, monitor rectangle,
 * work rectangle, flags), or NULL; with monitor -1 the number of monitors. */
void* pxGetMonitorInfo(int monitor, double* left, double* top, double* width, double* height);

/* Display of 16-bit planes */
int pxImageUpdate(int number, int how);
int pxGetImg16Display(int number, double* low, double* high);
int pxSetImg16Display(int number, int mode, double low, double high);
int pxTranslatePixel16To8(int number, int value);

/* Files. pxImageOpen, pxsImageOpen, pxImageSaveAs and pxLastFilename are also exported
 * as _pxImageOpen@8, _pxsImageOpen@8, _pxImageSaveAs@4 and _pxLastFilename@0. */
int pxImageOpen(int number, void* parent);
int pxsImageOpen(int number, void* parent);
int pxImageSaveAs(int number);
const char* pxLastFilename(void);
void* pxLoadBitmap(int number, const char* path);
void* pxLoadImage(int number, const char* path);
int pxSaveBitmap(int number, const char* path);
int pxSaveImage(int number, const char* path, int flags);
void* pxGetTiffTagInfo(int tag);
const char* pxGetLastComment(void);
int pxSetSeqNumber(int number);

/* Diagram windows -------------------------------------------------------------------
 * 32 diagrams (0..31) of up to 16 curves and 16 abscissa arrays each; curve k is drawn
 * over abscissa array k (the last one when there are fewer), or over its indexes when
 * there is none. A diagram number above 31 (or negative) means the current diagram:
 * the last valid number given to pxDiagramWnd (0 at load). The library copies the
 * arrays; the pointers pxDisplayDiagram returns stay valid until the diagram starts
 * anew, pxDiagramWnd(n, ..., -1, ...) or pxCloseAll. Windows keep their placement in
 * the settings file, section "Windows", key "Diagram<n+1>". */

/* Sets the current diagram (number 0..31) and its window. A title (when given) replaces
 * the stored one; a parent becomes the window's owner. mode -1 closes the window and
 * frees the data. mode above 1 stores style (1: do not restore the stored placement),
 * width and height (the client size, used when mode has bit 2, 4) and x and y (used
 * when mode has bit 3, 8). mode 0 does no more unless the window exists and a title was
 * given (then it is re-titled); other modes open the window, titled "Diagram" when no
 * title was ever given. Returns the window handle, or NULL when there is none. */
void* pxDiagramWnd(int number, void* parent, const char* title, int mode, int style, int width, int height,
                   int x, int y);
/* Adds count elements at data, lying element size + gap bytes apart, to the current
 * diagram as offset + scale * value (scale 0 counts as 1). flags: 0x1 add only, do not
 * show yet; 0x2 an abscissa array; 0x4 start a new diagram; 0x10 all curves in one plot
 * (else a panel per curve); 0x20 keep the arrays after showing (else the next call
 * starts anew); 0x40 do not start anew; 0x700 the element type (0x100 unsigned 8-bit,
 * 0x200 unsigned 16-bit, 0x300 signed 16-bit, 0x400 signed 32-bit, 0x500 float, else
 * double); for abscissa arrays 0x1000 the values are packed dates (day in bits 0-4,
 * month in 5-8, years since 1960 from bit 9; from 65536 on date * 86400 + seconds of the
 * day) and 0x2000 seconds since 1970 (UTC, shown in local time); 0xFFFF0000 is OR-ed
 * into the diagram's option word, where 0x10000 writes axis numbers "%.3f", 0x20000
 * marks every point, 0x40000 lets value axes reach zero and 0x80000 leaves out the grid.
 * colour: 0 picks one by the curve's place, 1..255 an entry of the library's table of
 * 16 (0 black), 0x1000000 | 0xRRGGBB or any value from 256 on an RGB colour. Without
 * flags 0x1 and 0x2 the diagram is shown (its window opened when it has none).
 * Returns the library's copy (count doubles), or NULL when 16 arrays of that sort are
 * stored, data cannot be read (gap below 0, bad address), memory is short, or data is
 * NULL or count 0 (which add nothing but still start anew and show). */
double* pxDisplayDiagram(const void* data, int count, int flags, int colour, int gap, double scale,
                         double offset);
/* parameter 1 sets the diagram's line width in pixels (value rounded; 0 the default
 * of 1.5), unless value is -1e-40. Returns 0.0. */
double pxSetDiagramParameter(int number, int parameter, double value);

/* Saves a diagram: format 1 PNG, 2 SVG (the picture the window shows, zoomed part
 * included, without its status line), 3 CSV (the data: a header row, then one row per
 * point; numbers with all their digits, dates as "YYYY-MM-DD hh:mm:ss"), 0 by the
 * file's extension. width x height is the picture's size; 0 x 0 the window's, or 800 x
 * 500 without a window. Returns 0; -1 no curves; -2 no path or the file could not be
 * written (nothing is left behind); -3 unknown format; -4 size outside 16..16384 or above
 * 32 Mpixel. */
int pxDiagramSave(int number, const char* path, int format, int width, int height);
/* Puts the diagram's data on the clipboard as the window's "Daten als Text kopieren"
 * does: per point "%g\t" with the abscissa (of the first abscissa array, else the
 * index), then each curve's value "%g", tab-separated, then "\r\n". Returns the text's
 * length, -1 when the clipboard refused it. */
int pxDiagramCopyText(int number);
/* The same text (format 0) or the CSV text (format 1) into buffer (size bytes, NUL
 * included; cut when short). Returns the whole text's length; -2 when the buffer cannot
 * be written. A NULL buffer only reports the length. */
int pxDiagramGetText(int number, char* buffer, int size, int format);
/* Shows only xMin..xMax (packed values on a date axis), as a zoom with the mouse does;
 * xMin >= xMax shows all. Returns 0, -1 for values that name no date. */
int pxDiagramSetView(int number, double xMin, double xMax);
/* The x range shown now; returns 1 while the diagram is zoomed, 0 when it shows all. */
int pxDiagramGetView(int number, double* xMin, double* xMax);

/* Processing */
int pxImgLowPass(int number, int n);
int pxImgHighPass(int number, int n, int offset);
int pxLowPassVarB(void* buffer, int pitch, int width, int height, int bytesPerPixel, int n, int passes,
                  int fillBorder);
int pxImgSubtract(int a, int b, int result, int offset);
int pxImgSubtractNC(int a, int b, int result, int offset);
int pxImgAdd(int a, int b, int result, double fa, double fb, double offset);
int pxImgAddNoise(int number, int mask);
int pxImgFill(int number, int value);
int pxImgMask(int source, int mask, int result, int outside, int test, int maskBits);
int pxImgGetPlane(int source, int destination, int channel);
int pxImgSwapRGB(int number);
int pxImgSwapLines(int number);
int pxImgCompactLines(int number);
int pxImgExpandLines(int number);
int pxImgRoll(int number, int shift);
int pxTestImage(int number, int pattern);
int pxFloodFill(int number, int x, int y, int value);
int pxSubtractTilt(int source, int result, double c, double dx, double dy, int mode);
int pxMakeRGBImageBCG(int source, int destination, int flags, int tint, int offset, double contrast,
                      double gamma);
int pxCenterOfMass(int number, int x, int y, int width, int height, int threshold, int rowStep,
                   double* cx, double* cy, double* minimum, double* maximum, double* weight,
                   double* count, double* usedThreshold, double* spread);
int pxFindSpot(int number, int threshold, double* x, double* y);
int pxAddColSpot(int number, double x, double y, double radius, int colour, int noiseMask);
int pxGetVarianzImgRectW(int number, uint16_t* out, int width, int height, int x, int y, int n,
                         double factor);

/* Raw pixel buffers */
double pxSumRectB(const void* bytes, int pitch, int width, int height);
double pxSumRectW(const void* words, int pitch, int width, int height);
int pxSubtractRectB(const void* a, int pitchA, const void* b, int pitchB, void* result, int pitchR,
                    int width, int height, int offset);
int pxSubtractAbsRectB(const void* a, int pitchA, const void* b, int pitchB, void* result, int pitchR,
                       int width, int height);
int pxMultiplyRectBW(const void* a, int pitchA, const void* b, int pitchB, void* result, int pitchR,
                     int width, int height);
int pxSetFrameB(void* bytes, int pitch, int width, int height, int thickness, int rows, int value);
int pxSetFrameW(void* words, int pitch, int width, int height, int thickness, int rows, int value);
int pxMemCmp(const void* a, const void* b, int length);
double pxTimeSec(int reset);

#ifdef __cplusplus
}
#endif

#endif /* PIXORY_H */
