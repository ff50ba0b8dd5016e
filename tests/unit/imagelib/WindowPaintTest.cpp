// What image windows show: pixels at any zoom and scroll position, colour tables,
// lookups and grey display of colour images, 16-bit planes, the repaint flags,
// and how fast a large picture repaints.
#include "ImageWindowTestSupport.h"
#include "imagelib/core/slot.h"
#include "imagelib/window/paint.h"
#include "platform/window/qt/access.h"

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace pixorytest;
using namespace tvx::platform;
using namespace tvx::platform::win;

namespace {

uint32_t grey(int v)
{
    return static_cast<uint32_t>(v) * 0x010101u;
}

int paintCount = 0;
WindowProc gPaintOriginal = nullptr;
LResult countingPaints(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam)
{
    if (message == WM_PAINT)
        ++paintCount;
    return callWindowProc(gPaintOriginal, hwnd, message, wParam, lParam);
}

class WindowPaint : public ImageWindowTest {};

TEST_F(WindowPaint, EightBitPicturesShowOnAlignedGridsAtEveryZoom)
{
    pxImageNew(1, nullptr, 12, 10, 8, 0);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x)
            pxSetPixelValue(1, x, y, 10 * x + 13 * y);
    const Hwnd h = windowOf(1);
    // Zoom 1 (through the device), 4 and 3 (whole zooms), 1/2 and 1.5.
    struct Case {
        double zoom;
        int probes[4][2];
    } cases[] = {{1, {{0, 0}, {11, 9}, {5, 3}, {7, 8}}},
                 {4, {{0, 0}, {3, 3}, {4, 4}, {47, 39}}},
                 {3, {{2, 2}, {3, 3}, {17, 5}, {35, 29}}},
                 {0.5, {{0, 0}, {1, 1}, {5, 4}, {2, 3}}},
                 {1.5, {{3, 3}, {4, 4}, {5, 5}, {17, 14}}}};
    for (const Case& c : cases) {
        pxFitWindowSize(1, c.zoom, 0, 0);  // the window shows all of the picture
        paintNow(h);
        const tvx::imagelib::AxisMap columns(c.zoom, 12), rows(c.zoom, 10);
        for (const auto& p : c.probes) {
            const int sx = columns.source(p[0]), sy = rows.source(p[1]);
            EXPECT_EQ(shownColour(h, p[0], p[1]), grey(10 * sx + 13 * sy))
                << "zoom " << c.zoom << " at " << p[0] << "," << p[1];
        }
    }
    // Whole zooms put pixel k at k * zoom: at zoom 3, client 3 shows pixel 1.
    pxFitWindowSize(1, 3, 0, 0);
    paintNow(h);
    EXPECT_EQ(shownColour(h, 2, 0), grey(0));
    EXPECT_EQ(shownColour(h, 3, 0), grey(10));
    // Beside the picture: the background (the window is never below 64 x 64).
    pxFitWindowSize(1, 0.5, 0, 0);
    paintNow(h);
    ASSERT_GT(clientRect(h).width(), 6);
    EXPECT_EQ(shownColour(h, 6, 1), 0x606060u);
    EXPECT_EQ(shownColour(h, 1, 5), 0x606060u);
}

TEST_F(WindowPaint, TheScrolledPartIsShown)
{
    pxImageNew(2, nullptr, 300, 200, 8, 0x01);  // top-down rows
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            pxSetPixelValue(2, x, y, (x + 2 * y) & 0xFF);
    const Hwnd h = windowOf(2);
    pxSetWindowSizePos(2, 120, 100, 0, 0, 2);
    for (double zoom : {1.0, 2.0}) {
        pxSetScrollPos(2, 20, 10, zoom);
        paintNow(h);
        EXPECT_EQ(shownColour(h, 0, 0), grey(20 + 20)) << zoom;
        EXPECT_EQ(shownColour(h, static_cast<int>(5 * zoom), static_cast<int>(7 * zoom)), grey(25 + 34))
            << zoom;
    }
    // The off-screen bitmap shows the same.
    pxSetImageFlagBits(2, 0x04000000, 1);
    pxSetScrollPos(2, 0, 0, 1);
    paintNow(h);
    EXPECT_EQ(shownColour(h, 9, 4), grey(17));
    EXPECT_EQ(shownColour(h, 100, 50), grey(200));
}

