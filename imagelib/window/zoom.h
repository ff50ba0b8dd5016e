// Zoom arithmetic of image windows: the limits of a zoom factor, zoom steps with
// their snapping and the stop at the fit-to-window zoom. No windows here: the
// window code feeds in sizes and positions.
#pragma once

#include <cstdint>

namespace tvx::imagelib {

constexpr double kMaxZoom = 16384.0;
constexpr double kMinZoom = 1.0 / 16384.0;  // 2^-14
// Zoomed sizes and scroll positions are kept to this, so that they stay ints.
constexpr int64_t kMaxZoomedExtent = int64_t{1} << 30;

// A stored zoom as it is used: not above 0 (or not a number) reads as 1, and the
// result lies within kMinZoom..kMaxZoom.
double usableZoom(double stored);
// A zoom to be stored: kept within the limits (callers check for > 0 first).
double clampZoom(double zoom);
// image size x zoom, rounded, at least 1 and at most kMaxZoomedExtent.
int zoomedExtent(int imageSize, double zoom);
// The zoom at which width x height fits into the area (each at least 1).
double fitZoom(int areaWidth, int areaHeight, int imageWidth, int imageHeight);

// The factor one step uses: below 0.1 the default 2; below 1 the square root of
// 2 for wheel steps and 1 otherwise. A wheel step also turns factors above the
// square root of 2 into it.
double stepFactor(double changeFactor, bool wheel);

// One step from zoom by factor, in or out, within the limits; stepping in by
// exactly 2 snaps to a whole zoom (at least 1) or to 1 / a whole number.
double steppedZoom(double zoom, double factor, bool in);

// The state a window keeps about its fit-to-window stop.
struct FitMemory {
    double saved = 0;     // the zoom the step would have given
    double previous = 0;  // the zoom before that step
};

// The zoom a step gives after the fit stop and the fit memory: old zoom, the
// plain stepped zoom, the fit zoom F (0 when there is none) and whether the stop
// applies (zoom option bit 0 clear and a factor above 1.01). A step that starts
// at F with memory left by the step that stopped there continues from that
// step: inward to the larger of its two zooms, outward to the smaller. The
// memory is cleared by every step and filled again when this one stops at F.
double zoomAfterFitStop(double oldZoom, double stepped, double fit, bool stopApplies, bool in,
                        FitMemory& memory);

// Scroll offset (screen pixels) that keeps the image point under client point p
// at p after the zoom changes from oldZoom to newZoom.
int64_t scrollKeepingPoint(int64_t scroll, int point, double oldZoom, double newZoom);

}  // namespace tvx::imagelib
