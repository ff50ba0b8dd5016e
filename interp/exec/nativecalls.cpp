#include "interp/exec/nativecalls.h"

#include <algorithm>
#include <array>
#include <functional>

#include "interp/codes.h"
#include "interp/eval/evaluator.h"
#include "interp/eval/scanner.h"
#include "interp/exec/combine.h"
#include "interp/exec/context.h"
#include "interp/exec/control.h"
#include "interp/exec/linecache.h"
#include "interp/exec/runner.h"
#include "interp/interpreter.h"
#include "interp/names/commandtable.h"
#include "interp/stackguard.h"
#include "interp/values/number.h"

namespace tvx::interp {

namespace {

constexpr int kMaxParameters = kMaxPrecomputedArguments;
constexpr int kMaxBodyLines = 256;
constexpr int kMaxStack = 64;
// Calls within the arguments of calls, at most.
constexpr int kMaxNesting = 8;
// A unit whose calls gave up this often (errors the text reports) is left to
// the text: each give-up runs the call again from its lines.
constexpr int kMaxGiveUps = 32;
// Calls between two looks at the clock (the run loop looks every 16 lines).
constexpr unsigned kPaceMask = 63;

// One step of an expression on a stack of doubles.
struct Op {
    enum Kind : uint8_t {
        kNumber,
        kParameter,
        kParameterNumber,  // a parameter and a number combined ("n - 1"): kParameter, kBinaryNumber in one
        kBinary,
        kBinaryNumber,
        kBinaryParameter,
        kNegate,
        kCall,
    };
    Kind kind;
    uint8_t parameter = 0;                            // kParameter, kParameterNumber, kBinaryParameter
    InlineOperator inlined = InlineOperator::kOther;  // the operator, when one is inlined
    int code = 0;       // kParameterNumber, kBinary...: the operator; kCall: the unit's call site
    double number = 0;  // kNumber, kBinaryNumber
};

// A call of another unit: each argument is a value the caller computed (on
// the stack) or one of the caller's parameters named alone.
struct CallSite {
    const NativeCalls::Unit* unit = nullptr;  // the callee (units live in a deque: it never moves)
    uint8_t count = 0;
    uint8_t stacked = 0;  // the values it takes from the stack
    // Within how many argument lists of other calls it stands. Binding reads
    // an argument with its call under way, one level deeper: a call there is
    // made that much deeper (the call stack's limit is met there).
    uint8_t nesting = 0;
    // Of each argument: from 0 its place among those values, below 0 the
    // parameter -1 - slot.
    std::array<int8_t, kMaxParameters> slot{};
};

// The lines of a function, as a flat program: If, ElseIf and Else become
// tests and jumps (an ElseIf or Else reached from the branch above it ends
// the If, after reading an ElseIf's condition as the text does).
struct Instruction {
    enum Kind : uint8_t { kTest, kCheck, kJump, kAssign, kReturn };
    Kind kind;
    uint8_t parameter = 0;        // kAssign
    uint32_t begin = 0, end = 0;  // the expression's ops
    uint32_t target = 0;          // kTest (when false), kJump
    // Its line, counted from the Function line (0), blank lines included:
    // going on from one instruction to another passes the lines between, each
    // of which a line budget counts (a jump skips them, as the text would).
    uint32_t line = 0;
};

}  // namespace

struct NativeCalls::Unit {
    int id = 0;
    int parameters = 0;
    std::vector<Op> ops;
    std::vector<CallSite> sites;
    std::vector<Instruction> code;
    std::vector<int> calleeIds;             // label ids of the functions it calls
    std::vector<std::string> declarations;  // their names as a declaration would have them
    int giveUps = 0;
};

namespace {

bool blankLine(const std::string& text) { return *skipBlanks(text.c_str()) == '\0'; }

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && NameTable::namesMatch(a.data(), b.data(), a.size());
}

// Compiles the lines of one function into its unit; callees it meets are
// looked up (or added, to be compiled next) through unitOf.
class UnitCompiler {
public:
    UnitCompiler(Interpreter& ip, MacroContext& ctx, NativeCalls::Unit& unit,
                 std::function<const NativeCalls::Unit*(int)> unitOf)
        : ip_(ip), ctx_(ctx), unit_(unit), unitOf_(std::move(unitOf)) {}

