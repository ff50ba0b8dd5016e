// Diagram layout: panels, ranges and ticks; the scene that draws them; hit tests
// and the readout of the window's crosshair.
#include "imagelib/diagram/layout.h"

#include "imagelib/diagram/packed_date.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace tvx::imagelib {

namespace {

constexpr uint32_t kGrid = 0xE6E6E6;
constexpr uint32_t kZeroLine = 0xC0C0C0;
constexpr uint32_t kFrame = 0x5A5A5A;
constexpr uint32_t kLabel = 0x333333;
constexpr uint32_t kLegendBorder = 0xCCCCCC;
constexpr uint32_t kStatusBackground = 0xF2F2F2;
constexpr uint32_t kStatusBorder = 0xD0D0D0;
constexpr uint32_t kBand = 0x3079D6;
constexpr uint32_t kCrosshair = 0x808080;

constexpr double kTopMargin = 12;
constexpr double kRightMargin = 20;
constexpr double kTickLength = 4;
constexpr double kPanelGap = 12;
constexpr double kMinPanel = 24;
constexpr double kYTickSpacing = 32;
constexpr double kXTickSpacing = 60;
constexpr double kDefaultLineWidth = 1.5;
constexpr double kMaxLineWidth = 16;

// The margin around a plot within which line pieces are kept whole: wide enough
// that the thickest line's ends stay out of sight.
constexpr double kClipMargin = kMaxLineWidth + 4;

// Ranges keep to what a double can span, so that widths and margins stay finite.
constexpr double kLargestShown = 1e300;

Range padded(double lo, double hi, bool includeZero)
{
    lo = std::clamp(lo, -kLargestShown, kLargestShown);
    hi = std::clamp(hi, -kLargestShown, kLargestShown);
    if (includeZero) {
        lo = std::min(lo, 0.0);
        hi = std::max(hi, 0.0);
    }
    if (!(hi > lo)) {
        const double d = lo == 0 ? 1 : std::fabs(lo) * 0.1;
        return {lo - d, hi + d};
    }
    const double m = (hi - lo) * 0.05;
    // Ranges that start at zero on purpose stay there.
    return {includeZero && lo == 0 ? 0 : lo - m, includeZero && hi == 0 ? 0 : hi + m};
}

// Builds the strokes of one curve: pieces between gaps, cut to the area around
// the plot so that no coordinate runs away, single points as dots.
class CurveBuilder {
public:
    CurveBuilder(Scene& scene, const RectF& clip, uint32_t rgb, double width)
        : scene_(scene), clip_(clip), keep_(inflate(clip, kClipMargin)), rgb_(rgb), width_(width)
    {
    }
    ~CurveBuilder()
    {
        gap();
    }

    void point(PointF p)
    {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) {  // beyond what pixels can say
            gap();
            return;
        }
        if (!havePrevious_) {
            previous_ = p;
            havePrevious_ = true;
            return;
        }
        PointF a = previous_, b = p;
        previous_ = p;
        lone_ = false;
        if (!clipSegment(a, b, keep_)) {
            flush();
            return;
        }
        const bool continues = !current_.empty() && current_.back().x == a.x && current_.back().y == a.y;
        if (!continues) {
            flush();
            current_.push_back(a);
        }
        current_.push_back(b);
    }

    void gap()
    {
        if (havePrevious_ && lone_ && keep_.contains(previous_))
            lonePoints_.push_back(previous_);
        flush();
        havePrevious_ = false;
        lone_ = true;
        if (!lonePoints_.empty()) {
            SceneDots dots;
            dots.centres = std::move(lonePoints_);
            dots.radius = width_ / 2 + 0.5;
            dots.rgb = rgb_;
            dots.clip = clip_;
            scene_.items.emplace_back(std::move(dots));
            lonePoints_.clear();
        }
    }

private:
    void flush()
    {
        if (current_.size() >= 2) {
            SceneStroke s;
            s.points = std::move(current_);
            s.rgb = rgb_;
            s.width = width_;
            s.clip = clip_;
            scene_.items.emplace_back(std::move(s));
        }
        current_.clear();
    }

    Scene& scene_;
    RectF clip_;
    RectF keep_;
    uint32_t rgb_;
    double width_;
    std::vector<PointF> current_;
    std::vector<PointF> lonePoints_;
    PointF previous_;
    bool havePrevious_ = false;
    bool lone_ = true;
};

