// JPEG and PNG files: round trips, quality and sampling, comments, damaged files.
#include "PixoryTestSupport.h"

#include <sys/resource.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <filesystem>

using namespace pixorytest;

namespace {

class JpegPngTest : public PixoryTest {
protected:
    // A smooth 24-bit picture that JPEG keeps well.
    void smoothColour(int number, int w, int h)
    {
        pxImageNew(number, nullptr, w, h, 24, 0x10);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                pxSetPixelValue(number, x, y, ((x * 255 / w) << 16) | ((y * 255 / h) << 8) | 128);
    }
    static int maxChannelDifference(int a, int b)
    {
        int worst = 0;
        for (int y = 0; y < pxGetYSize(a); ++y)
            for (int x = 0; x < pxGetXSize(a); ++x) {
                const int p = pxGetPixelValue(a, x, y), q = pxGetPixelValue(b, x, y);
                for (int s = 0; s < 24; s += 8)
                    worst = std::max(worst, std::abs(((p >> s) & 255) - ((q >> s) & 255)));
            }
        return worst;
    }
};

// Sampling factors of the first component in the frame header.
int firstSampling(const std::vector<uint8_t>& f)
{
    for (size_t i = 2; i + 11 < f.size(); ++i)
        if (f[i] == 0xFF && (f[i + 1] == 0xC0 || f[i + 1] == 0xC1 || f[i + 1] == 0xC2))
            return f[i + 11];
    return -1;
}

TEST_F(JpegPngTest, JpegRoundTripWithinTolerance)
{
    smoothColour(1, 64, 48);
    ASSERT_EQ(pxSaveImage(1, path("c.jpg").c_str(), 4 | (95 << 8)), 1);
    ASSERT_NE(pxLoadImage(2, path("c.jpg").c_str()), nullptr);
    EXPECT_EQ(pxGetBitPerPixel(2), 24);
    EXPECT_LE(maxChannelDifference(1, 2), 8);

    pxImageNew(3, nullptr, 33, 17, 8, 0x10);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 33; ++x)
            pxSetPixelValue(3, x, y, x * 7 + y);
    ASSERT_EQ(pxSaveImage(3, path("g.jpg").c_str(), 4 | (90 << 8)), 1);
    ASSERT_NE(pxLoadImage(4, path("g.jpg").c_str()), nullptr);
    EXPECT_EQ(pxGetBitPerPixel(4), 8);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 33; ++x)
            ASSERT_NEAR(pxGetPixelValue(4, x, y), x * 7 + y, 10);

    pxImageNew(5, nullptr, 8, 8, 1, 0x10);
    EXPECT_EQ(pxSaveImage(5, path("one.jpg").c_str(), 4), 0);  // only 8 and 24 bits
}

TEST_F(JpegPngTest, QualityAndSamplingFromFlagsAndName)
{
    smoothColour(1, 32, 32);
    ASSERT_EQ(pxSaveImage(1, path("q50.jpg").c_str(), 4 | (50 << 8)), 1);
    EXPECT_EQ(firstSampling(readFile(path("q50.jpg"))), 0x22);  // below 70: halved
    ASSERT_EQ(pxSaveImage(1, path("q90.jpg").c_str(), 4 | (90 << 8)), 1);
    EXPECT_EQ(firstSampling(readFile(path("q90.jpg"))), 0x11);
    // The quality stays for later writes.
    ASSERT_EQ(pxSaveImage(1, path("again.jpg").c_str(), 4), 1);
    EXPECT_EQ(firstSampling(readFile(path("again.jpg"))), 0x11);
    // Name options are cut from the name.
    ASSERT_EQ(pxSaveImage(1, (path("opt.jpg") + "@95l").c_str(), 4), 1);
    EXPECT_EQ(firstSampling(readFile(path("opt.jpg"))), 0x22);
    ASSERT_EQ(pxSaveImage(1, path("low@40h.jpg").c_str(), 0), 1);
    EXPECT_EQ(firstSampling(readFile(path("low.jpg"))), 0x11);
    ASSERT_EQ(pxSaveImage(1, (path("tail.jpg") + "30").c_str(), 4), 1);
    EXPECT_EQ(firstSampling(readFile(path("tail.jpg"))), 0x22);
    EXPECT_LT(readFile(path("tail.jpg")).size(), readFile(path("opt.jpg")).size());
}

