// Exports: opening image windows, zoom, scroll, size and position, full screen,
// monitors.
#include "imagelib/core/export.h"
#include "imagelib/core/slot.h"
#include "imagelib/window/image_window.h"
#include "imagelib/window/placement.h"
#include "imagelib/window/zoom.h"
#include "platform/memprobe.h"
#include "platform/window/window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

using namespace tvx::imagelib;
using namespace tvx::platform;

namespace {

// A window rectangle's size for a client area of width x height.
Rect outerFor(Hwnd hwnd, int width, int height)
{
    return adjustWindowRect({0, 0, std::max(1, width), std::max(1, height)},
                            static_cast<uint32_t>(getWindowLong(hwnd, win::GWL_STYLE)),
                            static_cast<uint32_t>(getWindowLong(hwnd, win::GWL_EXSTYLE)));
}

// The record to change: the window where it is now, with the stored state.
PlacementRecord measuredRecord(const ImageWindow& w)
{
    const Rect r = windowRect(w.hwnd());
    PlacementRecord stored;
    const bool had = readPlacement(w.number(), stored);
    return {r.left, r.top, r.width(), r.height(), had ? stored.state | kPlacementWritten : kPlacementNormal};
}

void setFullScreen(ImageWindow& w, int mode)
{
    if (mode == 0 || (mode == 2 && w.fullScreen()))
        w.leaveFullScreen();
    else if (mode == 1 || mode == 2)
        w.enterFullScreen(false);
}

struct MonitorRecord {
    uint32_t cbSize = 40;
    Rect monitor;
    Rect work;
    uint32_t flags = 0;
};
static_assert(sizeof(MonitorRecord) == 40);

}  // namespace

PX_EXPORT int pxOpenImageWindow(int number, void* parent, const char* title)
{
    return guarded(0, [&] {
        const int n = resolveNumber(number);
        if (n < 0)
            return 0;
        std::string text;
        const long length = title ? readableStringLength(title, 512) : -1;
        if (length >= 0) {
            text.assign(title, static_cast<size_t>(std::min(length, 511L)));
        } else {
            char fallback[32];
            std::snprintf(fallback, sizeof fallback, "Image %d", n + 1);
            text = fallback;
        }
        return ImageWindow::open(n, windowHandleFrom(parent), text) ? 1 : 0;
    });
}

PX_EXPORT int pxSetWindowZoom(int number, double zoom, double change, int options)
{
    return guarded(0, [&] {
        Slot* slot = slotFor(number);
        if (!slot)
            return 0;
        ImageWindow* w = ImageWindow::of(number);
        if (zoom == -1.0) {
            zoom = w ? w->fitZoom() : 0;
        } else if (zoom == -2.0 || zoom == -3.0) {
            if (w) {
                const Rect c = clientRect(w->hwnd());
                w->zoomStep(zoom == -2.0, {c.width() / 2, c.height() / 2}, false);
            }
            zoom = 0;
        }
        const uint32_t given = static_cast<uint32_t>(options);
        if ((given & ~0x3000Fu) == 0) {
            const uint8_t bits = static_cast<uint8_t>(given & 0xFF);
            switch (given & 0x30000) {
            case 0x10000: slot->zoomOptions = bits; break;
            case 0x20000: slot->zoomOptions &= static_cast<uint8_t>(~bits); break;
            case 0x30000: slot->zoomOptions |= bits; break;
            default: break;
            }
        }
        if (change >= 0.1)
            slot->changeFactor = change;
        else if (change < 0)
            slot->zoomOptions = static_cast<uint8_t>(std::min(-change, 255.0));
        if (zoom > 0) {
            if (w)
                w->setZoom(zoom);
            else
                slot->zoom = clampZoom(zoom);
        }
        return 1;
    });
}

PX_EXPORT double pxGetWindowZoom(int number)
{
    return guarded(1.0, [&] {
        const uint32_t value = static_cast<uint32_t>(number);
        int selector = 0;
        int n = number;
        if (value < 0xFFFF0000u) {
            selector = static_cast<int>((value >> 24) & 3);
            n = (value & 0x80000000u) ? -1 : static_cast<int>(value & 0xFFFF);
        }
        const Slot* slot = slotFor(n);
        if (!slot)
            return 1.0;
        switch (selector) {
        case 1: {
            const ImageWindow* w = ImageWindow::of(n);
            return w ? w->fitZoom() : 1.0;
        }
        case 2: return slot->changeFactor;
        case 3: return static_cast<double>(slot->zoomOptions);
        default: return usableZoom(slot->zoom);
        }
    });
}

PX_EXPORT int pxFitWindowSize(int number, double zoom, int width, int height)
{
    return guarded(0, [&] {
        ImageWindow* w = ImageWindow::of(number);
        if (!w)
            return 0;
        // The window is sized for the zoom it is to show.
        if (zoom > 0)
            w->setZoom(zoom);
        const Slot& slot = w->slot();
        const double z = usableZoom(slot.zoom);
        const int cw = width > 0 ? width : slot.empty() ? 512 : zoomedExtent(slot.width(), z);
        const int ch = height > 0 ? height : slot.empty() ? 512 : zoomedExtent(slot.height(), z);
        const Rect outer = outerFor(w->hwnd(), cw, ch);
        PlacementRecord record = measuredRecord(*w);
        record.width = outer.width();
        record.height = outer.height();
        writePlacement(w->number(), record);
        ImageWindow::PlacementRequest request;
        request.useStoredSize = true;
        w->restorePlacement(request);
        return 1;
    });
}

