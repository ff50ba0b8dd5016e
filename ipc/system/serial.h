// Serial ports for ComSend: a port is a Line, opened by the state's opener
// (termios on a device; tests put a line of their own behind it, because a
// pseudo-terminal has no parity, no modem lines and blocks a write after XOFF).
//
// COMn names a device through section Serial of the settings (COM3=/dev/ttyUSB0,
// or a stable name such as /dev/serial/by-id/usb-...); without an entry it is
// /dev/ttyS<n-1>. A port kept open across calls whose device went away (an
// adapter unplugged and plugged in again) is opened again by its name.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "interp/api.h"

namespace tvx::ipc::serial {

enum Parity : int { kParityNone = 0, kParityOdd = 1, kParityEven = 2, kParityMark = 3, kParitySpace = 4 };

struct LineSettings {
    uint32_t baud = 9600;
    int parity = kParityNone;
    bool twoStopBits = false;
    bool ctsFlow = false;  // CTS output handshake with RTS handshake (else RTS on)
    bool dsrFlow = false;  // DSR output handshake with DTR handshake (else DTR on)
    bool xonXoff = false;  // XON 17 / XOFF 19 in both directions
    bool operator==(const LineSettings&) const = default;
};

// EscapeCommFunction codes.
enum EscapeCode : int {
    kSetXoff = 1,
    kSetXon = 2,
    kSetRts = 3,
    kClrRts = 4,
    kSetDtr = 5,
    kClrDtr = 6,
    kResetDev = 7,
    kSetBreak = 8,
    kClrBreak = 9,
};

// GetCommModemStatus bits and ClearCommError flags.
constexpr unsigned kCtsOn = 0x10, kDsrOn = 0x20, kRingOn = 0x40, kRlsdOn = 0x80;
constexpr unsigned kCeRxOver = 0x1, kCeOverrun = 0x2, kCeRxParity = 0x4, kCeFrame = 0x8, kCeBreak = 0x10;

// An open port. Functions return 0 or an errno value.
class Line {
public:
    virtual ~Line() = default;
    virtual int configure(const LineSettings& settings) = 0;
    // Sends all bytes and waits until they have left, within timeoutMs
    // (ETIMEDOUT when the line held them back: XOFF, CTS or DSR off).
    virtual int write(const void* data, size_t size, int timeoutMs) = 0;
    // One received byte within timeoutMs (ETIMEDOUT when none came).
    virtual int readByte(unsigned char& byte, int timeoutMs) = 0;
    virtual int escape(int code) = 0;
    virtual unsigned modemStatus() = 0;
    // The error flags (kCe...) since the last call.
    virtual unsigned takeErrors() = 0;
    // Drops what waits in both directions.
    virtual void purge() = 0;
    // True when the device went away (hung up, unplugged).
    virtual bool hungUp() = 0;
};

using Opener = std::function<std::unique_ptr<Line>(const std::string& device, int& error)>;

// A device opened with termios, exclusively (TIOCEXCL and an flock lock, so
// two programs never interleave their bytes); nullptr with errno's value in
// error when it cannot be opened (EBUSY when another program has it).
std::unique_ptr<Line> openDevice(const std::string& device, int& error);

// Sets any baud rate, also one termios has no constant for. 0 or errno.
int setBaudRate(int fd, uint32_t baud);

// ComSend's text escapes: \n, \r, \t, \x and two hex digits; a backslash
// before any other character gives that character.
std::string unescape(std::string_view text);

// The port slots of one interpreter.
struct SerialState : interp::FamilyState {
    struct Slot {
        std::unique_ptr<Line> line;
        int port = 0;
        std::string device;
        int openCount = 0;
    };
    Slot slots[2];
    Opener opener = openDevice;
    double lastUnavailableBox = -10;

    void close(Slot& slot);
    void endOfRun(interp::Interpreter&) override {
        for (Slot& slot : slots) close(slot);
    }
};

// ComSend's status codes.
constexpr uint32_t kPortNotAvailable = 0x80001001;
constexpr uint32_t kSendFailed = 0x80001003;

}  // namespace tvx::ipc::serial
