// Image windows: creation, layout, zoom and scroll, mouse and keys, the system
// menu, full screen, placement, painting.
#include "imagelib/window/image_window.h"

#include "imagelib/core/slot.h"
#include "imagelib/markers/marker_paint.h"
#include "imagelib/palette/palette.h"
#include "imagelib/pixory.h"
#include "imagelib/window/input_state.h"
#include "imagelib/window/paint.h"
#include "imagelib/window/placement.h"
#include "imagelib/window/window_table.h"
#include "platform/clock.h"
#include "platform/window/dialog.h"
#include "platform/window/gdi.h"
#include "platform/window/menu.h"
#include "platform/window/stddialogs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace tvx::imagelib {

using namespace tvx::platform;
using namespace tvx::platform::win;

namespace {

constexpr uint32_t kFramedStyle = 0x80FF0000u;  // popup, caption, system menu, sizing frame, boxes, both bars
constexpr uint32_t kBareStyle = 0x80000000u;    // a popup without frame
constexpr int kMinTrack = 64;
constexpr int kLineStep = 32;
constexpr int kScrollBar = 17;  // as the window layer draws a window's own bars
// Wheel steps are counted per tick of a clock that advances every 16 ms (the
// tick of the classic system clock); a burst of wheel messages makes one step per tick.
constexpr uint32_t kTickMs = 16;

// Command ids of the system menu's own entries.
enum : unsigned {
    kCmdSaveAs = 1,
    kCmdPaletteFirst = 10,
    kCmdPaletteLast = 18,
    kCmdZoom1 = 21,
    kCmdZoom2 = 22,
    kCmdZoom4 = 24,
    kCmdZoomHalf = 25,
    kCmdZoomQuarter = 26,
    kCmdZoomEighth = 27,
    kCmdFit = 28,
    kCmdShowZoom = 29,
    kCmdFactorRoot2 = 31,
    kCmdFactorRoot4 = 32,
    kCmdFactor11 = 33,
    kCmdFactor1 = 34,
    kCmdFactor2 = 35,
};

using Windows = WindowTable<ImageWindow, kSlotCount>;
using Busy = Windows::Busy;
int gOpening = 0;  // windows being opened by the library now
uint32_t gLastWheelTick = 0xFFFFFFFFu;

Rect frameOf(Hwnd hwnd)
{
    const uint32_t style = static_cast<uint32_t>(getWindowLong(hwnd, GWL_STYLE));
    const uint32_t exStyle = static_cast<uint32_t>(getWindowLong(hwnd, GWL_EXSTYLE));
    const Rect r = adjustWindowRect({0, 0, 0, 0}, style, exStyle);
    return {-r.left, -r.top, r.right, r.bottom};
}

int imageWidthOf(const Slot& slot)
{
    return slot.empty() ? 512 : slot.width();
}
int imageHeightOf(const Slot& slot)
{
    return slot.empty() ? 512 : slot.height();
}

int toInt(int64_t v)
{
    return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

void showZoomValues(Hwnd hwnd, const Slot& slot)
{
    char text[128];
    std::snprintf(text, sizeof text, "Zoom Factor = %g\rChange Factor = %g", usableZoom(slot.zoom),
                  slot.changeFactor);
    if (windowSystemVisible()) {
        messageBoxDialog(hwnd, text, "Zoom", 0);
        return;
    }
    // Nobody can answer a box without a display: it is printed, as batch mode prints boxes.
    std::string printed = text;
    std::replace(printed.begin(), printed.end(), '\r', '\n');
    std::printf("[Zoom] %s\n", printed.c_str());
    std::fflush(stdout);
}

}  // namespace

// ---- Finding and opening windows

ImageWindow* ImageWindow::of(int number)
{
    return Windows::instance().of(resolveNumber(number));
}

ImageWindow* ImageWindow::ofHandle(Hwnd hwnd)
{
    return Windows::instance().entry(Windows::instance().indexOf(hwnd));
}

int ImageWindow::numberOf(Hwnd hwnd)
{
    if (!hwnd)
        return -1;
    for (int n = 0; n < kSlotCount; ++n) {
        const ImageWindow* w = Windows::instance().of(n);
        if (w && (w->hwnd_ == hwnd || isChild(w->hwnd_, hwnd)))
            return n;
    }
    return -1;
}

Slot& ImageWindow::slot() const
{
    return *slotFor(number_);
}

ImageWindow* ImageWindow::open(int number, Hwnd parent, const std::string& title)
{
    const int n = resolveNumber(number);
    if (n < 0)
        return nullptr;
    Busy busy;
    if (ImageWindow* w = of(n)) {
        setWindowText(w->hwnd_, title);
        w->recomputeLayout();
        return of(n);
    }
    Slot& s = *slotFor(n);
    registerClass(kClassName, &ImageWindow::proc);
    uint32_t style = s.windowStyle == 0   ? kFramedStyle
                     : s.windowStyle == 1 ? kBareStyle
                                          : static_cast<uint32_t>(s.windowStyle);
    style &= ~WS_VISIBLE;
    if (parent && !isWindow(parent))
        parent = 0;
    const int zw = s.empty() ? 512 : zoomedExtent(s.width(), s.zoom);
    const int zh = s.empty() ? 512 : zoomedExtent(s.height(), s.zoom);
    const Rect outer = adjustWindowRect({0, 0, zw, zh}, style, 0);

    std::unique_ptr<ImageWindow> object(new ImageWindow(n));
    object->opening_ = true;
    ++gOpening;
    ImageWindow* w = Windows::instance().create(n, std::move(object), [&] {
        return createWindow(kClassName, title, style, 0, 20, 10, outer.width(), outer.height(), parent, 0, n);
    });
    if (!w) {
        --gOpening;
        s.window = nullptr;
        return nullptr;
    }
    const Hwnd hwnd = w->hwnd_;
    s.window = reinterpret_cast<void*>(static_cast<uintptr_t>(hwnd));
    w->recomputeLayout();
    if (s.windowStyle != 1 && w->hwnd_) {
        PlacementRequest request;
        request.useStoredSize = true;
        w->restorePlacement(request);
    }
    if (w->hwnd_) {
        w->extendSystemMenu();
        showWindow(hwnd, SW_SHOW);
    }
    if (w->hwnd_ && !(style & WS_CHILD))
        setFocus(hwnd);
    w->opening_ = false;
    --gOpening;
    return of(n);
}

void ImageWindow::close(int number)
{
    Windows::instance().close(resolveNumber(number));
}

void ImageWindow::closeAll()
{
    Windows::instance().closeAll();
}

// ---- Layout

Rect ImageWindow::clientArea() const
{
    return clientRect(hwnd_);
}

double ImageWindow::zoom() const
{
    return usableZoom(slot().zoom);
}

double ImageWindow::fitZoom() const
{
    const Rect c = clientArea();
    const int w = c.width() + (barV_ ? kScrollBar : 0);
    const int h = c.height() + (barH_ ? kScrollBar : 0);
    return imagelib::fitZoom(w, h, imageWidthOf(slot()), imageHeightOf(slot()));
}

void ImageWindow::recomputeLayout()
{
    if (inLayout_ || !hwnd_)
        return;
    inLayout_ = true;
    Busy busy;
    for (int pass = 0; pass < 3 && hwnd_; ++pass) {
        const Slot& s = slot();
        const double z = zoom();
        zoomedWidth_ = s.empty() ? 512 : zoomedExtent(s.width(), z);
        zoomedHeight_ = s.empty() ? 512 : zoomedExtent(s.height(), z);
        const uint32_t style = static_cast<uint32_t>(getWindowLong(hwnd_, GWL_STYLE));
        const Rect frame = frameOf(hwnd_);
        const Rect outer = windowRect(hwnd_);
        const int fullW = outer.width() - frame.left - frame.right;
        const int fullH = outer.height() - frame.top - frame.bottom;
        const bool noRange = s.flags & (kFlagEnlargeScroll | kFlagNoScrollRange);
        const bool allowH = (style & WS_HSCROLL) && !noRange;
        const bool allowV = (style & WS_VSCROLL) && !noRange;
        bool needH = allowH && zoomedWidth_ > fullW;
        bool needV = allowV && zoomedHeight_ > fullH;
        if (needH && !needV && allowV && zoomedHeight_ > fullH - kScrollBar)
            needV = true;
        if (needV && !needH && allowH && zoomedWidth_ > fullW - kScrollBar)
            needH = true;
        barH_ = needH;
        barV_ = needV;
        showScrollBar(hwnd_, SB_HORZ, needH);
        showScrollBar(hwnd_, SB_VERT, needV);
        const Rect c = clientArea();
        rangeX_ = noRange ? 0 : std::max<int64_t>(0, zoomedWidth_ - c.width());
        rangeY_ = noRange ? 0 : std::max<int64_t>(0, zoomedHeight_ - c.height());
        pageX_ = std::max(1, c.width() - 1);
        pageY_ = std::max(1, c.height() - 1);
        scrollX_ = std::clamp<int64_t>(scrollX_, 0, rangeX_);
        scrollY_ = std::clamp<int64_t>(scrollY_, 0, rangeY_);
        if (needH) {
            setScrollRange(hwnd_, SB_HORZ, 0, toInt(rangeX_ + c.width() - 1), false);
            setScrollPage(hwnd_, SB_HORZ, static_cast<unsigned>(std::max(1, c.width())));
            setScrollPos(hwnd_, SB_HORZ, toInt(scrollX_));
        }
        if (needV) {
            setScrollRange(hwnd_, SB_VERT, 0, toInt(rangeY_ + c.height() - 1), false);
            setScrollPage(hwnd_, SB_VERT, static_cast<unsigned>(std::max(1, c.height())));
            setScrollPos(hwnd_, SB_VERT, toInt(scrollY_));
        }
        // The window is no larger than its picture (its tracking size): a zoom out
        // takes the spare room away.
        if (fullScreen_ || isZoomed(hwnd_) || isIconic(hwnd_))
            break;
        const MinMaxInfo limits = windowSizeLimits(hwnd_);
        const int width = std::min(outer.width(), limits.maxTrackSize.x);
        const int height = std::min(outer.height(), limits.maxTrackSize.y);
        const bool shrink = width != outer.width() || height != outer.height();
        // Passing the rectangle on also hands the new tracking sizes to the toolkit.
        moveWindow(hwnd_, outer.left, outer.top, width, height, shrink);
        if (!shrink)
            break;
    }
    inLayout_ = false;
}

bool ImageWindow::setZoom(double zoom)
{
    if (!(zoom > 0))
        return false;
    Slot& s = slot();
    const double old = usableZoom(s.zoom);
    const double z = clampZoom(zoom);
    const bool changed = s.zoom != z;
    s.zoom = z;
    s.savedZoom = s.previousSavedZoom = 0;
    if (changed && !(s.flags & kFlagNoUpdate)) {
        // The picture point at the top left corner stays there.
        scrollX_ = scrollKeepingPoint(scrollX_, 0, old, z);
        scrollY_ = scrollKeepingPoint(scrollY_, 0, old, z);
        recomputeLayout();
        repaint(0);
    }
    return changed;
}

void ImageWindow::zoomStep(bool in, Point about, bool wheel)
{
    Busy busy;
    Slot& s = slot();
    if (s.changeFactor < 0.1 || std::isnan(s.changeFactor))
        s.changeFactor = 2.0;
    const double factor = stepFactor(s.changeFactor, wheel);
    const double old = zoom();
    const Rect c = clientArea();
    if (!in)
        about = {c.width() / 2, c.height() / 2};
    const double stepped = steppedZoom(old, factor, in);
    FitMemory memory{s.savedZoom, s.previousSavedZoom};
    const bool stopApplies = !(s.zoomOptions & 1) && factor > 1.01;
    const double next = zoomAfterFitStop(old, stepped, fitZoom(), stopApplies, in, memory);
    s.savedZoom = memory.saved;
    s.previousSavedZoom = memory.previous;
    s.zoom = next;
    scrollX_ = scrollKeepingPoint(scrollX_, about.x, old, next);
    scrollY_ = scrollKeepingPoint(scrollY_, about.y, old, next);
    recomputeLayout();
    repaint(0);
}

void ImageWindow::scrollTo(int64_t x, int64_t y, bool enlarge)
{
    x = std::clamp<int64_t>(x, 0, kMaxZoomedExtent);
    y = std::clamp<int64_t>(y, 0, kMaxZoomedExtent);
    const Rect c = clientArea();
    if (enlarge && x > rangeX_) {
        rangeX_ = x;
        if (barH_)
            setScrollRange(hwnd_, SB_HORZ, 0, toInt(rangeX_ + c.width() - 1), false);
    }
    if (enlarge && y > rangeY_) {
        rangeY_ = y;
        if (barV_)
            setScrollRange(hwnd_, SB_VERT, 0, toInt(rangeY_ + c.height() - 1), false);
    }
    scrollX_ = std::clamp<int64_t>(x, 0, rangeX_);
    scrollY_ = std::clamp<int64_t>(y, 0, rangeY_);
    if (barH_)
        setScrollPos(hwnd_, SB_HORZ, toInt(scrollX_));
    if (barV_)
        setScrollPos(hwnd_, SB_VERT, toInt(scrollY_));
}

void ImageWindow::repaint(int how)
{
    if (!hwnd_)
        return;
    invalidateRect(hwnd_, nullptr, how & 1);
    if (how & 2) {
        sendMessage(hwnd_, WM_PAINT, 0, 0);
    } else if (how & 4) {
        const Hdc dc = getDC(hwnd_);
        const Rect c = clientArea();
        paintSlot(dc, slot(), {scrollX_, scrollY_, c.width(), c.height(), zoom()},
                  slot().flags & kFlagOffscreenPaint);
        paintMarkers(dc, markers_, markerView(), c);
        releaseDC(hwnd_, dc);
    }
}

void ImageWindow::paint()
{
    PaintStruct ps;
    const Hdc dc = beginPaint(hwnd_, ps);
    const Rect c = clientArea();
    paintSlot(dc, slot(), {scrollX_, scrollY_, c.width(), c.height(), zoom()},
              slot().flags & kFlagOffscreenPaint);
    paintMarkers(dc, markers_, markerView(), ps.paint);
    endPaint(hwnd_, ps);
}

void ImageWindow::markersChanged()
{
    if (hwnd_ && !(slot().flags & kFlagNoUpdate))
        invalidateRect(hwnd_, nullptr, false);
}

// ---- Placement

void ImageWindow::restorePlacement(const PlacementRequest& request)
{
    if (!hwnd_)
        return;
    Busy busy;
    const Rect measured = windowRect(hwnd_);
    PlacementRecord record{measured.left, measured.top, measured.width(), measured.height(), 1};
    readPlacement(number_, record);
    if (!request.useStoredSize) {
        record.width = measured.width();
        record.height = measured.height();
    }
    if (request.hasSize) {
        record.width = request.width;
        record.height = request.height;
    }
    if (request.hasPosition) {
        record.left = request.left;
        record.top = request.top;
    }
    if (!(record.state & kPlacementWritten)) {
        record.state |= kPlacementWritten;
        writePlacement(number_, record);
        lastRecord_ = formatPlacement(record);
    }
    const Rect wanted{record.left, record.top, record.left + std::max(1, record.width),
                      record.top + std::max(1, record.height)};
    const Rect r = placeOnScreens(wanted, displayMonitors());
    placed_ = true;
    moveWindow(hwnd_, r.left, r.top, r.width(), r.height(), true);
}

void ImageWindow::savePlacement()
{
    if (!hwnd_ || opening_ || gOpening > 0 || (slot().flags & kFlagCreating) || isIconic(hwnd_))
        return;
    saveWindowPlacement(imagePlacementKey(number_), fullScreen_ || isZoomed(hwnd_),
                        fullScreen_ ? normalPlacement_.normalPosition : windowRect(hwnd_), lastRecord_);
}

// ---- Full screen

void ImageWindow::enterFullScreen(bool workArea)
{
    if (fullScreen_ || !hwnd_)
        return;
    Busy busy;
    getWindowPlacement(hwnd_, normalPlacement_);
    const double z = zoom();
    fullZoom_ = z;
    fullImageX_ = scrollX_ / z;
    fullImageY_ = scrollY_ / z;
    fullScreen_ = true;
    fullByMaximise_ = workArea;
    const std::vector<MonitorInfo> monitors = displayMonitors();
    const MonitorInfo& monitor = monitors[monitorNearest(windowRect(hwnd_))];
    const Rect area = workArea ? monitor.work : monitor.monitor;
    const uint32_t style = static_cast<uint32_t>(getWindowLong(hwnd_, GWL_STYLE));
    const Rect r = adjustWindowRect(area, style, static_cast<uint32_t>(getWindowLong(hwnd_, GWL_EXSTYLE)));
    moveWindow(hwnd_, r.left, r.top, r.width(), r.height(), true);
    if (workArea) {
        recomputeLayout();
        const double fit = fitZoom();
        if (fit > z) {
            slot().zoom = clampZoom(fit);
        } else {
            scrollX_ = std::llround(fullImageX_ * z);
            scrollY_ = std::llround(fullImageY_ * z);
        }
    }
    recomputeLayout();
    repaint(0);
}

void ImageWindow::leaveFullScreen()
{
    if (!fullScreen_ || !hwnd_)
        return;
    Busy busy;
    fullScreen_ = false;
    if (fullByMaximise_)
        slot().zoom = fullZoom_;
    setWindowPlacement(hwnd_, normalPlacement_);
    if (fullByMaximise_) {
        const double z = zoom();
        scrollX_ = std::llround(fullImageX_ * z);
        scrollY_ = std::llround(fullImageY_ * z);
    }
    recomputeLayout();
    repaint(0);
}

// ---- The system menu

void ImageWindow::extendSystemMenu()
{
    const Hmenu menu = systemMenu(hwnd_);
    if (!menu)
        return;
    appendMenu(menu, MF_SEPARATOR, 0);
    const Hmenu colours = createPopupMenu();
    const char* names[] = {"&Grey",
                           "Blue Grey Red",
                           "Glowscale",
                           "Rainbow",
                           "Grey, contrast x 2",
                           "Grey, contrast x 4",
                           "Grey, contrast x 8",
                           "Grey, contrast x 16",
                           "Grey inverted"};
    for (unsigned i = 0; i < 9; ++i)
        appendMenu(colours, MF_STRING, kCmdPaletteFirst + i, names[i]);
    appendMenu(menu, MF_POPUP, colours, "Color Table");

    const Hmenu zoomMenu = createPopupMenu();
    appendMenu(zoomMenu, MF_STRING, kCmdFit, "Fit to Window");
    appendMenu(zoomMenu, MF_STRING, kCmdShowZoom, "Get Zoom Value");
    appendMenu(zoomMenu, MF_STRING, kCmdZoom1, "Zoom = 1");
    appendMenu(zoomMenu, MF_STRING, kCmdZoom2, "Zoom = 2");
    appendMenu(zoomMenu, MF_STRING, kCmdZoom4, "Zoom = 4");
    appendMenu(zoomMenu, MF_STRING, kCmdZoomHalf, "Zoom = 1/2");
    appendMenu(zoomMenu, MF_STRING, kCmdZoomQuarter, "Zoom = 1/4");
    appendMenu(zoomMenu, MF_STRING, kCmdZoomEighth, "Zoom = 1/8");
    // The factors the window does not use now (the menu is built once).
    const struct {
        unsigned id;
        double value;
        const char* text;
    } factors[] = {{kCmdFactor2, 2.0, "Change Factor = 2"},
                   {kCmdFactorRoot2, std::sqrt(2.0), "Change Factor = 2^0.5"},
                   {kCmdFactorRoot4, std::pow(2.0, 0.25), "Change Factor = 2^0.25"},
                   {kCmdFactor11, 1.1, "Change Factor = 1.1"},
                   {kCmdFactor1, 1.0, "Change Factor = 1"}};
    for (const auto& f : factors)
        if (f.value != slot().changeFactor)
            appendMenu(zoomMenu, MF_STRING, f.id, f.text);
    appendMenu(menu, MF_POPUP, zoomMenu, "Zoom");
    appendMenu(menu, MF_STRING, kCmdSaveAs, "Save As...");
}

bool ImageWindow::onSysCommand(WParam wParam)
{
    const unsigned id = static_cast<unsigned>(wParam & 0xFFFFFFFF);
    Slot& s = slot();
    const int n = number_;
    if (id >= kCmdPaletteFirst && id <= kCmdPaletteLast) {
        applyPaletteWord(n, id - kCmdPaletteFirst);
        repaint(0);
        return true;
    }
    switch (id) {
    case kCmdZoom1: pxSetWindowZoom(n, 1, 0, 0); return true;
    case kCmdZoom2: pxSetWindowZoom(n, 2, 0, 0); return true;
    case kCmdZoom4: pxSetWindowZoom(n, 4, 0, 0); return true;
    case kCmdZoomHalf: pxSetWindowZoom(n, 0.5, 0, 0); return true;
    case kCmdZoomQuarter: pxSetWindowZoom(n, 0.25, 0, 0); return true;
    case kCmdZoomEighth: pxSetWindowZoom(n, 0.125, 0, 0); return true;
    case kCmdFit: pxSetWindowZoom(n, -1, 0, 0); return true;
    case kCmdShowZoom: showZoomValues(hwnd_, s); return true;
    case kCmdFactor2: s.changeFactor = 2.0; return true;
    case kCmdFactorRoot2: s.changeFactor = std::sqrt(2.0); return true;
    case kCmdFactorRoot4: s.changeFactor = std::pow(2.0, 0.25); return true;
    case kCmdFactor11: s.changeFactor = 1.1; return true;
    case kCmdFactor1: return true;
    case kCmdSaveAs: pxImageSaveAs(n); return true;
    default: break;
    }
    if ((id & ~2u) == SC_MAXIMIZE) {
        enterFullScreen(true);
        return true;
    }
    if ((id & 0xFFF0) == SC_RESTORE && fullScreen_) {
        leaveFullScreen();
        return true;
    }
    return false;
}

// ---- Input

double ImageWindow::imageX(int clientX) const
{
    return (static_cast<double>(scrollX_) + clientX) / zoom();
}
double ImageWindow::imageY(int clientY) const
{
    return (static_cast<double>(scrollY_) + clientY) / zoom();
}

void ImageWindow::onMouse(unsigned message, WParam wParam, LParam lParam)
{
    const int cx = signedLoWord(lParam), cy = signedHiWord(lParam);
    const double x = imageX(cx), y = imageY(cy);
    const int buttons = static_cast<int>(wParam & 0xFFFF);
    const int n = number_;
    const Slot& s = slot();
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:  // the class takes no double clicks: a second press
        setCurrentImage(n);
        recordCursor(n, x, y, buttons);
        // The markers get the press first; a picked one keeps the mouse while it is dragged.
        if (markers_.press({cx, cy}, markerView(), tickCountMs())) {
            setCapture(hwnd_);
            markersChanged();
        }
        if (!s.empty() && x >= 0 && y >= 0 && x < s.width() && y < s.height())
            recordClick(n, x, y, n);
        break;
    case WM_MOUSEMOVE:
        recordCursor(n, x, y, buttons);
        if (markers_.move({cx, cy}, markerView(), buttons & MK_LBUTTON, tickCountMs()))
            markersChanged();
        break;
    case WM_LBUTTONUP:
        inputState().cursorButtons = buttons;
        markers_.release();
        if (captureWindow() == hwnd_)
            releaseCapture();
        break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        setCurrentImage(n);
        recordCursor(n, x, y, buttons);
        if (markers_.dragging())
            break;  // a marker being dragged takes the right button too
        if (s.changeFactor >= 0.1 && s.changeFactor <= 1.0)
            recordClick(n, x, y, kClickRight + n);
        else
            zoomStep(true, {cx, cy}, false);
        break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
        setCurrentImage(n);
        recordCursor(n, x, y, buttons);
        recordClick(n, x, y, kClickMiddle + n);
        break;
    default: break;
    }
}

