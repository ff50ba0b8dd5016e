// What image windows report: clicks, the cursor, keys, wheel steps, focus and the
// current image; and the library's message pump.
#include "ImageWindowTestSupport.h"
#include "platform/clock.h"
#include "platform/window/qt/access.h"

#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <thread>

using namespace pixorytest;
using namespace tvx::platform;
using namespace tvx::platform::win;

namespace {

struct Click {
    double x = -1, y = -1;
    int code = 0, count = 0, value = 0;
};
Click lastClick()
{
    Click c;
    c.value = pxGetClickInfo(&c.x, &c.y, &c.code, &c.count);
    return c;
}

// Wheel messages carry screen coordinates; steps within one tick count as one.
void wheel(Hwnd h, int clientX, int clientY, int delta)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const Point p = clientToScreen(h, {clientX, clientY});
    sendMessage(h, WM_MOUSEWHEEL, makeWParam(0, static_cast<unsigned>(delta & 0xFFFF)), makeLParam(p.x, p.y));
}

LResult plainProc(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam)
{
    return defWindowProc(hwnd, message, wParam, lParam);
}

class WindowInput : public ImageWindowTest {};

TEST_F(WindowInput, ClicksReportImageCoordinatesValuesAndButtons)
{
    pxImageNew(2, nullptr, 100, 80, 8, 0);
    const Hwnd h = windowOf(2);
    pxSetPixelValue(2, 12, 7, 99);
    pxSetWindowZoom(2, 4, 0, 0);
    pxSetScrollPos(2, 10, 5, 0);  // 40 x 20 screen pixels
    const int before = lastClick().count;
    // Client (9, 11) shows (40 + 9) / 4, (20 + 11) / 4.
    sendMessage(h, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, at(9, 11));
    Click c = lastClick();
    EXPECT_DOUBLE_EQ(c.x, 12.25);
    EXPECT_DOUBLE_EQ(c.y, 7.75);
    EXPECT_EQ(c.value, 99);
    EXPECT_EQ(c.code, 2);
    EXPECT_EQ(c.count, before + 1);
    double cx = 0, cy = 0;
    int window = -1;
    EXPECT_EQ(pxGetCursorInfo(&cx, &cy, &window), static_cast<int>(MK_LBUTTON | MK_SHIFT));
    EXPECT_EQ(window, 2);
    EXPECT_DOUBLE_EQ(cx, 12.25);
    // Moving and releasing update the cursor, not the click.
    sendMessage(h, WM_MOUSEMOVE, 0, at(1, 2));
    EXPECT_EQ(pxGetCursorInfo(&cx, &cy, &window), 0);
    EXPECT_DOUBLE_EQ(cx, 10.25);
    EXPECT_DOUBLE_EQ(cy, 5.5);
    EXPECT_EQ(lastClick().count, before + 1);
    // Outside the picture a left press is no click.
    pxSetScrollPos(2, 99, 79, 0);
    sendMessage(h, WM_LBUTTONDOWN, MK_LBUTTON, at(300, 300));
    EXPECT_EQ(lastClick().count, before + 1);
    // The middle button counts with 0x2000, a right press with 0x1000 when the
    // change factor lies between 0.1 and 1 (else it zooms).
    sendMessage(h, WM_MBUTTONDOWN, MK_MBUTTON, at(0, 0));
    EXPECT_EQ(lastClick().code, 0x2002);
    pxSetWindowZoom(2, 0, 0.5, 0);
    sendMessage(h, WM_RBUTTONDOWN, MK_RBUTTON, at(0, 0));
    c = lastClick();
    EXPECT_EQ(c.code, 0x1002);
    EXPECT_EQ(c.count, before + 3);
    EXPECT_EQ(pxGetWindowZoom(2), 4.0);
}

