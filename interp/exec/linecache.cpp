#include "interp/exec/linecache.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "interp/codes.h"
#include "interp/eval/evaluator.h"
#include "interp/eval/scanner.h"
#include "interp/exec/combine.h"
#include "interp/exec/context.h"
#include "interp/exec/control.h"
#include "interp/exec/lineinterp.h"
#include "interp/exec/runner.h"
#include "interp/interpreter.h"
#include "interp/names/commandtable.h"
#include "interp/values/number.h"
#include "interp/values/numbertext.h"

namespace tvx::interp {

bool combineByEvaluator(Interpreter& ip, int code, double& a, double b) {
    return ip.evaluator().combineReals(code, a, b, a) == kOk;
}

namespace {

constexpr size_t kMaxSteps = 64;
// Arguments of a compiled command that name a variable, at most.
constexpr int kMaxNamedArguments = 8;
constexpr int kMaxStack = 32;

// Status variables that are cleared by reading them: a line that reads one is
// never compiled, so a fallback to the text cannot read it twice.
bool readingClears(int code) { return code == 37 || code == 39 || code == 53 || code == 99; }

// Mirrors the numeric evaluator's grammar for the forms it covers: numbers,
// character literals, plain variable names, status variables without index,
// brackets, unary signs, every binary operator and, in lines, calls of macro
// functions. Returns false for anything else (the line then always runs from
// its text).
class Compiler {
public:
    // A line runs with its context at hand: it reads !LoopIndex where the
    // running loop keeps it, and may call out. An expression met by the
    // evaluator does neither (it reads the loop index through the status
    // readers, and leaves calls to the text).
    // calls gets the sites of a line's calls (a line passes it, an expression not).
    Compiler(Interpreter& ip, const std::string& text, std::vector<ExpressionStep>& steps,
             std::vector<CachedLine::CallSite>* calls = nullptr)
        : ip_(ip),
          base_(text.c_str()),
          steps_(steps),
          calls_(calls),
          callsAllowed_(calls != nullptr) {}

    bool expression(const char*& p, int limit, int depth) {
        if (depth > kMaxStack) return false;
        p = skipBlanks(p);
        if (!operand(p, limit, depth)) return false;
        while (true) {
            const char* q = skipBlanks(p);
            ScannedOperator op;
            if (!scanOperator(q, op)) return false;
            if (op.code == 0 || op.level >= limit) break;
            q += op.length;
            if (!expression(q, op.level, depth + 1)) return false;
            if (!pushBinary(op.code)) return false;
            p = q;
        }
        return true;
    }

    // A 'v' argument that is a plain variable name, or an 's' argument that
    // is a plain variable name or a quoted text without doubled quotes; it
    // must end at a ',' or the end of the line.
    bool plainArgument(const char*& p, char letter, bool alone = true) {
        ExpressionStep step{ExpressionStep::kVariableArgument};
        const char* end;
        if (letter == 's' && *p == '"') {
            end = std::strchr(p + 1, '"');
            if (!end || end[1] == '"') return false;
            step.kind = ExpressionStep::kStringLiteral;
            step.offset = static_cast<uint32_t>(p + 1 - base_);
            step.length = static_cast<uint32_t>(end - p - 1);
            ++end;
        } else {
            if (!isNameChar(*p) || isDigit(*p)) return false;
            end = scanName(p, step.hash);
            if (*end == '.' || *end == '[' || *end == '(') return false;
            if (letter == 's') step.kind = ExpressionStep::kStringVariable;
            step.offset = static_cast<uint32_t>(p - base_);
            step.length = static_cast<uint32_t>(end - p);
        }
        const char* after = skipBlanks(end);
        if (alone && *after != ',' && *after != '\0') return false;
        p = end;
        return push(step);
    }

    // An 's' argument joined from pieces with '+': quoted texts without
    // doubled quotes, string variables named plainly, and '#' with a number
    // operand (the format without specification); it must end at a ',' or
    // the end of the line.
    bool stringPieces(const char*& p) {
        callsAllowed_ = false;  // a line that joins a text calls nothing (its pieces keep no outcome)
        const char* q = p;
        while (true) {
            q = skipBlanks(q);
            if (*q == '#') {
                ++q;
                // "##", "#.", "#," and specifications ("#x#") are other formats.
                if (*q == '#' || *q == '.' || *q == ',' || isBlank(*q)) return false;
                size_t marker = steps_.size();
                if (!push({ExpressionStep::kFormatNumber})) return false;
                if (!expression(q, kLimitSingleOperand, 1)) return false;
                steps_[marker].length = static_cast<uint32_t>(steps_.size() - marker - 1);
                if (*q == '#') return false;
            } else if (!plainArgument(q, 's', /*alone=*/false)) {
                return false;
            }
            const char* after = skipBlanks(q);
            if (*after != '+') break;
            q = after + 1;
        }
        const char* after = skipBlanks(q);
        if (*after != ',' && *after != '\0') return false;
        p = q;
        return true;
    }

    // The last 's' argument as a string expression that the string evaluator
    // reads from the text when the line runs. Taken only when the rest of the
    // line can be read without any effect (quoted texts, names, status
    // variables that reading leaves alone, '+' and the '#' formats; no calls,
    // brackets or members), so that the line may still run from its text when
    // the evaluator fails.
    bool stringExpressionArgument(const char*& p) {
        bool inName = false;  // within a name that starts with a letter
        for (const char* q = p; *q; ++q) {
            char c = *q;
            if (c == '"') {
                q = std::strchr(q + 1, '"');
                if (!q) return false;
                inName = false;
            } else if (c == '!') {
                uint16_t hash;
                const char* end = scanName(q + 1, hash);
                std::string_view name(q + 1, static_cast<size_t>(end - q - 1));
                int code = name.empty() ? -1 : ip_.statusVariables().lookup(name);
                if (code < 0 || readingClears(code)) return false;
                q = end - 1;
                inName = false;
            } else if (c == '.') {
                if (inName) return false;  // a member: it may call out
            } else if (isNameChar(c)) {
                if (!inName && !isDigit(c) && (q == p || !isNameChar(q[-1]))) inName = true;
            } else if (c == '+' || c == '#' || isBlank(c)) {
                inName = false;
            } else {
                return false;
            }
        }
        ExpressionStep step{ExpressionStep::kStringExpression};
        step.offset = static_cast<uint32_t>(p - base_);
        p += std::strlen(p);
        return push(step);
    }

private:
    bool push(ExpressionStep step) {
        if (steps_.size() >= kMaxSteps) return false;
        steps_.push_back(step);
        return true;
    }

