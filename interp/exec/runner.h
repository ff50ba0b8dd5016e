// The run driver: runs a macro line by line, nests the macros it calls, keeps
// the user interface alive between lines, and reports errors.
#pragma once

#include <array>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "interp/config.h"
#include "interp/errors.h"
#include "interp/exec/context.h"
#include "interp/host.h"
#include "interp/source/sources.h"

namespace tvx::interp {

class Interpreter;
struct CallArgs;
struct DebugPosition;
struct HistoryEntry;

enum class CallKind { Start, Call, Common };

// What a compiled line knows of a call beforehand: its arguments split
// (splitArguments), kept where the line keeps its text; the function's label
// id in the calling macro (0: not known); and the numbers of those arguments
// it computed before the call (bit i of precomputed: argument i, in
// values[i]). A computed argument is what binding would read from its text: a
// number from plain variables, numbers and operators, in the caller's scope.
struct KnownCall {
    const std::vector<std::string>* actuals = nullptr;
    int functionId = 0;
    uint8_t precomputed = 0;
    std::array<double, kMaxPrecomputedArguments> values{};
};

// A function call a compiled line made before it had to run from its text
// after all: the text meets the same calls in the same order and takes their
// outcomes instead of calling again, so every call runs once.
struct MadeCall {
    const char* arguments = nullptr;  // the call's argument text within the line
    Error err = kOk;
    MCVal result;
};

class Runner {
public:
    explicit Runner(Interpreter& ip);
    ~Runner();
    Runner(const Runner&) = delete;
    Runner& operator=(const Runner&) = delete;

    MacroSources sources;

    // Takes the program's paths, the pool, the call-stack setting and the
    // compiled-line switch from the interpreter's settings.
    void configure(const RunnerConfig& config);
    // Call-stack depth: [Settings] CallStack + 1, kept within 32..1001.
    int callDepth() const { return callDepth_; }

    // Runs a macro and everything it calls, then any macro that StartMacro
    // requested meanwhile. False when the first macro was not found.
    bool run(const StartRequest& request);

    // A console session: each text runs as a macro of its own lines, all in
    // one scope whose variables stay from one text to the next. The first text
    // opens the session; endSession() ends it as the end of a macro does (the
    // exit command, stored variables, objects, the families' end of run).
    // Nothing happens while a macro runs.
    void runInSession(std::string_view text);
    void endSession();

    // Runs one line of text immediately, in the running macro's context or, with
    // none, in a fresh one (Watch Window Execute, exit commands, StrExecute).
    Error executeImmediate(std::string_view text);

    // Evaluates an expression for the Watch Window: in the running macro's
    // scope, or in a fresh one when none runs.
    Error evaluateWatch(std::string_view text, MCVal& out, std::string& stringOut, bool& isString);

    // The debugger's view of the run: nested macros and open calls together,
    // the innermost position, the call history (newest first).
    int debugDepth() const;
    bool debugPosition(DebugPosition& out) const;
    std::vector<HistoryEntry> callHistory() const;

    // The running macro's context, or null.
    MacroContext* current() { return stack_.empty() ? nullptr : stack_.back().get(); }
    int nestedCalls() const { return stack_.empty() ? 0 : static_cast<int>(stack_.size()) - 1; }

    // Error reporting: shows the error box for error n.
    static constexpr unsigned kContinuable = 0x4000;
    void reportError(int n, unsigned flags = 0);
    // The error box for error n of the given line (the Watch Window's text).
    void reportErrorWithLine(int n, unsigned flags, std::string_view line, std::string_view detail = {});
    // Macro error boxes shown since the program started (the exit status).
    int errorBoxesShown() const { return errorBoxes_; }
    // The box for an error code of an external reader library: explained by
    // section Reader of "ErrorCod.ini" in the program's directory.
    void reportReaderError(uint32_t code);

    // The message-box routine every part uses: at most 3 open at a time; a box
    // with the error icon while a macro runs halts the run.
    int messageBox(std::string_view text, std::string_view caption, unsigned style);
    BoxAnswer showBox(std::string_view text, std::string_view caption, unsigned style);

    // Requests from statements.
    Error requestMacro(CallKind kind, std::string_view name, std::string_view label, int flag);
    void setExitCommand(std::string_view text) { exitCommand_ = text; }

    // Macro function calls (from expressions and as statements); a compiled
    // line also tells what it knows of the call.
    Error callFunction(std::string_view name, std::string_view argumentText, MCVal& result,
                       const KnownCall* known = nullptr);
    // The calls a compiled line made, for its text to take (see MadeCall);
    // endReplay drops whatever the text did not take.
    void replayCalls(std::vector<MadeCall>&& calls);
    void endReplay();

    // Between the calls of functions that run without the run loop: keeps the
    // user interface alive as the run loop does. False when those calls must
    // give up (the run stopped, or the debugger wants to see lines).
    bool paceNativeCalls();
    // The lines a run may still take under a line budget (the most there is
    // without one), and those native calls took as their lines would have.
    uint64_t linesLeft() const { return lineBudget_ != 0 ? linesLeft_ : UINT64_MAX; }
    void takeLines(uint64_t lines) {
        if (lineBudget_ != 0) linesLeft_ -= lines;
    }
    // Calls that ran that way since the program started (outermost ones).
    uint64_t nativeCallsRun() const { return nativeCallsRun_; }
    // Loop passes run without the run loop's per-line work (tests).
    uint64_t passesRunAtOnce() const { return passesRunAtOnce_; }

    // Where Return leaves a function's value.
    MCVal& functionResult() { return functionResult_; }

