// The seam between the image core and the window layer.
//
// Everything that would show, repaint or close a window goes through this table of
// function pointers. The window layer registers it when it starts; until then (and in
// batch use without a display) every member is null and the library behaves as if no
// image had a window. A hook may be null on its own; callers check each one.
#pragma once

#include <cstddef>

namespace tvx::imagelib {

struct DisplayHooks {
    // Opens the slot's window with the given parent and title, or re-titles the one it
    // has, and recomputes its layout. The window layer stores the handle in Slot::window.
    void (*openWindow)(int number, void* parent, const char* title) = nullptr;
    // The window takes up a new DIB of its slot and recomputes its layout.
    void (*adoptDib)(int number) = nullptr;
    void (*recomputeLayout)(int number) = nullptr;
    // Invalidates the window: how bit 0 erases, bit 1 paints at once, bit 2 paints directly.
    void (*repaint)(int number, int how) = nullptr;
    // Restores the window placement from the settings file after a load.
    void (*restorePlacement)(int number) = nullptr;
    void (*closeWindow)(int number) = nullptr;
    // Closes every image window and every diagram window, and frees screen palettes.
    void (*closeAll)() = nullptr;
    // The parent of the slot's window (null when none).
    void* (*windowParent)(int number) = nullptr;
    // The colour table changed: rebuild the slot's screen palette.
    void (*paletteChanged)(int number) = nullptr;
    // A device-dependent bitmap made from the slot's DIB (only one at a time).
    void* (*temporaryBitmap)(int number) = nullptr;
    // File dialogs. They fill path (size bytes) and *filterIndex (1-based) and return
    // true on OK. directory is the initial directory ("" for the system's choice).
    bool (*openFileDialog)(void* parent, const char* directory, const char* filter, int* filterIndex,
                           char* path, size_t size) = nullptr;
    bool (*saveFileDialog)(int number, const char* directory, const char* filter, int* filterIndex,
                           char* path, size_t size) = nullptr;
};

// Registers the hooks (copied); null unregisters them.
void setDisplayHooks(const DisplayHooks* hooks);
const DisplayHooks& displayHooks();

// Convenience wrappers that do nothing when the hook is missing.
bool hasWindow(int number);
void* windowParentOf(int number);
// Repaints a slot that has a window (after remapping its 16-bit plane) unless updates
// are suppressed.
void requestRepaint(int number, int how);

}  // namespace tvx::imagelib
