#include "interp/exec/runner.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "interp/codes.h"
#include "interp/eval/evaluator.h"
#include "interp/eval/scanner.h"
#include "interp/exec/control.h"
#include "interp/exec/lineinterp.h"
#include "interp/exec/persistence.h"
#include "interp/interpreter.h"
#include "interp/source/lines.h"
#include "interp/stackguard.h"
#include "interp/values/handles.h"
#include "platform/clock.h"
#include "platform/ini.h"

namespace tvx::interp {

namespace {

constexpr int kMaxNestedMacros = 4094;
constexpr int kMaxOpenBoxes = 3;
constexpr size_t kMaxRequestName = 511;
constexpr size_t kMaxLabelName = 127;

// Milliseconds from a coarse clock: cheap enough to read after every line.
uint64_t coarseMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

std::string errorBoxText(const Interpreter& ip, int n, const std::string& line) {
    std::string text;
    std::string message(ip.messageText(800 + n));
    if (n >= 100)
        text = "Syntax Error " + std::to_string(n);
    else if (n >= 1 && n <= 3)
        text = "Syntax Error: " + message;
    else
        text = "Error: " + message;
    if (!line.empty() && line.size() < 150) text += "\n\n" + line;
    return text;
}

}  // namespace

Runner::Runner(Interpreter& ip) : ip_(ip) {}

Runner::~Runner() {
    while (!stack_.empty()) stack_.pop_back();
}

void Runner::configure(const RunnerConfig& config) {
    sources.programDirectory = config.programDirectory;
    sources.workingDirectory = config.workingDirectory;
    sources.drives = config.drives;
    sources.poolSetting = config.poolSetting;
    long long depth = config.callStack + 1;
    if (depth < 32) depth = 32;
    if (depth > 1001) depth = 1001;
    callDepth_ = static_cast<int>(depth);
    compiledLines_ = config.compiledLines;
    ip_.evaluator().compileExpressions(config.compiledLines);
    lineBudget_ = config.lineBudget;
}

std::vector<std::string_view>& Runner::takeList() {
    if (listsTaken_ == lists_.size()) lists_.emplace_back();
    std::vector<std::string_view>& list = lists_[listsTaken_++];
    list.clear();
    return list;
}

std::vector<MadeCall>& Runner::takeCallList() {
    if (callListsTaken_ == callLists_.size()) callLists_.emplace_back();
    return callLists_[callListsTaken_++];
}

void Runner::giveBackCallList() {
    if (callListsTaken_ > 0) callLists_[--callListsTaken_].clear();  // results held no longer
}

void Runner::applyScope(MacroContext& ctx) {
    Symbols& symbols = ip_.symbols();
    symbols.macroTable = ctx.symbols;
    symbols.locals = &ctx;
    if (ctx.callLevel > 0 && static_cast<size_t>(ctx.callLevel) < ctx.frames.size()) {
        const CallFrame& frame = ctx.frames[static_cast<size_t>(ctx.callLevel)];
        symbols.localTable = frame.local;
        symbols.staticsFunctionId = frame.staticsFunctionId;
    } else {
        symbols.localTable = nullptr;
        symbols.staticsFunctionId = 0;
    }
}

// ---- Starting and ending macros

bool Runner::startContext(const StartRequest& request, CallKind kind) {
    MacroContext* caller = current();
    LoadedMacro loaded;
    std::string runningDirectory = caller ? caller->macroPath : request.baseDirectory;
    if (!sources.load(request.name, runningDirectory, request.bypassCache, request.commandLine, loaded))
        return false;

    auto ctx = std::make_unique<MacroContext>();
    ctx->text = loaded.text;
    ctx->macroPath = loaded.oneLine && caller ? caller->macroPath : loaded.directory;
    ctx->fileName = loaded.fileName;
    ctx->callDepth = callDepth_;
    ctx->frames.resize(2);
    ctx->called = caller != nullptr;
    ctx->saved = {ip_.symbols().groupName, ip_.symbols().permanentFile, ip_.symbols().persistenceOn};
    if (kind == CallKind::Common && caller) {
        ctx->symbols = caller->symbols;
    } else {
        ctx->ownSymbols = std::make_unique<SymbolTable>(kMacroSpace, kMacroTableEntries, kMacroTableBuckets,
                                                        kMacroTableText);
        ctx->symbols = ctx->ownSymbols.get();
        ip_.symbols().persistenceOn = false;
    }
    if (kind != CallKind::Common && !loaded.oneLine) ip_.symbols().groupName = loaded.fileName.substr(0, 59);

    bool badLabel = false;
    if (!request.label.empty()) {
        // The run begins with a forward search for the entry label.
        std::string_view label(request.label);
        bool valid = !isDigit(label[0]);
        for (char c : label) valid = valid && isNameChar(c);
        if (valid)
            ctx->skipState = static_cast<uint16_t>(ctx->labels.idOf(label));
        else
            badLabel = true;
    }
    stack_.push_back(std::move(ctx));
    applyScope(*current());
    if (badLabel) {
        current()->lineStore = request.label;
        current()->currentLine = current()->lineStore;
        reportError(kBadSymbolName);
        finishContext(false);
        return true;  // found, but not run
    }
    ip_.runState_ |= kRunRunning;
    return true;
}

void Runner::finishContext(bool topLevel) {
    MacroContext& ctx = *current();
    if (!topLevel && ctx.ownSymbols && ip_.symbols().persistenceOn) savePermanentVariables(ip_);
    ip_.symbols().groupName = ctx.saved.groupName;
    ip_.symbols().permanentFile = ctx.saved.permanentFile;
    ip_.symbols().persistenceOn = ctx.saved.persistenceOn;
    stack_.pop_back();
    applyScope(current() ? *current() : none_);
}

void Runner::endOfTopLevel() {
    MacroContext& ctx = *current();
    if (!exitCommand_.empty()) {
        // One logical line, or several lines each in square brackets.
        std::string command = std::move(exitCommand_);
        exitCommand_.clear();
        ip_.runState_ |= kRunRunning;
        std::string_view rest(command);
        size_t first = rest.find_first_not_of(" \t");
        if (first != std::string_view::npos && rest[first] == '[') {
            while (true) {
                size_t open = rest.find('[');
                if (open == std::string_view::npos) break;
                size_t close = rest.find(']', open);
                if (close == std::string_view::npos) close = rest.size();
                (void)executeImmediate(rest.substr(open + 1, close - open - 1));  // errors are shown
                if (close >= rest.size()) break;
                rest.remove_prefix(close + 1);
            }
        } else {
            (void)executeImmediate(rest);  // errors are shown
        }
    }
    pump(500);
    if (ip_.symbols().persistenceOn) savePermanentVariables(ip_);
    storeGlobalVariables(ip_);
    ctx.symbols->clear();
    ip_.symbols().deleteAllObjects();
    libraries_.clear();
    ip_.endOfRun();
    ip_.runState_ &= static_cast<uint8_t>(~kRunRunning);
}

bool Runner::run(const StartRequest& request) {
    VariablesHeld hold(ip_);
    StartRequest next = request;
    next.name.resize(std::min(next.name.size(), kMaxRequestName));
    next.label.resize(std::min(next.label.size(), kMaxLabelName));
    bool first = true;
    linesLeft_ = lineBudget_;
    while (true) {
        ip_.runState_ &= kRunSingleStep;
        ip_.lastError_ = 0;
        ip_.work().reset();
        exitCommand_.clear();
        ip_.symbols().permanentFile = "mcvarprm.ini";
        if (!next.bypassCache) sources.clearCache();
        if (first && !next.result.empty()) ip_.results().text = next.result.substr(0, 511);
        if (!startContext(next, CallKind::Start)) {
            ip_.runState_ = static_cast<uint8_t>((ip_.runState_ & ~kRunRunning) | kRunErrorPending);
            if (first) return false;
            // A macro that StartMacro asked for is missing.
            reportMacroNotFound(next);
            return true;
        }
        driveCalls(0);
        if (!startPending_) return true;
        next = std::move(pendingStart_);
        startPending_ = false;
        first = false;
    }
}

void Runner::driveCalls(size_t baseDepth, bool keepBottom) {
    const size_t keep = keepBottom ? baseDepth + 1 : baseDepth;
    while (stack_.size() > baseDepth) {
        MacroContext& ctx = *current();
        LoopExit exit = runLoop(ctx, 0);
        if (exit == LoopExit::CallPending) {
            PendingRequest pending = std::move(pendingRequest_);
            pendingRequest_.active = false;
            ip_.runState_ &= static_cast<uint8_t>(~kRunCallPending);
            if (pending.kind == CallKind::Start) {
                // StartMacro inside a chain of calls replaces the current macro.
                MacroContext* replaced = current();
                std::string base = replaced->macroPath;
                finishContext(false);
                pending.request.baseDirectory = base;
                if (!startContext(pending.request, CallKind::Call)) reportMacroNotFound(pending.request);
                continue;
            }
            if (nestedCalls() >= kMaxNestedMacros) {
                reportError(kTooManyNestedMacros);
                continue;
            }
            if (!startContext(pending.request, pending.kind)) reportMacroNotFound(pending.request);
            continue;
        }
        bool bottom = stack_.size() == baseDepth + 1;
        if (bottom && keepBottom) return;
        if (bottom && baseDepth == 0) endOfTopLevel();
        finishContext(bottom && baseDepth == 0);
        if (exit == LoopExit::Stopped) {
            // Break, a stop from the user, or an error that stops: the whole chain ends.
            while (stack_.size() > keep) {
                if (stack_.size() == 1 && baseDepth == 0) endOfTopLevel();
                finishContext(stack_.size() == 1 && baseDepth == 0);
            }
            if (keepBottom) return;  // the kept context does not run on after a stop
        }
    }
}

// ---- Console sessions

std::unique_ptr<MacroContext> Runner::sessionContext(std::shared_ptr<const std::string> text) {
    if (!sessionSymbols_)
        sessionSymbols_ = std::make_unique<SymbolTable>(kMacroSpace, kMacroTableEntries, kMacroTableBuckets,
                                                        kMacroTableText);
    auto ctx = std::make_unique<MacroContext>();
    ctx->text = std::move(text);
    ctx->macroPath = sources.workingDirectory;  // a relative name is found as from the command line
    ctx->callDepth = callDepth_;
    ctx->frames.resize(2);
    ctx->symbols = sessionSymbols_.get();
    ctx->saved = {ip_.symbols().groupName, ip_.symbols().permanentFile, ip_.symbols().persistenceOn};
    return ctx;
}

void Runner::runInSession(std::string_view text) {
    if (!stack_.empty()) return;
    if (!sessionSymbols_) ip_.symbols().permanentFile = "mcvarprm.ini";
    ip_.runState_ &= kRunSingleStep;
    ip_.lastError_ = 0;
    ip_.work().reset();
    sources.clearCache();  // a macro file edited since the last text is read anew
    stack_.push_back(sessionContext(std::make_shared<const std::string>(text)));
    applyScope(*current());
    ip_.runState_ |= kRunRunning;
    driveCalls(0, true);
    finishContext(false);
    ip_.runState_ &= static_cast<uint8_t>(~kRunRunning);
    if (startPending_) {
        // StartMacro: the macro runs on its own, as after the end of a macro.
        StartRequest next = std::move(pendingStart_);
        startPending_ = false;
        if (!run(next)) reportMacroNotFound(next);
    }
}

void Runner::endSession() {
    if (!sessionSymbols_ || !stack_.empty()) return;
    stack_.push_back(sessionContext(std::make_shared<const std::string>()));
    applyScope(*current());
    endOfTopLevel();
    finishContext(true);
    sessionSymbols_.reset();
}

Error Runner::requestMacro(CallKind kind, std::string_view name, std::string_view label, int flag) {
    StartRequest request;
    request.name = std::string(name.substr(0, kMaxRequestName));
    request.label = std::string(label.substr(0, kMaxLabelName));
    request.bypassCache = flag != 0;
    if (MacroContext* ctx = current()) {
        request.baseDirectory = ctx->macroPath;
        request.sourceLine = std::string(ctx->currentLine);
    }
    if (kind == CallKind::Start && nestedCalls() == 0) {
        // Ends the running macro; the new one starts after it has been cleaned up.
        pendingStart_ = std::move(request);
        startPending_ = true;
        ip_.runState_ &= static_cast<uint8_t>(~kRunRunning);
        return kOk;
    }
    if (kind != CallKind::Start && nestedCalls() >= kMaxNestedMacros) return kTooManyNestedMacros;
    if (nestedLoops_ > 0) {
        // Inside a function call in an expression the call runs here and now.
        if (kind == CallKind::Start) {
            pendingStart_ = std::move(request);
            startPending_ = true;
            ip_.runState_ &= static_cast<uint8_t>(~kRunRunning);
            return kOk;
        }
        size_t depth = stack_.size();
        if (!startContext(request, kind)) {
            reportMacroNotFound(request);
            return kOk;  // reported with the macro's name
        }
        int saved = nestedLoops_;
        nestedLoops_ = 0;
        driveCalls(depth);
        nestedLoops_ = saved;
        return kOk;
    }
    pendingRequest_ = {kind, std::move(request), true};
    ip_.runState_ |= kRunCallPending;
    return kOk;
}

Error Runner::executeImmediate(std::string_view text) {
    VariablesHeld hold(ip_);
    MacroContext* ctx = current();
    std::unique_ptr<MacroContext> fresh;
    if (!ctx) {
        fresh = std::make_unique<MacroContext>();
        fresh->ownSymbols = std::make_unique<SymbolTable>(kMacroSpace, kMacroTableEntries, kMacroTableBuckets,
                                                          kMacroTableText);
        fresh->symbols = fresh->ownSymbols.get();
        fresh->frames.resize(2);
        ctx = fresh.get();
        applyScope(*ctx);
    }
    std::string line(text);
    std::string_view savedLine = ctx->currentLine;
    bool savedCut = ctx->cutIntoLines;
    ctx->currentLine = line;
    ctx->cutIntoLines = false;
    Error err = LineInterpreter::execute(ip_, *ctx, line.c_str(), false);
    if (err) reportError(err);
    ctx->cutIntoLines = savedCut;
    ctx->currentLine = savedLine;
    if (fresh) applyScope(none_);
    return err;
}

// ---- The run loop

namespace {

// True when the line that just ran began skipping to the end of a branch: a
// false If, or the Else or ElseIf behind a branch taken.
bool beginsBranchSkip(Interpreter& ip, CachedLine& line, uint16_t skipState) {
    if (skipState != kSkipIfFalse && skipState != kSkipIfTaken) return false;
    if (line.skipWord == CachedLine::kSkipWordUnknown)
        line.skipWord = LineInterpreter::skipWord(ip, line.text.c_str());
    if (skipState == kSkipIfFalse) return line.skipWord == cmd::If;
    return line.skipWord == cmd::Else || line.skipWord == cmd::ElseIf;
}

}  // namespace

inline bool Runner::watched() const {
    const DebugControl& debug = ip_.debug_;
    return (ip_.runState_ & (kRunSingleStep | kRunPaused | kRunCommandPending)) ||
           debug.mode != DebugRun::None || !debug.breakpoints.empty() || debug.jumpLine > 0;
}

void Runner::pumpWhenDue() {
    uint64_t now = coarseMs();
    if (now == pumpTick_) return;
    uint64_t elapsed = now - pumpTick_;
    pumpTick_ = now;
    pump(static_cast<int>(((elapsed * 2) & 0x7FFE) + 1));
}

bool Runner::paceNativeCalls() {
    if (!(ip_.runOptions_ & kOptNoMessagePumping)) pumpWhenDue();
    return (ip_.runState_ & kRunRunning) && !watched();
}

// Not while the debugger watches each line.
[[gnu::always_inline]] inline void Runner::skipBranchAtOnce(MacroContext& ctx, CachedLine& line) {
    if (ctx.skipNesting != 0 || ctx.nextLine != line.where.next || ip_.evaluator().continuedTo) return;
    if (!beginsBranchSkip(ip_, line, ctx.skipState)) return;
    size_t end =
        line.skipEnd != CachedLine::kNotLookedFor ? line.skipEnd : LineInterpreter::skipEnd(ip_, ctx, line);
    if (end == SIZE_MAX || watched()) return;
    // A line budget counts the lines passed by as skipping them would, and
    // they are skipped one by one where it would run out among them.
    if (lineBudget_ != 0) {
        if (linesLeft_ <= line.skipLines) return;
        linesLeft_ -= line.skipLines;
    }
    ctx.skipState = 0;
    ctx.nextLine = end;
    if (end > ctx.furthest) ctx.furthest = end;
    // The run stands on the last line passed, as skipping line by line leaves
    // it (an error at the end of the text shows that line).
    const CachedLine& last = *line.skipLast;
    ctx.lineStart = last.where.start;
    ctx.lineEnd = last.where.end;
    ctx.currentLine = last.text;
}

Runner::LoopExit Runner::runLoop(MacroContext& ctx, int entryLevel) {
    Evaluator& ev = ip_.evaluator();
    std::string_view text(*ctx.text);
    if (pumpTick_ == 0) pumpTick_ = coarseMs();
    CachedLine* previous = nullptr;
    while (true) {
        CachedLine* line;
        if (previous && previous->successorPosition == ctx.nextLine) {
            line = previous->successor;
        } else {
            // Past its budget the line cache starts afresh, here where none of its
            // lines is in use (no run loop runs inside a line of this context).
            // Lines reached as successors are in the cache already: only lines
            // met elsewhere, and the first run of each, make it grow.
            if (nestedLoops_ == 0 && ctx.lines.overBudget()) {
                ctx.lines.clear();
                previous = nullptr;
            }
            line = &ctx.lines.at(text, ctx.nextLine);
            if (previous) {
                previous->successorPosition = ctx.nextLine;
                previous->successor = line;
            }
        }
        previous = line;
        CachedLine& cached = *line;
        const LogicalLine& where = cached.where;
        LineStatus status = cached.status;
        if (status == LineStatus::End) {
            ctx.nextLine = where.next;
            Error err = endOfTextCheck(ctx);
            if (err) {
                reportError(err);
                continue;  // a function file may have been found
            }
            if (ctx.callLevel >= entryLevel && entryLevel > 0) {
                // A function ran off the end of the text without returning.
                ctx.currentLine = {};
                reportError(kUnexpectedEnd);
                while (ctx.callLevel >= entryLevel) --ctx.callLevel;
                applyScope(ctx);
                return LoopExit::Returned;
            }
            return (ip_.runState_ & kRunRunning) ? LoopExit::Ended : LoopExit::Stopped;
        }
        ctx.lineStart = where.start;
        ctx.lineEnd = where.end;
        ctx.nextLine = where.next;
        if (where.next > ctx.furthest) ctx.furthest = where.next;
        ctx.currentLine = cached.text;
        if (status == LineStatus::TooLong) {
            reportError(kLineTooLong);
            ip_.runState_ &= static_cast<uint8_t>(~kRunRunning);
            return LoopExit::Stopped;
        }
        // The debugger, a pause or a command from the window: none of them
        // while a macro simply runs, so one test passes them all by.
        if (watched()) {
            const DebugControl& debug = ip_.debug_;
            if (!ctx.skipState &&
                ((ip_.runState_ & kRunSingleStep) || debug.mode != DebugRun::None ||
                 !debug.breakpoints.empty()) &&
                where.start != ctx.declarationLine)
                debugCheck(ctx);
            while (ip_.runState_ & (kRunPaused | kRunCommandPending)) {
                {
                    VariablesLetGo away(ip_);
                    ip_.host().waitWhilePaused(ip_.runState_);
                }
                if (!(ip_.runState_ & kRunRunning)) return LoopExit::Stopped;
            }
            if (ip_.debug_.jumpLine > 0) {
                // Set next statement: the line halted at is not run; the run goes on
                // at the start of the chosen line (and halts there again).
                size_t target = lineOffset(text, ip_.debug_.jumpLine);
                ip_.debug_.jumpLine = 0;
                if (target != SIZE_MAX) {
                    ctx.nextLine = target;
                    previous = nullptr;
                    continue;
                }
            }
        }

        // The line, executed or only recognised.
        ev.continuationText = text.data() + where.end;
        ev.continuedTo = nullptr;
        Error err = kOk;
        bool passesFollow = false;
        if (where.start == ctx.declarationLine) continue;  // "Shared" is read by the loader, not run
        if (ctx.skipState) {
            if (cached.skipWord == CachedLine::kSkipWordUnknown)
                cached.skipWord = LineInterpreter::skipWord(ip_, cached.text.c_str());
            err = LineInterpreter::skip(ip_, ctx, cached.text.c_str(), cached.skipWord);
        } else if (cached.form == CachedLine::Form::kEndLoop && compiledLines_) {
            err = runEndLoop(ip_, ctx, cached);
            passesFollow = !err && ctx.nextLine != where.next;
        } else {
            if (!compiledLines_ || !runCompiledLine(ip_, ctx, cached, err)) {
                err = LineInterpreter::execute(ip_, ctx, cached.text.c_str(), true);
                endReplay();
            }
            // Text mode is the reference the compiled form is held to: it skips line by line.
            if (ctx.skipState != 0 && !err && compiledLines_) skipBranchAtOnce(ctx, cached);
        }
        if (ev.continuedTo) {
            // A matrix literal ran past the line: the line store goes on after its ']'.
            ctx.nextLine = static_cast<size_t>(ev.continuedTo - text.data());
            if (ctx.nextLine > ctx.furthest) ctx.furthest = ctx.nextLine;
            ev.continuedTo = nullptr;
        }
        if (err) reportError(err);
        if (lineBudget_ != 0) {
            if (linesLeft_ == 0) {
                ip_.runState_ &= static_cast<uint8_t>(~kRunRunning);
                startPending_ = false;
            } else {
                --linesLeft_;
            }
        }

        if (!(ip_.runState_ & kRunRunning)) return LoopExit::Stopped;
        if (entryLevel > 0 && ctx.callLevel < entryLevel) return LoopExit::Returned;
        if (ctx.ended) return LoopExit::Ended;
        if ((ip_.runState_ & kRunCallPending) && nestedLoops_ == 0) return LoopExit::CallPending;

        // The clock is read every few lines: cheap, and fine enough for pumping.
        if (!(ip_.runOptions_ & kOptNoMessagePumping) && ++linesSinceTick_ >= 16) {
            linesSinceTick_ = 0;
            pumpWhenDue();
            if (!(ip_.runState_ & kRunRunning)) return LoopExit::Stopped;
        }
        if (passesFollow && !runPassesAtOnce(ctx, cached, previous)) return LoopExit::Stopped;
    }
}

bool Runner::runPassesAtOnce(MacroContext& ctx, CachedLine& endLine, CachedLine*& previous) {
    // The body, as the line cache has linked it in running the first pass: each
    // line followed by the next one, up to this EndLoop.
    if (endLine.successorPosition != ctx.nextLine || watched() || ip_.symbols().lookupOnly) return true;
    constexpr uint64_t kMaxBodyLines = 64;
    uint64_t passLines = 1;
    for (CachedLine* line = endLine.successor; line != &endLine; line = line->successor) {
        if (!isPlainAssignment(*line) || line->successorPosition != line->where.next ||
            line->where.start == ctx.declarationLine || ++passLines > kMaxBodyLines)
            return true;
    }
    // Plain assignments change neither the flow nor the run state nor what the
    // debugger wants, and cannot fail without running from their text. So the
    // per-line work of the run loop is done once per pass: the line budget
    // (a pass starts only when all its lines fit), the clock, the stop.
    while (true) {
        if (lineBudget_ != 0 && linesLeft_ <= passLines) return true;
        CachedLine* before = &endLine;
        for (CachedLine* line = endLine.successor; line != &endLine; before = line, line = line->successor) {
            if (!runPlainAssignment(ip_, ctx, *line)) {
                // This line runs the usual way, from its text.
                ctx.nextLine = line->where.start;
                previous = before;
                return true;
            }
            if (lineBudget_ != 0) --linesLeft_;
        }
        ctx.nextLine = endLine.where.next;
        (void)runEndLoop(ip_, ctx, endLine);  // the loop is still open: it cannot fail
        if (lineBudget_ != 0) --linesLeft_;
        ++passesRunAtOnce_;
        if (ctx.nextLine == endLine.where.next) return true;  // the last pass: on after EndLoop
        if (!(ip_.runOptions_ & kOptNoMessagePumping) && (linesSinceTick_ += passLines) >= 16) {
            linesSinceTick_ = 0;
            uint64_t tick = pumpTick_;
            pumpWhenDue();
            // What was pumped may have stopped the run, asked to see lines, or run
            // a line in the macro (from the Watch Window or a peer), which may
            // have left the loop: the run loop goes on from where that left it.
            if (pumpTick_ != tick) return (ip_.runState_ & kRunRunning) != 0;
        }
        if (!(ip_.runState_ & kRunRunning)) return false;
    }
}

// ---- The debugger

int Runner::debugDepth() const {
    if (stack_.empty()) return 0;
    int depth = static_cast<int>(stack_.size()) - 1;
    for (const auto& ctx : stack_) depth += ctx->callLevel;
    return depth;
}

void Runner::debugCheck(MacroContext& ctx) {
    DebugControl& debug = ip_.debug_;
    bool halt = false;
    switch (debug.mode) {
    case DebugRun::None: halt = (ip_.runState_ & kRunSingleStep) != 0; break;
    case DebugRun::ToDepth:
    case DebugRun::StepOver: halt = debugDepth() <= debug.targetDepth; break;
    case DebugRun::ToLoopLevel: {
        int depth = debugDepth();
        halt = depth < debug.targetDepth || (depth == debug.targetDepth && ctx.loopLevel <= debug.targetLoop);
        break;
    }
    case DebugRun::ToCursor: {
        CursorRange& range = cursorRange_;
        bool sameMacro = debug.cursorFile.empty() || debug.cursorFile == ctx.fileName;
        if (!sameMacro) break;
        if (range.text.lock() != ctx.text || range.line != debug.cursorLine) {
            range.text = ctx.text;
            range.line = debug.cursorLine;
            range.begin = lineOffset(*ctx.text, debug.cursorLine);
            range.end = range.begin == SIZE_MAX ? SIZE_MAX : lineOffset(*ctx.text, debug.cursorLine + 1);
            if (range.end == SIZE_MAX) range.end = ctx.text->size() + 1;
        }
        halt = range.begin != SIZE_MAX && ctx.lineStart >= range.begin && ctx.lineStart < range.end;
        break;
    }
    }
    // A breakpoint halts whatever the debugger was asked for.
    if (!halt && !debug.breakpoints.empty()) halt = atBreakpoint(ctx);
    if (!halt) return;
    debug.mode = DebugRun::None;
    ++debug.halts;
    ip_.runState_ |= kRunSingleStep | kRunPaused;
    VariablesLetGo away(ip_);
    ip_.host().debugHalted();
}

bool Runner::atBreakpoint(const MacroContext& ctx) {
    auto entry = ip_.debug_.breakpoints.find(ctx.fileName);
    if (entry == ip_.debug_.breakpoints.end() || entry->second.empty() || !ctx.text) return false;
    BreakpointRanges& cache = breakpointRanges_;
    if (cache.text.lock() != ctx.text || cache.fileName != ctx.fileName || cache.lines != entry->second) {
        cache.text = ctx.text;
        cache.fileName = ctx.fileName;
        cache.lines = entry->second;
        cache.ranges.clear();
        for (int line : cache.lines) {
            size_t begin = lineOffset(*ctx.text, line);
            if (begin == SIZE_MAX) break;  // the lines are sorted: the rest lie past the end too
            size_t end = lineOffset(*ctx.text, line + 1);
            cache.ranges.emplace_back(begin, end == SIZE_MAX ? ctx.text->size() + 1 : end);
        }
    }
    auto after =
        std::upper_bound(cache.ranges.begin(), cache.ranges.end(), std::make_pair(ctx.lineStart, SIZE_MAX));
    if (after == cache.ranges.begin()) return false;
    --after;
    return ctx.lineStart >= after->first && ctx.lineStart < after->second;
}

bool Runner::debugPosition(DebugPosition& out) const {
    if (stack_.empty()) return false;
    const MacroContext& ctx = *stack_.back();
    out.fileName = ctx.fileName;
    out.path = ctx.macroPath;
    out.text = ctx.text;
    out.lineStart = ctx.lineStart;
    out.line = ctx.text ? lineNumberAt(*ctx.text, ctx.lineStart) : 0;
    out.depth = debugDepth();
    out.loopLevel = ctx.loopLevel;
    out.callLoopLevel = ctx.callLevel > 0 && static_cast<size_t>(ctx.callLevel) < ctx.frames.size()
                            ? ctx.frames[static_cast<size_t>(ctx.callLevel)].loopLevel
                            : 0;
    return true;
}

std::vector<HistoryEntry> Runner::callHistory() const {
    constexpr size_t kMaxHistoryText = 200;
    std::vector<HistoryEntry> entries;
    auto add = [&entries](const std::string& text, size_t pos, int level) {
        HistoryEntry entry;
        entry.level = level;
        entry.line = lineNumberAt(text, pos);
        // The physical line that holds pos, without its leading blanks.
        size_t start = lineOffset(text, entry.line);
        if (start == SIZE_MAX) start = pos;
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        size_t first = line.find_first_not_of(" \t");
        line = first == std::string_view::npos ? std::string_view() : line.substr(first);
        entry.text = std::string(line.substr(0, kMaxHistoryText));
        entries.push_back(std::move(entry));
    };
    int level = 0;
    for (const auto& ctx : stack_) {
        if (!ctx->text) continue;
        // The calls of this macro: where each was made, then where it stands now.
        for (int call = 1; call <= ctx->callLevel && static_cast<size_t>(call) < ctx->frames.size(); ++call)
            add(*ctx->text, ctx->frames[static_cast<size_t>(call)].callLineStart, level++);
        add(*ctx->text, ctx->lineStart, level++);
    }
    std::reverse(entries.begin(), entries.end());
    return entries;
}

Error Runner::evaluateWatch(std::string_view text, MCVal& out, std::string& stringOut, bool& isString) {
    VariablesHeld hold(ip_);
    std::unique_ptr<MacroContext> fresh;
    if (!current()) {
        fresh = std::make_unique<MacroContext>();
        fresh->ownSymbols = std::make_unique<SymbolTable>(kMacroSpace, kMacroTableEntries, kMacroTableBuckets,
                                                          kMacroTableText);
        fresh->symbols = fresh->ownSymbols.get();
        fresh->frames.resize(2);
        applyScope(*fresh);
    }
    Error err = ip_.evaluateText(text, out, stringOut, isString);
    // The value must outlive the scope it was read from.
    if (!err && !out.makeBlockOwned()) err = kOutOfMemory;
    if (fresh) applyScope(none_);
    return err;
}

Error Runner::endOfTextCheck(MacroContext& ctx) {
    uint16_t s = ctx.skipState;
    int nesting = ctx.skipNesting;
    ctx.skipState = 0;
    ctx.skipNesting = 0;
    if (isIfSkip(s) || isTakenSkip(s)) return kIfWithoutEndIf;
    if (isLoopSkip(s)) return kLoopWithoutEndLoop;
    if (isLabelSearch(s)) {
        (void)nesting;
        bool call = ctx.callPending && ctx.pendingCall.functionId == s;
        if (call) {
            // The function is not in this text: its caller looks for a function
            // file (or reports 801).
            ctx.callPending = false;
            if (ctx.callLevel > 0) --ctx.callLevel;
            applyScope(ctx);
            missingFunction_ = s;
            return kOk;
        }
        if (ctx.callLevel > 0 && ctx.frames[static_cast<size_t>(ctx.callLevel)].calledId == s) {
            // GoSub to a missing label: the call is given up.
            ctx.nextLine = ctx.frames[static_cast<size_t>(ctx.callLevel)].returnPosition;
            --ctx.callLevel;
        }
        return kLabelNotFound;
    }
    if (ctx.loopLevel > 0) {
        ctx.loopLevel = 0;
        return kLoopWithoutEndLoop;
    }
    return kOk;
}

// ---- Macro functions

PendingCall Runner::prepareCall(std::string_view name, std::string_view argumentText,
                                const KnownCall* known) {
    PendingCall call;
    if (known) {
        call.actuals = known->actuals;
        call.precomputed = known->precomputed;
        call.values = known->values;
    }
    if (!call.actuals) call.argumentText = std::string(argumentText.substr(0, kMaxArgumentText));
    call.callerMacro = ip_.symbols().macroTable;
    call.callerLocal = ip_.symbols().localTable;
    call.callerStaticsId = ip_.symbols().staticsFunctionId;
    size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) {
        // object.function(...): a local "this" will hold the object's handle.
        std::string holderName(name.substr(0, dot));
        const char* p = holderName.c_str();
        Designator holder;
        bool lookupOnly = ip_.symbols().lookupOnly;
        ip_.symbols().lookupOnly = true;
        Error err = ip_.evaluator().designate(p, Creation::Find, holder);
        ip_.symbols().lookupOnly = lookupOnly;
        if (!err && holder.form == Designator::kVariable && holder.slot.var().valueKind() == kKindNumber &&
            isObjectHandle(holder.slot.var().number)) {
            call.hasThis = true;
            call.thisHandle = holder.slot.var().number;
        }
    }
    return call;
}