void addLine(Scene& scene, PointF a, PointF b, uint32_t rgb, const RectF& clip, bool dashed = false)
{
    SceneStroke s;
    s.points = {a, b};
    s.rgb = rgb;
    s.width = 1;
    s.dashed = dashed;
    s.clip = clip;
    scene.items.emplace_back(std::move(s));
}

void addText(Scene& scene, double x, double y, std::string text, HAlign h, VAlign v, uint32_t rgb)
{
    scene.items.emplace_back(SceneText{x, y, std::move(text), h, v, rgb});
}

void addFill(Scene& scene, const RectF& r, uint32_t rgb, double opacity = 1)
{
    scene.items.emplace_back(SceneFill{r, rgb, opacity});
}

std::string curveName(size_t curve)
{
    return "Curve " + std::to_string(curve + 1);
}

std::string formatValue(double v)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.7g", v);
    return text;
}

std::string formatX(const DiagramLayout& layout, double x)
{
    return layout.dateAxis ? formatDateReadout(x) : formatValue(x);
}

// The points of one curve in a panel, reduced where there are far more of them
// than pixel columns: per column the first, lowest, highest and last point, in
// their order, so that the envelope stays exact.
void drawCurve(Scene& scene, const PlotSeries& series, size_t k, const PanelGeometry& panel, uint32_t rgb,
               double width, bool marks)
{
    size_t first = 0, last = series.size(k);
    const bool ordered = series.ordered(k);
    if (ordered)
        series.visibleRange(k, panel.x.lo, panel.x.hi, first, last);
    const double columns = panel.plot.width();
    const bool reduce = ordered && static_cast<double>(last - first) > 4 * columns;
    CurveBuilder builder(scene, panel.plot, rgb, width);
    std::vector<PointF> markPoints;

    auto pixel = [&](size_t i) { return PointF{panel.pixelX(series.x(k, i)), panel.pixelY(series.y(k, i))}; };
    auto valid = [&](size_t i) { return std::isfinite(series.x(k, i)) && std::isfinite(series.y(k, i)); };

    if (!reduce) {
        for (size_t i = first; i < last; ++i) {
            if (!valid(i)) {
                builder.gap();
                continue;
            }
            const PointF p = pixel(i);
            builder.point(p);
            if (marks && panel.plot.contains(p))
                markPoints.push_back(p);
        }
    } else {
        // One bucket per pixel column.
        size_t bucket[4] = {};
        int bucketColumn = 0;
        bool open = false;
        auto emit = [&] {
            if (!open)
                return;
            std::sort(bucket, bucket + 4);
            for (int j = 0; j < 4; ++j)
                if (j == 0 || bucket[j] != bucket[j - 1])
                    builder.point(pixel(bucket[j]));
            open = false;
        };
        for (size_t i = first; i < last; ++i) {
            if (!valid(i)) {
                emit();
                builder.gap();
                continue;
            }
            const double y = series.y(k, i);
            const int column =
                static_cast<int>(std::floor(std::clamp(panel.pixelX(series.x(k, i)), -1e9, 1e9)));
            if (open && column == bucketColumn) {
                if (y < series.y(k, bucket[1]))
                    bucket[1] = i;
                if (y > series.y(k, bucket[2]))
                    bucket[2] = i;
                bucket[3] = i;
                continue;
            }
            emit();
            bucket[0] = bucket[1] = bucket[2] = bucket[3] = i;
            bucketColumn = column;
            open = true;
        }
        emit();
    }
    builder.gap();
    if (!markPoints.empty()) {
        SceneDots dots;
        dots.centres = std::move(markPoints);
        dots.radius = std::max(2.5, width);
        dots.rgb = rgb;
        dots.clip = panel.plot;
        scene.items.emplace_back(std::move(dots));
    }
}

void drawFrame(Scene& scene, const RectF& r)
{
    SceneStroke s;
    const double l = r.left + 0.5, t = r.top + 0.5, rr = r.right - 0.5, b = r.bottom - 0.5;
    s.points = {{l, t}, {rr, t}, {rr, b}, {l, b}, {l, t}};
    s.rgb = kFrame;
    s.width = 1;
    s.clip = inflate(r, 1);
    scene.items.emplace_back(std::move(s));
}

