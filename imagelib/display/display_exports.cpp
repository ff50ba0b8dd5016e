// Exports: updating the display of an image and the 16-bit display settings.
#include "imagelib/core/display_hooks.h"
#include "imagelib/core/export.h"
#include "imagelib/core/slot.h"
#include "imagelib/display/map16.h"
#include "platform/memprobe.h"

#include <cmath>

using namespace tvx::imagelib;

PX_EXPORT int pxImageUpdate(int number, int how)
{
    return guarded(-1, [&] {
        const int n = resolveNumber(number);
        if (n < 0)
            return -1;
        Slot& slot = *slotFor(n);
        slot.flags &= ~kFlagNoUpdate;
        if (slot.window) {
            if (slot.plane && slot.dib)
                mapPlaneToDisplay(slot);
            if (displayHooks().repaint)
                displayHooks().repaint(n, how);
        } else if ((how & 8) && slot.plane && slot.dib) {
            mapPlaneToDisplay(slot);
        }
        return 0;
    });
}

PX_EXPORT int pxGetImg16Display(int number, double* low, double* high)
{
    const Slot* slot = slotFor(number);
    if (!slot)
        return 0;
    storeResult(low, slot->lowPercent);
    storeResult(high, slot->highPercent);
    return slot->displayMode;
}

PX_EXPORT int pxSetImg16Display(int number, int mode, double low, double high)
{
    Slot* slot = slotFor(number);
    if (!slot)
        return 0;
    if (low >= 0)
        slot->lowPercent = low;
    if (high >= 0)
        slot->highPercent = high;
    if (mode > 0) {
        slot->displayMode = mode;
        if ((mode & 0xFF) == 4) {
            auto window16 = [](double v) {
                return static_cast<uint16_t>(std::llround(std::fmin(std::fmax(v, 0.0), 65535.0)));
            };
            slot->mode4Low = window16(low);
            slot->mode4High = window16(high);
        }
    }
    return slot->displayMode;
}

PX_EXPORT int pxTranslatePixel16To8(int number, int value)
{
    const Slot* slot = slotFor(number);
    return slot ? translatePixel16To8(*slot, value) : 0;
}
