// The macro context: everything one running macro keeps between its lines.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "interp/exec/linecache.h"
#include "interp/exec/nativecalls.h"
#include "interp/names/nametable.h"
#include "interp/symbols/symbols.h"
#include "interp/values/mcval.h"

namespace tvx::interp {

constexpr int kMaxLoopLevels = 32;
constexpr int kLineBufferSize = 512;
constexpr int kMaxLineLength = 511;

// Skip states: the low 4 bits count nesting.
constexpr uint16_t kSkipOneLine = 0xFFC0;
constexpr uint16_t kSkipIfFalse = 0xFFC1;           // to the matching ElseIf / Else / EndIf
constexpr uint16_t kSkipIfTaken = 0xFFD1;           // a taken branch met ElseIf / Else: to EndIf
constexpr uint16_t kSkipLoop = 0xFFF0;              // to the matching EndLoop (+ nesting)
constexpr uint16_t kSkipLabelSearchLimit = 0xFFC0;  // below: the id of a label searched

inline bool isIfSkip(uint16_t s) { return s >= kSkipIfFalse && s < kSkipIfFalse + 15; }
inline bool isTakenSkip(uint16_t s) { return s >= kSkipIfTaken && s < kSkipIfTaken + 15; }
inline bool isLoopSkip(uint16_t s) { return s >= kSkipLoop; }
inline bool isLabelSearch(uint16_t s) { return s != 0 && s < kSkipLabelSearchLimit; }

// Labels and function positions of a macro.
class LabelTable {
public:
    LabelTable() : names_(256, 53) {}
    // The id of name, entering it when missing; 0 when the table is full.
    int idOf(std::string_view name);
    int find(std::string_view name) const { return names_.find(name); }
    std::string_view name(int id) const { return names_.nameAt(id); }
    // Position of the line after the label or Function line; SIZE_MAX when unknown.
    size_t position(int id) const {
        return id > 0 && static_cast<size_t>(id) < positions_.size() ? positions_[id] : SIZE_MAX;
    }
    void setPosition(int id, size_t position);
    bool isFunction(int id) const {
        return id > 0 && static_cast<size_t>(id) < functions_.size() && functions_[id];
    }
    void markFunction(int id);
    void clear();
    // Changes when the table is cleared (ids are given anew): an id kept
    // with the generation it came from is right while that lasts.
    uint64_t generation() const { return generation_; }
    // Counts the positions set and the labels marked as functions.
    uint64_t changes() const { return changes_; }

private:
    NameTable names_;
    uint64_t generation_ = 1;
    uint64_t changes_ = 0;
    std::vector<size_t> positions_;
    std::vector<bool> functions_;
};

// One open GoSub or function call.
struct CallFrame {
    size_t returnPosition = 0;
    int loopLevel = 0;
    int calledId = 0;
    bool isFunction = false;       // a macro function (a local space is open)
    bool fromExpression = false;   // the call returns into an expression
    size_t callLineStart = 0;      // the calling line (for !CallingLine)
    SymbolTable* local = nullptr;  // the local space in effect at this level
    int staticsFunctionId = 0;
    std::unique_ptr<SymbolTable> ownLocal;  // a function's local space, reused by later calls
};

// At most this many of a call's first arguments come computed by the calling line.
constexpr int kMaxPrecomputedArguments = 8;

// A function call waiting for its Function line, which binds the arguments.
struct PendingCall {
    int functionId = 0;
    std::string argumentText;
    // The arguments split already, where a compiled line keeps them (its
    // argument text is then not copied), and those it computed (KnownCall).
    const std::vector<std::string>* actuals = nullptr;
    uint8_t precomputed = 0;
    std::array<double, kMaxPrecomputedArguments> values{};
    double thisHandle = 0;
    bool hasThis = false;
    SymbolTable* callerMacro = nullptr;
    SymbolTable* callerLocal = nullptr;
    int callerStaticsId = 0;
};

// What a called macro keeps of its caller, restored when it ends.
struct SavedCallerState {
    std::string groupName;
    std::string permanentFile;
    bool persistenceOn = false;
};

struct MacroContext : LocalSpaces {
    SymbolTable* localSpace(int level) const override {
        if (level < 1 || level > callLevel || static_cast<size_t>(level) >= frames.size()) return nullptr;
        return frames[static_cast<size_t>(level)].ownLocal.get();
    }

    // The text and where it came from.
    std::shared_ptr<const std::string> text;  // NUL-terminated (std::string keeps one)
    std::string macroPath;                    // directory, with a trailing separator
    std::string fileName;
    bool fromEditor = false;            // run from the Watch Window's editor text
    bool cutIntoLines = true;           // false for immediate text (exit command)
    size_t declarationLine = SIZE_MAX;  // a function file's Shared line, which is not run

    // Positions (offsets into text).
    size_t nextLine = 0;
    size_t lineStart = 0;  // start of the current logical line
    size_t lineEnd = 0;    // where the current logical line ended in the text
    size_t furthest = 0;
    std::string_view currentLine;  // the current logical line, for the error box
    std::string lineStore;         // holds currentLine when it comes from no cached line
    LineCache lines;               // the logical lines of text, read once
    // Functions that live in a function file of the pool, by label id.
    std::unordered_map<int, MacroContext*> externalFunctions;
    // Functions of this text that run without the run loop.
    NativeCalls nativeCalls;

    // Loops.
    int loopLevel = 0;
    std::array<int32_t, kMaxLoopLevels> loopCounts{};
    std::array<int32_t, kMaxLoopLevels> loopIndexes{};
    std::array<size_t, kMaxLoopLevels> loopStarts{};

    // Calls.
    int callLevel = 0;
    int callDepth = 65;             // slots of the call stack
    std::vector<CallFrame> frames;  // index = call level (1-based; [0] unused)
    PendingCall pendingCall;
    bool callPending = false;
    // Function calls of this text running inside one another. Normally the
    // call level, but a statement chained after a Return calls from a level
    // already left, so this can grow while the call level does not.
    int functionRuns = 0;

    bool ended = false;  // End (or Return) at the top level: the macro is over
    uint16_t skipState = 0;
    int skipNesting = 0;  // If or Loop blocks entered while skipping (not limited to 15)
    uint32_t lineFlags = 0;

    // Variables and labels.
    std::unique_ptr<SymbolTable> ownSymbols;  // null when shared with the caller (CallCommon)
    SymbolTable* symbols = nullptr;
    LabelTable labels;

    // Called by CallMacro / CallCommon: Return and End at the top level end it.
    bool called = false;
    SavedCallerState saved;
};

}  // namespace tvx::interp
