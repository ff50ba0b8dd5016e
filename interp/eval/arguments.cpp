// The argument parser: builds a command's argument list from its signature
// letters, and calls built-in functions.
#include <cstring>

#include "interp/codes.h"
#include "interp/eval/evaluator.h"
#include "interp/eval/scanner.h"
#include "interp/interpreter.h"
#include "interp/values/number.h"

namespace tvx::interp {

namespace {

// Width of each letter's slot in the parameter buffer.
int slotBytes(char letter) {
    switch (letter) {
    case 'f': return 8;
    case 'i':
    case 'b': return 2;
    default: return 4;
    }
}

bool isArgumentEnd(char c, bool parenthesised) {
    return c == '\0' || c == ':' || c == '|' || c == '\r' || c == '\n' || (parenthesised && c == ')');
}

bool isSignatureLetter(char c) { return (c >= 'a' && c <= 'z') || c == '$'; }
bool isSignatureModifier(char c) { return (c >= 0x25 && c <= 0x40) || c == '$'; }

// The end of "the rest of the line": inside brackets, up to the matching ')'.
const char* restOfLine(const char* p, bool parenthesised) {
    if (!parenthesised) return p + std::strlen(p);
    int depth = 0;
    bool inString = false;
    const char* begin = p;
    for (; *p; ++p) {
        if (*p == '"') inString = !inString;
        if (inString) continue;
        if (isCharLiteral(begin, p)) {
            p += 2;
            continue;
        }
        if (*p == '(') ++depth;
        if (*p == ')' && depth-- == 0) break;
    }
    return p;
}

}  // namespace

Error Evaluator::parseArguments(const char*& p, std::string_view signature, CallArgs& args,
                                bool parenthesised) {
    int bufferBytes = 0;
    bool optional = false;
    bool flexible = false;
    for (size_t s = 0; s < signature.size(); ++s) {
        char c = signature[s];
        if (c == '#') {  // carries two bytes of its own
            s += 2;
            continue;
        }
        if (c == ';') break;
        if (c == '.') {
            optional = true;
            continue;
        }
        if (c == '?') {
            flexible = true;
            continue;
        }
        if (c == '&' || (isSignatureModifier(c) && c != '$')) continue;
        if (args.count >= kMaxArguments) return kParameterBufferOverflow;
        ArgSlot& slot = args.slot(args.count++);
        slot.letter = c;
        slot.flexible = flexible;
        flexible = false;
        bufferBytes += slotBytes(c) + (slot.flexible ? 4 : 0);
        if (bufferBytes > kArgumentBufferBytes) return kParameterBufferOverflow;

        p = skipBlanks(p);
        if (c == 'c') {
            // An outdated letter: said once, then the statement goes on.
            ip_.host().messageBox("Obsolete: typ 'c'", "Macro", 0x30);
            continue;
        }
        if (isArgumentEnd(*p, parenthesised)) {
            if (c == 's') {
                // A missing string argument is an empty string.
                slot.text = std::string_view();
                slot.form = kFormString;
                continue;
            }
            if (!optional) {
                ip_.setErrorPosition(p);
                return kNotEnoughParameters;
            }
            continue;
        }
        if (*p == ',' && optional) {
            // An empty optional argument: ", ,"
            ++p;
            continue;
        }
        Error err = parseOneArgument(p, c, slot.flexible, parenthesised, slot, args);
        if (err) return err;
        // One comma may separate this argument from the next one.
        p = skipBlanks(p);
        bool moreLetters = false;
        for (size_t t = s + 1; t < signature.size() && signature[t] != ';'; ++t)
            if (isSignatureLetter(signature[t])) moreLetters = true;
        if (*p == ',' && moreLetters) p = skipBlanks(p + 1);
    }
    p = skipBlanks(p);
    if (parenthesised) {
        if (*p == ')') {
            ++p;
            return kOk;
        }
        ip_.setErrorPosition(p);
        return *p == '\0' ? kBracket : kTooManyParameters;
    }
    if (!isArgumentEnd(*p, false)) {
        ip_.setErrorPosition(p);
        return kTooManyParameters;
    }
    return kOk;
}

Error Evaluator::parseOneArgument(const char*& p, char letter, bool flexible, bool parenthesised,
                                  ArgSlot& slot, CallArgs& args) {
    const char* start = p;
    switch (letter) {
    case 'f':
    case 'l':
    case 'i':
    case 'b':
    case 'r':
    case 'p': {
        if (args.valueCount >= kMaxArguments) return kParameterBufferOverflow;
        MCVal& value = args.values[static_cast<size_t>(args.valueCount++)];
        Error err = numeric(p, kLimitArgument, value);
        if (err == kStringOperand) {
            if (!flexible) {
                ip_.setErrorPosition(start);
                return kWrongDataType;
            }
            err = stringToWorkArea(p, slot.text);
            if (err) return err;
            slot.form = kFormString;
            slot.present = true;
            return kOk;
        }
        if (err) return err;
        if (value.isEmpty()) {
            ip_.setErrorPosition(start);
            return kNotEnoughParameters;
        }
        // A '?' or 'p' argument that names a block variable directly passes it
        // in place (type 33).
        if ((flexible || letter == 'p') && value.type == kValBlock && (value.flags & kValBorrowed))
            value.type = kValVarBlock;
        slot.value = &value;
        slot.present = true;
        slot.form = value.isBlock() ? kFormBlock : kFormNumber;
        slot.number = value.re;
        if (letter == 'f') return kOk;
        if (letter == 'p') {
            if (value.isBlock() && (value.flags & kValBorrowed)) {
                slot.address = reinterpret_cast<uintptr_t>(value.pData->bytes());
            } else if (value.isBlock() && !flexible) {
                return kWrongDataType;
            } else {
                slot.address = static_cast<uint64_t>(toInt64Saturated(value.re));
            }
            slot.number = static_cast<double>(slot.address);
            return kOk;
        }
        if (value.isBlock() && !flexible) {
            ip_.setErrorPosition(start);
            return kWrongDataType;
        }
        err = kOk;
        if (letter == 'l') {
            err = toInt32Arg(value.re, slot.l);
        } else if (letter == 'i' || letter == 'b') {
            err = toInt16Arg(value.re, slot.i);
            slot.l = slot.i;
        } else {
            slot.r = static_cast<float>(value.re);
        }
        if (err) ip_.setErrorPosition(start);
        return err;
    }
    case 's': {
        Error err = stringToWorkArea(p, slot.text);
        if (err) return err;
        slot.form = kFormString;
        slot.present = true;
        return kOk;
    }
    case 'n': {
        // A label or function name, not evaluated (dotted names allowed).
        const char* q = p;
        while (isNameChar(*q) || (*q == '.' && isNameChar(q[1]))) ++q;
        if (q == p) {
            ip_.setErrorPosition(p);
            return kBadSymbolName;
        }
        slot.text = std::string_view(p, static_cast<size_t>(q - p));
        slot.present = true;
        p = q;
        return kOk;
    }
    case 'k': {
        const char* q = p;
        while (*q && !isBlank(*q) && *q != ',' && *q != ')' && *q != ':' && *q != '|') ++q;
        slot.text = std::string_view(p, static_cast<size_t>(q - p));
        slot.present = true;
        p = q;
        return kOk;
    }
    case 'a': {
        // The rest of the line; inside a call's brackets, up to its ')'.
        const char* end = restOfLine(p, parenthesised);
        slot.text = std::string_view(p, static_cast<size_t>(end - p));
        slot.present = true;
        p = end;
        return kOk;
    }
    case 'v':
    case '$':
    case 'm': return variableArgument(p, letter, flexible, slot, args);
    default:
        // A letter this parser does not know: the command table is inconsistent.
        return kInternalError;
    }
}

Error Evaluator::variableArgument(const char*& p, char letter, bool flexible, ArgSlot& slot, CallArgs& args) {
    const char* start = p;
    Designator d;
    Error err = designate(p, Creation::Create, d);
    if (err) return err;
    slot.present = true;
    VarArg& arg = slot.var;
    switch (d.form) {
    case Designator::kVariable: break;
    case Designator::kElement:
    case Designator::kCharacter: {
        if (letter != 'v') {
            ip_.setErrorPosition(start);
            return kWrongDataType;
        }
        if (args.pendingCount >= kMaxPendingWrites) return kOutOfMemory;
        PendingWrite& pending = args.pending[static_cast<size_t>(args.pendingCount)];
        MCVal current;
        err = readValue(d, current);
        if (err) return err;
        pending = PendingWrite{d.slot, d.form == Designator::kCharacter, d.position, current.re};
        arg.pendingEntry = ++args.pendingCount;
        arg.slot = d.slot;
        arg.number = &pending.temp;
        slot.number = pending.temp;
        slot.form = kFormNumber;
        return kOk;
    }
    default:
        // Status variables are read-only; substrings and unknown names are no variables.
        ip_.setErrorPosition(start);
        return d.form == Designator::kNothing ? kUndefinedVariable : kWrongDataType;
    }

    arg.slot = d.slot;
    Variable& var = d.slot.var();
    VarKind kind = var.valueKind();
    if (letter == 'v' && kind == kKindBlock && (ip_.commandFlags(args.code) & kVariableTakesBlocks))
        flexible = true;
    if (flexible) {
        // Any kind passes; the command asks the form.
        if (kind == kKindNone) {
            var.setValueKind(kKindNumber);
            kind = kKindNumber;
        }
        arg.number = &var.number;
        arg.text = &var.text;
        arg.block = &var.block;
        slot.form = kind == kKindString ? kFormString : kind == kKindBlock ? kFormBlock : kFormNumber;
        slot.number = var.number;
        return kOk;
    }
    switch (letter) {
    case 'v':
        if (kind == kKindNone)
            var.setValueKind(kKindNumber);
        else if (kind != kKindNumber) {
            ip_.setErrorPosition(start);
            return kWrongDataType;
        }
        arg.number = &var.number;
        slot.number = var.number;
        slot.form = kFormNumber;
        return kOk;
    case '$':
        if (kind == kKindBlock && !(var.block && var.block->isText())) {
            ip_.setErrorPosition(start);
            return kWrongDataType;
        }
        if (kind != kKindString) {
            // A number or a text block asked for as a string becomes an empty string.
            var.clearValue();
            var.setValueKind(kKindString);
        }
        arg.text = &var.text;
        slot.form = kFormString;
        return kOk;
    case 'm':
        if (kind != kKindBlock || !var.block) {
            // A number or string asked for as a block becomes one: 256 elements of type 2.
            DataBlock* block = allocateBlock(kElemInt16, 256);
            if (!block) return kOutOfMemory;
            var.clearValue();
            var.setValueKind(kKindBlock);
            var.block = block;
        }
        arg.block = &var.block;
        slot.form = kFormBlock;
        return kOk;
    default: return kInternalError;
    }
}

Error Evaluator::flushPendingWrites(CallArgs& args) {
    Error result = kOk;
    for (int i = 0; i < args.pendingCount; ++i) {
        PendingWrite& pending = args.pending[static_cast<size_t>(i)];
        Variable& var = pending.slot.var();
        if (pending.character) {
            if (var.valueKind() == kKindString && pending.position >= 0 &&
                pending.position < static_cast<int64_t>(var.text.size())) {
                auto code = static_cast<unsigned char>(clampToElement(kElemUInt8, pending.temp));
                var.text[static_cast<size_t>(pending.position)] = static_cast<char>(code);
            }
            continue;
        }
        if (var.valueKind() != kKindBlock || !var.block) continue;
        if (var.block->elementType == kElemComplexMatrix) {
            Error err = writeElement(&var.block, 2 * pending.position, pending.temp);
            if (err && !result) result = err;
            continue;
        }
        Error err = writeElement(&var.block, pending.position, pending.temp);
        if (err && !result) result = err;
    }
    args.pendingCount = 0;
    return result;
}

Error Evaluator::callBuiltin(const char*& p, int code, MCVal& out) {
    const char* start = p;
    ArgsLease lease(ip_);
    CallArgs& args = *lease;
    args.reset(code);
    size_t mark = ip_.work().mark();
    ++p;  // '('
    Error err = parseArguments(p, ip_.commands().signature(code), args, true);
    if (err) {
        ip_.work().release(mark);
        return err;
    }
    out.setReal(0);
    std::string_view signature = ip_.commands().signature(code);
    // A data block as first argument goes to the matrix function dispatcher;
    // so does a block as second argument of an "ff" or "f.f" function.
    bool firstIsF = !signature.empty() && (signature[0] == 'f' || signature.substr(0, 2) == "?f");
    const ArgSlot& first = args.slot(0);
    // A computed block or a variable named in an 'f' argument is type 32; a
    // variable named in a '?' argument (Sum, MaxLoc, ...) is type 33 and stays here.
    bool blockFirst = args.count > 0 && first.value && first.value->type == kValBlock;
    bool blockSecond = args.count > 1 && args.slot(1).value && args.slot(1).value->type == kValBlock;
    bool toDispatcher = false;
    // (the functions up to ControlHandle in code order take a block this way)
    if (firstIsF && blockFirst && code >= kFirstFunctionCode && code <= cmd::ControlHandle)
        toDispatcher = true;
    if (code == cmd::Len && args.count > 0 && first.value && first.value->type == kValVarBlock)
        toDispatcher = true;
    if (firstIsF && !blockFirst && blockSecond && (signature == "ff" || signature == "f.f"))
        toDispatcher = true;
    if (toDispatcher) {
        err = ip_.arrays().matrixFunction ? ip_.arrays().matrixFunction(ip_, code, args, out)
                                          : kMatrixOperation;
    } else {
        err = ip_.invoke(code, args, out);
    }
    Error flushErr = flushPendingWrites(args);
    if (!err) err = flushErr;
    ip_.work().release(mark);
    if (err) ip_.setErrorPosition(start);
    return err;
}

}  // namespace tvx::interp
