// Procedure 0 on the server: variable access and execute requests.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "interp/api.h"
#include "ipc/rpc/rpc.h"

namespace tvx::ipc::rpc {

using namespace interp;

namespace {

constexpr int32_t kNotFound = -1;
constexpr int32_t kStillPending = -2;
constexpr int32_t kTextTooLong = -3;
constexpr int32_t kNoMacro = -4;
constexpr size_t kMaxExecuteText = 255;

void putNumber(std::vector<uint8_t>& out, double value) {
    out.resize(8);
    std::memcpy(out.data(), &value, 8);
}

int32_t readText(std::string_view text, int32_t outSize, std::vector<uint8_t>& out) {
    auto length = static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX - 1));
    if (outSize < length + 1) return kTooSmall | length;
    out.assign(text.begin(), text.begin() + length);
    out.push_back(0);
    return length;
}

int32_t readNumber(double value, int32_t outSize, std::vector<uint8_t>& out) {
    if (outSize < 8) return kTooSmall | 8;
    putNumber(out, value);
    return 8;
}

// The variable a peer names: "name" or "name[index]" (the closing bracket
// may be left out). The lookup never goes through the
// evaluator, which the interpreter thread may be in the middle of: a plain
// name is found in the running macro's scope, an index must be a number.
Error designate(Interpreter& ip, std::string_view name, Designator& d) {
    d = Designator{};
    std::string_view base = name, index;
    size_t open = name.find('[');
    if (open != std::string_view::npos) {
        base = name.substr(0, open);
        index = name.substr(open + 1);
        if (!index.empty() && index.back() == ']') index.remove_suffix(1);
    } else if (!name.empty() && name.back() == ']') {
        base.remove_suffix(1);
    }
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    if (base.empty()) return kBadSymbolName;
    int64_t position = 0;
    if (open != std::string_view::npos) {
        std::string digits(index);
        char* end = nullptr;
        long long value = std::strtoll(digits.c_str(), &end, 10);
        while (end && *end == ' ') ++end;
        if (digits.empty() || !end || *end != '\0') return kBadSymbolName;
        position = value;
    }
    // Status variables are not the macro's variables, and some of them ask
    // the window system, which only the interpreter thread may do.
    if (base[0] == '!') return kBadSymbolName;
    VarSlot slot = ip.symbols().followReferences(ip.symbols().find(base, NameTable::hash(base)));
    if (!slot) return kBadSymbolName;
    d.slot = slot;
    if (open == std::string_view::npos) {
        d.form = Designator::kVariable;
        return kOk;
    }
    const Variable& var = slot.var();
    position -= ip.matrix().base;
    if (var.valueKind() != kKindBlock || !var.block || position < 0 || position >= var.block->count)
        return kBadSymbolName;
    d.form = Designator::kElement;
    d.position = position;
    return kOk;
}

int32_t readVariable(const Designator& d, int32_t outSize, std::vector<uint8_t>& out) {
    switch (d.form) {
    case Designator::kVariable: {
        const Variable& var = d.slot.var();
        switch (var.valueKind()) {
        case kKindString: return readText(var.text, outSize, out);
        case kKindBlock: {
            const DataBlock* block = var.block;
            if (!block) return readNumber(0, outSize, out);
            int64_t size = int64_t{block->payloadBytes} + kDataBlockHeaderBytes;
            if (outSize < size) return kTooSmall | static_cast<int32_t>(size);
            const auto* bytes = reinterpret_cast<const uint8_t*>(block);
            out.assign(bytes, bytes + size);
            return block->payloadBytes;
        }
        default: return readNumber(var.number, outSize, out);
        }
    }
    case Designator::kElement: return readNumber(readElement(d.slot.var().block, d.position), outSize, out);
    default: return kNotFound;
    }
}

int32_t writeVariable(const Designator& d, const std::vector<uint8_t>& in) {
    const auto inSize = static_cast<int32_t>(in.size());
    switch (d.form) {
    case Designator::kVariable: {
        Variable& var = d.slot.var();
        switch (var.valueKind()) {
        case kKindString: {
            if (var.textRoom() + 1 < inSize) return kTooSmall | inSize;
            const char* text = reinterpret_cast<const char*>(in.data());
            var.text.assign(text, strnlen(text, in.size()));
            return static_cast<int32_t>(var.text.size());
        }
        case kKindBlock: {
            DataBlock* block = var.block;
            if (!block) return kNotFound;
            if (!validBlockImage(in.data(), in.size())) return kTooSmall | 0;
            if ((block->capacityBytes & ~1) < inSize) return kTooSmall | inSize;
            uint32_t handle = block->memoryHandle;
            int32_t capacity = block->capacityBytes;
            std::memcpy(block, in.data(), in.size());
            block->memoryHandle = handle;
            block->capacityBytes = capacity;
            block->shapeFlags &= static_cast<uint16_t>(~kShapeTransient);
            return block->payloadBytes;
        }
        case kKindNumber:
        case kKindNone: {
            if (inSize < 8) return kTooSmall | 8;
            std::memcpy(&var.number, in.data(), 8);
            var.setValueKind(kKindNumber);
            return 8;
        }
        default: return kNotFound;
        }
    }
    case Designator::kElement: {
        if (inSize < 8) return kTooSmall | 8;
        double value;
        std::memcpy(&value, in.data(), 8);
        storeElement(d.slot.var().block, d.position, value);
        return 8;
    }
    default: return kNotFound;
    }
}