void drawLegend(Scene& scene, const DiagramData& data, const PanelGeometry& panel, const TextMetrics& metrics)
{
    double textWidth = 0;
    for (size_t k : panel.curves)
        textWidth = std::max(textWidth, metrics.width(curveName(k)));
    const double row = std::ceil(metrics.height) + 2;
    const double w = std::ceil(10 + 22 + textWidth + 8);
    const double h = std::ceil(row * static_cast<double>(panel.curves.size()) + 8);
    if (w + 16 > panel.plot.width() || h + 16 > panel.plot.height())
        return;
    const RectF box{panel.plot.right - 8 - w, panel.plot.top + 8, panel.plot.right - 8,
                    panel.plot.top + 8 + h};
    addFill(scene, box, 0xFFFFFF, 0.85);
    SceneStroke border;
    border.points = {{box.left + 0.5, box.top + 0.5},
                     {box.right - 0.5, box.top + 0.5},
                     {box.right - 0.5, box.bottom - 0.5},
                     {box.left + 0.5, box.bottom - 0.5},
                     {box.left + 0.5, box.top + 0.5}};
    border.rgb = kLegendBorder;
    border.clip = inflate(box, 1);
    scene.items.emplace_back(std::move(border));
    double y = box.top + 4;
    for (size_t k : panel.curves) {
        const double mid = std::floor(y + row / 2) + 0.5;
        SceneStroke sample;
        sample.points = {{box.left + 8, mid}, {box.left + 28, mid}};
        sample.rgb = curveColour(data.curves[k].colour, k);
        sample.width = data.parameter > 0 ? std::min<double>(data.parameter, 6) : kDefaultLineWidth + 0.5;
        sample.clip = box;
        scene.items.emplace_back(std::move(sample));
        addText(scene, box.left + 34, mid, curveName(k), HAlign::Left, VAlign::Middle, kLabel);
        y += row;
    }
}

}  // namespace

// ---- Text

TextMetrics estimatedTextMetrics()
{
    TextMetrics m;
    m.width = [](std::string_view text) { return 7.0 * static_cast<double>(text.size()); };
    m.height = 14;
    m.ascent = 11;
    return m;
}

// ---- Series

PlotSeries::PlotSeries(const DiagramData& data) : data_(data)
{
    const size_t n = data.curves.size();
    xs_.assign(n, nullptr);
    sizes_.assign(n, 0);
    ordered_.assign(n, true);
    if (data.dateAxis()) {
        converted_.resize(data.abscissae.size());
        for (size_t a = 0; a < data.abscissae.size(); ++a) {
            converted_[a].reserve(data.abscissae[a].size());
            for (double v : data.abscissae[a]) {
                CalendarTime t;
                converted_[a].push_back(unpackDateValue(v, t) ? calendarSeconds(t)
                                                              : std::numeric_limits<double>::quiet_NaN());
            }
        }
    }
    for (size_t k = 0; k < n; ++k) {
        sizes_[k] = data.curves[k].values.size();
        if (const std::vector<double>* abscissa = data.abscissaFor(k)) {
            const size_t a = static_cast<size_t>(abscissa - data.abscissae.data());
            xs_[k] = data.dateAxis() ? converted_[a].data() : abscissa->data();
            sizes_[k] = std::min(sizes_[k], abscissa->size());
            bool ordered = true;
            for (size_t i = 0; i < sizes_[k] && ordered; ++i)
                ordered = !std::isnan(xs_[k][i]) && (i == 0 || xs_[k][i] >= xs_[k][i - 1]);
            ordered_[k] = ordered;
        }
    }
}

void PlotSeries::visibleRange(size_t curve, double lo, double hi, size_t& first, size_t& last) const
{
    const size_t n = sizes_[curve];
    first = 0;
    last = n;
    if (!ordered_[curve] || n == 0)
        return;
    // The first point at or after lo, and one before it; the first after hi, and it.
    size_t a = 0, b = n;
    while (a < b) {
        const size_t m = a + (b - a) / 2;
        if (x(curve, m) < lo)
            a = m + 1;
        else
            b = m;
    }
    first = a > 0 ? a - 1 : 0;
    a = first;
    b = n;
    while (a < b) {
        const size_t m = a + (b - a) / 2;
        if (x(curve, m) <= hi)
            a = m + 1;
        else
            b = m;
    }
    last = std::min(n, a + 1);
}

// ---- Ranges and layout

