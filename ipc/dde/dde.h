// DDE: the host as a server of its macro variables and of macro lines on the
// D-Bus session bus, and the client statements DdeExecute, DdePoke and
// DdeRequest.
#pragma once

namespace tvx::interp {
class Interpreter;
}

namespace tvx::ipc {

void registerDdeCommands(interp::Interpreter& ip);

}  // namespace tvx::ipc
