// File names as macros write them, turned into the paths the file system
// needs: completed against the working directory, drive letters mapped, both
// separators accepted, existing components found without regard to case.
#pragma once

#include <sys/stat.h>
#include <string>
#include <string_view>
#include <vector>

#include "platform/paths.h"

namespace tvx::interp {

// Macro file names are limited to 512 bytes with their NUL.
constexpr size_t kMaxFileName = 511;

// A drive letter with a colon, a leading separator or a "\\host" name.
bool isAbsoluteName(std::string_view name);

// The full path of name relative to base (with or without a trailing
// separator): "." and ".." components are resolved, and the separators stay
// the ones the path was written with.
std::string fullPathName(std::string_view name, std::string_view base);

// "." and ".." resolved in a path, its root ("C:\", "\\host\share\", "/") kept.
std::string normaliseDots(std::string_view path);

// The POSIX path for a macro-level path: the existing part found as
// platform::resolveExisting does, a missing last component kept as written so
// that it can be created.
std::string posixPathFor(std::string_view path, const platform::DriveMap& drives);

// A directory entry found for a name or a wildcard pattern.
struct FoundEntry {
    std::string name;   // as the directory holds it
    std::string posix;  // its full POSIX path
    struct stat info {};
    bool isDirectory() const { return S_ISDIR(info.st_mode); }
};

// Windows wildcard matching without regard to case: '*' any run of characters,
// '?' one; a pattern ending in ".*" also matches names without a dot.
bool wildcardMatch(std::string_view pattern, std::string_view name);

// The entries that the last component of posixPattern names: with '*' or '?'
// every match in its directory (sorted by name, "." and ".." left out),
// otherwise the one entry. Empty with the errno value in error when none.
std::vector<FoundEntry> findEntries(const std::string& posixPattern, int& error);

}  // namespace tvx::interp
