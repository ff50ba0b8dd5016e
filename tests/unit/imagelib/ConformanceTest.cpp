// Files made by other programs read as another decoder reads them, and files we write
// read in another program as we meant them. Needs the public reference files beside the
// repository and ImageMagick's convert; each test skips when what it needs is missing.
#include "PixoryTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

using namespace pixorytest;
namespace fs = std::filesystem;

#define NEED_REFERENCE()  \
    if (!haveReference()) \
    GTEST_SKIP() << "no reference images"
#define NEED_IMAGEMAGICK()  \
    if (!haveImageMagick()) \
    GTEST_SKIP() << "ImageMagick's convert is not installed"

namespace {

class ConformanceTest : public PixoryTest {
protected:
    // GTEST_SKIP only leaves the function it stands in: the tests call these
    // through the macros below, which return from the test body too.
    static bool haveReference()
    {
        return !refImages().empty();
    }
    static bool haveImageMagick()
    {
        return !convertProgram().empty();
    }
    static std::vector<fs::path> filesIn(const std::string& dir, const std::string& extension)
    {
        std::vector<fs::path> files;
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().extension() == extension)
                files.push_back(e.path());
        std::sort(files.begin(), files.end());
        return files;
    }
    // Largest difference of any channel between our slot and convert's rgb:- output.
    static int differenceFromImageMagick(int number, const std::string& file)
    {
        std::vector<uint8_t> theirs;
        if (!runConvert("'" + file + "' -depth 8 rgb:-", &theirs))
            return 1000;
        const std::vector<Rgb> ours = slotAsRgb(number);
        if (theirs.size() != ours.size() * 3)
            return 2000;
        int worst = 0;
        for (size_t i = 0; i < ours.size(); ++i)
            worst =
                std::max({worst, std::abs(ours[i].r - theirs[3 * i]), std::abs(ours[i].g - theirs[3 * i + 1]),
                          std::abs(ours[i].b - theirs[3 * i + 2])});
        return worst;
    }
};

TEST_F(ConformanceTest, GoodBmpSuiteFilesMatchImageMagick)
{
    NEED_REFERENCE();
    NEED_IMAGEMAGICK();
    const auto files = filesIn(refImages() + "/bmp/bmpsuite/g", ".bmp");
    ASSERT_FALSE(files.empty());
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        ASSERT_NE(pxLoadBitmap(1, file.c_str()), nullptr);
        // Five-bit channels are widened by bit replication here and by rounding there.
        const int tolerance =
            pxGetBitPerPixel(1) == 16 || file.filename().string().starts_with("rgb16") ? 1 : 0;
        EXPECT_LE(differenceFromImageMagick(1, file.string()), tolerance);
    }
}

TEST_F(ConformanceTest, BadAndOddBmpFilesAreRefusedOrSurvived)
{
    NEED_REFERENCE();
    for (const char* sub : {"b", "q", "x"}) {
        const std::string dir = refImages() + "/bmp/bmpsuite/" + sub;
        if (!fs::is_directory(dir))
            continue;
        for (const fs::path& file : filesIn(dir, ".bmp")) {
            SCOPED_TRACE(file.string());
            if (pxLoadBitmap(1, file.c_str())) {
                EXPECT_GT(pxGetXSize(1), 0);
                EXPECT_GT(pxGetYSize(1), 0);
                slotAsRgb(1);  // every pixel readable
            } else {
                EXPECT_EQ(pxGetBitmapHeader(1), nullptr);
            }
        }
    }
    // The JPEG library's BMP sources are plain files too.
    for (const fs::path& file : filesIn(refImages() + "/bmp/misc", ".bmp")) {
        SCOPED_TRACE(file.string());
        ASSERT_NE(pxLoadBitmap(2, file.c_str()), nullptr);
        if (!convertProgram().empty()) {
            EXPECT_EQ(differenceFromImageMagick(2, file.string()), 0);
        }
    }
}

