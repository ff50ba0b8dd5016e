// Drawing into pixels: clipped Bresenham lines (also wide and far outside), ellipse
// outlines and rings, the value rules of each depth, text with a font, character cells.
#include "PixoryTestSupport.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <random>
#include <set>

using namespace pixorytest;

namespace {

class DrawTest : public PixoryTest {};

using PixelSet = std::set<std::pair<int, int>>;

PixelSet pixelsOf(int n, int value)
{
    PixelSet s;
    for (int y = 0; y < pxGetYSize(n); ++y)
        for (int x = 0; x < pxGetXSize(n); ++x)
            if (pxGetPixelValue(n, x, y) == value)
                s.insert({x, y});
    return s;
}

// The line walked step by step from its first end, every point kept that lies inside.
PixelSet walkedLine(int x1, int y1, int x2, int y2, int w, int h)
{
    PixelSet s;
    const long long dx = x2 - x1, dy = y2 - y1, ax = std::llabs(dx), ay = std::llabs(dy);
    const long long n = std::max(ax, ay);
    for (long long i = 0; i <= n; ++i) {
        long long x, y;
        if (ax >= ay) {
            x = x1 + (dx < 0 ? -i : i);
            y = y1 + (dy < 0 ? -1 : 1) * (ax ? (2 * i * ay + ax) / (2 * ax) : 0);
        } else {
            y = y1 + (dy < 0 ? -i : i);
            x = x1 + (dx < 0 ? -1 : 1) * ((2 * i * ax + ay) / (2 * ay));
        }
        if (x >= 0 && y >= 0 && x < w && y < h)
            s.insert({static_cast<int>(x), static_cast<int>(y)});
    }
    return s;
}

TEST_F(DrawTest, LinesAreBresenhamClippedToTheImage)
{
    pxImageNew(1, nullptr, 40, 30, 8, 0x10);
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> near(-60, 100), far(-200000, 200000);
    for (int round = 0; round < 300; ++round) {
        const bool wide = round % 3 == 0;
        const int x1 = wide ? far(gen) : near(gen), y1 = wide ? far(gen) : near(gen);
        const int x2 = near(gen), y2 = near(gen);
        pxImgFill(1, 0);
        ASSERT_EQ(pxDrawLine(1, x1, y1, x2, y2, 9, 1), 0);
        ASSERT_EQ(pixelsOf(1, 9), walkedLine(x1, y1, x2, y2, 40, 30))
            << x1 << "," << y1 << " " << x2 << "," << y2;
    }
    // Both ends are drawn, and a point is a line.
    pxImgFill(1, 0);
    pxDrawLine(1, 3, 4, 3, 4, 5, 1);
    EXPECT_EQ(pixelsOf(1, 5), (PixelSet{{3, 4}}));
}

TEST_F(DrawTest, WideLinesAndLinesAcrossTheWholeRange)
{
    pxImageNew(1, nullptr, 20, 20, 8, 0x10);
    // Width 3 across a shallow line: the line and one beside it on each side (in y).
    ASSERT_EQ(pxDrawLine(1, 2, 5, 17, 9, 7, 3), 0);
    PixelSet want;
    for (int k = -1; k <= 1; ++k)
        for (const auto& p : walkedLine(2, 5 + k, 17, 9 + k, 20, 20))
            want.insert(p);
    EXPECT_EQ(pixelsOf(1, 7), want);
    // Width 4 adds two below and one above; steep lines spread in x.
    pxImgFill(1, 0);
    ASSERT_EQ(pxDrawLine(1, 10, 0, 12, 19, 7, 4), 0);
    want.clear();
    for (int k = -1; k <= 2; ++k)
        for (const auto& p : walkedLine(10 + k, 0, 12 + k, 19, 20, 20))
            want.insert(p);
    EXPECT_EQ(pixelsOf(1, 7), want);
    // Ends at the limits of int, and a huge width: only what lands inside is walked.
    pxImgFill(1, 0);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(pxDrawLine(1, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 3, 1), 0);
    ASSERT_EQ(pxDrawLine(1, INT_MIN, 5, INT_MAX, 5, 4, INT_MAX), 0);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.0);
    EXPECT_EQ(pixelsOf(1, 4).size(), 400u);  // the wide one covers everything
    EXPECT_EQ(pxDrawLine(3, 0, 0, 5, 5, 1, 1), -1);
}

