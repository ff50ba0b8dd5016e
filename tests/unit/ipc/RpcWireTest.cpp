// The RPC frame codec and the digest: round trips, and every malformed body a
// peer could send refused with a status (never read past its end).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ipc/rpc/hmac.h"
#include "ipc/rpc/wire.h"

namespace tvx::ipc::rpc {
namespace {

std::string hex(const Digest& d) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (uint8_t b : d) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

TEST(RpcDigest, KnownAnswers) {
    EXPECT_EQ(hex(sha256("abc", 3)), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // Two blocks of padding (56 bytes of message).
    const char* two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(hex(sha256(two, std::strlen(two))),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // RFC 4231, cases 2 and 6 (a key longer than a block).
    const char* data = "what do ya want for nothing?";
    EXPECT_EQ(hex(hmacSha256("Jefe", data, std::strlen(data))),
              "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    std::string longKey(131, '\xaa');
    const char* big = "Test Using Larger Than Block-Size Key - Hash Key First";
    EXPECT_EQ(hex(hmacSha256(longKey, big, std::strlen(big))),
              "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
    Digest a = sha256("x", 1), b = a;
    EXPECT_TRUE(sameDigest(a, b));
    b[31] ^= 1;
    EXPECT_FALSE(sameDigest(a, b));
}

TEST(RpcWire, RequestAndReplyRoundTripInTheirFieldLayout) {
    AccessRequest q;
    q.name = "abc";
    q.op = 'W';
    q.inData = {1, 2, 3, 4, 5};
    q.outSize = 81;
    std::vector<uint8_t> body;
    encodeAccessRequest(body, q);
    // max count, offset, actual count, "abc\0", op, inSize, count, 5 bytes + 3 pad, outSize
    ASSERT_EQ(body.size(), 12u + 4 + 4 + 4 + 4 + 8 + 4);
    EXPECT_EQ(body[0], 4);
    EXPECT_EQ(body[8], 4);
    EXPECT_EQ(std::memcmp(&body[12], "abc", 4), 0);
    EXPECT_EQ(body[16], 'W');
    EXPECT_EQ(body[20], 5);
    EXPECT_EQ(body[24], 5);
    EXPECT_EQ(body[36], 81);
    AccessRequest back;
    ASSERT_EQ(decodeAccessRequest(body.data(), body.size(), back), kStatusOk);
    EXPECT_EQ(back.name, "abc");
    EXPECT_EQ(back.op, 'W');
    EXPECT_EQ(back.inData, q.inData);
    EXPECT_EQ(back.outSize, 81);

    AccessReply a;
    a.outData = {'h', 'i', 0};
    a.outLength = 3;
    a.result = -2;
    std::vector<uint8_t> reply;
    encodeAccessReply(reply, 81, a);
    AccessReply r;
    ASSERT_EQ(decodeAccessReply(reply.data(), reply.size(), 81, r), kStatusOk);
    EXPECT_EQ(r.outData, a.outData);
    EXPECT_EQ(r.result, -2);
    // The answer must be for the size asked.
    EXPECT_EQ(decodeAccessReply(reply.data(), reply.size(), 80, r), kBadStubData);
}

TEST(RpcWire, EveryTruncationAndBadCountIsRefused) {
    AccessRequest q;
    q.name = "name";
    q.op = 'R';
    q.inData.assign(13, 7);
    q.outSize = 8;
    std::vector<uint8_t> body;
    encodeAccessRequest(body, q);
    AccessRequest out;
    for (size_t n = 0; n < body.size(); ++n) {
        std::vector<uint8_t> cut(body.begin(), body.begin() + static_cast<long>(n));
        EXPECT_EQ(decodeAccessRequest(cut.data(), cut.size(), out), kBadStubData) << n;
    }
    auto patched = [&](size_t at, uint32_t value) {
        std::vector<uint8_t> b = body;
        std::memcpy(&b[at], &value, 4);
        return decodeAccessRequest(b.data(), b.size(), out);
    };
    EXPECT_EQ(patched(0, 2), kBadStubData);             // actual count above max count
    EXPECT_EQ(patched(4, 1), kBadStubData);             // offset not 0
    EXPECT_EQ(patched(8, 0), kBadStubData);             // no characters at all
    EXPECT_EQ(patched(8, 0xFFFFFFF0u), kBadStubData);   // a huge count
    EXPECT_EQ(patched(24, 0x7FFFFFFF), kBadStubData);   // inSize and count disagree
    EXPECT_EQ(patched(24, 0xFFFFFFFFu), kBadStubData);  // negative inSize
    size_t outSizeAt = body.size() - 4;
    EXPECT_EQ(patched(outSizeAt, 0xFFFFFFFFu), kInvalidBound);
    EXPECT_EQ(patched(outSizeAt, 0x7FFFFFFF), kInvalidBound);
    // The name must end with its NUL; trailing bytes are not ignored.
    std::vector<uint8_t> b = body;
    b[16] = 'x';
    EXPECT_EQ(decodeAccessRequest(b.data(), b.size(), out), kBadStubData);
    b = body;
    b.push_back(0);
    EXPECT_EQ(decodeAccessRequest(b.data(), b.size(), out), kBadStubData);

    AccessReply a;
    a.outData.assign(10, 1);
    a.outLength = 10;
    std::vector<uint8_t> reply;
    encodeAccessReply(reply, 20, a);
    AccessReply r;
    for (size_t n = 0; n < reply.size(); ++n)
        EXPECT_EQ(decodeAccessReply(reply.data(), n, 20, r), kBadStubData) << n;
    EXPECT_EQ(decodeFault(reply.data(), 3), kProtocolError);
}

TEST(RpcWire, HeadersThatAreNotOursOrTooLarge) {
    FrameHeader h;
    h.type = kRequest;
    h.procedure = 1;
    h.callId = 77;
    h.interface = interfaceUuid(0x01020304);
    h.bodyLength = 12;
    std::vector<uint8_t> bytes;
    putHeader(bytes, h);
    ASSERT_EQ(bytes.size(), kHeaderBytes);
    FrameHeader back;
    ASSERT_EQ(parseHeader(bytes.data(), back), kStatusOk);
    EXPECT_EQ(back.procedure, 1);
    EXPECT_EQ(back.callId, 77u);
    uint32_t channel = 0;
    ASSERT_TRUE(channelOf(back.interface, channel));
    EXPECT_EQ(channel, 0x01020304u);
    // The UUID's first twelve bytes name the interface; the channel replaces the last four.
    EXPECT_EQ(interfaceUuid(0)[0], 0x2b);
    EXPECT_EQ(interfaceUuid(0)[11], 0xa5);
    EXPECT_EQ(interfaceUuid(0)[15], 0);
    EXPECT_EQ(interfaceUuid(0x01020304)[15], 1);
    Uuid other = interfaceUuid(5);
    other[3] ^= 0xFF;
    EXPECT_FALSE(channelOf(other, channel));

    std::vector<uint8_t> bad = bytes;
    bad[0] = 'X';
    EXPECT_EQ(parseHeader(bad.data(), back), kProtocolError);
    bad = bytes;
    bad[5] = 9;  // no such packet type
    EXPECT_EQ(parseHeader(bad.data(), back), kProtocolError);
    bad = bytes;
    uint32_t huge = kMaxBody + 1;
    std::memcpy(&bad[28], &huge, 4);
    EXPECT_EQ(parseHeader(bad.data(), back), kProtocolError);
}

}  // namespace
}  // namespace tvx::ipc::rpc
