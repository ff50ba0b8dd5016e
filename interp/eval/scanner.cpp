#include "interp/eval/scanner.h"

#include <array>
#include <charconv>
#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>

namespace tvx::interp {

namespace {

constexpr std::array<uint8_t, 256> makeClasses() {
    std::array<uint8_t, 256> classes{};
    for (int c = '0'; c <= '9'; ++c) classes[c] |= kCharName | kCharDigit;
    for (int c = 'A'; c <= 'Z'; ++c) classes[c] |= kCharName;
    for (int c = 'a'; c <= 'z'; ++c) classes[c] |= kCharName;
    for (int c : {int{'_'}, int{'@'}, 0xC4, 0xD6, 0xDC, 0xE4, 0xF6, 0xFC, 0xDF}) classes[c] |= kCharName;
    for (int c = 0; c < 256; ++c)
        if (classes[c] & kCharName) classes[c] |= kCharOperand;
    for (int c : {'(', '"', '!', '&', '#', '$'}) classes[c] |= kCharOperand;
    for (int c : {'A', 'D', 'F', 'M', 'O', 'X', 'a', 'd', 'f', 'm', 'o', 'x'}) classes[c] |= kCharWordOp;
    for (int c : {' ', '\t'}) classes[c] |= kCharBlank;
    for (int c : {'\r', '\n', '\t', ' ', '|', ':'}) classes[c] |= kCharStmtEnd;
    return classes;
}

constexpr std::array<uint8_t, 256> kClasses = makeClasses();

// Word operators: 2 to 4 name characters; a 4-letter word only when it starts with F.
bool scanWordOperator(const char* p, ScannedOperator& op) {
    const char* end = p;
    while (isNameChar(*end)) ++end;
    size_t length = static_cast<size_t>(end - p);
    if (length < 2 || length > 4) return false;
    char word[5] = {};
    for (size_t i = 0; i < length; ++i) word[i] = static_cast<char>(p[i] | 0x20);
    std::string_view w(word, length);
    struct Word { std::string_view name; int code; int level; };
    static constexpr Word kWords[] = {
        {"and", kOpAnd, 10}, {"or", kOpOr, 12}, {"xor", kOpXor, 11}, {"div", kOpDiv, 5},
        {"mod", kOpMod, 5}, {"mul", kOpMul, 5}, {"fmod", kOpFmod, 5},
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

const uint8_t kCharClasses[256] = {
#define TVX_ROW(i) kClasses[i], kClasses[i + 1], kClasses[i + 2], kClasses[i + 3], \
                   kClasses[i + 4], kClasses[i + 5], kClasses[i + 6], kClasses[i + 7]
    TVX_ROW(0), TVX_ROW(8), TVX_ROW(16), TVX_ROW(24), TVX_ROW(32), TVX_ROW(40), TVX_ROW(48),
    TVX_ROW(56), TVX_ROW(64), TVX_ROW(72), TVX_ROW(80), TVX_ROW(88), TVX_ROW(96), TVX_ROW(104),
    TVX_ROW(112), TVX_ROW(120), TVX_ROW(128), TVX_ROW(136), TVX_ROW(144), TVX_ROW(152),
    TVX_ROW(160), TVX_ROW(168), TVX_ROW(176), TVX_ROW(184), TVX_ROW(192), TVX_ROW(200),
    TVX_ROW(208), TVX_ROW(216), TVX_ROW(224), TVX_ROW(232), TVX_ROW(240), TVX_ROW(248),
#undef TVX_ROW
};

const char* scanName(const char* p, uint16_t& hash) {
    uint16_t h = 0;
    while (true) {
        auto c = static_cast<unsigned char>(*p);
        if (!(kClasses[c] & kCharName)) break;
        unsigned folded = c < 64 ? c : (c | 0x20u);
        h = static_cast<uint16_t>(((h << 1) | (h >> 15)) + folded);
        ++p;
    }
    hash = h;
    return p;
}

const char* skipCompoundName(const char* p) {
    while (true) {
        while (isNameChar(*p)) ++p;
        if (*p == '.' && isNameChar(p[1]) && !isDigit(p[1])) {
            ++p;
            continue;
        }
        if (*p != '[') return p;
        int depth = 0;
        bool inString = false;
        for (; *p; ++p) {
            if (*p == '"') inString = !inString;
            if (inString) continue;
            if (*p == '[') ++depth;
            if (*p == ']' && --depth == 0) {
                ++p;
                break;
            }
        }
        if (depth != 0) return p;
    }
}

bool scanOperator(const char* p, ScannedOperator& op) {
    op = ScannedOperator{};
    const char* start = p;
    if (*p == '.' || *p == '$') {
        // A prefix before an operator: element-wise ('.'), or a case-blind
        // string comparison ('.' or '$').
        char next = p[1];
        bool operatorFollows = next == '*' || next == '/' || next == '\\' || next == '^' ||
                               next == '+' || next == '-' || isComparisonChar(next) || next == '~';
        if (!operatorFollows) {
            if (*p == '$') return true;  // not an operator: the expression ends here
            return false;                // "..", ".x": unknown operator
        }
        (*p == '.' ? op.dotted : op.dollar) = true;
        ++p;
    }
    switch (*p) {
    case '^': op.code = kOpPower; op.level = 4; op.length = 1; break;
    case '*': op.code = kOpMultiply; op.level = 5; op.length = 1; break;
    case '/': op.code = kOpDivide; op.level = 5; op.length = 1; break;
    case '\\': op.code = kOpLeftDivide; op.level = 5; op.length = 1; break;
    case '+': op.code = kOpAdd; op.level = 6; op.length = 1; break;
    case '-': op.code = kOpSubtract; op.level = 6; op.length = 1; break;
    case '~':
        if (p[1] != '=') return false;
        op.code = kOpNotEqual + kElementWise; op.level = 9; op.length = 2;
        break;
    case '<':
        if (p[1] == '<') { op.code = kOpShiftLeft; op.level = 7; op.length = 2; }
        else if (p[1] == '=') { op.code = kOpLessEqual; op.level = 8; op.length = 2; }
        else if (p[1] == '>') { op.code = kOpNotEqual; op.level = 9; op.length = 2; }
        else { op.code = kOpLess; op.level = 8; op.length = 1; }
        break;
    case '>':
        if (p[1] == '>') { op.code = kOpShiftRight; op.level = 7; op.length = 2; }
        else if (p[1] == '=') { op.code = kOpGreaterEqual; op.level = 8; op.length = 2; }
        else if (p[1] == '<') return false;
        else { op.code = kOpGreater; op.level = 8; op.length = 1; }
        break;
    case '=':
        if (p[1] == '=') { op.code = kOpEqual + kElementWise; op.level = 9; op.length = 2; }
        else if (p[1] == '<' || p[1] == '>') return false;
        else { op.code = kOpEqual; op.level = 9; op.length = 1; }
        break;
    default:
        if (op.dotted || op.dollar) return false;
        if (kClasses[static_cast<unsigned char>(*p)] & kCharWordOp) scanWordOperator(p, op);
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

const char* parseDecimal(const char* p, double& value) {
    const char* end = p;
    // The number's extent by the strtod grammar: digits [. digits] [e [sign] digits].
    while (isDigit(*end)) ++end;
    if (*end == '.') {
        ++end;
        while (isDigit(*end)) ++end;
    }
    if ((*end == 'e' || *end == 'E') &&
        (isDigit(end[1]) || ((end[1] == '+' || end[1] == '-') && isDigit(end[2])))) {
        end += 2;
        while (isDigit(*end)) ++end;
    }
    if (end == p) return p;
    // The common case, digits with an optional fraction and at most 15
    // significant digits: the integer of all digits divided by a power of ten.
    // Both are exact doubles, and IEEE division rounds correctly, so this is
    // the value the general conversion gives.
    {
        static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8,
                                             1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        uint64_t mantissa = 0;
        int digits = 0, fraction = 0;
        bool simple = true, inFraction = false;
        for (const char* q = p; q < end && simple; ++q) {
            if (*q == '.') {
                inFraction = true;
                continue;
            }
            if (!isDigit(*q)) {
                simple = false;
                break;
            }
            if (mantissa != 0 || *q != '0') ++digits;
            mantissa = mantissa * 10 + static_cast<uint64_t>(*q - '0');
            if (inFraction) ++fraction;
            if (digits > 15 || fraction > 15) simple = false;
        }
        if (simple) {
            value = static_cast<double>(mantissa) / kPowers[fraction];
            return end;
        }
    }
    auto result = std::from_chars(p, end, value);
    if (result.ec == std::errc::result_out_of_range) {
        // Out of range: as strtod, an infinity or zero.
        static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
        value = strtod_l(p, nullptr, cLocale);
    }
    return end;
}

const char* scanNumber(const char* p, double& value) {
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && std::isxdigit(static_cast<unsigned char>(p[2]))) {
        uint64_t n = 0;
        p += 2;
        for (; std::isxdigit(static_cast<unsigned char>(*p)); ++p) {
            int digit = isDigit(*p) ? *p - '0' : (*p | 0x20) - 'a' + 10;
            if (n <= 0xFFFFFFFFull) n = n * 16 + static_cast<uint64_t>(digit);
        }
        value = static_cast<double>(n > 0xFFFFFFFFull ? 0xFFFFFFFFull : n);  // as strtoul: saturated
        return p;
    }
    if (p[0] == '0' && (p[1] == 'b' || p[1] == 'o')) {
        int base = p[1] == 'b' ? 2 : 8;
        char highest = base == 2 ? '1' : '7';
        if (p[2] >= '0' && p[2] <= highest) {
            uint64_t n = 0;
            p += 2;
            for (; *p >= '0' && *p <= highest; ++p)
                if (n <= 0xFFFFFFFFull) n = n * static_cast<uint64_t>(base) + static_cast<uint64_t>(*p - '0');
            value = static_cast<double>(n > 0xFFFFFFFFull ? 0xFFFFFFFFull : n);
            return p;
        }
    }
    return parseDecimal(p, value);
}

}  // namespace tvx::interp
