// The image table, DIB allocation and the size limits of the settings file.
#include "imagelib/core/slot.h"

#include "imagelib/core/settings.h"
#include "platform/ini.h"

#include <cstdlib>

namespace tvx::imagelib {

namespace {

Slot gSlots[kSlotCount];
int gCurrentImage = 0;

}  // namespace

int colourEntriesFor(int bits)
{
    switch (bits) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
    }
}

bool makeGeometry(int width, int height, int bits, DibGeometry* geometry)
{
    if (width <= 0 || height <= 0 || bits <= 0 || bits > 32)
        return false;
    const uint64_t stride = ((static_cast<uint64_t>(width) * bits + 31) / 8) & ~uint64_t{3};
    const uint64_t bytes = stride * static_cast<uint64_t>(height) + kDibExtraBytes;
    if (bytes > kMaxDibBytes)
        return false;
    DibGeometry g;
    g.width = width;
    g.height = height;
    g.bits = bits;
    g.stride = static_cast<size_t>(stride);
    g.colours = colourEntriesFor(bits);
    g.tableOffset = kInfoHeaderBytes;
    g.pixelOffset = kInfoHeaderBytes + 4 * static_cast<size_t>(g.colours);
    g.blockBytes = static_cast<size_t>(bytes);
    *geometry = g;
    return true;
}

int resolveNumber(int number)
{
    if (number < 0)
        number = gCurrentImage;
    return number < kSlotCount ? number : -1;
}

Slot* slotFor(int number)
{
    const int n = resolveNumber(number);
    return n < 0 ? nullptr : &gSlots[n];
}

Slot* filledSlot(int number)
{
    Slot* slot = slotFor(number);
    return slot && !slot->empty() ? slot : nullptr;
}

int currentImage()
{
    return gCurrentImage;
}

void setCurrentImage(int number)
{
    if (number >= 0 && number < kSlotCount)
        gCurrentImage = number;
}

bool sizeAllowed(int64_t width, int64_t height, int bits)
{
    if (width <= 0 || height <= 0 || bits <= 0)
        return false;
    // 1024 x 768 at 8 bits is always allowed, without reading the settings.
    const int64_t pixels = width * height;
    if (width > INT32_MAX || height > INT32_MAX)
        return false;
    const int64_t bytes = pixels * bits / 8;
    if (pixels <= 1024 * 768 && bytes <= 1024 * 768)
        return true;
    const std::string ini = settingsFile();
    const long long maxPixels = platform::iniGetInt(ini, "Settings", "MaxPixelPerImage", 0);
    if (maxPixels > 0 && pixels > maxPixels)
        return false;
    const long long maxBytes = platform::iniGetInt(ini, "Settings", "MaxBytesPerImage", 0);
    if (maxBytes > 0 && bytes > maxBytes)
        return false;
    return true;
}

uint8_t* allocateDib(const DibGeometry& geometry)
{
    if (!sizeAllowed(geometry.width, geometry.height, geometry.bits))
        return nullptr;
    auto* block = static_cast<uint8_t*>(std::calloc(geometry.blockBytes, 1));
    if (!block)
        return nullptr;
    BitmapInfoHeader header;
    header.biWidth = geometry.width;
    header.biHeight = geometry.height;
    header.biBitCount = static_cast<uint16_t>(geometry.bits);
    writeInfoHeader(block, header);
    return block;
}

uint16_t* allocatePlane(int width, int height)
{
    if (!sizeAllowed(width, height, 16))
        return nullptr;
    const uint64_t count = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (count * 2 > kMaxDibBytes)
        return nullptr;
    return static_cast<uint16_t*>(std::calloc(static_cast<size_t>(count), 2));
}

void adoptDib(Slot& slot, uint8_t* block, const DibGeometry& geometry)
{
    std::free(slot.dib);
    slot.dib = block;
    slot.geometry = block ? geometry : DibGeometry{};
    slot.pixels = block ? block + geometry.pixelOffset : nullptr;
}

void freeDib(Slot& slot)
{
    adoptDib(slot, nullptr, DibGeometry{});
}

void freePlane(Slot& slot)
{
    std::free(slot.plane);
    slot.plane = nullptr;
    slot.dataDepth = 0;
    slot.dataMax = 0;
}

void computePlaneRange(Slot& slot)
{
    if (!slot.plane)
        return;
    const size_t count = static_cast<size_t>(slot.width()) * static_cast<size_t>(slot.height());
    uint16_t maximum = 255;
    for (size_t i = 0; i < count; ++i)
        maximum = slot.plane[i] > maximum ? slot.plane[i] : maximum;
    slot.dataMax = maximum;
    int depth = 9;
    while (depth < 16 && ((1u << depth) - 1) < maximum)
        ++depth;
    slot.dataDepth = depth;
}

}  // namespace tvx::imagelib