TEST_F(DrawTest, ValuesFollowTheDepth)
{
    pxImageNew(1, nullptr, 8, 8, 24, 0x10);
    pxDrawLine(1, 0, 0, 7, 0, 0x123456, 1);
    EXPECT_EQ(pxGetPixelValue(1, 4, 0), 0x123456);  // blue 0x56, green 0x34, red 0x12
    pxImageNew(2, nullptr, 8, 8, 12, 0x10);         // drawn in the 16-bit plane
    pxDrawLine(2, 0, 3, 7, 3, 0x10FA3, 1);
    EXPECT_EQ(pxGetPixelValue(2, 5, 3), 0x0FA3);
    pxImageNew(3, nullptr, 13, 3, 1, 0x10);
    pxDrawLine(3, 0, 1, 12, 1, 3, 1);  // the low bit of a 1-bit pixel
    for (int x = 0; x < 13; ++x) {
        EXPECT_EQ(pxGetPixelValue(3, x, 1), 1);
        EXPECT_EQ(pxGetPixelValue(3, x, 0), 0);
    }
    pxImageNew(4, nullptr, 5, 2, 4, 0x10);
    pxDrawLine(4, 1, 0, 3, 0, 0xAB, 1);
    EXPECT_EQ(pxGetPixelValue(4, 2, 0), 0xB);
    EXPECT_EQ(pxGetPixelValue(4, 0, 0), 0);
}

TEST_F(DrawTest, EllipseOutlinesAreClosedAndSymmetric)
{
    pxImageNew(1, nullptr, 62, 62, 8, 0x10);
    for (const auto& r : {std::pair{20, 9}, {4, 17}, {1, 1}, {0, 6}, {25, 25}}) {
        SCOPED_TRACE(testing::Message() << r.first << " x " << r.second);
        pxImgFill(1, 0);
        ASSERT_EQ(pxDrawEllipse(1, 30, 30, r.first, r.second, 200, 0), 0);
        const PixelSet s = pixelsOf(1, 200);
        for (const auto& p :
             {std::pair{30 + r.first, 30}, {30 - r.first, 30}, {30, 30 + r.second}, {30, 30 - r.second}})
            EXPECT_TRUE(s.count(p)) << p.first << "," << p.second;
        for (const auto& [x, y] : s) {
            EXPECT_TRUE(s.count({60 - x, y}) && s.count({x, 60 - y})) << x << "," << y;
            // Closed: every pixel has a neighbour of the outline (8-connected).
            int neighbours = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    neighbours += (dx || dy) && s.count({x + dx, y + dy});
            EXPECT_GE(neighbours, r.first && r.second ? 2 : 1) << x << "," << y;
        }
    }
}

TEST_F(DrawTest, RingsShrinkUntilARadiusWouldFallBelowTwo)
{
    pxImageNew(1, nullptr, 40, 40, 8, 0x10);
    ASSERT_EQ(pxDrawEllipse(1, 20, 20, 6, 4, 50, 10), 0);
    // Radii 6 x 4, 5 x 3, 4 x 2: three rings, the last through (20, 22).
    EXPECT_EQ(pxGetPixelValue(1, 26, 20), 50);
    EXPECT_EQ(pxGetPixelValue(1, 25, 20), 50);
    EXPECT_EQ(pxGetPixelValue(1, 24, 20), 50);
    EXPECT_EQ(pxGetPixelValue(1, 20, 22), 50);
    EXPECT_EQ(pxGetPixelValue(1, 23, 20), 0);
    EXPECT_EQ(pxGetPixelValue(1, 20, 21), 0);
    // Two rings only when asked for two.
    pxImgFill(1, 0);
    ASSERT_EQ(pxDrawEllipse(1, 20, 20, 6, 4, 50, 2), 0);
    EXPECT_EQ(pxGetPixelValue(1, 24, 20), 0);
    // A billion rings of a billion pixels about the image: only those that touch it.
    pxImgFill(1, 0);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(pxDrawEllipse(1, 20, 1000000000, 1000000000, 1000000000, 7, 1000000000), 0);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0);
    EXPECT_EQ(pxGetPixelValue(1, 20, 0), 7);   // radius 10^9 passes through (20, 0)
    EXPECT_EQ(pxGetPixelValue(1, 20, 39), 7);  // radius 10^9 - 39 through (20, 39)
}

