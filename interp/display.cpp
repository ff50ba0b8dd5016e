#include "interp/display.h"

#include <cstdio>

#include "interp/interpreter.h"
#include "interp/values/handles.h"

namespace tvx::interp {

namespace {

// Elements listed at most.
constexpr int64_t kMaxListedElements = 3000;

std::string complexText(double re, double im) {
    char buffer[80];
    std::snprintf(buffer, sizeof buffer, "Complex(%g, %g)", re, im);
    return buffer;
}

std::string blockText(const Interpreter& ip, const DataBlock* block) {
    char line[160];
    std::string text;
    bool complex = block->elementType == kElemComplexMatrix;
    bool twoDimensional =
        block->ySize > 1 || block->isMatrix() || block->elementType == kElemRealMatrix || complex;
    if (!twoDimensional) {
        const char* suffix = block->elementType == kElemFloat || block->elementType == kElemDouble ? " Float"
                             : block->elementType == kElemInt64                                    ? " Int64"
                                                                                                   : "";
        std::snprintf(line, sizeof line, "Vector %ld * %d Bytes%s", static_cast<long>(block->count),
                      elementSize(block->elementType), suffix);
        text = line;
        int64_t shown = std::min<int64_t>(block->count, kMaxListedElements);
        for (int64_t i = 0; i < shown; ++i) {
            text += "\n" + std::to_string(i) + ": " + displayElement(block, i);
        }
        return text;
    }
    // The index base and the row-first order are matrix settings; an array is
    // always labelled x,y from 0.
    int base = block->isMatrix() ? ip.matrix().base : 0;
    bool rowFirst = block->isMatrix() && ip.matrix().rowFirst;
    if (!block->isMatrix())
        std::snprintf(line, sizeof line, "Array %d * %d", block->xSize, block->ySize);
    else if (rowFirst)
        std::snprintf(line, sizeof line, "Matrix %d * %d [row * col]", block->ySize, block->xSize);
    else
        std::snprintf(line, sizeof line, "Matrix %d * %d [x * y]", block->xSize, block->ySize);
    text = line;
    if (complex) text += " Complex";
    int64_t shown = 0;
    for (int32_t y = 0; y < block->ySize && shown < kMaxListedElements; ++y) {
        for (int32_t x = 0; x < block->xSize && shown < kMaxListedElements; ++x, ++shown) {
            int64_t index = x + static_cast<int64_t>(y) * block->xSize;
            int first = rowFirst ? y : x;
            int second = rowFirst ? x : y;
            std::snprintf(line, sizeof line, "\n%d,%d: ", first + base, second + base);
            text += line;
            if (complex)
                text += complexText(readElement(block, 2 * index), readElement(block, 2 * index + 1));
            else
                text += Interpreter::formatNumber(readElement(block, index));
        }
    }
    return text;
}

}  // namespace

std::string displayElement(const DataBlock* block, int64_t index) {
    double value = readElement(block, index);
    std::string text = Interpreter::formatNumber(value);
    // Byte elements above 31 also show their character.
    if ((block->elementType == kElemUInt8 || block->elementType == kElemInt8) && value > 31 && value < 256) {
        text += " '";
        text.push_back(static_cast<char>(static_cast<int>(value)));
        text += "'";
    }
    return text;
}

std::string displayValue(Interpreter& ip, const MCVal& value) {
    std::string list;
    auto display = ip.stringLists().display;
    if (value.isReal() && display && isStringListHandle(value.re) && display(ip, value.re, list)) return list;
    // An object handle is shown as "Object #" and its slot + 1.
    if (value.isReal() && isObjectHandle(value.re))
        return "Object #" + std::to_string(objectSlot(value.re) + 1);
    if (value.isReal()) return Interpreter::formatNumber(value.re);
    if (value.isComplex()) return complexText(value.re, value.im);
    if (value.isBlock() && value.pData) return blockText(ip, value.pData);
    return "Undefined";
}

std::string displayString(std::string_view text) {
    if (text.size() <= 252) return "\"" + std::string(text) + "\"";
    return std::string(text.substr(0, 4096));
}

}  // namespace tvx::interp
