// The interprocess and system interfaces: each area of ipc/ registers its
// statements and functions here.
#pragma once

namespace tvx::interp {
class Interpreter;
}

namespace tvx::ipc {

void registerIpcCommands(interp::Interpreter& ip);

}  // namespace tvx::ipc
