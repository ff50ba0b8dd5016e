// The X display: synthetic input through XTest and the other programs'
// windows for window search. Built without X11, both report that there is
// no display, and the program's own windows take their place.
#include <memory>

#include "ipc/system/input.h"
#include "ipc/system/windows.h"

#if defined(TOLVEX_HAVE_X11)
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <unordered_map>
#include <vector>

#endif

namespace tvx::ipc {

#if defined(TOLVEX_HAVE_X11)

namespace {

// Xlib ends the program on a protocol error unless a handler says otherwise;
// a window that closes while it is being looked at is no reason to end.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

Display* openDisplay() {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return nullptr;
    static std::once_flag handlerSet;
    std::call_once(handlerSet, [] { XSetErrorHandler(ignoreXError); });
    return XOpenDisplay(nullptr);
}

// The keysym of a virtual key (0 for one X has no key for).
KeySym keysymOfVirtualKey(int vk) {
    if (vk >= 'A' && vk <= 'Z') return XK_a + (vk - 'A');
    if (vk >= '0' && vk <= '9') return XK_0 + (vk - '0');
    if (vk >= 0x60 && vk <= 0x69) return XK_KP_0 + (vk - 0x60);
    if (vk >= 0x70 && vk <= 0x87) return XK_F1 + (vk - 0x70);
    static const struct {
        int vk;
        KeySym sym;
    } kKeys[] = {
        {0x08, XK_BackSpace},    {0x09, XK_Tab},         {0x0C, XK_Clear},       {0x0D, XK_Return},
        {0x10, XK_Shift_L},      {0x11, XK_Control_L},   {0x12, XK_Alt_L},       {0x13, XK_Pause},
        {0x14, XK_Caps_Lock},    {0x1B, XK_Escape},      {0x20, XK_space},       {0x21, XK_Page_Up},
        {0x22, XK_Page_Down},    {0x23, XK_End},         {0x24, XK_Home},        {0x25, XK_Left},
        {0x26, XK_Up},           {0x27, XK_Right},       {0x28, XK_Down},        {0x2C, XK_Print},
        {0x2D, XK_Insert},       {0x2E, XK_Delete},      {0x5B, XK_Super_L},     {0x5C, XK_Super_R},
        {0x5D, XK_Menu},         {0x6A, XK_KP_Multiply}, {0x6B, XK_KP_Add},      {0x6C, XK_KP_Separator},
        {0x6D, XK_KP_Subtract},  {0x6E, XK_KP_Decimal},  {0x6F, XK_KP_Divide},   {0x90, XK_Num_Lock},
        {0x91, XK_Scroll_Lock},  {0xA0, XK_Shift_L},     {0xA1, XK_Shift_R},     {0xA2, XK_Control_L},
        {0xA3, XK_Control_R},    {0xA4, XK_Alt_L},       {0xA5, XK_Alt_R},       {0xBA, XK_semicolon},
        {0xBB, XK_equal},        {0xBC, XK_comma},       {0xBD, XK_minus},       {0xBE, XK_period},
        {0xBF, XK_slash},        {0xC0, XK_grave},       {0xDB, XK_bracketleft}, {0xDC, XK_backslash},
        {0xDD, XK_bracketright}, {0xDE, XK_apostrophe},
    };
    for (const auto& k : kKeys)
        if (k.vk == vk) return k.sym;
    return 0;
}

// The keysym that types a character.
KeySym keysymOfCharacter(uint32_t c) {
    switch (c) {
    case '\r':
    case '\n': return XK_Return;
    case '\t': return XK_Tab;
    case '\b': return XK_BackSpace;
    case 27: return XK_Escape;
    case 127: return XK_Delete;
    default: break;
    }
    if ((c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF)) return c;
    return c < 0x20 ? 0 : 0x01000000 | c;
}

class X11Injector : public input::Injector {
public:
    explicit X11Injector(Display* display) : display_(display) {}
    ~X11Injector() override {
        restoreSpareKeys();
        XCloseDisplay(display_);
    }

    bool typeCharacter(uint32_t character, bool forced, unsigned modifiers) override {
        KeySym sym = keysymOfCharacter(character);
        if (!sym) return false;
        unsigned level = 0;
        KeyCode code = keycodeOf(sym, level);
        if (!code) {
            code = bindSpareKey(sym);
            level = 0;
            if (!code) return false;
        }
        // A line feed is Ctrl+Enter, as on a Windows keyboard.
        unsigned natural = (level & 1 ? input::kShift : 0) | (character == '\n' ? input::kControl : 0);
        unsigned mods = forced ? modifiers : natural;
        bool altGr = !forced && level >= 2;
        holdModifiers(mods, altGr, true);
        XTestFakeKeyEvent(display_, code, True, CurrentTime);
        XTestFakeKeyEvent(display_, code, False, CurrentTime);
        holdModifiers(mods, altGr, false);
        return true;
    }

    bool key(int vk, bool down) override {
        KeySym sym = keysymOfVirtualKey(vk);
        KeyCode code = sym ? XKeysymToKeycode(display_, sym) : 0;
        if (!code) return false;
        XTestFakeKeyEvent(display_, code, down ? True : False, CurrentTime);
        return true;
    }

