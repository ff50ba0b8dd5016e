// TIFF files: the writer's fixed layout, round trips, byte orders, strips, bad files, tags.
#include "PixoryTestSupport.h"

#include <cstring>
#include <string>

using namespace pixorytest;

namespace {

class TiffTest : public PixoryTest {};

uint32_t le16(const std::vector<uint8_t>& v, size_t at)
{
    return v[at] | (v[at + 1] << 8);
}
uint32_t le32(const std::vector<uint8_t>& v, size_t at)
{
    return le16(v, at) | (le16(v, at + 2) << 16);
}

// Builds a TIFF with the given entries (values inline or after the directory) and data.
class TiffBuilder {
public:
    explicit TiffBuilder(bool bigEndian) : big_(bigEndian) {}
    void entry(uint16_t tag, uint16_t type, std::vector<uint32_t> values)
    {
        entries_.push_back({tag, type, std::move(values), {}});
    }
    void ascii(uint16_t tag, const std::string& text)
    {
        std::vector<uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        entries_.push_back({tag, 2, {}, bytes});
    }
    // Appends pixel data and returns its offset.
    uint32_t data(const std::vector<uint8_t>& bytes)
    {
        const auto at = static_cast<uint32_t>(8 + blob_.size());
        blob_.insert(blob_.end(), bytes.begin(), bytes.end());
        return at;
    }
    std::vector<uint8_t> build() const
    {
        std::vector<uint8_t> v;
        v.push_back(big_ ? 'M' : 'I');
        v.push_back(big_ ? 'M' : 'I');
        put(v, 42, 2);
        const auto ifd = static_cast<uint32_t>(8 + blob_.size());
        put(v, ifd, 4);
        v.insert(v.end(), blob_.begin(), blob_.end());
        put(v, static_cast<uint32_t>(entries_.size()), 2);
        size_t extra = ifd + 2 + 12 * entries_.size() + 4;
        std::vector<uint8_t> tail;
        for (const Entry& e : entries_) {
            put(v, e.tag, 2);
            put(v, e.type, 2);
            const int size = e.type == 3 ? 2 : e.type == 4 ? 4 : 1;
            const size_t count = e.bytes.empty() ? e.values.size() : e.bytes.size();
            put(v, static_cast<uint32_t>(count), 4);
            std::vector<uint8_t> raw = e.bytes;
            for (uint32_t value : e.values)
                put(raw, value, size);
            if (raw.size() <= 4) {
                raw.resize(4, 0);
                v.insert(v.end(), raw.begin(), raw.end());
            } else {
                put(v, static_cast<uint32_t>(extra + tail.size()), 4);
                tail.insert(tail.end(), raw.begin(), raw.end());
            }
        }
        put(v, 0, 4);
        v.insert(v.end(), tail.begin(), tail.end());
        return v;
    }

private:
    struct Entry {
        uint16_t tag, type;
        std::vector<uint32_t> values;
        std::vector<uint8_t> bytes;
    };
    void put(std::vector<uint8_t>& v, uint32_t x, int size) const
    {
        for (int i = 0; i < size; ++i)
            v.push_back(static_cast<uint8_t>(big_ ? x >> (8 * (size - 1 - i)) : x >> (8 * i)));
    }
    bool big_;
    std::vector<Entry> entries_;
    std::vector<uint8_t> blob_;
};

// A w x h grey image with bits per sample, in strips of rowsPerStrip rows.
std::vector<uint8_t> greyTiff(bool big, int bits, int w, int h, int rowsPerStrip,
                              const std::vector<uint8_t>& pixels, uint32_t compression = 1,
                              const std::vector<std::pair<uint16_t, uint32_t>>& moreTags = {})
{
    TiffBuilder t(big);
    const size_t rowBytes = (static_cast<size_t>(w) * bits + 7) / 8;
    std::vector<uint32_t> offsets, counts;
    for (int y = 0; y < h; y += rowsPerStrip) {
        const int rows = std::min(rowsPerStrip, h - y);
        offsets.push_back(t.data(
            std::vector<uint8_t>(pixels.begin() + y * rowBytes, pixels.begin() + (y + rows) * rowBytes)));
        counts.push_back(static_cast<uint32_t>(rows * rowBytes));
    }
    t.entry(256, 4, {static_cast<uint32_t>(w)});
    t.entry(257, 3, {static_cast<uint32_t>(h)});
    t.entry(258, 3, {static_cast<uint32_t>(bits)});
    t.entry(259, 3, {compression});
    t.entry(262, 3, {1});
    t.entry(273, 4, offsets);
    t.entry(278, 4, {static_cast<uint32_t>(rowsPerStrip)});
    t.entry(279, 4, counts);
    for (auto [tag, value] : moreTags)
        t.entry(tag, 3, {value});
    return t.build();
}

TEST_F(TiffTest, SixteenBitWriterLayout)
{
    auto* plane = static_cast<uint16_t*>(pxImageNew(1, nullptr, 3, 2, 16, 0x10));
    for (int i = 0; i < 6; ++i)
        plane[i] = static_cast<uint16_t>(1000 * i + 7);
    ASSERT_EQ(pxSaveImage(1, path("p.tif").c_str(), 2), 1);
    const std::vector<uint8_t> f = readFile(path("p.tif"));
    ASSERT_EQ(f.size(), 228u + 12);
    EXPECT_EQ(f[0], 'I');
    EXPECT_EQ(le16(f, 2), 42u);
    EXPECT_EQ(le32(f, 4), 8u);
    EXPECT_EQ(le16(f, 8), 12u);
    EXPECT_EQ(le32(f, 114), 228u);
    EXPECT_EQ(le16(f, 10 + 12 * 3 + 8), 16u);  // bits per sample in the entry
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f[158])), "Veltra, Hollbach, Germany");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f[190])), "CCD");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f[212])), "Pixory SEP-99");
    EXPECT_EQ(le16(f, 228 + 2 * 5), 5007u);
    // Tags ascending, as readers expect of a file without a description.
    for (int i = 1; i < 12; ++i)
        EXPECT_LT(le16(f, 10 + 12 * (i - 1)), le16(f, 10 + 12 * i));
}

