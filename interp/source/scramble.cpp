// The scrambled "!IPC" form of macro texts: the key, the passes M and X, and
// the header line around the scrambled body.
#include "interp/source/scramble.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace tvx::interp {
namespace {

using Byte = unsigned char;

// Our own constants of the scrambled form. A file scrambled with them reads
// only with them: changing any of them makes every scrambled macro written so
// far unreadable.
constexpr uint32_t kKeySeed = 0x6B8E2D41;
// Weight of header byte j (j = 0..11): (kWeightBase + j * kWeightStep) ^ kWeightMask.
constexpr uint32_t kWeightBase = 0x0137A5C9;
constexpr uint32_t kWeightStep = 0x00F1E3D7;
constexpr uint32_t kWeightMask = 0x5C3A9E17;
// 128 distinct byte values in no particular order (the table T of pass X).
constexpr std::array<Byte, 128> kTable = {
    0xAC, 0x42, 0xCF, 0x26, 0x5D, 0xB7, 0xC1, 0xDD, 0x5E, 0x55, 0x04, 0x3B, 0xB3, 0xAD, 0x4D, 0xE6,
    0x98, 0x1F, 0xF8, 0x0C, 0x68, 0x5B, 0xBF, 0x4C, 0xAE, 0x9A, 0x15, 0x2E, 0xEE, 0x07, 0x33, 0x53,
    0x00, 0x3C, 0xE8, 0xF1, 0xD3, 0x6A, 0x66, 0x35, 0xD1, 0x76, 0x9F, 0xAF, 0xBA, 0xA9, 0x5F, 0x69,
    0x3F, 0xB5, 0x0E, 0xE9, 0x92, 0xFE, 0xF7, 0x47, 0x60, 0x3A, 0x37, 0x88, 0xFC, 0x6D, 0xD4, 0xCD,
    0xAA, 0xC7, 0xE2, 0x54, 0xB2, 0x84, 0x67, 0x5C, 0x18, 0xCC, 0xDA, 0x70, 0xBC, 0x0F, 0x1D, 0x90,
    0xF0, 0xE4, 0xBB, 0xD2, 0xAB, 0x4A, 0xE0, 0xD8, 0x85, 0x02, 0xF6, 0x8A, 0xF5, 0xDE, 0xFD, 0xB8,
    0xD7, 0x86, 0xC2, 0x0B, 0x8D, 0x25, 0x13, 0x40, 0x43, 0xA6, 0x74, 0x97, 0x22, 0x16, 0x3D, 0x50,
    0x59, 0xB4, 0x77, 0xBE, 0xEC, 0x99, 0x49, 0x38, 0x28, 0x7E, 0xD0, 0x2F, 0xDB, 0x48, 0xC0, 0x0D,
};

bool bit(uint32_t value, int n) { return ((value >> n) & 1u) != 0; }

// Which passes a variant runs, and in which order.
bool mapsFirst(uint32_t v) { return bit(v, 6) != !bit(v, 0); }
bool mapsLast(uint32_t v) { return bit((uint32_t{bit(v, 6)} << 1) ^ (v + 1), 1); }
int xPassCount(uint32_t v) { return 1 + (bit(v, 2) ? 1 : 0) + (bit(v, 3) ? 0 : 2); }
bool reversesFirst(uint32_t v) { return !bit(v - 1, 1); }
bool reversesLast(uint32_t v) { return !bit(v, 0); }
// Whether the running sum takes the byte before and after its change.
bool sumsOld(uint32_t v) { return !bit(v, 0); }
bool sumsNew(uint32_t v) { return reversesFirst(v); }

// Pass M swaps 0x7F, 0x20 and 0x22 with their partners XOR 0x81; it is its own inverse.
void passM(Byte* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const Byte b = p[i];
        if (b == 0x7F || b == 0x20 || b == 0x22 || b == 0xFE || b == 0xA1 || b == 0xA3) {
            p[i] = b ^ 0x81;
        }
    }
}

// The change that keeps a byte in its group (0..7 untouched; control
// characters, digits and punctuation, letters each among themselves). The
// group is the same before and after, so the change is its own inverse for a
// given t.
Byte groupChange(Byte b, Byte t) {
    if (b <= 7) return b;
    if ((b & 0x7F) <= 31) return b ^ (t & 0x07);
    if (b & 0x40) return b ^ (t & 0x3F);
    return b ^ (t & 0x1F);
}

bool keptInMode10(Byte b) { return b == 0 || b == 9 || b == 10 || b == 13; }

// The value t of pass X at position i, with running sum s.
Byte passXValue(size_t n, uint32_t key, size_t i, uint32_t s) {
    const uint32_t index = static_cast<uint32_t>(n) + key * 7u + static_cast<uint32_t>(i) + s;
    return kTable[index & 0x7F] ^ static_cast<Byte>(key >> (8 * (i & 3)));
}

// Pass X in the unscrambling direction.
void passX(Byte* p, size_t n, uint32_t key, uint32_t v) {
    const uint32_t mode = v & 0x30;
    if (reversesFirst(v)) std::reverse(p, p + n);
    uint32_t s = 0;
    for (size_t i = 0; i < n; ++i) {
        const Byte t = passXValue(n, key, i, s);
        const Byte old = p[i];
        Byte changed;
        if (mode == 0x30) {
            changed = old ^ t;
        } else if (mode == 0x10 && keptInMode10(old)) {
            changed = old;
        } else {
            changed = groupChange(old, t);
        }
        if (sumsOld(v)) s += kTable[old & 0x7F];
        if (sumsNew(v)) s += kTable[changed & 0x7F];
        p[i] = changed;
    }
    if (reversesLast(v)) std::reverse(p, p + n);
}

