// DDE statements and the host's side of the conversation: items are macro
// variables (request, poke, advise links), executes are macro lines. The bus
// itself is in the module libtvxdde.so (ipc/dde/bus), joined with the first
// DDE statement or the first look at !DDEidInst; without a session bus DDE is
// off, as when the DDE library cannot start.
//
// Items besides variables:
//   %MEM address size   the bytes of a memory range (request and poke)
//   %PA                 the 128-byte parameter block (!GetParam[0..31]) as bytes
//   %PT                 poke: a text of up to 64 characters into bytes 0..63 of the block
//   %PW n               poke: a 16-bit value into word n (0..63)
//   %PL n               poke: two 32-bit values ("a b") into !GetParam[n] and [n + 1]
#include "ipc/dde/dde.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "interp/api.h"
#include "ipc/dde/dde_bus.h"
#include "ipc/module.h"
#include "platform/ini.h"
#include "platform/memprobe.h"

namespace tvx::ipc {

using namespace interp;
using namespace dde;

// The bus module, loaded once.
void* busModuleSymbol(const char* name, std::string& reason) {
    static std::string why;
    static void* module = [] {
        std::string error;
        void* opened = openModule(kBusModule, &error);
        if (!opened) why = "the bus module cannot be loaded: " + error;
        return opened;
    }();
    void* symbol = module ? dlsym(module, name) : nullptr;
    reason = module && !symbol ? std::string("the bus module is incomplete") : why;
    return symbol;
}

namespace {

constexpr size_t kMaxItemText = 256;    // a variable's value as an item
constexpr size_t kMaxPokeText = 255;    // what a poke assigns
constexpr size_t kExecuteBuffer = 100;  // an execute's line
constexpr uint64_t kMaxMemoryItem = 1 << 20;
constexpr int kDefaultTimeoutMs = 10000;

struct DdeState : FamilyState {
    const Bus* bus = nullptr;
    void* handle = nullptr;
    bool tried = false;
    uint32_t instance = 0;
    std::string service = "Tolvan", topic = "System";

