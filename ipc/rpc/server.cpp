// The RPC server: listening sockets, worker threads, the dispatch of frames.
#include "ipc/rpc/server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace tvx::ipc::rpc {

namespace {

std::vector<uint8_t> frame(PacketType type, const FrameHeader& request, const std::vector<uint8_t>& body) {
    FrameHeader h = request;
    h.type = type;
    h.bodyLength = static_cast<uint32_t>(body.size());
    std::vector<uint8_t> out;
    out.reserve(kHeaderBytes + body.size());
    putHeader(out, h);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

bool sendFault(Connection& c, const FrameHeader& request, uint32_t status) {
    std::vector<uint8_t> body;
    encodeFault(body, status);
    std::vector<uint8_t> out = frame(kFault, request, body);
    return c.sendAll(out.data(), out.size());
}

}  // namespace

int Server::listen(uint32_t channel, const ListenOptions& options) {
    if (stopAsked_) stop();
    if (listening(channel)) return 0;
    stopAcceptor();
    options_ = options;
    Listener unix;
    unix.channel = channel;
    unix.path = socketPath(options.socketFolder, channel);
    unix.fd = unix.path.empty() ? (errno = ENAMETOOLONG, -1) : listenUnix(unix.path);
    if (unix.fd < 0) {
        int error = errno ? errno : EINVAL;
        if (!listeners_.empty()) startAcceptor();
        return error;
    }
    bool needTcp = !options.secret.empty();
    for (const Listener& l : listeners_)
        if (l.tcp) needTcp = false;
    if (needTcp) {
        Listener tcp;
        tcp.tcp = true;
        tcp.fd = listenTcp(options.tcpAddress, options.tcpPort);
        if (tcp.fd < 0) {
            int error = errno ? errno : EINVAL;
            ::close(unix.fd);
            ::unlink(unix.path.c_str());
            if (!listeners_.empty()) startAcceptor();
            return error;
        }
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getsockname(tcp.fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            if (address.ss_family == AF_INET)
                boundTcpPort_ = ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
            else if (address.ss_family == AF_INET6)
                boundTcpPort_ = ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
        }
        listeners_.push_back(std::move(tcp));
    }
    listeners_.push_back(std::move(unix));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        channels_.insert(channel);
    }
    startAcceptor();
    return 0;
}

void Server::unlisten(uint32_t channel) {
    if (!listening(channel)) return;
    stopAcceptor();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        channels_.erase(channel);
    }
    for (auto it = listeners_.begin(); it != listeners_.end();) {
        if (!it->tcp && it->channel == channel) {
            ::close(it->fd);
            ::unlink(it->path.c_str());
            it = listeners_.erase(it);
        } else {
            ++it;
        }
    }
    bool anyUnix = false;
    for (const Listener& l : listeners_) anyUnix = anyUnix || !l.tcp;
    if (!anyUnix) {
        stop();
        return;
    }
    startAcceptor();
}

void Server::stop() {
    stopAcceptor();
    for (Listener& l : listeners_) {
        if (l.fd < 0) continue;
        ::close(l.fd);
        if (!l.tcp) ::unlink(l.path.c_str());
    }
    listeners_.clear();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        channels_.clear();
    }
    stopping_ = true;
    reapWorkers(true);
    stopping_ = false;
    stopAsked_ = false;
    boundTcpPort_ = 0;
}

bool Server::listening() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !channels_.empty() && !stopAsked_;
}

bool Server::listening(uint32_t channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return channels_.count(channel) && !stopAsked_;
}

bool Server::channelOpen(uint32_t channel) const { return listening(channel); }

void Server::startAcceptor() {
    if (listeners_.empty() || acceptor_.joinable()) return;
    if (::pipe2(wakePipe_, O_CLOEXEC) != 0) return;
    acceptorStop_ = false;
    acceptor_ = std::thread([this] { acceptLoop(); });
}

void Server::stopAcceptor() {
    if (!acceptor_.joinable()) return;
    acceptorStop_ = true;
    char c = 1;
    (void)!::write(wakePipe_[1], &c, 1);
    acceptor_.join();
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
    wakePipe_[0] = wakePipe_[1] = -1;
}

