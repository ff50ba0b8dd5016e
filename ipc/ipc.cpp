#include "ipc/ipc.h"

#include "interp/api.h"

namespace tvx::ipc {

// One line per area of ipc/ (each area's register function is declared in its
// folder's header).
void registerIpcCommands(interp::Interpreter& ip) { (void)ip; }

}  // namespace tvx::ipc
