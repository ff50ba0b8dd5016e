// Scene shapes into pixels: coverage masks built from distances, blended in
// the item's colour.
#include "imagelib/diagram/raster.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tvx::imagelib {

namespace {

constexpr double kDashOn = 4;
constexpr double kDashOff = 3;

struct PixelBox {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // [x0, x1) x [y0, y1)
    bool empty() const
    {
        return x0 >= x1 || y0 >= y1;
    }
};

PixelBox pixelBox(const RectF& r, const Canvas& canvas)
{
    auto clampTo = [](double v, int limit) {
        return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(limit)));
    };
    return {clampTo(std::floor(r.left), canvas.width), clampTo(std::floor(r.top), canvas.height),
            clampTo(std::ceil(r.right), canvas.width), clampTo(std::ceil(r.bottom), canvas.height)};
}

inline uint32_t blend(uint32_t pixel, uint32_t rgb, unsigned alpha)  // alpha 0..256
{
    const unsigned keep = 256 - alpha;
    const unsigned r = (((pixel >> 16) & 0xFF) * keep + ((rgb >> 16) & 0xFF) * alpha) >> 8;
    const unsigned g = (((pixel >> 8) & 0xFF) * keep + ((rgb >> 8) & 0xFF) * alpha) >> 8;
    const unsigned b = ((pixel & 0xFF) * keep + (rgb & 0xFF) * alpha) >> 8;
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

// Coverage of one shape, 0..255 per pixel, over the part of the canvas it touched.
class CoverageMask {
public:
    explicit CoverageMask(const Canvas& canvas)
        : width_(canvas.width),
          cells_(static_cast<size_t>(canvas.width) * static_cast<size_t>(canvas.height), 0)
    {
    }

    void cover(int x, int y, double coverage)
    {
        if (coverage <= 0)
            return;
        const auto c = static_cast<uint8_t>(std::lround(std::min(coverage, 1.0) * 255));
        uint8_t& cell = cells_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
        cell = std::max(cell, c);
        touched_.x0 = std::min(touched_.x0, x);
        touched_.y0 = std::min(touched_.y0, y);
        touched_.x1 = std::max(touched_.x1, x + 1);
        touched_.y1 = std::max(touched_.y1, y + 1);
    }

    // Blends the colour where the mask covers, and clears the mask.
    void paint(Canvas& canvas, uint32_t rgb, double opacity)
    {
        const auto scale = static_cast<unsigned>(std::lround(std::clamp(opacity, 0.0, 1.0) * 256));
        for (int y = touched_.y0; y < touched_.y1; ++y) {
            uint8_t* cells = &cells_[static_cast<size_t>(y) * static_cast<size_t>(width_)];
            uint32_t* row = &canvas.pixels[static_cast<size_t>(y) * static_cast<size_t>(canvas.width)];
            for (int x = touched_.x0; x < touched_.x1; ++x) {
                if (cells[x]) {
                    row[x] = blend(row[x], rgb, (cells[x] * scale + 127) / 255);
                    cells[x] = 0;
                }
            }
        }
        touched_ = {std::numeric_limits<int>::max(), std::numeric_limits<int>::max(), 0, 0};
    }

private:
    int width_;
    std::vector<uint8_t> cells_;
    PixelBox touched_{std::numeric_limits<int>::max(), std::numeric_limits<int>::max(), 0, 0};
};

double distanceToSegment(double px, double py, PointF a, PointF b)
{
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? ((px - a.x) * dx + (py - a.y) * dy) / length2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(px - (a.x + t * dx), py - (a.y + t * dy));
}

// One segment of half-width r into the mask: per row only the pixels that can lie
// within r + 1 of it, so long slanted segments cost what they cover.
void coverSegment(CoverageMask& mask, PointF a, PointF b, double r, const PixelBox& box)
{
    const double reach = r + 1;
    if (!clipSegment(a, b, {box.x0 - reach, box.y0 - reach, box.x1 + reach, box.y1 + reach}))
        return;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length = std::hypot(dx, dy);
    const int y0 = std::max(box.y0, static_cast<int>(std::floor(std::min(a.y, b.y) - reach)));
    const int y1 = std::min(box.y1, static_cast<int>(std::ceil(std::max(a.y, b.y) + reach)));
    const double xMin = std::min(a.x, b.x) - reach, xMax = std::max(a.x, b.x) + reach;
    for (int y = y0; y < y1; ++y) {
        const double yc = y + 0.5;
        double from = xMin, to = xMax;
        if (std::fabs(dy) > 1e-9) {
            const double xs = a.x + (yc - a.y) * dx / dy;
            const double half = reach * length / std::fabs(dy);
            from = std::max(from, xs - half);
            to = std::min(to, xs + half);
        }
        // Nearly level segments reach far: keep to the box before counting pixels.
        from = std::max(from, box.x0 - 1.0);
        to = std::min(to, box.x1 + 1.0);
        const int x0 = std::max(box.x0, static_cast<int>(std::floor(from)));
        const int x1 = std::min(box.x1, static_cast<int>(std::ceil(to)) + 1);
        for (int x = x0; x < x1; ++x)
            mask.cover(x, y, r + 0.5 - distanceToSegment(x + 0.5, yc, a, b));
    }
}

void coverDot(CoverageMask& mask, PointF c, double radius, const PixelBox& box)
{
    if (c.x + radius + 1 < box.x0 || c.x - radius - 1 > box.x1 || c.y + radius + 1 < box.y0 ||
        c.y - radius - 1 > box.y1)
        return;
    const int x0 = std::max(box.x0, static_cast<int>(std::floor(c.x - radius - 1)));
    const int x1 = std::min(box.x1, static_cast<int>(std::ceil(c.x + radius + 1)));
    const int y0 = std::max(box.y0, static_cast<int>(std::floor(c.y - radius - 1)));
    const int y1 = std::min(box.y1, static_cast<int>(std::ceil(c.y + radius + 1)));
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            mask.cover(x, y, radius + 0.5 - std::hypot(x + 0.5 - c.x, y + 0.5 - c.y));
}

void coverStroke(CoverageMask& mask, const SceneStroke& s, const PixelBox& box)
{
    const double r = std::max(s.width, 0.1) / 2;
    double phase = 0;  // distance walked into the dash pattern
    for (size_t i = 1; i < s.points.size(); ++i) {
        const PointF a = s.points[i - 1], b = s.points[i];
        if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y))
            continue;
        if (!s.dashed) {
            coverSegment(mask, a, b, r, box);
            continue;
        }
        const double length = std::hypot(b.x - a.x, b.y - a.y);
        // Dashes only where the segment can show: lines from far outside cost nothing.
        PointF ca = a, cb = b;
        if (length <= 0 ||
            !clipSegment(ca, cb,
                         inflate({double(box.x0), double(box.y0), double(box.x1), double(box.y1)}, r + 1)))
            continue;
        const double start = std::hypot(ca.x - a.x, ca.y - a.y), end = std::hypot(cb.x - a.x, cb.y - a.y);
        const double period = kDashOn + kDashOff;
        double t = start - std::fmod(start + phase, period);
        for (; t < end; t += period) {
            const double from = std::max(t, start), to = std::min(t + kDashOn, end);
            if (to <= from)
                continue;
            const PointF p{a.x + (b.x - a.x) * from / length, a.y + (b.y - a.y) * from / length};
            const PointF q{a.x + (b.x - a.x) * to / length, a.y + (b.y - a.y) * to / length};
            coverSegment(mask, p, q, r, box);
        }
        phase = std::fmod(phase + length, period);
    }
}

}  // namespace

