// Numbers, data blocks, value records and the stamps of symbol tables.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "interp/symbols/symbols.h"
#include "interp/symbols/symboltable.h"
#include "interp/values/datablock.h"
#include "interp/values/handles.h"
#include "interp/values/mcval.h"
#include "interp/values/number.h"
#include "interp/values/workarea.h"

namespace tvx::interp {
namespace {

TEST(Numbers, RoundHalfAwayFromZero) {
    EXPECT_EQ(roundHalfAway(2.5), 3);
    EXPECT_EQ(roundHalfAway(-2.5), -3);
    EXPECT_EQ(roundHalfAway(0.49), 0);
    EXPECT_EQ(roundHalfAway(0.5), 1);
    EXPECT_EQ(roundHalfAway(-0.5), -1);
}

TEST(Numbers, ThirtyTwoBitArgumentRange) {
    int32_t v;
    EXPECT_EQ(toInt32Arg(4294967295.0, v), kOk);
    EXPECT_EQ(v, -1);  // passed as its unsigned bit pattern
    EXPECT_EQ(toInt32Arg(-2147483648.0, v), kOk);
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_EQ(toInt32Arg(4294967296.0, v), kIntegerOverflow);
    EXPECT_EQ(toInt32Arg(-2147483649.0, v), kIntegerOverflow);
    EXPECT_EQ(toInt32Arg(NAN, v), kIntegerOverflow);
    EXPECT_EQ(toInt32Arg(INFINITY, v), kIntegerOverflow);
    EXPECT_EQ(toInt32Arg(4294967295.4, v), kOk);  // rounds into range
}

TEST(Numbers, SixteenBitArgumentRange) {
    int16_t v;
    EXPECT_EQ(toInt16Arg(65535, v), kOk);
    EXPECT_EQ(static_cast<uint16_t>(v), 65535);
    EXPECT_EQ(toInt16Arg(65536, v), kIntegerOverflow);
    EXPECT_EQ(toInt16Arg(-32768, v), kOk);
    EXPECT_EQ(toInt16Arg(-32769, v), kIntegerOverflow);
    EXPECT_EQ(toInt16Arg(-32768.4, v), kOk);
}

TEST(Numbers, IntegerOperatorWrapping) {
    EXPECT_EQ(toUInt32Wrapped(4294967296.0), 0u);
    EXPECT_EQ(toUInt32Wrapped(4294967295.0), 4294967295u);
    EXPECT_EQ(toUInt32Wrapped(-1.0), 4294967295u);
    EXPECT_EQ(toUInt32Wrapped(1e300), static_cast<uint32_t>(std::fmod(1e300, 4294967296.0)));
    EXPECT_EQ(toUInt32Wrapped(NAN), 0u);
}

TEST(DataBlock, HeaderIsThirtyTwoBytes) {
    EXPECT_EQ(sizeof(DataBlock), 32u);
    EXPECT_EQ(offsetof(DataBlock, elementType), 4u);
    EXPECT_EQ(offsetof(DataBlock, count), 8u);
    EXPECT_EQ(offsetof(DataBlock, capacityBytes), 16u);
    EXPECT_EQ(offsetof(DataBlock, shapeFlags), 22u);
    EXPECT_EQ(offsetof(DataBlock, xSize), 24u);
    EXPECT_EQ(offsetof(DataBlock, ySize), 28u);
}

TEST(DataBlock, CapacityRule) {
    EXPECT_EQ(blockCapacityFor(8), 256);
    EXPECT_EQ(blockCapacityFor(216), 256);  // 40 bytes left
    EXPECT_EQ(blockCapacityFor(217), 320);  // fewer than 40 left: room for the header
    EXPECT_EQ(blockCapacityFor(256), 320);
    EXPECT_EQ(blockCapacityFor(257), 512);
    EXPECT_EQ(blockCapacityFor(0), 64);
    EXPECT_EQ(blockCapacityFor(-1), -1);
    EXPECT_EQ(blockCapacityFor(int64_t{1} << 40), -1);
}

TEST(DataBlock, ElementStoreRules) {
    DataBlock* bytes = allocateBlock(kElemUInt8, 4);
    storeElement(bytes, 0, 300);
    storeElement(bytes, 1, -1);
    storeElement(bytes, 2, 2.5);
    EXPECT_EQ(readElement(bytes, 0), 255);
    EXPECT_EQ(readElement(bytes, 1), 0);
    EXPECT_EQ(readElement(bytes, 2), 3);
    EXPECT_EQ(readElement(bytes, -1), 0);
    EXPECT_EQ(readElement(bytes, 4), 0);
    freeBlock(bytes);

    DataBlock* shorts = allocateBlock(kElemInt16, 2);
    storeElement(shorts, 0, 2.5);
    storeElement(shorts, 1, -40000);
    EXPECT_EQ(readElement(shorts, 0), 3);
    EXPECT_EQ(readElement(shorts, 1), -32768);
    freeBlock(shorts);

    DataBlock* wide = allocateBlock(kElemInt32, 1);
    storeElement(wide, 0, 1e12);  // saturates
    EXPECT_EQ(readElement(wide, 0), 2147483647);
    freeBlock(wide);

    // An element type whose size is not 1, 2, 4 or 8 makes a type-2 block.
    DataBlock* odd = allocateBlock(11, 1);
    EXPECT_EQ(odd->elementType, kElemInt16);
    freeBlock(odd);
}

TEST(DataBlock, WritingBeyondTheEndGrows) {
    DataBlock* v = allocateBlock(kElemDouble, 4);
    for (int i = 0; i < 4; ++i) storeElement(v, i, i + 1);
    ASSERT_EQ(writeElement(&v, 10, 7), kOk);
    EXPECT_EQ(v->count, 11);
    EXPECT_EQ(v->xSize, 11);
    EXPECT_EQ(readElement(v, 3), 4);
    for (int i = 4; i < 10; ++i) EXPECT_EQ(readElement(v, i), 0) << i;
    EXPECT_EQ(readElement(v, 10), 7);
    EXPECT_EQ(writeElement(&v, -1, 1), kNegativeIndex);
    freeBlock(v);
}

TEST(DataBlock, ResizeKeepsOrReallocates) {
    DataBlock* block = allocateBlock(kElemDouble, 100);  // 800 bytes: capacity 1024
    block->doubles()[0] = 42;
    DataBlock* before = block;
    ASSERT_TRUE(resizeBlock(&block, 0, 10, kResizeKeep));
    EXPECT_EQ(block, before);  // fits: kept, contents too
    EXPECT_EQ(block->doubles()[0], 42);
    ASSERT_TRUE(resizeBlock(&block, 0, 10, 0));  // far too large and contents not wanted
    EXPECT_NE(block->capacityBytes, 1024);
    EXPECT_EQ(block->doubles()[0], 0);
    block->blockFlags |= kBlockFixed;
    EXPECT_FALSE(resizeBlock(&block, 0, 1000, kResizeKeep));
    freeBlock(block);
}

// A large block freed is handed out again for the same size: zeroed as any
// new block, or only beyond the elements for a block the caller fills; a
// request of another size gets fresh memory.
TEST(DataBlock, ALargeFreedBlockIsReusedClean) {
    const int64_t n = int64_t{1} << 20;  // 8 MiB of doubles
    DataBlock* first = allocateBlock(kElemDouble, n);
    ASSERT_NE(first, nullptr);
    const int32_t capacity = first->capacityBytes;
    for (int64_t i = 0; i < n; ++i) first->doubles()[i] = 1;
    first->shapeFlags = kShapeMatrix;
    first->blockFlags = kBlockFixed;
    const uint32_t handle = first->memoryHandle;
    freeBlock(first);

    DataBlock* again = allocateBlock(kElemDouble, n);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->capacityBytes, capacity);
    EXPECT_NE(again->memoryHandle, handle);
    EXPECT_EQ(again->shapeFlags, 0);
    EXPECT_EQ(again->blockFlags, 0);
    EXPECT_EQ(again->count, n);
    for (int64_t i = 0; i < n; i += 4099) ASSERT_EQ(again->doubles()[i], 0) << i;
    EXPECT_EQ(again->doubles()[n - 1], 0);
    for (int64_t i = 0; i < n; ++i) again->doubles()[i] = 2;
    freeBlock(again);