Range dataXRange(const PlotSeries& series)
{
    double lo = INFINITY, hi = -INFINITY;
    for (size_t k = 0; k < series.curveCount(); ++k) {
        const size_t n = series.size(k);
        if (n == 0)
            continue;
        if (series.ordered(k)) {
            lo = std::min(lo, series.x(k, 0));
            hi = std::max(hi, series.x(k, n - 1));
            continue;
        }
        for (size_t i = 0; i < n; ++i) {
            const double x = series.x(k, i);
            if (std::isfinite(x)) {
                lo = std::min(lo, x);
                hi = std::max(hi, x);
            }
        }
    }
    if (!(lo <= hi))
        return {0, 1};
    lo = std::clamp(lo, -kLargestShown, kLargestShown);
    hi = std::clamp(hi, -kLargestShown, kLargestShown);
    if (hi == lo) {
        const double d = std::max(0.5, std::fabs(lo) * 1e-9);
        return {lo - d, hi + d};
    }
    return {lo, hi};
}

Range dataYRange(const DiagramData& data, const PlotSeries& series, const std::vector<size_t>& curves,
                 Range x)
{
    double lo = INFINITY, hi = -INFINITY;
    for (size_t k : curves) {
        size_t first = 0, last = series.size(k);
        if (x.valid() && series.ordered(k))
            series.visibleRange(k, x.lo, x.hi, first, last);
        const bool checkX = x.valid() && !series.ordered(k);
        for (size_t i = first; i < last; ++i) {
            const double y = series.y(k, i);
            if (!std::isfinite(y))
                continue;
            if (checkX) {
                const double xv = series.x(k, i);
                if (!(xv >= x.lo && xv <= x.hi))
                    continue;
            }
            lo = std::min(lo, y);
            hi = std::max(hi, y);
        }
    }
    if (!(lo <= hi))
        return {0, 1};
    return padded(lo, hi, data.options & kOptionIncludeZero);
}

int DiagramLayout::panelAt(PointF p) const
{
    for (size_t i = 0; i < panels.size(); ++i)
        if (panels[i].plot.contains(p))
            return static_cast<int>(i);
    return -1;
}

DiagramLayout layoutDiagram(const DiagramData& data, const PlotSeries& series, const DiagramView& view,
                            int width, int height, const TextMetrics& metrics, bool statusLine)
{
    DiagramLayout layout;
    layout.width = width;
    layout.height = height;
    layout.dateAxis = data.dateAxis();
    layout.fixedLabels = data.options & kOptionFixedLabels;
    layout.fullX = dataXRange(series);
    const Range x = view.x.valid() ? view.x : layout.fullX;

    std::vector<std::vector<size_t>> groups;
    if (data.onePlot || data.curves.size() <= 1) {
        groups.emplace_back();
        for (size_t k = 0; k < data.curves.size(); ++k)
            groups.back().push_back(k);
    } else {
        for (size_t k = 0; k < data.curves.size(); ++k)
            groups.push_back({k});
    }

    const double statusHeight = statusLine ? std::ceil(metrics.height + 8) : 0;
    if (statusLine)
        layout.statusLine = {0, height - statusHeight, static_cast<double>(width),
                             static_cast<double>(height)};
    const double axisHeight = std::ceil(kTickLength + 4 + metrics.height + 8);
    const double n = static_cast<double>(groups.size());
    const double available = height - statusHeight - kTopMargin - axisHeight - kPanelGap * (n - 1);
    const double panelHeight = std::max(kMinPanel, std::floor(available / n));
    const bool fixed = layout.fixedLabels;
    const LabelExtent lineHeight = [&](std::string_view) { return metrics.height; };

    double labelWidth = 0;
    for (size_t i = 0; i < groups.size(); ++i) {
        PanelGeometry panel;
        panel.curves = std::move(groups[i]);
        panel.plot.top = kTopMargin + static_cast<double>(i) * (panelHeight + kPanelGap);
        panel.plot.bottom = panel.plot.top + panelHeight;
        panel.x = x;
        const bool zoomedY = i < view.y.size() && view.y[i].valid();
        panel.yFollowsData = !zoomedY;
        panel.y = zoomedY ? view.y[i] : dataYRange(data, series, panel.curves, view.x);
        panel.yTicks = numericTicks(panel.y.lo, panel.y.hi, panelHeight, fixed, lineHeight, kYTickSpacing);
        for (const Tick& t : panel.yTicks)
            labelWidth = std::max(labelWidth, metrics.width(t.label));
        layout.panels.push_back(std::move(panel));
    }
    const double left = std::max(36.0, std::ceil(10 + labelWidth + kTickLength + 6));
    const double right = std::max(left + kMinPanel, width - kRightMargin);
    for (PanelGeometry& panel : layout.panels) {
        panel.plot.left = left;
        panel.plot.right = right;
    }
    const LabelExtent textWidth = [&](std::string_view text) { return metrics.width(text); };
    layout.xTicks = layout.dateAxis ? dateTicks(x.lo, x.hi, right - left, textWidth, kXTickSpacing)
                                    : numericTicks(x.lo, x.hi, right - left, fixed, textWidth, kXTickSpacing);
    return layout;
}