void Runner::replayCalls(std::vector<MadeCall>&& calls) {
    replay_ = std::move(calls);
    replayNext_ = 0;
}

void Runner::endReplay() {
    replay_.clear();
    replayNext_ = 0;
}

Error Runner::callFunction(std::string_view name, std::string_view argumentText, MCVal& result,
                           const KnownCall* known) {
    if (replayNext_ < replay_.size()) {
        MadeCall& made = replay_[replayNext_];
        if (made.arguments == argumentText.data()) {
            ++replayNext_;
            result = std::move(made.result);
            return made.err;
        }
        endReplay();  // the text went another way: it calls for itself from here
    }
    MacroContext* ctx = current();
    if (!ctx) return kUndefinedFunction;
    if (isReservedFunctionName(name)) return kReservedFunctionName;
    int id = known && known->functionId ? known->functionId : ctx->labels.idOf(name);
    if (id == 0) return kOutOfMemory;
    // A function that computes its number from its parameters alone runs
    // without the run loop, unless the run wants its lines seen.
    if (known && compiledLines_ && (ip_.runState_ & kRunRunning) && !watched() &&
        ctx->nativeCalls.call(ip_, *ctx, id, *known, result)) {
        ++nativeCallsRun_;
        return kOk;
    }
    PendingCall call = prepareCall(name, argumentText, known);
    // A function found earlier in a function file runs there.
    auto external = ctx->externalFunctions.find(id);
    if (external != ctx->externalFunctions.end())
        return callInLibrary(*external->second, name, std::move(call), result);

    bool notFound = false;
    Error err = runFunction(*ctx, id, call, result, notFound);
    if (!notFound) return err;
    // Not in this macro: the function file of that name in the macro pool.
    MacroContext* library = functionLibrary(name);
    if (!library) return kUnknownCommand;
    ctx->externalFunctions[id] = library;
    // Loading the file ran its top lines, which may have changed what the
    // arguments read: binding reads them all from their text.
    call.precomputed = 0;
    return callInLibrary(*library, name, std::move(call), result);
}

