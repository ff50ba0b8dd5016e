#include "ipc/ipc.h"

#include "interp/api.h"
#include "ipc/automation/automation.h"
#include "ipc/dde/dde.h"
#include "ipc/extlib/extlib.h"
#include "ipc/rpc/rpc.h"
#include "ipc/system/system.h"

namespace tvx::ipc {

// One line per area of ipc/ (each area's register function is declared in its
// folder's header).
void registerIpcCommands(interp::Interpreter& ip) {
    // System interfaces (ipc/system)
    registerRegistryCommands(ip);
    registerSharedMemoryCommands(ip);
    registerSerialCommands(ip);
    registerInputCommands(ip);
    registerWindowSearchCommands(ip);
    registerSpeechCommands(ip);
    registerProcessCommands(ip);
    // DDE on the session bus (ipc/dde)
    registerDdeCommands(ip);
    // RPC between two hosts (ipc/rpc)
    registerRpcCommands(ip);
    // External libraries, the image library and drawing (ipc/extlib)
    registerExternalLibraryCommands(ip);
    registerImageLibraryCommands(ip);
    registerDrawingCommands(ip);
    // Automation objects on the session bus (ipc/automation)
    registerAutomationCommands(ip);
}

}  // namespace tvx::ipc
