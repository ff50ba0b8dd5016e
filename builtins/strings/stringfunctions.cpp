// The string functions: spans, comparisons, searching memory for text, and
// integer values of text in any base.
#include <algorithm>
#include <cstring>

#include "builtins/files/fileinternal.h"
#include "builtins/strings/stringinternal.h"
#include "interp/api.h"
#include "platform/memprobe.h"

namespace tvx::builtins {

using interp::CallArgs;
using interp::Interpreter;
using interp::kOk;
using interp::MCVal;

namespace {

unsigned char lowerAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? c | 0x20 : c; }

// StrFind ss: the first position in a of a character of b (the length of a
// when none).
interp::Error strFind(Interpreter&, CallArgs& args, MCVal& result) {
    std::string_view a = args.text(0), b = args.text(1);
    size_t at = a.find_first_of(b);
    result.setReal(static_cast<double>(at == std::string_view::npos ? a.size() : at));
    return kOk;
}

// StrSkip ss: the length of the start of a made only of characters of b.
interp::Error strSkip(Interpreter&, CallArgs& args, MCVal& result) {
    std::string_view a = args.text(0), b = args.text(1);
    size_t at = a.find_first_not_of(b);
    result.setReal(static_cast<double>(at == std::string_view::npos ? a.size() : at));
    return kOk;
}

// The difference of the first differing bytes (unsigned), 0 when equal; the
// end of the shorter text counts as a NUL.
int compareText(std::string_view a, std::string_view b, bool ignoreCase) {
    size_t n = std::max(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
        unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
        if (ignoreCase) {
            x = lowerAscii(x);
            y = lowerAscii(y);
        }
        if (x != y) return static_cast<int>(x) - static_cast<int>(y);
    }
    return 0;
}

interp::Error strCmp(Interpreter&, CallArgs& args, MCVal& result) {
    result.setReal(compareText(args.text(0), args.text(1), false));
    return kOk;
}

interp::Error striCmp(Interpreter&, CallArgs& args, MCVal& result) {
    result.setReal(compareText(args.text(0), args.text(1), true));
    return kOk;
}

// StrSearch ps.lll: address, pattern, flags, count, offset. Flags: bit 0
// compares without bit 5, bit 1 lets '?' match any byte, bit 2 searches count
// raw bytes past NULs. The result counts from the address, not the offset.
interp::Error strSearch(Interpreter& ip, CallArgs& args, MCVal& result) {
    std::string_view pattern = args.text(1);
    int32_t flags = args.present(2) ? args.l(2) : 0;
    int64_t count = args.present(3) ? args.l(3) : 0;
    int64_t offset = args.present(4) ? args.l(4) : 0;
    bool raw = flags & 4;
    result.setReal(-1);
    if (count < 0) return interp::kBadParameters;
    const interp::ArgSlot& arg = args.slot(0);
    const unsigned char* data = nullptr;
    size_t length = 0;
    if (arg.value && arg.value->type == interp::kValVarBlock && arg.value->pData) {
        // A vector passed by name: its elements bound the search.
        int64_t payload = arg.value->pData->payloadBytes;
        if (offset < 0 || offset > payload) return interp::kBadAddress;
        data = reinterpret_cast<const unsigned char*>(arg.address) + offset;
        int64_t available = payload - offset;
        if (raw) {
            if (count > available) return kOk;
            length = static_cast<size_t>(count);
        } else {
            size_t limit = static_cast<size_t>(count > 0 ? std::min(count, available) : available);
            const void* nul = std::memchr(data, 0, limit);
            length = nul ? static_cast<size_t>(static_cast<const unsigned char*>(nul) - data) : limit;
        }
    } else {
        uint64_t base = arg.address + static_cast<uint64_t>(offset);
        unsigned char* checked;
        if (raw) {
            // Raw memory that cannot be read is not found, not an error.
            if (checkAddress(ip, base, static_cast<uint64_t>(count), Access::Read, checked)) return kOk;
            data = checked;
            length = static_cast<size_t>(count);
        } else {
            if (checkAddress(ip, base, 1, Access::Read, checked)) return interp::kBadAddress;
            long n = platform::readableStringLength(reinterpret_cast<const char*>(checked),
                                                    count > 0 ? static_cast<size_t>(count) : size_t{1} << 31);
            if (n < 0) return interp::kBadAddress;
            data = checked;
            length = static_cast<size_t>(n);
        }
    }
    if (pattern.empty()) {
        result.setReal(static_cast<double>(offset));
        return kOk;
    }
    bool ignoreBit5 = flags & 1, wildcard = flags & 2;
    auto same = [&](unsigned char p, unsigned char d) {
        if (wildcard && p == '?') return true;
        return ignoreBit5 ? ((p ^ d) & 0xDF) == 0 : p == d;
    };
    for (size_t i = 0; i + pattern.size() <= length; ++i) {
        size_t k = 0;
        while (k < pattern.size() && same(static_cast<unsigned char>(pattern[k]), data[i + k])) ++k;
        if (k == pattern.size()) {
            result.setReal(static_cast<double>(offset + static_cast<int64_t>(i)));
            break;
        }
    }
    return kOk;
}

// StrVal s.l: digits 0-9 and letters a-z (10..35) in base b (0 or missing:
// 10); other characters are passed over, a minus sign before the first digit
// makes the value negative, a digit of b or more ends the scan.
interp::Error strVal(Interpreter&, CallArgs& args, MCVal& result) {
    int32_t base = args.present(1) ? args.l(1) : 0;
    if (base <= 0) base = 10;
    uint64_t value = 0;
    bool negative = false, anyDigit = false;
    for (char ch : args.text(0)) {
        auto c = static_cast<unsigned char>(ch);
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (lowerAscii(c) >= 'a' && lowerAscii(c) <= 'z')
            digit = lowerAscii(c) - 'a' + 10;
        if (digit < 0) {
            if (c == '-' && !anyDigit) negative = true;
            continue;
        }
        if (digit >= base) break;
        anyDigit = true;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);  // wraps as 64 bits do
    }
    if (negative) value = ~value + 1;
    result.setReal(static_cast<double>(static_cast<int64_t>(value)));
    return kOk;
}

}  // namespace

constexpr interp::CommandRow kStringFunctionsRows[] = {
    {interp::cmd::StrFind, strFind}, {interp::cmd::StrSkip, strSkip},     {interp::cmd::StrCmp, strCmp},
    {interp::cmd::StriCmp, striCmp}, {interp::cmd::StrSearch, strSearch}, {interp::cmd::StrVal, strVal},
};

void registerStringFunctions(Interpreter& ip) {
    ip.install({"strings/stringfunctions", kStringFunctionsRows});
}

}  // namespace tvx::builtins