    DataBlock* filled = allocateBlockToFill(kElemDouble, n);
    ASSERT_NE(filled, nullptr);
    const auto* slack = filled->bytes() + filled->payloadBytes;
    const int64_t slackBytes = (filled->capacityBytes & ~1) - kDataBlockHeaderBytes - filled->payloadBytes;
    for (int64_t i = 0; i < slackBytes; ++i) ASSERT_EQ(slack[i], 0) << i;
    EXPECT_EQ(filled->xSize, n);
    EXPECT_EQ(filled->ySize, 1);
    freeBlock(filled);

    DataBlock* other = allocateBlock(kElemDouble, n + 4096);
    ASSERT_NE(other, nullptr);
    for (int64_t i = 0; i < n + 4096; i += 4099) ASSERT_EQ(other->doubles()[i], 0) << i;
    freeBlock(other);
    releaseSpareBlock();
}

// Resizing for a caller that writes every element clears only what lies
// beyond them, and keeps the block where the rules keep it.
TEST(DataBlock, ResizeToOverwriteClearsOnlyTheRest) {
    DataBlock* block = allocateBlock(kElemDouble, 100);  // capacity 1024
    for (int i = 0; i < 100; ++i) block->doubles()[i] = 5;
    DataBlock* before = block;
    ASSERT_TRUE(resizeBlock(&block, kElemDouble, 90, kResizeOverwrite));
    EXPECT_EQ(block, before);
    EXPECT_EQ(block->count, 90);
    for (int i = 90; i < 100; ++i) EXPECT_EQ(block->doubles()[i], 0) << i;
    freeBlock(block);
}

// Runs of elements are converted by the rules for one element, for every type.
TEST(DataBlock, RunsConvertAsSingleElementsDo) {
    const double values[] = {0,    0.5,     -0.5,   1.49999, 2.5,   -2.5,     127.5, -128.5, 255.5, 256,
                             -1,   32767.5, -32769, 65535.6, 1e10,  -1e10,    NAN,   INFINITY, -INFINITY,
                             1e20, -1e20,   3.25,   -7.75,   4e9,   -2147483648.4};
    const int n = static_cast<int>(std::size(values));
    for (int type : {kElemUInt8, kElemInt8, kElemInt16, kElemUInt16, kElemInt32, kElemUInt32, kElemFloat,
                     kElemInt64, kElemDouble}) {
        DataBlock* one = allocateBlock(type, n + 2);
        DataBlock* run = allocateBlock(type, n + 2);
        for (int i = 0; i < n; ++i) storeElement(one, i + 1, values[i]);
        storeElements(run, 1, n, values);
        EXPECT_EQ(std::memcmp(one->bytes(), run->bytes(), static_cast<size_t>(one->payloadBytes)), 0) << type;
        double read[std::size(values)];
        readElements(run, 1, n, read);
        for (int i = 0; i < n; ++i) {
            double expected = readElement(run, i + 1);
            EXPECT_TRUE(read[i] == expected || (std::isnan(read[i]) && std::isnan(expected)))
                << type << " at " << i;
        }
        freeBlock(one);
        freeBlock(run);
    }
}

TEST(Handles, ObjectAndListHandles) {
    double handle = objectHandle(7);
    EXPECT_TRUE(isObjectHandle(handle));
    EXPECT_EQ(objectSlot(handle), 7);
    EXPECT_LT(handle, -1e307);
    EXPECT_FALSE(isObjectHandle(-1.5));
    EXPECT_EQ(objectSlot(objectHandle(4095)), 4095);
    EXPECT_TRUE(isStringListHandle(1655289670));
    EXPECT_TRUE(isStringListHandle(1655289701));
    EXPECT_FALSE(isStringListHandle(1655289702));
    EXPECT_FALSE(isStringListHandle(1655289670.5));
}

TEST(MCVal, CopyOnWriteAndOwnership) {
    DataBlock* shared = allocateBlock(kElemDouble, 3);
    {
        MCVal value;
        value.setBorrowedBlock(shared, false);
        EXPECT_FALSE(value.ownsBlock());
        ASSERT_TRUE(value.makeBlockOwned());
        EXPECT_NE(value.pData, shared);
        value.pData->doubles()[0] = 9;
        EXPECT_EQ(shared->doubles()[0], 0);  // the variable's block is untouched
        MCVal moved = std::move(value);
        EXPECT_TRUE(moved.ownsBlock());
        EXPECT_TRUE(value.isEmpty());
    }  // the copy is freed here (AddressSanitizer checks the rest)
    freeBlock(shared);
}

TEST(MCVal, NegligibleComplexParts) {
    double re = 1e-17, im = 1;
    clearNegligibleParts(re, im);
    EXPECT_EQ(re, 0);
    re = 1;
    im = 1e-16;
    clearNegligibleParts(re, im);
    EXPECT_EQ(im, 0);
    re = 1;
    im = 1e-13;  // below 1e-12, but not below 1e-15 times the real part
    clearNegligibleParts(re, im);
    EXPECT_NE(im, 0);
    re = 1e-13;
    im = 1e-14;  // both tiny, but neither below 1e-15 times the other
    clearNegligibleParts(re, im);
    EXPECT_NE(re, 0);
    EXPECT_NE(im, 0);
}

TEST(WorkArea, OverflowIsError814) {
    StringWorkArea area;
    std::string big(4095, 'x');
    std::string_view stored;
    EXPECT_EQ(area.store(big, stored), kOk);
    EXPECT_EQ(area.store("a", stored), kStringOverflow);
    area.reset();
    EXPECT_EQ(area.store(std::string(4096, 'x'), stored), kStringOverflow);
    size_t mark = area.mark();
    EXPECT_EQ(area.store("abc", stored), kOk);
    area.release(mark);
    EXPECT_EQ(area.available(), StringWorkArea::kSize);
}

// A table refilled with the same names in the same order gets its former
// stamp back; any other set of names has a stamp of its own.
TEST(SymbolTableStamps, RefilledWithTheSameNamesOnly) {
    SymbolTable table{kFirstLocalSpace, kLocalTableEntries, kLocalTableBuckets, 2048};
    table.create("n");
    table.create("total");
    uint64_t first = table.stamp();
    table.clear();
    EXPECT_NE(table.stamp(), first);
    uint64_t empty = table.stamp();
    table.clear();  // already empty: nothing changes
    EXPECT_EQ(table.stamp(), empty);
    table.create("n");
    EXPECT_NE(table.stamp(), first);
    table.create("total");
    EXPECT_EQ(table.stamp(), first);

    // Another order, a name more, or a name less: new stamps, never the first.
    std::set<uint64_t> seen{first};
    auto refill = [&](std::initializer_list<const char*> names) {
        table.clear();
        for (const char* name : names) table.create(name);
        return table.stamp();
    };
    for (auto names :
         {std::initializer_list<const char*>{"total", "n"}, {"n", "total", "k"}, {"n"}, {"n", "Total"}}) {
        uint64_t stamp = refill(names);
        EXPECT_TRUE(seen.insert(stamp).second) << "a stamp given twice";
    }
    // The last set of names is now the one remembered; it comes back as it was.
    uint64_t last = table.stamp();
    EXPECT_EQ(refill({"n", "Total"}), last);
    EXPECT_EQ(refill({"n", "Total"}), last);
    // A large table (a macro's) is not remembered: refilled, it has a new stamp.
    SymbolTable large{kFirstLocalSpace, kLocalTableEntries, kLocalTableBuckets, 2048};
    std::vector<std::string> names;
    for (int i = 0; i < 100; ++i) names.push_back("v" + std::to_string(i));
    for (const auto& name : names) large.create(name);
    uint64_t full = large.stamp();
    large.clear();
    for (const auto& name : names) large.create(name);
    EXPECT_NE(large.stamp(), full);
    // A value set under the first filling is gone after a refill.
    table.at(table.find("n")).number = 7;
    refill({"n", "Total"});
    EXPECT_EQ(table.at(table.find("n")).valueKind(), kKindNone);
}

}  // namespace
}  // namespace tvx::interp
