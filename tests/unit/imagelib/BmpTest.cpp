// BMP files: the writer's layout, round trips, header variants, run-length data, bad files.
#include "PixoryTestSupport.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <unistd.h>

using namespace pixorytest;

namespace {

class BmpTest : public PixoryTest {};

uint32_t get32(const std::vector<uint8_t>& v, size_t at)
{
    return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) | (uint32_t{v[at + 3]} << 24);
}

// A 5 x 3 8-bit image: pixel (x, y) = 10 y + x, entry i = (i, 2i, 255 - i), in any of the
// header forms a file may use.
struct BmpForm {
    uint32_t headerSize = 40;  // 12 (OS/2), 40, 108, 124
    bool topDown = false;
    uint32_t gap = 0;          // bytes between the table and the pixels
    uint32_t coloursUsed = 0;  // 0: all 256
};

std::vector<uint8_t> makeBmp(const BmpForm& f)
{
    const int w = 5, h = 3, stride = 8;
    const uint32_t entries = f.coloursUsed ? f.coloursUsed : 256;
    const uint32_t entrySize = f.headerSize == 12 ? 3 : 4;
    const uint32_t tableEnd = 14 + f.headerSize + entries * entrySize;
    const uint32_t offBits = tableEnd + f.gap;
    std::vector<uint8_t> v(offBits + stride * h, 0xEE);
    v[0] = 'B';
    v[1] = 'M';
    put32(v, 2, static_cast<uint32_t>(v.size()));
    put32(v, 6, 0);
    put32(v, 10, offBits);
    std::fill(v.begin() + 14, v.begin() + 14 + f.headerSize, 0);
    put32(v, 14, f.headerSize);
    if (f.headerSize == 12) {
        put16(v, 18, w);
        put16(v, 20, h);
        put16(v, 22, 1);
        put16(v, 24, 8);
    } else {
        put32(v, 18, w);
        put32(v, 22, f.topDown ? static_cast<uint32_t>(-h) : h);
        put16(v, 26, 1);
        put16(v, 28, 8);
        put32(v, 46, f.coloursUsed);
    }
    for (uint32_t i = 0; i < entries; ++i) {
        uint8_t* e = &v[14 + f.headerSize + i * entrySize];
        e[0] = static_cast<uint8_t>(255 - i);
        e[1] = static_cast<uint8_t>(2 * i);
        e[2] = static_cast<uint8_t>(i);
        if (entrySize == 4)
            e[3] = 0;
    }
    for (int r = 0; r < h; ++r) {
        const int y = f.topDown ? r : h - 1 - r;
        for (int x = 0; x < stride; ++x)
            v[offBits + r * stride + x] = x < w ? static_cast<uint8_t>(10 * y + x) : 0;
    }
    return v;
}

void expectFormImage(int number)
{
    ASSERT_EQ(pxGetXSize(number), 5);
    ASSERT_EQ(pxGetYSize(number), 3);
    ASSERT_EQ(pxGetBitPerPixel(number), 8);
    const auto* block = static_cast<const uint8_t*>(pxGetBitmapHeader(number));
    EXPECT_EQ(get32(std::vector<uint8_t>(block, block + 40), 0), 40u);  // normalised header
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(pxGetPixelValue(number, x, y), 10 * y + x) << x << "," << y;
    const uint8_t* table = block + 40;
    EXPECT_EQ(table[4 * 21], 255 - 21);
    EXPECT_EQ(table[4 * 21 + 1], 42);
    EXPECT_EQ(table[4 * 21 + 2], 21);
}

TEST_F(BmpTest, WriterLayoutIsBottomUpWhateverTheSlotOrder)
{
    pxImageNew(1, nullptr, 5, 3, 8, 0x11);  // top-down slot
    fillPattern(1);
    ASSERT_EQ(pxSaveBitmap(1, path("a.bmp").c_str()), 1);
    const std::vector<uint8_t> f = readFile(path("a.bmp"));
    ASSERT_EQ(f.size(), 14u + 40 + 1024 + 8 * 3);
    EXPECT_EQ(f[0], 'B');
    EXPECT_EQ(get32(f, 2), f.size());
    EXPECT_EQ(get32(f, 10), 14u + 40 + 1024);
    EXPECT_EQ(get32(f, 14), 40u);
    EXPECT_EQ(get32(f, 14 + 20), 24u);  // image size stored
    // The first row in the file is the bottom row of the picture.
    EXPECT_EQ(f[1078], pxGetPixelValue(1, 0, 2));
    EXPECT_EQ(f[1078 + 16], pxGetPixelValue(1, 0, 0));
    EXPECT_EQ(pxSaveBitmap(9, path("empty.bmp").c_str()), 0);
}

