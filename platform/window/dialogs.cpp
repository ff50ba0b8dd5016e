// Dialog windows: creation from templates, the default dialog procedure, modal
// loops, and the dialog manager's keyboard rules.
#include <algorithm>

#include "platform/window/internal.h"

namespace tvx::platform {

using namespace win;
using detail::Kind;
using detail::Window;

namespace {

std::vector<Hwnd>& modalStack() {
    static std::vector<Hwnd> stack;
    return stack;
}

Window* dialogRecord(Hwnd hwnd) {
    Window* w = detail::find(hwnd);
    return w && w->dialog ? w : nullptr;
}

bool returnsDirectly(unsigned message) {
    return message == WM_INITDIALOG || (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC);
}

bool isPushButton(const Window* w) {
    return w && w->kind == Kind::Button && (w->style & BS_TYPEMASK) <= BS_DEFPUSHBUTTON;
}

bool canFocus(const Window* w) {
    return w && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED) && w->kind != Kind::Static &&
           !(w->kind == Kind::Button && (w->style & BS_TYPEMASK) == BS_GROUPBOX);
}

// The next (or previous) control with WS_TABSTOP after from, wrapping.
Hwnd nextTabItem(Hwnd dialog, Hwnd from, bool previous) {
    Window* d = detail::find(dialog);
    if (!d || d->children.empty()) return 0;
    const auto& list = d->children;
    size_t n = list.size();
    auto it = std::find(list.begin(), list.end(), from);
    size_t start = it == list.end() ? (previous ? 0 : n - 1) : static_cast<size_t>(it - list.begin());
    for (size_t k = 1; k <= n; ++k) {
        size_t i = previous ? (start + n - k) % n : (start + k) % n;
        Window* c = detail::find(list[i]);
        if (canFocus(c) && (c->style & WS_TABSTOP)) return list[i];
    }
    return 0;
}

Hwnd firstTabItem(Hwnd dialog) {
    Window* d = detail::find(dialog);
    if (!d) return 0;
    for (Hwnd h : d->children)
        if (Window* c = detail::find(h); canFocus(c) && (c->style & WS_TABSTOP)) return h;
    for (Hwnd h : d->children)
        if (canFocus(detail::find(h))) return h;
    return 0;
}

int defaultButtonId(Window& dialog) {
    if (dialog.dialog->defaultId) return dialog.dialog->defaultId;
    for (Hwnd h : dialog.children) {
        Window* c = detail::find(h);
        if (c && c->kind == Kind::Button && (c->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) return c->id;
    }
    return 0;
}

void restoreFocus(Window& dialog) {
    Hwnd target = dialog.dialog->lastFocus;
    if (!canFocus(detail::find(target)) || !isChild(dialog.handle, target))
        target = firstTabItem(dialog.handle);
    if (target && focusWindow() != target) setFocus(target);
}

Hwnd buildDialog(const DialogTemplate& t, Hwnd owner, DialogProc proc, LParam initParam, bool modal) {
    bool visible = (t.style & WS_VISIBLE) != 0 || modal;
    uint32_t style = (t.style & ~(WS_VISIBLE | WS_CHILD)) | WS_POPUP;
    if (t.style & WS_CHILD) style = t.style & ~WS_VISIBLE;
    Rect margins = detail::frameMargins(style, t.exStyle);
    int width = std::max(0, dialogUnitsToPixelsX(t.cx)) + margins.left + margins.right;
    int height = std::max(0, dialogUnitsToPixelsY(t.cy)) + margins.top + margins.bottom;
    Point origin{dialogUnitsToPixelsX(t.x), dialogUnitsToPixelsY(t.y)};
    if (owner && !(style & WS_CHILD)) origin = clientToScreen(topLevelOf(owner), origin);
    if (t.style & DS_CENTER) {
        Rect screen = screenRect();
        origin = {screen.left + (screen.width() - width) / 2, screen.top + (screen.height() - height) / 2};
    }
    Hwnd dialog =
        createWindow("#32770", t.title, style, t.exStyle, origin.x, origin.y, width, height, owner, 0, 0);
    Window* d = dialogRecord(dialog);
    if (!d) return 0;
    d->dialog->proc = proc;
    d->dialog->modal = modal;

    Hgdiobj font = 0;
    if ((t.style & DS_SETFONT) && !t.faceName.empty()) {
        LogFont lf;
        // A negative size (as 16 bits) is a character height in pixels, as a
        // logical font's negative height is; read as points it would be huge.
        int points = static_cast<int16_t>(t.pointSize);
        if (points == 0) points = 8;
        lf.height = points < 0 ? points : -(points * 96 + 36) / 72;
        std::string face = t.faceName.substr(0, 31);
        std::copy(face.begin(), face.end(), lf.faceName);
        font = createFontIndirect(lf);
        d->font = font;
    }
    for (const DialogItem& item : t.items) {
        const void* data = item.creationData.empty() ? nullptr : item.creationData.data();
        std::string text = item.textOrdinal >= 0 ? std::string() : item.text;
        Hwnd control = createWindow(item.className, text, item.style | WS_CHILD, item.exStyle,
                                    dialogUnitsToPixelsX(item.x), dialogUnitsToPixelsY(item.y),
                                    std::max(0, dialogUnitsToPixelsX(item.cx)),
                                    std::max(0, dialogUnitsToPixelsY(item.cy)), dialog, item.id,
                                    static_cast<LParam>(reinterpret_cast<intptr_t>(data)));
        if (!isWindow(dialog)) return 0;
        if (control && font) sendMessage(control, WM_SETFONT, font, 0);
    }
    Hwnd first = firstTabItem(dialog);
    LResult focusDefault = sendMessage(dialog, WM_INITDIALOG, first, initParam);
    if (!isWindow(dialog)) return 0;
    if (visible && !(dialogRecord(dialog)->style & WS_VISIBLE)) showWindow(dialog, SW_SHOWNORMAL);
    if (focusDefault && isWindow(dialog)) {
        Hwnd target = firstTabItem(dialog);
        if (target) setFocus(target);
    }
    return isWindow(dialog) ? dialog : 0;
}

struct ModalRun {
    Hwnd dialog;
};

bool modalDone(void* context) {
    auto* run = static_cast<ModalRun*>(context);
    Window* d = dialogRecord(run->dialog);
    return !d || d->dialog->ended;
}

intptr_t runModal(const DialogTemplate& t, Hwnd owner, DialogProc proc, LParam initParam) {
    Hwnd ownerTop = topLevelOf(owner);
    bool reenable = ownerTop && isWindowEnabled(ownerTop);
    Hwnd dialog = buildDialog(t, owner, proc, initParam, true);
    if (!dialog) return -1;
    if (reenable) enableWindow(ownerTop, false);
    modalStack().push_back(dialog);
    ModalRun run{dialog};
    detail::runNestedLoop(modalDone, &run);
    intptr_t result = 0;
    if (Window* d = dialogRecord(dialog)) result = d->dialog->ended ? d->dialog->result : 0;
    auto& stack = modalStack();
    stack.erase(std::remove(stack.begin(), stack.end(), dialog), stack.end());
    if (reenable && isWindow(ownerTop)) {
        enableWindow(ownerTop, true);
        setActiveWindow(ownerTop);
    }
    if (isWindow(dialog)) destroyWindow(dialog);
    return result;
}

}  // namespace

namespace detail {

LResult dialogClassProc(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam) {
    Window* w = dialogRecord(hwnd);
    if (!w) return defWindowProc(hwnd, message, wParam, lParam);
    if (DialogProc proc = w->dialog->proc) {
        w->dialog->msgResult = 0;
        intptr_t handled = proc(hwnd, message, wParam, lParam);
        w = dialogRecord(hwnd);
        if (!w) return 0;
        if (handled) return returnsDirectly(message) ? handled : w->dialog->msgResult;
    }
    switch (message) {
    case WM_INITDIALOG: return 1;
    case WM_CLOSE: postMessage(hwnd, WM_COMMAND, makeWParam(IDCANCEL, BN_CLICKED), 0); return 0;
    case DM_GETDEFID: {
        int id = defaultButtonId(*w);
        return id ? static_cast<LResult>(makeWParam(static_cast<unsigned>(id), DC_HASDEFID)) : 0;
    }
    case DM_SETDEFID: {
        int old = defaultButtonId(*w);
        w->dialog->defaultId = static_cast<int>(wParam);
        for (Hwnd h : w->children) {
            Window* c = find(h);
            if (!isPushButton(c)) continue;
            uint32_t type = c->id == static_cast<int>(wParam) ? BS_DEFPUSHBUTTON
                            : c->id == old                    ? BS_PUSHBUTTON
                                                              : (c->style & BS_TYPEMASK);
            if ((c->style & BS_TYPEMASK) != type) sendMessage(h, BM_SETSTYLE, type, 1);
        }
        return 1;
    }
    case WM_ACTIVATE:
        if (loWord(wParam) != WA_INACTIVE) restoreFocus(*w);
        return 0;
    case WM_SETFOCUS: restoreFocus(*w); return 0;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: return 0;
    default: return defWindowProc(hwnd, message, wParam, lParam);
    }
}

void dialogDestroyed(Window& window) {
    window.dialog->ended = true;
    auto& stack = modalStack();
    (void)stack;
}

}  // namespace detail

Hwnd createDialogIndirect(std::span<const uint8_t> bytes, Hwnd owner, DialogProc proc, LParam initParam) {
    DialogTemplate t;
    std::string error;
    if (!parseDialogTemplate(bytes, t, error)) return 0;
    return createDialog(t, owner, proc, initParam);
}

Hwnd createDialog(const DialogTemplate& dialog, Hwnd owner, DialogProc proc, LParam initParam) {
    return buildDialog(dialog, owner, proc, initParam, false);
}

intptr_t dialogBoxIndirect(std::span<const uint8_t> bytes, Hwnd owner, DialogProc proc, LParam initParam) {
    DialogTemplate t;
    std::string error;
    if (!parseDialogTemplate(bytes, t, error)) return -1;
    return runModal(t, owner, proc, initParam);
}

intptr_t dialogBox(const DialogTemplate& dialog, Hwnd owner, DialogProc proc, LParam initParam) {
    return runModal(dialog, owner, proc, initParam);
}

bool endDialog(Hwnd dialog, intptr_t result) {
    Window* d = dialogRecord(dialog);
    if (!d) return false;
    d->dialog->ended = true;
    d->dialog->result = result;
    if (d->style & WS_VISIBLE) showWindow(dialog, SW_HIDE);
    return true;
}

bool isDialog(Hwnd hwnd) { return dialogRecord(hwnd) != nullptr; }

std::vector<Hwnd> modalDialogs() { return modalStack(); }

bool isDialogMessage(Hwnd dialog, const Msg& msg) {
    Window* d = dialogRecord(dialog);
    if (!d || !msg.hwnd || (msg.hwnd != dialog && !isChild(dialog, msg.hwnd))) return false;
    if (msg.message == WM_CHAR) {
        unsigned c = static_cast<unsigned>(msg.wParam);
        return c == '\r' || c == 27 || c == '\t';
    }
    if (msg.message != WM_KEYDOWN) return false;
    switch (static_cast<int>(msg.wParam)) {
    case VK_RETURN: {
        Hwnd focus = focusWindow();
        Window* f = detail::find(focus);
        if (f && isChild(dialog, focus) && isPushButton(f)) {
            sendMessage(dialog, WM_COMMAND, makeWParam(static_cast<unsigned>(f->id), BN_CLICKED), 0);
            return true;
        }
        LResult def = sendMessage(dialog, DM_GETDEFID, 0, 0);
        int id = hiWord(static_cast<uint64_t>(def)) == DC_HASDEFID
                     ? static_cast<int>(loWord(static_cast<uint64_t>(def)))
                     : IDOK;
        Hwnd button = dialogItem(dialog, id);
        if (!button || isWindowEnabled(button))
            sendMessage(dialog, WM_COMMAND, makeWParam(static_cast<unsigned>(id), BN_CLICKED), 0);
        return true;
    }
    case VK_ESCAPE: sendMessage(dialog, WM_COMMAND, makeWParam(IDCANCEL, BN_CLICKED), 0); return true;
    case VK_TAB: {
        bool back = isKeyDown(VK_SHIFT) || (msg.lParam & 1);
        Hwnd next = nextTabItem(dialog, focusWindow(), back);
        if (next) setFocus(next);
        return true;
    }
    default: return false;
    }
}

// ---- Helpers

bool setDialogItemText(Hwnd dialog, int id, std::string_view text) {
    Hwnd item = dialogItem(dialog, id);
    return item && setWindowText(item, text);
}

std::string dialogItemText(Hwnd dialog, int id) { return windowText(dialogItem(dialog, id)); }

LResult sendDialogItemMessage(Hwnd dialog, int id, unsigned message, WParam wParam, LParam lParam) {
    Hwnd item = dialogItem(dialog, id);
    return item ? sendMessage(item, message, wParam, lParam) : 0;
}

bool checkDialogButton(Hwnd dialog, int id, unsigned state) {
    Hwnd item = dialogItem(dialog, id);
    if (!item) return false;
    sendMessage(item, BM_SETCHECK, state, 0);
    return true;
}

unsigned isDialogButtonChecked(Hwnd dialog, int id) {
    return static_cast<unsigned>(sendDialogItemMessage(dialog, id, BM_GETCHECK, 0, 0));
}

bool checkRadioButton(Hwnd dialog, int firstId, int lastId, int checkId) {
    if (firstId > lastId) std::swap(firstId, lastId);
    bool found = false;
    for (int id = firstId; id <= lastId; ++id) {
        Hwnd item = dialogItem(dialog, id);
        if (!item) continue;
        sendMessage(item, BM_SETCHECK, id == checkId ? BST_CHECKED : BST_UNCHECKED, 0);
        found = found || id == checkId;
    }
    return found;
}

}  // namespace tvx::platform
