// What the desktop program remembers between runs: the recent files, the main
// window's place and the Watch Window's check states. They live in desktop.ini
// in the state folder (platform::stateDirectory()).
#pragma once

#include <string>
#include <vector>

#include "platform/window/window.h"

namespace tvx::ui {

constexpr size_t kMaxRecentFiles = 8;

struct DesktopState {
    std::vector<std::string> recentFiles;  // most recent first
    bool hasPlacement = false;
    platform::Rect window;  // the main window's normal rectangle (screen coordinates)
    bool maximized = false;
    std::string watchChecks;  // "0"/"1" per check box of the Watch Window; "" unknown
};

// The file ("" when the state folder is unknown).
std::string desktopStateFile();
// Reads the file (a missing or unreadable file gives the empty state). Recent
// files are kept in order without repeats, at most kMaxRecentFiles.
DesktopState loadDesktopState();
// Writes the file, creating the state folder when needed; false on failure.
bool saveDesktopState(const DesktopState& state);

// Puts path at the front of the list (once), keeping at most kMaxRecentFiles.
void addRecentFile(std::vector<std::string>& list, const std::string& path);

}  // namespace tvx::ui
