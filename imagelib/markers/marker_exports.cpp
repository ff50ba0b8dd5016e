// Exports: the marker list of an image window.
#include "imagelib/core/export.h"
#include "imagelib/core/slot.h"
#include "imagelib/markers/marker_list.h"
#include "imagelib/pixory.h"
#include "imagelib/window/image_window.h"

#include "platform/memprobe.h"

#include <cstring>
#include <vector>

using namespace tvx::imagelib;

namespace {

constexpr int kMostPolygonPoints = 0x100000;
constexpr uintptr_t kKeepPolygonData = ~uintptr_t{0};  // (void*)-1

// The list of the slot's window, null without a window.
MarkerList* listOf(int number)
{
    ImageWindow* w = ImageWindow::of(number);
    return w ? &w->markers() : nullptr;
}

// After a change through an export: the follow rule, then a repaint.
int changed(int number, int index)
{
    if (ImageWindow* w = ImageWindow::of(number)) {
        w->markers().afterChange(index);
        w->markersChanged();
    }
    return index;
}

int addRecord(int number, const MarkerRecord& record)
{
    MarkerList* list = listOf(number);
    if (!list || record.isFree())
        return -1;
    return changed(number, list->add(record));
}

// A marker of the list's defaults with the given points (pairs of x, y).
int addWithDefaults(int number, const int* points, int pointCount)
{
    MarkerList* list = listOf(number);
    if (!list)
        return -1;
    MarkerRecord r;
    r.words[0] = list->defaults.kind;
    r.words[1] = list->defaults.colour;
    r.words[2] = list->defaults.style;
    r.words[3] = static_cast<uint32_t>(list->defaults.extra);
    for (int n = 1; n <= pointCount; ++n)
        r.setPoint(n, points[2 * n - 2], points[2 * n - 1]);
    return addRecord(number, r);
}

int setParam(int number, int kind, int colour, int style, int extra)
{
    MarkerList* list = listOf(number);
    if (!list)
        return -1;
    switch (static_cast<uint32_t>(style) >> 24) {
    case 0x01:
        list->secondPenColour = static_cast<uint32_t>(colour);
        list->secondPenWidth = extra;
        break;
    case 0x02:
        list->thirdPair[0] = static_cast<uint32_t>(colour);
        list->thirdPair[1] = static_cast<uint32_t>(extra);
        break;
    case 0x03:
        list->textColour = static_cast<uint32_t>(colour) & 0xFFFFFF;
        list->hasTextColour = true;
        break;
    default:
        list->defaults = {static_cast<uint32_t>(kind), static_cast<uint32_t>(colour),
                          static_cast<uint32_t>(style), extra};
        break;
    }
    if (ImageWindow* w = ImageWindow::of(number))
        w->markersChanged();
    return 0;
}

// Reads count coordinates every step elements of the given type (int, float or double).
enum class Coordinate { Int, Float, Double };
bool readCoordinates(const void* from, int count, int step, Coordinate type, std::vector<double>* out)
{
    const size_t size = type == Coordinate::Double ? 8 : 4;
    const size_t span = (static_cast<size_t>(count - 1) * static_cast<size_t>(step) + 1) * size;
    if (!tvx::platform::isReadable(from, span))
        return false;
    const auto* bytes = static_cast<const uint8_t*>(from);
    out->resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const uint8_t* p = bytes + static_cast<size_t>(i) * static_cast<size_t>(step) * size;
        if (type == Coordinate::Int) {
            int32_t v;
            std::memcpy(&v, p, 4);
            (*out)[static_cast<size_t>(i)] = v + 0.5;  // pixel centres
        } else if (type == Coordinate::Float) {
            float v;
            std::memcpy(&v, p, 4);
            (*out)[static_cast<size_t>(i)] = v;
        } else {
            double v;
            std::memcpy(&v, p, 8);
            (*out)[static_cast<size_t>(i)] = v;
        }
    }
    return true;
}

