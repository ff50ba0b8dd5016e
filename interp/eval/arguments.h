// The argument list of one statement or function call, built by the argument
// parser from the command's signature letters.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "interp/symbols/symbols.h"
#include "interp/values/mcval.h"

namespace tvx::interp {

constexpr int kMaxArguments = 32;
constexpr int kArgumentBufferBytes = 256;  // the slots of one statement (error 818 beyond)
constexpr int kMaxPendingWrites = 16;      // element and character updates per statement

// Forms of a '?' argument.
enum ArgForm : uint8_t { kFormNone = 0, kFormNumber = 1, kFormString = 2, kFormBlock = 3 };

// A variable passed by reference (letters v, $, m and ?v).
struct VarArg {
    VarSlot slot;                 // the variable (references followed)
    double* number = nullptr;     // v: where the command reads and writes the number
    std::string* text = nullptr;  // $: the string variable's text
    DataBlock** block = nullptr;  // m: the variable's block
    int pending = -1;             // index of the pending element/character update, or -1
};

struct ArgSlot {
    char letter = 0;         // the signature letter ('f', 'l', ...)
    bool present = false;    // false for an optional argument that was left out
    bool flexible = false;   // written with '?'
    uint8_t form = kFormNone;
    double number = 0;       // f; also the value of l, i, b, r, p as a double
    int32_t l = 0;           // l (the upper half of the unsigned range as its bit pattern)
    int16_t i = 0;           // i, b
    float r = 0;             // r
    uint64_t address = 0;    // p
    std::string_view text;   // s, k, n, a, and a '?' argument of string form
    VarArg var;              // v, $, m, ?v
    MCVal* value = nullptr;  // f and '?': the whole value record
};

// An element or character named as a 'v' argument: the command works on a
// temporary number, written back after the statement.
struct PendingWrite {
    VarSlot slot;
    bool character = false;
    int64_t position = 0;
    double temp = 0;
};

struct CallArgs {
    int code = 0;
    int count = 0;  // slots filled (present or not)
    std::array<ArgSlot, kMaxArguments> slots;
    std::array<MCVal, kMaxArguments> values;  // side table of the f and '?' value records
    int valueCount = 0;
    std::array<PendingWrite, kMaxPendingWrites> pending;
    int pendingCount = 0;

    ArgSlot& operator[](int index) { return slots[static_cast<size_t>(index)]; }
    const ArgSlot& operator[](int index) const { return slots[static_cast<size_t>(index)]; }
    bool present(int index) const { return index < count && slots[static_cast<size_t>(index)].present; }
    double number(int index) const { return present(index) ? slots[static_cast<size_t>(index)].number : 0; }
    int32_t integer(int index) const { return present(index) ? slots[static_cast<size_t>(index)].l : 0; }
    std::string_view text(int index) const {
        return present(index) ? slots[static_cast<size_t>(index)].text : std::string_view{};
    }

    void reset(int commandCode) {
        for (int i = 0; i < count; ++i) slots[static_cast<size_t>(i)] = ArgSlot{};
        for (int i = 0; i < valueCount; ++i) values[static_cast<size_t>(i)].clear();
        code = commandCode;
        count = valueCount = pendingCount = 0;
    }
};

}  // namespace tvx::interp