TEST_F(ConformanceTest, TiffSequenceFilesDecodeToTheirFormula)
{
    NEED_REFERENCE();
    const auto files = filesIn(refImages() + "/tiff/seq", ".tiff");
    ASSERT_FALSE(files.empty());
    int decoded = 0;
    for (const fs::path& file : files) {
        const std::string base = file.filename().string();
        SCOPED_TRACE(base);
        // seq-<channels>c-[i]<bits>b-<variant>-<hash>.tiff
        ASSERT_EQ(base.rfind("seq-", 0), 0u);
        const int channels = base[4] - '0';
        size_t at = 7;
        const bool signedSamples = base[at] == 'i';
        if (signedSamples)
            ++at;
        char* end = nullptr;
        const int bits = static_cast<int>(std::strtol(base.c_str() + at, &end, 10));
        const std::string variant = base.substr(static_cast<size_t>(end - base.c_str()));
        const bool unsupported =
            variant.find("lzw") != std::string::npos || variant.find("packbits") != std::string::npos ||
            variant.find("deflate") != std::string::npos || variant.find("tiled") != std::string::npos ||
            variant.find("fax") != std::string::npos || variant.find("bigtiff") != std::string::npos ||
            variant.find("rgba") != std::string::npos || channels == 4 ||
            signedSamples;  // signed samples are refused, not read as unsigned bits
        const bool loaded = pxLoadImage(1, file.c_str()) != nullptr;
        if (unsupported) {
            EXPECT_FALSE(loaded);
            EXPECT_EQ(pxGetBitmapHeader(1), nullptr);
            continue;
        }
        ASSERT_TRUE(loaded);
        ++decoded;
        ASSERT_EQ(pxGetXSize(1), 16);
        ASSERT_EQ(pxGetYSize(1), 16);
        const uint32_t mask = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const uint32_t v = static_cast<uint32_t>(pxGetPixelValue(1, x, y));
                if (signedSamples) {
                    // Signed samples keep their bit pattern; this file counts from -128.
                    ASSERT_EQ(static_cast<int16_t>(v), 16 * y + x - 128) << x << "," << y;
                } else if (channels == 1) {
                    ASSERT_EQ(v, (16u * y + x) & mask) << x << "," << y;
                } else {
                    const uint32_t i = 3u * (16 * y + x);
                    ASSERT_EQ(v >> 16, i & mask) << x << "," << y;
                    ASSERT_EQ((v >> 8) & 255, (i + 1) & mask);
                    ASSERT_EQ(v & 255, (i + 2) & mask);
                }
            }
    }
    EXPECT_GE(decoded, 8);
}

TEST_F(ConformanceTest, OtherTiffFilesAreReadOrRefused)
{
    NEED_REFERENCE();
    for (const char* sub : {"/tiff/libtiff-test", "/tiff/libtiff-pics"}) {
        const std::string dir = refImages() + sub;
        if (!fs::is_directory(dir))
            continue;
        for (const auto& entry : fs::directory_iterator(dir)) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".tif" && ext != ".tiff")
                continue;
            SCOPED_TRACE(entry.path().string());
            if (!pxLoadImage(1, entry.path().c_str()))
                continue;
            slotAsRgb(1);
            const std::string base = entry.path().filename().string();
            if (!convertProgram().empty() && (base == "minisblack-1c-8b.tiff" || base == "rgb-3c-8b.tiff")) {
                EXPECT_EQ(differenceFromImageMagick(1, entry.path().string()), 0);
            }
        }
    }
}

