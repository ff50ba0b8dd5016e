// Functions about variables and handles: VarType, VarPtr, Len, IsObject,
// IsList, and the sums and extreme positions of a data-block variable named
// directly as argument.
#include <cmath>
#include <cstring>
#include <string>

#include "builtins/arrays/sums.h"
#include "builtins/numeric/numeric.h"
#include "builtins/numeric/numericinternal.h"
#include "builtins/strings/strings.h"
#include "interp/api.h"

namespace tvx::builtins {

using namespace interp;

namespace {

// Entries of the list whose handle is the integer h, or -1 when there is none.
long listEntries(Interpreter& ip, int64_t h) {
    if (h < static_cast<int64_t>(kFirstStringListHandle) ||
        h >= static_cast<int64_t>(kFirstStringListHandle) + kStringListSlots)
        return -1;
    return stringListSize(ip, static_cast<double>(h));
}

int objectMembers(const SymbolTable& table) {
    int members = 0;
    for (int i = 1; i <= table.highestIndex(); ++i)
        if (table.isUsed(i)) ++members;
    return members;
}

// The VarType code of a data block.
double blockTypeCode(const DataBlock* block) {
    if (!block) return 0;
    if (block->isText()) return 2;
    int arrayBonus = block->isMatrix() ? 0 : 32;
    switch (block->elementType) {
    case kElemRealMatrix: return 7 + arrayBonus;
    case kElemComplexMatrix: return 23 + arrayBonus;
    case kElemComplexScalar: return 17;
    default: return block->elementType * 256.0 + 3;
    }
}

// VarType(name): 0 unknown, 1 number, 2 string, block codes above. The name is
// only looked up, never created.
Error varTypeFunction(Interpreter& ip, CallArgs& args, MCVal& result) {
    Designator d;
    Error err = ip.findName(args.text(0), d);
    double code = 0;
    if (!err) {
        switch (d.form) {
        case Designator::kStatus: code = d.statusCode < kFirstNumericStatusCode ? 2 : 1; break;
        case Designator::kSubstring: code = 2; break;
        case Designator::kElement:
        case Designator::kCharacter: code = 1; break;
        case Designator::kVariable: {
            const Variable& var = d.slot.var();
            switch (var.valueKind()) {
            case kKindNumber: code = 1; break;
            case kKindString: code = 2; break;
            case kKindBlock: code = blockTypeCode(var.block); break;
            default: code = 0; break;
            }
            break;
        }
        default: break;
        }
    }
    result.setReal(code);
    return kOk;
}

// VarPtr(variable): the address of the first element of a data block, of a
// string's text, of a number, or of the element or character named.
Error varPtrFunction(Interpreter&, CallArgs& args, MCVal& result) {
    const ArgSlot& slot = args.slot(0);
    const VarArg& var = slot.var;
    uintptr_t address = 0;
    if (var.pending() >= 0) {
        const PendingWrite& pending = args.pending[static_cast<size_t>(var.pending())];
        Variable& target = pending.slot.var();
        if (pending.character) {
            if (target.valueKind() == kKindString)
                address = reinterpret_cast<uintptr_t>(target.text.data());
            else if (target.valueKind() == kKindBlock && target.block)
                address = reinterpret_cast<uintptr_t>(target.block->bytes());
            address += static_cast<uintptr_t>(pending.position);
        } else if (target.valueKind() == kKindBlock && target.block) {
            int size =
                target.block->elementType == kElemComplexMatrix ? 16 : elementSize(target.block->elementType);
            address = reinterpret_cast<uintptr_t>(target.block->bytes() + pending.position * size);
        }
    } else if (slot.form == kFormBlock && var.block && *var.block) {
        address = reinterpret_cast<uintptr_t>((*var.block)->bytes());
    } else if (slot.form == kFormString && var.text) {
        address = reinterpret_cast<uintptr_t>(var.text->data());
    } else if (var.number) {
        address = reinterpret_cast<uintptr_t>(var.number);
    }
    result.setReal(static_cast<double>(address));
    return kOk;
}

// Len: a string's length, a block's count, a list's entries, an object's
// members; 1 for any other number.
Error lenFunction(Interpreter& ip, CallArgs& args, MCVal& result) {
    const ArgSlot& slot = args.slot(0);
    if (slot.form == kFormString) {
        result.setReal(static_cast<double>(slot.text.size()));
        return kOk;
    }
    if (slot.value && slot.value->isBlock()) {
        result.setReal(slot.value->pData ? slot.value->pData->count : 0);
        return kOk;
    }
    double x = slot.number;
    if (isStringListHandle(x)) {
        long entries = listEntries(ip, static_cast<int64_t>(x));
        result.setReal(entries < 0 ? 0 : static_cast<double>(entries));
        return kOk;
    }
    int object = objectSlot(x);
    const SymbolTable* table = object >= 0 ? ip.symbols().object(object) : nullptr;
    result.setReal(table ? objectMembers(*table) : 1);
    return kOk;
}

Error isObjectFunction(Interpreter& ip, CallArgs& args, MCVal& result) {
    int object = objectSlot(args.number(0));
    result.setReal(object >= 0 && ip.symbols().object(object) ? 1 : 0);
    return kOk;
}

Error isListFunction(Interpreter& ip, CallArgs& args, MCVal& result) {
    result.setReal(listEntries(ip, toInt64Saturated(args.number(0))) >= 0 ? 1 : 0);
    return kOk;
}

// The data block of a '?f' argument, or null when it is a number or a string.
const DataBlock* blockArgument(const CallArgs& args, int index) {
    const ArgSlot& slot = args.slot(index);
    if (slot.form != kFormBlock || !slot.value || !slot.value->isBlock()) return nullptr;
    return slot.value->pData;
}

// Elements of a block as numbers (complex blocks: pairs of doubles).
int64_t elementCount(const DataBlock* block) {
    return block->elementType == kElemComplexMatrix ? block->count / 2 : block->count;
}

// The sum of n elements from `from` on, added from the last to the first.
double sumRealElements(const DataBlock* block, int64_t from, int64_t n) {
    using arrays::sumBackwardExact;
    const unsigned char* p = block->bytes();
    auto start = [&](int size) { return p + from * size; };
    switch (block->elementType) {
    case kElemUInt8: return sumBackwardExact<uint8_t>(start(1), n);
    case kElemInt8: return sumBackwardExact<int8_t>(start(1), n);
    case kElemInt16: return sumBackwardExact<int16_t>(start(2), n);
    case kElemUInt16: return sumBackwardExact<uint16_t>(start(2), n);
    case kElemInt32: return sumBackwardExact<int32_t>(start(4), n);
    case kElemUInt32: return sumBackwardExact<uint32_t>(start(4), n);
    case kElemFloat: return sumBackwardExact<float>(start(4), n);
    case kElemInt64: return sumBackwardExact<int64_t>(start(8), n);
    case kElemDouble:
    case kElemRealMatrix:
    case kElemComplexScalar: return sumBackwardExact<double>(start(8), n);
    default: {
        double sum = 0;
        for (int64_t i = from + n - 1; i >= from; --i) sum += readElement(block, i);
        return sum;
    }
    }
}

// Sum of elements start.. (count of them, or all when count is not between 1
// and the number left), added from the last to the first.
Error sumElements(const DataBlock* block, int32_t start, int32_t count, MCVal& result) {
    if (start < 0) return kNegativeParameter;
    int64_t n = elementCount(block) - start;
    if (n < 1) {
        result.setReal(0);
        return kOk;
    }
    if (count >= 1 && count < n) n = count;
    if (block->elementType == kElemComplexMatrix) {
        // Complex elements are summed as complex numbers, not as loose doubles.
        double re = 0, im = 0;
        const double* d = block->doubles();
        for (int64_t i = start + n - 1; i >= start; --i) {
            re += d[2 * i];
            im += d[2 * i + 1];
        }
        setComplexResult(result, {re, im});
        return kOk;
    }
    result.setReal(sumRealElements(block, start, n));
    return kOk;
}

Error sumFunction(Interpreter&, CallArgs& args, MCVal& result) {
    const DataBlock* block = blockArgument(args, 0);
    if (!block) return kWrongDataType;
    return sumElements(block, args.integer(1), args.integer(2), result);
}

Error vectSumFunction(Interpreter&, CallArgs& args, MCVal& result) {
    DataBlock** block = args.var(0).block;
    if (!block || !*block) return kWrongDataType;
    return sumElements(*block, args.integer(1), args.integer(2), result);
}

double elementValue(const DataBlock* block, int64_t i) {
    return block->elementType == kElemComplexMatrix ? block->doubles()[2 * i] : readElement(block, i);
}

// The position of the first largest (smallest) element met by a search from
// start upward, or, for a negative start counted from the end, downward to 0.
// NaN elements are never chosen; -1 when nothing is searched.
int64_t extremePosition(const DataBlock* block, int32_t start, bool largest) {
    int64_t n = elementCount(block);
    int64_t from = start, step = 1, to = n;
    if (start < 0) {
        from = start + n;
        step = -1;
        to = -1;
        if (from < 0) return -1;
    }
    if (from >= n) return -1;
    int64_t best = -1;
    double bestValue = 0;
    for (int64_t i = from; i != to; i += step) {
        double v = elementValue(block, i);
        if (std::isnan(v)) continue;
        if (best < 0 || (largest ? v > bestValue : v < bestValue)) {
            best = i;
            bestValue = v;
        }
    }
    return best;
}

Error maxLocFunction(Interpreter&, CallArgs& args, MCVal& result) {
    const DataBlock* block = blockArgument(args, 0);
    if (!block) return kWrongDataType;
    result.setReal(static_cast<double>(extremePosition(block, args.integer(1), true)));
    return kOk;
}

Error minLocFunction(Interpreter&, CallArgs& args, MCVal& result) {
    const DataBlock* block = blockArgument(args, 0);
    if (!block) return kWrongDataType;
    result.setReal(static_cast<double>(extremePosition(block, args.integer(1), false)));
    return kOk;
}

}  // namespace

constexpr CommandRow kVariableFunctionsRows[] = {
    {cmd::VarType, varTypeFunction},   {cmd::VarPtr, varPtrFunction}, {cmd::Len, lenFunction},
    {cmd::IsObject, isObjectFunction}, {cmd::IsList, isListFunction}, {cmd::Sum, sumFunction},
    {cmd::VectSum, vectSumFunction},   {cmd::MaxLoc, maxLocFunction}, {cmd::MinLoc, minLocFunction},
};

void registerVariableFunctions(Interpreter& ip) { ip.install({"numeric/variables", kVariableFunctionsRows}); }

}  // namespace tvx::builtins