    // Pause for the given milliseconds, keeping the user interface alive.
    void pause(double milliseconds);
    // Pumps pending user-interface messages (at most budget), after executing
    // a line waiting in the pending-text slot.
    void pump(int budget);
    void servePendingLine();

    // The text of the calling line n levels up (for !CallingLine) and the name
    // of the function or label there (for !SubName).
    std::string subName(int index) const;
    std::string callingLine(int index) const;

    // Lists for binding a call's arguments to its parameters, reused: taken
    // and given back like a stack, since an argument may call a function.
    std::vector<std::string_view>& takeList();
    void giveBackLists(size_t count) { listsTaken_ -= count <= listsTaken_ ? count : listsTaken_; }
    // Lists for the calls of a compiled line, reused the same way (a call
    // runs lines that make calls of their own).
    std::vector<MadeCall>& takeCallList();
    void giveBackCallList();

private:
    friend class LineInterpreter;
    enum class LoopExit { Ended, CallPending, Stopped, Returned };

    bool startContext(const StartRequest& request, CallKind kind);
    void finishContext(bool topLevel);
    LoopExit runLoop(MacroContext& ctx, int entryLevel);
    Error endOfTextCheck(MacroContext& ctx);
    // Before an executed line: halts it (pause and single step) when the
    // debugger's request says so.
    void debugCheck(MacroContext& ctx);
    // True when the debugger, a pause or a command from the window wants
    // every line seen.
    bool watched() const;
    // Pumps when the clock moved on since the last time (the run loop's pacing).
    void pumpWhenDue();
    // After a line that began skipping to the end of a branch (a false If,
    // the Else or ElseIf behind a branch taken): goes straight there when
    // skipping line by line would only pass the lines by.
    void skipBranchAtOnce(MacroContext& ctx, CachedLine& line);
    // After a compiled EndLoop that went back to its loop's start: runs the
    // further passes at once when the body is plain assignments. False when
    // the run was stopped meanwhile.
    bool runPassesAtOnce(MacroContext& ctx, CachedLine& endLine, CachedLine*& previous);
    // Runs the contexts above baseDepth until they end; with keepBottom the
    // lowest of them stays on the stack when it ends.
    void driveCalls(size_t baseDepth, bool keepBottom = false);
    std::unique_ptr<MacroContext> sessionContext(std::shared_ptr<const std::string> text);
    void endOfTopLevel();
    void reportMacroNotFound(const StartRequest& request);
    void applyScope(MacroContext& ctx);
    PendingCall prepareCall(std::string_view name, std::string_view argumentText, const KnownCall* known);
    Error runFunction(MacroContext& ctx, int id, PendingCall call, MCVal& result, bool& notFound);
    MacroContext* functionLibrary(std::string_view functionName);
    Error callInLibrary(MacroContext& library, std::string_view name, PendingCall call, MCVal& result);

    Interpreter& ip_;
    std::vector<std::unique_ptr<MacroContext>> stack_;
    MacroContext none_;  // the scope while no macro runs
    bool compiledLines_ = true;
    std::deque<std::vector<std::string_view>> lists_;  // a deque: taking more never moves one
    size_t listsTaken_ = 0;
    std::deque<std::vector<MadeCall>> callLists_;
    size_t callListsTaken_ = 0;
    int callDepth_ = 65;
    int errorBoxes_ = 0;
    int openBoxes_ = 0;
    uint64_t nativeCallsRun_ = 0;
    uint64_t passesRunAtOnce_ = 0;
    int nestedLoops_ = 0;  // run loops nested inside expressions (function calls)
    // Message pumping between lines counts the lines of every nested run loop
    // together: deep recursion runs only a few lines per loop, and must still pump.
    uint64_t pumpTick_ = 0;
    unsigned linesSinceTick_ = 0;
    uint64_t lineBudget_ = 0;  // 0: none
    uint64_t linesLeft_ = 0;
    std::string exitCommand_;
    bool servingLine_ = false;

    // A pending CallMacro / CallCommon / StartMacro request.
    struct PendingRequest {
        CallKind kind = CallKind::Start;
        StartRequest request;
        bool active = false;
    } pendingRequest_;
    StartRequest pendingStart_;  // a StartMacro that runs after the current macro
    bool startPending_ = false;

    MCVal functionResult_;
    std::vector<MadeCall> replay_;
    size_t replayNext_ = 0;
    int missingFunction_ = 0;  // a function call whose search reached the end of the text
    // Function files loaded during the run, by lower-case path.
    std::map<std::string, std::unique_ptr<MacroContext>> libraries_;
    // The variables of a console session, while one is open.
    std::unique_ptr<SymbolTable> sessionSymbols_;
    double pauseGranularity_ = 10;  // G, milliseconds
    double sleepOneMs_ = 0;         // D, seconds (0: not measured)
    // Run to cursor: the cursor's line as a range of offsets, found once per
    // text and line (counting lines before every line would make a loop crawl).
    struct CursorRange {
        std::weak_ptr<const std::string> text;
        int line = 0;
        size_t begin = 0, end = 0;
    };
    CursorRange cursorRange_;
    // The breakpoints of one macro text as ranges of offsets, found again only
    // when the text or its breakpoints change.
    struct BreakpointRanges {
        std::weak_ptr<const std::string> text;
        std::string fileName;
        std::set<int> lines;
        std::vector<std::pair<size_t, size_t>> ranges;  // sorted by begin
    };
    BreakpointRanges breakpointRanges_;
    bool atBreakpoint(const MacroContext& ctx);
    // Tells the host where the error just shown happened (its editor selects it).
    void showErrorPlace();
};

}  // namespace tvx::interp
