// Marker shapes, texts, polynomial curves and polygons at the window's zoom and scroll.
#include "imagelib/markers/marker_paint.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace tvx::imagelib {

using namespace tvx::platform;

namespace {

constexpr int kCrossArm = 6;
constexpr int kDiagonalArm = 4;
constexpr int kEndCrossArm = 3;
constexpr int kTextWidening = 15;
constexpr int kWidening = 2;
// A curve gets about one vertex per screen pixel of its x range, no more than this.
constexpr int kMostCurveSteps = 8192;
constexpr ColorRef kLeftTextColour = 0xFF8000;
constexpr ColorRef kDefaultTextColour = 0xFF00FF;
constexpr int kNullBrush = 5;
constexpr int kBlackPen = 7;
constexpr int kFixedFont = 11;

struct Box {
    double left = INFINITY, top = INFINITY, right = -INFINITY, bottom = -INFINITY;
    void add(double x, double y, double margin = 0)
    {
        left = std::min(left, x - margin);
        top = std::min(top, y - margin);
        right = std::max(right, x + margin);
        bottom = std::max(bottom, y + margin);
    }
    bool meets(const Rect& r) const
    {
        return left < r.right && right >= r.left && top < r.bottom && bottom >= r.top;
    }
};

// A coordinate for the device calls: far-away points are held at a distance that
// still draws their lines through the visible part in the right direction.
int deviceInt(double v)
{
    return static_cast<int>(std::clamp(std::floor(v + 0.5), -1.0e6, 1.0e6));
}

// The part of the segment inside the rectangle (Liang-Barsky); false when none.
bool clipSegment(double& x1, double& y1, double& x2, double& y2, const Box& r)
{
    double t0 = 0, t1 = 1;
    const double dx = x2 - x1, dy = y2 - y1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x1 - r.left, r.right - x1, y1 - r.top, r.bottom - y1};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    const double ax = x1 + t0 * dx, ay = y1 + t0 * dy, bx = x1 + t1 * dx, by = y1 + t1 * dy;
    x1 = ax;
    y1 = ay;
    x2 = bx;
    y2 = by;
    return true;
}

class Painter {
public:
    Painter(Hdc dc, MarkerList& list, const MarkerView& view, const Rect& update)
        : dc_(dc), list_(list), view_(view), update_(update)
    {
        zoom_ = view.zoom > 0 ? view.zoom : 1.0;
        // Lines are clipped to the update rectangle with room for pens and arms.
        clip_ = {update.left - 64.0, update.top - 64.0, update.right + 64.0, update.bottom + 64.0};
        oldPen_ = selectObject(dc, stockObject(kBlackPen));
        oldBrush_ = selectObject(dc, stockObject(kNullBrush));
        oldFont_ = selectObject(dc, stockObject(kFixedFont));
        setBkMode(dc, 1);
    }
    ~Painter()
    {
        selectObject(dc_, oldPen_);
        selectObject(dc_, oldBrush_);
        selectObject(dc_, oldFont_);
        if (pen_)
            deleteObject(pen_);
    }

    void paint(const MarkerRecord& r)
    {
        if (r.isPolygon())
            polygon(r);
        else if (r.isPolynomial())
            polynomial(r);
        else if (r.hasShapes())
            shapes(r);
    }

private:
    double sx(double x) const
    {
        return x * zoom_ - static_cast<double>(view_.scrollX);
    }
    double sy(double y) const
    {
        return y * zoom_ - static_cast<double>(view_.scrollY);
    }

    // Keeps the box as drawn; false when it misses the update rectangle.
    bool visible(const Box& box)
    {
        if (!box.meets(update_))
            return false;
        Rect& area = list_.drawnArea;
        const Rect r{deviceInt(box.left), deviceInt(box.top), deviceInt(box.right) + 1,
                     deviceInt(box.bottom) + 1};
        if (area.right <= area.left || area.bottom <= area.top) {
            area = r;
        } else {
            area = {std::min(area.left, r.left), std::min(area.top, r.top), std::max(area.right, r.right),
                    std::max(area.bottom, r.bottom)};
        }
        return true;
    }

    // Selects a solid pen (made anew only when colour or width change).
    void usePen(uint32_t colour, int width)
    {
        if (pen_ && colour == penColour_ && width == penWidth_)
            return;
        const Hgdiobj next = createPen(0, std::max(width, 1), colour & 0xFFFFFF);
        selectObject(dc_, next);
        if (pen_)
            deleteObject(pen_);
        pen_ = next;
        penColour_ = colour;
        penWidth_ = width;
    }