void Server::acceptLoop() {
    std::vector<pollfd> fds;
    std::vector<const Listener*> which;
    for (const Listener& l : listeners_) {
        fds.push_back({l.fd, POLLIN, 0});
        which.push_back(&l);
    }
    fds.push_back({wakePipe_[0], POLLIN, 0});
    while (!acceptorStop_ && !stopAsked_) {
        int ready = ::poll(fds.data(), fds.size(), 200);
        if (ready < 0 && errno != EINTR) break;
        reapWorkers(false);
        for (size_t i = 0; i + 1 < fds.size(); ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            int fd = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            auto worker = std::make_unique<Worker>();
            worker->connection = Connection(fd);
            worker->tcp = which[i]->tcp;
            worker->channel = which[i]->channel;
            worker->secret = options_.secret;
            std::lock_guard<std::mutex> lock(mutex_);
            if (workers_.size() >= kMaxWorkers) {
                // Every worker is busy: this conversation is refused, the others go on.
                FrameHeader none;
                sendFault(worker->connection, none, kServerTooBusy);
                continue;
            }
            Worker& w = *worker;
            workers_.push_back(std::move(worker));
            w.thread = std::thread([this, &w] {
                serve(w);
                w.done = true;
            });
        }
    }
    if (stopAsked_) {
        // Stopped by a client: nobody may connect any more (the listener's
        // owner tidies the rest up on its thread).
        for (Listener& l : listeners_) {
            ::close(l.fd);
            if (!l.tcp) ::unlink(l.path.c_str());
            l.fd = -1;
        }
    }
}

void Server::reapWorkers(bool all) {
    std::list<std::unique_ptr<Worker>> finished;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = workers_.begin(); it != workers_.end();) {
            if (all || (*it)->done) {
                // A worker in the middle of a call finishes it and answers; an
                // idle one sees the stop within 10 ms.
                finished.push_back(std::move(*it));
                it = workers_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& w : finished)
        if (w->thread.joinable()) w->thread.join();
}

void Server::serve(Worker& w) {
    auto idle = [this] { return !stopping_ && !stopAsked_; };
    if (w.tcp && serverHandshake(w.connection, w.secret, stopping_) != kStatusOk) return;
    FrameHeader header;
    std::vector<uint8_t> body;
    while (idle()) {
        uint32_t status = w.connection.receiveFrame(header, body, -1, idle);
        if (status == kProtocolError) {
            // Not our frame, or one too large to take: say so, and end the conversation.
            FrameHeader none;
            sendFault(w.connection, none, kProtocolError);
            return;
        }
        if (status) return;
        if (!answer(w, header, body)) return;
    }
}

bool Server::answer(Worker& w, const FrameHeader& header, const std::vector<uint8_t>& body) {
    if (header.type != kRequest) {
        sendFault(w.connection, header, kProtocolError);
        return false;
    }
    uint32_t channel = 0;
    // A request for another channel's interface (or another interface) is
    // unknown here: channels never reach each other.
    if (!channelOf(header.interface, channel) || (!w.tcp && channel != w.channel) || !channelOpen(channel))
        return sendFault(w.connection, header, kUnknownInterface);
    if (header.procedure == 1) {
        std::vector<uint8_t> none;
        std::vector<uint8_t> out = frame(kResponse, header, none);
        w.connection.sendAll(out.data(), out.size());
        stopAsked_ = true;
        return false;
    }
    if (header.procedure != 0) return sendFault(w.connection, header, kProcedureOutOfRange);
    AccessRequest request;
    if (uint32_t status = decodeAccessRequest(body.data(), body.size(), request)) {
        // A fault for this call; a body that does not parse leaves the stream
        // in step (its length was known), so the conversation may go on.
        return sendFault(w.connection, header, status);
    }
    AccessReply reply;
    handler_(channel, request, reply, stopping_);
    if (reply.outData.size() > static_cast<size_t>(request.outSize))
        reply.outData.resize(static_cast<size_t>(request.outSize));
    reply.outLength = static_cast<int32_t>(reply.outData.size());
    std::vector<uint8_t> answerBody;
    encodeAccessReply(answerBody, request.outSize, reply);
    std::vector<uint8_t> out = frame(kResponse, header, answerBody);
    return w.connection.sendAll(out.data(), out.size());
}

}  // namespace tvx::ipc::rpc
