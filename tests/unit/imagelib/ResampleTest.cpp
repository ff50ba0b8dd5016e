// Resizing and rotating: every interpolation against a pixel-by-pixel rendering of its
// fixed-point arithmetic, OpenCV's remap on the same positions, the edge rules, 16-bit
// planes, the creation rules of pxResizeImage and scaled buffer rectangles.
#include "GeometryTestSupport.h"
#include "PixoryTestSupport.h"

#include <cmath>
#include <cstring>
#include <random>

using namespace pixorytest;

namespace {

class ResampleTest : public PixoryTest {};

// A picture whose neighbours differ by little, so that OpenCV's 1/32 position steps
// change no value by more than a fraction of a level.
std::vector<uint8_t> smooth(int w, int h, int channels)
{
    std::vector<uint8_t> v(static_cast<size_t>(w) * h * channels);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c)
                v[(static_cast<size_t>(y) * w + x) * channels + c] =
                    static_cast<uint8_t>(127.5 + 120 * std::sin(x * 0.07 + c) * std::cos(y * 0.05 - c * 0.5));
    return v;
}

// ---- The arithmetic, written out pixel by pixel

struct Picture {
    std::vector<int> v;  // samples, top row first
    int w, h, c;
    int at(int x, int y, int ch) const
    {
        return v[(static_cast<size_t>(y) * w + x) * c + ch];
    }
};

struct Map16 {
    int64_t x0, y0, dxc, dyc, dxr, dyr;
};

Map16 fixedMap(int w, int h, int dw, int dh, double sx, double sy, double deg, double shx, double shy,
               bool origin)
{
    const double a = deg * M_PI / 180, cs = std::cos(a), sn = std::sin(a);
    double x0 = 0, y0 = 0;
    if (!origin) {
        x0 = (w - 1) * (1 - dw * cs / sx / w) / 2 - (h - 1.0) * dh * (-sn / sx) / 2 / h;
        y0 = (h - 1) * (1 - dh * cs / sy / h) / 2 - double(dw) * (w - 1) * (sn / sy) / 2 / w;
    }
    x0 += shx;
    y0 += shy;
    auto f = [](double v) { return std::llround(v * 65536); };
    return {f(x0) + 24576, f(y0) + 24576, f(cs / sx), f(sn / sy), f(-sn / sx), f(cs / sy)};
}

int cubic(int pm, int p0, int p1, int p2, int t)
{
    const int64_t a3 = 3 * p0 + p2 - 3 * p1 - pm, a2 = 2 * pm + 4 * p1 - 5 * p0 - p2;
    const int64_t higher = (t * (((t * a3) >> 6) + 4 * a2)) >> 8;
    return static_cast<int>(p0 + (((higher + 4 * (p1 - pm)) * t + 1024) >> 11));
}
int lerp(int a, int b, int f)
{
    return a + (((b - a) * f + 128) >> 8);
}

// The value of channel ch at a 16.16 position; -1 when it stays unwritten.
int referenceSample(const Picture& s, int64_t sx, int64_t sy, int mode, int outside, int ch, int maximum)
{
    int64_t ix = sx >> 16, iy = sy >> 16;
    if (ix < 0 || iy < 0 || ix >= s.w || iy >= s.h) {
        if (outside & 0x200)
            return -1;
        if (!(outside & 0x100))
            return 0;
        return s.at(static_cast<int>(std::clamp<int64_t>(ix, 0, s.w - 1)),
                    static_cast<int>(std::clamp<int64_t>(iy, 0, s.h - 1)), ch);
    }
    const int x = static_cast<int>(ix), y = static_cast<int>(iy);
    const int fx = static_cast<int>((sx >> 8) & 255), fy = static_cast<int>((sy >> 8) & 255);
    auto bilinear = [&] {
        const int x1 = std::min(x + 1, s.w - 1), y1 = std::min(y + 1, s.h - 1);
        return lerp(lerp(s.at(x, y, ch), s.at(x1, y, ch), fx), lerp(s.at(x, y1, ch), s.at(x1, y1, ch), fx),
                    fy);
    };
    if (mode == 2)
        return bilinear();
    if (mode == 0) {
        if (x >= 1 && y >= 1 && x <= s.w - 3 && y <= s.h - 3) {
            int r[4];
            for (int k = 0; k < 4; ++k)
                r[k] = cubic(s.at(x - 1, y - 1 + k, ch), s.at(x, y - 1 + k, ch), s.at(x + 1, y - 1 + k, ch),
                             s.at(x + 2, y - 1 + k, ch), fx);
            return std::clamp(cubic(r[0], r[1], r[2], r[3], fy), 0, maximum);
        }
        if (x <= s.w - 2 && y <= s.h - 2)
            return bilinear();
    }
    return s.at(x, y, ch);
}

