// Windows, handles, relations, the message queue and timers.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "WindowTestSupport.h"
#include "platform/window/clipboard.h"

namespace tvx::platform {
namespace {

using namespace win;
using namespace test;

TEST(WindowHandles, AreDistinctNeverReusedAndAvoidTheNumbersOfDialogControls) {
    Hwnd parent = makeParent();
    std::vector<Hwnd> made;
    for (int i = 0; i < 50; ++i) {
        Hwnd h = createWindow("Static", "x", WS_CHILD, 0, 0, 0, 10, 10, parent, 100 + i);
        ASSERT_NE(h, 0u);
        EXPECT_GE(h, 0x10000u);
        unsigned high = h >> 16;
        EXPECT_FALSE(high >= 0x7BCF && high <= 0x7BF0);
        made.push_back(h);
    }
    for (size_t i = 1; i < made.size(); ++i) EXPECT_NE(made[i], made[i - 1]);
    Hwnd gone = made[3];
    destroyWindow(gone);
    EXPECT_FALSE(isWindow(gone));
    EXPECT_EQ(sendMessage(gone, WM_GETTEXTLENGTH), 0);
    Hwnd next = createWindow("Static", "y", WS_CHILD, 0, 0, 0, 10, 10, parent, 999);
    for (Hwnd h : made) EXPECT_NE(next, h);
    destroyWindow(parent);
    for (Hwnd h : made) EXPECT_FALSE(isWindow(h));
}

TEST(WindowRelations, ChildrenOwnersAndTheOrderOfDestruction) {
    Hwnd top = makeParent();
    Hwnd child = createWindow("Recorder", "child", WS_CHILD | WS_VISIBLE, 0, 5, 5, 50, 50, top, 7);
    Hwnd grandchild = createWindow("Recorder", "gc", WS_CHILD, 0, 1, 1, 5, 5, child, 8);
    Hwnd owned = createWindow("Recorder", "owned", WS_POPUP, 0, 0, 0, 50, 50, child, 0);
    EXPECT_EQ(parentOf(child), top);
    EXPECT_EQ(parentOf(owned), 0u);
    EXPECT_EQ(ownerOf(owned), top);  // the owner of a top-level window is a top-level window
    EXPECT_TRUE(isChild(top, grandchild));
    EXPECT_FALSE(isChild(child, top));
    EXPECT_EQ(topLevelOf(grandchild), top);
    EXPECT_EQ(dialogItem(top, 7), child);
    EXPECT_EQ(dialogItem(top, 8), 0u);  // not a direct child
    EXPECT_EQ(controlId(grandchild), 8);

    received().clear();
    destroyWindow(top);
    EXPECT_FALSE(isWindow(owned));
    std::vector<std::pair<Hwnd, unsigned>> order;
    for (const Received& r : received())
        if (r.message == WM_DESTROY || r.message == WM_NCDESTROY) order.push_back({r.hwnd, r.message});
    std::vector<std::pair<Hwnd, unsigned>> expected = {
        {owned, WM_DESTROY},      {owned, WM_NCDESTROY},      {top, WM_DESTROY},     {child, WM_DESTROY},
        {grandchild, WM_DESTROY}, {grandchild, WM_NCDESTROY}, {child, WM_NCDESTROY}, {top, WM_NCDESTROY}};
    EXPECT_EQ(order, expected);
}

TEST(WindowText, GetTextTruncatesToTheBufferAndBadAddressesAreRefused) {
    Hwnd top = makeParent();
    Hwnd s = createWindow("Static", "Hello, world", WS_CHILD, 0, 0, 0, 80, 20, top, 1);
    char small[6] = "?????";
    EXPECT_EQ(sendMessage(s, WM_GETTEXT, sizeof small, buffer(small)), 5);
    EXPECT_STREQ(small, "Hello");
    EXPECT_EQ(sendMessage(s, WM_GETTEXTLENGTH), 12);
    EXPECT_EQ(sendMessage(s, WM_GETTEXT, 0, buffer(small)), 0);
    // Addresses a macro might send: unmapped, and a read-only string as a buffer.
    EXPECT_EQ(sendMessage(s, WM_SETTEXT, 0, 16), 0);
    EXPECT_EQ(sendMessage(s, WM_SETTEXT, 0, static_cast<LParam>(0x7ffffffff000)), 0);
    EXPECT_EQ(sendMessage(s, WM_GETTEXT, 100, 0x10), 0);
    EXPECT_EQ(sendMessage(s, WM_GETTEXT, 100, text("read-only literal")), 0);
    EXPECT_EQ(windowText(s), "Hello, world");
    EXPECT_TRUE(setWindowText(s, "changed"));
    EXPECT_EQ(windowText(s), "changed");
    destroyWindow(top);
}

TEST(WindowState, StylesIdsVisibilityEnablingAndFocus) {
    Hwnd top = makeParent();
    Hwnd a = createWindow("Edit", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 0, 80, 20, top, 11);
    Hwnd b = createWindow("Edit", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 30, 80, 20, top, 12);
    EXPECT_EQ(getWindowLong(a, GWL_ID), 11);
    EXPECT_TRUE(getWindowLong(a, GWL_STYLE) & WS_VISIBLE);
    EXPECT_TRUE(showWindow(a, SW_HIDE));
    EXPECT_FALSE(isWindowVisible(a));
    EXPECT_FALSE(showWindow(a, SW_SHOW));
    EXPECT_TRUE(isWindowVisible(a));
    EXPECT_FALSE(enableWindow(a, false));
    EXPECT_FALSE(isWindowEnabled(a));
    EXPECT_TRUE(enableWindow(a, true));

    received().clear();
    setFocus(a);
    setFocus(b);
    EXPECT_EQ(focusWindow(), b);
    EXPECT_EQ(activeWindow(), top);
    // Edits tell their parent: a gets and loses the focus, b gets it.
    EXPECT_TRUE(notified(11, EN_SETFOCUS));
    EXPECT_TRUE(notified(11, EN_KILLFOCUS));
    EXPECT_TRUE(notified(12, EN_SETFOCUS));
    destroyWindow(top);
    EXPECT_EQ(focusWindow(), 0u);
}

TEST(WindowGeometry, ChildRectanglesAreRelativeToTheParentsClientArea) {
    Hwnd top = makeParent();
    Hwnd child = createWindow("Static", "", WS_CHILD, 0, 10, 20, 30, 40, top, 1);
    Rect r = windowRect(child);
    Point origin = clientToScreen(top, {0, 0});
    EXPECT_EQ(r.left, origin.x + 10);
    EXPECT_EQ(r.top, origin.y + 20);
    EXPECT_EQ(r.width(), 30);
    EXPECT_EQ(clientRect(child).height(), 40);
    Rect outer = adjustWindowRect({0, 0, 100, 50}, WS_OVERLAPPEDWINDOW, 0);
    Hwnd framed =
        createWindow("Recorder", "", WS_OVERLAPPEDWINDOW, 0, 0, 0, outer.width(), outer.height(), 0, 0);
    EXPECT_EQ(clientRect(framed).width(), 100);
    EXPECT_EQ(clientRect(framed).height(), 50);
    destroyWindow(framed);
    Point back = screenToClient(child, {r.left + 3, r.top + 4});
    EXPECT_EQ(back.x, 3);
    EXPECT_EQ(back.y, 4);
    // Sizes no toolkit could back are kept within bounds.
    Hwnd huge = createWindow("Recorder", "", WS_POPUP, 0, 0, 0, 1 << 30, 1 << 30, 0, 0);
    EXPECT_LE(windowRect(huge).width(), 16384);
    destroyWindow(huge);
    destroyWindow(top);
}

TEST(MessageQueue, PostedMessagesComeInOrderAndFiltersSelectThem) {
    Hwnd top = makeParent();
    Hwnd other = createWindow("Recorder", "", WS_CHILD, 0, 0, 0, 10, 10, top, 3);
    Msg msg;
    while (peekMessage(msg)) dispatchMessage(msg);
    postMessage(top, WM_USER + 1, 1, 0);
    postMessage(other, WM_USER + 2, 2, 0);
    postMessage(top, WM_USER + 3, 3, 0);
    ASSERT_TRUE(peekMessage(msg, 0, WM_USER + 2, WM_USER + 2));
    EXPECT_EQ(msg.wParam, 2u);
    ASSERT_TRUE(peekMessage(msg, top, WM_USER, WM_USER + 10, kPeekNoRemove));
    EXPECT_EQ(msg.wParam, 1u);
    ASSERT_TRUE(peekMessage(msg, top, WM_USER, WM_USER + 10));
    EXPECT_EQ(msg.wParam, 1u);
    ASSERT_TRUE(peekMessage(msg, top, WM_USER, WM_USER + 10));
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_FALSE(peekMessage(msg, top, WM_USER, WM_USER + 10));
    received().clear();
    postMessage(top, WM_USER + 9, 9, 0);
    while (peekMessage(msg)) dispatchMessage(msg);
    ASSERT_FALSE(received().empty());
    EXPECT_EQ(received().back().message, WM_USER + 9);
    destroyWindow(top);
}

TEST(MessageQueue, QuitEndsGetMessageAndOtherThreadsCanPost) {
    setUpWindows();
    Msg msg;
    while (peekMessage(msg)) dispatchMessage(msg);
    std::thread poster([] {
        sleepMs(30);
        postMessage(0, WM_USER + 77, 5, 0);
        postQuitMessage(3);
    });
    ASSERT_TRUE(getMessage(msg));  // waits for the other thread
    EXPECT_EQ(msg.message, WM_USER + 77);
    EXPECT_FALSE(getMessage(msg));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 3u);
    poster.join();
}

std::atomic<int> timerCalls{0};
void countTimer(Hwnd, unsigned, uintptr_t, uint32_t) { ++timerCalls; }

TEST(Timers, FireRepeatedlyUntilKilledAndCallTheirProcedure) {
    Hwnd top = makeParent();
    ASSERT_EQ(setTimer(top, 42, 10), 42u);
    int ticks = 0;
    EXPECT_TRUE(pumpUntil([&] {
        for (const Received& r : received())
            if (r.message == WM_TIMER && r.wParam == 42) ++ticks;
        received().clear();
        return ticks >= 3;
    }));
    EXPECT_TRUE(killTimer(top, 42));
    EXPECT_FALSE(killTimer(top, 42));
    received().clear();
    pumpFor(50);
    for (const Received& r : received()) EXPECT_NE(r.message, WM_TIMER);

    timerCalls = 0;
    uintptr_t id = setTimer(0, 0, 5, countTimer);
    EXPECT_NE(id, 0u);
    EXPECT_TRUE(pumpUntil([] { return timerCalls >= 2; }));
    killTimer(0, id);
    // A window's timers end with it.
    setTimer(top, 1, 5);
    destroyWindow(top);
    EXPECT_FALSE(killTimer(top, 1));
}

LResult subclassed(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam);
WindowProc originalStatic = nullptr;
LResult subclassed(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam) {
    if (message == WM_GETTEXTLENGTH) return 99;
    return callWindowProc(originalStatic, hwnd, message, wParam, lParam);
}

TEST(WindowProcedures, CanBeReplacedAndChainedAndClassesRegistered) {
    Hwnd top = makeParent();
    Hwnd s = createWindow("static", "abc", WS_CHILD, 0, 0, 0, 10, 10, top, 1);  // any case
    ASSERT_NE(s, 0u);
    EXPECT_EQ(className(s), "Static");
    originalStatic =
        reinterpret_cast<WindowProc>(setWindowLong(s, GWLP_WNDPROC, reinterpret_cast<intptr_t>(&subclassed)));
    EXPECT_EQ(sendMessage(s, WM_GETTEXTLENGTH), 99);
    char text[8] = {};
    EXPECT_EQ(sendMessage(s, WM_GETTEXT, sizeof text, buffer(text)), 3);
    EXPECT_EQ(createWindow("NoSuchClass", "", WS_CHILD, 0, 0, 0, 1, 1, top, 1), 0u);
    EXPECT_EQ(createWindow("Static", "", WS_CHILD, 0, 0, 0, 1, 1, 0x12345678, 1), 0u);  // missing parent
    destroyWindow(top);
}

TEST(Clipboard, TextGoesThroughTheToolkitsClipboardWithItsBytes) {
    setUpWindows();
    EXPECT_TRUE(setClipboardText("1\t2\r\n3\t4\r\n"));
    EXPECT_EQ(clipboardText(), "1\t2\r\n3\t4\r\n");
    // Windows-1252 bytes come back as the same bytes.
    EXPECT_TRUE(
        setClipboardText("Gr\xF6\xDF"
                         "e"));
    EXPECT_EQ(clipboardText(),
              "Gr\xF6\xDF"
              "e");
}

}  // namespace
}  // namespace tvx::platform
