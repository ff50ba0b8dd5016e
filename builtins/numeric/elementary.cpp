// Power, logarithms, the trigonometric and hyperbolic functions, and the
// construction and parts of complex numbers. A complex argument record selects
// the complex formula; real arguments use the C library.
#include <array>
#include <bit>
#include <cmath>

#include "builtins/numeric/complexfunctions.h"
#include "builtins/numeric/numericinternal.h"
#include "interp/api.h"

namespace tvx::builtins {

using namespace interp;

namespace {

// The NaN that square roots of negative numbers yield (sign bit set).
const double kNegativeNaN = std::bit_cast<double>(0xFFF8000000000000ull);

double realSqrt(double x) { return x >= 0 ? std::sqrt(x) : kNegativeNaN; }
double realCot(double x) { return 1 / std::tan(x); }
double realAcot(double x) { return std::atan(1 / x); }
double realCoth(double x) { return 1 / std::tanh(x); }
// The library's inverse hyperbolic functions: ln(x + sqrt(x^2 + 1)) written
// out cancels to ln 0 for large negative x and overflows beyond 1e154.
double realAsinh(double x) { return std::asinh(x); }
double realAcosh(double x) { return std::acosh(x); }
double realAtanh(double x) { return std::atanh(x); }
// 0.5 ln((x + 1) / (x - 1)) is atanh(1 / x), without losing digits for large x.
double realAcoth(double x) { return std::atanh(1 / x); }
double realLog10(double x) { return std::log10(x); }

Complex complexSqrt(Complex z) { return csqrt(z); }
Complex complexLog10(Complex z) {
    static const double ln10 = std::log(10.0);
    Complex l = cln(z);
    return {l.re / ln10, l.im / ln10};
}

double libSin(double x) { return std::sin(x); }
double libCos(double x) { return std::cos(x); }
double libTan(double x) { return std::tan(x); }
double libAsin(double x) { return std::asin(x); }
double libAcos(double x) { return std::acos(x); }
double libAtan(double x) { return std::atan(x); }
double libSinh(double x) { return std::sinh(x); }
double libCosh(double x) { return std::cosh(x); }
double libTanh(double x) { return std::tanh(x); }

// sin, cos, ... : one real and one complex routine each.
template <double (*Real)(double), Complex (*OfComplex)(Complex)>
Error unaryFunction(Interpreter&, CallArgs& args, MCVal& result) {
    ScalarArg x = scalarArg(args, 0);
    if (x.complex)
        setComplexResult(result, OfComplex(x.z));
    else
        result.setReal(Real(x.z.re));
    return kOk;
}

// Power(x, y): y = 2 is x*x and y = -1 is 1/x, exactly; complex: exp(y ln x).
Error powerFunction(Interpreter&, CallArgs& args, MCVal& result) {
    ScalarArg x = scalarArg(args, 0), y = scalarArg(args, 1);
    if (x.complex || y.complex) {
        setComplexResult(result, cpow(x.z, y.z));
        return kOk;
    }
    double a = x.z.re, b = y.z.re;
    result.setReal(b == 2 ? a * a : b == -1 ? 1 / a : std::pow(a, b));
    return kOk;
}

// exp(x): e^x; exp(x, base): base^x.
Error expFunction(Interpreter&, CallArgs& args, MCVal& result) {
    ScalarArg x = scalarArg(args, 0);
    if (!args.present(1)) {
        if (x.complex)
            setComplexResult(result, cexp(x.z));
        else
            result.setReal(std::exp(x.z.re));
        return kOk;
    }
    ScalarArg base = scalarArg(args, 1);
    if (x.complex || base.complex)
        setComplexResult(result, cpow(base.z, x.z));
    else
        result.setReal(std::pow(base.z.re, x.z.re));
    return kOk;
}

// log(x): ln x; log(x, base): ln x / ln base when the base's real part is > 0,
// otherwise the base is ignored.
Error logFunction(Interpreter&, CallArgs& args, MCVal& result) {
    ScalarArg x = scalarArg(args, 0);
    ScalarArg base = scalarArg(args, 1);
    bool useBase = args.present(1) && base.z.re > 0;
    double divisor = useBase ? std::log(base.z.re) : 1;
    if (x.complex || base.complex) {
        Complex l = cln(x.z);
        setComplexResult(result, {l.re / divisor, l.im / divisor});
        return kOk;
    }
    double l = std::log(x.z.re);
    result.setReal(useBase ? l / divisor : l);
    return kOk;
}

Error atan2Function(Interpreter&, CallArgs& args, MCVal& result) {
    result.setReal(std::atan2(args.number(0), args.number(1)));
    return kOk;
}

Error complexFunction(Interpreter&, CallArgs& args, MCVal& result) {
    result.setComplex(args.number(0), args.number(1));
    return kOk;
}

Error complexRadFunction(Interpreter&, CallArgs& args, MCVal& result) {
    double r = args.number(0), phi = args.number(1);
    setComplexResult(result, {r * std::cos(phi), r * std::sin(phi)});
    return kOk;
}

Error realFunction(Interpreter&, CallArgs& args, MCVal& result) {
    result.setReal(scalarArg(args, 0).z.re);
    return kOk;
}

Error imagFunction(Interpreter&, CallArgs& args, MCVal& result) {
    result.setReal(scalarArg(args, 0).z.im);
    return kOk;
}

Error argFunction(Interpreter&, CallArgs& args, MCVal& result) {
    Complex z = scalarArg(args, 0).z;
    result.setReal(std::atan2(z.im, z.re));
    return kOk;
}

Error conjFunction(Interpreter&, CallArgs& args, MCVal& result) {
    ScalarArg x = scalarArg(args, 0);
    if (x.complex)
        result.setComplex(x.z.re, -x.z.im);
    else
        result.setReal(x.z.re);
    return kOk;
}

Error absFunction(Interpreter&, CallArgs& args, MCVal& result) {
    ScalarArg x = scalarArg(args, 0);
    result.setReal(x.complex ? std::hypot(x.z.re, x.z.im) : std::fabs(x.z.re));
    return kOk;
}

// Reciproc(0) is 1e150, a large number that later arithmetic can still use.
Error reciprocFunction(Interpreter&, CallArgs& args, MCVal& result) {
    ScalarArg x = scalarArg(args, 0);
    if (x.complex) {
        double d = x.z.re * x.z.re + x.z.im * x.z.im;
        setComplexResult(result, {x.z.re / d, -x.z.im / d});
        return kOk;
    }
    result.setReal(x.z.re == 0 ? 1e150 : 1 / x.z.re);
    return kOk;
}

Error negativeFunction(Interpreter&, CallArgs& args, MCVal& result) {
    ScalarArg x = scalarArg(args, 0);
    if (x.complex)
        result.setComplex(-x.z.re, -x.z.im);
    else
        result.setReal(-x.z.re);
    return kOk;
}

}  // namespace

constexpr CommandRow kElementaryFunctionsRows[] = {
    {cmd::sin, unaryFunction<libSin, csin>},
    {cmd::cos, unaryFunction<libCos, ccos>},
    {cmd::tan, unaryFunction<libTan, ctan>},
    {cmd::cot, unaryFunction<realCot, ccot>},
    {cmd::asin, unaryFunction<libAsin, casin>},
    {cmd::acos, unaryFunction<libAcos, cacos>},
    {cmd::atan, unaryFunction<libAtan, catan>},
    {cmd::acot, unaryFunction<realAcot, cacot>},
    {cmd::sinh, unaryFunction<libSinh, csinh>},
    {cmd::cosh, unaryFunction<libCosh, ccosh>},
    {cmd::tanh, unaryFunction<libTanh, ctanh>},
    {cmd::coth, unaryFunction<realCoth, ccoth>},
    {cmd::asinh, unaryFunction<realAsinh, casinh>},
    {cmd::acosh, unaryFunction<realAcosh, cacosh>},
    {cmd::atanh, unaryFunction<realAtanh, catanh>},
    {cmd::acoth, unaryFunction<realAcoth, cacoth>},
    {cmd::sqrt, unaryFunction<realSqrt, complexSqrt>},
    {cmd::log10, unaryFunction<realLog10, complexLog10>},
    {cmd::Power, powerFunction},
    {cmd::exp, expFunction},
    {cmd::log, logFunction},
    {cmd::atan2, atan2Function},
    {cmd::Complex, complexFunction},
    {cmd::ComplexRad, complexRadFunction},
    {cmd::Real, realFunction},
    {cmd::Imag, imagFunction},
    {cmd::Arg, argFunction},
    {cmd::Conj, conjFunction},
    {cmd::abs, absFunction},
    {cmd::Reciproc, reciprocFunction},
    {cmd::Negative, negativeFunction},
};

void registerElementaryFunctions(Interpreter& ip) {
    ip.install({"numeric/elementary", kElementaryFunctionsRows});
}

}  // namespace tvx::builtins
