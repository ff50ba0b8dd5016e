// The message pump between macro lines: its budget and the messages that stop
// a running macro.
#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "interp/interpreter.h"
#include "ui/host.h"
#include "ui/mainwindow.h"

namespace tvx::ui {
namespace {

using namespace platform;
using namespace platform::win;
using namespace test;

int dispatched = 0;
LResult countingProc(Hwnd h, unsigned m, WParam w, LParam l) {
    if (m >= WM_USER || m == WM_COMMAND) ++dispatched;
    return defWindowProc(h, m, w, l);
}

class PumpTest : public ::testing::Test {
protected:
    void SetUp() override {
        setUpWindows();
        registerClass("PumpTestMain", countingProc);
        main = createWindow("PumpTestMain", "main", WS_OVERLAPPEDWINDOW, 0, 0, 0, 100, 100, 0, 0);
        host.setMainWindow(main);
        host.attach(ip);
        Msg msg;
        while (peekMessage(msg)) {}
        dispatched = 0;
    }
    void TearDown() override {
        destroyWindow(main);
        Msg msg;
        while (peekMessage(msg)) {}
    }
    bool waiting(unsigned message) {
        Msg msg;
        return peekMessage(msg, 0, message, message, kPeekNoRemove);
    }
    AppHost host{AppHost::Mode::Desktop};
    interp::Interpreter ip{host};
    Hwnd main = 0;
};

TEST_F(PumpTest, ServesAtMostItsBudget) {
    for (int i = 0; i < 10; ++i) postMessage(main, WM_USER + 1, 0, 0);
    EXPECT_TRUE(host.pumpMessages(3));
    EXPECT_EQ(dispatched, 3);
    EXPECT_TRUE(host.pumpMessages(-1));
    EXPECT_EQ(dispatched, 10);
}

TEST_F(PumpTest, ClosingTheMainWindowStopsTheMacroAndClosesAfterwards) {
    postMessage(main, WM_CLOSE, 0, 0);
    EXPECT_FALSE(host.pumpMessages(100));
    EXPECT_TRUE(waiting(WM_CLOSE));  // posted again, to close once the macro has stopped
    EXPECT_TRUE(isWindow(main));
}

TEST_F(PumpTest, MenuCommandsStopTheMacroByTheirIdOrTheRunOption) {
    postMessage(main, WM_COMMAND, 500, 0);
    EXPECT_TRUE(host.pumpMessages(100));
    EXPECT_EQ(dispatched, 1);
    postMessage(main, WM_COMMAND, 31003, 0);
    EXPECT_FALSE(host.pumpMessages(100));
    EXPECT_TRUE(waiting(WM_COMMAND));
    Msg msg;
    while (peekMessage(msg)) {}
    postMessage(main, kStartMacroMessage, 31001, 0);
    EXPECT_FALSE(host.pumpMessages(100));
    while (peekMessage(msg)) {}
    ip.setRunOptions(ip.runOptions() | (interp::kOptAnyCommandStops));
    postMessage(main, WM_COMMAND, 500, 0);
    EXPECT_FALSE(host.pumpMessages(100));
}

TEST_F(PumpTest, EscapeStopsOnlyWithTheRunOption) {
    postMessage(main, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(host.pumpMessages(100));
    ip.setRunOptions(ip.runOptions() | (interp::kOptEscapeStops));
    postMessage(main, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(host.pumpMessages(100));
}

TEST_F(PumpTest, TheStopTimerEndsTheRoundAndAQuitEndsEverything) {
    setTimer(main, 1961, 1);
    sleepMs(5);
    postMessage(main, WM_USER + 2, 0, 0);
    EXPECT_TRUE(host.pumpMessages(100));
    EXPECT_FALSE(killTimer(main, 1961));  // killed by the pump
    postQuitMessage(4);
    EXPECT_FALSE(host.pumpMessages(100));
    EXPECT_TRUE(host.quitRequested());
    EXPECT_TRUE(waiting(WM_QUIT));
    EXPECT_FALSE(host.pumpMessages(100));
}

}  // namespace
}  // namespace tvx::ui

namespace tvx::ui {
namespace {

TEST(DesktopRun, ClosingTheMainWindowStopsARunningMacroAndEndsTheProgram) {
    test::setUpWindows();
    std::FILE* out = std::tmpfile();
    AppHost host(AppHost::Mode::Desktop, out);
    interp::Interpreter ip(host);
    host.attach(ip);
    interp::StartRequest request;
    request.name = ">n = 0 | Loop 2000000000 | n = n + 1 | EndLoop | ?\"finished\"";
    test::later(100, [&host] { platform::postMessage(host.mainWindow(), platform::win::WM_CLOSE, 0, 0); });
    double start = platform::monotonicSeconds();
    bool found = false;
    int code = runDesktop(host, ip, request, found);
    double took = platform::monotonicSeconds() - start;
    EXPECT_TRUE(found);
    EXPECT_EQ(code, 0);
    EXPECT_LT(took, 10.0);
    EXPECT_FALSE(platform::isWindow(host.mainWindow()));
    std::rewind(out);
    char buffer[64] = {};
    size_t n = std::fread(buffer, 1, sizeof buffer - 1, out);
    EXPECT_EQ(std::string(buffer, n), "");  // stopped before the end
    std::fclose(out);
}

}  // namespace
}  // namespace tvx::ui