    bool compile() {
        std::string_view text(*ctx_.text);
        size_t position = ctx_.labels.position(unit_.id);
        if (position == SIZE_MAX || !ctx_.labels.isFunction(unit_.id)) return false;
        CachedLine* line = lineAt(text, position);
        if (!line) return false;
        ensureCompiled(ip_, ctx_, *line);
        if (line->form != CachedLine::Form::kFunctionLine) return false;
        std::string_view name(line->text.c_str() + line->targetOffset, line->targetLength);
        if (name.find('.') != std::string_view::npos || ctx_.labels.find(name) != unit_.id) return false;
        if (line->formals.size() > kMaxParameters) return false;
        for (size_t i = 0; i < line->formals.size(); ++i) {
            const FormalParameter& formal = line->formals[i];
            if (!formal.valid || formal.byReference) return false;
            for (size_t j = 0; j < i; ++j)
                if (sameName(formal.name, line->formals[j].name)) return false;
            // Formal names point into the line's text: copied, as the line cache may let it go.
            formals_.emplace_back(formal.name);
        }
        unit_.parameters = static_cast<int>(formals_.size());
        size_t next = line->where.next;
        for (int count = 0; count < kMaxBodyLines; ++count) {
            line = lineAt(text, next);
            if (!line) return false;
            next = line->where.next;
            ++ordinal_;
            if (blankLine(line->text)) continue;
            ensureCompiled(ip_, ctx_, *line);
            if (!statement(*line)) return false;
            if (finished_) return true;
        }
        return false;
    }

private:
    // A line of the function: one the text has passed already (so it has met
    // whatever labels it holds), never the declaration line of a function file.
    CachedLine* lineAt(std::string_view text, size_t position) {
        CachedLine& line = ctx_.lines.at(text, position);
        if (line.status != LineStatus::Line || line.where.next > ctx_.furthest ||
            line.where.start == ctx_.declarationLine)
            return nullptr;
        return &line;
    }

    uint32_t here() const { return static_cast<uint32_t>(unit_.code.size()); }

    bool statement(const CachedLine& line) {
        using Form = CachedLine::Form;
        Instruction in{};
        switch (line.form) {
        case Form::kIf:
            open_.push_back({});
            if (!condition(line, Instruction::kTest)) return false;
            open_.back().test = static_cast<int>(here()) - 1;
            return true;
        case Form::kCommand:
            if (line.commandCode != cmd::ElseIf || line.argumentLetters.size() != 1 || open_.empty())
                return false;
            // From the branch above: its condition is read, then the If ends.
            if (!condition(line, Instruction::kCheck)) return false;
            endBranch();
            if (!condition(line, Instruction::kTest)) return false;
            open_.back().test = static_cast<int>(here()) - 1;
            return true;
        case Form::kBareCommand:
            if (line.commandCode != cmd::Else || open_.empty()) return false;
            endBranch();
            return true;
        case Form::kEndIf: {
            if (open_.empty()) return false;
            OpenIf block = open_.back();
            open_.pop_back();
            if (block.test >= 0) unit_.code[static_cast<size_t>(block.test)].target = here();
            for (uint32_t jump : block.jumpsToEnd) unit_.code[jump].target = here();
            return true;
        }
        case Form::kReturn:
            if (!expression(line, in)) return false;
            in.kind = Instruction::kReturn;
            emit(in);
            finished_ = open_.empty();  // what follows an unconditional Return is never reached
            return true;
        case Form::kAssignment: {
            int parameter =
                parameterNamed(std::string_view(line.text.c_str() + line.targetOffset, line.targetLength));
            if (parameter < 0 || !expression(line, in)) return false;
            in.kind = Instruction::kAssign;
            in.parameter = static_cast<uint8_t>(parameter);
            emit(in);
            return true;
        }
        case Form::kText:
            // End in a function returns from it with 0.
            if (!bareEnd(line)) return false;
            unit_.ops.push_back({Op::kNumber});
            in.kind = Instruction::kReturn;
            in.begin = static_cast<uint32_t>(unit_.ops.size()) - 1;
            in.end = in.begin + 1;
            emit(in);
            finished_ = open_.empty();
            return true;
        default: return false;
        }
    }

