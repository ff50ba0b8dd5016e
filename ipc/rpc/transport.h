// Sockets for RPC: a Unix-domain socket per channel on one machine, TCP
// across machines (only with a shared secret: a challenge and a response in
// both directions before the first call), and whole frames over either.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ipc/rpc/wire.h"

namespace tvx::ipc::rpc {

// A connected socket, closed when destroyed.
class Connection {
public:
    Connection() = default;
    explicit Connection(int fd) : fd_(fd) {}
    ~Connection() { close(); }
    Connection(Connection&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Connection& operator=(Connection&& other) noexcept;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    int fd() const { return fd_; }
    bool open() const { return fd_ >= 0; }
    void close();
    // Wakes a thread blocked in receive (it then sees the end of the stream).
    void shutdown();

    bool sendAll(const void* data, size_t size);
    // Reads exactly size bytes. Between waits of at most 10 ms it calls idle,
    // which returns false to give up; timeoutMs < 0 waits for ever.
    bool receiveAll(void* data, size_t size, int timeoutMs, const std::function<bool()>& idle);
    // Reads one frame: 0, kCallFailed when the stream ends or fails,
    // kProtocolError for a frame that is not ours or too large.
    uint32_t receiveFrame(FrameHeader& header, std::vector<uint8_t>& body, int timeoutMs,
                          const std::function<bool()>& idle);

private:
    int fd_ = -1;
};

// The socket of a channel in a folder: "<folder>/rpc-<channel>.sock"; empty
// when the path would be too long for a socket address.
std::string socketPath(const std::string& folder, uint32_t channel);

// Listening sockets; -1 and errno on failure. The Unix socket is made in a
// folder of its own that only its owner can enter, and is readable and
// writable by its owner only; a socket left behind by a host that ended is
// replaced, one that a living host listens on is not (EADDRINUSE).
int listenUnix(const std::string& path);
int listenTcp(const std::string& address, int port);

// Connects; kServerUnavailable when nobody listens there.
uint32_t connectUnix(const std::string& path, Connection& out);
uint32_t connectTcp(const std::string& host, int port, Connection& out);

// The mutual challenge and response on a new TCP connection, with the shared
// secret: each side proves that it knows the secret without sending it, and
// checks the other's proof in constant time. 0, kAccessDenied when a proof
// is wrong, kCallFailed when the stream ends.
uint32_t clientHandshake(Connection& connection, const std::string& secret);
uint32_t serverHandshake(Connection& connection, const std::string& secret, const std::atomic<bool>& stop);

}  // namespace tvx::ipc::rpc
