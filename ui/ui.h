// The host user interface: registers its commands with the interpreter and sets
// up the protocol log.
#pragma once

#include <string>

namespace tvx::interp {
class Interpreter;
}

namespace tvx::ui {

class AppHost;

// Registers the user-interface commands (FileDialog, the macro dialogs, the
// Watch Window and !hWndMain), connects the host to the
// interpreter, and starts the protocol log from the settings file.
void setUpUserInterface(interp::Interpreter& ip, AppHost& host, const std::string& iniPath);

}  // namespace tvx::ui
