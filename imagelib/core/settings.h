// Where the library keeps its settings ("Pixory.INI") and the path rules for relative names.
#pragma once

#include <string>
#include <string_view>

namespace tvx::imagelib {

// Directory of libpixory.so itself, with a trailing '/'.
const std::string& libraryDirectory();

// The settings file as a path for the file system.
std::string settingsFile();
// Names another settings file (made absolute against the library's directory); null or
// empty restores the default.
void setSettingsFile(const char* path);

// Relative names against a base directory, the way old callers write them: both
// separators, "\\server" and "X:\..." taken as they are, leading ".." climbing out of
// the base, and a default extension (up to 3 characters) when the result has no '.'.
std::string applyPathRules(std::string_view name, std::string_view base,
                           std::string_view defaultExtension = {});

// A caller's path turned into one for the file system ('\' to '/', drive letters
// mapped); for reading, an existing file is also looked for without regard to case.
std::string fileSystemPath(std::string_view path, bool mustExist);

// Lower-case extension after the last '.' of the file-name part, "" when none.
std::string extensionOf(std::string_view path);

}  // namespace tvx::imagelib
