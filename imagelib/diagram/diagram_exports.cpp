// The diagram exports: windows, arrays, the parameter, and saving, copying and
// zooming for macros.
#include "imagelib/core/export.h"
#include "imagelib/core/settings.h"
#include "imagelib/diagram/data_text.h"
#include "imagelib/diagram/diagram.h"
#include "imagelib/diagram/diagram_files.h"
#include "imagelib/diagram/diagram_window.h"
#include "imagelib/diagram/packed_date.h"
#include "imagelib/pixory.h"
#include "platform/memprobe.h"
#include "platform/window/clipboard.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace tvx::imagelib {

namespace {

constexpr double kParameterUnchanged = -1e-40;

void* handleOf(const DiagramWindow* w)
{
    return w ? reinterpret_cast<void*>(static_cast<uintptr_t>(w->hwnd())) : nullptr;
}

void redraw(int number)
{
    if (DiagramWindow* w = DiagramWindow::of(number))
        w->refresh();
}

// A date axis keeps packed values; the view works in calendar seconds.
bool toAxisUnits(const DiagramData& data, double packed, double& out)
{
    if (!data.dateAxis()) {
        out = packed;
        return std::isfinite(packed);
    }
    CalendarTime t;
    if (!unpackDateValue(packed, t))
        return false;
    out = calendarSeconds(t);
    return true;
}

double fromAxisUnits(const DiagramData& data, double value)
{
    return data.dateAxis() ? packDateValue(calendarFromSeconds(value)) : value;
}

}  // namespace

}  // namespace tvx::imagelib

using namespace tvx::imagelib;

PX_EXPORT void* pxDiagramWnd(int number, void* parent, const char* title, int mode, int style, int width,
                             int height, int x, int y)
{
    return guarded<void*>(nullptr, [&]() -> void* {
        setCurrentDiagram(number);
        const int n = resolveDiagramNumber(number);
        Diagram& d = diagramAt(n);
        std::string text;
        const bool titled = callerString(title, &text);
        if (titled)
            d.settings.title = text;
        if (const uint32_t owner = windowHandleFrom(parent))
            d.settings.parent = owner;
        if (mode == -1) {
            DiagramWindow::close(n);
            d.data.clear();
            d.view.reset();
            return nullptr;
        }
        if (mode > 1) {
            d.settings.mode = mode;
            d.settings.style = style;
            d.settings.width = width;
            d.settings.height = height;
            d.settings.x = x;
            d.settings.y = y;
        }
        if (mode <= 0 && (!DiagramWindow::of(n) || !titled))
            return handleOf(DiagramWindow::of(n));
        return handleOf(DiagramWindow::open(n));
    });
}

PX_EXPORT double* pxDisplayDiagram(const void* data, int count, int flags, int colour, int gap, double scale,
                                   double offset)
{
    return guarded<double*>(nullptr, [&]() -> double* {
        const int n = currentDiagram();
        Diagram& d = diagramAt(n);
        const auto bits = static_cast<uint32_t>(flags);
        bool refused = false;
        const double* copy = addDiagramArray(d.data, data, count, bits, static_cast<uint32_t>(colour), gap,
                                             scale, offset, &refused);
        // A refused array or memory that could not be read changes nothing more.
        if (refused || (data && count != 0 && !copy))
            return nullptr;
        if (!(bits & (kDiagramShowLater | kDiagramAbscissa))) {
            d.data.onePlot = bits & kDiagramOnePlot;
            ++d.data.generation;
            if (DiagramWindow* w = DiagramWindow::of(n))
                w->refresh();
            else
                DiagramWindow::open(n);
            d.data.startAnew = !(bits & kDiagramKeepArrays);
        }
        return const_cast<double*>(copy);
    });
}

PX_EXPORT double pxSetDiagramParameter(int number, int parameter, double value)
{
    return guarded(0.0, [&] {
        const int n = resolveDiagramNumber(number);
        if (parameter == 1 && value != kParameterUnchanged) {
            Diagram& d = diagramAt(n);
            d.data.parameter =
                std::isnan(value) ? 0 : static_cast<int>(std::clamp(std::round(value), -1e9, 1e9));
            ++d.data.generation;
            redraw(n);
        }
        return 0.0;
    });
}

PX_EXPORT int pxDiagramSave(int number, const char* path, int format, int width, int height)
{
    return guarded(static_cast<int>(kDiagramWriteFailed), [&] {
        const int n = resolveDiagramNumber(number);
        std::string name;
        if (!callerString(path, &name) || name.empty())
            return static_cast<int>(kDiagramWriteFailed);
        if (format < 0 || format > 3)
            return static_cast<int>(kDiagramBadFormat);
        if (width == 0 && height == 0) {
            // The picture the window shows, without its status line.
            if (DiagramWindow* w = DiagramWindow::of(n)) {
                const DiagramLayout& l = w->layout();
                width = l.width;
                height = l.height - static_cast<int>(l.statusLine.height());
            }
        }
        return saveDiagramFile(diagramAt(n), fileSystemPath(name, true),
                               static_cast<DiagramFileFormat>(format), width, height);
    });
}

PX_EXPORT int pxDiagramCopyText(int number)
{
    return guarded(-1, [&] {
        const std::string text = clipboardDataText(diagramAt(resolveDiagramNumber(number)).data);
        if (!tvx::platform::setClipboardText(text))
            return -1;
        return static_cast<int>(std::min<size_t>(text.size(), INT32_MAX));
    });
}

PX_EXPORT int pxDiagramGetText(int number, char* buffer, int size, int format)
{
    return guarded(-1, [&] {
        const DiagramData& data = diagramAt(resolveDiagramNumber(number)).data;
        const std::string text = format == 1 ? csvDataText(data) : clipboardDataText(data);
        if (buffer && size > 0) {
            if (!tvx::platform::isWritable(buffer, static_cast<size_t>(size)))
                return -2;
            const size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
            std::memcpy(buffer, text.data(), n);
            buffer[n] = '\0';
        }
        return static_cast<int>(std::min<size_t>(text.size(), INT32_MAX));
    });
}

PX_EXPORT int pxDiagramSetView(int number, double xMin, double xMax)
{
    return guarded(-1, [&] {
        const int n = resolveDiagramNumber(number);
        Diagram& d = diagramAt(n);
        double lo = 0, hi = 0;
        if (xMin < xMax) {
            if (!toAxisUnits(d.data, xMin, lo) || !toAxisUnits(d.data, xMax, hi) || !(lo < hi))
                return -1;
            d.view.x = {lo, hi};
        } else {
            d.view.reset();
        }
        redraw(n);
        return 0;
    });
}

PX_EXPORT int pxDiagramGetView(int number, double* xMin, double* xMax)
{
    return guarded(-1, [&] {
        const int n = resolveDiagramNumber(number);
        const Diagram& d = diagramAt(n);
        Range x = d.view.x;
        if (!x.valid()) {
            const PlotSeries series(d.data);
            x = dataXRange(series);
        }
        storeResult(xMin, fromAxisUnits(d.data, x.lo));
        storeResult(xMax, fromAxisUnits(d.data, x.hi));
        return d.view.zoomed() ? 1 : 0;
    });
}
