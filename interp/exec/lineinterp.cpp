#include "interp/exec/lineinterp.h"

#include <cstring>

#include "interp/codes.h"
#include "interp/display.h"
#include "interp/eval/evaluator.h"
#include "interp/eval/scanner.h"
#include "interp/exec/context.h"
#include "interp/exec/runner.h"
#include "interp/interpreter.h"
#include "interp/symbols/assign.h"
#include "interp/values/handles.h"
#include "interp/values/number.h"

namespace tvx::interp {

namespace {

// Releases the string work area when a statement is done with its arguments.
struct WorkAreaMark {
    StringWorkArea& area;
    size_t mark;
    explicit WorkAreaMark(StringWorkArea& a) : area(a), mark(a.mark()) {}
    ~WorkAreaMark() { area.release(mark); }
};

bool wordIs(const char* p, size_t length, const char* word) {
    if (std::strlen(word) != length) return false;
    for (size_t i = 0; i < length; ++i)
        if ((p[i] | 0x20) != word[i]) return false;
    return true;
}

// Reads the command word at p and resolves the two-word forms ("End If",
// "Else If", "Break Loop"). Returns the code or -1; p moves past the word(s).
int readCommandWord(Interpreter& ip, const char*& p) {
    uint16_t hash;
    const char* end = scanName(p, hash);
    int code = ip.commands().lookup(std::string_view(p, static_cast<size_t>(end - p)), hash);
    p = end;
    if (code < 0 || ip.commands().signature(code) != "&") return code;
    const char* q = skipBlanks(p);
    uint16_t ignored;
    const char* wordEnd = scanName(q, ignored);
    size_t length = static_cast<size_t>(wordEnd - q);
    if (length == 0) return code;
    if (code == cmd::End) {
        // "End" and a word whose first two letters are "if", or the word "loop".
        if (length >= 2 && (q[0] | 0x20) == 'i' && (q[1] | 0x20) == 'f')
            code = cmd::EndIf;
        else if (wordIs(q, length, "loop"))
            code = cmd::EndLoop;
        else
            return code;
    } else if (code == cmd::Else && wordIs(q, length, "if")) {
        code = cmd::ElseIf;
    } else if (code == cmd::Break && wordIs(q, length, "loop")) {
        code = cmd::BreakLoop;
    } else {
        return code;
    }
    p = wordEnd;
    return code;
}

bool forbidsChaining(int code) {
    return code == cmd::If || code == cmd::ElseIf || code == cmd::Else || code == cmd::EndIf ||
           code == cmd::DoIf;
}

// The assignment operator after a target: "=", ":=", "+=", "-=", "*=", "/=", "^=".
// Returns the operator character ('=' for a plain one, ':' for ":=") and its length.
int assignmentOperator(const char* r, int& length) {
    if (r[0] == '=' && r[1] != '=') {
        length = 1;
        return '=';
    }
    if ((r[0] == ':' || r[0] == '+' || r[0] == '-' || r[0] == '*' || r[0] == '/' || r[0] == '^') &&
        r[1] == '=') {
        length = 2;
        return r[0];
    }
    return 0;
}

// The right side of an assignment: a number, complex value, block, or a string.
struct RightSide {
    MCVal value;
    std::string text;
    bool isString = false;
};

// target: a plain assignment's, whose block may take the value in place.
Error evaluateRightSide(Interpreter& ip, const char*& p, RightSide& right,
                        const Designator* target = nullptr) {
    Evaluator& ev = ip.evaluator();
    const char* start = p;
    Error err =
        target ? ev.assignedValue(p, *target, right.value) : ev.numeric(p, kLimitAssignment, right.value);
    if (err == kStringOperand) {
        right.isString = true;
        return ev.stringExpression(p, right.text);
    }
    if (err) return err;
    if (right.value.isEmpty()) {
        ip.setErrorPosition(start);
        return kNotEnoughParameters;
    }
    return kOk;
}

Error assignToCharacters(Variable& var, const RightSide& right) {
    // A number replaces every character by that code; a vector gives one
    // character per element.
    if (right.value.isBlock()) {
        const DataBlock* block = right.value.pData;
        var.text.clear();
        for (int64_t i = 0; i < block->count; ++i) {
            auto code = static_cast<char>(clampToElement(kElemUInt8, readElement(block, i)));
            if (code == 0) break;
            var.text.push_back(code);
        }
        return kOk;
    }
    if (!right.value.isReal()) return kWrongDataType;
    auto code = static_cast<char>(clampToElement(kElemUInt8, right.value.re));
    for (char& c : var.text) c = code;
    return kOk;
}

Error plainAssignment(const Designator& target, RightSide& right, bool mayChangeType) {
    if (target.form == Designator::kStatus) return kWrongDataType;
    Variable& var = target.slot.var();
    if (target.form == Designator::kElement) {
        if (right.isString) return kWrongDataType;
        if (var.block->elementType == kElemComplexMatrix) {
            Error err = writeElement(&var.block, 2 * target.position, right.value.re);
            if (!err)
                err = writeElement(&var.block, 2 * target.position + 1,
                                   right.value.isComplex() ? right.value.im : 0);
            return err;
        }
        if (!right.value.isReal()) return kWrongDataType;
        return writeElement(&var.block, target.position, right.value.re);
    }
    if (target.form == Designator::kCharacter) {
        if (right.isString || !right.value.isReal()) return kWrongDataType;
        if (target.position >= 0 && target.position < static_cast<int64_t>(var.text.size()))
            var.text[static_cast<size_t>(target.position)] =
                static_cast<char>(clampToElement(kElemUInt8, right.value.re));
        return kOk;
    }
    if (target.form == Designator::kSubstring) {
        if (!right.isString) return kWrongDataType;
        var.text.replace(static_cast<size_t>(target.position),
                         static_cast<size_t>(target.end - target.position), right.text);
        if (static_cast<int64_t>(var.text.size()) > kMaxVariableText) var.text.resize(kMaxVariableText);
        return kOk;
    }
    if (target.form != Designator::kVariable) return kUndefinedVariable;

    VarKind kind = var.valueKind();
    bool fresh = target.created || kind == kKindNone;
    if (right.isString) {
        if (kind == kKindString) {
            var.text = right.text;
            return kOk;
        }
        if (kind == kKindBlock && var.block && !var.block->isText() && !mayChangeType && !fresh)
            return assignToVector(var.block, nullptr, &right.text, false);
        if (!fresh && !mayChangeType) return kCannotChangeType;
        var.clearValue();
        var.setValueKind(kKindString);
        var.text = right.text;
        return kOk;
    }
    MCVal& value = right.value;  // a temporary block is taken over, not copied
    if (value.isReal() && isObjectHandle(value.re)) {
        // An object handle may be stored into any variable.
        var.clearValue();
        var.setValueKind(kKindNumber);
        var.number = value.re;
        return kOk;
    }
    if (fresh || mayChangeType) {
        if (value.isBlock() && value.pData == var.block) return kOk;
        return replaceValue(var, value);
    }
    switch (kind) {
    case kKindNumber:
        if (value.isReal()) {
            var.number = value.re;
            return kOk;
        }
        if (value.isComplex()) return setComplex(var, value.re, value.im);
        return kCannotChangeType;
    case kKindString: return assignToCharacters(var, right);
    case kKindBlock:
        if (var.block && var.block->elementType == kElemComplexScalar && var.block->count == 2 &&
            value.isScalar())
            return setComplex(var, value.re, value.isComplex() ? value.im : 0);
        if (value.isComplex()) return replaceValue(var, value);
        return assignToVector(var.block, &value, nullptr, false);
    default: return kCannotChangeType;
    }
}

// A vector target of "+=" .. "^=" is the statement Add .. Divide (or the
// power statement) with the variable and the right side, when a statement that
// takes vectors is installed; otherwise the value operations combine them.
Error compoundOnVector(Interpreter& ip, const Designator& target, RightSide& right, int code, bool& handled) {
    handled = ip.hasHandler(code) && (ip.commandFlags(code) & kVariableTakesBlocks);
    if (!handled) return kOk;
    Variable& var = target.slot.var();
    ArgsLease lease(ip);
    CallArgs& args = *lease;
    args.reset(code);
    ArgSlot& variable = args.slot(args.count++);
    variable.letter = 'v';
    variable.present = true;
    variable.flexible = true;
    variable.form = kFormBlock;
    variable.var.slot = target.slot;
    variable.var.number = &var.number;
    variable.var.text = &var.text;
    variable.var.block = &var.block;
    ArgSlot& value = args.slot(args.count++);
    MCVal& record = args.values[static_cast<size_t>(args.valueCount++)];
    record = std::move(right.value);
    value.letter = 'f';
    value.present = true;
    value.value = &record;
    value.number = record.re;
    value.form = record.isBlock() ? kFormBlock : kFormNumber;
    MCVal result;
    return ip.invoke(code, args, result);
}

// "+=", "-=", "*=", "/=", "^=": the target combined with the right side.
Error compoundAssignment(Interpreter& ip, const Designator& target, RightSide& right, char op) {
    // A status variable is read-only, as for Add !pi, 1.
    if (target.form == Designator::kStatus) return kWrongDataType;
    if (!target.slot) return kUndefinedVariable;
    Variable& var = target.slot.var();
    if (target.form == Designator::kVariable && var.valueKind() == kKindString) {
        if (op != '+' || !right.isString) return kWrongDataType;
        if (static_cast<int64_t>(var.text.size() + right.text.size()) > kMaxVariableText)
            return kStringOverflow;
        var.text += right.text;  // StrAdd
        return kOk;
    }
    if (right.isString) return kWrongDataType;
    if (target.form == Designator::kVariable && var.valueKind() == kKindBlock && var.block &&
        var.block->elementType != kElemComplexScalar) {
        int code = op == '+'   ? cmd::Add
                   : op == '-' ? cmd::Subtract
                   : op == '*' ? cmd::Multiply
                   : op == '/' ? cmd::Divide
                               : cmd::PowerAssign;
        bool handled;
        Error err = compoundOnVector(ip, target, right, code, handled);
        if (handled) return err;
    }
    MCVal current;
    Error err = ip.evaluator().readValue(target, current);
    if (err == kStringOperand) return kWrongDataType;
    if (err) return err;
    int code = op == '+'   ? kOpAdd
               : op == '-' ? kOpSubtract
               : op == '*' ? kOpMultiply
               : op == '/' ? kOpDivide
                           : kOpPower;
    err = ip.evaluator().combineValues(code, current, right.value);
    if (err) return err;
    RightSide combined;
    combined.value = std::move(current);
    return plainAssignment(target, combined, false);
}

Error assignment(Interpreter& ip, MacroContext& ctx, const char*& p, const char* opStart) {
    int length = 0;
    char op = static_cast<char>(assignmentOperator(opStart, length));
    // The target is designated first (a new name is created), then the right side is read.
    const char* targetStart = p;
    Designator target;
    Error err = ip.evaluator().designate(p, Creation::Create, target);
    if (err) return err;
    if (skipBlanks(p) != opStart) {
        ip.setErrorPosition(p);
        return kExtraCharacters;
    }
    p = opStart + length;
    RightSide right;
    err = evaluateRightSide(ip, p, right, op == '=' ? &target : nullptr);
    if (err) return err;
    if (target.form == Designator::kNothing) {
        ip.setErrorPosition(targetStart);
        return kUndefinedVariable;
    }
    if (op == '=' || op == ':') {
        if (op == ':') ctx.lineFlags |= kLineMayChangeType;
        return plainAssignment(target, right, op == ':');
    }
    return compoundAssignment(ip, target, right, op);
}

Error showExpression(Interpreter& ip, const char*& p) {
    ++p;  // '?'
    p = skipBlanks(p);
    const char* start = p;
    bool lookupOnly = ip.symbols().lookupOnly;
    ip.symbols().lookupOnly = true;  // showing a value never creates a variable
    MCVal value;
    std::string text;
    bool isString = false;
    Error err = ip.evaluator().numeric(p, kLimitAssignment, value);
    if (err == kStringOperand) {
        isString = true;
        // A long string variable shows whole (cut for display), an expression is built.
        if (const std::string* whole = ip.evaluator().wholeStringVariable(p))
            text = *whole, err = kOk;
        else
            err = ip.evaluator().stringExpression(p, text);
    }
    ip.symbols().lookupOnly = lookupOnly;
    if (err == kUndefinedVariable) {
        // The whole expression is shown, however far its evaluation came. The scan may have
        // stopped inside a copy of an argument's text, so the end is found from the start.
        p = start + std::strlen(start);
    }
    const char* end = p;
    while (end > start && isBlank(end[-1])) --end;
    std::string_view expression(start, static_cast<size_t>(end - start));
    if (err == kUndefinedVariable) {
        ip.host().showValue(expression, "Undefined");
        return kOk;
    }
    if (err) {
        // Shown in the continuable form; the run goes on with the next line.
        ip.runner().reportError(err, Runner::kContinuable);
        p = start + std::strlen(start);
        return kOk;
    }
    ip.host().showValue(expression, isString ? displayString(text) : displayValue(ip, value));
    return kOk;
}

Error executeStatement(Interpreter& ip, MacroContext& ctx, const char*& p, bool chained, bool& noChaining) {
    WorkAreaMark mark(ip.work());
    const char* start = p;
    if (*p == '?') return showExpression(ip, p);
    if (!isNameChar(*p) && *p != '!') {
        ip.setErrorPosition(p);
        return kUnknownCommand;
    }
    // An assignment: a target name followed by an assignment operator.
    const char* afterTarget = skipCompoundName(*p == '!' ? p + 1 : p);
    const char* r = skipBlanks(afterTarget);
    int length;
    if (assignmentOperator(r, length)) return assignment(ip, ctx, p, r);
    if (*p == '!') {
        ip.setErrorPosition(p);
        return kUnknownCommand;
    }

    const char* wordEnd = p;
    int code = readCommandWord(ip, wordEnd);
    if (code < 0) {
        // A function declared with Decl, called as a statement: its arguments
        // follow the word as those of a built-in statement do.
        std::string declared(p, static_cast<size_t>(wordEnd - p));
        const char* afterWord = wordEnd;
        if (*wordEnd == '[' && !Evaluator::declaredIndexName(wordEnd, declared, afterWord))
            afterWord = wordEnd;
        if (const Variable* declaration = ip.evaluator().declarationOf(declared)) {
            const char* q = afterWord;
            bool parenthesised = *q == '(';
            if (parenthesised) ++q;
            MCVal ignored;
            Error err = ip.evaluator().callDeclared(q, declared, *declaration, parenthesised, ignored);
            p = q;
            return err;
        }
        // Not a command: a macro function (or an object's method) called as a statement.
        // As for built-in statements, blanks may stand between the name and its '('.
        const char* nameEnd = p;
        while (isNameChar(*nameEnd) || (*nameEnd == '.' && isNameChar(nameEnd[1]))) ++nameEnd;
        if (*skipBlanks(nameEnd) == '(') {
            MCVal ignored;
            const char* q = p;
            Error err = ip.evaluator().numeric(q, kLimitArgument, ignored);
            if (err == kStringOperand) err = kWrongDataType;
            p = q;
            return err;
        }
        ip.setErrorPosition(start);
        return kUnknownCommand;
    }
    if (isFunctionCode(code) && *wordEnd != '(' && *skipBlanks(wordEnd) == '(') {
        // A function called as a statement with blanks before its '(': called
        // as in an expression (the value is dropped), as macro functions are.
        MCVal ignored;
        const char* q = p;
        Error err = ip.evaluator().numeric(q, kLimitArgument, ignored);
        if (err == kStringOperand) err = kWrongDataType;
        p = q;
        return err;
    }
    noChaining = forbidsChaining(code);
    if (noChaining) ctx.lineFlags |= kLineNoChaining;
    if (code == cmd::If && chained) {
        ip.setErrorPosition(start);
        return kChainingNotAllowed;
    }
    if (!ip.hasHandler(code)) {
        // A row of the table that this system does not carry out yet.
        ip.setErrorPosition(start);
        return kNotAvailable;
    }
    p = wordEnd;
    ArgsLease lease(ip);
    CallArgs& args = *lease;
    args.reset(code);
    bool parenthesised = *p == '(';
    if (parenthesised) ++p;
    Error err = ip.evaluator().parseArguments(p, ip.commands().signature(code), args, parenthesised);
    if (err) return err;
    MCVal result;
    result.setReal(0);
    err = ip.invoke(code, args, result);
    Error flushErr = ip.evaluator().flushPendingWrites(args);
    if (err) {
        if (!ip.errorPosition()) ip.setErrorPosition(start);
        return err;
    }
    return flushErr;
}

}  // namespace

Error LineInterpreter::execute(Interpreter& ip, MacroContext& ctx, const char* line, bool cutIntoLines) {
    const char* p = line;
    bool chained = false;
    ctx.lineFlags = 0;
    while (true) {
        p = skipBlanks(p);
        if (*p == '\0') return kOk;
        ip.setErrorPosition(nullptr);
        bool noChaining = false;
        Error err = executeStatement(ip, ctx, p, chained, noChaining);
        if (err) return err;
        if (!(ip.runState() & kRunRunning)) return kOk;
        p = skipBlanks(p);
        if (*p == '\0') return kOk;
        if (*p == ':' || *p == ',' || (*p == '|' && !cutIntoLines)) {
            if (noChaining) {
                ip.setErrorPosition(p);
                return *p == '|' ? kIllegalChaining : kChainingNotAllowed;
            }
            ++p;
            chained = true;
            ctx.lineFlags |= kLineChained;
            continue;
        }
        ip.setErrorPosition(p);
        return kExtraCharacters;
    }
}

int LineInterpreter::skipWord(Interpreter& ip, const char* line) {
    const char* p = skipBlanks(line);
    if (!isNameChar(*p)) return kNoCommandWord;
    // An assignment to a variable that happens to be named like a command is no command.
    int length;
    if (assignmentOperator(skipBlanks(skipCompoundName(p)), length)) return kNoCommandWord;
    return readCommandWord(ip, p);
}

namespace {

// What skipping a branch does with a line's command word, given the If blocks
// entered meanwhile (nesting): passes the line by, ends the skipping with it
// (the matching EndIf, or an Else that ends a false branch), or weighs it as a
// new If (an ElseIf that ends a false branch).
enum class BranchSkip { kPass, kEnd, kWeigh };
BranchSkip branchSkipStep(bool falseBranch, int code, int& nesting) {
    if (code == cmd::If) {
        ++nesting;
    } else if (code == cmd::EndIf) {
        if (nesting == 0) return BranchSkip::kEnd;
        --nesting;
    } else if (nesting == 0 && falseBranch) {
        if (code == cmd::Else) return BranchSkip::kEnd;
        if (code == cmd::ElseIf) return BranchSkip::kWeigh;
    }
    return BranchSkip::kPass;
}

}  // namespace

Error LineInterpreter::skip(Interpreter& ip, MacroContext& ctx, const char* line, int code) {
    if (code == kNoCommandWord) {
        if (ctx.skipState == kSkipOneLine) ctx.skipState = 0;
        return kOk;
    }
    if (code == cmd::Label || code == cmd::Function) {
        // Executed while skipping, so that labels met on the way are defined.
        uint16_t before = ctx.skipState;
        Error err = LineInterpreter::execute(ip, ctx, line, ctx.cutIntoLines);
        if (before == kSkipOneLine && ctx.skipState == kSkipOneLine) ctx.skipState = 0;
        return err;
    }
    uint16_t s = ctx.skipState;
    if (s == kSkipOneLine) {
        ctx.skipState = 0;
        return kOk;
    }
    if (isIfSkip(s) || isTakenSkip(s)) {
        switch (branchSkipStep(isIfSkip(s), code, ctx.skipNesting)) {
        case BranchSkip::kPass: break;
        case BranchSkip::kEnd: ctx.skipState = 0; break;
        case BranchSkip::kWeigh: return LineInterpreter::execute(ip, ctx, line, ctx.cutIntoLines);
        }
        return kOk;
    }
    if (isLoopSkip(s)) {
        if (code == cmd::Loop) {
            ++ctx.skipNesting;
        } else if (code == cmd::EndLoop) {
            if (ctx.skipNesting == 0)
                ctx.skipState = 0;
            else
                --ctx.skipNesting;
        }
    }
    return kOk;
}

size_t LineInterpreter::skipEnd(Interpreter& ip, MacroContext& ctx, CachedLine& from) {
    if (from.skipEnd != CachedLine::kNotLookedFor) return from.skipEnd;
    // A branch longer than this is skipped line by line, as before.
    constexpr int kMostLines = 4096;
    // After an If, its false branch is skipped; after an Else or ElseIf, the
    // rest of a block whose branch was taken.
    const bool falseBranch = from.skipWord == cmd::If;
    size_t end = SIZE_MAX;
    int nesting = 0;
    size_t pos = from.where.next;
    for (int lines = 0; lines < kMostLines; ++lines) {
        CachedLine& line = ctx.lines.at(*ctx.text, pos);
        if (line.status != LineStatus::Line || line.where.start == ctx.declarationLine) break;
        if (line.skipWord == CachedLine::kSkipWordUnknown) line.skipWord = skipWord(ip, line.text.c_str());
        const int code = line.skipWord;
        if (code == cmd::Label || code == cmd::Function) break;
        const BranchSkip step = branchSkipStep(falseBranch, code, nesting);
        if (step == BranchSkip::kWeigh) break;
        if (step == BranchSkip::kEnd) {
            end = line.where.next;
            from.skipLines = static_cast<uint32_t>(lines + 1);
            from.skipLast = &line;
            break;
        }
        pos = line.where.next;
    }
    from.skipEnd = end;
    return end;
}

}  // namespace tvx::interp