    void endOfRun(Interpreter&) override {
        // Links are told of the end of the run (every item).
        if (handle && bus->adviseCount(handle) > 0) bus->postAdvise(handle, "");
    }
    ~DdeState() override {
        if (handle) bus->close(handle);
    }
};

const Bus* loadBus(std::string& reason) {
    auto entry = reinterpret_cast<BusEntry>(busModuleSymbol(kBusEntry, reason));
    return entry ? entry() : nullptr;
}

// ---- The host's items

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool evaluateNumber(Interpreter& ip, std::string_view text, double& out) {
    MCVal value;
    if (text.empty() || ip.evaluateStandalone(text, NameLookup::FindOnly, value) || !value.isScalar())
        return false;
    out = value.re;
    return true;
}

// "%MEM address size": blanks, commas and "[" separate the two expressions.
bool memoryRange(Interpreter& ip, std::string_view item, uint64_t& address, uint64_t& size) {
    std::string_view rest = trim(item.substr(4));
    size_t cut = rest.find_first_of(" \t,[");
    if (cut == std::string_view::npos) return false;
    std::string_view first = rest.substr(0, cut);
    std::string_view second = trim(rest.substr(cut + 1));
    while (!second.empty() && (second.front() == ',' || second.front() == '['))
        second = trim(second.substr(1));
    if (!second.empty() && second.back() == ']') second.remove_suffix(1);
    double a, n;
    if (!evaluateNumber(ip, first, a) || !evaluateNumber(ip, second, n)) return false;
    if (!(a > 0) || !(n > 0) || a >= 18446744073709551616.0 || n > static_cast<double>(kMaxMemoryItem))
        return false;
    address = static_cast<uint64_t>(a);
    size = static_cast<uint64_t>(n);
    return true;
}

std::string valueText(Interpreter& ip, const Designator& d, bool& found) {
    found = true;
    MCVal value;
    switch (d.form) {
    case Designator::kVariable: {
        const Variable& var = d.slot.var();
        switch (var.valueKind()) {
        case kKindString: return var.text;
        case kKindBlock:
            if (!var.block) return {};
            if (var.block->isText())
                return std::string(reinterpret_cast<const char*>(var.block->bytes()),
                                   static_cast<size_t>(var.block->payloadBytes));
            value.setBorrowedBlock(var.block, true);
            {
                std::string shown = displayValue(ip, value);
                return shown.substr(0, shown.find('\n'));
            }
        default: return Interpreter::formatNumber(var.number);
        }
    }
    case Designator::kElement: return Interpreter::formatNumber(readElement(d.slot.var().block, d.position));
    case Designator::kCharacter:
    case Designator::kSubstring: {
        const Variable& var = d.slot.var();
        if (var.valueKind() != kKindString) break;
        auto from = static_cast<size_t>(std::max<int64_t>(0, d.position));
        if (from >= var.text.size()) return {};
        size_t count = d.form == Designator::kCharacter
                           ? 1
                           : static_cast<size_t>(std::max<int64_t>(0, d.end - d.position));
        return var.text.substr(from, count);
    }
    case Designator::kStatus: {
        StatusValue status;
        if (ip.readStatus(d.statusCode, d.statusIndex, status)) break;
        return status.isString ? status.text : Interpreter::formatNumber(status.number);
    }
    default: break;
    }
    found = false;
    return {};
}

bool serveRequest(void* context, const std::string& item, std::string& data) {
    Interpreter& ip = *static_cast<Interpreter*>(context);
    VariablesHeld hold(ip);
    if (startsWithNoCase(item, "%MEM")) {
        uint64_t address, size;
        if (!memoryRange(ip, item, address, size)) return false;
        data.resize(size);
        return platform::safeRead(data.data(), reinterpret_cast<const void*>(address), size);
    }
    if (startsWithNoCase(item, "%PA")) {
        data.assign(reinterpret_cast<const char*>(ip.results().parameters.data()), 128);
        return true;
    }
    if (!ip.hasMacro()) return false;
    Designator d;
    if (ip.findName(item, d) || d.form == Designator::kNothing) return false;
    bool found;
    data = valueText(ip, d, found);
    if (data.size() > kMaxItemText) data.resize(kMaxItemText);
    return found;
}

bool pokeParameterBlock(Interpreter& ip, const std::string& item, const std::string& text) {
    auto* block = reinterpret_cast<unsigned char*>(ip.results().parameters.data());
    std::string_view rest = trim(std::string_view(item).substr(3));
    if (startsWithNoCase(item, "%PT")) {
        size_t n = std::min<size_t>(std::strlen(text.c_str()), 63);
        std::memset(block, 0, 64);
        std::memcpy(block, text.data(), n);
        return true;
    }
    double index;
    if (!evaluateNumber(ip, rest, index)) return false;
    char* end = nullptr;
    if (startsWithNoCase(item, "%PW")) {
        if (index < 0 || index > 63) return false;
        long value = std::strtol(text.c_str(), &end, 0);
        if (end == text.c_str() || value < -32768 || value > 65535) return false;
        auto word = static_cast<uint16_t>(value);
        std::memcpy(block + static_cast<size_t>(index) * 2, &word, 2);
        return true;
    }
    if (startsWithNoCase(item, "%PL")) {
        if (index < 0 || index > 30) return false;
        long long a = std::strtoll(text.c_str(), &end, 0);
        if (end == text.c_str()) return false;
        const char* second = end;
        long long b = std::strtoll(second, &end, 0);
        if (end == second) return false;
        auto& p = ip.results().parameters;
        p[static_cast<size_t>(index)] = static_cast<int32_t>(a);
        p[static_cast<size_t>(index) + 1] = static_cast<int32_t>(b);
        return true;
    }
    return false;
}

bool servePoke(void* context, const std::string& item, const std::string& data) {
    Interpreter& ip = *static_cast<Interpreter*>(context);
    VariablesHeld hold(ip);
    if (startsWithNoCase(item, "%MEM")) {
        uint64_t address, size;
        if (!memoryRange(ip, item, address, size)) return false;
        size = std::min<uint64_t>(size, data.size());
        return platform::safeWrite(reinterpret_cast<void*>(address), data.data(), size);
    }
    std::string text = data.substr(0, std::min(std::strlen(data.c_str()), kMaxPokeText));
    if (item.size() > 1 && item[0] == '%') return pokeParameterBlock(ip, item, text);
    if (!ip.hasMacro()) return false;
    Designator d;
    if (ip.findName(item, d)) return false;
    switch (d.form) {
    case Designator::kVariable: {
        Variable& var = d.slot.var();
        switch (var.valueKind()) {
        case kKindString: var.text = text; return true;
        case kKindBlock: return assignToVector(var.block, nullptr, &text, true) == kOk;
        case kKindNumber:
        case kKindNone: {
            double value;
            if (!evaluateNumber(ip, text, value)) return false;
            var.number = value;
            var.setValueKind(kKindNumber);
            return true;
        }
        default: return false;
        }
    }
    case Designator::kElement: {
        double value;
        if (!evaluateNumber(ip, text, value)) return false;
        storeElement(d.slot.var().block, d.position, value);
        return true;
    }
    default: return false;
    }
}

bool serveExecute(void* context, const std::string& command) {
    Interpreter& ip = *static_cast<Interpreter*>(context);
    std::string line = command.substr(0, std::min(std::strlen(command.c_str()), kExecuteBuffer - 1));
    if (line.empty()) return true;  // a client that only tests the conversation
    VariablesHeld hold(ip);
    return ip.executeFromOutside(line) == kOk;
}

// The bus, joined on first use; null while DDE is off.
DdeState* ddeOn(Interpreter& ip) {
    DdeState& st = ip.state<DdeState>();
    if (!st.tried) {
        st.tried = true;
        std::string reason;
        st.bus = loadBus(reason);
        if (st.bus) {
            ServerHooks hooks;
            hooks.context = &ip;
            hooks.request = serveRequest;
            hooks.poke = servePoke;
            hooks.execute = serveExecute;
            st.handle = st.bus->open(hooks, reason);
        }
        if (st.handle) {
            st.instance = static_cast<uint32_t>(::getpid());
            st.bus->setNames(st.handle, st.service, st.topic);
        } else {
            std::fprintf(stderr, "tolvex: DDE is off: %s\n", reason.c_str());
        }
    }
    return st.handle ? &st : nullptr;
}

int timeoutOf(CallArgs& args, int index) {
    int32_t t = args.present(index) ? args.l(index) : 0;
    return t <= 0 ? kDefaultTimeoutMs : t;
}

// ---- Statements

// DdeSetName / DdeListen service[, topic]: the host's names (empty: "Tolvan", "System").
Error ddeSetName(Interpreter& ip, CallArgs& args, MCVal&) {
    DdeState* st = ddeOn(ip);
    if (!st) {
        ip.results().error = kDmlNotInitialized;
        return kOk;
    }
    std::string_view service = args.text(0), topic = args.present(1) ? args.text(1) : std::string_view{};
    st->service = service.empty() ? "Tolvan" : std::string(service);
    st->topic = topic.empty() ? "System" : std::string(topic);
    // The bus name may be held by another host: the macro can tell from !Error.
    ip.results().error = st->bus->setNames(st->handle, st->service, st->topic) ? kDmlOk : kDmlNotProcessed;
    return kOk;
}

// DdeExecute service, topic, command[, timeout]
Error ddeExecute(Interpreter& ip, CallArgs& args, MCVal&) {
    DdeState* st = ddeOn(ip);
    if (!st) {
        ip.results().error = kDmlNotInitialized;
        return kOk;
    }
    ip.results().error = st->bus->execute(st->handle, std::string(args.text(0)), std::string(args.text(1)),
                                          std::string(args.text(2)), timeoutOf(args, 3));
    return kOk;
}

// DdePoke service, topic, item, data[, timeout]
Error ddePoke(Interpreter& ip, CallArgs& args, MCVal&) {
    DdeState* st = ddeOn(ip);
    if (!st) {
        ip.results().error = kDmlNotInitialized;
        return kOk;
    }
    ip.results().error =
        st->bus->poke(st->handle, std::string(args.text(0)), std::string(args.text(1)),
                      std::string(args.text(2)), std::string(args.text(3)), timeoutOf(args, 4));
    return kOk;
}

// DdeRequest service, topic, item, destination[, size[, timeout]]: at most
// size bytes of the answer (0: the destination vector's room) into memory.
Error ddeRequest(Interpreter& ip, CallArgs& args, MCVal&) {
    DdeState* st = ddeOn(ip);
    if (!st) {
        ip.results().error = kDmlNotInitialized;
        return kOk;
    }
    uint64_t address = args.address(3);
    int64_t size = args.present(4) ? args.l(4) : 0;
    const MCVal* destination = args.slot(3).value;
    if (size <= 0 && destination && destination->isBlock() && destination->pData)
        size = destination->pData->payloadBytes;
    if (address == 0 || size <= 0 ||
        !platform::isWritable(reinterpret_cast<void*>(address), static_cast<size_t>(size))) {
        ip.results().error = -1;
        return kOk;
    }
    std::string data;
    int code = st->bus->request(st->handle, std::string(args.text(0)), std::string(args.text(1)),
                                std::string(args.text(2)), data, timeoutOf(args, 5));
    if (code == kDmlOk) {
        // The text with its NUL, as far as there is room.
        data.push_back('\0');
        size_t n = std::min<size_t>(data.size(), static_cast<size_t>(size));
        if (!platform::safeWrite(reinterpret_cast<void*>(address), data.data(), n)) code = -1;
    }
    ip.results().error = code;
    return kOk;
}

// !DDEidInst: the host's DDE instance (0 while DDE is off).
Error ddeIdInst(Interpreter& ip, int, int, StatusValue& value) {
    DdeState* st = ddeOn(ip);
    value.number = st ? st->instance : 0;
    return kOk;
}

constexpr CommandRow kDdeRows[] = {
    {cmd::DdeSetName, ddeSetName}, {cmd::DdeListen, ddeSetName},  {cmd::DdeExecute, ddeExecute},
    {cmd::DdePoke, ddePoke},       {cmd::DdeRequest, ddeRequest},
};
constexpr StatusRow kDdeStatusRows[] = {
    {statvar::DDEidInst, ddeIdInst},
};

}  // namespace

void registerDdeCommands(Interpreter& ip) { ip.install({"dde", kDdeRows, kDdeStatusRows}); }

}  // namespace tvx::ipc
