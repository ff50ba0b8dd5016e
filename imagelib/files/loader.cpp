// Choosing a reader or writer by name, and putting a read image into its slot.
#include "imagelib/files/loader.h"

#include "imagelib/core/display_hooks.h"
#include "imagelib/core/settings.h"
#include "imagelib/core/slot.h"
#include "imagelib/display/map16.h"
#include "imagelib/files/image_file.h"
#include "imagelib/palette/palette.h"
#include "platform/paths.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace tvx::imagelib {

namespace {

enum class Kind { Unknown, Bmp, Tiff, Jpeg, Png, Raw, Dat };

Kind kindForLoad(const std::string& ext)
{
    if (ext == "tif" || ext == "tiff")
        return Kind::Tiff;
    if (ext == "jpg" || ext == "jpeg")
        return Kind::Jpeg;
    if (ext == "raw")
        return Kind::Raw;
    if (ext == "bmp" || ext == "dib")
        return Kind::Bmp;
    if (ext == "png")
        return Kind::Png;
    // A frame number may follow the extension ("x.dat@3", "x.dat;3").
    if (ext.compare(0, 3, "dat") == 0)
        return Kind::Dat;
    return Kind::Unknown;
}

size_t nameStart(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? 0 : slash + 1;
}

size_t findIgnoringCase(const std::string& text, const char* what, size_t from)
{
    const size_t n = std::strlen(what);
    for (size_t i = text.size() >= n ? text.size() - n + 1 : 0; i-- > from;) {
        if (strncasecmp(text.c_str() + i, what, n) == 0)
            return i;
    }
    return std::string::npos;
}

int frameNumber(const char* text)
{
    const long v = std::strtol(text, nullptr, 10);
    return v < 0 ? 0 : v > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(v);
}

// Splits a DAT name into the file name and the frame number it carries, if any.
bool splitDatName(const std::string& path, std::string* file, int* frame)
{
    const size_t start = nameStart(path);
    const size_t at = path.rfind('@');
    if (at != std::string::npos && at >= start) {
        *frame = frameNumber(path.c_str() + at + 1);
        *file = path.substr(0, at);
        return true;
    }
    const size_t dat = findIgnoringCase(path, ".dat", start);
    if (dat != std::string::npos && dat + 4 < path.size()) {
        *frame = frameNumber(path.c_str() + dat + 5);
        *file = path.substr(0, dat + 4);
        return true;
    }
    return false;
}

std::string bmpPath(const std::string& name)
{
    return fileSystemPath(applyPathRules(name, libraryDirectory(), "bmp"), true);
}

int runReader(Kind kind, const std::string& name, NewImage& image)
{
    if (kind == Kind::Dat) {
        std::string stripped;
        int frame = 0;
        if (splitDatName(name, &stripped, &frame))
            fileState().sequenceNumber = frame;
        // The name as given first, so that a file really called "x.dat@3" still opens.
        FileSource given(fileSystemPath(name, true));
        if (given.isOpen())
            return readDat(given, image, fileState().sequenceNumber);
        FileSource file(fileSystemPath(stripped.empty() ? name : stripped, true));
        return file.isOpen() ? readDat(file, image, fileState().sequenceNumber) : -11;
    }
    FileSource file(loadPath(name));
    if (!file.isOpen())
        return -11;
    switch (kind) {
    case Kind::Bmp: return readBmp(file, image);
    case Kind::Tiff: return readTiff(file, image);
    case Kind::Jpeg: return readJpeg(file, image);
    case Kind::Png: return readPng(file, image);
    case Kind::Raw: return readRaw(file, image);
    default: return -1;
    }
}

}  // namespace

std::string loadPath(const std::string& name)
{
    return kindForLoad(extensionOf(name)) == Kind::Bmp ? bmpPath(name) : fileSystemPath(name, true);
}

