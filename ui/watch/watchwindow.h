// The Watch Window (dialog MAKCOM, framework class 54): the input line with
// the name list, the value list, and the buttons that execute a line, show a
// value, list variables, the call history and labels, and look names up.
#pragma once

#include <string>
#include <string_view>

#include "interp/api.h"
#include "platform/window/window.h"

namespace tvx::ui {
class AppHost;
}

namespace tvx::ui::watch {

constexpr int kWatchClass = 54;

// Controls of MAKCOM.
enum WatchIds : int {
    kIdInput = 9999,   // input line and name list
    kIdValues = 9991,  // value and result list
    kIdExecute = 7000,
    kIdConsole = 7001,
    kIdData = 7002,
    kIdShowValue = 7003,
    kIdArguments = 7004,  // Alt+X
    kIdHelp = 7005,
    kIdHistory = 7006,
    kIdLabels = 7007,
    kIdReferences = 7008,
    kIdVariables = 7009,
    kIdFind = 7010,
    kIdPlot = 7011,
    kIdMacroCommands = 8600,
    kIdAppCommands = 8601,
    kIdMacroFunctions = 8602,
    kIdStatusVariables = 8603,
    kIdHex = 8604,
    kIdSort = 8605,
};

// Opens the Watch Window: creates it modeless (owned by owner), or shows and
// focuses it when it exists. Returns its window, 0 when it cannot be made.
platform::Hwnd openWatchWindow(interp::Interpreter& ip, platform::Hwnd owner);
// The window while it is open, else 0 (also what !hWndMain reads).
platform::Hwnd watchWindow(interp::Interpreter& ip);
// Puts text into the input line and posts Show Value to the window (opening it).
void showInWatchWindow(interp::Interpreter& ip, platform::Hwnd owner, std::string_view text);
// What the value list holds now (ListMode of ui/watch/values.h).
int watchListMode(interp::Interpreter& ip);

// The source editor (a multi-line edit) on which History, Labels, Ref's and
// Find work; 0 for none. The editor stays the caller's.
void setSourceEditor(interp::Interpreter& ip, platform::Hwnd editor);
platform::Hwnd sourceEditor(interp::Interpreter& ip);
// Selects the 1-based line of an edit and scrolls it into view.
void selectEditorLine(platform::Hwnd editor, int line);
// Finds text in the edit after its selection (without regard to case, wrapping
// round once) and selects it; false when it is not there.
bool findInEditor(platform::Hwnd editor, std::string_view text);

// The help on a word (mode 2: typed text): on a display the command reference
// opens at the word's entry in the desktop's browser; otherwise (or without
// the reference or a browser) the argument description of the command table
// is shown in a box.
void showHelp(interp::Interpreter& ip, std::string_view word);

// The address of the command reference at a name's entry ("file://...#Name",
// the name written as the tables write it), or "" when the reference is not
// there: doc/reference.html beside the program's folder in a build,
// share/doc/tolvex/reference.html in an installation.
std::string referenceAddress(const interp::Interpreter& ip, std::string_view word);

// The six check states (the four name filters, Hex, Sort) as "0"/"1"
// characters, as the window keeps them between openings. Setting them before
// the first opening makes them the window's states then; "" when the window has
// not been opened yet and nothing was set.
std::string watchCheckStates(interp::Interpreter& ip);
void setWatchCheckStates(interp::Interpreter& ip, std::string_view states);

// What help on a word opens: the help file the settings file names (section
// External, key MacroHelpExt; a relative name is looked for beside the settings
// file, then in the program's folder), else the command reference at the
// word's entry. "" when there is neither. missing receives a named help file
// that does not exist.
std::string helpAddress(const interp::Interpreter& ip, std::string_view word, std::string* missing = nullptr);

// Installs the class handler and the status variable !hWndMain.
void registerWatchWindow(interp::Interpreter& ip);

}  // namespace tvx::ui::watch
