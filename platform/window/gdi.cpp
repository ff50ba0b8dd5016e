// Device contexts, drawing objects and pixel drawing. Pixels are drawn here on
// 32-bit surfaces (a window's backing store or a bitmap); text and curved shapes
// come from the toolkit.
#include <algorithm>
#include <cstring>
#include <map>

#include "platform/window/internal.h"

namespace tvx::platform {

using detail::DeviceContext;
using detail::GdiObject;
using detail::ObjectKind;
using detail::Surface;

namespace {

constexpr Hgdiobj kStockBase = 0x100;
constexpr int kStockCount = 20;

struct GdiState {
    std::map<Hdc, DeviceContext> contexts;
    std::map<Hgdiobj, GdiObject> objects;
    Hdc nextDc = 0x2000;
    Hgdiobj nextObject = 0x1000;

    GdiState() {
        auto stock = [this](int which, ObjectKind kind, ColorRef color, int penStyle = 0) {
            GdiObject o;
            o.kind = kind;
            o.stock = true;
            o.color = color;
            o.penStyle = penStyle;
            objects[kStockBase + static_cast<Hgdiobj>(which)] = o;
        };
        stock(0, ObjectKind::Brush, 0xFFFFFF);
        stock(1, ObjectKind::Brush, 0xC0C0C0);
        stock(2, ObjectKind::Brush, 0x808080);
        stock(3, ObjectKind::Brush, 0x404040);
        stock(4, ObjectKind::Brush, 0x000000);
        stock(5, ObjectKind::Brush, kClrInvalid);  // NULL_BRUSH
        stock(6, ObjectKind::Pen, 0xFFFFFF);
        stock(7, ObjectKind::Pen, 0x000000);
        stock(8, ObjectKind::Pen, 0x000000, 5);  // NULL_PEN
        for (int font : {10, 11, 12, 13, 14, 16, 17}) {
            GdiObject o;
            o.kind = ObjectKind::Font;
            o.stock = true;
            bool fixed = font == 10 || font == 11 || font == 16;
            o.font.height = -12;
            std::strcpy(o.font.faceName, fixed ? "DejaVu Sans Mono" : "DejaVu Sans");
            if (font == 13) o.font.weight = 700;
            objects[kStockBase + static_cast<Hgdiobj>(font)] = o;
        }
    }
};

GdiState& gdi() {
    static GdiState* s = new GdiState;
    return *s;
}

DeviceContext* context(Hdc hdc) {
    auto& map = gdi().contexts;
    auto it = map.find(hdc);
    return it == map.end() ? nullptr : &it->second;
}

GdiObject* object(Hgdiobj handle) {
    auto& map = gdi().objects;
    auto it = map.find(handle);
    return it == map.end() ? nullptr : &it->second;
}

uint32_t pixelOf(ColorRef c) { return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }
ColorRef colorOf(uint32_t p) { return ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16); }

Hdc newContext(DeviceContext dc) {
    GdiState& g = gdi();
    dc.handle = g.nextDc++;
    if (g.nextDc == 0) g.nextDc = 0x2000;
    dc.pen = kStockBase + 7;
    dc.brush = kStockBase + 0;
    dc.font = kStockBase + 13;
    g.contexts[dc.handle] = dc;
    return dc.handle;
}

Surface surfaceOf(DeviceContext& dc) {
    if (dc.memory) {
        GdiObject* bitmap = object(dc.bitmap);
        if (!bitmap || bitmap->kind != ObjectKind::Bitmap || bitmap->pixels.empty()) return {};
        return {bitmap->pixels.data(), bitmap->width, bitmap->height, bitmap->width};
    }
    detail::Backend* b = detail::backend();
    if (!b || !isWindow(dc.window)) return {};
    return b->windowSurface(dc.window);
}

void changed(DeviceContext& dc) {
    if (dc.memory) return;
    if (detail::Backend* b = detail::backend()) b->surfaceChanged(dc.window);
}

// The drawable area in surface coordinates: the surface, limited by the clip.
Rect limits(const DeviceContext& dc, const Surface& s) {
    Rect r{0, 0, s.width, s.height};
    if (dc.hasClip) {
        r.left = std::max(r.left, dc.clip.left);
        r.top = std::max(r.top, dc.clip.top);
        r.right = std::min(r.right, dc.clip.right);
        r.bottom = std::min(r.bottom, dc.clip.bottom);
    }
    return r;
}

// A DIB's geometry and colour table, checked.
struct DibView {
    int width = 0;
    int height = 0;
    bool topDown = false;
    int bits = 0;
    size_t rowBytes = 0;
    const uint8_t* data = nullptr;
    uint32_t lut[256] = {};
};

bool viewDib(const void* bits, const BitmapInfo* info, DibView& v) {
    if (!bits || !info) return false;
    const BitmapInfoHeader& h = info->bmiHeader;
    if (h.biSize < 40 || h.biCompression != 0 || h.biWidth <= 0 || h.biHeight == 0) return false;
    if (h.biWidth > 1 << 20 || h.biHeight > 1 << 20 || h.biHeight < -(1 << 20)) return false;
    v.bits = h.biBitCount;
    if (v.bits != 1 && v.bits != 4 && v.bits != 8 && v.bits != 16 && v.bits != 24 && v.bits != 32)
        return false;
    v.width = h.biWidth;
    v.topDown = h.biHeight < 0;
    v.height = v.topDown ? -h.biHeight : h.biHeight;
    v.rowBytes = dibRowBytes(v.width, v.bits);
    v.data = static_cast<const uint8_t*>(bits);
    if (v.bits <= 8) {
        unsigned colors = h.biClrUsed ? std::min<unsigned>(h.biClrUsed, 256) : 1u << v.bits;
        const RgbQuad* table =
            reinterpret_cast<const RgbQuad*>(reinterpret_cast<const uint8_t*>(info) + h.biSize);
        for (unsigned i = 0; i < colors; ++i)
            v.lut[i] = 0xFF000000u | (uint32_t{table[i].rgbRed} << 16) | (uint32_t{table[i].rgbGreen} << 8) |
                       table[i].rgbBlue;
    }
    return true;
}

inline uint32_t dibPixel(const DibView& v, const uint8_t* row, int x) {
    switch (v.bits) {
    case 1: return v.lut[(row[x >> 3] >> (7 - (x & 7))) & 1];
    case 4: return v.lut[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF];
    case 8: return v.lut[row[x]];
    case 16: {
        unsigned p = row[2 * x] | (row[2 * x + 1] << 8);
        unsigned r = (p >> 10) & 31, g = (p >> 5) & 31, b = p & 31;
        return 0xFF000000u | ((r * 255 / 31) << 16) | ((g * 255 / 31) << 8) | (b * 255 / 31);
    }
    case 24:
        return 0xFF000000u | (uint32_t{row[3 * x + 2]} << 16) | (uint32_t{row[3 * x + 1]} << 8) | row[3 * x];
    default:
        return 0xFF000000u | (uint32_t{row[4 * x + 2]} << 16) | (uint32_t{row[4 * x + 1]} << 8) | row[4 * x];
    }
}

// Draws the source rectangle (DIB coordinates, y counted from the bottom row for
// bottom-up DIBs) scaled into the destination rectangle, nearest neighbour.
int drawDib(Hdc hdc, int x, int y, int width, int height, int sx, int sy, int sWidth, int sHeight,
            const DibView& v, int firstRow, int rowCount) {
    DeviceContext* dc = context(hdc);
    if (!dc || width <= 0 || height <= 0 || sWidth <= 0 || sHeight <= 0) return 0;
    Surface s = surfaceOf(*dc);
    if (!s.pixels) return 0;
    Rect lim = limits(*dc, s);
    int left = x + dc->origin.x, top = y + dc->origin.y;
    int x0 = std::max(left, lim.left), x1 = std::min<int64_t>(int64_t{left} + width, lim.right);
    int y0 = std::max(top, lim.top), y1 = std::min<int64_t>(int64_t{top} + height, lim.bottom);
    if (x0 >= x1 || y0 >= y1) return 0;
    // Source columns for each destination column.
    std::vector<int> columns(static_cast<size_t>(x1 - x0));
    for (int dx = x0; dx < x1; ++dx) {
        int64_t col = sx + (int64_t{dx - left} * sWidth) / width;
        columns[static_cast<size_t>(dx - x0)] = col >= 0 && col < v.width ? static_cast<int>(col) : -1;
    }
    int drawn = 0;
    int64_t previousRow = -1;
    uint32_t* previousLine = nullptr;
    for (int dy = y0; dy < y1; ++dy) {
        int64_t inRect =
            (int64_t{dy - top} * sHeight) / height;  // row within the source rectangle, from its top
        int64_t imageRow =
            v.topDown ? sy + inRect : int64_t{sy} + sHeight - 1 - inRect;  // bottom-up: from the bottom
        int64_t memoryRow = imageRow - firstRow;
        uint32_t* line = s.pixels + static_cast<size_t>(dy) * static_cast<size_t>(s.stride);
        if (imageRow < 0 || imageRow >= v.height || memoryRow < 0 || memoryRow >= rowCount) continue;
        if (memoryRow == previousRow && previousLine) {
            std::memcpy(line + x0, previousLine + x0, sizeof(uint32_t) * static_cast<size_t>(x1 - x0));
            ++drawn;
            continue;
        }
        const uint8_t* row = v.data + static_cast<size_t>(memoryRow) * v.rowBytes;
        if (v.bits == 8) {
            for (int dx = x0; dx < x1; ++dx) {
                int col = columns[static_cast<size_t>(dx - x0)];
                if (col >= 0) line[dx] = v.lut[row[col]];
            }
        } else {
            for (int dx = x0; dx < x1; ++dx) {
                int col = columns[static_cast<size_t>(dx - x0)];
                if (col >= 0) line[dx] = dibPixel(v, row, col);
            }
        }
        previousRow = memoryRow;
        previousLine = line;
        ++drawn;
    }
    changed(*dc);
    return drawn;
}

}  // namespace

