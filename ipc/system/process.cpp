// Exec (posix_spawn), !ProcessStatus and LptOut.
#include "ipc/system/process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "interp/api.h"
#include "ipc/system/system.h"
#include "ipc/system/winerror.h"
#include "platform/clock.h"
#include "platform/memprobe.h"
#include "platform/paths.h"

extern char** environ;

namespace tvx::ipc {

using interp::CallArgs;
using interp::Error;
using interp::Interpreter;
using interp::kOk;
using interp::MCVal;

std::vector<std::string> splitCommandLine(std::string_view line) {
    std::vector<std::string> words;
    size_t p = 0, n = line.size();
    auto blank = [&](size_t i) { return line[i] == ' ' || line[i] == '\t'; };
    while (p < n && blank(p)) ++p;
    if (p == n) return words;
    // The program name: quotes group, backslashes are path separators.
    std::string program;
    bool quoted = false;
    for (; p < n && (quoted || !blank(p)); ++p) {
        if (line[p] == '"')
            quoted = !quoted;
        else
            program += line[p];
    }
    words.push_back(std::move(program));
    while (true) {
        while (p < n && blank(p)) ++p;
        if (p == n) break;
        std::string word;
        quoted = false;
        while (p < n && (quoted || !blank(p))) {
            if (line[p] == '\\') {
                size_t slashes = 0;
                while (p < n && line[p] == '\\') ++slashes, ++p;
                if (p < n && line[p] == '"') {
                    word.append(slashes / 2, '\\');
                    if (slashes % 2) {
                        word += '"';
                        ++p;
                    }
                } else {
                    word.append(slashes, '\\');
                }
            } else if (line[p] == '"') {
                if (quoted && p + 1 < n && line[p + 1] == '"') {
                    word += '"';
                    p += 2;
                } else {
                    quoted = !quoted;
                    ++p;
                }
            } else {
                word += line[p++];
            }
        }
        words.push_back(std::move(word));
    }
    return words;
}

int showState(int flags) {
    int m = flags < 0 ? -flags : flags;
    if (m == 0) return 5;
    if (m == 16) return 0;
    return m & 0x0F;
}

namespace {

constexpr int kStillActive = 259;  // the exit code Windows reports for a running process

struct ProcessState : interp::FamilyState {
    // The programs Exec started, by process id, with their exit codes once
    // they ended (kStillActive while they run).
    std::map<pid_t, int> children;
    pid_t last = 0;
    double lastLptBox = -10;

    // The exit code of a child (kStillActive while it runs); -1 for a process
    // this host did not start.
    int exitCode(pid_t pid) {
        auto it = children.find(pid);
        if (it == children.end()) return -1;
        if (it->second == kStillActive) {
            int status = 0;
            pid_t got = ::waitpid(pid, &status, WNOHANG);
            if (got == pid)
                it->second = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            else if (got < 0 && errno == ECHILD)
                it->second = 0;  // reaped elsewhere: it has ended
        }
        return it->second;
    }
    // Children whose handle the macro never saw (the WinExec form) are reaped
    // as they end, so none stays a zombie.
    std::set<pid_t> forgotten;
    void reapForgotten() {
        for (auto it = forgotten.begin(); it != forgotten.end();) {
            if (exitCode(*it) != kStillActive) {
                children.erase(*it);
                it = forgotten.erase(it);
            } else {
                ++it;
            }
        }
    }
};

bool endsWithExe(const std::string& name) {
    if (name.size() <= 4) return false;
    std::string ext = name.substr(name.size() - 4);
    for (char& c : ext) c = static_cast<char>(c | 0x20);
    return ext == ".exe";
}

bool onPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string_view rest = path ? path : "";
    while (true) {
        size_t colon = rest.find(':');
        std::string dir(rest.substr(0, colon));
        if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0) return true;
        if (colon == std::string_view::npos) return false;
        rest.remove_prefix(colon + 1);
    }
}

// The program to start: a name with a folder goes through the macro path
// rules (drive letters, case); a bare name is looked up on PATH. A ".exe"
// that names nothing here is dropped ("tool.exe" starts "tool").
std::string programPath(Interpreter& ip, const std::string& name, bool& searchPath) {
    bool hasFolder = name.find('/') != std::string::npos || name.find('\\') != std::string::npos ||
                     (name.size() > 1 && name[1] == ':');
    searchPath = !hasFolder;
    std::string bare = endsWithExe(name) ? name.substr(0, name.size() - 4) : std::string();
    if (!hasFolder) return !bare.empty() && !onPath(name) ? bare : name;
    std::string path = ip.posixPath(name);
    if (!bare.empty() && !platform::fileExists(path)) {
        std::string alternative = ip.posixPath(bare);
        if (platform::fileExists(alternative)) return alternative;
    }
    return path;
}

// Starts the command line; the process id, or 0 with errno set.
pid_t startProgram(Interpreter& ip, std::string_view commandLine, std::string_view directory, int show) {
    std::vector<std::string> words = splitCommandLine(commandLine);
    if (words.empty() || words[0].empty()) {
        errno = ENOENT;
        return 0;
    }
    bool searchPath = false;
    std::string program = programPath(ip, words[0], searchPath);
    std::vector<char*> argv;
    argv.push_back(program.data());
    for (size_t i = 1; i < words.size(); ++i) argv.push_back(words[i].data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Nothing a started program reads comes from the host's terminal; a hidden
    // one also writes nowhere a person would see.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);  // the host's files stay the host's
    if (show == 0) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    // Without a directory the program starts in the working directory of the
    // macros (where their relative file names point).
    std::string folder = directory.empty() ? ip.workingDirectory() : ip.posixPath(directory);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Signals the host ignores or blocks are not the started program's business.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    int rc = searchPath ? ::posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.data(), environ)
                        : ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        errno = rc;
        return 0;
    }
    return pid;
}

