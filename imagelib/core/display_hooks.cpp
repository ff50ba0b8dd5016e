// The registered window-layer hooks and the helpers that call them.
#include "imagelib/core/display_hooks.h"

#include "imagelib/core/slot.h"
#include "imagelib/display/map16.h"

namespace tvx::imagelib {

namespace {

DisplayHooks gHooks;

}  // namespace

void setDisplayHooks(const DisplayHooks* hooks)
{
    gHooks = hooks ? *hooks : DisplayHooks{};
}

const DisplayHooks& displayHooks()
{
    return gHooks;
}

bool hasWindow(int number)
{
    const Slot* slot = slotFor(number);
    return slot && slot->window != nullptr;
}

void* windowParentOf(int number)
{
    const int n = resolveNumber(number);
    if (n < 0 || !gHooks.windowParent || !hasWindow(n))
        return nullptr;
    return gHooks.windowParent(n);
}

void requestRepaint(int number, int how)
{
    const int n = resolveNumber(number);
    if (n < 0 || !hasWindow(n))
        return;
    Slot& slot = *slotFor(n);
    if (slot.flags & kFlagNoUpdate)
        return;
    if (slot.plane && slot.dib)
        mapPlaneToDisplay(slot);
    if (gHooks.repaint)
        gHooks.repaint(n, how);
}

}  // namespace tvx::imagelib