TEST_F(BmpTest, RoundTripsKeepPixelsAndTables)
{
    for (int bits : {1, 4, 8, 24, 32}) {
        for (int width : {1, 7, 13}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, width " << width);
            pxImageNew(1, nullptr, width, 5, bits, 0x10);
            const int mask = bits >= 24 ? 0xFFFFFF : (1 << bits) - 1;
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < width; ++x)
                    pxSetPixelValue(1, x, y, (x * 977 + y * 31337) & mask);
            pxSetPalette(1, 3);
            ASSERT_EQ(pxSaveImage(1, path("r.bmp").c_str(), 0), 1);
            ASSERT_NE(pxLoadBitmap(2, path("r.bmp").c_str()), nullptr);
            ASSERT_EQ(pxGetBitPerPixel(2), bits);
            EXPECT_EQ(slotAsRgb(2), slotAsRgb(1));
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < width; ++x)
                    ASSERT_EQ(pxGetPixelValue(2, x, y), pxGetPixelValue(1, x, y));
        }
    }
}

TEST_F(BmpTest, RunLengthWritingAndReading)
{
    pxImageNew(1, nullptr, 300, 20, 8, 0x10);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 300; ++x)
            pxSetPixelValue(1, x, y, y < 10 ? (x / 50) * 40 : (x * 13 + y) & 0xFF);
    ASSERT_EQ(pxSaveImage(1, path("rle.bmp").c_str(), 1 | (1 << 8)), 1);
    const std::vector<uint8_t> f = readFile(path("rle.bmp"));
    EXPECT_EQ(get32(f, 30), 1u);  // RLE8
    EXPECT_EQ(get32(f, 34) + 1078, f.size());
    EXPECT_EQ(f[f.size() - 2], 0);
    EXPECT_EQ(f[f.size() - 1], 1);  // end of bitmap
    ASSERT_NE(pxLoadImage(2, path("rle.bmp").c_str()), nullptr);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 300; ++x)
            ASSERT_EQ(pxGetPixelValue(2, x, y), pxGetPixelValue(1, x, y));
    // Options with bits 1 or 2 would need a display device: the plain writer is used.
    ASSERT_EQ(pxSaveImage(1, path("plain.bmp").c_str(), 1 | (2 << 8)), 1);
    EXPECT_EQ(get32(readFile(path("plain.bmp")), 30), 0u);
    std::vector<uint8_t> imageMagick;
    if (runConvert(path("rle.bmp") + " gray:-", &imageMagick)) {
        ASSERT_EQ(imageMagick.size(), 300u * 20);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 300; ++x)
                ASSERT_EQ(imageMagick[y * 300 + x], pxGetPixelValue(1, x, y));
    }
}

TEST_F(BmpTest, HeaderVariantsAllReadTheSame)
{
    const BmpForm forms[] = {{40, false, 0, 0},   {40, true, 0, 0},   {12, false, 0, 0},
                             {108, false, 0, 0},  {124, false, 0, 0}, {40, false, 100, 0},
                             {40, false, 0, 100}, {124, true, 37, 50}};
    int i = 0;
    for (const BmpForm& form : forms) {
        SCOPED_TRACE(i++);
        writeFile(path("v.bmp"), makeBmp(form));
        ASSERT_NE(pxLoadBitmap(1, path("v.bmp").c_str()), nullptr);
        expectFormImage(1);
    }
    // A top-down slot receives the rows in its own order.
    pxSetImageFlags(2, 0x11);
    writeFile(path("v.bmp"), makeBmp({}));
    ASSERT_NE(pxLoadBitmap(2, path("v.bmp").c_str()), nullptr);
    expectFormImage(2);
    EXPECT_EQ(static_cast<uint8_t*>(pxGetBitmapData(2))[1], 1);  // row 0 first in memory
}

// A 4 x 3 RLE file of the given depth around a hand-written stream.
std::vector<uint8_t> makeRle(int bits, const std::vector<uint8_t>& stream)
{
    BmpForm form;
    std::vector<uint8_t> v = makeBmp(form);
    v.resize(1078);
    put32(v, 18, 4);
    put16(v, 28, bits);
    put32(v, 30, bits == 8 ? 1 : 2);
    put32(v, 46, bits == 8 ? 0 : 16);
    if (bits == 4) {
        v.erase(v.begin() + 54 + 64, v.end());
        put32(v, 10, 54 + 64);
    }
    v.insert(v.end(), stream.begin(), stream.end());
    put32(v, 2, static_cast<uint32_t>(v.size()));
    return v;
}

