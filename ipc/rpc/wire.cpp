// The RPC frames and procedure 0 in NDR layout.
#include "ipc/rpc/wire.h"

#include <cstring>

namespace tvx::ipc::rpc {

namespace {

// a024da2b-5d83-448c-8f4a-b1a53a7eaa4d, in the byte order of the wire
// (the first three fields little-endian, as NDR sends a GUID).
constexpr Uuid kInterface = {0x2b, 0xda, 0x24, 0xa0, 0x83, 0x5d, 0x8c, 0x44,
                             0x8f, 0x4a, 0xb1, 0xa5, 0x3a, 0x7e, 0xaa, 0x4d};
constexpr uint8_t kMagic[4] = {'T', 'V', 'X', 'R'};
constexpr uint8_t kVersion = 1;

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void align4(std::vector<uint8_t>& out, size_t start) {
    while ((out.size() - start) % 4) out.push_back(0);
}

// Reads NDR fields from a body, remembering whether it ran short.
class Reader {
public:
    Reader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
    bool u32(uint32_t& v) {
        if (n_ - pos_ < 4 || pos_ > n_) return fail();
        v = uint32_t{p_[pos_]} | uint32_t{p_[pos_ + 1]} << 8 | uint32_t{p_[pos_ + 2]} << 16 |
            uint32_t{p_[pos_ + 3]} << 24;
        pos_ += 4;
        return true;
    }
    bool i32(int32_t& v) {
        uint32_t u;
        if (!u32(u)) return false;
        v = static_cast<int32_t>(u);
        return true;
    }
    const uint8_t* bytes(size_t count) {
        if (count > n_ - pos_) {
            fail();
            return nullptr;
        }
        const uint8_t* at = p_ + pos_;
        pos_ += count;
        return at;
    }
    bool align() {
        size_t pad = (4 - pos_ % 4) % 4;
        if (pad > n_ - pos_) return fail();
        pos_ += pad;
        return true;
    }
    bool atEnd() const { return pos_ == n_; }

private:
    bool fail() { return false; }
    const uint8_t* p_;
    size_t n_;
    size_t pos_ = 0;
};

}  // namespace

Uuid interfaceUuid(uint32_t channel) {
    Uuid u = kInterface;
    for (int i = 0; i < 4; ++i) u[12 + i] = static_cast<uint8_t>(channel >> (8 * i));
    return u;
}

bool channelOf(const Uuid& uuid, uint32_t& channel) {
    if (std::memcmp(uuid.data(), kInterface.data(), 12) != 0) return false;
    channel =
        uint32_t{uuid[12]} | uint32_t{uuid[13]} << 8 | uint32_t{uuid[14]} << 16 | uint32_t{uuid[15]} << 24;
    return true;
}

void putHeader(std::vector<uint8_t>& out, const FrameHeader& h) {
    out.insert(out.end(), kMagic, kMagic + 4);
    out.push_back(kVersion);
    out.push_back(h.type);
    out.push_back(static_cast<uint8_t>(h.procedure));
    out.push_back(static_cast<uint8_t>(h.procedure >> 8));
    put32(out, h.callId);
    out.insert(out.end(), h.interface.begin(), h.interface.end());
    put32(out, h.bodyLength);
}

uint32_t parseHeader(const uint8_t* bytes, FrameHeader& h) {
    if (std::memcmp(bytes, kMagic, 4) != 0 || bytes[4] != kVersion) return kProtocolError;
    uint8_t type = bytes[5];
    if (type != kRequest && type != kResponse && type != kFault) return kProtocolError;
    Reader r(bytes + 8, kHeaderBytes - 8);
    h.type = static_cast<PacketType>(type);
    h.procedure = static_cast<uint16_t>(bytes[6] | bytes[7] << 8);
    (void)r.u32(h.callId);
    std::memcpy(h.interface.data(), r.bytes(16), 16);
    (void)r.u32(h.bodyLength);
    if (h.bodyLength > kMaxBody) return kProtocolError;
    return kStatusOk;
}

void encodeAccessRequest(std::vector<uint8_t>& out, const AccessRequest& q) {
    size_t start = out.size();
    // [in, string] char name[]: max count, offset, actual count, the characters with NUL.
    uint32_t count = static_cast<uint32_t>(q.name.size() + 1);
    put32(out, count);
    put32(out, 0);
    put32(out, count);
    out.insert(out.end(), q.name.begin(), q.name.end());
    out.push_back(0);
    align4(out, start);
    put32(out, static_cast<uint32_t>(q.op));
    put32(out, static_cast<uint32_t>(q.inData.size()));
    // [in, size_is(inSize)] byte inData[]: conformant array.
    put32(out, static_cast<uint32_t>(q.inData.size()));
    out.insert(out.end(), q.inData.begin(), q.inData.end());
    align4(out, start);
    put32(out, static_cast<uint32_t>(q.outSize));
}

uint32_t decodeAccessRequest(const uint8_t* body, size_t size, AccessRequest& q) {
    Reader r(body, size);
    uint32_t maxCount, offset, actual;
    if (!r.u32(maxCount) || !r.u32(offset) || !r.u32(actual)) return kBadStubData;
    if (offset != 0 || actual == 0 || actual > maxCount) return kBadStubData;
    const uint8_t* chars = r.bytes(actual);
    if (!chars || chars[actual - 1] != 0) return kBadStubData;
    q.name.assign(reinterpret_cast<const char*>(chars),
                  strnlen(reinterpret_cast<const char*>(chars), actual));
    int32_t inSize;
    uint32_t arrayCount;
    if (!r.align() || !r.i32(q.op) || !r.i32(inSize) || !r.u32(arrayCount)) return kBadStubData;
    if (inSize < 0 || static_cast<uint32_t>(inSize) != arrayCount) return kBadStubData;
    const uint8_t* data = r.bytes(arrayCount);
    if (!data) return kBadStubData;
    q.inData.assign(data, data + arrayCount);
    if (!r.align() || !r.i32(q.outSize)) return kBadStubData;
    if (!r.atEnd()) return kBadStubData;
    if (q.outSize < 0 || q.outSize > kMaxOutSize) return kInvalidBound;
    return kStatusOk;
}

void encodeAccessReply(std::vector<uint8_t>& out, int32_t outSize, const AccessReply& a) {
    size_t start = out.size();
    put32(out, static_cast<uint32_t>(a.outLength));
    // [out, size_is(outSize), length_is(*outLength)] byte outData[]: conformant varying array.
    put32(out, static_cast<uint32_t>(outSize));
    put32(out, 0);
    put32(out, static_cast<uint32_t>(a.outData.size()));
    out.insert(out.end(), a.outData.begin(), a.outData.end());
    align4(out, start);
    put32(out, static_cast<uint32_t>(a.result));
}

uint32_t decodeAccessReply(const uint8_t* body, size_t size, int32_t outSize, AccessReply& a) {
    Reader r(body, size);
    uint32_t maxCount, offset, actual;
    if (!r.i32(a.outLength) || !r.u32(maxCount) || !r.u32(offset) || !r.u32(actual)) return kBadStubData;
    if (offset != 0 || maxCount != static_cast<uint32_t>(outSize) || actual > maxCount ||
        static_cast<uint32_t>(a.outLength) != actual)
        return kBadStubData;
    const uint8_t* data = r.bytes(actual);
    if (!data) return kBadStubData;
    a.outData.assign(data, data + actual);
    if (!r.align() || !r.i32(a.result) || !r.atEnd()) return kBadStubData;
    return kStatusOk;
}

void encodeFault(std::vector<uint8_t>& out, uint32_t status) { put32(out, status); }

uint32_t decodeFault(const uint8_t* body, size_t size) {
    Reader r(body, size);
    uint32_t status;
    if (!r.u32(status) || !r.atEnd() || status == 0) return kProtocolError;
    return status;
}

}  // namespace tvx::ipc::rpc
