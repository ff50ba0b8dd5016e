// The line interpreter: one logical line, its chained statements, assignments,
// and the recognise-only mode used while lines are skipped.
#pragma once

#include "interp/errors.h"

#include <cstddef>
#include <string_view>

namespace tvx::interp {

class Interpreter;
struct MacroContext;
struct CachedLine;

// Line flags
constexpr unsigned kLineChained = 0x01;
constexpr unsigned kLineNoChaining = 0x02;
constexpr unsigned kLineMayChangeType = 0x10;

class LineInterpreter {
public:
    // Executes a logical line (NUL-terminated). cutIntoLines is false for text
    // that did not pass the line reader, where '|' also separates statements.
    static Error execute(Interpreter& ip, MacroContext& ctx, const char* line, bool cutIntoLines);
    // The recognise-only mode: only the command word counts; Label and
    // Function lines are executed, If/Loop nesting is tracked.
    static Error skip(Interpreter& ip, MacroContext& ctx, const char* line) {
        return skip(ip, ctx, line, skipWord(ip, line));
    }
    // What skipping looks at in a line: its command code (-1 for a word that
    // is no command), or kNoCommandWord. It depends on the text alone, so the
    // run loop keeps it with the line.
    static constexpr int kNoCommandWord = -2;
    static int skipWord(Interpreter& ip, const char* line);
    static Error skip(Interpreter& ip, MacroContext& ctx, const char* line, int word);
    // Where the skipping that line has just begun ends, by the rules of skip:
    // for a false If, the start of the line after the Else or EndIf that ends
    // its branch; for an Else or ElseIf that ends a branch taken, the start of
    // the line after the block's EndIf. Found when every line before only
    // passes by (no label, function, declaration, end of the text, nor, after
    // an If, an ElseIf to weigh on the way); SIZE_MAX when it is not that
    // simple: the lines are then skipped one by one. Kept with the line, as it
    // depends on the text alone.
    static size_t skipEnd(Interpreter& ip, MacroContext& ctx, CachedLine& line);
};

}  // namespace tvx::interp