// What 'I' tells about a variable: its type code (as VarType gives it) as the
// result, and its value as the Watch Window shows it (first line) as text.
int32_t describeVariable(Interpreter& ip, const Designator& d, int32_t outSize, std::vector<uint8_t>& out) {
    MCVal value;
    std::string text;
    int32_t code = 1;
    switch (d.form) {
    case Designator::kVariable: {
        const Variable& var = d.slot.var();
        switch (var.valueKind()) {
        case kKindString:
            text = displayString(var.text);
            code = 2;
            break;
        case kKindBlock:
            if (var.block) {
                value.setBorrowedBlock(var.block, true);
                text = displayValue(ip, value);
                const DataBlock* b = var.block;
                int arrayBonus = b->isMatrix() ? 0 : 32;
                code = b->elementType == kElemRealMatrix      ? 7 + arrayBonus
                       : b->elementType == kElemComplexMatrix ? 23 + arrayBonus
                       : b->elementType == kElemComplexScalar ? 17
                                                              : b->elementType * 256 + 3;
            }
            break;
        default:
            value.setReal(var.number);
            text = displayValue(ip, value);
            break;
        }
        break;
    }
    case Designator::kElement:
        value.setReal(readElement(d.slot.var().block, d.position));
        text = displayValue(ip, value);
        break;
    default: return kNotFound;
    }
    text = text.substr(0, text.find('\n'));
    if (outSize > 0) {
        text.resize(std::min<size_t>(text.size(), static_cast<size_t>(outSize - 1)));
        out.assign(text.begin(), text.end());
        out.push_back(0);
    }
    return code;
}

int32_t executeLine(Interpreter& ip, const std::atomic<bool>& macroActive, const std::string& text,
                    int timeoutMs, const std::atomic<bool>& stop) {
    using Clock = std::chrono::steady_clock;
    if (!macroActive) return kNoMacro;
    if (text.size() > kMaxExecuteText) return kTextTooLong;
    const auto start = Clock::now();
    auto elapsedMs = [&] { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); };
    PendingLine& slot = ip.pendingLine();
    uint64_t ticket;
    while (!(ticket = slot.offer(text))) {
        if (elapsedMs() >= timeoutMs || stop) return kStillPending;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ip.wakeUp().signal();
    // Polling: yield without sleeping for the first 20 ms (a quick line comes
    // back at once), then sleep 10 ms between looks.
    for (unsigned polls = 0;; ++polls) {
        int result = 0;
        PendingLine::State state = slot.poll(ticket, result);
        if (state == PendingLine::State::Done) return result;
        if (state == PendingLine::State::Gone) return kNotFound;
        double elapsed = elapsedMs();
        if (elapsed >= timeoutMs || stop) {
            slot.withdraw(ticket);
            return kNotFound;
        }
        if ((elapsed < 20 && polls < 10001) || polls < 101)
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

bool validBlockImage(const uint8_t* bytes, size_t size) {
    if (size < static_cast<size_t>(kDataBlockHeaderBytes)) return false;
    DataBlock header;
    std::memcpy(&header, bytes, sizeof header);
    int element = elementSize(header.elementType);
    if (element <= 0 || header.count < 0 || header.payloadBytes < 0 || header.xSize < 0 || header.ySize < 0)
        return false;
    if (int64_t{header.count} * element != header.payloadBytes) return false;
    if (size != static_cast<size_t>(header.payloadBytes) + kDataBlockHeaderBytes) return false;
    return int64_t{header.xSize} * header.ySize <= header.count;
}

void serveAccess(Interpreter& ip, const std::atomic<bool>& macroActive, const AccessRequest& q,
                 AccessReply& a, const std::atomic<bool>& stop) {
    const int op = q.op & 0xFF;
    a.outData.clear();
    if (op == 'E') {
        a.result = executeLine(ip, macroActive, q.name, (q.op >> 8) & 0xFFFF, stop);
        return;
    }
    if (op != 'R' && op != 'W' && op != 'I') {
        static const uint8_t kUnknown[6] = {'Z', 'Y', 'X', 0, 0, 0};
        a.outData.assign(kUnknown, kUnknown + std::min(q.outSize, 6));
        a.result = 7;
        return;
    }
    {
        std::lock_guard<std::recursive_mutex> lock(ip.variableAccess());
        if (!macroActive || !ip.hasMacro()) {
            a.result = kNoMacro;
            return;
        }
        Designator d;
        if (designate(ip, q.name, d) || d.form == Designator::kNothing) {
            a.result = kNotFound;
        } else if (op == 'R') {
            a.result = readVariable(d, q.outSize, a.outData);
        } else if (op == 'W') {
            a.result = writeVariable(d, q.inData);
        } else {
            a.result = describeVariable(ip, d, q.outSize, a.outData);
        }
    }
    if (ip.wakeUp().mask() & 1) ip.wakeUp().signal();
}

}  // namespace tvx::ipc::rpc