    bool mouseButton(int button, bool down) override {
        unsigned x = button == 2 ? 3 : button == 4 ? 2 : 1;  // X numbers the middle button 2
        XTestFakeButtonEvent(display_, x, down ? True : False, CurrentTime);
        return true;
    }

    bool moveCursor(int x, int y) override {
        XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
        return true;
    }

    void flush() override { XSync(display_, False); }

private:
    // The key that types sym, and its level (1 Shift, 2 AltGr, 3 both); 0 when none.
    KeyCode keycodeOf(KeySym sym, unsigned& level) {
        auto it = spare_.find(sym);
        if (it != spare_.end()) return it->second;
        KeyCode code = XKeysymToKeycode(display_, sym);
        if (!code) return 0;
        for (unsigned l = 0; l < 4; ++l) {
            if (XkbKeycodeToKeysym(display_, code, 0, static_cast<int>(l)) == sym) {
                level = l;
                return code;
            }
        }
        level = 0;
        return code;
    }

    // A character no key types: a key without symbols is bound to it. The
    // binding stays until the keys run out or the injector goes: a program
    // reads a key with the mapping in force when it gets to the key, which
    // may be long after it was sent (this program's own windows: only when
    // the macro serves them).
    KeyCode bindSpareKey(KeySym sym) {
        int low = 0, high = 0;
        XDisplayKeycodes(display_, &low, &high);
        int perCode = 0;
        KeySym* map = XGetKeyboardMapping(display_, static_cast<KeyCode>(low), high - low + 1, &perCode);
        if (!map) return 0;
        KeyCode spare = 0;
        for (int code = high; code >= low && !spare; --code) {
            bool empty = true;
            for (int k = 0; k < perCode; ++k) empty = empty && map[(code - low) * perCode + k] == NoSymbol;
            bool taken = false;
            for (const auto& [s, c] : spare_) taken = taken || c == code;
            if (empty && !taken) spare = static_cast<KeyCode>(code);
        }
        XFree(map);
        if (!spare && !spare_.empty()) {
            restoreSpareKeys();
            return bindSpareKey(sym);
        }
        if (!spare) return 0;
        KeySym both[2] = {sym, sym};
        XChangeKeyboardMapping(display_, spare, 2, both, 1);
        XSync(display_, False);
        spare_[sym] = spare;
        return spare;
    }

    void restoreSpareKeys() {
        for (const auto& [sym, code] : spare_) {
            KeySym none[2] = {NoSymbol, NoSymbol};
            XChangeKeyboardMapping(display_, code, 2, none, 1);
        }
        if (!spare_.empty()) XSync(display_, False);
        spare_.clear();
    }

    void holdModifiers(unsigned mods, bool altGr, bool down) {
        auto press = [&](KeySym sym) {
            if (KeyCode c = XKeysymToKeycode(display_, sym))
                XTestFakeKeyEvent(display_, c, down, CurrentTime);
        };
        if (mods & input::kShift) press(XK_Shift_L);
        if (mods & input::kControl) press(XK_Control_L);
        if (mods & input::kAlt) press(XK_Alt_L);
        if (altGr) press(XK_ISO_Level3_Shift);
    }

    Display* display_;
    std::unordered_map<KeySym, KeyCode> spare_;
};

class X11Windows : public windows::WindowSource {
public:
    explicit X11Windows(Display* display)
        : display_(display),
          root_(DefaultRootWindow(display)),
          clientList_(XInternAtom(display, "_NET_CLIENT_LIST_STACKING", False)),
          wmState_(XInternAtom(display, "WM_STATE", False)),
          netWmName_(XInternAtom(display, "_NET_WM_NAME", False)),
          netWmPid_(XInternAtom(display, "_NET_WM_PID", False)),
          utf8_(XInternAtom(display, "UTF8_STRING", False)) {}
    ~X11Windows() override { XCloseDisplay(display_); }

    bool owns(uint32_t handle) override {
        if (handle == 0 || handle == windows::kDesktop) return false;
        XWindowAttributes a;
        return XGetWindowAttributes(display_, handle, &a) != 0;
    }

    std::vector<uint32_t> children(uint32_t parent) override {
        std::vector<uint32_t> out;
        if (parent == windows::kDesktop) {
            // The programs' windows, the topmost first: the window manager's
            // list, else the clients found below the root's children.
            std::vector<Window> tops = windowList(root_, clientList_);
            if (tops.empty()) {
                for (Window w : queryChildren(root_)) tops.push_back(clientOf(w, 3));
            }
            for (auto it = tops.rbegin(); it != tops.rend(); ++it)
                if (!isOwn(*it)) out.push_back(static_cast<uint32_t>(*it));
            return out;
        }
        std::vector<Window> kids = queryChildren(parent);
        for (auto it = kids.rbegin(); it != kids.rend(); ++it) out.push_back(static_cast<uint32_t>(*it));
        return out;
    }