// The whole destination by the fixed-point modes (0, 1, 2); unwritten pixels keep prior.
Picture referenceResample(const Picture& s, int dw, int dh, const Map16& m, int mode, int outside,
                          const Picture& prior, int maximum = 255)
{
    Picture d = prior;
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x)
            for (int ch = 0; ch < s.c; ++ch) {
                const int v = referenceSample(s, m.x0 + x * m.dxc + y * m.dxr, m.y0 + x * m.dyc + y * m.dyr,
                                              mode, outside, ch, maximum);
                if (v >= 0)
                    d.v[(static_cast<size_t>(y) * dw + x) * s.c + ch] = v;
            }
    return d;
}

Picture pictureOf(int n)
{
    const std::vector<uint8_t> bytes = topDownBytes(n);
    return {std::vector<int>(bytes.begin(), bytes.end()), pxGetXSize(n), pxGetYSize(n),
            pxGetBitPerPixel(n) / 8};
}

// ---- Tests

TEST_F(ResampleTest, NearestAtScaleOneReproducesTheSourceInEveryRowOrder)
{
    for (int flags : {0x10, 0x11}) {
        for (int bits : {8, 24}) {
            SCOPED_TRACE(flags);
            pxImageNew(1, nullptr, 37, 23, bits, flags);
            pxImageNew(2, nullptr, 37, 23, bits, flags ^ 1);  // the other row order
            const std::vector<uint8_t> source = noise(static_cast<size_t>(37) * 23 * bits / 8, 5);
            setTopDownBytes(1, source);
            ASSERT_EQ(pxResizeRotate(1, 2, 1, 1, 0, 0, 0, 0x10 << 12), 0);
            EXPECT_EQ(topDownBytes(2), source);
            // The identity mode (14) does the same without any arithmetic.
            pxImgFill(2, 0);
            ASSERT_EQ(pxResizeRotate(1, 2, 3, 0.2, 45, 9, 9, 0xE0 << 12), 0);
            EXPECT_EQ(topDownBytes(2), source);
        }
    }
}

