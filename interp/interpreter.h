// The interpreter: the tables, the state a macro run touches, and the entry
// points that the program and the built-in commands use. Commands reach it
// through interp/api.h; its run driver and evaluators stay inside interp/.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "interp/command.h"
#include "interp/config.h"
#include "interp/errors.h"
#include "interp/host.h"
#include "interp/names/commandtable.h"
#include "interp/symbols/symbols.h"
#include "interp/values/mcval.h"
#include "interp/values/workarea.h"
#include "interp/wakeup.h"

namespace tvx::interp {

class Evaluator;
class Runner;

// Run-state bits (the program-wide flags of the run loop).
enum RunStateBits : uint8_t {
    kRunRunning = 0x02,
    kRunPaused = 0x04,
    kRunSingleStep = 0x08,
    kRunErrorPending = 0x10,
    kRunCommandPending = 0x20,
    kRunCallPending = 0x80,
};

// Run options set by SetBreak, DisableWait and DisableMsg.
enum RunOptionBits : uint32_t {
    kOptCancelStops = 0x1,      // message and input boxes offer Cancel, which ends the macro
    kOptAnyCommandStops = 0x2,  // every command message to the main window stops the macro
    kOptEscapeStops = 0x4,
    kOptErrorStops = 0x8,  // a macro error stops the run
    kOptNoWaitPumping = 0x10,
    kOptNoMessagePumping = 0x8000,
};

// Where commands leave secondary results for the macro.
struct CommandResults {
    std::array<int32_t, 32> values{};      // !Result[0..31]
    std::array<int32_t, 32> parameters{};  // !GetParam[0..31]
    std::string text;                      // !StrResult
    int error = 0;                         // !Error: read and cleared by the macro
};

// The matrix settings of SetMatrixBase: index base (0 or 1) and order mode.
struct MatrixSettings {
    int base = 0;
    int base2 = 0;
    bool rowFirst = false;
};

// Evaluation limits: the caller's level; binary operators of a lower level are taken.
constexpr int kLimitAssignment = 99;
constexpr int kLimitArgument = 100;
constexpr int kLimitMatrixElement = 101;  // blank-separated elements
constexpr int kLimitBracket = 20;
constexpr int kLimitUnary = 1;
constexpr int kLimitSingleOperand = 3;

// What the debugger asks of the run loop. The run loop reads it before every
// line it executes (not the lines it only recognises while skipping).
enum class DebugRun : uint8_t {
    None = 0,         // halt before every line while the single-step bit is set
    ToDepth = 1,      // run until the call depth is targetDepth or less (step out)
    ToLoopLevel = 2,  // run until the loop level drops to targetLoop (step out of a loop)
    ToCursor = 3,     // run until the line cursorLine of the macro cursorFile
    StepOver = 4,     // run until the call depth is targetDepth or less (step over)
};

struct DebugControl {
    DebugRun mode = DebugRun::None;
    int targetDepth = 0;
    int targetLoop = 0;
    std::string cursorFile;  // the file name of the macro (empty: the running one)
    int cursorLine = 0;      // 1-based
    int jumpLine = 0;        // set next statement: the 1-based line to go on at, 0 none
    // The two switches of the debug menu; nothing in the interpreter reads them.
    bool option1 = false;
    bool option2 = false;
    // Lines halted at since the interpreter started (tests and the status bar).
    uint64_t halts = 0;
    // Breakpoints set in the source editor's margin: the macro's file name (""
    // for a macro given as text) and its 1-based lines. The run halts before
    // such a line as the debugger halts for a single step.
    std::map<std::string, std::set<int>> breakpoints;
};

// Where the running macro is (the innermost line).
struct DebugPosition {
    std::string fileName;  // "" for a macro given as text
    std::string path;      // its directory
    std::shared_ptr<const std::string> text;
    size_t lineStart = 0;
    int line = 0;   // 1-based physical line of lineStart
    int depth = 0;  // nested macros and open calls together
    int loopLevel = 0;
    int callLoopLevel = 0;  // the loop level when the current call was made
};

// One line of the call history: the call level and the source line it holds.
struct HistoryEntry {
    int level = 0;
    int line = 0;
    std::string text;
};

// The 1-based physical line that holds offset pos (CR LF, LF and CR end lines).
int lineNumberAt(std::string_view text, size_t pos);
// The offset where the 1-based physical line starts; SIZE_MAX past the end.
size_t lineOffset(std::string_view text, int line);

// How a standalone evaluation (Val) treats names that do not exist.
enum class NameLookup { AsNow, FindOnly, Create };

// What a name designates (filled by the evaluator's designate()).
struct Designator {
    enum Form : uint8_t {
        kNothing,    // lookup-only mode and the name does not exist
        kVariable,   // a whole variable
        kElement,    // element `position` of the variable's data block
        kCharacter,  // character `position` of a string (past the end: a scratch 0)
        kSubstring,  // characters position..end-1 of a string
        kStatus,     // a status variable
    };
    Form form = kNothing;
    VarSlot slot;  // the variable, references followed
    int64_t position = 0;
    int64_t end = 0;
    int statusCode = 0;
    int statusIndex = 0;
    bool created = false;  // the variable did not exist before
};

// A small number for each type of family state, handed out on first use: the
// states are found by index, as commands ask for theirs on every call.
size_t nextFamilyStateIndex();
template <typename T>
size_t familyStateIndex() {
    static const size_t index = nextFamilyStateIndex();
    return index;
}

class Interpreter {
public:
    explicit Interpreter(Host& host, RunnerConfig config = {});
    ~Interpreter();
    Interpreter(const Interpreter&) = delete;
    Interpreter& operator=(const Interpreter&) = delete;