// ---- Drawing

Scene drawDiagram(const DiagramData& data, const PlotSeries& series, const DiagramLayout& layout,
                  const TextMetrics& metrics)
{
    Scene scene;
    scene.width = layout.width;
    scene.height = layout.height;
    const bool grid = !(data.options & kOptionNoGrid);
    const double lineWidth =
        data.parameter > 0 ? std::min<double>(data.parameter, kMaxLineWidth) : kDefaultLineWidth;

    for (size_t i = 0; i < layout.panels.size(); ++i) {
        const PanelGeometry& panel = layout.panels[i];
        const RectF& plot = panel.plot;
        const bool bottomPanel = i + 1 == layout.panels.size();
        if (grid) {
            for (const Tick& t : panel.yTicks) {
                const double y = std::floor(panel.pixelY(t.value)) + 0.5;
                addLine(scene, {plot.left, y}, {plot.right, y}, t.value == 0 ? kZeroLine : kGrid, plot);
            }
            for (const Tick& t : layout.xTicks) {
                const double x = std::floor(panel.pixelX(t.value)) + 0.5;
                addLine(scene, {x, plot.top}, {x, plot.bottom}, kGrid, plot);
            }
        }
        drawFrame(scene, plot);
        const RectF outside = inflate(plot, kTickLength + 1);
        for (const Tick& t : panel.yTicks) {
            const double y = std::floor(panel.pixelY(t.value)) + 0.5;
            addLine(scene, {plot.left - kTickLength, y}, {plot.left, y}, kFrame, outside);
            addText(scene, plot.left - kTickLength - 4, y, t.label, HAlign::Right, VAlign::Middle, kLabel);
        }
        for (const Tick& t : layout.xTicks) {
            const double x = std::floor(panel.pixelX(t.value)) + 0.5;
            addLine(scene, {x, plot.bottom}, {x, plot.bottom + kTickLength}, kFrame, outside);
            if (bottomPanel) {
                // A label at the picture's edge moves inwards rather than being cut.
                const double half = metrics.width(t.label) / 2;
                const double cx = std::clamp(x, half + 1, std::max(half + 1, layout.width - half - 1));
                addText(scene, cx, plot.bottom + kTickLength + 3, t.label, HAlign::Centre, VAlign::Top,
                        kLabel);
            }
        }
        for (size_t k : panel.curves)
            drawCurve(scene, series, k, panel, curveColour(data.curves[k].colour, k), lineWidth,
                      data.options & kOptionPointMarks);
        if (panel.curves.size() > 1) {
            drawLegend(scene, data, panel, metrics);
        } else if (layout.panels.size() > 1 && !panel.curves.empty()) {
            const size_t k = panel.curves.front();
            const std::string name = curveName(k);
            const RectF tag{plot.left + 1, plot.top + 1, plot.left + 1 + std::ceil(metrics.width(name)) + 10,
                            plot.top + 1 + std::ceil(metrics.height) + 4};
            addFill(scene, tag, 0xFFFFFF, 0.8);
            addText(scene, tag.left + 5, tag.top + 2, name, HAlign::Left, VAlign::Top,
                    curveColour(data.curves[k].colour, k));
        }
    }

    if (layout.statusLine.height() > 0) {
        const RectF& s = layout.statusLine;
        addFill(scene, s, kStatusBackground);
        addLine(scene, {s.left, s.top + 0.5}, {s.right, s.top + 0.5}, kStatusBorder, s);
    }
    return scene;
}

