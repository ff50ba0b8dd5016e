#include "ui/desktopstate.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/ini.h"
#include "platform/statedir.h"

namespace tvx::ui {

namespace {

constexpr const char* kRecent = "Recent";
constexpr const char* kWindow = "Window";
constexpr const char* kWatch = "Watch";

// Sizes below this are no window a person left behind; larger ones no screen holds.
constexpr int kMinExtent = 200;
constexpr int kMaxExtent = 16384;

}  // namespace

std::string desktopStateFile() {
    std::string folder = platform::stateDirectory();
    return folder.empty() ? folder : folder + "/desktop.ini";
}

void addRecentFile(std::vector<std::string>& list, const std::string& path) {
    if (path.empty()) return;
    list.erase(std::remove(list.begin(), list.end(), path), list.end());
    list.insert(list.begin(), path);
    if (list.size() > kMaxRecentFiles) list.resize(kMaxRecentFiles);
}

DesktopState loadDesktopState() {
    DesktopState state;
    std::string file = desktopStateFile();
    platform::IniDocument ini;
    if (file.empty() || !ini.load(file)) return state;
    std::vector<std::string> recent;
    for (size_t i = 1; i <= kMaxRecentFiles; ++i) {
        std::string path;
        if (ini.get(kRecent, "File" + std::to_string(i), &path) && !path.empty() &&
            std::find(recent.begin(), recent.end(), path) == recent.end())
            recent.push_back(path);
    }
    state.recentFiles = std::move(recent);
    std::string x, y, width, height, maximized;
    if (ini.get(kWindow, "X", &x) && ini.get(kWindow, "Y", &y) && ini.get(kWindow, "Width", &width) &&
        ini.get(kWindow, "Height", &height)) {
        long long left = platform::parseProfileInt(x), top = platform::parseProfileInt(y);
        long long w = platform::parseProfileInt(width), h = platform::parseProfileInt(height);
        if (w >= kMinExtent && h >= kMinExtent && w <= kMaxExtent && h <= kMaxExtent && left > -kMaxExtent &&
            left < kMaxExtent && top > -kMaxExtent && top < kMaxExtent) {
            state.hasPlacement = true;
            state.window = {static_cast<int>(left), static_cast<int>(top), static_cast<int>(left + w),
                            static_cast<int>(top + h)};
        }
    }
    if (ini.get(kWindow, "Maximized", &maximized))
        state.maximized = platform::parseProfileInt(maximized) != 0;
    std::string checks;
    if (ini.get(kWatch, "Checks", &checks) && checks.find_first_not_of("01") == std::string::npos)
        state.watchChecks = checks.substr(0, 6);
    return state;
}

bool saveDesktopState(const DesktopState& state) {
    std::string file = desktopStateFile();
    if (file.empty()) return false;
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), error);
    // Sections of other versions stay as they are.
    platform::IniDocument ini;
    (void)ini.load(file);
    ini.removeSection(kRecent);
    size_t n = 0;
    for (const std::string& path : state.recentFiles) {
        if (n == kMaxRecentFiles) break;
        if (ini.set(kRecent, "File" + std::to_string(n + 1), path))
            ++n;  // a name with a line end is left out
    }
    if (state.hasPlacement) {
        ini.set(kWindow, "X", std::to_string(state.window.left));
        ini.set(kWindow, "Y", std::to_string(state.window.top));
        ini.set(kWindow, "Width", std::to_string(state.window.width()));
        ini.set(kWindow, "Height", std::to_string(state.window.height()));
        ini.set(kWindow, "Maximized", state.maximized ? "1" : "0");
    }
    if (!state.watchChecks.empty()) ini.set(kWatch, "Checks", state.watchChecks);
    return ini.save(file);
}

}  // namespace tvx::ui
