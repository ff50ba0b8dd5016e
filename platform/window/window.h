// The window layer: windows with integer handles, window procedures, the
// standard controls, the message queue and its pump, timers, focus and capture.
//
// Everything here runs on the one user-interface thread, except postMessage and
// postQuitMessage, which any thread may call. A window is a record of this layer
// (text, styles, id, parent and owner, control state); the toolkit widget that
// shows it is created behind this interface when the first window is made, so a
// program that never makes a window never starts the toolkit. Without a display
// the widgets run on an off-screen platform; without the toolkit at all (its
// module missing) windows still work as records and messages, unseen.
//
// Text parameters of messages (WM_SETTEXT, LB_ADDSTRING, ...) are addresses in
// LParam, as macros send them; every such address is probed before use, and a bad
// one makes the message fail (0, LB_ERR or CB_ERR) instead of crashing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window/messages.h"

namespace tvx::platform {

// A window handle: never 0 for a window, never reused while the program runs,
// always at least 0x10000 and never with a high half in 0x7BCF..0x7BF0 (those
// numbers name dialog controls in macros).
using Hwnd = uint32_t;
using WParam = uint64_t;
using LParam = int64_t;
using LResult = int64_t;

using WindowProc = LResult (*)(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam);
// A dialog procedure returns non-zero when it handled the message (for the
// messages that return a value, the value is its result; see DWLP_MSGRESULT).
using DialogProc = intptr_t (*)(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam);
using TimerProc = void (*)(Hwnd hwnd, unsigned message, uintptr_t id, uint32_t time);

struct Point {
    int x = 0;
    int y = 0;
};
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

struct Msg {
    Hwnd hwnd = 0;
    unsigned message = 0;
    WParam wParam = 0;
    LParam lParam = 0;
    uint32_t time = 0;
    Point pt;
};

// ---- The toolkit

// Starts the toolkit now (it starts by itself with the first window). False when
// it cannot be started; windows then work unseen. Headless forces the
// off-screen platform (as does a missing DISPLAY and WAYLAND_DISPLAY).
bool startWindowSystem(bool headless);
bool windowSystemStarted();
// True when windows are shown on a real display (not off-screen, not unseen).
bool windowSystemVisible();
// Chooses the off-screen platform for a later start (the --headless option).
void setHeadlessWindows(bool headless);

// ---- Window classes

// Registers a class of windows served by proc. Class names are matched without
// regard to case; registering a name again replaces its procedure. The built-in
// classes are "Button", "Edit", "Static", "ListBox", "ComboBox", "ScrollBar" and
// the dialog class "#32770".
bool registerClass(std::string_view name, WindowProc proc);
// The class name of a window ("" for none).
std::string className(Hwnd hwnd);

// ---- Creating and destroying

// Creates a window. x, y, width and height are pixels (relative to the parent's
// client area for WS_CHILD windows, to the screen otherwise); parent is the
// parent of a child window or the owner of a top-level one; id is the control id
// of a child window. Sends WM_CREATE with createParam in lParam. Returns 0 for an
// unknown class or a missing parent, or when WM_CREATE returns -1.
Hwnd createWindow(std::string_view className, std::string_view text, uint32_t style, uint32_t exStyle, int x,
                  int y, int width, int height, Hwnd parent, int id, LParam createParam = 0);
// Destroys the window and its children and owned windows (WM_DESTROY, then
// WM_NCDESTROY, children before their parents' WM_NCDESTROY).
bool destroyWindow(Hwnd hwnd);
bool isWindow(Hwnd hwnd);
// Every window that exists, in creation order (tests and clean-up).
std::vector<Hwnd> allWindows();

// ---- Messages

// Calls the window's procedure now and returns its result (0 for no window).
LResult sendMessage(Hwnd hwnd, unsigned message, WParam wParam = 0, LParam lParam = 0);
// Queues a message; hwnd 0 queues a thread message. False for a missing window.
bool postMessage(Hwnd hwnd, unsigned message, WParam wParam = 0, LParam lParam = 0);
void postQuitMessage(int exitCode);
// PM_NOREMOVE / PM_REMOVE
constexpr unsigned kPeekNoRemove = 0, kPeekRemove = 1;
// Takes the next message for hwnd (0: any) within [first, last] (0, 0: any),
// after serving the toolkit's own events. False when none is waiting.
bool peekMessage(Msg& msg, Hwnd hwnd = 0, unsigned first = 0, unsigned last = 0,
                 unsigned remove = kPeekRemove);
// Waits for the next message; false when it is WM_QUIT (msg holds it).
bool getMessage(Msg& msg, Hwnd hwnd = 0);
// Waits at most timeoutMs for a message or a toolkit event.
void waitMessage(int timeoutMs);
// Key messages also produce WM_CHAR where the toolkit gave a character; this is
// done when the key event arrives, so translateMessage does nothing more.
bool translateMessage(const Msg& msg);
LResult dispatchMessage(const Msg& msg);
// Messages that wait in the queue.
size_t queuedMessageCount();
// Runs the default processing of a message (every procedure ends there).
LResult defWindowProc(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam);
LResult callWindowProc(WindowProc proc, Hwnd hwnd, unsigned message, WParam wParam, LParam lParam);
// The time (milliseconds, like the tick count) and screen position of the message
// being processed.
uint32_t messageTime();

// ---- Properties

bool setWindowText(Hwnd hwnd, std::string_view text);  // WM_SETTEXT
std::string windowText(Hwnd hwnd);                     // WM_GETTEXT
// GWL_STYLE, GWL_EXSTYLE, GWL_ID, GWLP_WNDPROC, GWLP_USERDATA, GWLP_HWNDPARENT,
// and for dialogs DWLP_MSGRESULT, DWLP_DLGPROC, DWLP_USER. Set returns the old value.
int64_t getWindowLong(Hwnd hwnd, int index);
int64_t setWindowLong(Hwnd hwnd, int index, int64_t value);
Hwnd parentOf(Hwnd hwnd);    // the parent of a child, 0 for a top-level window
Hwnd ownerOf(Hwnd hwnd);     // the owner of a top-level window
Hwnd topLevelOf(Hwnd hwnd);  // the window itself, or its top-level ancestor
std::vector<Hwnd> childrenOf(Hwnd hwnd);
bool isChild(Hwnd parent, Hwnd hwnd);  // hwnd lies below parent
int controlId(Hwnd hwnd);
Hwnd dialogItem(Hwnd dialog, int id);  // the first child with that id, 0 when none

// ---- Geometry and state

bool showWindow(Hwnd hwnd, int command);    // returns whether it was visible
bool isWindowVisible(Hwnd hwnd);            // it and its ancestors are visible
bool enableWindow(Hwnd hwnd, bool enable);  // returns whether it was disabled
bool isWindowEnabled(Hwnd hwnd);
bool moveWindow(Hwnd hwnd, int x, int y, int width, int height, bool repaint = true);
Rect windowRect(Hwnd hwnd);  // screen coordinates, frame included
Rect clientRect(Hwnd hwnd);  // (0, 0, width, height) of the client area
Point clientToScreen(Hwnd hwnd, Point p);
Point screenToClient(Hwnd hwnd, Point p);
// The whole screen (the off-screen platform's screen when there is no display).
Rect screenRect();
// The window rectangle that a client rectangle needs with that style (frame and
// caption added), as every window of this layer measures them.
Rect adjustWindowRect(Rect client, uint32_t style, uint32_t exStyle);
bool isIconic(Hwnd hwnd);
bool isZoomed(Hwnd hwnd);

// ---- Size limits and placement

// What WM_GETMINMAXINFO fills in (lParam points to it), in pixels of the window
// rectangle. The layer starts from limits that restrict nothing (the largest
// extent it backs, 16384) and keeps a top-level window with a sizing frame, or
// one that is neither a popup nor a child, within the tracking sizes whenever it
// is sized, by the person or by moveWindow.
struct MinMaxInfo {
    Point reserved;
    Point maxSize;
    Point maxPosition;
    Point minTrackSize;
    Point maxTrackSize;
};
static_assert(sizeof(MinMaxInfo) == 40);
// The limits the window's procedure gives (WM_GETMINMAXINFO sent now).
MinMaxInfo windowSizeLimits(Hwnd hwnd);

// The window's show state and its rectangle in the normal state (kept while it
// is minimised or maximised), with the standard 44-byte layout.
struct WindowPlacement {
    uint32_t length = 44;
    uint32_t flags = 0;
    uint32_t showCmd = 1;  // SW_SHOWNORMAL, SW_SHOWMINIMIZED or SW_SHOWMAXIMIZED
    Point minPosition{-1, -1};
    Point maxPosition{-1, -1};
    Rect normalPosition;
};
static_assert(sizeof(WindowPlacement) == 44);
bool getWindowPlacement(Hwnd hwnd, WindowPlacement& placement);
// Sets the normal rectangle and shows the window in showCmd's state (SW_HIDE
// hides it); a normal window moves to the rectangle at once.
bool setWindowPlacement(Hwnd hwnd, const WindowPlacement& placement);

// ---- Monitors

struct MonitorInfo {
    Rect monitor;  // screen coordinates
    Rect work;     // the part not taken by panels and docks
    bool primary = false;
};
// Every monitor, the primary one first. Never empty: without a toolkit one
// 1024 x 768 monitor stands in.
std::vector<MonitorInfo> displayMonitors();
// The rectangle that holds every monitor (of the list given: an empty list gives
// an empty rectangle).
Rect virtualScreenRect();
Rect virtualScreenRect(const std::vector<MonitorInfo>& monitors);
// The index in displayMonitors() of the monitor sharing the most area with rect,
// or of the nearest one when none shares any.
size_t monitorNearest(const Rect& rect);
// GetSystemMetrics for the screen and frame metrics (SM_CXSCREEN, SM_CYSCREEN,
// SM_CXVSCROLL, SM_CYHSCROLL, SM_CYCAPTION, SM_CXFRAME, SM_CYFRAME, SM_CXICON,
// SM_CYICON, the virtual screen and SM_CMONITORS), as this layer measures
// frames; 0 for others.
int systemMetrics(int index);

Hwnd setFocus(Hwnd hwnd);  // returns the window that had the focus
Hwnd focusWindow();
Hwnd activeWindow();  // the active top-level window
bool setActiveWindow(Hwnd hwnd);
Hwnd setCapture(Hwnd hwnd);
bool releaseCapture();
Hwnd captureWindow();

// Marks the window for repainting (WM_PAINT, served by the toolkit); rect null: all.
bool invalidateRect(Hwnd hwnd, const Rect* rect, bool erase);
bool updateWindow(Hwnd hwnd);  // paints now what is invalid

// ---- Timers

// WM_TIMER with id in wParam after every interval (at least 1 ms); with proc, the
// proc is called instead of the window procedure. Returns the id (a new one for
// hwnd 0), 0 on failure.
uintptr_t setTimer(Hwnd hwnd, uintptr_t id, unsigned intervalMs, TimerProc proc = nullptr);
bool killTimer(Hwnd hwnd, uintptr_t id);

// ---- Keyboard, mouse, sound

// True while the key is held (VK_SHIFT, VK_CONTROL, VK_MENU, mouse buttons and
// others as far as the toolkit reports them).
bool isKeyDown(int virtualKey);
Point cursorPos();
bool setCursorPos(int x, int y);  // false where the platform does not allow it
int showCursor(bool show);        // the display counter of Win32: shown while it is >= 0
void messageBeep(unsigned type);

// Synthetic input into this program's own windows (where no system-wide
// injection exists): a key press or release of a virtual key, with the
// modifiers held (1 Shift, 2 Ctrl, 4 Alt) and the text the key types (UTF-8,
// may be empty; virtual key 0 types the text without a key), delivered to the
// focus window as if typed; a mouse button (1 left, 2 right, 4 middle) pressed
// or released at the cursor position. False when no window can take it.
bool injectKey(int virtualKey, bool down, unsigned modifiers, std::string_view text);
bool injectMouseButton(int button, bool down);

}  // namespace tvx::platform