TEST_F(ResampleTest, FixedPointInterpolationsMatchTheirArithmeticPixelForPixel)
{
    struct Case {
        int sw, sh, dw, dh, bits;
        double sx, sy, angle, shx, shy;
        int core;
    };
    const Case cases[] = {
        // Pure scaling (rows first, then columns), up and down, each interpolation.
        {40, 30, 97, 61, 8, 97 / 40.0, 61 / 30.0, 0, 0, 0, 0x00},
        {40, 30, 17, 11, 8, 17 / 40.0, 11 / 30.0, 0, 0, 0, 0x20},
        {40, 30, 97, 61, 24, 2.3, 1.9, 0, 0.7, -2.2, 0x10},
        {41, 33, 64, 64, 24, 1.7, 1.3, 0, -3, 4, 0x00},
        // Bilinear rows of bytes: evenly stepped (scales 1/2 and 1) and gathered columns.
        {100, 60, 50, 30, 8, 0.5, 0.5, 0, 0, 0, 0x20},
        {70, 40, 70, 40, 8, 1, 1, 0, 0.3, 0.6, 0x20},
        {90, 50, 61, 37, 24, 61 / 90.0, 37 / 50.0, 0, 0, 0, 0x20},
        // Rotations, with the outside rules and a given origin.
        {50, 40, 70, 60, 8, 1.3, 1.3, 10, 0, 0, 0x00},
        {50, 40, 70, 60, 8, 0.9, 1.1, -33, 2.5, 1, 0x20 | 0x100},
        {50, 40, 70, 60, 24, 1, 1, 90, 0, 0, 0x10 | 0x200},
        {50, 40, 70, 60, 24, 1.5, 0.8, 200, 10, -5, 0x02 | 0x20},
        {23, 19, 60, 50, 8, -1.4, 2, 17, 0, 0, 0x00 | 0x100},
        // Large enough that the rows are split over the cores.
        {300, 200, 700, 400, 8, 700 / 300.0, 2, 0, 0, 0, 0x00},
        {300, 200, 700, 400, 24, 2, 2, 5, 0, 0, 0x20},
        {300, 200, 700, 400, 8, 2, 2, 5, 0, 0, 0x00},
        {300, 200, 700, 400, 8, 1.9, 2.1, -7, 0, 0, 0x20},
        // A source too small for the cubic interior: only its edge rules apply.
        {3, 2, 9, 7, 8, 3, 3, 12, 0, 0, 0x00},
    };
    int seed = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh << " angle "
                                        << c.angle << " core 0x" << std::hex << c.core);
        pxImageNew(1, nullptr, c.sw, c.sh, c.bits, 0x10 | (seed & 1));
        pxImageNew(2, nullptr, c.dw, c.dh, c.bits, 0x10);
        setTopDownBytes(1, noise(static_cast<size_t>(c.sw) * c.sh * c.bits / 8, seed++));
        pxImgFill(2, 77);  // what pixels that are not written keep
        const Picture prior = pictureOf(2);
        ASSERT_EQ(pxResizeRotate(1, 2, c.sx, c.sy, c.angle, c.shx, c.shy, c.core << 12), 0);
        const Map16 m = fixedMap(c.sw, c.sh, c.dw, c.dh, c.sx, c.sy, c.angle, c.shx, c.shy, c.core & 2);
        const Picture expected =
            referenceResample(pictureOf(1), c.dw, c.dh, m, (c.core >> 4) & 15, c.core, prior);
        const Picture got = pictureOf(2);
        size_t wrong = 0;
        for (size_t i = 0; i < got.v.size(); ++i)
            wrong += got.v[i] != expected.v[i];
        EXPECT_EQ(wrong, 0u);
    }
}

// The integer cubic is the Catmull-Rom kernel: within the two roundings of its stages
// of it in floating point at the same 1/256 fractions.
TEST_F(ResampleTest, CubicIsCatmullRom)
{
    pxImageNew(1, nullptr, 30, 30, 8, 0x10);
    pxImageNew(2, nullptr, 41, 37, 8, 0x10);
    setTopDownBytes(1, smooth(30, 30, 1));
    ASSERT_EQ(pxResizeRotate(1, 2, 1.3, 1.1, 14, 0, 0, 0), 0);
    const Picture s = pictureOf(1), d = pictureOf(2);
    const Map16 m = fixedMap(30, 30, 41, 37, 1.3, 1.1, 14, 0, 0, false);
    auto kernel = [](double pm, double p0, double p1, double p2, double t) {
        return p0 + 0.5 * t * (p1 - pm) + t * t * (pm - 2.5 * p0 + 2 * p1 - 0.5 * p2) +
               t * t * t * (-0.5 * pm + 1.5 * p0 - 1.5 * p1 + 0.5 * p2);
    };
    int checked = 0;
    for (int y = 0; y < 37; ++y)
        for (int x = 0; x < 41; ++x) {
            const int64_t px = m.x0 + x * m.dxc + y * m.dxr, py = m.y0 + x * m.dyc + y * m.dyr;
            const int ix = static_cast<int>(px >> 16), iy = static_cast<int>(py >> 16);
            if (ix < 1 || iy < 1 || ix > 27 || iy > 27)
                continue;
            const double tx = ((px >> 8) & 255) / 256.0, ty = ((py >> 8) & 255) / 256.0;
            double r[4];
            for (int k = 0; k < 4; ++k)
                r[k] = kernel(s.at(ix - 1, iy - 1 + k, 0), s.at(ix, iy - 1 + k, 0),
                              s.at(ix + 1, iy - 1 + k, 0), s.at(ix + 2, iy - 1 + k, 0), tx);
            EXPECT_NEAR(d.at(x, y, 0), std::clamp(kernel(r[0], r[1], r[2], r[3], ty), 0.0, 255.0), 1.5);
            ++checked;
        }
    EXPECT_GT(checked, 800);
}