int addPolygon(int number, const void* xs, const void* ys, int count, int step, int type, void* data,
               int flags)
{
    MarkerList* list = listOf(number);
    if (!list)
        return -1;
    if (reinterpret_cast<uintptr_t>(data) != kKeepPolygonData)
        list->polygonData = data;
    if (count > kMostPolygonPoints)
        return 0;
    if (count <= 0)
        return -1;
    step = std::max(step, 1);
    const Coordinate xType = type == 4 || type == 5 ? Coordinate::Int : Coordinate::Double;
    const Coordinate yType = type == 4 ? Coordinate::Int : type == 5 ? Coordinate::Float : Coordinate::Double;
    std::vector<double> x, y;
    if (!readCoordinates(xs, count, step, xType, &x) || !readCoordinates(ys, count, step, yType, &y))
        return -2;
    const double width = filledSlot(number) ? filledSlot(number)->width() : 0;
    std::vector<float> points(2 * static_cast<size_t>(count));
    for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
        points[2 * i] = static_cast<float>(x[i]);
        // Flags bit 0 counts y back from the width, for pictures shown turned.
        points[2 * i + 1] = static_cast<float>((flags & 1) ? width - y[i] - 1 : y[i]);
    }
    return changed(number, list->addPolygon(points));
}

int addPolynomial(int number, const double* coefficients, int count, int xStart, int xEnd, int colour,
                  int flags)
{
    MarkerList* list = listOf(number);
    if (!list)
        return -1;
    if (count < 0 || count > kMaxPolynomialCoefficients)
        return 0;
    if (count > 0 && !tvx::platform::isReadable(coefficients, sizeof(double) * static_cast<size_t>(count)))
        return -2;
    if (colour != -1)
        list->defaults.colour = static_cast<uint32_t>(colour);
    const uint32_t width = filledSlot(number) ? static_cast<uint32_t>(filledSlot(number)->width()) : 0;
    const uint32_t curveFlags = ((flags & 1) ? width * 4 : 0) | (static_cast<uint32_t>(flags) & 2);
    MarkerRecord r;
    r.words[0] = kMarkerPolynomial;
    r.words[1] = list->defaults.colour;
    r.words[2] = (curveFlags << 8) | static_cast<uint32_t>(count);
    r.setFloat(4, static_cast<float>(xStart));
    r.setFloat(5, static_cast<float>(xEnd));
    for (int i = 0; i < count; ++i)
        r.setFloat(6 + i, static_cast<float>(coefficients[i]));
    return changed(number, list->add(r));
}

// Copies a caller's text of at most room - 1 characters into room bytes (zero-filled).
bool copyText(const char* text, char* to, size_t room)
{
    std::memset(to, 0, room);
    if (!text)
        return true;
    const long length = tvx::platform::readableStringLength(text, room - 1);
    if (length < 0)
        return false;
    std::memcpy(to, text, static_cast<size_t>(length));
    return true;
}

int setText(int number, int index, const char* text1, const char* text2, bool two)
{
    MarkerList* list = listOf(number);
    MarkerRecord* r = list ? list->at(index) : nullptr;
    if (!r)
        return -1;
    char bytes[16];
    const bool ok =
        two ? copyText(text1, bytes, 8) && copyText(text2, bytes + 8, 8) : copyText(text1, bytes, 16);
    if (!ok)
        return -2;
    std::memcpy(r->textBytes(), bytes, sizeof bytes);
    return changed(number, index);
}

int setMarker(int number, int index, const int points[8], int kind, int colour, int style, int extra)
{
    MarkerList* list = listOf(number);
    MarkerRecord* r = list ? list->at(index) : nullptr;
    if (!r)
        return -1;
    for (int n = 1; n <= 4; ++n)
        r->setPoint(n, points[2 * n - 2], points[2 * n - 1]);
    if (kind)
        r->words[0] = static_cast<uint32_t>(kind);
    if (colour)
        r->words[1] = static_cast<uint32_t>(colour) & 0xFFFFFF;
    if (style)
        r->words[2] = static_cast<uint32_t>(style) & 0x7FFFFFFF;
    if (extra)
        r->words[3] = extra == static_cast<int>(0x80000000u) ? 0 : static_cast<uint32_t>(extra);
    return changed(number, index);
}

int getMarker(int number, int index, int* p1, int* p2, int* p3, int* p4, int* kind, int* colour, int* style,
              int* extra)
{
    MarkerList* list = listOf(number);
    const MarkerRecord* r = list ? list->at(index) : nullptr;
    if (!r)
        return -1;
    int* points[4] = {p1, p2, p3, p4};
    for (int n = 0; n < 4; ++n)
        if (points[n]) {
            storeResult(points[n], r->x(n + 1));
            storeResult(points[n] + 1, r->y(n + 1));
        }
    storeResult(kind, static_cast<int>(r->kind()));
    storeResult(colour, static_cast<int>(r->colour()));
    storeResult(style, static_cast<int>(r->style()));
    storeResult(extra, r->extra());
    return list->count();
}

}  // namespace

