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
int pxCenterOfMass(int number, int x, int y, int width, int height, int threshold, int rowStep, double* cx,
                   double* cy, double* minimum, double* maximum, double* weight, double* count,
                   double* usedThreshold, double* spread);
int pxFindSpot(int number, int threshold, double* x, double* y);
int pxAddColSpot(int number, double x, double y, double radius, int colour, int noiseMask);
int pxGetVarianzImgRectW(int number, uint16_t* out, int width, int height, int x, int y, int n,
                         double factor);

/* Raw pixel buffers */
double pxSumRectB(const void* bytes, int pitch, int width, int height);
double pxSumRectW(const void* words, int pitch, int width, int height);
int pxSubtractRectB(const void* a, int pitchA, const void* b, int pitchB, void* result, int pitchR, int width,
                    int height, int offset);
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
 * size). LEDs of the range whose file does not load become 0; the others keep their
 * values when the last set had the same layout (a set may be loaded in parts), else 0.
 * Colour images count by grey level, images with a 16-bit plane by their 8-bit display.
 * d and e are reserved (pass 0). Returns the images loaded; 0 when the memory the system
 * can give would not hold the set (checked before anything is allocated; the previous
 * set stays). */
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
int pxLedImagesMatrixMulDouble(const double* matrix, int matrixPitch, int matrixRows, double* out,
                               int outPitch, int width, int rows);
int pxLedImagesMatrixMulInt(const int32_t* matrix, int matrixPitch, int matrixRows, uint16_t* out,
                            int outPitch, int width, int rows, int shift, int offset);
int pxLedImagesMatrixMulIntThresh(const int32_t* matrix, int matrixPitch, int matrixRows, uint16_t* out,
                                  int outPitch, int width, int rows, int shift, int offset, int threshold);
int pxLedImagesMatrixMulIntSubThresh(const int32_t* matrix, int matrixPitch, int matrixRows, uint16_t* out,
                                     int outPitch, int width, int rows, int shift, int offset, int threshold);
int pxLedImagesMatrixMulBin(const int32_t* matrix, int matrixPitch, int matrixRows, uint16_t* out,
                            int outPitch, int width, int rows, int shift, int offset, int threshold);
int pxLedImagesMatrixMulIDBufThresh(const int32_t* matrix, int matrixPitch, int matrixRows, double* out,
                                    int outPitch, int width, int rows, double factor, int offset,
                                    int threshold, int mode);
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
int pxLedImageMakePoslist(const char* name, int countX, int countY, int first, int number,
                          const char* listName, int threshold);
/* ---- end of LED image sets ---- */

/* ---- Sprites ----
 * A growable table of sprites (indexes 0..65535): rectangles of pixels with a position,
 * a visible bit (state bit 0), drawing flags and animation frames, drawn into an image
 * of the sprites' pixel size (8 or 24 bits). Drawing flags: 0x1 transpose, 0x2 mirror
 * left-right, 0x4 mirror top-bottom (with 0x1 and 0x8 the mirrors apply before the
 * transposition: a quarter turn), 0xF0 added (>> 4) to the sprite index (a neighbouring
 * sprite's pixels), 0x300 the first and last ((flags >> 8) & 3) rows in the frame value,
 * 0x400 no transparent colour, 0x4000 the pixel-by-pixel path (same pixels). Pixels pass
 * for transparent when they equal the sprite's transparent value (a byte, or 0xRRGGBB).
 * Sprites whose pixels lie in an image slot follow the slot: when it is re-created they
 * show what lies there then, or nothing once it is too small; sprites in a caller's memory
 * are skipped once that cannot be read. Nothing is repainted. Errors: -1 for an invalid
 * sprite or image, -2 for a table that cannot be read or written. */

/* capacity >= 0 forgets every sprite and makes room for that many; bits 8 or 24 sets the
 * pixel size (others keep it); transparent becomes the transparent value of new sprites. */
int pxSpritesInit(int capacity, int bits, int transparent);
/* Sets sprite index (< 0: the next free one, one past the highest in use) to width x
 * height pixels, rows pitch bytes apart (0: packed; negative: rows going up in memory),
 * frames > 0 more frames to the right, < 0 below. The sprite starts hidden at (0, 0) with
 * no flags and no animation. Returns the index. */
