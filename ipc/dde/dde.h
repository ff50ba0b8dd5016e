// DDE: the host as a server of its macro variables and of macro lines on the
// D-Bus session bus, and the client statements DdeExecute, DdePoke and
// DdeRequest.
#pragma once

#include <string>

namespace tvx::interp {
class Interpreter;
}

namespace tvx::ipc {

void registerDdeCommands(interp::Interpreter& ip);

// A symbol of the bus module (DDE and automation objects), loaded with the
// first use; null, with the reason, when the module cannot be had.
void* busModuleSymbol(const char* name, std::string& reason);

}  // namespace tvx::ipc