PX_EXPORT int pxSetMarkerParam(int number, int kind, int colour, int style, int extra)
{
    return guarded(-1, [&] { return setParam(number, kind, colour, style, extra); });
}

PX_EXPORT int pxAddMarkerPoint(int number, int x1, int y1, int x2, int y2)
{
    return guarded(-1, [&] {
        const int points[4] = {x1, y1, x2, y2};
        return addWithDefaults(number, points, 2);
    });
}

PX_EXPORT int pxAddMarkerPair(int number, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4)
{
    return guarded(-1, [&] {
        const int points[8] = {x1, y1, x2, y2, x3, y3, x4, y4};
        return addWithDefaults(number, points, 4);
    });
}

PX_EXPORT int pxAddMarker(int number, int kind, int colour, int style, int extra, int x1, int y1, int x2,
                          int y2, int x3, int y3, int x4, int y4)
{
    return guarded(-1, [&] {
        MarkerRecord r;
        r.words[0] = static_cast<uint32_t>(kind);
        r.words[1] = static_cast<uint32_t>(colour);
        r.words[2] = static_cast<uint32_t>(style);
        r.words[3] = static_cast<uint32_t>(extra);
        r.setPoint(1, x1, y1);
        r.setPoint(2, x2, y2);
        r.setPoint(3, x3, y3);
        r.setPoint(4, x4, y4);
        return addRecord(number, r);
    });
}

PX_EXPORT int pxAddMarkerPolygon(int number, const void* xs, const void* ys, int count, int step, int type,
                                 void* data, int flags)
{
    return guarded(-1, [&] { return addPolygon(number, xs, ys, count, step, type, data, flags); });
}

PX_EXPORT int pxAddMarkerPolynom(int number, const double* coefficients, int count, int xStart, int xEnd,
                                 int colour, int flags)
{
    return guarded(-1,
                   [&] { return addPolynomial(number, coefficients, count, xStart, xEnd, colour, flags); });
}

PX_EXPORT int pxSetMarkerText(int number, int index, const char* text)
{
    return guarded(-1, [&] { return setText(number, index, text, nullptr, false); });
}

PX_EXPORT int pxSetMarkerText2(int number, int index, const char* text1, const char* text2)
{
    return guarded(-1, [&] { return setText(number, index, text1, text2, true); });
}

PX_EXPORT int pxSetMarker(int number, int index, int x1, int y1, int x2, int y2, int x3, int y3, int x4,
                          int y4, int kind, int colour, int style, int extra)
{
    return guarded(-1, [&] {
        const int points[8] = {x1, y1, x2, y2, x3, y3, x4, y4};
        return setMarker(number, index, points, kind, colour, style, extra);
    });
}

PX_EXPORT int pxGetMarker(int number, int index, int* p1, int* p2, int* p3, int* p4, int* kind, int* colour,
                          int* style, int* extra)
{
    return guarded(-1, [&] { return getMarker(number, index, p1, p2, p3, p4, kind, colour, style, extra); });
}

PX_EXPORT int pxRemoveMarker(int number, int first, int last)
{
    return guarded(-1, [&] {
        MarkerList* list = listOf(number);
        if (!list || !list->remove(first, last))
            return -1;
        ImageWindow::of(number)->markersChanged();
        return 0;
    });
}

PX_EXPORT int pxClearMarker(int number, int mode)
{
    return guarded(-1, [&] {
        MarkerList* list = listOf(number);
        if (!list)
            return -1;
        list->clear(mode);
        ImageWindow::of(number)->markersChanged();
        return 0;
    });
}

PX_EXPORT int pxMarkerChangeInfo(int number, int* index, int* code, int mask)
{
    return guarded(-1, [&] {
        MarkerList* list = listOf(number);
        if (!list)
            return -1;
        storeResult(index, list->changedIndex());
        storeResult(code, list->changeCode());
        return list->takeChangeFlags(mask);
    });
}

PX_EXPORT int pxSetMarkerCallback(int number, pxMarkerCallback callback)
{
    return guarded(-1, [&] {
        MarkerList* list = listOf(number);
        if (!list)
            return -1;
        list->callback = callback;
        return 0;
    });
}