TEST_F(WindowInput, ClicksAndFocusMakeTheWindowsImageCurrent)
{
    pxImageNew(4, nullptr, 30, 20, 8, 0);
    pxImageNew(6, nullptr, 50, 40, 8, 0);
    sendMessage(windowOf(4), WM_LBUTTONDOWN, MK_LBUTTON, at(1, 1));
    EXPECT_EQ(pxGetXSize(-1), 30);
    sendMessage(windowOf(6), WM_MBUTTONDOWN, MK_MBUTTON, at(1, 1));
    EXPECT_EQ(pxGetXSize(-1), 50);
    sendMessage(windowOf(4), WM_NCRBUTTONDOWN, 0, 0);
    EXPECT_EQ(pxGetXSize(-1), 30);
    // Focus: current, and the focus code for callers that ask with 0x10000.
    setFocus(windowOf(4));
    setFocus(windowOf(6));
    EXPECT_EQ(pxGetXSize(-1), 50);
    double x, y;
    int code = 0x10000, count;
    pxGetClickInfo(&x, &y, &code, &count);
    EXPECT_EQ(code, 0x10006);
    code = 0;
    pxGetClickInfo(&x, &y, &code, &count);
    EXPECT_EQ(code & 0xFFFF0000, 0);  // the click code
    // A double click on the frame.
    sendMessage(windowOf(4), WM_NCLBUTTONDBLCLK, 0, 0);
    code = 0x10000;
    pxGetClickInfo(&x, &y, &code, &count);
    EXPECT_EQ(code, 0x20004);
    // Opening a window gives it the focus without a focus code.
    setFocus(windowOf(4));
    pxImageNew(7, nullptr, 10, 10, 8, 0);
    EXPECT_EQ(focusWindow(), windowOf(7));
    code = 0x10000;
    pxGetClickInfo(&x, &y, &code, &count);
    EXPECT_EQ(code, 0x10004);
}

TEST_F(WindowInput, InfoWindowsShowTheLeftClick)
{
    registerClass("PlainForInfo", plainProc);
    Hwnd info[4];
    for (Hwnd& h : info)
        h = createWindow("PlainForInfo", "", 0, 0, 0, 0, 10, 10, 0, 0);
    pxSetInfoWindow(reinterpret_cast<void*>(uintptr_t{info[0]}), reinterpret_cast<void*>(uintptr_t{info[1]}),
                    reinterpret_cast<void*>(uintptr_t{info[2]}), reinterpret_cast<void*>(uintptr_t{info[3]}));
    pxImageNew(1, nullptr, 20, 20, 8, 0);
    pxSetPixelValue(1, 3, 4, 200);
    pxSetWindowZoom(1, 2, 0, 0);
    sendMessage(windowOf(1), WM_LBUTTONDOWN, MK_LBUTTON, at(7, 9));
    EXPECT_EQ(windowText(info[0]), "3.5");
    EXPECT_EQ(windowText(info[1]), "4.5");
    EXPECT_EQ(windowText(info[2]), "200");
    EXPECT_EQ(windowText(info[3]), "x=3.5,  y=4.5,  Wert=200");
    // Other buttons leave them.
    sendMessage(windowOf(1), WM_MBUTTONDOWN, MK_MBUTTON, at(0, 0));
    EXPECT_EQ(windowText(info[2]), "200");
    pxSetInfoWindow(nullptr, nullptr, nullptr, nullptr);
    for (Hwnd h : info)
        destroyWindow(h);
}