    // A binary operator whose right operand is a number or a variable alone
    // takes that step in: one step less to run.
    bool pushBinary(int code) {
        if (!steps_.empty()) {
            ExpressionStep& last = steps_.back();
            if (last.kind == ExpressionStep::kNumber || last.kind == ExpressionStep::kVariable) {
                last.kind = last.kind == ExpressionStep::kNumber ? ExpressionStep::kBinaryNumber
                                                                 : ExpressionStep::kBinaryVariable;
                last.code = code;
                return true;
            }
        }
        return push({ExpressionStep::kBinary, 0, code});
    }

    bool operand(const char*& p, int limit, int depth) {
        char c = *p;
        if (c == '(') {
            ++p;
            if (!expression(p, 20, depth + 1)) return false;
            p = skipBlanks(p);
            if (*p != ')') return false;
            ++p;
        } else if (c == '-') {
            ++p;
            if (!expression(p, 1, depth + 1)) return false;
            if (!push({ExpressionStep::kNegate})) return false;
        } else if (c == '+') {
            ++p;
            p = skipBlanks(p);
            return operand(p, limit, depth);
        } else if (isDigit(c)) {
            ExpressionStep step{ExpressionStep::kNumber};
            p = scanNumber(p, step.number);
            if (!push(step)) return false;
        } else if (c == '\'') {
            if (p[1] == '\0' || p[2] != '\'') return false;
            ExpressionStep step{ExpressionStep::kNumber};
            step.number = static_cast<unsigned char>(p[1]);
            p += 3;
            if (!push(step)) return false;
        } else if (c == '!') {
            uint16_t hash;
            const char* end = scanName(p + 1, hash);
            std::string_view name(p + 1, static_cast<size_t>(end - p - 1));
            int code = name.empty() ? -1 : ip_.statusVariables().lookup(name);
            if (code < kFirstNumericStatusCode || *end == '[' || readingClears(code)) return false;
            p = end;
            // The loop index is read where the loop keeps it, not through the status readers.
            bool inContext = calls_ && code == statvar::LoopIndex;  // in a line
            auto kind = inContext ? ExpressionStep::kLoopIndex : ExpressionStep::kStatus;
            if (!push({kind, 0, code})) return false;
        } else if (isNameChar(c)) {
            uint16_t hash;
            const char* end = scanName(p, hash);
            // Members and indexes are left to the text interpreter.
            if (*end == '.' || *end == '[') return false;
            const char* open = skipBlanks(end);
            if (*open == '(') {
                if (!call(p, end, open, hash, depth)) return false;
            } else {
                ExpressionStep step{ExpressionStep::kVariable, hash};
                step.offset = static_cast<uint32_t>(p - base_);
                step.length = static_cast<uint32_t>(end - p);
                p = end;
                if (!push(step)) return false;
            }
        } else {
            return false;
        }
        return *p != '\'';  // a postfix transpose is no plain number
    }

    // name(arguments) where the name is no built-in function or command word:
    // a macro function (or a Decl'd one, which the step leaves to the text
    // when it runs). The argument text goes to the call as written; the
    // arguments that are plain numbers are computed before the call.
    bool call(const char*& p, const char* nameEnd, const char* open, uint16_t hash, int depth) {
        std::string_view name(p, static_cast<size_t>(nameEnd - p));
        if (!callsAllowed_ || isReservedFunctionName(name) || ip_.commands().lookup(name, hash) >= 0)
            return false;
        const char* close = closingBracket(open);
        if (*close != ')') return false;  // the text reports it
        std::string_view arguments(open + 1, static_cast<size_t>(close - open - 1));
        std::vector<std::string_view> actuals;
        splitArguments(arguments, actuals);
        CachedLine::CallSite site;
        for (size_t i = 0; i < actuals.size(); ++i) {
            site.actuals.emplace_back(actuals[i]);
            // (An argument text cut to what a call keeps is read by binding alone.)
            if (i < kMaxPrecomputedArguments && arguments.size() <= kMaxArgumentText &&
                precompute(actuals[i], depth)) {
                site.precomputed = static_cast<uint8_t>(site.precomputed | 1u << i);
                ++site.precomputedCount;
            }
        }
        ExpressionStep step{ExpressionStep::kCall, hash};
        step.code = static_cast<int>(calls_->size());
        calls_->push_back(std::move(site));
        step.offset = static_cast<uint32_t>(p - base_);
        step.length = static_cast<uint32_t>(nameEnd - p);
        step.argumentOffset = static_cast<uint32_t>(open + 1 - base_);
        step.argumentLength = static_cast<uint32_t>(close - open - 1);
        p = close + 1;
        return push(step);
    }

    // Compiles an argument that binding reads as a number, in the caller's
    // scope, to the argument's end: no call and no status variable (binding
    // reads those with the call under way). A name alone is binding's to read
    // (a vector passes by reference). False leaves no step behind.
    bool precompute(std::string_view actual, int depth) {
        if (actual.empty()) return false;
        const char* start = actual.data();
        const char* end = start + actual.size();
        if (isNameChar(*start) && !isDigit(*start) && skipBlanks(skipCompoundName(start)) >= end)
            return false;
        size_t mark = steps_.size();
        bool calls = callsAllowed_;
        callsAllowed_ = false;
        const char* q = start;
        bool compiled = expression(q, kLimitAssignment, depth + 1) && skipBlanks(q) == end;
        callsAllowed_ = calls;
        for (size_t k = mark; compiled && k < steps_.size(); ++k)
            compiled = steps_[k].kind != ExpressionStep::kStatus;
        if (!compiled) steps_.resize(mark);
        return compiled;
    }