TEST_F(WindowPaint, ColourPicturesGoThroughTheirLookupAndCanShowGrey)
{
    pxImageNew(3, nullptr, 4, 2, 24, 0);
    const int colours[2][4] = {{0xFF0000, 0x00FF00, 0x0000FF, 0x102030},
                               {0x808080, 0xFFFFFF, 0x000000, 0x405060}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            pxSetPixelValue(3, x, y, colours[y][x]);
    const Hwnd h = windowOf(3);
    for (double zoom : {1.0, 8.0}) {
        pxSetWindowZoom(3, zoom, 0, 0);
        paintNow(h);
        const int z = static_cast<int>(zoom);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(shownColour(h, x * z, y * z), static_cast<uint32_t>(colours[y][x])) << zoom;
    }
    // Grey inverted: the lookup inverts each channel.
    pxSetPalette(3, 8);
    paintNow(h);
    EXPECT_EQ(shownColour(h, 0, 0), 0x00FFFFu);
    EXPECT_EQ(shownColour(h, 8 * 3, 0), 0xEFDFCFu);
    // Flag 0x80: grey (3 blue + 8 green + 5 red) / 16, then through the lookup.
    pxSetImageFlagBits(3, 0x80, 1);
    paintNow(h);
    const int g = (3 * 0x30 + 8 * 0x20 + 5 * 0x10) >> 4;
    EXPECT_EQ(shownColour(h, 8 * 3, 0), grey(255 - g));
    pxSetPalette(3, 0);
    paintNow(h);
    EXPECT_EQ(shownColour(h, 8 * 3, 0), grey(g));
    EXPECT_EQ(shownColour(h, 0, 0), grey(5 * 255 >> 4));
}

TEST_F(WindowPaint, SmallDepthsAndSixteenBitPlanesShowThroughTheirTables)
{
    // 4 bits: through the device at any zoom.
    pxImageNew(4, nullptr, 6, 3, 4, 0);
    uint8_t table[64] = {};
    for (int i = 0; i < 16; ++i) {
        table[4 * i] = static_cast<uint8_t>(i * 16);       // blue
        table[4 * i + 2] = static_cast<uint8_t>(255 - i);  // red
    }
    pxPutPalette(4, table, sizeof table);
    for (int x = 0; x < 6; ++x)
        pxSetPixelValue(4, x, 1, x + 3);
    const Hwnd h4 = windowOf(4);
    for (double zoom : {1.0, 5.0}) {
        pxSetWindowZoom(4, zoom, 0, 0);
        paintNow(h4);
        for (int x = 0; x < 6; ++x) {
            const uint32_t expected =
                (static_cast<uint32_t>(255 - (x + 3)) << 16) | static_cast<uint32_t>((x + 3) * 16);
            EXPECT_EQ(shownColour(h4, static_cast<int>(x * zoom), static_cast<int>(zoom)), expected) << zoom;
        }
    }

    // 12 bits: the plane's display bytes, by the display mode.
    pxImageNew(5, nullptr, 4, 2, 12, 0);
    auto* plane = static_cast<uint16_t*>(pxGetImg16Data(5));
    const uint16_t values[8] = {0, 16, 1600, 4095, 800, 2048, 3000, 100};
    std::memcpy(plane, values, sizeof values);
    pxSetImg16Display(5, 3, -1, -1);  // a fixed shift of depth - 8
    pxImageUpdate(5, 2);
    const Hwnd h5 = windowOf(5);
    EXPECT_EQ(shownColour(h5, 2, 0), grey(1600 >> 4));
    EXPECT_EQ(shownColour(h5, 3, 0), grey(255));
    EXPECT_EQ(pxTranslatePixel16To8(5, 3000), 3000 >> 4);
    // A fixed window of 800..2048 at zoom 2.
    pxSetImg16Display(5, 4, 800, 2048);
    pxSetWindowZoom(5, 2, 0, 0);
    pxImageUpdate(5, 2);
    EXPECT_EQ(shownColour(h5, 0, 2), grey(0));    // 800
    EXPECT_EQ(shownColour(h5, 2, 2), grey(255));  // 2048
    EXPECT_EQ(shownColour(h5, 0, 0), grey(0));    // below the window
    const int middle = pxTranslatePixel16To8(5, 1600);
    EXPECT_GT(middle, 150);
    EXPECT_LT(middle, 170);
    EXPECT_EQ(pxGetPixelValue(5, 2, 0), 1600);  // the data stay as they were
}

TEST_F(WindowPaint, SuppressedUpdatesWaitForImageUpdate)
{
    pxImageNew(6, nullptr, 40, 30, 8, 0);
    const Hwnd h = windowOf(6);
    pumpFor(30);
    paintNow(h);
    EXPECT_EQ(shownColour(h, 5, 5), grey(0));
    gPaintOriginal = reinterpret_cast<WindowProc>(
        setWindowLong(h, GWLP_WNDPROC, static_cast<int64_t>(reinterpret_cast<intptr_t>(&countingPaints))));
    pxSetImageFlagBits(6, 0x02000000, 1);
    paintCount = 0;
    pxSetPalette(6, 8);           // would repaint
    pxSetWindowZoom(6, 2, 0, 0);  // would lay out and repaint
    pumpFor(50);
    EXPECT_EQ(paintCount, 0);
    EXPECT_EQ(pxImageUpdate(6, 2), 0);  // clears the flag and paints at once
    EXPECT_GE(paintCount, 1);
    EXPECT_EQ(pxSetImageFlags(6, -1) & 0x02000000, 0);
    EXPECT_EQ(shownColour(h, 5, 5), grey(255));
}

TEST_F(WindowPaint, ScreenshotsAtTwoZooms)
{
    pxImageNew(7, nullptr, 256, 192, 8, 0);
    for (int y = 0; y < 192; ++y)
        for (int x = 0; x < 256; ++x)
            pxSetPixelValue(7, x, y, ((x / 16 + y / 16) % 2) ? x : 255 - y);
    pxSetPalette(7, 3);  // Rainbow
    const Hwnd h = windowOf(7);
    QWidget* widget = qt::widgetOf(h);
    ASSERT_NE(widget, nullptr);
    QDir().mkpath(QStringLiteral(TOLVEX_BINARY_DIR "/screenshots"));
    const auto* palette = static_cast<const uint8_t*>(pxGetPalette(7, nullptr, 0));
    for (double zoom : {0.5, 3.0}) {
        pxSetWindowZoom(7, zoom, 0, 0);
        pxSetScrollPos(7, 40, 30, 0);
        pumpFor(30);
        const QImage shot = widget->grab().toImage();
        char name[96];
        std::snprintf(name, sizeof name, TOLVEX_BINARY_DIR "/screenshots/image-window-zoom-%g.png", zoom);
        EXPECT_TRUE(shot.save(QString::fromUtf8(name)));
        // The picture in the shot: the client point (10, 10) shows what the window shows.
        const tvx::imagelib::AxisMap map(zoom, 256);
        double sx = 0, sy = 0;
        pxGetScrollPos(7, &sx, &sy);
        const int px = map.source(std::llround(sx * zoom) + 10),
                  py = map.source(std::llround(sy * zoom) + 10);
        const int v = pxGetPixelValue(7, px, py);
        const QRgb seen = shot.pixel(10, 10);
        EXPECT_EQ(qRed(seen), palette[4 * v + 2]) << zoom;
        EXPECT_EQ(qGreen(seen), palette[4 * v + 1]) << zoom;
        EXPECT_EQ(qBlue(seen), palette[4 * v]) << zoom;
    }
}

// Timings are printed, not asserted (as every timing in this project).
// A large picture at the two zooms the painting benchmark (bench/, image-paint)
// measures: a client point shows its source pixel.
TEST_F(WindowPaint, ALargePictureShowsItsPixelsAtQuarterAndFourfoldZoom)
{
    constexpr int kSize = 4096;
    ASSERT_NE(pxImageNew(0, nullptr, kSize, kSize, 8, 0), nullptr);
    auto* pixels = static_cast<uint8_t*>(pxGetBitmapData(0));
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            pixels[static_cast<size_t>(y) * kSize + x] =
                static_cast<uint8_t>((x * 7 + y * 13 + (x * y >> 5)) & 0xFF);
    const Hwnd h = windowOf(0);
    for (double zoom : {0.25, 4.0}) {
        pxSetWindowZoom(0, zoom, 0, 0);
        pxFitWindowSize(0, 0, 0, 0);  // as large as the screen allows
        pxSetScrollPos(0, 1000, 1000, 0);
        pumpFor(30);
        paintNow(h);
        double sx = 0, sy = 0;
        pxGetScrollPos(0, &sx, &sy);
        const tvx::imagelib::AxisMap map(zoom, kSize);
        const int px = map.source(std::llround(sx * zoom) + 33),
                  py = map.source(std::llround(sy * zoom) + 21);
        EXPECT_EQ(shownColour(h, 33, 21), grey(pixels[static_cast<size_t>(kSize - 1 - py) * kSize + px]));
    }
}

}  // namespace