// The inverse of passX. The running sum sees the same bytes in the same order,
// so each position's t is known before its byte is restored. False when a
// byte has no scrambled form (mode 0x10 only); p is then partly changed.
bool inversePassX(Byte* p, size_t n, uint32_t key, uint32_t v) {
    const uint32_t mode = v & 0x30;
    if (reversesLast(v)) std::reverse(p, p + n);
    uint32_t s = 0;
    for (size_t i = 0; i < n; ++i) {
        const Byte t = passXValue(n, key, i, s);
        const Byte changed = p[i];
        Byte old;
        if (mode == 0x30) {
            old = changed ^ t;
        } else if (mode == 0x10 && keptInMode10(changed)) {
            old = changed;
        } else {
            old = groupChange(changed, t);
            // Unscrambling would keep such a byte instead of changing it back.
            if (mode == 0x10 && keptInMode10(old)) return false;
        }
        if (sumsOld(v)) s += kTable[old & 0x7F];
        if (sumsNew(v)) s += kTable[changed & 0x7F];
        p[i] = old;
    }
    if (reversesFirst(v)) std::reverse(p, p + n);
    return true;
}

bool scrambleInPlace(Byte* p, size_t n, uint32_t key, uint32_t v) {
    if (mapsLast(v)) passM(p, n);
    for (int k = xPassCount(v); k > 0; --k) {
        if (!inversePassX(p, n, key, v)) return false;
    }
    if (mapsFirst(v)) passM(p, n);
    return true;
}

// Nine header bytes derived from the text (FNV-1a), so that different macros
// get different keys while the output stays reproducible.
void fillHeader(std::string_view plain, int variant, char* out9) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    uint64_t h = 0xCBF29CE484222325ull ^ static_cast<uint64_t>(variant);
    for (const char c : plain) {
        h ^= static_cast<Byte>(c);
        h *= 0x100000001B3ull;
    }
    for (int j = 0; j < 9; ++j) {
        out9[j] = kAlphabet[h % 36];
        h = h / 36 + (h % 36) * 0x9E3779B97F4A7C15ull;
    }
}

}  // namespace

bool isScrambledText(std::string_view text) {
    return text.size() >= 5 && text.substr(0, 4) == "!IPC" && text[4] >= '0' && text[4] <= '9';
}

uint32_t scrambleKey(const unsigned char* header12) {
    uint32_t key = kKeySeed;
    for (uint32_t j = 0; j < 12; ++j) {
        key += header12[j] * ((kWeightBase + j * kWeightStep) ^ kWeightMask);
    }
    return key;
}

void unscrambleBytes(char* bytes, size_t size, uint32_t key, uint32_t variant) {
    Byte* p = reinterpret_cast<Byte*>(bytes);
    if (mapsFirst(variant)) passM(p, size);
    for (int k = xPassCount(variant); k > 0; --k) passX(p, size, key, variant);
    if (mapsLast(variant)) passM(p, size);
}

bool scrambleBytes(char* bytes, size_t size, uint32_t key, uint32_t variant) {
    Byte* p = reinterpret_cast<Byte*>(bytes);
    if ((variant & 0x30) != 0x10) return scrambleInPlace(p, size, key, variant);
    // Only this mode can fail half-way: work on a copy so a failure changes nothing.
    std::vector<Byte> copy(p, p + size);
    if (!scrambleInPlace(copy.data(), size, key, variant)) return false;
    if (size != 0) std::memcpy(p, copy.data(), size);
    return true;
}

bool unscrambleMacroText(std::string& text) {
    if (!isScrambledText(text) || text.size() < kScrambleHeaderSize) return false;
    const uint32_t variant = static_cast<uint32_t>(text[4] - '0');
    const uint32_t key = scrambleKey(reinterpret_cast<const Byte*>(text.data()) + 4);
    unscrambleBytes(text.data() + kScrambleHeaderSize, text.size() - kScrambleHeaderSize, key, variant);
    text[0] = ';';
    text[14] = '\r';
    text[15] = '\n';
    return true;
}

std::string scrambleMacroText(std::string_view plain, int variant) {
    if (variant < 0 || variant > 9) return {};
    std::string out;
    out.reserve(kScrambleHeaderSize + plain.size());
    out.append("!IPC");
    out.push_back(static_cast<char>('0' + variant));
    out.resize(14);
    fillHeader(plain, variant, out.data() + 5);
    // The placeholders are CR LF already, so the scrambled file's first line reads cleanly.
    out.append("\r\n");
    out.append(plain);
    const uint32_t key = scrambleKey(reinterpret_cast<const Byte*>(out.data()) + 4);
    // Variants 0..9 never set the mode bits 4 and 5: the group-keeping change cannot fail.
    const bool ok =
        scrambleBytes(out.data() + kScrambleHeaderSize, plain.size(), key, static_cast<uint32_t>(variant));
    return ok ? out : std::string();
}

}  // namespace tvx::interp
