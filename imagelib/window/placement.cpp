// Window placements in the settings file and their way back onto the screens.
#include "imagelib/window/placement.h"

#include "imagelib/core/settings.h"
#include "platform/ini.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace tvx::imagelib {

using platform::MonitorInfo;
using platform::Rect;

namespace {

std::string keyFor(int number)
{
    char key[24];
    std::snprintf(key, sizeof key, "Display%d", number + 1);
    return key;
}

int64_t overlap(int64_t a0, int64_t a1, int64_t b0, int64_t b1)
{
    return std::max<int64_t>(0, std::min(a1, b1) - std::max(a0, b0));
}

}  // namespace

bool parsePlacement(const std::string& text, PlacementRecord& record)
{
    int* fields[] = {&record.left, &record.top, &record.width, &record.height, &record.state};
    const char* p = text.c_str();
    int parsed = 0;
    for (int* field : fields) {
        char* end = nullptr;
        const long value = std::strtol(p, &end, 10);
        if (end == p)
            break;
        *field = static_cast<int>(std::clamp<long>(value, -1000000000L, 1000000000L));
        p = end;
        ++parsed;
    }
    return parsed > 0;
}

std::string formatPlacement(const PlacementRecord& record)
{
    char text[80];
    std::snprintf(text, sizeof text, "%d %d %d %d %d", record.left, record.top, record.width, record.height,
                  record.state);
    return text;
}

bool readPlacement(int number, PlacementRecord& record)
{
    return readPlacement(keyFor(number), record);
}

bool writePlacement(int number, const PlacementRecord& record)
{
    return writePlacement(keyFor(number), record);
}

bool readPlacement(const std::string& key, PlacementRecord& record)
{
    const std::string text = platform::iniGetString(settingsFile(), "Windows", key, "");
    return !text.empty() && parsePlacement(text, record);
}

bool writePlacement(const std::string& key, const PlacementRecord& record)
{
    return platform::iniWriteString(settingsFile(), "Windows", key, formatPlacement(record));
}

std::string imagePlacementKey(int number)
{
    return keyFor(number);
}

void saveWindowPlacement(const std::string& key, bool maximised, const Rect& rect, std::string& lastRecord)
{
    PlacementRecord record{rect.left, rect.top, rect.width(), rect.height(), kPlacementMaximised};
    if (maximised) {
        readPlacement(key, record);
        record.state = kPlacementMaximised;
    } else {
        if (rect.width() <= 40 || rect.height() <= 40)
            return;
        record.state = kPlacementNormal;
    }
    const std::string text = formatPlacement(record);
    if (text != lastRecord && writePlacement(key, record))
        lastRecord = text;
}

Rect placeOnScreens(Rect rect, const std::vector<MonitorInfo>& monitors)
{
    if (monitors.empty())
        return rect;
    const Rect virtualScreen = platform::virtualScreenRect(monitors);
    const int64_t W = std::max(monitors.front().monitor.width(), virtualScreen.width());
    const int64_t H = std::max(monitors.front().monitor.height(), virtualScreen.height());
    // Sizes first: the lowest left edge depends on the width that will be used.
    int64_t width = std::clamp<int64_t>(rect.width(), 1, W + 8);
    int64_t height = std::clamp<int64_t>(rect.height(), 1, H + 8);
    int64_t left = std::min<int64_t>(rect.left, W - 32);
    int64_t top = std::min<int64_t>(rect.top, H - 16);
    left = std::max<int64_t>(left, std::min<int64_t>(-8, int64_t{virtualScreen.left} - width + 64));
    top = std::max<int64_t>(top, int64_t{virtualScreen.top} - 8);

    // Monitors of different sizes leave parts of that bounding box on no screen.
    bool seen = false;
    size_t nearest = 0;
    int64_t nearestDistance = INT64_MAX;
    for (size_t i = 0; i < monitors.size(); ++i) {
        const Rect& m = monitors[i].monitor;
        const int64_t w = overlap(left, left + width, m.left, m.right);
        const int64_t h = overlap(top, top + height, m.top, m.bottom);
        if (w >= std::min<int64_t>(32, width) && h >= std::min<int64_t>(16, height)) {
            seen = true;
            break;
        }
        const int64_t dx = std::max<int64_t>({0, int64_t{m.left} - (left + width), left - m.right});
        const int64_t dy = std::max<int64_t>({0, int64_t{m.top} - (top + height), top - m.bottom});
        if (dx * dx + dy * dy < nearestDistance) {
            nearestDistance = dx * dx + dy * dy;
            nearest = i;
        }
    }
    if (!seen) {
        const Rect& work = monitors[nearest].work;
        left = std::clamp<int64_t>(left, work.left, std::max<int64_t>(work.left, work.right - width));
        top = std::clamp<int64_t>(top, work.top, std::max<int64_t>(work.top, work.bottom - height));
    }
    return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(left + width),
            static_cast<int>(top + height)};
}

}  // namespace tvx::imagelib