TEST_F(TiffTest, GreyAndRgbWriterLayout)
{
    pxImageNew(1, nullptr, 2, 2, 8, 0x10);
    fillPattern(1);
    ASSERT_EQ(pxSaveImage(1, path("g.tif").c_str(), 0), 1);
    std::vector<uint8_t> f = readFile(path("g.tif"));
    EXPECT_EQ(le16(f, 8), 12u);
    EXPECT_EQ(le32(f, 114), 228u);
    EXPECT_EQ(f[228], pxGetPixelValue(1, 0, 0));  // rows top-down
    EXPECT_EQ(f[228 + 3], pxGetPixelValue(1, 1, 1));

    pxImageNew(2, nullptr, 2, 1, 24, 0x10);
    pxSetPixelValue(2, 0, 0, 0x102030);
    ASSERT_EQ(pxSaveImage(2, path("c.tif").c_str(), 3), 1);
    f = readFile(path("c.tif"));
    EXPECT_EQ(le16(f, 8), 13u);
    EXPECT_EQ(le32(f, 114), 246u);
    EXPECT_EQ(le16(f, 170), 8u);
    EXPECT_EQ(le16(f, 174), 8u);
    EXPECT_EQ(f[246], 0x10);  // red first
    EXPECT_EQ(f[248], 0x30);
    EXPECT_EQ(f.size(), 246u + 6);
}

TEST_F(TiffTest, RoundTrips)
{
    for (int bits : {1, 4, 8, 12, 16, 24}) {
        SCOPED_TRACE(bits);
        pxImageNew(1, nullptr, 13, 7, bits, 0x10);
        const int mask = bits == 24 ? 0xFFFFFF : (1 << bits) - 1;
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 13; ++x)
                pxSetPixelValue(1, x, y, (x * 7919 + y * 104729) & mask);
        ASSERT_EQ(pxSaveImage(1, path("rt.tif").c_str(), 2), 1);
        ASSERT_NE(pxLoadImage(2, path("rt.tif").c_str()), nullptr);
        if (bits <= 8 || bits == 24)
            EXPECT_EQ(pxGetBitPerPixel(2), bits);
        else
            EXPECT_NE(pxGetImg16Data(2), nullptr);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 13; ++x)
                ASSERT_EQ(pxGetPixelValue(2, x, y), pxGetPixelValue(1, x, y)) << x << "," << y;
    }
    // A plane's depth after reading follows its largest value, and the display is made.
    auto* plane = static_cast<uint16_t*>(pxImageNew(3, nullptr, 8, 8, 16, 0x10));
    for (int k = 0; k < 64; ++k)
        plane[k] = static_cast<uint16_t>(15 * k);
    pxSaveImage(3, path("d.tif").c_str(), 2);
    ASSERT_NE(pxLoadImage(4, path("d.tif").c_str()), nullptr);
    EXPECT_EQ(pxImgBitPerPixel(4), 10);
    EXPECT_EQ(pxGetPixelValue(4, 7, 7), 945);
    EXPECT_GT(static_cast<uint8_t*>(pxGetBitmapData(4))[7], 200);  // bottom right, bottom-up
}