int pxSetSprite(int index, const void* pixels, int width, int height, int pitch, int frames);
/* The same for the rectangle at (x, y) (from the top) of an image, which must hold it
 * with all its frames and have the sprites' pixel size. */
int pxSetSpriteImg(int number, int index, int width, int height, int x, int y, int frames);
/* count sprites from a raster of perRow cells per row starting at row top, each cell one
 * sprite with its frames, numbered from firstIndex (< 0: the next free one). Returns the
 * number of sprites made (fewer when the raster leaves the image). */
int pxSetSpriteImgRaster(int number, int firstIndex, int count, int perRow, int width, int height, int top,
                         int frames);
/* Copies pixels, size, pitch and frame layout of source to index (< 0: the next free one);
 * an unused target also takes position, state and transparent value. Returns index. */
int pxCopySprite(int source, int index);
/* Stores the sprite's fields and returns the address of its record (pixels pointer, then
 * 16-bit width, height, pitch, state, flags, 32-bit x, y, transparent, 16-bit frames,
 * frame, frame delay, delay counter), valid until the table grows; NULL for a bad index. */
void* pxGetSpriteInfo(int index, int* width, int* height, int* x, int* y, int* state, int* flags,
                      void** pixels);
int pxSpriteSizeX(int index);
int pxSpriteSizeY(int index);
/* flags -1 keeps visibility and flags; others show (non-zero) or hide (0) the sprite,
 * and values above 1 also become its drawing flags. */
int pxSetSpritePos(int index, int x, int y, int flags);
/* frame within the frame count becomes current; delay > 0 starts the animation (a frame
 * every delay drawings), negative stops it, 0 leaves it. */
int pxSetSpriteAnim(int index, int frame, int delay);
/* Draws every visible sprite in index order, each advancing its animation. */
int pxPutSprites(int number);
/* Draws a columns x rows map of tiles: entry i (bytes, or 16-bit with mapFlags bit 0)
 * names a sprite, through translate[entry] when translate is given (entries at or beyond
 * translateCount are skipped); tile flags from tileFlags[i] (mapFlags bit 1; bit 15 is
 * cleared in place) or tileFlags[entry] (bit 2); mapFlags bit 3 draws with transparency.
 * Tile i goes to (column * tileWidth, row * tileHeight). */
int pxPutSpriteMap(int number, const void* map, int columns, int rows, int tileWidth, int tileHeight,
                   int mapFlags, const uint16_t* translate, int translateCount, uint16_t* tileFlags);
/* 1 when both sprites are visible and a painted pixel of each lies in the same place
 * (animation frames, turns and frame rows as drawn), else 0. */
int pxCollisionTestSprite(int index, int other);
/* The number of visible sprites that sprite index touches; the first 8 are kept for
 * pxGetLastCollision(0..7), which gives 0 beyond them. */
int pxCollisionTestSprites(int index);
int pxGetLastCollision(int n);
/* The map for pxSprNextPos: columns x rows cells, the steps of directions 0..3 being a,
 * b, c, d, or when 0: +1, +columns, -1, -columns. */
int pxSetSpriteMaps(int a, int b, int c, int d, int columns, int rows);
/* position + the step of direction & 3 when that stays on the map and moves at most one
 * column; else position. */
int pxSprNextPos(int position, int direction);
/* selector 1: sets the frame value (the byte of the frame rows), returns the previous
 * one; other selectors return 0. */
int pxSetParam(int selector, int value);
/* ---- end of sprites ---- */
/* ==== Markers and drawing into images ==================================== */

/* Markers: graphic annotations in image coordinates that an image window draws over
 * its picture at the window's zoom, and that the user picks and drags with the left
 * button. They live in the window: for an image without a window, an invalid number or
 * an index outside the list every marker function returns -1.
 *
 * A marker is a 64-byte record: kind word, colour 0x00BBGGRR, style word, extra value,
 * points 1 to 4 and a text of 15 characters (or two of 7). Kind bits: 0x1 cross, 0x2
 * diagonal cross, 0x4 3 x 3 square at point 1; 0x10 line 1-2; 0x20 rectangle 1-2 (point
 * 4 is its handle for moving it whole); 0x40 ellipse in the rectangle 1-2; 0x80 ellipse
 * centred on point 1 with the radii in point 2 (a circle of the x radius unless style
 * bit 0); 0x100 text at point 1; 0x400 with a line a small cross at point 2, with 0x8000
 * also labels at both ends; 0x8000 a line with the second pen; 0x10000 may be picked;
 * 0x20000 with style bit 0: extra is its own pick radius (screen pixels, else 20);
 * 0x40000 follows the mouse while the left button is down; 0x80000000 permanent.
 * Kinds 4096 (polynomial curve) and 4097 (polygon) are made by their own functions. */
