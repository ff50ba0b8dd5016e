#include "ipc/module.h"

#include <dlfcn.h>

#include "platform/ini.h"

namespace tvx::ipc {

void* openModule(const char* fileName, std::string* reason) {
    // The folder of the library these functions live in (the program's library folder).
    std::string path = fileName;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&platform::iniGetString), &info) && info.dli_fname) {
        std::string self = info.dli_fname;
        size_t slash = self.rfind('/');
        if (slash != std::string::npos) path = self.substr(0, slash + 1) + path;
    }
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) module = dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (!module && reason) {
        const char* error = dlerror();
        *reason = error ? error : fileName;
    }
    return module;
}

}  // namespace tvx::ipc
