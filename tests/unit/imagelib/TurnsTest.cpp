// Quarter turns and mirrors against numpy in every row order, with 16-bit planes and
// sub-byte pixels; shrinking by block maxima.
#include "GeometryTestSupport.h"
#include "PixoryTestSupport.h"

#include <map>
#include <random>

using namespace pixorytest;

namespace {

class TurnsTest : public PixoryTest {};

// numpy's results of every turn of a w x h picture of c channels, by name.
std::map<std::string, std::vector<uint8_t>> numpyTurns(const std::string& dir,
                                                       const std::vector<uint8_t>& picture, int w, int h,
                                                       int c)
{
    writeFile(dir + "/turn-in.raw", picture);
    EXPECT_TRUE(runReference(
        "turns.py", {dir + "/turn-in.raw", std::to_string(w), std::to_string(h), std::to_string(c), dir}));
    std::map<std::string, std::vector<uint8_t>> turns;
    for (const char* op : {"cw", "ccw", "half", "transpose", "antitranspose", "mirror-lr", "mirror-tb"})
        turns[op] = readFile(dir + "/" + op + ".raw");
    return turns;
}

const char* opOf(int kind, bool upsideDown)
{
    switch (kind) {
    case 1: return upsideDown ? "ccw" : "cw";
    case 3:
    case -1: return upsideDown ? "cw" : "ccw";
    case 2:
    case -2: return "half";
    case 4: return upsideDown ? "antitranspose" : "transpose";
    case 5: return "mirror-lr";
    case 6: return "mirror-tb";
    case 7: return upsideDown ? "transpose" : "antitranspose";
    default: return "";
    }
}

TEST_F(TurnsTest, KindsTurnTheRowsAsTheyLieInMemory)
{
    if (!pythonHas("numpy"))
        GTEST_SKIP() << "python3-numpy is not installed";
    const int w = 13, h = 7;  // odd sides: rows with padding, no symmetry to hide mistakes
    for (int bits : {8, 24}) {
        const std::vector<uint8_t> before = noise(static_cast<size_t>(w) * h * bits / 8, bits);
        const auto turns = numpyTurns(dir_, before, w, h, bits / 8);
        for (int flags : {0x10, 0x11}) {
            const bool bottomUp = !(flags & 1);
            for (int kind : {1, 3, -1, 2, -2, 4, 5, 6, 7}) {
                SCOPED_TRACE(testing::Message() << bits << " bits, flags " << flags << ", kind " << kind);
                pxImageNew(1, nullptr, w, h, bits, flags);
                ASSERT_EQ(pxSetBitmapRect(1, const_cast<uint8_t*>(before.data()), w, h, 0, 0, 4), 0);
                ASSERT_EQ(pxRotate90(1, kind), 0);
                const bool sides = kind == 1 || kind == 3 || kind == -1 || kind == 4 || kind == 7;
                EXPECT_EQ(pxGetXSize(1), sides ? h : w);
                EXPECT_EQ(pxGetYSize(1), sides ? w : h);
                EXPECT_EQ(pxGetBytePerLine(1), ((pxGetXSize(1) * bits + 31) / 32) * 4);
                EXPECT_EQ(topDownBytes(1), turns.at(opOf(kind, bottomUp)));
            }
        }
    }
}

TEST_F(TurnsTest, PlanesLeadAndTheDisplayFollows)
{
    if (!pythonHas("numpy"))
        GTEST_SKIP() << "python3-numpy is not installed";
    const int w = 6, h = 4;
    pxImageNew(2, nullptr, w, h, 16, 0x10);  // top-down plane, bottom-up DIB
    auto* plane = static_cast<uint16_t*>(pxGetImg16Data(2));
    std::vector<uint8_t> low(static_cast<size_t>(w) * h), display(low.size());
    for (int i = 0; i < w * h; ++i) {
        plane[i] = static_cast<uint16_t>(1000 + 7 * i);
        low[static_cast<size_t>(i)] = static_cast<uint8_t>(plane[i]);
    }
    pxImageUpdate(2, 8);
    display = topDownBytes(2);
    ASSERT_EQ(pxRotate90(2, 1), 0);  // clockwise as the plane lies: top-down, as seen
    const std::vector<uint8_t> turned = numpyTurns(dir_, low, w, h, 1).at("cw");
    const auto* after = static_cast<const uint16_t*>(pxGetImg16Data(2));
    for (int i = 0; i < w * h; ++i)
        EXPECT_EQ(static_cast<uint8_t>(after[i]), turned[static_cast<size_t>(i)]) << i;
    EXPECT_EQ(topDownBytes(2), numpyTurns(dir_, display, w, h, 1).at("cw"));
}

TEST_F(TurnsTest, SubBytePixelsAndKindsWithoutMeaning)
{
    pxImageNew(3, nullptr, 10, 3, 1, 0x11);
    for (int x = 0; x < 10; ++x)
        pxSetPixelValue(3, x, x % 3, 1);
    ASSERT_EQ(pxRotate90(3, 1), 0);  // top-down: clockwise as seen
    ASSERT_EQ(pxGetXSize(3), 3);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(pxGetPixelValue(3, x, y), (2 - x) == y % 3 ? 1 : 0) << x << "," << y;
    pxImageNew(4, nullptr, 5, 5, 8, 0x10);
    pxImgFill(4, 3);
    pxSetPixelValue(4, 1, 2, 200);
    EXPECT_EQ(pxRotate90(4, 0), 0);
    EXPECT_EQ(pxRotate90(4, 8), 0);
    EXPECT_EQ(pxGetPixelValue(4, 1, 2), 200);
    EXPECT_EQ(pxRotate90(9, 1), -1);
}

TEST_F(TurnsTest, ShrinkTakesTheMaximumOfEachBlock)
{
    // 5 x 3 into 2 x 2: blocks of 3 x 2, the last ones cut at the edge.
    const uint8_t source[15] = {1, 9, 2, 4, 4,  //
                                3, 3, 3, 8, 0,  //
                                7, 0, 0, 0, 6};
    uint8_t out[4] = {};
    ASSERT_EQ(pxShrink(source, 5, 3, out, 2, 2), 0);
    EXPECT_EQ(out[0], 9);
    EXPECT_EQ(out[1], 8);
    EXPECT_EQ(out[2], 7);
    EXPECT_EQ(out[3], 6);
    // More destination pixels than blocks: those past the edge stay 0.
    uint8_t wide[6] = {99, 99, 99, 99, 99, 99};
    ASSERT_EQ(pxShrink(source, 5, 1, wide, 6, 1), 0);
    EXPECT_EQ(std::vector<uint8_t>(wide, wide + 6), (std::vector<uint8_t>{1, 9, 2, 4, 4, 0}));
    EXPECT_EQ(pxShrink(source, 0, 3, out, 2, 2), -1);
    EXPECT_EQ(pxShrink(inaccessibleAddress(), 5, 3, out, 2, 2), -2);
    EXPECT_EQ(pxShrink(source, 5, 3, inaccessibleAddress(), 2, 2), -2);
}

}  // namespace
