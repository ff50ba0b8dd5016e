// Sockets for RPC.
#include "ipc/rpc/transport.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "ipc/rpc/hmac.h"

namespace tvx::ipc::rpc {

namespace {

constexpr uint8_t kHello[4] = {'T', 'V', 'X', 'A'};
constexpr int kHandshakeMs = 5000;

bool fillRandom(uint8_t* out, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::getrandom(out + done, size - done, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

Digest proof(const std::string& secret, const char* who, const uint8_t* first, const uint8_t* second) {
    std::vector<uint8_t> message(who, who + std::strlen(who));
    message.insert(message.end(), first, first + 32);
    message.insert(message.end(), second, second + 32);
    return hmacSha256(secret, message.data(), message.size());
}

bool makeUnixAddress(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

void noDelay(int fd) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

}  // namespace

Connection& Connection::operator=(Connection&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void Connection::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void Connection::shutdown() {
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

bool Connection::sendAll(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size) {
        ssize_t n = ::send(fd_, p, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool Connection::receiveAll(void* data, size_t size, int timeoutMs, const std::function<bool()>& idle) {
    auto* p = static_cast<uint8_t*>(data);
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (size) {
        ssize_t n = ::recv(fd_, p, size, MSG_DONTWAIT);
        if (n > 0) {
            p += n;
            size -= static_cast<size_t>(n);
            continue;
        }
        if (n == 0) return false;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
        if (timeoutMs >= 0 && std::chrono::steady_clock::now() >= until) return false;
        pollfd pfd{fd_, POLLIN, 0};
        int ready = ::poll(&pfd, 1, idle ? 10 : (timeoutMs >= 0 ? 10 : -1));
        if (ready < 0 && errno != EINTR) return false;
        if (ready == 0 && idle && !idle()) return false;
    }
    return true;
}

uint32_t Connection::receiveFrame(FrameHeader& header, std::vector<uint8_t>& body, int timeoutMs,
                                  const std::function<bool()>& idle) {
    uint8_t head[kHeaderBytes];
    if (!receiveAll(head, sizeof head, timeoutMs, idle)) return kCallFailed;
    if (uint32_t status = parseHeader(head, header)) return status;
    body.resize(header.bodyLength);
    if (header.bodyLength && !receiveAll(body.data(), body.size(), timeoutMs, idle)) return kCallFailed;
    return kStatusOk;
}

std::string socketPath(const std::string& folder, uint32_t channel) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    path += "rpc-" + std::to_string(channel) + ".sock";
    return path.size() < sizeof(sockaddr_un::sun_path) ? path : std::string();
}

int listenUnix(const std::string& path) {
    sockaddr_un address;
    if (!makeUnixAddress(path, address)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::string folder = path.substr(0, path.rfind('/'));
    if (!folder.empty()) {
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return -1;
        // A folder that somebody else made could hand our socket to them.
        struct stat info {};
        if (::lstat(folder.c_str(), &info) != 0) return -1;
        if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) {
            errno = EACCES;
            return -1;
        }
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EADDRINUSE) {
            ::close(fd);
            return -1;
        }
        // Somebody's socket is there: a living host answers, a dead one does not.
        Connection probe;
        if (connectUnix(path, probe) == kStatusOk) {
            ::close(fd);
            errno = EADDRINUSE;
            return -1;
        }
        ::unlink(path.c_str());
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
    }
    ::chmod(path.c_str(), 0600);
    if (::listen(fd, 64) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int listenTcp(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    if (::getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found) != 0) {
        errno = EADDRNOTAVAIL;
        return -1;
    }
    int fd = -1;
    for (addrinfo* a = found; a; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, 64) == 0) break;
        int saved = errno;
        ::close(fd);
        fd = -1;
        errno = saved;
    }
    ::freeaddrinfo(found);
    return fd;
}

uint32_t connectUnix(const std::string& path, Connection& out) {
    sockaddr_un address;
    if (!makeUnixAddress(path, address)) return kServerUnavailable;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return kServerUnavailable;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return kServerUnavailable;
    }
    out = Connection(fd);
    return kStatusOk;
}

uint32_t connectTcp(const std::string& host, int port, Connection& out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) return kServerUnavailable;
    int fd = -1;
    for (addrinfo* a = found; a; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) break;
        ::close(fd);
        fd = -1;
    }
    ::freeaddrinfo(found);
    if (fd < 0) return kServerUnavailable;
    noDelay(fd);
    out = Connection(fd);
    return kStatusOk;
}

// Client: hello with its challenge; the server's challenge and proof; the
// client's proof; the server's verdict.
uint32_t clientHandshake(Connection& c, const std::string& secret) {
    uint8_t hello[36];
    std::memcpy(hello, kHello, 4);
    if (!fillRandom(hello + 4, 32)) return kCallFailed;
    if (!c.sendAll(hello, sizeof hello)) return kCallFailed;
    uint8_t answer[68];
    if (!c.receiveAll(answer, sizeof answer, kHandshakeMs, nullptr)) return kCallFailed;
    if (std::memcmp(answer, kHello, 4) != 0) return kProtocolError;
    Digest theirs;
    std::memcpy(theirs.data(), answer + 36, 32);
    if (!sameDigest(theirs, proof(secret, "tolvex server", hello + 4, answer + 4))) return kAccessDenied;
    Digest ours = proof(secret, "tolvex client", answer + 4, hello + 4);
    if (!c.sendAll(ours.data(), ours.size())) return kCallFailed;
    uint8_t verdict[4];
    if (!c.receiveAll(verdict, sizeof verdict, kHandshakeMs, nullptr)) return kAccessDenied;
    uint32_t status = uint32_t{verdict[0]} | uint32_t{verdict[1]} << 8 | uint32_t{verdict[2]} << 16 |
                      uint32_t{verdict[3]} << 24;
    return status;
}

uint32_t serverHandshake(Connection& c, const std::string& secret, const std::atomic<bool>& stop) {
    auto idle = [&stop] { return !stop.load(); };
    uint8_t hello[36];
    if (!c.receiveAll(hello, sizeof hello, kHandshakeMs, idle)) return kCallFailed;
    if (std::memcmp(hello, kHello, 4) != 0) return kProtocolError;
    uint8_t answer[68];
    std::memcpy(answer, kHello, 4);
    if (!fillRandom(answer + 4, 32)) return kCallFailed;
    Digest ours = proof(secret, "tolvex server", hello + 4, answer + 4);
    std::memcpy(answer + 36, ours.data(), 32);
    if (!c.sendAll(answer, sizeof answer)) return kCallFailed;
    Digest theirs;
    if (!c.receiveAll(theirs.data(), theirs.size(), kHandshakeMs, idle)) return kCallFailed;
    bool good = sameDigest(theirs, proof(secret, "tolvex client", answer + 4, hello + 4));
    uint32_t status = good ? kStatusOk : kAccessDenied;
    uint8_t verdict[4] = {static_cast<uint8_t>(status), static_cast<uint8_t>(status >> 8), 0, 0};
    c.sendAll(verdict, sizeof verdict);
    return status;
}

}  // namespace tvx::ipc::rpc
