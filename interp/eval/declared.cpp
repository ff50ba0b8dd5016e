// Calls of external functions declared with Decl: the declaration lives in the
// string variable "Fn_" + name; its letters steer the argument parser, and the
// family that serves declared functions makes the call.
#include <cstdio>
#include <cstring>

#include "interp/codes.h"
#include "interp/eval/evaluator.h"
#include "interp/eval/scanner.h"
#include "interp/interpreter.h"

namespace tvx::interp {

namespace {

// Declared names are cut to this length (the variable name then has "Fn_" before it).
constexpr size_t kMaxDeclaredName = 252;

// A member of an automation object ("(member)object" target) reads its
// arguments by the bridge's letters: each becomes the reader letter that
// takes such a value. The result letter comes first (a "=" before it marks a
// property write; a "<", "=" or ">" after it is skipped); the letters end at
// ";" (the kind of access follows) and "." and "?" are skipped.
std::string automationReaderLetters(std::string_view letters) {
    if (!letters.empty() && letters.front() == '=') letters.remove_prefix(1);
    if (letters.empty()) return {};
    letters.remove_prefix(1);  // the result letter
    if (!letters.empty() && (letters.front() == '<' || letters.front() == '=' || letters.front() == '>'))
        letters.remove_prefix(1);
    std::string out;
    for (char c : letters) {
        if (c == ';') break;
        switch (c) {
        case 'f':
        case 'r':
        case 'i':
        case 'b':
        case 's':
        case 'v':
        case '$': out += c; break;
        case 'o':
        case '.':
        case '?': break;
        case 'd':
        case 'D':
        case 'u': out += 's'; break;  // an object, named by its text
        case 'a':
        case 'A': out += 'm'; break;  // a vector or matrix variable
        case 'p':
        case 'B':
        case 'I':
        case 'L':
        case 'R':
        case 'F':
        case 'P': out += 'v'; break;
        case 'V': out += 'p'; break;  // the address of a 16-byte value
        default:
            if (c >= 'a' && c <= 'z') out += 'l';
            break;
        }
    }
    return out;
}

}  // namespace

std::string declarationName(std::string_view function) {
    std::string variable = "Fn_";
    variable.append(function.substr(0, kMaxDeclaredName));
    return variable;
}

const Variable* Evaluator::declarationOf(std::string_view name) {
    if (!ip_.hasHandler(cmd::Decl) || name.empty()) return nullptr;
    std::string variable = declarationName(name);
    VarSlot slot = ip_.symbols().find(variable, NameTable::hash(variable));
    if (!slot.index) return nullptr;
    slot = ip_.symbols().followReferences(slot);
    if (!slot) return nullptr;
    return &slot.var();
}

bool Evaluator::declaredIndexName(const char* p, std::string& name, const char*& after) {
    // "name[3](" or "name[1,2](": the index part must be written as integers.
    if (*p != '[') return false;
    const char* q = p + 1;
    long long parts[2] = {0, 0};
    int count = 0;
    while (count < 2) {
        q = skipBlanks(q);
        bool negative = *q == '-';
        if (negative) ++q;
        if (!isDigit(*q)) return false;
        long long value = 0;
        while (isDigit(*q)) {
            if (value > 100000000) return false;
            value = value * 10 + (*q++ - '0');
        }
        parts[count++] = negative ? -value : value;
        q = skipBlanks(q);
        if (*q == ']') break;
        if (*q != ',') return false;
        ++q;
    }
    if (*q != ']') return false;
    ++q;
    char suffix[48];
    if (count == 1)
        std::snprintf(suffix, sizeof suffix, "[%lld]", parts[0]);
    else
        std::snprintf(suffix, sizeof suffix, "[%lld,%lld]", parts[0], parts[1]);
    name += suffix;
    after = q;
    return true;
}

Error Evaluator::callDeclared(const char*& p, std::string_view name, const Variable& declaration,
                              bool parenthesised, MCVal& out) {
    const char* start = p;
    if (declaration.valueKind() != kKindString) {
        ip_.setErrorPosition(start);
        return kWrongDataType;
    }
    // Copied: the call may change the variable (a callback may declare anew).
    std::string text = declaration.text;
    size_t comma = text.find(',');
    if (comma == std::string::npos || comma == 0) {
        ip_.setErrorPosition(start);
        return kBadParameters;
    }
    std::string_view letters(text.data(), comma);
    size_t target = text.find_first_not_of(" \t", comma + 1);
    std::string signature;
    if (target != std::string::npos && text[target] == '(') {
        signature = automationReaderLetters(letters);
    } else {
        // An older form writes a prefix before the letters, ended by one of "<>=".
        size_t prefix = letters.find_first_of("<>=");
        if (prefix != std::string_view::npos) letters.remove_prefix(prefix + 1);
        if (!letters.empty()) signature = std::string(letters.substr(1));
    }
    if (letters.empty()) {
        ip_.setErrorPosition(start);
        return kBadParameters;
    }
    ArgsLease lease(ip_);
    CallArgs& args = *lease;
    args.reset(cmd::Decl);
    size_t mark = ip_.work().mark();
    Error err = parseArguments(p, signature, args, parenthesised);
    if (err) {
        ip_.work().release(mark);
        return err;
    }
    // The family that handles Decl makes the call: the argument list carries
    // the marker code -Decl, and two slots without a letter after the
    // arguments hold the declared name and the declaration text.
    if (args.count + 2 > kMaxArguments) {
        ip_.work().release(mark);
        return kParameterBufferOverflow;
    }
    std::string declaredName(name);
    ArgSlot& nameSlot = args.slot(args.count++);
    nameSlot.text = declaredName;
    ArgSlot& textSlot = args.slot(args.count++);
    textSlot.text = text;
    args.code = -cmd::Decl;
    out.setReal(0);
    err = ip_.invoke(cmd::Decl, args, out);
    args.code = cmd::Decl;
    Error flushErr = flushPendingWrites(args);
    if (!err) err = flushErr;
    ip_.work().release(mark);
    if (err && !ip_.errorPosition()) ip_.setErrorPosition(start);
    return err;
}

}  // namespace tvx::interp