    bool bareEnd(const CachedLine& line) const {
        const char* start = skipBlanks(line.text.c_str());
        uint16_t hash;
        const char* end = scanName(start, hash);
        return end != start && *skipBlanks(end) == '\0' &&
               ip_.commands().lookup(std::string_view(start, static_cast<size_t>(end - start)), hash) ==
                   cmd::End;
    }

    // The branch above an ElseIf or Else ends with a jump to the EndIf; a
    // false test of it goes on behind that jump.
    void endBranch() {
        OpenIf& block = open_.back();
        block.jumpsToEnd.push_back(here());
        emit({Instruction::kJump});
        if (block.test >= 0) unit_.code[static_cast<size_t>(block.test)].target = here();
        block.test = -1;
    }

    bool condition(const CachedLine& line, Instruction::Kind kind) {
        Instruction in{};
        if (!expression(line, in)) return false;
        in.kind = kind;
        emit(in);
        return true;
    }

    void emit(Instruction in) {
        in.line = ordinal_;
        unit_.code.push_back(in);
    }

    int parameterNamed(std::string_view name) const {
        for (size_t i = 0; i < formals_.size(); ++i)
            if (sameName(name, formals_[i])) return static_cast<int>(i);
        return -1;
    }

    // The line's steps as ops; false for a step outside this small scope.
    bool expression(const CachedLine& line, Instruction& in) {
        in.begin = static_cast<uint32_t>(unit_.ops.size());
        int depth = 0;
        if (!translate(line.text.c_str(), line.steps, line.calls, depth, 0)) return false;
        in.end = static_cast<uint32_t>(unit_.ops.size());
        return depth == 1;
    }

    // Steps (their names within text, their calls' sites in calls) as ops,
    // counting the values they leave on the stack in depth.
    bool translate(const char* text, const std::vector<ExpressionStep>& steps,
                   const std::vector<CachedLine::CallSite>& calls, int& depth, int nesting) {
        const size_t begin = unit_.ops.size();
        for (const ExpressionStep& step : steps) {
            Op op{Op::kNumber};
            switch (step.kind) {
            case ExpressionStep::kNumber:
                op.number = step.number;
                ++depth;
                break;
            case ExpressionStep::kVariable:
            case ExpressionStep::kBinaryVariable: {
                int parameter = parameterNamed(std::string_view(text + step.offset, step.length));
                if (parameter < 0) return false;
                op.kind = step.kind == ExpressionStep::kVariable ? Op::kParameter : Op::kBinaryParameter;
                op.parameter = static_cast<uint8_t>(parameter);
                op.code = step.code;
                if (step.kind == ExpressionStep::kVariable) ++depth;
                break;
            }
            case ExpressionStep::kBinary:
                op.kind = Op::kBinary;
                op.code = step.code;
                --depth;
                break;
            case ExpressionStep::kBinaryNumber:
                op.kind = Op::kBinaryNumber;
                op.code = step.code;
                op.number = step.number;
                if (unit_.ops.size() > begin && unit_.ops.back().kind == Op::kParameter) {
                    // Folded into the parameter before it.
                    Op& before = unit_.ops.back();
                    before.kind = Op::kParameterNumber;
                    before.code = op.code;
                    before.inlined = inlineOperator(op.code);
                    before.number = op.number;
                    continue;
                }
                break;
            case ExpressionStep::kNegate: op.kind = Op::kNegate; break;
            case ExpressionStep::kCall: {
                if (!callSite(text, step, calls[static_cast<size_t>(step.code)], depth, nesting))
                    return false;
                op.kind = Op::kCall;
                op.code = static_cast<int>(unit_.sites.size()) - 1;
                depth += 1 - unit_.sites.back().stacked;
                break;
            }
            default: return false;  // status variables, the loop index, argument pieces
            }
            if (depth > kMaxStack || depth < 0) return false;
            if (op.kind != Op::kCall) op.inlined = inlineOperator(op.code);
            unit_.ops.push_back(op);
        }
        return true;
    }