uint8_t* loadImageFile(int number, const std::string& path)
{
    const int n = resolveNumber(number);
    if (n < 0)
        return nullptr;
    const Kind kind = kindForLoad(extensionOf(path));
    if (kind == Kind::Unknown)
        return nullptr;
    Slot& slot = *slotFor(n);
    const bool hadWindow = slot.window != nullptr;
    if (!hadWindow)
        slot.flags |= kFlagLoading;
    uint8_t keptTable[1024];
    const bool keep = (slot.flags & kFlagKeepPalette) && !slot.empty() && slot.geometry.colours == 256;
    if (keep)
        std::memcpy(keptTable, slot.colourTable(), sizeof keptTable);
    freeDib(slot);
    freePlane(slot);

    int result;
    NewImage image(slot.flags & (kFlagTopDown | kFlagPlaneBottomUp));
    try {
        result = runReader(kind, path, image);
    } catch (...) {
        result = -2;
    }
    slot.flags &= ~kFlagLoading;
    if (result != 0)
        return nullptr;

    uint8_t* block;
    uint16_t* plane;
    DibGeometry geometry;
    const bool ownColours = image.ownColours;
    BitmapInfoHeader header;
    header.biXPelsPerMeter = image.xPelsPerMeter;
    header.biYPelsPerMeter = image.yPelsPerMeter;
    image.release(&block, &plane, &geometry);
    header.biWidth = geometry.width;
    header.biHeight = geometry.height;
    header.biBitCount = static_cast<uint16_t>(geometry.bits);
    writeInfoHeader(block, header);
    adoptDib(slot, block, geometry);
    slot.plane = plane;
    slot.lookupEnabled = false;
    computePlaneRange(slot);
    if (!ownColours)
        applyPaletteWord(n, slot.paletteWord);
    if (keep && geometry.colours == 256)
        std::memcpy(slot.colourTable(), keptTable, sizeof keptTable);
    if (slot.plane)
        mapPlaneToDisplay(slot);

    const DisplayHooks& hooks = displayHooks();
    if (slot.window) {
        if (hooks.adoptDib)
            hooks.adoptDib(n);
        if (hooks.paletteChanged)
            hooks.paletteChanged(n);
        if (!(slot.flags & kFlagNoUpdate) && hooks.repaint)
            hooks.repaint(n, 1);
        if (hooks.restorePlacement)
            hooks.restorePlacement(n);
    }
    return slot.dib;
}

void takeJpegOptions(std::string* path, int* quality, int* sampling)
{
    std::string& name = *path;
    const size_t start = nameStart(name);
    size_t cut = std::string::npos;
    const size_t at = name.rfind('@');
    if (at != std::string::npos && at >= start) {
        cut = at;
    } else {
        const size_t jpg = findIgnoringCase(name, ".jpg", start);
        if (jpg != std::string::npos && jpg + 4 < name.size())
            cut = jpg + 4;
    }
    if (cut == std::string::npos)
        return;
    size_t i = cut + (name[cut] == '@' ? 1 : 0);
    int number = 0;
    bool digits = false;
    while (i < name.size() && std::isdigit(static_cast<unsigned char>(name[i])) && number < 1000) {
        number = number * 10 + (name[i] - '0');
        digits = true;
        ++i;
    }
    if (digits && number >= 1 && number <= 100)
        *quality = number;
    while (i < name.size() && name[i] != '.') {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
        if (c == 'h')
            *sampling = 1;
        else if (c == 'l')
            *sampling = 2;
        ++i;
    }
    name.erase(cut, i - cut);
}

int saveImageFile(int number, const std::string& path, int flags)
{
    Slot* slot = filledSlot(number);
    if (!slot)
        return 0;
    if (path.empty())
        return -3;
    int format = flags & 0xFF;
    const int option = (flags >> 8) & 0xFF;
    bool png = false;
    if (format == 0) {
        const std::string ext = extensionOf(path);
        if (ext == "tif")
            format = 2;
        else if (ext == "jpg")
            format = 4;
        else if (ext == "bmp")
            format = 1;
        else if (ext == "png")
            png = true;  // a real PNG; TIFF bytes under a PNG name help nobody
    }
    if (png)
        return writePng(*slot, fileSystemPath(path, true), slot->plane != nullptr) ? 1 : 0;
    switch (format) {
    case 1: return writeBmp(*slot, bmpPath(path), option) ? 1 : 0;
    case 4: {
        FileState& state = fileState();
        if (option)
            state.jpegQuality = option;
        std::string name = path;
        int sampling = 0;
        takeJpegOptions(&name, &state.jpegQuality, &sampling);
        return writeJpeg(*slot, fileSystemPath(name, true), state.jpegQuality, sampling) ? 1 : 0;
    }
    default: {
        const int result = writeTiff(*slot, fileSystemPath(path, true), format == 2 && slot->plane, nullptr);
        return result == 0 ? 1 : result;
    }
    }
}

}  // namespace tvx::imagelib
