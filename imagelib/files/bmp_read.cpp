// BMP reader: every header variant is brought to the 40-byte in-memory layout.
//
// Plain and run-length (RLE8, RLE4) files, top-down rows, OS/2 headers with 3-byte
// colour entries, v4/v5 headers and gaps before the pixels all end up as a DIB with a
// 40-byte header, a full colour table and bottom-up (or the slot's) row order. Bit-field
// images whose masks are not the plain 5-5-5 or 8-8-8 layouts become 24-bit images.
#include "imagelib/core/slot.h"
#include "imagelib/files/image_file.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <vector>

namespace tvx::imagelib {

namespace {

enum Compression : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

struct BmpInfo {
    uint32_t headerSize = 0;
    int width = 0;
    int height = 0;  // absolute
    bool topDown = false;
    int planes = 1;
    int bits = 0;
    uint32_t compression = kRgb;
    uint32_t coloursUsed = 0;
    int xPels = 0, yPels = 0;
    uint32_t masks[3] = {};  // red, green, blue
};

// One channel of a bit-field pixel brought to 8 bits (short fields by bit replication).
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int width = 0;

    explicit Channel(uint32_t m) : mask(m)
    {
        if (!m)
            return;
        shift = std::countr_zero(m);
        width = 32 - std::countl_zero(m) - shift;
    }
    uint8_t operator()(uint32_t pixel) const
    {
        if (!mask)
            return 0;
        uint32_t v = (pixel & mask) >> shift;
        if (width >= 8)
            return static_cast<uint8_t>(v >> (width - 8));
        uint32_t r = v << (8 - width);
        for (int filled = width; filled < 8; filled *= 2)
            r |= r >> filled;
        return static_cast<uint8_t>(r);
    }
};

bool parseInfo(const ByteSource& src, BmpInfo* info)
{
    uint8_t h[124] = {};
    if (!src.read(14, h, 4))
        return false;
    const uint32_t size = getLe32(h);
    static constexpr uint32_t kKnown[] = {12, 16, 40, 52, 56, 64, 108, 124};
    if (std::find(std::begin(kKnown), std::end(kKnown), size) == std::end(kKnown))
        return false;
    if (!src.read(14, h, size))
        return false;
    info->headerSize = size;
    int64_t height;
    if (size == 12) {
        info->width = static_cast<int>(getLe16(h + 4));
        height = static_cast<int16_t>(getLe16(h + 6));
        info->planes = static_cast<int>(getLe16(h + 8));
        info->bits = static_cast<int>(getLe16(h + 10));
    } else {
        info->width = static_cast<int32_t>(getLe32(h + 4));
        height = static_cast<int32_t>(getLe32(h + 8));
        info->planes = static_cast<int>(getLe16(h + 12));
        info->bits = static_cast<int>(getLe16(h + 14));
        if (size >= 20)
            info->compression = getLe32(h + 16);
        if (size >= 32) {
            info->xPels = static_cast<int32_t>(getLe32(h + 24));
            info->yPels = static_cast<int32_t>(getLe32(h + 28));
        }
        if (size >= 36)
            info->coloursUsed = getLe32(h + 32);
        if (size >= 52)
            for (int c = 0; c < 3; ++c)
                info->masks[c] = getLe32(h + 40 + 4 * c);
        // OS/2 2.x uses 3 and 4 for Huffman and RLE24, which are not supported.
        if (size == 64 && info->compression >= 3)
            return false;
    }
    info->topDown = height < 0;
    if (height == INT32_MIN)
        return false;
    info->height = static_cast<int>(height < 0 ? -height : height);
    if (info->width <= 0 || info->height <= 0 || info->planes != 1)
        return false;
    switch (info->bits) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32: break;
    default: return false;
    }
    switch (info->compression) {
    case kRgb: return true;
    case kRle8: return info->bits == 8 && !info->topDown;
    case kRle4: return info->bits == 4 && !info->topDown;
    case kBitFields:
    case kAlphaBitFields: return info->bits == 16 || info->bits == 32;
    default: return false;
    }
}

bool isPlainLayout(const BmpInfo& info)
{
    if (info.compression != kBitFields && info.compression != kAlphaBitFields)
        return true;
    if (info.bits == 16)
        return info.masks[0] == 0x7C00 && info.masks[1] == 0x03E0 && info.masks[2] == 0x001F;
    return info.masks[0] == 0xFF0000 && info.masks[1] == 0xFF00 && info.masks[2] == 0xFF;
}

void putNibble(uint8_t* row, int x, uint8_t v)
{
    uint8_t& b = row[x >> 1];
    b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (v & 15)) : static_cast<uint8_t>((b & 0x0F) | (v << 4));
}

// Run-length data: lines count from the bottom. Runs that pass the row end are cut
// there, and decoding stops at the end of the input or of the image.
void decodeRle(const std::vector<uint8_t>& d, const BmpInfo& info, NewImage& image)
{
    const bool four = info.compression == kRle4;
    const int w = info.width;
    const int h = info.height;
    auto put = [&](int x, int line, uint8_t v) {
        if (x < 0 || x >= w)
            return;
        uint8_t* row = image.row(h - 1 - line);
        if (four)
            putNibble(row, x, v);
        else
            row[x] = v;
    };
    size_t i = 0;
    long long x = 0;
    long long line = 0;
    const size_t n = d.size();
    while (i + 1 < n && line < h) {
        const uint8_t count = d[i];
        const uint8_t value = d[i + 1];
        i += 2;
        if (count > 0) {
            for (int k = 0; k < count && x < w; ++k, ++x)
                put(static_cast<int>(x), static_cast<int>(line),
                    four ? static_cast<uint8_t>((k & 1) ? value & 15 : value >> 4) : value);
            continue;
        }
        if (value == 0) {
            x = 0;
            ++line;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            if (i + 1 >= n)
                break;
            x += d[i];
            line += d[i + 1];
            i += 2;
        } else {
            const size_t bytes = four ? (value + 1u) / 2 : value;
            for (int k = 0; k < value && x < w; ++k, ++x) {
                const size_t at = i + (four ? static_cast<size_t>(k) / 2 : static_cast<size_t>(k));
                if (at >= n)
                    break;
                const uint8_t b = d[at];
                put(static_cast<int>(x), static_cast<int>(line),
                    four ? static_cast<uint8_t>((k & 1) ? b & 15 : b >> 4) : b);
            }
            i += bytes + (bytes & 1);
        }
    }
}

}  // namespace

