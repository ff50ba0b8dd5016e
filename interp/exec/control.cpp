// Control flow: loops, conditionals, jumps, subroutines, macro functions,
// starting other macros, stopping.
#include "interp/exec/control.h"

#include "interp/codes.h"
#include "interp/eval/evaluator.h"
#include "interp/eval/scanner.h"
#include "interp/exec/context.h"
#include "interp/exec/runner.h"
#include "interp/interpreter.h"
#include "interp/symbols/assign.h"
#include "interp/values/number.h"

namespace tvx::interp {

namespace {

MacroContext& context(Interpreter& ip) { return *ip.runner().current(); }

bool present(const CallArgs& args, int i) { return args.present(i); }

// ---- Loops

Error loopStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroContext& ctx = context(ip);
    if (ctx.loopLevel >= kMaxLoopLevels) return kTooManyLoops;
    int32_t count = present(args, 0) ? args.l(0) : 0;
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
        if (atEndLoop)
            --ctx.loopLevel;  // the line after EndLoop follows
        else
            leaveLoop(ctx);
        return;
    }
    ++ctx.loopIndexes[level];
    ctx.nextLine = ctx.loopStarts[level];
}

Error endLoopStatement(Interpreter& ip, CallArgs&, MCVal&) { return endLoop(context(ip)); }

Error breakLoopStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroContext& ctx = context(ip);
    if (present(args, 0) && args.l(0) == 0) return kOk;
    if (ctx.loopLevel == 0) return kMatchingLoopMissing;
    leaveLoop(ctx);
    return kOk;
}

Error continueStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroContext& ctx = context(ip);
    if (present(args, 0) && args.l(0) == 0) return kOk;
    if (ctx.loopLevel == 0) return kMatchingLoopMissing;
    endOfPass(ctx, false);
    return kOk;
}

// ---- Conditionals

Error ifStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    ifCondition(context(ip), args.l(0));
    return kOk;
}

Error elseIfStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroContext& ctx = context(ip);
    if (isIfSkip(ctx.skipState)) {
        // Met while skipping a false branch: a new If.
        if (args.l(0) != 0) ctx.skipState = 0;
        return kOk;
    }
    ctx.skipState = kSkipIfTaken;  // the taken branch ends here
    ctx.skipNesting = 0;
    return kOk;
}

Error elseStatement(Interpreter& ip, CallArgs&, MCVal&) {
    MacroContext& ctx = context(ip);
    ctx.skipState = kSkipIfTaken;
    ctx.skipNesting = 0;
    return kOk;
}

Error endIfStatement(Interpreter&, CallArgs&, MCVal&) { return kOk; }

Error doIfStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    if (args.l(0) == 0) context(ip).skipState = kSkipOneLine;
    return kOk;
}

Error compareStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    double a = args.number(0), b = args.number(1);
    bool holds = false;
    switch (args.code) {
    case cmd::IfEqual: holds = a == b; break;
    case cmd::IfNotEqual: holds = a != b; break;
    case cmd::IfAbove: holds = a > b; break;
    case cmd::IfNotAbove: holds = a <= b; break;
    default: break;
    }
    if (!holds) context(ip).skipState = kSkipOneLine;
    return kOk;
}

// ---- Jumps and calls

Error jumpTo(MacroContext& ctx, int id) {
    size_t position = ctx.labels.position(id);
    if (position != SIZE_MAX) {
        ctx.nextLine = position;
    } else {
        ctx.skipState = static_cast<uint16_t>(id);  // forward search from here
        ctx.skipNesting = 0;
    }
    return kOk;
}

Error goToStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroContext& ctx = context(ip);
    int id = ctx.labels.idOf(args.text(0));
    if (id == 0) return kOutOfMemory;
    return jumpTo(ctx, id);
}

Error goSubStatement(Interpreter& ip, CallArgs& args, MCVal&) {
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
    frame.local = ip.symbols().localTable;  // a subroutine sees the caller's locals
    frame.staticsFunctionId = ip.symbols().staticsFunctionId;
    return jumpTo(ctx, id);
}

