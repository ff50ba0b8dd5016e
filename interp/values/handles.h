// References that travel inside ordinary numbers: string-list handles and
// object handles, so that any numeric variable can hold one.
#pragma once

#include <cstdint>
#include <cstring>

namespace tvx::interp {

constexpr int kStringListSlots = 32;
constexpr double kFirstStringListHandle = 1655289670.0;

constexpr int kObjectSlots = 4096;
constexpr uint32_t kObjectHandleHighWord = 0xFFEF59C7u;
constexpr uint32_t kObjectHandleLowBase = 322711410u;

inline bool isStringListHandle(double value) {
    return value >= kFirstStringListHandle && value <= kFirstStringListHandle + kStringListSlots - 1 &&
           value == static_cast<double>(static_cast<int64_t>(value));
}
inline int stringListSlot(double handle) { return static_cast<int>(handle - kFirstStringListHandle); }
inline double stringListHandle(int slot) { return kFirstStringListHandle + slot; }

inline uint64_t bitsOf(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// The object slot a number stands for, or -1 when it is no object handle.
inline int objectSlot(double value) {
    uint64_t bits = bitsOf(value);
    if (static_cast<uint32_t>(bits >> 32) != kObjectHandleHighWord) return -1;
    uint32_t low = static_cast<uint32_t>(bits) - kObjectHandleLowBase;
    return low < static_cast<uint32_t>(kObjectSlots) ? static_cast<int>(low) : -1;
}
inline bool isObjectHandle(double value) { return objectSlot(value) >= 0; }

inline double objectHandle(int slot) {
    uint64_t bits = (static_cast<uint64_t>(kObjectHandleHighWord) << 32) |
                    (kObjectHandleLowBase + static_cast<uint32_t>(slot));
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace tvx::interp
