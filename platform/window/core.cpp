// Window records, handles, the message queue, timers, focus and activation.
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>

#include "platform/clock.h"
#include "platform/memprobe.h"
#include "platform/window/internal.h"
#include "platform/window/menu.h"
#include "platform/window/sourceedit.h"

namespace tvx::platform {

using namespace win;
using detail::Kind;
using detail::Window;

namespace detail {
LResult buttonProc(Hwnd, unsigned, WParam, LParam);
LResult editProc(Hwnd, unsigned, WParam, LParam);
LResult staticProc(Hwnd, unsigned, WParam, LParam);
LResult listBoxProc(Hwnd, unsigned, WParam, LParam);
LResult comboBoxProc(Hwnd, unsigned, WParam, LParam);
LResult scrollBarProc(Hwnd, unsigned, WParam, LParam);
LResult dialogClassProc(Hwnd, unsigned, WParam, LParam);
void dialogDestroyed(Window& window);
}  // namespace detail

namespace {

struct ClassEntry {
    std::string name;
    WindowProc proc = nullptr;
    Kind kind = Kind::Generic;
};

struct Timer {
    Hwnd hwnd = 0;
    uintptr_t id = 0;
    unsigned interval = 1;
    uint64_t due = 0;
    TimerProc proc = nullptr;
};

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c);
    return out;
}

struct State {
    std::unordered_map<Hwnd, std::unique_ptr<Window>> windows;
    std::vector<Hwnd> order;  // creation order
    std::map<std::string, ClassEntry> classes;
    Hwnd nextHandle = 0x10000;
    std::vector<Timer> timers;
    uintptr_t nextTimerId = 0x7000;
    Hwnd focus = 0;
    Hwnd active = 0;
    Hwnd capture = 0;
    int cursorCounter = 0;
    uint32_t messageTime = 0;

    std::mutex queueLock;
    std::condition_variable queueSignal;
    std::deque<Msg> queue;

    bool started = false;
    bool headless = false;
    detail::Backend* backend = nullptr;
    bool suppressFocusSync = false;

    State() {
        auto add = [this](const char* name, WindowProc proc, Kind kind) {
            classes[lower(name)] = {name, proc, kind};
        };
        add("Button", detail::buttonProc, Kind::Button);
        add("Edit", detail::editProc, Kind::Edit);
        add("Static", detail::staticProc, Kind::Static);
        add("ListBox", detail::listBoxProc, Kind::ListBox);
        add("ComboBox", detail::comboBoxProc, Kind::ComboBox);
        add("ScrollBar", detail::scrollBarProc, Kind::ScrollBar);
        add("#32770", detail::dialogClassProc, Kind::Dialog);
        add("TolvexSource", detail::editProc, Kind::Edit);
    }
};

State& state() {
    static State* s = new State;  // lives to the end: windows may be touched from atexit
    return *s;
}

Hwnd allocateHandle() {
    State& s = state();
    while (true) {
        Hwnd h = s.nextHandle;
        s.nextHandle += 2;
        if (s.nextHandle >= 0x7FFF0000u) s.nextHandle = 0x10000;
        unsigned high = h >> 16;
        if (high >= 0x7BCF && high <= 0x7BF0) continue;  // numbers of dialog controls in macros
        if (s.windows.count(h)) continue;
        return h;
    }
}

bool noDisplay() { return !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"); }

void loadBackend() {
    State& s = state();
    s.started = true;
    if (std::getenv("TOLVEX_NO_WINDOW_TOOLKIT")) return;
    Dl_info info{};
    std::string path = "libtvxplatform_qt.so";
    if (dladdr(reinterpret_cast<void*>(&startWindowSystem), &info) && info.dli_fname) {
        std::string self = info.dli_fname;
        size_t slash = self.rfind('/');
        if (slash != std::string::npos) path = self.substr(0, slash + 1) + path;
    }
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) module = dlopen("libtvxplatform_qt.so", RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "tolvex: windows are not shown: %s\n", dlerror());
        return;
    }
    using Factory = detail::Backend* (*)(bool);
    auto factory = reinterpret_cast<Factory>(dlsym(module, "tvxCreateWindowBackend"));
    if (!factory) {
        std::fprintf(stderr, "tolvex: windows are not shown: the toolkit module is incomplete\n");
        return;
    }
    s.backend = factory(s.headless || noDisplay());
}

void ensureStarted() {
    if (!state().started) loadBackend();
}

uint64_t nowMs() { return tickCount64Ms(); }

bool matchesFilter(const Msg& m, Hwnd hwnd, unsigned first, unsigned last) {
    if (m.message == WM_QUIT) return true;
    if (hwnd && m.hwnd != hwnd && !isChild(hwnd, m.hwnd)) return false;
    if ((first || last) && (m.message < first || m.message > last)) return false;
    return true;
}

void setFocusInternal(Hwnd hwnd, bool syncView);

void forgetWindow(Window& w) {
    State& s = state();
    if (s.focus == w.handle) s.focus = 0;
    if (s.active == w.handle) s.active = 0;
    if (s.capture == w.handle) s.capture = 0;
    s.timers.erase(
        std::remove_if(s.timers.begin(), s.timers.end(), [&](const Timer& t) { return t.hwnd == w.handle; }),
        s.timers.end());
}

}  // namespace

// ---- detail services