Error Runner::runFunction(MacroContext& ctx, int id, PendingCall call, MCVal& result, bool& notFound) {
    notFound = false;
    if (ctx.callLevel >= ctx.callDepth - 1) return kTooManyGoSub;
    // Calls that nest without raising the call level (a call chained after a
    // Return, again and again) stop at twice the call stack, before the stack
    // guard, so that where they stop does not depend on the stack's size.
    if (ctx.functionRuns >= 2 * ctx.callDepth || stackNearlyExhausted()) return kTooManyNestedFunctions;
    call.functionId = id;

    // Push the call level and continue at the function's Function line.
    int level = ++ctx.callLevel;
    if (ctx.frames.size() <= static_cast<size_t>(level)) ctx.frames.resize(static_cast<size_t>(level) + 1);
    CallFrame& frame = ctx.frames[static_cast<size_t>(level)];
    size_t returnPosition = ctx.nextLine;
    frame.returnPosition = returnPosition;
    frame.loopLevel = ctx.loopLevel;
    frame.calledId = id;
    frame.isFunction = true;
    frame.fromExpression = true;
    frame.callLineStart = ctx.lineStart;
    frame.local = call.callerLocal;  // until the Function line opens the new space
    frame.staticsFunctionId = call.callerStaticsId;
    ctx.pendingCall = std::move(call);
    ctx.callPending = true;

    // The caller's line state comes back after the call.
    size_t lineStart = ctx.lineStart, lineEnd = ctx.lineEnd;
    std::string_view currentLine = ctx.currentLine;
    uint32_t lineFlags = ctx.lineFlags;
    const char* continuation = ip_.evaluator().continuationText;
    const char* errorPosition = ip_.errorPosition();

    size_t position = ctx.labels.position(id);
    if (position != SIZE_MAX) {
        ctx.nextLine = position;
    } else {
        ctx.nextLine = ctx.furthest;
        ctx.skipState = static_cast<uint16_t>(id);
        ctx.skipNesting = 0;
    }
    // The function's own lines create their variables even when the calling
    // expression is only being shown.
    bool lookupOnly = ip_.symbols().lookupOnly;
    ip_.symbols().lookupOnly = false;
    ++nestedLoops_;
    ++ctx.functionRuns;
    LoopExit exit = runLoop(ctx, level);
    --ctx.functionRuns;
    --nestedLoops_;
    ip_.symbols().lookupOnly = lookupOnly;

    ctx.lineStart = lineStart;
    ctx.lineEnd = lineEnd;
    ctx.currentLine = currentLine;
    ctx.lineFlags = lineFlags;
    ip_.evaluator().continuationText = continuation;
    ip_.setErrorPosition(errorPosition);
    if (missingFunction_ == id) {
        missingFunction_ = 0;
        notFound = true;
        ctx.nextLine = returnPosition;
        ctx.ended = false;
        return kOk;
    }
    if (ctx.callLevel >= level) {
        // Stopped inside the function: unwind to the caller.
        ctx.callLevel = level - 1;
        ctx.nextLine = returnPosition;
        ctx.callPending = false;
        applyScope(ctx);
    }
    if (exit == LoopExit::Stopped) {
        result.setReal(0);
        return kOk;
    }
    result = std::move(functionResult_);
    if (result.isEmpty()) result.setReal(0);
    functionResult_.clear();
    return kOk;
}

