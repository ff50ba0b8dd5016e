// Automation objects: the declaration's letters and target, the mapping of
// identifiers to objects on the bus; and a macro that drives an object served
// by a Python program (GLib's D-Bus binding) on a private session bus:
// methods, arrays in and out, a matrix, properties, by-reference results, an
// exception of the object, an unknown member, and no bus at all.
#include <cstdio>

#include "interp/api.h"
#include "ipc/automation/automation.h"
#include "tests/unit/ipc/HostProcesses.h"

namespace {

using namespace tvx::ipc::automation;
using tvx::ipc::testing::PrivateBus;

TEST(AutomationDeclaration, LettersTargetsAndAddresses) {
    Letters l;
    ASSERT_TRUE(parseLetters("ffA", l));
    EXPECT_EQ(l.result, 'f');
    EXPECT_EQ(l.arguments, "fA");
    EXPECT_EQ(l.access, 0);
    ASSERT_TRUE(parseLetters("=ol.?;P", l));
    EXPECT_TRUE(l.propertyWrite);
    EXPECT_EQ(l.result, 'o');
    EXPECT_EQ(l.arguments, "l");
    EXPECT_EQ(l.access, 'P');
    ASSERT_TRUE(parseLetters("l<soZ;T", l));  // "<" after the result letter, "o" and unknown letters skipped
    EXPECT_EQ(l.arguments, "s");
    EXPECT_EQ(l.access, 'T');
    EXPECT_FALSE(parseLetters("=", l));

    Target t;
    ASSERT_TRUE(parseTarget(" (0x10) Some.Thing ", t));
    EXPECT_EQ(t.member, "0x10");
    EXPECT_EQ(t.object, "Some.Thing");
    ASSERT_TRUE(parseTarget("()Some.Thing", t));
    EXPECT_EQ(t.member, "");
    EXPECT_FALSE(parseTarget("(Add", t));
    EXPECT_FALSE(parseTarget("(Add)", t));

    Address a = addressFor("Lab.Scope-2", "");
    EXPECT_EQ(a.service, "Lab.Scope-2");
    EXPECT_EQ(a.path, "/Lab/Scope_2");
    EXPECT_EQ(a.interface, "");
    EXPECT_EQ(addressFor("Scope", "").service, "");  // a bus name needs two elements
    EXPECT_EQ(addressFor("Lab.2x", "").service, "");
    EXPECT_EQ(addressFor("Lab..x", "").service, "");
    a = addressFor("Scope", "org.lab.Scope /scope org.lab.Scope1");
    EXPECT_EQ(a.service, "org.lab.Scope");
    EXPECT_EQ(a.path, "/scope");
    EXPECT_EQ(a.interface, "org.lab.Scope1");
    EXPECT_EQ(addressFor("Scope", "only-a-name").service, "");  // a malformed setting creates nothing

    EXPECT_EQ(busElement(tvx::interp::kElemUInt8), 'y');
    EXPECT_EQ(busElement(tvx::interp::kElemInt16), 'n');
    EXPECT_EQ(busElement(tvx::interp::kElemUInt16), 'q');
    EXPECT_EQ(busElement(tvx::interp::kElemInt32), 'i');
    EXPECT_EQ(busElement(tvx::interp::kElemFloat), 0);  // sent as doubles
    EXPECT_EQ(busElement(tvx::interp::kElemUInt32), 'u');
    EXPECT_EQ(busElement(tvx::interp::kElemDouble), 'd');
    EXPECT_EQ(busElement(tvx::interp::kElemInt64), 'x');
    EXPECT_EQ(busElement(tvx::interp::kElemRealMatrix), 'd');

    EXPECT_EQ(failureCode("org.freedesktop.DBus.Error.UnknownMethod"), 0x80020003u);
    EXPECT_EQ(failureCode("org.freedesktop.DBus.Error.InvalidArgs"), 0x80020005u);
    EXPECT_EQ(failureCode("org.freedesktop.DBus.Error.ServiceUnknown"), 0x800706BAu);
    EXPECT_EQ(failureCode("org.freedesktop.DBus.Error.NoReply"), 0x8001011Fu);
    EXPECT_EQ(failureCode("something.else"), 0x80004005u);
}

// The object: methods, a property, a signal, and an exception.
constexpr const char* kServer = R"PY(import sys
from gi.repository import Gio, GLib
XML = """<node><interface name="org.tolvex.Test">
<method name="Add"><arg type="d" direction="in"/><arg type="d" direction="in"/><arg type="d" direction="out"/></method>
<method name="Scale"><arg type="d" direction="in"/><arg type="ad" direction="in"/><arg type="d" direction="out"/><arg type="ad" direction="out"/></method>
<method name="Shape"><arg type="aad" direction="in"/><arg type="i" direction="out"/></method>
<method name="Bytes"><arg type="ay" direction="in"/><arg type="ay" direction="out"/></method>
<method name="Twice"><arg type="i" direction="in"/><arg type="i" direction="in"/><arg type="i" direction="out"/><arg type="i" direction="out"/></method>
<method name="Name"><arg type="s" direction="out"/></method>
<method name="Greet"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="s" direction="out"/></method>
<method name="Fail"/>
<method name="Stop"/>
<property name="Gain" type="d" access="readwrite"/>
<signal name="Changed"><arg type="d"/></signal>
</interface></node>"""
state = {"gain": 1.25}
loop = GLib.MainLoop()
def call(conn, sender, path, iface, method, params, inv):
    a = params.unpack()
    if method == "Add":
        inv.return_value(GLib.Variant("(d)", (a[0] + a[1],)))
    elif method == "Scale":
        out = [x * a[0] for x in a[1]]
        inv.return_value(GLib.Variant("(dad)", (sum(out), out)))
    elif method == "Shape":
        inv.return_value(GLib.Variant("(i)", (len(a[0]) * 100 + len(a[0][0]) * 10 + int(a[0][2][3]),)))
    elif method == "Bytes":
        inv.return_value(GLib.Variant("(ay)", (bytes((x + 1) % 256 for x in a[0]),)))
    elif method == "Twice":
        inv.return_value(GLib.Variant("(ii)", (a[0] * 2, a[1] + 100)))
    elif method == "Name":
        inv.return_value(GLib.Variant("(s)", ("tester",)))
    elif method == "Greet":
        inv.return_value(GLib.Variant("(s)", (a[0] + ", " + a[1],)))
    elif method == "Fail":
        inv.return_dbus_error("org.tolvex.Test.Error.Broken", "the part is broken")
    elif method == "Stop":
        inv.return_value(None)
        GLib.idle_add(loop.quit)
def get(conn, sender, path, iface, name):
    return GLib.Variant("d", state["gain"])
def set_(conn, sender, path, iface, name, value):
    state["gain"] = value.unpack()
    return True
def acquired(conn, name):
    open(sys.argv[1], "w").write("1")
def bus(conn, name):
    node = Gio.DBusNodeInfo.new_for_xml(XML)
    conn.register_object("/org/tolvex/Test", node.interfaces[0], call, get, set_)
Gio.bus_own_name(Gio.BusType.SESSION, "org.tolvex.Test", Gio.BusNameOwnerFlags.NONE, bus, acquired, None)
GLib.timeout_add(60000, loop.quit)
loop.run()
)PY";

