// Control flow: loops, conditionals, jumps, subroutines, macro functions,
// starting other macros, stopping.
#include "interp/exec/control.h"

#include "interp/eval/evaluator.h"
#include "interp/eval/scanner.h"
#include "interp/exec/assign.h"
#include "interp/exec/codes.h"
#include "interp/exec/context.h"
#include "interp/exec/runner.h"
#include "interp/interpreter.h"
#include "interp/values/number.h"

namespace tvx::interp {

namespace {

MacroContext& context(Interpreter& ip) { return *ip.runner().current(); }

bool present(const CallArgs& args, int i) { return args.present(i); }

// ---- Loops

int loopStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroContext& ctx = context(ip);
    if (ctx.loopLevel >= kMaxLoopLevels) return kTooManyLoops;
    int32_t count = present(args, 0) ? args[0].l : 0;
    if (present(args, 0) && count < 1) {
        ctx.skipState = kSkipLoop;
        ctx.skipNesting = 0;
        return kOk;
    }
    size_t level = static_cast<size_t>(ctx.loopLevel++);
    ctx.loopCounts[level] = count;
    ctx.loopIndexes[level] = 0;
    ctx.loopStarts[level] = ctx.nextLine;
    return kOk;
}

void leaveLoop(MacroContext& ctx) {
    --ctx.loopLevel;
    ctx.skipState = kSkipLoop;
    ctx.skipNesting = 0;
}

// The end of one pass: EndLoop, and Continue.
void endOfPass(MacroContext& ctx, bool atEndLoop) {
    size_t level = static_cast<size_t>(ctx.loopLevel - 1);
    if (ctx.loopCounts[level] != 0 && --ctx.loopCounts[level] < 1) {
        if (atEndLoop) --ctx.loopLevel;  // the line after EndLoop follows
        else leaveLoop(ctx);
        return;
    }
    ++ctx.loopIndexes[level];
    ctx.nextLine = ctx.loopStarts[level];
}

int endLoopStatement(Interpreter& ip, CallArgs&, MCVal&) {
    MacroContext& ctx = context(ip);
    if (ctx.loopLevel == 0) return kEndLoopWithoutLoop;
    endOfPass(ctx, true);
    return kOk;
}

int breakLoopStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroContext& ctx = context(ip);
    if (present(args, 0) && args[0].l == 0) return kOk;
    if (ctx.loopLevel == 0) return kMatchingLoopMissing;
    leaveLoop(ctx);
    return kOk;
}

int continueStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroContext& ctx = context(ip);
    if (present(args, 0) && args[0].l == 0) return kOk;
    if (ctx.loopLevel == 0) return kMatchingLoopMissing;
    endOfPass(ctx, false);
    return kOk;
}

// ---- Conditionals

int ifStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroContext& ctx = context(ip);
    if (args[0].l == 0) {
        ctx.skipState = kSkipIfFalse;
        ctx.skipNesting = 0;
    }
    return kOk;
}

int elseIfStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroContext& ctx = context(ip);
    if (isIfSkip(ctx.skipState)) {
        // Met while skipping a false branch: a new If.
        if (args[0].l != 0) ctx.skipState = 0;
        return kOk;
    }
    ctx.skipState = kSkipIfTaken;  // the taken branch ends here
    ctx.skipNesting = 0;
    return kOk;
}

int elseStatement(Interpreter& ip, CallArgs&, MCVal&) {
    MacroContext& ctx = context(ip);
    ctx.skipState = kSkipIfTaken;
    ctx.skipNesting = 0;
    return kOk;
}

int endIfStatement(Interpreter&, CallArgs&, MCVal&) { return kOk; }

int doIfStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    if (args[0].l == 0) context(ip).skipState = kSkipOneLine;
    return kOk;
}

int compareStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    double a = args[0].number, b = args[1].number;
    bool holds = false;
    switch (args.code) {
    case kIfEqual: holds = a == b; break;
    case kIfNotEqual: holds = a != b; break;
    case kIfAbove: holds = a > b; break;
    case kIfNotAbove: holds = a <= b; break;
    default: break;
    }
    if (!holds) context(ip).skipState = kSkipOneLine;
    return kOk;
}