// Exec(command line; show flags, directory): the process handle (its id), 0
// on failure. Negative flags wait for the program to end, serving the user
// interface meanwhile; a stopped macro stops waiting.
Error exec(Interpreter& ip, CallArgs& args, MCVal& result) {
    ProcessState& state = ip.state<ProcessState>();
    state.reapForgotten();
    int flags = args.present(1) ? args.i(1) : 0;
    int m = flags < 0 ? -flags : flags;
    std::string_view directory = args.present(2) ? args.text(2) : std::string_view();
    bool forget = directory.empty() && (m & 0x4000);
    pid_t pid = startProgram(ip, args.text(0), directory, showState(flags));
    auto& words = ip.results().values;
    if (pid <= 0) {
        ip.results().error = winErrorFromErrno(errno);
        result.setReal(0);
        return kOk;
    }
    state.children[pid] = kStillActive;
    if (forget) {
        // WinExec: the program runs, its handle is nobody's.
        state.forgotten.insert(pid);
        result.setReal(0);
        return kOk;
    }
    state.last = pid;
    words[0] = words[1] = words[2] = words[3] = static_cast<int32_t>(pid);
    if (flags < 0) {
        while (ip.running() && state.exitCode(pid) == kStillActive) {
            ip.pump(100);
            platform::sleepMs(10);
        }
        int code = state.exitCode(pid);
        if (code != kStillActive) words[4] = code;
    }
    result.setReal(static_cast<double>(pid));
    return kOk;
}

// !ProcessStatus: index 1 the id of the last program Exec started; otherwise 1
// while that program (or the one whose handle is the index) runs, else 0.
Error processStatus(Interpreter& ip, int, int index, interp::StatusValue& value) {
    ProcessState& state = ip.state<ProcessState>();
    if (index == 1) {
        value.number = state.last;
        return kOk;
    }
    pid_t pid = index > 1 ? static_cast<pid_t>(index) : state.last;
    value.number = pid > 0 && state.exitCode(pid) == kStillActive ? 1 : 0;
    return kOk;
}

// The device of a parallel port: 1..3 (or the classic port addresses 0x378,
// 0x278, 0x3BC) through [Parallel] LPTn of the settings, else /dev/lp(n-1).
std::string parallelDevice(Interpreter& ip, int port, int& number) {
    switch (port) {
    case 0x378: number = 1; break;
    case 0x278: number = 2; break;
    case 0x3BC: number = 3; break;
    default: number = port;
    }
    if (number < 1 || number > 9) return {};
    std::string key = "LPT" + std::to_string(number);
    std::string device = settingFile(ip, "Parallel", key);
    return device.empty() ? "/dev/lp" + std::to_string(number - 1) : device;
}

// Writes all bytes within the time-out; the count written, errno on failure.
size_t writeWithin(int fd, const unsigned char* data, size_t size, int timeoutMs, int& error) {
    size_t done = 0;
    double deadline = platform::monotonicSeconds() + timeoutMs / 1000.0;
    error = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            error = errno;
            break;
        }
        int left = static_cast<int>((deadline - platform::monotonicSeconds()) * 1000);
        if (left <= 0) {
            error = ETIMEDOUT;
            break;
        }
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, left);
    }
    return done;
}

// LptOut(address, count, port; variable): writes count bytes to the parallel
// port's device; the result is the number written, the variable gets the
// Windows error code (0 when all went out). A port that is not there says so
// in a box (at most once in 3 seconds).
Error lptOut(Interpreter& ip, CallArgs& args, MCVal& result) {
    result.setReal(0);
    size_t count = static_cast<uint16_t>(args.i(1));
    auto* data = reinterpret_cast<const unsigned char*>(static_cast<uintptr_t>(args.address(0)));
    if (count > 0 && !platform::isReadable(data, count)) return interp::kBadAddress;
    int number = 0;
    std::string device = parallelDevice(ip, args.i(2), number);
    int error = 0;
    size_t written = 0;
    int fd = device.empty() ? -1 : ::open(device.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = device.empty() ? EINVAL : errno;
        ProcessState& state = ip.state<ProcessState>();
        double now = platform::monotonicSeconds();
        if (now - state.lastLptBox >= 3) {
            state.lastLptBox = now;
            std::string text =
                "Parallel port " +
                (number >= 1 && number <= 9 ? "LPT" + std::to_string(number) : std::to_string(args.i(2))) +
                " is not available" +
                (device.empty() ? std::string() : " (" + device + ": " + std::strerror(error) + ")");
            ip.messageBox(text, "LptOut", 0x30);
        }
    } else {
        written = writeWithin(fd, data, count, 5000, error);
        ::close(fd);
    }
    if (args.present(3)) *args.var(3).number = winErrorFromErrno(error);
    result.setReal(static_cast<double>(written));
    return kOk;
}

constexpr interp::CommandRow kProcessRows[] = {
    {interp::cmd::Exec, exec},
    {interp::cmd::LptOut, lptOut},
};
constexpr interp::StatusRow kProcessStatusRows[] = {
    {interp::statvar::ProcessStatus, processStatus},
};

}  // namespace

void registerProcessCommands(Interpreter& ip) {
    ip.install({"system/process", kProcessRows, kProcessStatusRows});
}

}  // namespace tvx::ipc