    Host& host() { return host_; }
    const RunnerConfig& config() const { return config_; }
    // Applies new settings (before a run: the tests and fuzzers set up here).
    void reconfigure(RunnerConfig config);
    // A number no other interpreter of this process has (for caches keyed by interpreter).
    uint64_t serial() const { return serial_; }
    // When the interpreter was made (monotonic seconds; !RelTime counts from here).
    double startedAt() const { return startedAt_; }

    // ---- Families of commands
    // Installs a family's rows. A code that the command table lacks, or that
    // another family already handles, is refused and noted in installProblems().
    void install(const Family& family);
    const std::vector<std::string>& installProblems() const { return installProblems_; }
    bool hasHandler(int code) const;
    bool hasStatusReader(int code) const;
    unsigned commandFlags(int code) const;
    const ArrayEngine& arrays() const { return arrays_; }
    const StringListService& stringLists() const { return stringLists_; }

    // ---- The one door through which every command runs: the handler of the
    // code (error 858 for a row no family handles), with out-of-memory (813)
    // and any other exception (850) turned into the error of that line.
    Error invoke(int code, CallArgs& args, MCVal& result);
    // Reads a status variable (858 for one that no family gives).
    Error readStatus(int code, int index, StatusValue& value);

    // ---- Tables
    const CommandTable& commands() const { return commands_; }
    const StatusVariableTable& statusVariables() const { return statusVariables_; }
    // A numbered message of the program (801..858).
    std::string_view messageText(int number) const;

    // ---- State that commands share
    Symbols& symbols() { return symbols_; }
    StringWorkArea& work() { return work_; }
    CommandResults& results() { return results_; }
    MatrixSettings& matrix() { return matrix_; }
    const MatrixSettings& matrix() const { return matrix_; }
    // !M and !Max: a 64-bit integer that nothing sets (INT64_MIN: never set).
    int64_t mValue = INT64_MIN;

    // The state of type T (derived from FamilyState) for this interpreter.
    template <typename T>
    T& state() {
        const size_t index = familyStateIndex<T>();
        if (index >= states_.size() || !states_[index]) return resetState<T>();
        return static_cast<T&>(*states_[index]);
    }
    // Replaces the state of type T by a fresh one. (Kept out of line: state()
    // then stays small enough to be inlined where commands reach their state.)
    template <typename T>
    [[gnu::noinline]] T& resetState() {
        // Made before its slot is looked up: the table may grow meanwhile.
        auto fresh = std::make_unique<T>();
        T& made = *fresh;
        stateSlot(familyStateIndex<T>()) = std::move(fresh);
        return made;
    }

