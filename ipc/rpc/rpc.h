// RPC between two hosts: the statements (RpcListen, RpcConnect, RpcSet,
// RpcGet, RpcExecute, RpcWait, ...) and the server's procedure 0, which
// reads and writes the running macro's variables and hands execute requests
// to the interpreter thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "ipc/rpc/wire.h"

namespace tvx::interp {
class Interpreter;
}

namespace tvx::ipc {

void registerRpcCommands(interp::Interpreter& ip);

namespace rpc {

// Result bit of procedure 0: the buffer is too small (low 31 bits: the size needed).
constexpr int32_t kTooSmall = INT32_MIN;

// Procedure 0 as the server runs it, on a worker thread: reads, writes and
// asks about a variable of the running macro under the variable-access lock,
// or executes a line through the pending-text slot. macroActive says whether
// a macro runs that listens; stop gives up a wait.
void serveAccess(interp::Interpreter& ip, const std::atomic<bool>& macroActive, const AccessRequest& request,
                 AccessReply& reply, const std::atomic<bool>& stop);

// A data block as it travels (32-byte header, then the data) is well formed:
// a known element type, a count that matches the data, dimensions within it.
bool validBlockImage(const uint8_t* bytes, size_t size);

}  // namespace rpc
}  // namespace tvx::ipc