class AutomationBus : public PrivateBus {
protected:
    void SetUp() override {
        PrivateBus::SetUp();
        if (IsSkipped()) return;
        if (::access("/usr/bin/python3", X_OK) != 0 ||
            std::system("/usr/bin/python3 -c 'from gi.repository import Gio' 2>/dev/null") != 0)
            GTEST_SKIP() << "python3-gi is not installed";
        write("Tolvan.ini",
              "[Automation]\nTester=org.tolvex.Test /org/tolvex/Test\n[Protocol]\nWriteProtocol=1\n");
    }
};

TEST_F(AutomationBus, AMacroCallsMembersOfAnObjectOnTheBus) {
    write("server.py", kServer);
    pid_t server =
        spawn({"/usr/bin/python3", (dir / "server.py").string(), (dir / "ready").string()}, "server.out");
    ASSERT_GT(server, 0);
    ASSERT_TRUE(waitFor(dir / "ready"));
    write("client.mac",
          // A method by name through the default naming rule, called in an expression.
          "Decl Plus, \"fff,(Add)org.tolvex.Test\"\n?Plus(1.5, Plus(1, 1))\n"
          // A real number and an array the object changes ("fA").
          "v = [1, 2, 3]\nDecl Scale, \"ffA,(Scale)org.tolvex.Test\"\n?Scale(2, v)\n?v[0]\n?v[2]\n"
          // A 3 x 4 matrix goes as rows of columns; member by id through the settings' name.
          "m = [1, 2, 3, 4; 5, 6, 7, 8; 9, 10, 11, 12]\nDecl Shape, \"la,(3)Tester\"\n?Shape(m)\n"
          // Bytes both ways, in place.
          "VectInit b, 3, 0, 1\nb[0] = 1\nb[1] = 2\nb[2] = 255\nDecl Bytes, \"oA,(Bytes)Tester\"\nBytes b\n"
          "?b[0]\n?b[1]\n?b[2]\n"
          // A by-reference integer after the result.
          "n = 0\nDecl Twice, \"llp,(Twice)Tester\"\n?Twice(21, n)\n?n\n"
          // Text results go to !StrResult; the value is their length.
          "Decl Name, \"s,(Name)Tester\"\n?Name()\n?!StrResult\n"
          "Decl Greet, \"sss,(Greet)Tester\"\n?Greet(\"Hello\", \"lab\")\n?!StrResult\n"
          // A property read and written; the declared name is the member.
          "Decl Gain, \"f;p,()Tester\"\n?Gain()\n"
          "Decl SetGain, \"=of,(Gain)Tester\"\nSetGain 7.5\n?Gain()\n"
          // Looked up only; the event ids of the object last called.
          "Decl Look, \"l;T,(Fail)Tester\"\n?Look()\n?!OleEventID[0]\n?!OleEventID[1]\n"
          // The object's exception: logged, shown, the macro goes on; !Error is 2.
          "Decl Fail, \"o,(Fail)Tester\"\nFail\n?!Error\n"
          // An unknown member.
          "Decl Nope, \"l,(Nope)Tester\"\nNope\n"
          // An object nobody serves.
          "Decl Gone, \"l,(Add)org.tolvex.Nobody\"\nGone\n"
          "FreeLib \"Tester\"\n?Twice(1, n)\n?n\n"
          "Decl EndServer, \"o,(Stop)Tester\"\nEndServer\n");
    pid_t client = start("client.mac", "Tolvan.ini");
    EXPECT_EQ(finish(client), 1);  // the error boxes
    EXPECT_EQ(finish(server), 0);
    std::string out = read("client.mac.out");
    EXPECT_EQ(out,
              "Plus(1.5, Plus(1, 1)) = 3.5\n"
              "Scale(2, v) = 12\nv[0] = 2\nv[2] = 6\n"
              "Shape(m) = 352\n"
              "b[0] = 2\nb[1] = 3\nb[2] = 0\n"
              "Twice(21, n) = 42\nn = 100\n"
              "Name() = 6\n!StrResult = \"tester\"\n"
              "Greet(\"Hello\", \"lab\") = 10\n!StrResult = \"Hello, lab\"\n"
              "Gain() = 1.25\nGain() = 7.5\n"
              "Look() = 8\n!OleEventID[0] = 10\n!OleEventID[1] = 0\n"
              "[OleDispatchException] OleDispatchException von org.tolvex.Test.Error.Broken\n"
              "the part is broken\nFail\n"
              "!Error = 2\n"
              "[Macro Error] Error: Function in library not found\n\nNope\n"
              "[Macro Error] Error: Library not found\n\nGone\n"
              "Twice(1, n) = 2\nn = 200\n")
        << out;
    // The protocol log has the failed lookup and the object's exception.
    std::string log = read("Tolvan.lst");
    EXPECT_NE(log.find("OLE-Error 3: GetIDsOfNames(Nope) -> 0x80020006"), std::string::npos) << log;
    EXPECT_NE(log.find("OleDispatchException von org.tolvex.Test.Error.Broken\r\nthe part is broken\r\nFail"),
              std::string::npos)
        << log;
}

TEST_F(AutomationBus, WithoutABusNoObjectIsMade) {
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    write("off.mac", "Decl Plus, \"fff,(Add)org.tolvex.Test\"\n?Plus(1, 2)\n?1\n");
    pid_t p = start("off.mac", "Tolvan.ini");
    EXPECT_EQ(finish(p), 1);
    EXPECT_EQ(read("off.mac.out"), "[Macro Error] Error: Library not found\n\n?Plus(1, 2)\n1 = 1\n");
}

}  // namespace