namespace detail {

Window* find(Hwnd hwnd) {
    if (!hwnd) return nullptr;
    State& s = state();
    auto it = s.windows.find(hwnd);
    return it == s.windows.end() ? nullptr : it->second.get();
}

Backend* backend() { return state().backend; }

void syncView(Window& window, unsigned bits) {
    if (Backend* b = state().backend) b->sync(window, bits);
}

Rect frameMargins(uint32_t style, uint32_t exStyle) {
    (void)exStyle;
    if (style & WS_CHILD) {
        int b = (style & WS_BORDER) ? 1 : 0;
        return {b, b, b, b};
    }
    int edge = 0;
    if (style & WS_THICKFRAME)
        edge = 4;
    else if (style & (WS_DLGFRAME | WS_CAPTION))
        edge = 3;
    else if (style & WS_BORDER)
        edge = 1;
    int caption = (style & WS_CAPTION) == WS_CAPTION ? 20 : 0;
    return {edge, edge + caption, edge, edge};
}

Rect clientArea(const Window& w) {
    Rect m = frameMargins(w.style, w.exStyle);
    if (w.kind != Kind::Generic && w.kind != Kind::Dialog) m = {0, 0, 0, 0};
    Rect r{m.left, m.top, w.rect.width() - m.right, w.rect.height() - m.bottom};
    if (w.vertical.shown) r.right -= kScrollBarSize;
    if (w.horizontal.shown) r.bottom -= kScrollBarSize;
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

bool readMessageText(LParam address, std::string& out, size_t maxLength) {
    const char* p = reinterpret_cast<const char*>(static_cast<uintptr_t>(address));
    long length = readableStringLength(p, maxLength);
    if (length < 0) return false;
    out.assign(p, static_cast<size_t>(length));
    return true;
}

long writeMessageText(LParam address, size_t size, std::string_view text) {
    if (size == 0) return 0;
    void* p = reinterpret_cast<void*>(static_cast<uintptr_t>(address));
    size_t n = std::min(text.size(), size - 1);
    if (!isWritable(p, n + 1)) return -1;
    std::memcpy(p, text.data(), n);
    static_cast<char*>(p)[n] = 0;
    return static_cast<long>(n);
}

void notifyParent(Window& control, unsigned code) {
    if (!control.parent) return;
    sendMessage(control.parent, WM_COMMAND, makeWParam(static_cast<unsigned>(control.id), code),
                static_cast<LParam>(control.handle));
}

void postInput(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam) {
    State& s = state();
    if (s.capture && s.capture != hwnd && message >= WM_MOUSEMOVE && message <= WM_MBUTTONDBLCLK) {
        // The captured window gets the mouse, in its own client coordinates.
        Point screen = clientToScreen(hwnd, {signedLoWord(lParam), signedHiWord(lParam)});
        Point own = screenToClient(s.capture, screen);
        hwnd = s.capture;
        lParam = makeLParam(own.x, own.y);
    }
    postMessage(hwnd, message, wParam, lParam);
}

bool offerInput(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam) {
    Window* w = find(hwnd);
    if (!w || w->proc == w->classProc) return false;
    w->defaultReached = false;
    sendMessage(hwnd, message, wParam, lParam);
    w = find(hwnd);
    return w && !w->defaultReached;
}

void userFocused(Hwnd hwnd) {
    if (!find(hwnd) || state().focus == hwnd) return;
    setFocusInternal(hwnd, false);
}

void userActivated(Hwnd topLevel, bool active) {
    State& s = state();
    if (active) {
        if (s.active == topLevel || !find(topLevel)) return;
        Hwnd old = s.active;
        s.active = topLevel;
        if (old && find(old)) sendMessage(old, WM_ACTIVATE, WA_INACTIVE, static_cast<LParam>(topLevel));
        sendMessage(topLevel, WM_ACTIVATE, WA_CLICKACTIVE, static_cast<LParam>(old));
    } else if (s.active == topLevel) {
        s.active = 0;
        sendMessage(topLevel, WM_ACTIVATE, WA_INACTIVE, 0);
    }
}

void userMovedWindow(Hwnd hwnd, const Rect& rect) {
    Window* w = find(hwnd);
    if (!w) return;
    bool moved = rect.left != w->rect.left || rect.top != w->rect.top;
    bool sized = rect.width() != w->rect.width() || rect.height() != w->rect.height();
    w->rect = rect;
    if (!w->minimized && !w->maximized) w->normalRect = rect;
    Rect client = clientArea(*w);
    if (moved) sendMessage(hwnd, WM_MOVE, 0, makeLParam(rect.left + client.left, rect.top + client.top));
    if (sized && find(hwnd)) sendMessage(hwnd, WM_SIZE, 0, makeLParam(client.width(), client.height()));
}

void userChangedState(Hwnd hwnd, bool minimized, bool maximized) {
    Window* w = find(hwnd);
    if (!w || w->parent || (w->minimized == minimized && w->maximized == maximized)) return;
    w->minimized = minimized;
    w->maximized = maximized;
}

bool trackingLimits(Hwnd hwnd, Point& minimum, Point& maximum) {
    Window* w = find(hwnd);
    if (!w || (w->style & WS_CHILD)) return false;
    if ((w->style & WS_POPUP) && !(w->style & WS_THICKFRAME)) return false;
    MinMaxInfo info = windowSizeLimits(hwnd);
    minimum = info.minTrackSize;
    maximum = info.maxTrackSize;
    return true;
}

void userClosed(Hwnd hwnd) {
    if (find(hwnd)) postMessage(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void paint(Hwnd hwnd, const Rect& rect) {
    Window* w = find(hwnd);
    if (!w) return;
    (void)rect;
    sendMessage(hwnd, WM_PAINT, 0, 0);
}

ControlColors controlColors(Hwnd hwnd) {
    ControlColors colors;
    Window* w = find(hwnd);
    if (!w) return colors;
    unsigned message = WM_CTLCOLORSTATIC;
    Hwnd asked = w->parent;
    switch (w->kind) {
    case Kind::Edit: message = WM_CTLCOLOREDIT; break;
    case Kind::ListBox: message = WM_CTLCOLORLISTBOX; break;
    case Kind::Button:
        message = (w->style & BS_TYPEMASK) <= BS_DEFPUSHBUTTON ? WM_CTLCOLORBTN : WM_CTLCOLORSTATIC;
        break;
    case Kind::ScrollBar: message = WM_CTLCOLORSCROLLBAR; break;
    case Kind::Dialog:
        message = WM_CTLCOLORDLG;
        asked = hwnd;
        break;
    case Kind::ComboBox: message = WM_CTLCOLOREDIT; break;
    default: break;
    }
    if (!asked) return colors;
    Hdc dc = getDC(hwnd);
    ColorRef text0 = textColor(dc), bk0 = bkColor(dc);
    setTextColor(dc, kClrInvalid);
    setBkColor(dc, kClrInvalid);
    LResult brush = sendMessage(asked, message, dc, static_cast<LParam>(hwnd));
    ColorRef text = textColor(dc), bk = bkColor(dc);
    releaseDC(hwnd, dc);
    (void)text0;
    (void)bk0;
    if (text != kClrInvalid) {
        colors.hasText = true;
        colors.text = text;
    }
    ColorRef fill = brush ? brushColor(static_cast<Hgdiobj>(brush)) : kClrInvalid;
    if (fill != kClrInvalid) {
        colors.hasBackground = true;
        colors.background = fill;
    } else if (bk != kClrInvalid) {
        colors.hasBackground = true;
        colors.background = bk;
    }
    return colors;
}

void runNestedLoop(bool (*done)(void*), void* context) {
    // The toolkit's own events (a click on the dialog) may end the loop as well as
    // queued messages, so the end is checked after every wait.
    Msg msg;
    while (!done(context)) {
        if (!peekMessage(msg)) {
            waitMessage(-1);
            continue;
        }
        if (msg.message == WM_QUIT) {
            postQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        bool taken = false;
        for (Hwnd dialog : modalDialogs())
            if (isDialogMessage(dialog, msg)) taken = true;
        if (!taken) {
            translateMessage(msg);
            dispatchMessage(msg);
        }
    }
}

}  // namespace detail

// ---- The toolkit

void setHeadlessWindows(bool headless) { state().headless = headless; }

bool startWindowSystem(bool headless) {
    State& s = state();
    if (headless) s.headless = true;
    ensureStarted();
    return s.backend != nullptr;
}

bool windowSystemStarted() { return state().backend != nullptr; }

bool windowSystemVisible() { return state().backend && state().backend->visibleDisplay(); }

// ---- Classes

bool registerClass(std::string_view name, WindowProc proc) {
    if (name.empty() || !proc) return false;
    State& s = state();
    std::string key = lower(name);
    auto it = s.classes.find(key);
    Kind kind = it != s.classes.end() ? it->second.kind : Kind::Generic;
    s.classes[key] = {std::string(name), proc, kind};
    return true;
}

std::string className(Hwnd hwnd) {
    Window* w = detail::find(hwnd);
    return w ? w->className : std::string();
}

// ---- Creating and destroying

Hwnd createWindow(std::string_view cls, std::string_view text, uint32_t style, uint32_t exStyle, int x, int y,
                  int width, int height, Hwnd parent, int id, LParam createParam) {
    State& s = state();
    auto entry = s.classes.find(lower(cls));
    if (entry == s.classes.end()) return 0;
    if ((style & WS_CHILD) && !detail::find(parent)) return 0;
    if (parent && !detail::find(parent)) return 0;
    ensureStarted();

    auto record = std::make_unique<Window>();
    Window& w = *record;
    w.handle = allocateHandle();
    w.kind = entry->second.kind;
    w.className = entry->second.name;
    w.classProc = w.proc = entry->second.proc;
    w.style = style;
    w.exStyle = exStyle;
    w.text = std::string(text);
    if (lower(cls) == lower(kSourceEditClass)) {
        w.source = true;
        w.style |= ES_MULTILINE;
    }
    // Sizes are kept to what a toolkit can back with memory.
    constexpr int kMaxExtent = 16384;
    width = std::clamp(width, 0, kMaxExtent);
    height = std::clamp(height, 0, kMaxExtent);
    x = std::clamp(x, -kMaxExtent, kMaxExtent);
    y = std::clamp(y, -kMaxExtent, kMaxExtent);
    w.rect = {x, y, x + width, y + height};
    w.normalRect = w.rect;
    if (style & WS_CHILD) {
        w.parent = parent;
        w.id = id;
        detail::find(parent)->children.push_back(w.handle);
    } else {
        w.owner = parent ? topLevelOf(parent) : 0;
    }
    if (w.kind == Kind::Dialog) w.dialog = std::make_unique<detail::DialogState>();
    if (w.kind == Kind::ScrollBar) w.scroll = {0, 100, 0, 0, true};
    Hwnd handle = w.handle;
    s.windows.emplace(handle, std::move(record));
    s.order.push_back(handle);
    if (s.backend) s.backend->created(*detail::find(handle));

    if (sendMessage(handle, WM_CREATE, 0, createParam) == -1) {
        destroyWindow(handle);
        return 0;
    }
    Window* created = detail::find(handle);
    if (!created) return 0;
    Rect client = detail::clientArea(*created);
    sendMessage(handle, WM_SIZE, 0, makeLParam(client.width(), client.height()));
    if ((style & WS_VISIBLE) && detail::find(handle)) {
        detail::syncView(*detail::find(handle), detail::kSyncVisible);
        if (!(style & WS_CHILD)) setActiveWindow(handle);
    }
    return detail::find(handle) ? handle : 0;
}

bool destroyWindow(Hwnd hwnd) {
    State& s = state();
    Window* w = detail::find(hwnd);
    if (!w || w->destroying) return false;
    w->destroying = true;
    // Owned windows go first, then the window, its children after its WM_DESTROY.
    std::vector<Hwnd> owned;
    for (Hwnd h : s.order) {
        Window* o = detail::find(h);
        if (o && o->owner == hwnd && !o->destroying) owned.push_back(h);
    }
    for (Hwnd h : owned) destroyWindow(h);
    if (s.capture == hwnd) releaseCapture();
    if ((w->style & WS_VISIBLE)) {
        w->style &= ~WS_VISIBLE;
        detail::syncView(*w, detail::kSyncVisible);
    }
    sendMessage(hwnd, WM_DESTROY, 0, 0);
    w = detail::find(hwnd);
    std::vector<Hwnd> children = w ? w->children : std::vector<Hwnd>{};
    for (Hwnd child : children)
        if (detail::find(child)) destroyWindow(child);
    sendMessage(hwnd, WM_NCDESTROY, 0, 0);
    w = detail::find(hwnd);
    if (!w) return true;
    if (w->kind == Kind::Dialog) detail::dialogDestroyed(*w);
    detail::windowMenusDestroyed(*w);
    forgetWindow(*w);
    if (Window* parent = detail::find(w->parent)) {
        auto& list = parent->children;
        list.erase(std::remove(list.begin(), list.end(), hwnd), list.end());
    }
    if (s.backend) s.backend->destroyed(*w);
    s.order.erase(std::remove(s.order.begin(), s.order.end(), hwnd), s.order.end());
    s.windows.erase(hwnd);
    return true;
}

bool isWindow(Hwnd hwnd) {
    Window* w = detail::find(hwnd);
    return w && !w->destroying;
}

std::vector<Hwnd> allWindows() { return state().order; }

// ---- Messages

LResult sendMessage(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam) {
    Window* w = detail::find(hwnd);
    if (!w) return 0;
    return w->proc(hwnd, message, wParam, lParam);
}

bool postMessage(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam) {
    State& s = state();
    {
        std::lock_guard<std::mutex> lock(s.queueLock);
        Msg m;
        m.hwnd = hwnd;
        m.message = message;
        m.wParam = wParam;
        m.lParam = lParam;
        m.time = tickCountMs();
        s.queue.push_back(m);
    }
    s.queueSignal.notify_one();
    if (s.backend) s.backend->wake();
    return true;
}

void postQuitMessage(int exitCode) {
    postMessage(0, WM_QUIT, static_cast<WParam>(static_cast<int64_t>(exitCode)), 0);
}

bool peekMessage(Msg& msg, Hwnd hwnd, unsigned first, unsigned last, unsigned remove) {
    State& s = state();
    if (s.backend) s.backend->processEvents();
    {
        std::lock_guard<std::mutex> lock(s.queueLock);
        for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
            if (!matchesFilter(*it, hwnd, first, last)) continue;
            msg = *it;
            if (remove & kPeekRemove) s.queue.erase(it);
            s.messageTime = msg.time;
            return true;
        }
    }
    // Timers come when nothing else waits (as WM_TIMER is generated, not queued).
    if (first || last) {
        if (WM_TIMER < first || WM_TIMER > last) return false;
    }
    uint64_t now = nowMs();
    for (Timer& t : s.timers) {
        if (t.due > now) continue;
        if (hwnd && t.hwnd != hwnd && !isChild(hwnd, t.hwnd)) continue;
        msg = Msg{};
        msg.hwnd = t.hwnd;
        msg.message = WM_TIMER;
        msg.wParam = t.id;
        msg.lParam = static_cast<LParam>(reinterpret_cast<intptr_t>(t.proc));
        msg.time = static_cast<uint32_t>(now);
        if (remove & kPeekRemove) t.due = now + t.interval;
        s.messageTime = msg.time;
        return true;
    }
    return false;
}

void waitMessage(int timeoutMs) {
    State& s = state();
    uint64_t now = nowMs();
    long limit = timeoutMs < 0 ? 3600000 : timeoutMs;
    for (const Timer& t : s.timers)
        limit = std::min<long>(limit, t.due > now ? static_cast<long>(t.due - now) : 0);
    if (limit <= 0) return;
    if (s.backend) {
        {
            std::lock_guard<std::mutex> lock(s.queueLock);
            if (!s.queue.empty()) return;
        }
        s.backend->waitEvents(static_cast<int>(limit));
        return;
    }
    std::unique_lock<std::mutex> lock(s.queueLock);
    s.queueSignal.wait_for(lock, std::chrono::milliseconds(limit), [&] { return !s.queue.empty(); });
}

bool getMessage(Msg& msg, Hwnd hwnd) {
    while (!peekMessage(msg, hwnd)) waitMessage(-1);
    return msg.message != WM_QUIT;
}

bool translateMessage(const Msg& msg) { return msg.message == WM_KEYDOWN; }

LResult dispatchMessage(const Msg& msg) {
    State& s = state();
    s.messageTime = msg.time;
    if (msg.message == WM_TIMER && msg.lParam) {
        auto proc = reinterpret_cast<TimerProc>(static_cast<intptr_t>(msg.lParam));
        proc(msg.hwnd, WM_TIMER, static_cast<uintptr_t>(msg.wParam), msg.time);
        return 0;
    }
    if (!msg.hwnd) return 0;
    return sendMessage(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

size_t queuedMessageCount() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.queueLock);
    return s.queue.size();
}

uint32_t messageTime() { return state().messageTime; }

LResult callWindowProc(WindowProc proc, Hwnd hwnd, unsigned message, WParam wParam, LParam lParam) {
    return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

LResult defWindowProc(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam) {
    Window* w = detail::find(hwnd);
    if (!w) return 0;
    switch (message) {
    case WM_SETTEXT: {
        std::string text;
        if (lParam && !detail::readMessageText(lParam, text)) return 0;
        w->text = std::move(text);
        detail::syncView(*w, detail::kSyncText);
        return 1;
    }
    case WM_GETTEXT: {
        long n = detail::writeMessageText(lParam, static_cast<size_t>(wParam), w->text);
        return n < 0 ? 0 : n;
    }
    case WM_GETTEXTLENGTH: return static_cast<LResult>(w->text.size());
    case WM_CLOSE: destroyWindow(hwnd); return 0;
    case WM_SETFONT:
        w->font = static_cast<Hgdiobj>(wParam);
        detail::syncView(*w, detail::kSyncFont | (lParam ? detail::kSyncRepaint : 0u));
        return 0;
    case WM_GETFONT: return w->font;
    case WM_PAINT: {
        PaintStruct ps;
        beginPaint(hwnd, ps);
        endPaint(hwnd, ps);
        return 0;
    }
    case WM_ERASEBKGND: {
        Rect r = clientRect(hwnd);
        Hgdiobj brush = createSolidBrush(sysColor(w->kind == Kind::Dialog ? COLOR_BTNFACE : COLOR_WINDOW));
        fillRect(static_cast<Hdc>(wParam), r, brush);
        deleteObject(brush);
        return 1;
    }
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_CLOSE: sendMessage(hwnd, WM_CLOSE, 0, 0); break;
        case SC_MINIMIZE: showWindow(hwnd, SW_MINIMIZE); break;
        case SC_MAXIMIZE: showWindow(hwnd, SW_SHOWMAXIMIZED); break;
        case SC_RESTORE: showWindow(hwnd, SW_RESTORE); break;
        case SC_KEYMENU:
            // Alt+Space and the menu key: the window's menu at its top left corner.
            if (lParam == ' ' && (w->style & WS_SYSMENU)) showSystemMenu(hwnd, clientToScreen(hwnd, {0, 0}));
            break;
        default: break;
        }
        return 0;
    case WM_GETMINMAXINFO: return 0;
    default: return 0;
    }
}

// ---- Properties

bool setWindowText(Hwnd hwnd, std::string_view text) {
    std::string copy(text);
    return sendMessage(hwnd, WM_SETTEXT, 0, static_cast<LParam>(reinterpret_cast<intptr_t>(copy.c_str()))) !=
           0;
}

std::string windowText(Hwnd hwnd) {
    LResult length = sendMessage(hwnd, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    LResult got = sendMessage(hwnd, WM_GETTEXT, text.size(),
                              static_cast<LParam>(reinterpret_cast<intptr_t>(text.data())));
    text.resize(static_cast<size_t>(std::clamp<LResult>(got, 0, length)));
    return text;
}

int64_t getWindowLong(Hwnd hwnd, int index) {
    Window* w = detail::find(hwnd);
    if (!w) return 0;
    switch (index) {
    case GWL_STYLE: return w->style;
    case GWL_EXSTYLE: return w->exStyle;
    case GWL_ID: return w->id;
    case GWLP_WNDPROC: return static_cast<int64_t>(reinterpret_cast<intptr_t>(w->proc));
    case GWLP_USERDATA: return w->userData;
    case GWLP_HWNDPARENT: return w->parent ? w->parent : w->owner;
    default: break;
    }
    if (w->dialog) {
        if (index == DWLP_MSGRESULT) return w->dialog->msgResult;
        if (index == DWLP_DLGPROC) return static_cast<int64_t>(reinterpret_cast<intptr_t>(w->dialog->proc));
        if (index == DWLP_USER) return w->dialog->user;
    }
    return 0;
}

int64_t setWindowLong(Hwnd hwnd, int index, int64_t value) {
    Window* w = detail::find(hwnd);
    if (!w) return 0;
    int64_t old = getWindowLong(hwnd, index);
    switch (index) {
    case GWL_STYLE: {
        uint32_t before = w->style;
        w->style = static_cast<uint32_t>(value);
        unsigned bits = detail::kSyncStyle;
        if ((before ^ w->style) & WS_VISIBLE) bits |= detail::kSyncVisible;
        if ((before ^ w->style) & WS_DISABLED) bits |= detail::kSyncEnabled;
        detail::syncView(*w, bits);
        return old;
    }
    case GWL_EXSTYLE: w->exStyle = static_cast<uint32_t>(value); return old;
    case GWL_ID: w->id = static_cast<int>(value); return old;
    case GWLP_WNDPROC:
        if (value) w->proc = reinterpret_cast<WindowProc>(static_cast<intptr_t>(value));
        return old;
    case GWLP_USERDATA: w->userData = value; return old;
    default: break;
    }
    if (w->dialog) {
        if (index == DWLP_MSGRESULT)
            w->dialog->msgResult = value;
        else if (index == DWLP_DLGPROC)
            w->dialog->proc = reinterpret_cast<DialogProc>(static_cast<intptr_t>(value));
        else if (index == DWLP_USER)
            w->dialog->user = value;
    }
    return old;
}

Hwnd parentOf(Hwnd hwnd) {
    Window* w = detail::find(hwnd);
    return w ? w->parent : 0;
}

Hwnd ownerOf(Hwnd hwnd) {
    Window* w = detail::find(hwnd);
    return w ? w->owner : 0;
}

Hwnd topLevelOf(Hwnd hwnd) {
    Window* w = detail::find(hwnd);
    while (w && w->parent) w = detail::find(w->parent);
    return w ? w->handle : 0;
}

std::vector<Hwnd> childrenOf(Hwnd hwnd) {
    Window* w = detail::find(hwnd);
    return w ? w->children : std::vector<Hwnd>{};
}

bool isChild(Hwnd parent, Hwnd hwnd) {
    Window* w = detail::find(hwnd);
    while (w && w->parent) {
        if (w->parent == parent) return true;
        w = detail::find(w->parent);
    }
    return false;
}

int controlId(Hwnd hwnd) {
    Window* w = detail::find(hwnd);
    return w ? w->id : 0;
}

Hwnd dialogItem(Hwnd dialog, int id) {
    Window* w = detail::find(dialog);
    if (!w) return 0;
    for (Hwnd child : w->children)
        if (Window* c = detail::find(child); c && c->id == id) return child;
    return 0;
}

// ---- Geometry and state

bool showWindow(Hwnd hwnd, int command) {
    Window* w = detail::find(hwnd);
    if (!w) return false;
    bool was = (w->style & WS_VISIBLE) != 0;
    bool show = command != SW_HIDE;
    unsigned bits = 0;
    if (show != was) {
        sendMessage(hwnd, WM_SHOWWINDOW, show ? 1 : 0, 0);
        w = detail::find(hwnd);
        if (!w) return was;
        if (show)
            w->style |= WS_VISIBLE;
        else
            w->style &= ~WS_VISIBLE;
        bits |= detail::kSyncVisible;
    }
    // SW_SHOW and SW_SHOWNA keep the state; the others choose one.
    bool keep = command == SW_SHOW || command == SW_SHOWNA;
    bool minimized = keep ? w->minimized : command == SW_SHOWMINIMIZED || command == SW_MINIMIZE;
    bool maximized = keep ? w->maximized : command == SW_SHOWMAXIMIZED;
    if (show && (minimized != w->minimized || maximized != w->maximized)) {
        if (!w->minimized && !w->maximized) w->normalRect = w->rect;
        w->minimized = minimized;
        w->maximized = maximized;
        bits |= detail::kSyncState;
        if (!w->parent && maximized) {
            // A maximised window fills the work area of its monitor, its frame outside.
            Rect work = displayMonitors()[monitorNearest(w->normalRect)].work;
            w->rect = adjustWindowRect(work, w->style, w->exStyle);
        } else if (!minimized && !maximized) {
            w->rect = w->normalRect;
            bits |= detail::kSyncGeometry;
        }
    }
    if (bits) detail::syncView(*w, bits);
    if (show && !w->parent &&
        (command == SW_SHOWNORMAL || command == SW_SHOW || command == SW_RESTORE ||
         command == SW_SHOWMAXIMIZED))
        setActiveWindow(hwnd);
    if (!show && state().focus && (state().focus == hwnd || isChild(hwnd, state().focus))) state().focus = 0;
    return was;
}

bool isWindowVisible(Hwnd hwnd) {
    Window* w = detail::find(hwnd);
    while (w) {
        if (!(w->style & WS_VISIBLE)) return false;
        w = detail::find(w->parent);
    }
    return hwnd != 0 && detail::find(hwnd) != nullptr;
}

bool enableWindow(Hwnd hwnd, bool enable) {
    Window* w = detail::find(hwnd);
    if (!w) return false;
    bool wasDisabled = (w->style & WS_DISABLED) != 0;
    if (wasDisabled == !enable) return wasDisabled;
    if (enable)
        w->style &= ~WS_DISABLED;
    else
        w->style |= WS_DISABLED;
    detail::syncView(*w, detail::kSyncEnabled);
    sendMessage(hwnd, WM_ENABLE, enable ? 1 : 0, 0);
    return wasDisabled;
}

bool isWindowEnabled(Hwnd hwnd) {
    Window* w = detail::find(hwnd);
    return w && !(w->style & WS_DISABLED);
}

bool moveWindow(Hwnd hwnd, int x, int y, int width, int height, bool repaint) {
    Window* w = detail::find(hwnd);
    if (!w) return false;
    constexpr int kMaxExtent = 16384;
    width = std::clamp(width, 0, kMaxExtent);
    height = std::clamp(height, 0, kMaxExtent);
    x = std::clamp(x, -kMaxExtent, kMaxExtent);
    y = std::clamp(y, -kMaxExtent, kMaxExtent);
    Point minimum, maximum;
    if (detail::trackingLimits(hwnd, minimum, maximum)) {
        w = detail::find(hwnd);
        if (!w) return false;
        width = std::clamp(width, std::max(0, minimum.x), std::max({0, minimum.x, maximum.x}));
        height = std::clamp(height, std::max(0, minimum.y), std::max({0, minimum.y, maximum.y}));
    }
    Rect rect{x, y, x + width, y + height};
    bool moved = rect.left != w->rect.left || rect.top != w->rect.top;
    bool sized = rect.width() != w->rect.width() || rect.height() != w->rect.height();
    w->rect = rect;
    if (!w->minimized && !w->maximized) w->normalRect = rect;
    detail::syncView(*w, detail::kSyncGeometry | (repaint ? detail::kSyncRepaint : 0u));
    Rect client = detail::clientArea(*w);
    if (moved) sendMessage(hwnd, WM_MOVE, 0, makeLParam(x + client.left, y + client.top));
    if (sized && detail::find(hwnd))
        sendMessage(hwnd, WM_SIZE, 0, makeLParam(client.width(), client.height()));
    return true;
}

namespace {
// Screen position of a window's client origin.
Point clientOrigin(const Window& w) {
    Rect client = detail::clientArea(w);
    Point p{w.rect.left + client.left, w.rect.top + client.top};
    if (Window* parent = detail::find(w.parent)) {
        Point base = clientOrigin(*parent);
        p.x += base.x;
        p.y += base.y;
    }
    return p;
}
}  // namespace

Rect windowRect(Hwnd hwnd) {
    Window* w = detail::find(hwnd);
    if (!w) return {};
    if (!w->parent) return w->rect;
    Point base = clientOrigin(*detail::find(w->parent));
    return {w->rect.left + base.x, w->rect.top + base.y, w->rect.right + base.x, w->rect.bottom + base.y};
}

Rect clientRect(Hwnd hwnd) {
    Window* w = detail::find(hwnd);
    if (!w) return {};
    Rect c = detail::clientArea(*w);
    return {0, 0, c.width(), c.height()};
}

Point clientToScreen(Hwnd hwnd, Point p) {
    Window* w = detail::find(hwnd);
    if (!w) return p;
    Point o = clientOrigin(*w);
    return {p.x + o.x, p.y + o.y};
}

Point screenToClient(Hwnd hwnd, Point p) {
    Window* w = detail::find(hwnd);
    if (!w) return p;
    Point o = clientOrigin(*w);
    return {p.x - o.x, p.y - o.y};
}

Rect screenRect() {
    if (detail::Backend* b = state().backend) return b->screenRect();
    return {0, 0, 1024, 768};
}

Rect adjustWindowRect(Rect client, uint32_t style, uint32_t exStyle) {
    Rect m = detail::frameMargins(style, exStyle);
    return {client.left - m.left, client.top - m.top, client.right + m.right, client.bottom + m.bottom};
}

bool isIconic(Hwnd hwnd) {
    Window* w = detail::find(hwnd);
    return w && w->minimized;
}

bool isZoomed(Hwnd hwnd) {
    Window* w = detail::find(hwnd);
    return w && w->maximized;
}

// ---- Size limits and placement

namespace {
constexpr int kLargestExtent = 16384;
}  // namespace

MinMaxInfo windowSizeLimits(Hwnd hwnd) {
    MinMaxInfo info;
    Window* w = detail::find(hwnd);
    if (!w) return info;
    Rect virtualScreen = virtualScreenRect();
    Rect frame = detail::frameMargins(w->style, w->exStyle);
    info.maxSize = {virtualScreen.width() + frame.left + frame.right,
                    virtualScreen.height() + frame.top + frame.bottom};
    info.maxPosition = {-frame.left, -frame.top};
    info.minTrackSize = {0, 0};
    info.maxTrackSize = {kLargestExtent, kLargestExtent};
    sendMessage(hwnd, WM_GETMINMAXINFO, 0, static_cast<LParam>(reinterpret_cast<intptr_t>(&info)));
    return info;
}

bool getWindowPlacement(Hwnd hwnd, WindowPlacement& placement) {
    Window* w = detail::find(hwnd);
    if (!w) return false;
    placement = WindowPlacement{};
    placement.showCmd = w->minimized ? SW_SHOWMINIMIZED : w->maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    placement.normalPosition = (w->minimized || w->maximized) ? w->normalRect : w->rect;
    return true;
}

bool setWindowPlacement(Hwnd hwnd, const WindowPlacement& placement) {
    Window* w = detail::find(hwnd);
    if (!w) return false;
    const Rect& r = placement.normalPosition;
    int command = static_cast<int>(placement.showCmd);
    bool minMax = command == SW_SHOWMINIMIZED || command == SW_MINIMIZE || command == SW_SHOWMAXIMIZED;
    if (minMax) {
        // The normal rectangle waits for the window's return to the normal state.
        if (w->minimized || w->maximized)
            w->normalRect = r;
        else
            moveWindow(hwnd, r.left, r.top, r.width(), r.height(), true);
        if (detail::find(hwnd)) showWindow(hwnd, command);
        return detail::find(hwnd) != nullptr;
    }
    if (w->minimized || w->maximized) {
        w->normalRect = r;
        if (command != SW_HIDE) showWindow(hwnd, SW_RESTORE);
    } else {
        moveWindow(hwnd, r.left, r.top, r.width(), r.height(), true);
    }
    if (!detail::find(hwnd)) return false;
    showWindow(hwnd, command == SW_HIDE                           ? SW_HIDE
                     : command == SW_SHOW || command == SW_SHOWNA ? command
                                                                  : SW_SHOWNORMAL);
    return true;
}

// ---- Monitors

std::vector<MonitorInfo> displayMonitors() {
    std::vector<MonitorInfo> list;
    if (detail::Backend* b = state().backend) list = b->monitors();
    if (list.empty()) {
        MonitorInfo only;
        only.monitor = only.work = {0, 0, 1024, 768};
        only.primary = true;
        list.push_back(only);
    }
    return list;
}

Rect virtualScreenRect() { return virtualScreenRect(displayMonitors()); }

Rect virtualScreenRect(const std::vector<MonitorInfo>& monitors) {
    if (monitors.empty()) return {};
    Rect r = monitors.front().monitor;
    for (const MonitorInfo& m : monitors) {
        r.left = std::min(r.left, m.monitor.left);
        r.top = std::min(r.top, m.monitor.top);
        r.right = std::max(r.right, m.monitor.right);
        r.bottom = std::max(r.bottom, m.monitor.bottom);
    }
    return r;
}

size_t monitorNearest(const Rect& rect) {
    std::vector<MonitorInfo> list = displayMonitors();
    size_t best = 0;
    int64_t bestArea = 0;
    int64_t bestDistance = INT64_MAX;
    for (size_t i = 0; i < list.size(); ++i) {
        const Rect& m = list[i].monitor;
        int64_t w = int64_t{std::min(rect.right, m.right)} - std::max(rect.left, m.left);
        int64_t h = int64_t{std::min(rect.bottom, m.bottom)} - std::max(rect.top, m.top);
        int64_t area = w > 0 && h > 0 ? w * h : 0;
        // Distance between the rectangles along each axis (0 where they overlap).
        int64_t dx = std::max<int64_t>({0, int64_t{m.left} - rect.right, int64_t{rect.left} - m.right});
        int64_t dy = std::max<int64_t>({0, int64_t{m.top} - rect.bottom, int64_t{rect.top} - m.bottom});
        int64_t distance = dx * dx + dy * dy;
        if (area > bestArea || (bestArea == 0 && area == 0 && distance < bestDistance)) {
            best = i;
            bestArea = area;
            bestDistance = distance;
        }
    }
    return best;
}

int systemMetrics(int index) {
    Rect frame = detail::frameMargins(WS_OVERLAPPEDWINDOW, 0);
    switch (index) {
    case SM_CXSCREEN: return displayMonitors().front().monitor.width();
    case SM_CYSCREEN: return displayMonitors().front().monitor.height();
    case SM_CXVSCROLL:
    case SM_CYHSCROLL: return detail::kScrollBarSize;
    case SM_CYCAPTION: return frame.top - frame.left;
    case SM_CXFRAME:
    case SM_CYFRAME: return frame.left;
    case SM_CXICON:
    case SM_CYICON: return 32;
    case SM_XVIRTUALSCREEN: return virtualScreenRect().left;
    case SM_YVIRTUALSCREEN: return virtualScreenRect().top;
    case SM_CXVIRTUALSCREEN: return virtualScreenRect().width();
    case SM_CYVIRTUALSCREEN: return virtualScreenRect().height();
    case SM_CMONITORS: return static_cast<int>(displayMonitors().size());
    default: return 0;
    }
}

namespace {
void setFocusInternal(Hwnd hwnd, bool syncView) {
    State& s = state();
    Hwnd old = s.focus;
    if (old == hwnd) return;
    s.focus = hwnd;
    if (old && detail::find(old)) sendMessage(old, WM_KILLFOCUS, hwnd, 0);
    if (s.focus != hwnd) return;  // the old window moved the focus elsewhere meanwhile
    Window* w = detail::find(hwnd);
    if (!w) return;
    Hwnd top = topLevelOf(hwnd);
    if (Window* t = detail::find(top); t && t->dialog && top != hwnd) t->dialog->lastFocus = hwnd;
    if (s.active != top) {
        Hwnd previous = s.active;
        s.active = top;
        if (previous && detail::find(previous)) sendMessage(previous, WM_ACTIVATE, WA_INACTIVE, top);
        if (detail::find(top)) {
            detail::syncView(*detail::find(top), detail::kSyncActivate);
            sendMessage(top, WM_ACTIVATE, WA_ACTIVE, previous);
        }
        if (s.focus != hwnd) return;
    }
    if (syncView && detail::find(hwnd)) detail::syncView(*detail::find(hwnd), detail::kSyncFocus);
    if (detail::find(hwnd)) sendMessage(hwnd, WM_SETFOCUS, old, 0);
}
}  // namespace

Hwnd setFocus(Hwnd hwnd) {
    Hwnd old = state().focus;
    if (hwnd && !detail::find(hwnd)) return 0;
    setFocusInternal(hwnd, true);
    return old;
}

Hwnd focusWindow() { return state().focus; }

Hwnd activeWindow() { return state().active; }

bool setActiveWindow(Hwnd hwnd) {
    State& s = state();
    Window* w = detail::find(hwnd);
    if (!w || w->parent) return false;
    if (s.active == hwnd) return true;
    Hwnd old = s.active;
    s.active = hwnd;
    if (old && detail::find(old)) sendMessage(old, WM_ACTIVATE, WA_INACTIVE, hwnd);
    if (!detail::find(hwnd)) return false;
    detail::syncView(*detail::find(hwnd), detail::kSyncActivate);
    sendMessage(hwnd, WM_ACTIVATE, WA_ACTIVE, old);
    return true;
}

Hwnd setCapture(Hwnd hwnd) {
    State& s = state();
    Hwnd old = s.capture;
    if (!detail::find(hwnd)) return old;
    s.capture = hwnd;
    detail::syncView(*detail::find(hwnd), detail::kSyncCapture);
    return old;
}

bool releaseCapture() {
    State& s = state();
    Hwnd old = s.capture;
    s.capture = 0;
    if (Window* w = detail::find(old)) {
        detail::syncView(*w, detail::kSyncCapture);
        sendMessage(old, WM_CAPTURECHANGED, 0, 0);
    }
    return true;
}

Hwnd captureWindow() { return state().capture; }

bool invalidateRect(Hwnd hwnd, const Rect*, bool) {
    Window* w = detail::find(hwnd);
    if (!w) return false;
    detail::syncView(*w, detail::kSyncRepaint | detail::kSyncColors);
    return true;
}

bool updateWindow(Hwnd hwnd) {
    Window* w = detail::find(hwnd);
    if (!w) return false;
    detail::syncView(*w, detail::kSyncPaintNow);
    return true;
}

// ---- Timers

uintptr_t setTimer(Hwnd hwnd, uintptr_t id, unsigned intervalMs, TimerProc proc) {
    State& s = state();
    if (hwnd && !detail::find(hwnd)) return 0;
    if (intervalMs < 1) intervalMs = 1;
    if (!hwnd) id = ++s.nextTimerId;
    for (Timer& t : s.timers) {
        if (t.hwnd == hwnd && t.id == id) {
            t.interval = intervalMs;
            t.due = nowMs() + intervalMs;
            t.proc = proc;
            return id ? id : 1;
        }
    }
    s.timers.push_back({hwnd, id, intervalMs, nowMs() + intervalMs, proc});
    if (s.backend) s.backend->wake();
    return id ? id : 1;
}

bool killTimer(Hwnd hwnd, uintptr_t id) {
    State& s = state();
    auto it = std::find_if(s.timers.begin(), s.timers.end(),
                           [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it == s.timers.end()) return false;
    s.timers.erase(it);
    // A WM_TIMER already generated is gone with its timer.
    return true;
}

// ---- Keyboard, mouse, sound

bool isKeyDown(int virtualKey) {
    detail::Backend* b = state().backend;
    return b && b->keyDown(virtualKey);
}

Point cursorPos() {
    detail::Backend* b = state().backend;
    return b ? b->cursorPos() : Point{};
}

bool setCursorPos(int x, int y) {
    detail::Backend* b = state().backend;
    return b && b->setCursorPos(x, y);
}

int showCursor(bool show) {
    State& s = state();
    s.cursorCounter += show ? 1 : -1;
    if (detail::Backend* b = s.backend) b->setCursorVisible(s.cursorCounter >= 0);
    return s.cursorCounter;
}

void messageBeep(unsigned) {
    if (detail::Backend* b = state().backend)
        b->beep();
    else
        std::fputc('\a', stderr);
}

bool injectKey(int virtualKey, bool down, unsigned modifiers, std::string_view text) {
    if (detail::Backend* b = state().backend) return b->injectKey(virtualKey, down, modifiers, text);
    // Without the toolkit the focus window gets the messages a key makes.
    Hwnd target = focusWindow() ? focusWindow() : activeWindow();
    if (!target) return false;
    if (virtualKey) postMessage(target, down ? WM_KEYDOWN : WM_KEYUP, static_cast<WParam>(virtualKey), 1);
    if (down)
        for (unsigned char c : text) postMessage(target, WM_CHAR, c, 1);
    return true;
}

bool injectMouseButton(int button, bool down) {
    if (detail::Backend* b = state().backend) return b->injectMouseButton(button, down);
    Hwnd target = captureWindow() ? captureWindow() : focusWindow();
    if (!target) return false;
    unsigned message = button == 2 ? WM_RBUTTONDOWN : button == 4 ? WM_MBUTTONDOWN : WM_LBUTTONDOWN;
    Point p = screenToClient(target, cursorPos());
    postMessage(target, down ? message : message + 1, 0, makeLParam(p.x, p.y));
    return true;
}

}  // namespace tvx::platform
