// What happens in a macro dialog reaches the macro here: the framework's
// handler of the dialog classes 64..95 writes the person's changes into the
// tied variables, ORs bits into the event word and the flag byte, decides
// whether a Cancel may close the dialog, and answers colour requests.
#include <algorithm>

#include "platform/clock.h"
#include "platform/window/dialog.h"
#include "ui/dialogs/state.h"
#include "ui/host.h"

namespace tvx::ui::dialogs {

using namespace platform::win;

namespace {

bool in(int id, int first, int last) { return id >= first && id <= last; }

// Whether a modal dialog's end mode closes it on this push button: every
// button when the mode is negative, else the buttons whose bit n - 1 is set.
bool endModeSelects(int mode, int button) {
    if (mode < 0) return true;
    return button >= 1 && button <= 31 && ((static_cast<uint32_t>(mode) >> (button - 1)) & 1);
}

void endDialogQuietly(Hwnd dialog) {
    // lParam 1: not a person's Cancel, so it is never refused.
    platform::postMessage(dialog, WM_COMMAND, makeWParam(IDCANCEL, BN_CLICKED), 1);
}

// ---- Initialisation

void initialise(MacroDialogs& dialogs, Slot& slot) {
    Hwnd dialog = slot.hwnd();
    for (Hwnd child : platform::childrenOf(dialog)) {
        int id = platform::controlId(child);
        if (in(id, kIdRealScrollFirst, kIdRealScrollLast) || in(id, kIdCrossFirst, kIdCrossLast)) {
            // A framework scroll bar carries its range in its text.
            DialogContext::ScrollText st;
            if (parseScrollText(platform::windowText(child), st))
                platform::setScrollRange(child, SB_CTL, static_cast<int>(std::min(st.minimum, st.maximum)),
                                         static_cast<int>(std::max(st.minimum, st.maximum)));
        } else if (in(id, kIdListFirst, kIdComboLast)) {
            platform::sendMessage(child, WM_SETFONT, platform::stockObject(16), 0);  // SYSTEM_FIXED_FONT
        }
    }
    if (dialogs.ip->hasMacro()) refreshControls(*dialogs.ip, slot);
    platform::postMessage(dialog, kMsgApplyColors, 0, 0);
    AppHost* host = dialogs.appHost();
    if (slot.modal && host && host->mode() == AppHost::Mode::Batch)
        platform::postMessage(dialog, kMsgBatchAnswer, 0, 0);
}

// Controls ask their colours when they are drawn; those that have colours of
// their own are redrawn once the dialog is up. The framework answers colour
// requests only while no handler runs, so the busy flag is lifted meanwhile:
// redrawing sends no notifications that could re-enter the handler.
void applyColors(Slot& slot) {
    Hwnd dialog = slot.hwnd();
    DialogContext& context = slot.context;
    uint16_t before = context.flags;
    context.flags &= static_cast<uint16_t>(~kContextBusy);
    if (slot.background) platform::invalidateRect(dialog, nullptr, true);
    for (Hwnd child : platform::childrenOf(dialog)) {
        Binding* b = slot.bindingOfControl(platform::controlId(child));
        if (slot.background || (b && (b->textColor || b->backColor)))
            platform::invalidateRect(child, nullptr, true);
    }
    context.flags = before;
}

// ---- The person changed something

void controlEvent(MacroDialogs& dialogs, Slot& slot, DialogContext& context) {
    Interpreter& ip = *dialogs.ip;
    const ControlEvent& event = context.block().event;
    auto tie = [&](Binding* b, double value) {
        if (!b) return;
        writeNumber(ip, *b, value);
        b->flags |= kBindingChanged;
    };
    switch (event.groupBase) {
    case kIdPushFirst: {
        int number = event.button;
        tie(slot.bindingOfControl(6999 + number), number);
        dialogs.addEvent(kEventPushed, kFlagPushed);
        if (slot.modal && endModeSelects(slot.endMode, number)) endDialogQuietly(slot.hwnd());
        return;
    }
    case kIdRealEditFirst: tie(slot.bindingOfControl(kIdRealEditFirst + event.index), event.newValue); break;
    case kIdCheckFirst: tie(slot.bindingOfControl(kIdCheckFirst + event.index), event.newValue); break;
    case kIdRadioFixedFirst: tie(slot.radioBinding(event.index), event.newValue); break;
    case kIdCrossFirst: {
        int pair = event.index & ~1;
        ControlData& data = context.block();
        int32_t x = 0, y = 0;
        if (pair + 1 < data.crossCount() && data.crossValue(pair, x) && data.crossValue(pair + 1, y)) {
            tie(slot.bindingOfControl(kIdCrossFirst + pair), x);
            tie(slot.bindingOfControl(kIdCrossFirst + pair + 1), y);
        }
        break;
    }
    default: return;
    }
    dialogs.addEvent(kEventValueChanged, kFlagValue);
}

// The text of a string-tied control changed: it goes into the variable, cut
// where the binding says so (a one-character variable, a short multi-line
// edit). A text longer than any string can hold is refused: the control gets
// the variable's text back.
void textChanged(MacroDialogs& dialogs, Slot& slot, int id, Hwnd control) {
    Binding* b = slot.bindingOfControl(id);
    if (!b || !control) return;
    Interpreter& ip = *dialogs.ip;
    std::string text = platform::windowText(control);
    std::string before;
    if (!readText(ip, *b, before)) return;
    // The macro may have put a longer text there since: that much stays.
    size_t limit = std::max(b->cutAt, before.size());
    if (b->cutAt && text.size() > limit) {
        text.resize(limit);
    } else if (text.size() > static_cast<size_t>(interp::kMaxVariableText)) {
        platform::messageBeep(0);
        platform::LResult selection = platform::sendMessage(control, EM_GETSEL, 0, 0);
        platform::setWindowText(control, before);
        platform::sendMessage(control, EM_SETSEL, loWord(static_cast<uint64_t>(selection)),
                              hiWord(static_cast<uint64_t>(selection)));
        return;
    }
    writeText(ip, *b, text);
    b->flags |= kBindingChanged;
    dialogs.addEvent(kEventTextChanged, kFlagValue);
}

// A list's or combo box's state variable: set to a value, or with bits ORed in.
void tieState(Interpreter& ip, Binding* b, double value, bool orBits, bool changed) {
    if (!b) return;
    double now = value;
    double old = 0;
    if (orBits && readNumber(ip, *b, old) && old >= 0 && old < 4294967296.0)
        now = static_cast<double>(static_cast<uint32_t>(old) | static_cast<uint32_t>(value));
    writeNumber(ip, *b, now);
    if (changed) b->flags |= kBindingChanged;
}

void rawCommand(MacroDialogs& dialogs, Slot& slot, DialogContext& context) {
    Interpreter& ip = *dialogs.ip;
    int id = static_cast<int>(loWord(context.wParam));
    unsigned code = hiWord(context.wParam);
    if (in(id, kIdTextFirst, kIdTextLast) && code == EN_CHANGE) {
        textChanged(dialogs, slot, id, platform::dialogItem(slot.hwnd(), id));
        return;
    }
    if (in(id, kIdCrossFirst, kIdCrossLast)) slot.draggedCross = id & ~1;
    if (in(id, kIdListFirst, kIdListLast)) {
        Binding* b = slot.bindingOfControl(id);
        if (code == LBN_SELCHANGE) tieState(ip, b, 2, false, true);
        if (code == LBN_DBLCLK) tieState(ip, b, 1, false, false);
        dialogs.addEvent(kEventCommand | kEventListNote, 0);
        return;
    }
    if (in(id, kIdComboFirst, kIdComboLast)) {
        Binding* b = slot.bindingOfControl(id);
        if (code == CBN_SELCHANGE) tieState(ip, b, 2, true, true);
        if (code == CBN_DBLCLK) tieState(ip, b, 1, true, false);
        if (code == CBN_KILLFOCUS) tieState(ip, b, 8, true, false);
        if (code == CBN_EDITCHANGE) tieState(ip, b, 4, true, true);
        dialogs.addEvent(kEventCommand | kEventComboNote, 0);
        return;
    }
    dialogs.addEvent(kEventCommand, 0);
}

// A mouse move over the dialog; in relative mouse mode (a scroll cross dragged
// like a joystick) the summed position moves the cross and its variables.
void mouseMoved(MacroDialogs& dialogs, Slot& slot) {
    dialogs.lastMouseMove = platform::tickCountMs();
    const RelativeMouse& mouse = relativeMouse();
    if (!mouse.active || mouse.dialog != slot.hwnd()) return;
    int pair = slot.draggedCross;
    if (pair) {
        QuietControls quiet(slot);
        for (int axis = 0; axis < 2; ++axis) {
            Hwnd bar = platform::dialogItem(slot.hwnd(), pair + axis);
            if (!bar) continue;
            int position = axis == 0 ? mouse.x : mouse.y;
            DialogContext::ScrollText st;
            parseScrollText(platform::windowText(bar), st);
            platform::setScrollPos(bar, SB_CTL, position);
            if (Binding* b = slot.bindingOfControl(pair + axis))
                writeNumber(*dialogs.ip, *b, position * st.step);
        }
    }
    dialogs.addEvent(kEventRelativeMouse, kFlagMouse);
}

// ---- Closing

// A close asked for (OK, Cancel): a person's Cancel is refused while a macro
// runs, unless Escape may stop it (SetBreak bit 2) or the person closed a
// dialog through its frame. Returns non-zero to keep the dialog open.
int closing(MacroDialogs& dialogs, Slot& slot, DialogContext& context) {
    Interpreter& ip = *dialogs.ip;
    if (context.message == WM_DESTROY) {
        if (dialogs.fullDesktopSlot == slot.number) dialogs.fullDesktopSlot = -1;
        if (relativeMouse().active && relativeMouse().dialog == slot.hwnd()) endRelativeMouse();
        slot.bindings.clear();
        slot.live = false;
        return 0;
    }
    bool personsCancel = loWord(context.wParam) == IDCANCEL && context.lParam == 0;
    if (personsCancel && slot.number < kReportingSlots && ip.hasMacro() &&
        !(ip.runOptions() & interp::kOptEscapeStops) && !dialogs.systemClose)
        return 1;
    if (relativeMouse().active && relativeMouse().dialog == slot.hwnd()) endRelativeMouse();
    slot.bindings.clear();
    return 0;
}

// ---- Colours

// The colours of a control: its own text and background colour, white for an
// edit without a background colour, else the dialog's background colour
// (push buttons keep their face).
int colorRequest(Slot& slot, DialogContext& context) {
    auto message = static_cast<unsigned>(context.wParam);
    Hwnd control = static_cast<Hwnd>(context.lParam);
    Binding* b = control != slot.hwnd() ? slot.bindingOfControl(platform::controlId(control)) : nullptr;
    int answer = 0;
    if (b && b->textColor) {
        platform::ColorRef color = colorForCode(b->textColor);
        if (color != platform::kClrInvalid) {
            context.colourText = color;
            answer = 1;
        }
    }
    platform::ColorRef back = platform::kClrInvalid;
    if (b && b->backColor)
        back = colorForCode(b->backColor);
    else if (message == WM_CTLCOLOREDIT)
        back = 0xFFFFFF;
    else if (slot.background && message != WM_CTLCOLORBTN)
        back = colorForCode(slot.background);
    if (back != platform::kClrInvalid) {
        context.colourBackground = back;
        answer = 2;
    }
    return answer;
}

// The size a maximised dialog in full-desktop state may take: the desktop.
int fullDesktopLimits(Slot& slot, DialogContext& context) {
    if (!(context.block().flags & kBlockFullDesktop) || !context.lParam) return 0;
    Hwnd hwnd = slot.hwnd();
    auto* info = reinterpret_cast<platform::MinMaxInfo*>(static_cast<intptr_t>(context.lParam));
    platform::Rect desktop = platform::adjustWindowRect(
        platform::screenRect(), static_cast<uint32_t>(platform::getWindowLong(hwnd, GWL_STYLE)),
        static_cast<uint32_t>(platform::getWindowLong(hwnd, GWL_EXSTYLE)));
    info->maxSize = {desktop.width(), desktop.height()};
    info->maxPosition = {desktop.left, desktop.top};
    info->maxTrackSize = info->maxSize;
    return 1;
}

}  // namespace

int handleDialogEvent(DialogContext& context) {
    auto* slot = static_cast<Slot*>(context.user);
    if (!slot || !slot->owner || !slot->owner->ip) return 0;
    MacroDialogs& dialogs = *slot->owner;
    Interpreter& ip = *dialogs.ip;
    // Dialogs of the ninth slot and above are shown, but tell the macro nothing.
    bool reports = slot->number < kReportingSlots;
    switch (context.eventKind) {
    case kEventClosing: return closing(dialogs, *slot, context);
    case kEventControl:
        if (reports && ip.running()) controlEvent(dialogs, *slot, context);
        return 0;
    default: break;
    }
    switch (context.message) {
    case WM_INITDIALOG: initialise(dialogs, *slot); return 0;
    case kMsgApplyColors: applyColors(*slot); return 1;
    case kMsgBatchAnswer: answerInBatch(*slot); return 1;
    case kMsgColorRequest: return colorRequest(*slot, context);
    case WM_GETMINMAXINFO: return fullDesktopLimits(*slot, context);
    case WM_SYSCOMMAND:
        if ((context.wParam & 0xFFF0) == SC_CLOSE) dialogs.systemClose = true;
        return 0;
    default: break;
    }
    if (!reports) return 0;
    switch (context.message) {
    case WM_COMMAND: rawCommand(dialogs, *slot, context); return 0;
    case WM_PAINT: dialogs.addEvent(kEventPaint, kFlagPaint); return 0;
    case WM_MOUSEMOVE: mouseMoved(dialogs, *slot); return 0;
    default: return 0;
    }
}

}  // namespace tvx::ui::dialogs
