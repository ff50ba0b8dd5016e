// ComSend: sends and receives on serial ports.
#include "ipc/system/serial.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ipc/system/system.h"
#include "ipc/system/winerror.h"
#include "platform/clock.h"
#include "platform/memprobe.h"

namespace tvx::ipc {

namespace serial {

std::string unescape(std::string_view text) {
    auto hex = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        char e = text[++i];
        switch (e) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'x':
            if (i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
                out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
                i += 2;
            } else {
                out += 'x';
            }
            break;
        default: out += e;
        }
    }
    return out;
}

void SerialState::close(Slot& slot) {
    slot.line.reset();
    slot.port = 0;
    slot.device.clear();
    slot.openCount = 0;
}

}  // namespace serial

namespace {

using interp::CallArgs;
using interp::Error;
using interp::Interpreter;
using interp::kOk;
using interp::MCVal;
using serial::SerialState;

// The flags word of ComSend.
enum ComFlags : uint32_t {
    kCtsHandshake = 0x1,
    kDsrHandshake = 0x2,
    kXonXoff = 0x4,
    kKeepOpen = 0x10,
    kResetOpenCount = 0x20,
    kSecondSlot = 0x100,
    kTwoStopBits = 0x200,
    kQuiet = 0x800,
};

std::string deviceFor(Interpreter& ip, int port) {
    std::string device = settingFile(ip, "Serial", "COM" + std::to_string(port));
    return device.empty() ? "/dev/ttyS" + std::to_string(port - 1) : device;
}

serial::LineSettings settingsFor(uint32_t flags, int32_t baud) {
    serial::LineSettings s;
    s.baud = baud > 0 ? static_cast<uint32_t>(baud) : 9600;
    s.ctsFlow = flags & kCtsHandshake;
    s.dsrFlow = flags & kDsrHandshake;
    s.xonXoff = flags & kXonXoff;
    s.twoStopBits = flags & kTwoStopBits;
    s.parity = static_cast<int>((flags >> 16) & 7);
    if (s.parity > serial::kParitySpace) s.parity = serial::kParityNone;
    return s;
}

// Opens the slot's port (after the adapter went away, again by its name).
int openPort(SerialState& state, SerialState::Slot& slot, const std::string& device, int port,
             const serial::LineSettings& settings) {
    state.close(slot);
    int error = 0;
    std::unique_ptr<serial::Line> line = state.opener(device, error);
    if (!line) return error ? error : ENODEV;
    line->purge();
    if (int err = line->configure(settings)) return err;
    line->escape(serial::kSetDtr);
    slot.line = std::move(line);
    slot.port = port;
    slot.device = device;
    slot.openCount = 1;
    return 0;
}

void communicationError(Interpreter& ip, bool quiet, const char* format, unsigned value) {
    if (quiet) return;
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    ip.messageBox(text, "", 0x30);
}

// ComSend(port, data; length, flags, baud, receive time, end character).
// Returns 0 after a send, the count of bytes received (they go to !StrResult),
// 0x80001001 when the port cannot be opened, 0x80001003 when a send failed,
// -1 for port 0 (the slot's open port) when none is open.
Error comSend(Interpreter& ip, CallArgs& args, MCVal& result) {
    SerialState& state = ip.state<SerialState>();
    int32_t port = args.l(0);
    int32_t length = args.present(2) ? args.l(2) : 0;
    uint32_t flags = args.present(3) ? static_cast<uint32_t>(args.l(3)) : 0;
    int32_t baud = args.present(4) ? args.l(4) : 0;
    int32_t receiveMs = args.present(5) ? args.l(5) : 0;
    int32_t end = args.present(6) ? args.l(6) : 0;
    bool quiet = flags & kQuiet;
    SerialState::Slot& slot = state.slots[(flags & kSecondSlot) ? 1 : 0];

    // 1. The data: a text of fewer than 256 characters has its escapes read.
    std::string data;
    auto* address = reinterpret_cast<const char*>(static_cast<uintptr_t>(args.address(1)));
    if (length == 0 && address) {
        long n = platform::readableStringLength(address, 256);
        if (n < 0) return interp::kBadAddress;
        if (n < 256) data = serial::unescape(std::string_view(address, static_cast<size_t>(n)));
    } else if (length > 0) {
        if (!platform::isReadable(address, static_cast<size_t>(length))) return interp::kBadAddress;
        data.assign(address, static_cast<size_t>(length));
    }

    // 2. The port: an open one is used as it is (its settings stay); one whose
    // device went away is opened again.
    serial::LineSettings settings = settingsFor(flags, baud);
    if (port <= 0) {
        if (!slot.line) {
            result.setReal(-1);
            return kOk;
        }
        port = slot.port;
    }
    std::string device = deviceFor(ip, port);
    bool usable = slot.line && slot.port == port && !slot.line->hungUp();
    int openError = 0;
    if (usable) {
        ++slot.openCount;
    } else {
        // A port whose device went away is found again by the name it was opened with.
        std::string name = slot.line && slot.port == port ? slot.device : device;
        openError = openPort(state, slot, name, port, settings);
    }
    if (openError) {
        state.close(slot);
        double now = platform::monotonicSeconds();
        if (!quiet && now - state.lastUnavailableBox >= 3) {
            state.lastUnavailableBox = now;
            ip.messageBox("Serial connector is not available!", "", 0x30);
        }
        result.setReal(serial::kPortNotAvailable);
        return kOk;
    }
    if (flags & kResetOpenCount) slot.openCount = 1;
    serial::Line& line = *slot.line;

    // 3. The escape function of bits 12..15.
    int escapeCode = static_cast<int>((flags >> 12) & 0xF);
    if (escapeCode >= 1 && escapeCode <= 9) line.escape(escapeCode);

    // 4. Send: a failed send is tried once more (on a port opened again when
    // its device had gone away).
    uint32_t status = 0;
    if (!data.empty()) {
        int timeout = 5000 + 2 * static_cast<int>(std::min<size_t>(data.size(), 100000000));
        int err = slot.line->write(data.data(), data.size(), timeout);
        if (err && slot.line->hungUp()) {
            std::string again = slot.device;
            err = openPort(state, slot, again, port, settings);
            if (!err) err = slot.line->write(data.data(), data.size(), timeout);
        } else if (err) {
            err = slot.line->write(data.data(), data.size(), timeout);
        }
        if (err) {
            communicationError(ip, quiet, "<CE-%u>", static_cast<unsigned>(winErrorFromErrno(err)));
            status = serial::kSendFailed;
        }
    }

    // 5. Receive until the end character, the buffer's limit, or a pause of
    // the receive time.
    if (slot.line && status == 0 && receiveMs > 0) {
        size_t limit = 256;
        if (end < 0 && -static_cast<int64_t>(end) < 256)
            limit = static_cast<size_t>(1 - static_cast<int64_t>(end));
        std::string received;
        unsigned char byte = 0;
        while (received.size() < limit) {
            int err = slot.line->readByte(byte, receiveMs);
            if (err == ETIMEDOUT) break;
            if (err) {
                communicationError(ip, quiet, "<CE-%u>", static_cast<unsigned>(winErrorFromErrno(err)));
                break;
            }
            received += static_cast<char>(byte);
            if (end >= 0 && byte == static_cast<unsigned char>(end)) break;
        }
        if (unsigned errors = slot.line->takeErrors()) communicationError(ip, quiet, "<CE-%x>", errors);
        status = static_cast<uint32_t>(received.size());
        ip.results().text = std::move(received);
    } else if (slot.line && escapeCode >= 1 && escapeCode <= 9) {
        // 6. With an escape function and nothing received: the modem lines.
        status = (status & ~0xF0u) | (slot.line->modemStatus() & 0xF0u);
    }

    // 7. Closed unless kept open for the next call.
    if (!(flags & kKeepOpen)) state.close(slot);
    result.setReal(static_cast<double>(status));
    return kOk;
}

constexpr interp::CommandRow kSerialRows[] = {
    {interp::cmd::ComSend, comSend},
};

}  // namespace

void registerSerialCommands(Interpreter& ip) { ip.install({"system/serial", kSerialRows}); }

}  // namespace tvx::ipc