TEST_F(ConformanceTest, JpegTestImagesDecodeWithinTolerance)
{
    NEED_REFERENCE();
    const std::string dir = refImages() + "/jpeg/libjpeg-turbo";
    // The reference decoding of the baseline file, as a PPM beside it.
    ASSERT_NE(pxLoadImage(1, (dir + "/testorig.jpg").c_str()), nullptr);
    const std::vector<uint8_t> ppm = readFile(dir + "/testorig.ppm");
    const std::vector<Rgb> ours = slotAsRgb(1);
    const size_t pixels = ours.size();
    ASSERT_GE(ppm.size(), pixels * 3);
    const uint8_t* data = ppm.data() + (ppm.size() - pixels * 3);
    int worst = 0;
    for (size_t i = 0; i < pixels; ++i)
        worst = std::max({worst, std::abs(ours[i].r - data[3 * i]), std::abs(ours[i].g - data[3 * i + 1]),
                          std::abs(ours[i].b - data[3 * i + 2])});
    EXPECT_LE(worst, 4);  // the reference came from another IDCT and upsampler
    for (const char* name : {"testimgari.jpg", "testimgint.jpg"}) {
        SCOPED_TRACE(name);
        ASSERT_NE(pxLoadImage(2, (dir + "/" + name).c_str()), nullptr);
        if (!convertProgram().empty()) {
            EXPECT_LE(differenceFromImageMagick(2, dir + "/" + name), 2);
        }
    }
    // Twelve-bit samples are not for an 8-bit library: refused, not garbled.
    EXPECT_EQ(pxLoadImage(3, (dir + "/monkey12.jpg").c_str()), nullptr);
    EXPECT_EQ(pxGetBitmapHeader(3), nullptr);
}

TEST_F(ConformanceTest, FilesWeWriteReadTheSameInImageMagick)
{
    NEED_IMAGEMAGICK();
    pxImageNew(1, nullptr, 37, 21, 8, 0x10);
    fillPattern(1);
    pxSetPalette(1, 3);
    pxImageNew(2, nullptr, 37, 21, 24, 0x10);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 37; ++x)
            pxSetPixelValue(2, x, y, (x * 6 << 16) | (y * 12 << 8) | ((x + y) * 3));
    pxImageNew(3, nullptr, 37, 21, 4, 0x10);
    pxImageNew(4, nullptr, 37, 21, 1, 0x10);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 37; ++x) {
            pxSetPixelValue(3, x, y, x + y);
            pxSetPixelValue(4, x, y, (x ^ y) & 1);
        }
    pxSetPalette(3, 2);
    struct Case {
        int number;
        const char* name;
        int flags;
        int tolerance;
    } cases[] = {{1, "p8.bmp", 0, 0},
                 {1, "p8rle.bmp", 1 | (1 << 8), 0},
                 {2, "c.bmp", 0, 0},
                 {3, "p4.bmp", 0, 0},
                 {4, "p1.bmp", 0, 0},
                 {2, "c.tif", 0, 0},
                 {2, "c.png", 0, 0},
                 {1, "p8.png", 0, 0},
                 {2, "c.jpg", 4 | (95 << 8), 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(pxSaveImage(c.number, path(c.name).c_str(), c.flags), 1);
        EXPECT_LE(differenceFromImageMagick(c.number, path(c.name)), c.tolerance);
    }
    // Grey TIFFs: 8 bits of the display and 16 bits of the plane.
    pxImageNew(5, nullptr, 9, 7, 8, 0x10);
    fillPattern(5);
    ASSERT_EQ(pxSaveImage(5, path("g.tif").c_str(), 0), 1);
    std::vector<uint8_t> grey;
    ASSERT_TRUE(runConvert(path("g.tif") + " -depth 8 gray:-", &grey));
    ASSERT_EQ(grey.size(), 63u);
    for (int i = 0; i < 63; ++i)
        EXPECT_EQ(grey[i], pxGetPixelValue(5, i % 9, i / 9));
    auto* plane = static_cast<uint16_t*>(pxImageNew(6, nullptr, 9, 7, 16, 0x10));
    for (int i = 0; i < 63; ++i)
        plane[i] = static_cast<uint16_t>(i * 1000 + 5);
    ASSERT_EQ(pxSaveImage(6, path("w.tif").c_str(), 2), 1);
    std::vector<uint8_t> words;
    ASSERT_TRUE(runConvert(path("w.tif") + " -depth 16 -endian LSB gray:-", &words));
    ASSERT_EQ(words.size(), 126u);
    for (int i = 0; i < 63; ++i)
        EXPECT_EQ(words[2 * i] | (words[2 * i + 1] << 8), i * 1000 + 5);
}

}  // namespace
