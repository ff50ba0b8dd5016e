// The system interfaces' sections of the settings file.
#include <cstdlib>

#include "interp/api.h"
#include "ipc/system/system.h"
#include "platform/ini.h"
#include "platform/paths.h"

namespace tvx::ipc {

std::string setting(interp::Interpreter& ip, std::string_view section, std::string_view key,
                    std::string_view def) {
    const std::string& file = ip.config().settingsFile;
    if (file.empty()) return std::string(def);
    return platform::iniGetString(file, section, key, def);
}

std::string settingFile(interp::Interpreter& ip, std::string_view section, std::string_view key) {
    std::string value = setting(ip, section, key);
    if (value.empty()) return value;
    if (value.size() >= 2 && value[0] == '~' && value[1] == '/') {
        const char* home = std::getenv("HOME");
        return std::string(home ? home : "") + value.substr(1);
    }
    std::string posix = platform::toPosixPath(value, ip.drives());
    if (!posix.empty() && posix[0] == '/') return posix;
    std::string folder(platform::directoryPart(ip.config().settingsFile));
    if (folder.empty()) folder = ip.workingDirectory();
    return folder + posix;
}

}  // namespace tvx::ipc
