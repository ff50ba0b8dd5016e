// Reaching the controls of a shown macro dialog: ShowControl, SetControl,
// GetControl, ControlHandle, SetScrollBar, and SendDlgMsg, which sends any
// window message with its Win32 number (LB_ADDSTRING, CB_SETCURSEL, ...).
#include <algorithm>
#include <cctype>
#include <cmath>

#include "platform/window/dialog.h"
#include "ui/dialogs/state.h"

namespace tvx::ui::dialogs {

using namespace platform::win;

namespace {

// Style bit that ShowControl modes 4 and 5 set and clear.
constexpr uint32_t kShowControlBit = 0x8000;

bool sameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// ShowControl mode, variable; index, dialog
Error showControl(Interpreter& ip, CallArgs& args, MCVal&) {
    Slot& slot = designatedSlot(macroDialogs(ip), args, 3);
    ControlLookup found = lookUpControl(slot, args, 1, args.i(2));
    if (!found.control) return kOk;
    Hwnd control = found.control;
    switch (args.i(0)) {
    case 0: platform::showWindow(control, SW_HIDE); break;
    case 1:
    case 3:
        platform::showWindow(control, SW_SHOW);
        platform::enableWindow(control, true);
        break;
    case 2:
        platform::showWindow(control, SW_SHOW);
        platform::enableWindow(control, false);
        break;
    case 4:
    case 5: {
        auto style = static_cast<uint32_t>(platform::getWindowLong(control, GWL_STYLE));
        style = args.i(0) == 4 ? style | kShowControlBit : style & ~kShowControlBit;
        platform::setWindowLong(control, GWL_STYLE, style);
        platform::invalidateRect(control, nullptr, true);
        break;
    }
    default: break;
    }
    return kOk;
}

// SetControl keyword, value, variable; index, dialog
Error setControl(Interpreter& ip, CallArgs& args, MCVal&) {
    Slot& slot = designatedSlot(macroDialogs(ip), args, 4);
    ControlLookup found = lookUpControl(slot, args, 2, args.i(3));
    Binding* b = found.binding;
    if (!b) return kOk;
    std::string_view keyword = args.text(0);
    int32_t value = args.l(1);
    if (sameWord(keyword, "Color")) {
        b->textColor = value;
    } else if (sameWord(keyword, "BkColor")) {
        b->backColor = value;
    } else if (sameWord(keyword, "Changed")) {
        b->flags = value != 0 ? (b->flags | kBindingChanged) : (b->flags & ~kBindingChanged);
        return kOk;
    } else {
        return kOk;
    }
    if (found.control) platform::invalidateRect(found.control, nullptr, true);
    return kOk;
}

// GetControl(keyword, variable; index, dialog)
Error getControl(Interpreter& ip, CallArgs& args, MCVal& result) {
    Slot& slot = designatedSlot(macroDialogs(ip), args, 3);
    ControlLookup found = lookUpControl(slot, args, 1, args.i(2));
    const Binding* b = found.binding;
    if (!b) return kOk;
    std::string_view keyword = args.text(0);
    if (sameWord(keyword, "Color"))
        result.setReal(b->textColor);
    else if (sameWord(keyword, "BkColor"))
        result.setReal(b->backColor);
    else if (sameWord(keyword, "Changed"))
        result.setReal((b->flags & kBindingChanged) ? 1 : 0);
    return kOk;
}

// ControlHandle(variable; index, dialog)
Error controlHandle(Interpreter& ip, CallArgs& args, MCVal& result) {
    Slot& slot = designatedSlot(macroDialogs(ip), args, 2);
    result.setReal(lookUpControl(slot, args, 0, args.i(1)).control);
    return kOk;
}

// SetScrollBar variable, minimum, maximum, step; dialog, page: a new range for
// the scroll bar of a number (or of a scroll cross) tied to the variable.
Error setScrollBar(Interpreter& ip, CallArgs& args, MCVal&) {
    Slot& slot = designatedSlot(macroDialogs(ip), args, 4);
    ControlLookup found = lookUpControl(slot, args, 0, 0);
    Hwnd dialog = slot.hwnd();
    Hwnd bar = 0;
    if (found.binding && dialog) {
        int id = found.binding->id;
        if (id >= kIdRealEditFirst && id <= kIdRealEditLast) id += 200;
        bar = platform::dialogItem(dialog, id);
    } else if (found.control) {
        bar = found.control;
    }
    if (!bar || platform::className(bar) != "ScrollBar") return kOk;
    ScrollScale scale = scrollScale(args.number(1), args.number(2), args.number(3));
    if (scale.minimum == scale.maximum) scale.maximum = scale.minimum + 2;
    if (args.l(5) != 0) scale.page = args.l(5);
    DialogContext::ScrollText old;
    unsigned flags = parseScrollText(platform::windowText(bar), old) ? old.flags : 0;
    QuietControls quiet(slot);
    platform::setWindowText(bar, scrollText(scale, flags));
    platform::setScrollRange(bar, SB_CTL, std::min(scale.minimum, scale.maximum),
                             std::max(scale.minimum, scale.maximum));
    slot.context.lastScrollBar = 0;  // the framework reads the new text at the next scroll
    double value = 0;
    if (found.binding && readNumber(ip, *found.binding, value) && std::isfinite(value / scale.step))
        platform::setScrollPos(
            bar, SB_CTL,
            static_cast<int>(std::clamp(std::round(value / scale.step), -2147483648.0, 2147483647.0)));
    // A bar that has the focus takes a new range once the focus has left it.
    if (platform::focusWindow() == bar && dialog) {
        platform::setFocus(dialog);
        platform::setFocus(bar);
    }
    return kOk;
}

// Messages whose lParam the window layer takes as a pointer to its own
// records: a macro cannot send them.
bool internalMessage(unsigned message) {
    return message == WM_CREATE || message == 0x0081 /* WM_NCCREATE */ || message == WM_GETMINMAXINFO ||
           message == WM_INITDIALOG;
}

// SendDlgMsg(target, message; wParam, lParam): a target of 32 or more whose
// high half minus 31696 lies in -1..32 is a control handle number; another one
// of 32 or more a window; below 32 a dialog slot (-1: the current dialog).
Error sendDlgMsg(Interpreter& ip, CallArgs& args, MCVal& result) {
    MacroDialogs& dialogs = macroDialogs(ip);
    int32_t target = args.l(0);
    auto message = static_cast<unsigned>(args.l(1));
    auto wParam = static_cast<platform::WParam>(static_cast<int64_t>(args.l(2)));
    auto lParam = static_cast<platform::LParam>(args.address(3));
    if (internalMessage(message)) return kOk;
    auto slotWindow = [&](int number) -> Hwnd {
        if (number == -1) return dialogs.currentSlot().hwnd();
        if (number < 0 || number >= kSlotCount) return 0;
        return dialogs.slots[static_cast<size_t>(number)].hwnd();
    };
    if (target >= 32) {
        int dialog = (target >> 16) - kHandleBase;
        if (dialog >= -1 && dialog <= 32) {
            Hwnd hwnd = slotWindow(dialog);
            if (hwnd)
                result.setReal(static_cast<double>(
                    platform::sendDialogItemMessage(hwnd, target & 0xFFFF, message, wParam, lParam)));
            return kOk;
        }
        result.setReal(
            static_cast<double>(platform::sendMessage(static_cast<Hwnd>(target), message, wParam, lParam)));
        return kOk;
    }
    if (Hwnd hwnd = slotWindow(target))
        result.setReal(static_cast<double>(platform::sendMessage(hwnd, message, wParam, lParam)));
    return kOk;
}

constexpr interp::CommandRow kControlRows[] = {
    {interp::cmd::ShowControl, showControl},   {interp::cmd::SetControl, setControl},
    {interp::cmd::GetControl, getControl},     {interp::cmd::ControlHandle, controlHandle},
    {interp::cmd::SetScrollBar, setScrollBar}, {interp::cmd::SendDlgMsg, sendDlgMsg},
};

}  // namespace

void registerControlCommands(Interpreter& ip) { ip.install({"ui/dialogs/access", kControlRows}); }

}  // namespace tvx::ui::dialogs
