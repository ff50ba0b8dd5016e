#include "interp/source/sources.h"

#include <strings.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "interp/errors.h"
#include "interp/source/scramble.h"
#include "platform/paths.h"
#include "resources/resources.h"

namespace tvx::interp {

namespace {

constexpr size_t kMaxPath = 511;
constexpr size_t kMaxFileName = 60;
constexpr size_t kMaxFunctionName = 127;
constexpr size_t kCacheEntries = 200;
// A macro file larger than this is refused rather than read into memory.
constexpr long long kMaxMacroFileBytes = 1ll << 30;

bool hasDrive(std::string_view p) {
    return p.size() >= 2 && p[1] == ':' && ((p[0] | 0x20) >= 'a' && (p[0] | 0x20) <= 'z');
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

char separatorOf(std::string_view base) {
    // Join in the style of the base path.
    return base.find('\\') != std::string_view::npos && base.find('/') == std::string_view::npos ? '\\' : '/';
}

std::string withTrailingSeparator(std::string dir) {
    if (!dir.empty() && !platform::isPathSeparator(dir.back())) dir.push_back(separatorOf(dir));
    return dir;
}

// Removes the last directory of a path that ends in a separator.
void stepUp(std::string& base) {
    if (base.size() <= 1) return;
    size_t end = base.size() - 1;  // the trailing separator
    size_t previous = end;
    while (previous > 0 && !platform::isPathSeparator(base[previous - 1])) --previous;
    if (previous == 0) return;  // nothing above
    base.resize(previous);
}

bool isAbsolute(std::string_view p) {
    return (hasDrive(p) && p.size() > 2 && platform::isPathSeparator(p[2])) ||
           (p.size() >= 2 && platform::isPathSeparator(p[0]) && platform::isPathSeparator(p[1])) ||
           (!p.empty() && p[0] == '/');
}

// The leading lines of a function file, up to the first Function line: is it
// declared Shared? declaration receives the start of the Shared line.
bool declaresShared(const std::string& text, size_t& declaration) {
    declaration = SIZE_MAX;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + pos, end - pos);
        size_t next = end;
        while (next < text.size() && (text[next] == '\r' || text[next] == '\n')) ++next;
        size_t i = line.find_first_not_of(" \t");
        size_t lineStart = pos + (i == std::string_view::npos ? 0 : i);
        pos = next;
        if (i == std::string_view::npos) continue;
        std::string_view rest = line.substr(i);
        if (rest[0] == ';') continue;
        auto startsWord = [&](std::string_view word) {
            return rest.size() >= word.size() && strncasecmp(rest.data(), word.data(), word.size()) == 0 &&
                   (rest.size() == word.size() ||
                    !std::isalnum(static_cast<unsigned char>(rest[word.size()])));
        };
        if (startsWord("Function")) return false;
        if (!startsWord("Shared")) continue;
        declaration = lineStart;
        std::string_view value = rest.substr(6);
        size_t eq = value.find('=');
        if (eq == std::string_view::npos) return true;
        std::string number(value.substr(eq + 1));
        char* numberEnd = nullptr;
        double n = std::strtod(number.c_str(), &numberEnd);
        if (numberEnd == number.c_str()) return true;  // another value: shared
        return n >= 1;
    }
    return false;
}

}  // namespace

std::string composePath(std::string_view name, std::string_view baseDirectory, std::string_view extension) {
    std::string path;
    if (name.size() >= 2 && platform::isPathSeparator(name[0]) && platform::isPathSeparator(name[1])) {
        path = name;
    } else if (hasDrive(name)) {
        if (name.size() > 2 && platform::isPathSeparator(name[2])) {
            path = name;
        } else {
            std::string base = hasDrive(baseDirectory) && (baseDirectory[0] | 0x20) == (name[0] | 0x20)
                                   ? std::string(baseDirectory)
                                   : platform::currentDirectory();
            path = withTrailingSeparator(base);
            path.append(name.substr(2));
        }
    } else if (!name.empty() && platform::isPathSeparator(name[0])) {
        if (hasDrive(baseDirectory)) path = baseDirectory.substr(0, 2);
        path.append(name);
    } else {
        std::string base = withTrailingSeparator(std::string(baseDirectory));
        while (name.size() >= 3 && name[0] == '.' && name[1] == '.' && platform::isPathSeparator(name[2])) {
            stepUp(base);
            name.remove_prefix(3);
        }
        path = base;
        path.append(name);
    }
    // A file name without any '.' gets the default extension.
    std::string_view file = platform::fileNamePart(path);
    if (!extension.empty() && file.find('.') == std::string_view::npos) {
        path.push_back('.');
        path.append(extension);
    }
    return path;
}

