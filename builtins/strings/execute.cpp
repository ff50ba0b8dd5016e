// Text run as macro lines: StrExecute, and DataOp, which runs a statement
// once per value of a list with the value readable as !Data.
#include <string>

#include "builtins/strings/stringinternal.h"
#include "interp/api.h"

namespace tvx::builtins {

using interp::CallArgs;
using interp::Interpreter;
using interp::kOk;
using interp::MCVal;

namespace {

constexpr int kMaxNestedExecutions = 64;

struct ExecuteState : interp::FamilyState {
    int depth = 0;    // nested StrExecute
    double data = 0;  // !Data
};

ExecuteState& executeState(Interpreter& ip) { return ip.state<ExecuteState>(); }

struct DepthGuard {
    int& depth;
    explicit DepthGuard(int& d) : depth(d) { ++depth; }
    ~DepthGuard() { --depth; }
};

// StrExecute s.v: the text's logical lines (cut as in a macro file: line
// ends, '|', comments, '\' continuations, at most 511 characters each).
interp::Error strExecute(Interpreter& ip, CallArgs& args, MCVal&) {
    ExecuteState& state = executeState(ip);
    if (state.depth >= kMaxNestedExecutions) return interp::kOutOfMemory;
    DepthGuard guard(state.depth);
    std::string text(args.text(0));  // the work area is reused by the lines run
    bool quiet = args.present(1);
    uint8_t runState = ip.runState();
    size_t pos = 0;
    std::string line;
    interp::Error err = kOk;
    while (true) {
        interp::LogicalLine where;
        interp::LineStatus status = interp::readLogicalLine(text, pos, line, where);
        if (status == interp::LineStatus::End) break;
        pos = where.next;
        if (status == interp::LineStatus::TooLong) {
            err = interp::kLineTooLong;
            if (!quiet) ip.reportError(err);
            break;
        }
        err = ip.executeInMacro(line, quiet);
        if (err || !ip.running()) break;
    }
    if (quiet) {
        // The error does not stop the macro: it goes to the variable.
        if (err) ip.setRunState(runState);
        *args.var(1).number = err;
    }
    return kOk;
}

// DataOp sa: the statement text once per value of the list that follows.
interp::Error dataOp(Interpreter& ip, CallArgs& args, MCVal&) {
    std::string statement(args.text(0));
    std::string list(args.text(1));
    ExecuteState& state = executeState(ip);
    double saved = state.data;
    const char* p = list.c_str();
    interp::Error err = kOk;
    while (err == kOk) {
        p = interp::skipBlanks(p);
        if (*p == '\0') break;
        MCVal value;
        err = ip.evaluate(p, interp::kLimitArgument, value);
        if (err == interp::kStringOperand || (!err && !value.isScalar())) err = interp::kWrongDataType;
        if (err) break;
        state.data = value.re;
        err = ip.executeInMacro(statement, true);
        if (err == interp::kChainingNotAllowed) err = interp::kIllegalChaining;
        if (err || !ip.running()) break;
        p = interp::skipBlanks(p);
        if (*p == ',')
            ++p;
        else if (*p != '\0')
            err = interp::kCommaExpected;
    }
    state.data = saved;
    // Positions inside the copies above are gone: the error marks the statement.
    if (err) ip.setErrorPosition(nullptr);
    return err;
}

interp::Error readData(Interpreter& ip, int, int, interp::StatusValue& value) {
    value.number = executeState(ip).data;
    return kOk;
}

}  // namespace

constexpr interp::CommandRow kExecuteCommandsRows[] = {
    {interp::cmd::StrExecute, strExecute},
    {interp::cmd::DataOp, dataOp},
};

constexpr interp::StatusRow kExecuteStatusRows[] = {
    {interp::statvar::Data, readData},
};

void registerExecuteCommands(Interpreter& ip) {
    ip.install({"strings/execute", kExecuteCommandsRows, kExecuteStatusRows});
}

}  // namespace tvx::builtins
