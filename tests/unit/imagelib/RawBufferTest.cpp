// Routines on caller buffers: sums, differences, products, frames, comparison, time.
#include "PixoryTestSupport.h"

#include <numeric>
#include <thread>

using namespace pixorytest;

namespace {

TEST(RawBufferTest, SumsHonourThePitch)
{
    std::vector<uint8_t> bytes(10 * 3, 100);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            bytes[y * 10 + x] = static_cast<uint8_t>(x + y);
    EXPECT_DOUBLE_EQ(pxSumRectB(bytes.data(), 10, 4, 3), 6 + 10 + 14);
    // A negative pitch walks upwards from the last row.
    EXPECT_DOUBLE_EQ(pxSumRectB(bytes.data() + 20, -10, 4, 3), 30);
    std::vector<uint16_t> words(6 * 2, 0);
    words[0] = 60000;
    words[7] = 1;
    EXPECT_DOUBLE_EQ(pxSumRectW(words.data(), 12, 2, 2), 60001);
    EXPECT_DOUBLE_EQ(pxSumRectB(bytes.data(), 10, 0, 3), 0);
    EXPECT_DOUBLE_EQ(pxSumRectB(inaccessibleAddress(), 10, 4, 3), -1);
}

TEST(RawBufferTest, DifferencesAndProducts)
{
    const uint8_t a[6] = {10, 200, 0, 255, 5, 6};
    const uint8_t b[6] = {20, 100, 0, 0, 5, 7};
    uint8_t r[6] = {};
    ASSERT_EQ(pxSubtractRectB(a, 3, b, 3, r, 3, 3, 2, 5), 0);
    EXPECT_EQ(r[0], 0);  // 10 + 5 - 20 clamps
    EXPECT_EQ(r[1], 105);
    EXPECT_EQ(r[3], 255);
    ASSERT_EQ(pxSubtractAbsRectB(a, 3, b, 3, r, 3, 3, 2), 0);
    EXPECT_EQ(r[0], 10);
    EXPECT_EQ(r[5], 1);
    uint16_t w[6] = {};
    ASSERT_EQ(pxMultiplyRectBW(a, 3, b, 3, w, 6, 3, 2), 0);
    EXPECT_EQ(w[1], 20000);
    EXPECT_EQ(w[5], 42);
    EXPECT_EQ(pxSubtractRectB(a, 3, b, 3, inaccessibleAddress(), 3, 3, 2, 0), -2);
    EXPECT_EQ(pxMultiplyRectBW(inaccessibleAddress(), 3, b, 3, w, 6, 3, 2), -2);
}

TEST(RawBufferTest, Frames)
{
    std::vector<uint8_t> v(6 * 5, 0);
    ASSERT_EQ(pxSetFrameB(v.data(), 6, 5, 5, 1, 1, 0x1FF), 0);
    const std::string expected =
        "XXXXX."
        "X...X."
        "X...X."
        "X...X."
        "XXXXX.";
    for (size_t i = 0; i < v.size(); ++i)
        EXPECT_EQ(v[i], expected[i] == 'X' ? 0xFF : 0) << i;
    std::vector<uint16_t> w(4 * 4, 0);
    ASSERT_EQ(pxSetFrameW(w.data(), 8, 4, 4, 1, 0, 0x12), 0);
    EXPECT_EQ(w[0], 0);       // no full rows
    EXPECT_EQ(w[4], 0x1212);  // row 1, first value: every byte gets the low byte
    EXPECT_EQ(w[7], 0x1212);
    EXPECT_EQ(w[5], 0);
    // Thickness beyond the size is limited to it.
    EXPECT_EQ(pxSetFrameB(v.data(), 6, 5, 5, 100, 100, 1), 0);
    EXPECT_EQ(pxSetFrameB(inaccessibleAddress(), 6, 5, 5, 1, 1, 0), -2);
}

TEST(RawBufferTest, CompareAndTime)
{
    const char a[] = "abcdef", b[] = "abcxef";
    EXPECT_EQ(pxMemCmp(a, b, 3), 0);
    EXPECT_EQ(pxMemCmp(a, b, 6), -1);
    EXPECT_EQ(pxMemCmp(b, a, 6), 1);
    EXPECT_EQ(pxMemCmp(a, inaccessibleAddress(), 6), -2);
    pxTimeSec(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const double t = pxTimeSec(0);
    EXPECT_GE(t, 0.015);
    EXPECT_LT(t, 5.0);
    EXPECT_LT(pxTimeSec(1), t + 5.0);
    EXPECT_LT(pxTimeSec(0), t);
}

}  // namespace
