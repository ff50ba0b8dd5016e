// libFuzzer entry for one image reader (chosen at build time): decodes the input from
// memory and, when it decodes, walks every row of the result so that a wrong size or
// layout shows up under the address sanitizer.
#include "imagelib/core/settings.h"
#include "imagelib/core/slot.h"
#include "imagelib/files/image_file.h"
#include "platform/ini.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

using namespace tvx::imagelib;

namespace {

int decode(const ByteSource& source, NewImage& image, const uint8_t* data, size_t size)
{
#if defined(PIXORY_FUZZ_READER_bmp)
    (void)data;
    (void)size;
    return readBmp(source, image);
#elif defined(PIXORY_FUZZ_READER_tiff)
    // The first byte picks a tag to fetch, so that the tag copying is fuzzed too.
    fileState().tiffTagRequest = size ? 250 + data[0] : 0;
    return readTiff(source, image);
#elif defined(PIXORY_FUZZ_READER_jpeg)
    (void)data;
    (void)size;
    return readJpeg(source, image);
#elif defined(PIXORY_FUZZ_READER_png)
    (void)data;
    (void)size;
    return readPng(source, image);
#elif defined(PIXORY_FUZZ_READER_raw)
    (void)data;
    (void)size;
    return readRaw(source, image);
#elif defined(PIXORY_FUZZ_READER_dat)
    return readDat(source, image, size ? data[size - 1] % 4 : 0);
#else
#error "no reader chosen"
#endif
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // A private settings file: the raw reader remembers geometries there.
    static const std::string ini = "/tmp/pixory-fuzz-" + std::to_string(getpid()) + ".ini";
    setSettingsFile(ini.c_str());
    // A limit keeps inputs that claim huge sizes quick; it is the same refusal path.
    tvx::platform::iniWriteString(ini, "Settings", "MaxBytesPerImage", "16000000");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemorySource source(data, size);
    NewImage image(size % 3 == 0 ? static_cast<uint32_t>(kFlagTopDown) : 0u);
    if (decode(source, image, data, size) != 0)
        return 0;
    const DibGeometry& g = image.geometry();
    unsigned sum = 0;
    for (int y = 0; y < g.height; ++y) {
        const uint8_t* row = image.row(y);
        for (size_t i = 0; i < g.stride; ++i)
            sum += row[i];
        if (image.hasPlane()) {
            const uint16_t* words = image.planeRow(y);
            for (int x = 0; x < g.width; ++x)
                sum += words[x];
        }
    }
    const uint8_t* table = image.colourTable();
    for (int i = 0; i < 4 * g.colours; ++i)
        sum += table[i];
    volatile unsigned sink = sum;
    (void)sink;
    return 0;
}
