// The typed element loops of the vector commands store numbers exactly as a
// single element store does: rounding half away from zero, saturation, NaN.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "builtins/vectors/vectorsinternal.h"

namespace tvx::builtins::vectors {
namespace {

using namespace interp;

TEST(ElementRulesTest, TypedStoresMatchTheBlockRule) {
    const double inf = std::numeric_limits<double>::infinity();
    const double values[] = {0,       0.5,          -0.5,          1.49999,      2.5,
                             -2.5,    127.5,        128,           -128.5,       -129,
                             255.5,   256,          32767.5,       -32768.5,     65535.4,
                             65535.6, 2147483647.5, -2147483648.6, 4294967295.4, 4294967296,
                             9.3e18,  -9.3e18,      1e300,         -1e300,       inf,
                             -inf,    std::nan(""), 0.1,           3.4e38,       1e39};
    for (int type : {1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 15}) {
        DataBlock* reference = allocateBlock(type, 1);
        DataBlock* typed = allocateBlock(type, 1);
        ASSERT_TRUE(reference && typed);
        for (double v : values) {
            storeElement(reference, 0, v);
            bool known = withElementType(type, [&](auto tag) {
                using T = typename decltype(tag)::Type;
                elementsAs<T>(typed)[0] = toElement<T>(v);
            });
            ASSERT_TRUE(known) << type;
            EXPECT_EQ(std::memcmp(reference->bytes(), typed->bytes(), static_cast<size_t>(elementSize(type))),
                      0)
                << "type " << type << ", value " << v;
        }
        freeBlock(reference);
        freeBlock(typed);
    }
    EXPECT_FALSE(withElementType(11, [](auto) {}));
}

TEST(ElementRulesTest, DimensionsAreRepairedForMatricesOnly) {
    DataBlock* column = allocateBlock(kElemRealMatrix, 5);
    column->xSize = 1;
    column->ySize = 3;
    repairDimensions(column);
    EXPECT_EQ(column->xSize, 1);
    EXPECT_EQ(column->ySize, 5);
    DataBlock* complex = allocateBlock(kElemComplexMatrix, 6);
    complex->xSize = 2;
    complex->ySize = 2;
    repairDimensions(complex);
    EXPECT_EQ(complex->xSize, 3);
    EXPECT_EQ(complex->ySize, 1);
    DataBlock* bytes = allocateBlock(kElemUInt8, 6);
    bytes->xSize = 2;
    bytes->ySize = 3;
    repairDimensions(bytes);
    EXPECT_EQ(bytes->xSize, 2);
    for (DataBlock* b : {column, complex, bytes}) freeBlock(b);
}

TEST(ElementRulesTest, ResizeRefusesWhatCannotBeHad) {
    DataBlock* block = nullptr;
    EXPECT_EQ(resize(&block, kElemDouble, -1, 0), kVectorNotCreated);
    EXPECT_EQ(resize(&block, kElemDouble, int64_t{1} << 31, 0), kVectorNotCreated);
    freeBlock(block);
    block = allocateBlock(kElemInt16, 4);
    block->blockFlags |= kBlockFixed;
    EXPECT_EQ(resize(&block, 0, 100, kResizeKeep), kVectorNotCreated);
    EXPECT_EQ(block->count, 4);
    freeBlock(block);
}

}  // namespace
}  // namespace tvx::builtins::vectors
