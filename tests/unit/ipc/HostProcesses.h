// Tolvex processes for tests of two hosts (RPC, DDE): each runs a macro of
// the test's folder with a settings file there; its output goes to <macro>.out.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace tvx::ipc::testing {

namespace fs = std::filesystem;

class HostProcesses : public ::testing::Test {
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
    // Starts a program in the folder; its standard output goes to the file out there.
    pid_t spawn(std::vector<std::string> words, const std::string& out, char** env = environ) {
        std::string outPath = (dir / out).string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());  // relative files go there
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env);
        posix_spawn_file_actions_destroy(&actions);
        return rc == 0 ? pid : -1;
    }
    // Starts tolvex on a macro with a settings file; its output goes to <macro>.out.
    pid_t start(const std::string& macro, const std::string& ini, char** env = environ) {
        return spawn({std::string(TOLVEX_BINARY_DIR) + "/bin/tolvex", "--headless", "--ini",
                      (dir / ini).string(), (dir / macro).string()},
                     macro + ".out", env);
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

// Host processes on a private D-Bus session bus of their own (the bus daemon
// ends with the test); skipped where the daemon is not installed.
class PrivateBus : public HostProcesses {
protected:
    pid_t daemon = -1;
    void SetUp() override {
        HostProcesses::SetUp();
        if (::access("/usr/bin/dbus-daemon", X_OK) != 0) GTEST_SKIP() << "dbus-daemon is not installed";
        FILE* p = ::popen("/usr/bin/dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
        ASSERT_NE(p, nullptr);
        char address[512] = {}, pid[64] = {};
        bool ok = std::fgets(address, sizeof address, p) && std::fgets(pid, sizeof pid, p);
        ::pclose(p);
        if (!ok) GTEST_SKIP() << "no private bus could be started";
        std::string a = address;
        while (!a.empty() && (a.back() == '\n' || a.back() == '\r')) a.pop_back();
        daemon = std::atoi(pid);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", a.c_str(), 1);
    }
    void TearDown() override {
        if (daemon > 0) ::kill(daemon, SIGTERM);
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
        HostProcesses::TearDown();
    }
};

}  // namespace tvx::ipc::testing
