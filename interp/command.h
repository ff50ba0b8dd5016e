// What a statement or function of the command table receives and how a family
// of commands is installed: the argument list built from the command's
// signature letters, the handler type, and the family descriptor.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "interp/errors.h"
#include "interp/symbols/symbols.h"
#include "interp/values/mcval.h"

namespace tvx::interp {

class Interpreter;

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
    int pendingEntry = 0;  // 1 + index of the pending element/character update, 0 none (blank is all zero)

    int pending() const { return pendingEntry - 1; }  // the index, or -1
};

struct ArgSlot {
    char letter = 0;        // the signature letter ('f', 'l', ...)
    bool present = false;   // false for an optional argument that was left out
    bool flexible = false;  // written with '?'
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

static_assert(std::is_trivially_copyable_v<ArgSlot>, "CallArgs::reset clears slots bytewise");

// An element or character named as a 'v' argument: the command works on a
// temporary number, written back after the statement.
struct PendingWrite {
    VarSlot slot;
    bool character = false;
    int64_t position = 0;
    double temp = 0;
};

#if defined(TOLVEX_CHECKED)
// A checked build stops when a command reads an argument through an accessor
// that does not serve the argument's signature letter (a programming error).
void checkArgumentLetter(const struct CallArgs& args, int index, std::string_view letters);
#endif

// The argument list of one statement or function call. Commands read their
// arguments through the accessors named after the signature letters they
// serve; an optional argument that the call left out reads as 0 or empty.
struct CallArgs {
    int code = 0;
    int count = 0;  // slots filled (present or not)
    std::array<ArgSlot, kMaxArguments> slots;
    std::array<MCVal, kMaxArguments> values;  // side table of the f and '?' value records
    int valueCount = 0;
    std::array<PendingWrite, kMaxPendingWrites> pending;
    int pendingCount = 0;

    bool present(int index) const { return index < count && at(index).present; }

    // Numbers: f (and l i b r p as a double).
    // A 'v' argument gives its variable's value at the call.
    double number(int index) const { return check(index, "flibrpv") ? at(index).number : 0; }
    // A 32-bit integer: l (also i and b, widened).
    int32_t l(int index) const { return check(index, "lib") ? at(index).l : 0; }
    int32_t integer(int index) const { return l(index); }
    // A 16-bit integer: i, b.
    int16_t i(int index) const { return check(index, "ib") ? at(index).i : 0; }
    // A float: r.
    float r(int index) const { return check(index, "r") ? at(index).r : 0; }
    // An address: p.
    uint64_t address(int index) const { return check(index, "p") ? at(index).address : 0; }
    // Text: s k n a, and a '?' argument in string form.
    std::string_view text(int index) const {
        return check(index, "skna") ? at(index).text : std::string_view{};
    }
    // The whole value record of an f or '?' argument (null when left out).
    MCVal* value(int index) const { return check(index, "flibrp") ? at(index).value : nullptr; }
    // The form of a '?' argument.
    uint8_t form(int index) const { return index < count ? at(index).form : uint8_t{kFormNone}; }
    // A variable passed by reference: v $ m.
    VarArg& var(int index) {
        check(index, "v$m");
        return slots[static_cast<size_t>(index)].var;
    }
    const VarArg& var(int index) const {
        check(index, "v$m");
        return at(index).var;
    }
    // The whole slot, for commands that hand an argument on as it is.
    ArgSlot& slot(int index) { return slots[static_cast<size_t>(index)]; }
    const ArgSlot& slot(int index) const { return at(index); }

