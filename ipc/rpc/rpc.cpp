// The RPC statements: a host listens (RpcListen), another binds to it
// (RpcConnect) and reads, writes and asks about the listening macro's
// variables or has it execute a line; RpcWait sleeps until a client came.
//
// Settings (section RPC of Tolvan.ini):
//   Directory    folder of the channel sockets (default $XDG_RUNTIME_DIR/tolvex-rpc,
//                else /tmp/tolvex-rpc-<uid>); a relative folder is taken from
//                the settings file's folder
//   Secret       the shared secret; without it there is no network listener,
//                and a client cannot call a server on another machine
//   Port         the TCP port (default 47311); Address the address listened on
//   CallTimeout  milliseconds a client waits for an answer (default 60000)
#include "ipc/rpc/rpc.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "interp/api.h"
#include "ipc/rpc/client.h"
#include "ipc/rpc/server.h"
#include "ipc/system/system.h"

namespace tvx::ipc {

using namespace interp;
using rpc::AccessReply;
using rpc::AccessRequest;

namespace {

constexpr int kDefaultPort = 47311;

struct RpcState : FamilyState {
    std::unique_ptr<rpc::Server> server;
    rpc::Client client;
    // True while the macro that listens runs (procedure 0 answers -4 otherwise).
    std::atomic<bool> macroActive{false};

