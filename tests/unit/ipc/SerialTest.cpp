// ComSend: the flags, escapes, receive rules and status codes on a line the
// test controls, and the termios device on pseudo-terminals (settings,
// exclusive open, and a port that is unplugged and plugged in again).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <thread>

#include "ipc/system/serial.h"
#include "tests/unit/ipc/IpcMacroRun.h"

namespace tvx::ipc::serial {
namespace {

namespace fs = std::filesystem;

TEST(SerialText, EscapesAreRead) {
    EXPECT_EQ(unescape("AB\\x0D"), "AB\r");
    EXPECT_EQ(unescape("a\\nb\\rc\\td"), "a\nb\rc\td");
    EXPECT_EQ(unescape("\\\\ \\q \\x4a\\x4"),
              "\\ q J"
              "x4");
    EXPECT_EQ(unescape("end\\"), "end\\");
}

// What the line was asked to do, and what it answers.
struct Script {
    std::vector<std::string> opened;
    std::vector<LineSettings> settings;
    std::string written;
    std::vector<int> escapes;
    std::deque<int> writeErrors;  // the next writes fail with these
    std::string incoming;
    unsigned modem = 0;
    unsigned errors = 0;
    bool hungUp = false;
    int closed = 0;
    int purged = 0;
};

class FakeLine : public Line {
public:
    explicit FakeLine(Script& s) : s_(s) {}
    ~FakeLine() override { ++s_.closed; }
    int configure(const LineSettings& settings) override {
        s_.settings.push_back(settings);
        return 0;
    }
    int write(const void* data, size_t size, int) override {
        if (!s_.writeErrors.empty()) {
            int e = s_.writeErrors.front();
            s_.writeErrors.pop_front();
            return e;
        }
        s_.written.append(static_cast<const char*>(data), size);
        return 0;
    }
    int readByte(unsigned char& byte, int) override {
        if (s_.incoming.empty()) return ETIMEDOUT;
        byte = static_cast<unsigned char>(s_.incoming[0]);
        s_.incoming.erase(0, 1);
        return 0;
    }
    int escape(int code) override {
        s_.escapes.push_back(code);
        return 0;
    }
    unsigned modemStatus() override { return s_.modem; }
    unsigned takeErrors() override { return std::exchange(s_.errors, 0u); }
    void purge() override { ++s_.purged; }
    bool hungUp() override { return s_.hungUp; }

private:
    Script& s_;
};

class ComSendFake : public testing::IpcMacroRun {
protected:
    Script script;
    bool available = true;
    void SetUp() override {
        IpcMacroRun::SetUp();
        settings("[Serial]\nCOM3=/dev/serial/by-id/usb-test-adapter\n");
        ip.state<SerialState>().opener = [this](const std::string& device,
                                                int& error) -> std::unique_ptr<Line> {
            script.opened.push_back(device);
            if (!available) {
                error = ENOENT;
                return nullptr;
            }
            return std::make_unique<FakeLine>(script);
        };
    }
};

TEST_F(ComSendFake, TheTextWithEscapesGoesOutAndThePortClosesAfterTheCall) {
    EXPECT_EQ(shown("s = \"AB\\x0D\"\n?ComSend(3, VarPtr(s))\n"), "0");
    EXPECT_EQ(script.written, "AB\r");
    ASSERT_EQ(script.opened.size(), 1u);
    EXPECT_EQ(script.opened[0], "/dev/serial/by-id/usb-test-adapter");
    EXPECT_EQ(script.settings[0], LineSettings{});  // 9600 8N1 without handshakes
    EXPECT_EQ(script.escapes, (std::vector<int>{kSetDtr}));
    EXPECT_EQ(script.closed, 1);
    EXPECT_GE(script.purged, 1);
    // An unmapped port is /dev/ttyS<n-1>.
    run("s = \"x\"\nr = ComSend(1, VarPtr(s))\n");
    EXPECT_EQ(script.opened.back(), "/dev/ttyS0");
}

TEST_F(ComSendFake, FlagsSetTheLineAndAKeptPortKeepsItsSettings) {
    // CTS + XON/XOFF, keep open, two stop bits, even parity, 19200 baud.
    uint32_t flags = 0x1 | 0x4 | 0x10 | 0x200 | (2u << 16);
    run("v = Vector(2, 1)\nSetEl v, 0, 65\nSetEl v, 1, 0\n"
        "r = ComSend(3, v, 2, " +
        std::to_string(flags) +
        ", 19200)\n"
        "r = ComSend(3, v, 1, 16)\n"  // kept open: 9600 here changes nothing
        "r = ComSend(3, v, 1)\n");    // the last call closes
    ASSERT_EQ(script.settings.size(), 1u);
    LineSettings s = script.settings[0];
    EXPECT_EQ(s.baud, 19200u);
    EXPECT_TRUE(s.ctsFlow && s.xonXoff && s.twoStopBits && !s.dsrFlow);
    EXPECT_EQ(s.parity, kParityEven);
    EXPECT_EQ(script.opened.size(), 1u);
    EXPECT_EQ(script.written, std::string("A\0AA", 4));
    EXPECT_EQ(script.closed, 1);
}

TEST_F(ComSendFake, ReceivingStopsAtTheEndCharacterTheLimitOrThePause) {
    script.incoming = "OK\r\nmore";
    std::vector<std::string> lines = run("?ComSend(3, 0, 0, 16, 9600, 50, 10)\n?!StrResult\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "ComSend(3, 0, 0, 16, 9600, 50, 10) = 4");
    EXPECT_EQ(lines[1], "!StrResult = \"OK\r\n\"");
    // end < 0: 1 - end bytes.
    EXPECT_EQ(number("?ComSend(3, 0, 0, 16, 9600, 50, -2)\n"), 3);
    // Nothing more comes: what there is, after the pause.
    EXPECT_EQ(number("?ComSend(3, 0, 0, 0, 9600, 20, 10)\n"), 1);
    script.incoming = std::string(300, 'x');
    EXPECT_EQ(number("?ComSend(3, 0, 0, 0, 9600, 20, -300)\n"), 256);
}

TEST_F(ComSendFake, EscapeFunctionsAndTheModemLines) {
    script.modem = kCtsOn | kRlsdOn;
    // SETRTS (3) in bits 12..15, nothing received: the modem lines in bits 4..7.
    EXPECT_EQ(number("?ComSend(3, 0, 0, " + std::to_string(3 << 12) + ")\n"), 0x90);
    EXPECT_EQ(script.escapes, (std::vector<int>{kSetDtr, kSetRts}));
}

TEST_F(ComSendFake, StatusCodesAndTheirBoxes) {
    // Port 0 names the slot's open port: none is open.
    EXPECT_EQ(number("?ComSend(0, 0)\n"), -1);
    available = false;
    EXPECT_EQ(number("?ComSend(3, 0)\n"), 2147487745.0);  // 0x80001001
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0], "|Serial connector is not available!");
    run("?ComSend(3, 0)\n");  // within 3 seconds: no second box
    EXPECT_TRUE(boxes().empty());
    available = true;
    script.writeErrors = {EIO, EIO};
    EXPECT_EQ(number("s = \"x\"\n?ComSend(3, VarPtr(s), 0, 2048)\n"), 2147487747.0);  // 0x80001003, quiet
    EXPECT_TRUE(boxes().empty());
    script.writeErrors = {EIO};
    EXPECT_EQ(number("s = \"y\"\n?ComSend(3, VarPtr(s))\n"), 0);  // the second try went out
    EXPECT_EQ(script.written, "y");
    script.writeErrors = {EIO, ETIMEDOUT};
    run("s = \"z\"\nr = ComSend(3, VarPtr(s))\n");
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0], "|<CE-1460>");
    script.errors = kCeFrame | kCeOverrun;
    script.incoming = "a";
    run("r = ComSend(3, 0, 0, 0, 9600, 10)\n");
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0], "|<CE-a>");
    run("r = ComSend(3, 1)\n");  // an address nothing can be read at
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_NE(boxes()[0].find("Bad Address"), std::string::npos) << boxes()[0];
}

