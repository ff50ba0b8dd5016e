#include "interp/source/filepaths.h"

#include <dirent.h>
#include <algorithm>
#include <cerrno>

#include "interp/source/sources.h"

namespace tvx::interp {

namespace {

using platform::isPathSeparator;

bool isDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool hasDrive(std::string_view p) { return p.size() >= 2 && isDriveLetter(p[0]) && p[1] == ':'; }

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c | 0x20) : c; }

// Length of the root of a path: "C:\" 3, "C:" 2, "\\host\share\" up to the
// separator after the share, "/" 1, a relative path 0.
size_t rootLength(std::string_view p) {
    if (hasDrive(p)) return p.size() > 2 && isPathSeparator(p[2]) ? 3 : 2;
    if (p.size() >= 2 && isPathSeparator(p[0]) && isPathSeparator(p[1])) {
        size_t i = 2;
        for (int parts = 0; parts < 2 && i < p.size(); ++parts) {
            while (i < p.size() && !isPathSeparator(p[i])) ++i;
            if (i < p.size()) ++i;
        }
        return i;
    }
    return !p.empty() && isPathSeparator(p[0]) ? 1 : 0;
}

bool hasWildcard(std::string_view name) { return name.find_first_of("*?") != std::string_view::npos; }

bool matchFrom(std::string_view p, std::string_view n) {
    // Iterative matching with one backtrack point for the last '*'.
    size_t pi = 0, ni = 0, starP = std::string_view::npos, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == '?' || lowerAscii(p[pi]) == lowerAscii(n[ni]))) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starN = ni;
        } else if (starP != std::string_view::npos) {
            pi = starP + 1;
            ni = ++starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

}  // namespace

bool isAbsoluteName(std::string_view name) {
    return hasDrive(name) || (!name.empty() && isPathSeparator(name[0]));
}

std::string normaliseDots(std::string_view path) {
    size_t root = rootLength(path);
    char separator = '/';
    for (char c : path)
        if (isPathSeparator(c)) {
            separator = c;
            break;
        }
    std::vector<std::string_view> parts;
    size_t i = root;
    int leadingUps = 0;  // ".." that a relative path cannot resolve
    while (i < path.size()) {
        size_t j = i;
        while (j < path.size() && !isPathSeparator(path[j])) ++j;
        std::string_view part = path.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            else if (root == 0)
                ++leadingUps;
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out(path.substr(0, root));
    for (int k = 0; k < leadingUps; ++k) {
        out += "..";
        out += separator;
    }
    for (size_t k = 0; k < parts.size(); ++k) {
        if (k) out += separator;
        out.append(parts[k]);
    }
    bool trailing = path.size() > root && isPathSeparator(path.back()) && !parts.empty();
    if (trailing) out += separator;
    return out;
}

std::string fullPathName(std::string_view name, std::string_view base) {
    return normaliseDots(composePath(name, base, {}));
}

std::string posixPathFor(std::string_view path, const platform::DriveMap& drives) {
    std::string whole = platform::resolveExisting(path, drives);
    struct stat info {};
    if (whole.empty() || ::lstat(whole.c_str(), &info) == 0) return whole;
    // Find the directory without regard to case, keep the new name as written.
    std::string_view dir = platform::directoryPart(path);
    std::string_view file = platform::fileNamePart(path);
    if (dir.empty() || file.empty()) return whole;
    std::string resolvedDir = platform::resolveExisting(dir, drives);
    if (!resolvedDir.empty() && resolvedDir.back() != '/') resolvedDir += '/';
    return resolvedDir + std::string(file);
}

bool wildcardMatch(std::string_view pattern, std::string_view name) {
    if (matchFrom(pattern, name)) return true;
    // "*.*" and "name.*" also match names without an extension.
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
        name.find('.') == std::string_view::npos)
        return matchFrom(pattern.substr(0, pattern.size() - 2), name);
    return false;
}

std::vector<FoundEntry> findEntries(const std::string& posixPattern, int& error) {
    std::vector<FoundEntry> found;
    error = 0;
    std::string_view pattern(posixPattern);
    size_t slash = pattern.rfind('/');
    std::string dir =
        slash == std::string_view::npos ? std::string() : std::string(pattern.substr(0, slash + 1));
    std::string_view namePattern = slash == std::string_view::npos ? pattern : pattern.substr(slash + 1);
    if (namePattern.empty()) {
        error = ENOENT;
        return found;
    }
    if (!hasWildcard(namePattern)) {
        FoundEntry entry;
        entry.posix = posixPattern;
        entry.name = std::string(namePattern);
        if (::stat(entry.posix.c_str(), &entry.info) != 0 && ::lstat(entry.posix.c_str(), &entry.info) != 0) {
            error = errno;
            return found;
        }
        found.push_back(std::move(entry));
        return found;
    }
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) {
        error = errno;
        return found;
    }
    while (const dirent* e = ::readdir(d)) {
        std::string_view name(e->d_name);
        if (name == "." || name == ".." || !wildcardMatch(namePattern, name)) continue;
        FoundEntry entry;
        entry.name = std::string(name);
        entry.posix = dir + entry.name;
        if (::stat(entry.posix.c_str(), &entry.info) != 0 && ::lstat(entry.posix.c_str(), &entry.info) != 0)
            continue;
        found.push_back(std::move(entry));
    }
    ::closedir(d);
    std::sort(found.begin(), found.end(), [](const FoundEntry& a, const FoundEntry& b) {
        std::string_view x = a.name, y = b.name;
        for (size_t i = 0; i < x.size() && i < y.size(); ++i) {
            char p = lowerAscii(x[i]), q = lowerAscii(y[i]);
            if (p != q) return static_cast<unsigned char>(p) < static_cast<unsigned char>(q);
        }
        if (x.size() != y.size()) return x.size() < y.size();
        return x < y;
    });
    if (found.empty()) error = ENOENT;
    return found;
}

}  // namespace tvx::interp