    // A call: the arguments the line computed are on the stack already; those
    // it left to binding are computed here, behind them.
    bool callSite(const char* text, const ExpressionStep& step, const CachedLine::CallSite& written,
                  int& depth, int nesting) {
        std::string_view name(text + step.offset, step.length);
        int id = ctx_.labels.find(name);
        if (id == 0 || written.actuals.size() > static_cast<size_t>(kMaxParameters) || nesting > kMaxNesting)
            return false;
        std::string declaration = declarationName(name);
        // A parameter of that name would stand for the declaration.
        if (parameterNamed(declaration) >= 0) return false;
        const NativeCalls::Unit* callee = unitOf_(id);
        if (!callee) return false;
        CallSite site;
        site.unit = callee;
        site.count = static_cast<uint8_t>(written.actuals.size());
        site.nesting = static_cast<uint8_t>(nesting);
        // The computed ones first, in order, then those computed here.
        int computedByLine = 0, computedHere = 0;
        for (size_t i = 0; i < written.actuals.size(); ++i) computedByLine += written.precomputed >> i & 1u;
        for (size_t i = 0, byLine = 0; i < written.actuals.size(); ++i) {
            if (written.precomputed >> i & 1u) {
                site.slot[i] = static_cast<int8_t>(byLine++);
                continue;
            }
            // Binding reads an argument the line did not compute, in the
            // caller's scope: a parameter named alone as the number it holds,
            // an expression of parameters, numbers and calls as its value.
            const std::string& actual = written.actuals[i];
            if (int parameter = parameterNamed(actual); parameter >= 0) {
                site.slot[i] = static_cast<int8_t>(-parameter - 1);
                continue;
            }
            std::vector<ExpressionStep> steps;
            std::vector<CachedLine::CallSite> calls;
            int before = depth;
            if (!compileNumericExpression(ip_, actual, steps, calls) ||
                !translate(actual.c_str(), steps, calls, depth, nesting + 1) || depth != before + 1)
                return false;
            site.slot[i] = static_cast<int8_t>(computedByLine + computedHere++);
        }
        site.stacked = static_cast<uint8_t>(computedByLine + computedHere);
        unit_.sites.push_back(site);
        unit_.calleeIds.push_back(id);
        unit_.declarations.push_back(std::move(declaration));
        return true;
    }

    struct OpenIf {
        int test = -1;  // the test whose false branch goes on at the next ElseIf, Else or EndIf
        std::vector<uint32_t> jumpsToEnd;
    };

    Interpreter& ip_;
    MacroContext& ctx_;
    NativeCalls::Unit& unit_;
    std::function<const NativeCalls::Unit*(int)> unitOf_;
    std::vector<std::string> formals_;
    std::vector<OpenIf> open_;
    uint32_t ordinal_ = 0;  // of the line being compiled
    bool finished_ = false;
};

// Runs units; false gives the outermost call up (interrupted tells that the
// run wants lines seen or the line budget runs out, rather than an error the
// text will report).
class Machine {
public:
    // linesLeft: the lines a line budget still allows (the calls give up
    // rather than take more).
    Machine(Interpreter& ip, int depthLeft, uint64_t linesLeft)
        : ip_(ip), depthLeft_(depthLeft), linesLeft_(linesLeft) {}

    bool interrupted = false;
    uint64_t lines = 0;  // taken so far, as the calls' lines would have been