TEST_F(ComSendFake, APortWhoseDeviceWentAwayIsOpenedAgainByItsName) {
    run("s = \"1\"\nr = ComSend(3, VarPtr(s), 0, 16)\n");
    script.hungUp = true;
    run("s = \"2\"\nr = ComSend(3, VarPtr(s), 0, 16)\n");
    script.hungUp = false;
    EXPECT_EQ(script.opened.size(), 2u);
    EXPECT_EQ(script.opened[1], "/dev/serial/by-id/usb-test-adapter");
    EXPECT_EQ(script.written, "12");
}

// ---- Pseudo-terminals

struct Pty {
    int master = -1;
    std::string slave;
    Pty() {
        int slaveFd = -1;
        char name[256] = {};
        if (::openpty(&master, &slaveFd, name, nullptr, nullptr) != 0) return;
        slave = name;
        // The master reads raw bytes; the slave end stays closed until the port opens it.
        termios tio{};
        ::tcgetattr(slaveFd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slaveFd, TCSANOW, &tio);
        ::close(slaveFd);
    }
    ~Pty() {
        if (master >= 0) ::close(master);
    }
    // What arrives within the time (until a pause once something came). A
    // master whose slave end is not open yet reports a hang-up: wait on.
    std::string read(int timeoutMs = 1000) {
        std::string out;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{master, POLLIN, 0};
            int ready = ::poll(&p, 1, out.empty() ? 10 : 50);
            char buffer[256];
            ssize_t n = ready > 0 ? ::read(master, buffer, sizeof buffer) : 0;
            if (n > 0) {
                out.append(buffer, static_cast<size_t>(n));
                continue;
            }
            if (!out.empty() && ready == 0) break;
            if (ready != 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return out;
    }
};

TEST(SerialDevice, SettingsExclusiveOpenAndBytesBothWays) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    int error = 0;
    std::unique_ptr<Line> line = openDevice(pty.slave, error);
    ASSERT_TRUE(line) << std::strerror(error);
    std::unique_ptr<Line> second = openDevice(pty.slave, error);
    EXPECT_FALSE(second);
    EXPECT_EQ(error, EBUSY);
    LineSettings s;
    s.baud = 57600;
    s.twoStopBits = true;
    s.xonXoff = true;
    ASSERT_EQ(line->configure(s), 0);
    int fd = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY);  // TIOCEXCL spares root, who runs tests here
    if (fd >= 0) {
        termios tio{};
        ASSERT_EQ(::tcgetattr(fd, &tio), 0);
        EXPECT_EQ(::cfgetospeed(&tio), B57600);
        EXPECT_TRUE(tio.c_cflag & CSTOPB);
        EXPECT_TRUE(tio.c_iflag & IXON);
        EXPECT_EQ(tio.c_cc[VSTOP], 19);
        ::close(fd);
    }
    ASSERT_EQ(line->write("hello", 5, 1000), 0);
    EXPECT_EQ(pty.read(), "hello");
    ASSERT_EQ(::write(pty.master, "ok", 2), 2);
    unsigned char c = 0;
    ASSERT_EQ(line->readByte(c, 1000), 0);
    EXPECT_EQ(c, 'o');
    ASSERT_EQ(line->readByte(c, 1000), 0);
    EXPECT_EQ(line->readByte(c, 30), ETIMEDOUT);
    EXPECT_FALSE(line->hungUp());
    // An odd rate goes through the kernel's own request.
    s.baud = 31250;
    EXPECT_EQ(line->configure(s), 0);
}

