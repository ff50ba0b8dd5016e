// Diagram windows: opening and placement, painting from a cached picture, the
// rubber band, wheel and keys, the crosshair readout, and the system menu.
#include "imagelib/diagram/diagram_window.h"

#include "imagelib/diagram/data_text.h"
#include "imagelib/diagram/diagram.h"
#include "imagelib/diagram/diagram_files.h"
#include "imagelib/diagram/render.h"
#include "imagelib/diagram/view.h"
#include "imagelib/files/image_file.h"
#include "imagelib/window/file_dialogs.h"
#include "imagelib/window/placement.h"
#include "imagelib/window/window_table.h"
#include "platform/paths.h"
#include "platform/window/clipboard.h"
#include "platform/window/gdi.h"
#include "platform/window/menu.h"
#include "platform/window/stddialogs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace tvx::imagelib {

using namespace tvx::platform;
using namespace tvx::platform::win;

namespace {

// A popup with caption, system menu, sizing frame and both boxes: no scroll bars,
// the diagram always fits its window.
constexpr uint32_t kDiagramStyle = 0x80CF0000u;
constexpr int kDefaultClientWidth = 640;
constexpr int kDefaultClientHeight = 420;
constexpr int kMinTrackWidth = 200;
constexpr int kMinTrackHeight = 150;
// A drag shorter than this is a click.
constexpr double kMinDrag = 3;
// One wheel notch (120) zooms by this factor.
constexpr double kWheelFactor = 1.25;

using Windows = WindowTable<DiagramWindow, kDiagramCount>;
using Busy = Windows::Busy;

std::string placementKey(int number)
{
    return "Diagram" + std::to_string(number + 1);
}

RectF bandBetween(PointF a, PointF b)
{
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

PointF clampedTo(PointF p, const RectF& r)
{
    return {std::clamp(p.x, r.left, r.right - 0.5), std::clamp(p.y, r.top, r.bottom - 0.5)};
}

// Tells the person something: a box on a display, a printed line without one
// (nobody could answer a box there), as batch mode prints boxes.
void tell(Hwnd owner, const std::string& text)
{
    if (windowSystemVisible()) {
        messageBoxDialog(owner, text, "Diagram", 0x30);
        return;
    }
    std::printf("[Diagram] %s\n", text.c_str());
    std::fflush(stdout);
}

}  // namespace

// ---- Finding, opening and closing

DiagramWindow* DiagramWindow::of(int number)
{
    return Windows::instance().of(number);
}

int DiagramWindow::numberOf(Hwnd hwnd)
{
    return Windows::instance().indexOf(hwnd);
}

Diagram& DiagramWindow::diagram() const
{
    return diagramAt(number_);
}

DiagramWindow* DiagramWindow::open(int number)
{
    if (number < 0 || number >= kDiagramCount)
        return nullptr;
    Busy busy;
    const DiagramWindowSettings& settings = diagramAt(number).settings;
    const std::string title = settings.title.empty() ? "Diagram" : settings.title;
    if (DiagramWindow* w = of(number)) {
        setWindowText(w->hwnd_, title);
        return w;
    }
    registerClass(kClassName, &DiagramWindow::proc);
    const bool useSize = (settings.mode & 4) && settings.width > 0 && settings.height > 0;
    const Rect outer = adjustWindowRect({0, 0, useSize ? settings.width : kDefaultClientWidth,
                                         useSize ? settings.height : kDefaultClientHeight},
                                        kDiagramStyle, 0);
    const int cascade = 24 * (number % 8);
    const Hwnd parent = settings.parent && isWindow(settings.parent) ? settings.parent : 0;

    std::unique_ptr<DiagramWindow> object(new DiagramWindow(number));
    object->opening_ = true;
    DiagramWindow* w = Windows::instance().create(number, std::move(object), [&] {
        return createWindow(kClassName, title, kDiagramStyle & ~WS_VISIBLE, 0, 60 + cascade, 40 + cascade,
                            outer.width(), outer.height(), parent, 0, number);
    });
    if (!w)
        return nullptr;
    const Hwnd hwnd = w->hwnd_;
    w->restorePlacement();
    w->extendSystemMenu();
    w->setHint();
    showWindow(hwnd, SW_SHOW);
    setFocus(hwnd);
    w->opening_ = false;
    return of(number);
}

void DiagramWindow::close(int number)
{
    Windows::instance().close(number);
}

void DiagramWindow::closeAll()
{
    Windows::instance().closeAll();
}

// ---- Placement

void DiagramWindow::restorePlacement()
{
    const DiagramWindowSettings& settings = diagram().settings;
    const Rect measured = windowRect(hwnd_);
    PlacementRecord record{measured.left, measured.top, measured.width(), measured.height(), 1};
    const bool restore = !(settings.style & 1);
    if (restore && readPlacement(placementKey(number_), record)) {
        if (!(record.state & kPlacementWritten)) {
            record.state |= kPlacementWritten;
            writePlacement(placementKey(number_), record);
            lastRecord_ = formatPlacement(record);
        }
    }
    // A size or position given to pxDiagramWnd wins over the stored one.
    if ((settings.mode & 4) && settings.width > 0 && settings.height > 0) {
        record.width = measured.width();
        record.height = measured.height();
    }
    if (settings.mode & 8) {
        record.left = settings.x;
        record.top = settings.y;
    }
    const Rect wanted{record.left, record.top, record.left + std::max(1, record.width),
                      record.top + std::max(1, record.height)};
    const Rect r = placeOnScreens(wanted, displayMonitors());
    moveWindow(hwnd_, r.left, r.top, r.width(), r.height(), true);
}

void DiagramWindow::savePlacement()
{
    if (hwnd_ && !opening_ && !isIconic(hwnd_))
        saveWindowPlacement(placementKey(number_), isZoomed(hwnd_), windowRect(hwnd_), lastRecord_);
}

// ---- The picture

void DiagramWindow::refresh()
{
    pictureValid_ = false;
    if (hovering_)
        hover(cursor_);
    invalidateRect(hwnd_, nullptr, false);
}

void DiagramWindow::ensurePicture()
{
    const Rect c = clientRect(hwnd_);
    const int width = std::max(1, c.width()), height = std::max(1, c.height());
    const Diagram& d = diagram();
    if (pictureValid_ && series_ && pictureGeneration_ == d.data.generation && picture_.width == width &&
        picture_.height == height)
        return;
    const DiagramFont& font = diagramFont();
    series_ = std::make_unique<PlotSeries>(d.data);
    layout_ = layoutDiagram(d.data, *series_, d.view, width, height, font.metrics(), true);
    renderScene(drawDiagram(d.data, *series_, layout_, font.metrics()), font, picture_);
    pictureValid_ = true;
    pictureGeneration_ = d.data.generation;
}

const DiagramLayout& DiagramWindow::layout()
{
    ensurePicture();
    return layout_;
}

void DiagramWindow::paint()
{
    PaintStruct ps;
    const Hdc dc = beginPaint(hwnd_, ps);
    ensurePicture();
    const DiagramFont& font = diagramFont();
    DiagramOverlay overlay;
    overlay.status = status_;
    if (dragging_ && bandShown_) {
        overlay.band = true;
        overlay.bandRect = bandBetween(dragStart_, dragNow_);
    } else if (hovering_ && cursorPanel_ >= 0) {
        overlay.crosshair = true;
        overlay.cursor = cursor_;
        overlay.cursorPanel = cursorPanel_;
        if (nearest_.found) {
            overlay.marker = true;
            overlay.markerPoint = nearest_.pixel;
            overlay.markerRgb = curveColour(diagram().data.curves[nearest_.curve].colour, nearest_.curve);
        }
    }
    const Scene scene = drawOverlay(layout_, font.metrics(), overlay);
    frame_ = picture_;
    paintShapesOver(scene, frame_);
    showCanvas(dc, frame_);
    font.drawTexts(dc, scene);
    endPaint(hwnd_, ps);
}

// ---- Status line

void DiagramWindow::setHint()
{
    hovering_ = false;
    status_ = diagram().view.zoomed()
                  ? "Zoomed  |  click: show all  |  Shift+drag: zoom further  |  arrow keys: move"
                  : "Drag: zoom  |  wheel: zoom x, with Ctrl y  |  right click: menu";
}

void DiagramWindow::hover(PointF at)
{
    const DiagramLayout& l = layout();
    cursor_ = at;
    cursorPanel_ = l.panelAt(at);
    if (cursorPanel_ < 0) {
        setHint();
        nearest_ = {};
    } else {
        hovering_ = true;
        nearest_ = nearestPoint(*series_, l.panels[static_cast<size_t>(cursorPanel_)], at);
        status_ = readoutText(*series_, l, cursorPanel_, at, nearest_);
    }
    invalidateRect(hwnd_, nullptr, false);
}

// ---- Input

void DiagramWindow::onMouse(unsigned message, WParam wParam, LParam lParam)
{
    const PointF at{signedLoWord(lParam) + 0.5, signedHiWord(lParam) + 0.5};
    const bool shift = wParam & MK_SHIFT;
    Diagram& d = diagram();
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        const int panel = layout().panelAt(at);
        if (panel < 0)
            break;
        dragging_ = true;
        zoomedAtPress_ = d.view.zoomed();
        dragPanel_ = panel;
        dragStart_ = dragNow_ = at;
        bandShown_ = false;
        setCapture(hwnd_);
        break;
    }
    case WM_MOUSEMOVE:
        if (!dragging_) {
            hover(at);
            break;
        }
        dragNow_ = clampedTo(at, layout().panels[static_cast<size_t>(dragPanel_)].plot);
        // While zoomed, only a drag with Shift zooms further; a plain release shows all.
        bandShown_ = (!zoomedAtPress_ || shift) && (std::fabs(dragNow_.x - dragStart_.x) >= kMinDrag ||
                                                    std::fabs(dragNow_.y - dragStart_.y) >= kMinDrag);
        invalidateRect(hwnd_, nullptr, false);
        break;
    case WM_LBUTTONUP: {
        if (!dragging_)
            break;
        dragging_ = false;
        releaseCapture();
        if (zoomedAtPress_ && !shift) {
            d.view.reset();
            refresh();
        } else if (bandShown_) {
            zoomToBand(d.view, layout(), dragPanel_, bandBetween(dragStart_, dragNow_));
            refresh();
        }
        bandShown_ = false;
        hover(at);
        break;
    }
    case WM_RBUTTONDOWN:
        showSystemMenu(hwnd_, clientToScreen(hwnd_, {signedLoWord(lParam), signedHiWord(lParam)}));
        break;
    default: break;
    }
}

