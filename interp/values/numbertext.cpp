#include "interp/values/numbertext.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "interp/values/number.h"

namespace tvx::interp {

double roundToSignificant(double x, int n) {
    if (n < 1 || n > 15 || !std::isfinite(x)) return x;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*g", n, x);
    return std::strtod(buffer, nullptr);
}

std::string displayNumber(double x, int digits, int width) {
    digits &= 0xFF;
    width &= 0xFF;
    if (width < digits) width = digits > 6 ? digits : (digits == 5 || digits == 6) ? digits + 1 : 6;
    if (digits < width) x = roundToSignificant(x, digits);
    char buffer[320];
    std::snprintf(buffer, sizeof buffer, "%.*g", width, x);
    return buffer;
}

std::string shortNumber(double x) {
    char buffer[64];
    double magnitude = std::fabs(x);
    if (magnitude >= 0.000099999 && magnitude < 0.1) {
        std::snprintf(buffer, sizeof buffer, "%g", std::round(x * 1e7) / 1e7);
        return buffer;
    }
    std::snprintf(buffer, sizeof buffer, "%.6g", x);
    std::string text = buffer;
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

void appendWholeNumber(std::string& out, double x) {
    char buffer[40];
    if (!(x > -2147483648.5 && x < 4294967295.5)) {
        std::snprintf(buffer, sizeof buffer, "%.10g", x);
        out += buffer;
    } else {
        out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, roundHalfAway(x)).ptr);
    }
}

}  // namespace tvx::interp
