// The RPC server and client over real sockets: malformed frames end their own
// conversation only, channels stay apart, TCP needs the shared secret, and
// procedure 1 stops the server. Procedure 0 itself on a server thread against
// an interpreter: the results of requests that cannot be served.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "interp/api.h"
#include "ipc/rpc/client.h"
#include "ipc/rpc/rpc.h"
#include "ipc/rpc/server.h"
#include "tests/unit/ipc/IpcMacroRun.h"

namespace tvx::ipc::rpc {
namespace {

class RpcSockets : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override {
        char pattern[] = "/tmp/tolvex-rpc-unit-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // Echoes the name's length as the result and "ok" as the data.
    static void echo(uint32_t, const AccessRequest& q, AccessReply& a, const std::atomic<bool>&) {
        a.result = static_cast<int32_t>(q.name.size());
        a.outData = {'o', 'k'};
    }
    ClientOptions clientOptions(const std::string& secret = {}) {
        ClientOptions o;
        o.socketFolder = dir;
        o.secret = secret;
        o.callTimeoutMs = 5000;
        return o;
    }
    static uint32_t ask(Client& c, uint32_t channel, const std::string& name, AccessReply& a) {
        AccessRequest q;
        q.name = name;
        q.op = 'R';
        q.outSize = 8;
        return c.access(channel, q, a, nullptr);
    }
    static std::vector<uint8_t> requestFrame(uint32_t channel, uint16_t procedure,
                                             const std::vector<uint8_t>& body) {
        FrameHeader h;
        h.procedure = procedure;
        h.callId = 9;
        h.interface = interfaceUuid(channel);
        h.bodyLength = static_cast<uint32_t>(body.size());
        std::vector<uint8_t> out;
        putHeader(out, h);
        out.insert(out.end(), body.begin(), body.end());
        return out;
    }
    // The status of the fault that answers a raw frame (0 for a response).
    static uint32_t answerTo(Connection& c, const std::vector<uint8_t>& frame) {
        // A conversation turned away may be closed before the frame is sent:
        // the fault the server sent first is read all the same.
        bool sent = c.sendAll(frame.data(), frame.size());
        FrameHeader h;
        std::vector<uint8_t> body;
        if (!sent)
            return c.receiveFrame(h, body, 500, nullptr) == 0 && h.type == kFault
                       ? decodeFault(body.data(), body.size())
                       : kCallFailed;
        if (uint32_t status = c.receiveFrame(h, body, 5000, nullptr)) return status;
        return h.type == kFault ? decodeFault(body.data(), body.size()) : kStatusOk;
    }
};

TEST_F(RpcSockets, MalformedFramesEndTheirConversationOnly) {
    Server server(echo);
    ListenOptions options;
    options.socketFolder = dir;
    ASSERT_EQ(server.listen(4, options), 0);
    EXPECT_EQ(server.tcpPort(), 0);  // no secret, no network listener

    Client good;
    good.bind("", 4, clientOptions());
    AccessReply a;
    ASSERT_EQ(ask(good, 4, "abc", a), kStatusOk);
    EXPECT_EQ(a.result, 3);

    AccessRequest q;
    q.name = "x";
    q.outSize = 8;
    std::vector<uint8_t> body;
    encodeAccessRequest(body, q);
    std::string path = socketPath(dir, 4);

    // Not a frame of ours: a fault, then the end of that stream.
    Connection raw;
    ASSERT_EQ(connectUnix(path, raw), kStatusOk);
    std::vector<uint8_t> garbage(40, 'G');
    EXPECT_EQ(answerTo(raw, garbage), kProtocolError);
    FrameHeader h;
    std::vector<uint8_t> rest;
    EXPECT_EQ(raw.receiveFrame(h, rest, 2000, nullptr), kCallFailed);

    // A header that announces a huge body: refused before anything is allocated.
    Connection huge;
    ASSERT_EQ(connectUnix(path, huge), kStatusOk);
    std::vector<uint8_t> frame = requestFrame(4, 0, body);
    uint32_t length = 0xFFFFFFF0u;
    std::memcpy(&frame[28], &length, 4);
    EXPECT_EQ(answerTo(huge, frame), kProtocolError);

    // A body that does not parse, another interface, an unknown procedure:
    // a fault for that call, and the conversation goes on.
    Connection steady;
    ASSERT_EQ(connectUnix(path, steady), kStatusOk);
    std::vector<uint8_t> cut(body.begin(), body.end() - 4);
    EXPECT_EQ(answerTo(steady, requestFrame(4, 0, cut)), kBadStubData);
    EXPECT_EQ(answerTo(steady, requestFrame(5, 0, body)), kUnknownInterface);
    EXPECT_EQ(answerTo(steady, requestFrame(4, 9, body)), kProcedureOutOfRange);
    std::vector<uint8_t> negative = body;
    int32_t minusOne = -1;
    std::memcpy(&negative[negative.size() - 4], &minusOne, 4);
    EXPECT_EQ(answerTo(steady, requestFrame(4, 0, negative)), kInvalidBound);
    EXPECT_EQ(answerTo(steady, requestFrame(4, 0, body)), kStatusOk);

    // A frame cut off in the middle, then the peer leaves: only it is gone.
    {
        Connection leaving;
        ASSERT_EQ(connectUnix(path, leaving), kStatusOk);
        std::vector<uint8_t> half = requestFrame(4, 0, body);
        half.resize(half.size() / 2);
        ASSERT_TRUE(leaving.sendAll(half.data(), half.size()));
    }
    ASSERT_EQ(ask(good, 4, "abcdef", a), kStatusOk);
    EXPECT_EQ(a.result, 6);
}

TEST_F(RpcSockets, ChannelsStayApartAndALivingListenerKeepsItsSocket) {
    Server first(echo), second(echo);
    ListenOptions options;
    options.socketFolder = dir;
    ASSERT_EQ(first.listen(1, options), 0);
    EXPECT_EQ(second.listen(1, options), EADDRINUSE);
    ASSERT_EQ(second.listen(2, options), 0);

    Client c;
    c.bind("", 1, clientOptions());
    AccessReply a;
    EXPECT_EQ(ask(c, 1, "a", a), kStatusOk);
    EXPECT_EQ(ask(c, 2, "ab", a), kStatusOk);
    EXPECT_EQ(a.result, 2);
    EXPECT_EQ(ask(c, 3, "a", a), kServerUnavailable);
    second.unlisten(2);
    EXPECT_EQ(ask(c, 2, "a", a), kServerUnavailable);
    EXPECT_FALSE(second.listening());

    // Unbound, nothing is called.
    Client none;
    EXPECT_EQ(ask(none, 1, "a", a), kInvalidBinding);

    // A socket left behind by a host that ended is taken over.
    std::string stale = socketPath(dir, 6);
    int fd = listenUnix(stale);
    ASSERT_GE(fd, 0);
    ::close(fd);  // the file stays, nobody listens
    EXPECT_EQ(second.listen(6, options), 0);
    EXPECT_EQ(ask(c, 6, "abc", a), kStatusOk);

    // The socket can only be reached by its owner.
    struct stat info {};
    ASSERT_EQ(::stat(stale.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u);
}

TEST_F(RpcSockets, TcpOnlyWithTheSharedSecretOnBothSides) {
    Server server(echo);
    ListenOptions options;
    options.socketFolder = dir;
    options.secret = "correct horse";
    options.tcpAddress = "127.0.0.1";
    options.tcpPort = 0;  // any free port
    ASSERT_EQ(server.listen(0, options), 0);
    int port = server.tcpPort();
    ASSERT_GT(port, 0);
    std::string address = "127.0.0.1:" + std::to_string(port);

    Client right, wrong, none;
    right.bind(address, 0, clientOptions("correct horse"));
    wrong.bind(address, 0, clientOptions("correct hors"));
    none.bind(address, 0, clientOptions());
    AccessReply a;
    ASSERT_EQ(ask(right, 0, "abcd", a), kStatusOk);
    EXPECT_EQ(a.result, 4);
    EXPECT_EQ(ask(wrong, 0, "abcd", a), kAccessDenied);
    EXPECT_EQ(ask(none, 0, "abcd", a), kAccessDenied);
    // A channel the server does not listen on is unknown there.
    EXPECT_EQ(ask(right, 9, "a", a), kUnknownInterface);
    ASSERT_EQ(ask(right, 0, "ab", a), kStatusOk);

    // A peer that skips the challenge and sends a frame gets nothing.
    Connection raw;
    ASSERT_EQ(connectTcp("127.0.0.1", port, raw), kStatusOk);
    std::vector<uint8_t> body;
    AccessRequest q;
    q.name = "x";
    encodeAccessRequest(body, q);
    EXPECT_NE(answerTo(raw, requestFrame(0, 0, body)), kStatusOk);
}

TEST_F(RpcSockets, TwentyConversationsAtATimeAndTheNextIsTurnedAway) {
    Server server(echo);
    ListenOptions options;
    options.socketFolder = dir;
    ASSERT_EQ(server.listen(2, options), 0);
    std::vector<uint8_t> body;
    AccessRequest q;
    q.name = "ab";
    q.outSize = 8;
    encodeAccessRequest(body, q);
    std::vector<Connection> open(kMaxWorkers);
    for (Connection& c : open) {
        ASSERT_EQ(connectUnix(socketPath(dir, 2), c), kStatusOk);
        ASSERT_EQ(answerTo(c, requestFrame(2, 0, body)), kStatusOk);  // each has its worker now
    }
    Connection oneMore;
    ASSERT_EQ(connectUnix(socketPath(dir, 2), oneMore), kStatusOk);
    EXPECT_EQ(answerTo(oneMore, requestFrame(2, 0, body)), kServerTooBusy);
    // When one leaves, a newcomer is served.
    open.back().close();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Client c;
    c.bind("", 2, clientOptions());
    AccessReply a;
    EXPECT_EQ(ask(c, 2, "abc", a), kStatusOk);
}

TEST_F(RpcSockets, ProcedureOneStopsTheServer) {
    Server server(echo);
    ListenOptions options;
    options.socketFolder = dir;
    ASSERT_EQ(server.listen(3, options), 0);
    Client c;
    c.bind("", 3, clientOptions());
    EXPECT_EQ(c.stopServer(3, nullptr), kStatusOk);
    for (int i = 0; i < 100 && std::filesystem::exists(socketPath(dir, 3)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(server.listening());
    AccessReply a;
    EXPECT_EQ(ask(c, 3, "a", a), kServerUnavailable);
    // It can listen again afterwards.
    ASSERT_EQ(server.listen(3, options), 0);
    EXPECT_EQ(ask(c, 3, "a", a), kStatusOk);
}

// Procedure 0 against an interpreter whose macro is not there or not pumping.
class RpcAccess : public testing::IpcMacroRun {
protected:
    std::atomic<bool> active{true}, inactive{false}, stop{false};
    AccessReply call(const std::atomic<bool>& macro, int32_t op, const std::string& name, int32_t outSize = 8,
                     std::vector<uint8_t> in = {}) {
        AccessRequest q;
        q.name = name;
        q.op = op;
        q.outSize = outSize;
        q.inData = std::move(in);
        AccessReply a;
        serveAccess(ip, macro, q, a, stop);
        return a;
    }
};

TEST_F(RpcAccess, RequestsThatCannotBeServed) {
    EXPECT_EQ(call(inactive, 'R', "x").result, -4);
    EXPECT_EQ(call(inactive, 'E', "x = 1").result, -4);
    EXPECT_EQ(call(active, 'R', "x").result, -4);  // no macro runs
    EXPECT_EQ(call(active, 1000 * 256 + 'E', std::string(256, 'a')).result, -3);

    AccessReply unknown = call(active, 'Q', "x", 4);
    EXPECT_EQ(unknown.result, 7);
    EXPECT_EQ(std::string(unknown.outData.begin(), unknown.outData.end()), std::string("ZYX\0", 4));
    EXPECT_EQ(call(active, 'q', "x", 100).outData.size(), 6u);

    // Nobody takes the line within the time-out: -1, and it is taken back.
    EXPECT_EQ(call(active, 30 * 256 + 'E', "x = 1").result, -1);
    EXPECT_FALSE(ip.pendingLine().waiting());
    // Another line is still pending: -2 after the time-out.
    uint64_t ticket = ip.pendingLine().offer("y = 2");
    ASSERT_NE(ticket, 0u);
    EXPECT_EQ(call(active, 30 * 256 + 'E', "x = 1").result, -2);
    EXPECT_TRUE(ip.pendingLine().withdraw(ticket));
}

TEST_F(RpcAccess, ALineHandedOverRunsInTheMacroWhileItPauses) {
    std::thread client([&] {
        // Wait until the macro runs, then ask it to run a line.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        AccessReply bad = call(active, 5000 * 256 + 'E', "z = (");
        EXPECT_GT(bad.result, 0);  // the line's error number
        AccessReply a = call(active, 5000 * 256 + 'E', "z = 41 + 1");
        EXPECT_EQ(a.result, 0);
    });
    std::vector<std::string> shown =
        run("z = 0\nLoop 100\n  Pause 20\n  If z = 42\n    BreakLoop\n  EndIf\nEndLoop\n?z\n");
    client.join();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), "z = 42");
}

TEST_F(RpcAccess, BlockImagesAreCheckedBeforeTheyAreCopied) {
    interp::DataBlock* block = interp::allocateBlock(interp::kElemDouble, 3);
    ASSERT_NE(block, nullptr);
    std::vector<uint8_t> image(reinterpret_cast<uint8_t*>(block),
                               reinterpret_cast<uint8_t*>(block) + 32 + block->payloadBytes);
    interp::freeBlock(block);
    EXPECT_TRUE(validBlockImage(image.data(), image.size()));
    EXPECT_FALSE(validBlockImage(image.data(), image.size() - 1));
    EXPECT_FALSE(validBlockImage(image.data(), 31));
    auto with = [&](size_t at, int32_t value) {
        std::vector<uint8_t> b = image;
        std::memcpy(&b[at], &value, 4);
        return validBlockImage(b.data(), b.size());
    };
    EXPECT_FALSE(with(8, 4));         // count disagrees with the payload
    EXPECT_FALSE(with(12, 1 << 30));  // payload beyond the data
    EXPECT_FALSE(with(24, 100));      // x size beyond the count
    EXPECT_FALSE(with(8, -3));        // negative count
    std::vector<uint8_t> b = image;
    b[4] = 11;  // no such element type
    EXPECT_FALSE(validBlockImage(b.data(), b.size()));
}

}  // namespace
}  // namespace tvx::ipc::rpc