MacroContext* Runner::functionLibrary(std::string_view functionName) {
    LoadedMacro loaded;
    bool shared = false;
    if (!sources.loadFunctionFile(functionName, loaded, shared)) return nullptr;
    std::string key = loaded.directory + loaded.fileName;
    for (char& c : key) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c);
    auto known = libraries_.find(key);
    if (known != libraries_.end()) return known->second.get();

    // Started as a called macro: shared files use the caller's variables. Its
    // top part runs once and defines its functions.
    MacroContext* caller = current();
    auto library = std::make_unique<MacroContext>();
    library->text = loaded.text;
    library->macroPath = loaded.directory;
    library->fileName = loaded.fileName;
    library->callDepth = callDepth_;
    library->frames.resize(2);
    library->called = true;
    library->declarationLine = loaded.declarationLine;
    if (shared && caller) {
        library->symbols = caller->symbols;
    } else {
        library->ownSymbols = std::make_unique<SymbolTable>(kMacroSpace, kMacroTableEntries,
                                                            kMacroTableBuckets, kMacroTableText);
        library->symbols = library->ownSymbols.get();
    }
    MacroContext* raw = library.get();
    stack_.push_back(std::move(library));
    applyScope(*raw);
    // The file's own lines create their variables, also when the call that
    // loads it stands in a "?" line (which only looks names up).
    bool lookupOnly = ip_.symbols().lookupOnly;
    ip_.symbols().lookupOnly = false;
    ++nestedLoops_;
    runLoop(*raw, 0);
    --nestedLoops_;
    ip_.symbols().lookupOnly = lookupOnly;
    raw->ended = false;
    raw->skipState = 0;
    libraries_.emplace(key, std::move(stack_.back()));
    stack_.pop_back();
    if (caller) applyScope(*caller);
    return raw;
}