TEST_F(JpegPngTest, JpegCommentBecomesTheLastComment)
{
    smoothColour(1, 16, 16);
    pxSaveImage(1, path("plain.jpg").c_str(), 4);
    std::vector<uint8_t> f = readFile(path("plain.jpg"));
    const std::string text = "measured at noon";
    std::vector<uint8_t> marker = {0xFF, 0xFE, 0, static_cast<uint8_t>(text.size() + 2)};
    marker.insert(marker.end(), text.begin(), text.end());
    f.insert(f.begin() + 2, marker.begin(), marker.end());
    writeFile(path("comment.jpg"), f);
    ASSERT_NE(pxLoadImage(2, path("comment.jpg").c_str()), nullptr);
    EXPECT_STREQ(pxGetLastComment(), text.c_str());
    ASSERT_NE(pxLoadImage(2, path("plain.jpg").c_str()), nullptr);
    EXPECT_STREQ(pxGetLastComment(), "");
}

TEST_F(JpegPngTest, DamagedJpegFilesFail)
{
    smoothColour(1, 64, 64);
    pxSaveImage(1, path("ok.jpg").c_str(), 4);
    const std::vector<uint8_t> f = readFile(path("ok.jpg"));
    auto refused = [&](const std::vector<uint8_t>& bytes, const char* what) {
        pxImageNew(2, nullptr, 2, 2, 8, 0x10);
        writeFile(path("bad.jpg"), bytes);
        EXPECT_EQ(pxLoadImage(2, path("bad.jpg").c_str()), nullptr) << what;
        EXPECT_EQ(pxGetBitmapHeader(2), nullptr) << what;
    };
    refused(std::vector<uint8_t>(f.begin(), f.begin() + f.size() * 2 / 3), "truncated data");
    refused(std::vector<uint8_t>(f.begin(), f.begin() + 100), "truncated header");
    refused({0xFF, 0xD8, 0xFF}, "three bytes");
    refused(std::vector<uint8_t>(500, 0x42), "not a jpeg");
    // Damage in the middle of the data either fails or gives an image; never a crash.
    for (size_t at = f.size() / 3; at < f.size(); at += f.size() / 7) {
        std::vector<uint8_t> v = f;
        v[at] ^= 0x5A;
        writeFile(path("flip.jpg"), v);
        pxLoadImage(3, path("flip.jpg").c_str());
    }
}

TEST_F(JpegPngTest, PngIsWrittenAsPngAndReadBack)
{
    smoothColour(1, 20, 10);
    ASSERT_EQ(pxSaveImage(1, path("c.png").c_str(), 0), 1);
    const std::vector<uint8_t> f = readFile(path("c.png"));
    ASSERT_GT(f.size(), 8u);
    EXPECT_EQ(std::memcmp(f.data(), "\x89PNG\r\n\x1a\n", 8), 0);
    ASSERT_NE(pxLoadImage(2, path("c.png").c_str()), nullptr);
    EXPECT_EQ(maxChannelDifference(1, 2), 0);

    // Grey, colour table, sub-byte and plane images.
    pxImageNew(3, nullptr, 9, 5, 8, 0x10);
    fillPattern(3);
    ASSERT_EQ(pxSaveImage(3, path("g.png").c_str(), 0), 1);
    ASSERT_NE(pxLoadImage(4, path("g.png").c_str()), nullptr);
    EXPECT_EQ(slotAsRgb(4), slotAsRgb(3));
    pxSetPalette(3, 3);
    ASSERT_EQ(pxSaveImage(3, path("p.png").c_str(), 0), 1);
    ASSERT_NE(pxLoadImage(4, path("p.png").c_str()), nullptr);
    EXPECT_EQ(slotAsRgb(4), slotAsRgb(3));
    pxImageNew(5, nullptr, 11, 3, 1, 0x10);
    pxSetPixelValue(5, 10, 2, 1);
    ASSERT_EQ(pxSaveImage(5, path("b.png").c_str(), 0), 1);
    ASSERT_NE(pxLoadImage(6, path("b.png").c_str()), nullptr);
    EXPECT_EQ(slotAsRgb(6), slotAsRgb(5));
    auto* plane = static_cast<uint16_t*>(pxImageNew(7, nullptr, 4, 3, 16, 0x10));
    for (int i = 0; i < 12; ++i)
        plane[i] = static_cast<uint16_t>(5000 * i + 3);
    ASSERT_EQ(pxSaveImage(7, path("w.png").c_str(), 0), 1);
    ASSERT_NE(pxLoadImage(8, path("w.png").c_str()), nullptr);
    ASSERT_NE(pxGetImg16Data(8), nullptr);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(pxGetPixelValue(8, i % 4, i / 4), 5000 * i + 3);

    std::vector<uint8_t> imageMagick;
    if (runConvert(path("c.png") + " rgb:-", &imageMagick)) {
        ASSERT_EQ(imageMagick.size(), 20u * 10 * 3);
        const std::vector<Rgb> ours = slotAsRgb(1);
        for (size_t i = 0; i < ours.size(); ++i)
            ASSERT_EQ((Rgb{imageMagick[3 * i], imageMagick[3 * i + 1], imageMagick[3 * i + 2]}), ours[i]);
    }
}