    // locals: the arguments, which the call then keeps as its parameters.
    [[gnu::noinline]] bool call(const NativeCalls::Unit& unit, double* locals, double& result, int depth) {
        // The stack is looked at every few levels deeper than it was last looked
        // at: a native call takes far less of it than the margin the look keeps.
        if (depth >= depthLeft_) return false;
        if (depth >= stackLookDepth_) {
            if (stackNearlyExhausted()) return false;
            stackLookDepth_ = depth + 8;
        }
        if ((++calls_ & kPaceMask) == 0 && !ip_.runner().paceNativeCalls()) {
            interrupted = true;
            return false;
        }
        const Instruction* code = unit.code.data();
        const size_t size = unit.code.size();
        lines += code[0].line;  // the Function line, and blank lines up to the first statement
        if (lines > linesLeft_) {
            interrupted = true;
            return false;
        }
        for (size_t pc = 0;;) {
            const Instruction& in = code[pc];
            double value = 0;
            if (in.kind != Instruction::kJump && !evaluate(unit, in, locals, value, depth)) return false;
            int32_t condition = 0;
            size_t next = pc + 1;
            switch (in.kind) {
            case Instruction::kTest:
                if (toInt32Arg(value, condition) != kOk) return false;
                if (condition == 0) next = in.target;
                break;
            case Instruction::kCheck:
                if (toInt32Arg(value, condition) != kOk) return false;
                break;
            case Instruction::kJump: next = in.target; break;
            case Instruction::kAssign: locals[in.parameter] = value; break;
            case Instruction::kReturn:
                result = value;
                ++lines;
                return true;
            }
            if (next >= size) return false;
            lines += code[next].line - in.line;
            pc = next;
        }
    }

private:
    // Inlined into call: one frame per call.
    [[gnu::always_inline]] bool evaluate(const NativeCalls::Unit& unit, const Instruction& in,
                                         const double* locals, double& result, int depth) {
        double stack[kMaxStack + 1];
        int sp = 0;
        const Op* const last = unit.ops.data() + in.end;
        for (const Op* op = unit.ops.data() + in.begin; op != last; ++op) {
            switch (op->kind) {
            case Op::kNumber: stack[sp++] = op->number; break;
            case Op::kParameter: stack[sp++] = locals[op->parameter]; break;
            case Op::kParameterNumber:
                stack[sp] = locals[op->parameter];
                if (!combine(ip_, op->inlined, op->code, stack[sp], op->number)) return false;
                ++sp;
                break;
            case Op::kBinary:
                --sp;
                if (!combine(ip_, op->inlined, op->code, stack[sp - 1], stack[sp])) return false;
                break;
            case Op::kBinaryNumber:
                if (!combine(ip_, op->inlined, op->code, stack[sp - 1], op->number)) return false;
                break;
            case Op::kBinaryParameter:
                if (!combine(ip_, op->inlined, op->code, stack[sp - 1], locals[op->parameter])) return false;
                break;
            case Op::kNegate: stack[sp - 1] = -stack[sp - 1]; break;
            case Op::kCall: {
                const CallSite& site = unit.sites[static_cast<size_t>(op->code)];
                sp -= site.stacked;
                double arguments[kMaxParameters];
                const double* stacked = stack + sp;
                for (int i = 0; i < site.count; ++i) {
                    int8_t slot = site.slot[static_cast<size_t>(i)];
                    arguments[i] = slot >= 0 ? stacked[slot] : locals[-1 - slot];
                }
                if (!call(*site.unit, arguments, stack[sp], depth + 1 + site.nesting)) return false;
                ++sp;
                break;
            }
            }
        }
        result = stack[0];
        return true;
    }

    Interpreter& ip_;
    int depthLeft_;
    int stackLookDepth_ = 0;
    uint64_t linesLeft_;
    unsigned calls_ = 0;
};

// An argument the calling line left to binding: binding reads a plain name of
// a variable that holds a number (in the caller's scope, which is still in
// effect) as that number.
bool numberNamed(const Symbols& symbols, const std::string& actual, double& out) {
    const char* p = actual.c_str();
    if (!isNameChar(*p) || isDigit(*p)) return false;
    uint16_t hash;
    const char* end = scanName(p, hash);
    if (*end != '\0') return false;
    VarSlot slot = symbols.find(std::string_view(p, static_cast<size_t>(end - p)), hash);
    if (slot && slot.var().valueKind() == kKindReference) slot = symbols.followReferences(slot);
    if (!slot || slot.var().valueKind() != kKindNumber) return false;
    out = slot.var().number;
    return true;
}

}  // namespace

NativeCalls::NativeCalls() = default;

bool NativeCalls::triedLately(const Known& entry, const MacroContext& ctx) {
    return entry.tried && entry.triedAt >= ctx.furthest && entry.triedChanges == ctx.labels.changes();
}
NativeCalls::~NativeCalls() = default;

