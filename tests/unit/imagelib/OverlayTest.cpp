// Overlays through a fitted similarity: where the source lands, the weights of the blend,
// colouring, the transformed picture in slot 31 and its reuse, the direct mode.
#include "PixoryTestSupport.h"

#include <cmath>

using namespace pixorytest;

namespace {

class OverlayTest : public PixoryTest {};

struct Bgr {
    int b, g, r;
    bool operator==(const Bgr&) const = default;
};
Bgr colourAt(int n, int x, int y)
{
    const int v = pxGetPixelValue(n, x, y);
    return {v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF};
}
std::ostream& operator<<(std::ostream& o, const Bgr& c)
{
    return o << c.b << "," << c.g << "," << c.r;
}

TEST_F(OverlayTest, TheSimilarityCarriesSourcePointsOntoBackgroundPoints)
{
    pxImageNew(1, nullptr, 10, 6, 8, 0x10);   // source
    pxImageNew(2, nullptr, 40, 40, 8, 0x11);  // background, top-down rows
    pxImgFill(2, 20);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x)
            pxSetPixelValue(1, x, y, 100 + 10 * x + y);
    // (0, 0) -> (30, 5) and (4, 0) -> (30, 13): twice the size, a quarter turn clockwise.
    const double points[8] = {0, 0, 4, 0, 30, 5, 30, 13};
    ASSERT_EQ(pxOverlayTransformed(1, 2, 3, points, 0x10, 0xFFFFFF, 1000, 0, 1.0, 1.0), 0);
    EXPECT_EQ(pxGetBitPerPixel(3), 24);
    EXPECT_EQ(pxGetXSize(3), 40);
    // Source (x, y) lands at (30 - 2y, 5 + 2x); nearest pixels, positions biased by 0.375.
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x) {
            const int v = 100 + 10 * x + y;
            EXPECT_EQ(colourAt(3, 30 - 2 * y, 5 + 2 * x), (Bgr{v, v, v})) << x << "," << y;
        }
    EXPECT_EQ(colourAt(3, 35, 5), (Bgr{0, 0, 0}));  // beyond the source: 0 at full weight
    // The transformed source stays in slot 31, 8 bits, the background's size.
    EXPECT_EQ(pxGetBitPerPixel(31), 8);
    EXPECT_EQ(pxGetXSize(31), 40);
    EXPECT_EQ(pxGetPixelValue(31, 30, 5), 100);
    // Coinciding points give no transform.
    const double same[8] = {1, 1, 1, 1, 3, 3, 5, 5};
    EXPECT_EQ(pxOverlayTransformed(1, 2, 3, same, 0, 0xFFFFFF, 500, 0, 1, 1), -1);
    EXPECT_EQ(pxOverlayTransformed(1, 9, 3, points, 0, 0xFFFFFF, 500, 0, 1, 1), -1);
}

TEST_F(OverlayTest, BlendWeightsColouringAndReuse)
{
    pxImageNew(1, nullptr, 8, 8, 8, 0x10);
    pxImageNew(2, nullptr, 8, 8, 24, 0x10);
    pxImgFill(1, 100);
    pxImgFill(2, 0x503C28);  // blue 40, green 60, red 80
    const double identity[8] = {0, 0, 1, 0, 0, 0, 1, 0};
    auto mixed = [&](int flags, int tint, int blend) {
        EXPECT_EQ(pxOverlayTransformed(1, 2, 3, identity, flags, tint, blend, 0, 1.0, 1.0), 0);
        return colourAt(3, 4, 4);
    };
    // Linear: background (1000 - b) / 1000, source b / 1000.
    EXPECT_EQ(mixed(0x10, 0xFFFFFF, 250), (Bgr{55, 70, 85}));
    // Otherwise: up to 500 the background at full weight and the source at 2b / 1000 ...
    EXPECT_EQ(mixed(0, 0xFFFFFF, 250), (Bgr{90, 110, 130}));
    // ... above 500 the background at 2 (1000 - b) / 1000 and the source at full weight.
    EXPECT_EQ(mixed(0, 0xFFFFFF, 750), (Bgr{120, 130, 140}));
    // The tint colours a grey source (as pxMakeRGBImageBCG does): red only.
    EXPECT_EQ(mixed(0x10, 0xFF0000, 1000), (Bgr{0, 0, (255 * 100 + 255) >> 8}));
    // Offset and contrast pass through the same mapping: (100 - 20) x 1.5.
    ASSERT_EQ(pxOverlayTransformed(1, 2, 3, identity, 0x10, 0xFFFFFF, 1000, 20, 1.5, 1.0), 0);
    EXPECT_EQ(colourAt(3, 0, 0), (Bgr{120, 120, 120}));
    // Flags bit 2 reuses the transformed picture of the last call, whatever the source is now.
    pxImgFill(1, 200);
    EXPECT_EQ(mixed(0x10 | 4, 0xFFFFFF, 1000), (Bgr{100, 100, 100}));
    EXPECT_EQ(mixed(0x10, 0xFFFFFF, 1000), (Bgr{200, 200, 200}));
}

TEST_F(OverlayTest, DirectModeLaysTheSourceOntoTheColourBackground)
{
    pxImageNew(1, nullptr, 4, 4, 8, 0x10);
    pxImageNew(2, nullptr, 12, 12, 8, 0x10);
    pxImgFill(1, 250);
    pxImgFill(2, 30);
    const double shift[8] = {0, 0, 1, 0, 5, 6, 6, 6};  // moved by (5, 6)
    ASSERT_EQ(pxOverlayTransformed(1, 2, 3, shift, 0x40, 0xFF, 500, 0, 1, 1), 0);
    EXPECT_EQ(pxGetBitPerPixel(3), 24);
    EXPECT_EQ(colourAt(3, 5, 6), (Bgr{250, 250, 250}));
    EXPECT_EQ(colourAt(3, 8, 9), (Bgr{250, 250, 250}));
    EXPECT_EQ(colourAt(3, 9, 9), (Bgr{30, 30, 30}));  // beside it the background shows
    EXPECT_EQ(colourAt(3, 4, 6), (Bgr{30, 30, 30}));
    // The destination may be the background itself.
    ASSERT_EQ(pxOverlayTransformed(1, 2, 2, shift, 0x10, 0xFFFFFF, 500, 0, 1, 1), 0);
    EXPECT_EQ(colourAt(2, 6, 7), (Bgr{140, 140, 140}));
    EXPECT_EQ(colourAt(2, 0, 0), (Bgr{15, 15, 15}));
}

}  // namespace