TEST_F(ResampleTest, FloatingPointModesFollowTheUnroundedPositions)
{
    pxImageNew(1, nullptr, 20, 16, 8, 0x10);
    pxImageNew(2, nullptr, 31, 27, 8, 0x10);
    setTopDownBytes(1, noise(20 * 16, 9));
    const Picture s = pictureOf(1);
    const double scale = 1.37, angle = 21 * M_PI / 180;
    // Nearest in floating point (any mode number without its own meaning, here 5).
    ASSERT_EQ(pxResizeRotate(1, 2, scale, scale, 21, 0, 0, (0x50 | 2) << 12), 0);
    Picture got = pictureOf(2);
    auto position = [&](int x, int y, double* sx, double* sy) {
        *sx = 0.375 + x * std::cos(angle) / scale - y * std::sin(angle) / scale;
        *sy = 0.375 + x * std::sin(angle) / scale + y * std::cos(angle) / scale;
    };
    for (int y = 0; y < 27; ++y)
        for (int x = 0; x < 31; ++x) {
            double sx, sy;
            position(x, y, &sx, &sy);
            const int ix = static_cast<int>(std::floor(sx)), iy = static_cast<int>(std::floor(sy));
            const int want = ix >= 0 && iy >= 0 && ix < 20 && iy < 16 ? s.at(ix, iy, 0) : 0;
            ASSERT_EQ(got.at(x, y, 0), want) << x << "," << y;
        }
    // Bilinear in floating point: the weights of the position itself, rounded once.
    ASSERT_EQ(pxResizeRotate(1, 2, scale, scale, 21, 0, 0, (0x30 | 2) << 12), 0);
    got = pictureOf(2);
    for (int y = 0; y < 27; ++y)
        for (int x = 0; x < 31; ++x) {
            double sx, sy;
            position(x, y, &sx, &sy);
            const int ix = static_cast<int>(std::floor(sx)), iy = static_cast<int>(std::floor(sy));
            if (ix < 0 || iy < 0 || ix >= 19 || iy >= 15)
                continue;
            const double wx = sx - ix, wy = sy - iy;
            const double top = s.at(ix, iy, 0) * (1 - wx) + s.at(ix + 1, iy, 0) * wx;
            const double bottom = s.at(ix, iy + 1, 0) * (1 - wx) + s.at(ix + 1, iy + 1, 0) * wx;
            EXPECT_NEAR(got.at(x, y, 0), top + (bottom - top) * wy, 0.5 + 1e-9) << x << "," << y;
        }
}

