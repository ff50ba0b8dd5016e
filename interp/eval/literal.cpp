// Matrix literals: [1, 2; 3, 4], ranges a:b, a:s:b, a:*n, and the suffixes
// .v<type>, .a, .m.
#include <cmath>
#include <vector>

#include "interp/eval/evaluator.h"
#include "interp/eval/scanner.h"
#include "interp/interpreter.h"
#include "interp/values/number.h"
#include "platform/membudget.h"

namespace tvx::interp {

namespace {

// A literal may not ask for more elements than this (1 GiB of doubles).
constexpr int64_t kMaxLiteralElements = int64_t{1} << 27;

// Shape bits of new matrices: bit 3 when the index base is 1, bit 4 in row-first order.
constexpr uint16_t kShapeBaseOne = 0x0008;
constexpr uint16_t kShapeRowFirst = 0x0010;

// The imaginary parts are kept only from a row's first complex element on
// (earlier ones are 0): a real literal holds one double per element.
struct Row {
    std::vector<double> re;
    std::vector<double> im;

    double imag(size_t x) const { return x < im.size() ? im[x] : 0; }
};

bool isLiteralBlank(char c, bool inMacroText) {
    return c == ' ' || c == '\t' || (inMacroText && (c == '\r' || c == '\n' || c == '|'));
}

}  // namespace

Error Evaluator::matrixLiteral(const char*& p, MCVal& out) {
    const char* open = p;
    ++p;
    std::vector<Row> rows(1);
    bool complex = false;
    bool inMacroText = false;
    int64_t total = 0;

    auto append = [&](double re, double im) -> Error {
        if (++total > kMaxLiteralElements) return kVectorNotCreated;
        Row& row = rows.back();
        row.re.push_back(re);
        if (im != 0 || std::signbit(im)) {
            row.im.resize(row.re.size() - 1, 0);
            row.im.push_back(im);
        }
        return kOk;
    };

    while (true) {
        while (isLiteralBlank(*p, inMacroText)) ++p;
        if (*p == '\0' && !inMacroText && continuationText) {
            // The logical line ended inside the brackets: read on in the macro text.
            p = continuationText;
            inMacroText = true;
            continue;
        }
        if (*p == ']') {
            ++p;
            break;
        }
        if (*p == '\0') {
            ip_.setErrorPosition(open);
            return kBracket;
        }
        if (*p == ';') {
            rows.emplace_back();
            ++p;
            continue;
        }
        if (*p == ',') {
            ++p;
            continue;
        }
        const char* elementStart = p;
        MCVal value;
        Error err = numeric(p, kLimitMatrixElement, value);
        if (err == kStringOperand) err = kWrongDataType;
        if (err) return err;
        if (value.isEmpty()) {
            ip_.setErrorPosition(elementStart);
            return *p == ':' ? kNotEnoughParameters : kWrongDataType;
        }
        const char* q = p;
        while (isBlank(*q)) ++q;
        if (*q == ':') {
            // A range: a:b, a:s:b or a:*n.
            if (!value.isReal()) return kWrongDataType;
            double a = value.re, step = 1, b;
            bool copies = q[1] == '*';
            bool hasStep = false;
            q += copies ? 2 : 1;
            err = real(q, kLimitMatrixElement, b);
            if (err) return err;
            const char* r = q;
            while (isBlank(*r)) ++r;
            if (*r == ':') {
                if (copies || r[1] == '*') {
                    ip_.setErrorPosition(r);
                    return kTooManyParameters;
                }
                ++r;
                step = b;
                hasStep = true;
                err = real(r, kLimitMatrixElement, b);
                if (err) return err;
                q = r;
                while (isBlank(*r)) ++r;
                if (*r == ':') {
                    ip_.setErrorPosition(r);
                    return kTooManyParameters;
                }
            }
            p = q;
            double count;
            if (copies)
                count = std::round(b);
            else if (hasStep)
                count = std::trunc((b - a) / step + 0.0001) + 1;
            else
                count = std::trunc(b - a + 1.0001);
            if (!(count >= 1)) continue;  // no element at all
            if (count > static_cast<double>(kMaxLiteralElements)) return kVectorNotCreated;
            auto n = static_cast<int64_t>(count);
            // The row's doubles and the block made from them: checked against the
            // memory the system can give before anything is reserved.
            if (!platform::memoryAllows((total + n) * static_cast<int64_t>(2 * sizeof(double))))
                return kOutOfMemory;
            if (total + n <= kMaxLiteralElements)
                rows.back().re.reserve(rows.back().re.size() + static_cast<size_t>(n));
            for (int64_t i = 0; i < n; ++i) {
                err = append(copies ? a : a + static_cast<double>(i) * step, 0);
                if (err) return err;
            }
            continue;
        }
        if (value.isReal()) {
            err = append(value.re, 0);
        } else if (value.isComplex()) {
            complex = true;
            err = append(value.re, value.im);
        } else {
            // A block contributes all its elements.
            const DataBlock* block = value.pData;
            if (block->elementType == kElemComplexMatrix) {
                complex = true;
                for (int64_t i = 0; i + 1 < block->count && !err; i += 2)
                    err = append(block->doubles()[i], block->doubles()[i + 1]);
            } else {
                for (int64_t i = 0; i < block->count && !err; ++i) err = append(readElement(block, i), 0);
            }
        }
        if (err) return err;
    }
    if (inMacroText) {
        // The line store goes on after the ']'; this statement ends here.
        continuedTo = p;
        static const char kEnd[] = "";
        p = kEnd;
    }

    // The suffix chooses the form.
    int elementType = kElemRealMatrix;
    bool matrix = true;
    if (p[0] == '.' && (p[1] == 'v' || p[1] == 'V')) {
        p += 2;
        elementType = kElemDouble;
        matrix = false;
        if (*p >= '1' && *p <= '6')
            elementType = *p++ - '0';
        else if (*p == '9')
            elementType = *p++ - '0';
    } else if (p[0] == '.' && (p[1] == 'a' || p[1] == 'A')) {
        p += 2;
        matrix = false;
    } else if (p[0] == '.' && (p[1] == 'm' || p[1] == 'M')) {
        p += 2;
    }

    size_t columns = 0;
    for (const Row& row : rows) columns = std::max(columns, row.re.size());
    // A trailing ';' opens no extra row.
    if (rows.size() > 1 && rows.back().re.empty()) rows.pop_back();
    size_t rowCount = columns == 0 ? 0 : rows.size();
    int64_t elements = static_cast<int64_t>(columns * rowCount);
    if (complex && elementType != kElemRealMatrix && elementType != kElemDouble) complex = false;
    if (complex) elementType = kElemComplexMatrix;

    DataBlock* block = allocateBlock(elementType, complex ? 2 * elements : elements);
    if (!block) {
        ip_.setErrorPosition(open);
        return kVectorNotCreated;
    }
    block->xSize = static_cast<int32_t>(columns);
    block->ySize = static_cast<int32_t>(rowCount);
    if (matrix) {
        block->shapeFlags |= kShapeMatrix;
        if (ip_.matrix().base == 1) block->shapeFlags |= kShapeBaseOne;
        if (ip_.matrix().rowFirst) block->shapeFlags |= kShapeRowFirst;
    }
    for (size_t y = 0; y < rowCount; ++y) {
        const Row& row = rows[y];
        for (size_t x = 0; x < row.re.size(); ++x) {
            int64_t index = static_cast<int64_t>(y * columns + x);
            if (complex) {
                block->doubles()[2 * index] = row.re[x];
                block->doubles()[2 * index + 1] = row.imag(x);
            } else {
                storeElement(block, index, row.re[x]);
            }
        }
    }
    out.setOwnedBlock(block);
    out.re = complex ? (elements ? block->doubles()[0] : 0) : readElement(block, 0);
    out.im = complex && elements ? block->doubles()[1] : 0;
    return kOk;
}

}  // namespace tvx::interp