Error labelStatement(Interpreter& ip, CallArgs& args, MCVal&) {
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
        if (i + 2 < text.size() && isCharLiteral(text.data(), text.data() + i)) {
            i += 2;  // a character literal: its ',' or bracket separates nothing
            continue;
        }
        if (c == '(' || c == '[')
            ++depth;
        else if ((c == ')' || c == ']') && depth > 0)
            --depth;
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
Error bindArguments(Interpreter& ip, MacroContext& ctx, int level,
                    const std::vector<FormalParameter>& names) {
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
    // The list comes from the runner's reusable stack of lists: an argument
    // may call a function, whose binding takes lists of its own meanwhile.
    // A compiled line hands its arguments over split already.
    Runner& runner = ip.runner();
    std::vector<std::string_view>& actuals = runner.takeList();
    struct GiveBack {
        Runner& runner;
        ~GiveBack() { runner.giveBackLists(1); }
    } giveBack{runner};
    const std::vector<std::string>* split = call.actuals;
    if (!split) splitList(call.argumentText, actuals);
    size_t actualCount = split ? split->size() : actuals.size();

    // The actual arguments are read in the caller's scope.
    Symbols& symbols = ip.symbols();
    symbols.macroTable = call.callerMacro ? call.callerMacro : ctx.symbols;
    symbols.localTable = call.callerLocal;
    symbols.staticsFunctionId = call.callerStaticsId;
    Error result = kOk;
    for (size_t i = 0; i < names.size() && result == kOk; ++i) {
        const FormalParameter& formal = names[i];
        if (!formal.valid) {
            result = kBadSymbolName;
            break;
        }
        std::string_view name = formal.name;
        bool byReference = formal.byReference;
        int index = local.find(name, formal.hash);
        if (index == 0) index = local.create(name, formal.hash);
        if (index == 0) {
            result = kOutOfMemory;
            break;
        }
        if (i >= actualCount || (split ? (*split)[i].empty() : actuals[i].empty()))
            continue;  // created without a value
        if (!byReference && i < kMaxPrecomputedArguments && (call.precomputed >> i & 1u)) {
            // A number the calling line computed, as its text would give it here.
            MCVal value;
            value.setReal(call.values[i]);
            if (Error err = replaceValue(local.at(index), value)) result = err;
            continue;
        }
        std::string copy;
        if (!split) copy.assign(actuals[i]);
        const char* p = split ? (*split)[i].c_str() : copy.c_str();
        if (byReference) {
            Designator d;
            Error err = ip.evaluator().designate(p, Creation::Create, d);
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
            Error err = ip.evaluator().designate(q, Creation::Find, d);
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
        Error err = ip.evaluator().numeric(p, kLimitAssignment, value);
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

Error functionStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    return runFunctionLine(ip, args.text(0), args.text(1));
}

}  // namespace

void splitArguments(std::string_view argumentText, std::vector<std::string_view>& out) {
    splitList(argumentText.substr(0, kMaxArgumentText), out);
}

Error endLoop(MacroContext& ctx) {
    if (ctx.loopLevel == 0) return kEndLoopWithoutLoop;
    endOfPass(ctx, true);
    return kOk;
}

void readFormalParameters(std::string_view formals, std::vector<FormalParameter>& out) {
    out.clear();
    while (!formals.empty() && isBlank(formals.front())) formals.remove_prefix(1);
    if (!formals.empty() && formals.front() == '(') {
        formals.remove_prefix(1);
        size_t close = formals.rfind(')');
        if (close != std::string_view::npos) formals = formals.substr(0, close);
    }
    std::vector<std::string_view> names;
    splitList(formals, names);
    for (std::string_view name : names) {
        FormalParameter& formal = out.emplace_back();
        formal.byReference = !name.empty() && name.front() == '&';
        if (formal.byReference) name.remove_prefix(1);
        while (!name.empty() && isBlank(name.front())) name.remove_prefix(1);
        formal.valid = !name.empty() && !isDigit(name.front());
        for (char c : name) formal.valid = formal.valid && isNameChar(c);
        formal.name = name;
        formal.hash = NameTable::hash(name);
    }
}

Error runFunctionLine(Interpreter& ip, std::string_view name, std::string_view formals,
                      const std::vector<FormalParameter>* read, int knownId) {
    MacroContext& ctx = context(ip);
    if (!knownId && isReservedFunctionName(name)) return kReservedFunctionName;
    int id = knownId ? knownId : ctx.labels.idOf(name);
    if (id == 0) return kOutOfMemory;
    ctx.labels.markFunction(id);
    if (ctx.skipState == id) ctx.skipState = 0;
    size_t known = ctx.labels.position(id);
    if (known != SIZE_MAX && known != ctx.lineStart) return kLabelRedefined;
    ctx.labels.setPosition(id, ctx.lineStart);
    if (ctx.callPending && ctx.pendingCall.functionId == id) {
        if (read) return bindArguments(ip, ctx, ctx.callLevel, *read);
        std::vector<FormalParameter> parameters;
        readFormalParameters(formals, parameters);
        return bindArguments(ip, ctx, ctx.callLevel, parameters);
    }
    return kOk;
}

namespace {

// Return from the innermost call level (value: the function's result).
Error returnFromCall(Interpreter& ip, MacroContext& ctx, MCVal* value) {
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
    ip.symbols().localTable = below ? below->local : nullptr;
    ip.symbols().staticsFunctionId = below ? below->staticsFunctionId : 0;
    if (ctx.loopLevel != frame.loopLevel) {
        ctx.loopLevel = frame.loopLevel;
        return kLoopWithoutEndLoop;
    }
    return kOk;
}

Error endMacro(MacroContext& ctx) {
    ctx.ended = true;
    if (ctx.loopLevel > 0) {
        ctx.loopLevel = 0;
        return kLoopWithoutEndLoop;
    }
    return kOk;
}

Error returnStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    return returnWith(ip, context(ip), present(args, 0) ? args.value(0) : nullptr);
}

Error endStatement(Interpreter& ip, CallArgs&, MCVal&) {
    MacroContext& ctx = context(ip);
    if (ctx.callLevel == 0) return endMacro(ctx);
    return returnFromCall(ip, ctx, nullptr);
}

// ---- Starting macros, stopping

Error startMacroStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    CallKind kind = args.code == cmd::CallMacro    ? CallKind::Call
                    : args.code == cmd::CallCommon ? CallKind::Common
                                                   : CallKind::Start;
    return ip.runner().requestMacro(kind, args.text(0), args.text(1), present(args, 2) ? args.l(2) : 0);
}

Error loadMacroStatement(Interpreter&, CallArgs&, MCVal&) { return kOk; }

Error stopStatement(Interpreter& ip, CallArgs&, MCVal&) {
    ip.setRunState(ip.runState() | (kRunPaused));
    return kOk;
}

Error breakStatement(Interpreter& ip, CallArgs&, MCVal&) {
    ip.setRunState(0);
    return kOk;
}

Error pauseStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    ip.runner().pause(args.number(0));
    return kOk;
}

