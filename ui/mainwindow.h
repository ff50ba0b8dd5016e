// The desktop program's frame window: it owns the dialogs, runs the start macro
// when it receives the start-macro message, and ends the program when closed
// (a running macro is stopped first).
#pragma once

#include "interp/api.h"
#include "platform/window/window.h"

namespace tvx::ui {

class AppHost;

// The private message that starts the requested macro (wParam 31001; lParam
// 30583 marks the program's own start request).
constexpr unsigned kStartMacroMessage = 0x467;
constexpr unsigned kCommandRun = 31001;
constexpr unsigned kCommandStop = 31003;
constexpr long kStartRequestMark = 30583;

// Creates and shows the frame window.
platform::Hwnd createMainWindow(AppHost& host, interp::Interpreter& ip);
// Starts request from the frame window and serves messages until the program
// ends. found reports whether the start macro was found.
int runDesktop(AppHost& host, interp::Interpreter& ip, const interp::StartRequest& request, bool& found);

}  // namespace tvx::ui
