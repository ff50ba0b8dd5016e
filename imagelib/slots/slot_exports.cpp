// Exports: creating, copying, swapping and closing images; getters; the flag word.
#include "imagelib/core/display_hooks.h"
#include "imagelib/core/export.h"
#include "imagelib/core/slot.h"
#include "imagelib/slots/image_ops.h"

using namespace tvx::imagelib;

PX_EXPORT void* pxImageNew(int number, void* parent, int width, int height, int bits, int flags)
{
    return guarded<void*>(
        nullptr, [&] { return imageNew(number, parent, width, height, bits, static_cast<uint32_t>(flags)); });
}

PX_EXPORT void* pxImageCopy(int source, int destination, int flags)
{
    return guarded<void*>(nullptr, [&] { return imageCopy(source, destination, flags); });
}

PX_EXPORT int pxSwapImage(int a, int b, int mode)
{
    return guarded(0, [&] {
        swapImages(a, b, mode);
        return 0;
    });
}

PX_EXPORT int pxImageClose(int number)
{
    return guarded(0, [&] {
        const int n = resolveNumber(number);
        if (n >= 0 && hasWindow(n) && displayHooks().closeWindow)
            displayHooks().closeWindow(n);
        return 0;
    });
}

PX_EXPORT int pxCloseAll()
{
    return guarded(0, [] {
        closeAll();
        return 0;
    });
}

PX_EXPORT void* pxGetBitmapHeader(int number)
{
    const Slot* slot = filledSlot(number);
    return slot ? slot->dib : nullptr;
}

PX_EXPORT void* pxGetBitmapData(int number)
{
    const Slot* slot = filledSlot(number);
    return slot ? slot->pixels : nullptr;
}

PX_EXPORT void* pxGetImg16Data(int number)
{
    const Slot* slot = filledSlot(number);
    return slot ? slot->plane : nullptr;
}

PX_EXPORT void* pxImgData(int number)
{
    const Slot* slot = filledSlot(number);
    if (!slot)
        return nullptr;
    return slot->plane ? static_cast<void*>(slot->plane) : static_cast<void*>(slot->pixels);
}

PX_EXPORT int pxGetXSize(int number)
{
    const Slot* slot = filledSlot(number);
    return slot ? slot->width() : 0;
}

PX_EXPORT int pxGetYSize(int number)
{
    const Slot* slot = filledSlot(number);
    return slot ? slot->height() : 0;
}

// One function under two names each.
PX_EXPORT int pxImgXSize(int number) __attribute__((alias("pxGetXSize")));
PX_EXPORT int pxImgYSize(int number) __attribute__((alias("pxGetYSize")));

PX_EXPORT int pxGetBitPerPixel(int number)
{
    const Slot* slot = filledSlot(number);
    return slot ? slot->bits() : 0;
}

PX_EXPORT int pxImgBitPerPixel(int number)
{
    const Slot* slot = filledSlot(number);
    if (!slot)
        return 0;
    return slot->plane ? slot->dataDepth : slot->bits();
}

PX_EXPORT int pxGetBytePerLine(int number)
{
    const Slot* slot = filledSlot(number);
    return slot ? static_cast<int>(slot->stride()) : 0;
}

PX_EXPORT int pxImgBytePerLine(int number)
{
    const Slot* slot = filledSlot(number);
    if (!slot)
        return 0;
    return slot->plane ? slot->width() * 2 : static_cast<int>(slot->stride());
}

PX_EXPORT int pxImgPixelSize(int number)
{
    const Slot* slot = filledSlot(number);
    if (!slot)
        return 0;
    return slot->plane ? 2 : (slot->bits() + 7) / 8;
}

PX_EXPORT void* pxGetImgHWnd(int number)
{
    const Slot* slot = slotFor(number);
    return slot ? slot->window : nullptr;
}

PX_EXPORT void* pxGetTempHBitmap(int number)
{
    return guarded<void*>(nullptr, [&]() -> void* {
        const int n = resolveNumber(number);
        const Slot* slot = filledSlot(number);
        if (!slot || !slot->window || !displayHooks().temporaryBitmap)
            return nullptr;
        return displayHooks().temporaryBitmap(n);
    });
}

PX_EXPORT int pxSetImageFlags(int number, int flags)
{
    Slot* slot = slotFor(number);
    if (!slot)
        return 0;
    const uint32_t previous = slot->flags;
    if (flags == -1)
        return static_cast<int>(previous);
    if (flags < 0)
        slot->flags |= static_cast<uint32_t>(flags) & 0x7FFFFFFFu;
    else
        slot->flags = static_cast<uint32_t>(flags);
    return static_cast<int>(previous);
}

PX_EXPORT int pxSetImageFlagBits(int number, int bits, int on)
{
    Slot* slot = slotFor(number);
    if (!slot)
        return 0;
    const uint32_t previous = slot->flags;
    if (bits == -1)
        return static_cast<int>(previous);
    if (on)
        slot->flags |= static_cast<uint32_t>(bits);
    else
        slot->flags &= ~static_cast<uint32_t>(bits);
    return static_cast<int>(previous);
}