void Canvas::reset(int w, int h, uint32_t rgb)
{
    width = std::max(w, 0);
    height = std::max(h, 0);
    pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0xFF000000u | (rgb & 0xFFFFFF));
}

void paintShapes(const Scene& scene, Canvas& canvas)
{
    canvas.reset(scene.width, scene.height, scene.background);
    paintShapesOver(scene, canvas);
}

void paintShapesOver(const Scene& scene, Canvas& canvas)
{
    if (canvas.width != scene.width || canvas.height != scene.height ||
        canvas.pixels.size() != static_cast<size_t>(canvas.width) * static_cast<size_t>(canvas.height))
        canvas.reset(scene.width, scene.height, scene.background);
    if (canvas.pixels.empty())
        return;
    CoverageMask mask(canvas);
    for (const SceneItem& item : scene.items) {
        if (const auto* fill = std::get_if<SceneFill>(&item)) {
            const PixelBox box = pixelBox(fill->rect, canvas);
            const auto alpha = static_cast<unsigned>(std::lround(std::clamp(fill->opacity, 0.0, 1.0) * 256));
            for (int y = box.y0; y < box.y1; ++y)
                for (int x = box.x0; x < box.x1; ++x) {
                    uint32_t& p = canvas.pixels[static_cast<size_t>(y) * static_cast<size_t>(canvas.width) +
                                                static_cast<size_t>(x)];
                    p = blend(p, fill->rgb, alpha);
                }
        } else if (const auto* stroke = std::get_if<SceneStroke>(&item)) {
            const PixelBox box = pixelBox(stroke->clip, canvas);
            if (box.empty())
                continue;
            coverStroke(mask, *stroke, box);
            mask.paint(canvas, stroke->rgb, 1);
        } else if (const auto* dots = std::get_if<SceneDots>(&item)) {
            const PixelBox box = pixelBox(dots->clip, canvas);
            if (box.empty())
                continue;
            for (const PointF& c : dots->centres)
                if (std::isfinite(c.x) && std::isfinite(c.y))
                    coverDot(mask, c, dots->radius, box);
            mask.paint(canvas, dots->rgb, 1);
        }
    }
}

}  // namespace tvx::imagelib
