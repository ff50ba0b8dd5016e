// A serial port on a termios device.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <linux/serial.h>
#include <cerrno>

#include "ipc/system/serial.h"
#include "platform/clock.h"

namespace tvx::ipc::serial {

namespace {

int msLeft(double deadline) {
    double left = (deadline - platform::monotonicSeconds()) * 1000;
    return left <= 0 ? 0 : left > 1e9 ? 1000000000 : static_cast<int>(left) + 1;
}

class DeviceLine : public Line {
public:
    explicit DeviceLine(int fd) : fd_(fd) { readCounters(counters_); }
    ~DeviceLine() override {
        // DTR off, unread input dropped, then the port is free again. Output
        // that has left the port is not flushed (a peer may not have read it
        // yet); output the line still holds back (XOFF, CTS) is dropped, or
        // closing would wait for it.
        modemLine(TIOCM_DTR, false);
        int queued = 0;
        bool stuck = ::ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0;
        ::tcflush(fd_, stuck ? TCIOFLUSH : TCIFLUSH);
        ::flock(fd_, LOCK_UN);
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }

    int configure(const LineSettings& s) override {
        termios tio{};
        if (::tcgetattr(fd_, &tio) != 0) return errno;
        ::cfmakeraw(&tio);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL);
        tio.c_cflag |= CS8 | CLOCAL | CREAD;
        if (s.parity != kParityNone) {
            tio.c_cflag |= PARENB;
            if (s.parity == kParityOdd || s.parity == kParityMark) tio.c_cflag |= PARODD;
            if (s.parity == kParityMark || s.parity == kParitySpace) tio.c_cflag |= CMSPAR;
            tio.c_iflag |= INPCK;
        }
        if (s.twoStopBits) tio.c_cflag |= CSTOPB;
        if (s.ctsFlow) tio.c_cflag |= CRTSCTS;
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        if (s.xonXoff) {
            tio.c_iflag |= IXON | IXOFF;
            tio.c_cc[VSTART] = 17;
            tio.c_cc[VSTOP] = 19;
        }
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        speed_t speed = standardSpeed(s.baud);
        if (speed != B0) ::cfsetspeed(&tio, speed);
        if (::tcsetattr(fd_, TCSANOW, &tio) != 0) return errno;
        if (speed == B0) {
            if (int err = setBaudRate(fd_, s.baud)) return err;
        }
        dsrFlow_ = s.dsrFlow;
        // Without its handshake RTS is on; DTR is on in any case (the port
        // has no DTR handshake to give it to).
        if (!s.ctsFlow) modemLine(TIOCM_RTS, true);
        modemLine(TIOCM_DTR, true);
        return 0;
    }

    int write(const void* data, size_t size, int timeoutMs) override {
        double deadline = platform::monotonicSeconds() + timeoutMs / 1000.0;
        auto* p = static_cast<const unsigned char*>(data);
        size_t done = 0;
        while (done < size) {
            // DSR output handshake: bytes go only while DSR is on.
            if (dsrFlow_ && !(modemStatus() & kDsrOn)) {
                if (msLeft(deadline) == 0) return ETIMEDOUT;
                platform::sleepMs(1);
                continue;
            }
            ssize_t n = ::write(fd_, p + done, size - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) return errno;
            int left = msLeft(deadline);
            if (left == 0) return ETIMEDOUT;
            pollfd pfd{fd_, POLLOUT, 0};
            ::poll(&pfd, 1, left);
            if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) return EIO;
        }
        // The bytes have left when the output queue is empty (a line held by
        // XOFF or CTS keeps them: that is a time-out, never a hang).
        while (true) {
            int queued = 0;
            if (::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) return 0;
            if (msLeft(deadline) == 0) return ETIMEDOUT;
            platform::sleepMs(1);
        }
    }