PX_EXPORT int pxSetWindowSizePos(int number, int width, int height, int x, int y, int what)
{
    return guarded(0, [&] {
        ImageWindow* w = ImageWindow::of(number);
        if (!w)
            return 0;
        if (what == 0)
            what = 3;
        PlacementRecord record = measuredRecord(*w);
        if (what & 1) {
            record.left = x;
            record.top = y;
        }
        if (what & 6) {
            const Slot& slot = w->slot();
            const double z = usableZoom(slot.zoom);
            int cw = width, ch = height;
            if (what & 4) {
                if (cw <= 0)
                    cw = slot.empty() ? 512 : zoomedExtent(slot.width(), z);
                if (ch <= 0)
                    ch = slot.empty() ? 512 : zoomedExtent(slot.height(), z);
            }
            const Rect outer = outerFor(w->hwnd(), cw, ch);
            if (cw > 0)
                record.width = outer.width();
            if (ch > 0)
                record.height = outer.height();
        }
        writePlacement(w->number(), record);
        if (what == 3) {
            moveWindow(w->hwnd(), record.left, record.top, record.width, record.height, true);
        } else {
            ImageWindow::PlacementRequest request;
            request.useStoredSize = true;
            w->restorePlacement(request);
        }
        return 1;
    });
}

PX_EXPORT int pxSetWindowStyle(int number, int style)
{
    return guarded(0, [&] {
        Slot* slot = slotFor(number);
        if (!slot)
            return 0;
        ImageWindow* w = ImageWindow::of(number);
        switch (style) {
        case -1: return slot->windowStyle;
        case -2: return w && w->fullScreen() ? 1 : 0;
        case -3:
        case -4:
        case -5:
            if (w)
                setFullScreen(*w, style == -3 ? 2 : style == -4 ? 0 : 1);
            return slot->windowStyle;
        default: slot->windowStyle = style; return style;
        }
    });
}

PX_EXPORT int pxSetFullScreen(int number, int mode)
{
    return guarded(0, [&] {
        ImageWindow* w = ImageWindow::of(number);
        if (!w)
            return 0;
        setFullScreen(*w, mode);
        w = ImageWindow::of(number);
        return w && w->fullScreen() ? 1 : 0;
    });
}

PX_EXPORT double pxGetScrollPos(int number, double* x, double* y)
{
    return guarded(0.0, [&] {
        const ImageWindow* w = ImageWindow::of(number);
        if (!w)
            return 0.0;
        const double z = w->zoom();
        storeResult(x, static_cast<double>(w->scrollX()) / z);
        storeResult(y, static_cast<double>(w->scrollY()) / z);
        return z;
    });
}

PX_EXPORT int pxSetScrollPos(int number, double x, double y, double zoom)
{
    return guarded(-1, [&] {
        ImageWindow* w = ImageWindow::of(number);
        if (!w)
            return -1;
        Slot& slot = w->slot();
        // The zoom first, and the layout it needs even while updates are suppressed.
        if (zoom > 0 && w->setZoom(zoom) && (slot.flags & kFlagNoUpdate))
            w->recomputeLayout();
        const double z = w->zoom();
        auto pixels = [z](double v, int64_t keep) {
            if (!(v >= 0))
                return keep;
            return static_cast<int64_t>(std::min(std::round(v * z), static_cast<double>(kMaxZoomedExtent)));
        };
        w->scrollTo(pixels(x, w->scrollX()), pixels(y, w->scrollY()), slot.flags & kFlagEnlargeScroll);
        if (!(slot.flags & kFlagNoUpdate))
            invalidateRect(w->hwnd(), nullptr, false);
        return 0;
    });
}

PX_EXPORT void* pxGetMonitorInfo(int monitor, double* left, double* top, double* width, double* height)
{
    return guarded<void*>(nullptr, [&]() -> void* {
        static MonitorRecord record;
        startWindowSystem(false);
        const std::vector<MonitorInfo> monitors = displayMonitors();
        if (monitor == -1)
            return reinterpret_cast<void*>(static_cast<uintptr_t>(monitors.size()));
        if (monitor < 1 || static_cast<size_t>(monitor) > monitors.size())
            return nullptr;
        const MonitorInfo& m = monitors[static_cast<size_t>(monitor - 1)];
        storeResult(left, static_cast<double>(m.monitor.left));
        storeResult(top, static_cast<double>(m.monitor.top));
        storeResult(width, static_cast<double>(m.monitor.width()));
        storeResult(height, static_cast<double>(m.monitor.height()));
        record.monitor = m.monitor;
        record.work = m.work;
        record.flags = m.primary ? win::MONITORINFOF_PRIMARY : 0;
        return &record;
    });
}
