#include "interp/eval/scanner.h"

#include <cmath>

namespace tvx::interp {

namespace {

// Word operators: 2 to 4 name characters; a 4-letter word only when it starts with F.
bool scanWordOperator(const char* p, ScannedOperator& op) {
    const char* end = p;
    while (isNameChar(*end)) ++end;
    size_t length = static_cast<size_t>(end - p);
    if (length < 2 || length > 4) return false;
    char word[5] = {};
    for (size_t i = 0; i < length; ++i) word[i] = static_cast<char>(p[i] | 0x20);
    std::string_view w(word, length);
    struct Word {
        std::string_view name;
        int code;
        int level;
    };
    static constexpr Word kWords[] = {
        {"and", kOpAnd, 10}, {"or", kOpOr, 12},  {"xor", kOpXor, 11},  {"div", kOpDiv, 5},
        {"mod", kOpMod, 5},  {"mul", kOpMul, 5}, {"fmod", kOpFmod, 5},
    };
    for (const Word& candidate : kWords) {
        if (candidate.name == w) {
            op.code = candidate.code;
            op.level = candidate.level;
            op.length = static_cast<int>(length);
            return true;
        }
    }
    return false;
}

bool isComparisonChar(char c) { return c == '<' || c == '>' || c == '='; }

}  // namespace

bool scanOperator(const char* p, ScannedOperator& op) {
    op = ScannedOperator{};
    const char* start = p;
    if (*p == '.' || *p == '$') {
        // A prefix before an operator: element-wise ('.'), or a case-blind
        // string comparison ('.' or '$').
        char next = p[1];
        bool operatorFollows = next == '*' || next == '/' || next == '\\' || next == '^' || next == '+' ||
                               next == '-' || isComparisonChar(next) || next == '~';
        if (!operatorFollows) {
            if (*p == '$') return true;  // not an operator: the expression ends here
            return false;                // "..", ".x": unknown operator
        }
        (*p == '.' ? op.dotted : op.dollar) = true;
        ++p;
    }
    switch (*p) {
    case '^':
        op.code = kOpPower;
        op.level = 4;
        op.length = 1;
        break;
    case '*':
        op.code = kOpMultiply;
        op.level = 5;
        op.length = 1;
        break;
    case '/':
        op.code = kOpDivide;
        op.level = 5;
        op.length = 1;
        break;
    case '\\':
        op.code = kOpLeftDivide;
        op.level = 5;
        op.length = 1;
        break;
    case '+':
        op.code = kOpAdd;
        op.level = 6;
        op.length = 1;
        break;
    case '-':
        op.code = kOpSubtract;
        op.level = 6;
        op.length = 1;
        break;
    case '~':
        if (p[1] != '=') return false;
        op.code = kOpNotEqual + kElementWise;
        op.level = 9;
        op.length = 2;
        break;
    case '<':
        if (p[1] == '<') {
            op.code = kOpShiftLeft;
            op.level = 7;
            op.length = 2;
        } else if (p[1] == '=') {
            op.code = kOpLessEqual;
            op.level = 8;
            op.length = 2;
        } else if (p[1] == '>') {
            op.code = kOpNotEqual;
            op.level = 9;
            op.length = 2;
        } else {
            op.code = kOpLess;
            op.level = 8;
            op.length = 1;
        }
        break;
    case '>':
        if (p[1] == '>') {
            op.code = kOpShiftRight;
            op.level = 7;
            op.length = 2;
        } else if (p[1] == '=') {
            op.code = kOpGreaterEqual;
            op.level = 8;
            op.length = 2;
        } else if (p[1] == '<')
            return false;
        else {
            op.code = kOpGreater;
            op.level = 8;
            op.length = 1;
        }
        break;
    case '=':
        if (p[1] == '=') {
            op.code = kOpEqual + kElementWise;
            op.level = 9;
            op.length = 2;
        } else if (p[1] == '<' || p[1] == '>')
            return false;
        else {
            op.code = kOpEqual;
            op.level = 9;
            op.length = 1;
        }
        break;
    default:
        if (op.dotted || op.dollar) return false;
        if (kCharClasses[static_cast<unsigned char>(*p)] & kCharWordOp) scanWordOperator(p, op);
        return true;  // anything else ends the expression
    }
    // A third comparison character ("<>=", "<<<", "==>") is no operator either.
    if (op.length == 2 && isComparisonChar(p[2]) && isComparisonChar(p[1])) return false;
    // The element-wise forms with codes of their own; on '+', '-' and the order
    // comparisons the dot changes nothing for numbers (it makes a string
    // comparison case-blind, which the caller sees in op.dotted).
    if (op.dotted && (op.code == kOpMultiply || op.code == kOpDivide || op.code == kOpLeftDivide ||
                      op.code == kOpPower || op.code == kOpEqual || op.code == kOpNotEqual))
        op.code += kElementWise;
    op.length += static_cast<int>(p - start);
    return true;
}

const char* closingBracket(const char* open) {
    const char* q = open + 1;
    int depth = 1;
    bool inString = false;
    for (; *q; ++q) {
        if (*q == '"') inString = !inString;
        if (inString) continue;
        if (isCharLiteral(open + 1, q)) {
            q += 2;  // ',' or ')' inside quotes is no separator
            continue;
        }
        if (*q == '(') ++depth;
        if (*q == ')' && --depth == 0) break;
    }
    return q;
}

}  // namespace tvx::interp