namespace detail {
const GdiObject* gdiObject(Hgdiobj handle) { return object(handle); }
}  // namespace detail

size_t dibRowBytes(int width, int bitCount) {
    if (width <= 0 || bitCount <= 0 || bitCount > 32) return 0;
    return ((static_cast<size_t>(width) * static_cast<size_t>(bitCount) + 31) / 32) * 4;
}

// ---- Contexts

Hdc beginPaint(Hwnd hwnd, PaintStruct& ps) {
    if (!isWindow(hwnd)) return 0;
    DeviceContext dc;
    dc.window = hwnd;
    dc.painting = true;
    ps.hdc = newContext(dc);
    ps.paint = clientRect(hwnd);
    ps.erase = sendMessage(hwnd, win::WM_ERASEBKGND, ps.hdc, 0) == 0;
    return ps.hdc;
}

bool endPaint(Hwnd, const PaintStruct& ps) { return gdi().contexts.erase(ps.hdc) > 0; }

Hdc getDC(Hwnd hwnd) {
    if (hwnd && !isWindow(hwnd)) return 0;
    DeviceContext dc;
    dc.window = hwnd;
    return newContext(dc);
}

int releaseDC(Hwnd, Hdc hdc) { return gdi().contexts.erase(hdc) ? 1 : 0; }

