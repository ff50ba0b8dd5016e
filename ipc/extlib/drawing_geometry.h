// The geometry of DrawVector, DrawVector2 and DrawScal, apart from any device:
// the polyline of a vector, the bars of a vector pair, and the ticks of a scale.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "interp/api.h"

namespace tvx::ipc::extlib {

struct PlotPoint {
    int x = 0;
    int y = 0;
};

// Points drawn at most by DrawVector: longer vectors are thinned by a step.
constexpr int kMaxPolylinePoints = 4048;

// The polyline of DrawVector: min(count, elements after start) values, every
// step-th (step = n / 4048 + 1), x advancing by width / (count - 1) * step from x,
// y = y0 - value * scale clamped to -1..1024. Consecutive points on the same x
// become one vertical stroke from their minimum to their maximum.
std::vector<PlotPoint> vectorPolyline(const interp::DataBlock* values, int x, int y, int width, int count,
                                      int start, double scale);

// DrawVector2: points (x0 + xv * xScale, y0 - yv * yScale), each clamped to
// +-32767, thinned and merged as above.
std::vector<PlotPoint> vectorPairPolyline(const interp::DataBlock* xs, const interp::DataBlock* ys, int x,
                                          int y, int count, int start, double xScale, double yScale);
// The bars of DrawVector2 with a mode above 0: for each point whose y value is
// not 0, a stroke from the baseline y0 to the point (pairs of points).
std::vector<PlotPoint> vectorPairBars(const interp::DataBlock* xs, const interp::DataBlock* ys, int x, int y,
                                      int count, int start, double xScale, double yScale);

// A pen code: below 0xF0000000 a solid pen of width code >> 24 and colour
// code & 0xFFFFFF; from there on the style (code >> 24) & 7 (above 4 solid), width 1.
struct PenSpec {
    int style = 0;
    int width = 0;
    uint32_t colour = 0;
};
PenSpec penFromCode(uint32_t code);

// The tick step of a scale: 1, 2 or 5 times a power of ten, the largest not
// above the step (its sign kept); 0 for a step of 0 or not finite.
double roundedTickStep(double step);

// The ticks of a scale from..to at the rounded step: their values and labels
// ("%g" of value * labelFactor). At most 1000 ticks.
struct Tick {
    double value = 0;
    std::string label;
};
std::vector<Tick> scaleTicks(double from, double to, double step, double labelFactor);

}  // namespace tvx::ipc::extlib
