// Fuzz target: a stream of RPC frames as a peer might send them. Each frame's
// header is checked, its body decoded as what its type says, and what decodes
// is encoded again and must decode to the same fields.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ipc/rpc/rpc.h"
#include "ipc/rpc/wire.h"

using namespace tvx::ipc::rpc;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t at = 0;
    while (size - at >= kHeaderBytes) {
        FrameHeader header;
        if (parseHeader(data + at, header) != kStatusOk) break;
        at += kHeaderBytes;
        if (header.bodyLength > size - at) break;
        const uint8_t* body = data + at;
        at += header.bodyLength;
        if (header.type == kRequest) {
            AccessRequest request;
            if (decodeAccessRequest(body, header.bodyLength, request) != kStatusOk) continue;
            std::vector<uint8_t> again;
            encodeAccessRequest(again, request);
            AccessRequest back;
            if (decodeAccessRequest(again.data(), again.size(), back) != kStatusOk ||
                back.name != request.name || back.op != request.op || back.inData != request.inData ||
                back.outSize != request.outSize)
                std::abort();
            validBlockImage(request.inData.data(), request.inData.size());
        } else if (header.type == kResponse) {
            // The answer to a request whose outSize the first four body bytes give.
            int32_t outSize = 0;
            if (header.bodyLength >= 8)
                outSize = static_cast<int32_t>(uint32_t{body[4]} | uint32_t{body[5]} << 8 |
                                               uint32_t{body[6]} << 16 | uint32_t{body[7]} << 24);
            AccessReply reply;
            if (decodeAccessReply(body, header.bodyLength, outSize, reply) != kStatusOk) continue;
            std::vector<uint8_t> again;
            encodeAccessReply(again, outSize, reply);
            AccessReply back;
            if (decodeAccessReply(again.data(), again.size(), outSize, back) != kStatusOk ||
                back.outData != reply.outData || back.result != reply.result)
                std::abort();
            validBlockImage(reply.outData.data(), reply.outData.size());
        } else {
            decodeFault(body, header.bodyLength);
        }
        uint32_t channel;
        channelOf(header.interface, channel);
    }
    return 0;
}
