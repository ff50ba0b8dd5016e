// The data of a diagram as clipboard text and as CSV.
#include "imagelib/diagram/data_text.h"

#include "imagelib/diagram/packed_date.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace tvx::imagelib {

namespace {

std::string percentG(double v)
{
    if (std::isnan(v))
        return "nan";
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// The shortest text that reads back as the same double; "" for NaN.
std::string exact(double v)
{
    if (std::isnan(v))
        return {};
    char text[40];
    const auto result = std::to_chars(text, text + sizeof text, v);
    return std::string(text, result.ptr);
}

std::string csvX(const DiagramData& data, double v)
{
    if (!data.dateAxis())
        return exact(v);
    CalendarTime t;
    return unpackDateValue(v, t) ? isoDateTime(t) : std::string();
}

}  // namespace

std::string clipboardDataText(const DiagramData& data)
{
    const size_t n = data.pointCount();
    const std::vector<double>* abscissa = data.abscissaFor(0);
    std::string text;
    for (size_t i = 0; i < n; ++i) {
        const double x = abscissa && i < abscissa->size() ? (*abscissa)[i] : static_cast<double>(i);
        text += percentG(x);
        text += '\t';
        for (size_t k = 0; k < data.curves.size(); ++k) {
            if (k)
                text += '\t';
            const std::vector<double>& values = data.curves[k].values;
            if (i < values.size())
                text += percentG(values[i]);
        }
        text += "\r\n";
    }
    return text;
}

std::string csvDataText(const DiagramData& data)
{
    const size_t curves = data.curves.size();
    const bool shared = data.abscissae.size() <= 1;
    std::string text;
    // Header.
    if (shared) {
        text += "x";
        for (size_t k = 0; k < curves; ++k)
            text += ",Curve " + std::to_string(k + 1);
    } else {
        for (size_t k = 0; k < curves; ++k)
            text += (k ? "," : "") + std::string("x ") + std::to_string(k + 1) + ",Curve " +
                    std::to_string(k + 1);
    }
    text += '\n';
    const size_t n = data.pointCount();
    for (size_t i = 0; i < n; ++i) {
        for (size_t k = 0; k < curves; ++k) {
            const std::vector<double>& values = data.curves[k].values;
            if (!shared || k == 0) {
                if (k)
                    text += ',';
                const std::vector<double>* abscissa = data.abscissaFor(k);
                if (!abscissa)
                    text += exact(static_cast<double>(i));
                else if (i < abscissa->size())
                    text += csvX(data, (*abscissa)[i]);
            }
            text += ',';
            if (i < values.size())
                text += exact(values[i]);
        }
        text += '\n';
    }
    return text;
}

}  // namespace tvx::imagelib
