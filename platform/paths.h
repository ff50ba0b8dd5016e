// Paths as old macros write them, on a POSIX file system.
//
// Both '\' and '/' separate components; "C:\dir\file" maps the drive letter
// through a drive table (section Drives of the settings file, e.g. C=/home/lab);
// a lookup that fails retries every component without regard to case.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace tvx::platform {

inline bool isPathSeparator(char c) { return c == '/' || c == '\\'; }

// Drive letter (upper case) -> POSIX directory.
using DriveMap = std::map<char, std::string>;

// The drive table from section Drives of an INI file: keys that are one letter
// (either case) with a non-empty value, e.g. "C=/home/lab". A missing file or
// section gives an empty table.
DriveMap driveMapFromIni(const std::string& iniPath);

// Turns a macro-level path into a POSIX path: separators become '/', a drive
// letter goes through drives (an unmapped drive maps to "/"), "\\host\share"
// becomes "//host/share". Does not touch the file system.
std::string toPosixPath(std::string_view path, const DriveMap& drives = {});

// Finds an existing file or directory for path: first as given, then component
// by component without regard to case. Returns the path found, or path itself
// (converted) when nothing matches, so the caller's open() reports the error.
std::string resolveExisting(std::string_view path, const DriveMap& drives = {});

// Directory part with its trailing separator ("a/b/" of "a/b/c.mac"), and the
// file name part; both accept either separator.
std::string_view directoryPart(std::string_view path);
std::string_view fileNamePart(std::string_view path);

// The directory of the running program (from /proc/self/exe), with a trailing '/'.
std::string programDirectory();
// The program's own file name without directory.
std::string programFileName();
// The current directory with a trailing '/'.
std::string currentDirectory();

bool fileExists(const std::string& posixPath);  // a regular file
bool directoryExists(const std::string& posixPath);

// Where the program's own image starts in memory (the module handle of a
// Windows program): the same for the whole run.
uint64_t programImageAddress();

}  // namespace tvx::platform