Error Runner::callInLibrary(MacroContext& library, std::string_view name, PendingCall call, MCVal& result) {
    MacroContext* caller = current();
    int id = library.labels.idOf(name);
    if (id == 0) return kOutOfMemory;
    // The library runs as the current macro while its function runs.
    auto owner = libraries_.end();
    for (auto it = libraries_.begin(); it != libraries_.end(); ++it)
        if (it->second.get() == &library) owner = it;
    if (owner == libraries_.end()) return kInternalError;
    stack_.push_back(std::move(owner->second));
    applyScope(library);
    bool notFound = false;
    Error err = runFunction(library, id, std::move(call), result, notFound);
    owner->second = std::move(stack_.back());
    stack_.pop_back();
    if (caller) applyScope(*caller);
    return notFound ? kUnknownCommand : err;
}

// ---- Errors and boxes

void Runner::reportError(int n, unsigned flags) {
    MacroContext* ctx = current();
    reportErrorWithLine(n, flags, ctx ? ctx->currentLine : std::string_view());
}

void Runner::reportMacroNotFound(const StartRequest& request) {
    // Error 801 for the line that asked, and which macro it did not find.
    reportErrorWithLine(kUnknownCommand, 0, request.sourceLine, "Macro not found: " + request.name);
}

void Runner::reportErrorWithLine(int n, unsigned flags, std::string_view line, std::string_view detail) {
    ip_.lastError_ = n & 0x8FFF;
    if (n == 0) return;
    std::string text = errorBoxText(ip_, n, std::string(line));
    if (!detail.empty()) text += "\n" + std::string(detail);
    ip_.host().logError(text);
    bool running = (ip_.runState_ & kRunRunning) != 0;
    bool continuable = (flags & kContinuable) != 0;
    unsigned style = kMbIconExclamation | (continuable && running ? kMbOkCancel : kMbOk);
    ++errorBoxes_;
    BoxAnswer answer = showBox(text, "Macro Error", style);
    if (answer.button == kIdCancel) ip_.runState_ &= static_cast<uint8_t>(~kRunRunning);
    bool shift = answer.modifiers & kModShift;
    bool control = answer.modifiers & kModControl;
    if (continuable) {
        if (control)
            ip_.runState_ = 0;
        else if (shift && running)
            ip_.runState_ |= kRunPaused;
        return;
    }
    showErrorPlace();
    if (shift && running) {
        ip_.runState_ |= kRunPaused;
    } else if (!running || (ip_.runOptions_ & kOptErrorStops) || control) {
        ip_.runState_ = 0;
    } else {
        ip_.runState_ &= static_cast<uint8_t>(~kRunErrorPending);
    }
}