// ---- Jumps and calls

int jumpTo(MacroContext& ctx, int id) {
    size_t position = ctx.labels.position(id);
    if (position != SIZE_MAX) {
        ctx.nextLine = position;
    } else {
        ctx.skipState = static_cast<uint16_t>(id);  // forward search from here
        ctx.skipNesting = 0;
    }
    return kOk;
}

int goToStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroContext& ctx = context(ip);
    int id = ctx.labels.idOf(args.text(0));
    if (id == 0) return kOutOfMemory;
    return jumpTo(ctx, id);
}

int goSubStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroContext& ctx = context(ip);
    if (ctx.callLevel >= ctx.callDepth - 1) return kTooManyGoSub;
    int id = ctx.labels.idOf(args.text(0));
    if (id == 0) return kOutOfMemory;
    int level = ++ctx.callLevel;
    if (ctx.frames.size() <= static_cast<size_t>(level)) ctx.frames.resize(static_cast<size_t>(level) + 1);
    CallFrame& frame = ctx.frames[static_cast<size_t>(level)];
    frame.returnPosition = ctx.nextLine;
    frame.loopLevel = ctx.loopLevel;
    frame.calledId = id;
    frame.isFunction = false;
    frame.fromExpression = false;
    frame.callLineStart = ctx.lineStart;
    frame.local = ip.symbols.localTable;  // a subroutine sees the caller's locals
    frame.staticsFunctionId = ip.symbols.staticsFunctionId;
    return jumpTo(ctx, id);
}

int labelStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroContext& ctx = context(ip);
    int id = ctx.labels.idOf(args.text(0));
    if (id == 0) return kOutOfMemory;
    size_t known = ctx.labels.position(id);
    if (ctx.skipState == id) ctx.skipState = 0;  // the search ends here
    if (known != SIZE_MAX && known != ctx.nextLine) return kLabelRedefined;
    ctx.labels.setPosition(id, ctx.nextLine);
    return kOk;
}