class ComSendPty : public testing::IpcMacroRun {};

TEST_F(ComSendPty, SendReceiveAndAReplugOnAStableName) {
    auto first = std::make_unique<Pty>();
    ASSERT_GE(first->master, 0);
    fs::path stable = dir / "by-id-adapter";
    fs::create_symlink(first->slave, stable);
    settings("[Serial]\nCOM7=" + stable.string() + "\n");

    // While the macro pauses, the adapter is unplugged (the terminal goes) and
    // plugged in again: a new device behind the same stable name.
    std::unique_ptr<Pty> second;
    std::string beforeReplug, afterReplug;
    std::thread adapter([&] {
        beforeReplug = first->read(5000);
        if (::write(first->master, "ready\n", 6) != 6) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        second = std::make_unique<Pty>();
        fs::remove(stable);
        fs::create_symlink(second->slave, stable);
        first.reset();
        afterReplug = second->read(5000);
    });
    std::vector<std::string> lines =
        run("s = \"AB\\x0D\"\n"
            "?ComSend(7, VarPtr(s), 0, 16, 115200, 500, 10)\n"
            "?!StrResult\n"
            "Pause 700\n"
            "s = \"again\"\n"
            "?ComSend(7, VarPtr(s), 0, 16)\n");
    adapter.join();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "ComSend(7, VarPtr(s), 0, 16, 115200, 500, 10) = 6");
    EXPECT_EQ(lines[1], "!StrResult = \"ready\n\"");
    EXPECT_EQ(lines[2], "ComSend(7, VarPtr(s), 0, 16) = 0");
    EXPECT_EQ(beforeReplug, "AB\r");
    EXPECT_EQ(afterReplug, "again");
    EXPECT_TRUE(boxes().empty());
    // The end of the run closed the port: another program may open it now.
    int error = 0;
    ASSERT_TRUE(second);
    EXPECT_TRUE(openDevice(second->slave, error));
}

}  // namespace
}  // namespace tvx::ipc::serial