TEST_F(TiffTest, SaveChoosesByFlagsThenExtension)
{
    auto* plane = static_cast<uint16_t*>(pxImageNew(1, nullptr, 4, 4, 16, 0x10));
    plane[0] = 40000;
    pxImageUpdate(1, 8);
    // ".tiff" is not recognised on saving: TIFF of the 8-bit display.
    ASSERT_EQ(pxSaveImage(1, path("x.tiff").c_str(), 0), 1);
    std::vector<uint8_t> f = readFile(path("x.tiff"));
    EXPECT_EQ(le16(f, 10 + 12 * 3 + 8), 8u);
    // ".tif" means format 2: the plane.
    ASSERT_EQ(pxSaveImage(1, path("x.tif").c_str(), 0), 1);
    EXPECT_EQ(le16(readFile(path("x.tif")), 10 + 12 * 3 + 8), 16u);
    // Format 3 writes the display even with a plane; any other extension TIFF too.
    ASSERT_EQ(pxSaveImage(1, path("y.dat").c_str(), 3), 1);
    EXPECT_EQ(le16(readFile(path("y.dat")), 10 + 12 * 3 + 8), 8u);
    ASSERT_EQ(pxSaveImage(1, path("z.img").c_str(), 0), 1);
    EXPECT_EQ(readFile(path("z.img"))[0], 'I');
    EXPECT_EQ(pxSaveImage(1, path("no/such/dir/x.tif").c_str(), 2), -10);
    EXPECT_EQ(pxSaveImage(1, nullptr, 2), -3);
    EXPECT_EQ(pxSaveImage(7, path("e.tif").c_str(), 2), 0);
}

TEST_F(TiffTest, BothByteOrdersAndStrips)
{
    std::vector<uint8_t> le(2 * 4 * 5), be(2 * 4 * 5);
    for (int i = 0; i < 20; ++i) {
        const int v = 3000 * i + 11;
        le[2 * i] = static_cast<uint8_t>(v);
        le[2 * i + 1] = static_cast<uint8_t>(v >> 8);
        be[2 * i] = static_cast<uint8_t>(v >> 8);
        be[2 * i + 1] = static_cast<uint8_t>(v);
    }
    writeFile(path("le.tif"), greyTiff(false, 16, 4, 5, 2, le));
    writeFile(path("be.tif"), greyTiff(true, 16, 4, 5, 3, be));
    for (const char* name : {"le.tif", "be.tif"}) {
        SCOPED_TRACE(name);
        ASSERT_NE(pxLoadImage(1, path(name).c_str()), nullptr);
        for (int i = 0; i < 20; ++i)
            ASSERT_EQ(pxGetPixelValue(1, i % 4, i / 4), 3000 * i + 11);
    }
    // 12-bit samples are a bit stream: 0xABC, 0xDEF, 0x123 in 4.5 bytes per row of three.
    writeFile(path("12.tif"), greyTiff(true, 12, 3, 1, 1, {0xAB, 0xCD, 0xEF, 0x12, 0x30}));
    ASSERT_NE(pxLoadImage(2, path("12.tif").c_str()), nullptr);
    EXPECT_EQ(pxGetPixelValue(2, 0, 0), 0xABC);
    EXPECT_EQ(pxGetPixelValue(2, 2, 0), 0x123);
}

