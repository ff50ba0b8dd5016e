// The records behind window handles and the interface of the toolkit module.
// Shared by the window layer and its toolkit module only; not a public header.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/window/dialog.h"
#include "platform/window/gdi.h"
#include "platform/window/menu.h"
#include "platform/window/stddialogs.h"
#include "platform/window/window.h"

namespace tvx::platform::detail {

enum class Kind : uint8_t { Generic, Dialog, Button, Edit, Static, ListBox, ComboBox, ScrollBar };

struct ListItem {
    std::string text;
    int64_t data = 0;
    bool selected = false;
};

struct ScrollState {
    int minimum = 0;
    int maximum = 100;
    int position = 0;
    unsigned page = 0;
    int track = 0;       // where the person drags the thumb (all 32 bits)
    bool shown = false;  // a window's own bar (SB_HORZ/SB_VERT)
};

struct MenuItem {
    unsigned flags = 0;  // MF_GRAYED, MF_DISABLED, MF_CHECKED, MF_POPUP, MF_SEPARATOR
    uintptr_t id = 0;    // command id
    Hmenu popup = 0;     // submenu (MF_POPUP)
    std::string text;
};

struct MenuRecord {
    Hmenu handle = 0;
    bool popup = false;
    std::vector<MenuItem> items;
};

struct DialogState {
    DialogProc proc = nullptr;
    int64_t msgResult = 0;
    int64_t user = 0;
    intptr_t result = 0;
    bool modal = false;
    bool ended = false;
    int defaultId = 0;  // DM_SETDEFID; 0: the first default push button, else IDOK
    Hwnd lastFocus = 0;
};

struct Window {
    Hwnd handle = 0;
    Kind kind = Kind::Generic;
    std::string className;  // as registered
    WindowProc classProc = nullptr;
    WindowProc proc = nullptr;
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int id = 0;
    Hwnd parent = 0;
    Hwnd owner = 0;
    std::vector<Hwnd> children;
    std::string text;
    Rect rect;        // window rectangle: parent client coordinates for children, screen otherwise
    Rect normalRect;  // the rectangle of the normal state (kept while minimised or maximised)
    Hmenu systemMenu = 0;
    int64_t userData = 0;
    Hgdiobj font = 0;
    bool destroying = false;
    bool minimized = false;
    bool maximized = false;

    // Control state.
    unsigned check = 0;  // buttons: BST_*
    bool pushed = false;
    int selStart = 0;  // edit selection (bytes)
    int selEnd = 0;
    int limit = 0x7FFFFFFE;  // edit text limit
    bool modified = false;
    std::vector<ListItem> items;  // list and combo boxes
    int current = -1;             // current selection / caret item
    int topIndex = 0;
    bool dropped = false;
    ScrollState scroll;                   // scroll-bar control
    ScrollState horizontal, vertical;     // a window's own bars
    std::unique_ptr<DialogState> dialog;  // dialogs only
    // Set by the default procedure of a control when a forwarded input event reached
    // it: the toolkit then lets the widget handle the event itself.
    bool defaultReached = false;

    // Source editors (the "TolvexSource" class): breakpoint marks, the line a
    // halted macro stands at and the last line clicked in the margin (1-based).
    bool source = false;
    std::vector<int> marks;
    int markedLine = 0;
    int marginLine = 0;

