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
    // What the program remembers (desktop.ini) stays in the scratch folder.
    if (!cwd.empty()) setenv("XDG_STATE_HOME", (cwd + "/state").c_str(), 1);
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

// The process that holds X display number (from its lock file), or -1.
pid_t lockHolder(int number) {
    std::ifstream lock("/tmp/.X" + std::to_string(number) + "-lock");
    long pid = -1;
    return lock >> pid ? static_cast<pid_t>(pid) : -1;
}

// A display of our own for each test, and tolvex run on it in a scratch folder.
class Desktop : public ::testing::Test {
protected:
    void SetUp() override {
        if (!onPath("Xvfb") || !onPath("xdotool")) GTEST_SKIP() << "Xvfb or xdotool is not installed";
        // A number no other server holds, and a server that is still alive once its
        // socket is there (another one may have won the number).
        int number = 90 + static_cast<int>(getpid() % 60);
        for (int tries = 0; tries < 20 && server_ < 0; ++tries, ++number) {
            std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
            if (fs::exists("/tmp/.X" + std::to_string(number) + "-lock") || fs::exists(socket)) continue;
            display_ = ":" + std::to_string(number);
            // -noreset: the server would otherwise start over whenever its last
            // client leaves (the probes below), refusing connections meanwhile.
            pid_t candidate = spawn(
                {"Xvfb", display_, "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-ac", "-noreset"}, "");
            auto deadline = std::chrono::steady_clock::now() + 10s;
            bool died = false;
            while (!fs::exists(socket) && std::chrono::steady_clock::now() < deadline && !died) {
                std::this_thread::sleep_for(50ms);
                died = waitpid(candidate, nullptr, WNOHANG) == candidate;
            }
            std::this_thread::sleep_for(100ms);
            // The server holding the display wrote its process id into the lock file:
            // ours only when that is the one we started (two tests may try one number).
            if (!died && fs::exists(socket) && waitpid(candidate, nullptr, WNOHANG) == 0 &&
                lockHolder(number) == candidate && acceptsClients()) {
                server_ = candidate;
            } else if (!died) {
                kill(candidate, SIGTERM);
                waitpid(candidate, nullptr, 0);
            }
        }
        if (server_ < 0) GTEST_SKIP() << "Xvfb could not start a display";
        char pattern[] = "/tmp/tolvex-xvfb-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    // True once a client can open the display (a socket and a lock file are not
    // proof of that: a run on a busy machine once found the display refusing).
    bool acceptsClients() {
        auto deadline = std::chrono::steady_clock::now() + 5s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (!capture({"xdotool", "getdisplaygeometry"}, display_).empty()) return true;
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }

    void TearDown() override {
        if (program_ > 0) {
            kill(program_, SIGKILL);
            waitpid(program_, nullptr, 0);
        }
        if (server_ > 0) {
            kill(server_, SIGTERM);
            waitpid(server_, nullptr, 0);
        }
        if (!dir_.empty()) fs::remove_all(dir_);
    }

    void start(const std::string& macro) {
        std::ofstream(dir_ + "/test.mac") << macro;
        int out = open((dir_ + "/out.txt").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        int err = open((dir_ + "/err.txt").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        program_ = spawn({TOLVEX_BINARY_DIR "/bin/tolvex", "test.mac"}, display_, dir_, out, err);
        close(out);
        close(err);
    }
    // The window whose title matches the pattern, once it is there ("" after 30 s).
    std::string waitForWindow(const std::string& title) {
        auto deadline = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < deadline) {
            std::string found = xdotool({"search", "--name", title});
            if (!found.empty()) return found.substr(0, found.find('\n'));
            std::this_thread::sleep_for(100ms);
        }
        return {};
    }
    std::string xdotool(std::vector<std::string> args) {
        args.insert(args.begin(), "xdotool");
        return capture(args, display_);
    }
    // Gives the window the keyboard and types into it: keys (xdotool key names)
    // and text, one after the other.
    void typeInto(const std::string& window, const std::vector<std::string>& keys, const std::string& text) {
        xdotool({"windowactivate", "--sync", window});
        xdotool({"windowfocus", "--sync", window});
        for (const std::string& key : keys) xdotool({"key", "--clearmodifiers", key});
        if (!text.empty()) xdotool({"type", "--delay", "20", text});
    }
    // Waits for the program to end; false when it does not within the time.
    bool ended(std::chrono::seconds within, int& status) {
        auto deadline = std::chrono::steady_clock::now() + within;
        while (std::chrono::steady_clock::now() < deadline) {
            if (waitpid(program_, &status, WNOHANG) == program_) {
                program_ = -1;
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    std::vector<std::string> printed() const {
        std::ifstream in(dir_ + "/out.txt");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    std::string said() const {
        std::ifstream errors(dir_ + "/err.txt");
        return std::string((std::istreambuf_iterator<char>(errors)), std::istreambuf_iterator<char>());
    }

    pid_t server_ = -1;
    pid_t program_ = -1;
    std::string display_;
    std::string dir_;
};

TEST_F(Desktop, AnOkBoxOnAnXDisplayIsAnsweredBySyntheticInput) {
    start("OkBox \"Hello from the desktop\"\r\n?\"answered\"\r\nTerminate\r\n");
    // The box's caption is "Macro"; it may take a few tries to get the keyboard.
    std::string window = waitForWindow("^Macro$");
    ASSERT_FALSE(window.empty()) << "the OkBox never appeared; tolvex said: " << said();
    int status = -1;
    bool done = false;
    for (int attempt = 0; attempt < 20 && !done; ++attempt) {
        typeInto(window, {"Return"}, "");
        done = ended(std::chrono::seconds(1), status);
    }
    ASSERT_TRUE(done) << "tolvex did not end after the box was answered; it said: " << said();
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ASSERT_FALSE(printed().empty());
    EXPECT_EQ(printed()[0], "\"answered\" = \"answered\"");
}

// Input and StrInput on a desktop: the edit box takes what a person types.
TEST_F(Desktop, InputDialogsTakeWhatIsTyped) {
    start(
        "x = 5\r\nInput x, \"A number\"\r\n?x\r\ns = \"abc\"\r\nStrInput s, \"A "
        "text\"\r\n?s\r\nTerminate\r\n");
    std::string number = waitForWindow("^Input$");
    ASSERT_FALSE(number.empty()) << "the Input dialog never appeared (or has no title); tolvex said: "
                                 << said();
    typeInto(number, {"ctrl+a"}, "42");
    // Enter commits the typing, the next moves to Ok, the next presses it (the
    // dialog framework's edits behave so); then the text dialog comes.
    std::string text;
    for (int press = 0; press < 5 && text.empty(); ++press) {
        typeInto(number, {"Return"}, "");
        std::this_thread::sleep_for(300ms);
        text = xdotool({"search", "--name", "^StrInput$"});
    }
    text = waitForWindow("^StrInput$");
    ASSERT_FALSE(text.empty()) << "the StrInput dialog never appeared; tolvex said: " << said();
    typeInto(text, {"ctrl+a"}, "hello world");
    int status = -1;
    bool done = false;
    for (int press = 0; press < 5 && !done; ++press) {
        typeInto(text, {"Return"}, "");
        done = ended(std::chrono::seconds(1), status);
    }
    ASSERT_TRUE(done || ended(std::chrono::seconds(20), status)) << "tolvex did not end; it said: " << said();
    EXPECT_EQ(printed(), (std::vector<std::string>{"x = 42", "s = \"hello world\""}));
}

// A macro's dialogs on a desktop take the keyboard and the mouse: a modal one
// (whose owner, the main window, its modal loop disables) is typed into and
// ended with Enter; a modeless one is clicked while the macro waits.
TEST_F(Desktop, MacroDialogsTakeTypingAndClicksOnAnXDisplay) {
    // Dialog units become pixels by 6/4 across and 13/8 down: the edit of the
    // first dialog covers (15, 16) to (165, 35); the check box of the second
    // starts at (15, 16), its button covers (150, 48) to (210, 71).
    start(
        "name = \"abc\"\r\n"
        "BeginDialog 20, 20, 160, 60, \"Sample\"\r\n"
        "EditText name, 10, 10, 100, 12, 1\r\n"
        "PushButton b, 10, 30, 50, 14, \"OK\", 1, 1\r\n"
        "EndDialog -1\r\n"
        "?name\r\n?b\r\n"
        "BeginDialog 20, 20, 160, 60, \"Status\"\r\n"
        "CheckBox c, 10, 10, \"Cooling\"\r\n"
        "PushButton done, 100, 30, 40, 14, \"Done\", 1\r\n"
        "EndDialog 0\r\n"
        "Loop 600\r\nPause 50\r\nBreakLoop done\r\nEndLoop\r\n"
        "?c\r\n?done\r\nTerminate\r\n");
    std::string sample = waitForWindow("^Sample$");
    ASSERT_FALSE(sample.empty()) << "the modal dialog never appeared; tolvex said: " << said();
    xdotool({"windowactivate", "--sync", sample});
    xdotool({"mousemove", "--window", sample, "90", "25", "click", "1"});
    typeInto(sample, {"ctrl+a"}, "typed on X");
    typeInto(sample, {"Return"}, "");
    std::string status = waitForWindow("^Status$");
    ASSERT_FALSE(status.empty()) << "the modeless dialog never appeared; tolvex said: " << said();
    xdotool({"mousemove", "--window", status, "22", "24", "click", "1"});
    std::this_thread::sleep_for(300ms);
    xdotool({"mousemove", "--window", status, "180", "60", "click", "1"});
    int exit = -1;
    ASSERT_TRUE(ended(std::chrono::seconds(20), exit)) << "tolvex did not end; it said: " << said();
    EXPECT_EQ(printed(), (std::vector<std::string>{"name = \"typed on X\"", "b = 1", "c = 1", "done = 1"}))
        << said();
}

// The Watch Window on a desktop: a line typed there runs in the running macro,
// and Data shows the value of a typed expression (its dump goes to the console
// pane and to standard output).
TEST_F(Desktop, TheWatchWindowRunsATypedLineInTheRunningMacro) {
    start("x = 0\r\ny = 0\r\nLoop 600\r\nPause 50\r\nBreakLoop x\r\nEndLoop\r\n?x\r\nTerminate\r\n");
    std::string watch = waitForWindow("^Watch Window$");
    ASSERT_FALSE(watch.empty()) << "the Watch Window never appeared; tolvex said: " << said();
    ASSERT_FALSE(waitForWindow("^test.mac - Tolvex$").empty()) << "no main window; tolvex said: " << said();
    typeInto(watch, {}, "y = 21");
    typeInto(watch, {"Return"}, "");
    std::this_thread::sleep_for(300ms);
    typeInto(watch, {"ctrl+a"}, "y*2");
    // The Data button (158, 41 dialog units; 6/4 and 13/8 pixels a unit).
    xdotool({"mousemove", "--window", watch, "262", "74", "click", "1"});
    std::this_thread::sleep_for(300ms);
    // Back into the input line (4, 4 units), which the click took the focus from.
    xdotool({"mousemove", "--window", watch, "100", "14", "click", "1"});
    typeInto(watch, {"ctrl+a"}, "x = y + 1");
    typeInto(watch, {"Return"}, "");
    int exit = -1;
    ASSERT_TRUE(ended(std::chrono::seconds(40), exit)) << "tolvex did not end; it said: " << said();
    std::vector<std::string> lines = printed();
    EXPECT_EQ(lines, (std::vector<std::string>{"y*2", "Type: Number", std::string(79, '='), "42", "x = 22"}))
        << said();
}

// The source editor on a desktop: what is typed into it is saved by Ctrl+S
// (with the file's line ends), and F5 there runs it.
TEST_F(Desktop, TheEditorSavesWhatIsTypedAndF5RunsIt) {
    start("x = 20\r\n");
    std::string main = waitForWindow("^test.mac - Tolvex$");
    ASSERT_FALSE(main.empty()) << "no main window; tolvex said: " << said();
    std::string file = dir_ + "/test.mac";
    auto saved = [&] {
        std::ifstream in(file, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    bool done = false;
    for (int attempt = 0; attempt < 5 && !done; ++attempt) {
        // Into the editor (below the toolbar), the whole text typed anew, then
        // Ctrl+S. On a busy machine a key can get lost: the next attempt
        // replaces whatever the last one left.
        xdotool({"windowactivate", "--sync", main});
        xdotool({"mousemove", "--window", main, "300", "120", "click", "1"});
        xdotool({"key", "--clearmodifiers", "ctrl+a"});
        xdotool({"type", "--delay", "20", "x = 20"});
        xdotool({"key", "--clearmodifiers", "Return"});
        xdotool({"type", "--delay", "20", "?x + 1"});
        xdotool({"key", "--clearmodifiers", "ctrl+s"});
        for (int wait = 0; wait < 30 && !done; ++wait) {
            done = saved() == "x = 20\r\n?x + 1";
            if (!done) std::this_thread::sleep_for(100ms);
        }
    }
    ASSERT_TRUE(done) << "the file holds: " << saved() << "; tolvex said: " << said();
    ASSERT_FALSE(waitForWindow("^test.mac - Tolvex$").empty());  // no "*": nothing unsaved
    bool ran = false;
    for (int attempt = 0; attempt < 5 && !ran; ++attempt) {
        xdotool({"key", "--clearmodifiers", "F5"});
        for (int wait = 0; wait < 20 && !ran; ++wait) {
            std::vector<std::string> lines = printed();
            ran = !lines.empty() && lines.back() == "x + 1 = 21";
            if (!ran) std::this_thread::sleep_for(100ms);
        }
    }
    EXPECT_TRUE(ran) << "F5 did not run the saved macro; tolvex said: " << said();
}

}  // namespace