TEST_F(BmpTest, RunLengthEdgeCases)
{
    // Bottom line: 2 x 7 and a literal 1 2 3 whose last byte falls off the row; next
    // line: a delta to x 1, a 9; top line: a run of 200 cut at the row end.
    const std::vector<uint8_t> rle8 = {2, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 0, 1, 9, 0, 0, 200, 5, 0, 1};
    writeFile(path("r8.bmp"), makeRle(8, rle8));
    ASSERT_NE(pxLoadBitmap(1, path("r8.bmp").c_str()), nullptr);
    const int expected[3][4] = {{5, 5, 5, 5}, {0, 9, 0, 0}, {7, 7, 1, 2}};  // from the top
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(pxGetPixelValue(1, x, y), expected[y][x]) << x << "," << y;

    const std::vector<uint8_t> rle4 = {4, 0x12, 0, 0, 0, 3, 0xAB, 0xC0, 0, 1};
    writeFile(path("r4.bmp"), makeRle(4, rle4));
    ASSERT_NE(pxLoadBitmap(2, path("r4.bmp").c_str()), nullptr);
    EXPECT_EQ(pxGetBitPerPixel(2), 4);
    EXPECT_EQ(pxGetPixelValue(2, 0, 2), 1);
    EXPECT_EQ(pxGetPixelValue(2, 3, 2), 2);
    EXPECT_EQ(pxGetPixelValue(2, 2, 1), 0xC);
    EXPECT_EQ(pxGetPixelValue(2, 3, 1), 0);

    // A stream that ends in the middle, and one of nothing but huge deltas.
    writeFile(path("cut.bmp"), makeRle(8, {5, 1, 0}));
    EXPECT_NE(pxLoadBitmap(3, path("cut.bmp").c_str()), nullptr);
    writeFile(path("delta.bmp"), makeRle(8, {0, 2, 255, 255, 0, 2, 255, 255, 3, 3}));
    EXPECT_NE(pxLoadBitmap(3, path("delta.bmp").c_str()), nullptr);
}

TEST_F(BmpTest, BitFieldsAndSixteenBitPixels)
{
    // 2 x 1, 16-bit with 5-6-5 masks: becomes a 24-bit image.
    std::vector<uint8_t> v(14 + 40 + 12 + 4, 0);
    v[0] = 'B';
    v[1] = 'M';
    put32(v, 2, static_cast<uint32_t>(v.size()));
    put32(v, 10, 66);
    put32(v, 14, 40);
    put32(v, 18, 2);
    put32(v, 22, 1);
    put16(v, 26, 1);
    put16(v, 28, 16);
    put32(v, 30, 3);
    put32(v, 54, 0xF800);
    put32(v, 58, 0x07E0);
    put32(v, 62, 0x001F);
    put16(v, 66, 0xF800);  // red
    put16(v, 68, 0x0410);  // half green, half blue
    writeFile(path("565.bmp"), v);
    ASSERT_NE(pxLoadBitmap(1, path("565.bmp").c_str()), nullptr);
    EXPECT_EQ(pxGetBitPerPixel(1), 24);
    EXPECT_EQ(pxGetPixelValue(1, 0, 0), 0xFF0000);
    EXPECT_EQ(pxGetPixelValue(1, 1, 0), (0x82 << 8) | 0x84);

    // The same masks as plain 5-5-5 keep the 16-bit pixels.
    put32(v, 54, 0x7C00);
    put32(v, 58, 0x03E0);
    put16(v, 66, 0x7C00);
    put16(v, 68, 0x1234);
    writeFile(path("555.bmp"), v);
    ASSERT_NE(pxLoadBitmap(2, path("555.bmp").c_str()), nullptr);
    EXPECT_EQ(pxGetBitPerPixel(2), 16);
    EXPECT_EQ(pxGetPixelValue(2, 0, 0), 0x7C00);
    // Writing a 16-bit pixel touches its own two bytes only.
    pxSetPixelValue(2, 0, 0, 0xABCDEF);
    EXPECT_EQ(pxGetPixelValue(2, 0, 0), 0xCDEF);
    EXPECT_EQ(pxGetPixelValue(2, 1, 0), 0x1234);
}

