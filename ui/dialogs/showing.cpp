// Showing and closing macro dialogs: EndDialog (modal, modeless, discard),
// CloseDialog, SetDialog (refresh, full-desktop state), and the answer a modal
// dialog gets in batch mode, where nobody can press its buttons.
#include <algorithm>

#include "platform/window/dialog.h"
#include "ui/dialogs/state.h"
#include "ui/host.h"

namespace tvx::ui::dialogs {

using namespace platform::win;

namespace {

// Below this end mode the template is thrown away unshown.
constexpr int kDiscardMode = -16384;
constexpr int kPumpBudget = 100;
constexpr int kModeFullDesktop = 257, kModeRestore = 256;

// ---- EndDialog mode

Error endDialog(Interpreter& ip, CallArgs& args, MCVal& result) {
    MacroDialogs& dialogs = macroDialogs(ip);
    ip.pump(kPumpBudget);
    if (!dialogs.dialogTemplate.exists()) return kOk;
    int mode = args.i(0);
    Slot& slot = dialogs.currentSlot();
    DialogContext& context = slot.context;
    result.setReal(slot.number);
    if (mode >= kDiscardMode && !slot.hwnd()) {
        platform::DialogTemplate parsed;
        std::string problem;
        // The macro may have patched the template: it is read with every size checked.
        if (platform::parseDialogTemplate(dialogs.dialogTemplate.bytes(), parsed, problem)) {
            // A fresh control data block, with colour handling on.
            context.ownData = ControlData{};
            context.ownData.flags |= kBlockColours | kBlockInitialising;
            Hwnd owner = platform::isWindow(dialogs.owner) ? dialogs.owner : 0;
            if (mode != 0) {
                slot.modal = true;
                slot.endMode = mode;
                dialogs.dialogTemplate.release();
                runModalDialog(parsed, owner, context, kFirstDialogClass + slot.number);
                slot.modal = false;
                slot.endMode = 0;
            } else if (createModelessDialog(parsed, owner, context, kFirstDialogClass + slot.number)) {
                slot.live = true;
            }
        }
    }
    dialogs.dialogTemplate.release();
    ip.pump(kPumpBudget);
    return kOk;
}

// ---- CloseDialog dialog

Error closeDialog(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroDialogs& dialogs = macroDialogs(ip);
    Slot& slot = designatedSlot(dialogs, args, 0);
    dialogs.closeSlot(slot, true);
    dialogs.dialogTemplate.release();
    // The nearest occupied slot at or below the old current one becomes current.
    int found = 0;
    for (int k = 0; k < kSlotCount; ++k) {
        int candidate = (dialogs.current - k + kSlotCount) % kSlotCount;
        if (dialogs.slots[static_cast<size_t>(candidate)].occupied()) {
            found = candidate;
            break;
        }
    }
    dialogs.current = found;
    return kOk;
}

// ---- SetDialog dialog or mode, mode

// Puts the dialog onto the whole desktop, or back where it was. One dialog at a
// time holds the desktop.
void setFullDesktop(MacroDialogs& dialogs, Slot& slot, bool on) {
    Hwnd hwnd = slot.hwnd();
    if (!hwnd) return;
    ControlData& data = slot.context.block();
    if (!on) {
        if (dialogs.fullDesktopSlot != slot.number) return;
        data.flags &= ~kBlockFullDesktop;
        dialogs.fullDesktopSlot = -1;
        platform::setWindowPlacement(hwnd, dialogs.savedPlacement);
        return;
    }
    if (dialogs.fullDesktopSlot == slot.number) return;
    if (dialogs.fullDesktopSlot >= 0)
        setFullDesktop(dialogs, dialogs.slots[static_cast<size_t>(dialogs.fullDesktopSlot)], false);
    platform::WindowPlacement placement;
    if (!platform::getWindowPlacement(hwnd, placement)) return;
    dialogs.savedPlacement = placement;
    dialogs.fullDesktopSlot = slot.number;
    data.flags |= kBlockFullDesktop;
    uint32_t style = static_cast<uint32_t>(platform::getWindowLong(hwnd, GWL_STYLE));
    uint32_t exStyle = static_cast<uint32_t>(platform::getWindowLong(hwnd, GWL_EXSTYLE));
    placement.normalPosition = platform::adjustWindowRect(platform::screenRect(), style, exStyle);
    placement.showCmd = SW_SHOWNORMAL;
    platform::setWindowPlacement(hwnd, placement);
}

Error setDialog(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroDialogs& dialogs = macroDialogs(ip);
    Slot* slot = &dialogs.currentSlot();
    int mode = 0;
    if (args.present(1)) {
        slot = &designatedSlot(dialogs, args, 0);
        mode = args.l(1);
    } else if (args.present(0)) {
        int32_t single = args.l(0);
        if (single >= 0 && single <= 2)
            mode = single;
        else
            slot = &designatedSlot(dialogs, args, 0);
    }
    if (mode >= 0 && mode <= 2)
        refreshControls(ip, *slot);
    else if (mode == kModeFullDesktop)
        setFullDesktop(dialogs, *slot, true);
    else if (mode == kModeRestore)
        setFullDesktop(dialogs, *slot, false);
    return kOk;
}

constexpr interp::CommandRow kShowRows[] = {
    {interp::cmd::EndDialog, endDialog},
    {interp::cmd::CloseDialog, closeDialog},
    {interp::cmd::SetDialog, setDialog},
};

}  // namespace

// ---- Batch mode

// A modal dialog in batch mode: its texts are printed, the answer queue names
// a push button (by number or text; the default button when the queue is
// empty), which is pressed as a person would press it, and the dialog ends.
void answerInBatch(Slot& slot) {
    Hwnd dialog = slot.hwnd();
    AppHost* host = slot.owner->appHost();
    if (!dialog || !host) return;
    std::vector<std::string> lines;
    std::vector<AppHost::DialogButton> buttons;
    for (Hwnd child : platform::childrenOf(dialog)) {
        std::string name = platform::className(child);
        if (name == "ScrollBar" || name == "ListBox") continue;
        std::string text = platform::windowText(child);
        if (!text.empty()) lines.push_back(text);
        int id = platform::controlId(child);
        if (name == "Button" && id >= kIdPushFirst && id <= kIdPushLast) {
            uint32_t style = static_cast<uint32_t>(platform::getWindowLong(child, GWL_STYLE));
            buttons.push_back({id - 6999, text, (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON});
        }
    }
    int pressed = host->answerDialog(platform::windowText(dialog), lines, buttons);
    if (pressed > 0) {
        Hwnd button = platform::dialogItem(dialog, 6999 + pressed);
        platform::postMessage(dialog, WM_COMMAND,
                              makeWParam(static_cast<unsigned>(6999 + pressed), BN_CLICKED),
                              static_cast<platform::LParam>(button));
    }
    // Whatever the button did, the dialog ends (not as a person's Cancel, which may be refused).
    platform::postMessage(dialog, WM_COMMAND, makeWParam(IDCANCEL, BN_CLICKED), 1);
}

void registerShowCommands(Interpreter& ip) { ip.install({"ui/dialogs/showing", kShowRows}); }

}  // namespace tvx::ui::dialogs
