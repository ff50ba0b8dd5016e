// Diagram windows in use: zooming with the band, the wheel and the keys, the
// crosshair readout, placement in the settings file, and the save commands.
#include "DiagramTestSupport.h"

#include "imagelib/diagram/diagram_window.h"
#include "imagelib/diagram/packed_date.h"
#include "imagelib/diagram/view.h"
#include "imagelib/window/file_dialogs.h"
#include "platform/ini.h"
#include "platform/window/gdi.h"

#include <QFileDialog>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <vector>

using namespace pixorytest;
using namespace tvx::imagelib;
using namespace tvx::platform;
using namespace tvx::platform::win;

namespace {

class DiagramWindowUse : public DiagramTest {
protected:
    // A diagram of y = x over 0..100 in window 0; returns its window.
    DiagramWindow& showLine()
    {
        std::vector<double> line(101);
        for (size_t i = 0; i < line.size(); ++i)
            line[i] = static_cast<double>(i);
        showCurve(0, line);
        DiagramWindow* w = DiagramWindow::of(0);
        EXPECT_NE(w, nullptr);
        return *w;
    }
    const PanelGeometry& panel(DiagramWindow& w)
    {
        return w.layout().panels.at(0);
    }
    void drag(DiagramWindow& w, PointF from, PointF to, unsigned keys = 0)
    {
        const Hwnd h = w.hwnd();
        auto lp = [](PointF p) { return at(static_cast<int>(p.x), static_cast<int>(p.y)); };
        sendMessage(h, WM_LBUTTONDOWN, MK_LBUTTON | keys, lp(from));
        sendMessage(h, WM_MOUSEMOVE, MK_LBUTTON | keys, lp({(from.x + to.x) / 2, (from.y + to.y) / 2}));
        sendMessage(h, WM_MOUSEMOVE, MK_LBUTTON | keys, lp(to));
        sendMessage(h, WM_LBUTTONUP, keys, lp(to));
    }
    PointF pixelOf(DiagramWindow& w, double x, double y)
    {
        return {panel(w).pixelX(x), panel(w).pixelY(y)};
    }
    const DiagramView& view()
    {
        return diagramAt(0).view;
    }
};

TEST_F(DiagramWindowUse, ABandZoomsAndAPlainClickShowsAllAgain)
{
    DiagramWindow& w = showLine();
    // A drag from (20, 60) to (40, 30) in data units.
    drag(w, pixelOf(w, 20, 60), pixelOf(w, 40, 30));
    ASSERT_TRUE(view().x.valid());
    EXPECT_NEAR(view().x.lo, 20, 0.5);
    EXPECT_NEAR(view().x.hi, 40, 0.5);
    ASSERT_EQ(view().y.size(), 1u);
    EXPECT_NEAR(view().y[0].lo, 30, 0.5);
    EXPECT_NEAR(view().y[0].hi, 60, 0.5);
    EXPECT_NEAR(panel(w).x.lo, 20, 0.5);  // the window shows it
    // With Shift held, a drag zooms further.
    drag(w, pixelOf(w, 25, 50), pixelOf(w, 30, 40), MK_SHIFT);
    EXPECT_NEAR(view().x.lo, 25, 0.2);
    EXPECT_NEAR(view().x.hi, 30, 0.2);
    // A plain click (or drag) while zoomed returns to the full view.
    const PointF middle = pixelOf(w, 27, 45);
    drag(w, middle, middle);
    EXPECT_FALSE(view().zoomed());
    EXPECT_EQ(panel(w).x.lo, 0);
    // A click that is no drag zooms nothing.
    drag(w, middle, {middle.x + 1, middle.y + 1});
    EXPECT_FALSE(view().zoomed());
    // A drag only across zooms x and lets y follow the data shown.
    drag(w, pixelOf(w, 50, 50), {panel(w).pixelX(70), panel(w).pixelY(50) + 1});
    EXPECT_TRUE(view().x.valid());
    EXPECT_TRUE(view().y.empty() || !view().y[0].valid());
    EXPECT_GT(panel(w).y.lo, 45);
    EXPECT_LT(panel(w).y.hi, 75);
    // "Show All" in the menu.
    sendMessage(w.hwnd(), WM_SYSCOMMAND, DiagramWindow::kCmdShowAll, 0);
    EXPECT_FALSE(view().zoomed());
}

TEST_F(DiagramWindowUse, TheWheelZoomsAboutTheCursorAndNeverBeyondTheData)
{
    DiagramWindow& w = showLine();
    const PointF p = pixelOf(w, 30, 50);
    const Point screen = clientToScreen(w.hwnd(), {static_cast<int>(p.x), static_cast<int>(p.y)});
    const LParam where = makeLParam(screen.x, screen.y);
    const double anchor = panel(w).valueX(static_cast<int>(p.x) + 0.5);
    sendMessage(w.hwnd(), WM_MOUSEWHEEL, makeWParam(0, 120), where);
    ASSERT_TRUE(view().x.valid());
    EXPECT_NEAR(view().x.width(), 100 / 1.25, 1e-6);
    // The point under the cursor keeps its place within the range.
    EXPECT_NEAR((anchor - view().x.lo) / view().x.width(), anchor / 100, 1e-9);
    // With Ctrl the panel's y range zooms instead.
    sendMessage(w.hwnd(), WM_MOUSEWHEEL, makeWParam(MK_CONTROL, 120), where);
    ASSERT_EQ(view().y.size(), 1u);
    EXPECT_TRUE(view().y[0].valid());
    // Wheeling out ends at the whole x range: not zoomed in x any more.
    for (int i = 0; i < 5; ++i)
        sendMessage(w.hwnd(), WM_MOUSEWHEEL, makeWParam(0, static_cast<unsigned>(-120) & 0xFFFF), where);
    EXPECT_FALSE(view().x.valid());
}

TEST_F(DiagramWindowUse, KeysMoveAZoomedViewWithinTheData)
{
    DiagramWindow& w = showLine();
    DiagramView& v = diagramAt(0).view;
    const DiagramLayout& layout = w.layout();
    const PlotSeries series(dataOf(0));
    EXPECT_FALSE(applyViewKey(v, VK_RIGHT, 0, layout, series));  // not zoomed: nothing
    v.x = {40, 60};
    EXPECT_TRUE(applyViewKey(v, VK_RIGHT, 0, layout, series));
    EXPECT_DOUBLE_EQ(v.x.lo, 42);
    EXPECT_TRUE(applyViewKey(v, VK_LEFT, kKeyQuarterStep, layout, series));
    EXPECT_DOUBLE_EQ(v.x.lo, 37);
    v.x = {2, 22};
    EXPECT_TRUE(applyViewKey(v, VK_LEFT, 0, layout, series));  // stops at the data's start
    EXPECT_DOUBLE_EQ(v.x.lo, 0);
    EXPECT_FALSE(applyViewKey(v, VK_LEFT, 0, layout, series));
    EXPECT_TRUE(applyViewKey(v, VK_UP, 0, layout, series));  // narrower by the step
    EXPECT_DOUBLE_EQ(v.x.lo, 1);
    EXPECT_DOUBLE_EQ(v.x.hi, 19);
    EXPECT_TRUE(applyViewKey(v, VK_DOWN, 0, layout, series));
    EXPECT_DOUBLE_EQ(v.x.lo, 0.1);
    EXPECT_DOUBLE_EQ(v.x.hi, 19.9);
    v.x = {1, 99};
    EXPECT_TRUE(applyViewKey(v, VK_DOWN, 0, layout, series));  // not beyond the data: all of it
    EXPECT_FALSE(v.x.valid());

    // The vertical state acts on the active panel's y range.
    v.x = {40, 60};
    const Range y = w.layout().panels[0].y;
    EXPECT_TRUE(applyViewKey(v, VK_UP, kKeyVertical, w.layout(), series));
    EXPECT_DOUBLE_EQ(v.y[0].lo, y.lo + y.width() / 10);
    EXPECT_DOUBLE_EQ(v.y[0].hi, y.hi);
    w.refresh();
    const Range raised = w.layout().panels[0].y;
    EXPECT_TRUE(applyViewKey(v, VK_DOWN, kKeyVertical, w.layout(), series));
    EXPECT_DOUBLE_EQ(v.y[0].hi, raised.hi - raised.width() / 10);
    EXPECT_TRUE(applyViewKey(v, VK_HOME, kKeyVertical, w.layout(), series));
    EXPECT_FALSE(v.y[0].valid());

    // Through the window: Right moves, Escape shows all.
    w.refresh();
    sendMessage(w.hwnd(), WM_KEYDOWN, VK_RIGHT, 1);
    EXPECT_DOUBLE_EQ(view().x.lo, 42);
    sendMessage(w.hwnd(), WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_FALSE(view().zoomed());
}

TEST_F(DiagramWindowUse, TheDayJumpLandsOnAPointAtTheSameTimeOfDay)
{
    // Readings every 10 minutes, but the one a day after 08:00 came at 08:03.
    std::vector<double> x, y;
    for (int i = 0; i < 3 * 144; ++i) {
        const int day = 1 + i / 144, minute = (i % 144) * 10;
        double seconds = minute * 60.0;
        if (day == 2 && minute == 8 * 60)
            seconds += 180;
        x.push_back(packDate(2024, 3, day) * 86400.0 + seconds);
        y.push_back(i % 7);
    }
    pxDisplayDiagram(x.data(), static_cast<int>(x.size()), 0x2 | 0x1000 | 0x4, 0, 0, 0, 0);
    pxDisplayDiagram(y.data(), static_cast<int>(y.size()), 0, 0, 0, 0, 0);
    DiagramWindow* w = DiagramWindow::of(0);
    ASSERT_NE(w, nullptr);
    const double morning = calendarSeconds({2024, 3, 1, 8 * 3600.0});
    DiagramView& v = diagramAt(0).view;
    v.x = {morning - 3600, morning + 7200};
    w->refresh();
    const PlotSeries series(dataOf(0));
    ASSERT_TRUE(applyViewKey(v, VK_RIGHT, kKeyDayJump, w->layout(), series));
    EXPECT_DOUBLE_EQ(v.x.lo, calendarSeconds({2024, 3, 2, 7 * 3600.0}));  // 07:00 exists: a whole day
    EXPECT_DOUBLE_EQ(v.x.width(), 3 * 3600.0);
    v.x = {morning, morning + 3600};
    ASSERT_TRUE(applyViewKey(v, VK_RIGHT, kKeyDayJump, w->layout(), series));
    EXPECT_DOUBLE_EQ(v.x.lo, calendarSeconds({2024, 3, 2, 8 * 3600.0 + 180}));  // the nearest reading
    ASSERT_TRUE(applyViewKey(v, VK_LEFT, kKeyDayJump, w->layout(), series));
    EXPECT_DOUBLE_EQ(v.x.lo, calendarSeconds({2024, 3, 1, 8 * 3600.0}));
}

TEST_F(DiagramWindowUse, TheCrosshairReadsTheValuesUnderTheMouse)
{
    DiagramWindow& w = showLine();
    EXPECT_NE(w.statusText().find("Drag: zoom"), std::string::npos);
    const PointF p = pixelOf(w, 25, 70);
    sendMessage(w.hwnd(), WM_MOUSEMOVE, 0, at(static_cast<int>(p.x), static_cast<int>(p.y)));
    const std::string status = w.statusText();
    ASSERT_EQ(status.rfind("x = ", 0), 0u) << status;
    EXPECT_NEAR(std::stod(status.substr(4)), 25, 0.5) << status;
    ASSERT_NE(status.find("y = "), std::string::npos) << status;
    EXPECT_NEAR(std::stod(status.substr(status.find("y = ") + 4)), 70, 0.5) << status;
    EXPECT_NE(status.find("Curve 1 [25]: 25, 25"), std::string::npos) << status;  // the reading at that x
    // The crosshair shows in the picture: a dashed grey line through the cursor.
    paintNow(w.hwnd());
    int grey = 0;
    for (int dy = 0; dy < 14; ++dy)
        grey += shownColour(w.hwnd(), static_cast<int>(p.x), static_cast<int>(p.y) - 40 - dy) == 0x808080u;
    EXPECT_GE(grey, 6);
    // Outside the plot the hint comes back.
    sendMessage(w.hwnd(), WM_MOUSEMOVE, 0, at(2, 2));
    EXPECT_NE(w.statusText().find("Drag: zoom"), std::string::npos);
}

TEST_F(DiagramWindowUse, PlacementIsKeptUnderItsOwnKey)
{
    DiagramWindow& w = showLine();
    moveWindow(w.hwnd(), 210, 120, 500, 360, true);
    const std::string record = iniGetString(iniPath(), "Windows", "Diagram1", "");
    EXPECT_EQ(record, "210 120 500 360 17");
    pxDiagramWnd(0, nullptr, nullptr, -1, 0, 0, 0, 0, 0);
    // Opened again, the window comes back where it was.
    showLine();
    EXPECT_EQ(windowRect(DiagramWindow::of(0)->hwnd()).left, 210);
    EXPECT_EQ(windowRect(DiagramWindow::of(0)->hwnd()).width(), 500);
    // Style 1 does not restore it; a position given with mode bit 3 is used.
    pxDiagramWnd(0, nullptr, nullptr, -1, 0, 0, 0, 0, 0);
    pxDiagramWnd(0, nullptr, nullptr, 8, 1, 0, 0, 333, 222);
    const Rect r = windowRect(diagramWindowOf(0));
    EXPECT_EQ(r.left, 333);
    EXPECT_EQ(r.top, 222);
    EXPECT_NE(r.width(), 500);
    EXPECT_EQ(iniGetString(iniPath(), "Windows", "Display1", ""), "");  // image windows' keys stay apart
}

TEST_F(DiagramWindowUse, TheSaveCommandsAskForAFileAndWriteIt)
{
    setDialogsWithoutDisplay(true);
    DiagramWindow& w = showLine();
    whenChooserUp([&](QFileDialog* dialog) { choose(dialog, path("line")); });
    sendMessage(w.hwnd(), WM_SYSCOMMAND, DiagramWindow::kCmdSaveCsv, 0);
    EXPECT_TRUE(std::filesystem::exists(path("line.csv")));  // the filter's extension is added
    whenChooserUp([&](QFileDialog* dialog) { choose(dialog, path("line.png")); });
    sendMessage(w.hwnd(), WM_SYSCOMMAND, DiagramWindow::kCmdSavePng, 0);
    EXPECT_TRUE(std::filesystem::exists(path("line.png")));
    whenChooserUp([](QFileDialog* dialog) { QMetaObject::invokeMethod(dialog, "reject"); });
    sendMessage(w.hwnd(), WM_SYSCOMMAND, DiagramWindow::kCmdSaveSvg, 0);
    EXPECT_FALSE(std::filesystem::exists(path("line.svg")));
    setDialogsWithoutDisplay(false);
}

TEST_F(DiagramWindowUse, TheViewCanBeSetAndReadByMacros)
{
    showLine();
    double lo = 0, hi = 0;
    EXPECT_EQ(pxDiagramGetView(0, &lo, &hi), 0);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 100);
    EXPECT_EQ(pxDiagramSetView(0, 10, 20), 0);
    EXPECT_EQ(pxDiagramGetView(0, &lo, &hi), 1);
    EXPECT_EQ(lo, 10);
    EXPECT_EQ(hi, 20);
    EXPECT_EQ(DiagramWindow::of(0)->layout().panels[0].x.lo, 10);
    EXPECT_EQ(pxDiagramSetView(0, 1, 1), 0);  // shows all
    EXPECT_EQ(pxDiagramGetView(0, nullptr, nullptr), 0);
    // On a date axis the range is given and read as packed values.
    const double x[] = {packDate(2024, 1, 30) * 86400.0, packDate(2024, 2, 2) * 86400.0};
    pxDisplayDiagram(x, 2, 0x2 | 0x1000 | 0x4, 0, 0, 0, 0);
    pxDisplayDiagram(x, 2, 0, 0, 0, 0, 0);
    const double from = packDate(2024, 1, 31) * 86400.0 + 3600, to = packDate(2024, 2, 1) * 86400.0;
    EXPECT_EQ(pxDiagramSetView(0, from, to), 0);
    EXPECT_EQ(pxDiagramGetView(0, &lo, &hi), 1);
    EXPECT_EQ(lo, from);
    EXPECT_EQ(hi, to);
    EXPECT_EQ(pxDiagramSetView(0, 1, 5), -1);  // no dates
}

}  // namespace