void Runner::showErrorPlace() {
    // Lines typed into the Watch Window (immediate text) have no place in a macro.
    MacroContext* ctx = current();
    if (!ctx || !ctx->text || !ctx->cutIntoLines) return;
    ErrorPlace place;
    place.fileName = ctx->fileName;
    place.path = ctx->macroPath;
    place.lineStart = std::min(ctx->lineStart, ctx->text->size());
    place.line = lineNumberAt(*ctx->text, place.lineStart);
    const char* at = ip_.errorPosition();
    const char* begin = ctx->currentLine.data();
    if (at && begin && at >= begin && at <= begin + ctx->currentLine.size())
        place.column = static_cast<int>(at - begin);
    ip_.host().errorShown(place);
}

void Runner::reportReaderError(uint32_t code) {
    char key[16];
    std::snprintf(key, sizeof key, "0x%08X", code);
    std::string explanation =
        platform::iniGetString(ip_.programDirectory() + "ErrorCod.ini", "Reader", key, "").substr(0, 79);
    char head[40];
    std::snprintf(head, sizeof head, "Reader Error 0x%08x", code);
    std::string text = head;
    if (!explanation.empty()) text += "\n" + explanation;
    MacroContext* ctx = current();
    if (ctx && !ctx->currentLine.empty() && ctx->currentLine.size() < 150)
        text += "\n\n" + std::string(ctx->currentLine);
    ip_.host().logError(text);
    int button = showBox(text, "Reader Error", kMbAbortRetryIgnore | kMbIconQuestion | kMbDefButton3).button;
    showErrorPlace();
    if (button == kIdAbort)
        ip_.runState_ = 0;
    else if (button == kIdRetry && (ip_.runState_ & kRunRunning))
        ip_.runState_ |= kRunPaused;
}

