// The desktop program's frame window: a toolbar with the File and Debug menus
// and the debug buttons, the source editor that shows the running (or opened)
// macro (line numbers, colouring, breakpoints in its margin, the current line
// marked while stepping, the failing line selected after an error box), the
// console pane, and a status bar with the run state, the macro and the line.
// It runs the start macro when it receives the start-macro message, carries
// out the debug commands 31000..31017 (also from the debug keys), opens and
// saves macros, and ends the program when closed (a running macro is stopped
// first, unsaved changes are offered to be saved).
#pragma once

#include <string>
#include <string_view>
#include <vector>

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
    kIdConsolePane = 102,
    kIdFileMenu = 31200,
    kIdDebugMenu = 31201,
    kCommandOpen = 31210,
    kCommandExit = 31211,
    kCommandSave = 31212,
    kCommandSaveAs = 31213,
    kCommandNew = 31214,
    kCommandRecentFirst = 31220,  // .. + 7: the recent files, most recent first
    kCommandRecentLast = 31227,
};

// The console pane keeps at most this many bytes (the oldest lines go).
constexpr size_t kConsolePaneLimit = 64 * 1024;

// Creates and shows the frame window.
platform::Hwnd createMainWindow(AppHost& host, interp::Interpreter& ip);
// Starts request from the frame window and serves messages until the program
// ends. found reports whether the start macro was found.
int runDesktop(AppHost& host, interp::Interpreter& ip, const interp::StartRequest& request, bool& found);

// Shows a macro file in the source editor (the macro Run and the cursor
// commands use); false when it cannot be read. A scrambled macro shows as
// "scrambled", read-only, and is never saved over. The file becomes the most
// recent one. Unsaved changes are not asked about here (see the Open command).
bool openInSourcePane(const std::string& path);
// Saves the editor's text to path ("" for its own file), with the line ends
// the file had; false when it cannot be written or the editor shows a
// scrambled macro (then nothing is written).
bool saveSourcePane(const std::string& path = {});
// The editor's file ("" for a text of its own) and whether it holds changes
// not saved yet.
std::string sourcePaneFile();
bool sourcePaneModified();
// The breakpoints of a file (1-based lines; "" for the editor's text without
// a file), as set in the editor's margin.
std::vector<int> breakpointsOf(const std::string& path);

// The console pane: console output, the Watch Window's Console button, the
// detailed dump and "?" lines while it is active. It becomes active on a
// display (createMainWindow) or when set (tests).
platform::Hwnd consolePane();
void setConsolePaneActive(bool active);
void writeConsolePane(std::string_view text);

// The recent files of the File menu, most recent first.
std::vector<std::string> recentFiles();
// Takes the recent files, the window's place and the Watch Window's check
// states from desktop.ini in the state folder, and writes them back there
// from then on (after an open or save, and when the window closes).
void restoreDesktopState();
void rememberDesktopState();
// The status bar's text and the source pane's window (tests).
std::string statusText();
platform::Hwnd sourcePane();
// The run state as the status bar names it: "Ready", "Running",
// "Single step" or "Stopping".
std::string runStateName(const interp::Interpreter& ip);

// The label MGOTO offers (the last one entered).
std::string lastStartLabel();

}  // namespace tvx::ui