    void segment(double x1, double y1, double x2, double y2)
    {
        if (!clipSegment(x1, y1, x2, y2, clip_))
            return;
        moveTo(dc_, deviceInt(x1), deviceInt(y1));
        lineTo(dc_, deviceInt(x2), deviceInt(y2));
    }

    void text(double x, double y, const std::string& s, ColorRef colour)
    {
        if (s.empty())
            return;
        setTextColor(dc_, colour);
        textOut(dc_, deviceInt(x), deviceInt(y), s);
    }

    // A text right of the point, 3 pixels below it, in the list's text colour.
    void label(double x, double y, const std::string& s, bool magenta)
    {
        const bool own = list_.hasTextColour && !magenta;
        text(x + 2, y + 3, s, own ? list_.textColour : kDefaultTextColour);
    }

    void shapes(const MarkerRecord& r)
    {
        const uint32_t kind = r.kind(), style = r.style();
        const double x1 = sx(r.x(1)), y1 = sy(r.y(1)), x2 = sx(r.x(2)), y2 = sy(r.y(2));
        const bool secondPen = (kind & kMarkerSecondPen) && (kind & kMarkerLine);
        const int penWidth = secondPen ? std::max(list_.secondPenWidth, 1) : 1;
        const std::string words(r.text(), strnlen(r.text(), 15));
        double radiusX = 0, radiusY = 0;
        if (kind & kMarkerCentredEllipse) {
            radiusX = std::fabs(static_cast<double>(r.x(2))) * zoom_;
            radiusY = (style & 1) ? std::fabs(static_cast<double>(r.y(2))) * zoom_ : radiusX;
        }
        Box box;
        const double margin = std::max(kWidening, penWidth) + kCrossArm;
        box.add(x1, y1, margin);
        if (kind & (kMarkerLine | kMarkerRectangle | kMarkerEllipse))
            box.add(x2, y2, margin);
        if (kind & kMarkerCentredEllipse) {
            box.add(x1 - radiusX, y1 - radiusY, margin);
            box.add(x1 + radiusX, y1 + radiusY, margin);
        }
        if (kind & kMarkerText) {
            const double width = 8.0 * static_cast<double>(words.size()) + 2;
            box.add(x1 - width, y1, kTextWidening);
            box.add(x1 + width, y1 + 16, kTextWidening);
        }
        if ((kind & kMarkerLine) && (kind & kMarkerEndCross) && (kind & kMarkerSecondPen))
            box.add(x2 + 8 * 8, y2 + 16, kTextWidening);
        if (!visible(box))
            return;

        const uint32_t colour = r.colour() & 0xFFFFFF;
        usePen(colour, 1);
        if (kind & kMarkerCross) {
            segment(x1 - kCrossArm, y1, x1 + kCrossArm + 1, y1);
            segment(x1, y1 - kCrossArm, x1, y1 + kCrossArm + 1);
        }
        if (kind & kMarkerDiagonalCross) {
            segment(x1 - kDiagonalArm, y1 - kDiagonalArm, x1 + kDiagonalArm + 1, y1 + kDiagonalArm + 1);
            segment(x1 + kDiagonalArm, y1 - kDiagonalArm, x1 - kDiagonalArm - 1, y1 + kDiagonalArm + 1);
        }
        if (kind & kMarkerSquare)
            rectangle(dc_, deviceInt(x1) - 1, deviceInt(y1) - 1, deviceInt(x1) + 2, deviceInt(y1) + 2);
        if (kind & kMarkerLine) {
            if (secondPen)
                usePen(list_.secondPenColour, penWidth);
            segment(x1, y1, x2, y2);
            setPixel(dc_, deviceInt(x2), deviceInt(y2),
                     secondPen ? list_.secondPenColour & 0xFFFFFF : colour);
            usePen(colour, 1);
            if (kind & kMarkerEndCross) {
                segment(x2 - kEndCrossArm, y2, x2 + kEndCrossArm + 1, y2);
                segment(x2, y2 - kEndCrossArm, x2, y2 + kEndCrossArm + 1);
                if (kind & kMarkerSecondPen) {
                    const std::string a(r.shortText(0), strnlen(r.shortText(0), 7));
                    const std::string b(r.shortText(1), strnlen(r.shortText(1), 7));
                    label(x1, y1, a.empty() ? "1" : a, style & 2);
                    label(x2, y2, b.empty() ? "2" : b, style & 2);
                }
            }
        }
        if (kind & kMarkerRectangle)
            rectangle(dc_, deviceInt(std::min(x1, x2)), deviceInt(std::min(y1, y2)),
                      deviceInt(std::max(x1, x2)) + 1, deviceInt(std::max(y1, y2)) + 1);
        if (kind & kMarkerEllipse)
            ellipse(dc_, deviceInt(std::min(x1, x2)), deviceInt(std::min(y1, y2)),
                    deviceInt(std::max(x1, x2)) + 1, deviceInt(std::max(y1, y2)) + 1);
        if (kind & kMarkerCentredEllipse)
            ellipse(dc_, deviceInt(x1 - radiusX), deviceInt(y1 - radiusY), deviceInt(x1 + radiusX) + 1,
                    deviceInt(y1 + radiusY) + 1);
        if (kind & kMarkerText) {
            if (style & 1)  // right-aligned to the left of the point
                text(x1 - (8.0 * static_cast<double>(words.size()) + 2), y1 + 3, words, kLeftTextColour);
            else
                label(x1, y1, words, style & 2);
        }
    }

