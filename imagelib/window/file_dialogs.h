// The open and save dialogs of the image library, shown through the window layer's
// file chooser. Without a display nobody could answer one, so they act as
// cancelled there.
#pragma once

#include "platform/window/window.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace tvx::imagelib {

// "Text|patterns|Text|patterns|" as the dialogs are given their filters.
std::vector<std::pair<std::string, std::string>> parseDialogFilter(const char* filter);

// The hooks of the window seam (see core/display_hooks.h).
bool openFileDialog(void* parent, const char* directory, const char* filter, int* filterIndex, char* path,
                    size_t size);
bool saveFileDialog(int number, const char* directory, const char* filter, int* filterIndex, char* path,
                    size_t size);

// A save dialog for any window of the library: the initial name, the filters as
// above; the chosen path (with the filter's extension when it has none) in path.
bool chooseSaveFile(platform::Hwnd owner, const char* directory, const char* filter, int* filterIndex,
                    const char* fileName, char* path, size_t size);

// Shows the dialogs on the off-screen platform too (tests answer them there).
void setDialogsWithoutDisplay(bool show);

}  // namespace tvx::imagelib