Hdc createCompatibleDC(Hdc) {
    DeviceContext dc;
    dc.memory = true;
    return newContext(dc);
}

bool deleteDC(Hdc hdc) { return gdi().contexts.erase(hdc) > 0; }

// ---- Objects

namespace {
Hgdiobj addObject(GdiObject o) {
    GdiState& g = gdi();
    Hgdiobj h = g.nextObject++;
    if (g.nextObject == 0) g.nextObject = 0x1000;
    g.objects[h] = std::move(o);
    return h;
}
}  // namespace

Hgdiobj createSolidBrush(ColorRef color) {
    GdiObject o;
    o.kind = ObjectKind::Brush;
    o.color = color & 0xFFFFFF;
    return addObject(o);
}

Hgdiobj createPen(int style, int width, ColorRef color) {
    GdiObject o;
    o.kind = ObjectKind::Pen;
    o.penStyle = style;
    o.penWidth = std::clamp(width, 1, 256);
    o.color = color & 0xFFFFFF;
    return addObject(o);
}

Hgdiobj createCompatibleBitmap(Hdc, int width, int height) {
    // Bitmaps are kept to a size that memory can hold.
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return 0;
    GdiObject o;
    o.kind = ObjectKind::Bitmap;
    o.width = width;
    o.height = height;
    o.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0xFF000000u);
    return addObject(std::move(o));
}