TEST_F(WindowInput, TheWheelZoomsOrCountsClicks)
{
    pxImageNew(3, nullptr, 200, 200, 8, 0);
    const Hwnd h = windowOf(3);
    pxSetWindowZoom(3, 1, 1, 0x10001);  // factor 1: wheel steps are clicks
    const int before = lastClick().count;
    wheel(h, 10, 20, 120);
    Click c = lastClick();
    EXPECT_EQ(c.code, 0x4003);
    EXPECT_EQ(c.count, before + 1);
    EXPECT_DOUBLE_EQ(c.x, 10);
    EXPECT_DOUBLE_EQ(c.y, 20);
    wheel(h, 10, 20, -120);
    EXPECT_EQ(lastClick().code, 0x8003);
    // Two in the same tick count as one.
    wheel(h, 10, 20, 120);
    const uint32_t tick = tickCountMs() / 16;
    const Point p = clientToScreen(h, {10, 20});
    sendMessage(h, WM_MOUSEWHEEL, makeWParam(0, 120), makeLParam(p.x, p.y));
    if (tickCountMs() / 16 == tick) {
        EXPECT_EQ(lastClick().count, before + 3);
    }
    // Outside the client area, or with a factor below 0.1: ignored.
    const int counted = lastClick().count;
    wheel(h, 500, 20, 120);
    EXPECT_EQ(lastClick().count, counted);
    // Other factors zoom, by at most root 2 per step.
    pxSetWindowZoom(3, 0, 2, 0);
    wheel(h, 0, 0, 120);
    EXPECT_DOUBLE_EQ(pxGetWindowZoom(3), std::sqrt(2.0));
    wheel(h, 0, 0, -120);
    EXPECT_DOUBLE_EQ(pxGetWindowZoom(3), 1.0);
    pxSetWindowZoom(3, 0, 1.2, 0);
    wheel(h, 0, 0, 120);
    EXPECT_DOUBLE_EQ(pxGetWindowZoom(3), 1.2);
}

TEST_F(WindowInput, KeysAreKeptForTheWindowsImage)
{
    pxImageNew(5, nullptr, 20, 20, 8, 0);
    const Hwnd h = windowOf(5);
    pxGetLastKey(5);
    sendMessage(h, WM_KEYDOWN, VK_F1, 0);
    sendMessage(h, WM_CHAR, 'q', 0);
    EXPECT_EQ(pxGetLastKey(5), (VK_F1 << 16) | 'q');
    EXPECT_EQ(pxGetLastKey(5), 0);  // read once
    EXPECT_EQ(pxGetLastKey(9), 0);  // no window
    // Typed into the widget: through the queue and the library's pump.
    QTest::keyClick(qt::widgetOf(h), Qt::Key_A);
    EXPECT_GE(pxProcessMessages(-1), 2);
    EXPECT_EQ(pxGetLastKey(5), ('A' << 16) | 'a');
}

TEST_F(WindowInput, APersonsClicksReachTheCallerThroughThePump)
{
    pxImageNew(1, nullptr, 120, 90, 8, 0);
    const Hwnd h = windowOf(1);
    pxSetPixelValue(1, 30, 20, 42);
    pxSetWindowZoom(1, 2, 0, 0);
    const int before = lastClick().count;
    QWidget* widget = qt::widgetOf(h);
    ASSERT_NE(widget, nullptr);
    QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(61, 41));
    pumpUntil([&] { return pxProcessMessages(-1) >= 0 && lastClick().count > before; }, 2000);
    const Click c = lastClick();
    EXPECT_EQ(c.count, before + 1);
    EXPECT_DOUBLE_EQ(c.x, 30.5);
    EXPECT_DOUBLE_EQ(c.y, 20.5);
    EXPECT_EQ(c.value, 42);
    EXPECT_EQ(c.code, 1);
}