// Splits a parameter or argument list at the commas outside brackets and quotes.
void splitList(std::string_view text, std::vector<std::string_view>& items) {
    items.clear();
    int depth = 0;
    bool inString = false;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') inString = !inString;
        if (inString) continue;
        if (c == '(' || c == '[') ++depth;
        else if ((c == ')' || c == ']') && depth > 0) --depth;
        else if (c == ',' && depth == 0) {
            items.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    items.push_back(text.substr(start));
    for (auto& item : items) {
        while (!item.empty() && isBlank(item.front())) item.remove_prefix(1);
        while (!item.empty() && isBlank(item.back())) item.remove_suffix(1);
    }
    if (items.size() == 1 && items[0].empty()) items.clear();
}

// Binds the actual arguments of a pending call to the formal parameters of the
// Function line, in a new local space.
int bindArguments(Interpreter& ip, MacroContext& ctx, int level, std::string_view formals) {
    // Arguments may call functions themselves, which can move the frames: the
    // frame is looked up again after them.
    {
        CallFrame& frame = ctx.frames[static_cast<size_t>(level)];
        if (!frame.ownLocal) {
            frame.ownLocal = std::make_unique<SymbolTable>(kFirstLocalSpace - level + 1, kLocalTableEntries,
                                                           kLocalTableBuckets, 2048);
        } else {
            frame.ownLocal->clear();
        }
    }
    SymbolTable& local = *ctx.frames[static_cast<size_t>(level)].ownLocal;
    PendingCall call = std::move(ctx.pendingCall);
    ctx.callPending = false;

    if (call.hasThis) {
        int index = local.create("this");
        if (index == 0) return kOutOfMemory;
        local.at(index).setValueKind(kKindNumber);
        local.at(index).number = call.thisHandle;
    }
    while (!formals.empty() && isBlank(formals.front())) formals.remove_prefix(1);
    if (!formals.empty() && formals.front() == '(') {
        formals.remove_prefix(1);
        size_t close = formals.rfind(')');
        if (close != std::string_view::npos) formals = formals.substr(0, close);
    }
    // The lists are split into buffers kept per call level, so a call allocates nothing here.
    thread_local std::vector<std::vector<std::string_view>> buffers;
    if (buffers.size() < static_cast<size_t>(2 * level + 2)) buffers.resize(static_cast<size_t>(2 * level + 2));
    std::vector<std::string_view>& names = buffers[static_cast<size_t>(2 * level)];
    std::vector<std::string_view>& actuals = buffers[static_cast<size_t>(2 * level + 1)];
    splitList(formals, names);
    splitList(call.argumentText, actuals);

    // The actual arguments are read in the caller's scope.
    Symbols& symbols = ip.symbols;
    symbols.macroTable = call.callerMacro ? call.callerMacro : ctx.symbols;
    symbols.localTable = call.callerLocal;
    symbols.staticsFunctionId = call.callerStaticsId;
    int result = kOk;
    for (size_t i = 0; i < names.size() && result == kOk; ++i) {
        std::string_view name = names[i];
        bool byReference = !name.empty() && name.front() == '&';
        if (byReference) name.remove_prefix(1);
        while (!name.empty() && isBlank(name.front())) name.remove_prefix(1);
        bool validName = !name.empty() && !isDigit(name.front());
        for (char c : name) validName = validName && isNameChar(c);
        if (!validName) {
            result = kBadSymbolName;
            break;
        }
        int index = local.find(name);
        if (index == 0) index = local.create(name);
        if (index == 0) {
            result = kOutOfMemory;
            break;
        }
        if (i >= actuals.size() || actuals[i].empty()) continue;  // created without a value
        std::string actual(actuals[i]);
        const char* p = actual.c_str();
        if (byReference) {
            Designator d;
            int err = ip.evaluator().designate(p, Creation::Create, d);
            if (err || d.form != Designator::kVariable || *skipBlanks(p) != '\0') {
                result = kReferenceNeedsVariable;
                break;
            }
            Variable& var = local.at(index);
            var.clearValue();
            var.setValueKind(kKindReference);
            var.refId = d.slot.id();
            continue;
        }
        // A vector variable named alone is passed by reference.
        if (isNameChar(*p) && !isDigit(*p) && *skipBlanks(skipCompoundName(p)) == '\0') {
            const char* q = p;
            Designator d;
            bool lookupOnly = symbols.lookupOnly;
            symbols.lookupOnly = true;
            int err = ip.evaluator().designate(q, Creation::Find, d);
            symbols.lookupOnly = lookupOnly;
            if (!err && d.form == Designator::kVariable && *skipBlanks(q) == '\0' &&
                d.slot.var().valueKind() == kKindBlock && d.slot.var().block &&
                d.slot.var().block->elementType != kElemComplexScalar && !d.slot.var().block->isText()) {
                Variable& var = local.at(index);
                var.clearValue();
                var.setValueKind(kKindReference);
                var.refId = d.slot.id();
                continue;
            }
        }
        MCVal value;
        int err = ip.evaluator().numeric(p, kLimitAssignment, value);
        Variable& var = local.at(index);
        if (err == kStringOperand) {
            std::string text;
            err = ip.evaluator().stringExpression(p, text);
            if (!err) {
                var.clearValue();
                var.setValueKind(kKindString);
                var.text = std::move(text);
            }
        } else if (!err && !value.isEmpty()) {
            err = replaceValue(var, value);
        }
        if (err) result = err;
    }
    CallFrame& frame = ctx.frames[static_cast<size_t>(level)];
    frame.local = &local;
    frame.staticsFunctionId = frame.calledId;
    symbols.macroTable = ctx.symbols;
    symbols.localTable = frame.local;
    symbols.staticsFunctionId = frame.staticsFunctionId;
    return result;
}

int functionStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    return runFunctionLine(ip, args.text(0), args.text(1));
}

}  // namespace

int runFunctionLine(Interpreter& ip, std::string_view name, std::string_view formals) {
    MacroContext& ctx = context(ip);
    if (isReservedFunctionName(name)) return kReservedFunctionName;
    int id = ctx.labels.idOf(name);
    if (id == 0) return kOutOfMemory;
    ctx.labels.markFunction(id);
    if (ctx.skipState == id) ctx.skipState = 0;
    size_t known = ctx.labels.position(id);
    if (known != SIZE_MAX && known != ctx.lineStart) return kLabelRedefined;
    ctx.labels.setPosition(id, ctx.lineStart);
    if (ctx.callPending && ctx.pendingCall.functionId == id) return bindArguments(ip, ctx, ctx.callLevel, formals);
    return kOk;
}