Hgdiobj createFontIndirect(const LogFont& font) {
    GdiObject o;
    o.kind = ObjectKind::Font;
    o.font = font;
    o.font.faceName[31] = 0;
    return addObject(o);
}

Hgdiobj stockObject(int which) {
    if (which < 0 || which >= kStockCount) return 0;
    Hgdiobj h = kStockBase + static_cast<Hgdiobj>(which);
    return object(h) ? h : 0;
}

bool deleteObject(Hgdiobj handle) {
    GdiObject* o = object(handle);
    if (!o || o->stock) return false;
    for (auto& [h, dc] : gdi().contexts) {
        // An object still selected somewhere stays until it is deselected.
        if (dc.pen == handle || dc.brush == handle || dc.font == handle || dc.bitmap == handle) return false;
    }
    gdi().objects.erase(handle);
    return true;
}

Hgdiobj selectObject(Hdc hdc, Hgdiobj handle) {
    DeviceContext* dc = context(hdc);
    GdiObject* o = object(handle);
    if (!dc || !o) return 0;
    Hgdiobj old = 0;
    switch (o->kind) {
    case ObjectKind::Brush:
        old = dc->brush;
        dc->brush = handle;
        break;
    case ObjectKind::Pen:
        old = dc->pen;
        dc->pen = handle;
        break;
    case ObjectKind::Font:
        old = dc->font;
        dc->font = handle;
        break;
    case ObjectKind::Bitmap:
        if (!dc->memory) return 0;
        old = dc->bitmap;
        dc->bitmap = handle;
        break;
    }
    return old;
}

ColorRef brushColor(Hgdiobj brush) {
    GdiObject* o = object(brush);
    return o && o->kind == ObjectKind::Brush ? o->color : kClrInvalid;
}

bool isFont(Hgdiobj handle) {
    GdiObject* o = object(handle);
    return o && o->kind == ObjectKind::Font;
}

bool fontDescription(Hgdiobj handle, LogFont& out) {
    GdiObject* o = object(handle);
    if (!o || o->kind != ObjectKind::Font) return false;
    out = o->font;
    return true;
}

ColorRef sysColor(int index) {
    switch (index) {
    case win::COLOR_WINDOW: return 0xFFFFFF;
    case win::COLOR_WINDOWTEXT:
    case win::COLOR_BTNTEXT: return 0x000000;
    case win::COLOR_BTNFACE: return 0xF0F0F0;
    default: return 0xC0C0C0;
    }
}

ColorRef nearestColor(Hdc, ColorRef color) { return color & 0xFFFFFF; }

// ---- State

ColorRef setTextColor(Hdc hdc, ColorRef color) {
    DeviceContext* dc = context(hdc);
    if (!dc) return kClrInvalid;
    ColorRef old = dc->textColor;
    dc->textColor = color;
    return old;
}

ColorRef setBkColor(Hdc hdc, ColorRef color) {
    DeviceContext* dc = context(hdc);
    if (!dc) return kClrInvalid;
    ColorRef old = dc->bkColor;
    dc->bkColor = color;
    return old;
}

ColorRef textColor(Hdc hdc) {
    DeviceContext* dc = context(hdc);
    return dc ? dc->textColor : kClrInvalid;
}

ColorRef bkColor(Hdc hdc) {
    DeviceContext* dc = context(hdc);
    return dc ? dc->bkColor : kClrInvalid;
}

int setBkMode(Hdc hdc, int mode) {
    DeviceContext* dc = context(hdc);
    if (!dc || (mode != 1 && mode != 2)) return 0;
    int old = dc->bkMode;
    dc->bkMode = mode;
    return old;
}

int setStretchBltMode(Hdc hdc, int mode) {
    DeviceContext* dc = context(hdc);
    if (!dc || mode < 1 || mode > 4) return 0;
    int old = dc->stretchMode;
    dc->stretchMode = mode;
    return old;
}

bool setViewportOrg(Hdc hdc, int x, int y, Point* previous) {
    DeviceContext* dc = context(hdc);
    if (!dc) return false;
    if (previous) *previous = dc->origin;
    dc->origin = {x, y};
    return true;
}

