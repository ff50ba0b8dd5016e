// The window side's half of the seam: registers the display hooks when the
// library is loaded, so that the core reaches image windows through them.
#include "imagelib/core/display_hooks.h"
#include "imagelib/core/export.h"
#include "imagelib/core/slot.h"
#include "imagelib/window/file_dialogs.h"
#include "imagelib/window/image_window.h"
#include "imagelib/window/paint.h"
#include "platform/window/gdi.h"

namespace tvx::imagelib {

using namespace tvx::platform;

namespace {

// The one bitmap pxGetTempHBitmap hands out; the next call replaces it.
Hgdiobj gTemporaryBitmap = 0;

void forgetTemporaryBitmap()
{
    if (gTemporaryBitmap)
        deleteObject(gTemporaryBitmap);
    gTemporaryBitmap = 0;
}

void openWindow(int number, void* parent, const char* title)
{
    ImageWindow::open(number, windowHandleFrom(parent), title ? title : "");
}

void adoptDib(int number)
{
    if (ImageWindow* w = ImageWindow::of(number)) {
        w->recomputeLayout();
        if (!(w->slot().flags & kFlagNoUpdate))
            w->repaint(0);
    }
}

void recomputeLayout(int number)
{
    if (ImageWindow* w = ImageWindow::of(number))
        w->recomputeLayout();
}

void repaint(int number, int how)
{
    if (ImageWindow* w = ImageWindow::of(number))
        w->repaint(how);
}

void restorePlacement(int number)
{
    ImageWindow* w = ImageWindow::of(number);
    if (!w || w->placed())
        return;
    ImageWindow::PlacementRequest request;
    request.useStoredSize = true;
    w->restorePlacement(request);
}

void closeWindow(int number)
{
    ImageWindow::close(number);
}

void closeAll()
{
    ImageWindow::closeAll();
    forgetTemporaryBitmap();
}

void* windowParent(int number)
{
    const ImageWindow* w = ImageWindow::of(number);
    if (!w)
        return nullptr;
    const Hwnd parent = parentOf(w->hwnd()) ? parentOf(w->hwnd()) : ownerOf(w->hwnd());
    return reinterpret_cast<void*>(static_cast<uintptr_t>(parent));
}

void* temporaryBitmap(int number)
{
    forgetTemporaryBitmap();
    const Slot* slot = filledSlot(number);
    if (!slot)
        return nullptr;
    const Hdc memory = createCompatibleDC(0);
    const Hgdiobj bitmap = createCompatibleBitmap(memory, slot->width(), slot->height());
    if (bitmap) {
        selectObject(memory, bitmap);
        drawPicture(memory, *slot);
    }
    deleteDC(memory);
    gTemporaryBitmap = bitmap;
    return bitmap ? reinterpret_cast<void*>(static_cast<uintptr_t>(bitmap)) : nullptr;
}

struct Registration {
    Registration()
    {
        DisplayHooks hooks;
        hooks.openWindow = openWindow;
        hooks.adoptDib = adoptDib;
        hooks.recomputeLayout = recomputeLayout;
        hooks.repaint = repaint;
        hooks.restorePlacement = restorePlacement;
        hooks.closeWindow = closeWindow;
        hooks.closeAll = closeAll;
        hooks.windowParent = windowParent;
        // True-colour surfaces need no screen palette: a changed colour table shows
        // at the next paint, which the callers ask for.
        hooks.paletteChanged = nullptr;
        hooks.temporaryBitmap = temporaryBitmap;
        hooks.openFileDialog = openFileDialog;
        hooks.saveFileDialog = saveFileDialog;
        setDisplayHooks(&hooks);
    }
} gRegistration;

}  // namespace

}  // namespace tvx::imagelib