    void* view = nullptr;  // the toolkit's object
};

// What changed in a window's record, for the toolkit to show.
enum SyncBits : unsigned {
    kSyncText = 1u << 0,
    kSyncGeometry = 1u << 1,
    kSyncVisible = 1u << 2,
    kSyncEnabled = 1u << 3,
    kSyncItems = 1u << 4,
    kSyncSelection = 1u << 5,
    kSyncCheck = 1u << 6,
    kSyncScroll = 1u << 7,
    kSyncFocus = 1u << 8,
    kSyncStyle = 1u << 9,
    kSyncColors = 1u << 10,
    kSyncFont = 1u << 11,
    kSyncRepaint = 1u << 12,
    kSyncActivate = 1u << 13,
    kSyncState = 1u << 14,  // minimised / maximised
    kSyncPaintNow = 1u << 15,
    kSyncCapture = 1u << 16,
    kSyncMarks = 1u << 17,  // a source editor's marks or its current line
};

// The state of a device context. The target is a window's client area or a bitmap.
struct DeviceContext {
    Hdc handle = 0;
    Hwnd window = 0;
    Hgdiobj bitmap = 0;  // memory contexts: the selected bitmap
    bool memory = false;
    bool painting = false;  // from beginPaint
    Rect clip;              // client coordinates; empty: no clip
    bool hasClip = false;
    Point origin;    // viewport origin
    Point position;  // current position (moveTo)
    ColorRef textColor = 0;
    ColorRef bkColor = 0xFFFFFF;
    int bkMode = 2;
    int stretchMode = 3;
    Hgdiobj pen = 0;
    Hgdiobj brush = 0;
    Hgdiobj font = 0;
};

struct Surface {
    uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};

enum class ObjectKind : uint8_t { Brush, Pen, Font, Bitmap };
struct GdiObject {
    ObjectKind kind = ObjectKind::Brush;
    bool stock = false;
    ColorRef color = 0;
    int penStyle = 0;
    int penWidth = 1;
    LogFont font;
    int width = 0;  // bitmaps
    int height = 0;
    std::vector<uint32_t> pixels;  // bitmaps: 0x00RRGGBB, top-down
};

// The toolkit module. Every call comes from the user-interface thread, except wake.
class Backend {
public:
    virtual ~Backend() = default;
    virtual bool visibleDisplay() const = 0;
    virtual void created(Window& window) = 0;
    virtual void destroyed(Window& window) = 0;
    virtual void sync(Window& window, unsigned bits) = 0;
    // Serves the toolkit's pending events without waiting.
    virtual void processEvents() = 0;
    // Waits until an event arrives or timeoutMs passes (-1: no limit).
    virtual void waitEvents(int timeoutMs) = 0;
    virtual void wake() = 0;
    virtual bool keyDown(int virtualKey) = 0;
    virtual Point cursorPos() = 0;
    virtual bool setCursorPos(int x, int y) = 0;
    virtual void setCursorVisible(bool visible) = 0;
    virtual void beep() = 0;
    virtual Rect screenRect() = 0;
    // Painting: the backing pixels of a window's client area (0xFFRRGGBB, stride
    // in pixels), and the toolkit's text and shapes on any surface.
    virtual Surface windowSurface(Hwnd hwnd) = 0;
    virtual void surfaceChanged(Hwnd hwnd) = 0;
    virtual bool drawText(const DeviceContext& dc, Surface surface, int x, int y, std::string_view text) = 0;
    virtual bool textExtent(const DeviceContext& dc, std::string_view text, int& width, int& height) = 0;
    // shape 0 a line from dc.position to (rect.right, rect.bottom), 1 a rectangle, 2 an ellipse.
    virtual bool drawShape(const DeviceContext& dc, Surface surface, int shape, const Rect& rect) = 0;
    virtual StandardAnswer messageBox(Hwnd owner, std::string_view text, std::string_view caption,
                                      unsigned style) = 0;
    virtual FileChooserResult fileChooser(const FileChooserRequest& request) = 0;
    // Shows the menu at the screen point until the person chooses (the id) or
    // dismisses it (0), serving the message queue meanwhile.
    virtual int popupMenu(Hmenu menu, Point screen, Hwnd owner) = 0;
    virtual std::vector<MonitorInfo> monitors() = 0;
    // The desktop's clipboard as text (ANSI bytes in, ANSI bytes out).
    virtual bool setClipboardText(std::string_view text) = 0;
    virtual std::string clipboardText() = 0;
    // Synthetic input delivered through the toolkit, as if typed or clicked
    // (see injectKey in window.h); false when no widget can take it.
    virtual bool injectKey(int virtualKey, bool down, unsigned modifiers, std::string_view text) {
        (void)virtualKey, (void)down, (void)modifiers, (void)text;
        return false;
    }
    virtual bool injectMouseButton(int button, bool down) {
        (void)button, (void)down;
        return false;
    }
};

// ---- Used by the toolkit module (implemented in the window layer)

// Frame widths a top-level window's style gives it (left, top, right, bottom):
// the window rectangle is the client area plus these.
Rect frameMargins(uint32_t style, uint32_t exStyle);
// Thickness of a window's own scroll bars.
constexpr int kScrollBarSize = 17;
// The client area of a window in its window rectangle's coordinates.
Rect clientArea(const Window& window);
// Text of messages: the string at a probed address (false when unreadable).
bool readMessageText(LParam address, std::string& out, size_t maxLength = 1u << 20);
// Copies text into a probed buffer of size bytes with a NUL; returns the
// characters copied, -1 when the buffer cannot be written.
long writeMessageText(LParam address, size_t size, std::string_view text);
// Sends WM_COMMAND with a notification to the control's parent.
void notifyParent(Window& control, unsigned code);
void syncView(Window& window, unsigned bits);
// The object behind a GDI handle (null when none).
const GdiObject* gdiObject(Hgdiobj handle);

Window* find(Hwnd hwnd);
Backend* backend();
// Modal loops of standard dialogs: serve the queue while a dialog is up.
void runNestedLoop(bool (*done)(void*), void* context);

// User input that the toolkit turned into the records' terms.
void userClicked(Hwnd button);                              // a push button, check box or radio button
void userEditedText(Hwnd edit, const std::string& text);    // edits and the edit of a combo box
void userSelectedText(Hwnd edit, int start, int end);       // an edit's selection (bytes of its text)
void userSelected(Hwnd list, int index, bool doubleClick);  // list or combo box
void userSelectionSet(Hwnd list, const std::vector<int>& selected);  // multiple-selection list
void userScrolled(Hwnd hwnd, int bar, unsigned code, int position);
void userFocused(Hwnd hwnd);
void userActivated(Hwnd topLevel, bool active);
void userMovedWindow(Hwnd hwnd, const Rect& rect);  // a top-level window moved or resized
void userClosed(Hwnd hwnd);                         // the frame's close button
void userDropDown(Hwnd combo, bool dropped);
// The person minimised, maximised or restored a top-level window through its frame.
void userChangedState(Hwnd hwnd, bool minimized, bool maximized);
// Input for windows of the generic classes goes to the queue.
void postInput(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam);
// Offers an input message to a window whose procedure was replaced; true when the
// replacement kept it (the widget must then not handle the event).
bool offerInput(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam);
// Paints a window: sends WM_PAINT for the rectangle (client coordinates).
void paint(Hwnd hwnd, const Rect& rect);
// The colours a control's parent chose for it (WM_CTLCOLOR...): false when none.
struct ControlColors {
    bool hasText = false;
    ColorRef text = 0;
    bool hasBackground = false;
    ColorRef background = 0;
};
ControlColors controlColors(Hwnd hwnd);

// Menus: the record behind a handle (null when none); a window's menus go with it.
const MenuRecord* menuRecord(Hmenu menu);
void windowMenusDestroyed(Window& window);
// The tracking sizes a window keeps to (WM_GETMINMAXINFO); false when the window
// is not kept to them (children, popups without a sizing frame).
bool trackingLimits(Hwnd hwnd, Point& minimum, Point& maximum);

}  // namespace tvx::platform::detail

// The toolkit module exports this factory (C linkage, found with dlsym).
extern "C" tvx::platform::detail::Backend* tvxCreateWindowBackend(bool headless);
