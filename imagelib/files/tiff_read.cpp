// TIFF reader: uncompressed grey (1 to 16, 24 and 32 bits) and RGB (8, 8, 8) images,
// both byte orders, strips, chunky or planar. Only the first directory is read.
#include "imagelib/core/slot.h"
#include "imagelib/files/image_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tvx::imagelib {

namespace {

constexpr int kMaxEntries = 682;

struct Entry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    uint8_t value[4];  // raw: the value itself when it fits, else its offset
};

int typeSize(uint16_t type)
{
    switch (type) {
    case 1:
    case 2:
    case 6:
    case 7: return 1;
    case 3:
    case 8: return 2;
    case 4:
    case 9:
    case 11: return 4;
    case 5:
    case 10:
    case 12: return 8;
    default: return 0;
    }
}

class TiffFile {
public:
    TiffFile(const ByteSource& src, bool bigEndian) : src_(src), big_(bigEndian) {}

    uint32_t u16(const uint8_t* p) const
    {
        return big_ ? (uint32_t{p[0]} << 8) | p[1] : getLe16(p);
    }
    uint32_t u32(const uint8_t* p) const
    {
        return big_ ? (u16(p) << 16) | u16(p + 2) : getLe32(p);
    }

    // The raw bytes of the first `count` values of an entry, from the entry itself when
    // all its values fit there, else from the file.
    bool rawValues(const Entry& e, std::vector<uint8_t>* out, uint64_t maxBytes, uint32_t count) const
    {
        const int size = typeSize(e.type);
        if (size == 0 || count > e.count)
            return false;
        const uint64_t bytes = uint64_t{count} * size;
        if (bytes > maxBytes || bytes > src_.size())
            return false;
        out->resize(static_cast<size_t>(bytes));
        if (bytes == 0)
            return true;
        if (uint64_t{e.count} * size <= 4) {
            std::memcpy(out->data(), e.value, static_cast<size_t>(bytes));
            return true;
        }
        return src_.read(u32(e.value), out->data(), out->size());
    }
    bool rawValues(const Entry& e, std::vector<uint8_t>* out, uint64_t maxBytes) const
    {
        return rawValues(e, out, maxBytes, e.count);
    }

    // Numeric values (BYTE, SHORT, LONG) of an entry.
    bool numbers(const Entry& e, std::vector<uint32_t>* out) const
    {
        if (e.type != 1 && e.type != 3 && e.type != 4)
            return false;
        std::vector<uint8_t> raw;
        if (!rawValues(e, &raw, src_.size()))
            return false;
        const int size = typeSize(e.type);
        out->resize(e.count);
        for (uint32_t i = 0; i < e.count; ++i) {
            const uint8_t* p = raw.data() + static_cast<size_t>(i) * size;
            (*out)[i] = size == 1 ? p[0] : size == 2 ? u16(p) : u32(p);
        }
        return true;
    }

    // The first value; values that do not fit in the entry lie elsewhere.
    bool first(const Entry& e, uint32_t* value) const
    {
        if (e.count == 0)
            return false;
        const uint32_t size = e.type == 1 ? 1 : e.type == 3 ? 2 : e.type == 4 ? 4 : 0;
        if (size && uint64_t{e.count} * size > 4) {
            std::vector<uint32_t> all;
            if (!numbers(e, &all) || all.empty())
                return false;
            *value = all[0];
            return true;
        }
        switch (e.type) {
        case 1: *value = e.value[0]; return true;
        case 3: *value = u16(e.value); return true;
        case 4: *value = u32(e.value); return true;
        default: return false;
        }
    }

    bool bigEndian() const
    {
        return big_;
    }

private:
    const ByteSource& src_;
    bool big_;
};

