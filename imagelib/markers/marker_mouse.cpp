// Picking and dragging markers with the left button.
#include "imagelib/markers/marker_list.h"

#include <algorithm>
#include <cmath>

namespace tvx::imagelib {

namespace {

// Pick radius in screen pixels, unless a marker has its own.
constexpr double kPickRadius = 20;
// A picked marker moves only after the button has been held this long, so that a
// click does not shift it.
constexpr uint32_t kDragDelayMs = 250;
// Picked points beyond points 1 to 4: the outline of a centred ellipse, of an ellipse
// in a rectangle.
constexpr int kCentredOutline = 5;
constexpr int kBoxOutline = 6;

int32_t toPoint(double v)
{
    if (!(v == v))
        return 0;
    return static_cast<int32_t>(std::clamp(std::floor(v), -2147483648.0, 2147483647.0));
}

// Distance from p to the outline of the ellipse centred on c with half axes a and b
// (screen pixels), measured along the ray from the centre.
double outlineDistance(double px, double py, double cx, double cy, double a, double b)
{
    const double dx = px - cx, dy = py - cy, d = std::hypot(dx, dy);
    if (a <= 0 || b <= 0)
        return std::fabs(d - std::max(a, b));
    const double t = std::hypot(dx / a, dy / b);
    if (t == 0)
        return std::min(a, b);
    return std::fabs(d - d / t);
}

// The normalised distance of (x, y) from the centre of the ellipse with half axes a, b.
double scaleTo(double dx, double dy, double a, double b)
{
    if (a == 0 || b == 0)
        return 1;
    return std::hypot(dx / a, dy / b);
}

}  // namespace

bool MarkerList::press(platform::Point client, const MarkerView& v, uint32_t nowMs)
{
    leftDown_ = true;
    const double zoom = v.zoom > 0 ? v.zoom : 1.0;
    pressX_ = dragX_ = toPoint((client.x + static_cast<double>(v.scrollX)) / zoom);
    pressY_ = dragY_ = toPoint((client.y + static_cast<double>(v.scrollY)) / zoom);
    pressTime_ = nowMs;
    following_ = false;
    dragIndex_ = -1;
    auto sx = [&](double x) { return x * zoom - static_cast<double>(v.scrollX); };
    auto sy = [&](double y) { return y * zoom - static_cast<double>(v.scrollY); };
    int best = -1, bestPoint = 0;
    double bestDistance = INFINITY;
    for (int i = 0; i < count_; ++i) {
        const MarkerRecord& r = records_[static_cast<size_t>(i)];
        const uint32_t kind = r.kind();
        if (!r.hasShapes() || !(kind & kMarkerSelectable))
            continue;
        const double radius = (kind & kMarkerOwnRadius) && (r.style() & 1) ? r.extra() : kPickRadius;
        auto consider = [&](int point, double distance) {
            if (distance <= radius && distance < bestDistance) {
                bestDistance = distance;
                best = i;
                bestPoint = point;
            }
        };
        auto pointDistance = [&](int n) { return std::hypot(sx(r.x(n)) - client.x, sy(r.y(n)) - client.y); };
        consider(1, pointDistance(1));
        if (kind & (kMarkerLine | kMarkerRectangle))
            consider(2, pointDistance(2));
        if (kind & kMarkerRectangle)
            consider(4, pointDistance(4));
        if (kind & kMarkerCentredEllipse) {
            const double a = std::fabs(static_cast<double>(r.x(2))) * zoom;
            const double b = (r.style() & 1) ? std::fabs(static_cast<double>(r.y(2))) * zoom : a;
            consider(kCentredOutline, outlineDistance(client.x, client.y, sx(r.x(1)), sy(r.y(1)), a, b));
        }
        if (kind & kMarkerEllipse) {
            const double cx = (static_cast<double>(r.x(1)) + r.x(2)) / 2,
                         cy = (static_cast<double>(r.y(1)) + r.y(2)) / 2;
            const double a = std::fabs(static_cast<double>(r.x(2)) - r.x(1)) / 2 * zoom;
            const double b = std::fabs(static_cast<double>(r.y(2)) - r.y(1)) / 2 * zoom;
            consider(kBoxOutline, outlineDistance(client.x, client.y, sx(cx), sy(cy), a, b));
        }
    }
    if (best < 0)
        return false;
    dragIndex_ = best;
    dragPoint_ = bestPoint;
    pick(best, bestPoint);
    return true;
}

void MarkerList::pick(int index, int point)
{
    changedIndex_ = index;
    changeCode_ = 1;
    changedPoint_ = point;
    changeFlags_ |= kMarkerPicked;
    if (callback) {
        try {
            callback(1, index, 0);
        } catch (...) {
            // A caller's exception must not unwind through the window's messages.
        }
    }
}

bool MarkerList::move(platform::Point client, const MarkerView& v, bool leftDown, uint32_t nowMs)
{
    const double zoom = v.zoom > 0 ? v.zoom : 1.0;
    dragX_ = toPoint((client.x + static_cast<double>(v.scrollX)) / zoom);
    dragY_ = toPoint((client.y + static_cast<double>(v.scrollY)) / zoom);
    MarkerRecord* r = at(dragIndex_);
    if (!r || r->isFree()) {
        dragIndex_ = -1;
        return false;
    }
    const bool active = following_ ? leftDown || (defaults.style & kFollowWithoutButton)
                                   : leftDown && leftDown_ && nowMs - pressTime_ >= kDragDelayMs;
    if (!active)
        return false;
    movePoint(*r, dragPoint_, dragX_, dragY_);
    changedIndex_ = dragIndex_;
    changeCode_ = 2;
    changedPoint_ = dragPoint_;
    changeFlags_ |= kMarkerMoved;
    return true;
}

void MarkerList::release()
{
    leftDown_ = false;
    if (dragIndex_ >= 0)
        changeFlags_ |= kMarkerDragEnded;
    dragIndex_ = -1;
    following_ = false;
}

void MarkerList::movePoint(MarkerRecord& r, int point, int32_t x, int32_t y)
{
    auto round = [](double v) { return toPoint(std::floor(v + 0.5)); };
    switch (point) {
    case 4:
        if (r.kind() & kMarkerRectangle) {
            // The handle of a rectangle carries it whole.
            const int64_t dx = int64_t{x} - r.x(4), dy = int64_t{y} - r.y(4);
            for (int n = 1; n <= 4; ++n)
                r.setPoint(n, toPoint(static_cast<double>(r.x(n) + dx)),
                           toPoint(static_cast<double>(r.y(n) + dy)));
            return;
        }
        r.setPoint(4, x, y);
        return;
    case kCentredOutline: {
        // The outline goes through the cursor: a circle takes the distance as its
        // radius, an ellipse keeps its shape.
        const double dx = static_cast<double>(x) - r.x(1), dy = static_cast<double>(y) - r.y(1);
        if (!(r.style() & 1)) {
            r.setPoint(2, round(std::hypot(dx, dy)), r.y(2));
        } else {
            const double t = scaleTo(dx, dy, r.x(2), r.y(2));
            r.setPoint(2, round(r.x(2) * t), round(r.y(2) * t));
        }
        return;
    }
    case kBoxOutline: {
        const double cx = (static_cast<double>(r.x(1)) + r.x(2)) / 2,
                     cy = (static_cast<double>(r.y(1)) + r.y(2)) / 2;
        const double a = (static_cast<double>(r.x(2)) - r.x(1)) / 2,
                     b = (static_cast<double>(r.y(2)) - r.y(1)) / 2;
        const double t = scaleTo(x - cx, y - cy, a, b);
        r.setPoint(1, round(cx - a * t), round(cy - b * t));
        r.setPoint(2, round(cx + a * t), round(cy + b * t));
        return;
    }
    default: r.setPoint(point, x, y); return;
    }
}

void MarkerList::afterChange(int index)
{
    MarkerRecord* r = at(index);
    if (!r || !(r->kind() & kMarkerFollowsMouse))
        return;
    if (!leftDown_ && !(defaults.style & kFollowWithoutButton))
        return;
    // Style bits 3 and 4 keep point 1 and point 2 from taking the press and drag points.
    const uint32_t style = r->style();
    if (!(style & 0x8))
        r->setPoint(1, pressX_, pressY_);
    if (!(style & 0x10))
        r->setPoint(2, dragX_, dragY_);
    changedIndex_ = index;
    changeCode_ = 2;
    changedPoint_ = 2;
    changeFlags_ |= kMarkerMoved;
    // From now on it follows the cursor with point 2 (point 1 when point 2 may not move).
    const int point = !(style & 0x10) ? 2 : !(style & 0x8) ? 1 : 0;
    if (point) {
        dragIndex_ = index;
        dragPoint_ = point;
        following_ = true;
    }
}

}  // namespace tvx::imagelib
