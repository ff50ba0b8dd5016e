// A cache of the logical lines of a macro text, and of a compiled form of the
// common lines: numeric assignments ("x = x + !LoopIndex * 0.5"), commands
// whose arguments are numbers, plain variables or simple texts
// ("ListAddStr L, n, "entry " + #i"), Function lines, If and Return. Numbers
// may come from macro functions ("Return Fib(n - 1) + Fib(n - 2)"): the call
// runs as the text's would, with the arguments that are plain numbers
// computed by the line. Lines are still defined by their text; the compiled
// form only saves scanning it again, and whenever it meets something outside
// its small scope the line runs from its text (taking the outcomes of calls
// already made), so every observable behaviour (errors and their positions,
// variable creation, skip mode, labels) stays that of the text interpreter.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "interp/errors.h"
#include "interp/exec/control.h"
#include "interp/source/lines.h"

namespace tvx::interp {

class Interpreter;
class SymbolTable;
struct Variable;
struct MacroContext;
struct MCVal;

// One step of a compiled expression, evaluated on a stack of doubles; or a
// piece of a command argument that is no number (the kinds from
// kVariableArgument on): a string argument is a run of literals, string
// variables and formatted numbers, joined as '+' joins them.
struct ExpressionStep {
    enum Kind : uint8_t {
        kNumber,
        kVariable,
        kStatus,
        kBinary,
        kBinaryNumber,    // kBinary whose right operand is the number (a kNumber step folded in)
        kBinaryVariable,  // kBinary whose right operand is the variable named (a kVariable step folded in)
        kNegate,
        kLoopIndex,         // !LoopIndex: the innermost loop's index, read from the context
        kVariableArgument,  // a numeric variable named as a 'v' argument
        kStringVariable,    // a string variable named alone as an 's' argument
        kStringLiteral,     // a quoted text without doubled quotes as an 's' argument
        kStringExpression,  // a last 's' argument that reads but changes nothing, from its text
        kFormatNumber,      // in a string argument: '#' and the `length` numeric steps behind it
        kCall,              // a macro function: the name at offset, its argument text as written, code
                            // its CachedLine::calls entry
    };
    Kind kind;
    uint16_t hash = 0;    // a name's hash
    int code = 0;         // kBinary...: operator code; kStatus: status code
    uint32_t offset = 0;  // a name, or a literal's text, within the line text
    uint32_t length = 0;
    double number = 0;            // kNumber, kBinaryNumber
    uint32_t argumentOffset = 0;  // kCall: the text between the brackets
    uint32_t argumentLength = 0;
};

// Where a compiled line found its variables, and the scope it found them in:
// valid while the same tables and the same function's statics are in scope
// and the tables have the same names (their stamps), so the line need not
// look its names up again.
struct ResolvedNames {
    struct Slot {
        SymbolTable* table = nullptr;
        int index = 0;
        Variable* var = nullptr;  // the entry itself (variables never move within their table)
        ExpressionStep::Kind kind = ExpressionStep::kVariable;  // of the step that names it
    };
    bool valid = false;
    const SymbolTable* macroTable = nullptr;
    const SymbolTable* localTable = nullptr;
    uint64_t macroStamp = 0;
    uint64_t localStamp = 0;
    int staticsFunctionId = 0;  // whose statics were visible
    uint64_t staticsVersion = 0;
    Slot target;                  // kAssignment: the target
    std::vector<Slot> variables;  // one per step that names a variable, in order
};

// Where a form found its names, by call level: a recursive function runs its
// lines (and reads its arguments) at many levels, each with a local space of
// its own. The levels from kLevels on share one.
class ResolvedByLevel {
public:
    static constexpr int kLevels = 64;
    ResolvedNames& at(int level) {
        if (level <= 0) return first_;
        size_t slot = static_cast<size_t>(level < kLevels ? level : kLevels) - 1;
        return slot < deeper_.size() && deeper_[slot] ? *deeper_[slot] : added(slot);
    }
    // Every level looks its names up again (the form changed).
    void forget();

private:
    ResolvedNames& added(size_t slot);
    ResolvedNames first_;  // level 0
    // Deeper levels, each allocated once: a call at a deeper level adds one
    // while the form runs, without moving those in use.
    std::vector<std::unique_ptr<ResolvedNames>> deeper_;
};

struct CachedLine {
    LogicalLine where;
    LineStatus status = LineStatus::Line;
    std::string text;