int readBmp(const ByteSource& src, NewImage& image)
{
    const uint64_t length = src.size();
    uint8_t fileHeader[14];
    if (length < 26 || !src.read(0, fileHeader, sizeof fileHeader) || fileHeader[0] != 'B' ||
        fileHeader[1] != 'M')
        return -1;
    // The file's length must itself pass the size limits, as a 1 x length 8-bit image.
    if (!sizeAllowed(1, static_cast<int64_t>(std::min<uint64_t>(length, INT32_MAX)), 8))
        return -2;
    BmpInfo info;
    if (!parseInfo(src, &info))
        return -1;

    uint64_t tableStart = 14 + uint64_t{info.headerSize};
    if (info.headerSize == 40 && info.compression == kBitFields) {
        uint8_t m[12];
        if (!src.read(tableStart, m, sizeof m))
            return -1;
        for (int c = 0; c < 3; ++c)
            info.masks[c] = getLe32(m + 4 * c);
        tableStart += 12;
    } else if (info.headerSize == 40 && info.compression == kAlphaBitFields) {
        uint8_t m[16];
        if (!src.read(tableStart, m, sizeof m))
            return -1;
        for (int c = 0; c < 3; ++c)
            info.masks[c] = getLe32(m + 4 * c);
        tableStart += 16;
    }
    const int entrySize = info.headerSize == 12 ? 3 : 4;
    uint64_t entries = 0;
    if (info.bits <= 8) {
        entries = info.coloursUsed ? info.coloursUsed : (1u << info.bits);
        entries = std::min<uint64_t>(entries, 1u << info.bits);
    }
    const uint32_t offBits = getLe32(fileHeader + 10);
    uint64_t dataOffset = tableStart + entries * entrySize;
    if (offBits >= tableStart && offBits < length) {
        dataOffset = offBits;
        entries = std::min<uint64_t>(entries, (dataOffset - tableStart) / entrySize);
    }
    if (dataOffset >= length)
        return -1;

    const bool plain = isPlainLayout(info);
    const int bits = plain ? info.bits : 24;
    const uint64_t fileStride = ((uint64_t{static_cast<uint32_t>(info.width)} * info.bits + 31) / 32) * 4;
    const uint64_t available = length - dataOffset;
    const bool rle = info.compression == kRle8 || info.compression == kRle4;
    if (rle) {
        const uint64_t decoded = fileStride * static_cast<uint64_t>(info.height);
        if (!decodedSizePlausible(decoded, available, 256))
            return -1;
    } else {
        // The last row may lack its padding; anything shorter is a truncated file.
        const uint64_t rowBytes = (uint64_t{static_cast<uint32_t>(info.width)} * info.bits + 7) / 8;
        if (rowBytes > available || (available - rowBytes) / fileStride < uint64_t(info.height - 1))
            return -1;
    }
    if (!image.create(info.width, info.height, bits, false))
        return -2;
    image.xPelsPerMeter = info.xPels;
    image.yPelsPerMeter = info.yPels;

    if (info.bits <= 8) {
        std::vector<uint8_t> table(entries * entrySize);
        if (!table.empty() && !src.read(tableStart, table.data(), table.size()))
            return -1;
        uint8_t* out = image.colourTable();
        for (uint64_t e = 0; e < entries; ++e) {
            std::memcpy(out + 4 * e, table.data() + e * entrySize, 3);
            out[4 * e + 3] = 0;
        }
        image.ownColours = true;
    }

    if (rle) {
        std::vector<uint8_t> data(available);
        if (!src.read(dataOffset, data.data(), data.size()))
            return -1;
        decodeRle(data, info, image);
        return 0;
    }

    const size_t rowBytes = image.geometry().rowBytes();
    const size_t readBytes =
        static_cast<size_t>((uint64_t{static_cast<uint32_t>(info.width)} * info.bits + 7) / 8);
    std::vector<uint8_t> line(readBytes);
    const Channel red(info.masks[0]), green(info.masks[1]), blue(info.masks[2]);
    const int inBytes = info.bits / 8;
    for (int r = 0; r < info.height; ++r) {
        if (!src.read(dataOffset + static_cast<uint64_t>(r) * fileStride, line.data(), readBytes))
            return -1;
        uint8_t* out = image.row(info.topDown ? r : info.height - 1 - r);
        if (plain) {
            std::memcpy(out, line.data(), rowBytes);
            continue;
        }
        for (int x = 0; x < info.width; ++x, out += 3) {
            const uint8_t* p = line.data() + static_cast<size_t>(x) * inBytes;
            const uint32_t pixel = inBytes == 2 ? getLe16(p) : getLe32(p);
            out[0] = blue(pixel);
            out[1] = green(pixel);
            out[2] = red(pixel);
        }
    }
    return 0;
}

}  // namespace tvx::imagelib