// ---- Drawing

bool fillRect(Hdc hdc, const Rect& rect, Hgdiobj brush) {
    DeviceContext* dc = context(hdc);
    ColorRef color = brushColor(brush);
    if (!dc || color == kClrInvalid) return false;
    Surface s = surfaceOf(*dc);
    if (!s.pixels) return false;
    Rect lim = limits(*dc, s);
    int x0 = std::max(rect.left + dc->origin.x, lim.left),
        x1 = std::min(rect.right + dc->origin.x, lim.right);
    int y0 = std::max(rect.top + dc->origin.y, lim.top),
        y1 = std::min(rect.bottom + dc->origin.y, lim.bottom);
    uint32_t p = pixelOf(color);
    for (int y = y0; y < y1; ++y)
        std::fill_n(s.pixels + static_cast<size_t>(y) * static_cast<size_t>(s.stride) + x0,
                    std::max(0, x1 - x0), p);
    changed(*dc);
    return true;
}

namespace {
bool shape(Hdc hdc, int kind, Rect rect) {
    DeviceContext* dc = context(hdc);
    detail::Backend* b = detail::backend();
    if (!dc || !b) return false;
    Surface s = surfaceOf(*dc);
    if (!s.pixels) return false;
    bool ok = b->drawShape(*dc, s, kind, rect);
    changed(*dc);
    return ok;
}
}  // namespace

bool rectangle(Hdc hdc, int left, int top, int right, int bottom) {
    return shape(hdc, 1, {left, top, right, bottom});
}
bool ellipse(Hdc hdc, int left, int top, int right, int bottom) {
    return shape(hdc, 2, {left, top, right, bottom});
}

bool moveTo(Hdc hdc, int x, int y) {
    DeviceContext* dc = context(hdc);
    if (!dc) return false;
    dc->position = {x, y};
    return true;
}

bool lineTo(Hdc hdc, int x, int y) {
    DeviceContext* dc = context(hdc);
    if (!dc) return false;
    bool ok = shape(hdc, 0, {dc->position.x, dc->position.y, x, y});
    if ((dc = context(hdc))) dc->position = {x, y};
    return ok;
}

bool setPixel(Hdc hdc, int x, int y, ColorRef color) {
    DeviceContext* dc = context(hdc);
    if (!dc) return false;
    Surface s = surfaceOf(*dc);
    Rect lim = limits(*dc, s);
    x += dc->origin.x;
    y += dc->origin.y;
    if (!s.pixels || x < lim.left || x >= lim.right || y < lim.top || y >= lim.bottom) return false;
    s.pixels[static_cast<size_t>(y) * static_cast<size_t>(s.stride) + static_cast<size_t>(x)] =
        pixelOf(color);
    changed(*dc);
    return true;
}

ColorRef getPixel(Hdc hdc, int x, int y) {
    DeviceContext* dc = context(hdc);
    if (!dc) return kClrInvalid;
    Surface s = surfaceOf(*dc);
    x += dc->origin.x;
    y += dc->origin.y;
    if (!s.pixels || x < 0 || x >= s.width || y < 0 || y >= s.height) return kClrInvalid;
    return colorOf(s.pixels[static_cast<size_t>(y) * static_cast<size_t>(s.stride) + static_cast<size_t>(x)]);
}

bool textOut(Hdc hdc, int x, int y, std::string_view text) {
    DeviceContext* dc = context(hdc);
    detail::Backend* b = detail::backend();
    if (!dc || !b) return false;
    Surface s = surfaceOf(*dc);
    if (!s.pixels) return false;
    bool ok = b->drawText(*dc, s, x, y, text);
    changed(*dc);
    return ok;
}

bool textExtent(Hdc hdc, std::string_view text, int& width, int& height) {
    DeviceContext* dc = context(hdc);
    detail::Backend* b = detail::backend();
    width = height = 0;
    return dc && b && b->textExtent(*dc, text, width, height);
}

