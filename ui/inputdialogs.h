// The standard input dialogs MINPUT, MINPUT2, MSTRIN and MSTRIN2 and the
// framework class 7 that serves them.
#pragma once

#include <string>

#include "platform/window/dialog.h"

namespace tvx::ui {

constexpr int kInputDialogClass = 7;

enum class InputDialog { Number, NumberNoCancel, Text, TextNoCancel };
// The template of an input dialog (220 x 64 units).
const platform::DialogTemplate& inputDialogTemplate(InputDialog which);

// What class 7 shows and returns: the prompt in static 8800, the text in edit
// 8801 (at most 80 characters back), or the number in the real edit 8200.
struct InputDialogState {
    std::string
        caption;  // the window's title (the templates have none: a window manager would show the program)
    std::string prompt;
    std::string text;
    double value = 0;
};

// Runs an input dialog modally; true after Ok.
bool runInputDialog(InputDialog which, platform::Hwnd owner, InputDialogState& state);

struct DialogContext;
// Runs another template of class 7 (MGOTO) modally with the caller's context,
// whose control data holds the check boxes afterwards; true after Ok.
bool runInputTemplate(const platform::DialogTemplate& dialog, platform::Hwnd owner, InputDialogState& state,
                      DialogContext& context);

}  // namespace tvx::ui
