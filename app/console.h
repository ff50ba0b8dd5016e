// tolvex --console: the terminal console for machines without a display.
#pragma once

#include <string>

namespace tvx::interp {
class Interpreter;
}
namespace tvx::ui {
class AppHost;
}

namespace tvx::app {

// Where the console keeps its history: $XDG_STATE_HOME/tolvex/history, or
// ~/.local/state/tolvex/history; empty when neither is known.
std::string consoleHistoryPath();

// Reads macro lines from standard input and runs each in one session, so
// variables stay from line to line; a line ending in '\' goes on in the next
// one. On a terminal the lines are edited with history, Ctrl-C stops the
// running line (or drops the one being typed) and Ctrl-D ends the console.
// Boxes are answered by typing. Returns the exit status (as for a macro run).
int runConsole(interp::Interpreter& ip, ui::AppHost& host);

}  // namespace tvx::app