TEST_F(ResampleTest, PlanesAreResampledAndMappedToTheDisplay)
{
    pxImageNew(1, nullptr, 30, 20, 12, 0x10);
    pxImageNew(2, nullptr, 45, 35, 12, 0x10);
    auto* plane = static_cast<uint16_t*>(pxGetImg16Data(1));
    std::mt19937 gen(3);
    for (int i = 0; i < 30 * 20; ++i)
        plane[i] = static_cast<uint16_t>(gen() & 0xFFF);
    // Method 3: the display is the plane shifted by depth - 8 bits.
    pxSetImg16Display(2, 3, 0, 0);
    ASSERT_EQ(pxResizeRotate(1, 2, 1.5, 1.75, 7, 0, 0, 0x100 << 12), 0);  // cubic, edge pixels outside
    Picture s{std::vector<int>(plane, plane + 600), 30, 20, 1};
    const Map16 m = fixedMap(30, 20, 45, 35, 1.5, 1.75, 7, 0, 0, false);
    const Picture want =
        referenceResample(s, 45, 35, m, 0, 0x100, Picture{std::vector<int>(45 * 35), 45, 35, 1}, 65535);
    const auto* out = static_cast<const uint16_t*>(pxGetImg16Data(2));
    for (int i = 0; i < 45 * 35; ++i) {
        ASSERT_EQ(out[i], want.v[static_cast<size_t>(i)]) << i;
        ASSERT_EQ(pxGetPixelValue(2, i % 45, i / 45), out[i]);
    }
    const auto* dib = static_cast<const uint8_t*>(pxGetBitmapData(2));
    const int stride = pxGetBytePerLine(2);
    EXPECT_EQ(dib[static_cast<size_t>(34) * stride + 3], out[3] >> 4);  // bottom-up DIB: top row last
}

TEST_F(ResampleTest, ResizeImageMakesTheDestinationItNeeds)
{
    pxImageNew(1, nullptr, 40, 30, 24, 0x10 | 0x1);
    setTopDownBytes(1, noise(40 * 30 * 3, 4));
    // Height in proportion, the source's flag word when the flags keep none.
    ASSERT_EQ(pxResizeImage(1, 3, 20, 0, 0x10 << 12, 0, 0, 0), 0);
    EXPECT_EQ(pxGetXSize(3), 20);
    EXPECT_EQ(pxGetYSize(3), 15);
    EXPECT_EQ(pxGetBitPerPixel(3), 24);
    EXPECT_EQ(pxSetImageFlags(3, -1), 0x11);
    // Nearest at exactly 1/2 takes every second pixel (positions 2x + 0.375).
    const Picture s = pictureOf(1), d = pictureOf(3);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 20; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(d.at(x, y, c), s.at(2 * x, 2 * y, c));
    // The flag word given (0x7000FFFF of flags); width < 1 keeps the source's width.
    ASSERT_EQ(pxResizeImage(1, 4, 0, 10, 0x10010 | 0x8000000, 0, 0, 0), 0);
    EXPECT_EQ(pxGetXSize(4), 40);
    EXPECT_EQ(pxGetYSize(4), 10);
    EXPECT_EQ(pxSetImageFlags(4, -1), 0x10);
    // With an angle both scales follow the larger side: 80 / 40.
    pxImageNew(5, nullptr, 80, 20, 24, 0x10);
    const Map16 m = fixedMap(40, 30, 80, 20, 2, 2, 30, 0, 0, false);
    ASSERT_EQ(pxResizeImage(1, 5, 80, 20, 0x20 << 12, 30, 0, 0), 0);
    const Picture want = referenceResample(s, 80, 20, m, 2, 0, pictureOf(5));
    EXPECT_EQ(pictureOf(5).v, want.v);
    // Into itself: the slot is re-created and the old picture read from a copy.
    ASSERT_EQ(pxResizeImage(1, 1, 20, 15, 0x10 << 12, 0, 0, 0), 0);
    EXPECT_EQ(pictureOf(1).v, d.v);
}

TEST_F(ResampleTest, BadRequestsChangeNothing)
{
    pxImageNew(1, nullptr, 10, 10, 8, 0x10);
    pxImageNew(2, nullptr, 10, 10, 24, 0x10);
    pxImageNew(3, nullptr, 10, 10, 8, 0x10);
    pxImageNew(4, nullptr, 16, 16, 1, 0x10);
    pxImgFill(3, 9);
    EXPECT_EQ(pxResizeRotate(1, 2, 1, 1, 0, 0, 0, 0), -1);  // bit counts differ
    EXPECT_EQ(pxResizeRotate(1, 7, 1, 1, 0, 0, 0, 0), -1);  // empty destination
    EXPECT_EQ(pxResizeRotate(4, 4, 1, 1, 0, 0, 0, 0), -1);  // below 8 bits
    EXPECT_EQ(pxResizeRotate(1, 3, 0, 1, 0, 0, 0, 0), -1);  // no scale
    EXPECT_EQ(pxResizeRotate(1, 3, 1, 1, NAN, 0, 0, 0), -1);
    EXPECT_EQ(pxResizeRotate(1, 3, 1e-9, 1, 0, 0, 0, 0), -1);  // 10^9 source pixels per pixel
    EXPECT_EQ(pxResizeRotate(1, 3, 1, 1, 0, 1e15, 0, 0), -1);
    EXPECT_EQ(pxResizeImage(9, 3, 5, 5, 0, 0, 0, 0), -1);
    EXPECT_EQ(pxResizeRotate(40, 3, 1, 1, 0, 0, 0, 0), -1);
    EXPECT_EQ(pictureOf(3).v, std::vector<int>(100, 9));
}