namespace {

// Return from the innermost call level (value: the function's result).
int returnFromCall(Interpreter& ip, MacroContext& ctx, MCVal* value) {
    int level = ctx.callLevel;
    CallFrame& frame = ctx.frames[static_cast<size_t>(level)];
    if (frame.isFunction) {
        MCVal& result = ip.runner().functionResult();
        if (value && !value->isEmpty()) {
            result = std::move(*value);
            if (!result.makeBlockOwned()) return kOutOfMemory;
        } else {
            result.setReal(0);
        }
    }
    --ctx.callLevel;
    ctx.nextLine = frame.returnPosition;
    if (frame.isFunction && frame.ownLocal) frame.ownLocal->clear();
    CallFrame* below = ctx.callLevel > 0 ? &ctx.frames[static_cast<size_t>(ctx.callLevel)] : nullptr;
    ip.symbols.localTable = below ? below->local : nullptr;
    ip.symbols.staticsFunctionId = below ? below->staticsFunctionId : 0;
    if (ctx.loopLevel != frame.loopLevel) {
        ctx.loopLevel = frame.loopLevel;
        return kLoopWithoutEndLoop;
    }
    return kOk;
}

int endMacro(MacroContext& ctx) {
    ctx.ended = true;
    if (ctx.loopLevel > 0) {
        ctx.loopLevel = 0;
        return kLoopWithoutEndLoop;
    }
    return kOk;
}

int returnStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroContext& ctx = context(ip);
    if (ctx.callLevel == 0) {
        if (ctx.called) return endMacro(ctx);
        return kReturnWithoutGoSub;
    }
    return returnFromCall(ip, ctx, present(args, 0) ? args[0].value : nullptr);
}

int endStatement(Interpreter& ip, CallArgs&, MCVal&) {
    MacroContext& ctx = context(ip);
    if (ctx.callLevel == 0) return endMacro(ctx);
    return returnFromCall(ip, ctx, nullptr);
}

// ---- Starting macros, stopping

int startMacroStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    CallKind kind = args.code == kCallMacro ? CallKind::Call
                    : args.code == kCallCommon ? CallKind::Common
                                               : CallKind::Start;
    return ip.runner().requestMacro(kind, args.text(0), args.text(1), present(args, 2) ? args[2].l : 0);
}

int loadMacroStatement(Interpreter&, CallArgs&, MCVal&) { return kOk; }

int stopStatement(Interpreter& ip, CallArgs&, MCVal&) {
    ip.runState |= kRunPaused;
    return kOk;
}

int breakStatement(Interpreter& ip, CallArgs&, MCVal&) {
    ip.runState = 0;
    return kOk;
}

int pauseStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    ip.runner().pause(args[0].number);
    return kOk;
}

int terminateStatement(Interpreter& ip, CallArgs&, MCVal&) {
    ip.host().postQuit();
    ip.runState = 0;
    return kOk;
}

int setExitCommandStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    ip.runner().setExitCommand(args.text(0));
    return kOk;
}

int assertStatement(Interpreter&, CallArgs& args, MCVal&) {
    return args[0].l == 0 ? kAssertionFailed : kOk;
}

int setBreakStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    uint32_t mask = static_cast<uint32_t>(args[0].i) & 0xF;
    if (args[1].i != 0) ip.runOptions |= mask;
    else ip.runOptions &= ~mask;
    return kOk;
}

int disableWaitStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    if (args[0].i & 1) ip.runOptions |= kOptNoWaitPumping;
    else ip.runOptions &= ~static_cast<uint32_t>(kOptNoWaitPumping);
    ip.disableWaitSwitch = (args[0].i & 2) != 0;
    return kOk;
}

int disableMsgStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    if (args[0].i != 0) ip.runOptions |= kOptNoMessagePumping;
    else ip.runOptions &= ~static_cast<uint32_t>(kOptNoMessagePumping);
    return kOk;
}

int addPoolStatement(Interpreter& ip, CallArgs& args, MCVal& result) {
    MacroContext* ctx = ip.runner().current();
    int err = ip.runner().sources.addPool(args.text(0), present(args, 1) ? args[1].l : 0,
                                          ctx ? ctx->macroPath : std::string(), ip.runner().defaultPath);
    result.setReal(0);
    return err;
}

int setParameterStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    int32_t index = args[0].l;
    if (index < 0 || index >= 32) return kBadIndex;
    ip.parameters[static_cast<size_t>(index)] = toInt32Saturated(args[1].number);
    return kOk;
}

// Set(v, x): the assignment as an expression.
int setFunction(Interpreter&, CallArgs& args, MCVal& result) {
    *args[0].var.number = args[1].number;
    result.setReal(args[1].number);
    return kOk;
}

// Add, Subtract, Multiply, Divide, AddPtr on a numeric variable.
int arithmeticStatement(Interpreter&, CallArgs& args, MCVal&) {
    double& v = *args[0].var.number;
    double x = args.code == kAddPtr ? static_cast<double>(args[1].l) : args[1].number;
    switch (args.code) {
    case kAdd:
    case kAddPtr: v += x; break;
    case kSubtract: v -= x; break;
    case kMultiply: v *= x; break;
    case kDivide: v /= x; break;
    default: break;
    }
    return kOk;
}

}  // namespace

bool isReservedFunctionName(std::string_view name) {
    if (name.size() < 2 || name.size() > 4) return false;
    static constexpr std::string_view kWords[] = {"and", "or", "xor", "div", "mod", "fmod", "mul"};
    for (std::string_view word : kWords) {
        if (word.size() != name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < word.size(); ++i) same = same && (name[i] | 0x20) == word[i];
        if (same) return true;
    }
    return false;
}

void registerControlStatements(Interpreter& ip) {
    ip.registerCommand(kLoop, loopStatement);
    ip.registerCommand(kEndLoop, endLoopStatement);
    ip.registerCommand(kBreakLoop, breakLoopStatement);
    ip.registerCommand(kContinue, continueStatement);
    ip.registerCommand(kIf, ifStatement);
    ip.registerCommand(kElseIf, elseIfStatement);
    ip.registerCommand(kElse, elseStatement);
    ip.registerCommand(kEndIf, endIfStatement);
    ip.registerCommand(kDoIf, doIfStatement);
    for (int code : {kIfEqual, kIfNotEqual, kIfAbove, kIfNotAbove}) ip.registerCommand(code, compareStatement);
    ip.registerCommand(kGoTo, goToStatement);
    ip.registerCommand(kGoSub, goSubStatement);
    ip.registerCommand(kLabel, labelStatement);
    ip.registerCommand(kFunction, functionStatement);
    ip.registerCommand(kReturn, returnStatement);
    ip.registerCommand(kEnd, endStatement);
    for (int code : {kStartMacro, kCallMacro, kCallCommon}) ip.registerCommand(code, startMacroStatement);
    ip.registerCommand(kLoadMacro, loadMacroStatement);
    ip.registerCommand(kStop, stopStatement);
    ip.registerCommand(kBreak, breakStatement);
    ip.registerCommand(kPause, pauseStatement);
    ip.registerCommand(kTerminate, terminateStatement);
    ip.registerCommand(kSetExitCommand, setExitCommandStatement);
    ip.registerCommand(kAssert, assertStatement);
    ip.registerCommand(kSetBreak, setBreakStatement);
    ip.registerCommand(kDisableWait, disableWaitStatement);
    ip.registerCommand(kDisableMsg, disableMsgStatement);
    ip.registerCommand(kAddPool, addPoolStatement);
    ip.registerCommand(kSetParameter, setParameterStatement);
    ip.registerCommand(kSetFunction, setFunction);
    for (int code : {kAdd, kSubtract, kMultiply, kDivide, kAddPtr}) ip.registerCommand(code, arithmeticStatement);
}

}  // namespace tvx::interp