TEST_F(BmpTest, BadFilesAreRefusedAndLeaveTheSlotEmpty)
{
    const std::vector<uint8_t> good = makeBmp({});
    auto refused = [&](const std::vector<uint8_t>& bytes, const char* what) {
        pxImageNew(1, nullptr, 2, 2, 8, 0x10);
        writeFile(path("bad.bmp"), bytes);
        EXPECT_EQ(pxLoadBitmap(1, path("bad.bmp").c_str()), nullptr) << what;
        EXPECT_EQ(pxGetBitmapHeader(1), nullptr) << what;
    };
    std::vector<uint8_t> v = good;
    v[1] = 'A';
    refused(v, "magic");
    refused(std::vector<uint8_t>(good.begin(), good.end() - 9), "truncated pixels");
    refused(std::vector<uint8_t>(good.begin(), good.begin() + 20), "truncated header");
    refused({}, "empty");
    v = good;
    put16(v, 26, 2);
    refused(v, "two planes");
    v = good;
    put16(v, 28, 7);
    refused(v, "seven bits");
    v = good;
    put32(v, 14, 66);
    refused(v, "header size");
    v = good;
    put32(v, 18, static_cast<uint32_t>(-5));
    refused(v, "negative width");
    v = good;
    put32(v, 30, 1);
    put32(v, 22, static_cast<uint32_t>(-3));
    refused(v, "run-length and top-down");

    // 100000 x 100000 on a file of about 1 kB: refused at once, nothing allocated.
    v = std::vector<uint8_t>(good.begin(), good.begin() + 1078);
    put32(v, 18, 100000);
    put32(v, 22, 100000);
    const auto start = std::chrono::steady_clock::now();
    refused(v, "huge plain");
    put32(v, 30, 1);
    v.insert(v.end(), {0, 0, 0, 1});
    refused(v, "huge run-length");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

    // The file itself counts against the limits, as a 1 x length image.
    pxImageNew(2, nullptr, 2, 2, 8, 0x10);
    setIni("Settings", "MaxPixelPerImage", "100");
    std::vector<uint8_t> big = makeBmp({});
    big.resize(800000, 0);
    writeFile(path("long.bmp"), big);
    EXPECT_EQ(pxLoadBitmap(2, path("long.bmp").c_str()), nullptr);
}

TEST_F(BmpTest, NamesPickTheReaderAndMissingFilesEmptyTheSlot)
{
    pxImageNew(1, nullptr, 2, 2, 8, 0x10);
    writeFile(path("x.xyz"), makeBmp({}));
    EXPECT_EQ(pxLoadBitmap(1, path("x.xyz").c_str()), nullptr);
    EXPECT_NE(pxGetBitmapHeader(1), nullptr);  // unknown kind: the slot is untouched
    EXPECT_EQ(pxLoadBitmap(1, path("missing.bmp").c_str()), nullptr);
    EXPECT_EQ(pxGetBitmapHeader(1), nullptr);
    EXPECT_EQ(pxLoadBitmap(1, nullptr), nullptr);
    EXPECT_EQ(pxLoadBitmap(1, static_cast<const char*>(inaccessibleAddress())), nullptr);
    writeFile(path("UPPER.DIB"), makeBmp({}));
    EXPECT_NE(pxLoadBitmap(1, path("UPPER.DIB").c_str()), nullptr);
}

TEST_F(BmpTest, KeepPaletteFlagKeepsTheSlotsTable)
{
    pxImageNew(1, nullptr, 2, 2, 8, 0x410);
    pxSetPalette(1, 8);
    writeFile(path("k.bmp"), makeBmp({}));
    ASSERT_NE(pxLoadBitmap(1, path("k.bmp").c_str()), nullptr);
    const auto* table = static_cast<const uint8_t*>(pxGetBitmapHeader(1)) + 40;
    EXPECT_EQ(table[4 * 21], 255 - 21);  // the inverted grey, not the file's table
    EXPECT_EQ(table[4 * 21 + 1], 255 - 21);
}

TEST_F(BmpTest, RelativeNamesLiveBesideTheLibrary)
{
    pxImageNew(1, nullptr, 3, 3, 8, 0x10);
    const std::string name = "pixory-test-" + std::to_string(getpid());
    ASSERT_EQ(pxSaveBitmap(1, name.c_str()), 1);
    const std::string expected = TOLVEX_BINARY_DIR "/lib/" + name + ".bmp";
    EXPECT_TRUE(std::filesystem::exists(expected));
    EXPECT_NE(pxLoadBitmap(2, (name + ".bmp").c_str()), nullptr);
    std::remove(expected.c_str());
}

}  // namespace
