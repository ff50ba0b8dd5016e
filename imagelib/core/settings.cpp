// Settings-file location, the library's own directory and the path rules.
#include "imagelib/core/settings.h"

#include "platform/paths.h"

#include <dlfcn.h>

#include <cctype>
#include <climits>
#include <cstdlib>

namespace tvx::imagelib {

namespace {

std::string gSettingsOverride;  // as the caller gave it, after the path rules

bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

bool hasDriveLetter(std::string_view s)
{
    return s.size() >= 2 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':';
}

std::string findLibraryDirectory()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&findLibraryDirectory), &info) && info.dli_fname) {
        char resolved[PATH_MAX];
        if (realpath(info.dli_fname, resolved))
            return std::string(platform::directoryPart(resolved));
        return std::string(platform::directoryPart(info.dli_fname));
    }
    return platform::currentDirectory();
}

}  // namespace

const std::string& libraryDirectory()
{
    static const std::string directory = [] {
        std::string d = findLibraryDirectory();
        if (d.empty())
            d = "./";
        return d;
    }();
    return directory;
}

std::string settingsFile()
{
    if (gSettingsOverride.empty())
        return fileSystemPath(libraryDirectory() + "Pixory.INI", true);
    return fileSystemPath(gSettingsOverride, true);
}

void setSettingsFile(const char* path)
{
    if (!path || !*path) {
        gSettingsOverride.clear();
        return;
    }
    std::string full = applyPathRules(path, libraryDirectory());
    if (!full.empty() && isSeparator(full.back()) && full.size() < 248)
        full += "Pixory.INI";
    gSettingsOverride = full;
}

std::string applyPathRules(std::string_view name, std::string_view base, std::string_view defaultExtension)
{
    while (!name.empty() && name.front() == ' ')
        name.remove_prefix(1);
    if (name.empty())
        return {};

    std::string result;
    if ((name.size() >= 2 && name[0] == '\\' && name[1] == '\\') ||
        (hasDriveLetter(name) && name.size() >= 3 && isSeparator(name[2]))) {
        result = name;
    } else if (hasDriveLetter(name)) {
        // "X:file": relative to the base when the base is on that drive, else to the
        // current directory (the base of a POSIX path has no drive).
        const bool sameDrive = hasDriveLetter(base) && std::toupper(static_cast<unsigned char>(base[0])) ==
                                                           std::toupper(static_cast<unsigned char>(name[0]));
        std::string dir = sameDrive ? std::string(base) : platform::currentDirectory();
        if (!dir.empty() && !isSeparator(dir.back()))
            dir += '/';
        result = dir + std::string(name.substr(2));
    } else if (isSeparator(name[0])) {
        result =
            hasDriveLetter(base) ? std::string(base.substr(0, 2)) + std::string(name) : std::string(name);
    } else {
        std::string dir(base);
        // Each leading ".." climbs one directory out of the base; "..." is a name.
        while (name.size() >= 2 && name[0] == '.' && name[1] == '.' &&
               (name.size() == 2 || isSeparator(name[2]))) {
            while (!dir.empty() && isSeparator(dir.back()) && dir.size() > 1)
                dir.pop_back();
            const size_t cut = dir.find_last_of("/\\");
            if (cut != std::string::npos)
                dir.resize(cut + 1);
            name.remove_prefix(name.size() == 2 ? 2 : 3);
        }
        if (!dir.empty() && !isSeparator(dir.back()))
            dir += '/';
        result = dir + std::string(name);
    }
    if (!defaultExtension.empty() && result.find('.') == std::string::npos)
        result += "." + std::string(defaultExtension.substr(0, 3));
    return result;
}

std::string fileSystemPath(std::string_view path, bool mustExist)
{
    return mustExist ? platform::resolveExisting(path) : platform::toPosixPath(path);
}

std::string extensionOf(std::string_view path)
{
    const size_t slash = path.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    std::string ext(name.substr(dot + 1));
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

}  // namespace tvx::imagelib
