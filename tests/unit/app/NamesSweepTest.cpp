// Every name of the command table, alone and with odd arguments, as a
// statement and inside an expression, and every status variable with odd
// indexes, through the batch command line: each
// name in a process of its own, which must end by itself and never by a
// signal. Errors are expected; crashes and hangs are faults.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kTolvex = TOLVEX_BINARY_DIR "/bin/tolvex";

struct Name {
    std::string kind;  // statement, function or status
    std::string word;
};

std::vector<Name> listedNames(bool status) {
    std::vector<Name> names;
    FILE* pipe =
        popen(("env -u DISPLAY -u WAYLAND_DISPLAY " + kTolvex + " --list-names 2>/dev/null").c_str(), "r");
    if (!pipe) return names;
    char line[512];
    while (fgets(line, sizeof line, pipe)) {
        std::istringstream words(line);
        Name n;
        words >> n.kind >> n.word;
        if ((n.kind == "status") == status && (status || n.kind == "statement" || n.kind == "function"))
            names.push_back(n);
    }
    pclose(pipe);
    return names;
}

std::vector<Name> commandNames() { return listedNames(false); }

// The indexes every status variable is read with.
const std::vector<std::string> kIndexes = {"",      "[0]",     "[1]",     "[-1]",  "[31]",       "[32]",
                                           "[255]", "[65536]", "[1e300]", "[0/0]", "[\"text\"]", "[v]"};

// The macro that reads one status variable: with every index, on its own
// and inside an expression.
std::string statusMacro(const Name& name) {
    std::string text = "v = [1 2 3]\r\nDisableMsg 1\r\n";
    for (const std::string& index : kIndexes) {
        text += "x = " + name.word + index + "\r\n";
        text += "?" + name.word + index + "\r\n";
    }
    return text;
}

// The argument shapes every name is tried with.
const std::vector<std::string> kShapes = {
    "",
    "1",
    "\"text\"",
    "-1, -1, -1, -1, -1, -1, -1, -1",
    "1e300, -1e300, 4294967296, -2147483649, 1e300, 1e300",
    "v, v, v, v",
    "s, s, s, s",
    "m, 0, 0, 0",
    "0/0, 0/0, 0/0",
    "&v, &s, 100000000",
};

// Statements that wait as long as they are told to (a huge wait is a wait,
// stopped by the user, not a hang): they get the huge shapes no number.
const std::set<std::string> kWaiters = {"Pause", "RpcWait", "SpeechInput"};

// The macro that tries one name: every shape as a statement and as a call.
std::string sweepMacro(const Name& name) {
    std::string text = "v = [1 2 3]\r\ns = \"abc\"\r\nm = Matrix(2, 2, 1)\r\nDisableMsg 1\r\n";
    for (const std::string& shape : kShapes) {
        bool huge = shape.find("1e300") != std::string::npos || shape.find("100000000") != std::string::npos;
        if (huge && kWaiters.count(name.word)) continue;
        text += name.word + (shape.empty() ? "" : " " + shape) + "\r\n";
        text += "x = " + name.word + "(" + shape + ")\r\n";
    }
    return text;
}

struct Outcome {
    bool signalled = false;
    int signal = 0;
    bool timedOut = false;
};

Outcome runMacro(const std::string& dir, std::chrono::seconds limit) {
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        // Everything a command writes for the user (settings, stores) lands here.
        setenv("HOME", dir.c_str(), 1);
        setenv("XDG_STATE_HOME", dir.c_str(), 1);
        setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        // A sanitizer report aborts, so that it shows as a signal.
        std::string asan =
            std::string(getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "") + ":abort_on_error=1";
        setenv("ASAN_OPTIONS", asan.c_str(), 1);
        setenv("UBSAN_OPTIONS", "print_stacktrace=1:halt_on_error=1:abort_on_error=1", 1);
        execl(kTolvex.c_str(), "tolvex", "--headless", "sweep.mac", nullptr);
        _exit(127);
    }
    Outcome outcome;
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            outcome.timedOut = true;
            return outcome;
        }
        std::this_thread::sleep_for(5ms);
    }
    outcome.signalled = WIFSIGNALED(status);
    outcome.signal = outcome.signalled ? WTERMSIG(status) : 0;
    return outcome;
}

// Runs the macro that macroFor writes for each name, each in a process of its
// own; every name that ended by a signal or hung is a failure.
template <typename MacroFor>
void sweep(const std::vector<Name>& names, MacroFor macroFor) {
    std::vector<std::string> faults;
    for (const Name& name : names) {
        char pattern[] = "/tmp/tolvex-sweep-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        std::string dir = pattern;
        std::ofstream(dir + "/sweep.mac", std::ios::binary) << macroFor(name);
        Outcome outcome = runMacro(dir, 20s);
        std::error_code ec;
        fs::remove_all(dir, ec);
        if (outcome.signalled)
            faults.push_back(name.word + ": ended by signal " + std::to_string(outcome.signal));
        else if (outcome.timedOut)
            faults.push_back(name.word + ": still running after 20 s");
    }
    for (const std::string& fault : faults) ADD_FAILURE() << fault;
}

TEST(NamesSweep, NoNameEndsTheProgramByASignalOrHangs) {
    std::vector<Name> names = commandNames();
    ASSERT_GT(names.size(), 300u);
    sweep(names, sweepMacro);
}

TEST(NamesSweep, NoStatusVariableEndsTheProgramByASignalOrHangs) {
    std::vector<Name> names = listedNames(true);
    ASSERT_GT(names.size(), 50u);
    sweep(names, statusMacro);
}

}  // namespace
