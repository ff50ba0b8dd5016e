// TIFF writer: one little-endian directory, fixed texts, the pixels in one strip.
#include "imagelib/core/slot.h"
#include "imagelib/files/image_file.h"
#include "platform/memprobe.h"

#include <cstring>
#include <vector>

namespace tvx::imagelib {

namespace {

enum Type : uint16_t { kAscii = 2, kShort = 3, kLong = 4 };

constexpr char kMake[] = "Veltra, Hollbach, Germany";
constexpr char kModel[] = "CCD";
constexpr char kSoftware[] = "Pixory SEP-99";
constexpr uint32_t kMakeBytes = 32, kModelBytes = 22, kSoftwareBytes = 16;

void putEntry(uint8_t*& p, uint16_t tag, uint16_t type, uint32_t count, uint32_t value)
{
    putLe16(p, tag);
    putLe16(p + 2, type);
    putLe32(p + 4, count);
    putLe32(p + 8, 0);
    if (type == kShort && count == 1)
        putLe16(p + 8, value);
    else
        putLe32(p + 8, value);
    p += 12;
}

}  // namespace

int writeTiff(const Slot& slot, const std::string& path, bool fromPlane, const char* description)
{
    if (path.empty())
        return -3;
    size_t descriptionBytes = 0;
    if (description) {
        const long n = platform::readableStringLength(description, 1u << 20);
        if (n < 5)
            return -3;
        descriptionBytes = static_cast<size_t>(n);
    }
    if (slot.empty() || (fromPlane && !slot.plane))
        return -1;
    const int width = slot.width();
    const int height = slot.height();
    const bool rgb = !fromPlane && slot.bits() == 24;
    const int bits = fromPlane ? 16 : rgb ? 8 : slot.bits();
    const size_t rowBytes = fromPlane ? static_cast<size_t>(width) * 2
                            : rgb     ? static_cast<size_t>(width) * 3
                                      : slot.geometry.rowBytes();
    const uint64_t stripBytes = uint64_t{rowBytes} * height;
    if (stripBytes > 0xFFFFFFFFull - 4096)
        return -2;

    const uint32_t entries = (rgb ? 13 : 12) + (description ? 1 : 0);
    const uint32_t ifdEnd = 10 + 12 * entries + 4;
    const uint32_t bpsOffset = ifdEnd;
    const uint32_t makeOffset = ifdEnd + (rgb ? 6 : 0);
    const uint32_t modelOffset = makeOffset + kMakeBytes;
    const uint32_t softwareOffset = modelOffset + kModelBytes;
    const uint32_t descriptionOffset = softwareOffset + kSoftwareBytes;
    const uint32_t pixelOffset = descriptionOffset + static_cast<uint32_t>(descriptionBytes);

    std::vector<uint8_t> head(pixelOffset, 0);
    uint8_t* p = head.data();
    p[0] = 'I';
    p[1] = 'I';
    putLe16(p + 2, 42);
    putLe32(p + 4, 8);
    putLe16(p + 8, entries);
    p += 10;
    putEntry(p, 254, kLong, 1, 0);
    putEntry(p, 256, kLong, 1, static_cast<uint32_t>(width));
    putEntry(p, 257, kLong, 1, static_cast<uint32_t>(height));
    putEntry(p, 258, kShort, rgb ? 3 : 1, rgb ? bpsOffset : static_cast<uint32_t>(bits));
    putEntry(p, 259, kShort, 1, 1);
    putEntry(p, 262, kShort, 1, rgb ? 2 : 1);
    putEntry(p, 271, kAscii, kMakeBytes, makeOffset);
    putEntry(p, 272, kAscii, kModelBytes, modelOffset);
    putEntry(p, 273, kLong, 1, pixelOffset);
    putEntry(p, 277, kShort, 1, rgb ? 3 : 1);
    putEntry(p, 279, kLong, 1, static_cast<uint32_t>(stripBytes));
    if (rgb)
        putEntry(p, 284, kShort, 1, 1);
    putEntry(p, 305, kAscii, kSoftwareBytes, softwareOffset);
    if (description)
        putEntry(p, 270, kAscii, static_cast<uint32_t>(descriptionBytes), descriptionOffset);
    putLe32(p, 0);
    if (rgb) {
        putLe16(head.data() + bpsOffset, 8);
        putLe16(head.data() + bpsOffset + 2, 8);
        putLe16(head.data() + bpsOffset + 4, 8);
    }
    std::memcpy(head.data() + makeOffset, kMake, sizeof kMake);
    std::memcpy(head.data() + modelOffset, kModel, sizeof kModel);
    std::memcpy(head.data() + softwareOffset, kSoftware, sizeof kSoftware);
    if (description)
        std::memcpy(head.data() + descriptionOffset, description, descriptionBytes);

    FileWriter file(path);
    if (!file.isOpen())
        return -10;
    file.write(head.data(), head.size());
    std::vector<uint8_t> line(rowBytes);
    for (int y = 0; y < height; ++y) {
        if (fromPlane) {
            // Rows as they lie in the plane.
            const uint16_t* in = slot.plane + static_cast<size_t>(y) * width;
            for (int x = 0; x < width; ++x)
                putLe16(&line[2 * static_cast<size_t>(x)], in[x]);
        } else if (rgb) {
            const uint8_t* in = slot.row(y);
            for (int x = 0; x < width; ++x) {
                line[3 * x] = in[3 * x + 2];
                line[3 * x + 1] = in[3 * x + 1];
                line[3 * x + 2] = in[3 * x];
            }
        } else {
            std::memcpy(line.data(), slot.row(y), rowBytes);
        }
        file.write(line.data(), line.size());
    }
    return file.finish() ? 0 : -12;
}

}  // namespace tvx::imagelib
