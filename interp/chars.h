// Character classes of macro text, and reading names and number literals:
// what the evaluators and every command that scans text share.
#pragma once

#include <cstdint>

namespace tvx::interp {

enum CharClass : uint8_t {
    kCharName = 0x01,     // 0-9 A-Z a-z _ @ and the German umlauts and sharp s
    kCharBlank = 0x02,    // space, tab
    kCharStmtEnd = 0x04,  // CR LF tab space | :
    kCharWordOp = 0x08,   // first letters of word operators: A D F M O X
    kCharOperand = 0x10,  // ( " ! & # $ and the name characters
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

// True when p (a quote ') starts a character literal 'c' in the text that
// begins at begin: three characters, at a place where an operand may start.
// Right after a name, a ')' or a ']' the quote is the transpose operator.
inline bool isCharLiteral(const char* begin, const char* p) {
    if (p[0] != '\'' || p[1] == '\0' || p[2] != '\'') return false;
    const char* q = p;
    while (q > begin && isBlank(q[-1])) --q;
    if (q == begin) return true;
    char before = q[-1];
    return !(isNameChar(before) || before == ')' || before == ']' || before == '\'');
}

// Scans a maximal run of name characters at p, computing the name hash on the
// way. Returns the end of the name (p itself when there is none).
const char* scanName(const char* p, uint16_t& hash);

// Skips a name with its members and index groups ("a.b[1, c[2]].d"), the
// brackets balanced. Returns the end.
const char* skipCompoundName(const char* p);

// Reads a number literal at p (a digit): decimal in the C library's syntax,
// 0x hex, 0b binary, 0o octal. Returns the end.
const char* scanNumber(const char* p, double& value);

// Reads a decimal number the way the C library's strtod does, independent of
// the process locale. Returns p when there is no number.
const char* parseDecimal(const char* p, double& value);

}  // namespace tvx::interp