// Stores the requested tag's value, converted to host order, at most 255 bytes.
bool storeRequestedTag(const TiffFile& file, const Entry& e)
{
    const int size = typeSize(e.type);
    if (size == 0)
        return false;
    std::vector<uint8_t> raw;
    if (!file.rawValues(e, &raw, 255, std::min<uint32_t>(e.count, 255 / size)))
        return false;
    // Rationals are two longs each; doubles are swapped whole.
    const int unit = e.type == 5 || e.type == 10 ? 4 : size;
    uint8_t* out = fileState().tiffTagValue;
    std::memset(out, 0, 256);
    for (size_t i = 0; i + unit <= raw.size(); i += unit) {
        for (int k = 0; k < unit; ++k)
            out[i + k] = raw[i + (file.bigEndian() ? unit - 1 - k : k)];
    }
    return true;
}

// Unpacks an MSB-first bit stream of samples.
uint32_t bitSample(const uint8_t* row, size_t index, int bits)
{
    uint32_t v = 0;
    size_t bit = index * bits;
    for (int k = 0; k < bits; ++k, ++bit)
        v = (v << 1) | ((row[bit >> 3] >> (7 - (bit & 7))) & 1);
    return v;
}

}  // namespace

namespace {

// FillOrder 2: the pixels of each byte run from its lowest bit.
void reverseBitsOfBytes(std::vector<uint8_t>& bytes)
{
    for (uint8_t& b : bytes) {
        b = static_cast<uint8_t>(((b & 0xF0) >> 4) | ((b & 0x0F) << 4));
        b = static_cast<uint8_t>(((b & 0xCC) >> 2) | ((b & 0x33) << 2));
        b = static_cast<uint8_t>(((b & 0xAA) >> 1) | ((b & 0x55) << 1));
    }
}

// Predictor 2: every sample but a row's first holds the difference to the
// sample of the same channel before it (modulo the sample size).
void undoHorizontalDifferences(uint8_t* row, uint32_t width, int channels, bool sixteen, bool bigEndian)
{
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(channels);
    if (!sixteen) {
        for (size_t i = static_cast<size_t>(channels); i < n; ++i)
            row[i] = static_cast<uint8_t>(row[i] + row[i - static_cast<size_t>(channels)]);
        return;
    }
    auto get = [&](size_t i) {
        return static_cast<uint16_t>(bigEndian ? (row[2 * i] << 8) | row[2 * i + 1]
                                               : row[2 * i] | (row[2 * i + 1] << 8));
    };
    auto put = [&](size_t i, uint16_t v) {
        row[2 * i + (bigEndian ? 0 : 1)] = static_cast<uint8_t>(v >> 8);
        row[2 * i + (bigEndian ? 1 : 0)] = static_cast<uint8_t>(v);
    };
    for (size_t i = static_cast<size_t>(channels); i < n; ++i)
        put(i, static_cast<uint16_t>(get(i) + get(i - static_cast<size_t>(channels))));
}

}  // namespace