bool NativeCalls::call(Interpreter& ip, MacroContext& ctx, int id, const KnownCall& known, MCVal& result) {
    Unit* unit = unitFor(ip, ctx, id);
    if (!unit || !known.actuals || known.actuals->size() != static_cast<size_t>(unit->parameters) ||
        !declarationsAbsent(ctx))
        return false;
    std::array<double, kMaxParameters> arguments = known.values;
    for (int i = 0; i < unit->parameters; ++i)
        if (!(known.precomputed >> i & 1u) &&
            !numberNamed(ip.symbols(), (*known.actuals)[static_cast<size_t>(i)],
                         arguments[static_cast<size_t>(i)]))
            return false;
    Runner& runner = ip.runner();
    Machine machine(ip, ctx.callDepth - 1 - ctx.callLevel, runner.linesLeft());
    double value = 0;
    ++running_;
    bool ran = machine.call(*unit, arguments.data(), value, 0);
    --running_;
    if (ran && machine.lines > runner.linesLeft()) {
        // The budget runs out within the call: its lines stop where it does.
        ran = false;
        machine.interrupted = true;
    }
    if (!ran) {
        if (!machine.interrupted) ++unit->giveUps;
        return false;
    }
    runner.takeLines(machine.lines);
    result.setReal(value);
    return true;
}

NativeCalls::Unit* NativeCalls::unitFor(Interpreter& ip, MacroContext& ctx, int id) {
    if (labelGeneration_ != ctx.labels.generation()) {
        // The label ids were given anew: so are the units.
        if (running_ > 0) return nullptr;
        units_.clear();
        known_.clear();
        checked_ = {};
        labelGeneration_ = ctx.labels.generation();
    }
    if (id <= 0) return nullptr;
    if (known_.size() <= static_cast<size_t>(id)) known_.resize(static_cast<size_t>(id) + 1);
    Known& entry = known_[static_cast<size_t>(id)];
    if (!entry.unit) {
        if (triedLately(entry, ctx)) return nullptr;
        if (!compileGroup(ip, ctx, id)) return nullptr;
    }
    Unit* unit = known_[static_cast<size_t>(id)].unit;
    return unit->giveUps < kMaxGiveUps ? unit : nullptr;
}

// Compiles the function and every function it calls that has no unit yet:
// all of them, or none.
bool NativeCalls::compileGroup(Interpreter& ip, MacroContext& ctx, int id) {
    const size_t first = units_.size();
    auto unitOf = [&](int calleeId) -> const Unit* {
        if (known_.size() <= static_cast<size_t>(calleeId)) known_.resize(static_cast<size_t>(calleeId) + 1);
        Known& entry = known_[static_cast<size_t>(calleeId)];
        if (entry.unit) return entry.unit;
        if (triedLately(entry, ctx) || ctx.externalFunctions.count(calleeId)) return nullptr;
        entry.unit = &units_.emplace_back();
        entry.unit->id = calleeId;
        return entry.unit;
    };
    bool compiled = unitOf(id) != nullptr;
    for (size_t i = first; compiled && i < units_.size(); ++i)
        compiled = UnitCompiler(ip, ctx, units_[i], unitOf).compile();
    // Every call passes as many arguments as its callee has parameters.
    for (size_t i = first; compiled && i < units_.size(); ++i)
        for (const CallSite& site : units_[i].sites)
            compiled = compiled && site.count == site.unit->parameters;
    if (compiled) {
        checked_ = {};  // new callees: their declarations are looked for
        return true;
    }
    for (size_t i = first; i < units_.size(); ++i)
        known_[static_cast<size_t>(units_[i].id)] = {nullptr, ctx.furthest, ctx.labels.changes(), true};
    units_.resize(first);
    return false;
}

// No function a unit calls was declared (Decl) or found in a function file
// since this was last made sure of.
bool NativeCalls::declarationsAbsent(MacroContext& ctx) {
    SymbolTable* table = ctx.symbols;
    Checked now{table, table ? table->stamp() : 0, ctx.externalFunctions.size(), true};
    if (now.valid && checked_.valid && now.table == checked_.table && now.stamp == checked_.stamp &&
        now.externals == checked_.externals)
        return true;
    for (const Unit& unit : units_) {
        if (ctx.externalFunctions.count(unit.id)) return false;
        for (size_t i = 0; i < unit.calleeIds.size(); ++i) {
            if (ctx.externalFunctions.count(unit.calleeIds[i])) return false;
            if (table && table->find(unit.declarations[i])) return false;
        }
    }
    checked_ = now;
    return true;
}

}  // namespace tvx::interp
