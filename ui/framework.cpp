#include "ui/framework.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include "interp/api.h"
#include "platform/clock.h"
#include "platform/window/stddialogs.h"

namespace tvx::ui {

using namespace platform;
using namespace platform::win;

namespace {

struct FrameworkState {
    std::map<int, ClassHandler> handlers;
    std::vector<DialogContext*> registered;  // contexts of live framework windows
    std::vector<Hwnd> modeless;
    std::function<int(std::string_view, std::string_view, unsigned)> box;
    // Colours.
    ColorRef current = kClrInvalid;
    Hgdiobj brush = 0;
    ColorRef configured = 0xF0F0F0;
    RelativeMouse mouse;
};

FrameworkState& fw() {
    static FrameworkState* s = new FrameworkState;
    return *s;
}

int showBox(std::string_view text, std::string_view caption, unsigned style) {
    if (fw().box) return fw().box(text, caption, style);
    return messageBoxDialog(activeWindow(), text, caption, style).button;
}

void overflowBox(int index, int count) {
    char text[64];
    std::snprintf(text, sizeof text, "Array overflow !  (%d/%d)", index, count);
    showBox(text, "", 0x10);
}

bool in(int id, int first, int last) { return id >= first && id <= last; }

// Fixed-size radio groups: 9820 + 10k holds groups of k + 2 buttons.
void fixedRadioGroup(int id, int& first, int& last) {
    int k = (id - kIdRadioFixedFirst) / 10;
    int base = kIdRadioFixedFirst + 10 * k;
    int size = k + 2;
    first = base + ((id - base) / size) * size;
    last = std::min(first + size - 1, base + 9);
}

struct RadioGroup {
    int first = 0;
    int last = 0;
};

// The radio groups of a dialog, in id order.
std::vector<RadioGroup> radioGroups(const std::vector<int>& ids) {
    std::vector<int> sorted;
    for (int id : ids)
        if (in(id, kIdRadioFixedFirst, kIdRadioRunLast)) sorted.push_back(id);
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    std::vector<RadioGroup> groups;
    for (size_t i = 0; i < sorted.size(); ++i) {
        int id = sorted[i];
        if (id <= kIdRadioFixedLast) {
            int first, last;
            fixedRadioGroup(id, first, last);
            if (groups.empty() || groups.back().first != first) groups.push_back({first, last});
        } else if (!groups.empty() && groups.back().first >= kIdRadioRunFirst &&
                   groups.back().last + 1 == id) {
            groups.back().last = id;  // a run of consecutive ids is one group
        } else {
            groups.push_back({id, id});
        }
    }
    return groups;
}

int groupOf(const std::vector<RadioGroup>& groups, int id) {
    for (size_t g = 0; g < groups.size(); ++g)
        if (id >= groups[g].first && id <= groups[g].last) return static_cast<int>(g);
    return -1;
}

std::vector<int> childIds(Hwnd dialog) {
    std::vector<int> ids;
    for (Hwnd child : childrenOf(dialog)) ids.push_back(controlId(child));
    return ids;
}

// The framework's number parsing: up to 31 characters, read as a number (what
// does not read as one counts 0).
double parseNumber(std::string text) {
    if (text.size() > 31) text.resize(31);
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\t') ++p;
    char* end = nullptr;
    double v = std::strtod(p, &end);
    if (end == p || !std::isfinite(v)) return 0;
    return v;
}

int32_t toInteger(double v) {
    double r = v < 0 ? -std::floor(-v + 0.5) : std::floor(v + 0.5);
    return static_cast<int32_t>(std::clamp(r, -2147483648.0, 2147483647.0));
}

std::string formatReal(double v) { return interp::Interpreter::formatNumber(v); }

// Runs the class handler with the context's busy flag set.
int callHandler(DialogContext& ctx, int kind) {
    auto it = fw().handlers.find(ctx.classNumber);
    ctx.eventKind = kind;
    if (it == fw().handlers.end()) return 0;
    uint16_t before = ctx.flags;
    ctx.flags |= kContextBusy;
    int result = it->second(ctx);
    ctx.flags = static_cast<uint16_t>((ctx.flags & ~kContextBusy) | (before & kContextBusy));
    return result;
}

class Busy {
public:
    explicit Busy(DialogContext& ctx) : ctx_(ctx), before_(ctx.flags) { ctx.flags |= kContextBusy; }
    ~Busy() { ctx_.flags = static_cast<uint16_t>((ctx_.flags & ~kContextBusy) | (before_ & kContextBusy)); }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    DialogContext& ctx_;
    uint16_t before_;
};

bool readScrollText(DialogContext& ctx, int barId) {
    if (ctx.lastScrollBar == barId) return true;
    DialogContext::ScrollText st;
    if (!parseScrollText(dialogItemText(ctx.hwnd, barId), st)) st = DialogContext::ScrollText{};
    ctx.scrollText = st;
    ctx.lastScrollBar = barId;
    return true;
}

// The bar paired with an edit: integer edits id + 100, real edits id + 200.
int pairedBar(int editId) {
    if (in(editId, kIdIntEditFirst, kIdIntEditLast)) return editId + 100;
    if (in(editId, kIdRealEditFirst, kIdRealEditLast)) return editId + 200;
    return 0;
}

void moveBarTo(DialogContext& ctx, int barId, double value) {
    Hwnd bar = dialogItem(ctx.hwnd, barId);
    if (!bar) return;
    readScrollText(ctx, barId);
    double step = ctx.scrollText.step == 0 ? 1 : ctx.scrollText.step;
    setScrollPos(bar, SB_CTL, static_cast<int>(std::lround(value / step)));
}

void report(DialogContext& ctx, int groupBase, int index, double newValue, double oldValue) {
    ControlEvent& e = ctx.block().event;
    e.groupBase = groupBase;
    e.index = index;
    e.newValue = newValue;
    e.oldValue = oldValue;
}

// Commits the edit being typed in; true when it made an event.
bool commitTyping(DialogContext& ctx) {
    int id = ctx.typingEdit;
    if (!id) return false;
    ctx.typingEdit = 0;
    ControlData& data = ctx.block();
    double value = parseNumber(dialogItemText(ctx.hwnd, id));
    if (in(id, kIdIntEditFirst, kIdIntEditLast)) {
        int index = id - kIdIntEditFirst;
        int32_t old = 0;
        if (!data.integer(index, old)) return false;
        int32_t now = toInteger(value);
        data.setInteger(index, now);
        {
            Busy busy(ctx);
            moveBarTo(ctx, pairedBar(id), now);
        }
        report(ctx, kIdIntEditFirst, index, now, old);
        return true;
    }
    int index = id - kIdRealEditFirst;
    double old = 0;
    if (!data.real(index, old)) return false;
    data.setReal(index, value);
    {
        Busy busy(ctx);
        moveBarTo(ctx, pairedBar(id), value);
    }
    report(ctx, kIdRealEditFirst, index, value, old);
    return true;
}

// The framework's command handling; true when a control event came of it.
// closeRequested is set for OK, Cancel and id 0 when they close the dialog.
bool handleCommand(DialogContext& ctx, WParam wParam, LParam lParam, bool& closeRequested) {
    closeRequested = false;
    int id = static_cast<int>(loWord(wParam));
    unsigned code = hiWord(wParam);
    ControlData& data = ctx.block();
    if (id == kIdResetEvent) {
        data.event = ControlEvent{};
        return false;
    }
    bool isEdit = in(id, kIdIntEditFirst, kIdIntEditLast) || in(id, kIdRealEditFirst, kIdRealEditLast);
    bool committed = false;
    if (ctx.typingEdit && (id != ctx.typingEdit || (code != EN_CHANGE && code != EN_UPDATE)))
        committed = commitTyping(ctx);

    if (id == IDOK) {
        if (committed && lParam == 0) return true;  // Enter after typing: commit only
        Hwnd ok = dialogItem(ctx.hwnd, IDOK);
        if (ok && focusWindow() != ok) {
            setFocus(ok);
            return committed;
        }
        closeRequested = true;
        return committed;
    }
    if (id == IDCANCEL || id == 0) {
        closeRequested = true;
        return committed;
    }
    if (in(id, kIdPushFirst, kIdPushLast) && code == BN_CLICKED) {
        int number = id - 6999;
        data.event.button = number;
        report(ctx, kIdPushFirst, number - 1, number, 0);
        return true;
    }
    if (in(id, kIdCheckFirst, kIdCheckLast) && code == BN_CLICKED) {
        int index = id - kIdCheckFirst;
        uint8_t old = 0;
        if (!data.check(index, old)) return committed;
        uint8_t now = old ? 0 : 1;
        data.setCheck(index, now);
        {
            Busy busy(ctx);
            checkDialogButton(ctx.hwnd, id, now);
        }
        report(ctx, kIdCheckFirst, index, now, old);
        return true;
    }
    if (isEdit) {
        if (code == EN_SETFOCUS) {
            int base = id >= kIdIntEditFirst ? kIdIntEditFirst : kIdRealEditFirst;
            data.event.groupBase = base;
            data.event.index = id - base;
        } else if (code == EN_CHANGE && !(ctx.flags & kContextBusy)) {
            ctx.typingEdit = id;
        }
        return committed;  // EN_KILLFOCUS reports through the commit above
    }
    if (in(id, kIdTextComboFirst, kIdTextComboLast)) {
        int index = id - kIdTextComboFirst;
        Hwnd combo = dialogItem(ctx.hwnd, id);
        bool hasText = combo && (getWindowLong(combo, GWL_STYLE) & CBS_TYPEMASK) != CBS_DROPDOWNLIST;
        uint8_t old = 0;
        bool oldHasText = false;
        std::string oldText;
        if (!data.combo(index, old, oldHasText, oldText)) return committed;
        if (code == CBN_SELCHANGE) {
            int selected = static_cast<int>(sendMessage(combo, CB_GETCURSEL, 0, 0));
            data.setCombo(index, static_cast<uint8_t>(selected < 0 ? 0xFF : selected));
            if (hasText) data.setComboText(index, windowText(combo).substr(0, 15));
            report(ctx, kIdTextComboFirst, index, selected, old);
            return true;
        }
        if (code == CBN_KILLFOCUS) {
            std::string typed = windowText(combo);
            LResult found = sendMessage(combo, CB_FINDSTRING, static_cast<WParam>(-1),
                                        static_cast<LParam>(reinterpret_cast<intptr_t>(typed.c_str())));
            Busy busy(ctx);
            if (found >= 0) {
                sendMessage(combo, CB_SETCURSEL, static_cast<WParam>(found), 0);
                data.setCombo(index, static_cast<uint8_t>(found));
                report(ctx, kIdTextComboFirst, index, static_cast<double>(found), old);
                return true;
            }
            if (hasText) {
                data.setComboText(index, typed.substr(0, 15));
                return committed;
            }
            setWindowText(combo, "Error");
            return committed;
        }
        if (code == CBN_ERRSPACE) showBox("CB Out of Space", "CB MSG", 0);
        return committed;
    }
    if (in(id, kIdRadioFixedFirst, kIdRadioRunLast) && code == BN_CLICKED) {
        std::vector<RadioGroup> groups = radioGroups(childIds(ctx.hwnd));
        int g = groupOf(groups, id);
        if (g < 0) return committed;
        uint8_t old = 0;
        uint16_t first = 0, last = 0;
        if (!data.radio(g, old, first, last)) return committed;
        {
            Busy busy(ctx);
            checkRadioButton(ctx.hwnd, groups[static_cast<size_t>(g)].first,
                             groups[static_cast<size_t>(g)].last, id);
        }
        uint8_t now = static_cast<uint8_t>(id - groups[static_cast<size_t>(g)].first);
        data.setRadio(g, now);
        report(ctx, kIdRadioFixedFirst, g, now, old);
        return true;
    }
    if (in(id, kIdCrossFirst, kIdCrossLast)) {
        // A joystick cross posts its commands here: the drag runs in relative mouse mode.
        readScrollText(ctx, id);
        if ((ctx.scrollText.flags & 0x0A) == 0x0A && !fw().mouse.active) {
            int pair = id & ~1;
            DialogContext::ScrollText x, y;
            parseScrollText(dialogItemText(ctx.hwnd, pair), x);
            parseScrollText(dialogItemText(ctx.hwnd, pair + 1), y);
            beginRelativeMouse(ctx.hwnd, static_cast<int>(x.minimum), static_cast<int>(x.maximum),
                               static_cast<int>(y.minimum), static_cast<int>(y.maximum));
        }
        return committed;
    }
    return committed;
}

// The framework's scroll handling; true when a control event came of it.
bool handleScroll(DialogContext& ctx, WParam wParam, LParam lParam) {
    Hwnd bar = static_cast<Hwnd>(lParam);
    int id = controlId(bar);
    bool integerBar = in(id, kIdIntScrollFirst, kIdIntScrollLast);
    bool realBar = in(id, kIdRealScrollFirst, kIdRealScrollLast);
    bool cross = in(id, kIdCrossFirst, kIdCrossLast);
    if (!integerBar && !realBar && !cross) return false;
    readScrollText(ctx, id);
    const DialogContext::ScrollText& st = ctx.scrollText;
    double step = st.step == 0 ? 1 : st.step;
    unsigned code = loWord(wParam);
    if (cross && (st.flags & 0x02)) {
        postMessage(ctx.hwnd, WM_COMMAND, makeWParam(static_cast<unsigned>(id), code), lParam);
        return false;
    }
    int old = scrollPos(bar, SB_CTL);
    long pos = old;
    switch (code) {
    case SB_LINELEFT: pos -= 1; break;
    case SB_LINERIGHT: pos += 1; break;
    case SB_PAGELEFT: pos -= st.page; break;
    case SB_PAGERIGHT: pos += st.page; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: pos = static_cast<int16_t>(hiWord(wParam)); break;
    case SB_TOP: pos = st.minimum; break;
    case SB_BOTTOM: pos = st.maximum; break;
    default: break;
    }
    long low = std::min(st.minimum, st.maximum), high = std::max(st.minimum, st.maximum);
    pos = std::clamp(pos, low, high);
    ControlData& data = ctx.block();
    int group = integerBar ? kIdIntEditFirst : realBar ? kIdRealEditFirst : kIdCrossFirst;
    int index = integerBar ? id - kIdIntScrollFirst : realBar ? id - kIdRealScrollFirst : id - kIdCrossFirst;
    double oldValue = 0, newValue = 0;
    if (integerBar) {
        int32_t v = 0;
        if (!data.integer(index, v)) return false;
        oldValue = v;
    } else if (realBar) {
        if (!data.real(index, oldValue)) return false;
    } else {
        int32_t v = 0;
        if (!data.crossValue(index, v)) return false;
        oldValue = v;
    }
    if (code == SB_ENDSCROLL || pos == old) {
        report(ctx, group, index, oldValue, oldValue);
        return code == SB_ENDSCROLL;
    }
    Busy busy(ctx);
    setScrollPos(bar, SB_CTL, static_cast<int>(pos));
    newValue = static_cast<double>(pos) * step;
    int edit = integerBar ? id - 100 : realBar ? id - 200 : 0;
    if (integerBar) {
        int32_t v = toInteger(newValue);
        data.setInteger(index, v);
        newValue = v;
        setDialogItemText(ctx.hwnd, edit, std::to_string(v));
    } else if (realBar) {
        data.setReal(index, newValue);
        setDialogItemText(ctx.hwnd, edit, formatReal(newValue));
    } else {
        data.setCrossValue(index, toInteger(newValue));
    }
    if (ctx.typingEdit == edit) ctx.typingEdit = 0;
    report(ctx, group, index, newValue, oldValue);
    return true;
}

// Builds the block for the controls that exist; new values are read from the
// controls (or cleared).
void buildBlock(DialogContext& ctx) {
    ControlData& data = ctx.block();
    std::vector<int> ids = childIds(ctx.hwnd);
    bool fresh = data.layout(ids);
    if (data.reservedBytes() != data.layoutBytes()) {
        char text[64];
        std::snprintf(text, sizeof text, "Internal Error: PSBuffer Conflict (%d)",
                      static_cast<int>(data.reservedBytes()));
        showBox(text, "", 0x10);
    }
    std::vector<RadioGroup> groups = radioGroups(ids);
    for (size_t g = 0; g < groups.size() && static_cast<int>(g) < data.radioGroupCount(); ++g)
        data.setRadioRange(static_cast<int>(g), static_cast<uint16_t>(groups[g].first),
                           static_cast<uint16_t>(groups[g].last));
    data.flags |= kBlockInitialising;
    if (!fresh) return;
    data.flags |= kBlockCreated;
    if (data.flags & kBlockClearOnCreate) return;
    for (int id : ids) {
        if (in(id, kIdIntEditFirst, kIdIntEditLast) && id - kIdIntEditFirst < data.integerCount()) {
            data.setInteger(id - kIdIntEditFirst, toInteger(parseNumber(dialogItemText(ctx.hwnd, id))));
        } else if (in(id, kIdRealEditFirst, kIdRealEditLast) && id - kIdRealEditFirst < data.realCount()) {
            data.setReal(id - kIdRealEditFirst, parseNumber(dialogItemText(ctx.hwnd, id)));
        } else if (in(id, kIdCheckFirst, kIdCheckLast) && id - kIdCheckFirst < data.checkCount()) {
            data.setCheck(id - kIdCheckFirst, isDialogButtonChecked(ctx.hwnd, id) ? 1 : 0);
        } else if (in(id, kIdTextComboFirst, kIdTextComboLast) &&
                   id - kIdTextComboFirst < data.comboCount()) {
            LResult sel = sendDialogItemMessage(ctx.hwnd, id, CB_GETCURSEL, 0, 0);
            data.setCombo(id - kIdTextComboFirst, sel < 0 ? 0xFF : static_cast<uint8_t>(sel));
        }
    }
    for (size_t g = 0; g < groups.size() && static_cast<int>(g) < data.radioGroupCount(); ++g) {
        int size = groups[g].last - groups[g].first + 1;
        for (int k = 0; k < size; ++k)
            if (isDialogButtonChecked(ctx.hwnd, groups[g].first + k))
                data.setRadio(static_cast<int>(g), static_cast<uint8_t>(k));
    }
}

// Puts the block's values into the controls.
void loadControls(DialogContext& ctx) {
    ControlData& data = ctx.block();
    std::vector<int> ids = childIds(ctx.hwnd);
    Busy busy(ctx);
    for (int id : ids) {
        if (in(id, kIdIntEditFirst, kIdIntEditLast)) {
            int32_t v = 0;
            if (id - kIdIntEditFirst >= data.integerCount() || !data.integer(id - kIdIntEditFirst, v))
                continue;
            setDialogItemText(ctx.hwnd, id, std::to_string(v));
            moveBarTo(ctx, pairedBar(id), v);
        } else if (in(id, kIdRealEditFirst, kIdRealEditLast)) {
            double v = 0;
            if (id - kIdRealEditFirst >= data.realCount() || !data.real(id - kIdRealEditFirst, v)) continue;
            setDialogItemText(ctx.hwnd, id, formatReal(v));
            moveBarTo(ctx, pairedBar(id), v);
        } else if (in(id, kIdCheckFirst, kIdCheckLast)) {
            uint8_t v = 0;
            if (id - kIdCheckFirst >= data.checkCount() || !data.check(id - kIdCheckFirst, v)) continue;
            checkDialogButton(ctx.hwnd, id, v);
        } else if (in(id, kIdTextComboFirst, kIdTextComboLast)) {
            uint8_t sel = 0;
            bool hasText = false;
            std::string text;
            if (id - kIdTextComboFirst >= data.comboCount() ||
                !data.combo(id - kIdTextComboFirst, sel, hasText, text))
                continue;
            Hwnd combo = dialogItem(ctx.hwnd, id);
            if (hasText)
                setWindowText(combo, text);
            else
                sendMessage(combo, CB_SETCURSEL, sel == 0xFF ? static_cast<WParam>(-1) : sel, 0);
        }
    }
    std::vector<RadioGroup> groups = radioGroups(ids);
    for (size_t g = 0; g < groups.size() && static_cast<int>(g) < data.radioGroupCount(); ++g) {
        int gi = static_cast<int>(g);
        uint8_t sel = 0;
        uint16_t first = 0, last = 0;
        data.radio(gi, sel, first, last);
        if (sel > groups[g].last - groups[g].first) sel = 0;  // an index beyond the group is reset
        data.setRadio(gi, sel);
        checkRadioButton(ctx.hwnd, groups[g].first, groups[g].last, groups[g].first + sel);
    }
    data.flags &= ~kBlockInitialising;
}

// ---- Scroll bars with flag 0x01: a click on the track moves the thumb straight
// to the point clicked, and dragging follows the mouse.

struct TrackBar {
    WindowProc original = nullptr;
    bool dragging = false;
    int position = 0;
};

std::map<Hwnd, TrackBar>& trackBars() {
    static std::map<Hwnd, TrackBar> bars;
    return bars;
}

// The position for a point on the bar, or false when the point is on an arrow.
bool trackPosition(Hwnd bar, int x, int y, bool clampToTrack, int& position) {
    Rect r = clientRect(bar);
    bool vertical = (getWindowLong(bar, GWL_STYLE) & SBS_VERT) != 0;
    int length = vertical ? r.height() : r.width();
    int thickness = vertical ? r.width() : r.height();
    int arrow = std::min(thickness, length / 2);
    int track = length - 2 * arrow;
    int along = (vertical ? y : x) - arrow;
    if (track <= 1) return false;
    if (!clampToTrack && (along < 0 || along >= track)) return false;
    along = std::clamp(along, 0, track - 1);
    int minimum = 0, maximum = 0;
    scrollRange(bar, SB_CTL, minimum, maximum);
    position = minimum +
               static_cast<int>(std::lround(static_cast<double>(along) * (maximum - minimum) / (track - 1)));
    return true;
}

LResult trackBarProc(Hwnd bar, unsigned message, WParam wParam, LParam lParam) {
    auto it = trackBars().find(bar);
    if (it == trackBars().end()) return defWindowProc(bar, message, wParam, lParam);
    TrackBar& state = it->second;
    WindowProc original = state.original;
    Hwnd dialog = parentOf(bar);
    unsigned scroll = (getWindowLong(bar, GWL_STYLE) & SBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
    int x = signedLoWord(lParam), y = signedHiWord(lParam);
    switch (message) {
    case WM_LBUTTONDOWN: {
        int position = 0;
        if (!trackPosition(bar, x, y, false, position)) break;
        DialogContext* ctx = findContext(dialog);
        if (ctx) readScrollText(*ctx, controlId(bar));
        if (ctx && (ctx->scrollText.flags & 0x04)) {
            postMessage(dialog, WM_COMMAND, makeWParam(static_cast<unsigned>(controlId(bar)), 0), bar);
            return 0;
        }
        state.dragging = true;
        state.position = position;
        setCapture(bar);
        sendMessage(dialog, scroll, makeWParam(SB_THUMBTRACK, static_cast<unsigned>(position)), bar);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (!state.dragging) break;
        if (trackPosition(bar, x, y, true, state.position))
            sendMessage(dialog, scroll, makeWParam(SB_THUMBTRACK, static_cast<unsigned>(state.position)),
                        bar);
        return 0;
    case WM_LBUTTONUP:
        if (!state.dragging) break;
        state.dragging = false;
        if (captureWindow() == bar) releaseCapture();
        sendMessage(dialog, scroll, makeWParam(SB_THUMBPOSITION, static_cast<unsigned>(state.position)), bar);
        sendMessage(dialog, scroll, SB_ENDSCROLL, bar);
        return 0;
    case WM_NCDESTROY: {
        trackBars().erase(bar);
        return callWindowProc(original, bar, message, wParam, lParam);
    }
    default: break;
    }
    return callWindowProc(original, bar, message, wParam, lParam);
}

// Subclasses the framework's scroll bars whose scroll text asks for it.
void subclassTrackBars(DialogContext& ctx) {
    for (Hwnd child : childrenOf(ctx.hwnd)) {
        int id = controlId(child);
        if (!in(id, kIdRealScrollFirst, kIdRealScrollLast) && !in(id, kIdIntScrollFirst, kIdIntScrollLast) &&
            !in(id, kIdCrossFirst, kIdCrossLast))
            continue;
        DialogContext::ScrollText st;
        if (!parseScrollText(windowText(child), st) || !(st.flags & 0x01) || trackBars().count(child))
            continue;
        TrackBar bar;
        bar.original = reinterpret_cast<WindowProc>(
            setWindowLong(child, GWLP_WNDPROC, reinterpret_cast<intptr_t>(&trackBarProc)));
        trackBars()[child] = bar;
    }
}

void removeModeless(Hwnd hwnd) {
    auto& list = fw().modeless;
    list.erase(std::remove(list.begin(), list.end(), hwnd), list.end());
}

void release(DialogContext& ctx) {
    auto& reg = fw().registered;
    reg.erase(std::remove(reg.begin(), reg.end(), &ctx), reg.end());
    ctx.hwnd = 0;
}

intptr_t colourReply(DialogContext& ctx, unsigned message, WParam wParam, LParam lParam) {
    ControlData& data = ctx.block();
    if (data.flags & kBlockColours) {
        ctx.colourText = ctx.colourBackground = kClrInvalid;
        unsigned savedMessage = ctx.message;
        WParam savedW = ctx.wParam;
        LParam savedL = ctx.lParam;
        ctx.message = kMsgColorRequest;
        ctx.wParam = message;
        ctx.lParam = lParam;
        int answer = callHandler(ctx, kEventRaw);
        ctx.message = savedMessage;
        ctx.wParam = savedW;
        ctx.lParam = savedL;
        if (answer == 1 || answer == 2) {
            Hdc dc = static_cast<Hdc>(wParam);
            if (ctx.colourText != kClrInvalid) setTextColor(dc, ctx.colourText);
            if (ctx.colourBackground != kClrInvalid) {
                setBkColor(dc, ctx.colourBackground);
                selectColor(static_cast<int64_t>(ctx.colourBackground));
                return static_cast<intptr_t>(currentBrush());
            }
            return 0;
        }
        return 0;
    }
    if (!currentBrush()) return 0;
    Hwnd control = static_cast<Hwnd>(lParam);
    bool comboList = message == WM_CTLCOLORLISTBOX && className(parentOf(control)) == "ComboBox";
    if (message == WM_CTLCOLOREDIT || comboList || message == WM_CTLCOLORBTN || message == WM_CTLCOLORDLG ||
        message == WM_CTLCOLORSTATIC) {
        if (message == WM_CTLCOLORBTN || message == WM_CTLCOLORSTATIC)
            setBkColor(static_cast<Hdc>(wParam), currentColor());
        return static_cast<intptr_t>(currentBrush());
    }
    return 0;
}

intptr_t frameworkProc(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam) {
    if (message == WM_INITDIALOG) {
        auto* ctx = reinterpret_cast<DialogContext*>(static_cast<intptr_t>(lParam));
        // Only a context registered for a window that is being made: anything
        // else (a WM_INITDIALOG a macro sent) is not a pointer to follow.
        auto& reg = fw().registered;
        if (!ctx || std::find(reg.begin(), reg.end(), ctx) == reg.end() || ctx->hwnd) return 1;
        ctx->hwnd = hwnd;
        ctx->message = message;
        ctx->wParam = wParam;
        ctx->lParam = lParam;
        ControlData& data = ctx->block();
        // A position kept from the last opening is used when it is on the screen.
        if (data.hasWindowPosition() && data.windowX() >= -20 && data.windowX() <= 640 &&
            data.windowY() >= -20 && data.windowY() <= 400) {
            Rect r = windowRect(hwnd);
            moveWindow(hwnd, data.windowX(), data.windowY(), r.width(), r.height());
        }
        buildBlock(*ctx);
        callHandler(*ctx, kEventRaw);
        if (!isWindow(hwnd)) return 0;
        loadControls(*ctx);
        subclassTrackBars(*ctx);
        sendMessage(hwnd, WM_COMMAND, kIdResetEvent, 0);
        showWindow(hwnd, SW_SHOWNORMAL);
        ctx->eventKind = kEventClosing;
        return 1;
    }
    DialogContext* ctx = findContext(hwnd);
    if (!ctx) return 0;
    bool busy = (ctx->flags & kContextBusy) != 0;
    if (busy && message != WM_DESTROY) {
        bool comboEdit = message == WM_COMMAND && hiWord(wParam) == CBN_EDITCHANGE &&
                         in(static_cast<int>(loWord(wParam)), kIdTextComboFirst, kIdTextComboLast);
        if (!comboEdit) return 0;
    }
    ctx->message = message;
    ctx->wParam = wParam;
    ctx->lParam = lParam;
    switch (message) {
    case WM_COMMAND: {
        bool close = false;
        bool event = handleCommand(*ctx, wParam, lParam, close);
        if (event)
            callHandler(*ctx, kEventControl);
        else if (!close)
            callHandler(*ctx, kEventRaw);
        if (!close || !isWindow(hwnd)) return 1;
        ctx = findContext(hwnd);
        if (!ctx) return 1;
        ctx->message = message;
        ctx->wParam = wParam;
        ctx->lParam = lParam;
        if (callHandler(*ctx, kEventClosing) == 0 && isWindow(hwnd))
            postMessage(hwnd, kMsgClose, loWord(wParam) == IDOK ? 1 : 0, 0);
        return 1;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
    case kMsgScroll:
        if (handleScroll(*ctx, wParam, lParam)) callHandler(*ctx, kEventControl);
        return 1;
    case kMsgClose:
        if (ctx->modal)
            endDialog(hwnd, static_cast<intptr_t>(wParam));
        else
            destroyWindow(hwnd);
        return 1;
    case WM_DESTROY:
        callHandler(*ctx, kEventClosing);
        if (fw().mouse.active && fw().mouse.dialog == hwnd) endRelativeMouse();
        removeModeless(hwnd);
        release(*ctx);
        return 1;
    case WM_MOVE: {
        Rect r = windowRect(hwnd);
        ctx->block().setWindowPosition(r.left, r.top);
        return 0;
    }
    case WM_ACTIVATE:
        if (loWord(wParam) != WA_INACTIVE) return 0;  // the dialog manager restores the focus
        return 0;
    case WM_MOUSEMOVE:
        if (fw().mouse.active && fw().mouse.dialog == hwnd) {
            // The time of handling, not messageTime(): a sent move has no queue time of its own.
            relativeMouseMove(clientToScreen(hwnd, {signedLoWord(lParam), signedHiWord(lParam)}),
                              static_cast<unsigned>(wParam), platform::tickCountMs());
            callHandler(*ctx, kEventRaw);
            return 1;
        }
        break;
    case WM_LBUTTONUP:
        if (fw().mouse.active && fw().mouse.dialog == hwnd) {
            endRelativeMouse();
            return 1;
        }
        break;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: return colourReply(*ctx, message, wParam, lParam);
    default: break;
    }
    return callHandler(*ctx, kEventRaw) != 0 ? 1 : 0;
}

bool registerContext(DialogContext& ctx, int classNumber) {
    auto& reg = fw().registered;
    if (std::find(reg.begin(), reg.end(), &ctx) != reg.end()) return false;  // already in use
    if (static_cast<int>(reg.size()) >= kMaxRegisteredContexts) return false;
    ctx.classNumber = classNumber;
    ctx.typingEdit = 0;
    ctx.lastScrollBar = 0;
    ctx.flags = 0;
    ctx.hwnd = 0;
    reg.push_back(&ctx);
    return true;
}

}  // namespace

// ---- ControlData

size_t ControlData::offset(Array a) const {
    static const size_t kWidth[kArrays] = {1, 4, 4, 8, 1 + 2 + 2, 1 + 1 + 16};
    size_t at = 0;
    for (int i = 0; i < a; ++i) at += kWidth[i] * static_cast<size_t>(counts_[static_cast<size_t>(i)]);
    return at;
}

size_t ControlData::layoutBytes() const { return offset(kArrays); }

bool ControlData::layout(const std::vector<int>& ids) {
    std::vector<int> sorted = ids;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    std::array<int, kArrays> counts{};
    auto span = [&](int first, int last, int max) {
        int top = 0;
        for (int id : sorted)
            if (in(id, first, last)) top = std::max(top, id - first + 1);
        return std::min(top, max);
    };
    counts[kChecks] = span(kIdCheckFirst, kIdCheckLast, kMaxChecks);
    counts[kCross] = span(kIdCrossFirst, kIdCrossLast, kMaxCrossValues);
    counts[kIntegers] = span(kIdIntEditFirst, kIdIntEditLast, kMaxIntegers);
    counts[kReals] = span(kIdRealEditFirst, kIdRealEditLast, kMaxReals);
    counts[kRadios] = std::min(static_cast<int>(radioGroups(sorted).size()), kMaxRadioGroups);
    counts[kCombos] = span(kIdTextComboFirst, kIdTextComboLast, kMaxCombos);
    if (counts == counts_ && sorted == ids_ && !storage_.empty()) return false;
    bool hadPosition = hasPosition_;
    counts_ = counts;
    ids_ = sorted;
    storage_.assign(layoutBytes(), 0);
    hasPosition_ = hadPosition;
    return true;
}

bool ControlData::inRange(Array a, int i) const {
    if (i >= 0 && i < counts_[static_cast<size_t>(a)]) return true;
    overflowBox(i, counts_[static_cast<size_t>(a)]);
    return false;
}

template <typename T>
T ControlData::read(size_t at) const {
    T v{};
    std::memcpy(&v, storage_.data() + at, sizeof v);
    return v;
}

template <typename T>
void ControlData::write(size_t at, T value) {
    std::memcpy(storage_.data() + at, &value, sizeof value);
}

bool ControlData::check(int i, uint8_t& v) const {
    if (!inRange(kChecks, i)) return false;
    v = read<uint8_t>(offset(kChecks) + static_cast<size_t>(i));
    return true;
}
bool ControlData::setCheck(int i, uint8_t v) {
    if (!inRange(kChecks, i)) return false;
    write<uint8_t>(offset(kChecks) + static_cast<size_t>(i), v);
    return true;
}
bool ControlData::crossValue(int i, int32_t& v) const {
    if (!inRange(kCross, i)) return false;
    v = read<int32_t>(offset(kCross) + 4 * static_cast<size_t>(i));
    return true;
}
bool ControlData::setCrossValue(int i, int32_t v) {
    if (!inRange(kCross, i)) return false;
    write<int32_t>(offset(kCross) + 4 * static_cast<size_t>(i), v);
    return true;
}
bool ControlData::integer(int i, int32_t& v) const {
    if (!inRange(kIntegers, i)) return false;
    v = read<int32_t>(offset(kIntegers) + 4 * static_cast<size_t>(i));
    return true;
}
bool ControlData::setInteger(int i, int32_t v) {
    if (!inRange(kIntegers, i)) return false;
    write<int32_t>(offset(kIntegers) + 4 * static_cast<size_t>(i), v);
    return true;
}
bool ControlData::real(int i, double& v) const {
    if (!inRange(kReals, i)) return false;
    v = read<double>(offset(kReals) + 8 * static_cast<size_t>(i));
    return true;
}
bool ControlData::setReal(int i, double v) {
    if (!inRange(kReals, i)) return false;
    write<double>(offset(kReals) + 8 * static_cast<size_t>(i), v);
    return true;
}
// Radio groups: selections (bytes), then first ids, then last ids (16-bit).
bool ControlData::radio(int g, uint8_t& selected, uint16_t& first, uint16_t& last) const {
    if (!inRange(kRadios, g)) return false;
    size_t base = offset(kRadios), n = static_cast<size_t>(counts_[kRadios]), k = static_cast<size_t>(g);
    selected = read<uint8_t>(base + k);
    first = read<uint16_t>(base + n + 2 * k);
    last = read<uint16_t>(base + 3 * n + 2 * k);
    return true;
}
bool ControlData::setRadio(int g, uint8_t selected) {
    if (!inRange(kRadios, g)) return false;
    write<uint8_t>(offset(kRadios) + static_cast<size_t>(g), selected);
    return true;
}
bool ControlData::setRadioRange(int g, uint16_t first, uint16_t last) {
    if (!inRange(kRadios, g)) return false;
    size_t base = offset(kRadios), n = static_cast<size_t>(counts_[kRadios]), k = static_cast<size_t>(g);
    write<uint16_t>(base + n + 2 * k, first);
    write<uint16_t>(base + 3 * n + 2 * k, last);
    return true;
}
// Combos: selections (bytes), text flags (bytes), texts (16 bytes each).
bool ControlData::combo(int i, uint8_t& selected, bool& hasText, std::string& text) const {
    if (!inRange(kCombos, i)) return false;
    size_t base = offset(kCombos), n = static_cast<size_t>(counts_[kCombos]), k = static_cast<size_t>(i);
    selected = read<uint8_t>(base + k);
    hasText = read<uint8_t>(base + n + k) != 0;
    const char* p = reinterpret_cast<const char*>(storage_.data() + base + 2 * n + 16 * k);
    text.assign(p, strnlen(p, 16));
    return true;
}
bool ControlData::setCombo(int i, uint8_t selected) {
    if (!inRange(kCombos, i)) return false;
    size_t base = offset(kCombos), n = static_cast<size_t>(counts_[kCombos]), k = static_cast<size_t>(i);
    write<uint8_t>(base + k, selected);
    write<uint8_t>(base + n + k, 0);
    return true;
}
bool ControlData::setComboText(int i, std::string_view text) {
    if (!inRange(kCombos, i)) return false;
    size_t base = offset(kCombos), n = static_cast<size_t>(counts_[kCombos]), k = static_cast<size_t>(i);
    write<uint8_t>(base + n + k, 1);
    char* p = reinterpret_cast<char*>(storage_.data() + base + 2 * n + 16 * k);
    std::memset(p, 0, 16);
    std::memcpy(p, text.data(), std::min<size_t>(text.size(), 15));
    return true;
}
void ControlData::setWindowPosition(int32_t x, int32_t y) {
    windowX_ = x;
    windowY_ = y;
    hasPosition_ = true;
}

// ---- Registration and creation

void setClassHandler(int classNumber, ClassHandler handler) {
    fw().handlers[classNumber] = std::move(handler);
}

void setFrameworkMessageBox(std::function<int(std::string_view, std::string_view, unsigned)> box) {
    fw().box = std::move(box);
}

intptr_t runModalDialog(const DialogTemplate& dialog, Hwnd owner, DialogContext& context, int classNumber) {
    if (!registerContext(context, classNumber)) return -1;
    context.modal = true;
    intptr_t result =
        dialogBox(dialog, owner, frameworkProc, static_cast<LParam>(reinterpret_cast<intptr_t>(&context)));
    release(context);
    return result;
}

Hwnd createModelessDialog(const DialogTemplate& dialog, Hwnd owner, DialogContext& context, int classNumber) {
    if (!registerContext(context, classNumber)) return 0;
    context.modal = false;
    Hwnd hwnd =
        createDialog(dialog, owner, frameworkProc, static_cast<LParam>(reinterpret_cast<intptr_t>(&context)));
    if (!hwnd) {
        release(context);
        return 0;
    }
    auto& list = fw().modeless;
    if (static_cast<int>(list.size()) < kMaxModeless)
        list.push_back(hwnd);
    else
        messageBeep(0xFFFFFFFF);
    return hwnd;
}

DialogContext* findContext(Hwnd hwnd) {
    if (!hwnd) return nullptr;
    for (DialogContext* ctx : fw().registered)
        if (ctx->hwnd == hwnd) return ctx;
    return nullptr;
}

int registeredContextCount() { return static_cast<int>(fw().registered.size()); }

const std::vector<Hwnd>& modelessWindows() { return fw().modeless; }

// ---- Colours

ColorRef colorForCode(int64_t code) {
    if (code == 0 || code == -3) return kClrInvalid;
    if (code == -1 || (code <= -4 && code >= -235)) return sysColor(COLOR_BTNFACE);
    if (code == -2) return fw().configured;
    if (code < 0) return kClrInvalid;
    uint32_t value = static_cast<uint32_t>(code);
    if (value < 0x1000000 || (value >= 0x21000000 && value <= 0x21FFFFFF))
        return nearestColor(0, value & 0xFFFFFF);
    if ((value & 0x80000000) && (value & 0x01000000))
        return sysColor(static_cast<int>(value & 0xFF00001F & 0x1F));
    return value & 0xFFFFFF;
}

bool selectColor(int64_t code) {
    ColorRef color = colorForCode(code);
    FrameworkState& s = fw();
    if (color == kClrInvalid) {
        s.current = kClrInvalid;
        return false;
    }
    if (color != s.current || !s.brush) {
        if (s.brush) deleteObject(s.brush);
        s.brush = createSolidBrush(color);
        s.current = color;
    }
    return true;
}

Hgdiobj currentBrush() { return fw().current == kClrInvalid ? 0 : fw().brush; }
ColorRef currentColor() { return fw().current; }
void setConfiguredDialogColor(ColorRef color) { fw().configured = color & 0xFFFFFF; }

// ---- Scroll texts

bool parseScrollText(std::string_view text, DialogContext::ScrollText& out) {
    std::string copy(text.substr(0, 255));
    long minimum = 0, maximum = 0;
    unsigned flags = 0;
    // The step is read as a double: read as a float, a step of 0.1 would make
    // the values 0.300000004470348 instead of 0.3.
    double step = 0;
    int page = 0;
    int n = std::sscanf(copy.c_str(), "%ld,%ld,%x,%lf,%d", &minimum, &maximum, &flags, &step, &page);
    if (n < 2) return false;
    out.minimum = minimum;
    out.maximum = maximum;
    out.flags = n >= 3 ? flags : 0;
    out.step = n >= 4 && step != 0 ? step : 1;
    out.page = n >= 5 ? page : 10;
    return true;
}

// ---- Relative mouse mode

const RelativeMouse& relativeMouse() { return fw().mouse; }

void beginRelativeMouse(Hwnd dialog, int minX, int maxX, int minY, int maxY) {
    RelativeMouse& m = fw().mouse;
    m = RelativeMouse{};
    m.active = true;
    m.dialog = dialog;
    m.minX = std::max(std::min(minX, maxX), -32768);
    m.maxX = std::min(std::max(minX, maxX), 32767);
    m.minY = std::max(std::min(minY, maxY), -32768);
    m.maxY = std::min(std::max(minY, maxY), 32767);
    m.saved = cursorPos();
    Rect r = windowRect(dialog);
    Point pin{320, 200};
    if (pin.x < r.left || pin.x >= r.right || pin.y < r.top || pin.y >= r.bottom)
        pin = {r.left + r.width() / 2, r.top + r.height() / 2};
    m.pin = pin;
    setCapture(dialog);
    showCursor(false);
    setCursorPos(pin.x, pin.y);
}

bool relativeMouseMove(Point screen, unsigned buttons, uint32_t time) {
    RelativeMouse& m = fw().mouse;
    if (!m.active) return false;
    m.x = std::clamp(m.x + (screen.x - m.pin.x), m.minX, m.maxX);
    m.y = std::clamp(m.y + (screen.y - m.pin.y), m.minY, m.maxY);
    m.buttons = buttons & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON);
    m.lastMoveTime = time;
    if (screen.x != m.pin.x || screen.y != m.pin.y) setCursorPos(m.pin.x, m.pin.y);
    return true;
}

bool setRelativeMousePosition(int x, int y) {
    RelativeMouse& m = fw().mouse;
    if (!m.active) return false;
    m.x = std::clamp(x, m.minX, m.maxX);
    m.y = std::clamp(y, m.minY, m.maxY);
    return true;
}

void endRelativeMouse() {
    RelativeMouse& m = fw().mouse;
    if (!m.active) return;
    m.active = false;
    releaseCapture();
    showCursor(true);
    setCursorPos(m.saved.x, m.saved.y);
}

}  // namespace tvx::ui
