// DDE on a private D-Bus session bus: a host serves its variables and runs
// lines for another host and for a Python client (Debian's D-Bus binding),
// with advise links as signals; without a bus DDE is off.
#include <cstdio>

#include "tests/unit/ipc/HostProcesses.h"

namespace {

using tvx::ipc::testing::PrivateBus;

class DdeBus : public PrivateBus {
protected:
    void SetUp() override {
        PrivateBus::SetUp();
        if (!IsSkipped()) write("Tolvan.ini", "");
    }
};

// The serving macro: its variables, a line that clients change, a loop that
// waits with Pause (calls are served while it pumps).
constexpr const char* kServer =
    "x = 5\ny = 0\ns = \"text\"\ndone = 0\nm = [1.5]\naddr = VarPtr(m)\n"
    "DdeListen \"\"\n"
    "?!DDEidInst > 0\n"
    "WriteFile \"listening\", \"1\"\n"
    "Loop 1500\n  Pause 20\n  If done = 1\n    BreakLoop\n  EndIf\nEndLoop\n"
    "?x\n?y\n?s\n";

TEST_F(DdeBus, AnotherHostRequestsPokesAndExecutes) {
    write("server.mac", kServer);
    write("client.mac",
          "VectInit buf, 16, 0, 1\n"
          "DdeRequest \"Tolvan\", \"System\", \"s\", buf\n?!Error\n?Peek(buf)\n"
          "DdeRequest \"TOLVAN\", \"system\", \"x\", buf, 1\n?!Error\n?Peek(buf)\n"
          "DdeRequest \"Tolvan\", \"System\", \"nothere\", buf\n?!Error\n"
          "DdePoke \"Tolvan\", \"System\", \"x\", \"42\"\n?!Error\n"
          "DdePoke \"Tolvan\", \"System\", \"s\", \"poked\"\n?!Error\n"
          "DdeExecute \"Tolvan\", \"System\", \"y = x + 1\"\n?!Error\n"
          "DdeExecute \"Tolvan\", \"System\", \"y = (\"\n?!Error\n"
          "DdeExecute \"Tolvan\", \"Other\", \"y = 1\"\n?!Error\n"
          "DdeExecute \"NoSuchService\", \"System\", \"\"\n?!Error\n"
          "DdeExecute \"Tolvan\", \"System\", \"\"\n?!Error\n"
          "DdeExecute \"Tolvan\", \"System\", \"done = 1\"\n?!Error\n");
    pid_t server = start("server.mac", "Tolvan.ini");
    ASSERT_GT(server, 0);
    ASSERT_TRUE(waitFor(dir / "listening"));
    pid_t client = start("client.mac", "Tolvan.ini");
    EXPECT_EQ(finish(client), 0);
    EXPECT_EQ(finish(server), 0);
    EXPECT_EQ(read("client.mac.out"),
              "!Error = 0\nPeek(buf) = 116\n"
              "!Error = 0\nPeek(buf) = 53\n"  // one byte: "5" without its NUL
              "!Error = 16393\n"
              "!Error = 0\n!Error = 0\n"
              "!Error = 0\n!Error = 16393\n"
              "!Error = 16394\n!Error = 16394\n!Error = 0\n!Error = 0\n");
    EXPECT_EQ(read("server.mac.out"), "!DDEidInst > 0 = 1\nx = 42\ny = 43\ns = \"poked\"\n");
}

TEST_F(DdeBus, APythonClientReadsWritesRunsALineAndFollowsALink) {
    if (::access("/usr/bin/python3", X_OK) != 0 ||
        std::system("/usr/bin/python3 -c 'import dbus, gi' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3-dbus and python3-gi are not installed";
    write("server.mac", kServer);
    write("client.py", R"(import dbus
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib
DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
name = "org.tolvex.DDE.tolvan"
dde = dbus.Interface(bus.get_object(name, "/org/tolvex/dde/system"), "org.tolvex.DDE")
root = dbus.Interface(bus.get_object(name, "/org/tolvex/dde"), "org.tolvex.DDE")
print([(str(a), str(b)) for a, b in root.Topics("")], list(root.Topics("other")))
print(bytes(dde.Request("x")).decode())
print(bool(dde.Poke("x", dbus.ByteArray(b"7"))), bool(dde.Poke("x", dbus.ByteArray(b"no number"))))
print(bool(dde.Execute(dbus.ByteArray(b"y = x * 3"))))
print(bytes(dde.Request("y")).decode())
try:
    dde.Request("nothere")
except dbus.DBusException as e:
    print(e.get_dbus_name())
import struct
addr = bytes(dde.Request("addr")).decode()
print(struct.unpack("<d", bytes(dde.Request("%MEM " + addr + ", 8")))[0])
try:
    dde.Request("%MEM 16 8")
except dbus.DBusException as e:
    print(e.get_dbus_name())
print(bool(dde.Poke("%PL 2", dbus.ByteArray(b"7 -1"))), struct.unpack("<ii", bytes(dde.Request("%PA"))[8:16]))
seen = []
loop = GLib.MainLoop()
def advised(item, data):
    seen.append((str(item), bytes(data).decode()))
    if seen[-1] == ("y", "99"):
        loop.quit()
bus.add_signal_receiver(advised, "Advise", "org.tolvex.DDE", path="/org/tolvex/dde/system")
dde.StartAdvise("y")
dde.Execute(dbus.ByteArray(b"y = 99"))
GLib.timeout_add(10000, loop.quit)
loop.run()
print(seen[-1] if seen else None)
dde.StopAdvise("y")
dde.Execute(dbus.ByteArray(b"done = 1"))
)");
    pid_t server = start("server.mac", "Tolvan.ini");
    ASSERT_GT(server, 0);
    ASSERT_TRUE(waitFor(dir / "listening"));
    pid_t client = spawn({"/usr/bin/python3", (dir / "client.py").string()}, "client.out");
    EXPECT_EQ(finish(client), 0);
    EXPECT_EQ(finish(server), 0);
    EXPECT_EQ(read("client.out"),
              "[('Tolvan', 'System')] []\n5\nTrue False\nTrue\n21\norg.tolvex.DDE.Error.NoData\n"
              "1.5\norg.tolvex.DDE.Error.NoData\nTrue (7, -1)\n('y', '99')\n");
    EXPECT_EQ(read("server.mac.out"), "!DDEidInst > 0 = 1\nx = 7\ny = 99\ns = \"text\"\n");
}

TEST_F(DdeBus, WithoutABusDdeIsOff) {
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    write("off.mac",
          "DdeExecute \"Tolvan\", \"System\", \"x = 1\"\n?!Error\n?!DDEidInst\n"
          "DdeListen \"Other\"\n?!Error\n");
    pid_t p = start("off.mac", "Tolvan.ini");
    EXPECT_EQ(finish(p), 0);
    EXPECT_EQ(read("off.mac.out"), "!Error = 16387\n!DDEidInst = 0\n!Error = 16387\n");
}

}  // namespace
