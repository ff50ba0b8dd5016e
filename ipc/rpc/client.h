// The RPC client: the binding of RpcConnect and the calls of procedures 0
// and 1. Connections are opened on the first call and kept for the next.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "ipc/rpc/transport.h"
#include "ipc/rpc/wire.h"

namespace tvx::ipc::rpc {

constexpr uint32_t kInvalidBinding = 1702;

struct ClientOptions {
    std::string socketFolder;
    std::string secret;
    int tcpPort = 0;
    int callTimeoutMs = 60000;  // a server that never answers
};

class Client {
public:
    // Binds to a server: "" (also "." and "localhost") is this machine's
    // Unix sockets; "host" or "host:port" a TCP server.
    void bind(const std::string& server, uint32_t channel, const ClientOptions& options);
    void unbind();
    bool bound() const { return bound_; }
    uint32_t channel() const { return channel_; }

    // Procedure 0 on a channel: 0 with the reply, or the status code of the
    // failure. idle runs while the answer is awaited (false gives up).
    uint32_t access(uint32_t channel, const AccessRequest& request, AccessReply& reply,
                    const std::function<bool()>& idle);
    // Procedure 1 (stop the server).
    uint32_t stopServer(uint32_t channel, const std::function<bool()>& idle);

private:
    uint32_t call(uint32_t channel, uint16_t procedure, const std::vector<uint8_t>& body, FrameHeader& header,
                  std::vector<uint8_t>& answer, const std::function<bool()>& idle);
    uint32_t connection(uint32_t channel, Connection*& out);

    bool bound_ = false;
    bool tcp_ = false;
    std::string host_;
    int port_ = 0;
    uint32_t channel_ = 0;
    ClientOptions options_;
    std::map<uint32_t, Connection> unix_;  // by channel
    Connection tcpConnection_;
    uint32_t nextCall_ = 1;
};

}  // namespace tvx::ipc::rpc