    // ---- Threads
    // The wake-up event of Pause and RpcWait (see interp/wakeup.h).
    WakeUpEvent& wakeUp() { return wakeUp_; }
    // The variable-access lock: taken by another thread (an RPC request) while
    // it reads or writes a macro variable, and by the interpreter while it
    // grows a name table.
    std::recursive_mutex& variableAccess() { return variableAccess_; }
    // The interpreter thread holds the variable-access lock while it runs
    // lines and lets go of it while it waits or serves the user interface
    // (pumping, Pause, message boxes, RpcWait): another thread that takes the
    // lock never meets a statement half way through a variable. Use the
    // scoped VariablesHeld and VariablesLetGo below (interpreter thread only).
    void holdVariables() {
        variableAccess_.lock();
        ++variableHolds_;
    }
    void releaseVariables() {
        --variableHolds_;
        variableAccess_.unlock();
    }
    // Gives up every hold of the interpreter thread; returns how many.
    int letGoOfVariables() {
        int holds = variableHolds_;
        for (int i = 0; i < holds; ++i) variableAccess_.unlock();
        variableHolds_ = 0;
        return holds;
    }
    void takeBackVariables(int holds) {
        for (int i = 0; i < holds; ++i) variableAccess_.lock();
        variableHolds_ += holds;
    }
    // The pending-text slot of execute requests from other threads (see
    // interp/wakeup.h); the message pump executes its text.
    PendingLine& pendingLine() { return pendingLine_; }

    // ---- Run state
    bool running() const { return (runState_ & kRunRunning) != 0; }
    uint8_t runState() const { return runState_; }
    void setRunState(uint8_t state) { runState_ = state; }
    // Ends the running macro after the current line.
    void stop() { runState_ &= static_cast<uint8_t>(~kRunRunning); }
    uint32_t runOptions() const { return runOptions_; }
    void setRunOptions(uint32_t options) { runOptions_ = options; }
    bool disableWaitSwitch = false;  // stored by DisableWait bit 1; nothing reads it
    // The last error shown by the error box.
    int lastError() const { return lastError_; }

    // ---- Debugging
    DebugControl& debug() { return debug_; }
    // The running macro's innermost position; false when no macro runs.
    bool debugPosition(DebugPosition& out) const;
    // The return positions of the open calls and last the current position,
    // newest first (empty when no macro runs).
    std::vector<HistoryEntry> callHistory() const;

    // ---- Evaluation
    // Evaluates a numeric expression at p with the given limit level; p moves
    // past what was read. Returns 0, an error number, or kStringOperand.
    Error evaluate(const char*& p, int limit, MCVal& out);
    // Evaluates a string expression into the work area.
    Error evaluateString(const char*& p, std::string_view& out);
    // Evaluates a complete expression text (as the Watch Window and ?-lines do).
    Error evaluateText(std::string_view text, MCVal& out, std::string& stringOut, bool& isString);
    // Evaluates a complete expression text in the running macro's scope, or in
    // a fresh empty one when no macro runs (the Watch Window's Show Value). A
    // block in out is always owned by out.
    Error evaluateWatch(std::string_view text, MCVal& out, std::string& stringOut, bool& isString);
    // Evaluates text as an expression of its own (Val): it cannot read on into
    // the macro's next lines, and the running line's error position and
    // lookup mode are what they were afterwards.
    Error evaluateStandalone(std::string_view text, NameLookup lookup, MCVal& out);
    // left = left op right (operator codes of the scanner), for any two values.
    Error combine(int op, MCVal& left, MCVal& right);
    // What a name designates, looked up only (VarType). Returns an error number.
    Error findName(std::string_view name, Designator& out);
    // The scanner position of the last error, for the error box and the editor.
    const char* errorPosition() const { return errorPosition_; }
    void setErrorPosition(const char* p) { errorPosition_ = p; }

    // ---- Running lines and macros
    // Runs one line immediately, in the running macro's context or, with none,
    // in a fresh one (Watch Window Execute, exit commands). Errors are shown.
    Error executeImmediate(std::string_view text);
    // Runs one line in the running macro as if it stood there (StrExecute):
    // quiet returns an error instead of showing it.
    Error executeInMacro(std::string_view line, bool quiet);
    // Runs one line that another program sent (DDE and RPC executes) in the
    // running macro, also while the macro skips lines; errors are returned.
    Error executeFromOutside(std::string_view line);
    // Runs a macro and what it calls (the program's start, CallMacro).
    bool run(const StartRequest& request);
    // True while a macro (or an immediate line) has a context to run in.
    bool hasMacro() const;
    // The running line (for the error box, the crash text and the debugger).
    std::string currentLine() const;
    // True when the running line was written with ":=" (it may change the
    // type of its target).
    bool lineMayChangeType() const;
    // Shows the error box for error n of the running line.
    void reportError(int n);
    // The error box for error n of a text typed by the user (Show Value): a
    // continuable error, which offers Cancel while a macro runs.
    void reportTypedError(int n, std::string_view text);
    // The message-box routine every command uses (at most 3 boxes open).
    int messageBox(std::string_view text, std::string_view caption, unsigned style);
    // Keeps the user interface alive (at most budget events), and pauses.
    void pump(int budget);
    void pause(double milliseconds);
    // Macro error boxes shown since the interpreter started (the exit status).
    int errorBoxesShown() const;

