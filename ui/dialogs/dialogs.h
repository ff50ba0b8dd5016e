// The dialogs that macros build at run time (BeginDialog, the control
// commands, EndDialog ...), on the dialog framework as its classes 64..95.
#pragma once

namespace tvx::interp {
class Interpreter;
}

namespace tvx::ui::dialogs {

// Installs the statements, functions and status variables of macro dialogs
// and the framework's handler of their classes.
void registerMacroDialogs(interp::Interpreter& ip);

}  // namespace tvx::ui::dialogs
