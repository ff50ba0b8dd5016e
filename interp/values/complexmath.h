// Complex arithmetic as the macro language defines it (shared by the
// expression evaluator and the numeric functions).
#pragma once

#include <cmath>

namespace tvx::interp {

struct Complex {
    double re = 0;
    double im = 0;
};

inline Complex cadd(Complex a, Complex b) { return {a.re + b.re, a.im + b.im}; }
inline Complex csub(Complex a, Complex b) { return {a.re - b.re, a.im - b.im}; }
inline Complex cmul(Complex a, Complex b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }
inline Complex cdiv(Complex a, Complex b) {
    double d = b.re * b.re + b.im * b.im;
    return {(a.re * b.re + a.im * b.im) / d, (a.im * b.re - a.re * b.im) / d};
}
// ln z = (ln |z|, atan2(im, re)); the logarithm of 0 is (-1e100, 1).
inline Complex cln(Complex z) {
    if (z.re == 0 && z.im == 0) return {-1e100, 1};
    return {std::log(std::hypot(z.re, z.im)), std::atan2(z.im, z.re)};
}
inline Complex cexp(Complex z) {
    double m = std::exp(z.re);
    return {m * std::cos(z.im), m * std::sin(z.im)};
}
// z^w = exp(w ln z), except w = 2 + 0i, which is (a^2 - b^2, 2ab).
inline Complex cpow(Complex z, Complex w) {
    if (w.re == 2 && w.im == 0) return {z.re * z.re - z.im * z.im, 2 * z.re * z.im};
    return cexp(cmul(w, cln(z)));
}
inline Complex csqrt(Complex z) { return cpow(z, {0.5, 0}); }

}  // namespace tvx::interp