    // ---- Paths
    // !DefPath, !AppPath, !WorkingDir.
    const std::string& programDirectory() const { return config_.programDirectory; }
    std::string appPath() const;
    const std::string& workingDirectory() const { return config_.workingDirectory; }
    const platform::DriveMap& drives() const { return config_.drives; }
    // The POSIX path of a path as a macro writes it: completed against the
    // working directory, drive letters mapped, existing components found
    // without regard to case.
    std::string posixPath(std::string_view macroPath) const;

    // ---- Inside the interpreter (not for commands: they include api.h only)
    Evaluator& evaluator() { return *evaluator_; }
    Runner& runner() { return *runner_; }
    CallArgs& acquireArgs();
    void releaseArgs();
    // Tells every family state that the top-level macro has ended.
    void endOfRun();

    // Formats a number the way the Watch Window shows it (15 significant digits).
    static std::string formatNumber(double value);

private:
    friend class Runner;
    struct CommandEntry {
        CommandHandler handler = nullptr;
        unsigned flags = 0;
    };
    std::unique_ptr<FamilyState>& stateSlot(size_t index) {
        if (index >= states_.size()) states_.resize(index + 1);
        return states_[index];
    }

    Host& host_;
    RunnerConfig config_;
    uint64_t serial_;
    double startedAt_;
    CommandTable commands_;
    StatusVariableTable statusVariables_;
    std::array<CommandEntry, kCommandTableCapacity> handlers_{};
    std::array<StatusReader, kStatusTableCapacity> statusReaders_{};
    ArrayEngine arrays_;
    StringListService stringLists_;
    std::vector<std::string> installProblems_;

    Symbols symbols_;
    StringWorkArea work_;
    CommandResults results_;
    MatrixSettings matrix_;
    uint8_t runState_ = 0;
    uint32_t runOptions_ = 0;
    int lastError_ = 0;
    DebugControl debug_;
    const char* errorPosition_ = nullptr;

    WakeUpEvent wakeUp_;
    std::recursive_mutex variableAccess_;
    int variableHolds_ = 0;
    PendingLine pendingLine_;
    std::unique_ptr<Evaluator> evaluator_;
    std::unique_ptr<Runner> runner_;
    std::vector<std::unique_ptr<CallArgs>> argsPool_;
    size_t argsDepth_ = 0;
    std::vector<std::unique_ptr<FamilyState>> states_;
};

// Releases the pooled argument list when the scope ends.
class ArgsLease {
public:
    explicit ArgsLease(Interpreter& ip) : ip_(ip), args_(ip.acquireArgs()) {}
    ~ArgsLease() { ip_.releaseArgs(); }
    ArgsLease(const ArgsLease&) = delete;
    ArgsLease& operator=(const ArgsLease&) = delete;
    CallArgs& operator*() { return args_; }
    CallArgs* operator->() { return &args_; }

private:
    Interpreter& ip_;
    CallArgs& args_;
};

// Holds the variable-access lock for the interpreter thread while in scope.
class VariablesHeld {
public:
    explicit VariablesHeld(Interpreter& ip) : ip_(ip) { ip_.holdVariables(); }
    ~VariablesHeld() { ip_.releaseVariables(); }
    VariablesHeld(const VariablesHeld&) = delete;
    VariablesHeld& operator=(const VariablesHeld&) = delete;

private:
    Interpreter& ip_;
};

// Lets go of the interpreter thread's holds while in scope (a wait).
class VariablesLetGo {
public:
    explicit VariablesLetGo(Interpreter& ip) : ip_(ip), holds_(ip.letGoOfVariables()) {}
    ~VariablesLetGo() { ip_.takeBackVariables(holds_); }
    VariablesLetGo(const VariablesLetGo&) = delete;
    VariablesLetGo& operator=(const VariablesLetGo&) = delete;

private:
    Interpreter& ip_;
    int holds_;
};

}  // namespace tvx::interp
