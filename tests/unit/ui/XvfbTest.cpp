// The program on a real X display: it shows an OkBox from a macro, and ends
// when the box is answered by synthetic input (XTest through xdotool). Skipped
// when Xvfb or xdotool is missing or no display can be started.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

pid_t spawn(const std::vector<std::string>& args, const std::string& display, const std::string& cwd = "",
            int outFd = -1, int errFd = -1) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
    int null = open("/dev/null", O_RDWR);
    dup2(outFd >= 0 ? outFd : null, 1);
    dup2(errFd >= 0 ? errFd : null, 2);
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
    unsetenv("QT_QPA_PLATFORM");
    unsetenv("WAYLAND_DISPLAY");
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

// Runs a command and returns its standard output (empty on failure).
std::string capture(const std::vector<std::string>& args, const std::string& display) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    pid_t pid = spawn(args, display, "", fds[1]);
    close(fds[1]);
    std::string out;
    char buffer[256];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? out : std::string();
}

bool onPath(const char* program) {
    return capture({"sh", "-c", std::string("command -v ") + program}, "").size() > 0;
}

TEST(Desktop, AnOkBoxOnAnXDisplayIsAnsweredBySyntheticInput) {
    if (!onPath("Xvfb") || !onPath("xdotool")) GTEST_SKIP() << "Xvfb or xdotool is not installed";
    // A display of our own: a number no other server holds, and a server that is
    // still alive once its socket is there (another one may have won the number).
    int number = 90 + static_cast<int>(getpid() % 60);
    pid_t server = -1;
    std::string display;
    for (int tries = 0; tries < 20 && server < 0; ++tries, ++number) {
        std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        if (fs::exists("/tmp/.X" + std::to_string(number) + "-lock") || fs::exists(socket)) continue;
        display = ":" + std::to_string(number);
        pid_t candidate =
            spawn({"Xvfb", display, "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-ac"}, "");
        auto deadline = std::chrono::steady_clock::now() + 10s;
        bool died = false;
        while (!fs::exists(socket) && std::chrono::steady_clock::now() < deadline && !died) {
            std::this_thread::sleep_for(50ms);
            died = waitpid(candidate, nullptr, WNOHANG) == candidate;
        }
        std::this_thread::sleep_for(100ms);
        if (!died && fs::exists(socket) && waitpid(candidate, nullptr, WNOHANG) == 0) {
            server = candidate;
        } else if (!died) {
            kill(candidate, SIGTERM);
            waitpid(candidate, nullptr, 0);
        }
    }
    if (server < 0) GTEST_SKIP() << "Xvfb could not start a display";

    char pattern[] = "/tmp/tolvex-xvfb-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string dir = pattern;
    std::ofstream(dir + "/hello.mac") << "OkBox \"Hello from the desktop\"\r\n?\"answered\"\r\nTerminate\r\n";
    int out = open((dir + "/out.txt").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    int err = open((dir + "/err.txt").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    pid_t program = spawn({TOLVEX_BINARY_DIR "/bin/tolvex", "hello.mac"}, display, dir, out, err);
    close(out);
    close(err);

    // Wait for the box (its caption is "Macro"), give it the keyboard and press Enter.
    std::string window;
    auto deadline = std::chrono::steady_clock::now() + 30s;
    while (window.empty() && std::chrono::steady_clock::now() < deadline) {
        window = capture({"xdotool", "search", "--name", "^Macro$"}, display);
        if (window.empty()) std::this_thread::sleep_for(100ms);
    }
    int status = -1;
    bool ended = false;
    if (!window.empty()) {
        window = window.substr(0, window.find('\n'));
        for (int attempt = 0; attempt < 20 && !ended; ++attempt) {
            capture({"xdotool", "windowfocus", "--sync", window}, display);
            capture({"xdotool", "key", "--clearmodifiers", "Return"}, display);
            for (int i = 0; i < 10 && !ended; ++i) {
                std::this_thread::sleep_for(50ms);
                ended = waitpid(program, &status, WNOHANG) == program;
            }
        }
    }
    if (!ended) {
        kill(program, SIGKILL);
        waitpid(program, &status, 0);
    }
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    std::ifstream printed(dir + "/out.txt");
    std::string first;
    std::getline(printed, first);
    std::ifstream errors(dir + "/err.txt");
    std::string stderrText((std::istreambuf_iterator<char>(errors)), std::istreambuf_iterator<char>());
    fs::remove_all(dir);

    ASSERT_FALSE(window.empty()) << "the OkBox never appeared; tolvex said: " << stderrText;
    ASSERT_TRUE(ended) << "tolvex did not end after the box was answered; it said: " << stderrText;
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(first, "\"answered\" = \"answered\"");
}

}  // namespace