// Tags that change how the samples read: honoured, or the file is refused;
// never read as if they were absent.
TEST_F(TiffTest, FillOrderAndPredictorAreHonouredOthersRefused)
{
    // 16-bit grey, little-endian, written with the lowest bit of each byte first.
    std::vector<uint8_t> lsbFirst(2 * 3 * 2);
    for (int i = 0; i < 6; ++i) {
        const int v = 11111 * i + 7;
        lsbFirst[2 * i] = static_cast<uint8_t>(v);
        lsbFirst[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    for (uint8_t& b : lsbFirst) {
        uint8_t r = 0;
        for (int bit = 0; bit < 8; ++bit)
            r = static_cast<uint8_t>(r | (((b >> bit) & 1) << (7 - bit)));
        b = r;
    }
    writeFile(path("fill2.tif"), greyTiff(false, 16, 3, 2, 2, lsbFirst, 1, {{266, 2}}));
    ASSERT_NE(pxLoadImage(1, path("fill2.tif").c_str()), nullptr);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(pxGetPixelValue(1, i % 3, i / 3), 11111 * i + 7) << i;

    // Horizontal differencing: 8-bit 10, 30, 25 is stored 10, 20, 251; 16-bit big-endian
    // 1000, 3000, 200 is stored 1000, 2000, 62736.
    writeFile(path("pred8.tif"), greyTiff(false, 8, 3, 1, 1, {10, 20, 251}, 1, {{317, 2}}));
    ASSERT_NE(pxLoadImage(2, path("pred8.tif").c_str()), nullptr);
    EXPECT_EQ(pxGetPixelValue(2, 0, 0), 10);
    EXPECT_EQ(pxGetPixelValue(2, 1, 0), 30);
    EXPECT_EQ(pxGetPixelValue(2, 2, 0), 25);
    writeFile(path("pred16.tif"),
              greyTiff(true, 16, 3, 1, 1, {0x03, 0xE8, 0x07, 0xD0, 0xF5, 0x10}, 1, {{317, 2}}));
    ASSERT_NE(pxLoadImage(3, path("pred16.tif").c_str()), nullptr);
    EXPECT_EQ(pxGetPixelValue(3, 0, 0), 1000);
    EXPECT_EQ(pxGetPixelValue(3, 1, 0), 3000);
    EXPECT_EQ(pxGetPixelValue(3, 2, 0), 200);

    // Refused: signed and floating samples, the floating-point predictor, another
    // fill order, a compression this reader does not decode.
    const std::vector<uint8_t> pixels(4, 9);
    for (auto [tag, value] : std::vector<std::pair<uint16_t, uint32_t>>{
             {339, 2}, {339, 3}, {317, 3}, {266, 3}}) {
        writeFile(path("refused.tif"), greyTiff(false, 8, 2, 2, 2, pixels, 1, {{tag, value}}));
        EXPECT_EQ(pxLoadImage(4, path("refused.tif").c_str()), nullptr) << tag << " = " << value;
    }
    writeFile(path("lzw.tif"), greyTiff(false, 8, 2, 2, 2, pixels, 5));
    EXPECT_EQ(pxLoadImage(4, path("lzw.tif").c_str()), nullptr);
    // Sample format 4 (undefined) reads the bits as they are.
    writeFile(path("undefined.tif"), greyTiff(false, 8, 2, 2, 2, pixels, 1, {{339, 4}}));
    EXPECT_NE(pxLoadImage(4, path("undefined.tif").c_str()), nullptr);
}

TEST_F(TiffTest, PlanarRgbIsInterleaved)
{
    TiffBuilder t(false);
    const uint32_t red = t.data({1, 2, 3, 4});
    const uint32_t green = t.data({10, 20, 30, 40});
    const uint32_t blue = t.data({100, 110, 120, 130});
    t.entry(256, 3, {2});
    t.entry(257, 3, {2});
    t.entry(258, 3, {8, 8, 8});
    t.entry(262, 3, {2});
    t.entry(273, 4, {red, green, blue});
    t.entry(277, 3, {3});
    t.entry(284, 3, {2});
    writeFile(path("planar.tif"), t.build());
    ASSERT_NE(pxLoadImage(1, path("planar.tif").c_str()), nullptr);
    EXPECT_EQ(pxGetBitPerPixel(1), 24);
    EXPECT_EQ(pxGetPixelValue(1, 1, 1), (4 << 16) | (40 << 8) | 130);
}

TEST_F(TiffTest, BadFilesAreRefusedAndLeaveTheSlotEmpty)
{
    const std::vector<uint8_t> pixels(16, 9);
    auto refused = [&](const std::vector<uint8_t>& bytes, const char* what) {
        pxImageNew(1, nullptr, 2, 2, 8, 0x10);
        writeFile(path("bad.tif"), bytes);
        EXPECT_EQ(pxLoadImage(1, path("bad.tif").c_str()), nullptr) << what;
        EXPECT_EQ(pxGetBitmapHeader(1), nullptr) << what;
    };
    refused(greyTiff(false, 8, 4, 4, 4, pixels, 5), "compression 5");
    std::vector<uint8_t> f = greyTiff(false, 8, 4, 4, 4, pixels);
    refused(std::vector<uint8_t>(f.begin(), f.begin() + 6), "short header");
    refused(std::vector<uint8_t>(f.begin(), f.begin() + 30), "cut directory");
    std::vector<uint8_t> v = f;
    v[2] = 43;  // a BigTIFF
    refused(v, "version 43");
    v = f;
    v[0] = v[1] = 'X';
    refused(v, "byte order");
    v = f;
    put32(v, 4, 0xFFFFFF00);
    refused(v, "directory outside");

    TiffBuilder t(false);
    t.entry(256, 4, {100000});
    t.entry(257, 4, {100000});
    t.entry(262, 3, {1});
    t.entry(258, 3, {8});
    t.entry(273, 4, {8});
    refused(t.build(), "huge image, tiny file");

    TiffBuilder outside(false);
    outside.entry(256, 4, {4});
    outside.entry(257, 4, {4});
    outside.entry(262, 3, {1});
    outside.entry(258, 3, {8});
    outside.entry(273, 4, {0x7FFFFFF0});
    refused(outside.build(), "strip outside the file");

    TiffBuilder noPhotometric(false);
    const uint32_t at = noPhotometric.data(pixels);
    noPhotometric.entry(256, 4, {4});
    noPhotometric.entry(257, 4, {4});
    noPhotometric.entry(273, 4, {at});
    refused(noPhotometric.build(), "no photometric");

    TiffBuilder rgb16(false);
    rgb16.entry(256, 4, {1});
    rgb16.entry(257, 4, {1});
    rgb16.entry(258, 3, {16, 16, 16});
    rgb16.entry(262, 3, {2});
    rgb16.entry(277, 3, {3});
    rgb16.entry(273, 4, {rgb16.data(std::vector<uint8_t>(6))});
    refused(rgb16.build(), "16-bit rgb");
}

TEST_F(TiffTest, RequestedTagAndComment)
{
    pxImageNew(1, nullptr, 6, 2, 8, 0x10);
    pxSaveImage(1, path("t.tif").c_str(), 2);
    auto* value = static_cast<const char*>(pxGetTiffTagInfo(305));
    ASSERT_NE(pxLoadImage(2, path("t.tif").c_str()), nullptr);
    EXPECT_STREQ(value, "Pixory SEP-99");
    pxGetTiffTagInfo(256);
    EXPECT_STREQ(value, "");  // a new tag empties the value
    pxLoadImage(2, path("t.tif").c_str());
    uint32_t width;
    std::memcpy(&width, value, 4);
    EXPECT_EQ(width, 6u);

    TiffBuilder t(true);
    t.entry(256, 3, {1});
    t.entry(257, 3, {1});
    t.entry(258, 3, {8});
    t.entry(262, 3, {1});
    t.ascii(270, "a description");
    t.entry(273, 4, {t.data({5})});
    t.entry(65000, 3, {0x1234, 0x5678});  // a private tag of two shorts
    writeFile(path("c.tif"), t.build());
    pxGetTiffTagInfo(65000);
    ASSERT_NE(pxLoadImage(3, path("c.tif").c_str()), nullptr);
    EXPECT_STREQ(pxGetLastComment(), "a description");
    uint16_t shorts[2];
    std::memcpy(shorts, value, 4);
    EXPECT_EQ(shorts[0], 0x1234);  // in host order
    EXPECT_EQ(shorts[1], 0x5678);
    pxLoadImage(3, path("t.tif").c_str());
    EXPECT_STREQ(pxGetLastComment(), "");
}

}  // namespace