bool bitBlt(Hdc dest, int x, int y, int width, int height, Hdc source, int sx, int sy) {
    DeviceContext* d = context(dest);
    DeviceContext* src = context(source);
    if (!d || !src || width <= 0 || height <= 0) return false;
    Surface ds = surfaceOf(*d), ss = surfaceOf(*src);
    if (!ds.pixels || !ss.pixels) return false;
    Rect lim = limits(*d, ds);
    x += d->origin.x;
    y += d->origin.y;
    sx += src->origin.x;
    sy += src->origin.y;
    for (int row = 0; row < height; ++row) {
        int ty = y + row, fy = sy + row;
        if (ty < lim.top || ty >= lim.bottom || fy < 0 || fy >= ss.height) continue;
        for (int col = 0; col < width; ++col) {
            int tx = x + col, fx = sx + col;
            if (tx < lim.left || tx >= lim.right || fx < 0 || fx >= ss.width) continue;
            ds.pixels[static_cast<size_t>(ty) * static_cast<size_t>(ds.stride) + static_cast<size_t>(tx)] =
                ss.pixels[static_cast<size_t>(fy) * static_cast<size_t>(ss.stride) + static_cast<size_t>(fx)];
        }
    }
    changed(*d);
    return true;
}

int setDIBitsToDevice(Hdc hdc, int x, int y, int width, int height, int sx, int sy, int startScan, int lines,
                      const void* bits, const BitmapInfo* info) {
    DibView v;
    if (!viewDib(bits, info, v) || lines <= 0 || startScan < 0) return 0;
    // The rows held are startScan .. startScan + lines - 1, counted in the DIB's own
    // order from its first stored row; the source rectangle counts from the bottom
    // row for bottom-up DIBs.
    int rows = std::min(lines, v.height - std::min(startScan, v.height));
    if (rows <= 0) return 0;
    int drawn = drawDib(hdc, x, y, width, height, sx, sy, width, height, v, startScan, rows);
    return drawn ? rows : 0;
}

int stretchDIBits(Hdc hdc, int x, int y, int width, int height, int sx, int sy, int sWidth, int sHeight,
                  const void* bits, const BitmapInfo* info) {
    DibView v;
    if (!viewDib(bits, info, v)) return 0;
    int drawn = drawDib(hdc, x, y, width, height, sx, sy, sWidth, sHeight, v, 0, v.height);
    return drawn ? sHeight : 0;
}

int getDIBits(Hdc hdc, Hgdiobj bitmap, int startScan, int lines, void* bits, BitmapInfo* info) {
    const GdiObject* o = object(bitmap);
    if (!context(hdc) || !o || o->kind != ObjectKind::Bitmap || !info) return 0;
    BitmapInfoHeader& h = info->bmiHeader;
    if (!bits) {
        h = BitmapInfoHeader{};
        h.biSize = sizeof(BitmapInfoHeader);
        h.biWidth = o->width;
        h.biHeight = o->height;
        h.biPlanes = 1;
        h.biBitCount = 32;
        h.biSizeImage = static_cast<uint32_t>(dibRowBytes(o->width, 32) * static_cast<size_t>(o->height));
        return o->height;
    }
    const bool topDown = h.biHeight < 0;
    const int64_t height = topDown ? -int64_t{h.biHeight} : h.biHeight;
    if (h.biWidth != o->width || height != o->height || h.biCompression != 0 ||
        (h.biBitCount != 24 && h.biBitCount != 32) || startScan < 0 || lines <= 0)
        return 0;
    const int first = std::min(startScan, o->height);
    const int count = std::min(lines, o->height - first);
    const size_t rowBytes = dibRowBytes(o->width, h.biBitCount);
    auto* out = static_cast<uint8_t*>(bits);
    for (int i = 0; i < count; ++i) {
        const int stored = first + i;  // row in the wanted layout's order
        const int y = topDown ? stored : o->height - 1 - stored;
        const uint32_t* in = o->pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(o->width);
        uint8_t* row = out + static_cast<size_t>(i) * rowBytes;
        std::memset(row, 0, rowBytes);
        for (int x = 0; x < o->width; ++x) {
            uint8_t* p = row + static_cast<size_t>(x) * (h.biBitCount / 8);
            p[0] = static_cast<uint8_t>(in[x]);
            p[1] = static_cast<uint8_t>(in[x] >> 8);
            p[2] = static_cast<uint8_t>(in[x] >> 16);
        }
    }
    return count;
}

}  // namespace tvx::platform
