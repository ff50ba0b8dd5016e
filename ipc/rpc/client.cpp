// The RPC client.
#include "ipc/rpc/client.h"

#include <cstdlib>

namespace tvx::ipc::rpc {

// How long a refused conversation's fault is waited for after the send failed.
constexpr int kRefusalReadMs = 500;

void Client::bind(const std::string& server, uint32_t channel, const ClientOptions& options) {
    unbind();
    options_ = options;
    channel_ = channel;
    bound_ = true;
    tcp_ = !(server.empty() || server == "." || server == "localhost");
    host_ = server;
    port_ = options.tcpPort;
    if (tcp_) {
        // "host:port", or "[v6 address]:port"; a bare IPv6 address has several colons.
        size_t colon = server.rfind(':');
        bool bracketed = !server.empty() && server[0] == '[';
        if (colon != std::string::npos && (bracketed || server.find(':') == colon)) {
            host_ = server.substr(0, colon);
            port_ = std::atoi(server.c_str() + colon + 1);
        }
        if (host_.size() >= 2 && host_.front() == '[' && host_.back() == ']')
            host_ = host_.substr(1, host_.size() - 2);
    }
}

void Client::unbind() {
    bound_ = false;
    unix_.clear();
    tcpConnection_.close();
}

uint32_t Client::connection(uint32_t channel, Connection*& out) {
    if (tcp_) {
        if (!tcpConnection_.open()) {
            // Across the network only with the shared secret, which both sides prove.
            if (options_.secret.empty()) return kAccessDenied;
            if (port_ <= 0 || port_ > 65535) return kServerUnavailable;
            Connection c;
            if (uint32_t status = connectTcp(host_, port_, c)) return status;
            if (uint32_t status = clientHandshake(c, options_.secret)) return status;
            tcpConnection_ = std::move(c);
        }
        out = &tcpConnection_;
        return kStatusOk;
    }
    Connection& c = unix_[channel];
    if (!c.open()) {
        if (uint32_t status = connectUnix(socketPath(options_.socketFolder, channel), c)) {
            unix_.erase(channel);
            return status;
        }
    }
    out = &c;
    return kStatusOk;
}

uint32_t Client::call(uint32_t channel, uint16_t procedure, const std::vector<uint8_t>& body,
                      FrameHeader& header, std::vector<uint8_t>& answer, const std::function<bool()>& idle) {
    if (!bound_) return kInvalidBinding;
    FrameHeader request;
    request.type = kRequest;
    request.procedure = procedure;
    request.callId = nextCall_++;
    request.interface = interfaceUuid(channel);
    request.bodyLength = static_cast<uint32_t>(body.size());
    std::vector<uint8_t> out;
    out.reserve(kHeaderBytes + body.size());
    putHeader(out, request);
    out.insert(out.end(), body.begin(), body.end());
    // A kept connection that the server closed meanwhile is opened again, once.
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool reused = attempt == 0 && (tcp_ ? tcpConnection_.open() : unix_.count(channel) > 0);
        Connection* c = nullptr;
        if (uint32_t status = connection(channel, c)) return status;
        if (!c->sendAll(out.data(), out.size())) {
            // A server that turned the conversation away (too busy) said so
            // before it hung up: its fault is the answer, not a failed call.
            uint32_t refused = 0;
            if (c->receiveFrame(header, answer, kRefusalReadMs, nullptr) == 0 && header.type == kFault)
                refused = decodeFault(answer.data(), answer.size());
            c->close();
            if (refused) return refused;
            if (reused) continue;
            return kCallFailed;
        }
        uint32_t status = c->receiveFrame(header, answer, options_.callTimeoutMs, idle);
        if (status) {
            c->close();
            if (status == kCallFailed && reused) continue;
            return status == kProtocolError ? kProtocolError : kCallFailed;
        }
        if (header.type == kFault) {
            uint32_t code = decodeFault(answer.data(), answer.size());
            // A fault without a call id ends the conversation (the server hung up).
            if (header.callId != request.callId) c->close();
            return code;
        }
        if (header.type != kResponse || header.callId != request.callId) {
            c->close();
            return kProtocolError;
        }
        return kStatusOk;
    }
    return kCallFailed;
}

uint32_t Client::access(uint32_t channel, const AccessRequest& request, AccessReply& reply,
                        const std::function<bool()>& idle) {
    std::vector<uint8_t> body;
    encodeAccessRequest(body, request);
    FrameHeader header;
    std::vector<uint8_t> answer;
    if (uint32_t status = call(channel, 0, body, header, answer, idle)) return status;
    return decodeAccessReply(answer.data(), answer.size(), request.outSize, reply);
}

uint32_t Client::stopServer(uint32_t channel, const std::function<bool()>& idle) {
    FrameHeader header;
    std::vector<uint8_t> answer;
    std::vector<uint8_t> none;
    uint32_t status = call(channel, 1, none, header, answer, idle);
    // The server hangs up after it answered.
    if (tcp_)
        tcpConnection_.close();
    else
        unix_.erase(channel);
    return status;
}

}  // namespace tvx::ipc::rpc