    void reset(int commandCode) {
        // A blank slot is all zero: one clear for the slots used.
        std::memset(static_cast<void*>(slots.data()), 0, static_cast<size_t>(count) * sizeof(ArgSlot));
        for (int i = 0; i < valueCount; ++i) values[static_cast<size_t>(i)].clear();
        code = commandCode;
        count = valueCount = pendingCount = 0;
    }

private:
    const ArgSlot& at(int index) const { return slots[static_cast<size_t>(index)]; }
    // True when the slot can be read. A checked build also insists that the
    // slot was parsed and has a letter the accessor serves ('?' arguments,
    // whose form decides, pass any accessor).
    bool check(int index, std::string_view letters) const {
#if defined(TOLVEX_CHECKED)
        checkArgumentLetter(*this, index, letters);
#else
        (void)letters;
#endif
        return index >= 0 && index < kMaxArguments;
    }
};

// A statement or function of the command table. Statements ignore result;
// functions leave their value in it (set to a real 0 before the call).
using CommandHandler = Error (*)(Interpreter& ip, CallArgs& args, MCVal& result);

// The value of a status variable.
struct StatusValue {
    bool isString = false;
    double number = 0;
    std::string text;
};
using StatusReader = Error (*)(Interpreter& ip, int code, int index, StatusValue& value);

// Row flags of a command.
enum CommandFlags : unsigned {
    // Its 'v' arguments may also name a data-block variable (the arithmetic
    // statements on vectors); other commands refuse one with 819.
    kVariableTakesBlocks = 0x1,
};

struct CommandRow {
    int code;
    CommandHandler handler;
    unsigned flags = 0;
};

struct StatusRow {
    int code;
    StatusReader reader;
};

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

// What may go into the same pass over the elements as an operation on a data
// block: a following operation with a real number (`a .* b + 2`), and the
// block of the variable that the expression is assigned to, which may take
// the result in place of a new block (the assignment then has nothing to copy).
struct ArrayContinuation {
    int op = 0;  // 0: none
    double number = 0;
    DataBlock* into = nullptr;
};

// The vector and matrix engine, which one family provides. Without it every
// operation on data blocks fails with 844.
struct ArrayEngine {
    // left = left op right (operator codes of the scanner); an error number or 0.
    Error (*binary)(Interpreter& ip, int op, MCVal& left, MCVal& right) = nullptr;
    // left = left op right, continued as next says, where that gives the very
    // elements that the steps one by one give. handled false: nothing was done,
    // and the caller goes step by step.
    Error (*binaryOnward)(Interpreter& ip, int op, MCVal& left, MCVal& right, const ArrayContinuation& next,
                          bool& handled) = nullptr;
    // The postfix transpose operator.
    Error (*transpose)(Interpreter& ip, MCVal& value) = nullptr;
    // A built-in function whose first argument is a data block.
    Error (*matrixFunction)(Interpreter& ip, int code, CallArgs& args, MCVal& result) = nullptr;
};

// The string lists, which one family keeps; other families and the Watch
// Window reach them through this.
struct StringListService {
    // How a number that is a list handle is shown: false when no list is
    // behind the handle (it is then shown as a number).
    bool (*display)(Interpreter& ip, double handle, std::string& text) = nullptr;
    // ListInit: the handle of a new (or emptied) list; 0 when none is free.
    double (*init)(Interpreter& ip, double handle) = nullptr;
    // ListAddStr: the entry's number, or -1 for a handle without a list.
    long (*add)(Interpreter& ip, double handle, std::string_view text) = nullptr;
};

// A family of commands: what one area of the built-ins installs, in one go.
struct Family {
    std::string_view name;
    std::span<const CommandRow> commands;
    std::span<const StatusRow> statuses = {};
    const ArrayEngine* arrays = nullptr;
    const StringListService* stringLists = nullptr;
};

// State that a family keeps for one interpreter (string lists, open files,
// ...): made on first use by Interpreter::state<T>(), told when the top-level
// macro ends, destroyed with the interpreter.
class FamilyState {
public:
    virtual ~FamilyState() = default;
    // The top-level macro has ended: close what the macro opened.
    virtual void endOfRun(Interpreter& ip) { (void)ip; }
};

}  // namespace tvx::interp