TEST_F(DrawTest, TextIsRenderedWithAFontAndLaidInAsAsked)
{
    pxImageNew(1, nullptr, 80, 30, 8, 0x10);
    ASSERT_EQ(pxDrawText(1, 2, 2, "Hi!", 200, -1, nullptr, 20, 0, 700), 0);
    const PixelSet letters = pixelsOf(1, 200);
    EXPECT_GT(letters.size(), 30u);
    for (const auto& [x, y] : letters)
        EXPECT_TRUE(x >= 2 && y >= 2 && x < 60 && y < 30);
    // A box of the background (mode 0) around blended letters.
    pxImgFill(1, 0);
    ASSERT_EQ(pxDrawText(1, 5, 5, "Hi!", 250, 40, "DejaVu Sans", 20, 0, 400), 0);
    EXPECT_GT(pixelsOf(1, 40).size(), 100u);
    EXPECT_GT(pixelsOf(1, 250).size(), 10u);
    EXPECT_EQ(pxGetPixelValue(1, 4, 4), 0);
    // XOR (mode 2) twice restores the picture; text half outside is clipped.
    pxImgFill(1, 0x55);
    ASSERT_EQ(pxDrawText(1, -6, 20, "XOR", 0xFF, 0x02000000, nullptr, 16, 0, 400), 0);
    EXPECT_GT(pixelsOf(1, 0xAA).size(), 10u);
    ASSERT_EQ(pxDrawText(1, -6, 20, "XOR", 0xFF, 0x02000000, nullptr, 16, 0, 400), 0);
    EXPECT_EQ(pixelsOf(1, 0x55).size(), 80u * 30u);
    // Colour 0 on background 0 is white; on a colour image three bytes.
    pxImageNew(2, nullptr, 40, 20, 24, 0x10);
    ASSERT_EQ(pxDrawText(2, 0, 0, "W", 0, 0, nullptr, 18, 0, 700), 0);
    EXPECT_GT(pixelsOf(2, 0xFFFFFF).size(), 5u);
    EXPECT_EQ(pxDrawText(2, 0, 0, static_cast<const char*>(inaccessibleAddress()), 1, -1, nullptr, 0, 0, 0),
              -2);
    EXPECT_EQ(pxDrawText(5, 0, 0, "x", 1, -1, nullptr, 0, 0, 0), -1);
}

TEST_F(DrawTest, FontsAreCachedInTwoSlots)
{
    void* a = pxGetFont("DejaVu Sans", 12, 0, 400, 0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(pxGetFont("DejaVu Sans", 12, 0, 400, 0), a);
    void* b = pxGetFont("DejaVu Sans", 12, 0, 400, 1);
    EXPECT_NE(b, nullptr);
    EXPECT_NE(b, a);
    EXPECT_NE(pxGetFont("DejaVu Sans Mono", 12, 0, 400, 0), a);
    EXPECT_EQ(pxGetFont("DejaVu Sans", 12, 0, 400, 2), nullptr);
}

TEST_F(DrawTest, CharacterCellsForOneBitImages)
{
    std::vector<uint8_t> font(256 * 4, 0);
    // 'A': rows 0x81, 0x42, 0x24, 0x18; 'B': a full block.
    const uint8_t a[4] = {0x81, 0x42, 0x24, 0x18};
    std::copy(a, a + 4, font.begin() + 'A' * 4);
    std::fill(font.begin() + 'B' * 4, font.begin() + 'B' * 4 + 4, 0xFF);
    pxImageNew(1, nullptr, 24, 8, 1, 0x10);
    ASSERT_EQ(pxCharGen(1, "ABBA", 2, 2, font.data(), 8, 4, 1, 1), 0);
    // Cell (0, 0) 'A' at x 0, cell (1, 0) 'B' at x 8, the second row of cells from y 4.
    EXPECT_EQ(pxGetPixelValue(1, 0, 0), 1);
    EXPECT_EQ(pxGetPixelValue(1, 1, 0), 0);
    EXPECT_EQ(pxGetPixelValue(1, 7, 0), 1);
    EXPECT_EQ(pxGetPixelValue(1, 3, 3), 1);
    EXPECT_EQ(pxGetPixelValue(1, 8, 2), 1);
    EXPECT_EQ(pxGetPixelValue(1, 3, 4), 1);  // 'B' below 'A'
    EXPECT_EQ(pxGetPixelValue(1, 8, 4), 1);  // 'A' at the second cell of the row: 0x81
    EXPECT_EQ(pxGetPixelValue(1, 9, 4), 0);
    // Doubled: 16 x 8 cells, every pixel twice.
    pxImageNew(2, nullptr, 32, 8, 1, 0x10);
    ASSERT_EQ(pxCharGen(2, "A", 1, 1, font.data(), 8, 4, 1, 2), 0);
    for (int x = 0; x < 16; ++x)
        for (int y = 0; y < 8; ++y)
            EXPECT_EQ(pxGetPixelValue(2, x, y), (a[y / 2] >> (7 - x / 2)) & 1) << x << "," << y;
    // Other glyph formats and depths write nothing.
    pxImageNew(3, nullptr, 16, 8, 8, 0x10);
    EXPECT_EQ(pxCharGen(3, "A", 1, 1, font.data(), 8, 4, 1, 1), 0);
    EXPECT_EQ(pxGetPixelValue(3, 0, 0), 0);
    EXPECT_EQ(pxCharGen(1, "A", 1, 1, font.data(), 6, 4, 1, 1), 0);
    EXPECT_EQ(pxCharGen(1, "A", 1, 1, inaccessibleAddress(), 8, 4, 1, 1), -2);
    EXPECT_EQ(pxCharGen(9, "A", 1, 1, font.data(), 8, 4, 1, 1), -1);
}

}  // namespace
