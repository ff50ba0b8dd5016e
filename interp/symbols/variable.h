// One macro variable, and the ids by which variables are designated.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "interp/values/datablock.h"

namespace tvx::interp {

enum VarKind : uint8_t {
    kKindNone = 0,  // created without a value
    kKindNumber = 1,
    kKindString = 2,
    kKindBlock = 3,      // vector, matrix, array, complex, or text block
    kKindElement = 4,    // (argument parsing only) an element of a data block
    kKindReference = 5,  // an alias made for a '&' parameter
    kKindChar = 7,       // (argument parsing only) a character of a string
};

constexpr uint8_t kKindMask = 0x0F;
constexpr uint8_t kKindInlineText = 0x10;
constexpr uint8_t kKindPermanent = 0x40;
constexpr uint8_t kKindGlobal = 0x80;  // set for Permanent too

// The room of a string variable: what StrDef reserved (kNoRoomSet: nothing,
// then kDefaultStringRoom). Writing a longer text widens the room; reading
// into the variable (ReadString, dialogs) stops at it.
constexpr int64_t kNoRoomSet = -1;
constexpr int64_t kDefaultStringRoom = 4095;
// The longest text a string variable takes (814 beyond).
constexpr int64_t kMaxVariableText = int64_t{1} << 30;

struct Variable {
    uint8_t kind = kKindNone;
    double number = 0;
    DataBlock* block = nullptr;  // kKindBlock
    std::string text;            // kKindString
    uint32_t refId = 0;          // kKindReference: the id of the variable aliased
    int64_t room = kNoRoomSet;   // kKindString: see kNoRoomSet

    // The characters the variable has room for.
    int64_t textRoom() const {
        int64_t reserved = room == kNoRoomSet ? kDefaultStringRoom : room;
        return std::max(reserved, static_cast<int64_t>(text.size()));
    }

    VarKind valueKind() const { return static_cast<VarKind>(kind & kKindMask); }
    void setValueKind(VarKind k) { kind = static_cast<uint8_t>((kind & ~kKindMask) | k); }
    // Drops the value (frees a block); flags stay.
    void clearValue() {
        freeBlock(block);
        block = nullptr;
        text.clear();
        text.shrink_to_fit();
        number = 0;
        refId = 0;
        room = kNoRoomSet;
        setValueKind(kKindNone);
    }
};

// Variable ids: the entry index in the low bits; bit 29 marks a variable of
// another symbol space (space number in bits 14..28, index in bits 0..13); ids
// with bits 25..29 all set are status variables (code in the low byte).
constexpr uint32_t kIdOtherSpace = 1u << 29;
constexpr uint32_t kIdStatusMask = 0x1Fu << 25;
constexpr int kMaxIndexInOtherSpace = (1 << 14) - 1;

inline uint32_t makeSpaceId(int space, int index) {
    return kIdOtherSpace | (static_cast<uint32_t>(space) << 14) | static_cast<uint32_t>(index);
}
inline bool isStatusId(uint32_t id) { return (id & kIdStatusMask) == kIdStatusMask; }
inline uint32_t makeStatusId(int code) { return kIdStatusMask | static_cast<uint32_t>(code & 0xFF); }

// Symbol-space numbers: objects 0..4095; the local spaces of open function
// calls count down from 30719 (one per call level).
constexpr int kFirstLocalSpace = 30719;
constexpr int kMacroSpace = -1;

}  // namespace tvx::interp