void DiagramWindow::onWheel(WParam wParam, LParam lParam)
{
    const int delta = static_cast<int16_t>(hiWord(wParam));
    if (delta == 0)
        return;
    const Point p = screenToClient(hwnd_, {signedLoWord(lParam), signedHiWord(lParam)});
    const PointF at{p.x + 0.5, p.y + 0.5};
    const int panel = layout().panelAt(at);
    if (panel < 0)
        return;
    const bool vertical = loWord(wParam) & MK_CONTROL;
    if (zoomAbout(diagram().view, layout_, panel, at, std::pow(kWheelFactor, delta / 120.0), vertical))
        refresh();
}

bool DiagramWindow::onKey(int key)
{
    Diagram& d = diagram();
    if (key == VK_ESCAPE && d.view.zoomed()) {
        d.view.reset();
        refresh();
        return true;
    }
    const unsigned modifiers = (isKeyDown(VK_SHIFT) ? kKeyQuarterStep : 0u) |
                               (isKeyDown(VK_CONTROL) ? kKeyVertical : 0u) |
                               (isKeyDown(VK_MENU) ? kKeyDayJump : 0u);
    ensurePicture();
    if (!applyViewKey(d.view, key, modifiers, layout_, *series_))
        return false;
    refresh();
    return true;
}

