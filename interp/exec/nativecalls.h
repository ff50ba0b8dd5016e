// Macro functions that compute a number from their parameters alone, run
// without the run loop: "Function Fib(n)" whose lines are If, ElseIf, Else,
// EndIf, assignments to its parameters and Return with a number, reading only
// its parameters and calling only such functions. Such a call changes nothing
// but its result, so whatever it cannot settle (an error, the call-stack
// limit, the debugger or a stop wanting to see lines) leaves it without a
// trace: the call then runs from its lines, from the start, and the text
// interpreter reports what it meets exactly as always.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace tvx::interp {

class Interpreter;
struct KnownCall;
struct MacroContext;
struct MCVal;

class NativeCalls {
public:
    NativeCalls();
    ~NativeCalls();
    NativeCalls(const NativeCalls&) = delete;
    NativeCalls& operator=(const NativeCalls&) = delete;

    // Runs function id of ctx (called as a compiled line knows the call) to
    // its result. False when the call must run from its lines: nothing has
    // happened then.
    bool call(Interpreter& ip, MacroContext& ctx, int id, const KnownCall& known, MCVal& result);

    struct Unit;

private:
    // What is known of a function, by label id.
    struct Known {
        Unit* unit = nullptr;  // its unit, when it has one
        // No unit: the text passed (ctx.furthest) and the labels' changes when
        // it was tried; it is tried again once either has moved on.
        size_t triedAt = 0;
        uint64_t triedChanges = 0;
        bool tried = false;
    };
    static bool triedLately(const Known& entry, const MacroContext& ctx);
    Unit* unitFor(Interpreter& ip, MacroContext& ctx, int id);
    bool compileGroup(Interpreter& ip, MacroContext& ctx, int id);
    bool declarationsAbsent(MacroContext& ctx);

    std::deque<Unit> units_;  // a deque: units compiled while others run never move them
    std::vector<Known> known_;
    uint64_t labelGeneration_ = 0;
    // The macro table (and its stamp) and the count of function-file functions
    // when no unit's callee was found declared or in a function file.
    struct Checked {
        const void* table = nullptr;
        uint64_t stamp = 0;
        size_t externals = 0;
        bool valid = false;
    } checked_;
    int running_ = 0;  // calls under way (units are kept while any runs)
};

}  // namespace tvx::interp