    void stopListening(Interpreter& ip) {
        macroActive = false;
        if (!server) return;
        // A worker may wait for the variables or for a line: let go of them.
        VariablesLetGo away(ip);
        server->stop();
    }
    void endOfRun(Interpreter& ip) override {
        stopListening(ip);
        client.unbind();
    }
    ~RpcState() override {
        macroActive = false;
        server.reset();
    }
};

RpcState& rpcState(Interpreter& ip) { return ip.state<RpcState>(); }

std::string socketFolder(Interpreter& ip) {
    std::string folder = settingFile(ip, "RPC", "Directory");
    if (!folder.empty()) return folder;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/tolvex-rpc";
    return "/tmp/tolvex-rpc-" + std::to_string(::getuid());
}

int settingInt(Interpreter& ip, std::string_view key, int def) {
    std::string text = setting(ip, "RPC", key);
    if (text.empty()) return def;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    return end != text.c_str() ? static_cast<int>(value) : def;
}

// The channel and the text of RpcListen and RpcConnect ('.?ls'): a first
// argument that is a text is the text.
void channelAndText(CallArgs& args, uint32_t& channel, std::string_view& text) {
    channel = 0;
    text = {};
    if (args.present(0)) {
        if (args.form(0) == kFormString)
            text = args.slot(0).text;
        else
            channel = static_cast<uint32_t>(args.l(0));
    }
    if (args.present(1)) text = args.text(1);
}

uint32_t callChannel(Interpreter& ip, CallArgs& args, int index) {
    return args.present(index) ? static_cast<uint32_t>(args.l(index)) : rpcState(ip).client.channel();
}

// The call, with the variables let go while the answer is awaited, and any
// line that a client (perhaps this very host) hands over executed meanwhile.
uint32_t callAccess(Interpreter& ip, uint32_t channel, const AccessRequest& request, AccessReply& reply) {
    RpcState& st = rpcState(ip);
    VariablesLetGo away(ip);
    return st.client.access(channel, request, reply, [&ip] {
        if (ip.pendingLine().waiting()) ip.pump(0);
        return true;
    });
}

// The outcome of RpcSet, RpcGet and RpcGet1 in !Error and !Result.
void noteAccessOutcome(Interpreter& ip, uint32_t status, int32_t result) {
    CommandResults& r = ip.results();
    r.error = static_cast<int>(status);
    r.values[0] = status ? 0 : result;
    if (status) return;
    if (result == -1) {
        r.error = 1;
        r.values[0] = 0;
    } else if (result < 0) {
        r.error = 2;
        r.values[0] = result & 0x7FFFFFFF;
    }
}

// A value as it travels: a number as 8 bytes, a text with its NUL, a block as
// its header and data.
void valueImage(const MCVal* value, std::string_view text, bool isText, std::vector<uint8_t>& out) {
    if (isText) {
        out.assign(text.begin(), text.end());
        out.push_back(0);
        return;
    }
    if (value && value->isBlock() && value->pData) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(value->pData);
        out.assign(bytes, bytes + kDataBlockHeaderBytes + value->pData->payloadBytes);
        return;
    }
    if (value && value->isComplex()) {
        DataBlock* block = allocateBlock(kElemComplexScalar, 2);
        if (block) {
            block->doubles()[0] = value->re;
            block->doubles()[1] = value->im;
            const auto* bytes = reinterpret_cast<const uint8_t*>(block);
            out.assign(bytes, bytes + kDataBlockHeaderBytes + block->payloadBytes);
            freeBlock(block);
            return;
        }
    }
    double number = value ? value->re : 0;
    out.resize(8);
    std::memcpy(out.data(), &number, 8);
}

// ---- Server statements

// RpcListen [channel][, text]: this host answers clients on the channel. The
// text has no effect (the server's endpoint is found by its channel).
Error rpcListen(Interpreter& ip, CallArgs& args, MCVal&) {
    uint32_t channel;
    std::string_view text;
    channelAndText(args, channel, text);
    RpcState& st = rpcState(ip);
    if (!st.server)
        st.server = std::make_unique<rpc::Server>(
            [&ip, &st](uint32_t, const AccessRequest& q, AccessReply& a, const std::atomic<bool>& stop) {
                rpc::serveAccess(ip, st.macroActive, q, a, stop);
            });
    rpc::ListenOptions options;
    options.socketFolder = socketFolder(ip);
    options.secret = setting(ip, "RPC", "Secret");
    options.tcpAddress = setting(ip, "RPC", "Address");
    options.tcpPort = settingInt(ip, "Port", kDefaultPort);
    int error;
    {
        VariablesLetGo away(ip);
        error = st.server->listen(channel, options);
    }
    if (error == 0) st.macroActive = true;
    // A listener that cannot start leaves its system error in !Error (the
    // macro can tell that nobody will reach it).
    ip.results().error = error;
    return kOk;
}

// RpcUnlisten [channel]: stops listening on the channel; 0 or -1: on every channel.
Error rpcUnlisten(Interpreter& ip, CallArgs& args, MCVal&) {
    RpcState& st = rpcState(ip);
    if (!st.server) return kOk;
    int32_t channel = args.present(0) ? args.l(0) : 0;
    VariablesLetGo away(ip);
    if (channel == 0 || channel == -1) {
        st.server->stop();
        st.macroActive = false;
    } else {
        st.server->unlisten(static_cast<uint32_t>(channel));
        if (!st.server->listening()) st.macroActive = false;
    }
    return kOk;
}

// RpcWait time-out[, mask]: sets the wake-up mask, makes the wake-up event,
// and waits for it; a line handed over meanwhile is executed before it returns.
Error rpcWait(Interpreter& ip, CallArgs& args, MCVal&) {
    WakeUpEvent& event = ip.wakeUp();
    event.setMask(static_cast<uint32_t>(args.present(1) ? args.l(1) : 0));
    event.create();
    {
        VariablesLetGo away(ip);
        if (!ip.pendingLine().waiting()) event.wait(args.l(0));
    }
    ip.pump(0);
    return kOk;
}

// ---- Client statements

// RpcConnect [channel][, server]: binds to the server ("" this machine).
Error rpcConnect(Interpreter& ip, CallArgs& args, MCVal&) {
    uint32_t channel;
    std::string_view server;
    channelAndText(args, channel, server);
    rpc::ClientOptions options;
    options.socketFolder = socketFolder(ip);
    options.secret = setting(ip, "RPC", "Secret");
    options.tcpPort = settingInt(ip, "Port", kDefaultPort);
    options.callTimeoutMs = settingInt(ip, "CallTimeout", 60000);
    rpcState(ip).client.bind(std::string(server), channel, options);
    return kOk;
}

Error rpcUnconnect(Interpreter& ip, CallArgs&, MCVal&) {
    rpcState(ip).client.unbind();
    return kOk;
}

// RpcSet name, value[, channel]
Error rpcSet(Interpreter& ip, CallArgs& args, MCVal&) {
    AccessRequest q;
    q.name = std::string(args.text(0));
    q.op = 'W';
    bool isText = args.form(1) == kFormString;
    valueImage(isText ? nullptr : args.value(1), isText ? args.slot(1).text : std::string_view{}, isText,
               q.inData);
    q.outSize = 0;
    AccessReply a;
    uint32_t status = callAccess(ip, callChannel(ip, args, 2), q, a);
    noteAccessOutcome(ip, status, a.result);
    return kOk;
}

// RpcGet / RpcGet1: the remote variable into a variable of this macro.
Error getInto(Interpreter& ip, CallArgs& args, int variableIndex, int nameIndex) {
    const ArgSlot& slot = args.slot(variableIndex);
    const VarArg& var = slot.var;
    AccessRequest q;
    q.name = std::string(args.text(nameIndex));
    q.op = 'R';
    enum { Number, Text, Block } kind = Number;
    DataBlock* block = nullptr;
    if (var.pending() < 0 && slot.form == kFormBlock && var.block && *var.block) {
        kind = Block;
        block = *var.block;
        q.outSize = block->payloadBytes + kDataBlockHeaderBytes;
    } else if (var.pending() < 0 && slot.form == kFormString && var.text) {
        kind = Text;
        int64_t room = var.slot ? var.slot.var().textRoom() : static_cast<int64_t>(var.text->size());
        q.outSize = static_cast<int32_t>(std::min<int64_t>(room + 1, rpc::kMaxOutSize));
    } else {
        q.outSize = 8;
    }
    AccessReply a;
    uint32_t status = callAccess(ip, callChannel(ip, args, 2), q, a);
    noteAccessOutcome(ip, status, a.result);
    if (status || a.result < 0) return kOk;
    const std::vector<uint8_t>& data = a.outData;
    switch (kind) {
    case Number:
        if (data.size() >= 8 && var.number) std::memcpy(var.number, data.data(), 8);
        break;
    case Text: {
        const char* text = reinterpret_cast<const char*>(data.data());
        var.text->assign(text, strnlen(text, data.size()));
        break;
    }
    case Block:
        // The server's block over ours, keeping our own handle and capacity.
        if (rpc::validBlockImage(data.data(), data.size()) &&
            static_cast<int64_t>(data.size()) <= (block->capacityBytes & ~1)) {
            uint32_t handle = block->memoryHandle;
            int32_t capacity = block->capacityBytes;
            std::memcpy(block, data.data(), data.size());
            block->memoryHandle = handle;
            block->capacityBytes = capacity;
            block->shapeFlags &= static_cast<uint16_t>(~kShapeTransient);
        } else {
            ip.results().error = 2;
            ip.results().values[0] = static_cast<int32_t>(data.size());
        }
        break;
    }
    return kOk;
}

Error rpcGet(Interpreter& ip, CallArgs& args, MCVal&) { return getInto(ip, args, 1, 0); }
Error rpcGet1(Interpreter& ip, CallArgs& args, MCVal&) { return getInto(ip, args, 0, 1); }

// RpcGetVal(name[, channel]): the remote number (0 when the call fails).
Error rpcGetVal(Interpreter& ip, CallArgs& args, MCVal& result) {
    AccessRequest q;
    q.name = std::string(args.text(0));
    q.op = 'R';
    q.outSize = 8;
    AccessReply a;
    uint32_t status = callAccess(ip, callChannel(ip, args, 1), q, a);
    double value = 0;
    if (!status && a.result == 8 && a.outData.size() >= 8) std::memcpy(&value, a.outData.data(), 8);
    ip.results().error = static_cast<int>(status);
    result.setReal(value);
    return kOk;
}

// RpcInfo text$, name[, channel]: what the server says about a variable.
Error rpcInfo(Interpreter& ip, CallArgs& args, MCVal&) {
    AccessRequest q;
    q.name = std::string(args.text(1));
    q.op = 'I';
    q.outSize = 81;
    AccessReply a;
    uint32_t status = callAccess(ip, callChannel(ip, args, 2), q, a);
    std::string& text = *args.var(0).text;
    if (args.var(0).slot) {
        Variable& v = args.var(0).slot.var();
        if (v.room == kNoRoomSet || v.room < 80) v.room = 80;
    }
    text.clear();
    if (!status && !a.outData.empty()) {
        const char* p = reinterpret_cast<const char*>(a.outData.data());
        text.assign(p, strnlen(p, a.outData.size()));
    }
    ip.results().error = static_cast<int>(status);
    ip.results().values[0] = status ? 0 : a.result;
    return kOk;
}

// RpcExecute line[, time-out[, channel]]: the server's macro runs the line.
Error rpcExecute(Interpreter& ip, CallArgs& args, MCVal&) {
    int32_t timeout = args.present(1) ? args.l(1) : 0;
    if (timeout == 0) timeout = 1000;
    if (timeout < 0) timeout = 0;
    AccessRequest q;
    q.name = std::string(args.text(0));
    q.op = static_cast<int32_t>((static_cast<uint32_t>(timeout) << 8) | 'E');
    q.outSize = 0;
    AccessReply a;
    uint32_t status = callAccess(ip, callChannel(ip, args, 2), q, a);
    CommandResults& r = ip.results();
    r.error = static_cast<int>(status);
    r.values[0] = status ? 0 : a.result;
    if (!status) r.error = a.result;
    return kOk;
}

constexpr CommandRow kRpcRows[] = {
    {cmd::RpcListen, rpcListen},       {cmd::RpcUnlisten, rpcUnlisten}, {cmd::RpcConnect, rpcConnect},
    {cmd::RpcUnconnect, rpcUnconnect}, {cmd::RpcSet, rpcSet},           {cmd::RpcGet, rpcGet},
    {cmd::RpcGet1, rpcGet1},           {cmd::RpcInfo, rpcInfo},         {cmd::RpcExecute, rpcExecute},
    {cmd::RpcWait, rpcWait},           {cmd::RpcGetVal, rpcGetVal},
};

}  // namespace

void registerRpcCommands(Interpreter& ip) { ip.install({"rpc", kRpcRows}); }

}  // namespace tvx::ipc
