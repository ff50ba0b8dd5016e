// VectSort (an index vector that orders a vector), VectFn (a built-in
// function applied to every element), VectRandom (random fills).
#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>
#include <vector>

#include "builtins/algorithms/workbuffer.h"
#include "builtins/files/fileinternal.h"
#include "builtins/numeric/random.h"
#include "builtins/vectors/sort.h"
#include "builtins/vectors/vectorsinternal.h"

namespace tvx::builtins::vectors {

using namespace interp;
using builtins::Access;
using builtins::checkAddress;

namespace {

// VectSort index, src [, flags]: index[k] is the position of the k-th smallest
// (flag bit 0: largest) element; NaN elements come last in either order.
Error vectSort(Interpreter&, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        const DataBlock* source = *args.var(1).block;
        const bool descending = (args.integer(2) & 1) != 0;
        const bool complex = arrays::isComplexBlock(source);
        const int64_t n = arrays::elementsOf(source);
        const uint32_t base = (source->shapeFlags & arrays::kShapeFindBase) ? 1 : 0;
        WorkBuffer<uint64_t> keys;
        if (!keys.allocate(n)) return kOutOfMemory;
        withElementType(source->elementType, [&](auto tag) {
            using T = typename decltype(tag)::Type;
            const T* e = elementsAs<T>(source);
            const int64_t stride = complex ? 2 : 1;  // complex elements sort by their real parts
            for (int64_t i = 0; i < n; ++i) keys[i] = sortKey(static_cast<double>(e[i * stride]), descending);
        });
        WorkBuffer<uint32_t> order;
        if (!order.allocate(n) || !sortIndexes(keys.data(), n, order.data())) return kOutOfMemory;
        keys.allocate(0);  // the index vector may need the memory
        DataBlock** destination = args.var(0).block;
        Error err = resize(destination, kElemInt32, n, 0);
        if (err) return err;
        DataBlock* d = *destination;
        auto* e = elementsAs<int32_t>(d);
        for (int64_t i = 0; i < n; ++i) e[i] = static_cast<int32_t>(order[i] + base);
        setRowShape(d);
        d->shapeFlags = 0;
        return kOk;
    });
}

// The first two argument letters of a function's signature (optional marks skipped).
void signatureLetters(std::string_view signature, char& first, char& second) {
    first = second = 0;
    for (char c : signature) {
        if (c == ';') break;
        if (!((c >= 'a' && c <= 'z') || c == '$')) continue;
        if (!first)
            first = c;
        else {
            second = c;
            break;
        }
    }
}

// Fills an argument slot with a number as the letter wants it.
Error setArgument(ArgSlot& slot, MCVal& record, char letter, double re, double im, bool complex) {
    slot = ArgSlot{};
    slot.letter = letter;
    slot.present = true;
    slot.form = kFormNumber;
    if (complex)
        record.setComplex(re, im);
    else
        record.setReal(re);
    slot.value = &record;
    slot.number = re;
    if (letter == 'i' || letter == 'b') {
        Error err = toInt16Arg(re, slot.i);
        slot.l = slot.i;
        slot.number = slot.i;
        return err;
    }
    if (letter == 'l') {
        Error err = toInt32Arg(re, slot.l);
        slot.number = slot.l;
        return err;
    }
    return kOk;
}

