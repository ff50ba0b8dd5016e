// The diagram table and the taking over of callers' arrays.
#include "imagelib/diagram/diagram.h"

#include "imagelib/diagram/packed_date.h"
#include "platform/memprobe.h"

#include <algorithm>
#include <cstring>

namespace tvx::imagelib {

namespace {

Diagram gDiagrams[kDiagramCount];
int gCurrent = 0;

template <class T>
double elementAt(const uint8_t* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return static_cast<double>(value);
}

// A tidy table of distinct colours; entry 0 is black, so that an explicit colour
// 0 (which callers pass as 0x1000000) and entry 0 agree.
constexpr uint32_t kStandardColours[16] = {
    0x000000, 0x1F77B4, 0xD62728, 0x2CA02C, 0xFF7F0E, 0x9467BD, 0x8C564B, 0xE377C2,
    0x17BECF, 0x7F7F7F, 0xBCBD22, 0x393B79, 0x637939, 0x843C39, 0x7B4173, 0x3182BD,
};

}  // namespace

const std::vector<double>* DiagramData::abscissaFor(size_t curve) const
{
    if (abscissae.empty())
        return nullptr;
    return &abscissae[std::min(curve, abscissae.size() - 1)];
}

size_t DiagramData::pointCount() const
{
    size_t n = 0;
    for (const Curve& c : curves)
        n = std::max(n, c.values.size());
    return n;
}

void DiagramData::clear()
{
    curves.clear();
    abscissae.clear();
    options = 0;
    startAnew = false;
    ++generation;
}

bool DiagramView::zoomed() const
{
    return x.valid() || std::any_of(y.begin(), y.end(), [](const Range& r) { return r.valid(); });
}

Diagram& diagramAt(int number)
{
    return gDiagrams[std::clamp(number, 0, kDiagramCount - 1)];
}

int resolveDiagramNumber(int number)
{
    return number >= 0 && number < kDiagramCount ? number : gCurrent;
}

int currentDiagram()
{
    return gCurrent;
}

void setCurrentDiagram(int number)
{
    if (number >= 0 && number < kDiagramCount)
        gCurrent = number;
}

ElementType elementTypeOf(uint32_t flags)
{
    switch (flags & kDiagramElementMask) {
    case 0x100: return ElementType::UInt8;
    case 0x200: return ElementType::UInt16;
    case 0x300: return ElementType::Int16;
    case 0x400: return ElementType::Int32;
    case 0x500: return ElementType::Float32;
    default: return ElementType::Float64;
    }
}

size_t elementSize(ElementType type)
{
    switch (type) {
    case ElementType::UInt8: return 1;
    case ElementType::UInt16:
    case ElementType::Int16: return 2;
    case ElementType::Int32:
    case ElementType::Float32: return 4;
    case ElementType::Float64: return 8;
    }
    return 8;
}

bool readElements(const void* data, int count, ElementType type, int gap, double scale, double offset,
                  std::vector<double>& out)
{
    if (count < 0 || gap < 0)
        return false;
    if (count == 0) {
        out.clear();
        return true;
    }
    const size_t size = elementSize(type);
    const uint64_t step = size + static_cast<uint64_t>(gap);
    const uint64_t span = (static_cast<uint64_t>(count) - 1) * step + size;
    if (!data || span > SIZE_MAX / 2 || !platform::isReadable(data, static_cast<size_t>(span)))
        return false;
    std::vector<double> values(static_cast<size_t>(count));
    const auto* p = static_cast<const uint8_t*>(data);
    if (type == ElementType::Float64 && gap == 0) {
        std::memcpy(values.data(), p, values.size() * sizeof(double));
    } else {
        for (size_t i = 0; i < values.size(); ++i, p += step) {
            switch (type) {
            case ElementType::UInt8: values[i] = *p; break;
            case ElementType::UInt16: values[i] = elementAt<uint16_t>(p); break;
            case ElementType::Int16: values[i] = elementAt<int16_t>(p); break;
            case ElementType::Int32: values[i] = elementAt<int32_t>(p); break;
            case ElementType::Float32: values[i] = elementAt<float>(p); break;
            case ElementType::Float64: values[i] = elementAt<double>(p); break;
            }
        }
    }
    if (scale == 0)
        scale = 1;
    if (scale != 1 || offset != 0)
        for (double& v : values)
            v = offset + scale * v;
    out = std::move(values);
    return true;
}

const double* addDiagramArray(DiagramData& data, const void* values, int count, uint32_t flags,
                              uint32_t colour, int gap, double scale, double offset, bool* refused)
{
    if (refused)
        *refused = false;
    // The caller's memory first: a bad address or size leaves the diagram as it was.
    const bool hasData = values && count != 0;
    std::vector<double> copy;
    if (hasData && !readElements(values, count, elementTypeOf(flags), gap, scale, offset, copy))
        return nullptr;
    if ((flags & kDiagramStartNew) || (data.startAnew && !(flags & kDiagramNoRestart)))
        data.clear();
    data.startAnew = false;
    const bool abscissa = flags & kDiagramAbscissa;
    if ((abscissa ? data.abscissae.size() : data.curves.size()) >= kMaxDiagramArrays) {
        if (refused)
            *refused = true;
        return nullptr;
    }
    data.options |= flags & kDiagramOptionMask;
    ++data.generation;
    if (!hasData)
        return nullptr;
    if (abscissa) {
        data.options |= flags & kDiagramAxisMask;
        if (flags & kOptionUnixSeconds)
            for (double& v : copy)
                v = packedFromUnixSeconds(v);
        data.abscissae.reserve(kMaxDiagramArrays);
        data.abscissae.push_back(std::move(copy));
        return data.abscissae.back().data();
    }
    data.curves.reserve(kMaxDiagramArrays);
    data.curves.push_back(Curve{std::move(copy), colour});
    return data.curves.back().values.data();
}

uint32_t curveColour(uint32_t colour, size_t curve)
{
    if (colour == 0)
        return kStandardColours[1 + curve % 15];
    if (colour < 256)
        return kStandardColours[colour % 16];
    return colour & 0xFFFFFF;
}

}  // namespace tvx::imagelib
