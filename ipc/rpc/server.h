// The RPC server: listens on one Unix-domain socket per channel and, with a
// shared secret, on a TCP port; serves each connection on a worker thread of
// its own (at most kMaxWorkers at a time). Procedure 0 goes to the access
// handler, procedure 1 stops the server. A malformed frame ends its
// connection only.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "ipc/rpc/transport.h"
#include "ipc/rpc/wire.h"

namespace tvx::ipc::rpc {

constexpr int kMaxWorkers = 20;

struct ListenOptions {
    std::string socketFolder;  // where the channel sockets are made
    std::string secret;        // empty: no network listener
    std::string tcpAddress;    // "" for every address
    int tcpPort = 0;
};

class Server {
public:
    // Called on a worker thread for each procedure 0 call; stop turns true
    // when the server is being stopped (a handler that waits gives up).
    using AccessHandler = std::function<void(uint32_t channel, const AccessRequest&, AccessReply&,
                                             const std::atomic<bool>& stop)>;

    explicit Server(AccessHandler handler) : handler_(std::move(handler)) {}
    ~Server() { stop(); }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Listens on a channel (again: nothing changes). 0, or an errno value of
    // the failed socket call.
    int listen(uint32_t channel, const ListenOptions& options);
    // Stops listening on a channel; with none left the server stops.
    void unlisten(uint32_t channel);
    // Stops everything and waits for the worker threads.
    void stop();
    bool listening() const;
    bool listening(uint32_t channel) const;
    // True once procedure 1 asked the server to stop (stop() then tidies up).
    bool stopAsked() const { return stopAsked_.load(); }
    // The TCP port listened on (0: none), for tests that let the system choose.
    int tcpPort() const { return boundTcpPort_; }

private:
    struct Listener {
        int fd = -1;
        uint32_t channel = 0;  // for a Unix socket
        bool tcp = false;
        std::string path;
    };
    struct Worker {
        std::thread thread;
        Connection connection;
        std::atomic<bool> done{false};
        bool tcp = false;
        uint32_t channel = 0;
        std::string secret;  // a copy: the options may change while it runs
    };

    void startAcceptor();
    void stopAcceptor();
    void acceptLoop();
    void serve(Worker& worker);
    void reapWorkers(bool all);
    bool channelOpen(uint32_t channel) const;
    // Answers one request frame; false ends the connection.
    bool answer(Worker& worker, const FrameHeader& header, const std::vector<uint8_t>& body);

    AccessHandler handler_;
    ListenOptions options_;
    mutable std::mutex mutex_;
    std::set<uint32_t> channels_;
    std::list<Listener> listeners_;
    std::list<std::unique_ptr<Worker>> workers_;
    std::thread acceptor_;
    int wakePipe_[2] = {-1, -1};
    std::atomic<bool> acceptorStop_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> stopAsked_{false};
    int boundTcpPort_ = 0;
};

}  // namespace tvx::ipc::rpc
