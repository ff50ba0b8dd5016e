// Helpers for window tests: every test runs on the off-screen platform, and a
// recording window class keeps what its windows receive.
#pragma once

#include <cstdlib>
#include <functional>
#include <vector>

#include "platform/clock.h"
#include "platform/window/window.h"

namespace tvx::platform::test {

struct Received {
    Hwnd hwnd;
    unsigned message;
    WParam wParam;
    LParam lParam;
};

inline std::vector<Received>& received() {
    static std::vector<Received> log;
    return log;
}

inline LResult recordingProc(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam) {
    received().push_back({hwnd, message, wParam, lParam});
    return defWindowProc(hwnd, message, wParam, lParam);
}

// Starts the toolkit off-screen once and registers the "Recorder" class.
inline void setUpWindows() {
    static bool done = false;
    if (done) return;
    done = true;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setHeadlessWindows(true);
    startWindowSystem(true);
    registerClass("Recorder", recordingProc);
}

// The notifications (WM_COMMAND) the recorder got: (id, code, from).
struct Notification {
    int id;
    unsigned code;
    Hwnd from;
};
inline std::vector<Notification> notifications() {
    std::vector<Notification> out;
    for (const Received& r : received())
        if (r.message == win::WM_COMMAND)
            out.push_back({static_cast<int>(win::loWord(r.wParam)), win::hiWord(r.wParam),
                           static_cast<Hwnd>(r.lParam)});
    return out;
}
inline bool notified(int id, unsigned code) {
    for (const Notification& n : notifications())
        if (n.id == id && n.code == code) return true;
    return false;
}

// Serves messages until done() or the time is up; returns done().
inline bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 3000) {
    double end = monotonicSeconds() + timeoutMs / 1000.0;
    Msg msg;
    while (!done()) {
        if (monotonicSeconds() > end) return false;
        while (peekMessage(msg)) {
            translateMessage(msg);
            dispatchMessage(msg);
        }
        if (!done()) waitMessage(5);
    }
    return true;
}

inline void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

// A visible top-level recorder window for controls to live in.
inline Hwnd makeParent() {
    setUpWindows();
    received().clear();
    return createWindow("Recorder", "parent", win::WS_OVERLAPPEDWINDOW | win::WS_VISIBLE, 0, 10, 10, 400, 300,
                        0, 0);
}

inline LParam text(const char* s) { return static_cast<LParam>(reinterpret_cast<intptr_t>(s)); }
inline LParam buffer(void* p) { return static_cast<LParam>(reinterpret_cast<intptr_t>(p)); }

}  // namespace tvx::platform::test