// OpenCV's remap on the very positions of the mapping: nearest exactly, bilinear within
// one level (OpenCV steps positions by 1/32, the core by 1/256).
TEST_F(ResampleTest, AgreesWithOpenCvOnTheSameInverseMapping)
{
    if (!pythonHas("cv2,numpy"))
        GTEST_SKIP() << "python3-opencv is not installed";
    struct Case {
        int bits;
        double scale, angle;
        int core;
    } cases[] = {
        {8, 0.8, 10, 0x20}, {24, 1.3, -25, 0x20}, {8, 0.5, 0, 0x20}, {8, 1.25, 33, 0x10}, {24, 2, 0, 0x10}};
    const int sw = 160, sh = 120, dw = 150, dh = 130;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, scale " << c.scale << ", angle " << c.angle);
        const int ch = c.bits / 8;
        pxImageNew(1, nullptr, sw, sh, c.bits, 0x10);
        pxImageNew(2, nullptr, dw, dh, c.bits, 0x10);
        const std::vector<uint8_t> picture =
            c.core == 0x10 ? noise(static_cast<size_t>(sw) * sh * ch, 8) : smooth(sw, sh, ch);
        setTopDownBytes(1, picture);
        ASSERT_EQ(pxResizeRotate(1, 2, c.scale, c.scale, c.angle, 0, 0, c.core << 12), 0);
        const Map16 m = fixedMap(sw, sh, dw, dh, c.scale, c.scale, c.angle, 0, 0, false);
        std::vector<float> mx(static_cast<size_t>(dw) * dh), my(mx.size());
        const bool nearest = c.core == 0x10;
        for (int y = 0; y < dh; ++y)
            for (int x = 0; x < dw; ++x) {
                const int64_t px = m.x0 + x * m.dxc + y * m.dxr, py = m.y0 + x * m.dyc + y * m.dyr;
                const size_t i = static_cast<size_t>(y) * dw + x;
                // Nearest: the truncated position, which OpenCV's rounding keeps.
                mx[i] = nearest ? static_cast<float>(px >> 16) : static_cast<float>(px / 65536.0);
                my[i] = nearest ? static_cast<float>(py >> 16) : static_cast<float>(py / 65536.0);
            }
        writeFile(path("src.raw"), picture);
        writeFile(path("mx.raw"), std::vector<uint8_t>(reinterpret_cast<uint8_t*>(mx.data()),
                                                       reinterpret_cast<uint8_t*>(mx.data() + mx.size())));
        writeFile(path("my.raw"), std::vector<uint8_t>(reinterpret_cast<uint8_t*>(my.data()),
                                                       reinterpret_cast<uint8_t*>(my.data() + my.size())));
        ASSERT_TRUE(
            runReference("remap.py", {nearest ? "nearest" : "linear", path("src.raw"), std::to_string(sw),
                                      std::to_string(sh), std::to_string(ch), path("mx.raw"), path("my.raw"),
                                      std::to_string(dw), std::to_string(dh), path("out.raw")}));
        const std::vector<uint8_t> theirs = readFile(path("out.raw"));
        const std::vector<uint8_t> ours = topDownBytes(2);
        ASSERT_EQ(theirs.size(), ours.size());
        int compared = 0, worst = 0;
        for (int y = 0; y < dh; ++y)
            for (int x = 0; x < dw; ++x) {
                const size_t i = static_cast<size_t>(y) * dw + x;
                // Where the 2 x 2 neighbourhood leaves the source, OpenCV blends in its
                // border colour and the core its edge pixel: those are not compared.
                const double fx = mx[i], fy = my[i];
                if (fx < 0 || fy < 0 || fx >= sw - (nearest ? 0 : 1) || fy >= sh - (nearest ? 0 : 1))
                    continue;
                for (int k = 0; k < ch; ++k) {
                    worst = std::max(worst, std::abs(int(ours[i * ch + k]) - int(theirs[i * ch + k])));
                    ++compared;
                }
            }
        EXPECT_GT(compared, 1000);
        EXPECT_LE(worst, nearest ? 0 : 1);
    }
}

