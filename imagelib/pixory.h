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
int pxAddMarker(int number, int kind, int colour, int style, int extra, int x1, int y1, int x2, int y2, int x3,
                int y3, int x4, int y4);
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
int pxSetMarker(int number, int index, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4, int kind,
                int colour, int style, int extra);
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
int pxImgDistortPolyXY(int source, int destination, int mode, const double* coefficientsX, int countX, int orderX,
                       const double* coefficientsY, int countY, int orderY);
/* The same on raw buffers (pitches in bytes, bottomUp non-zero when the first row in
 * memory is the bottom one, bytesPerPixel 1 to 4; mode bit 2: 16-bit samples). -2 for
 * memory that cannot be read or written. */
int pxRectDistortPolyXY(const void* source, int sourcePitch, int sourceWidth, int sourceHeight, int sourceBottomUp,
                        void* destination, int destinationPitch, int destinationWidth, int destinationHeight,
                        int destinationBottomUp, int bytesPerPixel, int mode, const double* coefficientsX,
                        int countX, int orderX, const double* coefficientsY, int countY, int orderY);
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
int pxOverlayTransformed(int source, int background, int destination, const double* points, int flags, int tint,
                         int blend, int offset, double contrast, double gamma);

/* Two gratings through a gamma curve into every byte of the DIB (and the 16-bit plane):
 * flags & 0xF kind (0 square, 2 saw-tooth, 1 / 3 / others cosine; 3 polar), 0x10 offset
 * added after the gamma curve, 0x20 polar about the centre, with 0x40 moved by (cx, cy). */
int pxFillGammaSinus2(int number, int flags, double offset, double gamma, double fx1, double fy1, double phase1,
                      double amp1, double fx2, double fy2, double phase2, double amp2, double cx, double cy);
/* The same with the pattern coordinates (u, v) of each pixel taken from two maps of
 * doubles (width x height, rows pitch bytes apart, rows as the DIB's lie in memory);
 * every byte of a pixel gets its value. -2 for maps that cannot be read. */
int pxFillGammaSinus2Map(int number, int flags, double offset, double gamma, double fx1, double fy1, double phase1,
                         double amp1, double fx2, double fy2, double phase2, double amp2, const double* mapU,
                         const double* mapV, int mapPitch);
/* The map position (x, y), to a fraction of a cell, whose map values come nearest to
 * (u, v). 0; -1 for bad sizes, -2 for maps that cannot be read. */
int pxFindMapPoint(const double* mapU, const double* mapV, int pitch, int width, int height, double u, double v,
                   double* x, double* y);
/* Steps of z = z^2 + c from z = 0 before |z|^2 exceeds 4, at most count. */
int pxFractF1(int count, double cr, double ci);
/* From z = (zr, zi): the step (from 1) at which |z|^2 first exceeds bailout (4 when not
 * above 0), 0 when none within count steps. */
int pxFractalM(double cr, double ci, int count, double zr, double zi, double bailout);
/* width bytes of pxFractalM counts (at most 255) for c = (cr, ci) + i (stepR, stepI).
 * 0, -2 for a buffer that cannot be written. */
int pxFractalMLine(void* buffer, int width, double cr, double ci, double stepR, double stepI, int count, double zr,
                   double zi, double bailout);

/* ==== end of markers, drawing, resampling and patterns =================== */

#ifdef __cplusplus
}
#endif

#endif /* PIXORY_H */
