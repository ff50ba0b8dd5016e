#include "interp/chars.h"

#include <locale.h>
#include <array>
#include <cctype>
#include <charconv>
#include <clocale>
#include <cstdlib>

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

}  // namespace

const uint8_t kCharClasses[256] = {
#define TVX_ROW(i)                                                                                    \
    kClasses[i], kClasses[i + 1], kClasses[i + 2], kClasses[i + 3], kClasses[i + 4], kClasses[i + 5], \
        kClasses[i + 6], kClasses[i + 7]
    TVX_ROW(0),   TVX_ROW(8),   TVX_ROW(16),  TVX_ROW(24),  TVX_ROW(32),  TVX_ROW(40),  TVX_ROW(48),
    TVX_ROW(56),  TVX_ROW(64),  TVX_ROW(72),  TVX_ROW(80),  TVX_ROW(88),  TVX_ROW(96),  TVX_ROW(104),
    TVX_ROW(112), TVX_ROW(120), TVX_ROW(128), TVX_ROW(136), TVX_ROW(144), TVX_ROW(152), TVX_ROW(160),
    TVX_ROW(168), TVX_ROW(176), TVX_ROW(184), TVX_ROW(192), TVX_ROW(200), TVX_ROW(208), TVX_ROW(216),
    TVX_ROW(224), TVX_ROW(232), TVX_ROW(240), TVX_ROW(248),
#undef TVX_ROW
};

const char* scanName(const char* p, uint16_t& hash) {
    uint16_t h = 0;
    while (true) {
        auto c = static_cast<unsigned char>(*p);
        if (!(kCharClasses[c] & kCharName)) break;
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

const char* parseDecimal(const char* p, double& value) {
    // The number's extent by the strtod grammar: digits [. digits] [e [sign] digits],
    // read in one pass with the integer of all its digits. The common case,
    // no exponent and at most 15 significant digits, is that integer divided
    // by a power of ten: both are exact doubles, and IEEE division rounds
    // correctly, so this is the value the general conversion gives.
    static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    // Leading zeros are not significant, nor are zeros right behind the point
    // before any other digit. The integer of the significant digits is only
    // used when there are at most 15 of them; past 19 it wraps, unused.
    const char* end = p;
    while (*end == '0') ++end;
    const char* first = end;
    uint64_t mantissa = 0;
    for (; isDigit(*end); ++end) mantissa = mantissa * 10 + static_cast<uint64_t>(*end - '0');
    int digits = static_cast<int>(end - first), fraction = 0;
    if (*end == '.') {
        const char* point = end++;
        if (digits == 0)
            while (*end == '0') ++end;
        first = end;
        for (; isDigit(*end); ++end) mantissa = mantissa * 10 + static_cast<uint64_t>(*end - '0');
        digits += static_cast<int>(end - first);
        fraction = static_cast<int>(end - point - 1);
    }
    bool exponent = false;
    if ((*end == 'e' || *end == 'E') &&
        (isDigit(end[1]) || ((end[1] == '+' || end[1] == '-') && isDigit(end[2])))) {
        exponent = true;
        end += 2;
        while (isDigit(*end)) ++end;
    }
    if (end == p) return p;
    if (!exponent && digits <= 15 && fraction <= 15) {
        value = static_cast<double>(mantissa) / kPowers[fraction];
        return end;
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
