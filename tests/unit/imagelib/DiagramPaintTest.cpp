// What diagrams look like: curves through their points' pixels, panels, gaps,
// date axes, line widths, large data, the window's picture, and screenshots for
// a person to look at (build/diagram-screenshots).
#include "DiagramTestSupport.h"

#include "imagelib/diagram/diagram_window.h"
#include "imagelib/diagram/layout.h"
#include "imagelib/diagram/packed_date.h"
#include "imagelib/diagram/raster.h"
#include "platform/window/qt/access.h"

#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace pixorytest;
using namespace tvx::imagelib;
using namespace tvx::platform;

namespace {

class DiagramPaint : public DiagramTest {};

// The diagram's picture without text (the shapes are what these tests look at).
struct Picture {
    PlotSeries series;
    DiagramLayout layout;
    Canvas canvas;
    Picture(const DiagramData& data, int width, int height, const DiagramView& view = {})
        : series(data),
          layout(layoutDiagram(data, series, view, width, height, estimatedTextMetrics(), false))
    {
        paintShapes(drawDiagram(data, series, layout, estimatedTextMetrics()), canvas);
    }
    // Coverage of colour at the pixel holding data point (x, y) of a panel.
    double at(size_t panel, double x, double y, uint32_t colour) const
    {
        const PanelGeometry& g = layout.panels.at(panel);
        return coverageOf(canvas.rgbAt(static_cast<int>(g.pixelX(x)), static_cast<int>(g.pixelY(y))), colour);
    }
};

void add(const std::vector<double>& values, int flags = 0x1, int colour = 0)
{
    pxDisplayDiagram(values.data(), static_cast<int>(values.size()), flags, colour, 0, 0, 0);
}

TEST_F(DiagramPaint, ACurvePassesThroughThePixelsOfItsPointsAndNowhereElse)
{
    add({0, 10, 5, 10, 0}, 0x1 | 0x00080000, 0xFF0000);  // no grid: a plain background
    const Picture p(dataOf(0), 400, 300);
    ASSERT_EQ(p.layout.panels.size(), 1u);
    const double ys[] = {0, 10, 5, 10, 0};
    for (int i = 0; i < 5; ++i)
        EXPECT_GE(p.at(0, i, ys[i], 0xFF0000), 0.5) << i;
    // Half way between points 1 and 2 the line is at 7.5.
    EXPECT_GE(p.at(0, 1.5, 7.5, 0xFF0000), 0.5);
    // Above the middle point, and below the peaks, nothing is drawn.
    EXPECT_EQ(p.at(0, 2, 9, 0xFF0000), 0);
    EXPECT_EQ(p.at(0, 1, 2, 0xFF0000), 0);
    // The x range runs from the first point to the last; y has a margin.
    const PanelGeometry& g = p.layout.panels[0];
    EXPECT_EQ(g.x.lo, 0);
    EXPECT_EQ(g.x.hi, 4);
    EXPECT_LT(g.y.lo, 0);
    EXPECT_GT(g.y.hi, 10);
}

TEST_F(DiagramPaint, PanelsStackOneCurveEachOrShareOnePlot)
{
    add({1, 2, 3});
    add({100, 200, 150});
    add({-1, -5, -3});
    const Picture stacked(dataOf(0), 600, 500);
    ASSERT_EQ(stacked.layout.panels.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        const PanelGeometry& g = stacked.layout.panels[i];
        EXPECT_EQ(g.curves, std::vector<size_t>{i});
        EXPECT_EQ(g.plot.left, stacked.layout.panels[0].plot.left);
        EXPECT_EQ(g.plot.height(), stacked.layout.panels[0].plot.height());
        if (i > 0) {
            EXPECT_GT(g.plot.top, stacked.layout.panels[i - 1].plot.bottom);
        }
    }
    EXPECT_GT(stacked.layout.panels[1].y.lo, 90);  // each panel follows its own curve
    EXPECT_LT(stacked.layout.panels[2].y.hi, 0);
    EXPECT_GE(stacked.at(1, 1, 200, curveColour(0, 1)), 0.5);

    dataOf(0).onePlot = true;  // what showing with flag 0x10 sets
    const Picture shared(dataOf(0), 600, 500);
    ASSERT_EQ(shared.layout.panels.size(), 1u);
    EXPECT_EQ(shared.layout.panels[0].curves.size(), 3u);
    EXPECT_LT(shared.layout.panels[0].y.lo, -5);
    EXPECT_GT(shared.layout.panels[0].y.hi, 200);
    for (size_t k = 0; k < 3; ++k)
        EXPECT_GE(shared.at(0, 2, dataOf(0).curves[k].values[2], curveColour(0, k)), 0.4) << k;
}

TEST_F(DiagramPaint, NaNLeavesAGapAndALonePointStillShows)
{
    add({1, 1, 1, NAN, 1, 1, NAN, 2, NAN, 1}, 0x1 | 0x00080000, 0x10000FF);
    const Picture p(dataOf(0), 500, 300);
    EXPECT_GE(p.at(0, 2, 1, 0x0000FF), 0.5);
    EXPECT_EQ(p.at(0, 3, 1, 0x0000FF), 0);    // where the NaN is
    EXPECT_EQ(p.at(0, 2.5, 1, 0x0000FF), 0);  // the lines do not reach across it
    EXPECT_GE(p.at(0, 4, 1, 0x0000FF), 0.5);
    EXPECT_GE(p.at(0, 7, 2, 0x0000FF), 0.5);  // between two gaps: a dot
    EXPECT_EQ(p.at(0, 6.5, 1.5, 0x0000FF), 0);
}

TEST_F(DiagramPaint, ADateAxisPlacesPointsByTheirTime)
{
    // Two hours apart across the end of February: the packed values jump there,
    // the picture must not.
    const double x[] = {packDate(2023, 2, 28) * 86400.0 + 23 * 3600, packDate(2023, 3, 1) * 86400.0 + 3600,
                        packDate(2023, 3, 1) * 86400.0 + 3 * 3600};
    pxDisplayDiagram(x, 3, 0x2 | 0x1000, 0, 0, 0, 0);
    add({1, 2, 3});
    const Picture p(dataOf(0), 600, 300);
    const PanelGeometry& g = p.layout.panels[0];
    const double x0 = g.pixelX(p.series.x(0, 0)), x1 = g.pixelX(p.series.x(0, 1)),
                 x2 = g.pixelX(p.series.x(0, 2));
    EXPECT_NEAR(x1 - x0, x2 - x1, 1e-6);
    EXPECT_TRUE(p.layout.dateAxis);
    ASSERT_FALSE(p.layout.xTicks.empty());
    bool dateLabel = false;
    for (const Tick& t : p.layout.xTicks)
        dateLabel = dateLabel || t.label == "01.03.23";
    EXPECT_TRUE(dateLabel);  // midnight between the points carries the date
}

TEST_F(DiagramPaint, TheParameterWidensTheLines)
{
    add({5, 5, 5}, 0x1 | 0x00080000, 0x00A000);
    const Picture thin(dataOf(0), 300, 200);
    const PanelGeometry& g = thin.layout.panels[0];
    const int px = static_cast<int>(g.pixelX(1)), py = static_cast<int>(g.pixelY(5));
    EXPECT_EQ(coverageOf(thin.canvas.rgbAt(px, py + 3), 0x00A000), 0);
    pxSetDiagramParameter(0, 1, 8);
    const Picture wide(dataOf(0), 300, 200);
    EXPECT_GE(coverageOf(wide.canvas.rgbAt(px, py + 3), 0x00A000), 0.9);
}

TEST_F(DiagramPaint, AHundredThousandPointsKeepTheirSpike)
{
    std::vector<double> values(100000, 0.0);
    values[50001] = 100;
    values[77777] = -40;
    add(values, 0x1 | 0x00080000, 0xFF0000);
    const PlotSeries series(dataOf(0));
    const DiagramLayout layout =
        layoutDiagram(dataOf(0), series, {}, 500, 300, estimatedTextMetrics(), false);
    const Scene scene = drawDiagram(dataOf(0), series, layout, estimatedTextMetrics());
    size_t points = 0;
    for (const SceneItem& item : scene.items)
        if (const auto* s = std::get_if<SceneStroke>(&item); s && s->rgb == 0xFF0000)
            points += s->points.size();
    EXPECT_LT(points, 4 * 500u);  // reduced to the pixel columns
    Canvas canvas;
    paintShapes(scene, canvas);
    const PanelGeometry& g = layout.panels[0];
    auto covered = [&](double x, double y) {
        return coverageOf(canvas.rgbAt(static_cast<int>(g.pixelX(x)), static_cast<int>(g.pixelY(y))),
                          0xFF0000);
    };
    EXPECT_GE(covered(50001, 100), 0.5);
    EXPECT_GE(covered(77777, -40), 0.5);
    EXPECT_GE(covered(20000, 0), 0.5);
}

TEST_F(DiagramPaint, ExtremeValuesAndZoomsDrawWhatCanBeDrawn)
{
    add({1e308, -1e308, 0, 1e-308, INFINITY, -INFINITY, 5}, 0x1 | 0x00080000, 0xFF0000);
    const Picture all(dataOf(0), 400, 300);
    const PanelGeometry& g = all.layout.panels[0];
    EXPECT_TRUE(std::isfinite(g.y.width()));
    EXPECT_FALSE(g.yTicks.empty());
    EXPECT_GE(all.at(0, 2, 0, 0xFF0000), 0.5);
    // Zoomed far in: the line in view still comes from points far outside it.
    DiagramView view;
    view.x = {2.9999, 3.0001};
    view.y = {{-1e-300, 1e-300}};
    const Picture close(dataOf(0), 400, 300, view);
    int red = 0;
    for (int x = 0; x < 400; ++x)
        for (int y = 0; y < 300; ++y)
            red += coverageOf(close.canvas.rgbAt(x, y), 0xFF0000) > 0.5;
    EXPECT_GT(red, 100);
}

TEST_F(DiagramPaint, TheWindowShowsTheDiagramAndAStatusLine)
{
    std::vector<double> values(50);
    for (int i = 0; i < 50; ++i)
        values[static_cast<size_t>(i)] = std::sin(i / 5.0);
    showCurve(0, values, 0x00080000, 0x10000FF);
    DiagramWindow* w = DiagramWindow::of(0);
    ASSERT_NE(w, nullptr);
    paintNow(w->hwnd());
    const DiagramLayout& layout = w->layout();
    ASSERT_EQ(layout.panels.size(), 1u);
    const PanelGeometry& g = layout.panels[0];
    for (int i : {0, 13, 31, 49}) {
        const int x = static_cast<int>(g.pixelX(i)),
                  y = static_cast<int>(g.pixelY(values[static_cast<size_t>(i)]));
        EXPECT_GE(coverageOf(shownColour(w->hwnd(), x, y), 0x0000FF), 0.5) << i;
    }
    ASSERT_GT(layout.statusLine.height(), 10);
    const Rect client = clientRect(w->hwnd());
    EXPECT_EQ(layout.statusLine.bottom, client.height());
    EXPECT_EQ(shownColour(w->hwnd(), client.width() - 3, client.height() - 3), 0xF2F2F2u);
    // New data show at once.
    std::vector<double> flat(50, 0.5);
    showCurve(0, flat, 0x00080000, 0x10000FF);
    paintNow(w->hwnd());
    const PanelGeometry& g2 = w->layout().panels[0];
    EXPECT_GE(
        coverageOf(shownColour(w->hwnd(), static_cast<int>(g2.pixelX(10)), static_cast<int>(g2.pixelY(0.5))),
                   0x0000FF),
        0.5);
}

TEST_F(DiagramPaint, Screenshots)
{
    TimeZone utc("UTC");
    std::vector<double> a(300), b(300);
    for (size_t i = 0; i < a.size(); ++i) {
        a[i] = 3 * std::sin(static_cast<double>(i) * 0.04) * std::exp(-static_cast<double>(i) / 400.0);
        b[i] = 2 * std::cos(static_cast<double>(i) * 0.025) + 0.5;
    }
    pxDiagramWnd(0, nullptr, "Two curves", 0, 0, 0, 0, 0, 0);
    pxDisplayDiagram(a.data(), 300, 0x20, 0, 0, 0, 0);
    pxDisplayDiagram(b.data(), 300, 0x10, 0, 0, 0, 0);
    EXPECT_EQ(pxDiagramSave(0, screenshotPath("two-curves.png").c_str(), 0, 720, 420), 0);
    EXPECT_EQ(pxDiagramSave(0, screenshotPath("two-curves.svg").c_str(), 0, 720, 420), 0);
    pxDisplayDiagram(a.data(), 300, 0x20, 0, 0, 0, 0);
    pxDisplayDiagram(b.data(), 300, 0, 0, 0, 0, 0);
    EXPECT_EQ(pxDiagramSave(0, screenshotPath("two-panels.png").c_str(), 0, 720, 420), 0);

    // Half-hourly readings over two days, given as seconds since 1970.
    std::vector<double> when(96), temperature(96);
    for (size_t i = 0; i < when.size(); ++i) {
        when[i] = 1709596800.0 + 1800.0 * static_cast<double>(i);  // from 2024-03-05 00:00 UTC
        temperature[i] =
            18 + 4 * std::sin((static_cast<double>(i) - 12) * M_PI / 24) + 0.3 * std::sin(i * 1.7);
    }
    pxDiagramWnd(1, nullptr, "Temperature", 0, 0, 0, 0, 0, 0);
    pxDisplayDiagram(when.data(), 96, 0x2 | 0x4 | 0x2000, 0, 0, 0, 0);
    pxDisplayDiagram(temperature.data(), 96, 0, 0, 0, 0, 0);
    EXPECT_EQ(pxDiagramSave(1, screenshotPath("date-axis.png").c_str(), 0, 720, 420), 0);

    std::vector<double> gap(80);
    for (size_t i = 0; i < gap.size(); ++i)
        gap[i] = (i >= 30 && i < 42) ? NAN : std::sqrt(static_cast<double>(i)) * 1.5;
    pxDiagramWnd(2, nullptr, "Gap", 0, 0, 0, 0, 0, 0);
    pxDisplayDiagram(gap.data(), 80, 0x00020000, 0, 0, 0, 0);
    EXPECT_EQ(pxDiagramSave(2, screenshotPath("gap.png").c_str(), 0, 720, 420), 0);

    // The window itself, zoomed, with the crosshair over a point.
    DiagramWindow* w = DiagramWindow::of(0);
    ASSERT_NE(w, nullptr);
    pxDiagramSetView(0, 60, 220);
    const PanelGeometry g = w->layout().panels[0];
    sendMessage(w->hwnd(), win::WM_MOUSEMOVE, 0,
                at(static_cast<int>(g.pixelX(130)), static_cast<int>(g.pixelY(0))));
    pumpFor(30);
    QWidget* widget = qt::widgetOf(w->hwnd());
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(
        widget->grab().toImage().save(QString::fromStdString(screenshotPath("window-crosshair.png"))));
    EXPECT_NE(w->statusText().find("Curve 1 [130]"), std::string::npos) << w->statusText();
}

}  // namespace
