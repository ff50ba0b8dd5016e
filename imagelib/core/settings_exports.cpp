// Exports: settings-file location.
#include "imagelib/core/export.h"
#include "imagelib/core/settings.h"
#include "platform/memprobe.h"

#include <string>

using namespace tvx::imagelib;

PX_EXPORT int pxSetIniFile(const char* path)
{
    return guarded(0, [&] {
        if (path && tvx::platform::readableStringLength(path, 4096) < 0)
            return 0;
        setSettingsFile(path);
        return 0;
    });
}