Error terminateStatement(Interpreter& ip, CallArgs&, MCVal&) {
    ip.host().postQuit();
    ip.setRunState(0);
    return kOk;
}

Error setExitCommandStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    ip.runner().setExitCommand(args.text(0));
    return kOk;
}

Error assertStatement(Interpreter&, CallArgs& args, MCVal&) {
    return args.l(0) == 0 ? kAssertionFailed : kOk;
}

Error setBreakStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    uint32_t mask = static_cast<uint32_t>(args.i(0)) & 0xF;
    if (args.i(1) != 0)
        ip.setRunOptions(ip.runOptions() | (mask));
    else
        ip.setRunOptions(ip.runOptions() & (~mask));
    return kOk;
}

Error disableWaitStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    if (args.i(0) & 1)
        ip.setRunOptions(ip.runOptions() | (kOptNoWaitPumping));
    else
        ip.setRunOptions(ip.runOptions() & (~static_cast<uint32_t>(kOptNoWaitPumping)));
    ip.disableWaitSwitch = (args.i(0) & 2) != 0;
    return kOk;
}

Error disableMsgStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    if (args.i(0) != 0)
        ip.setRunOptions(ip.runOptions() | (kOptNoMessagePumping));
    else
        ip.setRunOptions(ip.runOptions() & (~static_cast<uint32_t>(kOptNoMessagePumping)));
    return kOk;
}