std::shared_ptr<const std::string> prepareMacroText(std::shared_ptr<const std::string> text) {
    if (!text || !isScrambledText(*text)) return text;
    auto plain = std::make_shared<std::string>(*text);
    if (!unscrambleMacroText(*plain)) return text;
    return plain;
}

MacroSources::MacroSources() = default;

const MacroSources::CacheEntry* MacroSources::findCached(std::string_view fileName,
                                                         std::string_view path) const {
    for (const CacheEntry& entry : cache_)
        if (equalsIgnoringCase(entry.fileName, fileName) &&
            (path.empty() || equalsIgnoringCase(entry.path, path)))
            return &entry;
    return nullptr;
}

void MacroSources::remember(std::string fileName, std::string path, std::shared_ptr<const std::string> text) {
    if (cache_.size() >= kCacheEntries) cache_.erase(cache_.begin());
    cache_.push_back({std::move(fileName), std::move(path), std::move(text)});
}

std::shared_ptr<const std::string> MacroSources::readDisk(const std::string& path) {
    std::string resolved = platform::resolveExisting(path, drives);
    struct stat info;
    if (stat(resolved.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxMacroFileBytes)
        return nullptr;
    std::ifstream in(resolved, std::ios::binary);
    if (!in) return nullptr;
    auto text = std::make_shared<std::string>();
    text->resize(static_cast<size_t>(info.st_size));
    in.read(text->data(), info.st_size);
    text->resize(static_cast<size_t>(in.gcount()));
    ++diskReads_;
    return text;
}

bool MacroSources::load(std::string_view name, std::string_view runningDirectory, bool bypassCache,
                        bool commandLine, LoadedMacro& out) {
    out = LoadedMacro{};
    if (!name.empty() && name[0] == '>') {
        out.text = std::make_shared<const std::string>(name.substr(1));
        out.oneLine = true;
        return true;
    }
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);

    // Candidate directories for a relative name.
    std::vector<std::string> bases;
    std::string cwd = platform::currentDirectory();
    if (commandLine) bases.push_back(cwd);
    bases.push_back(programDirectory);
    if (!runningDirectory.empty()) bases.emplace_back(runningDirectory);
    if (!commandLine) bases.push_back(cwd);

    for (size_t b = 0; b < bases.size(); ++b) {
        std::string path = composePath(name, bases[b], "MAC");
        if (path.size() > kMaxPath) return false;
        std::string fileName(platform::fileNamePart(path));
        std::string directory(platform::directoryPart(path));
        if (fileName.size() > kMaxFileName) fileName.resize(kMaxFileName);

        // "file?N" names an embedded text by number.
        size_t question = fileName.find('?');
        if (question != std::string::npos) {
            int number = std::atoi(fileName.c_str() + question + 1);
            const resources::TextResource* resource = resources::findTextResource(number);
            if (!resource) return false;
            out.text = prepareMacroText(std::make_shared<const std::string>(resource->text));
            out.directory = directory;
            out.fileName = fileName.substr(0, question);
            return true;
        }
        if (!bypassCache) {
            if (const CacheEntry* cached = findCached(fileName, path)) {
                out.text = prepareMacroText(cached->text);
                out.directory = directory;
                out.fileName = fileName;
                return true;
            }
        }
        std::shared_ptr<const std::string> text;
        if (b == 0 || commandLine) {
            if (const resources::TextResource* resource = resources::findTextResource(fileName))
                text = std::make_shared<const std::string>(resource->text);
        }
        if (!text) text = readDisk(path);
        if (!text) {
            // Absolute names are not retried against other directories.
            if (isAbsolute(name) || hasDrive(name)) return false;
            continue;
        }
        if (!bypassCache) remember(fileName, path, text);
        out.text = prepareMacroText(text);
        out.directory = directory;
        out.fileName = fileName;
        return true;
    }
    return false;
}