typedef void (*pxMarkerCallback)(int event, int index, int reserved);
/* style top byte 0x01: the second pen (colour, width = extra); 0x02: the third pair
 * (kept for callers: colour and extra); 0x03: the text colour; otherwise the defaults of
 * pxAddMarkerPoint and pxAddMarkerPair (kind, colour, style, extra; at first a red
 * cross). Style bit 5 (0x20) of the defaults makes markers of kind 0x40000 follow the
 * mouse even when no button is down. 0. */
int pxSetMarkerParam(int number, int kind, int colour, int style, int extra);
/* A marker of the default kind, colour, style and extra; its index (the first free
 * record is reused). */
int pxAddMarkerPoint(int number, int x1, int y1, int x2, int y2);
int pxAddMarkerPair(int number, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
/* A fully given marker (kind 0 is refused); its index. A marker of kind 0x40000 added
 * while the left button is down becomes the changed marker (code 2) and takes the press
 * point as point 1 and the cursor as point 2, unless style bit 3 or 4 forbids it. */
int pxAddMarker(int number, int kind, int colour, int style, int extra, int x1, int y1, int x2, int y2,
                int x3, int y3, int x4, int y4);
/* A polygon (drawn as a polyline) of count points taken every step elements of xs and
 * ys: type 4 ints (+0.5 each), 5 int x and float y, otherwise doubles; flags bit 0 makes
 * y W - y - 1 (W the image width). data other than (void*)-1 is kept as the window's
 * polygon data. Count 0x100001 or more adds nothing and gives 0; -2 when the
 * coordinates cannot be read. Index of the record. */
int pxAddMarkerPolygon(int number, const void* xs, const void* ys, int count, int step, int type, void* data,
                       int flags);
/* A polynomial curve y = c0 + c1 x + ... over xStart..xEnd, count <= 10 coefficients
 * (else 0); colour other than -1 becomes the default colour. flags bit 0: the curve value
 * v is drawn at W - v - 1 (W the image width); bit 1: the curve is x = p(y). Index. */
int pxAddMarkerPolynom(int number, const double* coefficients, int count, int xStart, int xEnd, int colour,
                       int flags);
/* The marker's text (15 characters at most kept), or its two texts (7 each). Index. */
int pxSetMarkerText(int number, int index, const char* text);
int pxSetMarkerText2(int number, int index, const char* text1, const char* text2);
/* Replaces the points; a non-zero kind, colour (& 0xFFFFFF), style (& 0x7FFFFFFF) and
 * extra (0x80000000 meaning 0) replace theirs. Index. */
int pxSetMarker(int number, int index, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4,
                int kind, int colour, int style, int extra);
/* Copies the fields whose pointers are not NULL (points as int[2]); the marker count. */
int pxGetMarker(int number, int index, int* p1, int* p2, int* p3, int* p4, int* kind, int* colour, int* style,
                int* extra);
/* Frees records first..last (last < 0: to the end, 0: first only). 0, -1 for a bad range. */
int pxRemoveMarker(int number, int first, int last);
/* mode 0 frees every marker that is not permanent (all, polygon points included, when
 * none is); other modes free everything. 0. */
int pxClearMarker(int number, int mode);
/* The last pick or change: *index and *code (1 picked, 2 moved). Returns the change
 * flags (1 a marker was picked, 2 one was moved, 4 a drag ended) and keeps only those
 * also set in mask. */
int pxMarkerChangeInfo(int number, int* index, int* code, int mask);
/* Called with (1, index, 0) when a marker is picked, on the thread that pumps the
 * window's messages; NULL removes it. 0. */
int pxSetMarkerCallback(int number, pxMarkerCallback callback);

/* Drawing into the pixels of an image (y from the top, clipped to the image). A value
 * gives one byte per byte of a pixel (24 bits: blue = bits 0-7, green 8-15, red 16-23);
 * an 8-bit image with a 16-bit plane is drawn in the plane. 0, -1 for an empty slot. */
int pxDrawLine(int number, int x1, int y1, int x2, int y2, int value, int width);
/* count outlines (at least one), the radii shrinking by 1 each time, while both are 2 or more. */
int pxDrawEllipse(int number, int x, int y, int radiusX, int radiusY, int value, int count);
/* Text with the font of face name font (NULL: the default face), height in pixels (0:
 * 8), width and weight as for a font, its top-left corner at (x, y). colour 0 with
 * background 0 means white. background -1 draws no background; below 0xFF000000 its
 * bits 24-25 choose how the text is laid in: 0 on a background box of that colour, 1
 * letters only, 2 letters XORed with colour, 3 letters blended by coverage. Needs the
 * window system (off-screen without a display); -1 without it. */
int pxDrawText(int number, int x, int y, const char* text, int colour, int background, const char* font,
               int height, int width, int weight);
/* A font handle in cache slot 0 or 1 (the slot's previous font is deleted when the
 * description differs); NULL for another slot. pxDrawText uses slot 0. */
void* pxGetFont(const char* font, int height, int width, int weight, int slot);
/* Character cells into a 1-bit image: text holds columns x rows codes, font glyphHeight
 * bytes per code (8 pixels a byte, high bit left); scale 2 doubles every pixel. Only
 * glyphWidth 8, glyphBits 1 and 1-bit images are drawn. 0, -1 for an empty slot, -2 for
 * text or font that cannot be read. */
int pxCharGen(int number, const char* text, int columns, int rows, const void* font, int glyphWidth,
              int glyphHeight, int glyphBits, int scale);

/* ==== Resampling, distortion and generated patterns ===================== */

/* Results: 0 done, -1 an empty slot, different bit counts, a depth below 8 bits or a bad
 * argument; no repaint. The resampling core maps every destination pixel back into the
 * source (16.16 fixed point, start biased by 0.375 pixel). Core flags: bits 4-7 choose
 * the interpolation (0 cubic, 1 nearest, 2 bilinear, 3 bilinear in floating point, 14
 * none: (x, y) from (x, y), others nearest in floating point); bit 1: no centring, the
 * shifts are the origin; 0x100: outside positions take the nearest edge pixel, 0x200:
 * they are not written (else 0). Multi-byte pixels go byte by byte; 8-bit images with
 * 16-bit planes in both slots are resampled in the planes and their display mapped. */
/* core flags = flags >> 12; the destination keeps its size. */
int pxResizeRotate(int source, int destination, double scaleX, double scaleY, double angle, double shiftX,
                   double shiftY, int flags);
/* Destination (re-)made width x height (width < 1: the source's; height < 1: in
 * proportion), flag word flags & 0x7000FFFF (0: the source's); then pxResizeRotate. */
int pxResizeImage(int source, int destination, int width, int height, int flags, double angle, double shiftX,
                  double shiftY);
/* A caller's rows (the image's pixel size; 16-bit values for a plane unless flags bit 2)
 * written at (x, y) scaled by scale; flags bits 4-7 interpolation, bit 12 / 13 mirror x
 * / y, bit 0 the DIB taken as top-down. -2 when the buffer cannot be read. */
int pxSetSizedBitmapRect(int number, const void* buffer, int pitch, int width, int height, int x, int y,
                         double scale, int flags);
/* kind 1 a quarter turn clockwise, 3 and -1 counter-clockwise, as the rows lie in memory
 * (the 16-bit plane when there is one, else the DIB): on a bottom-up DIB the turn shows
 * the other way. 2 and -2 half turn; 4 transpose; 5 mirror left-right; 6 mirror
 * top-bottom; 7 transpose across the other diagonal. Other kinds do nothing. */
int pxRotate90(int number, int kind);
/* Raw 8-bit rows without padding: each destination pixel the maximum of its block of
 * ceil(width / newWidth) x ceil(height / newHeight) source pixels. -2 for memory that
 * cannot be read or written. */
int pxShrink(const void* source, int width, int height, void* destination, int newWidth, int newHeight);
/* Polynomial distortion: destination (x, y) takes the source at
 * (x + Px, y + Py), P = sum of c[k] u^i v^j over the terms k of total degree <= order
 * (i outer, j inner: 1, v, v^2, ..., u, u v, ...), count coefficients used. mode bits
 * 4-7, 8 and 9 as the core flags; bit 0: P is the position itself, not an offset; bit 1:
 * u, v from the image centre. Same bit count, at least 8 bits. */
int pxImgDistortPolyXY(int source, int destination, int mode, const double* coefficientsX, int countX,
                       int orderX, const double* coefficientsY, int countY, int orderY);
/* The same on raw buffers (pitches in bytes, bottomUp non-zero when the first row in
 * memory is the bottom one, bytesPerPixel 1 to 4; mode bit 2: 16-bit samples). -2 for
 * memory that cannot be read or written. */
int pxRectDistortPolyXY(const void* source, int sourcePitch, int sourceWidth, int sourceHeight,
                        int sourceBottomUp, void* destination, int destinationPitch, int destinationWidth,
                        int destinationHeight, int destinationBottomUp, int bytesPerPixel, int mode,
                        const double* coefficientsX, int countX, int orderX, const double* coefficientsY,
                        int countY, int orderY);
/* map[y][x] = x + sum of coefficients[k] (x - gx)^i (y - gy)^j over the terms k (ordered
 * as above, order 0..10) whose bit is set in termMask (termMask < 0: the first
 * -termMask terms; 0: the value is x). centre 0: origin (0, 0); 1: (width / 2, height /
 * 2); 2: (height / 2, width / 2). pitch in bytes (0: width doubles). */
int pxPolyXYCalcMapD(double* map, int pitch, int width, int height, const double* coefficients, int order,
                     int termMask, int centre);
/* points: source x1, y1, x2, y2, then the background points they go to (top-down
 * coordinates). The source, carried by that similarity, is resampled into slot 31 (flags
 * bit 0 bilinear, else bit 1 cubic, else nearest; bit 2 reuses slot 31 from the last
 * call) and mixed into a 24-bit copy of the background: blend b per mille, flags bit 4
 * background (1000 - b) / 1000 + source b / 1000, else the weights 1 and 2b / 1000 up to
 * 500 and 2 (1000 - b) / 1000 and 1 above. The source passes through offset, contrast,
 * gamma and tint as in pxMakeRGBImageBCG. flags bit 6: the source is laid straight onto
 * the background's colour form instead. */
int pxOverlayTransformed(int source, int background, int destination, const double* points, int flags,
                         int tint, int blend, int offset, double contrast, double gamma);

/* Two gratings through a gamma curve into every byte of the DIB (and the 16-bit plane):
 * flags & 0xF kind (0 square, 2 saw-tooth, 1 / 3 / others cosine; 3 polar), 0x10 offset
 * added after the gamma curve, 0x20 polar about the centre, with 0x40 moved by (cx, cy). */
int pxFillGammaSinus2(int number, int flags, double offset, double gamma, double fx1, double fy1,
                      double phase1, double amp1, double fx2, double fy2, double phase2, double amp2,
                      double cx, double cy);
/* The same with the pattern coordinates (u, v) of each pixel taken from two maps of
 * doubles (width x height, rows pitch bytes apart, rows as the DIB's lie in memory);
 * every byte of a pixel gets its value. -2 for maps that cannot be read. */
int pxFillGammaSinus2Map(int number, int flags, double offset, double gamma, double fx1, double fy1,
                         double phase1, double amp1, double fx2, double fy2, double phase2, double amp2,
                         const double* mapU, const double* mapV, int mapPitch);
/* The map position (x, y), to a fraction of a cell, whose map values come nearest to
 * (u, v). 0; -1 for bad sizes, -2 for maps that cannot be read. */
int pxFindMapPoint(const double* mapU, const double* mapV, int pitch, int width, int height, double u,
                   double v, double* x, double* y);
/* Steps of z = z^2 + c from z = 0 before |z|^2 exceeds 4, at most count. */
int pxFractF1(int count, double cr, double ci);
/* From z = (zr, zi): the step (from 1) at which |z|^2 first exceeds bailout (4 when not
 * above 0), 0 when none within count steps. */
int pxFractalM(double cr, double ci, int count, double zr, double zi, double bailout);
/* width bytes of pxFractalM counts (at most 255) for c = (cr, ci) + i (stepR, stepI).
 * 0, -2 for a buffer that cannot be written. */
int pxFractalMLine(void* buffer, int width, double cr, double ci, double stepR, double stepI, int count,
                   double zr, double zi, double bailout);

/* ==== end of markers, drawing, resampling and patterns =================== */

#ifdef __cplusplus
}
#endif

#endif /* PIXORY_H */
