#include "ui/mainwindow.h"

#include <cstdio>
#include <exception>

#include "interp/api.h"
#include "platform/window/gdi.h"
#include "ui/host.h"
#include "ui/protocol.h"

namespace tvx::ui {

using namespace platform;
using namespace platform::win;

namespace {

struct Frame {
    AppHost* host = nullptr;
    interp::Interpreter* ip = nullptr;
    interp::StartRequest request;
    bool running = false;
    bool found = true;
    int restarts = 0;
    std::string status = "Ready";
};

Frame& frame() {
    static Frame f;
    return f;
}

void setStatus(Hwnd hwnd, std::string status) {
    frame().status = std::move(status);
    invalidateRect(hwnd, nullptr, true);
}

void runStartRequest(Hwnd hwnd) {
    Frame& f = frame();
    f.running = true;
    setStatus(hwnd, "Running " + f.request.name);
    try {
        f.found = f.ip->run(f.request);
    } catch (const std::exception&) {
        std::string text = lineCrashText(f.ip->currentLine());
        protocolLog().write(text);
        f.ip->setRunState(0);
        f.ip->messageBox(text, "Tolvex", 0x30);
    }
    f.running = false;
    if (!isWindow(hwnd)) return;
    if (!f.found) {
        std::fprintf(stderr, "tolvex: macro not found: %s\n", f.request.name.c_str());
        setStatus(hwnd, "Macro not found: " + f.request.name);
    } else {
        setStatus(hwnd, "Ended " + f.request.name);
    }
    if (f.host->quitRequested()) destroyWindow(hwnd);
}

LResult frameProc(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam) {
    Frame& f = frame();
    switch (message) {
    case WM_PAINT: {
        PaintStruct ps;
        Hdc dc = beginPaint(hwnd, ps);
        setBkMode(dc, 1);
        textOut(dc, 12, 12, "Tolvex");
        textOut(dc, 12, 36, f.status);
        if (f.ip && f.ip->errorBoxesShown() > 0)
            textOut(dc, 12, 60, "Macro errors: " + std::to_string(f.ip->errorBoxesShown()));
        endPaint(hwnd, ps);
        return 0;
    }
    case kStartMacroMessage:
    case WM_COMMAND:
        if (loWord(wParam) == kCommandRun && lParam == kStartRequestMark && message == kStartMacroMessage) {
            if (f.running) {
                // A run is in progress: stop it, and start once it has ended.
                f.ip->stop();
                if (++f.restarts <= 10) postMessage(hwnd, message, wParam, lParam);
                return 0;
            }
            f.restarts = 0;
            runStartRequest(hwnd);
            return 0;
        }
        if (loWord(wParam) == kCommandStop && f.ip) {
            f.ip->stop();
            return 0;
        }
        return 0;
    case WM_CLOSE:
        if (f.running) {
            // Closing stops the macro; the window closes once the run has ended.
            f.ip->stop();
            postMessage(hwnd, WM_CLOSE, 0, 0);
            return 0;
        }
        destroyWindow(hwnd);
        return 0;
    case WM_DESTROY: postQuitMessage(0); return 0;
    default: return defWindowProc(hwnd, message, wParam, lParam);
    }
}

}  // namespace

Hwnd createMainWindow(AppHost& host, interp::Interpreter& ip) {
    Frame& f = frame();
    f.host = &host;
    f.ip = &ip;
    registerClass("TolvexFrame", frameProc);
    Rect screen = screenRect();
    int width = 420, height = 140;
    Hwnd hwnd = createWindow("TolvexFrame", "Tolvex", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, screen.left + 40,
                             screen.top + 40, width, height, 0, 0);
    host.setMainWindow(hwnd);
    return hwnd;
}

int runDesktop(AppHost& host, interp::Interpreter& ip, const interp::StartRequest& request, bool& found) {
    Frame& f = frame();
    Hwnd main = createMainWindow(host, ip);
    if (!main) {
        found = ip.run(request);
        return 0;
    }
    f.request = request;
    postMessage(main, kStartMacroMessage, kCommandRun, kStartRequestMark);
    Msg msg;
    int code = 0;
    while (getMessage(msg)) {
        translateMessage(msg);
        dispatchMessage(msg);
    }
    code = static_cast<int>(msg.wParam);
    if (isWindow(main)) destroyWindow(main);
    found = f.found;
    return code;
}

}  // namespace tvx::ui
