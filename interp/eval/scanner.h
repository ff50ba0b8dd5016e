// Character-level scanning of macro text: character classes, names, numbers
// and operators. Macro lines are interpreted straight from their text.
#pragma once

#include <cstdint>
#include <string_view>

namespace tvx::interp {

enum CharClass : uint8_t {
    kCharName = 0x01,       // 0-9 A-Z a-z _ @ and the German umlauts and sharp s
    kCharBlank = 0x02,      // space, tab
    kCharStmtEnd = 0x04,    // CR LF tab space | :
    kCharWordOp = 0x08,     // first letters of word operators: A D F M O X
    kCharOperand = 0x10,    // ( " ! & # $ and the name characters
    kCharDigit = 0x20,
};

extern const uint8_t kCharClasses[256];

inline bool isNameChar(char c) { return kCharClasses[static_cast<unsigned char>(c)] & kCharName; }
inline bool isBlank(char c) { return c == ' ' || c == '\t'; }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline bool isStatementEnd(char c) {
    return c == '\0' || (kCharClasses[static_cast<unsigned char>(c)] & kCharStmtEnd);
}
inline const char* skipBlanks(const char* p) {
    while (isBlank(*p)) ++p;
    return p;
}

// Scans a maximal run of name characters at p, computing the name hash on the
// way. Returns the end of the name (p itself when there is none).
const char* scanName(const char* p, uint16_t& hash);

// Skips a name with its members and index groups ("a.b[1, c[2]].d"), the
// brackets balanced. Returns the end.
const char* skipCompoundName(const char* p);

// Binary operator codes: the character, +128 for the element-wise form, two
// characters for <= and >=, lower-case letters for the word operators.
enum OperatorCode : int {
    kOpPower = '^',
    kOpMultiply = '*',
    kOpDivide = '/',
    kOpLeftDivide = '\\',
    kOpAdd = '+',
    kOpSubtract = '-',
    kOpLess = '<',
    kOpGreater = '>',
    kOpLessEqual = 0x3D3C,
    kOpGreaterEqual = 0x3D3E,
    kOpEqual = '=',
    kOpNotEqual = '#',
    kOpShiftLeft = 'l',
    kOpShiftRight = 'r',
    kOpAnd = 'a',
    kOpOr = 'o',
    kOpXor = 'x',
    kOpDiv = 'd',
    kOpMod = 'm',
    kOpMul = 'u',
    kOpFmod = 'f',
    kElementWise = 128,  // added for ".*", "./", ... ; "==" is '=' + 128, "~=" is '#' + 128
};

struct ScannedOperator {
    int code = 0;      // 0: no operator here (the expression ends)
    int level = 0;     // lower binds tighter
    int length = 0;    // characters taken
    bool dotted = false;   // written with a leading '.' (element-wise / case-blind compare)
    bool dollar = false;   // written with a leading '$' (case-blind string compare)
};

// Reads the binary operator at p (blanks already skipped). Returns false for an
// unknown operator (error 817: "=<", "><", "..", ...); an expression end gives
// true with code 0.
bool scanOperator(const char* p, ScannedOperator& op);

// Reads a number literal at p (a digit): decimal in the C library's syntax,
// 0x hex, 0b binary, 0o octal. Returns the end.
const char* scanNumber(const char* p, double& value);

// Reads a decimal number the way the C library's strtod does, independent of
// the process locale. Returns p when there is no number.
const char* parseDecimal(const char* p, double& value);

}  // namespace tvx::interp
