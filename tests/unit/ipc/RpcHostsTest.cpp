// Two hosts (two tolvex processes) talking over RPC: on one machine through
// the channel's socket, and over TCP where only the shared secret gets in.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

class RpcHosts : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        char pattern[] = "/tmp/tolvex-hosts-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    void write(const std::string& name, const std::string& text) { std::ofstream(dir / name) << text; }
    std::string read(const std::string& name) {
        std::ifstream in(dir / name);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Starts tolvex on a macro with a settings file; its output goes to <macro>.out.
    pid_t start(const std::string& macro, const std::string& ini) {
        std::string program = std::string(TOLVEX_BINARY_DIR) + "/bin/tolvex";
        std::string iniPath = (dir / ini).string(), macroPath = (dir / macro).string();
        std::string out = (dir / (macro + ".out")).string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<char*> argv = {program.data(),
                                   const_cast<char*>("--headless"),
                                   const_cast<char*>("--ini"),
                                   iniPath.data(),
                                   macroPath.data(),
                                   nullptr};
        pid_t pid = -1;
        int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        return rc == 0 ? pid : -1;
    }
    static int finish(pid_t pid, int seconds = 60) {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        int status = 0;
        while (std::chrono::steady_clock::now() < until) {
            if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return -2;
    }
    bool waitFor(const fs::path& path) {
        for (int i = 0; i < 1500; ++i) {
            if (fs::exists(path)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    static int freePort() {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
        int port = ntohs(a.sin_port);
        ::close(fd);
        return port;
    }
};

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
