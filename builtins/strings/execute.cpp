// Text run as macro lines: StrExecute, and DataOp, which runs a statement
// once per value of a list with the value readable as !Data.
#include <string>

#include "builtins/strings/perinterp.h"
#include "builtins/strings/stringinternal.h"
#include "interp/eval/evaluator.h"
#include "interp/eval/scanner.h"
#include "interp/exec/context.h"
#include "interp/exec/lineinterp.h"
#include "interp/exec/runner.h"
#include "interp/interpreter.h"
#include "interp/source/lines.h"

namespace tvx::builtins {

using interp::CallArgs;
using interp::Interpreter;
using interp::kOk;
using interp::MCVal;

namespace {

constexpr int kMaxNestedExecutions = 64;
constexpr int kStatusData = 69;

struct ExecuteState {
    int depth = 0;    // nested StrExecute
    double data = 0;  // !Data
};

ExecuteState& executeState(const Interpreter& ip) { return PerInterpreter<ExecuteState>::of(ip); }

struct DepthGuard {
    int& depth;
    explicit DepthGuard(int& d) : depth(d) { ++depth; }
    ~DepthGuard() { --depth; }
};

// Runs one logical line in the running macro's context as its run loop
// would: while the context skips lines (a false If, a label search) the line
// is only recognised. quiet: errors are returned instead of shown.
int runLine(Interpreter& ip, const std::string& line, bool quiet) {
    interp::MacroContext* ctx = ip.runner().current();
    if (!ctx)
        return quiet ? ip.runner().executeImmediate(line)
                     : (ip.runner().executeImmediate(line), kOk);
    if (ctx->skipState) return interp::LineInterpreter::skip(ip, *ctx, line.c_str());
    if (!quiet) return ip.runner().executeImmediate(line);
    auto savedLine = ctx->currentLine;
    ctx->currentLine = line;
    int err = interp::LineInterpreter::execute(ip, *ctx, line.c_str(), true);
    ctx->currentLine = savedLine;
    return err;
}

// StrExecute s.v: the text's logical lines (cut as in a macro file: line
// ends, '|', comments, '\' continuations, at most 511 characters each).
int strExecute(Interpreter& ip, CallArgs& args, MCVal&) {
    ExecuteState& state = executeState(ip);
    if (state.depth >= kMaxNestedExecutions) return interp::kOutOfMemory;
    DepthGuard guard(state.depth);
    std::string text(args[0].text);  // the work area is reused by the lines run
    bool quiet = args.present(1);
    uint8_t runState = ip.runState;
    size_t pos = 0;
    std::string line;
    int err = kOk;
    while (true) {
        interp::LogicalLine where;
        interp::LineStatus status = interp::readLogicalLine(text, pos, line, where);
        if (status == interp::LineStatus::End) break;
        pos = where.next;
        if (status == interp::LineStatus::TooLong) {
            err = interp::kLineTooLong;
            if (!quiet) ip.runner().reportError(err);
            break;
        }
        err = runLine(ip, line, quiet);
        if (err || !(ip.runState & interp::kRunRunning)) break;
    }
    if (quiet) {
        // The error does not stop the macro: it goes to the variable.
        if (err) ip.runState = runState;
        *args[1].var.number = err;
    }
    return kOk;
}

// DataOp sa: the statement text once per value of the list that follows.
int dataOp(Interpreter& ip, CallArgs& args, MCVal&) {
    std::string statement(args[0].text);
    std::string list(args[1].text);
    ExecuteState& state = executeState(ip);
    double saved = state.data;
    const char* p = list.c_str();
    int err = kOk;
    while (err == kOk) {
        p = interp::skipBlanks(p);
        if (*p == '\0') break;
        MCVal value;
        err = ip.evaluate(p, interp::kLimitArgument, value);
        if (err == interp::kStringOperand || (!err && !value.isScalar()))
            err = interp::kWrongDataType;
        if (err) break;
        state.data = value.re;
        err = runLine(ip, statement, true);
        if (err == interp::kChainingNotAllowed) err = interp::kIllegalChaining;
        if (err || !(ip.runState & interp::kRunRunning)) break;
        p = interp::skipBlanks(p);
        if (*p == ',')
            ++p;
        else if (*p != '\0')
            err = interp::kCommaExpected;
    }
    state.data = saved;
    // Positions inside the copies above are gone: the error marks the statement.
    if (err) ip.errorPosition = nullptr;
    return err;
}

int readData(Interpreter& ip, int, int, interp::StatusValue& value) {
    value.number = executeState(ip).data;
    return kOk;
}

}  // namespace

void registerExecuteCommands(Interpreter& ip) {
    PerInterpreter<ExecuteState>::reset(ip);
    ip.registerCommand("StrExecute", strExecute);
    ip.registerCommand("DataOp", dataOp);
    ip.registerStatus(kStatusData, readData);
}

}  // namespace tvx::builtins
