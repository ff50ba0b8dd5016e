// The open and save dialogs through the window layer's file chooser.
#include "imagelib/window/file_dialogs.h"

#include "imagelib/core/export.h"
#include "imagelib/core/settings.h"
#include "imagelib/window/image_window.h"
#include "platform/paths.h"
#include "platform/window/stddialogs.h"
#include "platform/window/window.h"

#include <cstring>

namespace tvx::imagelib {

using namespace tvx::platform;

namespace {

bool gWithoutDisplay = false;

// The extension a name without one gets: the chosen filter's first concrete
// pattern ("*.tif" gives "tif"), else "bmp".
std::string defaultExtension(const std::vector<std::pair<std::string, std::string>>& filters, int index)
{
    if (index >= 1 && static_cast<size_t>(index) <= filters.size()) {
        const std::string& patterns = filters[static_cast<size_t>(index - 1)].second;
        const size_t dot = patterns.find("*.");
        if (dot != std::string::npos) {
            std::string ext = patterns.substr(dot + 2, patterns.find(';', dot) - dot - 2);
            if (!ext.empty() && ext.find_first_of("*?") == std::string::npos)
                return ext;
        }
    }
    return "bmp";
}

bool choose(bool save, Hwnd owner, const char* directory, const char* filter, int* filterIndex, char* path,
            size_t size, const char* fileName = "Image")
{
    if (!path || size == 0 || !filterIndex)
        return false;
    if (!windowSystemVisible() && !gWithoutDisplay)
        return false;
    FileChooserRequest request;
    request.save = save;
    request.overwritePrompt = save;
    request.fileName = fileName;
    request.filters = parseDialogFilter(filter);
    request.filterIndex = *filterIndex >= 1 ? *filterIndex : 1;
    request.owner = owner && isWindow(owner) ? owner : 0;
    if (directory && *directory) {
        const std::string folder = fileSystemPath(directory, true);
        if (directoryExists(folder))
            request.directory = folder;
    }
    const FileChooserResult result = fileChooserDialog(request);
    if (!result.ok || result.paths.empty())
        return false;
    std::string chosen = result.paths.front();
    // The folder must exist; the file itself need not (a failed load reports it).
    const std::string folder(directoryPart(chosen));
    if (!folder.empty() && !directoryExists(folder))
        return false;
    if (fileNamePart(chosen).find('.') == std::string_view::npos)
        chosen.append(1, '.').append(defaultExtension(request.filters, result.filterIndex));
    // The file system's own bytes: they name the file whatever they decode to.
    if (chosen.size() >= size)
        return false;
    std::memcpy(path, chosen.c_str(), chosen.size() + 1);
    *filterIndex = result.filterIndex;
    return true;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> parseDialogFilter(const char* filter)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    if (!filter)
        return pairs;
    std::vector<std::string> parts;
    std::string part;
    for (const char* p = filter; *p; ++p) {
        if (*p == '|') {
            parts.push_back(part);
            part.clear();
        } else {
            part += *p;
        }
    }
    if (!part.empty())
        parts.push_back(part);
    for (size_t i = 0; i + 1 < parts.size(); i += 2)
        pairs.emplace_back(parts[i], parts[i + 1]);
    return pairs;
}

bool openFileDialog(void* parent, const char* directory, const char* filter, int* filterIndex, char* path,
                    size_t size)
{
    return choose(false, windowHandleFrom(parent), directory, filter, filterIndex, path, size);
}

bool saveFileDialog(int number, const char* directory, const char* filter, int* filterIndex, char* path,
                    size_t size)
{
    const ImageWindow* w = ImageWindow::of(number);
    return choose(true, w ? w->hwnd() : 0, directory, filter, filterIndex, path, size);
}

bool chooseSaveFile(Hwnd owner, const char* directory, const char* filter, int* filterIndex,
                    const char* fileName, char* path, size_t size)
{
    return choose(true, owner, directory, filter, filterIndex, path, size, fileName);
}

void setDialogsWithoutDisplay(bool show)
{
    gWithoutDisplay = show;
}

}  // namespace tvx::imagelib
