// Device contexts and DIB painting as image windows use them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "WindowTestSupport.h"
#include "platform/window/gdi.h"

namespace tvx::platform {
namespace {

using namespace test;

// An 8-bit DIB with a grey ramp table (entry i = grey i), 4 x 3 pixels, rows
// padded to 4 bytes; pixel (x, y) of the picture (y from the top) = 10 * y + x.
struct Dib8 {
    std::vector<uint8_t> info;
    std::vector<uint8_t> bits;
    explicit Dib8(bool topDown, int width = 4, int height = 3) {
        info.resize(sizeof(BitmapInfoHeader) + 256 * 4);
        auto* h = reinterpret_cast<BitmapInfoHeader*>(info.data());
        std::memset(h, 0, sizeof *h);
        h->biSize = 40;
        h->biWidth = width;
        h->biHeight = topDown ? -height : height;
        h->biPlanes = 1;
        h->biBitCount = 8;
        for (int i = 0; i < 256; ++i) {
            uint8_t* q = info.data() + 40 + 4 * i;
            q[0] = q[1] = q[2] = static_cast<uint8_t>(i);
        }
        size_t row = dibRowBytes(width, 8);
        bits.assign(row * static_cast<size_t>(height), 0);
        for (int y = 0; y < height; ++y) {
            int memoryRow = topDown ? y : height - 1 - y;
            for (int x = 0; x < width; ++x)
                bits[static_cast<size_t>(memoryRow) * row + static_cast<size_t>(x)] =
                    static_cast<uint8_t>(10 * y + x);
        }
    }
    const BitmapInfo* header() const { return reinterpret_cast<const BitmapInfo*>(info.data()); }
};

struct Canvas {
    Hdc dc;
    Hgdiobj bitmap;
    Canvas(int w, int h) {
        dc = createCompatibleDC(0);
        bitmap = createCompatibleBitmap(dc, w, h);
        selectObject(dc, bitmap);
        Hgdiobj white = createSolidBrush(rgb(255, 255, 255));
        fillRect(dc, {0, 0, w, h}, white);
        deleteObject(white);
    }
    ~Canvas() {
        deleteDC(dc);
        deleteObject(bitmap);
    }
    int grey(int x, int y) const { return static_cast<int>(getPixel(dc, x, y) & 0xFF); }
};

TEST(DibPainting, EightBitDibsScaleUpWithTheirColourTable) {
    for (bool topDown : {false, true}) {
        Dib8 dib(topDown);
        Canvas canvas(12, 9);
        EXPECT_EQ(stretchDIBits(canvas.dc, 0, 0, 12, 9, 0, 0, 4, 3, dib.bits.data(), dib.header()), 3);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 12; ++x)
                EXPECT_EQ(canvas.grey(x, y), 10 * (y / 3) + x / 3) << x << "," << y << " topDown " << topDown;
    }
}

TEST(DibPainting, SourceRectanglesCountFromTheBottomOfBottomUpDibs) {
    Dib8 dib(false);
    Canvas canvas(2, 1);
    // The bottom row of the picture is row 0 of the source rectangle.
    stretchDIBits(canvas.dc, 0, 0, 2, 1, 1, 0, 2, 1, dib.bits.data(), dib.header());
    EXPECT_EQ(canvas.grey(0, 0), 21);
    EXPECT_EQ(canvas.grey(1, 0), 22);
    Dib8 topDown(true);
    stretchDIBits(canvas.dc, 0, 0, 2, 1, 1, 0, 2, 1, topDown.bits.data(), topDown.header());
    EXPECT_EQ(canvas.grey(0, 0), 1);
}

TEST(DibPainting, ZoomsBelowOneSampleAndTheDestinationIsClipped) {
    Dib8 dib(true, 8, 8);
    Canvas canvas(4, 4);
    stretchDIBits(canvas.dc, 0, 0, 4, 4, 0, 0, 8, 8, dib.bits.data(), dib.header());
    EXPECT_EQ(canvas.grey(1, 1), 22);  // every second pixel
    EXPECT_EQ(canvas.grey(3, 2), 46);
    // Partly outside the surface: the visible part is drawn, nothing else touched.
    Canvas small(3, 3);
    EXPECT_GT(stretchDIBits(small.dc, -2, -2, 8, 8, 0, 0, 8, 8, dib.bits.data(), dib.header()), 0);
    EXPECT_EQ(small.grey(0, 0), 22);
    EXPECT_EQ(setDIBitsToDevice(small.dc, 1, 1, 2, 2, 0, 0, 0, 8, dib.bits.data(), dib.header()), 8);
    EXPECT_EQ(small.grey(1, 1), 0);
    EXPECT_EQ(small.grey(2, 2), 11);
}

TEST(DibPainting, BadHeadersAndSizesDrawNothing) {
    Dib8 dib(true);
    Canvas canvas(4, 4);
    std::vector<uint8_t> info = dib.info;
    auto* h = reinterpret_cast<BitmapInfoHeader*>(info.data());
    h->biBitCount = 7;
    EXPECT_EQ(stretchDIBits(canvas.dc, 0, 0, 4, 4, 0, 0, 4, 3, dib.bits.data(),
                            reinterpret_cast<BitmapInfo*>(info.data())),
              0);
    h->biBitCount = 8;
    h->biCompression = 1;  // RLE is not drawn
    EXPECT_EQ(stretchDIBits(canvas.dc, 0, 0, 4, 4, 0, 0, 4, 3, dib.bits.data(),
                            reinterpret_cast<BitmapInfo*>(info.data())),
              0);
    EXPECT_EQ(stretchDIBits(canvas.dc, 0, 0, 0, 4, 0, 0, 4, 3, dib.bits.data(), dib.header()), 0);
    EXPECT_EQ(stretchDIBits(canvas.dc, 0, 0, 4, 4, 0, 0, 4, 3, nullptr, dib.header()), 0);
    EXPECT_EQ(stretchDIBits(9999999, 0, 0, 4, 4, 0, 0, 4, 3, dib.bits.data(), dib.header()), 0);
    EXPECT_EQ(createCompatibleBitmap(0, 1 << 20, 1 << 20), 0u);
}

TEST(DibPainting, TwentyFourBitDibsAndWindowSurfaces) {
    setUpWindows();
    BitmapInfo info{};
    info.bmiHeader.biSize = 40;
    info.bmiHeader.biWidth = 1;
    info.bmiHeader.biHeight = 1;
    info.bmiHeader.biBitCount = 24;
    uint8_t pixel[4] = {30, 20, 10, 0};  // blue, green, red
    Hwnd window = createWindow("Recorder", "", win::WS_POPUP | win::WS_VISIBLE, 0, 0, 0, 40, 30, 0, 0);
    Hdc dc = getDC(window);
    ASSERT_NE(dc, 0u);
    EXPECT_EQ(stretchDIBits(dc, 0, 0, 40, 30, 0, 0, 1, 1, pixel, &info), 1);
    EXPECT_EQ(getPixel(dc, 39, 29), rgb(10, 20, 30));
    setTextColor(dc, rgb(0, 0, 0));
    setBkColor(dc, rgb(255, 255, 255));
    EXPECT_TRUE(textOut(dc, 0, 0, "Wg"));
    int width = 0, height = 0;
    EXPECT_TRUE(textExtent(dc, "Wg", width, height));
    EXPECT_GT(width, 5);
    bool dark = false;
    for (int y = 0; y < height && !dark; ++y)
        for (int x = 0; x < width; ++x)
            if ((getPixel(dc, x, y) & 0xFF) < 100) dark = true;
    EXPECT_TRUE(dark);
    releaseDC(window, dc);
    destroyWindow(window);
    EXPECT_EQ(getDC(window), 0u);
}

TEST(DibPainting, BitmapsReadBackAsDibsInEitherRowOrder) {
    Canvas canvas(3, 2);
    setPixel(canvas.dc, 0, 0, rgb(1, 2, 3));
    setPixel(canvas.dc, 2, 1, rgb(200, 100, 50));
    BitmapInfo info{};
    ASSERT_EQ(getDIBits(canvas.dc, canvas.bitmap, 0, 2, nullptr, &info), 2);
    EXPECT_EQ(info.bmiHeader.biWidth, 3);
    EXPECT_EQ(info.bmiHeader.biHeight, 2);
    // 24 bits, bottom-up: the picture's bottom row first, rows padded to 12 bytes.
    info.bmiHeader.biBitCount = 24;
    std::vector<uint8_t> rows(2 * 12, 0xEE);
    ASSERT_EQ(getDIBits(canvas.dc, canvas.bitmap, 0, 2, rows.data(), &info), 2);
    EXPECT_EQ(rows[6], 50);  // blue, green, red of (2, 1)
    EXPECT_EQ(rows[7], 100);
    EXPECT_EQ(rows[8], 200);
    EXPECT_EQ(rows[9], 0);  // padding
    EXPECT_EQ(rows[12], 3);
    EXPECT_EQ(rows[14], 1);
    // 32 bits, top-down, only the second row.
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biHeight = -2;
    uint8_t row[12] = {};
    ASSERT_EQ(getDIBits(canvas.dc, canvas.bitmap, 1, 5, row, &info), 1);
    EXPECT_EQ(row[8], 50);
    EXPECT_EQ(row[10], 200);
    // Layouts that do not fit the bitmap copy nothing.
    info.bmiHeader.biWidth = 4;
    EXPECT_EQ(getDIBits(canvas.dc, canvas.bitmap, 0, 2, row, &info), 0);
    info.bmiHeader.biWidth = 3;
    info.bmiHeader.biBitCount = 8;
    EXPECT_EQ(getDIBits(canvas.dc, canvas.bitmap, 0, 2, row, &info), 0);
    EXPECT_EQ(getDIBits(canvas.dc, 0, 0, 2, row, &info), 0);
}

}  // namespace
}  // namespace tvx::platform