TEST_F(ResampleTest, ScaledBufferRectanglesAreClippedMirroredAndChecked)
{
    pxImageNew(1, nullptr, 12, 10, 8, 0x10);
    pxImgFill(1, 0);
    const uint8_t rows[2][3] = {{1, 2, 3}, {4, 5, 6}};
    // Scale 1 copies rows; the part left of the image is cut off.
    ASSERT_EQ(pxSetSizedBitmapRect(1, rows, 3, 3, 2, -1, 8, 1.0, 0), 0);
    EXPECT_EQ(pxGetPixelValue(1, 0, 8), 2);
    EXPECT_EQ(pxGetPixelValue(1, 1, 9), 6);
    EXPECT_EQ(pxGetPixelValue(1, 2, 9), 0);
    // Mirrored in x and y.
    ASSERT_EQ(pxSetSizedBitmapRect(1, rows, 3, 3, 2, 0, 0, 1.0, 0x3000), 0);
    EXPECT_EQ(pxGetPixelValue(1, 0, 0), 6);
    EXPECT_EQ(pxGetPixelValue(1, 2, 1), 1);
    // Scale 2, nearest: every pixel doubled; the last covered pixels keep the edge.
    ASSERT_EQ(pxSetSizedBitmapRect(1, rows, 3, 3, 2, 4, 2, 2.0, 0x10), 0);
    const int want[4][6] = {{1, 1, 2, 2, 3, 3}, {1, 1, 2, 2, 3, 3}, {4, 4, 5, 5, 6, 6}, {4, 4, 5, 5, 6, 6}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(pxGetPixelValue(1, 4 + x, 2 + y), want[y][x]) << x << "," << y;
    // Scale 1.5 covers round(4.5) x 3 pixels.
    pxImgFill(1, 0);
    ASSERT_EQ(pxSetSizedBitmapRect(1, rows, 3, 3, 2, 0, 0, 1.5, 0x10), 0);
    EXPECT_NE(pxGetPixelValue(1, 4, 2), 0);
    EXPECT_EQ(pxGetPixelValue(1, 5, 0), 0);
    EXPECT_EQ(pxGetPixelValue(1, 0, 3), 0);
    // Bad buffers and scales; nothing written.
    EXPECT_EQ(pxSetSizedBitmapRect(1, inaccessibleAddress(), 3, 3, 2, 0, 0, 2.0, 0), -2);
    EXPECT_EQ(pxSetSizedBitmapRect(1, rows, 3, 3, 2, 0, 0, 0.0, 0), -1);
    EXPECT_EQ(pxSetSizedBitmapRect(8, rows, 3, 3, 2, 0, 0, 1.0, 0), -1);
    // An image with a 16-bit plane takes 16-bit values unless flags bit 2.
    pxImageNew(2, nullptr, 4, 4, 16, 0x10);
    const uint16_t words[2] = {1000, 60000};
    ASSERT_EQ(pxSetSizedBitmapRect(2, words, 4, 2, 1, 1, 1, 1.0, 0), 0);
    EXPECT_EQ(pxGetPixelValue(2, 2, 1), 60000);
}

}  // namespace