    std::string className(uint32_t handle) override {
        XClassHint hint{};
        if (!XGetClassHint(display_, handle, &hint)) return {};
        std::string name = hint.res_class ? hint.res_class : "";
        if (hint.res_name) XFree(hint.res_name);
        if (hint.res_class) XFree(hint.res_class);
        return name;
    }

    std::string text(uint32_t handle) override {
        std::string name = property(handle, netWmName_, utf8_);
        if (!name.empty()) return name;
        char* legacy = nullptr;
        if (XFetchName(display_, handle, &legacy) && legacy) {
            name = legacy;
            XFree(legacy);
        }
        return name;
    }

    bool visible(uint32_t handle) override {
        XWindowAttributes a;
        return XGetWindowAttributes(display_, handle, &a) && a.map_state == IsViewable;
    }
    bool enabled(uint32_t) override { return true; }  // X windows have no disabled state

    uint32_t parent(uint32_t handle) override {
        Window rootReturn = 0, parentReturn = 0, *kids = nullptr;
        unsigned n = 0;
        if (!XQueryTree(display_, handle, &rootReturn, &parentReturn, &kids, &n)) return windows::kDesktop;
        if (kids) XFree(kids);
        // A client inside a window manager's frame is a top-level window.
        if (parentReturn == root_ || hasProperty(handle, wmState_)) return windows::kDesktop;
        return static_cast<uint32_t>(parentReturn);
    }

    void pressSpace(uint32_t handle) override {
        KeyCode code = XKeysymToKeycode(display_, XK_space);
        XKeyEvent e{};
        e.display = display_;
        e.window = handle;
        e.root = root_;
        e.keycode = code;
        e.same_screen = True;
        for (int type : {KeyPress, KeyPress, KeyRelease}) {
            e.type = type;
            XSendEvent(display_, handle, True, type == KeyPress ? KeyPressMask : KeyReleaseMask,
                       reinterpret_cast<XEvent*>(&e));
        }
        XFlush(display_);
    }

private:
    std::vector<Window> queryChildren(Window w) {
        Window rootReturn = 0, parentReturn = 0, *kids = nullptr;
        unsigned n = 0;
        std::vector<Window> out;
        if (XQueryTree(display_, w, &rootReturn, &parentReturn, &kids, &n) && kids) {
            out.assign(kids, kids + n);
            XFree(kids);
        }
        return out;
    }

    std::vector<Window> windowList(Window w, Atom atom) {
        std::vector<Window> out;
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, w, atom, 0, 1 << 20, False, XA_WINDOW, &type, &format, &count,
                               &after, &data) == Success &&
            data) {
            if (format == 32) {
                auto* ids = reinterpret_cast<unsigned long*>(data);
                out.assign(ids, ids + count);
            }
            XFree(data);
        }
        return out;
    }

    bool hasProperty(Window w, Atom atom) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        bool found = XGetWindowProperty(display_, w, atom, 0, 0, False, AnyPropertyType, &type, &format,
                                        &count, &after, &data) == Success &&
                     type != None;
        if (data) XFree(data);
        return found;
    }

    std::string property(Window w, Atom atom, Atom wanted) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        std::string out;
        if (XGetWindowProperty(display_, w, atom, 0, 1024, False, wanted, &type, &format, &count, &after,
                               &data) == Success &&
            data) {
            if (format == 8) out.assign(reinterpret_cast<char*>(data), count);
            XFree(data);
        }
        return out;
    }

    // The client window of a top-level frame: itself when it has WM_STATE,
    // else the first descendant that has (the frame itself when none has).
    Window clientOf(Window w, int depth) {
        if (hasProperty(w, wmState_)) return w;
        if (depth > 0)
            for (Window c : queryChildren(w))
                if (Window found = clientOf(c, depth - 1); found != c || hasProperty(c, wmState_))
                    return found;
        return w;
    }

    // This program's own windows are the window layer's.
    bool isOwn(Window w) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        bool own = false;
        if (XGetWindowProperty(display_, w, netWmPid_, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                               &after, &data) == Success &&
            data) {
            own = format == 32 && count == 1 &&
                  *reinterpret_cast<unsigned long*>(data) == static_cast<unsigned long>(::getpid());
            XFree(data);
        }
        return own;
    }

    Display* display_;
    Window root_;
    Atom clientList_, wmState_, netWmName_, netWmPid_, utf8_;
};

}  // namespace

namespace input {
std::unique_ptr<Injector> makeX11Injector() {
    Display* display = openDisplay();
    if (!display) return nullptr;
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
        XCloseDisplay(display);
        return nullptr;
    }
    return std::make_unique<X11Injector>(display);
}
}  // namespace input

namespace windows {
std::unique_ptr<WindowSource> makeX11Windows() {
    Display* display = openDisplay();
    return display ? std::make_unique<X11Windows>(display) : nullptr;
}
}  // namespace windows

#else  // without X11

namespace input {
std::unique_ptr<Injector> makeX11Injector() { return nullptr; }
}  // namespace input
namespace windows {
std::unique_ptr<WindowSource> makeX11Windows() { return nullptr; }
}  // namespace windows

#endif

}  // namespace tvx::ipc
