// Raw memory: Peek and Poke, block copies with conversion, comparisons and
// searches, byte tables, atomic exchange and add, and the CRC-32. Every address
// is checked before it is touched (822 when bad).
#include <cmath>
#include <cstring>
#include <vector>

#include "builtins/files/fileinternal.h"
#include "builtins/files/files.h"
#include "interp/api.h"

namespace tvx::builtins {

using interp::CallArgs;
using interp::Interpreter;
using interp::kBadAddress;
using interp::kBadParameters;
using interp::kOk;
using interp::MCVal;

namespace {

// ---- Reading and writing values at checked addresses

template <typename T>
interp::Error peekAs(Interpreter& ip, CallArgs& args, T& value) {
    unsigned char* p;
    if (interp::Error err = checkMemory(ip, args.slot(0), sizeof(T), Access::Read, p)) return err;
    std::memcpy(&value, p, sizeof(T));
    return kOk;
}

template <typename T>
interp::Error pokeAs(Interpreter& ip, CallArgs& args, T value) {
    unsigned char* p;
    if (interp::Error err = checkMemory(ip, args.slot(0), sizeof(T), Access::Write, p)) return err;
    std::memcpy(p, &value, sizeof(T));
    return kOk;
}

// Peek, PeekW, PeekL, PeekSW, PeekSL, PeekF4, PeekF: the value of type T at the address.
template <typename T>
interp::Error peekNumber(Interpreter& ip, CallArgs& args, MCVal& result) {
    T v = 0;
    interp::Error err = peekAs(ip, args, v);
    result.setReal(static_cast<double>(v));
    return err;
}
// Most significant byte first.
interp::Error peekWM(Interpreter& ip, CallArgs& args, MCVal& result) {
    uint8_t b[2] = {};
    interp::Error err = peekAs(ip, args, b);
    result.setReal(static_cast<uint16_t>(b[0] << 8 | b[1]));
    return err;
}
interp::Error peekLM(Interpreter& ip, CallArgs& args, MCVal& result) {
    uint8_t b[4] = {};
    interp::Error err = peekAs(ip, args, b);
    uint32_t v = static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
                 static_cast<uint32_t>(b[2]) << 8 | b[3];
    result.setReal(static_cast<int32_t>(v));
    return err;
}

interp::Error poke(Interpreter& ip, CallArgs& args, MCVal&) {
    return pokeAs(ip, args, static_cast<uint8_t>(args.i(1)));
}
interp::Error pokeW(Interpreter& ip, CallArgs& args, MCVal&) {
    return pokeAs(ip, args, static_cast<uint16_t>(args.i(1)));
}
interp::Error pokeL(Interpreter& ip, CallArgs& args, MCVal&) {
    return pokeAs(ip, args, static_cast<uint32_t>(args.l(1)));
}
interp::Error pokeF4(Interpreter& ip, CallArgs& args, MCVal&) {
    return pokeAs(ip, args, static_cast<float>(args.number(1)));
}
interp::Error pokeF(Interpreter& ip, CallArgs& args, MCVal&) { return pokeAs(ip, args, args.number(1)); }

interp::Error ptrDiff(Interpreter&, CallArgs& args, MCVal& result) {
    result.setReal(static_cast<double>(static_cast<int64_t>(args.address(0) - args.address(1))));
    return kOk;
}

interp::Error ptrOffs(Interpreter& ip, CallArgs& args, MCVal& result) {
    uint64_t address = args.address(0) + static_cast<uint64_t>(static_cast<int64_t>(args.l(1)));
    unsigned char* p;
    if (interp::Error err = checkAddress(ip, address, 1, Access::Read, p)) return err;
    result.setReal(static_cast<double>(address));
    return kOk;
}

// ---- Blocks of bytes

interp::Error memCopy(Interpreter& ip, CallArgs& args, MCVal&) {
    if (args.l(2) < 0) return kBadParameters;
    auto n = static_cast<uint64_t>(args.l(2));
    unsigned char *dst, *src;
    if (interp::Error err = checkMemory(ip, args.slot(1), n, Access::Read, src)) return err;
    if (interp::Error err = checkMemory(ip, args.slot(0), n, Access::Write, dst)) return err;
    if (n) std::memmove(dst, src, static_cast<size_t>(n));
    return kOk;
}

interp::Error memSet(Interpreter& ip, CallArgs& args, MCVal&) {
    if (args.l(2) < 0) return kBadParameters;
    auto n = static_cast<uint64_t>(args.l(2));
    unsigned char* dst;
    if (interp::Error err = checkMemory(ip, args.slot(0), n, Access::Write, dst)) return err;
    if (n) std::memset(dst, static_cast<uint8_t>(args.i(1)), static_cast<size_t>(n));
    return kOk;
}

// Element sizes that MemCopyConv knows; 0 for other types. Type 12 is a
// 3-byte little-endian integer.
int conversionSize(int type) {
    switch (type) {
    case 1:
    case 7: return 1;
    case 2:
    case 3: return 2;
    case 12: return 3;
    case 4:
    case 5:
    case 6: return 4;
    case 8:
    case 9:
    case 13:
    case 14:
    case 15: return 8;
    default: return 0;
    }
}

double readConverted(const unsigned char* p, int type) {
    switch (type) {
    case 1: return *p;
    case 7: return static_cast<int8_t>(*p);
    case 2: {
        int16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    case 3: {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    case 12: return static_cast<double>(p[0] | p[1] << 8 | p[2] << 16);
    case 4: {
        int32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    case 5: {
        float v;
        std::memcpy(&v, p, 4);
        return v;
    }
    case 6: {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    case 9: {
        int64_t v;
        std::memcpy(&v, p, 8);
        return static_cast<double>(v);
    }
    default: {
        double v;
        std::memcpy(&v, p, 8);
        return v;
    }
    }
}

void storeConverted(unsigned char* p, int type, double value) {
    int64_t rounded = interp::toInt64Saturated(value);
    switch (type) {
    case 1: *p = static_cast<uint8_t>(interp::clampToElement(interp::kElemUInt8, value)); return;
    case 2: {
        auto v = static_cast<int16_t>(interp::clampToElement(interp::kElemInt16, value));
        std::memcpy(p, &v, 2);
        return;
    }
    case 3: {
        auto v = static_cast<uint16_t>(interp::clampToElement(interp::kElemUInt16, value));
        std::memcpy(p, &v, 2);
        return;
    }
    case 4:
    case 6: {
        auto v = static_cast<uint32_t>(static_cast<uint64_t>(rounded));
        std::memcpy(p, &v, 4);
        return;
    }
    case 5: {
        auto v = static_cast<float>(value);
        std::memcpy(p, &v, 4);
        return;
    }
    case 7: *p = static_cast<uint8_t>(static_cast<uint64_t>(rounded)); return;
    case 9: std::memcpy(p, &rounded, 8); return;
    case 12: {
        auto v = static_cast<uint64_t>(rounded);
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
        p[2] = static_cast<uint8_t>(v >> 16);
        return;
    }
    default: std::memcpy(p, &value, 8); return;
    }
}

interp::Error memCopyConv(Interpreter& ip, CallArgs& args, MCVal&) {
    int32_t count = args.l(2);
    int dstType = args.i(3) < 1 ? 1 : args.i(3);
    int srcType = args.i(4) < 1 ? 1 : args.i(4);
    int dstSize = conversionSize(dstType), srcSize = conversionSize(srcType);
    if (count < 0 || dstSize == 0 || srcSize == 0) return kBadParameters;
    uint64_t dstBytes = static_cast<uint64_t>(count) * static_cast<uint64_t>(dstSize);
    uint64_t srcBytes = static_cast<uint64_t>(count) * static_cast<uint64_t>(srcSize);
    if (dstBytes > INT32_MAX || srcBytes > INT32_MAX) return kBadParameters;
    unsigned char *dst, *src;
    if (interp::Error err = checkMemory(ip, args.slot(1), srcBytes, Access::Read, src)) return err;
    if (interp::Error err = checkMemory(ip, args.slot(0), dstBytes, Access::Write, dst)) return err;
    if (count == 0) return kOk;
    if (dstType == srcType) {
        std::memmove(dst, src, static_cast<size_t>(dstBytes));
        return kOk;
    }
    // Overlapping ranges of different element sizes: convert from a copy.
    std::vector<unsigned char> copy;
    if (src < dst + dstBytes && dst < src + srcBytes) {
        copy.assign(src, src + srcBytes);
        src = copy.data();
    }
    for (int32_t i = 0; i < count; ++i)
        storeConverted(dst + static_cast<size_t>(i) * dstSize, dstType,
                       readConverted(src + static_cast<size_t>(i) * srcSize, srcType));
    return kOk;
}

interp::Error memComp(Interpreter& ip, CallArgs& args, MCVal& result) {
    if (args.l(2) < 0) return kBadParameters;
    auto n = static_cast<uint64_t>(args.l(2));
    unsigned char *a, *b = nullptr;
    if (interp::Error err = checkMemory(ip, args.slot(0), n, Access::Read, a)) return err;
    bool zeroTest = args.address(1) == 0;
    if (!zeroTest)
        if (interp::Error err = checkMemory(ip, args.slot(1), n, Access::Read, b)) return err;
    uint64_t i = 0;
    double value = 0;
    if (zeroTest) {
        while (i < n && a[i] == 0) ++i;
        value = i < n ? 1 : 0;
    } else {
        while (i < n && a[i] == b[i]) ++i;
        if (i < n) {
            int difference = static_cast<int>(a[i]) - static_cast<int>(b[i]);
            value = args.present(3) ? difference : (difference < 0 ? -1 : 1);
        }
    }
    if (args.present(3)) *args.var(3).number = static_cast<double>(i);
    result.setReal(value);
    return kOk;
}

interp::Error memSearch(Interpreter& ip, CallArgs& args, MCVal& result) {
    int32_t length = args.l(1), patternLength = args.l(3);
    int32_t step = args.present(4) && args.l(4) > 1 ? args.l(4) : 1;
    if (length < 0 || patternLength < 0) return kBadParameters;
    unsigned char *data, *pattern;
    unsigned char single = static_cast<unsigned char>(args.address(2) & 0xFF);
    if (patternLength == 0) {
        pattern = &single;
        patternLength = 1;
    } else if (interp::Error err = checkMemory(ip, args.slot(2), static_cast<uint64_t>(patternLength),
                                               Access::Read, pattern)) {
        return err;
    }
    if (interp::Error err = checkMemory(ip, args.slot(0), static_cast<uint64_t>(length), Access::Read, data))
        return err;
    result.setReal(-1);
    for (int64_t pos = 0; pos + patternLength <= length; pos += step) {
        if (data[pos] == pattern[0] &&
            std::memcmp(data + pos, pattern, static_cast<size_t>(patternLength)) == 0) {
            result.setReal(static_cast<double>(pos));
            break;
        }
    }
    return kOk;
}

// ---- Atomic operations

// Exchange or add on a naturally aligned value uses the processor's atomic
// instruction directly; an unaligned one that lies within one aligned 8-byte
// word goes through a compare-exchange of that word, which is atomic as well.
template <typename T>
bool atomicUpdate(unsigned char* p, T operand, bool add, T& old) {
    auto address = reinterpret_cast<uintptr_t>(p);
    if (address % sizeof(T) == 0) {
        T* target = reinterpret_cast<T*>(p);
        old = add ? __atomic_fetch_add(target, operand, __ATOMIC_SEQ_CST)
                  : __atomic_exchange_n(target, operand, __ATOMIC_SEQ_CST);
        return true;
    }
    uintptr_t wordAddress = address & ~uintptr_t{7};
    if (address + sizeof(T) > wordAddress + 8) return false;
    auto* word = reinterpret_cast<uint64_t*>(wordAddress);
    unsigned shift = static_cast<unsigned>(address - wordAddress) * 8;
    uint64_t mask = (sizeof(T) == 8 ? ~uint64_t{0} : ((uint64_t{1} << (8 * sizeof(T))) - 1)) << shift;
    uint64_t expected = __atomic_load_n(word, __ATOMIC_SEQ_CST);
    for (;;) {
        T current = static_cast<T>((expected & mask) >> shift);
        T next = add ? static_cast<T>(current + operand) : operand;
        uint64_t desired = (expected & ~mask) | ((static_cast<uint64_t>(next) << shift) & mask);
        if (__atomic_compare_exchange_n(word, &expected, desired, false, __ATOMIC_SEQ_CST,
                                        __ATOMIC_SEQ_CST)) {
            old = current;
            return true;
        }
    }
}

// An atomic update touches the value itself when aligned, else its aligned
// 8-byte word: that word lies on the same page, and inside the allocation when
// the value lies in a variable's block.
template <typename T>
interp::Error checkAtomic(Interpreter& ip, CallArgs& args, unsigned char*& p) {
    return checkMemory(ip, args.slot(0), sizeof(T), Access::Atomic, p);
}

template <typename T, typename Result>
interp::Error exchange(Interpreter& ip, CallArgs& args, MCVal& result) {
    unsigned char* p;
    if (interp::Error err = checkAtomic<T>(ip, args, p)) return err;
    T old{};
    if (!atomicUpdate<T>(p, static_cast<T>(static_cast<uint32_t>(args.l(1))), false, old))
        return kBadParameters;
    result.setReal(static_cast<Result>(old));
    return kOk;
}

template <typename T>
interp::Error lockedAdd(Interpreter& ip, CallArgs& args, MCVal&) {
    unsigned char* p;
    if (interp::Error err = checkAtomic<T>(ip, args, p)) return err;
    T old{};
    return atomicUpdate<T>(p, static_cast<T>(static_cast<uint32_t>(args.l(1))), true, old) ? kOk
                                                                                           : kBadParameters;
}

interp::Error getCrc32(Interpreter& ip, CallArgs& args, MCVal& result) {
    if (args.l(1) < 0) return kBadParameters;
    auto n = static_cast<uint64_t>(args.l(1));
    unsigned char* p;
    if (interp::Error err = checkMemory(ip, args.slot(0), n, Access::Read, p)) return err;
    uint32_t start = args.present(2) ? static_cast<uint32_t>(args.l(2)) : 0;
    result.setReal(crc32(start, p, static_cast<size_t>(n)));
    return kOk;
}

// ---- Byte tables

// The k addresses of an address array: the elements of a vector passed by name
// (any element type), or k 64-bit addresses in memory.
interp::Error addressArray(Interpreter& ip, const interp::ArgSlot& arg, int32_t k,
                           std::vector<uint64_t>& out) {
    out.clear();
    if (k < 0) return kBadParameters;
    if (arg.value && arg.value->type == interp::kValVarBlock && arg.value->pData) {
        const interp::DataBlock* block = arg.value->pData;
        if (k > block->count) return kBadAddress;
        for (int32_t i = 0; i < k; ++i) {
            double v = interp::readElement(block, i);
            out.push_back(v > 0 && v < 18446744073709551616.0 ? static_cast<uint64_t>(v) : 0);
        }
        return kOk;
    }
    unsigned char* p;
    if (interp::Error err = checkMemory(ip, arg, static_cast<uint64_t>(k) * 8, Access::Read, p)) return err;
    out.resize(static_cast<size_t>(k));
    if (k) std::memcpy(out.data(), p, static_cast<size_t>(k) * 8);
    return kOk;
}

interp::Error byteTransl(Interpreter& ip, CallArgs& args, MCVal&) {
    if (args.l(2) < 0) return kBadParameters;
    auto n = static_cast<uint64_t>(args.l(2));
    unsigned char* table;
    if (interp::Error err = checkMemory(ip, args.slot(1), 256, Access::Read, table)) return err;
    uint8_t copy[256];
    std::memcpy(copy, table, 256);
    auto translate = [&](unsigned char* dst) {
        for (uint64_t i = 0; i < n; ++i) dst[i] = copy[dst[i]];
    };
    int32_t k = args.present(3) ? args.l(3) : 0;
    if (k == 0) {
        unsigned char* dst;
        if (interp::Error err = checkMemory(ip, args.slot(0), n, Access::Write, dst)) return err;
        translate(dst);
        return kOk;
    }
    std::vector<uint64_t> addresses;
    if (interp::Error err = addressArray(ip, args.slot(0), k, addresses)) return err;
    // All rows are checked before any is changed.
    std::vector<unsigned char*> rows;
    for (uint64_t address : addresses) {
        unsigned char* dst;
        if (interp::Error err = checkAddress(ip, address, n, Access::Write, dst)) return err;
        rows.push_back(dst);
    }
    for (unsigned char* dst : rows) translate(dst);
    return kOk;
}

interp::Error byteKeying(Interpreter& ip, CallArgs& args, MCVal&) {
    if (args.l(3) < 0) return kBadParameters;
    auto n = static_cast<uint64_t>(args.l(3));
    unsigned char *out, *in, *table;
    if (interp::Error err = checkMemory(ip, args.slot(2), 256, Access::Read, table)) return err;
    if (interp::Error err = checkMemory(ip, args.slot(1), n, Access::Read, in)) return err;
    if (interp::Error err = checkMemory(ip, args.slot(0), n, Access::Write, out)) return err;
    bool keyed = args.present(4) && args.l(4) >= 0 && args.l(4) <= 255;
    int key = keyed ? args.l(4) : -1;
    for (uint64_t i = 0; i < n; ++i)
        if (in[i] != key) out[i] = table[in[i]];
    return kOk;
}

interp::Error byteHisto(Interpreter& ip, CallArgs& args, MCVal&) {
    int32_t stride = args.l(2);
    int32_t rowLength = args.present(3) && args.l(3) > 0 ? args.l(3) : stride;
    int32_t rows = args.present(4) && args.l(4) > 0 ? args.l(4) : 1;
    int32_t k = args.present(5) ? args.l(5) : 0;
    if (stride < 0 || k < 0) return kBadParameters;
    if (rowLength > stride) rowLength = stride;
    unsigned char* histogramBytes;
    if (interp::Error err = checkMemory(ip, args.slot(0), 256 * 4, Access::Write, histogramBytes)) return err;
    uint64_t span = rowLength <= 0 ? 0
                                   : static_cast<uint64_t>(rows - 1) * static_cast<uint64_t>(stride) +
                                         static_cast<uint64_t>(rowLength);
    std::vector<unsigned char*> sources;
    if (k == 0) {
        unsigned char* src;
        if (interp::Error err = checkMemory(ip, args.slot(1), span, Access::Read, src)) return err;
        sources.push_back(src);
    } else {
        std::vector<uint64_t> addresses;
        if (interp::Error err = addressArray(ip, args.slot(1), k, addresses)) return err;
        for (uint64_t address : addresses) {
            unsigned char* src;
            if (interp::Error err = checkAddress(ip, address, span, Access::Read, src)) return err;
            sources.push_back(src);
        }
    }
    uint32_t counts[256];
    std::memcpy(counts, histogramBytes, sizeof counts);
    for (unsigned char* src : sources)
        for (int32_t r = 0; r < rows && rowLength > 0; ++r) {
            const unsigned char* row = src + static_cast<uint64_t>(r) * static_cast<uint64_t>(stride);
            for (int32_t i = 0; i < rowLength; ++i) ++counts[row[i]];
        }
    std::memcpy(histogramBytes, counts, sizeof counts);
    return kOk;
}

}  // namespace

uint32_t crc32(uint32_t crc, const void* data, size_t size) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    const auto* p = static_cast<const unsigned char*>(data);
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

constexpr interp::CommandRow kMemoryCommandsRows[] = {
    {interp::cmd::Peek, peekNumber<uint8_t>},
    {interp::cmd::PeekW, peekNumber<uint16_t>},
    {interp::cmd::PeekL, peekNumber<uint32_t>},
    {interp::cmd::PeekSW, peekNumber<int16_t>},
    {interp::cmd::PeekSL, peekNumber<int32_t>},
    {interp::cmd::PeekF4, peekNumber<float>},
    {interp::cmd::PeekF, peekNumber<double>},
    {interp::cmd::PeekWM, peekWM},
    {interp::cmd::PeekLM, peekLM},
    {interp::cmd::Poke, poke},
    {interp::cmd::PokeW, pokeW},
    {interp::cmd::PokeL, pokeL},
    {interp::cmd::PokeF4, pokeF4},
    {interp::cmd::PokeF, pokeF},
    {interp::cmd::PtrDiff, ptrDiff},
    {interp::cmd::PtrOffs, ptrOffs},
    {interp::cmd::MemCopy, memCopy},
    {interp::cmd::MemCopyConv, memCopyConv},
    {interp::cmd::MemSet, memSet},
    {interp::cmd::MemComp, memComp},
    {interp::cmd::MemSearch, memSearch},
    {interp::cmd::MemExchangeB, exchange<uint8_t, uint8_t>},
    {interp::cmd::MemExchangeW, exchange<uint16_t, uint16_t>},
    {interp::cmd::MemExchangeL, exchange<uint32_t, uint32_t>},
    {interp::cmd::MemExchangeSL, exchange<uint32_t, int32_t>},
    {interp::cmd::LockedMemAddB, lockedAdd<uint8_t>},
    {interp::cmd::LockedMemAddW, lockedAdd<uint16_t>},
    {interp::cmd::LockedMemAddL, lockedAdd<uint32_t>},
    {interp::cmd::GetCRC32, getCrc32},
    {interp::cmd::ByteTransl, byteTransl},
    {interp::cmd::ByteTansl, byteTransl},
    {interp::cmd::ByteKeying, byteKeying},
    {interp::cmd::ByteHisto, byteHisto},
};

void registerMemoryCommands(Interpreter& ip) { ip.install({"files/memory", kMemoryCommandsRows}); }

}  // namespace tvx::builtins
