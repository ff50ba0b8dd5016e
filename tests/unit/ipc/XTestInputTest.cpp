// XTest on a real X server (Xvfb): PostKeyString types into a Qt window, and
// FindChildWindow finds another program's window. Skipped without Xvfb.
//
// The X part runs in a child process (this test binary again, with a filter
// and the display in its environment), so the toolkit starts there on the X
// display whatever the parent process has started already.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "interp/api.h"
#include "ipc/system/input.h"
#include "ipc/system/windows.h"
#include "platform/window/window.h"
#include "tests/unit/platform/window/WindowTestSupport.h"

extern char** environ;

namespace tvx::ipc {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kChildDisplay = "TOLVEX_XTEST_CHILD_DISPLAY";

pid_t spawnQuiet(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool onPath(const char* program) {
    std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// An Xvfb of our own on a free display number; "" when none starts.
std::string startXvfb(pid_t& server) {
    for (int number = 150 + static_cast<int>(::getpid() % 50), tries = 0; tries < 20; ++number, ++tries) {
        std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        if (fs::exists("/tmp/.X" + std::to_string(number) + "-lock") || fs::exists(socket)) continue;
        std::string display = ":" + std::to_string(number);
        // -noreset: no start over (and refused connections) when the last client leaves.
        server = spawnQuiet(
            {"Xvfb", display, "-screen", "0", "800x600x24", "-nolisten", "tcp", "-ac", "-noreset"});
        if (server < 0) return {};
        auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!fs::exists(socket) && std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(server, nullptr, WNOHANG) == server) break;
            std::this_thread::sleep_for(50ms);
        }
        // Ours only when the lock file names the server we started (another test may
        // have started one on the same number at the same moment).
        std::ifstream lock("/tmp/.X" + std::to_string(number) + "-lock");
        long holder = -1;
        if (!(lock >> holder)) holder = -1;
        if (fs::exists(socket) && ::waitpid(server, nullptr, WNOHANG) == 0 && holder == server)
            return display;
        ::kill(server, SIGTERM);
        ::waitpid(server, nullptr, 0);
    }
    return {};
}

TEST(XTest, TypesIntoAQtWindowAndFindsAnotherProgramsWindow) {
    if (!onPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    pid_t server = -1;
    std::string display = startXvfb(server);
    if (display.empty()) GTEST_SKIP() << "no X display could be started";
    std::string self = fs::read_symlink("/proc/self/exe").string();
    ::setenv(kChildDisplay, display.c_str(), 1);
    pid_t child = -1;
    std::vector<std::string> args = {self, "--gtest_filter=XTestChild.*"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ASSERT_EQ(posix_spawn(&child, self.c_str(), nullptr, nullptr, argv.data(), environ), 0);
    ::unsetenv(kChildDisplay);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::kill(server, SIGTERM);
    ::waitpid(server, nullptr, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the X part failed (its output is above)";
}

// The X part: runs only as the child of the test above.
TEST(XTestChild, OnTheDisplay) {
    const char* display = std::getenv(kChildDisplay);
    if (!display)
        GTEST_SKIP() << "runs as the child of XTest.TypesIntoAQtWindowAndFindsAnotherProgramsWindow";
    ::setenv("DISPLAY", display, 1);
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("QT_QPA_PLATFORM");
    platform::setHeadlessWindows(false);
    ASSERT_TRUE(platform::startWindowSystem(false));
    ASSERT_TRUE(platform::windowSystemVisible());
    using namespace platform::win;
    platform::Hwnd top = platform::createWindow("#32770", "XTest target", WS_POPUP | WS_CAPTION | WS_VISIBLE,
                                                0, 50, 50, 300, 120, 0, 0);
    ASSERT_TRUE(top);
    platform::Hwnd edit =
        platform::createWindow("Edit", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 20, 20, 240, 28, top, 101);
    ASSERT_TRUE(edit);
    platform::setActiveWindow(top);
    platform::setFocus(edit);
    platform::test::pumpFor(500);

    std::unique_ptr<input::Injector> injector = input::makeX11Injector();
    ASSERT_TRUE(injector) << "no XTest on " << display;
    // The pointer over the window: without a window manager the keyboard
    // follows it.
    platform::Rect r = platform::windowRect(edit);
    injector->moveCursor(r.left + 10, r.top + 10);
    input::perform(*injector, input::plan("Hello X!", 0));
    // A character the keyboard has no key for goes through a spare key.
    input::perform(*injector, input::plan("\xc2\xb5", 0));
    EXPECT_TRUE(platform::test::pumpUntil([&] { return platform::windowText(edit) == "Hello X!\xb5"; }, 5000))
        << "typed: " << platform::windowText(edit);

    // Another program's window, found by its title among the display's windows.
    pid_t other = spawnQuiet({"xmessage", "-name", "probe", "-title", "Probe Window", "hello"});
    if (other > 0) {
        std::unique_ptr<windows::WindowSource> x11 = windows::makeX11Windows();
        ASSERT_TRUE(x11);
        std::unique_ptr<windows::WindowSource> layer = windows::makeLayerWindows();
        windows::SearchRequest request;
        request.parent = 0;
        request.text = "Probe Window";
        windows::SearchResult found;
        bool ok = false;
        for (int i = 0; i < 100 && !ok; ++i) {
            ok = windows::findChildWindow({layer.get(), x11.get()}, request, found);
            if (!ok) std::this_thread::sleep_for(50ms);
        }
        EXPECT_TRUE(ok);
        EXPECT_EQ(found.depth, 1);
        EXPECT_EQ(found.text, "Probe Window");
        // Our own window is found as the layer's, not twice.
        request.text = "XTest target";
        ASSERT_TRUE(windows::findChildWindow({layer.get(), x11.get()}, request, found));
        EXPECT_EQ(found.handle, top);
        ::kill(other, SIGTERM);
        ::waitpid(other, nullptr, 0);
    }
    platform::destroyWindow(top);
}

}  // namespace
}  // namespace tvx::ipc
