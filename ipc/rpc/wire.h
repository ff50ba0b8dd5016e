// The RPC wire: frames between two hosts, and procedure 0 (variable access)
// in its NDR field layout. Pure functions, no sockets: what a peer sends is
// checked here before anything else looks at it.
//
// A frame is a 32-byte header and a body:
//   0  "TVXR"             magic
//   4  version (1)        1 byte
//   5  type               1 byte: 0 request, 2 response, 3 fault
//   6  procedure number   2 bytes
//   8  call id            4 bytes
//  12  interface UUID     16 bytes (the last four: the channel number)
//  28  body length        4 bytes (at most kMaxBody)
// All integers little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tvx::ipc::rpc {

// Status codes of the RPC run time, as the macros see them in !Error.
enum Status : uint32_t {
    kStatusOk = 0,
    kAccessDenied = 5,
    kNotEnoughMemory = 14,
    kUnknownInterface = 1717,
    kServerUnavailable = 1722,
    kServerTooBusy = 1723,
    kCallFailed = 1726,
    kProtocolError = 1728,
    kInvalidBound = 1734,
    kProcedureOutOfRange = 1745,
    kNullReference = 1780,
    kBadStubData = 1783,
};

using Uuid = std::array<uint8_t, 16>;

// The interface UUID with the channel number in its last four bytes.
Uuid interfaceUuid(uint32_t channel);
// The channel of a UUID of this interface; false for another interface.
bool channelOf(const Uuid& uuid, uint32_t& channel);

enum PacketType : uint8_t { kRequest = 0, kResponse = 2, kFault = 3 };

constexpr size_t kHeaderBytes = 32;
// The largest body a peer may announce: a bigger one ends the conversation
// before anything is allocated for it.
constexpr uint32_t kMaxBody = 64u << 20;
// The largest outSize a request may ask for (the server allocates it).
constexpr int32_t kMaxOutSize = static_cast<int32_t>(kMaxBody - 64);

struct FrameHeader {
    PacketType type = kRequest;
    uint16_t procedure = 0;
    uint32_t callId = 0;
    Uuid interface {};
    uint32_t bodyLength = 0;
};

void putHeader(std::vector<uint8_t>& out, const FrameHeader& header);
// Reads a header from kHeaderBytes bytes: 0, or kProtocolError for a frame
// that is not ours (magic, version, type) or announces a body over kMaxBody.
uint32_t parseHeader(const uint8_t* bytes, FrameHeader& header);

// Procedure 0, the request: name, op, inSize, inData, outSize.
struct AccessRequest {
    std::string name;
    int32_t op = 0;
    std::vector<uint8_t> inData;
    int32_t outSize = 0;
};
// Procedure 0, the answer: outLength, outData (outLength bytes of outSize), result.
struct AccessReply {
    int32_t outLength = 0;
    std::vector<uint8_t> outData;
    int32_t result = 0;
};

void encodeAccessRequest(std::vector<uint8_t>& out, const AccessRequest& request);
// 0, kBadStubData for a short or inconsistent body, kInvalidBound for an
// outSize below 0 or above kMaxOutSize.
uint32_t decodeAccessRequest(const uint8_t* body, size_t size, AccessRequest& request);
// outSize is the request's: the answer's maximum count.
void encodeAccessReply(std::vector<uint8_t>& out, int32_t outSize, const AccessReply& reply);
// 0 or kBadStubData (also when the answer holds more than outSize bytes).
uint32_t decodeAccessReply(const uint8_t* body, size_t size, int32_t outSize, AccessReply& reply);

// A fault body: the status code.
void encodeFault(std::vector<uint8_t>& out, uint32_t status);
uint32_t decodeFault(const uint8_t* body, size_t size);

}  // namespace tvx::ipc::rpc
