// Where a diagram's parts go: panels, the ranges they show, their ticks; and the
// scene that draws it all, with the window's overlays (crosshair, zoom band,
// status line).
#pragma once

#include "imagelib/diagram/axis.h"
#include "imagelib/diagram/diagram.h"
#include "imagelib/diagram/scene.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tvx::imagelib {

// How big text is where the diagram is drawn.
struct TextMetrics {
    std::function<double(std::string_view)> width;
    double height = 14;  // line height
    double ascent = 11;  // baseline below the top of the line
};
// A fair guess for the labels' font when no toolkit can measure them.
TextMetrics estimatedTextMetrics();

// The curves' points as they are plotted: x in axis units (calendar seconds on a
// date axis, where values that name no date become gaps), y as stored.
class PlotSeries {
public:
    explicit PlotSeries(const DiagramData& data);
    size_t curveCount() const
    {
        return sizes_.size();
    }
    // Points of curve k: as many as it has values and, over an abscissa array,
    // as that array has values.
    size_t size(size_t curve) const
    {
        return sizes_[curve];
    }
    double x(size_t curve, size_t i) const
    {
        return xs_[curve] ? xs_[curve][i] : static_cast<double>(i);
    }
    double y(size_t curve, size_t i) const
    {
        return data_.curves[curve].values[i];
    }
    // True when x never decreases and is never NaN: points can be found by halving.
    bool ordered(size_t curve) const
    {
        return ordered_[curve];
    }
    // The index range [first, last) of an ordered curve that reaches into [lo, hi],
    // with one point beyond each end so that lines leave the plot naturally.
    void visibleRange(size_t curve, double lo, double hi, size_t& first, size_t& last) const;

private:
    const DiagramData& data_;
    std::vector<std::vector<double>> converted_;
    std::vector<const double*> xs_;
    std::vector<size_t> sizes_;
    std::vector<bool> ordered_;
};

struct PanelGeometry {
    RectF plot;  // whole pixels; the frame lies on its edge pixels
    Range x;     // shown
    Range y;
    bool yFollowsData = true;    // not zoomed in y
    std::vector<size_t> curves;  // drawn in this panel
    std::vector<Tick> yTicks;

    double pixelX(double v) const
    {
        return plot.left + 0.5 + (v - x.lo) / x.width() * (plot.width() - 1);
    }
    double pixelY(double v) const
    {
        return plot.bottom - 0.5 - (v - y.lo) / y.width() * (plot.height() - 1);
    }
    double valueX(double px) const
    {
        return x.lo + (px - plot.left - 0.5) / (plot.width() - 1) * x.width();
    }
    double valueY(double py) const
    {
        return y.lo + (plot.bottom - 0.5 - py) / (plot.height() - 1) * y.width();
    }
};

struct DiagramLayout {
    int width = 0;
    int height = 0;
    std::vector<PanelGeometry> panels;
    std::vector<Tick> xTicks;
    Range fullX;  // the x range of all the data
    bool dateAxis = false;
    bool fixedLabels = false;
    RectF statusLine;  // empty when there is none
    // The panel whose plot holds the point, -1 for none.
    int panelAt(PointF p) const;
};

// The layout for a width x height picture (with a status line at the bottom for
// windows). The view's x range and per-panel y ranges are used while valid.
DiagramLayout layoutDiagram(const DiagramData& data, const PlotSeries& series, const DiagramView& view,
                            int width, int height, const TextMetrics& metrics, bool statusLine);

// The y range of a panel's curves within [xlo, xhi], with a margin of 5 % (the
// whole data when the x range is not valid).
Range dataYRange(const DiagramData& data, const PlotSeries& series, const std::vector<size_t>& curves,
                 Range x);
// The x range of all curves.
Range dataXRange(const PlotSeries& series);

// What a window draws over the diagram.
struct DiagramOverlay {
    bool crosshair = false;
    PointF cursor;
    int cursorPanel = -1;
    bool marker = false;  // the data point the readout names
    PointF markerPoint;
    uint32_t markerRgb = 0;
    bool band = false;  // the zoom rectangle being dragged
    RectF bandRect;
    std::string status;  // shown in the status line when the layout has one
};

// The diagram itself: panels, axes, labels, curves, legends (and the empty status
// line when the layout has one).
Scene drawDiagram(const DiagramData& data, const PlotSeries& series, const DiagramLayout& layout,
                  const TextMetrics& metrics);
// What goes over it in a window: the zoom band, the crosshair, the marked point,
// the status text.
Scene drawOverlay(const DiagramLayout& layout, const TextMetrics& metrics, const DiagramOverlay& overlay);

// The data point of the panel's curves nearest to a point of the picture, in pixels.
struct NearestPoint {
    bool found = false;
    size_t curve = 0;
    size_t index = 0;
    PointF pixel;
};
NearestPoint nearestPoint(const PlotSeries& series, const PanelGeometry& panel, PointF at);

// "x = 12.5   y = 0.731" for a point of a panel, with the date and time on a date
// axis, and the nearest data point when there is one.
std::string readoutText(const PlotSeries& series, const DiagramLayout& layout, int panel, PointF at,
                        const NearestPoint& nearest);

}  // namespace tvx::imagelib
