// Exports: loading and saving images, the file dialogs, and the file state.
#include "imagelib/core/display_hooks.h"
#include "imagelib/core/export.h"
#include "imagelib/core/slot.h"
#include "imagelib/files/image_file.h"
#include "imagelib/files/loader.h"
#include "platform/memprobe.h"
#include "platform/paths.h"

#include <cstring>
#include <string>

using namespace tvx::imagelib;

namespace {

// pxSetDirectory keeps at most this many characters of the directory it is given.
constexpr size_t kMaxSetDirectory = 259;

const char kOpenFilter[] =
    "Bilddatei (*.bmp,*.tif,*.jpg,*.raw)|*.bmp;*.tif;*.jpg;*.raw|Bitmap (*.bmp)|*.bmp|"
    "TIFF (*.tif)|*.tif|JPEG (*.jpg)|*.jpg|RAW (*.raw)|*.raw|all (*.*)|*.*|";
const char kSaveFilter[] = "Bitmap (*.bmp)|*.bmp|TIFF (*.tif)|*.tif|JPEG (*.jpg)|*.jpg|all (*.*)|*.*|";
const char kSaveFilter16[] =
    "Bitmap (*.bmp)|*.bmp|TIFF 16 bit (*.tif)|*.tif|Tiff 8 bit (*.tif)|*.tif|JPEG (*.jpg)|*.jpg|"
    "all (*.*)|*.*|";

void copyTruncated(char* target, size_t size, std::string_view text)
{
    const size_t n = text.size() < size - 1 ? text.size() : size - 1;
    if (n)
        std::memcpy(target, text.data(), n);
    target[n] = '\0';
}

// After a dialog: the directory and the last file name follow the chosen file.
void rememberChoice(const char* path)
{
    FileState& state = fileState();
    copyTruncated(state.dialogDirectory, sizeof state.dialogDirectory, tvx::platform::directoryPart(path));
    copyTruncated(state.lastFilename, sizeof state.lastFilename, path);
}

int imageOpen(int number, void* parent)
{
    const int n = resolveNumber(number);
    const DisplayHooks& hooks = displayHooks();
    if (n < 0 || !hooks.openFileDialog)
        return 0;
    FileState& state = fileState();
    char path[kMaxPath + 1] = {};
    int filter = state.openFilter;
    if (!hooks.openFileDialog(parent, state.dialogDirectory, kOpenFilter, &filter, path, sizeof path))
        return 0;
    state.openFilter = filter;
    rememberChoice(path);
    if (hooks.openWindow) {
        const std::string title(tvx::platform::fileNamePart(path));
        hooks.openWindow(n, parent, title.c_str());
    }
    return loadImageFile(n, path) ? 1 : -1;
}

}  // namespace

PX_EXPORT int pxImageOpen(int number, void* parent)
{
    return guarded(-1, [&] { return imageOpen(number, parent); });
}

PX_EXPORT int pxsImageOpen(int number, void* parent)
{
    return guarded(-1, [&] { return imageOpen(number, parent); });
}

PX_EXPORT int pxImageSaveAs(int number)
{
    return guarded(-1, [&] {
        const int n = resolveNumber(number);
        const DisplayHooks& hooks = displayHooks();
        const Slot* slot = filledSlot(number);
        if (n < 0 || !slot || !slot->window || !hooks.saveFileDialog)
            return 0;
        FileState& state = fileState();
        char path[kMaxPath + 1] = {};
        int filter = state.saveFilter;
        const bool plane = slot->plane != nullptr;
        if (!hooks.saveFileDialog(n, state.dialogDirectory, plane ? kSaveFilter16 : kSaveFilter, &filter,
                                  path, sizeof path))
            return 0;
        state.saveFilter = filter;
        rememberChoice(path);
        // The filter chosen decides the format, not the extension.
        int format = 1;
        if (filter == 2)
            format = 2;
        else if (filter == 3)
            format = plane ? 3 : 4;
        else if (filter == 4 && plane)
            format = 4;
        return saveImageFile(n, path, format) == 1 ? 1 : -1;
    });
}

PX_EXPORT const char* pxLastFilename()
{
    return fileState().lastFilename;
}

PX_EXPORT void* pxLoadBitmap(int number, const char* path)
{
    return guarded<void*>(nullptr, [&]() -> void* {
        std::string name;
        if (!callerString(path, &name))
            return nullptr;
        return loadImageFile(number, name);
    });
}

PX_EXPORT void* pxLoadImage(int number, const char* path)
{
    return pxLoadBitmap(number, path);
}

PX_EXPORT int pxSaveBitmap(int number, const char* path)
{
    return guarded(0, [&] {
        std::string name;
        if (!callerString(path, &name) || name.empty())
            return 0;
        return saveImageFile(number, name, 1) == 1 ? 1 : 0;
    });
}

PX_EXPORT int pxSaveImage(int number, const char* path, int flags)
{
    return guarded(-2, [&] {
        std::string name;
        if (!callerString(path, &name))
            return -3;
        return saveImageFile(number, name, flags);
    });
}

PX_EXPORT void* pxGetTiffTagInfo(int tag)
{
    FileState& state = fileState();
    if (tag > 0 && tag != state.tiffTagRequest) {
        state.tiffTagRequest = tag;
        std::memset(state.tiffTagValue, 0, sizeof state.tiffTagValue);
    }
    return state.tiffTagValue;
}

PX_EXPORT const char* pxGetLastComment()
{
    return fileState().lastComment;
}

PX_EXPORT int pxSetSeqNumber(int number)
{
    const int previous = fileState().sequenceNumber;
    fileState().sequenceNumber = number;
    return previous;
}

PX_EXPORT int pxSetDirectory(const char* path)
{
    return guarded(0, [&] {
        std::string name;
        if (path && !callerString(path, &name))
            return 0;
        FileState& state = fileState();
        copyTruncated(state.dialogDirectory, kMaxSetDirectory + 1, name);
        return 0;
    });
}

// The decorated second names. The linker cannot make names with '@', so these are
// placeholders that the post-link step renames (see tools/decorate_exports.cpp).
PX_EXPORT int pxImageOpenDecorated(int, void*) __asm__("_pxImageOpen_8")
    __attribute__((alias("pxImageOpen")));
PX_EXPORT int pxsImageOpenDecorated(int, void*) __asm__("_pxsImageOpen_8")
    __attribute__((alias("pxsImageOpen")));
PX_EXPORT int pxImageSaveAsDecorated(int) __asm__("_pxImageSaveAs_4") __attribute__((alias("pxImageSaveAs")));
PX_EXPORT const char* pxLastFilenameDecorated() __asm__("_pxLastFilename_0")
    __attribute__((alias("pxLastFilename")));
