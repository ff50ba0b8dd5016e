// Image windows: opening and closing, layout and scroll bars, zoom and scroll
// exports, the system menu, and bad input.
#include "ImageWindowTestSupport.h"
#include "platform/window/dialog.h"
#include "platform/window/menu.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace pixorytest;
using namespace tvx::platform;
using namespace tvx::platform::win;

namespace {

std::vector<unsigned>& paints()
{
    static std::vector<unsigned> log;
    return log;
}
WindowProc gOriginal = nullptr;
LResult countingProc(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam)
{
    if (message == WM_PAINT)
        paints().push_back(hwnd);
    return callWindowProc(gOriginal, hwnd, message, wParam, lParam);
}
// Counts the WM_PAINTs the window gets from now on.
void countPaints(Hwnd hwnd)
{
    paints().clear();
    gOriginal = reinterpret_cast<WindowProc>(
        setWindowLong(hwnd, GWLP_WNDPROC, static_cast<int64_t>(reinterpret_cast<intptr_t>(&countingProc))));
}

std::vector<int> itemIds(Hmenu menu)
{
    std::vector<int> ids;
    for (int i = 0; i < menuItemCount(menu); ++i)
        ids.push_back(menuItemId(menu, i));
    return ids;
}

class ImageWindows : public ImageWindowTest {};

TEST_F(ImageWindows, CreatingAnImageOpensItsWindowUnlessAskedNotTo)
{
    ASSERT_NE(pxImageNew(3, nullptr, 200, 100, 8, 0), nullptr);
    const Hwnd h = windowOf(3);
    ASSERT_NE(h, 0u);
    EXPECT_TRUE(isWindowVisible(h));
    EXPECT_EQ(windowText(h), "Image 4");
    EXPECT_EQ(getWindowLong(h, GWL_STYLE), int64_t{0x80FF0000} | WS_VISIBLE);
    EXPECT_EQ(clientRect(h).width(), 200);
    EXPECT_EQ(clientRect(h).height(), 100);
    // The same size again keeps the window and its pixels.
    pxSetPixelValue(3, 5, 5, 77);
    pxImageNew(3, nullptr, 200, 100, 8, 0);
    EXPECT_EQ(windowOf(3), h);
    EXPECT_EQ(pxGetPixelValue(3, 5, 5), 77);
    // Another size: the same window takes up the new picture.
    pxImageNew(3, nullptr, 60, 50, 8, 0);
    EXPECT_EQ(windowOf(3), h);
    EXPECT_EQ(clientRect(h).width(), 60);  // the window is never larger than its picture

    EXPECT_NE(pxImageNew(4, nullptr, 20, 10, 8, 0x10), nullptr);
    EXPECT_EQ(windowOf(4), 0u);
    EXPECT_EQ(pxOpenImageWindow(4, nullptr, "Named"), 1);
    const Hwnd named = windowOf(4);
    EXPECT_EQ(windowText(named), "Named");
    EXPECT_EQ(pxOpenImageWindow(4, nullptr, "Other"), 1);
    EXPECT_EQ(windowOf(4), named);
    EXPECT_EQ(windowText(named), "Other");
    // The parent becomes the owner; a handle that is no window is not used.
    const Hwnd owner = windowOf(3);
    pxImageNew(5, reinterpret_cast<void*>(static_cast<uintptr_t>(owner)), 20, 10, 8, 0);
    EXPECT_EQ(ownerOf(windowOf(5)), owner);
    void* copied = pxImageCopy(5, 6, 0);
    EXPECT_EQ(copied, pxGetBitmapData(6));
    EXPECT_EQ(ownerOf(windowOf(6)), owner);  // copies open their window with the same parent
    pxImageNew(7, reinterpret_cast<void*>(uintptr_t{0x7FFFFFF0}), 20, 10, 8, 0);
    EXPECT_NE(windowOf(7), 0u);
    EXPECT_EQ(ownerOf(windowOf(7)), 0u);

    // A bare popup.
    EXPECT_EQ(pxSetWindowStyle(8, 1), 1);
    EXPECT_EQ(pxSetWindowStyle(8, -1), 1);
    pxImageNew(8, nullptr, 30, 40, 24, 0);
    EXPECT_EQ(getWindowLong(windowOf(8), GWL_STYLE), int64_t{0x80000000} | WS_VISIBLE);
    EXPECT_EQ(windowRect(windowOf(8)).width(), 30);
}

TEST_F(ImageWindows, ClosingAWindowKeepsTheImage)
{
    pxImageNew(1, nullptr, 20, 10, 8, 0);
    pxImageNew(2, nullptr, 20, 10, 8, 0);
    const Hwnd first = windowOf(1), second = windowOf(2);
    EXPECT_EQ(pxImageClose(1), 0);
    EXPECT_FALSE(isWindow(first));
    EXPECT_EQ(windowOf(1), 0u);
    EXPECT_NE(pxGetBitmapHeader(1), nullptr);
    // The person closes the other through its frame.
    sendMessage(second, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(isWindow(second));
    EXPECT_EQ(windowOf(2), 0u);
    EXPECT_EQ(pxGetXSize(2), 20);
    // Exports that need a window now answer as without one.
    EXPECT_EQ(pxGetScrollPos(2, nullptr, nullptr), 0.0);
    EXPECT_EQ(pxSetScrollPos(2, 1, 1, 0), -1);
    EXPECT_EQ(pxGetLastKey(2), 0);
    // Opening again gives a new window.
    EXPECT_EQ(pxOpenImageWindow(2, nullptr, "again"), 1);
    EXPECT_NE(windowOf(2), 0u);
    EXPECT_NE(windowOf(2), second);
    pxCloseAll();
    EXPECT_EQ(windowOf(2), 0u);
    EXPECT_EQ(pxGetBitmapHeader(2), nullptr);
}

TEST_F(ImageWindows, ScrollBarsComeWhenThePictureDoesNotFit)
{
    pxImageNew(0, nullptr, 200, 100, 8, 0);
    const Hwnd h = windowOf(0);
    int low = 0, high = 0;
    // Narrower than the picture: the horizontal bar, and the vertical one too,
    // as the bar leaves less than the picture's height.
    pxSetWindowSizePos(0, 190, 110, 0, 0, 2);
    EXPECT_EQ(clientRect(h).width(), 173);
    EXPECT_EQ(clientRect(h).height(), 83);
    ASSERT_TRUE(scrollRange(h, SB_HORZ, low, high));
    EXPECT_EQ(high - low + 1, 200);
    // With room for the picture's height under the bar, only the horizontal bar.
    pxSetWindowSizePos(0, 190, 117, 0, 0, 2);
    EXPECT_EQ(clientRect(h).width(), 190);
    EXPECT_EQ(clientRect(h).height(), 100);
    // The scroll range is what does not fit.
    EXPECT_EQ(pxSetScrollPos(0, 1000, 1000, 0), 0);
    double x = -1, y = -1;
    EXPECT_EQ(pxGetScrollPos(0, &x, &y), 1.0);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 0);
    // The window never grows beyond the picture plus frame and bars.
    moveWindow(h, 0, 0, 1000, 1000);
    EXPECT_EQ(windowRect(h).width(), 208);
    EXPECT_EQ(windowRect(h).height(), 128);
    // Flag 0x200 (or 0x100) takes the range away.
    pxSetWindowSizePos(0, 150, 80, 0, 0, 2);
    pxSetImageFlagBits(0, 0x200, 1);
    pxImageUpdate(0, 0);
    pxSetWindowZoom(0, 1.0001, 0, 0);  // any layout change
    pxSetScrollPos(0, 50, 50, 0);
    EXPECT_EQ(pxGetScrollPos(0, &x, &y), 1.0001);
    EXPECT_EQ(x, 0);
    // 0x100 lets pxSetScrollPos enlarge the range to reach a position.
    pxSetImageFlags(0, 0x100);
    pxSetWindowZoom(0, 1, 0, 0);
    pxSetScrollPos(0, 500, 40, 0);
    pxGetScrollPos(0, &x, &y);
    EXPECT_EQ(x, 500);
    EXPECT_EQ(y, 40);
}

TEST_F(ImageWindows, ScrollBarMessagesMoveByLinesPagesAndThumb)
{
    pxImageNew(0, nullptr, 800, 300, 8, 0);
    const Hwnd h = windowOf(0);
    pxSetWindowSizePos(0, 217, 117, 0, 0, 2);  // client 200 x 100 with both bars: range 600 x 200
    ASSERT_EQ(clientRect(h).width(), 200);
    double x = 0, y = 0;
    auto position = [&] {
        pxGetScrollPos(0, &x, &y);
        return static_cast<int>(x);
    };
    sendMessage(h, WM_HSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(position(), 32);
    sendMessage(h, WM_HSCROLL, SB_PAGEDOWN, 0);
    EXPECT_EQ(position(), 32 + 199);
    sendMessage(h, WM_HSCROLL, SB_LINEUP, 0);
    EXPECT_EQ(position(), 199);
    sendMessage(h, WM_HSCROLL, makeWParam(SB_THUMBTRACK, 77), 0);
    EXPECT_EQ(position(), 77);
    sendMessage(h, WM_HSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(position(), 600);
    sendMessage(h, WM_HSCROLL, SB_TOP, 0);
    EXPECT_EQ(position(), 0);
    sendMessage(h, WM_VSCROLL, SB_PAGEDOWN, 0);
    pxGetScrollPos(0, &x, &y);
    EXPECT_EQ(y, 99);
    EXPECT_EQ(scrollPos(h, SB_VERT), 99);

    // Past 16 bits: the message carries the low 16 bits of the thumb's position.
    pxSetWindowZoom(0, 256, 0, 0);
    pxSetScrollPos(0, 300, 0, 0);  // 76800 pixels
    EXPECT_EQ(position() * 256, 76800);
    sendMessage(h, WM_HSCROLL, makeWParam(SB_THUMBPOSITION, (76800 + 1000) & 0xFFFF), 0);
    position();
    EXPECT_EQ(std::lround(x * 256), 77800);
}

TEST_F(ImageWindows, ZoomExportsStoreReadAndRepaintOnlyOnChange)
{
    pxImageNew(1, nullptr, 200, 100, 8, 0);
    const Hwnd h = windowOf(1);
    pumpFor(20);
    countPaints(h);
    EXPECT_EQ(pxSetWindowZoom(1, 2, 0, 0), 1);
    pumpUntil([] { return !paints().empty(); }, 1000);
    EXPECT_FALSE(paints().empty());
    paints().clear();
    pxSetWindowZoom(1, 2, 0, 0);  // no change: no repaint
    pumpFor(30);
    EXPECT_TRUE(paints().empty());

    EXPECT_EQ(pxGetWindowZoom(1), 2.0);
    EXPECT_EQ(pxGetWindowZoom(1 | (2 << 24)), 2.0);  // the change factor
    pxSetWindowZoom(1, 0, 1.5, 0);                   // zoom 0: unchanged; change >= 0.1 stored
    EXPECT_EQ(pxGetWindowZoom(1), 2.0);
    EXPECT_EQ(pxGetWindowZoom(1 | (2 << 24)), 1.5);
    pxSetWindowZoom(1, 0, 0.05, 0);  // 0..0.1 leaves it
    EXPECT_EQ(pxGetWindowZoom(1 | (2 << 24)), 1.5);
    pxSetWindowZoom(1, 0, -3, 0);  // negative: the option bits
    EXPECT_EQ(pxGetWindowZoom(1 | (3 << 24)), 3.0);
    pxSetWindowZoom(1, 0, 0, 0x20001);  // clear bit 0
    EXPECT_EQ(pxGetWindowZoom(1 | (3 << 24)), 2.0);
    pxSetWindowZoom(1, 0, 0, 0x30004);  // set bit 2
    EXPECT_EQ(pxGetWindowZoom(1 | (3 << 24)), 6.0);
    pxSetWindowZoom(1, 0, 0, 0x10001);  // replace
    EXPECT_EQ(pxGetWindowZoom(1 | (3 << 24)), 1.0);
    pxSetWindowZoom(1, 0, 0, 0x10101);  // other bits: options ignored
    EXPECT_EQ(pxGetWindowZoom(1 | (3 << 24)), 1.0);

    // Bit 31 names the current image; values from 0xFFFF0000 up are plain numbers.
    sendMessage(h, WM_LBUTTONDOWN, MK_LBUTTON, at(1, 1));  // makes image 1 current
    EXPECT_EQ(pxGetWindowZoom(static_cast<int>(0x80000000u | (2u << 24))), 1.5);
    EXPECT_EQ(pxGetWindowZoom(-1), 2.0);
    EXPECT_EQ(pxGetWindowZoom(40), 1.0);  // invalid
    // The fit zoom of the window.
    pxSetWindowSizePos(1, 150, 100, 0, 0, 2);
    pxSetWindowZoom(1, 1, 0, 0);
    const double fit = pxGetWindowZoom(1 | (1 << 24));
    EXPECT_DOUBLE_EQ(fit, 150.0 / 200);
    pxSetWindowZoom(1, -1, 0, 0);
    EXPECT_DOUBLE_EQ(pxGetWindowZoom(1), fit);
    EXPECT_EQ(clientRect(h).width(), 150);
    EXPECT_EQ(clientRect(h).height(), 75);
}

TEST_F(ImageWindows, ZoomStepsSnapAndStopAtTheFitZoom)
{
    pxImageNew(0, nullptr, 200, 100, 8, 0);
    const Hwnd h = windowOf(0);
    // A right press steps in about the cursor: 0.3 x 2 = 0.6 snaps to 0.5.
    pxSetWindowZoom(0, 0.3, 2, 0x10001);  // no fit stop here
    sendMessage(h, WM_RBUTTONDOWN, MK_RBUTTON, at(0, 0));
    EXPECT_DOUBLE_EQ(pxGetWindowZoom(0), 0.5);
    sendMessage(h, WM_RBUTTONDOWN, MK_RBUTTON, at(0, 0));
    EXPECT_DOUBLE_EQ(pxGetWindowZoom(0), 1.0);
    // -3 steps out, -2 in, about the centre.
    pxSetWindowZoom(0, -3, 0, 0);
    EXPECT_DOUBLE_EQ(pxGetWindowZoom(0), 0.5);
    pxSetWindowZoom(0, -2, 0, 0);
    EXPECT_DOUBLE_EQ(pxGetWindowZoom(0), 1.0);

    // A 400 x 400 picture in a 300 x 300 window fits at 0.75.
    pxImageNew(1, nullptr, 400, 400, 8, 0);
    const Hwnd big = windowOf(1);
    pxSetWindowSizePos(1, 300, 300, 0, 0, 2);
    ASSERT_DOUBLE_EQ(pxGetWindowZoom(1 | (1 << 24)), 0.75);
    pxSetWindowZoom(1, -3, 0, 0);  // 1 -> 0.5 passes 0.75: stops there
    EXPECT_DOUBLE_EQ(pxGetWindowZoom(1), 0.75);
    pxSetWindowZoom(1, -2, 0, 0);  // and back in to where it came from
    EXPECT_DOUBLE_EQ(pxGetWindowZoom(1), 1.0);
    pxSetWindowZoom(1, -3, 0, 0);
    pxSetWindowZoom(1, -3, 0, 0);  // on to where the stopped step was going
    EXPECT_DOUBLE_EQ(pxGetWindowZoom(1), 0.5);
    // The frame's right button steps out as well.
    pxSetWindowZoom(1, 1, 0, 0x10001);
    sendMessage(big, WM_NCRBUTTONDOWN, 0, 0);
    EXPECT_DOUBLE_EQ(pxGetWindowZoom(1), 0.5);
    // A step in keeps the picture point under the cursor: (30 + 0) / 0.5 = 60.
    pxSetScrollPos(1, 0, 0, 0);
    sendMessage(big, WM_RBUTTONDOWN, MK_RBUTTON, at(30, 40));
    double x = 0, y = 0;
    pxGetScrollPos(1, &x, &y);
    EXPECT_DOUBLE_EQ(x + 30 / pxGetWindowZoom(1), 60);
    EXPECT_DOUBLE_EQ(y + 40 / pxGetWindowZoom(1), 80);
}

TEST_F(ImageWindows, TheSystemMenuOffersColourTablesZoomAndSaving)
{
    pxSetWindowZoom(2, 1, std::sqrt(2.0), 0);
    pxImageNew(2, nullptr, 64, 64, 8, 0);
    const Hwnd h = windowOf(2);
    const Hmenu menu = systemMenu(h);
    ASSERT_NE(menu, 0u);
    const int count = menuItemCount(menu);
    ASSERT_GE(count, 3);
    // Below the standard entries: the colour tables, zoom, and saving.
    EXPECT_EQ(menuItemId(menu, 0), static_cast<int>(SC_RESTORE));
    EXPECT_EQ(menuItemId(menu, count - 1), 1);
    EXPECT_EQ(menuString(menu, 1, MF_BYCOMMAND), "Save As...");
    const Hmenu colours = subMenu(menu, count - 3);
    const Hmenu zoom = subMenu(menu, count - 2);
    EXPECT_EQ(menuString(menu, count - 3, MF_BYPOSITION), "Color Table");
    EXPECT_EQ(menuString(menu, count - 2, MF_BYPOSITION), "Zoom");
    EXPECT_EQ(itemIds(colours), (std::vector<int>{10, 11, 12, 13, 14, 15, 16, 17, 18}));
    EXPECT_EQ(menuString(colours, 10, MF_BYCOMMAND), "&Grey");
    EXPECT_EQ(menuString(colours, 18, MF_BYCOMMAND), "Grey inverted");
    // The factor in use (root 2) is not offered.
    EXPECT_EQ(itemIds(zoom), (std::vector<int>{28, 29, 21, 22, 24, 25, 26, 27, 35, 32, 33, 34}));
    EXPECT_EQ(menuString(zoom, 26, MF_BYCOMMAND), "Zoom = 1/4");

    // Choosing entries.
    sendMessage(h, WM_SYSCOMMAND, 13, 0);  // Rainbow
    auto* table = static_cast<const uint8_t*>(pxGetPalette(2, nullptr, 0));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table[4 * 32], 255);  // entry 32: blue
    EXPECT_EQ(table[4 * 32 + 2], 0);
    EXPECT_EQ(table[4 * 255 + 1], 255);  // entry 255: white
    sendMessage(h, WM_SYSCOMMAND, 26, 0);
    EXPECT_EQ(pxGetWindowZoom(2), 0.25);
    sendMessage(h, WM_SYSCOMMAND, 22, 0);
    EXPECT_EQ(pxGetWindowZoom(2), 2.0);
    sendMessage(h, WM_SYSCOMMAND, 33, 0);
    EXPECT_EQ(pxGetWindowZoom(2 | (2 << 24)), 1.1);
    sendMessage(h, WM_SYSCOMMAND, 34, 0);  // "Change Factor = 1" changes nothing
    EXPECT_EQ(pxGetWindowZoom(2 | (2 << 24)), 1.1);
    sendMessage(h, WM_SYSCOMMAND, 32, 0);
    EXPECT_DOUBLE_EQ(pxGetWindowZoom(2 | (2 << 24)), std::pow(2.0, 0.25));
    sendMessage(h, WM_SYSCOMMAND, 28, 0);  // fit: the window shows all of it
    EXPECT_EQ(pxGetWindowZoom(2), pxGetWindowZoom(2 | (1 << 24)));
    // Without a display the zoom values are printed as a box would show them.
    testing::internal::CaptureStdout();
    sendMessage(h, WM_SYSCOMMAND, 29, 0);
    const std::string printed = testing::internal::GetCapturedStdout();
    char expected[128];
    std::snprintf(expected, sizeof expected, "[Zoom] Zoom Factor = %g\nChange Factor = %g\n",
                  pxGetWindowZoom(2), std::pow(2.0, 0.25));
    EXPECT_EQ(printed, expected);
    // Save As without a display acts as cancelled.
    EXPECT_EQ(sendMessage(h, WM_SYSCOMMAND, 1, 0), 0);
    EXPECT_TRUE(isWindow(h));
}

TEST_F(ImageWindows, BadInputGivesTheDocumentedErrorValues)
{
    // Invalid numbers and empty slots.
    EXPECT_EQ(pxOpenImageWindow(32, nullptr, "x"), 0);
    EXPECT_EQ(pxSetWindowZoom(32, 2, 0, 0), 0);
    EXPECT_EQ(pxGetWindowZoom(32), 1.0);
    EXPECT_EQ(pxSetScrollPos(32, 0, 0, 0), -1);
    EXPECT_EQ(pxGetScrollPos(32, nullptr, nullptr), 0.0);
    EXPECT_EQ(pxSetWindowStyle(32, 1), 0);
    // A window for an empty slot is 512 x 512 and shows the background.
    EXPECT_EQ(pxOpenImageWindow(9, nullptr, nullptr), 1);
    const Hwnd empty = windowOf(9);
    EXPECT_EQ(windowText(empty), "Image 10");
    EXPECT_EQ(clientRect(empty).width(), 512);
    paintNow(empty);
    EXPECT_EQ(shownColour(empty, 10, 10), 0x606060u);
    sendMessage(empty, WM_LBUTTONDOWN, MK_LBUTTON, at(10, 10));
    sendMessage(empty, WM_RBUTTONDOWN, MK_RBUTTON, at(10, 10));
    pxSetWindowZoom(9, -1, 0, 0);
    // Zooms of 0, below 0, NaN and infinity; absurd scroll positions.
    pxImageNew(0, nullptr, 50, 40, 8, 0);
    pxSetWindowZoom(0, 0, 0, 0);
    EXPECT_EQ(pxGetWindowZoom(0), 1.0);
    pxSetWindowZoom(0, -7, 0, 0);
    pxSetWindowZoom(0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN(), 0);
    EXPECT_EQ(pxGetWindowZoom(0), 1.0);
    pxSetWindowZoom(0, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(), 0);
    EXPECT_EQ(pxGetWindowZoom(0), 16384.0);
    pxSetScrollPos(0, 1e300, 1e300, 0);
    paintNow(windowOf(0));
    sendMessage(windowOf(0), WM_RBUTTONDOWN, MK_RBUTTON, at(5, 5));  // steps with an infinite factor
    EXPECT_EQ(pxGetWindowZoom(0), 16384.0);
    pxSetWindowZoom(0, 1e-300, 0, 0);
    EXPECT_EQ(pxGetWindowZoom(0), 1.0 / 16384);
    pxSetWindowZoom(0, -3, 0, 0);
    paintNow(windowOf(0));
    EXPECT_EQ(pxGetWindowZoom(0), 1.0 / 16384);
    // Sizes and positions far off every screen.
    EXPECT_EQ(pxSetWindowSizePos(0, -5, 1 << 30, 1 << 30, -(1 << 30), 3), 1);
    EXPECT_EQ(pxSetWindowSizePos(0, 100, 100, -2000000000, 2000000000, 1), 1);
    EXPECT_TRUE(isWindow(windowOf(0)));
    EXPECT_EQ(pxFitWindowSize(0, 0, 1 << 30, -1), 1);
    // Bad addresses for results.
    void* bad = inaccessibleAddress();
    EXPECT_EQ(pxGetScrollPos(0, static_cast<double*>(bad), static_cast<double*>(bad)), 1.0 / 16384);
    pxGetClickInfo(static_cast<double*>(bad), static_cast<double*>(bad), static_cast<int*>(bad),
                   static_cast<int*>(bad));
    pxGetCursorInfo(static_cast<double*>(bad), nullptr, static_cast<int*>(bad));
    pxGetMonitorInfo(1, static_cast<double*>(bad), nullptr, nullptr, static_cast<double*>(bad));
    EXPECT_EQ(pxOpenImageWindow(0, nullptr, static_cast<const char*>(bad)), 1);
    EXPECT_EQ(windowText(windowOf(0)), "Image 1");
    EXPECT_EQ(pxSetInfoWindow(bad, bad, nullptr, reinterpret_cast<void*>(uintptr_t{12345})), 0);
    sendMessage(windowOf(0), WM_LBUTTONDOWN, MK_LBUTTON, at(0, 0));
    pxSetInfoWindow(nullptr, nullptr, nullptr, nullptr);
}

TEST_F(ImageWindows, ThirtyTwoWindowsAtOnce)
{
    for (int n = 0; n < 32; ++n) {
        ASSERT_NE(pxImageNew(n, nullptr, 64 + n, 48, n % 2 ? 24 : 8, 0), nullptr) << n;
        ASSERT_NE(windowOf(n), 0u) << n;
    }
    std::vector<Hwnd> all;
    for (int n = 0; n < 32; ++n)
        all.push_back(windowOf(n));
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::unique(all.begin(), all.end()), all.end());
    for (int n = 0; n < 32; ++n) {
        pxSetWindowZoom(n, 1 + n % 4, 0, 0);
        paintNow(windowOf(n));
        sendMessage(windowOf(n), WM_LBUTTONDOWN, MK_LBUTTON, at(1, 1));
        double x = 0, y = 0;
        int code = 0, count = 0;
        pxGetClickInfo(&x, &y, &code, &count);
        EXPECT_EQ(code, n);
    }
    EXPECT_EQ(pxImageNew(32, nullptr, 10, 10, 8, 0), nullptr);
    pumpFor(20);
    pxCloseAll();
    for (Hwnd h : all)
        EXPECT_FALSE(isWindow(h));
}

}  // namespace