void ImageWindow::onWheel(WParam wParam, LParam lParam)
{
    const uint32_t tick = tickCountMs() / kTickMs;
    if (tick == gLastWheelTick)
        return;
    const Slot& s = slot();
    if (!(s.changeFactor >= 0.1))
        return;
    const Point p = screenToClient(hwnd_, {signedLoWord(lParam), signedHiWord(lParam)});
    const Rect c = clientArea();
    if (p.x < 0 || p.y < 0 || p.x >= c.width() || p.y >= c.height())
        return;
    const int delta = static_cast<int16_t>(hiWord(wParam));
    if (delta == 0)
        return;
    gLastWheelTick = tick;
    if (s.changeFactor == 1.0)
        recordClick(number_, imageX(p.x), imageY(p.y),
                    (delta > 0 ? kClickWheelForward : kClickWheelBack) + number_);
    else
        zoomStep(delta > 0, p, true);
}

void ImageWindow::onScroll(int bar, unsigned code, unsigned position)
{
    const bool horizontal = bar == SB_HORZ;
    const int64_t current = horizontal ? scrollX_ : scrollY_;
    const int64_t range = horizontal ? rangeX_ : rangeY_;
    const int page = horizontal ? pageX_ : pageY_;
    int64_t next = current;
    switch (code) {
    case SB_LINEUP: next -= kLineStep; break;
    case SB_LINEDOWN: next += kLineStep; break;
    case SB_PAGEUP: next -= page; break;
    case SB_PAGEDOWN: next += page; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        // The message holds 16 bits of the position; the bar knows all of it.
        const int64_t track = scrollTrackPos(hwnd_, bar);
        if ((track & 0xFFFF) == position) {
            next = track;
        } else {
            next = (current & ~int64_t{0xFFFF}) | position;
            if (next - current > 0x8000)
                next -= 0x10000;
            else if (current - next > 0x8000)
                next += 0x10000;
        }
        break;
    }
    case SB_TOP: next = 0; break;
    case SB_BOTTOM: next = range; break;
    default: return;
    }
    next = std::clamp<int64_t>(next, 0, range);
    if (next == current)
        return;
    if (horizontal)
        scrollTo(next, scrollY_, false);
    else
        scrollTo(scrollX_, next, false);
    invalidateRect(hwnd_, nullptr, false);
}