    int readByte(unsigned char& byte, int timeoutMs) override {
        double deadline = platform::monotonicSeconds() + timeoutMs / 1000.0;
        while (true) {
            ssize_t n = ::read(fd_, &byte, 1);
            if (n == 1) return 0;
            if (n < 0 && errno != EAGAIN && errno != EINTR) return errno;
            int left = msLeft(deadline);
            if (left == 0) return ETIMEDOUT;
            pollfd pfd{fd_, POLLIN, 0};
            if (::poll(&pfd, 1, left) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) &&
                !(pfd.revents & POLLIN))
                return EIO;
        }
    }

    int escape(int code) override {
        switch (code) {
        case kSetXoff: return ::tcflow(fd_, TCOOFF) == 0 ? 0 : errno;
        case kSetXon: return ::tcflow(fd_, TCOON) == 0 ? 0 : errno;
        case kSetRts: return modemLine(TIOCM_RTS, true);
        case kClrRts: return modemLine(TIOCM_RTS, false);
        case kSetDtr: return modemLine(TIOCM_DTR, true);
        case kClrDtr: return modemLine(TIOCM_DTR, false);
        case kResetDev: return 0;  // a printer reset: serial ports have none
        case kSetBreak: return ::ioctl(fd_, TIOCSBRK) == 0 ? 0 : errno;
        case kClrBreak: return ::ioctl(fd_, TIOCCBRK) == 0 ? 0 : errno;
        default: return EINVAL;
        }
    }

    unsigned modemStatus() override {
        int bits = 0;
        if (::ioctl(fd_, TIOCMGET, &bits) != 0) return 0;
        return (bits & TIOCM_CTS ? kCtsOn : 0) | (bits & TIOCM_DSR ? kDsrOn : 0) |
               (bits & TIOCM_RI ? kRingOn : 0) | (bits & TIOCM_CD ? kRlsdOn : 0);
    }

    unsigned takeErrors() override {
        serial_icounter_struct now{};
        if (!readCounters(now)) return 0;
        unsigned flags = (now.buf_overrun != counters_.buf_overrun ? kCeRxOver : 0) |
                         (now.overrun != counters_.overrun ? kCeOverrun : 0) |
                         (now.parity != counters_.parity ? kCeRxParity : 0) |
                         (now.frame != counters_.frame ? kCeFrame : 0) |
                         (now.brk != counters_.brk ? kCeBreak : 0);
        counters_ = now;
        return flags;
    }

    void purge() override { ::tcflush(fd_, TCIOFLUSH); }

    bool hungUp() override {
        pollfd pfd{fd_, POLLIN | POLLOUT, 0};
        return ::poll(&pfd, 1, 0) < 0 || (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    }

private:
    int modemLine(int bit, bool on) {
        // Lines a device does not have (a pseudo-terminal) are not an error.
        if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) != 0 && errno != ENOTTY && errno != EINVAL)
            return errno;
        return 0;
    }
    bool readCounters(serial_icounter_struct& c) { return ::ioctl(fd_, TIOCGICOUNT, &c) == 0; }

    static speed_t standardSpeed(uint32_t baud) {
        static const struct {
            uint32_t baud;
            speed_t speed;
        } kSpeeds[] = {{50, B50},           {75, B75},           {110, B110},         {134, B134},
                       {150, B150},         {200, B200},         {300, B300},         {600, B600},
                       {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
                       {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
                       {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
                       {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
                       {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
                       {3500000, B3500000}, {4000000, B4000000}};
        for (const auto& s : kSpeeds)
            if (s.baud == baud) return s.speed;
        return B0;
    }

    int fd_;
    bool dsrFlow_ = false;
    serial_icounter_struct counters_{};
};

}  // namespace

std::unique_ptr<Line> openDevice(const std::string& device, int& error) {
    int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    // Two locks, so no second program opens the port meanwhile: the tty's own
    // exclusive mode (which privileged programs pass) and the advisory lock
    // serial tools agree on.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return nullptr;
    }
    if (!::isatty(fd)) {
        error = ENOTTY;
        ::close(fd);
        return nullptr;
    }
    ::ioctl(fd, TIOCEXCL);
    error = 0;
    return std::make_unique<DeviceLine>(fd);
}

}  // namespace tvx::ipc::serial