Error addPoolStatement(Interpreter& ip, CallArgs& args, MCVal& result) {
    MacroContext* ctx = ip.runner().current();
    Error err = ip.runner().sources.addPool(args.text(0), present(args, 1) ? args.l(1) : 0,
                                            ctx ? ctx->macroPath : std::string(), ip.programDirectory());
    result.setReal(0);
    return err;
}

Error setParameterStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    int32_t index = args.l(0);
    if (index < 0 || index >= 32) return kBadIndex;
    ip.results().parameters[static_cast<size_t>(index)] = toInt32Saturated(args.number(1));
    return kOk;
}

}  // namespace

void ifCondition(MacroContext& ctx, int32_t condition) {
    if (condition == 0) {
        ctx.skipState = kSkipIfFalse;
        ctx.skipNesting = 0;
    }
}

Error returnWith(Interpreter& ip, MacroContext& ctx, MCVal* value) {
    if (ctx.callLevel == 0) {
        if (ctx.called) return endMacro(ctx);
        return kReturnWithoutGoSub;
    }
    return returnFromCall(ip, ctx, value);
}

bool isReservedFunctionName(std::string_view name) {
    if (name.size() < 2 || name.size() > 4) return false;
    char lower[4];
    for (size_t i = 0; i < name.size(); ++i) lower[i] = static_cast<char>(name[i] | 0x20);
    std::string_view word(lower, name.size());
    return word == "and" || word == "or" || word == "xor" || word == "div" || word == "mod" ||
           word == "fmod" || word == "mul";
}

constexpr CommandRow kControlStatementsRows[] = {
    {cmd::Loop, loopStatement},
    {cmd::EndLoop, endLoopStatement},
    {cmd::BreakLoop, breakLoopStatement},
    {cmd::Continue, continueStatement},
    {cmd::If, ifStatement},
    {cmd::ElseIf, elseIfStatement},
    {cmd::Else, elseStatement},
    {cmd::EndIf, endIfStatement},
    {cmd::DoIf, doIfStatement},
    {cmd::GoTo, goToStatement},
    {cmd::GoSub, goSubStatement},
    {cmd::Label, labelStatement},
    {cmd::Function, functionStatement},
    {cmd::Return, returnStatement},
    {cmd::End, endStatement},
    {cmd::LoadMacro, loadMacroStatement},
    {cmd::Stop, stopStatement},
    {cmd::Break, breakStatement},
    {cmd::Pause, pauseStatement},
    {cmd::Terminate, terminateStatement},
    {cmd::SetExitCommand, setExitCommandStatement},
    {cmd::Assert, assertStatement},
    {cmd::SetBreak, setBreakStatement},
    {cmd::DisableWait, disableWaitStatement},
    {cmd::DisableMsg, disableMsgStatement},
    {cmd::AddPool, addPoolStatement},
    {cmd::SetParameter, setParameterStatement},
    {cmd::IfEqual, compareStatement},
    {cmd::IfNotEqual, compareStatement},
    {cmd::IfAbove, compareStatement},
    {cmd::IfNotAbove, compareStatement},
    {cmd::StartMacro, startMacroStatement},
    {cmd::CallMacro, startMacroStatement},
    {cmd::CallCommon, startMacroStatement},
};

void registerControlStatements(Interpreter& ip) { ip.install({"control", kControlStatementsRows}); }

}  // namespace tvx::interp
