// The elementary functions on complex numbers, composed from the complex
// logarithm, exponential and power of the value layer. Shared by the scalar
// functions and by whoever applies them element by element.
#pragma once

#include <cmath>

#include "interp/api.h"

namespace tvx::builtins {

using interp::Complex;

inline Complex cscale(Complex z, double f) { return {z.re * f, z.im * f}; }
inline Complex cneg(Complex z) { return {-z.re, -z.im}; }
// i * z
inline Complex ctimesI(Complex z) { return {-z.im, z.re}; }
// -i * z
inline Complex ctimesMinusI(Complex z) { return {z.im, -z.re}; }
inline Complex creciprocal(Complex z) { return interp::cdiv({1, 0}, z); }

inline Complex csin(Complex z) {
    return {std::sin(z.re) * std::cosh(z.im), std::cos(z.re) * std::sinh(z.im)};
}
inline Complex ccos(Complex z) {
    return {std::cos(z.re) * std::cosh(z.im), -std::sin(z.re) * std::sinh(z.im)};
}
inline Complex ctan(Complex z) {
    double d = std::cos(2 * z.re) + std::cosh(2 * z.im);
    return {std::sin(2 * z.re) / d, std::sinh(2 * z.im) / d};
}
inline Complex csinh(Complex z) {
    return {std::sinh(z.re) * std::cos(z.im), std::cosh(z.re) * std::sin(z.im)};
}
inline Complex ccosh(Complex z) {
    return {std::cosh(z.re) * std::cos(z.im), std::sinh(z.re) * std::sin(z.im)};
}
inline Complex ctanh(Complex z) {
    double d = std::cosh(2 * z.re) + std::cos(2 * z.im);
    return {std::sinh(2 * z.re) / d, std::sin(2 * z.im) / d};
}

// asin z = -i ln(iz + sqrt(1 - z^2))
inline Complex casin(Complex z) {
    Complex root = interp::csqrt(interp::csub({1, 0}, interp::cmul(z, z)));
    return ctimesMinusI(interp::cln(interp::cadd(ctimesI(z), root)));
}
// acos z = -i ln(z + i sqrt(1 - z^2)). The form with sqrt(z^2 - 1) returns the
// negated principal value in half of the plane (acos(-0.5 + 0i) would be
// -2.09 instead of 2.09), so the principal form is used.
inline Complex cacos(Complex z) {
    Complex root = interp::csqrt(interp::csub({1, 0}, interp::cmul(z, z)));
    return ctimesMinusI(interp::cln(interp::cadd(z, ctimesI(root))));
}
// atan z = -i/2 ln((1 + iz) / (1 - iz))
inline Complex catan(Complex z) {
    Complex iz = ctimesI(z);
    Complex q = interp::cdiv(interp::cadd({1, 0}, iz), interp::csub({1, 0}, iz));
    return cscale(ctimesMinusI(interp::cln(q)), 0.5);
}
// asinh z = ln(z + sqrt(z^2 + 1))
inline Complex casinh(Complex z) {
    Complex root = interp::csqrt(interp::cadd(interp::cmul(z, z), {1, 0}));
    return interp::cln(interp::cadd(z, root));
}
// acosh z = ln(z + sqrt(z + 1) sqrt(z - 1)); the single root sqrt(z^2 - 1)
// gives the negated principal value in the left half plane.
inline Complex cacosh(Complex z) {
    Complex root =
        interp::cmul(interp::csqrt(interp::cadd(z, {1, 0})), interp::csqrt(interp::csub(z, {1, 0})));
    return interp::cln(interp::cadd(z, root));
}
// atanh z = 1/2 ln((1 + z) / (1 - z))
inline Complex catanh(Complex z) {
    return cscale(interp::cln(interp::cdiv(interp::cadd({1, 0}, z), interp::csub({1, 0}, z))), 0.5);
}
inline Complex ccot(Complex z) { return creciprocal(ctan(z)); }
inline Complex ccoth(Complex z) { return creciprocal(ctanh(z)); }
inline Complex cacot(Complex z) { return catan(creciprocal(z)); }
inline Complex cacoth(Complex z) { return catanh(creciprocal(z)); }

}  // namespace tvx::builtins