int readTiff(const ByteSource& src, NewImage& image)
{
    FileState& state = fileState();
    state.lastComment[0] = '\0';
    std::memset(state.tiffTagValue, 0, sizeof state.tiffTagValue);

    uint8_t header[8];
    if (!src.read(0, header, sizeof header))
        return -13;
    bool big;
    if (header[0] == 'I' && header[1] == 'I')
        big = false;
    else if (header[0] == 'M' && header[1] == 'M')
        big = true;
    else
        return -1;
    const TiffFile file(src, big);
    if (file.u16(header + 2) != 42)
        return -1;
    const uint32_t ifd = file.u32(header + 4);
    uint8_t countBytes[2];
    if (!src.read(ifd, countBytes, 2))
        return -1;
    const int count = std::min<int>(static_cast<int>(file.u16(countBytes)), kMaxEntries);
    std::vector<uint8_t> raw(static_cast<size_t>(count) * 12);
    if (!src.read(uint64_t{ifd} + 2, raw.data(), raw.size()))
        return -1;
    std::vector<Entry> entries(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const uint8_t* p = raw.data() + static_cast<size_t>(i) * 12;
        Entry& e = entries[static_cast<size_t>(i)];
        e.tag = static_cast<uint16_t>(file.u16(p));
        e.type = static_cast<uint16_t>(file.u16(p + 2));
        e.count = file.u32(p + 4);
        std::memcpy(e.value, p + 8, 4);
    }

    uint32_t width = 0, height = 0, compression = 1, photometric = 99, samples = 1;
    uint32_t rowsPerStrip = 0xFFFFFFFF, planar = 1;
    uint32_t fillOrder = 1, predictor = 1, sampleFormat = 1;
    for (const Entry& e : entries) {
        uint32_t* target = nullptr;
        switch (e.tag) {
        case 256: target = &width; break;
        case 257: target = &height; break;
        case 259: target = &compression; break;
        case 262: target = &photometric; break;
        case 266: target = &fillOrder; break;
        case 277: target = &samples; break;
        case 278: target = &rowsPerStrip; break;
        case 284: target = &planar; break;
        case 317: target = &predictor; break;
        case 339: {
            // One value per sample: every one must be one this reader takes.
            std::vector<uint32_t> formats;
            if (!file.numbers(e, &formats) || formats.empty())
                return -1;
            for (uint32_t f : formats)
                if (f != 1 && f != 4)
                    sampleFormat = f;
            break;
        }
        default: break;
        }
        if (target && !file.first(e, target))
            return -1;
    }
    // What this reader does not decode is refused, never read as if the tag
    // were absent: another compression, the floating-point predictor, signed
    // or floating samples (4 is "undefined": the bits as they are).
    if (width == 0 || height == 0 || compression != 1 || photometric > 3 || (samples != 1 && samples != 3) ||
        (planar != 1 && planar != 2) || (fillOrder != 1 && fillOrder != 2) ||
        (predictor != 1 && predictor != 2) || (sampleFormat != 1 && sampleFormat != 4))
        return -1;
    if (width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        return -1;
    if (rowsPerStrip == 0 || rowsPerStrip > height)
        rowsPerStrip = height;
    const uint32_t stripsPerPlane = (height + rowsPerStrip - 1) / rowsPerStrip;
    const uint32_t strips = stripsPerPlane * (planar == 2 && samples == 3 ? 3 : 1);

    std::vector<uint32_t> bitsPerSample{1}, offsets;
    for (const Entry& e : entries) {
        if (e.tag == static_cast<uint32_t>(state.tiffTagRequest) && state.tiffTagRequest > 0 &&
            !storeRequestedTag(file, e))
            return -1;
        switch (e.tag) {
        case 258:
            if (!file.numbers(e, &bitsPerSample) || bitsPerSample.empty())
                return -1;
            break;
        case 270:
        case 34413: {
            std::vector<uint8_t> text;
            if (!file.rawValues(e, &text, 1u << 24))
                return -1;
            const size_t n = std::min<size_t>(text.size(), 255);
            if (n)
                std::memcpy(state.lastComment, text.data(), n);
            state.lastComment[n] = '\0';
            break;
        }
        case 273:
            if (!file.numbers(e, &offsets))
                return -1;
            break;
        case 279:
        case 320: {
            // Read to see that they are there; the pixel layout does not need them.
            std::vector<uint32_t> ignored;
            if (!file.numbers(e, &ignored))
                return -1;
            break;
        }
        default: break;
        }
    }
    if (offsets.size() < strips)
        return -1;

    int bits;
    if (samples == 3) {
        if (photometric != 2 || bitsPerSample.size() < 3 || bitsPerSample[0] != 8 || bitsPerSample[1] != 8 ||
            bitsPerSample[2] != 8)
            return -1;
        bits = 24;
    } else {
        bits = static_cast<int>(bitsPerSample[0]);
        if (bits < 1 || (bits > 16 && bits != 24 && bits != 32))
            return -1;
    }
    // Horizontal differencing works on whole 8- or 16-bit samples.
    if (predictor == 2 && bits != 8 && bits != 16 && bits != 24)
        return -1;
    // The bytes of one row of one strip, and all the pixel data the file must hold.
    const int sampleBits = planar == 2 && samples == 3 ? 8 : bits;
    const uint64_t rowBytes = (uint64_t{width} * sampleBits + 7) / 8;
    const uint64_t dataBytes = rowBytes * height * (planar == 2 && samples == 3 ? 3 : 1);
    if (dataBytes > src.size())
        return -1;
    for (uint32_t s = 0; s < strips; ++s) {
        const uint32_t firstRow = (s % stripsPerPlane) * rowsPerStrip;
        const uint64_t rows = std::min<uint64_t>(rowsPerStrip, height - firstRow);
        if (offsets[s] > src.size() || rows * rowBytes > src.size() - offsets[s])
            return -1;
    }

    const bool toPlane = bits > 8 && bits <= 16;
    const int dibBits = toPlane || (bits > 1 && bits < 8 && bits != 4) ? 8 : bits;
    if (!image.create(static_cast<int>(width), static_cast<int>(height), dibBits, toPlane))
        return -2;
    if (dibBits <= 4) {
        // Grey ramp over the few levels, white first for photometric 0.
        const int levels = 1 << dibBits;
        for (int i = 0; i < levels; ++i) {
            int v = i * 255 / (levels - 1);
            if (photometric == 0)
                v = 255 - v;
            uint8_t* e = image.colourTable() + 4 * i;
            e[0] = e[1] = e[2] = static_cast<uint8_t>(v);
        }
        image.ownColours = true;
    }

    std::vector<uint8_t> strip;
    for (uint32_t s = 0; s < strips; ++s) {
        const uint32_t firstRow = (s % stripsPerPlane) * rowsPerStrip;
        const uint32_t rows = std::min(rowsPerStrip, height - firstRow);
        const int channel = planar == 2 && samples == 3 ? 2 - static_cast<int>(s / stripsPerPlane) : -1;
        if (channel < -1 || channel > 2)
            continue;
        strip.resize(static_cast<size_t>(rows * rowBytes));
        if (!src.read(offsets[s], strip.data(), strip.size()))
            return -1;
        if (fillOrder == 2)
            reverseBitsOfBytes(strip);
        for (uint32_t r = 0; r < rows; ++r) {
            uint8_t* in = strip.data() + r * rowBytes;
            if (predictor == 2)
                undoHorizontalDifferences(in, width, channel >= 0 ? 1 : (bits == 24 ? 3 : 1), bits == 16,
                                          big);
            const int y = static_cast<int>(firstRow + r);
            if (toPlane) {
                uint16_t* out = image.planeRow(y);
                for (uint32_t x = 0; x < width; ++x) {
                    if (bits == 16)
                        out[x] = static_cast<uint16_t>(big ? (in[2 * x] << 8) | in[2 * x + 1]
                                                           : in[2 * x] | (in[2 * x + 1] << 8));
                    else
                        out[x] = static_cast<uint16_t>(bitSample(in, x, bits));
                }
                continue;
            }
            uint8_t* out = image.row(y);
            if (channel >= 0) {
                for (uint32_t x = 0; x < width; ++x)
                    out[3 * x + channel] = in[x];
            } else if (bits == 24 && samples == 3) {
                for (uint32_t x = 0; x < width; ++x) {
                    out[3 * x] = in[3 * x + 2];
                    out[3 * x + 1] = in[3 * x + 1];
                    out[3 * x + 2] = in[3 * x];
                }
            } else if (bits == dibBits && (bits <= 8 || !big)) {
                std::memcpy(out, in, static_cast<size_t>(rowBytes));
            } else if (bits < 8) {
                for (uint32_t x = 0; x < width; ++x)
                    out[x] = static_cast<uint8_t>(bitSample(in, x, bits));
            } else {
                // 24- and 32-bit grey from a big-endian file: samples to little-endian.
                const int n = bits / 8;
                for (uint32_t x = 0; x < width; ++x)
                    for (int k = 0; k < n; ++k)
                        out[x * n + k] = in[x * n + (n - 1 - k)];
            }
        }
    }
    return 0;
}

}  // namespace tvx::imagelib