    Interpreter& ip_;
    const char* base_;
    std::vector<ExpressionStep>& steps_;
    std::vector<CachedLine::CallSite>* calls_;  // null for an expression met by the evaluator
    bool callsAllowed_;
};

// True when no argument letter follows position i of the signature.
bool lastLetter(std::string_view signature, size_t i) {
    for (size_t j = i + 1; j < signature.size(); ++j)
        if (signature[j] >= 'a' && signature[j] <= 'z') return false;
    return true;
}

void compile(Interpreter& ip, CachedLine& line) {
    line.form = CachedLine::Form::kText;
    const char* start = skipBlanks(line.text.c_str());
    if (!isNameChar(*start) || isDigit(*start)) return;
    uint16_t hash;
    const char* end = scanName(start, hash);
    const char* after = skipBlanks(end);
    if (*after == '=' && after[1] != '=' && (*end == ' ' || *end == '\t' || *end == '=')) {
        std::vector<ExpressionStep> steps;
        Compiler compiler(ip, line.text, steps, &line.calls);
        const char* p = after + 1;
        if (!compiler.expression(p, 99, 0) || *skipBlanks(p) != '\0' || steps.empty()) return;
        line.steps = std::move(steps);
        line.targetOffset = static_cast<uint32_t>(start - line.text.c_str());
        line.targetLength = static_cast<uint32_t>(end - start);
        line.targetHash = hash;
        line.form = CachedLine::Form::kAssignment;
        return;
    }
    int code = ip.commands().lookup(std::string_view(start, static_cast<size_t>(end - start)), hash);
    if (code < 0 || !ip.hasHandler(code)) return;
    if (ip.commands().signature(code) == "&") {
        // The first word of a two-word statement. "End If", "End Loop" and
        // "Break Loop" with nothing after them are those statements, and a
        // bare Else is itself; the rest ("Else If", a bare End) is the text's.
        if (*after != '\0') {
            uint16_t ignored;
            const char* secondEnd = scanName(after, ignored);
            const int both = LineInterpreter::skipWord(ip, line.text.c_str());
            if (secondEnd == after || *skipBlanks(secondEnd) != '\0' ||
                (both != cmd::EndIf && both != cmd::EndLoop && both != cmd::BreakLoop) ||
                !ip.hasHandler(both))
                return;
            code = both;
            after = skipBlanks(secondEnd);
        } else if (code != cmd::Else) {
            return;
        }
    }
    if (code == cmd::Function && end != after) {
        // "Function name(parameters)": the name and the parameter text are kept.
        const char* nameEnd = after;
        while (isNameChar(*nameEnd) || (*nameEnd == '.' && isNameChar(nameEnd[1]))) ++nameEnd;
        if (nameEnd == after) return;  // the text reports the bad name
        if (isReservedFunctionName(std::string_view(after, static_cast<size_t>(nameEnd - after))))
            return;  // and a reserved one
        // Anything but a parameter list after the name (a chained statement,
        // a second argument) is the text's to read.
        const char* formals = skipBlanks(nameEnd);
        if (*formals != '\0' && *formals != '(') return;
        line.targetOffset = static_cast<uint32_t>(after - line.text.c_str());
        line.targetLength = static_cast<uint32_t>(nameEnd - after);
        line.formalsOffset = static_cast<uint32_t>(skipBlanks(nameEnd) - line.text.c_str());
        readFormalParameters(std::string_view(line.text).substr(line.formalsOffset), line.formals);
        line.commandCode = code;
        line.form = CachedLine::Form::kFunctionLine;
        return;
    }
    std::string_view signature = ip.commands().signature(code);
    if (*after != '\0') {
        // A command whose arguments are all numbers: its expressions are compiled
        // (a command in brackets "If(x)" runs from its text).
        if (end == after && *after == '(') return;
        std::vector<ExpressionStep> steps;
        std::vector<char> letters;
        std::vector<uint16_t> ends;
        Compiler compiler(ip, line.text, steps, &line.calls);
        const char* p = after;
        bool optional = false;
        for (size_t i = 0; i < signature.size(); ++i) {
            char letter = signature[i];
            if (letter == '.') {
                optional = true;
                continue;
            }
            p = skipBlanks(p);
            if (*p == '\0') {
                if (!optional) return;  // a missing argument: the text reports it
                break;
            }
            if (letter == 'f' || letter == 'l' || letter == 'i' || letter == 'b') {
                if (!compiler.expression(p, 100, 0)) return;
            } else if (letter == 'v' || letter == 's') {
                size_t mark = steps.size();
                if (!compiler.plainArgument(p, letter)) {
                    steps.resize(mark);  // what a failed attempt left
                    if (letter != 's') return;
                    if (!compiler.stringPieces(p)) {
                        steps.resize(mark);
                        if (!lastLetter(signature, i) || !compiler.stringExpressionArgument(p)) return;
                    }
                }
            } else {
                return;
            }
            letters.push_back(letter);
            ends.push_back(static_cast<uint16_t>(steps.size()));
            p = skipBlanks(p);
            if (*p == ',' && !lastLetter(signature, i)) ++p;
        }
        if (*skipBlanks(p) != '\0' || letters.empty()) return;
        auto named = std::count_if(steps.begin(), steps.end(), [](const ExpressionStep& step) {
            return step.kind == ExpressionStep::kVariableArgument ||
                   step.kind == ExpressionStep::kStringVariable;
        });
        if (named > kMaxNamedArguments) return;
        line.namedArguments = static_cast<uint8_t>(named);
        line.steps = std::move(steps);
        line.argumentLetters = std::move(letters);
        line.argumentEnds = std::move(ends);
        line.commandCode = code;
        // Return and If go straight to what they do (one number, no argument list).
        line.form = CachedLine::Form::kCommand;
        if (line.argumentLetters.size() == 1 && code == cmd::Return) line.form = CachedLine::Form::kReturn;
        if (line.argumentLetters.size() == 1 && code == cmd::If) line.form = CachedLine::Form::kIf;
        return;
    }
    // A single command word (or a two-word form) with nothing after it, whose
    // signature asks for no argument (every letter, '$' included, behind a '.').
    bool optional = false;
    for (char s : signature) {
        if (s == '.' || s == '&')
            optional = true;
        else if (((s >= 'a' && s <= 'z') || s == '$') && !optional)
            return;
        else if (s == '#' || s == 'c')
            return;
    }
    line.commandCode = code;
    // The end of a loop's pass goes straight to the loop (no arguments to lay down).
    line.form = code == cmd::EndLoop ? CachedLine::Form::kEndLoop
                : code == cmd::EndIf ? CachedLine::Form::kEndIf
                                     : CachedLine::Form::kBareCommand;
}

}  // namespace

CachedLine& LineCache::at(std::string_view text, size_t pos) {
    auto found = byPosition_.find(pos);
    if (found != byPosition_.end()) return *found->second;
    auto line = std::make_unique<CachedLine>();
    line->status = readLogicalLine(text, pos, line->text, line->where);
    CachedLine* stored = line.get();
    entries_.push_back(std::move(line));
    byPosition_.emplace(pos, stored);
    // The entry, its text and its place in the two tables.
    bytes_ += sizeof(CachedLine) + stored->text.capacity() + 64;
    return *stored;
}

ResolvedNames& ResolvedByLevel::added(size_t slot) {
    if (deeper_.size() <= slot) deeper_.resize(slot + 1);
    if (!deeper_[slot]) deeper_[slot] = std::make_unique<ResolvedNames>();
    return *deeper_[slot];
}

void ResolvedByLevel::forget() {
    first_.valid = false;
    for (auto& names : deeper_)
        if (names) names->valid = false;
}

void LineCache::noteCompiled(const CachedLine& line) {
    bytes_ += line.steps.capacity() * sizeof(ExpressionStep) + line.argumentLetters.capacity() +
              line.argumentEnds.capacity() * sizeof(uint16_t) +
              line.formals.capacity() * sizeof(FormalParameter) + line.leftOutLetters.capacity();
    for (const CachedLine::CallSite& site : line.calls)
        for (const std::string& actual : site.actuals) bytes_ += sizeof(std::string) + actual.capacity();
}

void LineCache::clear() {
    byPosition_.clear();
    entries_.clear();
    bytes_ = 0;
}

namespace {

bool namesVariable(const ExpressionStep& step) {
    return step.kind == ExpressionStep::kVariable || step.kind == ExpressionStep::kBinaryVariable ||
           step.kind == ExpressionStep::kVariableArgument || step.kind == ExpressionStep::kStringVariable;
}

// A slot remembered by the line, through its references, with the kind a step
// needs: a number for a 'v' argument, a string for an 's' argument, else when it still holds
// a plain number (or nothing yet).
VarSlot variableAt(Symbols& symbols, ResolvedNames::Slot remembered, ExpressionStep::Kind stepKind) {
    VarSlot slot{remembered.table, remembered.index};
    if (remembered.var->valueKind() == kKindReference) slot = symbols.followReferences(slot);
    if (!slot) return {};
    VarKind kind = slot.var().valueKind();
    switch (stepKind) {
    case ExpressionStep::kVariableArgument: return kind == kKindNumber ? slot : VarSlot{};
    case ExpressionStep::kStringVariable: return kind == kKindString ? slot : VarSlot{};
    default: return kind == kKindNumber || kind == kKindNone ? slot : VarSlot{};
    }
}

bool sameScope(const Symbols& symbols, const ResolvedNames& names) {
    return names.valid && symbols.staticsFunctionId == names.staticsFunctionId &&
           symbols.staticsVersion() == names.staticsVersion && symbols.macroTable == names.macroTable &&
           symbols.localTable == names.localTable &&
           (!names.macroTable || names.macroTable->stamp() == names.macroStamp) &&
           (!names.localTable || names.localTable->stamp() == names.localStamp);
}

// A compiled form as name resolution sees it: its text, its steps, where it
// remembers its names, and for an assignment the line with its target's name.
struct CompiledForm {
    const char* text;
    const std::vector<ExpressionStep>& steps;
    ResolvedNames& resolved;
    const CachedLine* assignment = nullptr;
};

CompiledForm formOf(CachedLine& line, const MacroContext& ctx) {
    return {line.text.c_str(), line.steps, line.resolved.at(ctx.callLevel),
            line.form == CachedLine::Form::kAssignment ? &line : nullptr};
}

// Finds the form's target and variables by name and remembers where, with the
// scope. False when one is missing, or a function the form calls has a
// declaration (nothing is remembered then): the compiled form never creates a
// name, the text does, in the order it names them and with the kind its
// value calls for.
bool lookUpNames(Symbols& symbols, const CompiledForm& form) {
    ResolvedNames& names = form.resolved;
    names.valid = false;
    names.variables.clear();
    auto lookUp = [&](const ExpressionStep& step, ResolvedNames::Slot& out) {
        VarSlot slot = symbols.find(std::string_view(form.text + step.offset, step.length), step.hash);
        // A variable folded into an operator is read as a number like any other.
        auto kind = step.kind == ExpressionStep::kBinaryVariable ? ExpressionStep::kVariable : step.kind;
        out = {slot.table, slot.index, slot ? &slot.var() : nullptr, kind};
        return static_cast<bool>(slot);
    };
    if (form.assignment) {
        ExpressionStep target{ExpressionStep::kVariable, form.assignment->targetHash};
        target.offset = form.assignment->targetOffset;
        target.length = form.assignment->targetLength;
        if (!lookUp(target, names.target)) return false;
    }
    for (const ExpressionStep& step : form.steps) {
        if (step.kind == ExpressionStep::kCall) {
            // A function that Decl declared is the text's to call; while the
            // scope keeps its names, no declaration can appear.
            std::string declaration = declarationName(std::string_view(form.text + step.offset, step.length));
            if (symbols.find(declaration, NameTable::hash(declaration))) return false;
        }
        if (!namesVariable(step)) continue;
        if (!lookUp(step, names.variables.emplace_back())) return false;
    }
    names.macroTable = symbols.macroTable;
    names.localTable = symbols.localTable;
    names.macroStamp = symbols.macroTable ? symbols.macroTable->stamp() : 0;
    names.localStamp = symbols.localTable ? symbols.localTable->stamp() : 0;
    // Statics change what a name means by the function that runs.
    names.staticsFunctionId = symbols.staticsFunctionId;
    names.staticsVersion = symbols.staticsVersion();
    names.valid = true;
    return true;
}

// Reads every variable of the form's steps before anything is evaluated, so
// that a fallback to the text never reads a status variable twice; with target,
// the assignment's target too (first, as the text does). values gets the
// numbers of kVariable steps, slots the variables of argument steps. False
// when one is missing or of another kind: the line then runs from its text.
[[gnu::always_inline]] inline bool resolveVariables(Symbols& symbols, const CompiledForm& form,
                                                    double* values, VarSlot* slots, Variable** target) {
    if (!sameScope(symbols, form.resolved) && !lookUpNames(symbols, form)) return false;
    const ResolvedNames& names = form.resolved;
    if (target) {
        Variable* direct = names.target.var;
        if (direct->valueKind() != kKindNumber) {
            VarSlot slot = variableAt(symbols, names.target, ExpressionStep::kVariable);
            if (!slot) return false;
            direct = &slot.var();
        }
        *target = direct;
    }
    size_t count = 0, slotCount = 0;
    for (const ResolvedNames::Slot& remembered : names.variables) {
        // The common case, a number read where it was found, without the slot.
        const Variable& direct = *remembered.var;
        bool number = remembered.kind == ExpressionStep::kVariable;
        if (number && direct.valueKind() == kKindNumber) {
            values[count++] = direct.number;
            continue;
        }
        VarSlot slot = variableAt(symbols, remembered, remembered.kind);
        if (!slot) return false;
        if (number)
            values[count++] = slot.var().number;
        else
            slots[slotCount++] = slot;
    }
    return true;
}

// The label id of name in ctx, kept in known while the label table lasts
// (0 when the table is full: the caller then reports it).
int knownLabel(MacroContext& ctx, CachedLine::KnownLabel& known, std::string_view name) {
    if (known.generation != ctx.labels.generation()) {
        known.id = ctx.labels.idOf(name);
        known.generation = known.id ? ctx.labels.generation() : 0;
    }
    return known.id;
}

// What the steps of a line that calls out need: a call may change any
// variable, so after each the form's variables are read again (into values,
// slots and target, as resolveVariables filled them); made keeps each call's
// outcome for the text, should the line have to run from it after all.
struct CallOut {
    MacroContext& ctx;
    CachedLine& line;
    const CompiledForm& form;
    double* values;
    VarSlot* slots;
    Variable** target;
    std::vector<MadeCall>* made;  // set whenever the form calls out
};

// Calls the macro function of a kCall step as the text evaluator calls it
// (resolveVariables has made sure that no declared function has its name),
// with the arguments the line computed (the site's precomputed ones, in
// order on the stack). False when the text must go on: an error, a value other than a
// real number, or variables that cannot be read again.
bool callOut(Interpreter& ip, CallOut& out, const ExpressionStep& step, const double* arguments,
             double& value) {
    std::string_view name(out.form.text + step.offset, step.length);
    CachedLine::CallSite& site = out.line.calls[static_cast<size_t>(step.code)];
    KnownCall known{&site.actuals, knownLabel(out.ctx, site.label, name), site.precomputed};
    for (size_t i = 0; i < known.values.size(); ++i)
        if (site.precomputed >> i & 1u) known.values[i] = *arguments++;
    MadeCall& made = out.made->emplace_back();
    made.arguments = out.form.text + step.argumentOffset;
    made.result.setReal(0);
    made.err = ip.runner().callFunction(name, std::string_view(made.arguments, step.argumentLength),
                                        made.result, &known);
    if (made.err || !made.result.isReal()) return false;
    value = made.result.re;
    return resolveVariables(ip.symbols(), out.form, out.values, out.slots, out.target);
}

// Evaluates steps [begin, end) on a stack; values holds the resolved
// variables, nextValue the first of them that these steps use. ctx serves
// kLoopIndex steps, calls kCall steps (a form without them may pass null).
bool evaluateSteps(Interpreter& ip, const MacroContext* ctx, const std::vector<ExpressionStep>& steps,
                   size_t begin, size_t end, const double* values, size_t& nextValue, double& result,
                   CallOut* calls = nullptr) {
    if (end - begin == 2) {
        // A variable and one operand (`sum + x`, `c = 0`): most lines of a loop.
        // Worked out here, without the step loop's dispatch on each step.
        const ExpressionStep& second = steps[begin + 1];
        bool number = second.kind == ExpressionStep::kBinaryNumber;
        if (steps[begin].kind == ExpressionStep::kVariable &&
            (number || second.kind == ExpressionStep::kBinaryVariable)) {
            const double* operand = values + nextValue;
            double value = operand[0];
            if (!combine(ip, second.code, value, number ? second.number : operand[1])) return false;
            nextValue += number ? 1 : 2;
            result = value;
            return true;
        }
    }
    double stack[kMaxStack + 2];
    int sp = 0;
    const double* operand = values + nextValue;  // kept here, not behind the reference, while the steps run
    const ExpressionStep* const last = steps.data() + end;
    for (const ExpressionStep* at = steps.data() + begin; at != last; ++at) {
        const ExpressionStep& step = *at;
        switch (step.kind) {
        case ExpressionStep::kNumber: stack[sp++] = step.number; break;
        case ExpressionStep::kVariable: stack[sp++] = *operand++; break;
        case ExpressionStep::kStatus: {
            StatusValue value;
            if (ip.readStatus(step.code, 0, value) || value.isString) return false;
            stack[sp++] = value.number;
            break;
        }
        case ExpressionStep::kBinary:
            --sp;
            if (!combine(ip, step.code, stack[sp - 1], stack[sp])) return false;
            break;
        case ExpressionStep::kBinaryNumber:
            if (!combine(ip, step.code, stack[sp - 1], step.number)) return false;
            break;
        case ExpressionStep::kBinaryVariable:
            if (!combine(ip, step.code, stack[sp - 1], *operand++)) return false;
            break;
        case ExpressionStep::kNegate: stack[sp - 1] = -stack[sp - 1]; break;
        case ExpressionStep::kLoopIndex:
            stack[sp++] = ctx->loopLevel > 0 ? ctx->loopIndexes[static_cast<size_t>(ctx->loopLevel - 1)] : 0;
            break;
        case ExpressionStep::kCall: {
            if (!calls) return false;
            // The computed arguments are taken from the stack; the value takes their place.
            sp -= calls->line.calls[static_cast<size_t>(step.code)].precomputedCount;
            if (!callOut(ip, *calls, step, &stack[sp], stack[sp])) return false;
            ++sp;
            break;
        }
        case ExpressionStep::kVariableArgument:
        case ExpressionStep::kStringVariable:
        case ExpressionStep::kStringLiteral:
        case ExpressionStep::kStringExpression:
        case ExpressionStep::kFormatNumber: return false;  // string pieces, never inside an expression
        }
    }
    nextValue = static_cast<size_t>(operand - values);
    result = stack[0];
    return true;
}

// Lays down one numeric argument as the argument parser would.
bool fillArgument(CallArgs& args, char letter, double value) {
    ArgSlot& slot = args.slot(args.count++);
    MCVal& record = args.values[static_cast<size_t>(args.valueCount++)];
    record.setReal(value);
    slot.letter = letter;
    slot.present = true;
    slot.form = kFormNumber;
    slot.number = value;
    slot.value = &record;
    if (letter == 'l') return toInt32Arg(value, slot.l) == kOk;
    if (letter == 'i' || letter == 'b') {
        if (toInt16Arg(value, slot.i) != kOk) return false;
        slot.l = slot.i;
    }
    return true;
}

// A numeric variable named as a 'v' argument: the command reads and writes it.
void fillVariableArgument(CallArgs& args, VarSlot slot) {
    ArgSlot& arg = args.slot(args.count++);
    arg.letter = 'v';
    arg.present = true;
    arg.form = kFormNumber;
    arg.var.slot = slot;
    arg.var.number = &slot.var().number;
    arg.number = slot.var().number;
}

// An 's' argument, stored in the work area as the argument parser stores it
// (a text too long for the area is kept aside). False when it does not fit:
// the text reports that.
bool fillStringArgument(StringWorkArea& work, CallArgs& args, std::string_view text) {
    ArgSlot& arg = args.slot(args.count++);
    arg.letter = 's';
    arg.present = true;
    arg.form = kFormString;
    Error err = text.size() > kMaxStringLength ? work.storeLong(text, arg.text) : work.store(text, arg.text);
    return err == kOk;
}

bool isStringPiece(ExpressionStep::Kind kind) {
    return kind == ExpressionStep::kStringLiteral || kind == ExpressionStep::kStringVariable ||
           kind == ExpressionStep::kFormatNumber;
}

// The pieces [begin, end) of a string argument joined. False when a number
// cannot be had or the text grows past what a string expression may hold:
// the text reports that (reading the pieces changed nothing).
bool joinStringPieces(Interpreter& ip, const MacroContext& ctx, const CachedLine& line, size_t begin, size_t end,
                      const double* values, size_t& nextValue, const VarSlot* slots, size_t& nextSlot,
                      std::string& out) {
    for (size_t k = begin; k < end;) {
        const ExpressionStep& step = line.steps[k];
        if (step.kind == ExpressionStep::kStringLiteral) {
            out.append(line.text, step.offset, step.length);
            ++k;
        } else if (step.kind == ExpressionStep::kStringVariable) {
            out += slots[nextSlot++].var().text;
            ++k;
        } else {
            double value;
            if (!evaluateSteps(ip, &ctx, line.steps, k + 1, k + 1 + step.length, values, nextValue, value))
                return false;
            appendWholeNumber(out, value);
            k += 1 + step.length;
        }
        if (out.size() > kMaxStringLength) return false;
    }
    return true;
}

// The signature letters behind the first `given` arguments: those a line
// leaves out.
std::string leftOutLetters(std::string_view signature, size_t given) {
    std::string out;
    size_t letters = 0;
    for (char c : signature) {
        if (c == ';') break;
        if (!((c >= 'a' && c <= 'z') || c == '$')) continue;
        if (letters++ >= given) out += c;
    }
    return out;
}

// The arguments a line left out are there, absent, as the argument parser
// leaves them: a command reads them as 0.
void addLeftOutArguments(CallArgs& args, std::string_view letters) {
    for (char c : letters) {
        if (args.count >= kMaxArguments) break;
        args.slot(args.count++).letter = c;
    }
}

// resolveVariables for a line without a target; a line that names no
// variable and calls nothing has none to read.
inline bool readLineVariables(Interpreter& ip, const CachedLine& line, const CompiledForm& form, double* values,
                              VarSlot* slots) {
    return !(line.namesVariables || line.makesCalls) ||
           resolveVariables(ip.symbols(), form, values, slots, nullptr);
}

// Runs a compiled command line; slots has room for its named arguments.
bool runCommand(Interpreter& ip, MacroContext& ctx, CachedLine& line, Error& err, VarSlot* slots,
                std::vector<MadeCall>* made) {
    double values[kMaxSteps];
    size_t nextValue = 0;
    CompiledForm form = formOf(line, ctx);
    if (!readLineVariables(ip, line, form, values, slots)) return false;
    // Set up only for a line that calls out: most do not.
    std::optional<CallOut> out;
    if (line.makesCalls) out.emplace(CallOut{ctx, line, form, values, slots, nullptr, made});
    CallOut* calls = out ? &*out : nullptr;
    ArgsLease lease(ip);
    CallArgs& args = *lease;
    args.reset(line.commandCode);
    StringWorkArea& work = ip.work();
    size_t mark = work.mark();
    struct Release {
        StringWorkArea& work;
        size_t mark;
        ~Release() { work.release(mark); }
    } release{work, mark};
    size_t begin = 0, nextSlot = 0;
    for (size_t i = 0; i < line.argumentLetters.size(); ++i) {
        const ExpressionStep& first = line.steps[begin];
        if (first.kind == ExpressionStep::kVariableArgument) {
            fillVariableArgument(args, slots[nextSlot++]);
        } else if (first.kind == ExpressionStep::kStringExpression) {
            // Read into the work area as the argument parser reads it; when the
            // evaluator fails (or stops short) the text reports it.
            const char* p = line.text.c_str() + first.offset;
            ArgSlot& arg = args.slot(args.count++);
            arg.letter = 's';
            arg.present = true;
            arg.form = kFormString;
            if (ip.evaluator().stringToWorkArea(p, arg.text) != kOk || *skipBlanks(p) != '\0') {
                ip.setErrorPosition(nullptr);
                return false;
            }
        } else if (first.kind == ExpressionStep::kStringVariable && line.argumentEnds[i] - begin == 1) {
            // Alone, a string variable passes whole, however long.
            if (!fillStringArgument(work, args, slots[nextSlot++].var().text)) return false;
        } else if (isStringPiece(first.kind)) {
            std::string joined;
            if (!joinStringPieces(ip, ctx, line, begin, line.argumentEnds[i], values, nextValue, slots, nextSlot,
                                  joined) ||
                !fillStringArgument(work, args, joined))
                return false;
        } else {
            double value;
            if (!evaluateSteps(ip, &ctx, line.steps, begin, line.argumentEnds[i], values, nextValue, value,
                               calls))
                return false;
            // An integer out of range: the text reports it with its position.
            if (!fillArgument(args, line.argumentLetters[i], value)) return false;
        }
        begin = line.argumentEnds[i];
    }
    addLeftOutArguments(args, line.leftOutLetters);
    MCVal result;
    err = ip.invoke(line.commandCode, args, result);
    if (err && !ip.errorPosition()) ip.setErrorPosition(line.text.c_str());
    return true;
}

// Evaluates a line whose steps are one number (kReturn, kIf).
bool evaluateNumber(Interpreter& ip, MacroContext& ctx, CachedLine& line, std::vector<MadeCall>* made,
                    double& value) {
    double values[kMaxSteps];
    size_t nextValue = 0;
    CompiledForm form = formOf(line, ctx);
    if (!readLineVariables(ip, line, form, values, nullptr)) return false;
    if (!line.makesCalls)
        return evaluateSteps(ip, &ctx, line.steps, 0, line.steps.size(), values, nextValue, value);
    CallOut out{ctx, line, form, values, nullptr, nullptr, made};
    return evaluateSteps(ip, &ctx, line.steps, 0, line.steps.size(), values, nextValue, value, &out);
}

// An assignment: the target first, then the right side.
[[gnu::flatten]] bool runAssignment(Interpreter& ip, MacroContext& ctx, CachedLine& line, Error& err,
                                    std::vector<MadeCall>* made) {
    double values[kMaxSteps];
    size_t nextValue = 0;
    Variable* target;
    CompiledForm form = formOf(line, ctx);
    if (!resolveVariables(ip.symbols(), form, values, nullptr, &target)) return false;
    double value;
    if (!made) {
        if (!evaluateSteps(ip, &ctx, line.steps, 0, line.steps.size(), values, nextValue, value))
            return false;
    } else {
        CallOut out{ctx, line, form, values, nullptr, &target, made};
        if (!evaluateSteps(ip, &ctx, line.steps, 0, line.steps.size(), values, nextValue, value, &out))
            return false;
    }
    Variable& var = *target;
    var.setValueKind(kKindNumber);
    var.number = value;
    err = kOk;
    return true;
}

}  // namespace

Error runEndLoop(Interpreter& ip, MacroContext& ctx, const CachedLine& line) {
    ctx.lineFlags = 0;
    Error err = endLoop(ctx);
    ip.setErrorPosition(err ? line.text.c_str() : nullptr);
    return err;
}

namespace {

// Runs a line's compiled form; made (set when the line makes calls) gets the calls it makes.
[[gnu::always_inline]] inline bool runForm(Interpreter& ip, MacroContext& ctx, CachedLine& line, Error& err,
                                           std::vector<MadeCall>* made) {
    ctx.lineFlags = 0;
    ip.setErrorPosition(nullptr);
    switch (line.form) {
    case CachedLine::Form::kAssignment: return runAssignment(ip, ctx, line, err, made);
    case CachedLine::Form::kEndLoop: err = runEndLoop(ip, ctx, line); return true;
    case CachedLine::Form::kEndIf: err = kOk; return true;
    case CachedLine::Form::kIf: {
        double value;
        int32_t condition;
        // A condition out of the integer range: the text reports it with its position.
        if (!evaluateNumber(ip, ctx, line, made, value) || toInt32Arg(value, condition) != kOk) return false;
        ifCondition(ctx, condition);
        err = kOk;
        return true;
    }
    case CachedLine::Form::kReturn: {
        double value;
        if (!evaluateNumber(ip, ctx, line, made, value)) return false;
        MCVal result;
        result.setReal(value);
        err = returnWith(ip, ctx, &result);
        if (err && !ip.errorPosition()) ip.setErrorPosition(line.text.c_str());
        return true;
    }
    case CachedLine::Form::kFunctionLine: {
        const char* text = line.text.c_str();
        std::string_view name(text + line.targetOffset, line.targetLength);
        int id = knownLabel(ctx, line.functionLabel, name);  // the name is not reserved (compile checked)
        err = runFunctionLine(ip, name, std::string_view(text + line.formalsOffset), &line.formals, id);
        if (err && !ip.errorPosition()) ip.setErrorPosition(text);
        return true;
    }
    case CachedLine::Form::kBareCommand:
    case CachedLine::Form::kCommand: {
        if (line.namedArguments == 0) return runCommand(ip, ctx, line, err, nullptr, made);
        VarSlot slots[kMaxNamedArguments];
        return runCommand(ip, ctx, line, err, slots, made);
    }
    case CachedLine::Form::kUnknown:
    case CachedLine::Form::kText: break;
    }
    return false;
}

// Compiles a line met for the first time (kept apart: the lines that run
// again and again need none of it).
[[gnu::noinline]] void compileLine(Interpreter& ip, MacroContext& ctx, CachedLine& line) {
    compile(ip, line);
    line.namesVariables = line.form == CachedLine::Form::kAssignment ||
                          std::any_of(line.steps.begin(), line.steps.end(), namesVariable);
    line.makesCalls = std::any_of(line.steps.begin(), line.steps.end(), [](const ExpressionStep& step) {
        return step.kind == ExpressionStep::kCall;
    });
    if (line.form == CachedLine::Form::kCommand || line.form == CachedLine::Form::kBareCommand)
        line.leftOutLetters =
            leftOutLetters(ip.commands().signature(line.commandCode), line.argumentLetters.size());
    ctx.lines.noteCompiled(line);
}

// Runs the compiled form of a line that calls macro functions. Calls made
// before the line had to give up are the text's to take.
[[gnu::noinline]] bool runFormCallingOut(Interpreter& ip, MacroContext& ctx, CachedLine& line, Error& err) {
    Runner& runner = ip.runner();
    struct GiveBack {
        Runner& runner;
        ~GiveBack() { runner.giveBackCallList(); }
    } giveBack{runner};
    std::vector<MadeCall>& made = runner.takeCallList();
    bool ran = runForm(ip, ctx, line, err, &made);
    if (!ran && !made.empty()) runner.replayCalls(std::move(made));
    return ran;
}

}  // namespace

bool compileNumericExpression(Interpreter& ip, const std::string& text, std::vector<ExpressionStep>& steps,
                              std::vector<CachedLine::CallSite>& calls) {
    Compiler compiler(ip, text, steps, &calls);
    const char* p = text.c_str();
    return compiler.expression(p, kLimitAssignment, 0) && *skipBlanks(p) == '\0' && !steps.empty();
}

void ensureCompiled(Interpreter& ip, MacroContext& ctx, CachedLine& line) {
    if (line.form == CachedLine::Form::kUnknown) compileLine(ip, ctx, line);
}

bool runCompiledLine(Interpreter& ip, MacroContext& ctx, CachedLine& line, Error& err) {
    ensureCompiled(ip, ctx, line);
    if (line.form == CachedLine::Form::kText || ip.symbols().lookupOnly) return false;
    if (!line.makesCalls) return runForm(ip, ctx, line, err, nullptr);
    return runFormCallingOut(ip, ctx, line, err);
}

bool isPlainAssignment(const CachedLine& line) {
    if (line.form != CachedLine::Form::kAssignment || line.makesCalls) return false;
    for (const ExpressionStep& step : line.steps)
        if (step.kind == ExpressionStep::kStatus) return false;
    return true;
}

bool runPlainAssignment(Interpreter& ip, MacroContext& ctx, CachedLine& line) {
    ctx.lineFlags = 0;
    ip.setErrorPosition(nullptr);
    Error err = kOk;
    return runAssignment(ip, ctx, line, err, nullptr);
}

// ---- Expressions met by the evaluator

namespace {

constexpr size_t kExpressionEntries = 512;
// Longer expressions are left to the text: comparing them costs about as much
// as reading them.
constexpr size_t kMaxExpressionText = 256;

// Where an expression may end for its entry to be used: characters that end
// any expression and that no operand reads on into.
bool endsEveryExpression(char c) { return c == '\0' || c == ',' || c == ')'; }

}  // namespace

struct ExpressionCache::Entry {
    const char* start = nullptr;  // where it was met; only compared, never read
    int limit = 0;
    char end = 0;  // the character that ended it (after blanks)
    enum class State : uint8_t { kNoted, kCompiled, kUncompilable } state = State::kNoted;
    std::string text;  // from start to the end of its last operand
    std::vector<ExpressionStep> steps;
    ResolvedByLevel resolved;
};

ExpressionCache::ExpressionCache() : entries_(std::make_unique<Entry[]>(kExpressionEntries)) {}
ExpressionCache::~ExpressionCache() = default;

ExpressionCache::Entry& ExpressionCache::entryFor(const char* start, int limit) {
    auto key = reinterpret_cast<uintptr_t>(start) * 0x9E3779B97F4A7C15u + static_cast<uintptr_t>(limit);
    return entries_[(key >> 32) % kExpressionEntries];
}

bool ExpressionCache::evaluate(Interpreter& ip, const char*& p, int limit, MCVal& out) {
    Entry& entry = entryFor(p, limit);
    if (entry.state != Entry::State::kCompiled || entry.start != p || entry.limit != limit) return false;
    // strncmp stops at the end of a shorter text, so this reads nothing beyond it.
    size_t length = entry.text.size();
    if (std::strncmp(p, entry.text.c_str(), length) != 0 || *skipBlanks(p + length) != entry.end) return false;
    Symbols& symbols = ip.symbols();
    if (symbols.lookupOnly || stackNearlyExhausted()) return false;
    double values[kMaxSteps];
    size_t nextValue = 0;
    double result;
    MacroContext* ctx = ip.runner().current();
    CompiledForm form{entry.text.c_str(), entry.steps, entry.resolved.at(ctx ? ctx->callLevel : 0)};
    if (!resolveVariables(symbols, form, values, nullptr, nullptr) ||
        !evaluateSteps(ip, nullptr, entry.steps, 0, entry.steps.size(), values, nextValue, result))
        return false;
    out.setReal(result);
    p += length;
    return true;
}

void ExpressionCache::learn(Interpreter& ip, const char* start, const char* end, int limit) {
    size_t length = static_cast<size_t>(end - start);
    char ending = *skipBlanks(end);
    if (length == 0 || length > kMaxExpressionText || !endsEveryExpression(ending)) return;
    Entry& entry = entryFor(start, limit);
    std::string_view text(start, length);
    bool same = entry.start == start && entry.limit == limit && entry.end == ending && entry.text == text;
    if (!same) {
        // Met here for the first time: noted, compiled if it is met again.
        entry.start = start;
        entry.limit = limit;
        entry.end = ending;
        entry.text.assign(text);
        entry.steps.clear();
        entry.state = Entry::State::kNoted;
        return;
    }
    if (entry.state != Entry::State::kNoted) return;
    // The compiler reads the copy, which ends where the expression ended.
    Compiler compiler(ip, entry.text, entry.steps);
    const char* p = entry.text.c_str();
    bool compiled = compiler.expression(p, limit, 0) && *p == '\0' && !entry.steps.empty();
    entry.state = compiled ? Entry::State::kCompiled : Entry::State::kUncompilable;
    entry.resolved.forget();
}

}  // namespace tvx::interp
