// Window placements: the records in the settings file, the way a stored placement
// comes back onto the screens, and when windows write their placement.
#include "ImageWindowTestSupport.h"
#include "imagelib/window/placement.h"
#include "platform/window/window.h"

#include <gtest/gtest.h>

using namespace pixorytest;
using namespace tvx::imagelib;
using namespace tvx::platform;
using namespace tvx::platform::win;

namespace {

MonitorInfo monitor(Rect r, bool primary)
{
    MonitorInfo m;
    m.monitor = m.work = r;
    m.primary = primary;
    return m;
}

bool same(const Rect& a, const Rect& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

#define EXPECT_RECT(actual, l, t, r, b)                                                 \
    do {                                                                                \
        const Rect got_ = (actual);                                                     \
        EXPECT_TRUE(same(got_, Rect{l, t, r, b}))                                       \
            << got_.left << " " << got_.top << " " << got_.right << " " << got_.bottom; \
    } while (0)

TEST(PlacementRecords, ParseWhatIsThereAndFormatFiveNumbers)
{
    PlacementRecord r{1, 2, 3, 4, 5};
    EXPECT_TRUE(parsePlacement("10 -20 300", r));
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, -20);
    EXPECT_EQ(r.width, 300);
    EXPECT_EQ(r.height, 4);  // missing fields keep their values
    EXPECT_EQ(r.state, 5);
    EXPECT_FALSE(parsePlacement("none", r));
    EXPECT_TRUE(parsePlacement("99999999999 0 0 0 17", r));
    EXPECT_EQ(r.left, 1000000000);  // kept to numbers a window can use
    EXPECT_EQ(formatPlacement({-736, 50, 800, 600, 17}), "-736 50 800 600 17");
}

TEST(PlacementOnScreens, KeepsAStripOfTheWindowReachable)
{
    const std::vector<MonitorInfo> one{monitor({0, 0, 1024, 768}, true)};
    // With the virtual screen starting at 0, an 800 pixel window stored at -3000
    // comes back with 64 pixels showing.
    EXPECT_RECT(placeOnScreens({-3000, 50, -2200, 650}, one), -736, 50, 64, 650);
    // Right and bottom: 32 and 16 pixels stay on the screen.
    EXPECT_RECT(placeOnScreens({5000, 5000, 5400, 5300}, one), 992, 752, 1392, 1052);
    // Above the screen: the caption stays within 8 pixels of its top.
    EXPECT_RECT(placeOnScreens({100, -500, 500, -200}, one), 100, -8, 500, 292);
    // Sizes at most the screen plus 8.
    EXPECT_RECT(placeOnScreens({0, 0, 5000, 5000}, one), 0, 0, 1032, 776);
    // A window in place stays as it is.
    EXPECT_RECT(placeOnScreens({20, 10, 228, 138}, one), 20, 10, 228, 138);
}

TEST(PlacementOnScreens, AWindowInAGapBetweenMonitorsMovesOntoTheNearestOne)
{
    // A tall second monitor to the right: the bounding box is 1100 high, but below
    // 900 the left part is on no monitor.
    const std::vector<MonitorInfo> two{monitor({0, 0, 1600, 900}, true),
                                       monitor({1600, -200, 2880, 824}, false)};
    EXPECT_RECT(placeOnScreens({100, 1000, 500, 1300}, two), 100, 600, 500, 900);
    // Left of a primary monitor that does not start the virtual screen.
    const std::vector<MonitorInfo> leftOf{monitor({0, 0, 1920, 1080}, true),
                                          monitor({-1280, 0, 0, 1024}, false)};
    // The placement rule allows x up to 3200 - 32 here, which is past the right
    // edge of every monitor: the window comes back onto the primary monitor.
    EXPECT_RECT(placeOnScreens({3000, 100, 3400, 400}, leftOf), 1520, 100, 1920, 400);
    // Partly on the second monitor is enough.
    EXPECT_RECT(placeOnScreens({-1000, 100, -600, 400}, leftOf), -1000, 100, -600, 400);
}

class WindowPlacementTest : public ImageWindowTest {};

TEST_F(WindowPlacementTest, ANewWindowWritesItsPlacementAndMovesAndSizesAreSaved)
{
    ASSERT_NE(pxImageNew(1, nullptr, 400, 300, 8, 0), nullptr);
    const Hwnd h = windowOf(1);
    ASSERT_NE(h, 0u);
    // Created at (20, 10) with room for the picture plus frame (4 each side) and caption (20).
    EXPECT_RECT(windowRect(h), 20, 10, 428, 338);
    EXPECT_EQ(placementText(iniPath(), 1), "20 10 408 328 17");
    moveWindow(h, 100, 120, 300, 200);
    EXPECT_EQ(placementText(iniPath(), 1), "100 120 300 200 17");
    // A minimised window is not written.
    showWindow(h, SW_MINIMIZE);
    moveWindow(h, 300, 300, 300, 200);
    EXPECT_EQ(placementText(iniPath(), 1), "100 120 300 200 17");
    showWindow(h, SW_RESTORE);

    // A bare window is not placed from the record when it opens, and a window no
    // larger than an icon plus 8 pixels is not written.
    pxSetWindowStyle(2, 1);
    ASSERT_NE(pxImageNew(2, nullptr, 400, 300, 8, 0), nullptr);
    const Hwnd bare = windowOf(2);
    EXPECT_EQ(placementText(iniPath(), 2), "");
    moveWindow(bare, 50, 60, 40, 300);
    EXPECT_EQ(placementText(iniPath(), 2), "");
    moveWindow(bare, 50, 60, 41, 300);
    EXPECT_EQ(placementText(iniPath(), 2), "50 60 41 300 17");
}

TEST_F(WindowPlacementTest, AStoredPlacementIsRestoredOntoTheScreens)
{
    setIni("Windows", "Display2", "-3000 50 800 600 17");
    setIni("Windows", "Display3", "100 1000 400 300 17");
    setIni("Windows", "Display4", "4000 4000 100000 100000 1");
    ASSERT_NE(pxImageNew(1, nullptr, 1000, 800, 8, 0), nullptr);
    EXPECT_RECT(windowRect(windowOf(1)), -736, 50, 64, 650);
    // Below the primary monitor, where the second one does not reach: onto the primary.
    ASSERT_NE(pxImageNew(2, nullptr, 1000, 800, 8, 0), nullptr);
    EXPECT_RECT(windowRect(windowOf(2)), 100, 600, 500, 900);
    // Huge and far away: on the nearest monitor, no larger than the picture allows.
    ASSERT_NE(pxImageNew(3, nullptr, 1000, 800, 8, 0), nullptr);
    const Rect far = windowRect(windowOf(3));
    EXPECT_EQ(far.left, kSecondScreen.left);
    EXPECT_EQ(far.top, kSecondScreen.top);
    EXPECT_EQ(far.width(), 1008);
    EXPECT_EQ(far.height(), 828);
    // A record without the library's mark is written back with it.
    EXPECT_EQ(placementText(iniPath(), 3), "4000 4000 100000 100000 17");
}

TEST_F(WindowPlacementTest, FitAndSizeExportsStoreTheSizeAndMoveByTheRecord)
{
    ASSERT_NE(pxImageNew(0, nullptr, 400, 300, 8, 0), nullptr);
    const Hwnd h = windowOf(0);
    // Position and client size at once: moved directly.
    EXPECT_EQ(pxSetWindowSizePos(0, 300, 200, 50, 60, 0), 1);
    EXPECT_RECT(windowRect(h), 50, 60, 358, 288);
    EXPECT_EQ(placementText(iniPath(), 0), "50 60 308 228 17");
    EXPECT_EQ(clientRect(h).width(), 300 - 17);  // both bars: 400 x 300 does not fit
    // Position only, through the record.
    EXPECT_EQ(pxSetWindowSizePos(0, 0, 0, 70, 80, 1), 1);
    EXPECT_RECT(windowRect(h), 70, 80, 378, 308);
    // A missing width or height from the picture (bit 2).
    EXPECT_EQ(pxSetWindowSizePos(0, 0, 100, 0, 0, 4), 1);
    EXPECT_EQ(windowRect(h).width(), 408);
    // Fitting at zoom 1/2 sizes the window for 200 x 150.
    EXPECT_EQ(pxFitWindowSize(0, 0.5, 0, 0), 1);
    EXPECT_EQ(clientRect(h).width(), 200);
    EXPECT_EQ(clientRect(h).height(), 150);
    EXPECT_EQ(pxGetWindowZoom(0), 0.5);
    EXPECT_EQ(placementText(iniPath(), 0), "70 80 208 178 17");
    // Without a window these do nothing.
    EXPECT_EQ(pxFitWindowSize(5, 0, 0, 0), 0);
    EXPECT_EQ(pxSetWindowSizePos(5, 1, 1, 1, 1, 3), 0);
    EXPECT_EQ(pxFitWindowSize(99, 0, 0, 0), 0);
}

TEST_F(WindowPlacementTest, MaximisingCoversTheWorkAreaAndFitsThePicture)
{
    ASSERT_NE(pxImageNew(1, nullptr, 400, 300, 8, 0), nullptr);
    const Hwnd h = windowOf(1);
    moveWindow(h, 100, 120, 300, 200);
    pxSetScrollPos(1, 20, 10, 0);
    sendMessage(h, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    EXPECT_EQ(pxSetWindowStyle(1, -2), 1);
    // The client area is the primary monitor's work area, the frame outside it.
    const Point origin = clientToScreen(h, {0, 0});
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);
    EXPECT_EQ(clientRect(h).width(), 1600);
    EXPECT_EQ(clientRect(h).height(), 900);
    // The fit zoom of that area (3) is above the zoom (1): it is taken.
    EXPECT_DOUBLE_EQ(pxGetWindowZoom(1), 3.0);
    // The record keeps the normal rectangle, marked as maximised.
    EXPECT_EQ(placementText(iniPath(), 1), "100 120 300 200 19");
    sendMessage(h, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_EQ(pxSetWindowStyle(1, -2), 0);
    EXPECT_RECT(windowRect(h), 100, 120, 400, 320);
    EXPECT_DOUBLE_EQ(pxGetWindowZoom(1), 1.0);
    double x = -1, y = -1;
    pxGetScrollPos(1, &x, &y);
    EXPECT_EQ(x, 20);
    EXPECT_EQ(y, 10);
    EXPECT_EQ(placementText(iniPath(), 1), "100 120 300 200 17");
}

TEST_F(WindowPlacementTest, FullScreenCoversTheMonitorAndComesBack)
{
    ASSERT_NE(pxImageNew(2, nullptr, 400, 300, 8, 0), nullptr);
    const Hwnd h = windowOf(2);
    moveWindow(h, 1700, 100, 300, 200);  // on the second monitor
    EXPECT_EQ(pxSetFullScreen(2, 1), 1);
    EXPECT_RECT(windowRect(h), 1600 - 4, -200 - 24, 2880 + 4, 824 + 4);
    EXPECT_EQ(pxSetFullScreen(2, 7), 1);  // only asks
    EXPECT_EQ(pxSetFullScreen(2, 2), 0);  // toggles back
    EXPECT_RECT(windowRect(h), 1700, 100, 2000, 300);
    EXPECT_EQ(pxSetWindowStyle(2, -5), 0);  // enter, returns the style
    EXPECT_EQ(pxSetWindowStyle(2, -2), 1);
    pxSetWindowStyle(2, -3);  // toggle: leave
    EXPECT_EQ(pxSetWindowStyle(2, -2), 0);
    EXPECT_EQ(pxSetFullScreen(20, 1), 0);  // no window
    EXPECT_EQ(pxSetFullScreen(200, 1), 0);
}

}  // namespace
