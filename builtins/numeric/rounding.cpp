// Rounding and integer parts, truth values, comparisons and limits, and the
// classification of numbers.
#include <cmath>
#include <cstdint>

#include "builtins/numeric/numeric.h"
#include "builtins/numeric/numericinternal.h"
#include "interp/api.h"

namespace tvx::builtins {

using namespace interp;

double truncateToInteger(double x) {
    // Beyond 2^63 every double is an integer already; the 64-bit conversion
    // would turn such values (and infinities) into -2^63.
    if (!(std::fabs(x) < 9223372036854775808.0)) return x;
    return static_cast<double>(static_cast<int64_t>(x));
}

double roundToStep(double x, double step) {
    if (!(step > 0)) step = 1;
    double q = x / step;
    // Half away from zero; std::round avoids the extra rounding of q + 0.5.
    // Adding 0.0 turns a -0 (Round(-0.3)) into 0: a rounded value shows "0".
    if (std::fabs(q) < 9223372036854775808.0) return step * std::round(q) + 0.0;
    return x + 0.0;
}

namespace {

Error intFunction(Interpreter&, CallArgs& args, MCVal& result) {
    result.setReal(truncateToInteger(args.number(0)));
    return kOk;
}

Error fracFunction(Interpreter&, CallArgs& args, MCVal& result) {
    double x = args.number(0);
    result.setReal(x - truncateToInteger(x));
    return kOk;
}

// The low 32 bits of the truncated value, unsigned: UInt(-1) = 4294967295.
Error uintFunction(Interpreter&, CallArgs& args, MCVal& result) {
    double t = truncateToInteger(args.number(0));
    if (!std::isfinite(t)) {
        result.setReal(0);
        return kOk;
    }
    double low = std::fmod(t, 4294967296.0);
    // + 0.0 turns the -0 of fmod(-2^32, 2^32) into 0.
    result.setReal(low < 0 ? low + 4294967296.0 : low + 0.0);
    return kOk;
}

Error roundFunction(Interpreter&, CallArgs& args, MCVal& result) {
    ScalarArg x = scalarArg(args, 0);
    double step = args.present(1) ? args.number(1) : 1;
    if (x.complex)
        result.setComplex(roundToStep(x.z.re, step), roundToStep(x.z.im, step));
    else
        result.setReal(roundToStep(x.z.re, step));
    return kOk;
}

Error precisFunction(Interpreter&, CallArgs& args, MCVal& result) {
    ScalarArg x = scalarArg(args, 0);
    int digits = args.integer(1);
    if (x.complex)
        result.setComplex(roundToSignificant(x.z.re, digits), roundToSignificant(x.z.im, digits));
    else
        result.setReal(roundToSignificant(x.z.re, digits));
    return kOk;
}

Error invFunction(Interpreter&, CallArgs& args, MCVal& result) {
    result.setReal(static_cast<int32_t>(~toUInt32Wrapped(args.number(0))));
    return kOk;
}

Error notFunction(Interpreter&, CallArgs& args, MCVal& result) {
    result.setReal(toInt32Saturated(args.number(0)) == 0 ? 1 : 0);
    return kOk;
}

Error boolFunction(Interpreter&, CallArgs& args, MCVal& result) {
    result.setReal(toInt32Saturated(args.number(0)) != 0 ? 1 : 0);
    return kOk;
}

Error sgnFunction(Interpreter&, CallArgs& args, MCVal& result) {
    double x = args.number(0);
    result.setReal(x > 0 ? 1 : x == 0 ? 0 : -1);
    return kOk;
}

void copyScalar(const ScalarArg& x, MCVal& result) {
    if (x.complex)
        result.setComplex(x.z.re, x.z.im);
    else
        result.setReal(x.z.re);
}

// Max(a, b): b when b >= a, else a. A left-out b arrives as 0, as every
// left-out argument does: Max(x) clips x at zero (old macros rely on it).
Error maxFunction(Interpreter&, CallArgs& args, MCVal& result) {
    ScalarArg a = scalarArg(args, 0);
    ScalarArg b = scalarArg(args, 1);
    copyScalar(b.z.re >= a.z.re ? b : a, result);
    return kOk;
}

// Min(a, b): a when b is greater, else b; Min(x) is at most 0.
Error minFunction(Interpreter&, CallArgs& args, MCVal& result) {
    ScalarArg a = scalarArg(args, 0);
    ScalarArg b = scalarArg(args, 1);
    copyScalar(b.z.re > a.z.re ? a : b, result);
    return kOk;
}

// GetLim(x, low, high): the upper bound first, then the lower one, so the
// lower bound wins when the bounds are crossed.
Error getLimFunction(Interpreter&, CallArgs& args, MCVal& result) {
    double y = args.number(0), low = args.number(1), high = args.number(2);
    if (y > high) y = high;
    result.setReal(y >= low ? y : low);
    return kOk;
}

Error setFunction(Interpreter&, CallArgs& args, MCVal& result) {
    double value = args.number(1);
    if (args.var(0).number) *args.var(0).number = value;
    result.setReal(value);
    return kOk;
}

// Classification looks at the bits of the real part only.
constexpr uint64_t kExponentBits = 0x7FF0000000000000ull;
constexpr uint64_t kMantissaBits = 0x000FFFFFFFFFFFFFull;

bool bitsNaN(double x) {
    uint64_t b = bitsOf(x);
    return (b & kExponentBits) == kExponentBits && (b & kMantissaBits) != 0;
}

Error isNaNFunction(Interpreter&, CallArgs& args, MCVal& result) {
    result.setReal(bitsNaN(args.number(0)) ? 1 : 0);
    return kOk;
}

Error isFiniteFunction(Interpreter&, CallArgs& args, MCVal& result) {
    result.setReal((bitsOf(args.number(0)) & kExponentBits) != kExponentBits ? 1 : 0);
    return kOk;
}

Error isInfFunction(Interpreter&, CallArgs& args, MCVal& result) {
    uint64_t b = bitsOf(args.number(0));
    result.setReal((b & kExponentBits) == kExponentBits && (b & kMantissaBits) == 0 ? 1 : 0);
    return kOk;
}

// IsReal: a complex number counts as real when its imaginary part is 0 or
// negligible (below 1e-15 of the real part).
Error isRealFunction(Interpreter&, CallArgs& args, MCVal& result) {
    ScalarArg x = scalarArg(args, 0);
    bool real;
    if (!x.complex)
        real = !bitsNaN(x.z.re);
    else if (!std::isfinite(x.z.im) || std::isnan(x.z.re))
        real = false;
    else if (x.z.im == 0)
        real = true;
    else
        real = std::fabs(x.z.re) >= std::fabs(x.z.im) * 1e15;
    result.setReal(real ? 1 : 0);
    return kOk;
}

}  // namespace

constexpr CommandRow kRoundingFunctionsRows[] = {
    {cmd::Int, intFunction},     {cmd::Frac, fracFunction},     {cmd::UInt, uintFunction},
    {cmd::Round, roundFunction}, {cmd::Precis, precisFunction}, {cmd::Inv, invFunction},
    {cmd::Not, notFunction},     {cmd::Bool, boolFunction},     {cmd::Sgn, sgnFunction},
    {cmd::Max, maxFunction},     {cmd::Min, minFunction},       {cmd::GetLim, getLimFunction},
    {cmd::Set, setFunction},     {cmd::IsNaN, isNaNFunction},   {cmd::IsFinite, isFiniteFunction},
    {cmd::IsInf, isInfFunction}, {cmd::IsReal, isRealFunction},
};

void registerRoundingFunctions(Interpreter& ip) { ip.install({"numeric/rounding", kRoundingFunctionsRows}); }

}  // namespace tvx::builtins
