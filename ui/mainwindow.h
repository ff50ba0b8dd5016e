// The desktop program's frame window: a toolbar with the File and Debug menus
// and the debug buttons, the source pane that shows the running (or opened)
// macro with the current line marked while stepping, and a status bar with
// the run state, the macro and the line. It runs the start macro when it
// receives the start-macro message, carries out the debug commands
// 31000..31017 (also from the debug keys), and ends the program when closed
// (a running macro is stopped first).
#pragma once

#include <string>

#include "interp/api.h"
#include "platform/window/window.h"

namespace tvx::ui {

class AppHost;

// The private message that starts the requested macro (wParam 31001; lParam
// 30583 marks the program's own start request). Debug commands may come as
// this message too, with their id in wParam.
constexpr unsigned kStartMacroMessage = 0x467;
constexpr long kStartRequestMark = 30583;

// The debug commands of the main window.
enum DebugCommand : unsigned {
    kCommandNothing = 31000,
    kCommandRun = 31001,
    kCommandStartAtLabel = 31002,
    kCommandStop = 31003,
    kCommandContinue = 31004,
    kCommandSingleStep = 31005,
    kCommandOption1 = 31006,
    kCommandWatchWindow = 31007,
    kCommandStepOut = 31008,
    kCommandRunToCursor = 31009,
    kCommandStepOver = 31010,
    kCommandSetNext = 31011,
    kCommandExecuteLine = 31012,
    kCommandPlotWord = 31013,
    kCommandHelpOnWord = 31014,
    kCommandNothing2 = 31015,
    kCommandShowWord = 31016,
    kCommandOption2 = 31017,
};

// Controls of the frame window.
enum FrameIds : int {
    kIdSourcePane = 100,
    kIdStatusBar = 101,
    kIdFileMenu = 31200,
    kIdDebugMenu = 31201,
    kCommandOpen = 31210,
    kCommandExit = 31211,
};

// Creates and shows the frame window.
platform::Hwnd createMainWindow(AppHost& host, interp::Interpreter& ip);
// Starts request from the frame window and serves messages until the program
// ends. found reports whether the start macro was found.
int runDesktop(AppHost& host, interp::Interpreter& ip, const interp::StartRequest& request, bool& found);

// Shows a macro file in the source pane (the macro Run and the cursor
// commands use); false when it cannot be read. A scrambled macro shows as
// "scrambled".
bool openInSourcePane(const std::string& path);
// The status bar's text and the source pane's window (tests).
std::string statusText();
platform::Hwnd sourcePane();
// The run state as the status bar names it: "Ready", "Running",
// "Single step" or "Stopping".
std::string runStateName(const interp::Interpreter& ip);

// The label MGOTO offers (the last one entered).
std::string lastStartLabel();

}  // namespace tvx::ui
