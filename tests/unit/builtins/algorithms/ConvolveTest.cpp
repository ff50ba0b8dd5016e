// Convolve against a direct sum that reads every position through the border
// rule, for random blocks and kernels of every shape (kernels larger than the
// data included) in the three border modes, real and complex.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "builtins/builtins.h"
#include "interp/eval/evaluator.h"
#include "interp/interpreter.h"
#include "tests/unit/interp/TestHost.h"

namespace tvx::builtins {
namespace {

using namespace interp;

class ConvolveTest : public ::testing::Test {
protected:
    interp::testing::TestHost host;
    Interpreter ip{host};
    SymbolTable table{kMacroSpace, kMacroTableEntries, kMacroTableBuckets, kMacroTableText};
    uint64_t seed = 1;

    void SetUp() override {
        ip.symbols().macroTable = &table;
        registerBuiltins(ip);
    }
    double next() {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return std::floor(static_cast<double>(seed >> 11) * 0x1p-53 * 19) - 9;  // small integers: exact sums
    }
    // A variable holding a random rows-by-cols matrix (complex: random pairs).
    std::vector<double> makeMatrix(const std::string& name, int rows, int cols, bool complex) {
        int64_t n = int64_t{rows} * cols * (complex ? 2 : 1);
        DataBlock* block = allocateBlock(complex ? kElemComplexMatrix : kElemRealMatrix, n);
        block->xSize = cols;
        block->ySize = rows;
        block->shapeFlags = kShapeMatrix;
        std::vector<double> values;
        for (int64_t i = 0; i < n; ++i) values.push_back(block->doubles()[i] = next());
        int index = table.find(name);
        if (!index) index = table.create(name);
        Variable& var = table.at(index);
        var.clearValue();
        var.setValueKind(kKindBlock);
        var.block = block;
        return values;
    }
    static int64_t border(int64_t t, int64_t n, int mode) {
        if (t >= 0 && t < n) return t;
        if (mode == 0) return -1;
        if (mode >= 2) return ((t % n) + n) % n;
        int64_t r = ((t % (2 * n)) + 2 * n) % (2 * n);
        return r < n ? r : 2 * n - 1 - r;
    }
};

TEST_F(ConvolveTest, AgreesWithTheDirectSumInEveryMode) {
    struct Shape {
        int rows, cols, krows, kcols;
    };
    const Shape shapes[] = {{1, 9, 1, 3}, {1, 5, 1, 4}, {1, 3, 1, 9}, {4, 5, 3, 3}, {3, 4, 2, 5},
                            {2, 2, 5, 7}, {6, 1, 3, 1}, {1, 1, 3, 3}, {5, 7, 1, 1}};
    for (bool complex : {false, true}) {
        for (const Shape& s : shapes) {
            std::vector<double> a = makeMatrix("A", s.rows, s.cols, complex);
            std::vector<double> k = makeMatrix("K", s.krows, s.kcols, complex);
            for (int mode = 0; mode < 4; ++mode) {
                std::string text = "Convolve(A, K, " + std::to_string(mode) + ")";
                const char* p = text.c_str();
                MCVal out;
                ASSERT_EQ(ip.evaluate(p, kLimitAssignment, out), 0) << text;
                const int w = complex ? 2 : 1;
                // A 1-by-1 matrix reads as one number, and so is its result.
                const double single[2] = {out.re, out.im};
                const double* result = out.isBlock() ? out.pData->doubles() : single;
                if (out.isBlock())
                    ASSERT_EQ(out.pData->count, s.rows * s.cols * w);
                else
                    ASSERT_EQ(s.rows * s.cols, 1);
                const int hr = (s.krows - 1) / 2, hc = (s.kcols - 1) / 2;
                for (int i = 0; i < s.rows; ++i) {
                    for (int j = 0; j < s.cols; ++j) {
                        double re = 0, im = 0;
                        for (int u = 0; u < s.krows; ++u) {
                            for (int v = 0; v < s.kcols; ++v) {
                                int64_t y = border(i + u - hr, s.rows, mode),
                                        x = border(j + v - hc, s.cols, mode);
                                if (y < 0 || x < 0) continue;
                                size_t at = static_cast<size_t>((y * s.cols + x) * w),
                                       kt = static_cast<size_t>((u * s.kcols + v) * w);
                                if (complex) {
                                    re += a[at] * k[kt] - a[at + 1] * k[kt + 1];
                                    im += a[at] * k[kt + 1] + a[at + 1] * k[kt];
                                } else {
                                    re += a[at] * k[kt];
                                }
                            }
                        }
                        const double* d = result + (i * s.cols + j) * w;
                        EXPECT_EQ(d[0], re)
                            << text << " at " << i << "," << j << " shape " << s.rows << "x" << s.cols;
                        if (complex) {
                            EXPECT_EQ(d[1], im) << text << " at " << i << "," << j;
                        }
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace tvx::builtins