bool MacroSources::loadFunctionFile(std::string_view functionName, LoadedMacro& out, bool& shared) {
    out = LoadedMacro{};
    if (functionName.size() > kMaxFunctionName) return false;
    std::string fileName;
    size_t dot = functionName.rfind('.');
    if (dot != std::string_view::npos) {
        fileName = "Class.";
        fileName.append(functionName.substr(0, dot));
    } else {
        fileName = functionName;
    }
    fileName += ".mac";

    std::shared_ptr<const std::string> text;
    std::string directory = programDirectory;
    if (const CacheEntry* cached = findCached(fileName, "")) {
        text = cached->text;
        directory = std::string(platform::directoryPart(cached->path));
    } else if (const resources::TextResource* resource = resources::findTextResource(fileName)) {
        text = std::make_shared<const std::string>(resource->text);
    } else {
        for (const std::string& dir : pool()) {
            std::string path = dir + fileName;
            text = readDisk(path);
            if (text) {
                directory = dir;
                remember(fileName, path, text);
                break;
            }
        }
    }
    if (!text) return false;
    out.text = prepareMacroText(text);
    out.directory = directory;
    out.fileName = fileName;
    shared = declaresShared(*out.text, out.declarationLine);
    return true;
}

std::string MacroSources::defaultPoolDirectory() const {
    if (!poolSetting.empty()) {
        std::string dir = withTrailingSeparator(poolSetting);
        if (platform::directoryExists(platform::resolveExisting(dir, drives))) return dir;
    }
    return withTrailingSeparator(programDirectory + "Pool");
}

void MacroSources::ensureDefaultPool() {
    if (poolInitialised_) return;
    poolInitialised_ = true;
    pool_.push_back({defaultPoolDirectory(), true});
}

const std::vector<std::string>& MacroSources::pool() {
    ensureDefaultPool();
    poolView_.clear();
    for (const PoolEntry& entry : pool_) poolView_.push_back(entry.directory);
    return poolView_;
}

Error MacroSources::addPool(std::string_view path, int flags, std::string_view runningDirectory,
                            std::string_view defaultPath) {
    ensureDefaultPool();
    if (flags & 0x08) pool_.clear();
    if (flags < 0) {
        cache_.clear();
        return kOk;
    }
    bool hasPath = !path.empty();
    if (hasPath) {
        if (!(flags & 0x80)) cache_.clear();
        if (!(flags & 0x20) && !(flags & 0x10) && pool_.empty())
            pool_.push_back({defaultPoolDirectory(), true});
    }
    std::string directory;
    bool isDefault = false;
    if (!hasPath || (flags & 0x20)) {
        directory = defaultPoolDirectory();
        isDefault = true;
        if (hasPath && platform::directoryExists(platform::resolveExisting(path, drives))) directory = path;
    } else {
        directory = path;
    }
    if (!isAbsolute(directory)) {
        std::string base = (flags & 0x04) || runningDirectory.empty() ? std::string(defaultPath)
                                                                      : std::string(runningDirectory);
        directory = withTrailingSeparator(base) + directory;
    }
    directory = withTrailingSeparator(directory);
    if (directory.size() >= kMaxPath) return kBadParameters;
    std::erase_if(pool_, [&](const PoolEntry& entry) {
        return equalsIgnoringCase(entry.directory, directory) || ((flags & 0x10) && entry.isDefault);
    });
    if (!(flags & 0x40)) {
        PoolEntry entry{directory, isDefault};
        if (flags & 0x02)
            pool_.insert(pool_.begin(), entry);
        else
            pool_.push_back(entry);
    }
    return kOk;
}

}  // namespace tvx::interp