BoxAnswer Runner::showBox(std::string_view text, std::string_view caption, unsigned style) {
    if (openBoxes_ >= kMaxOpenBoxes) return {};
    ++openBoxes_;
    BoxAnswer answer;
    {
        VariablesLetGo away(ip_);
        answer = ip_.host().messageBox(text, caption, style);
    }
    --openBoxes_;
    if ((style & kMbIconMask) == kMbIconHand && (ip_.runState_ & kRunRunning))
        ip_.runState_ = static_cast<uint8_t>((ip_.runState_ & ~kRunRunning) | kRunErrorPending);
    return answer;
}

int Runner::messageBox(std::string_view text, std::string_view caption, unsigned style) {
    return showBox(text, caption, style).button;
}

// ---- Keeping the user interface alive

void Runner::pump(int budget) {
    servePendingLine();
    bool goOn;
    {
        VariablesLetGo away(ip_);
        goOn = ip_.host().pumpMessages(budget);
    }
    if (goOn) return;
    // Asked to stop (or to quit): the macro ends, and a StartMacro it asked
    // for does not start after it.
    ip_.runState_ &= static_cast<uint8_t>(~kRunRunning);
    startPending_ = false;
}

// A line that another thread handed over (an RPC execute request) runs here,
// between statements, in the running macro; its result code goes back.
void Runner::servePendingLine() {
    if (servingLine_ || !ip_.pendingLine().waiting()) return;
    std::string text;
    if (!ip_.pendingLine().take(text)) return;
    servingLine_ = true;
    Error err;
    {
        VariablesHeld hold(ip_);
        err = ip_.executeFromOutside(text);
    }
    servingLine_ = false;
    ip_.pendingLine().finish(static_cast<int>(err));
}

