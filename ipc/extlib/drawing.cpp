// DrawVector, DrawVector2 and DrawScal: vectors and scales drawn into a device
// context of the window layer that the macro supplies.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "interp/api.h"
#include "ipc/extlib/drawing_geometry.h"
#include "ipc/extlib/extlib.h"
#include "platform/window/gdi.h"

namespace tvx::ipc {

using namespace interp;

namespace extlib {

namespace {

int clampInt(double v, int low, int high) {
    if (!(v == v)) return low;
    return static_cast<int>(std::lround(std::clamp(v, static_cast<double>(low), static_cast<double>(high))));
}

int64_t pointsAvailable(const DataBlock* block, int count, int start) {
    if (!block || count <= 0 || start < 0) return 0;
    int64_t elements = block->elementType == kElemComplexMatrix ? block->count / 2 : block->count;
    return std::max<int64_t>(0, std::min<int64_t>(count, elements - start));
}

double valueAt(const DataBlock* block, int64_t i) {
    return block->elementType == kElemComplexMatrix ? readElement(block, 2 * i) : readElement(block, i);
}

// Consecutive points on one x become a vertical stroke from their minimum to their maximum.
void addMerged(std::vector<PlotPoint>& out, std::vector<PlotPoint>& run) {
    if (run.empty()) return;
    if (run.size() == 1) {
        out.push_back(run[0]);
    } else {
        auto [low, high] = std::minmax_element(
            run.begin(), run.end(), [](const PlotPoint& a, const PlotPoint& b) { return a.y < b.y; });
        // Entered from the end nearer to the point before.
        PlotPoint a = *low, b = *high;
        if (!out.empty() && std::abs(out.back().y - b.y) < std::abs(out.back().y - a.y)) std::swap(a, b);
        out.push_back(a);
        if (b.y != a.y) out.push_back(b);
    }
    run.clear();
}

std::vector<PlotPoint> mergeRuns(const std::vector<PlotPoint>& points) {
    std::vector<PlotPoint> out, run;
    for (const PlotPoint& p : points) {
        if (!run.empty() && run.back().x != p.x) addMerged(out, run);
        run.push_back(p);
    }
    addMerged(out, run);
    return out;
}

int64_t thinningStep(int64_t n) { return n / kMaxPolylinePoints + 1; }

}  // namespace

std::vector<PlotPoint> vectorPolyline(const DataBlock* values, int x, int y, int width, int count, int start,
                                      double scale) {
    int64_t n = pointsAvailable(values, count, start);
    std::vector<PlotPoint> points;
    if (n == 0) return points;
    int64_t step = thinningStep(n);
    double dx = count > 1 ? static_cast<double>(width) / (count - 1) : 0;
    for (int64_t k = 0; k < n; k += step) {
        double v = valueAt(values, start + k);
        points.push_back(
            {clampInt(x + dx * static_cast<double>(k), -32767, 32767), clampInt(y - v * scale, -1, 1024)});
    }
    return mergeRuns(points);
}

namespace {

std::vector<PlotPoint> pairPoints(const DataBlock* xs, const DataBlock* ys, int x, int y, int count,
                                  int start, double xScale, double yScale, std::vector<bool>* nonZero) {
    int64_t n = std::min(pointsAvailable(xs, count, start), pointsAvailable(ys, count, start));
    std::vector<PlotPoint> points;
    if (n == 0) return points;
    int64_t step = thinningStep(n);
    for (int64_t k = 0; k < n; k += step) {
        double xv = valueAt(xs, start + k), yv = valueAt(ys, start + k);
        points.push_back(
            {clampInt(x + xv * xScale, -32767, 32767), clampInt(y - yv * yScale, -32767, 32767)});
        if (nonZero) nonZero->push_back(yv != 0);
    }
    return points;
}

}  // namespace

std::vector<PlotPoint> vectorPairPolyline(const DataBlock* xs, const DataBlock* ys, int x, int y, int count,
                                          int start, double xScale, double yScale) {
    return mergeRuns(pairPoints(xs, ys, x, y, count, start, xScale, yScale, nullptr));
}

std::vector<PlotPoint> vectorPairBars(const DataBlock* xs, const DataBlock* ys, int x, int y, int count,
                                      int start, double xScale, double yScale) {
    std::vector<bool> nonZero;
    std::vector<PlotPoint> points = pairPoints(xs, ys, x, y, count, start, xScale, yScale, &nonZero);
    std::vector<PlotPoint> bars;
    for (size_t i = 0; i < points.size(); ++i) {
        if (!nonZero[i]) continue;
        bars.push_back({points[i].x, clampInt(y, -32767, 32767)});
        bars.push_back(points[i]);
    }
    return bars;
}

PenSpec penFromCode(uint32_t code) {
    PenSpec pen;
    pen.colour = code & 0xFFFFFF;
    if (code < 0xF0000000u) {
        pen.style = 0;
        pen.width = static_cast<int>(code >> 24);
    } else {
        pen.style = static_cast<int>((code >> 24) & 7);
        if (pen.style > 4) pen.style = 0;
        pen.width = 1;
    }
    return pen;
}

double roundedTickStep(double step) {
    if (!std::isfinite(step) || step == 0) return 0;
    double magnitude = std::fabs(step);
    double power = std::pow(10.0, std::floor(std::log10(magnitude)));
    double leading = magnitude / power;
    // Guards against 9.999... from the logarithm.
    if (leading >= 10 - 1e-9) {
        power *= 10;
        leading /= 10;
    }
    double unit = leading >= 5 - 1e-9 ? 5 : leading >= 2 - 1e-9 ? 2 : 1;
    return std::copysign(unit * power, step);
}

std::vector<Tick> scaleTicks(double from, double to, double step, double labelFactor) {
    std::vector<Tick> ticks;
    double s = std::fabs(roundedTickStep(step));
    if (s == 0 || !std::isfinite(from) || !std::isfinite(to)) return ticks;
    double low = std::min(from, to), high = std::max(from, to);
    if ((high - low) / s > 1000) return ticks;
    double factor = labelFactor == 0 ? 1 : labelFactor;
    for (double k = std::ceil(low / s - 1e-9); k * s <= high + s * 1e-9; k += 1) {
        double value = k * s;
        if (std::fabs(value) < s * 1e-9) value = 0;
        char label[40];
        std::snprintf(label, sizeof label, "%g", value * factor);
        ticks.push_back({value, label});
    }
    return ticks;
}

namespace {

using platform::Hdc;
using platform::Hgdiobj;

// Selects the pen of a code into a context for the lifetime of the object.
class PenScope {
public:
    PenScope(Hdc dc, uint32_t code) : dc_(dc) {
        PenSpec spec = penFromCode(code);
        // The colour is a COLORREF (0x00BBGGRR).
        pen_ = platform::createPen(spec.style, spec.width, spec.colour);
        old_ = pen_ ? platform::selectObject(dc_, pen_) : 0;
    }
    ~PenScope() {
        if (pen_) {
            platform::selectObject(dc_, old_);
            platform::deleteObject(pen_);
        }
    }
    PenScope(const PenScope&) = delete;
    PenScope& operator=(const PenScope&) = delete;

private:
    Hdc dc_;
    Hgdiobj pen_ = 0;
    Hgdiobj old_ = 0;
};

Error polyline(Hdc dc, const std::vector<PlotPoint>& points, uint32_t penCode) {
    PenScope pen(dc, penCode);
    if (points.empty()) return kOk;
    if (!platform::moveTo(dc, points[0].x, points[0].y)) return kBadParameters;
    if (points.size() == 1) platform::lineTo(dc, points[0].x, points[0].y);
    for (size_t i = 1; i < points.size(); ++i) platform::lineTo(dc, points[i].x, points[i].y);
    return kOk;
}

// DrawVector vector, x, y, width, count, start, scale, pen, dc
Error drawVector(Interpreter&, CallArgs& args, MCVal&) {
    const DataBlock* block = *args.var(0).block;
    auto dc = static_cast<Hdc>(args.l(8));
    if (!dc) return kBadParameters;
    std::vector<PlotPoint> points =
        vectorPolyline(block, args.l(1), args.l(2), args.l(3), args.l(4), args.l(5), args.number(6));
    return polyline(dc, points, static_cast<uint32_t>(args.l(7)));
}

// DrawVector2 xs, ys, x, y, count, start, xScale, yScale, pen, dc [, mode, reserved]
Error drawVector2(Interpreter&, CallArgs& args, MCVal&) {
    const DataBlock* xs = *args.var(0).block;
    const DataBlock* ys = *args.var(1).block;
    auto dc = static_cast<Hdc>(args.l(9));
    if (!dc) return kBadParameters;
    int mode = args.present(10) ? args.l(10) : 0;
    if (mode > 0) {
        std::vector<PlotPoint> bars = vectorPairBars(xs, ys, args.l(2), args.l(3), args.l(4), args.l(5),
                                                     args.number(6), args.number(7));
        PenScope pen(dc, static_cast<uint32_t>(args.l(8)));
        for (size_t i = 0; i + 1 < bars.size(); i += 2) {
            platform::moveTo(dc, bars[i].x, bars[i].y);
            platform::lineTo(dc, bars[i + 1].x, bars[i + 1].y);
        }
        return kOk;
    }
    std::vector<PlotPoint> points = vectorPairPolyline(xs, ys, args.l(2), args.l(3), args.l(4), args.l(5),
                                                       args.number(6), args.number(7));
    return polyline(dc, points, static_cast<uint32_t>(args.l(8)));
}

// Texts are drawn as given: the window layer's fonts take the macro's bytes.
void text(Hdc dc, int x, int y, std::string_view s, bool centred, bool right) {
    if (s.empty()) return;
    int w = 0, h = 0;
    platform::textExtent(dc, s, w, h);
    if (centred) x -= w / 2;
    if (right) x -= w;
    platform::textOut(dc, x, y - (centred ? 0 : h / 2), s);
}

// DrawScal x, y, width, height, from, to, step, labelFactor, tickLength, pen, dc [, flags, unit, unit2]
Error drawScal(Interpreter&, CallArgs& args, MCVal&) {
    int x = args.l(0), y = args.l(1), width = args.l(2), height = args.l(3);
    double from = args.number(4), to = args.number(5);
    auto dc = static_cast<Hdc>(args.l(10));
    if (!dc) return kBadParameters;
    int tick = args.l(8);
    bool labels = !(args.present(11) && (args.l(11) & 1));
    std::vector<Tick> ticks = scaleTicks(from, to, args.number(6), args.number(7));
    PenScope pen(dc, static_cast<uint32_t>(args.l(9)));
    platform::setBkMode(dc, 1);
    const bool horizontal = width >= height;
    const double span = to - from;
    if (horizontal) {
        platform::moveTo(dc, x, y);
        platform::lineTo(dc, x + width, y);
        for (const Tick& t : ticks) {
            int px = span == 0 ? x : x + static_cast<int>(std::lround((t.value - from) / span * width));
            platform::moveTo(dc, px, y);
            platform::lineTo(dc, px, y + tick);
            if (labels) text(dc, px, y + std::max(tick, 0) + 2, t.label, true, false);
        }
        text(dc, x + width + 4, y, args.text(12), false, false);
        text(dc, x - 4, y, args.text(13), false, true);
    } else {
        // Vertical: from at the bottom (y + height), to at the top (y).
        platform::moveTo(dc, x, y + height);
        platform::lineTo(dc, x, y);
        for (const Tick& t : ticks) {
            int py = span == 0 ? y + height
                               : y + height - static_cast<int>(std::lround((t.value - from) / span * height));
            platform::moveTo(dc, x, py);
            platform::lineTo(dc, x - tick, py);
            if (labels) text(dc, x - std::max(tick, 0) - 3, py, t.label, false, true);
        }
        text(dc, x, y - 14, args.text(12), true, false);
        text(dc, x, y + height + 4, args.text(13), true, false);
    }
    return kOk;
}

constexpr CommandRow kRows[] = {
    {cmd::DrawVector, drawVector},
    {cmd::DrawVector2, drawVector2},
    {cmd::DrawScal, drawScal},
};

}  // namespace

}  // namespace extlib

void registerDrawingCommands(Interpreter& ip) { ip.install({"extlib/drawing", extlib::kRows}); }

}  // namespace tvx::ipc