    enum class Form : uint8_t {
        kUnknown,
        kText,
        kAssignment,
        kBareCommand,
        kCommand,
        kFunctionLine,
        kEndLoop,
        kReturn,  // Return with a number: straight back to the caller
        kIf,      // If with a number
        kEndIf,   // EndIf, met while running (it does nothing then)
    };
    Form form = Form::kUnknown;
    int commandCode = 0;        // kBareCommand, kCommand
    uint32_t targetLength = 0;  // kAssignment: the target name; kFunctionLine: the function's name
    uint32_t targetOffset = 0;
    uint16_t targetHash = 0;
    std::vector<ExpressionStep> steps;
    // kCommand: the signature letter of each argument and where its steps end.
    std::vector<char> argumentLetters;
    std::vector<uint16_t> argumentEnds;
    // kBareCommand, kCommand: the signature letters of the arguments the line leaves out.
    std::string leftOutLetters;
    uint8_t namedArguments = 0;            // kCommand: arguments that name a variable
    bool namesVariables = false;           // some step names a variable
    bool makesCalls = false;               // some step calls a macro function
    // A label id the line found, with the label table's generation it is right for.
    struct KnownLabel {
        uint64_t generation = 0;
        int id = 0;
    };
    KnownLabel functionLabel;  // kFunctionLine
    // Each call (a kCall step's code): its arguments split as binding reads
    // them, kept here so that each is read at the same place every time
    // (ExpressionCache); those the line computes before the call, whose steps
    // stand before the kCall step (bit i: argument i); the function's label.
    struct CallSite {
        std::vector<std::string> actuals;
        uint8_t precomputed = 0;
        int precomputedCount = 0;  // the bits set
        KnownLabel label;
    };
    std::vector<CallSite> calls;
    uint32_t formalsOffset = 0;            // kFunctionLine: the formal parameters, to the end of the line
    std::vector<FormalParameter> formals;  // kFunctionLine: the same, read (names within text)
    ResolvedByLevel resolved;
    int skipWord = kSkipWordUnknown;  // LineInterpreter::skipWord, once known
    static constexpr int kSkipWordUnknown = -100;
    // An If, Else or ElseIf: LineInterpreter::skipEnd, once looked for, and
    // how many lines skipping passes up to it (the last included).
    size_t skipEnd = kNotLookedFor;
    uint32_t skipLines = 0;
    CachedLine* skipLast = nullptr;  // the last of those lines (kept by the same cache)
    static constexpr size_t kNotLookedFor = SIZE_MAX - 1;

    // The line that ran after this one last time, and where it starts: the
    // run loop takes it without a lookup when the program counter agrees.
    size_t successorPosition = SIZE_MAX;
    CachedLine* successor = nullptr;
};

class LineCache {
public:
    // Lines kept at most (their text and compiled form, roughly): a macro that
    // runs through millions of distinct lines does not keep them all.
    static constexpr size_t kBudgetBytes = size_t{32} << 20;

    // The logical line that starts at pos (read on first use).
    CachedLine& at(std::string_view text, size_t pos);
    void clear();
    // True when the lines kept have grown past the budget: the run loop then
    // clears the cache where no line of it is in use.
    bool overBudget() const { return bytes_ > kBudgetBytes; }
    // Counts what compiling a line added to it.
    void noteCompiled(const CachedLine& line);

private:
    std::vector<std::unique_ptr<CachedLine>> entries_;
    std::unordered_map<size_t, CachedLine*> byPosition_;
    size_t bytes_ = 0;
};

// Numeric expressions that the evaluator reads from text (lines that run from
// their text, arguments, calls from the command API), compiled when the same
// text is met at the same place a second time. An entry is found by where the
// expression starts, but used only when the text there still reads the same
// up to a ',' ')' or the end of the text, so a text that changed, or other
// text at the same address, is read afresh. Only what the line compiler covers
// is compiled (numbers, plain numeric variables, status variables that reading
// leaves alone, brackets, signs, operators); whatever the compiled form
// cannot settle (a name missing or of another kind, an error) is evaluated
// from the text, which has had no effect until then.
class ExpressionCache {
public:
    ExpressionCache();
    ~ExpressionCache();

    // Evaluates the expression at p from its compiled form. True when it ran:
    // p then stands behind it as the text evaluator would leave it.
    bool evaluate(Interpreter& ip, const char*& p, int limit, MCVal& out);
    // Notes an expression the text evaluator read from start to end as a real
    // number; compiles it when it is met there a second time.
    void learn(Interpreter& ip, const char* start, const char* end, int limit);

private:
    struct Entry;
    Entry& entryFor(const char* start, int limit);
    std::unique_ptr<Entry[]> entries_;
};

// Compiles text, whole, as a number that may call macro functions (their
// sites go to calls, their names and arguments stay within text). False when
// it holds anything else.
bool compileNumericExpression(Interpreter& ip, const std::string& text, std::vector<ExpressionStep>& steps,
                              std::vector<CachedLine::CallSite>& calls);
// Gives a line met for the first time its compiled form (kText when it has none).
void ensureCompiled(Interpreter& ip, MacroContext& ctx, CachedLine& line);
// Runs a line in its compiled form when it has one. Returns true when the line
// ran (err holds its result), false when it must run from its text.
bool runCompiledLine(Interpreter& ip, MacroContext& ctx, CachedLine& line, Error& err);
// Runs a line compiled as EndLoop (the run loop calls it directly: every pass
// of every loop ends with one).
Error runEndLoop(Interpreter& ip, MacroContext& ctx, const CachedLine& line);
// A compiled assignment that only computes: it calls no macro function and
// reads no status variable but the loop index, so it changes nothing but its
// variable and sees nothing of where the run stands.
bool isPlainAssignment(const CachedLine& line);
// Runs such a line as runCompiledLine would. False when it must run from its
// text (nothing was changed then).
bool runPlainAssignment(Interpreter& ip, MacroContext& ctx, CachedLine& line);

}  // namespace tvx::interp
