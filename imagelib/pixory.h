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

/* ---- LED image sets ----
 * One set at a time: countX x countY camera images, one per LED, loaded from numbered
 * files and turned around so that every camera pixel has a block of countX * countY
 * bytes, LED (u, v) at offset u + v * countX; the blocks of a camera row lie side by
 * side. The exports below return 0 (or NULL) while no set is loaded. Caller buffers
 * take `pitch` elements per row; a negative pitch stores the rows bottom-up (the last
 * row first in memory); pitch 0 packs the rows; a pitch smaller than the width cuts
 * the width. Output sizes are limited to the source region. A buffer or matrix that
 * cannot be read or written gives -2 and nothing is written. */

/* Loads LED images first .. first + number - 1 (first < 0: 0; number < 1: all) from the
 * files named after name, whose digits and '#' before the extension become the LED
 * number in five digits ("led###.bmp": led00000.bmp, led00001.bmp, ...; no extension
 * means ".tif"), any format pxLoadImage reads, through slot 31. The first image that
 * loads fixes the source region (sourceX, sourceY: 0 or beyond the image means its
 * size). LEDs whose file does not load become 0. Colour images count by grey level,
 * images with a 16-bit plane by their 8-bit display. d and e are reserved (pass 0).
 * Returns the images loaded; 0 when the set would not fit in the memory the system can
 * give (the previous set is then kept). */
int pxLoadLedImages(const char* name, int countX, int countY, int first, int number, int sourceX, int sourceY,
                    int d, int e);
int pxLoadLedImagesA(const char* name, int countX, int countY);
/* The block of camera pixel (x, y), NULL outside the source region (or for a buffer
 * that cannot be written). With a buffer, up to rows LED rows of up to width bytes are
 * copied into it. */
void* pxGetLedImage(int x, int y, void* buffer, int pitch, int width, int rows);
/* The camera image of LED (u, v), rows x width bytes. 0 done; -1 no such LED. */
int pxGetLedSourceImage(int u, int v, void* buffer, int pitch, int width, int rows);
/* out(x, y) = sum over LED rows k < matrixRows and columns l < matrixPitch (both within
 * the LED counts) of block[k][l] * matrix[k * matrixPitch + l]. The integer forms give
 * clamp((sum - offset) >> shift, 0, 65535); Thresh counts values >= threshold,
 * SubThresh counts (value - threshold) for those, Bin counts the weight alone for them
 * (threshold <= 0: every value). IDBufThresh gives (sum - offset) * factor with the rule
 * of mode: 0 all values, 1 or negative as Thresh, 2 as SubThresh, 3 as Bin. Sums are
 * exact. Return the output rows written. */
int pxLedImagesMatrixMulDouble(const double* matrix, int matrixPitch, int matrixRows, double* out, int outPitch,
                               int width, int rows);
int pxLedImagesMatrixMulInt(const int32_t* matrix, int matrixPitch, int matrixRows, uint16_t* out, int outPitch,
                            int width, int rows, int shift, int offset);
int pxLedImagesMatrixMulIntThresh(const int32_t* matrix, int matrixPitch, int matrixRows, uint16_t* out,
                                  int outPitch, int width, int rows, int shift, int offset, int threshold);
int pxLedImagesMatrixMulIntSubThresh(const int32_t* matrix, int matrixPitch, int matrixRows, uint16_t* out,
                                     int outPitch, int width, int rows, int shift, int offset, int threshold);
int pxLedImagesMatrixMulBin(const int32_t* matrix, int matrixPitch, int matrixRows, uint16_t* out, int outPitch,
                            int width, int rows, int shift, int offset, int threshold);
int pxLedImagesMatrixMulIDBufThresh(const int32_t* matrix, int matrixPitch, int matrixRows, double* out,
                                    int outPitch, int width, int rows, double factor, int offset, int threshold,
                                    int mode);
/* clamp((sum of all LED values - offset) >> shift, 0, 65535) and the largest LED value. */
int pxLedImagesSumInt(uint16_t* out, int outPitch, int width, int rows, int shift, int offset);
int pxLedImagesMax(uint16_t* out, int outPitch, int width, int rows);
int pxGetLedSourceXSize(void);
int pxGetLedSourceYSize(void);
int pxGetLedCountX(void);
int pxGetLedCountY(void);
/* For each LED number whose file loads (through slot 31), the spot of pxFindSpot
 * (threshold <= 0: 50) as the line "number\tx\ty\r\n" (rounded) in the file listName.
 * Returns the lines written, -1 when the list cannot be written. */
int pxLedImageMakePoslist(const char* name, int countX, int countY, int first, int number, const char* listName,
                          int threshold);
/* ---- end of LED image sets ---- */

#ifdef __cplusplus
}
#endif

#endif /* PIXORY_H */
