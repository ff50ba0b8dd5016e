// Paths as old macros write them: separators, drive letters, UNC names, and
// the case-insensitive lookup that lets "C:\Data\Run.MAC" find /home/lab/data/run.mac.
#include "platform/paths.h"

#include <link.h>

#include "platform/ini.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <vector>

namespace tvx::platform {
namespace {

bool isDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool hasDrive(std::string_view path) { return path.size() >= 2 && isDriveLetter(path[0]) && path[1] == ':'; }

char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (upperAscii(a[i]) != upperAscii(b[i])) return false;
    }
    return true;
}

bool pathExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// The entry of directory dir whose name equals name without regard to case;
// among several, the first in byte order, so the answer does not depend on
// the order in which the directory lists them.
bool findNoCase(const std::string& dir, std::string_view name, std::string* found) {
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return false;
    bool any = false;
    while (const dirent* entry = ::readdir(d)) {
        const std::string_view candidate(entry->d_name);
        if (!equalNoCase(candidate, name)) continue;
        if (!any || candidate < *found) *found = std::string(candidate);
        any = true;
    }
    ::closedir(d);
    return any;
}

std::string readLink(const char* path) {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink(path, buffer.data(), buffer.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<size_t>(n));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string programPath() {
    std::string exe = readLink("/proc/self/exe");
    // A program file replaced while running is reported with this suffix.
    constexpr std::string_view kDeleted = " (deleted)";
    if (exe.size() > kDeleted.size() &&
        exe.compare(exe.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
        exe.resize(exe.size() - kDeleted.size());
    }
    return exe;
}

}  // namespace

DriveMap driveMapFromIni(const std::string& iniPath) {
    DriveMap drives;
    for (const auto& [key, value] : iniSectionEntries(iniPath, "Drives")) {
        if (key.size() == 1 && isDriveLetter(key[0]) && !value.empty()) drives[upperAscii(key[0])] = value;
    }
    return drives;
}

std::string toPosixPath(std::string_view path, const DriveMap& drives) {
    std::string out;
    if (hasDrive(path)) {
        const auto it = drives.find(upperAscii(path[0]));
        std::string root = it == drives.end() ? std::string() : it->second;
        while (!root.empty() && root.back() == '/') root.pop_back();
        std::string_view rest = path.substr(2);
        out = root;
        // "C:", "C:\x" and "C:x" all start at the drive's root.
        if (rest.empty() || !isPathSeparator(rest.front())) out += '/';
        out += rest;
        if (out.empty()) out = "/";
    } else {
        out = std::string(path);
    }
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

std::string resolveExisting(std::string_view path, const DriveMap& drives) {
    const std::string posix = toPosixPath(path, drives);
    if (posix.empty() || pathExists(posix)) return posix;

    // Walk the components; a directory is read only where the exact name is missing.
    std::string resolved;
    size_t pos = 0;
    if (posix.front() == '/') {
        // Keep "//host" as written; POSIX leaves two leading slashes to the system.
        pos = posix.find_first_not_of('/');
        if (pos == std::string::npos) return posix;
        resolved = posix.substr(0, pos);
    }
    while (pos < posix.size()) {
        size_t next = posix.find('/', pos);
        if (next == std::string::npos) next = posix.size();
        const std::string_view component = std::string_view(posix).substr(pos, next - pos);
        const std::string dir = resolved;
        std::string candidate = resolved + std::string(component);
        if (!component.empty() && component != "." && component != ".." && !pathExists(candidate)) {
            std::string actual;
            if (!findNoCase(dir, component, &actual)) return posix;
            candidate = resolved + actual;
        }
        resolved = std::move(candidate);
        if (next < posix.size()) resolved += '/';
        pos = next + 1;
    }
    return resolved;
}

std::string_view directoryPart(std::string_view path) {
    size_t cut = 0;
    for (size_t i = path.size(); i > 0; --i) {
        if (isPathSeparator(path[i - 1])) {
            cut = i;
            break;
        }
    }
    if (cut == 0 && hasDrive(path)) cut = 2;  // "C:file.mac"
    return path.substr(0, cut);
}

std::string_view fileNamePart(std::string_view path) { return path.substr(directoryPart(path).size()); }

std::string programDirectory() {
    const std::string exe = programPath();
    const size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return currentDirectory();
    return exe.substr(0, slash + 1);
}

std::string programFileName() {
    const std::string exe = programPath();
    const size_t slash = exe.rfind('/');
    return slash == std::string::npos ? exe : exe.substr(slash + 1);
}

std::string currentDirectory() {
    std::vector<char> buffer(512);
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size())) break;
        // A directory that was removed under us is still "." for relative names.
        if (errno != ERANGE) return "./";
        buffer.resize(buffer.size() * 2);
    }
    std::string dir(buffer.data());
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

bool fileExists(const std::string& posixPath) {
    struct stat st {};
    return ::stat(posixPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool directoryExists(const std::string& posixPath) {
    struct stat st {};
    return ::stat(posixPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

uint64_t programImageAddress() {
    // The first object of the link map is the program itself; its image
    // starts with its first loaded segment.
    uint64_t address = 0;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* out) {
            uint64_t start = info->dlpi_addr;
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                if (info->dlpi_phdr[i].p_type != PT_LOAD) continue;
                start = info->dlpi_addr + info->dlpi_phdr[i].p_vaddr;
                break;
            }
            *static_cast<uint64_t*>(out) = start;
            return 1;
        },
        &address);
    return address;
}

}  // namespace tvx::platform
