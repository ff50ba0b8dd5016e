// The standard dialogs of the platform: the message box and the file chooser.
// Both are modal; while they run, the message queue goes on being served, so
// timers, posted messages and other windows stay alive.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/window/window.h"

namespace tvx::platform {

// What a closed standard dialog reports.
struct StandardAnswer {
    int button = 0;          // IDOK ... IDNO; 0 when it could not be shown
    unsigned modifiers = 0;  // 1 Shift, 2 Ctrl, 4 Alt held when it was closed
};

// A message box with the style's buttons (MB_OK 0 ... MB_RETRYCANCEL 5), icon
// (0x10 stop, 0x20 question, 0x30 exclamation, 0x40 information) and default
// button (0x100 second, 0x200 third). Escape answers Cancel when there is a
// Cancel button, OK when OK is the only button, and nothing otherwise.
StandardAnswer messageBoxDialog(Hwnd owner, std::string_view text, std::string_view caption, unsigned style);

// A file chooser request with the flags of a Win32 OPENFILENAME (macros pass them).
struct FileChooserRequest {
    bool save = false;
    bool folder = false;         // choose a folder (the name part is ignored)
    bool multiple = false;       // OFN_ALLOWMULTISELECT
    bool fileMustExist = false;  // OFN_FILEMUSTEXIST
    bool overwritePrompt = false;
    std::string title;      // empty: "Open" or "Save As"
    std::string directory;  // initial folder (POSIX path), may be empty
    std::string fileName;   // initial name
    // Pairs of description and pattern list ("*.txt;*.log").
    std::vector<std::pair<std::string, std::string>> filters;
    int filterIndex = 1;  // 1-based
    Hwnd owner = 0;
};
struct FileChooserResult {
    bool ok = false;
    std::vector<std::string> paths;  // the POSIX paths chosen (UTF-8)
    int filterIndex = 1;
};
FileChooserResult fileChooserDialog(const FileChooserRequest& request);

// The ANSI text (UTF-8 or Windows-1252 bytes) of a path the person chose.
std::string chosenPathText(std::string_view path);

}  // namespace tvx::platform
