// The status variables of macro dialogs: the event word and flag byte (reading
// clears them), the current dialog's window, the template buffer's addresses,
// and the cursor as relative mouse mode reports it.
#include "platform/clock.h"
#include "ui/dialogs/dialogs.h"
#include "ui/dialogs/state.h"

namespace tvx::ui::dialogs {

using interp::StatusValue;

namespace {

Error eventStatus(Interpreter& ip, int code, int, StatusValue& value) {
    MacroDialogs& dialogs = macroDialogs(ip);
    if (code == interp::statvar::DlgEvent) {
        value.number = dialogs.eventWord.exchange(0);
    } else {
        value.number = dialogs.flagByte.exchange(0);
    }
    return kOk;
}

Error dialogHandleStatus(Interpreter& ip, int, int, StatusValue& value) {
    value.number = macroDialogs(ip).currentSlot().hwnd();
    return kOk;
}

// !DlgDefPtr[0]: the template's start, [1]: its write position; 0 otherwise.
Error templateStatus(Interpreter& ip, int, int index, StatusValue& value) {
    const TemplateBuffer& buffer = macroDialogs(ip).dialogTemplate;
    value.number = !buffer.exists() ? 0
                   : index == 0     ? static_cast<double>(buffer.startAddress())
                   : index == 1     ? static_cast<double>(buffer.writeAddress())
                                    : 0;
    return kOk;
}

// In relative mouse mode the summed position and the milliseconds since the
// last move; otherwise the screen cursor and the time since the last move over
// a macro dialog.
Error cursorStatus(Interpreter& ip, int code, int, StatusValue& value) {
    const RelativeMouse& mouse = relativeMouse();
    if (code == interp::statvar::CursorTime) {
        uint32_t last = mouse.active ? mouse.lastMoveTime : macroDialogs(ip).lastMouseMove;
        value.number = static_cast<uint32_t>(platform::tickCountMs() - last);
        return kOk;
    }
    bool x = code == interp::statvar::CursorX;
    if (mouse.active) {
        value.number = x ? mouse.x : mouse.y;
    } else {
        platform::Point p = platform::cursorPos();
        value.number = x ? p.x : p.y;
    }
    return kOk;
}

constexpr interp::StatusRow kStatusRows[] = {
    {interp::statvar::DlgEvent, eventStatus},
    {interp::statvar::DlgFlags, eventStatus},
    {interp::statvar::DialogHandle, dialogHandleStatus},
    {interp::statvar::DlgDefPtr, templateStatus},
    {interp::statvar::CursorX, cursorStatus},
    {interp::statvar::CursorY, cursorStatus},
    {interp::statvar::CursorTime, cursorStatus},
};

}  // namespace

void registerDialogStatus(Interpreter& ip) { ip.install({"ui/dialogs/status", {}, kStatusRows}); }

void registerMacroDialogs(Interpreter& ip) {
    macroDialogs(ip);  // made now, on the user-interface thread
    registerBuildCommands(ip);
    registerShowCommands(ip);
    registerControlCommands(ip);
    registerFontCommands(ip);
    registerDialogStatus(ip);
    for (int c = kFirstDialogClass; c < kFirstDialogClass + kSlotCount; ++c)
        setClassHandler(c, handleDialogEvent);
}

}  // namespace tvx::ui::dialogs