// ---- The window procedure

LResult ImageWindow::proc(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam)
{
    return Windows::instance().dispatch(hwnd, message, wParam, lParam);
}

LResult ImageWindow::dispatch(unsigned message, WParam wParam, LParam lParam, bool& done)
{
    done = true;
    switch (message) {
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MinMaxInfo*>(static_cast<intptr_t>(lParam));
        if (!info)
            return 0;
        info->minTrackSize = {kMinTrack, kMinTrack};
        if (!fullScreen_) {
            const Rect frame = frameOf(hwnd_);
            const int64_t w = int64_t{zoomedWidth_} + frame.left + frame.right + (barV_ ? kScrollBar : 0);
            const int64_t h = int64_t{zoomedHeight_} + frame.top + frame.bottom + (barH_ ? kScrollBar : 0);
            info->maxTrackSize.x = toInt(std::clamp<int64_t>(w, kMinTrack, info->maxTrackSize.x));
            info->maxTrackSize.y = toInt(std::clamp<int64_t>(h, kMinTrack, info->maxTrackSize.y));
        }
        return 0;
    }
    case WM_PAINT: paint(); return 0;
    case WM_ERASEBKGND: return 1;  // painting covers the whole client area
    case WM_SIZE:
        recomputeLayout();
        savePlacement();
        return 0;
    case WM_MOVE: savePlacement(); return 0;
    case WM_HSCROLL:
    case WM_VSCROLL:
        onScroll(message == WM_HSCROLL ? SB_HORZ : SB_VERT, loWord(wParam), hiWord(wParam));
        return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK: onMouse(message, wParam, lParam); return 0;
    case WM_MOUSEWHEEL: onWheel(wParam, lParam); return 0;
    case WM_NCRBUTTONDOWN:
    case WM_NCRBUTTONDBLCLK:
        setCurrentImage(number_);
        zoomStep(false, {}, false);
        return 0;
    case WM_NCLBUTTONDBLCLK:
        inputState().focusCode = number_ + kFrameDoubleClick;
        done = false;
        return 0;
    case WM_SETFOCUS:
        setCurrentImage(number_);
        if (gOpening == 0)
            inputState().focusCode = number_ + kFocusGained;
        done = false;
        return 0;
    case WM_CHAR:
    case WM_KEYDOWN:
        recordKey(message, wParam);
        done = false;
        return 0;
    case WM_SYSCOMMAND: done = onSysCommand(wParam); return 0;
    case WM_DESTROY: {
        Slot& s = slot();
        if (s.window == reinterpret_cast<void*>(static_cast<uintptr_t>(hwnd_)))
            s.window = nullptr;
        done = false;
        return 0;
    }
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

}  // namespace tvx::imagelib