TEST_F(JpegPngTest, DamagedPngFilesFail)
{
    pxImageNew(1, nullptr, 64, 64, 8, 0x10);
    fillPattern(1);
    pxSaveImage(1, path("ok.png").c_str(), 0);
    const std::vector<uint8_t> f = readFile(path("ok.png"));
    auto refused = [&](const std::vector<uint8_t>& bytes, const char* what) {
        pxImageNew(2, nullptr, 2, 2, 8, 0x10);
        writeFile(path("bad.png"), bytes);
        EXPECT_EQ(pxLoadImage(2, path("bad.png").c_str()), nullptr) << what;
        EXPECT_EQ(pxGetBitmapHeader(2), nullptr) << what;
    };
    refused(std::vector<uint8_t>(f.begin(), f.end() - 20), "truncated");
    refused(std::vector<uint8_t>(f.begin(), f.begin() + 30), "header only");
    std::vector<uint8_t> v = f;
    v[20] ^= 1;  // inside IHDR: its checksum no longer matches
    refused(v, "bad checksum");
    v = f;
    v[16] = 0x7F;  // width of 2 billion
    refused(v, "absurd width");
}

// A text chunk that inflates to 200 MiB: the pixels load, the text is not
// kept, and the memory stays small.
TEST_F(JpegPngTest, HugeTextChunkDoesNotExhaustMemory)
{
    auto chunk = [](const char* type, const std::vector<uint8_t>& data) {
        std::vector<uint8_t> c;
        for (int i = 3; i >= 0; --i)
            c.push_back(static_cast<uint8_t>(data.size() >> (8 * i)));
        c.insert(c.end(), type, type + 4);
        c.insert(c.end(), data.begin(), data.end());
        uLong crc = crc32(0, reinterpret_cast<const Bytef*>(c.data() + 4), static_cast<uInt>(c.size() - 4));
        for (int i = 3; i >= 0; --i)
            c.push_back(static_cast<uint8_t>(crc >> (8 * i)));
        return c;
    };
    auto deflate = [](const std::vector<uint8_t>& in) {
        uLongf size = compressBound(static_cast<uLong>(in.size()));
        std::vector<uint8_t> out(size);
        compress2(out.data(), &size, in.data(), static_cast<uLong>(in.size()), 9);
        out.resize(size);
        return out;
    };
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto add = [&](const std::vector<uint8_t>& c) { png.insert(png.end(), c.begin(), c.end()); };
    add(chunk("IHDR", {0, 0, 0, 2, 0, 0, 0, 2, 8, 0, 0, 0, 0}));
    std::vector<uint8_t> text = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0};
    const std::vector<uint8_t> packed = deflate(std::vector<uint8_t>(size_t{200} << 20, 0));
    text.insert(text.end(), packed.begin(), packed.end());
    add(chunk("zTXt", text));
    add(chunk("IDAT", deflate({0, 0x10, 0x20, 0, 0x30, 0x40})));
    add(chunk("IEND", {}));
    writeFile(path("bomb.png"), png);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    ASSERT_NE(pxLoadImage(1, path("bomb.png").c_str()), nullptr);
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024);  // kilobytes
    EXPECT_EQ(pxGetPixelValue(1, 1, 1), 0x40);
}

}  // namespace
