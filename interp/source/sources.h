// Where macro text comes from: files, the program's embedded texts, the
// source cache and the macro pool.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "interp/errors.h"
#include "platform/paths.h"

namespace tvx::interp {

struct LoadedMacro {
    std::shared_ptr<const std::string> text;
    std::string directory;              // with a trailing separator ("" for a one-line macro)
    std::string fileName;               // "" for a one-line macro
    bool oneLine = false;               // the name was ">text"
    size_t declarationLine = SIZE_MAX;  // a function file: where its Shared line starts
};

// Turns a macro name into a path against a base directory: "\\host" and
// "C:\..." as they are, a leading separator takes the base's drive (or root),
// ".." steps up, and a name without extension gets ".ext".
std::string composePath(std::string_view name, std::string_view baseDirectory, std::string_view extension);

class MacroSources {
public:
    MacroSources();

    // The program's directory, the working directory and the drive table.
    std::string programDirectory;
    std::string workingDirectory;
    platform::DriveMap drives;
    std::string poolSetting;  // [Path] Pool of the settings file

    // Loads a macro by name. Relative names are looked up in the program's
    // directory, then runningDirectory, then the current directory (with
    // commandLine the current directory comes first). bypassCache skips the
    // source cache. False when nothing is found.
    bool load(std::string_view name, std::string_view runningDirectory, bool bypassCache, bool commandLine,
              LoadedMacro& out);

    // Loads the file that defines a function ("X.y" -> "Class.X.mac", else
    // "name.mac") from the cache, the embedded texts or the pool. shared tells
    // whether the file declares itself Shared.
    bool loadFunctionFile(std::string_view functionName, LoadedMacro& out, bool& shared);

    // AddPool: returns 0 or an error number.
    Error addPool(std::string_view path, int flags, std::string_view runningDirectory,
                  std::string_view defaultPath);
    const std::vector<std::string>& pool();

    void clearCache() { cache_.clear(); }
    size_t cacheSize() const { return cache_.size(); }
    // How often a macro file was read from disk (for the cache's tests).
    size_t diskReads() const { return diskReads_; }

private:
    struct CacheEntry {
        std::string fileName;
        std::string path;  // full path
        std::shared_ptr<const std::string> text;
    };
    struct PoolEntry {
        std::string directory;
        bool isDefault = false;
    };

    const CacheEntry* findCached(std::string_view fileName, std::string_view path) const;
    void remember(std::string fileName, std::string path, std::shared_ptr<const std::string> text);
    std::shared_ptr<const std::string> readDisk(const std::string& path);
    std::string defaultPoolDirectory() const;
    void ensureDefaultPool();

    std::vector<CacheEntry> cache_;
    std::vector<PoolEntry> pool_;
    std::vector<std::string> poolView_;
    bool poolInitialised_ = false;
    size_t diskReads_ = 0;
};

// Makes a text ready to run: unscrambles an "!IPC" text.
std::shared_ptr<const std::string> prepareMacroText(std::shared_ptr<const std::string> text);

}  // namespace tvx::interp
