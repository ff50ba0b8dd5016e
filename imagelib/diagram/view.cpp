// Navigation in a diagram view.
#include "imagelib/diagram/view.h"

#include "platform/window/messages.h"

#include <algorithm>
#include <cmath>

namespace tvx::imagelib {

namespace {

constexpr double kDay = 86400;
constexpr double kDayTolerance = 300;

// A range too narrow for doubles to tell its ends apart is no use.
bool usable(const Range& r)
{
    const double scale = std::max(std::fabs(r.lo), std::fabs(r.hi));
    return r.valid() && std::isfinite(r.lo) && std::isfinite(r.hi) && r.width() > scale * 1e-12;
}

Range shownX(const DiagramView& view, const DiagramLayout& layout)
{
    return view.x.valid() ? view.x : layout.fullX;
}

// Stores an x range, kept within the data; the whole data means "not zoomed".
void setX(DiagramView& view, const DiagramLayout& layout, Range x)
{
    const Range& full = layout.fullX;
    if (x.width() >= full.width()) {
        view.x = {};
        return;
    }
    if (x.lo < full.lo)
        x = {full.lo, full.lo + x.width()};
    if (x.hi > full.hi)
        x = {full.hi - x.width(), full.hi};
    view.x = x;
}

Range& panelY(DiagramView& view, const DiagramLayout& layout, size_t panel)
{
    if (view.y.size() < layout.panels.size())
        view.y.resize(layout.panels.size());
    return view.y[panel];
}

bool sameRange(const Range& a, const Range& b)
{
    return a.lo == b.lo && a.hi == b.hi;
}

// The x of a data point within the tolerance of target nearest to it.
bool pointNear(const PlotSeries& series, double target, double& found)
{
    double best = kDayTolerance;
    bool any = false;
    for (size_t k = 0; k < series.curveCount(); ++k) {
        size_t first = 0, last = series.size(k);
        if (series.ordered(k))
            series.visibleRange(k, target - kDayTolerance, target + kDayTolerance, first, last);
        for (size_t i = first; i < last; ++i) {
            const double x = series.x(k, i);
            const double d = std::fabs(x - target);
            if (d <= best) {
                best = d;
                found = x;
                any = true;
            }
        }
    }
    return any;
}

bool horizontalKey(DiagramView& view, int key, unsigned modifiers, const DiagramLayout& layout,
                   const PlotSeries& series)
{
    using namespace platform::win;
    const Range before = view.x;
    const Range x = shownX(view, layout);
    const Range& full = layout.fullX;
    const double step = x.width() * ((modifiers & kKeyQuarterStep) ? 0.25 : 0.1);
    switch (key) {
    case VK_LEFT:
    case VK_RIGHT: {
        const int direction = key == VK_LEFT ? -1 : 1;
        double shift = direction * step;
        if ((modifiers & kKeyDayJump) && layout.dateAxis) {
            const double target = x.lo + direction * kDay;
            double found = target;
            pointNear(series, target, found);
            shift = found - x.lo;
        }
        // Never beyond the ends of the data.
        shift = std::clamp(shift, std::min(0.0, full.lo - x.lo), std::max(0.0, full.hi - x.hi));
        if (shift == 0)
            return false;
        view.x = {x.lo + shift, x.hi + shift};
        break;
    }
    case VK_UP: {
        const Range narrower{x.lo + step / 2, x.hi - step / 2};
        if (!usable(narrower))
            return false;
        view.x = narrower;
        break;
    }
    case VK_DOWN:
        setX(view, layout, {std::max(full.lo, x.lo - step / 2), std::min(full.hi, x.hi + step / 2)});
        break;
    default: return false;
    }
    return !sameRange(before, view.x);
}

bool verticalKey(DiagramView& view, int key, const DiagramLayout& layout)
{
    using namespace platform::win;
    if (layout.panels.empty())
        return false;
    const size_t p =
        static_cast<size_t>(std::clamp<int>(view.activePanel, 0, static_cast<int>(layout.panels.size()) - 1));
    Range& stored = panelY(view, layout, p);
    const Range before = stored;
    const Range y = layout.panels[p].y;
    const double tenth = y.width() / 10;
    Range next = y;
    switch (key) {
    case VK_HOME: stored = {}; return before.valid();
    case VK_LEFT: next.lo -= tenth; break;
    case VK_UP: next.lo += tenth; break;
    case VK_RIGHT: next = {y.lo + tenth / 2, y.hi - tenth / 2}; break;
    case VK_DOWN: next = {y.lo - tenth, y.hi - tenth}; break;
    default: return false;
    }
    if (!usable(next))
        return false;
    stored = next;
    return !sameRange(before, stored);
}

}  // namespace

void zoomToBand(DiagramView& view, const DiagramLayout& layout, int panel, const RectF& band)
{
    if (panel < 0 || static_cast<size_t>(panel) >= layout.panels.size())
        return;
    const PanelGeometry& g = layout.panels[static_cast<size_t>(panel)];
    view.activePanel = panel;
    if (band.width() >= 3) {
        const Range x{g.valueX(band.left), g.valueX(band.right)};
        if (usable(x))
            view.x = x;
    }
    if (band.height() >= 3) {
        const Range y{g.valueY(band.bottom), g.valueY(band.top)};
        if (usable(y))
            panelY(view, layout, static_cast<size_t>(panel)) = y;
    }
}

bool zoomAbout(DiagramView& view, const DiagramLayout& layout, int panel, PointF at, double factor,
               bool vertical)
{
    if (panel < 0 || static_cast<size_t>(panel) >= layout.panels.size() || !(factor > 0))
        return false;
    const PanelGeometry& g = layout.panels[static_cast<size_t>(panel)];
    view.activePanel = panel;
    if (vertical) {
        Range& stored = panelY(view, layout, static_cast<size_t>(panel));
        const Range before = stored;
        const double anchor = g.valueY(at.y);
        const Range next{anchor + (g.y.lo - anchor) / factor, anchor + (g.y.hi - anchor) / factor};
        if (!usable(next))
            return false;
        stored = next;
        return !sameRange(before, stored);
    }
    const Range before = view.x;
    const double anchor = g.valueX(at.x);
    const Range x = shownX(view, layout);
    const Range next{anchor + (x.lo - anchor) / factor, anchor + (x.hi - anchor) / factor};
    if (!usable(next))
        return false;
    setX(view, layout, next);
    return !sameRange(before, view.x);
}

bool applyViewKey(DiagramView& view, int key, unsigned modifiers, const DiagramLayout& layout,
                  const PlotSeries& series)
{
    if (!view.zoomed())
        return false;
    return (modifiers & kKeyVertical) ? verticalKey(view, key, layout)
                                      : horizontalKey(view, key, modifiers, layout, series);
}

}  // namespace tvx::imagelib