// ---- The system menu

void DiagramWindow::extendSystemMenu()
{
    const Hmenu menu = systemMenu(hwnd_);
    if (!menu)
        return;
    appendMenu(menu, MF_SEPARATOR, 0);
    appendMenu(menu, MF_STRING, kCmdCopyText, "Daten als Text kopieren");
    appendMenu(menu, MF_STRING, kCmdShowAll, "Show All");
    appendMenu(menu, MF_SEPARATOR, 0);
    appendMenu(menu, MF_STRING, kCmdSavePng, "Save Picture as PNG...");
    appendMenu(menu, MF_STRING, kCmdSaveSvg, "Save Picture as SVG...");
    appendMenu(menu, MF_STRING, kCmdSaveCsv, "Save Data as CSV...");
}

void DiagramWindow::saveAs(unsigned id)
{
    const char* filter = id == kCmdSavePng   ? "PNG picture (*.png)|*.png|"
                         : id == kCmdSaveSvg ? "SVG drawing (*.svg)|*.svg|"
                                             : "CSV table (*.csv)|*.csv|";
    const DiagramFileFormat format = id == kCmdSavePng   ? DiagramFileFormat::Png
                                     : id == kCmdSaveSvg ? DiagramFileFormat::Svg
                                                         : DiagramFileFormat::Csv;
    FileState& state = fileState();
    int filterIndex = 1;
    char path[1024];
    if (!chooseSaveFile(hwnd_, state.dialogDirectory, filter, &filterIndex, "Diagram", path, sizeof path))
        return;
    const std::string folder(directoryPart(path));
    std::snprintf(state.dialogDirectory, sizeof state.dialogDirectory, "%s", folder.c_str());
    // The picture as the window shows it, without the status line.
    const DiagramLayout& l = layout();
    const int result =
        saveDiagramFile(diagram(), path, format, l.width, l.height - static_cast<int>(l.statusLine.height()));
    if (result == kDiagramEmpty)
        tell(hwnd_, "The diagram holds no data to save.");
    else if (result != kDiagramSaved)
        tell(hwnd_, std::string("Could not write ") + path);
}

