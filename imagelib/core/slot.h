// The image table: 32 slots, each with a DIB, an optional 16-bit plane, flags and display state.
#pragma once

#include "imagelib/core/dib.h"

#include <cstddef>
#include <cstdint>

namespace tvx::imagelib {

constexpr int kSlotCount = 32;

// Flag word bits.
enum : uint32_t {
    kFlagTopDown = 0x00000001,        // DIB rows stored top-down
    kFlagPlaneBottomUp = 0x00000002,  // 16-bit plane stored bottom-up
    kFlagNoWindow = 0x00000010,
    kFlagGreyDisplay = 0x00000080,
    kFlagEnlargeScroll = 0x00000100,  // pxSetScrollPos may enlarge the range; no range at layout
    kFlagNoScrollRange = 0x00000200,
    kFlagKeepPalette = 0x00000400,
    kFlagNoUpdate = 0x02000000,
    kFlagOffscreenPaint = 0x04000000,  // paint through an off-screen bitmap while not scrolled
    kFlagCopy8Only = 0x08000000,       // in pxImageCopy's flags: copy the 8-bit DIB only
    kFlagCreating = 0x20000000,
    kFlagLoading = 0x40000000,
};

struct Slot {
    // Image data. The block and the plane are malloc'ed; the slot owns them.
    uint8_t* dib = nullptr;
    uint8_t* pixels = nullptr;
    DibGeometry geometry;
    uint16_t* plane = nullptr;
    int dataDepth = 0;  // 9..16 with a plane, else 0
    uint16_t dataMax = 0;
    uint32_t flags = 0;
    uint32_t paletteWord = 0;
    uint8_t lookup[768] = {};  // red, green and blue lists for images without colour table
    bool lookupEnabled = false;

    // Display state, used by the window layer.
    double zoom = 1.0;
    double changeFactor = 2.0;
    uint8_t zoomOptions = 0;
    double savedZoom = 0.0;
    double previousSavedZoom = 0.0;
    int windowStyle = 0;
    void* window = nullptr;         // set and cleared by the window layer only
    void* screenPalette = nullptr;  // likewise

    // Mapping of the 16-bit plane to the 8-bit display.
    int displayMode = 0;
    double lowPercent = 1.0;
    double highPercent = 0.1;
    uint16_t mode4Low = 0;
    uint16_t mode4High = 0;
    int lastOffset = 0;
    uint8_t lastMethod = 0;
    uint8_t lastKind = 0;
    int lastScale = 0;

    bool empty() const
    {
        return dib == nullptr;
    }
    int width() const
    {
        return geometry.width;
    }
    int height() const
    {
        return geometry.height;
    }
    int bits() const
    {
        return geometry.bits;
    }
    size_t stride() const
    {
        return geometry.stride;
    }
    uint8_t* colourTable() const
    {
        return dib ? dib + geometry.tableOffset : nullptr;
    }

    // Row y counted from the top, in the slot's row order.
    uint8_t* row(int y) const
    {
        const int mem = (flags & kFlagTopDown) ? y : geometry.height - 1 - y;
        return pixels + static_cast<size_t>(mem) * geometry.stride;
    }
    uint16_t* planeRow(int y) const
    {
        const int mem = (flags & kFlagPlaneBottomUp) ? geometry.height - 1 - y : y;
        return plane + static_cast<size_t>(mem) * static_cast<size_t>(geometry.width);
    }
};

// The slot for an image number after the negative-means-current rule; null when the
// number is 32 or more.
Slot* slotFor(int number);
// The resolved number (0..31), or -1 when invalid.
int resolveNumber(int number);
// A filled slot, or null when the number is invalid or the slot is empty.
Slot* filledSlot(int number);

int currentImage();
void setCurrentImage(int number);

// Size check against "MaxPixelPerImage" and "MaxBytesPerImage" of the settings file.
bool sizeAllowed(int64_t width, int64_t height, int bits);

// Allocates a zero-filled block with its header filled in, after the size check.
// Null when refused or out of memory.
uint8_t* allocateDib(const DibGeometry& geometry);
uint16_t* allocatePlane(int width, int height);

// Puts a block into the slot (freeing the old block; the plane stays).
void adoptDib(Slot& slot, uint8_t* block, const DibGeometry& geometry);
void freeDib(Slot& slot);
void freePlane(Slot& slot);

// Largest plane value (never below 255) and the depth that holds it (9..16).
void computePlaneRange(Slot& slot);

}  // namespace tvx::imagelib
