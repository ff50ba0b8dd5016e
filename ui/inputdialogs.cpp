#include "ui/inputdialogs.h"

#include "ui/framework.h"

namespace tvx::ui {

using namespace platform;
using namespace platform::win;

namespace {

constexpr size_t kMaxInputText = 80;

DialogItem item(const char* cls, uint32_t style, int id, int x, int y, int cx, int cy, const char* text) {
    return templateItem(cls, style, id, x, y, cx, cy, text);
}

DialogTemplate build(bool number, bool withCancel) {
    DialogTemplate t;
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    t.cx = 220;
    t.cy = 64;
    t.items.push_back(item("Static", SS_LEFT, 8800, 12, 8, 206, 8, number ? "Value:" : "Text:"));
    if (number)
        t.items.push_back(item("Edit", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 8200, 26, 24, 80, 12, ""));
    else
        t.items.push_back(item("Edit", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 8801, 13, 24, 198, 12, ""));
    t.items.push_back(
        item("Button", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, withCancel ? 12 : 87, 46, 46, 14, "Ok"));
    if (withCancel)
        t.items.push_back(item("Button", WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL, 162, 46, 46, 14, "&Cancel"));
    return t;
}

int inputClassHandler(DialogContext& ctx) {
    auto* state = static_cast<InputDialogState*>(ctx.user);
    if (!state) return 0;
    if (ctx.eventKind == kEventRaw && ctx.message == WM_INITDIALOG) {
        if (!state->caption.empty()) setWindowText(ctx.hwnd, state->caption);
        setDialogItemText(ctx.hwnd, 8800, state->prompt);
        if (dialogItem(ctx.hwnd, 8801)) {
            setDialogItemText(ctx.hwnd, 8801, state->text.substr(0, kMaxInputText));
            sendDialogItemMessage(ctx.hwnd, 8801, EM_SETSEL, 0, -1);
        }
        if (dialogItem(ctx.hwnd, 8200)) ctx.block().setReal(0, state->value);
        return 0;
    }
    if (ctx.eventKind == kEventClosing && ctx.message == WM_COMMAND && loWord(ctx.wParam) == IDOK) {
        if (dialogItem(ctx.hwnd, 8801)) state->text = dialogItemText(ctx.hwnd, 8801).substr(0, kMaxInputText);
        double v = 0;
        if (dialogItem(ctx.hwnd, 8200) && ctx.block().real(0, v)) state->value = v;
    }
    return 0;
}

}  // namespace

const DialogTemplate& inputDialogTemplate(InputDialog which) {
    static const DialogTemplate kTemplates[] = {build(true, true), build(true, false), build(false, true),
                                                build(false, false)};
    return kTemplates[static_cast<int>(which)];
}

bool runInputTemplate(const DialogTemplate& dialog, Hwnd owner, InputDialogState& state,
                      DialogContext& context) {
    static bool registered = false;
    if (!registered) {
        setClassHandler(kInputDialogClass, inputClassHandler);
        registered = true;
    }
    context.user = &state;
    return runModalDialog(dialog, owner, context, kInputDialogClass) == 1;
}

bool runInputDialog(InputDialog which, Hwnd owner, InputDialogState& state) {
    DialogContext context;
    return runInputTemplate(inputDialogTemplate(which), owner, state, context);
}

}  // namespace tvx::ui
