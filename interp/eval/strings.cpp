// String expressions, number formats and string comparisons.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "interp/eval/evaluator.h"
#include "interp/eval/scanner.h"
#include "interp/interpreter.h"
#include "interp/values/number.h"
#include "interp/values/numbertext.h"
#include "platform/memprobe.h"

namespace tvx::interp {

namespace {

constexpr int kMaxFormatDigits = 276;

Error appendChecked(std::string& out, std::string_view text) {
    if (out.size() + text.size() > kMaxStringLength) return kStringOverflow;
    out.append(text);
    return kOk;
}

// Digits of an unsigned 64-bit value in base 2..36.
std::string digitsInBase(uint64_t value, unsigned base, bool upper) {
    const char* digits =
        upper ? "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ" : "0123456789abcdefghijklmnopqrstuvwxyz";
    char buffer[72];
    int pos = sizeof buffer;
    do {
        buffer[--pos] = digits[value % base];
        value /= base;
    } while (value != 0);
    return std::string(buffer + pos, sizeof buffer - static_cast<size_t>(pos));
}

// Reads "<", "=", ">", "<=", ">=", "<>" with an optional '.' or '$' in front
// (ignore case). Returns the length, 0 when no comparison follows, -1 for a
// pair that is no string comparison ("<<", ">>", "==", "=<", "=>", "><").
int scanStringComparison(const char* p, int& op, bool& ignoreCase) {
    const char* start = p;
    ignoreCase = false;
    if ((*p == '.' || *p == '$') && (p[1] == '<' || p[1] == '>' || p[1] == '=')) {
        ignoreCase = true;
        ++p;
    }
    char a = p[0];
    if (a != '<' && a != '>' && a != '=') return 0;
    char b = p[1];
    int length = 1;
    if (a == '<' && b == '=') {
        op = kOpLessEqual;
        length = 2;
    } else if (a == '>' && b == '=') {
        op = kOpGreaterEqual;
        length = 2;
    } else if (a == '<' && b == '>') {
        op = kOpNotEqual;
        length = 2;
    } else if (b == '<' || b == '>' || b == '=')
        return -1;
    else
        op = a == '<' ? kOpLess : a == '>' ? kOpGreater : kOpEqual;
    return static_cast<int>(p - start) + length;
}

int compareBytes(std::string_view a, std::string_view b, bool ignoreCase) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(a[i]);
        auto y = static_cast<unsigned char>(b[i]);
        if (ignoreCase) {
            if (x >= 'A' && x <= 'Z') x |= 0x20;
            if (y >= 'A' && y <= 'Z') y |= 0x20;
        }
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

Error Evaluator::stringExpression(const char*& p, std::string& out) {
    out.clear();
    p = skipBlanks(p);
    while (true) {
        Error err = stringTerm(p, out);
        if (err) return err;
        const char* q = skipBlanks(p);
        if (*q != '+') return kOk;
        p = skipBlanks(q + 1);
    }
}

const std::string* Evaluator::wholeStringVariable(const char*& p) {
    if (!isNameChar(*p) || isDigit(*p)) return nullptr;
    const char* end = skipCompoundName(p);
    char after = *skipBlanks(end);
    if (after != '\0' && after != ',' && after != ')' && after != ':' && after != '|') return nullptr;
    const char* q = p;
    Designator d;
    const char* savedErrorPosition = ip_.errorPosition();
    if (designate(q, Creation::Find, d) != kOk || q != end || d.form != Designator::kVariable ||
        d.slot.var().valueKind() != kKindString) {
        ip_.setErrorPosition(savedErrorPosition);
        return nullptr;
    }
    const std::string& text = d.slot.var().text;
    if (text.size() <= kMaxStringLength) return nullptr;
    p = end;
    return &text;
}

Error Evaluator::stringToWorkArea(const char*& p, std::string_view& out) {
    // A string variable alone passes whole, also when it is longer than the
    // work area (a long string); an expression is built in the area.
    if (const std::string* whole = wholeStringVariable(p)) return ip_.work().storeLong(*whole, out);
    std::string text;
    Error err = stringExpression(p, text);
    if (err) return err;
    return ip_.work().store(text, out);
}

Error Evaluator::stringTerm(const char*& p, std::string& out) {
    const char* start = p;
    if (*p == '"') {
        // A doubled quote inside stands for one quote; an unclosed literal runs to the end.
        ++p;
        while (*p) {
            if (*p == '"') {
                if (p[1] != '"') {
                    ++p;
                    break;
                }
                ++p;
            }
            if (out.size() >= kMaxStringLength) {
                ip_.setErrorPosition(p);
                return kStringOverflow;
            }
            out.push_back(*p++);
        }
        return kOk;
    }
    if (*p == '#') return formatTerm(p, out);
    if (*p == '$') {
        int mode = 0;  // 0: character or ANSI string, 1: '>' ANSI to wide, 2: '<' wide to ANSI
        if (p[1] == '>')
            mode = 1;
        else if (p[1] == '<')
            mode = 2;
        p += mode ? 2 : 1;
        double value;
        Error err = real(p, kLimitSingleOperand, value);
        if (err) return err;
        if (mode == 0 && value < 65536) {
            int64_t code = roundHalfAway(value < 0 ? 0 : value);
            if (code > 255) code = 255;
            if (code == 0) return kOk;  // strings hold no NUL
            if (out.size() >= kMaxStringLength) return kStringOverflow;
            out.push_back(static_cast<char>(code));
            return kOk;
        }
        // An address: the string stored there, read through the memory probe.
        if (!(value >= 0 && value < 9007199254740992.0)) {
            ip_.setErrorPosition(start);
            return kBadAddress;
        }
        auto address = reinterpret_cast<const char*>(static_cast<uintptr_t>(value));
        if (mode == 2) {
            // UTF-16 text to ANSI: characters above 255 become '?'.
            for (size_t i = 0;; ++i) {
                uint16_t unit;
                if (!platform::safeRead(&unit, address + 2 * i, 2)) {
                    ip_.setErrorPosition(start);
                    return kBadAddress;
                }
                if (unit == 0) break;
                if (out.size() >= kMaxStringLength) return kStringOverflow;
                out.push_back(static_cast<char>(unit < 256 ? unit : '?'));
            }
            return kOk;
        }
        long length = platform::readableStringLength(address, kMaxStringLength + 1);
        if (length < 0) {
            ip_.setErrorPosition(start);
            return kBadAddress;
        }
        if (mode == 1) {
            // ANSI to UTF-16: the code units, as bytes, little-endian.
            for (long i = 0; i < length; ++i) {
                if (out.size() + 2 > kMaxStringLength) return kStringOverflow;
                out.push_back(address[i]);
                out.push_back('\0');
            }
            return kOk;
        }
        return appendChecked(out, std::string_view(address, static_cast<size_t>(length)));
    }
    if (*p == '!' || (isNameChar(*p) && !isDigit(*p))) {
        Designator d;
        Error err = designate(p, ip_.symbols().lookupOnly ? Creation::Find : Creation::Create, d);
        if (err) return err;
        if (d.form == Designator::kNothing) {
            ip_.setErrorPosition(start);
            return kUndefinedVariable;
        }
        if (d.created && d.form == Designator::kVariable) {
            // A name first met in a string context becomes an empty string.
            d.slot.var().setValueKind(kKindString);
            return kOk;
        }
        std::string text;
        if (!readText(d, text)) {
            ip_.setErrorPosition(start);
            return kWrongDataType;
        }
        if (out.size() + text.size() > kMaxStringLength) {
            ip_.setErrorPosition(start);
            return kStringOverflow;
        }
        out.append(text);
        return kOk;
    }
    ip_.setErrorPosition(start);
    return kWrongDataType;
}

Error Evaluator::formatTerm(const char*& p, std::string& out) {
    const char* start = p;
    const char* current = p;  // the current '#'
    int width = 0;
    unsigned base = 10;
    bool radix = false;  // a 'b' format: 64-bit digits in any base
    bool upper = false;
    int zeroDigits = 0;
    // Specifications, each ended by a '#'.
    while (current[1] != '#') {
        const char* q = current + 1;
        int newWidth = width, newZeros = zeroDigits;
        unsigned newBase = base;
        bool newRadix = radix;
        bool newUpper = upper;
        if (*q == '0' && isDigit(q[1])) {
            // A digit count beyond what a format can give is capped (it cannot overflow).
            newZeros = 0;
            for (++q; isDigit(*q); ++q) newZeros = std::min(newZeros * 10 + (*q - '0'), 1000000);
        } else if (*q >= '1' && *q <= '9') {
            newWidth = *q++ - '0';
            if (isDigit(*q)) newWidth = newWidth * 10 + (*q++ - '0');
        } else if (*q == 'x' || *q == 'X') {
            newBase = 16;
            newRadix = false;
            newUpper = *q++ == 'X';
        } else if (*q == 'o') {
            newBase = 8;
            newRadix = false;
            ++q;
        } else if (*q == 'b' || *q == 'B') {
            newUpper = *q++ == 'B';
            newBase = 2;
            newRadix = true;
            if (isDigit(*q)) {
                unsigned k = 0;
                for (; isDigit(*q) && k < 1000; ++q) k = k * 10 + static_cast<unsigned>(*q - '0');
                if (k < 2 || k > 36) {
                    ip_.setErrorPosition(q);
                    return kBadParameters;
                }
                newBase = k;
            }
        } else {
            break;
        }
        if (*q != '#') break;  // not a specification after all
        width = newWidth;
        zeroDigits = newZeros;
        base = newBase;
        radix = newRadix;
        upper = newUpper;
        current = q;
    }
    int n = 0;
    const char* q = current;
    while (*q == '#') {
        ++n;
        ++q;
    }
    if (n > kMaxFormatDigits) {
        ip_.setErrorPosition(current);
        return kStringOverflow;
    }
    if (zeroDigits > n) n = std::min(zeroDigits, kMaxFormatDigits);
    bool floating = false, decimalComma = false;
    int significant = n;
    if (*q == '.' || *q == ',') {
        floating = true;
        decimalComma = *q == ',';
        if (q[1] == *q) {
            q += 2;
            if (n == 1) significant = 15;
        } else {
            ++q;
            if (n == 1) significant = 6;
        }
    }
    p = q;
    double value;
    Error err = real(p, kLimitSingleOperand, value);
    if (err) {
        if (err == kNotEnoughParameters) ip_.setErrorPosition(start);
        return err;
    }

    char buffer[kMaxFormatDigits + 400];
    std::string text;
    if (floating) {
        std::snprintf(buffer, sizeof buffer, "%.*g", significant, value);
        text = buffer;
        if (decimalComma) {
            size_t dot = text.find('.');
            if (dot != std::string::npos) text[dot] = ',';
        }
    } else if (base == 10 && !radix && n <= 1) {
        appendWholeNumber(text, value);  // the common "#x"
    } else if (base == 10 && !radix) {
        if (!(value > -2147483648.5 && value < 4294967295.5)) {
            std::snprintf(buffer, sizeof buffer, "%.10g", value);
        } else {
            long long integer = roundHalfAway(value);
            std::snprintf(buffer, sizeof buffer, "%0*lld", n, integer);
        }
        text = buffer;
    } else if (!radix) {
        if (!(value > -2147483648.5 && value < 4294967295.5)) {
            std::snprintf(buffer, sizeof buffer, "%.10g", value);
        } else {
            auto bits = static_cast<uint32_t>(roundHalfAway(value));
            const char* format = base == 8 ? "%0*o" : upper ? "%0*X" : "%0*x";
            std::snprintf(buffer, sizeof buffer, format, n > 1 ? n : 0, bits);
        }
        text = buffer;
    } else {
        // Base K: the value as a 64-bit integer; a negative value keeps its
        // last n digits when n > 2.
        int64_t integer = toInt64Saturated(value);
        text = digitsInBase(static_cast<uint64_t>(integer), base, upper);
        if (integer < 0 && n > 2 && text.size() > static_cast<size_t>(n))
            text.erase(0, text.size() - static_cast<size_t>(n));
        if (n > 1 && text.size() < static_cast<size_t>(n))
            text.insert(0, static_cast<size_t>(n) - text.size(), '0');
    }
    if (width > 0 && text.size() < static_cast<size_t>(width))
        text.insert(0, static_cast<size_t>(width) - text.size(), ' ');
    if (appendChecked(out, text)) {
        ip_.setErrorPosition(start);
        return kStringOverflow;
    }
    return kOk;
}

Error Evaluator::stringOperandOrComparison(const char*& p, MCVal& out) {
    const char* start = p;
    // A long string variable alone is a string operand (it is compared with nothing).
    const char* q0 = p;
    if (wholeStringVariable(q0)) return kStringOperand;
    std::string left;
    Error err = stringExpression(p, left);
    if (err) return err;
    const char* q = skipBlanks(p);
    int op = 0;
    bool ignoreCase = false;
    int length = scanStringComparison(q, op, ignoreCase);
    if (length < 0) {
        ip_.setErrorPosition(q);
        return kUnknownOperator;
    }
    if (length == 0) {
        p = start;
        return kStringOperand;
    }
    q += length;
    std::string right;
    err = stringExpression(q, right);
    if (err) return err;
    p = q;
    int c = compareBytes(left, right, ignoreCase);
    bool result = false;
    switch (op) {
    case kOpLess: result = c < 0; break;
    case kOpGreater: result = c > 0; break;
    case kOpLessEqual: result = c <= 0; break;
    case kOpGreaterEqual: result = c >= 0; break;
    case kOpEqual: result = c == 0; break;
    case kOpNotEqual: result = c != 0; break;
    default: break;
    }
    out.setReal(result ? 1 : 0);
    return kOk;
}

}  // namespace tvx::interp
