// BMP writer: plain rows, or the library's own RLE8 encoder for 8-bit images.
#include "imagelib/core/slot.h"
#include "imagelib/files/image_file.h"

#include <cstring>
#include <vector>

namespace tvx::imagelib {

namespace {

// One row as RLE8: runs of up to 255 equal bytes, literal stretches of 3 or more bytes
// padded to an even length, single bytes as runs of one.
void encodeRow(const uint8_t* p, int width, std::vector<uint8_t>& out)
{
    int i = 0;
    while (i < width) {
        int run = 1;
        while (i + run < width && run < 255 && p[i + run] == p[i])
            ++run;
        if (run >= 2) {
            out.push_back(static_cast<uint8_t>(run));
            out.push_back(p[i]);
            i += run;
            continue;
        }
        // A literal stretch ends where a run of three equal bytes begins.
        int len = 1;
        while (i + len < width && len < 255) {
            const int j = i + len;
            if (j + 2 < width && p[j] == p[j + 1] && p[j] == p[j + 2])
                break;
            ++len;
        }
        if (len >= 3) {
            out.push_back(0);
            out.push_back(static_cast<uint8_t>(len));
            out.insert(out.end(), p + i, p + i + len);
            if (len & 1)
                out.push_back(0);
        } else {
            for (int k = 0; k < len; ++k) {
                out.push_back(1);
                out.push_back(p[i + k]);
            }
        }
        i += len;
    }
}

}  // namespace

bool writeBmp(const Slot& slot, const std::string& path, int option)
{
    if (slot.empty() || path.empty())
        return false;
    const DibGeometry& g = slot.geometry;
    const bool rle = option != 0 && g.bits == 8 && !(option & 6);

    std::vector<uint8_t> encoded;
    if (rle) {
        for (int y = g.height - 1; y >= 0; --y) {
            encodeRow(slot.row(y), g.width, encoded);
            encoded.push_back(0);
            encoded.push_back(0);
        }
        encoded.push_back(0);
        encoded.push_back(1);
    }
    const uint64_t tableBytes = 4ull * static_cast<uint64_t>(g.colours);
    const uint64_t imageBytes =
        rle ? encoded.size() : ((uint64_t(g.bits) * g.width + 31) / 32) * 4 * g.height;
    const uint64_t pixelOffset = 14 + 40 + tableBytes;
    if (pixelOffset + imageBytes > 0xFFFFFFFFull)
        return false;

    BitmapInfoHeader header = readInfoHeader(slot.dib);
    BitmapInfoHeader out;
    out.biWidth = g.width;
    out.biHeight = g.height;
    out.biBitCount = static_cast<uint16_t>(g.bits);
    out.biCompression = rle ? 1 : 0;
    out.biSizeImage = static_cast<uint32_t>(imageBytes);
    out.biXPelsPerMeter = header.biXPelsPerMeter;
    out.biYPelsPerMeter = header.biYPelsPerMeter;

    uint8_t fileHeader[14] = {'B', 'M'};
    putLe32(fileHeader + 2, static_cast<uint32_t>(pixelOffset + imageBytes));
    putLe32(fileHeader + 10, static_cast<uint32_t>(pixelOffset));

    FileWriter file(path);
    if (!file.isOpen())
        return false;
    file.write(fileHeader, sizeof fileHeader);
    file.write(&out, sizeof out);
    file.write(slot.colourTable(), tableBytes);
    if (rle) {
        file.write(encoded.data(), encoded.size());
    } else {
        // Bottom-up whatever the slot's row order.
        for (int y = g.height - 1; y >= 0; --y)
            file.write(slot.row(y), g.stride);
    }
    return file.finish();
}

}  // namespace tvx::imagelib
