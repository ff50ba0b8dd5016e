// The program's own loadable modules (the bus module, the speech engines):
// looked for beside the library that holds this code, then wherever the
// system's loader finds them.
#pragma once

#include <string>

namespace tvx::ipc {

// Opens the module of that file name; null, with the loader's reason in
// reason when given, when it cannot be loaded.
void* openModule(const char* fileName, std::string* reason = nullptr);

}  // namespace tvx::ipc