    // A polyline through screen points, leaving out steps within one pixel and
    // segments that miss the visible part.
    template <class PointAt>
    void polyline(int count, PointAt pointAt, uint32_t colour)
    {
        usePen(colour & 0xFFFFFF, 1);
        double px = 0, py = 0;
        bool have = false;
        for (int i = 0; i < count; ++i) {
            double x, y;
            pointAt(i, &x, &y);
            if (!std::isfinite(x) || !std::isfinite(y)) {
                have = false;
                continue;
            }
            if (have && std::fabs(x - px) < 1 && std::fabs(y - py) < 1 && i + 1 < count)
                continue;
            if (have)
                segment(px, py, x, y);
            px = x;
            py = y;
            have = true;
        }
    }

    void polygon(const MarkerRecord& r)
    {
        const MarkerList::Points points = list_.polygonPoints(r);
        if (points.count <= 0)
            return;
        Box box;
        for (int i = 0; i < points.count; ++i)
            box.add(sx(points.xy[2 * i]), sy(points.xy[2 * i + 1]), kWidening);
        if (!visible(box))
            return;
        polyline(
            points.count,
            [&](int i, double* x, double* y) {
                *x = sx(points.xy[2 * i]);
                *y = sy(points.xy[2 * i + 1]);
            },
            r.colour());
    }

    // y = c0 + c1 x + ... over the x range; the flags above the count: bit 1 draws
    // x = p(y), the rest (when not 0) is four times the width W that mirrors the value
    // to W - v - 1.
    void polynomial(const MarkerRecord& r)
    {
        const int count = std::min<int>(r.style() & 0xFF, kMaxPolynomialCoefficients);
        const uint32_t flags = r.style() >> 8;
        const bool vertical = flags & 2;
        const double mirror = static_cast<double>(flags >> 2);
        const double start = r.floatAt(4), end = r.floatAt(5);
        if (!std::isfinite(start) || !std::isfinite(end))
            return;
        double c[kMaxPolynomialCoefficients];
        for (int i = 0; i < count; ++i)
            c[i] = r.floatAt(6 + i);
        const int steps = static_cast<int>(
            std::clamp(std::ceil(std::fabs(end - start) * zoom_), 1.0, static_cast<double>(kMostCurveSteps)));
        auto at = [&](int i, double* x, double* y) {
            const double t = start + (end - start) * i / steps;
            double v = 0;
            for (int k = count - 1; k >= 0; --k)
                v = v * t + c[k];
            if (mirror > 0)
                v = mirror - v - 1;
            *x = sx(vertical ? v : t);
            *y = sy(vertical ? t : v);
        };
        Box box;
        for (int i = 0; i <= steps; ++i) {
            double x, y;
            at(i, &x, &y);
            if (std::isfinite(x) && std::isfinite(y))
                box.add(x, y, kWidening);
        }
        if (!visible(box))
            return;
        polyline(steps + 1, at, r.colour());
    }

    Hdc dc_;
    MarkerList& list_;
    MarkerView view_;
    Rect update_;
    Box clip_;
    double zoom_ = 1;
    Hgdiobj oldBrush_ = 0, oldFont_ = 0, oldPen_ = 0, pen_ = 0;
    uint32_t penColour_ = 0xFFFFFFFF;
    int penWidth_ = 0;
};

}  // namespace

void paintMarkers(Hdc dc, MarkerList& list, const MarkerView& view, const Rect& update)
{
    list.drawnArea = {};
    if (list.count() == 0)
        return;
    Painter painter(dc, list, view, update);
    for (int i = 0; i < list.count(); ++i)
        painter.paint(*list.at(i));
}

}  // namespace tvx::imagelib