bool DiagramWindow::command(unsigned id)
{
    switch (id) {
    case kCmdCopyText: setClipboardText(clipboardDataText(diagram().data)); return true;
    case kCmdShowAll:
        diagram().view.reset();
        refresh();
        return true;
    case kCmdSavePng:
    case kCmdSaveSvg:
    case kCmdSaveCsv: saveAs(id); return true;
    default: return false;
    }
}

// ---- The window procedure

LResult DiagramWindow::proc(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam)
{
    return Windows::instance().dispatch(hwnd, message, wParam, lParam);
}

LResult DiagramWindow::dispatch(unsigned message, WParam wParam, LParam lParam, bool& done)
{
    done = true;
    switch (message) {
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MinMaxInfo*>(static_cast<intptr_t>(lParam));
        if (info)
            info->minTrackSize = {kMinTrackWidth, kMinTrackHeight};
        return 0;
    }
    case WM_PAINT: paint(); return 0;
    case WM_ERASEBKGND: return 1;  // the picture covers the whole client area
    case WM_SIZE:
        pictureValid_ = false;
        invalidateRect(hwnd_, nullptr, false);
        savePlacement();
        return 0;
    case WM_MOVE: savePlacement(); return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN: onMouse(message, wParam, lParam); return 0;
    case WM_MOUSEWHEEL: onWheel(wParam, lParam); return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: done = onKey(static_cast<int>(wParam & 0xFFFF)); return 0;
    case WM_CAPTURECHANGED:
        if (dragging_) {
            dragging_ = bandShown_ = false;
            invalidateRect(hwnd_, nullptr, false);
        }
        return 0;
    case WM_SYSCOMMAND: done = command(static_cast<unsigned>(wParam & 0xFFFFFFFF)); return 0;
    case WM_NCDESTROY: {
        const Hwnd gone = hwnd_;
        hwnd_ = 0;
        Windows::instance().retire(number_, this);
        defWindowProc(gone, message, wParam, lParam);
        return 0;
    }
    default: done = false; return 0;
    }
}

void closeAllDiagrams()
{
    for (int n = 0; n < kDiagramCount; ++n) {
        DiagramWindow::close(n);
        diagramAt(n).data.clear();
        diagramAt(n).view.reset();
    }
}

}  // namespace tvx::imagelib
