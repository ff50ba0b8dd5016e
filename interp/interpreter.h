// The interpreter: every table and every piece of state that a macro run
// touches, and the entry points that the program and the built-in commands use.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "interp/errors.h"
#include "interp/eval/arguments.h"
#include "interp/host.h"
#include "interp/names/commandtable.h"
#include "interp/symbols/symbols.h"
#include "interp/values/mcval.h"
#include "interp/values/workarea.h"

namespace tvx::interp {

class Interpreter;
class Evaluator;
class Runner;

// A statement or function of the command table. Statements ignore result;
// functions leave their value in it (the evaluator sets it to a real 0 first).
using CommandHandler = int (*)(Interpreter& ip, CallArgs& args, MCVal& result);

// The value of a status variable.
struct StatusValue {
    bool isString = false;
    double number = 0;
    std::string text;
};
using StatusReader = int (*)(Interpreter& ip, int code, int index, StatusValue& value);

// The vector and matrix engine, installed by the built-in library. Without it
// every operation on data blocks fails with 844.
struct ArrayEngine {
    // left = left op right (operator codes of the scanner); an error number or 0.
    int (*binary)(Interpreter& ip, int op, MCVal& left, MCVal& right) = nullptr;
    // The postfix transpose operator.
    int (*transpose)(Interpreter& ip, MCVal& value) = nullptr;
    // A built-in function whose first argument is a data block.
    int (*matrixFunction)(Interpreter& ip, int code, CallArgs& args, MCVal& result) = nullptr;
};

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
    kOptCancelStops = 0x1,        // message and input boxes offer Cancel, which ends the macro
    kOptAnyCommandStops = 0x2,    // every command message to the main window stops the macro
    kOptEscapeStops = 0x4,
    kOptErrorStops = 0x8,         // a macro error stops the run
    kOptNoWaitPumping = 0x10,
    kOptNoMessagePumping = 0x8000,
};

// State that an area of the interpreter or the built-ins keeps for one
// interpreter (string lists, open files, views, ...): created on first use and
// destroyed with the interpreter.
class AreaState {
public:
    virtual ~AreaState() = default;
};

// A small number for each type of area state, handed out on first use: the
// states are found by index, as built-ins ask for theirs on every call.
size_t nextAreaStateIndex();
template <typename T>
size_t areaStateIndex() {
    static const size_t index = nextAreaStateIndex();
    return index;
}

class Interpreter {
public:
    explicit Interpreter(Host& host);
    ~Interpreter();
    Interpreter(const Interpreter&) = delete;
    Interpreter& operator=(const Interpreter&) = delete;

    Host& host() { return host_; }
    // A number no other interpreter of this process has (for caches keyed by interpreter).
    uint64_t serial() const { return serial_; }
    Evaluator& evaluator() { return *evaluator_; }
    Runner& runner() { return *runner_; }

    // ---- Tables and dispatch
    CommandTable commands;
    StatusVariableTable statusVariables;
    std::array<CommandHandler, kCommandTableCapacity> handlers{};
    std::array<StatusReader, kStatusTableCapacity> statusReaders{};
    ArrayEngine arrays;
    void registerCommand(std::string_view name, CommandHandler handler);
    void registerCommand(int code, CommandHandler handler);
    // Commands whose 'v' arguments may also name a data-block variable (the
    // arithmetic statements on vectors); other commands refuse one with 819.
    std::array<bool, kCommandTableCapacity> variableArgumentTakesBlocks{};
    void registerStatus(int code, StatusReader reader);

    // ---- Values and variables
    StringWorkArea work;
    Symbols symbols;

    // Matrix settings: index base (0 or 1) and order mode (row-first or x-first).
    int matrixBase = 0;
    int matrixBase2 = 0;
    bool matrixRowFirst = false;

    // ---- Status results of commands
    std::array<int32_t, 32> results{};     // !Result[0..31]
    std::array<int32_t, 32> parameters{};  // !GetParam[0..31]
    std::string strResult;                 // !StrResult
    int statusError = 0;                   // !Error: read and cleared by the macro
    int lastError = 0;                     // the last error shown by the error box
    int64_t mValue = INT64_MIN;            // !M / !Max (INT64_MIN: never set)

    // ---- Run state
    uint8_t runState = 0;
    uint32_t runOptions = 0;
    bool disableWaitSwitch = false;  // stored by DisableWait bit 1; nothing reads it

    // ---- Evaluation
    // Evaluates a numeric expression at p with the given limit level; p moves
    // past what was read. Returns 0, an error number, or kStringOperand.
    int evaluate(const char*& p, int limit, MCVal& out);
    // Evaluates a string expression into the work area.
    int evaluateString(const char*& p, std::string_view& out);
    // Evaluates a complete expression text (as the Watch Window and ?-lines do).
    int evaluateText(std::string_view text, MCVal& out, std::string& stringOut, bool& isString);

    // The scanner position of the last error, for the error box and the editor.
    const char* errorPosition = nullptr;

    // Argument lists are pooled: nested calls each take one.
    CallArgs& acquireArgs();
    void releaseArgs();

    // A numbered message of the program (801..857).
    std::string_view messageText(int number) const;

    // Reads a status variable.
    int readStatus(int code, int index, StatusValue& value);

    // Formats a number the way the Watch Window shows it (15 significant digits).
    static std::string formatNumber(double value);

    // The state of type T (derived from AreaState) for this interpreter.
    template <typename T>
    T& areaState() {
        const size_t index = areaStateIndex<T>();
        if (index >= areaStates_.size() || !areaStates_[index]) return resetAreaState<T>();
        return static_cast<T&>(*areaStates_[index]);
    }
    // Replaces the state of type T by a fresh one.
    template <typename T>
    T& resetAreaState() {
        // Made before its slot is looked up: the table may grow meanwhile.
        auto fresh = std::make_unique<T>();
        T& state = *fresh;
        areaSlot(areaStateIndex<T>()) = std::move(fresh);
        return state;
    }

private:
    Host& host_;
    uint64_t serial_;
    std::unique_ptr<Evaluator> evaluator_;
    std::unique_ptr<Runner> runner_;
    std::vector<std::unique_ptr<CallArgs>> argsPool_;
    size_t argsDepth_ = 0;
    std::unique_ptr<AreaState>& areaSlot(size_t index) {
        if (index >= areaStates_.size()) areaStates_.resize(index + 1);
        return areaStates_[index];
    }
    std::vector<std::unique_ptr<AreaState>> areaStates_;
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

}  // namespace tvx::interp
