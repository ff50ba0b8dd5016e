// The resampling core behind resizing, rotating, scaled rectangles, overlays and
// polynomial distortion: every destination pixel is computed from the source position
// that an inverse mapping gives it.
//
// Positions are kept in 16.16 fixed point for the fixed-point interpolations, so that
// results match the long-standing integer arithmetic pixel for pixel; the floating-point
// modes keep them as doubles. Output rows are independent and run on several cores.
#pragma once

#include "imagelib/resample/sample_view.h"

#include <cstdint>
#include <functional>

namespace tvx::imagelib {

// Interpolations, chosen by bits 4-7 of the core flags.
enum class Interpolation {
    Cubic,          // 0: Catmull-Rom on 4 x 4 samples, 8-bit fractions; bilinear within one
                    //    pixel of the edge, the nearest pixel on the last row and column
    Nearest,        // 1: the 16.16 position truncated
    BilinearFixed,  // 2: 8-bit fractions, each step rounded
    BilinearFloat,  // 3: weights and positions in floating point
    Identity,       // 14: destination (x, y) takes source (x, y)
    NearestFloat,   // every other value: nearest pixel of the floating-point position
};
Interpolation interpolationFromFlags(int coreFlags);

// What happens to destination pixels whose source position lies outside the source.
enum class Outside {
    Zero,  // set to 0
    Edge,  // core flag 0x100: the nearest pixel of the source edge
    Keep,  // core flag 0x200: not written
};
Outside outsideFromFlags(int coreFlags);

// source x = x0 + x * dxCol + y * dxRow, source y = y0 + x * dyCol + y * dyRow for the
// destination pixel (x, y) of the region written.
struct AffineMap {
    double x0 = 0, y0 = 0;
    double dxCol = 1, dyCol = 0;
    double dxRow = 0, dyRow = 1;
};

// The mapping of pxResizeRotate: increments cos / scaleX, sin / scaleY, cos / scaleY and
// -sin / scaleX, and unless originGiven the source centre on the destination centre,
// then the shifts. False when a scale is 0 or a value is not finite.
bool resizeRotateMap(int srcWidth, int srcHeight, int dstWidth, int dstHeight, double scaleX, double scaleY,
                     double angleDegrees, double shiftX, double shiftY, bool originGiven, AffineMap* map);

struct ResampleRequest {
    AffineMap map;
    // Added to the start position (in pixels): the mappings of the geometry exports
    // carry 0.375.
    double bias = 0.375;
    Interpolation interpolation = Interpolation::Nearest;
    Outside outside = Outside::Zero;
};

// Writes every pixel of dst from src (both with the same channel count). False, with
// nothing written, when the mapping's 16.16 values would leave the range the arithmetic
// is exact in (more than 16384 source pixels per destination pixel, or a start beyond
// 2^40 pixels).
template <class T>
bool resampleAffine(const SampleView<const T>& src, const SampleView<T>& dst, const ResampleRequest& request);

// Fills xs and ys with the source positions of the destination row y (dst.width each).
using PositionRow = std::function<void(int y, double* xs, double* ys)>;

// Writes every pixel of dst from the source positions that positions gives row by row
// (no bias; positions that are not finite or beyond 2^40 count as outside).
template <class T>
void resamplePositions(const SampleView<const T>& src, const SampleView<T>& dst, Interpolation interpolation,
                       Outside outside, const PositionRow& positions);

}  // namespace tvx::imagelib