Scene drawOverlay(const DiagramLayout& layout, const TextMetrics& metrics, const DiagramOverlay& overlay)
{
    Scene scene;
    scene.width = layout.width;
    scene.height = layout.height;
    if (overlay.band) {
        const RectF b = overlay.bandRect;
        addFill(scene, b, kBand, 0.15);
        SceneStroke s;
        s.points = {{b.left + 0.5, b.top + 0.5},
                    {b.right - 0.5, b.top + 0.5},
                    {b.right - 0.5, b.bottom - 0.5},
                    {b.left + 0.5, b.bottom - 0.5},
                    {b.left + 0.5, b.top + 0.5}};
        s.rgb = kBand;
        s.clip = inflate(b, 1);
        scene.items.emplace_back(std::move(s));
    }
    if (overlay.crosshair && overlay.cursorPanel >= 0 &&
        static_cast<size_t>(overlay.cursorPanel) < layout.panels.size()) {
        const double x = std::floor(overlay.cursor.x) + 0.5, y = std::floor(overlay.cursor.y) + 0.5;
        for (const PanelGeometry& panel : layout.panels)
            addLine(scene, {x, panel.plot.top}, {x, panel.plot.bottom}, kCrosshair, panel.plot, true);
        const RectF& plot = layout.panels[static_cast<size_t>(overlay.cursorPanel)].plot;
        addLine(scene, {plot.left, y}, {plot.right, y}, kCrosshair, plot, true);
    }
    if (overlay.marker) {
        SceneDots ring;
        ring.centres = {overlay.markerPoint};
        ring.radius = 5;
        ring.rgb = 0xFFFFFF;
        ring.clip = {0, 0, static_cast<double>(layout.width), static_cast<double>(layout.height)};
        scene.items.emplace_back(ring);
        ring.radius = 3.5;
        ring.rgb = overlay.markerRgb;
        scene.items.emplace_back(std::move(ring));
    }
    if (layout.statusLine.height() > 0) {
        const RectF& s = layout.statusLine;
        addText(scene, 6, s.top + (s.height() - metrics.height) / 2 + 0.5, overlay.status, HAlign::Left,
                VAlign::Top, kLabel);
    }
    return scene;
}

// ---- Hit tests and the readout

NearestPoint nearestPoint(const PlotSeries& series, const PanelGeometry& panel, PointF at)
{
    NearestPoint best;
    double bestDistance = INFINITY;
    const double xAt = panel.valueX(at.x);
    for (size_t k : panel.curves) {
        // Curves in x order offer the point at the cursor's x (a reading at that
        // time); others the point nearest to the cursor.
        const bool ordered = series.ordered(k);
        size_t first = 0, last = series.size(k);
        if (ordered)
            series.visibleRange(k, xAt, xAt, first, last);
        NearestPoint candidate;
        double candidateKey = INFINITY;
        for (size_t i = first; i < last; ++i) {
            const double x = series.x(k, i), y = series.y(k, i);
            if (!std::isfinite(x) || !std::isfinite(y))
                continue;
            const PointF p{panel.pixelX(x), panel.pixelY(y)};
            if (!panel.plot.contains(p))
                continue;
            const double key = ordered ? std::fabs(p.x - at.x) : std::hypot(p.x - at.x, p.y - at.y);
            if (key < candidateKey) {
                candidateKey = key;
                candidate = {true, k, i, p};
            }
        }
        if (!candidate.found)
            continue;
        const double d = std::hypot(candidate.pixel.x - at.x, candidate.pixel.y - at.y);
        if (d < bestDistance) {
            bestDistance = d;
            best = candidate;
        }
    }
    return best;
}

std::string readoutText(const PlotSeries& series, const DiagramLayout& layout, int panel, PointF at,
                        const NearestPoint& nearest)
{
    if (panel < 0 || static_cast<size_t>(panel) >= layout.panels.size())
        return {};
    const PanelGeometry& g = layout.panels[static_cast<size_t>(panel)];
    std::string text = "x = " + formatX(layout, g.valueX(at.x)) + "   y = " + formatValue(g.valueY(at.y));
    if (nearest.found) {
        text += "      " + curveName(nearest.curve) + " [" + std::to_string(nearest.index) +
                "]: " + formatX(layout, series.x(nearest.curve, nearest.index)) + ", " +
                formatValue(series.y(nearest.curve, nearest.index));
    }
    return text;
}

}  // namespace tvx::imagelib
