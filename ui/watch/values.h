// What the Watch Window lists: values as Show Value shows them, the detailed
// dump for the console, the variables of the running macro, the call history,
// the labels and references of a source text, and the argument description of
// a command. Plain text in, lines out: the window only puts them into its lists.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "interp/api.h"

namespace tvx::ui::watch {

using interp::Error;
using interp::Interpreter;

// List modes: what the value list holds, and so what a selection there does.
enum ListMode : int {
    kListValue = 0,
    kListHistory = 2,
    kListLabels = 3,
    kListVariables = 4,
    kListMembers = 5
};

// Items listed at most for one value.
constexpr size_t kMaxValueItems = 3000;
// Entries Var's lists at most before it adds "..." and stops.
constexpr size_t kMaxVariableLines = 32512;

struct ValueListing {
    std::vector<std::string> items;
    ListMode mode = kListValue;
    Error error = interp::kOk;
};

// A number as Show Value shows it: 15 significant digits, or with hex and a
// whole number "0x%04lX" (8 digits above 0xFFFF) and "  ;'c'" for a character.
std::string numberText(double value, bool hex);

// Show Value: the text (leading blanks and tabs skipped) evaluated in the
// running macro's scope, or in a fresh one when none runs. An object lists its
// members (mode kListMembers).
ValueListing showValue(Interpreter& ip, std::string_view text, bool hex);

// The detailed dump of Data (and Shift + Show Value): a type header, a rule,
// and the value in full.
std::string detailedDump(Interpreter& ip, std::string_view text);

// Var's: the variables of the running macro's current scope (then, marked L,
// the enclosing macro scope), sorted; nothing without a macro. With an object
// table, its members (no flags).
std::vector<std::string> variableLines(Interpreter& ip);
std::vector<std::string> memberLines(Interpreter& ip, const interp::SymbolTable& members);

// History: "%2d:%4d  " and the line of each open call, newest first.
std::vector<std::string> historyLines(Interpreter& ip);

// Labels (Label, Function) and with references also GoTo and GoSub of a source
// text. Sorted: "%-12s  J %4d" (GoTo), "  C" (GoSub), "    " (Label, Function);
// otherwise "%4d  " and the statement in source order. False (nothing to list)
// for a text shorter than 4 characters.
bool labelLines(Interpreter& ip, std::string_view source, bool references, bool sorted,
                std::vector<std::string>& lines);
// The source line an entry of labelLines names (0 when none).
int labelEntryLine(std::string_view entry, bool sorted);
// The source line a history entry names (0 when none).
int historyEntryLine(std::string_view entry);

// The statement or function's arguments in words ("" for an unknown name).
std::string argumentDescription(const Interpreter& ip, std::string_view name);

// The word of macro-name characters and "!" around the selection [start, end)
// of text (at most 254 characters).
std::string wordAt(std::string_view text, size_t start, size_t end);
// The word help looks up in a typed text: up to the first "(", blank, ";",
// CR or LF.
std::string helpWord(std::string_view text);

// Inserts text into lines at its sorted place (case-insensitive).
void insertSorted(std::vector<std::string>& lines, std::string text);

}  // namespace tvx::ui::watch