// VectFn name, dst, src [, x]: dst[k] = name(src[k] [, x]).
Error vectFn(Interpreter& ip, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        const int code = ip.commands().lookup(args.text(0));
        if (code < kFirstFunctionCode || code > kLastFunctionCode) return kUnknownCommand;
        char first, second;
        signatureLetters(ip.commands().signature(code), first, second);
        const std::string_view signature = ip.commands().signature(code);
        const bool firstTakesNumber = first == 'f' || first == 'i' || first == 'b' || first == 'l';
        // The first letter, behind an optional '.', must take a number.
        const bool plain =
            !signature.empty() &&
            (signature[0] == first || (signature[0] == '.' && signature.size() > 1 && signature[1] == first));
        if (!ip.hasHandler(code) || !firstTakesNumber || !plain) return kUnknownCommand;

        DataBlock** destination = args.var(1).block;
        SourceCopy sourceCopy;
        if (!sourceCopy.bind(*args.var(2).block, *destination)) return kOutOfMemory;
        const DataBlock* source = sourceCopy.get();
        const bool complex = arrays::isComplexBlock(source);
        const int64_t n = arrays::elementsOf(source);
        const bool withSecond = args.present(3) && second;
        const bool complexSecond = withSecond && args.slot(3).value && args.slot(3).value->isComplex();

        WorkBuffer<double> re, im;
        if (!re.allocate(n) || !im.allocate(n)) return kOutOfMemory;
        bool anyComplex = complex;
        {
            ArgsLease lease(ip);
            CallArgs& call = *lease;
            call.reset(code);
            call.count = call.valueCount = withSecond ? 2 : 1;
            // The function's further arguments are there, left out (they read as 0).
            int letters = 0;
            for (char c : signature) {
                if (c == ';') break;
                if (!((c >= 'a' && c <= 'z') || c == '$')) continue;
                if (letters >= call.count && letters < kMaxArguments) {
                    call.slot(letters).letter = c;
                    call.slot(letters).present = false;
                }
                ++letters;
            }
            if (letters > call.count) call.count = std::min(letters, kMaxArguments);
            if (withSecond) {
                const MCVal* x = args.slot(3).value;
                double xr = x ? x->re : args.number(3), xi = complexSecond ? x->im : 0;
                Error err =
                    setArgument(call.slot(1), call.values[1], second, xr, xi, complexSecond && second == 'f');
                if (err) return err;
            }
            DoubleValues values;
            if (!values.bind(source)) return kOutOfMemory;
            const double* v = values.data();
            MCVal result;
            for (int64_t k = 0; k < n; ++k) {
                double a = complex ? v[2 * k] : v[k], b = complex ? v[2 * k + 1] : 0;
                Error err = setArgument(call.slot(0), call.values[0], first, a, b, complex && first == 'f');
                if (err) return err;
                result.setReal(0);
                err = ip.invoke(code, call, result);
                if (err) return err;
                re[k] = result.re;
                im[k] = result.isComplex() ? result.im : 0;
                if (result.isComplex() && result.im != 0) anyComplex = true;
            }
        }
        int type = 0;
        if (anyComplex)
            type = kElemComplexMatrix;
        else if (isEmpty(*destination) || (*destination)->elementType == kElemComplexMatrix)
            type = complex ? static_cast<int>(kElemRealMatrix) : source->elementType;
        Error err = resize(destination, type, anyComplex ? 2 * n : n, 0);
        if (err) return err;
        DataBlock* d = *destination;
        if (anyComplex) {
            for (int64_t k = 0; k < n; ++k) {
                d->doubles()[2 * k] = re[k];
                d->doubles()[2 * k + 1] = im[k];
            }
        } else {
            withElementType(d->elementType, [&](auto tag) {
                using T = typename decltype(tag)::Type;
                T* e = elementsAs<T>(d);
                for (int64_t k = 0; k < n; ++k) e[k] = toElement<T>(re[k]);
            });
        }
        d->xSize = static_cast<int32_t>(n);
        d->ySize = 1;
        return kOk;
    });
}

// VectRandom v [, n, type, mode, signed]: a vector (or, for a number, the
// memory at that address) filled from the shared random generator.
Error vectRandom(Interpreter& ip, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        ArgSlot& target = args.slot(0);
        const int32_t n = args.integer(1), mode = args.integer(3);
        int type = args.integer(2);
        const bool signedValues = args.integer(4) != 0;
        if (n < 0) return kVectorNotCreated;
        if (type != 0 && elementSize(type) == 0) return kBadParameters;
        if (target.form == kFormString) return kWrongDataType;
        if (target.form == kFormNumber) {
            const double address = target.var.number ? *target.var.number : 0;
            if (address != 0) {
                if (type == 0) type = kElemUInt8;
                const int64_t bytes = int64_t{n} * elementSize(type);
                if (!(address >= 1 && address < 18446744073709551616.0)) return kBadAddress;
                unsigned char* p = nullptr;
                Error err = checkAddress(ip, static_cast<uint64_t>(address), static_cast<uint64_t>(bytes),
                                         Access::Write, p);
                if (err || bytes == 0) return err;
                fillRandom(ip, mode, type, n, p, signedValues);
                return kOk;
            }
            // A variable without a vector (0 is no address): a new vector.
            const VarSlot& slot = target.var.slot;
            if (!slot) return kUndefinedVariable;
            DataBlock* fresh = nullptr;
            Error err = create(&fresh, type ? type : kElemUInt8, n ? n : 256);
            if (err) return err;
            Variable& var = slot.var();
            var.clearValue();
            var.setValueKind(kKindBlock);
            var.block = fresh;
            fillRandom(ip, mode, fresh->elementType, fresh->count, fresh->bytes(), signedValues);
            return kOk;
        }
        DataBlock** block = target.var.block;
        if (!block || !*block) return kWrongDataType;
        const int64_t count = n ? n : (*block)->count;
        if (type == 0) type = (*block)->elementType;
        if (count != (*block)->count || type != (*block)->elementType) {
            Error err = resize(block, type, count, 0);
            if (err) return err;
            setRowShape(*block);
        }
        DataBlock* b = *block;
        fillRandom(ip, mode, b->elementType, b->count, b->bytes(), signedValues);
        return kOk;
    });
}

}  // namespace

constexpr CommandRow kSortAndFillRows[] = {
    {cmd::VectSort, vectSort},
    {cmd::VectFn, vectFn},
    {cmd::VectRandom, vectRandom},
};

void registerSortAndFill(Interpreter& ip) { ip.install({"vectors/sortfill", kSortAndFillRows}); }

}  // namespace tvx::builtins::vectors