TEST_F(WindowInput, ThePumpServesImageWindowsAndStopsWhereAsked)
{
    pxImageNew(0, nullptr, 20, 20, 8, 0);
    const Hwnd h = windowOf(0);
    pumpFor(20);
    registerClass("PlainForPump", plainProc);
    const Hwnd other = createWindow("PlainForPump", "", 0, 0, 0, 0, 10, 10, 0, 0);
    for (int i = 0; i < 5; ++i)
        postMessage(h, WM_USER + i);
    EXPECT_EQ(pxProcessMessages(2), 2);
    EXPECT_EQ(pxProcessMessages(-1), 3);
    EXPECT_EQ(pxProcessMessages(-1), 0);
    // Bit 30: stop at the first message for another window.
    postMessage(h, WM_USER);
    postMessage(other, WM_USER);
    postMessage(h, WM_USER);
    EXPECT_EQ(pxProcessMessages(0x40000000 | 10), -2);
    EXPECT_EQ(queuedMessageCount(), 2u);
    EXPECT_EQ(pxProcessMessages(-1), 2);
    // WM_QUIT stops the pump and stays queued for the program's own loop.
    postMessage(h, WM_USER);
    postQuitMessage(3);
    EXPECT_EQ(pxProcessMessages(-1), -1);
    Msg msg;
    ASSERT_TRUE(peekMessage(msg));
    EXPECT_EQ(msg.message, WM_QUIT);
    // Keys seen by the pump are recorded for any window.
    postMessage(other, WM_CHAR, 'z');
    pxProcessMessages(-1);
    EXPECT_EQ(pxGetLastKey(0) & 0xFFFF, 'z');
    // A timer due again and again does not keep the pump from returning.
    setTimer(h, 7, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(pxProcessMessages(-1), 1);
    killTimer(h, 7);
    destroyWindow(other);
}

TEST_F(WindowInput, PostedWheelStepsGoToTheWindowUnderTheCursor)
{
    pxImageNew(1, nullptr, 200, 200, 8, 0);
    pxImageNew(2, nullptr, 200, 200, 8, 0);
    moveWindow(windowOf(1), 100, 100, 208, 224);
    moveWindow(windowOf(2), 400, 100, 208, 224);
    const Point inSecond = clientToScreen(windowOf(2), {50, 50});
    setCursorPos(inSecond.x, inSecond.y);
    if (cursorPos().x != inSecond.x || cursorPos().y != inSecond.y)
        GTEST_SKIP() << "the cursor cannot be placed on this platform";
    pxSetWindowZoom(2, 1, 2, 0x10001);
    pumpFor(20);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const uint32_t tick = tickCountMs() / 16;
    EXPECT_EQ(pxPostMouseWheelEvent(120, 0, 0), 1);
    EXPECT_EQ(pxPostMouseWheelEvent(120, 0, 0), 1);  // same tick: nothing more posted
    const int handled = pxProcessMessages(-1);
    if (tickCountMs() / 16 == tick) {
        EXPECT_EQ(handled, 1);
    }
    EXPECT_DOUBLE_EQ(pxGetWindowZoom(2), std::sqrt(2.0));
    // The masks choose the windows considered: only image 1 has no window there.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(pxPostMouseWheelEvent(120, 1 << 1, 0), 0);
    EXPECT_EQ(pxPostMouseWheelEvent(120, 1 << 2, 0), 1);
    pxProcessMessages(-1);
    // A change factor not above 1: nothing is posted.
    pxSetWindowZoom(2, 0, 1, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(pxPostMouseWheelEvent(120, 0, 0), 0);
    EXPECT_EQ(pxProcessMessages(-1), 0);
}

TEST_F(WindowInput, MonitorsAreEnumerated)
{
    double left = 0, top = 0, width = 0, height = 0;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(pxGetMonitorInfo(-1, nullptr, nullptr, nullptr, nullptr)), 2u);
    const auto* record = static_cast<const int32_t*>(pxGetMonitorInfo(1, &left, &top, &width, &height));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(width, 1600);
    EXPECT_EQ(height, 900);
    EXPECT_EQ(record[0], 40);  // cbSize, the monitor rectangle, the work rectangle, flags
    EXPECT_EQ(record[3], 1600);
    EXPECT_EQ(record[9], 1);  // primary
    record = static_cast<const int32_t*>(pxGetMonitorInfo(2, &left, &top, &width, &height));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(left, 1600);
    EXPECT_EQ(top, -200);
    EXPECT_EQ(record[9], 0);
    EXPECT_EQ(pxGetMonitorInfo(3, &left, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(pxGetMonitorInfo(0, nullptr, nullptr, nullptr, nullptr), nullptr);
}

}  // namespace
