// Two hosts (two tolvex processes) talking over RPC: on one machine through
// the channel's socket, and over TCP where only the shared secret gets in.
#include "tests/unit/ipc/HostProcesses.h"

namespace {

using RpcHosts = tvx::ipc::testing::HostProcesses;

// The server macro: waits on the wake-up event until a client sets done.
constexpr const char* kServer =
    "a = 0\nb = 0\ndone = 0\nname = \"server\"\n"
    "RpcListen 3\n"
    "WriteFile \"listening\", \"1\"\n"
    "Loop 1500\n  RpcWait 20, 1\n  If done = 1\n    BreakLoop\n  EndIf\nEndLoop\n"
    "?a\n?b\n?name\n";

TEST_F(RpcHosts, TwoHostsOnOneMachine) {
    write("Tolvan.ini", "[RPC]\nDirectory=" + (dir / "sockets").string() + "\n");
    write("server.mac", kServer);
    write("client.mac",
          "RpcConnect 3\n"
          "RpcSet \"a\", 5\n?!Error\n"
          "RpcExecute \"b = a * 2\"\n?!Error\n"
          "?RpcGetVal(\"b\")\n"
          "s = \"\"\nRpcGet \"name\", s\n?s\n"
          "RpcSet \"a\", 6, 4\n?!Error\n"
          "RpcExecute \"done = 1\"\n?!Error\n");
    pid_t server = start("server.mac", "Tolvan.ini");
    ASSERT_GT(server, 0);
    ASSERT_TRUE(waitFor(dir / "listening"));
    pid_t client = start("client.mac", "Tolvan.ini");
    ASSERT_GT(client, 0);
    EXPECT_EQ(finish(client), 0);
    EXPECT_EQ(finish(server), 0);
    EXPECT_EQ(read("client.mac.out"),
              "!Error = 0\n!Error = 0\nRpcGetVal(\"b\") = 10\ns = \"server\"\n!Error = 1722\n!Error = 0\n");
    EXPECT_EQ(read("server.mac.out"), "a = 5\nb = 10\nname = \"server\"\n");
}

TEST_F(RpcHosts, AcrossTheNetworkOnlyWithTheSecret) {
    int port = freePort();
    std::string common =
        "[RPC]\nDirectory=" + (dir / "sockets").string() + "\nPort=" + std::to_string(port) + "\n";
    write("server.ini", common + "Secret=s3cret words\nAddress=127.0.0.1\n");
    write("wrong.ini", common + "Secret=s3cret word\n");
    write("right.ini", common + "Secret=s3cret words\n");
    write("server.mac", kServer);
    std::string connect = "RpcConnect 3, \"127.0.0.1\"\n";
    write("wrong.mac", connect + "x = RpcGetVal(\"a\")\n?!Error\nRpcExecute \"done = 1\"\n?!Error\n");
    write("right.mac", connect + "RpcSet \"a\", 7\n?!Error\nRpcExecute \"done = 1\"\n?!Error\n");
    pid_t server = start("server.mac", "server.ini");
    ASSERT_GT(server, 0);
    ASSERT_TRUE(waitFor(dir / "listening"));
    pid_t wrong = start("wrong.mac", "wrong.ini");
    EXPECT_EQ(finish(wrong), 0);
    EXPECT_EQ(read("wrong.mac.out"), "!Error = 5\n!Error = 5\n");
    pid_t right = start("right.mac", "right.ini");
    EXPECT_EQ(finish(right), 0);
    EXPECT_EQ(read("right.mac.out"), "!Error = 0\n!Error = 0\n");
    EXPECT_EQ(finish(server), 0);
    EXPECT_EQ(read("server.mac.out"), "a = 7\nb = 0\nname = \"server\"\n");
}

}  // namespace