void Runner::pause(double milliseconds) {
    // The whole pause is a wait: other threads may reach the variables.
    VariablesLetGo away(ip_);
    using platform::monotonicSeconds;
    using platform::sleepMs;
    // A NaN or negative wait does not wait; a huge one is only as long as the
    // macro keeps running (every slice pumps and looks at the run state).
    if (!(milliseconds >= 0)) {
        pump(100);
        return;
    }
    WakeUpEvent& wakeUp = ip_.wakeUp();
    const bool event = wakeUp.exists();
    double t0 = monotonicSeconds();
    if (sleepOneMs_ == 0) {
        sleepMs(1);
        sleepOneMs_ = monotonicSeconds() - t0;
        if (sleepOneMs_ < 0.0019) pauseGranularity_ = 1;
    }
    bool fractional = std::fmod(std::round(milliseconds * 1e7), 1e7) != 0;
    pump(100);
    // A wait on the wake-up event once it exists: a signal ends the pause early.
    auto waitFor = [&](double ms) {
        return event ? wakeUp.wait(ms) : (sleepMs(static_cast<unsigned>(ms)), false);
    };
    if (milliseconds == 0) {
        double before = monotonicSeconds();
        if (waitFor(1)) return;
        double took = monotonicSeconds() - before;
        if (!event && took < sleepOneMs_ && sleepOneMs_ < 0.0019) {
            sleepOneMs_ = took;
            pauseGranularity_ = 1;
        }
        return;
    }
    double g = pauseGranularity_;
    bool passMade = false;
    if ((milliseconds > 0 && milliseconds < g) || fractional) {
        if (waitFor(0)) return;
    } else if (milliseconds < 3 * g) {
        if (waitFor(g)) return;
        pump(-1);
        passMade = true;
    }
    while (ip_.runState_ & kRunRunning) {
        double elapsed = (monotonicSeconds() - t0) * 1000;
        if (elapsed >= milliseconds || elapsed < -1) break;
        double remaining = milliseconds - elapsed;
        double slice;
        if (!fractional) {
            double r = std::trunc(remaining + 0.5);
            if (!passMade)
                slice = r < 1 ? 1 : std::min(r, 50.0);
            else if (r <= 0)
                break;
            else
                slice = std::min(r, 50.0);
        } else {
            double margin = pauseGranularity_ == 1 ? 0.5 : 15;
            slice = remaining - margin < 0 ? 0 : std::min(std::trunc(remaining - margin), 50.0);
        }
        double before = monotonicSeconds();
        if (waitFor(slice)) return;
        double took = (monotonicSeconds() - before) * 1000;
        passMade = true;
        pump(-1);
        if (!event && slice > 0 && pauseGranularity_ > 1 && took < 1.9) pauseGranularity_ = 1;
    }
}

// ---- Call information for the status variables

std::string Runner::subName(int index) const {
    const MacroContext* ctx = stack_.empty() ? nullptr : stack_.back().get();
    if (!ctx) return {};
    int64_t level = (index & 0x8000) ? (index & 0x7FFF) : int64_t{ctx->callLevel} - index;
    if (level < 1 || level > ctx->callLevel) return {};
    return std::string(ctx->labels.name(ctx->frames[static_cast<size_t>(level)].calledId));
}

std::string Runner::callingLine(int index) const {
    const MacroContext* ctx = stack_.empty() ? nullptr : stack_.back().get();
    if (!ctx) return {};
    int64_t level = (index & 0x8000) ? (index & 0x7FFF) : int64_t{ctx->callLevel} - index;
    if (level < 1 || level > ctx->callLevel) return {};
    const std::string& text = *ctx->text;
    size_t pos = ctx->frames[static_cast<size_t>(level)].callLineStart;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    size_t end = pos;
    while (end < text.size() && end - pos < 254 && text[end] != '\r' && text[end] != '\n' &&
           text[end] != '\0')
        ++end;
    return text.substr(pos, end - pos);
}

}  // namespace tvx::interp
