// Bit fields of 32-bit integers: unsigned and sign-extended extraction, and
// reversal of the low bits.
#include <cstdint>

#include "builtins/numeric/numeric.h"
#include "builtins/numeric/numericinternal.h"
#include "interp/api.h"

namespace tvx::builtins {

using namespace interp;

uint32_t bitField(int32_t value, int start, int count) {
    unsigned shift = static_cast<unsigned>(start) & 31u;  // start modulo 32, also for negative starts
    uint32_t shifted = static_cast<uint32_t>(value) >> shift;
    if (count < 1) count = 1;
    if (count >= 32) return shifted;
    return shifted & ((1u << count) - 1u);
}

int32_t signedBitField(int32_t value, int start, int count) {
    unsigned shift = static_cast<unsigned>(start) & 31u;
    int32_t shifted = value >> shift;
    if (count < 1) count = 1;
    if (count >= 32) return shifted;
    uint32_t field = static_cast<uint32_t>(shifted) & ((1u << count) - 1u);
    if (field & (1u << (count - 1)))
        return static_cast<int32_t>(static_cast<int64_t>(field) - (int64_t{1} << count));
    return static_cast<int32_t>(field);
}

int32_t reverseBits(int32_t value, int count) {
    if (count < 1) count = 8;
    if (count > 64) count = 64;
    // Bits beyond bit 31 repeat the sign.
    int64_t source = value;
    uint64_t reversed = 0;
    for (int i = 0; i < count; ++i) reversed = (reversed << 1) | (static_cast<uint64_t>(source >> i) & 1u);
    return static_cast<int32_t>(static_cast<uint32_t>(reversed));
}

namespace {

Error bitsFunction(Interpreter&, CallArgs& args, MCVal& result) {
    result.setReal(bitField(args.integer(0), args.integer(1), args.integer(2)));
    return kOk;
}

Error sbitsFunction(Interpreter&, CallArgs& args, MCVal& result) {
    result.setReal(signedBitField(args.integer(0), args.integer(1), args.integer(2)));
    return kOk;
}

Error bitSwapFunction(Interpreter&, CallArgs& args, MCVal& result) {
    result.setReal(reverseBits(args.integer(0), args.integer(1)));
    return kOk;
}

}  // namespace

constexpr CommandRow kBitFunctionsRows[] = {
    {cmd::Bits, bitsFunction},
    {cmd::SBits, sbitsFunction},
    {cmd::BitSwap, bitSwapFunction},
};

void registerBitFunctions(Interpreter& ip) { ip.install({"numeric/bits", kBitFunctionsRows}); }

}  // namespace tvx::builtins
